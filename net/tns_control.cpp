// [SECTION] index
//   Set-up, connecting and sending, server operations, encryption, driving, kernel
//   notifications.
#include "net/tns_control.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <unordered_set>
#include <vector>

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"
#include "baselib/timer.h"
#include "net/flownet.h"
#include "net/known_servers.h"
#include "net/krnl.h"
#include "net/net_protocol.h"

namespace {

constexpr const char* kKernelPassword = "KelArvO";
constexpr uint16_t kMaxModuleType = 30000;

void Info(const char* text) {
    LOGSYS_Text(nullptr, kLogInfo, text);
}
void Error(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

uint32_t NowMs() {
    return vorlane::baselib::SteadyClock().NowMs();
}

// The CUSTOMDATA payload: module type and sub-type (16 bits each), then the data.
std::vector<uint8_t> ModulePayload(uint16_t module_type, uint16_t sub_type, const void* data,
                                   uint32_t size) {
    std::vector<uint8_t> payload(size_t(size) + 4);
    payload[0] = uint8_t(module_type);
    payload[1] = uint8_t(module_type >> 8);
    payload[2] = uint8_t(sub_type);
    payload[3] = uint8_t(sub_type >> 8);
    if (size)
        std::memcpy(payload.data() + 4, data, size);
    return payload;
}

}  // namespace

// [SECTION] Set-up

TNS_CONTROL::TNS_CONTROL() = default;

TNS_CONTROL::~TNS_CONTROL() {
    if (mode_ != 0 || flownet_)
        Info("Loomex: removing Loomex - network system... ");
    RemoveSystem();
}

void TNS_CONTROL::WriteBanner() {
    char version[160];
    std::snprintf(version, sizeof version,
                  "Version: %s (build: %d, driver %d, kernel %d, netapi %d, flownet %d)",
                  "2.4 15-APR-2004", 21, 26, 20, 10, 2);
    Info("Loomex - network system");
    Info(version);
    Info("Vorlane network kernel, rebuilt for this lobby.");
}

int16_t TNS_CONTROL::StartFlow(uint32_t mode, const char* log_dir, const char* ini_name,
                               const NET_SETTINGS* settings) {
    if (flownet_) {
        Info("Loomex: Removing former Quintel system ...");
        RemoveSystem();
        Info("...done");
    }
    if (own_log_ == 1) {
        BL_InitMemSystem(0x10000);
        log_file_name_ = std::string(log_dir ? log_dir : ".") + "/LOGFILE.TXT";
        log_ = LOGSYS_Create(0x400, kLogToFile, log_file_name_.c_str());
        if (!log_)
            return -1;
        LOGSYS_SetDefault(log_);
    }
    if (SetLogDir(log_dir) != 1)
        return -1;
    WriteBanner();
    char line[1100];
    std::snprintf(line, sizeof line, "Loomex: InitClientSystem (Logdir: %.999s)...",
                  log_dir_.c_str());
    Info(line);
    flownet_.reset(new (std::nothrow) FLOWNET);
    if (!flownet_) {
        Error("Loomex: Creating flownet failed !");
        return -1;
    }
    Info("Loomex: ...flownet created.");
    Info("Loomex: ...starting network...");
    const int16_t started =
        settings ? flownet_->StartWithSettings(this, mode, log_dir_.c_str(), *settings)
                 : flownet_->Start(this, mode, log_dir_.c_str(), ini_name);
    if (started != 0) {
        Error("Loomex: Starting network failed !");
        flownet_.reset();
        return -1;
    }
    const NET_SETTINGS& used = flownet_->settings();
    tls_client_.reset();
    if (mode == kModeClient && used.tls) {
        std::string error;
        tls_client_ = vorlane::net::TlsContext::ForClient(used.tls_ca_file, &error);
        if (!tls_client_) {
            Error(("Loomex: TLS: " + error).c_str());
            flownet_.reset();
            return -1;
        }
    }
    handshake_timeout_ms_ =
        used.tls_handshake_timeout ? used.tls_handshake_timeout : kNetDefaultHandshakeMs;
    port_ = flownet_->settings().port;
    if (flownet_->settings().clt_logon_timeout != 0)
        logon_timeout_ms_ = flownet_->settings().clt_logon_timeout;
    flownet_->driver()->relay = relay_;
    flownet_->driver()->file_dir = file_dir_;
    flownet_->driver()->write_cap = queue_total_cap_;
    flownet_->driver()->handshakes_per_address = handshakes_per_address_;
    mode_ = mode == kModeServer ? 2 : 1;
    {
        std::lock_guard lock(wake_mutex_);
        wake_driver_ = flownet_->driver();
    }
    Info(mode_ == 1 ? "Loomex: ...Loomex client system ready !"
                    : "Loomex: ...Loomex server system ready !");
    return 1;
}

int16_t TNS_CONTROL::InitClientSystem(const char* log_dir, int16_t own_log, const char* ini_name,
                                      uint16_t /*reserved*/) {
    own_log_ = own_log;
    return StartFlow(kModeClient, log_dir, ini_name, nullptr);
}

int16_t TNS_CONTROL::InitClientSystemWithSettings(const char* log_dir,
                                                  const NET_SETTINGS& settings) {
    own_log_ = 0;
    return StartFlow(kModeClient, log_dir, nullptr, &settings);
}

int16_t TNS_CONTROL::InitServerSystem(const char* log_dir, const char* ini_name) {
    own_log_ = 0;
    return StartFlow(kModeServer, log_dir, ini_name, nullptr);
}

int16_t TNS_CONTROL::InitServerSystemWithSettings(const char* log_dir,
                                                  const NET_SETTINGS& settings) {
    own_log_ = 0;
    return StartFlow(kModeServer, log_dir, nullptr, &settings);
}

int16_t TNS_CONTROL::SetLogDir(const char* dir) {
    if (!dir) {
        Error("Loomex: TNS_CONTROL::SetLogDir(): no valid log directory found !");
        return -1;
    }
    log_dir_.assign(dir, strnlen(dir, 999));
    return 1;
}

NETDRV* TNS_CONTROL::driver() const {
    return flownet_ ? flownet_->driver() : nullptr;
}

void TNS_CONTROL::Update() {
    if (flownet_ && mode_ != 0)
        flownet_->Run();
    if (connecting())
        AdvanceConnect();
    if (!closing_.empty())
        CloseDrained();
}

// [SECTION] Connecting and sending

int16_t TNS_CONTROL::ConnectToHostname(const char* host) {
    if (StartConnect(host) != 1)
        return -1;
    while (connecting()) {
        Update();
        if (connecting())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return connect_result_;
}

int16_t TNS_CONTROL::StartConnect(const char* host) {
    NETDRV* drv = driver();
    if (mode_ == 0 || !drv)
        return -1;
    if (logged_on_) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname() already connected !");
        return -1;
    }
    if (connecting() || (user_ && (user_->flags & kUsrConnected))) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname(): system already connected !");
        return -1;
    }
    logon_refusal_ = 0;
    connect_result_ = -1;
    tls_refusal_ = TlsRefusal::kNone;
    first_use_ = false;
    server_fingerprint_.clear();
    connect_host_ = host ? host : "";
    LOGSYS_Text(drv->net_log, kLogInfo, "SendLogonRequest: Connecting to site...");
    vorlane::net::HostConnect::Options options;
    options.port = port_;
    options.lookup_timeout_ms = logon_timeout_ms_;
    options.connect_timeout_ms = drv->settings.srv_sendlogonrequest;
    options.bind_address = drv->settings.clt_bind_addr;
    options.log = drv->net_log;
    options.tls = tls_client_;
    options.handshake_timeout_ms = std::min(handshake_timeout_ms_, logon_timeout_ms_);
    connect_phase_ = ConnectPhase::kSocket;
    if (connect_.Start(host, options, NowMs()) == vorlane::net::HostConnect::State::kFailed) {
        connect_phase_ = ConnectPhase::kNone;
        ReportConnectFailure();
        return -1;
    }
    return 1;
}

