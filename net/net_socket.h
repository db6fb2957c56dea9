// The socket layer: plain NET_ functions over POSIX TCP stream sockets.
//
// Results follow the kernel's convention: 0 success and -1 failure, null from
// failed creators. Every function that can fail reports to the log it is given
// (null = default log) at level 16.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>

#include "baselib/logsys.h"

// Network service (NET_Init): the port the kernel uses and its log.
struct NET_SERVICE {
    uint16_t port = 0;
    LOGSYS* log = nullptr;
    int socket = -1;
};

// The TLS session of an encrypted connection (net/net_tls.h).
struct NET_TLS;
struct NetTlsFree {
    void operator()(NET_TLS* tls) const;
};

// One stream socket: a connected peer or a listener.
struct NET_CONNECTION {
    int socket = -1;
    sockaddr_in peer{};
    // Set when the stream is encrypted; the envelope functions go through it.
    std::unique_ptr<NET_TLS, NetTlsFree> tls;
    // Plain bytes received ahead of the envelope being read (NET_SetReadAhead),
    // from `ahead_begin` to `ahead_end`. One recv then takes in whatever has
    // arrived, so a stream of small envelopes costs a system call per buffer
    // rather than two per envelope. Only the thread receiving envelopes uses it.
    std::unique_ptr<uint8_t[]> ahead;
    uint32_t ahead_size = 0, ahead_begin = 0, ahead_end = 0;
    // What a receive that did not wait met behind those bytes, kept for the
    // next NET_ReceiveEnvelope to report: kAheadClosed, or the errno of a
    // failed receive (0: nothing).
    int ahead_status = 0;
};

constexpr int kAheadClosed = -1;

// Room NET_FormatAddress needs: "ddd.ddd.ddd.ddd" and the terminating zero.
constexpr size_t kNetAddressText = 16;

NET_SERVICE* NET_Init(uint16_t port, LOGSYS* log);
int16_t NET_Done(NET_SERVICE* service);

// Connects to a.b.c.d:port, giving up after `timeout_ms`, from the local
// address `bind_address` (host byte order; 0 = the system's choice).
NET_CONNECTION* NET_Connect(uint16_t port, uint8_t a, uint8_t b, uint8_t c, uint8_t d,
                            uint32_t timeout_ms, LOGSYS* log, uint32_t bind_address = 0);
// The same in two steps, for callers that must not wait: starts the connect
// (null when it failed at once), then NET_ConnectPoll looks whether it is
// done, waiting at most `timeout_ms` (0: not at all). 1 connected, 0 still
// under way, -1 failed (reported; the caller closes the connection).
NET_CONNECTION* NET_ConnectStart(uint16_t port, uint8_t a, uint8_t b, uint8_t c, uint8_t d,
                                 LOGSYS* log, uint32_t bind_address = 0);
int NET_ConnectPoll(NET_CONNECTION* connection, uint32_t timeout_ms, LOGSYS* log);
// Listens on `port` (0 picks a free port, see NET_LocalPort) at `bind_address`
// (host byte order; INADDR_ANY by default) with room for `backlog` waiting peers.
NET_CONNECTION* NET_Listen(uint16_t port, LOGSYS* log, uint32_t bind_address = INADDR_ANY,
                           int backlog = 5);
// Waits up to `timeout_ms` for a peer; null on time-out or failure.
NET_CONNECTION* NET_Accept(NET_CONNECTION* listener, uint32_t timeout_ms, LOGSYS* log);
// Shuts the socket down in both directions, closes it and frees the connection.
int16_t NET_Close(NET_CONNECTION* connection);
// Shuts the socket down without closing it: wakes a thread blocked on it.
void NET_Shutdown(NET_CONNECTION* connection);
// The local port the socket is bound to (0 when unknown).
uint16_t NET_LocalPort(const NET_CONNECTION* connection);
// Lets NET_ReceiveEnvelope read up to `size` plain bytes ahead (before the
// first receive). False when there is no memory; the connection works as before.
bool NET_SetReadAhead(NET_CONNECTION* connection, uint32_t size);
// Whether bytes received ahead wait: a reader must not wait for the socket then.
bool NET_HasReadAhead(const NET_CONNECTION* connection);
// The same, counting an end of stream or a failure met ahead.
bool NET_HasReadAheadOrStatus(const NET_CONNECTION* connection);

// Writes the peer address as "%.3d.%.3d.%.3d.%.3d" into `buffer` (kNetAddressText bytes).
void NET_FormatAddress(const NET_CONNECTION* connection, char* buffer);

// Reports the last socket error (errno, mapped to the classic socket error
// numbers). Returns 1 for a known code (written only when bit 0 of `report` is
// set), 0 for an unknown one (always written).
int NET_ReportError(int ignored, LOGSYS* log, uint32_t log_class, int report);
// The same for an explicit classic socket error number.
int NET_ReportErrorCode(int code, LOGSYS* log, uint32_t log_class, int report);
// The classic socket error number for an errno value (0 when there is none).
int NET_ErrorCodeFromErrno(int error);
// The text of a classic socket error number, or null.
const char* NET_ErrorText(int code);
