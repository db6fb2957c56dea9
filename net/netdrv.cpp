// [SECTION] index
//   Reader thread, receiving on the owner's thread, writer thread, server
//   thread, user set-up and removal, queues, sending, driver start and removal.
#include "net/netdrv.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "baselib/log_channel.h"
#include "baselib/timer.h"
#include "net/inbound_wake.h"
#include "net/krnl.h"
#include "net/net_protocol.h"
#include "net/net_tls.h"

using vorlane::LogTo;

namespace {

// A reader waiting for data wakes at least this often. Every path that ends a
// reader shuts its socket down first, which wakes it at once; the time-out is
// only a safety net and long enough that idle connections cost no CPU.
constexpr int kReaderPollMs = 30000;
// Bytes a writer queue may hold before further messages to that user fail,
// so a peer that stops reading cannot make the server grow without bound.
constexpr uint64_t kMaxWriterQueueBytes = 16u << 20;
// Connections the server thread accepts in one pass of its loop.
constexpr int kAcceptsPerPass = 64;
// Defaults for what a connection, and all of them, may have waiting for the
// message loop; and the envelopes one connection may have waiting at a
// server, so that a flood of small messages cannot put many in front of
// everybody else's. (A client has only the server to hear from, and takes in
// all that waits at each step.)
constexpr uint64_t kDefaultReadUserMax = 256u << 10;
constexpr uint64_t kDefaultReadTotalMax = 32u << 20;
constexpr uint32_t kReadUserEnvelopes = 32;
// What a plain connection's reader takes from its socket at most at once.
constexpr uint32_t kReadAheadBytes = 64u << 10;
// The owner receives for the readers of a driver with at most this many
// connections; with more, a poll over all of them per wait would cost more
// than the hand-off it spares, and the readers keep receiving in parallel.
constexpr int kOwnerReceiveUsers = 8;
// A parked reader goes back to its socket when the owner has not waited for
// messages for this long (it may have stopped waiting at all), and looks
// at that at least this often.
constexpr int64_t kOwnerGraceMs = 100;
constexpr auto kParkPoll = std::chrono::milliseconds(50);
// A reader held back looks at its signals at least this often.
constexpr auto kReadRoomPoll = std::chrono::milliseconds(20);

uint32_t MaxPayload(const NETDRV* driver) {
    return driver->settings.drv_max_payload ? driver->settings.drv_max_payload
                                            : kNetDefaultMaxPayload;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Wakes the owner from its poll in NETDRV_WaitForMessage, once per wait.
// The caller holds read_mutex; true when it must write the eventfd.
bool OwnerWakeDue(NETDRV* driver) {
    if (!driver->owner_polling || driver->owner_woken)
        return false;
    driver->owner_woken = true;
    return true;
}

void WriteWake(NETDRV* driver) {
    const uint64_t one = 1;
    // It fails only when the counter is full, and the owner wakes then too.
    [[maybe_unused]] const ssize_t written = write(driver->wake_fd, &one, sizeof one);
}

void Pause(uint32_t ms) {
    if (ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Takes the pending control signals and updates the active state. Returns
// false when the thread must end. The caller holds the signal mutex.
bool TakeSignals(NETDRV* driver, CONNECTION_DATA* data, bool* active, const char* stop_line) {
    uint32_t bits = std::exchange(data->signals.to_thread, 0);
    if (bits & kSigTerminate)
        return false;
    if (bits & kSigStop) {
        *active = false;
        if (driver->Verbose(kVerboseThreads))
            LOGSYS_Text(driver->net_log, kLogInfo, stop_line);
    }
    if (bits & kSigStart)
        *active = true;
    return true;
}

void ReaderProblem(NETDRV* driver, CONNECTION_DATA* data, const char* line) {
    LOGSYS_Text(driver->net_log, kLogWarning, line);
    if (driver->Verbose(kVerboseThreads)) {
        LOGSYS_Text(driver->net_log, kLogInfo,
                    "Reader thread: detected problems with client connection.");
    }
    data->signals.Report(kSigProblem);
    // The kernel learns of the problem on its next step: make that soon.
    vorlane::net::NotifyInbound();
}

// Whether the envelopes of a reader are counted in the read queue's figures:
// only what a peer sent is, not the driver's own notes.
bool CountedInbound(const ENVELOPE* envelope) {
    return envelope->user && !envelope->internal;
}

bool ReaderHasRoom(const NETDRV* driver, const CONNECTION_DATA* data) {
    return data->inbound_bytes < driver->read_user_max &&
           data->inbound_envelopes < driver->read_user_envelopes &&
           driver->read_bytes < driver->read_total_max;
}

// Holds the reader back while it (or the read queue as a whole) is over its
// bound. False when a signal arrived meanwhile: the caller handles it first.
// The read mutex and the signal mutex are never held together.
bool WaitForReadRoom(NETDRV* driver, CONNECTION_DATA* data) {
    std::unique_lock lock(driver->read_mutex);
    if (ReaderHasRoom(driver, data))
        return true;
    ++driver->read_stalls;
    for (;;) {
        ++driver->read_waiters;
        data->held_back = true;
        driver->read_space.wait_for(lock, kReadRoomPoll);
        data->held_back = false;
        --driver->read_waiters;
        if (ReaderHasRoom(driver, data))
            return true;
        lock.unlock();
        {
            std::lock_guard signal_lock(data->signals.mutex);
            if (data->signals.to_thread != 0)
                return false;
        }
        lock.lock();
    }
}

// Takes a popped or purged envelope out of the read queue's figures. The
// caller holds the read mutex; true when a held-back reader may go on.
bool UncountInbound(NETDRV* driver, const ENVELOPE* envelope) {
    if (!CountedInbound(envelope))
        return false;
    const uint32_t size = envelope->data_size();
    const bool whole_was_full = driver->read_bytes >= driver->read_total_max;
    driver->read_bytes -= size;
    CONNECTION_DATA* reader = envelope->user->reader.get();
    if (reader) {
        reader->inbound_bytes -= size;
        --reader->inbound_envelopes;
    }
    if (driver->read_waiters == 0)
        return false;
    // The held-back readers are woken only when one of them may go on for a
    // while: the whole came back under its bound, or this reader's backlog
    // fell to half of its own. Waking them for every message would cost a
    // flood's worth of thread switches.
    if (whole_was_full && driver->read_bytes < driver->read_total_max)
        return true;
    return reader && reader->held_back && reader->inbound_bytes <= driver->read_user_max / 2 &&
           reader->inbound_envelopes <= driver->read_user_envelopes / 2;
}

// [SECTION] Reader thread

std::string PeerText(const NET_CONNECTION* connection) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &connection->peer.sin_addr, text, sizeof text);
    return text;
}

// A connection that failed its handshake (or spoke the wrong language on
// its port) is cut at once and removed soon, logged on or not.
void CutConnection(NETDRV* driver, CONNECTION_DATA* data, const char* line) {
    LOGSYS_Text(driver->net_log, kLogWarning, line);
    NET_Shutdown(data->connection);
    data->user->flags |= kUsrHandshakeFailed;
    data->signals.Report(kSigProblem);
    vorlane::net::NotifyInbound();
}

// The server side of a TLS handshake, on the connection's reader before it
// reads its first envelope. False when the connection was cut.
bool ReaderHandshake(NETDRV* driver, CONNECTION_DATA* data) {
    using vorlane::net::TlsHandshakeResult;
    const uint32_t timeout = driver->settings.tls_handshake_timeout
                                 ? driver->settings.tls_handshake_timeout
                                 : kNetDefaultHandshakeMs;
    const TlsHandshakeResult result = NET_TlsHandshake(data->connection, timeout);
    if (result == TlsHandshakeResult::kDone)
        return true;
    const std::string peer = PeerText(data->connection);
    char line[160];
    switch (result) {
        case TlsHandshakeResult::kPlainPeer:
            std::snprintf(line, sizeof line,
                          "TLS: %s sent plain data to a TLS port; connection refused.",
                          peer.c_str());
            break;
        case TlsHandshakeResult::kTimeout:
            std::snprintf(line, sizeof line,
                          "TLS: the handshake of %s did not finish within %u ms; connection cut.",
                          peer.c_str(), unsigned(timeout));
            break;
        default:
            std::snprintf(line, sizeof line, "TLS: the handshake of %s failed; connection cut.",
                          peer.c_str());
            break;
    }
    CutConnection(driver, data, line);
    return false;
}

// Whether a foreign header is the start of a TLS handshake (a record of type
// 22, version 3.x): a client with encryption on a plain port.
bool LooksLikeTls(const ENVELOPE_HEADER& header) {
    return (header.magic & 0xFFFF) == 0x0316;
}

// [SECTION] Receiving on the owner's thread
//
// A reader hands its socket to the owner by parking; from then on the owner,
// waiting in NETDRV_WaitForMessage, polls the socket itself and takes whole
// envelopes from it, and the reader sleeps until one of these wakes it:
//
//   wakes the parked reader           what the reader does next
//   a signal (STOP, TERMINATE, ...)   handles it as always
//   handback (set by the owner)       receives the next envelope itself
//   the owner stopped waiting         goes back to its socket
//
// Whoever receives holds receive_mutex, and pushes what it received before
// letting go of it, so the envelopes of one connection keep their order
// whichever thread took them.

bool OwnerWaitsLately(const NETDRV* driver) {
    return driver->owner_in_wait.load() || NowMs() - driver->owner_waited_ms.load() < kOwnerGraceMs;
}

bool ReaderMayPark(const NETDRV* driver, const CONNECTION_DATA* data) {
    const NET_CONNECTION* connection = data->connection;
    return driver->owner_receives.load() && connection->ahead && !NET_IsTls(connection) &&
           !NET_HasReadAheadOrStatus(connection) && !driver->settings.drv_reader_sleep_activate &&
           OwnerWaitsLately(driver);
}

// Sleeps while the owner receives for this reader. True when the owner
// handed the connection back for the reader to receive the next envelope.
bool Park(NETDRV* driver, CONNECTION_DATA* data) {
    {
        std::lock_guard receive(data->receive_mutex);
        data->parked = true;
    }
    {
        // The owner may be polling without this socket: let it look again.
        std::unique_lock lock(driver->read_mutex);
        const bool wake = OwnerWakeDue(driver);
        lock.unlock();
        if (wake)
            WriteWake(driver);
    }
    bool handed_back = false;
    {
        std::unique_lock lock(data->signals.mutex);
        while (data->signals.to_thread == 0 && !data->handback && driver->owner_receives.load() &&
               OwnerWaitsLately(driver)) {
            data->signals.changed.wait_for(lock, kParkPoll);
        }
        handed_back = data->handback;
    }
    std::lock_guard receive(data->receive_mutex);
    data->parked = false;
    std::lock_guard lock(data->signals.mutex);
    data->handback = false;
    return handed_back;
}

// The owner takes what a parked reader has read ahead and, when `readable`,
// what its socket holds, as the reader would have (within the same bounds),
// until it runs out or meets something the reader must see, which it hands back.
void TakeForReader(NETDRV* driver, CONNECTION_DATA* data, bool readable) {
    std::lock_guard receive(data->receive_mutex);
    if (!data->parked || (!readable && !NET_HasReadAhead(data->connection)))
        return;
    {
        std::lock_guard lock(data->signals.mutex);
        if (data->handback || data->signals.to_thread != 0)
            return;
    }
    for (;;) {
        {
            std::lock_guard lock(driver->read_mutex);
            if (!ReaderHasRoom(driver, data))
                return;
        }
        ENVELOPE* envelope = nullptr;
        const int taken =
            NET_TakeEnvelope(data->connection, MaxPayload(driver), &envelope, &readable);
        if (taken == 0)
            return;
        if (taken < 0) {
            std::lock_guard lock(data->signals.mutex);
            data->handback = true;
            data->signals.changed.notify_all();
            return;
        }
        const uint32_t size = envelope->data_size();
        envelope->user = data->user;
        envelope->connection = data->connection;
        PushReadQueue(driver, envelope);
        {
            // Set without a notification: nobody waits for it, and the
            // parked reader would only wake for nothing.
            std::lock_guard lock(data->signals.mutex);
            data->signals.from_thread |= kSigDataReceived;
        }
        data->CountTransfer(size);
        ++driver->owner_taken;
    }
}

void ReaderThread(NETDRV* driver, CONNECTION_DATA* data) {
    const uint32_t max_payload = MaxPayload(driver);
    data->signals.Report(kSigRunning);
    bool active = false;
    // A client's session arrives with its handshake made (net/host_connect).
    bool handshake_done = !NET_IsTls(data->connection) || NET_TlsEstablished(data->connection);
    // A TLS session reads ahead by itself.
    if (!NET_IsTls(data->connection))
        NET_SetReadAhead(data->connection, kReadAheadBytes);
    bool large_stream = false;  // the last message was too large for the owner to take
    for (;;) {
        {
            std::unique_lock lock(data->signals.mutex);
            if (!active) {
                data->signals.changed.wait(lock, [&] { return data->signals.to_thread != 0; });
            }
            if (!TakeSignals(driver, data, &active, "Reader thread: got STOP signal."))
                break;
            if (!active)
                continue;
        }
        if (!handshake_done) {
            if (!ReaderHandshake(driver, data)) {
                active = false;
                continue;
            }
            handshake_done = true;
        }
        if (!large_stream && ReaderMayPark(driver, data) && !Park(driver, data))
            continue;
        if (!WaitForReadRoom(driver, data))
            continue;
        // Bytes already received (or decrypted, or received and not yet) are
        // not announced by the socket again.
        if (!NET_HasReadAheadOrStatus(data->connection) && !NET_TlsHasBuffered(data->connection)) {
            pollfd entry{data->connection->socket, POLLIN, 0};
            // A stream of large messages, which the owner would hand back one
            // by one, stays with the reader until the socket runs dry.
            if (large_stream && poll(&entry, 1, 0) == 0) {
                large_stream = false;
                continue;
            }
            if (poll(&entry, 1, kReaderPollMs) <= 0)
                continue;
        }
        {
            // Signals that arrived while waiting come before the data.
            std::lock_guard lock(data->signals.mutex);
            if (data->signals.to_thread != 0)
                continue;
        }
        ENVELOPE* envelope =
            NET_ReceiveEnvelope(data->connection, driver->block_size, driver->net_log, max_payload);
        if (!envelope) {
            ReaderProblem(driver, data, "Reader thread: got empty envelope, receive failed.");
            active = false;
            continue;
        }
        switch (envelope->result) {
            case kEnvComplete: {
                const uint32_t size = envelope->data_size();
                large_stream = kEnvelopeHeaderSize + size > data->connection->ahead_size &&
                               data->connection->ahead_size != 0;
                envelope->user = data->user;
                envelope->connection = data->connection;
                PushReadQueue(driver, envelope);
                data->signals.Report(kSigDataReceived);
                data->CountTransfer(size);
                envelope = nullptr;
                break;
            }
            case kEnvStray:
                LOGSYS_Text(driver->net_log, kLogWarning,
                            "Reader detected: stray data. no effect.");
                break;
            case kEnvForeign:
                if (!NET_IsTls(data->connection) && !data->transferred &&
                    LooksLikeTls(envelope->header)) {
                    const std::string line = "TLS: " + PeerText(data->connection) +
                                             " started a TLS handshake on a plain port; "
                                             "connection refused.";
                    CutConnection(driver, data, line.c_str());
                    active = false;
                    break;
                }
                LOGSYS_Text(driver->net_log, kLogWarning,
                            "Reader detected: foreign packet. no effect.");
                break;
            case kEnvIncomplete:
                LOGSYS_Text(driver->net_log, kLogWarning,
                            "Reader detected: packet not complete, no effect");
                break;
            case kEnvSocketError:
                ReaderProblem(driver, data, "Reader detected: socket error, STOP!");
                active = false;
                break;
            case kEnvClosed:
                ReaderProblem(driver, data, "Reader detected: connection lost, STOP!");
                active = false;
                break;
            case kEnvNoMemory:
                ReaderProblem(driver, data, "Reader detected: no memory for packet, STOP!");
                active = false;
                break;
            case kEnvOversized:
                ReaderProblem(driver, data, "Reader detected: packet too large, STOP!");
                active = false;
                break;
            default:
                ReaderProblem(driver, data, "Reader detected: unknown error, STOP!");
                active = false;
                break;
        }
        NET_FreeEnvelope(envelope);
        if (driver->settings.drv_reader_sleep_activate)
            Pause(driver->settings.drv_reader_sleep);
    }
    if (driver->Verbose(kVerboseThreads)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Reader thread: got TERMINATE signal.");
        LOGSYS_Text(driver->net_log, kLogInfo, "Reader thread: exiting...");
    }
    data->signals.Report(kSigEnded);
}

// [SECTION] Writer thread

void WriterThread(NETDRV* driver, CONNECTION_DATA* data) {
    if (driver->Verbose(kVerboseThreads)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Writer thread: running.");
    }
    data->signals.Report(kSigRunning);
    bool active = false;
    std::vector<ENVELOPE*> batch;
    batch.reserve(kNetMaxSendBatch);
    for (;;) {
        {
            std::unique_lock lock(data->signals.mutex);
            data->busy = false;
            data->signals.changed.wait(lock, [&] {
                return data->signals.to_thread != 0 || (active && !data->queue.empty());
            });
            const bool going_on =
                TakeSignals(driver, data, &active, "Writer thread: got STOP signal.");
            data->active = going_on && active;
            if (!going_on)
                break;
            if (!active)
                continue;
            data->busy = !data->queue.empty();
            // A writer that fell behind takes what has piled up at once.
            while (!data->queue.empty() && batch.size() < kNetMaxSendBatch) {
                ENVELOPE* envelope = data->queue.front();
                data->queue.pop_front();
                data->queued_bytes -= envelope->data_size();
                driver->write_bytes -= envelope->data_size();
                batch.push_back(envelope);
            }
        }
        if (batch.empty())
            continue;
        if (NET_SendEnvelopes(data->connection, batch, driver->block_size, driver->net_log) == 0) {
            for (const ENVELOPE* envelope : batch) data->CountTransfer(envelope->data_size());
        } else {
            LOGSYS_Text(driver->net_log, kLogError, "Writer thread: error sending data !");
        }
        for (ENVELOPE* envelope : batch) NET_FreeEnvelope(envelope);
        batch.clear();
        if (driver->settings.drv_writer_sleep_activate)
            Pause(driver->settings.drv_writer_sleep);
    }
    if (driver->Verbose(kVerboseThreads)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Writer thread: got TERMINATE signal.");
        LOGSYS_Text(driver->net_log, kLogInfo, "Writer thread: exiting...");
    }
    data->signals.Report(kSigEnded);
}

// [SECTION] Server thread

// Waits up to `ms` unless TERMINATE arrives; true when it did.
bool ServerPause(NETDRV* driver, uint32_t ms) {
    std::unique_lock lock(driver->server_signals.mutex);
    return driver->server_signals.changed.wait_for(lock, std::chrono::milliseconds(ms), [&] {
        return (driver->server_signals.to_thread & kSigTerminate) != 0;
    });
}

void ScanFlags(NETDRV* driver) {
    NETUSR_ForEach(&driver->users, [&](NETUSR* user) {
        const uint32_t flags = user->flags.load();
        if (!(flags & (kUsrLoggedOn | kUsrConnected | kUsrHandshakeFailed)) ||
            (flags & kUsrRemoveRequested)) {
            return;
        }
        std::lock_guard user_lock(user->mutex);
        if (!user->reader->signals.TestReported(kSigProblem))
            return;
        if (driver->Verbose(kVerboseThreads)) {
            LOGSYS_Text(driver->net_log, kLogInfo,
                        "Server Thread: lost connection from reader reported.");
        }
        user->writer->signals.Post(kSigStop);
        if (KRNL_SendUsrRemoveMessage(driver, user) != 0) {
            LOGSYS_Text(driver->net_log, kLogError, "Server Thread: Cannot send usr remove msg.");
        }
    });
}

// Gives an accepted connection its TLS session, counting its handshake
// against its address. False (the connection is the caller's to close) when
// the address has too many handshakes under way.
bool PrepareTls(NETDRV* driver, NET_CONNECTION* connection) {
    if (!driver->tls)
        return true;
    const uint32_t address = ntohl(connection->peer.sin_addr.s_addr);
    {
        std::lock_guard lock(driver->handshake_mutex);
        uint32_t& under_way = driver->handshakes[address];
        const uint32_t limit = driver->handshakes_per_address.load();
        if (limit != 0 && under_way >= limit) {
            ++driver->handshakes_refused;
            char line[160];
            std::snprintf(line, sizeof line,
                          "TLS: %s has %u handshakes under way; connection refused.",
                          PeerText(connection).c_str(), unsigned(under_way));
            LOGSYS_Text(driver->net_log, kLogWarning, line);
            return false;
        }
        ++under_way;
    }
    auto release = [driver, address] {
        std::lock_guard lock(driver->handshake_mutex);
        auto found = driver->handshakes.find(address);
        if (found != driver->handshakes.end() && --found->second == 0)
            driver->handshakes.erase(found);
    };
    if (!NET_TlsAttach(connection, driver->tls, nullptr)) {
        release();
        LOGSYS_Text(driver->net_log, kLogError, "TLS: cannot set up a session.");
        return false;
    }
    NET_TlsOnHandshakeEnd(connection, release);
    return true;
}

// Hands an accepted connection to the message loop as an internal envelope.
void QueueNewConnection(NETDRV* driver, NET_CONNECTION* connection) {
    if (!PrepareTls(driver, connection)) {
        NET_Close(connection);
        return;
    }
    ENVELOPE* envelope = NET_CreateEnvelope(nullptr, 0);
    if (!envelope) {
        NET_Close(connection);
        return;
    }
    envelope->header.type = NET_MSGTYPE_NEWCONNECTION;
    envelope->connection = connection;
    envelope->internal = true;
    PushReadQueue(driver, envelope);
    if (driver->Verbose(kVerboseThreads)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "Server thread: got new network connection.");
    }
}

void ServerThread(NETDRV* driver) {
    const bool server = driver->mode == kModeServer;
    if (server) {
        driver->listener =
            NET_Listen(driver->settings.port, driver->net_log, driver->settings.srv_bind_addr,
                       int(std::min<uint32_t>(driver->settings.srv_listen_backlog, 4096)));
        if (!driver->listener) {
            LOGSYS_Text(driver->net_log, kLogError,
                        "Server thread: Cannot start read connection for incoming.");
            driver->server_signals.Report(kSigEnded);
            return;
        }
        driver->listen_port = NET_LocalPort(driver->listener);
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "Server thread: running.");
    driver->server_signals.Report(kSigRunning);
    const NET_SETTINGS& settings = driver->settings;
    for (;;) {
        ScanFlags(driver);
        // Never less than 1 ms per pass, so a configuration of zeros cannot spin.
        uint32_t pause = settings.srv_waitforflags;
        if (!server || settings.srv_newconnect == 0)
            pause = std::max<uint32_t>(pause, 1);
        if (ServerPause(driver, pause))
            break;
        // After a connection arrived, the ones already waiting behind it are
        // taken at once (up to a bound) instead of one per pass.
        uint32_t wait = settings.srv_newconnect;
        for (int taken = 0; server && taken < kAcceptsPerPass; ++taken) {
            NET_CONNECTION* connection = NET_Accept(driver->listener, wait, driver->net_log);
            wait = 0;
            if (!connection)
                break;
            QueueNewConnection(driver, connection);
        }
        if (settings.drv_serverloop_sleep_activate &&
            ServerPause(driver, settings.drv_serverloop_sleep)) {
            break;
        }
        std::lock_guard lock(driver->server_signals.mutex);
        if (driver->server_signals.to_thread & kSigTerminate)
            break;
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "Server thread: got terminate signal.");
    if (driver->listener) {
        NET_Close(driver->listener);
        driver->listener = nullptr;
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "Server thread: exiting...");
    driver->server_signals.Report(kSigEnded);
}

// [SECTION] User set-up and removal

std::unique_ptr<CONNECTION_DATA> NewConnectionData(uint32_t kind, NETUSR* user) {
    std::unique_ptr<CONNECTION_DATA> data(new (std::nothrow) CONNECTION_DATA);
    if (!data)
        return nullptr;
    data->kind = kind;
    data->created = data->last_transfer = vorlane::baselib::SteadyClock().NowMs();
    data->created_wall = std::time(nullptr);
    data->user = user;
    data->connection = user->connection;
    return data;
}

bool StartThread(NETDRV* driver, CONNECTION_DATA* data, bool reader) {
    try {
        data->thread = reader ? std::thread(ReaderThread, driver, data)
                              : std::thread(WriterThread, driver, data);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

// Ends one thread. The wait is bounded by thrd_exit for the report; the join
// itself always happens, so the thread never outlives the data it uses (the
// socket was shut down before, which ends any blocking call).
void StopThread(NETDRV* driver, CONNECTION_DATA* data, const char* failure) {
    if (!data || !data->thread.joinable())
        return;
    data->signals.Post(kSigTerminate);
    if (!data->signals.WaitReported(kSigEnded, driver->settings.thrd_exit)) {
        LOGSYS_Text(driver->net_log, kLogError, failure);
    }
    data->thread.join();
}

void StopUserThreads(NETDRV* driver, NETUSR* user) {
    StopThread(driver, user->reader.get(), "NETDRV::NETDRV_RemoveReaderThread()...failed !");
    StopThread(driver, user->writer.get(), "NETDRV::NETDRV_RemoveWriterThread()...failed !");
}

}  // namespace

NETUSR* InitUser(NETDRV* driver, NET_CONNECTION* connection) {
    if (driver->Verbose(kVerboseUsers)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "InitUser: Creating New user...");
    }
    std::unique_ptr<NETUSR> user(new (std::nothrow) NETUSR);
    if (!user) {
        LOGSYS_Text(driver->net_log, kLogError, "InitUser: Error allocating memory for user.");
        return nullptr;
    }
    user->flags = kUsrCreated;
    user->connection = connection;
    user->driver = driver;
    auto fail = [&](const char* line) -> NETUSR* {
        if (line)
            LOGSYS_Text(driver->net_log, kLogError, line);
        StopUserThreads(driver, user.get());
        return nullptr;  // the connection stays the caller's
    };

    user->reader = NewConnectionData(kReaderKind, user.get());
    if (!user->reader) {
        LOGSYS_Text(driver->net_log, kLogError,
                    "Start reader thread: cannot alloc condata struct !");
        return fail("InitUser: Cannot start new reader thread.");
    }
    if (!StartThread(driver, user->reader.get(), true)) {
        LOGSYS_Text(driver->net_log, kLogError, "Start reader thread: create thread failed !");
        return fail("InitUser: Cannot start new reader thread.");
    }
    user->writer = NewConnectionData(kWriterKind, user.get());
    if (!user->writer) {
        LOGSYS_Text(driver->net_log, kLogError, "Start writer thread: no connect struct !");
        return fail("InitUser: Cannot start new writer thread.");
    }
    if (!StartThread(driver, user->writer.get(), false)) {
        LOGSYS_Text(driver->net_log, kLogError, "Start writer thread: create thread failed !");
        return fail("InitUser: Cannot start new writer thread.");
    }
    const uint32_t wait = driver->settings.usr_initnew;
    if (!user->reader->signals.WaitReported(kSigRunning, wait) ||
        !user->writer->signals.WaitReported(kSigRunning, wait)) {
        LOGSYS_Text(driver->net_log, kLogError, "NETUSR::NETUSR_WaitForUserThreads()...timeout !");
        return fail("InitUser: thread start failed.");
    }
    user->flags |= kUsrThreads;
    {
        auto lock = NETUSR_Lock(&driver->users);
        user->slot = PL_Append(driver->users.list, user.get());
        if (user->slot < 0)
            return fail("InitUser: insert list failed.");
    }
    if (driver->Verbose(kVerboseUsers)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "InitUser: New user ready.");
    }
    return user.release();
}