void TNS_CONTROL::ReportConnectFailure() {
    using vorlane::net::TlsHandshakeResult;
    if (connect_.lookup_failed()) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname(): host lookup failed !");
        return;
    }
    const TlsHandshakeResult handshake = connect_.handshake_result();
    if (handshake != TlsHandshakeResult::kDone) {
        // A server that stays silent is reported like any server that does
        // not answer in time.
        if (handshake == TlsHandshakeResult::kTimeout) {
            Error("Loomex: TNS_CONTROL::ConnectToHostname(): TLS handshake timeout");
            return;
        }
        // The server answered the connect but not with TLS (a plain server
        // closes at once), or its handshake failed.
        const bool plain = handshake == TlsHandshakeResult::kPlainPeer;
        tls_refusal_ = plain ? TlsRefusal::kPlainServer : TlsRefusal::kHandshakeFailed;
        Error(plain ? "Loomex: TNS_CONTROL::ConnectToHostname(): the server does not speak TLS !"
                    : "Loomex: TNS_CONTROL::ConnectToHostname(): TLS handshake failed !");
        return;
    }
    LOGSYS_Text(driver()->net_log, kLogWarning, "SendLogonRequest: Cannot connect to server.");
    Error("Loomex: TNS_CONTROL::ConnectToHostname(): connect send failed !");
}

