// NETDRV: the network driver. A server thread and, per connection, a reader
// and a writer thread move envelopes between sockets and queues; all protocol
// work runs on the thread that drives the flow object (see krnl.h).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "baselib/logsys.h"
#include "net/call_ctrl.h"
#include "net/envelope.h"
#include "net/id_system.h"
#include "net/net_settings.h"
#include "net/netapi.h"
#include "net/netgrp.h"
#include "net/netusr.h"

namespace vorlane::net {
class TlsContext;
}

constexpr uint32_t kModeServer = 1;
constexpr uint32_t kModeClient = 2;

enum NetVerbosity { kVerboseThreads = 0, kVerboseLoop = 1, kVerboseUsers = 2, kVerboseSpare = 3 };

struct NETDRV {
    uint32_t mode = 0;
    // Envelopes from the readers and the server thread, for the message loop.
    std::mutex read_mutex;
    std::deque<ENVELOPE*> read_queue;
    // The owner waiting in NETDRV_WaitForMessage sleeps in poll() on this
    // eventfd and the sockets of parked readers; a push (or a reader that
    // parks) writes the eventfd once per wait (owner_polling, owner_woken:
    // under read_mutex).
    int wake_fd = -1;
    bool owner_polling = false;
    bool owner_woken = false;
    // Set by NETDRV_Wake (under read_mutex): the owner's next or current
    // wait ends at once, though nothing was received.
    bool wake_asked = false;
    // Whether readers may stand aside for the owner (few connections), and
    // when it last waited (steady milliseconds) or whether it waits now.
    std::atomic<bool> owner_receives{false};
    std::atomic<bool> owner_in_wait{false};
    std::atomic<int64_t> owner_waited_ms{0};
    std::atomic<uint64_t> owner_taken{0};  // envelopes the owner received itself
    // What the readers have waiting in `read_queue` (guarded by read_mutex).
    // A reader over its share, or any reader while the whole is over its
    // bound, stops taking from its socket until the message loop caught up:
    // TCP then pushes back on the sender.
    uint64_t read_bytes = 0;
    uint64_t read_peak = 0;
    uint64_t read_stalls = 0;  // times a reader held back
    uint32_t read_waiters = 0;
    uint64_t read_user_max = 0;        // bytes one connection may have waiting
    uint64_t read_total_max = 0;       // bytes all connections together may have waiting
    uint32_t read_user_envelopes = 0;  // messages one connection may have waiting
    std::condition_variable read_space;

    // Payload bytes waiting in all writers' queues, the most there ever were,
    // and the cap on them (0 = none). Messages refused by a user's own cap
    // and by the cap on the whole are counted apart.
    std::atomic<uint64_t> write_bytes{0};
    std::atomic<uint64_t> write_peak{0};
    std::atomic<uint64_t> write_cap{0};
    std::atomic<uint64_t> refused_user_cap{0};
    std::atomic<uint64_t> refused_total_cap{0};

    std::thread server_thread;
    SIGNAL_BLOCK server_signals;
    NET_SETTINGS settings;
    int32_t block_size = 0;
    NETUSR_LIST users;
    CALL_CTRL* calls = nullptr;
    ID_SYSTEM* ids = nullptr;
    LOGSYS* net_log = nullptr;
    LOGSYS* user_log = nullptr;
    LOGSYS* data_log = nullptr;
    NET_SERVICE* service = nullptr;
    NET_CONNECTION* listener = nullptr;
    uint16_t listen_port = 0;  // the port actually bound (server)
    NETAPI* api = nullptr;
    NETGRP* groups = nullptr;
    int verbosity[4] = {2, 2, 2, 2};
    // Whether client data (and files) addressed to another user is passed on;
    // when off the server drops it.
    bool relay = true;
    // Server with TLS: the certificate's context; every accepted connection
    // gets a session from it. Handshakes under way per peer address (host
    // byte order) and the most one address may have (0 = any number).
    std::shared_ptr<vorlane::net::TlsContext> tls;
    std::mutex handshake_mutex;
    std::unordered_map<uint32_t, uint32_t> handshakes;
    std::atomic<uint32_t> handshakes_per_address{0};
    std::atomic<uint64_t> handshakes_refused{0};
    // Folder that received files are saved in ("" = the working folder).
    std::string file_dir;
    // Log file names; the logs keep pointers to them.
    std::string net_log_name, user_log_name, data_log_name;

    bool Verbose(NetVerbosity which) const { return verbosity[which] == 2; }
};

// Connections a server accepts beyond usr_max, only to refuse their log-on.
constexpr uint32_t kLogonRefusalRoom = 8;

NETDRV* NETDRV_Start(NETAPI* api, const NET_SETTINGS& settings, uint16_t port, uint32_t buf_rw,
                     uint32_t block_size, uint32_t usr_max, uint32_t log_outputs,
                     const char* net_log_name, const char* user_log_name, const char* data_log_name,
                     uint32_t groups, uint32_t mode);
void NETDRV_Remove(NETDRV* driver, uint32_t time_ms);

NETUSR* SendLogonRequest(NETDRV* driver, const char* name, const char* password, uint16_t port,
                         uint8_t a, uint8_t b, uint8_t c, uint8_t d);
// The second half of SendLogonRequest for a connection already made (taken
// over, closed on failure): makes it a user and queues the log-on request.
NETUSR* SendLogonOnConnection(NETDRV* driver, NET_CONNECTION* connection, const char* name,
                              const char* password);
int16_t SendLogoffRequest(NETDRV* driver, NETUSR* user);
int16_t SendSingleMessage(NETDRV* driver, uint32_t sender, uint32_t receiver, uint32_t type,
                          const void* data, uint32_t size);

// Waits until the read queue holds an envelope or `timeout_ms` passed (for
// owners that have nothing else to do between steps). True when one is queued.
// With few connections the waiting thread receives itself for the plain
// ones, whose readers stand aside while it keeps coming back: a message then
// reaches the kernel with one thread wake-up instead of two. What a reader
// must see to report (a closed or broken stream, foreign data, a payload
// larger than its buffer) is always handed back to it.
bool NETDRV_WaitForMessage(NETDRV* driver, uint32_t timeout_ms);
// Ends the owner's NETDRV_WaitForMessage under way, or its next one, at
// once (any thread): something besides the network wants the owner.
void NETDRV_Wake(NETDRV* driver);
// Number of envelopes waiting for the message loop.
size_t NETDRV_PendingMessages(NETDRV* driver);

// Internal operations shared by the driver and the kernel.
NETUSR* InitUser(NETDRV* driver, NET_CONNECTION* connection);
void NETUSR_RemoveUser(NETDRV* driver, NETUSR* user);
// Queues a copy of `data` as one envelope on the user's writer. 0, or -1
// when it cannot (no memory, or the user's cap or the cap on all writers'
// queues would be passed).
int16_t QueueForUser(NETDRV* driver, NETUSR* user, uint32_t sender, uint32_t receiver,
                     uint32_t type, const void* data, uint32_t size);
// Appends an internal envelope to the driver's own read queue.
void PushReadQueue(NETDRV* driver, ENVELOPE* envelope);
ENVELOPE* PopReadQueue(NETDRV* driver);
// Drops every queued envelope that refers to `user` (it is going away).
void PurgeReadQueue(NETDRV* driver, NETUSR* user);
void PostToUserThreads(NETUSR* user, uint32_t bits);