void NETUSR_RemoveUser(NETDRV* driver, NETUSR* user) {
    {
        auto list_lock = NETUSR_Lock(&driver->users);
        std::lock_guard user_lock(user->mutex);
        user->flags &= ~(kUsrLoggedOn | kUsrConnected);
        NET_Shutdown(user->connection);
        StopUserThreads(driver, user);
        if (user->slot >= 0)
            PL_Remove(driver->users.list, user->slot, 0);
        user->slot = -1;
    }
    NET_Close(user->connection);
    user->connection = nullptr;
    PurgeReadQueue(driver, user);
    if (CONNECTION_DATA* writer = user->writer.get()) {
        // What never went out leaves the figures of all writers' queues.
        std::lock_guard lock(writer->signals.mutex);
        driver->write_bytes -= writer->queued_bytes;
        writer->queued_bytes = 0;
        for (ENVELOPE* envelope : writer->queue) NET_FreeEnvelope(envelope);
        writer->queue.clear();
    }
    if (driver->Verbose(kVerboseUsers)) {
        LOGSYS_Text(driver->net_log, kLogInfo, "NETUSR_RemoveUser: User removed.");
    }
    delete user;
}

void PostToUserThreads(NETUSR* user, uint32_t bits) {
    user->reader->signals.Post(bits);
    user->writer->signals.Post(bits);
}