void TNS_CONTROL::AdvanceConnect() {
    using State = vorlane::net::HostConnect::State;
    const uint32_t now = NowMs();
    if (connect_phase_ == ConnectPhase::kSocket) {
        const State state = connect_.Poll(now);
        if (state == State::kFailed) {
            ReportConnectFailure();
            FinishConnect(-1);
        } else if (state == State::kConnected) {
            if (tls_client_) {
                tls_refusal_ = JudgeServer(connect_.tls_peer());
                if (tls_refusal_ != TlsRefusal::kNone) {
                    // Nothing was sent on the connection: it ends here.
                    NET_Close(connect_.TakeConnection());
                    FinishConnect(-1);
                    return;
                }
            }
            user_ = SendLogonOnConnection(driver(), connect_.TakeConnection(), "Client",
                                          kKernelPassword);
            if (!user_) {
                Error("Loomex: TNS_CONTROL::ConnectToHostname(): connect send failed !");
                FinishConnect(-1);
                return;
            }
            connect_phase_ = ConnectPhase::kLogon;
            logon_start_ms_ = now;
        }
        return;
    }
    if (logged_on_) {
        FinishConnect(1);
    } else if (!user_) {
        // The removal of a refused connection ends the wait early.
        if (logon_refusal_ != 0)
            Error("Loomex: TNS_CONTROL:: ConnectToHostname(): login refused by the server");
        FinishConnect(-1);
    } else if (uint32_t(now - logon_start_ms_) >= logon_timeout_ms_) {
        Error("Loomex: TNS_CONTROL:: ConnectToHostname(): login timeout");
        AbandonUser();
        FinishConnect(-1);
    }
}

