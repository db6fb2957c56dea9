// HostConnect: one attempt to open a TCP connection to a host given by name
// or dotted address, without ever holding up the caller. A dotted address is
// used at once; a name is looked up on a thread of its own; the connect is
// non-blocking; a TLS handshake, when asked for, runs on a thread of its own
// and wakes the program's loop when it ends (net/inbound_wake). The owner
// calls Poll (once per frame) until it is done.
//
//   state       left by
//   kIdle       Start -> kLookup (a name) or kConnect (an address), or kFailed
//   kLookup     name found -> kConnect; not found, deadline -> kFailed
//   kConnect    connected -> kConnected, or kHandshake with TLS;
//               refused, deadline -> kFailed
//   kHandshake  done -> kConnected; failed, deadline -> kFailed
//   kConnected  TakeConnection -> kIdle
//   any         Cancel -> kIdle
//
// Cancel never waits: a lookup still running is left to finish on its own
// thread (the system's resolver cannot be interrupted) and its answer is
// dropped; the socket is closed at once (a handshake under way ends with it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "baselib/logsys.h"
#include "net/net_socket.h"
#include "net/net_tls.h"

namespace vorlane::net {

class HostConnect {
  public:
    enum class State { kIdle, kLookup, kConnect, kHandshake, kConnected, kFailed };

    struct Options {
        uint16_t port = 0;
        uint32_t lookup_timeout_ms = 30000;
        uint32_t connect_timeout_ms = 5000;
        uint32_t bind_address = 0;  // host byte order; 0 = the system's choice
        LOGSYS* log = nullptr;      // where socket errors go (null = default log)
        // Set for an encrypted connection: the client's TLS configuration.
        std::shared_ptr<TlsContext> tls;
        uint32_t handshake_timeout_ms = 10000;
    };

    HostConnect() = default;
    ~HostConnect();
    HostConnect(const HostConnect&) = delete;
    HostConnect& operator=(const HostConnect&) = delete;

    // Starts an attempt (cancelling one under way) at `now_ms` (steady clock).
    State Start(const char* host, const Options& options, uint32_t now_ms);
    // Advances the attempt without waiting; the deadlines count from the
    // start of each phase.
    State Poll(uint32_t now_ms);
    State state() const { return state_; }
    // After kFailed: true when the name could not be looked up.
    bool lookup_failed() const { return lookup_failed_; }
    // After kFailed in kHandshake, or kConnected with TLS: how the handshake
    // ended (kDone otherwise).
    TlsHandshakeResult handshake_result() const { return handshake_result_; }
    // After kConnected with TLS: what the certificate check found.
    const TlsPeer& tls_peer() const { return tls_peer_; }
    // After kConnected: the connected socket, now the caller's.
    NET_CONNECTION* TakeConnection();
    void Cancel();

  private:
    struct Lookup;
    struct Handshake;
    struct CloseConnection {
        void operator()(NET_CONNECTION* connection) const { NET_Close(connection); }
    };

    State StartConnect(const uint8_t address[4], uint32_t now_ms);
    State StartHandshake();
    void StopHandshake();
    State Fail(bool lookup);

    Options options_;
    State state_ = State::kIdle;
    bool lookup_failed_ = false;
    std::string host_;
    TlsHandshakeResult handshake_result_ = TlsHandshakeResult::kDone;
    TlsPeer tls_peer_;
    std::shared_ptr<Handshake> handshake_;  // shared with the handshake thread
    std::thread handshake_thread_;
    uint32_t phase_start_ms_ = 0;
    std::shared_ptr<Lookup> lookup_;  // shared with the lookup thread
    std::unique_ptr<NET_CONNECTION, CloseConnection> connection_;
};

}  // namespace vorlane::net
