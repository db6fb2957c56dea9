// FLOWNET: the flow object that loads the kernel's settings, starts and
// removes the driver and is driven once per frame by its owner.
//
// Run mask bits: 0x1 read the signal block, 0x2 handle messages, 0x4 tick the
// application. All three are set at construction.
//
// Settings file: sections [LOOMEX_CLIENT] and [LOOMEX_SERVER] with the keys of
// NET_SETTINGS; a missing key is 0, so every key should be present. Values
// that work well on loopback and LAN (milliseconds):
//   port=4700  usr_max=1000  buf_rw=65536  buf_writeblock=65536  thrd_exit=2000
//   srv_newconnect=500  srv_waitforflags=100  srv_sendlogofftimeout=2000
//   srv_sendlogonrequest=5000  srv_checkdeadcon=60000  srv_checkdeadcalltime=5000
//   srv_sendalive=10000  usr_initnew=5000  usr_remove=5000  usr_logoncheck=15000
//   usr_logofftimeout=2000  drv_removetime=1000  drv_*_sleep_activate=0
// Optional: drv_max_payload (largest accepted payload, default 1 MiB),
// srv_bind_addr (dotted address the server listens on, default any),
// clt_bind_addr (dotted address a client connects from, default the system's),
// clt_logon_timeout (how long a client waits for its log-on, default 30000),
// srv_listen_backlog (default 5), drv_read_user_max and drv_read_total_max
// (bytes waiting for the message loop per connection and in all, default
// 256 KiB and 32 MiB), tls (1 = encrypted connections), tls_handshake_timeout
// (default 10000), tls_ca_file (client trust store, default the system's).
#pragma once

#include <cstdint>
#include <string>

#include "net/netapi.h"
#include "net/netdrv.h"

constexpr uint32_t kFlowReadSignals = 0x1;
constexpr uint32_t kFlowMessages = 0x2;
constexpr uint32_t kFlowTick = 0x4;

// Flow flags.
constexpr uint32_t kFlowStarted = 0x1;
constexpr uint32_t kFlowTerminate = 0x2;

class FLOWNET {
  public:
    FLOWNET() = default;
    virtual ~FLOWNET();
    FLOWNET(const FLOWNET&) = delete;
    FLOWNET& operator=(const FLOWNET&) = delete;

    // One step: signals, due calls, messages, the application's tick. A
    // server handles one message a step; a client handles what has arrived,
    // for at most kClientMessageBudgetMs.
    virtual void Run();
    static constexpr uint32_t kClientMessageBudgetMs = 4;
    // Loads the settings from `settings_file` (section by mode) and starts
    // the driver with its logs in `log_dir`. 0 or -1.
    virtual int16_t Start(NETAPI* api, uint32_t mode, const char* log_dir,
                          const char* settings_file);
    virtual void Remove();
    virtual void MessageLoop();
    virtual uint32_t Flags();
    virtual int16_t LoadServerSettings(NET_SETTINGS* settings);
    virtual int16_t LoadClientSettings(NET_SETTINGS* settings);
    virtual int16_t LoadNetResource(NET_SETTINGS* settings, const char* file_name, int is_client);

    // Starts with settings already at hand (a server program, tests). 0 or -1.
    int16_t StartWithSettings(NETAPI* api, uint32_t mode, const char* log_dir,
                              const NET_SETTINGS& settings);
    // Lets a controller stop, restart or end the flow through signals.
    void SetSignalBlock(SIGNAL_BLOCK* signals) { signals_ = signals; }

    NETDRV* driver() const { return driver_; }
    const NET_SETTINGS& settings() const { return settings_; }
    uint32_t run_mask() const { return run_mask_; }
    bool terminated() const { return (flags_ & kFlowTerminate) != 0; }

  private:
    void ReadSignals();

    NETDRV* driver_ = nullptr;
    NET_SETTINGS settings_;
    uint32_t flags_ = 0;
    uint32_t run_mask_ = 7;
    uint32_t saved_mask_ = 7;
    uint32_t stop_mask_ = 7;
    SIGNAL_BLOCK* signals_ = nullptr;  // optional, not owned
    uint32_t mode_ = 0;
};