TlsRefusal TNS_CONTROL::JudgeServer(const vorlane::net::TlsPeer& peer) {
    using vorlane::net::KnownServers;
    using vorlane::net::TlsVerdict;
    server_fingerprint_ = peer.fingerprint;
    switch (peer.verdict) {
        case TlsVerdict::kTrusted:
            return TlsRefusal::kNone;
        case TlsVerdict::kExpired:
            Error("Loomex: TLS: the server's certificate has expired; not connecting.");
            return TlsRefusal::kExpired;
        case TlsVerdict::kWrongHost:
            Error("Loomex: TLS: the server's certificate names another host; not connecting.");
            return TlsRefusal::kWrongHost;
        case TlsVerdict::kUnknownIssuer:
            break;
        default:
            Error("Loomex: TLS: the server's certificate cannot be trusted; not connecting.");
            return TlsRefusal::kUntrusted;
    }
    if (peer.fingerprint.empty())
        return TlsRefusal::kUntrusted;
    KnownServers known(known_servers_file_);
    switch (known.Check(connect_host_, port_, peer.fingerprint)) {
        case KnownServers::Match::kSame:
            return TlsRefusal::kNone;
        case KnownServers::Match::kChanged:
            Error(("Loomex: TLS: the key of " + vorlane::net::KnownServerKey(connect_host_, port_) +
                   " has changed (now " + peer.fingerprint + "); not connecting.")
                      .c_str());
            return TlsRefusal::kKeyChanged;
        case KnownServers::Match::kUnknown:
            break;
    }
    const std::string shown =
        vorlane::net::KnownServerKey(connect_host_, port_) + " " + peer.fingerprint;
    if (confirm_first_use_ && shown_key_ != shown) {
        shown_key_ = shown;
        Info(("Loomex: TLS: first connection to " + shown + "; shown to the player.").c_str());
        return TlsRefusal::kFirstUse;
    }
    shown_key_.clear();
    if (!known.Remember(connect_host_, port_, peer.fingerprint))
        Error(("Loomex: TLS: cannot write " + known_servers_file_).c_str());
    Info(("Loomex: TLS: trusting " + shown + " from now on.").c_str());
    first_use_ = true;
    return TlsRefusal::kNone;
}

void TNS_CONTROL::FinishConnect(int16_t result) {
    connect_phase_ = ConnectPhase::kNone;
    connect_result_ = result;
    OnConnectFinished(result);
}

void TNS_CONTROL::CancelConnect() {
    if (!connecting())
        return;
    connect_.Cancel();
    AbandonUser();
    connect_phase_ = ConnectPhase::kNone;
    connect_result_ = -1;
    Info("Loomex: TNS_CONTROL::CancelConnect(): connecting given up");
}

void TNS_CONTROL::AbandonUser() {
    NETUSR* user = user_;
    user_ = nullptr;
    NETDRV* drv = driver();
    if (!user || !drv || !NETUSR_Contains(&drv->users, user))
        return;
    // A stalled server would keep the connection open for ever; its removal
    // must not be reported as the loss of a session that never began.
    quiet_removal_ = true;
    KRNL_RemoveUser(drv, user);
    quiet_removal_ = false;
}

bool TNS_CONTROL::IsStale(uint32_t id) const {
    // Until the log-on is accepted the connection has no identifier; one
    // that had an identifier and was logged off before is not current.
    const bool current = logged_on_ ? id == own_id_ : id == 0;
    return !current && (user_ || connecting());
}

int16_t TNS_CONTROL::Disconnect() {
    if (connecting()) {
        CancelConnect();
        return 1;
    }
    if (mode_ == 0 || !user_)
        return -1;
    const uint32_t flags = user_->flags.load();
    if (flags & kUsrLoggedOn)
        Info("Loomex: TNS_CONTROL::Disconnect(): user is logged on !");
    if (!(flags & kUsrConnected)) {
        Error("Loomex: TNS_CONTROL::Disconnect(): user not connected !");
        return -1;
    }
    if (flags & kUsrRemoveRequested) {
        Error("Loomex: TNS_CONTROL::Disconnect(): removing already in progress !");
        return -1;
    }
    if (SendLogoffRequest(driver(), user_) != 0)
        return -1;
    logged_on_ = 0;
    user_ = nullptr;
    return 1;
}

