// [SECTION] index
//   Bus URLs, connecting, publishing and taking, closing, choosing the bus.
#include "server/nats_bus.h"

#include <nats/nats.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "baselib/logsys.h"
#include "server/lobby_config.h"

namespace vorlane::server {

namespace {

// Between two attempts to reach a lost server: short enough that a restarted
// server is found again within a second, long enough not to spin.
constexpr int64_t kReconnectWaitMs = 250;
// How long Subscribe waits for the server to confirm.
constexpr int64_t kSubscribeWaitMs = 2000;
// Queue-full lines: one at most in this many seconds, with the count.
constexpr int64_t kDropLogSeconds = 10;
// How long closing waits for the library's threads to let go of the bus.
constexpr auto kCloseWait = std::chrono::seconds(5);

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string LastNatsError(natsStatus status) {
    natsStatus last = NATS_OK;
    const char* text = nats_GetLastError(&last);
    if (text && *text)
        return text;
    return natsStatus_GetText(status);
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The part between the scheme and the host ("" without one), and where the
// host starts.
size_t HostStart(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t at = url.find('@', start);
    const size_t slash = url.find('/', start);
    if (at == std::string::npos || (slash != std::string::npos && slash < at))
        return start;
    return at + 1;
}

bool IsTls(const std::string& url) {
    return StartsWith(url, "tls://");
}

// Where the system keeps the CAs it trusts, for a tls:// bus without bus_ca.
constexpr const char* kSystemCaFile = "/etc/ssl/certs/ca-certificates.crt";

}  // namespace

// [SECTION] Bus URLs

std::string RedactedBusUrl(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t host = HostStart(url);
    if (scheme == std::string::npos || host == scheme + 3)
        return url;
    const std::string user_info = url.substr(scheme + 3, host - 1 - (scheme + 3));
    const size_t colon = user_info.find(':');
    // USER:PASSWORD keeps the user; a lone word is a token, a secret itself.
    const std::string shown =
        colon == std::string::npos ? "***" : user_info.substr(0, colon) + ":***";
    return url.substr(0, scheme + 3) + shown + "@" + url.substr(host);
}

std::string BusHost(const std::string& url) {
    const size_t start = HostStart(url);
    if (start < url.size() && url[start] == '[') {
        const size_t close = url.find(']', start);
        return close == std::string::npos ? "" : url.substr(start + 1, close - start - 1);
    }
    const size_t end = url.find_first_of(":/", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string BusUrlProblem(const std::string& url) {
    if (!StartsWith(url, "nats://") && !IsTls(url))
        return "not a nats://HOST:PORT or tls://HOST:PORT address";
    if (BusHost(url).empty())
        return "names no host";
    return "";
}

// [SECTION] Connecting

NatsBus::NatsBus(NatsSettings settings) : settings_(std::move(settings)) {}

bool NatsBus::ApplySettings(natsOptions* options, std::string* error) const {
    auto check = [&](natsStatus status, const std::string& what) {
        if (status == NATS_OK)
            return true;
        if (error)
            *error = what + ": " + LastNatsError(status);
        return false;
    };
    if (!check(natsOptions_SetURL(options, settings_.url.c_str()),
               "bus " + RedactedBusUrl(settings_.url)))
        return false;
    const bool tls = IsTls(settings_.url) || !settings_.ca.empty() || !settings_.cert.empty();
    if (tls) {
        const std::string ca = !settings_.ca.empty()                ? settings_.ca
                               : ::access(kSystemCaFile, R_OK) == 0 ? kSystemCaFile
                                                                    : "";
        if (ca.empty()) {
            if (error)
                *error = "bus_ca: no CA file named and none of the system's found";
            return false;
        }
        if (!check(natsOptions_SetSecure(options, true), "bus TLS") ||
            !check(natsOptions_LoadCATrustedCertificates(options, ca.c_str()), "bus_ca " + ca) ||
            !check(natsOptions_SetExpectedHostname(options, BusHost(settings_.url).c_str()),
                   "bus TLS"))
            return false;
    }
    if (!settings_.cert.empty() || !settings_.key.empty()) {
        if (!check(natsOptions_LoadCertificatesChain(options, settings_.cert.c_str(),
                                                     settings_.key.c_str()),
                   "bus_cert " + settings_.cert + ", bus_key " + settings_.key))
            return false;
    }
    if (!settings_.creds.empty() &&
        !check(natsOptions_SetUserCredentialsFromFiles(options, settings_.creds.c_str(), nullptr),
               "bus_creds " + settings_.creds))
        return false;
    // Reconnect forever, quickly, and hold nothing back meanwhile: the
    // library's default would keep 8 MiB of stale messages for the return.
    return check(natsOptions_SetNoEcho(options, true), "bus") &&
           check(natsOptions_SetAllowReconnect(options, true), "bus") &&
           check(natsOptions_SetMaxReconnect(options, -1), "bus") &&
           check(natsOptions_SetReconnectWait(options, kReconnectWaitMs), "bus") &&
           check(natsOptions_SetReconnectBufSize(options, 1), "bus") &&
           check(natsOptions_SetDisconnectedCB(options, &NatsBus::OnConnectionChange,
                                               const_cast<NatsBus*>(this)),
                 "bus") &&
           check(natsOptions_SetReconnectedCB(options, &NatsBus::OnConnectionChange,
                                              const_cast<NatsBus*>(this)),
                 "bus") &&
           check(natsOptions_SetClosedCB(options, &NatsBus::OnClosed, const_cast<NatsBus*>(this)),
                 "bus");
}

bool NatsBus::Open(std::string* error) {
    if (conn_.load())
        return true;
    natsOptions* options = nullptr;
    if (natsOptions_Create(&options) != NATS_OK) {
        if (error)
            *error = "bus: the NATS library cannot start";
        return false;
    }
    natsConnection* conn = nullptr;
    bool ok = ApplySettings(options, error);
    if (ok) {
        // A server that answers but refuses us (its certificate, our
        // credentials) is a setting to mend, said now; one that is not up
        // yet is waited for in the background.
        natsStatus status = natsConnection_Connect(&conn, options);
        if (status == NATS_NO_SERVER) {
            natsOptions_SetRetryOnFailedConnect(options, true, &NatsBus::OnConnectionChange, this);
            status = natsConnection_Connect(&conn, options);
        }
        if (status != NATS_OK && status != NATS_NOT_YET_CONNECTED) {
            if (error)
                *error = "bus " + RedactedBusUrl(settings_.url) + ": " + LastNatsError(status);
            ok = false;
        }
    }
    natsOptions_Destroy(options);
    if (!ok) {
        natsConnection_Destroy(conn);
        return false;
    }
    conn_.store(conn);
    for (const std::string& pattern : patterns_) SubscribeNow(pattern);
    return true;
}

void NatsBus::OnConnectionChange(natsConnection*, void* closure) {
    static_cast<NatsBus*>(closure)->Wake();
}

void NatsBus::OnClosed(natsConnection*, void* closure) {
    auto* bus = static_cast<NatsBus*>(closure);
    bus->Wake();
    // The last touch: once closed_ is seen, the bus may be gone. Notifying
    // under the lock keeps the waiter from destroying the condition first.
    std::lock_guard lock(bus->mutex_);
    bus->closed_ = true;
    bus->done_.notify_all();
}

bool NatsBus::connected() const {
    natsConnection* conn = conn_.load();
    return conn && natsConnection_Status(conn) == NATS_CONN_STATUS_CONNECTED;
}

// [SECTION] Publishing and taking

void NatsBus::Subscribe(const std::string& pattern) {
    patterns_.push_back(pattern);
    if (conn_.load())
        SubscribeNow(pattern);
}

void NatsBus::SubscribeNow(const std::string& pattern) {
    natsSubscription* sub = nullptr;
    if (natsConnection_Subscribe(&sub, conn_.load(), pattern.c_str(), &NatsBus::OnMessage, this) !=
        NATS_OK) {
        LOGSYS_Printf(nullptr, kLogError, "LOBBYD: bus: cannot subscribe to %s", pattern.c_str());
        return;
    }
    // Closing waits for this, so no message reaches a bus that is gone.
    natsSubscription_SetOnCompleteCB(sub, &NatsBus::OnSubscriptionDone, this);
    subscriptions_.push_back(sub);
    // "From now on" means once the server knows it: what is published after
    // Subscribe returns is not missed. A lost bus learns it on its return.
    if (connected())
        natsConnection_FlushTimeout(conn_.load(), kSubscribeWaitMs);
}

void NatsBus::OnMessage(natsConnection*, natsSubscription*, natsMsg* msg, void* closure) {
    auto* bus = static_cast<NatsBus*>(closure);
    bool queued = false;
    {
        std::lock_guard lock(bus->mutex_);
        if (bus->queue_.size() < bus->settings_.queue_max) {
            BusMessage& message = bus->queue_.emplace_back();
            message.subject = natsMsg_GetSubject(msg);
            const auto* data = reinterpret_cast<const uint8_t*>(natsMsg_GetData(msg));
            message.data.assign(data, data + natsMsg_GetDataLength(msg));
            queued = true;
        }
    }
    natsMsg_Destroy(msg);
    if (!queued)
        bus->dropped_.fetch_add(1);
    bus->Wake();
}

void NatsBus::OnSubscriptionDone(void* closure) {
    auto* bus = static_cast<NatsBus*>(closure);
    std::lock_guard lock(bus->mutex_);
    ++bus->subscriptions_done_;
    bus->done_.notify_all();
}

void NatsBus::Publish(const std::string& subject, std::span<const uint8_t> data) {
    natsConnection* conn = conn_.load();
    // Without a connection the library would refuse it anyway; asking first
    // keeps a lost bus from costing a failed call per message.
    if (!conn || !connected())
        return;
    natsConnection_Publish(conn, subject.c_str(), data.data(), int(data.size()));
}

size_t NatsBus::Take(std::vector<BusMessage>& out, size_t max) {
    size_t taken = 0;
    {
        std::lock_guard lock(mutex_);
        while (taken < max && !queue_.empty()) {
            out.push_back(std::move(queue_.front()));
            queue_.pop_front();
            ++taken;
        }
    }
    ReportDrops();
    return taken;
}

void NatsBus::ReportDrops() {
    const uint64_t dropped = dropped_.load();
    if (dropped == dropped_reported_)
        return;
    const int64_t now = NowSeconds();
    if (last_drop_log_ != 0 && now - last_drop_log_ < kDropLogSeconds)
        return;
    LOGSYS_Printf(nullptr, kLogWarning,
                  "LOBBYD: bus: %llu arrived messages dropped, the queue of %zu was full",
                  static_cast<unsigned long long>(dropped - dropped_reported_),
                  settings_.queue_max);
    dropped_reported_ = dropped;
    last_drop_log_ = now;
}

// [SECTION] Closing

NatsBus::~NatsBus() {
    natsConnection* conn = conn_.exchange(nullptr);
    if (!conn)
        return;
    natsConnection_Close(conn);
    {
        // The library calls back on threads of its own until it has let go
        // of every subscription and of the connection.
        std::unique_lock lock(mutex_);
        done_.wait_for(lock, kCloseWait,
                       [&] { return closed_ && subscriptions_done_ == subscriptions_.size(); });
    }
    for (natsSubscription* sub : subscriptions_) natsSubscription_Destroy(sub);
    natsConnection_Destroy(conn);
}

// [SECTION] Choosing the bus

std::unique_ptr<LobbyBus> OpenBus(const LobbyConfig& config, std::string* error) {
    if (config.bus.empty())
        return std::make_unique<NullBus>();
    if (const std::string problem = BusUrlProblem(config.bus); !problem.empty()) {
        if (error)
            *error = "bus = " + RedactedBusUrl(config.bus) + ": " + problem;
        return nullptr;
    }
    for (const auto& [key, file] :
         {std::pair{"bus_ca", &config.bus_ca}, std::pair{"bus_cert", &config.bus_cert},
          std::pair{"bus_key", &config.bus_key}, std::pair{"bus_creds", &config.bus_creds}}) {
        if (!file->empty() && ::access(file->c_str(), R_OK) != 0) {
            if (error)
                *error = std::string(key) + " = " + *file + ": cannot be read";
            return nullptr;
        }
    }
    if (config.bus_cert.empty() != config.bus_key.empty()) {
        if (error)
            *error = "bus_cert and bus_key go together";
        return nullptr;
    }
    NatsSettings settings;
    settings.url = config.bus;
    settings.ca = config.bus_ca;
    settings.cert = config.bus_cert;
    settings.key = config.bus_key;
    settings.creds = config.bus_creds;
    return std::make_unique<NatsBus>(std::move(settings));
}

}  // namespace vorlane::server
