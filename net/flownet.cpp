#include "net/flownet.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "baselib/logsys.h"
#include "baselib/scfg/scfg.h"
#include "baselib/timer.h"
#include "net/krnl.h"

namespace {

// A plain string-to-integer conversion; a missing key gives 0.
uint32_t ReadNumber(const SCFG* cfg, const char* section, const char* key) {
    const char* value = SCFG_Get(cfg, section, key);
    if (!value)
        return 0;
    return static_cast<uint32_t>(std::strtol(value, nullptr, 10));
}

// A dotted IPv4 address in host byte order; a missing or unreadable one gives 0.
uint32_t ReadAddress(const SCFG* cfg, const char* section, const char* key) {
    in_addr address{};
    const char* value = SCFG_Get(cfg, section, key);
    if (!value || inet_pton(AF_INET, value, &address) != 1)
        return 0;
    return ntohl(address.s_addr);
}

// Creates `dir` and its parents (for the log files); existing ones are fine.
void MakeDirectories(const std::string& dir) {
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        std::string part = dir.substr(0, slash);
        if (!part.empty())
            mkdir(part.c_str(), 0755);
        if (slash == std::string::npos)
            break;
    }
}

}  // namespace

void NET_ReadSettings(const SCFG* cfg, const char* section, NET_SETTINGS* s) {
    s->port = uint16_t(ReadNumber(cfg, section, "port"));
    s->usr_max = NET_ClampUserMax(ReadNumber(cfg, section, "usr_max"));
    s->buf_rw = ReadNumber(cfg, section, "buf_rw");
    s->buf_writeblock = ReadNumber(cfg, section, "buf_writeblock");
    s->thrd_exit = ReadNumber(cfg, section, "thrd_exit");
    s->srv_newconnect = ReadNumber(cfg, section, "srv_newconnect");
    s->srv_waitforflags = ReadNumber(cfg, section, "srv_waitforflags");
    s->srv_sendlogofftimeout = ReadNumber(cfg, section, "srv_sendlogofftimeout");
    s->srv_sendlogonrequest = ReadNumber(cfg, section, "srv_sendlogonrequest");
    s->srv_checkdeadcon = ReadNumber(cfg, section, "srv_checkdeadcon");
    s->srv_checkdeadcalltime = ReadNumber(cfg, section, "srv_checkdeadcalltime");
    s->srv_sendalive = ReadNumber(cfg, section, "srv_sendalive");
    s->usr_initnew = ReadNumber(cfg, section, "usr_initnew");
    s->usr_remove = ReadNumber(cfg, section, "usr_remove");
    s->usr_logoncheck = ReadNumber(cfg, section, "usr_logoncheck");
    s->usr_logofftimeout = ReadNumber(cfg, section, "usr_logofftimeout");
    s->drv_removetime = ReadNumber(cfg, section, "drv_removetime");
    s->drv_reader_sleep = ReadNumber(cfg, section, "drv_reader_sleep");
    s->drv_reader_sleep_activate = ReadNumber(cfg, section, "drv_reader_sleep_activate");
    s->drv_writer_sleep = ReadNumber(cfg, section, "drv_writer_sleep");
    s->drv_writer_sleep_activate = ReadNumber(cfg, section, "drv_writer_sleep_activate");
    s->drv_serverloop_sleep = ReadNumber(cfg, section, "drv_serverloop_sleep");
    s->drv_serverloop_sleep_activate = ReadNumber(cfg, section, "drv_serverloop_sleep_activate");
    s->drv_max_payload = ReadNumber(cfg, section, "drv_max_payload");
    s->srv_listen_backlog = ReadNumber(cfg, section, "srv_listen_backlog");
    s->drv_read_user_max = ReadNumber(cfg, section, "drv_read_user_max");
    s->drv_read_total_max = ReadNumber(cfg, section, "drv_read_total_max");
    s->srv_bind_addr = ReadAddress(cfg, section, "srv_bind_addr");
    s->clt_bind_addr = ReadAddress(cfg, section, "clt_bind_addr");
    s->clt_logon_timeout = ReadNumber(cfg, section, "clt_logon_timeout");
    s->tls = ReadNumber(cfg, section, "tls");
    s->tls_handshake_timeout = ReadNumber(cfg, section, "tls_handshake_timeout");
    const char* ca_file = SCFG_Get(cfg, section, "tls_ca_file");
    s->tls_ca_file = ca_file ? ca_file : "";
}