int16_t TNS_CONTROL::SendData(uint32_t receiver, uint16_t module_type, uint16_t sub_type,
                              const void* data, uint32_t size) {
    if (mode_ == 0) {
        Error("Loomex: TNS_CONTROL::SendData: client/server not initialised !");
        return -1;
    }
    if (module_type == 0 || module_type > kMaxModuleType) {
        Error("Loomex: TNS_CONTROL::SendData: invalid module type !(1)");
        return -1;
    }
    if (!data) {
        Error("Loomex: TNS_CONTROL::SendData: no data found !");
        return -1;
    }
    std::vector<uint8_t> payload;
    try {
        payload = ModulePayload(module_type, sub_type, data, size);
    } catch (const std::bad_alloc&) {
        Error("Loomex: TNS_CONTROL::SendData: creating data packet failed !");
        return -1;
    }
    int16_t sent;
    if (mode_ == 1) {
        if (user_ && !(user_->flags & kUsrConnected)) {
            Error("Loomex: TNS_CONTROL::SendData: not connected !");
            return -1;
        }
        sent = SendSingleMessage(driver(), own_id_, NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA,
                                 payload.data(), uint32_t(payload.size()));
    } else {
        sent = SendSingleMessage(driver(), NET_ID_SERVER, receiver, NET_MSGTYPE_CUSTOMDATA,
                                 payload.data(), uint32_t(payload.size()));
    }
    if (sent != 0) {
        Error("Loomex: TNS_CONTROL::SendData: send data packet failed !");
        return -1;
    }
    return 1;
}

int16_t TNS_CONTROL::SendToServer(uint16_t module_type, uint16_t sub_type, const void* data,
                                  uint32_t size) {
    return SendData(NET_ID_SERVER, module_type, sub_type, data, size);
}

void TNS_CONTROL::RemoveSystem() {
    {
        std::lock_guard lock(wake_mutex_);
        wake_driver_ = nullptr;
    }
    CancelConnect();
    if (flownet_ && mode_ != 0)
        flownet_->Remove();
    flownet_.reset();
    closing_.clear();
    user_ = nullptr;
    logged_on_ = 0;
    if (own_log_ == 1 && log_) {
        Info("Loomex: Removing Quintel System...");
        uint32_t stats[kMemStatWords] = {};
        BL_GetMemStatistics(stats);
        char line[160];
        std::snprintf(line, sizeof line,
                      "MEMORY RESULT: Highest memory: %ld, GetMem %lu <--> %lu FreeMem",
                      long(stats[kMemStatHighest]), (unsigned long)stats[kMemStatGetMem],
                      (unsigned long)stats[kMemStatFreeMem]);
        Info(line);
        if (LOGSYS_GetDefault() == log_)
            LOGSYS_SetDefault(nullptr);
        LOGSYS_Destroy(log_);
        log_ = nullptr;
        BL_ExitMemSystem();
    }
    mode_ = 0;
    port_ = 0;
}

// [SECTION] Server operations

int16_t TNS_CONTROL::SendDataBatch(uint32_t receiver, uint16_t module_type,
                                   std::span<const TNS_MESSAGE> messages) {
    NETDRV* drv = driver();
    if (mode_ != 2 || !drv)
        return -1;
    auto lock = NETUSR_Lock(&drv->users);
    NETUSR* found = NETUSR_FindById(&drv->users, receiver);
    if (!found)
        return -1;
    int16_t result = 1;
    for (const TNS_MESSAGE& message : messages) {
        const std::vector<uint8_t> payload = ModulePayload(
            module_type, message.sub_type, message.data.data(), uint32_t(message.data.size()));
        if (QueueForUser(drv, found, NET_ID_SERVER, receiver, NET_MSGTYPE_CUSTOMDATA,
                         payload.data(), uint32_t(payload.size())) != 0) {
            result = -1;
        }
    }
    return result;
}

size_t TNS_CONTROL::SendDataToMany(const std::vector<uint32_t>& receivers, uint16_t module_type,
                                   uint16_t sub_type, const void* data, uint32_t size,
                                   std::vector<uint32_t>* refused) {
    NETDRV* drv = driver();
    if (mode_ != 2 || !drv || receivers.empty())
        return 0;
    const std::vector<uint8_t> payload = ModulePayload(module_type, sub_type, data, size);
    // One pass over the kernel's users instead of one search per receiver.
    const std::unordered_set<uint32_t> wanted(receivers.begin(), receivers.end());
    size_t queued = 0;
    NETUSR_ForEach(&drv->users, [&](NETUSR* user) {
        if (!user->address || !wanted.count(user->address->id))
            return;
        if (QueueForUser(drv, user, NET_ID_SERVER, user->address->id, NET_MSGTYPE_CUSTOMDATA,
                         payload.data(), uint32_t(payload.size())) == 0) {
            ++queued;
        } else if (refused) {
            refused->push_back(user->address->id);
        }
    });
    return queued;
}

