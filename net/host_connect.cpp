#include "net/host_connect.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/inbound_wake.h"

namespace vorlane::net {

// What the lookup thread hands back. The thread holds its own reference, so
// an attempt that was cancelled or destroyed leaves it nothing dangling.
struct HostConnect::Lookup {
    std::mutex mutex;
    bool done = false;
    bool found = false;
    uint8_t address[4] = {};
};

// What the handshake thread works on and hands back; the connection is
// closed when the last of the thread and the attempt lets go of it.
struct HostConnect::Handshake {
    std::mutex mutex;
    bool done = false;
    TlsHandshakeResult result = TlsHandshakeResult::kFailed;
    std::unique_ptr<NET_CONNECTION, CloseConnection> connection;
};

namespace {

// The first IPv4 address of `host` in network order; false when it cannot be
// resolved. May take as long as the system's resolver does.
bool ResolveIPv4(const std::string& host, uint8_t out[4]) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(out, &address->sin_addr.s_addr, 4);
    freeaddrinfo(found);
    return true;
}

// The IPv4 address of a dotted-quad text in network order; false for
// anything else (a name).
bool ParseIPv4(const char* text, uint8_t out[4]) {
    in_addr address{};
    if (inet_pton(AF_INET, text, &address) != 1)
        return false;
    std::memcpy(out, &address.s_addr, 4);
    return true;
}

}  // namespace

HostConnect::~HostConnect() {
    Cancel();
}

HostConnect::State HostConnect::Start(const char* host, const Options& options, uint32_t now_ms) {
    Cancel();
    options_ = options;
    lookup_failed_ = false;
    host_ = host ? host : "";
    handshake_result_ = TlsHandshakeResult::kDone;
    tls_peer_ = {};
    phase_start_ms_ = now_ms;
    if (!host || !*host)
        return Fail(true);
    uint8_t address[4];
    if (ParseIPv4(host, address))
        return StartConnect(address, now_ms);
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, name = std::string(host)] {
            uint8_t found[4] = {};
            const bool ok = ResolveIPv4(name, found);
            std::lock_guard lock(lookup->mutex);
            lookup->found = ok;
            std::memcpy(lookup->address, found, 4);
            lookup->done = true;
        }).detach();
    } catch (const std::system_error&) {
        return Fail(true);
    }
    lookup_ = std::move(lookup);
    state_ = State::kLookup;
    return state_;
}

HostConnect::State HostConnect::StartConnect(const uint8_t address[4], uint32_t now_ms) {
    connection_.reset(NET_ConnectStart(options_.port, address[0], address[1], address[2],
                                       address[3], options_.log, options_.bind_address));
    if (!connection_)
        return Fail(false);
    phase_start_ms_ = now_ms;
    state_ = State::kConnect;
    return Poll(now_ms);
}

HostConnect::State HostConnect::Poll(uint32_t now_ms) {
    const uint32_t waited = now_ms - phase_start_ms_;
    if (state_ == State::kLookup) {
        bool done = false, found = false;
        uint8_t address[4] = {};
        {
            std::lock_guard lock(lookup_->mutex);
            done = lookup_->done;
            found = lookup_->found;
            std::memcpy(address, lookup_->address, 4);
        }
        if (!done)
            return waited >= options_.lookup_timeout_ms ? Fail(true) : state_;
        lookup_.reset();
        return found ? StartConnect(address, now_ms) : Fail(true);
    }
    if (state_ == State::kHandshake) {
        std::lock_guard lock(handshake_->mutex);
        if (!handshake_->done)
            return state_;
        handshake_result_ = handshake_->result;
        connection_ = std::move(handshake_->connection);
    }
    if (state_ == State::kHandshake) {
        // Done: the thread only has its wake-up call left.
        if (handshake_thread_.joinable())
            handshake_thread_.join();
        handshake_.reset();
        if (handshake_result_ != TlsHandshakeResult::kDone)
            return Fail(false);
        tls_peer_ = NET_TlsPeer(connection_.get());
        state_ = State::kConnected;
        return state_;
    }
    if (state_ == State::kConnect) {
        const int connected = NET_ConnectPoll(connection_.get(), 0, options_.log);
        if (connected == 1) {
            if (options_.tls)
                return StartHandshake();
            state_ = State::kConnected;
        } else if (connected < 0) {
            return Fail(false);
        } else if (waited >= options_.connect_timeout_ms) {
            LOGSYS_Text(options_.log, kLogError, "NET_Connect: Select failed.");
            return Fail(false);
        }
    }
    return state_;
}

HostConnect::State HostConnect::StartHandshake() {
    if (!NET_TlsAttach(connection_.get(), options_.tls, host_.c_str())) {
        handshake_result_ = TlsHandshakeResult::kFailed;
        return Fail(false);
    }
    auto handshake = std::make_shared<Handshake>();
    handshake->connection = std::move(connection_);
    NET_CONNECTION* connection = handshake->connection.get();
    try {
        handshake_thread_ =
            std::thread([handshake, connection, timeout = options_.handshake_timeout_ms] {
                const TlsHandshakeResult result = NET_TlsHandshake(connection, timeout);
                {
                    std::lock_guard lock(handshake->mutex);
                    handshake->result = result;
                    handshake->done = true;
                }
                NotifyInbound();
            });
    } catch (const std::system_error&) {
        handshake_result_ = TlsHandshakeResult::kFailed;
        return Fail(false);
    }
    handshake_ = std::move(handshake);
    state_ = State::kHandshake;
    return state_;
}

NET_CONNECTION* HostConnect::TakeConnection() {
    if (state_ != State::kConnected)
        return nullptr;
    state_ = State::kIdle;
    return connection_.release();
}

void HostConnect::StopHandshake() {
    if (!handshake_)
        return;
    {
        // Wakes the handshake thread, which then lets go of the connection.
        std::lock_guard lock(handshake_->mutex);
        if (handshake_->connection)
            NET_Shutdown(handshake_->connection.get());
    }
    // The shut-down socket ends the handshake at once. Waiting for the thread
    // keeps it from being inside the TLS library while the program takes
    // that down (a cancel, then the end of the program).
    if (handshake_thread_.joinable())
        handshake_thread_.join();
    handshake_.reset();
}

void HostConnect::Cancel() {
    StopHandshake();
    lookup_.reset();
    connection_.reset();
    state_ = State::kIdle;
}

HostConnect::State HostConnect::Fail(bool lookup) {
    StopHandshake();
    lookup_.reset();
    connection_.reset();
    lookup_failed_ = lookup;
    state_ = State::kFailed;
    return state_;
}

}  // namespace vorlane::net