FLOWNET::~FLOWNET() {
    Remove();
}

int16_t FLOWNET::LoadNetResource(NET_SETTINGS* settings, const char* file_name, int is_client) {
    if (!settings) {
        LOGSYS_Text(nullptr, kLogError, "PROGFLOW_NET::LoadNetResource: no net_setting handle !");
        return -1;
    }
    SCFG* cfg = file_name ? SCFG_Load(file_name) : nullptr;
    if (!cfg) {
        LOGSYS_Text(nullptr, kLogError,
                    "PROGFLOW_NET::LoadNetResource: config file not found (flownet.ini)!");
        return -1;
    }
    NET_ReadSettings(cfg, is_client ? "LOOMEX_CLIENT" : "LOOMEX_SERVER", settings);
    SCFG_Free(cfg);
    return 0;
}

int16_t FLOWNET::LoadServerSettings(NET_SETTINGS* settings) {
    return LoadNetResource(settings, "Flownet.ini", 0);
}

int16_t FLOWNET::LoadClientSettings(NET_SETTINGS* settings) {
    return LoadNetResource(settings, "Flownet.ini", 1);
}

int16_t FLOWNET::Start(NETAPI* api, uint32_t mode, const char* log_dir, const char* settings_file) {
    NET_SETTINGS settings;
    if (LoadNetResource(&settings, settings_file, mode == kModeClient) != 0)
        return -1;
    return StartWithSettings(api, mode, log_dir, settings);
}

int16_t FLOWNET::StartWithSettings(NETAPI* api, uint32_t mode, const char* log_dir,
                                   const NET_SETTINGS& settings) {
    if (driver_)
        return -1;
    settings_ = settings;
    settings_.usr_max = NET_ClampUserMax(settings_.usr_max);
    std::string dir = log_dir ? log_dir : "";
    std::string prefix = dir.empty() ? "" : dir + "/";
    if (!dir.empty())
        MakeDirectories(dir);
    const std::string net_log = prefix + "netlog.txt";
    const std::string user_log = prefix + "userlog.txt";
    const std::string data_log = prefix + "logdata.csv";
    driver_ = NETDRV_Start(api, settings_, settings_.port, settings_.buf_rw,
                           settings_.buf_writeblock, settings_.usr_max, 4, net_log.c_str(),
                           user_log.c_str(), data_log.c_str(), 100, mode);
    if (!driver_)
        return -1;
    mode_ = mode;
    flags_ |= kFlowStarted;
    return 0;
}

void FLOWNET::Remove() {
    if (!driver_)
        return;
    NETDRV_Remove(driver_, settings_.drv_removetime);
    driver_ = nullptr;
    flags_ &= ~kFlowStarted;
}

void FLOWNET::MessageLoop() {
    KRNL_MessageLoop(driver_);
}

uint32_t FLOWNET::Flags() {
    return flags_;
}

void FLOWNET::ReadSignals() {
    uint32_t bits;
    {
        std::lock_guard lock(signals_->mutex);
        bits = std::exchange(signals_->to_thread, 0);
    }
    if (bits & kSigTerminate) {
        flags_ |= kFlowTerminate;
        LOGSYS_Text(nullptr, kLogInfo, "MAIN_LOOP got terminate flag.");
    }
    if (bits & kSigStop) {
        saved_mask_ = run_mask_;
        run_mask_ = stop_mask_;
    }
    if (bits & kSigStart)
        run_mask_ = saved_mask_;
}

void FLOWNET::Run() {
    if (!driver_)
        return;
    if ((run_mask_ & kFlowReadSignals) && signals_)
        ReadSignals();
    CALL_Run(driver_->calls, 1, 1);
    if (run_mask_ & kFlowMessages) {
        MessageLoop();
        // A client takes in everything that has arrived, within a few
        // milliseconds, so that a busy channel cannot outrun a window drawing
        // 60 frames a second; a server's owner runs the flow as often as it likes.
        if (mode_ == kModeClient) {
            const vorlane::baselib::MsClock& clock = vorlane::baselib::SteadyClock();
            const uint32_t start = clock.NowMs();
            while (driver_ && NETDRV_PendingMessages(driver_) > 0 &&
                   clock.NowMs() - start < kClientMessageBudgetMs) {
                MessageLoop();
            }
        }
    }
    if ((run_mask_ & kFlowTick) && driver_->api) {
        mode_ == kModeServer ? driver_->api->SrvTick() : driver_->api->CltTick();
    }
}