void TNS_CONTROL::CloseWhenDrained(uint32_t user, std::chrono::milliseconds grace,
                                   std::chrono::milliseconds deadline) {
    auto ms = [](std::chrono::milliseconds span) {
        return uint32_t(std::clamp<int64_t>(span.count(), 0, INT32_MAX));
    };
    closing_.push_back({user, vorlane::baselib::SteadyClock().NowMs(), ms(grace), ms(deadline)});
}

void TNS_CONTROL::CloseDrained() {
    NETDRV* drv = driver();
    const uint32_t now = vorlane::baselib::SteadyClock().NowMs();
    std::vector<PendingClose> waiting;
    for (const PendingClose& close : closing_) {
        if (!drv)
            continue;
        auto lock = NETUSR_Lock(&drv->users);
        NETUSR* user = NETUSR_FindById(&drv->users, close.user);
        if (!user)
            continue;
        bool drained;
        {
            std::lock_guard queue_lock(user->writer->signals.mutex);
            drained = user->writer->queue.empty();
        }
        const uint32_t waited = now - close.since_ms;
        if ((drained && waited >= close.grace_ms) || waited >= close.deadline_ms) {
            KRNL_SendUsrRemoveMessage(drv, user);
        } else {
            waiting.push_back(close);
        }
    }
    closing_.swap(waiting);
}

std::array<uint8_t, 4> TNS_CONTROL::PeerAddress(uint32_t user) {
    std::array<uint8_t, 4> address{};
    NETDRV* drv = driver();
    if (!drv)
        return address;
    auto lock = NETUSR_Lock(&drv->users);
    NETUSR* found = NETUSR_FindById(&drv->users, user);
    if (found && found->connection)
        std::memcpy(address.data(), &found->connection->peer.sin_addr.s_addr, 4);
    return address;
}

void TNS_CONTROL::SetRelay(bool on) {
    relay_ = on;
    if (NETDRV* drv = driver())
        drv->relay = on;
}

void TNS_CONTROL::SetFileFolder(const std::string& dir) {
    file_dir_ = dir;
    if (NETDRV* drv = driver())
        drv->file_dir = dir;
}

bool TNS_CONTROL::QueueState(uint32_t user, TNS_QUEUE_STATE* state) const {
    NETDRV* drv = driver();
    if (!drv || !state)
        return false;
    auto lock = NETUSR_Lock(&drv->users);
    NETUSR* found = NETUSR_FindById(&drv->users, user);
    if (!found || !found->writer)
        return false;
    std::lock_guard queue_lock(found->writer->signals.mutex);
    state->bytes = found->writer->queued_bytes;
    state->messages = uint32_t(found->writer->queue.size());
    state->cap = found->writer->queue_cap;
    return true;
}

bool TNS_CONTROL::SetQueueCap(uint32_t user, uint64_t max_bytes) {
    NETDRV* drv = driver();
    if (!drv)
        return false;
    auto lock = NETUSR_Lock(&drv->users);
    NETUSR* found = NETUSR_FindById(&drv->users, user);
    if (!found || !found->writer)
        return false;
    std::lock_guard queue_lock(found->writer->signals.mutex);
    found->writer->queue_cap = max_bytes;
    return true;
}

void TNS_CONTROL::SetQueueTotalCap(uint64_t max_bytes) {
    queue_total_cap_ = max_bytes;
    if (NETDRV* drv = driver())
        drv->write_cap = max_bytes;
}

