// TNS_CONTROL: the application-side face of the network kernel ("Loomex" in
// its log lines). It owns the flow object, turns the kernel's notifications
// into six hooks and offers connect, disconnect and SendData with a module
// type. The lobby client derives from it in client mode; the lobby server uses
// it in server mode.
//
// Data payload of a CUSTOMDATA message, little-endian:
//   0 module type (16, 1..30000)   2 sub-type (16)   4 the module's data
//
// States:
//   mode 0 (not initialised) --InitClientSystem--> mode 1 (client ready)
//   --ConnectToHostname--> connected (user set) --log-on accepted--> logged_on
//   --Disconnect / connection lost / removed--> client ready
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/flownet.h"
#include "net/netapi.h"

class TNS_CONTROL : public NETAPI {
  public:
    TNS_CONTROL();
    ~TNS_CONTROL() override;
    TNS_CONTROL(const TNS_CONTROL&) = delete;
    TNS_CONTROL& operator=(const TNS_CONTROL&) = delete;

    // Starts the kernel as a client with the settings of `ini_name`
    // (section LOOMEX_CLIENT). 1 or -1.
    int16_t InitClientSystem(const char* log_dir, int16_t own_log, const char* ini_name,
                             uint16_t reserved);
    // The same with settings at hand (tests, tools).
    int16_t InitClientSystemWithSettings(const char* log_dir, const NET_SETTINGS& settings);
    // Starts the kernel as a server (section LOOMEX_SERVER, or settings at hand). 1 or -1.
    int16_t InitServerSystem(const char* log_dir, const char* ini_name);
    int16_t InitServerSystemWithSettings(const char* log_dir, const NET_SETTINGS& settings);

    int16_t SetLogDir(const char* dir);
    // One flow step.
    void Update();
    // Resolves `host`, connects, logs on and waits for the acceptance. 1 or -1.
    int16_t ConnectToHostname(const char* host);
    int16_t Disconnect();
    // Sends data tagged with a module type (client: to the server; server: to
    // `receiver`). 1 or -1. Virtual so that tests can capture what is sent.
    virtual int16_t SendData(uint32_t receiver, uint16_t module_type, uint16_t sub_type,
                             const void* data, uint32_t size);
    void RemoveSystem();

    // Hooks, empty here.
    virtual void OnLogon(uint32_t /*id*/) {}
    virtual void OnLogoff(uint32_t /*id*/) {}
    virtual void OnConnectionLost(uint32_t /*id*/) {}
    virtual void OnUserRemoved(uint32_t /*id*/) {}
    virtual void OnDataReceived(uint32_t /*receiver*/, uint32_t /*sender*/,
                                uint16_t /*module_type*/, uint16_t /*sub_type*/,
                                const uint8_t* /*data*/, uint32_t /*size*/) {}
    virtual void OnFileReceived(const char* /*name*/) {}

    // Splits the 4-byte module header off a payload and calls OnDataReceived.
    void SRV_DataReceived(uint32_t receiver, uint32_t sender, const uint8_t* payload,
                          uint32_t size);

    uint32_t mode() const { return mode_; }
    bool logged_on() const { return logged_on_ != 0; }
    uint32_t own_id() const { return own_id_; }
    uint16_t port() const { return port_; }
    NETUSR* user() const { return user_; }
    FLOWNET* flownet() const { return flownet_.get(); }
    NETDRV* driver() const { return flownet_ ? flownet_->driver() : nullptr; }
    // The log-on wait of ConnectToHostname (30000 ms unless a test shortens it).
    void set_logon_timeout(uint32_t ms) { logon_timeout_ms_ = ms; }

    // Kernel notifications (NETAPI).
    void SrvUserLoggedOn(uint32_t id) override { OnLogon(id); }
    void SrvUserLoggedOff(uint32_t id) override { OnLogoff(id); }
    void SrvConnectionLost(uint32_t id) override { OnConnectionLost(id); }
    void SrvUserRemoved(uint32_t id) override { OnUserRemoved(id); }
    void SrvCustomData(uint32_t sender, const uint8_t* data, uint32_t size) override;
    void CltLogonAccepted(uint32_t own_id) override;
    void CltLogoffAccepted(uint32_t id) override { OnLogoff(id); }
    void CltConnectionLost(uint32_t id) override;
    void CltUserRemoved(uint32_t id) override;
    void CltCustomData(uint32_t receiver, uint32_t sender, const uint8_t* data,
                       uint32_t size) override;
    void CltFileReceived(const char* name) override { OnFileReceived(name); }

  private:
    int16_t StartFlow(uint32_t mode, const char* log_dir, const char* ini_name,
                      const NET_SETTINGS* settings);
    void WriteBanner();

    uint32_t mode_ = 0;
    int16_t own_log_ = 1;
    LOGSYS* log_ = nullptr;
    uint8_t logged_on_ = 0;
    uint32_t own_id_ = 0;
    NETUSR* user_ = nullptr;  // the kernel's, not owned
    std::unique_ptr<FLOWNET> flownet_;
    uint16_t port_ = 0;
    std::string log_dir_;
    std::string log_file_name_;  // the own log keeps a pointer to it
    uint32_t logon_timeout_ms_ = 30000;
};