// [SECTION] Queues

void PushReadQueue(NETDRV* driver, ENVELOPE* envelope) {
    bool wake = false;
    {
        std::lock_guard lock(driver->read_mutex);
        wake = OwnerWakeDue(driver);
        driver->read_queue.push_back(envelope);
        if (CountedInbound(envelope)) {
            const uint32_t size = envelope->data_size();
            envelope->user->reader->inbound_bytes += size;
            ++envelope->user->reader->inbound_envelopes;
            driver->read_bytes += size;
            driver->read_peak = std::max(driver->read_peak, driver->read_bytes);
        }
    }
    if (wake)
        WriteWake(driver);
    vorlane::net::NotifyInbound();
}

// Envelopes are popped and purged on the thread that drives the kernel, the
// only one that removes users, so an envelope's user is alive here.
ENVELOPE* PopReadQueue(NETDRV* driver) {
    bool wake = false;
    ENVELOPE* envelope = nullptr;
    {
        std::lock_guard lock(driver->read_mutex);
        if (driver->read_queue.empty())
            return nullptr;
        envelope = driver->read_queue.front();
        driver->read_queue.pop_front();
        wake = UncountInbound(driver, envelope);
    }
    if (wake)
        driver->read_space.notify_all();
    return envelope;
}

void PurgeReadQueue(NETDRV* driver, NETUSR* user) {
    bool wake = false;
    {
        std::lock_guard lock(driver->read_mutex);
        auto& queue = driver->read_queue;
        auto keep = std::stable_partition(
            queue.begin(), queue.end(), [&](ENVELOPE* envelope) { return envelope->user != user; });
        for (auto it = keep; it != queue.end(); ++it) {
            wake = UncountInbound(driver, *it) || wake;
            NET_FreeEnvelope(*it);
        }
        queue.erase(keep, queue.end());
    }
    if (wake)
        driver->read_space.notify_all();
}