TNS_QUEUE_TOTALS TNS_CONTROL::QueueTotals() const {
    TNS_QUEUE_TOTALS totals;
    NETDRV* drv = driver();
    if (!drv)
        return totals;
    totals.bytes = drv->write_bytes.load();
    totals.peak = drv->write_peak.load();
    totals.cap = drv->write_cap.load();
    totals.refused_user = drv->refused_user_cap.load();
    totals.refused_total = drv->refused_total_cap.load();
    std::lock_guard lock(drv->read_mutex);
    totals.inbound_bytes = drv->read_bytes;
    totals.inbound_peak = drv->read_peak;
    totals.inbound_cap = drv->read_total_max;
    totals.inbound_stalls = drv->read_stalls;
    return totals;
}

std::vector<std::pair<uint32_t, uint64_t>> TNS_CONTROL::QueuedBytes() const {
    std::vector<std::pair<uint32_t, uint64_t>> queued;
    NETDRV* drv = driver();
    if (!drv)
        return queued;
    NETUSR_ForEach(&drv->users, [&](NETUSR* user) {
        if (!user->address || !user->writer)
            return;
        std::lock_guard queue_lock(user->writer->signals.mutex);
        queued.emplace_back(user->address->id, user->writer->queued_bytes);
    });
    std::sort(queued.begin(), queued.end());
    return queued;
}

// [SECTION] Encryption

void TNS_CONTROL::SetHandshakesPerAddress(uint32_t limit) {
    if (NETDRV* drv = driver())
        drv->handshakes_per_address = limit;
    handshakes_per_address_ = limit;
}

uint64_t TNS_CONTROL::handshakes_refused() const {
    NETDRV* drv = driver();
    return drv ? drv->handshakes_refused.load() : 0;
}

// [SECTION] Driving

size_t TNS_CONTROL::PendingMessages() const {
    NETDRV* drv = driver();
    return drv ? NETDRV_PendingMessages(drv) : 0;
}

bool TNS_CONTROL::WaitForMessages(uint32_t timeout_ms) const {
    NETDRV* drv = driver();
    return drv && NETDRV_WaitForMessage(drv, timeout_ms);
}

void TNS_CONTROL::Wake() {
    std::lock_guard lock(wake_mutex_);
    if (wake_driver_)
        NETDRV_Wake(wake_driver_);
}

uint16_t TNS_CONTROL::ListenPort() const {
    NETDRV* drv = driver();
    return drv ? drv->listen_port : 0;
}

// [SECTION] Kernel notifications

void TNS_CONTROL::SrvCustomData(uint32_t sender, const uint8_t* data, uint32_t size) {
    SRV_DataReceived(NET_ID_SERVER, sender, data, size);
}

void TNS_CONTROL::CltLogonAccepted(uint32_t own_id) {
    own_id_ = own_id;
    logged_on_ = 1;
    OnLogon(own_id);
}

void TNS_CONTROL::CltLogoffAccepted(uint32_t id) {
    if (!IsStale(id))
        OnLogoff(id);
}

void TNS_CONTROL::CltConnectionLost(uint32_t id) {
    if (IsStale(id))
        return;
    user_ = nullptr;
    logged_on_ = 0;
    OnConnectionLost(id);
}

void TNS_CONTROL::CltUserRemoved(uint32_t id) {
    if (quiet_removal_ || IsStale(id))
        return;
    user_ = nullptr;
    logged_on_ = 0;
    OnUserRemoved(id);
}

void TNS_CONTROL::CltCustomData(uint32_t receiver, uint32_t sender, const uint8_t* data,
                                uint32_t size) {
    SRV_DataReceived(receiver, sender, data, size);
}

void TNS_CONTROL::SRV_DataReceived(uint32_t receiver, uint32_t sender, const uint8_t* payload,
                                   uint32_t size) {
    // A payload shorter than the module header carries nothing to hand on.
    if (!payload || size < 4) {
        Error("Loomex: TNS_CONTROL::SRV_DataReceived(): invalid data received !");
        return;
    }
    const uint16_t module_type = uint16_t(payload[0] | payload[1] << 8);
    const uint16_t sub_type = uint16_t(payload[2] | payload[3] << 8);
    OnDataReceived(receiver, sender, module_type, sub_type, payload + 4, size - 4);
}
