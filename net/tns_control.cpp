#include "net/tns_control.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"
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

// The first IPv4 address of `host` in network order; false when it cannot be resolved.
bool ResolveIPv4(const char* host, uint8_t out[4]) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (!host || getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return false;
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(out, &address->sin_addr.s_addr, 4);
    freeaddrinfo(found);
    return true;
}

}  // namespace

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
    port_ = flownet_->settings().port;
    mode_ = mode == kModeServer ? 2 : 1;
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

void TNS_CONTROL::Update() {
    if (flownet_ && mode_ != 0)
        flownet_->Run();
}

int16_t TNS_CONTROL::ConnectToHostname(const char* host) {
    if (mode_ == 0)
        return -1;
    if (logged_on_) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname() already connected !");
        return -1;
    }
    if (user_ && (user_->flags & kUsrConnected)) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname(): system already connected !");
        return -1;
    }
    uint8_t address[4];
    if (!ResolveIPv4(host, address)) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname(): host lookup failed !");
        return -1;
    }
    NETUSR* user = SendLogonRequest(driver(), "Client", kKernelPassword, port_, address[0],
                                    address[1], address[2], address[3]);
    if (!user) {
        Error("Loomex: TNS_CONTROL::ConnectToHostname(): connect send failed !");
        return -1;
    }
    user_ = user;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(logon_timeout_ms_);
    while (!logged_on_ && std::chrono::steady_clock::now() < deadline) {
        Update();
        // The removal of a refused connection ends the wait early.
        if (!user_)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (logged_on_)
        return 1;
    if (user_)
        Error("Loomex: TNS_CONTROL:: ConnectToHostname(): login timeout");
    user_ = nullptr;
    return -1;
}

int16_t TNS_CONTROL::Disconnect() {
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
        payload.resize(size_t(size) + 4);
    } catch (const std::bad_alloc&) {
        Error("Loomex: TNS_CONTROL::SendData: creating data packet failed !");
        return -1;
    }
    payload[0] = uint8_t(module_type);
    payload[1] = uint8_t(module_type >> 8);
    payload[2] = uint8_t(sub_type);
    payload[3] = uint8_t(sub_type >> 8);
    if (size)
        std::memcpy(payload.data() + 4, data, size);
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

void TNS_CONTROL::RemoveSystem() {
    if (flownet_ && mode_ != 0)
        flownet_->Remove();
    flownet_.reset();
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

// [SECTION] Kernel notifications

void TNS_CONTROL::SrvCustomData(uint32_t sender, const uint8_t* data, uint32_t size) {
    SRV_DataReceived(NET_ID_SERVER, sender, data, size);
}

void TNS_CONTROL::CltLogonAccepted(uint32_t own_id) {
    own_id_ = own_id;
    logged_on_ = 1;
    OnLogon(own_id);
}

void TNS_CONTROL::CltConnectionLost(uint32_t id) {
    user_ = nullptr;
    logged_on_ = 0;
    OnConnectionLost(id);
}

void TNS_CONTROL::CltUserRemoved(uint32_t id) {
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