namespace {

// The parked readers the owner receives for, and their sockets behind the
// eventfd in `fds`. Past kOwnerReceiveUsers connections the readers are
// handed their sockets back instead.
void ParkedReaders(NETDRV* driver, std::vector<CONNECTION_DATA*>* readers,
                   std::vector<pollfd>* fds) {
    readers->clear();
    fds->assign(1, pollfd{driver->wake_fd, POLLIN, 0});
    auto lock = NETUSR_Lock(&driver->users);
    const bool few = driver->users.list->count <= kOwnerReceiveUsers;
    if (driver->owner_receives.exchange(few) == false && !few)
        return;
    NETUSR_ForEach(&driver->users, [&](NETUSR* user) {
        CONNECTION_DATA* reader = user->reader.get();
        if (!reader)
            return;
        std::lock_guard receive(reader->receive_mutex);
        if (!reader->parked)
            return;
        std::lock_guard signal_lock(reader->signals.mutex);
        // Handed back, it is the reader's until it parks again: polling its
        // socket meanwhile would only spin.
        if (reader->handback)
            return;
        if (few) {
            readers->push_back(reader);
            fds->push_back(pollfd{reader->connection->socket, POLLIN, 0});
            return;
        }
        reader->handback = true;
        reader->signals.changed.notify_all();
    });
}

bool ReadQueueEmpty(NETDRV* driver) {
    std::lock_guard lock(driver->read_mutex);
    return driver->read_queue.empty();
}

}  // namespace

// Only the owner removes users, and it is here: the readers collected stay
// valid for the whole wait.
bool NETDRV_WaitForMessage(NETDRV* driver, uint32_t timeout_ms) {
    if (!ReadQueueEmpty(driver))
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    driver->owner_in_wait = true;
    driver->owner_waited_ms = NowMs();
    std::vector<CONNECTION_DATA*> readers;
    std::vector<pollfd> fds;
    bool queued = false;
    for (;;) {
        ParkedReaders(driver, &readers, &fds);
        // Bytes already read ahead are not announced by the socket again.
        for (CONNECTION_DATA* reader : readers) {
            TakeForReader(driver, reader, false);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        {
            std::lock_guard lock(driver->read_mutex);
            queued = !driver->read_queue.empty();
            if (std::exchange(driver->wake_asked, false) || queued || left.count() <= 0)
                break;
            driver->owner_polling = true;
        }
        const int ready = poll(fds.data(), fds.size(), int(left.count()));
        bool woken;
        {
            std::lock_guard lock(driver->read_mutex);
            driver->owner_polling = false;
            woken = std::exchange(driver->owner_woken, false);
        }
        if (woken) {
            uint64_t count;
            [[maybe_unused]] const ssize_t got = read(driver->wake_fd, &count, sizeof count);
        }
        for (size_t i = 0; ready > 0 && i < readers.size(); ++i) {
            if (fds[i + 1].revents != 0)
                TakeForReader(driver, readers[i], true);
        }
        if (!ReadQueueEmpty(driver)) {
            queued = true;
            break;
        }
    }
    driver->owner_waited_ms = NowMs();
    driver->owner_in_wait = false;
    return queued;
}

void NETDRV_Wake(NETDRV* driver) {
    std::unique_lock lock(driver->read_mutex);
    driver->wake_asked = true;
    const bool wake = OwnerWakeDue(driver);
    lock.unlock();
    if (wake)
        WriteWake(driver);
}

size_t NETDRV_PendingMessages(NETDRV* driver) {
    std::lock_guard lock(driver->read_mutex);
    return driver->read_queue.size();
}

int16_t QueueForUser(NETDRV* driver, NETUSR* user, uint32_t sender, uint32_t receiver,
                     uint32_t type, const void* data, uint32_t size) {
    if (!user || !user->writer)
        return -1;
    ENVELOPE* envelope = NET_CreateEnvelope(data, size);
    if (!envelope) {
        LOGSYS_Text(driver->net_log, kLogError,
                    "Server game tick: SendSingleMessage: No Memory for envelope.");
        return -1;
    }
    envelope->header.sender = sender;
    envelope->header.receiver = receiver;
    envelope->header.type = type;
    envelope->header.reserved = 0;
    CONNECTION_DATA* writer = user->writer.get();
    bool wake = false;
    {
        std::lock_guard lock(writer->signals.mutex);
        const uint64_t cap = writer->queue_cap != 0
                                 ? std::min(writer->queue_cap, kMaxWriterQueueBytes)
                                 : kMaxWriterQueueBytes;
        if (writer->queued_bytes + size > cap) {
            NET_FreeEnvelope(envelope);
            ++driver->refused_user_cap;
            return -1;
        }
        // Writers only ever lower the total, so a reservation that fits
        // stays within the cap whatever they do meanwhile.
        const uint64_t total_cap = driver->write_cap.load();
        uint64_t total = driver->write_bytes.load();
        do {
            if (total_cap != 0 && total + size > total_cap) {
                NET_FreeEnvelope(envelope);
                ++driver->refused_total_cap;
                return -1;
            }
        } while (!driver->write_bytes.compare_exchange_weak(total, total + size));
        uint64_t peak = driver->write_peak.load();
        while (total + size > peak &&
               !driver->write_peak.compare_exchange_weak(peak, total + size)) {
        }
        // A writer that has nothing to do is skipped: what the socket takes
        // at once goes out from here, which spares a thread wake-up per
        // message (and per member on a server's fan-out). The writer mutex
        // is held, and an idle writer with an empty queue has nothing of its
        // own under way, so the bytes still leave in the order queued.
        if (writer->active && !writer->busy && writer->signals.to_thread == 0 &&
            writer->queue.empty()) {
            if (NET_TrySendEnvelope(writer->connection, envelope, driver->block_size) == 1) {
                driver->write_bytes -= size;
                writer->CountTransfer(size);
                NET_FreeEnvelope(envelope);
                return 0;
            }
        }
        // The writer waits only on an empty queue; while it has work it
        // comes back for more by itself, so only the first message wakes it.
        wake = writer->queue.empty();
        writer->queue.push_back(envelope);
        writer->queued_bytes += size;
    }
    if (wake)
        writer->signals.changed.notify_all();
    return 0;
}

// [SECTION] Sending

int16_t SendSingleMessage(NETDRV* driver, uint32_t sender, uint32_t receiver, uint32_t type,
                          const void* data, uint32_t size) {
    if (!driver)
        return -1;
    auto lock = NETUSR_Lock(&driver->users);
    // A client's only peers are its own connections to the server, which
    // relays to other users: every message leaves on the sender's connection.
    if (driver->mode == kModeClient) {
        NETUSR* own = NETUSR_FindById(&driver->users, sender);
        return own ? QueueForUser(driver, own, sender, receiver, type, data, size) : -1;
    }
    if (receiver == USR_ALL) {
        int16_t result = 0;
        NETUSR_ForEach(&driver->users, [&](NETUSR* user) {
            if (result != 0 || !user->address || user->address->id == sender)
                return;
            if (QueueForUser(driver, user, sender, receiver, type, data, size) != 0) {
                LOGSYS_Text(driver->net_log, kLogError,
                            "Server game tick: SendSingleMessage: Send to USR_ALL failed.");
                result = -1;
            }
        });
        return result;
    }
    NETUSR* user = NETUSR_FindById(&driver->users, receiver == NET_ID_SERVER ? sender : receiver);
    if (!user)
        return -1;
    return QueueForUser(driver, user, sender, receiver, type, data, size);
}

NETUSR* SendLogonRequest(NETDRV* driver, const char* name, const char* password, uint16_t port,
                         uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    if (!driver)
        return nullptr;
    LOGSYS_Text(driver->net_log, kLogInfo, "SendLogonRequest: Connecting to site...");
    NET_CONNECTION* connection =
        NET_Connect(port, a, b, c, d, driver->settings.srv_sendlogonrequest, driver->net_log,
                    driver->settings.clt_bind_addr);
    if (!connection) {
        LOGSYS_Text(driver->net_log, kLogWarning, "SendLogonRequest: Cannot connect to server.");
        return nullptr;
    }
    return SendLogonOnConnection(driver, connection, name, password);
}

NETUSR* SendLogonOnConnection(NETDRV* driver, NET_CONNECTION* connection, const char* name,
                              const char* password) {
    if (!driver) {
        NET_Close(connection);
        return nullptr;
    }
    NETUSR* user = InitUser(driver, connection);
    if (!user) {
        NET_Close(connection);
        LOGSYS_Text(driver->net_log, kLogError, "SendLogonRequest: Cannot alloc new user.");
        return nullptr;
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "SendLogonRequest: Connection established.");
    PostToUserThreads(user, kSigStart);
    user->flags |= kUsrConnected;

    LOGON_RECORD record;
    record.id = NET_ID_UNKNOWN;
    record.name = name ? name : "";
    record.password = password ? password : "";
    record.flags = 1;
    std::vector<uint8_t> payload = EncodeLogonRecord(record);
    if (QueueForUser(driver, user, NET_ID_UNKNOWN, NET_ID_SERVER, NET_MSGTYPE_LOGMEON,
                     payload.data(), uint32_t(payload.size())) != 0) {
        NETUSR_RemoveUser(driver, user);
        LOGSYS_Text(driver->net_log, kLogError, "SendLogonRequest: Cannot send message.");
        return nullptr;
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "SendLogonRequest: Sended LOGMEON to server.");
    return user;
}

int16_t SendLogoffRequest(NETDRV* driver, NETUSR* user) {
    if (!driver || !user || !NETUSR_Contains(&driver->users, user))
        return -1;
    KRNL_AddLogonCheck(driver, user, driver->settings.usr_logofftimeout);
    user->flags &= ~kUsrLoggedOn;
    std::vector<uint8_t> payload = EncodeLogoffRecord();
    if (QueueForUser(driver, user, user->address ? user->address->id : NET_ID_UNKNOWN,
                     NET_ID_SERVER, NET_MSGTYPE_LOGMEOFF, payload.data(),
                     uint32_t(payload.size())) != 0) {
        LOGSYS_Text(driver->net_log, kLogError, "SendLogoffRequest: Cannot send message.");
        return -1;
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "SendLogonRequest: Sended LOGMEOFF to server.");
    return 0;
}

// [SECTION] Driver start and removal

uint32_t NET_ClampUserMax(uint32_t usr_max) {
    return usr_max > 1003 ? 1000 : usr_max;
}

namespace {

LOGSYS* CreateLog(uint32_t outputs, const std::string& name) {
    LOGSYS* log = LOGSYS_Create(0x400, outputs, name.c_str());
    if (!log)
        return nullptr;
    // The dashes part one run from the next in a file; a journal or a
    // terminal has its own way of telling runs apart.
    if (log->outputs & kLogToFile) {
        const std::string dashes(80, '-');
        for (int i = 0; i < 5; ++i) LOGSYS_Text(log, kLogRaw, dashes.c_str());
    }
    return log;
}

void ReleaseDriver(NETDRV* driver) {
    if (driver->server_thread.joinable()) {
        driver->server_signals.Post(kSigTerminate);
        driver->server_thread.join();
    }
    {
        std::lock_guard lock(driver->read_mutex);
        for (ENVELOPE* envelope : driver->read_queue) {
            if (envelope->header.type == NET_MSGTYPE_NEWCONNECTION)
                NET_Close(envelope->connection);
            NET_FreeEnvelope(envelope);
        }
        driver->read_queue.clear();
    }
    if (driver->wake_fd >= 0)
        close(driver->wake_fd);
    CALL_Destroy(driver->calls, 1);
    NETGRP_Destroy(driver->groups);
    if (driver->users.list)
        PL_Done(driver->users.list, 0);
    ID_Destroy(driver->ids);
    NET_Done(driver->service);
    if (driver->listener)
        NET_Close(driver->listener);
    if (driver->data_log)
        LOGSYS_Destroy(driver->data_log);
    if (driver->user_log)
        LOGSYS_Destroy(driver->user_log);
    if (driver->net_log)
        LOGSYS_Destroy(driver->net_log);
    delete driver;
}

bool AddDriverCall(NETDRV* driver, CALL_FUNCTION function, uint32_t interval) {
    auto* parameter = new (std::nothrow) DRIVER_CALL_PARAM;
    if (!parameter)
        return false;
    parameter->driver = driver;
    return CALL_Add(driver->calls, function, parameter, interval,
                    kCallTimed | kCallStoreInterval | kCallRepeat, 1, 1) != 0;
}

}  // namespace

NETDRV* NETDRV_Start(NETAPI* api, const NET_SETTINGS& settings, uint16_t port, uint32_t buf_rw,
                     uint32_t block_size, uint32_t usr_max, uint32_t log_outputs,
                     const char* net_log_name, const char* user_log_name, const char* data_log_name,
                     uint32_t groups, uint32_t mode) {
    auto* driver = new (std::nothrow) NETDRV;
    if (!driver)
        return nullptr;
    driver->mode = mode;
    driver->api = api;
    driver->net_log_name = net_log_name ? net_log_name : "netlog.txt";
    driver->user_log_name = user_log_name ? user_log_name : "userlog.txt";
    driver->data_log_name = data_log_name ? data_log_name : "logdata.csv";
    auto fail = [&]() -> NETDRV* {
        ReleaseDriver(driver);
        return nullptr;
    };

    driver->net_log = CreateLog(log_outputs, driver->net_log_name);
    if (!driver->net_log)
        return fail();
    LOGSYS* log = driver->net_log;
    LOGSYS_Text(log, kLogInfo, "Net Driver: Starting new driver.");
    LOGSYS_Text(log, kLogInfo, "Net Driver: Starting up...");
    driver->user_log = CreateLog(log_outputs, driver->user_log_name);
    driver->data_log = CreateLog(log_outputs, driver->data_log_name);
    if (!driver->user_log || !driver->data_log)
        return fail();

    driver->settings = settings;
    driver->settings.port = port;
    driver->settings.buf_rw = buf_rw;
    driver->settings.buf_writeblock = block_size;
    driver->settings.usr_max = NET_ClampUserMax(usr_max);
    driver->block_size = int32_t(std::min<uint32_t>(block_size, 0x7FFFFFFF));
    driver->read_user_max =
        settings.drv_read_user_max ? settings.drv_read_user_max : kDefaultReadUserMax;
    driver->read_total_max =
        settings.drv_read_total_max ? settings.drv_read_total_max : kDefaultReadTotalMax;
    driver->read_user_envelopes = mode == kModeServer ? kReadUserEnvelopes : UINT32_MAX;
    const uint32_t users = driver->settings.usr_max;

    driver->ids = ID_Create(4 * users + 154);
    if (!driver->ids)
        return fail();
    LogTo(log, kLogInfo, "Net Driver: ID system initialized (%d entries).", int(4 * users + 154));
    driver->calls = CALL_Create(uint16_t(2 * users + 52), driver->ids);
    if (!driver->calls)
        return fail();
    LogTo(log, kLogInfo, "Net Driver: Callbackhandler ready (%d calls reserved).",
          int(2 * users + 52));
    // A server takes a few connections beyond its users, so that a client
    // arriving at a full server can be told so at its log-on (the log-on
    // itself is bounded by the users' records) instead of being cut off.
    const uint32_t connections = mode == kModeServer ? users + kLogonRefusalRoom : users;
    driver->users.list = PL_Init(int16_t(connections));
    if (!driver->users.list || !ADDR_Init(&driver->users.addr, users))
        return fail();
    if (mode == kModeServer) {
        // Identifiers from NET_ID_SERVER up mean the kernel's own addresses.
        if (uint64_t(settings.srv_id_base) + users >= NET_ID_SERVER)
            return fail();
        driver->users.addr.id_base = settings.srv_id_base;
    }
    LogTo(log, kLogInfo, "Net Driver: User list for >> %d << user created.", int(users));
    driver->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (driver->wake_fd < 0)
        return fail();
    LOGSYS_Text(log, kLogInfo, "Net Driver: Server read queue created.");
    driver->service = NET_Init(port, log);
    if (!driver->service)
        return fail();
    LogTo(log, kLogInfo, "Net Driver: Network service initialised, using port: >> %d <<.",
          int(port));
    if (mode == kModeServer && settings.tls) {
        driver->tls = api ? api->SrvTlsContext() : nullptr;
        if (!driver->tls) {
            LOGSYS_Text(log, kLogError, "Net Driver: tls = 1, but there is no certificate.");
            return fail();
        }
        LOGSYS_Text(log, kLogInfo, "Net Driver: connections are encrypted (TLS).");
    }
    try {
        driver->server_thread = std::thread(ServerThread, driver);
    } catch (const std::system_error&) {
        return fail();
    }
    // The server thread listens first; wait until it runs (or gave up) so the
    // port is in use once the driver is ready.
    std::unique_lock lock(driver->server_signals.mutex);
    driver->server_signals.changed.wait(lock, [&] {
        return (driver->server_signals.from_thread & (kSigRunning | kSigEnded)) != 0;
    });
    const bool running = (driver->server_signals.from_thread & kSigRunning) != 0;
    lock.unlock();
    if (!running)
        return fail();
    LOGSYS_Text(log, kLogInfo, "Net Driver: Server thread started.");

    if (mode == kModeServer) {
        if (!AddDriverCall(driver, KRNL_PTR_CheckDeadConnections,
                           driver->settings.srv_checkdeadcalltime) ||
            !AddDriverCall(driver, KRNL_PTR_UserOnline, driver->settings.srv_sendalive)) {
            return fail();
        }
        LOGSYS_Text(log, kLogInfo, "Net Driver: Callbacks started.");
        LOGSYS_Text(log, kLogInfo, "Net Driver: Driver functions installed.");
    }
    driver->groups = NETGRP_Create(groups, driver->ids);
    if (!driver->groups)
        return fail();
    LogTo(log, kLogInfo, "Net Driver: Group handler for >> %d << groups initialized.", int(groups));
    LOGSYS_Text(log, kLogInfo, "Net Driver: READY!");
    if (mode == kModeServer)
        KRNL_WriteUserOnline(driver);
    return driver;
}

void NETDRV_Remove(NETDRV* driver, uint32_t time_ms) {
    if (!driver)
        return;
    LOGSYS_Text(driver->net_log, kLogInfo, "Net Driver: removing...");
    for (;;) {
        NETUSR* user = nullptr;
        {
            auto lock = NETUSR_Lock(&driver->users);
            if (driver->users.list->head >= 0) {
                user = static_cast<NETUSR*>(
                    driver->users.list->slots[size_t(driver->users.list->head)].element);
            }
        }
        if (!user)
            break;
        if (driver->mode == kModeServer)
            KRNL_WriteLogout(driver, user);
        KRNL_CancelUserCalls(driver, user);
        ADDR_Remove(&driver->users.addr, user->address);
        user->address = nullptr;
        NETUSR_RemoveUser(driver, user);
    }
    LOGSYS_Text(driver->net_log, kLogInfo, "Net Driver: deleting master thread.");
    driver->server_signals.Post(kSigTerminate);
    if (!driver->server_signals.WaitReported(kSigEnded, time_ms + 5000)) {
        LOGSYS_Text(driver->net_log, kLogError, "Net Driver: server thread did not end in time.");
    }
    ReleaseDriver(driver);
    LOGSYS_Text(nullptr, kLogInfo, "Net Driver: REMOVED !");
}
