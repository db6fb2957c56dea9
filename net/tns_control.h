// TNS_CONTROL: the application-side face of the network kernel ("Loomex" in
// its log lines). It owns the flow object, turns the kernel's notifications
// into six hooks and offers connect, disconnect and SendData with a module
// type. The lobby client derives from it in client mode; the lobby server uses
// it in server mode.
//
// Data payload of a CUSTOMDATA message, little-endian:
//   0 module type (16, 1..30000)   2 sub-type (16)   4 the module's data
//
// It is the only face of the kernel that programs outside net/ use: the
// driver, its users and its timed calls stay behind it.
//
// States:
//   mode 0 (not initialised) --InitClientSystem--> mode 1 (client ready)
//   --StartConnect--> connecting --log-on accepted--> logged_on
//   --Disconnect / connection lost / removed--> client ready
//
// Connecting runs in two phases, each advanced by Update so that the caller's
// frames go on meanwhile (ConnectToHostname is the same, waited for):
//   phase     left by
//   socket    name looked up and connected -> logon (LOGMEON queued);
//             lookup or connect failed -> done (-1)
//   logon     accepted -> done (1); refused, removed, log-on wait over
//             -> done (-1, the connection is closed)
//   any       CancelConnect, Disconnect, RemoveSystem -> none (no result)
// OnConnectFinished reports the result once the attempt is done.
//
// With tls = 1 a client's socket phase ends with a TLS handshake, and the
// server's certificate is judged before anything is sent on the connection
// (tls_refusal says why one was refused):
//   chains to the trust store for the host dialled        -> go on
//   chains, but expired or for another host                -> refused
//   unknown issuer, key known for this host and port       -> go on
//   unknown issuer, key known but another one              -> refused (kKeyChanged)
//   unknown issuer, key not known                          -> remembered, go on;
//     with confirm_first_use the first sight is refused (kFirstUse) so the
//     player sees the fingerprint, and the next attempt with the same key
//     remembers it and goes on.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "net/host_connect.h"
#include "net/net_settings.h"
#include "net/net_tls.h"
#include "net/netapi.h"

class FLOWNET;
struct NETDRV;
struct NETUSR;
struct LOGSYS;

// One message of a batch for one receiver (see SendDataBatch).
struct TNS_MESSAGE {
    uint16_t sub_type = 0;
    std::span<const uint8_t> data;
};

// What waits in one user's outgoing queue.
struct TNS_QUEUE_STATE {
    uint64_t bytes = 0;     // payload bytes queued, not yet written
    uint32_t messages = 0;  // messages queued
    uint64_t cap = 0;       // the cap set for the user (0 = only the kernel's own limit)
};

// What waits in all users' outgoing queues together, and in the queue of
// received messages (see SetQueueTotalCap and the kernel's drv_read_* keys).
struct TNS_QUEUE_TOTALS {
    uint64_t bytes = 0;           // outgoing payload bytes queued for all users
    uint64_t peak = 0;            // the most there ever were
    uint64_t cap = 0;             // the cap on them (0 = none)
    uint64_t refused_user = 0;    // messages refused by a user's own cap
    uint64_t refused_total = 0;   // messages refused by the cap on all users
    uint64_t inbound_bytes = 0;   // received payload bytes waiting for Update
    uint64_t inbound_peak = 0;    // the most there ever were
    uint64_t inbound_cap = 0;     // the bound on them
    uint64_t inbound_stalls = 0;  // times a connection's reader held back
};

// Why an encrypted connection attempt was given up (TNS_CONTROL::tls_refusal).
enum class TlsRefusal {
    kNone,
    kPlainServer,      // the server answers, but not with TLS
    kHandshakeFailed,  // it does, but the handshake failed
    kExpired,          // its certificate chains, but is expired
    kWrongHost,        // its certificate chains, but names another host
    kUntrusted,        // its certificate failed the check otherwise
    kKeyChanged,       // its key is not the one remembered for it
    kFirstUse,         // its key was never seen: shown first (confirm_first_use)
};

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
    // Blocks the caller for up to the log-on wait: for tests and tools only.
    int16_t ConnectToHostname(const char* host);
    // Starts connecting and logging on to `host` without waiting; Update
    // carries it on and OnConnectFinished tells the result. 1 when under
    // way, -1 when it failed at once (with the messages of ConnectToHostname).
    int16_t StartConnect(const char* host);
    // Gives up a connection attempt under way (nothing is reported).
    void CancelConnect();
    // True from StartConnect until the attempt is done or cancelled.
    bool connecting() const { return connect_phase_ != ConnectPhase::kNone; }
    // Cancels an attempt under way, or logs off. 1 or -1.
    int16_t Disconnect();
    // Sends data tagged with a module type (client: to the server; server: to
    // `receiver`). 1 or -1. Virtual so that tests can capture what is sent.
    virtual int16_t SendData(uint32_t receiver, uint16_t module_type, uint16_t sub_type,
                             const void* data, uint32_t size);
    // Client: SendData to the server.
    int16_t SendToServer(uint16_t module_type, uint16_t sub_type, const void* data, uint32_t size);
    void RemoveSystem();

    // [SECTION] Server operations (mode 2; they do nothing in client mode)

    // Queues several messages for one receiver, finding it once. 1 when all
    // were queued, -1 when the receiver is unknown or one was refused.
    int16_t SendDataBatch(uint32_t receiver, uint16_t module_type,
                          std::span<const TNS_MESSAGE> messages);
    // Queues one message for every listed receiver (the payload is built once,
    // the users are walked once). Unknown receivers are skipped; those whose
    // queue refused the message (a cap) are added to `refused` when given.
    // The number of receivers it was queued for.
    size_t SendDataToMany(const std::vector<uint32_t>& receivers, uint16_t module_type,
                          uint16_t sub_type, const void* data, uint32_t size,
                          std::vector<uint32_t>* refused = nullptr);
    // Removes the user once its outgoing queue is empty, but not before
    // `grace` (so that a reply in flight goes out) and at the latest after
    // `deadline`, drained or not.
    void CloseWhenDrained(uint32_t user,
                          std::chrono::milliseconds grace = std::chrono::milliseconds(50),
                          std::chrono::milliseconds deadline = std::chrono::milliseconds(2000));
    // IPv4 address of the user's peer in network order, or zeros. Virtual so
    // that tests can state an address.
    virtual std::array<uint8_t, 4> PeerAddress(uint32_t user);
    // Whether data a client addresses to another user (not the server) is
    // passed on to that user; when off it is dropped. On unless switched off.
    void SetRelay(bool on);
    bool relay() const { return relay_; }
    // The folder received files are saved in, under their plain names. Empty
    // (the default) refuses every file: a program takes files only when it
    // asks for them.
    void SetFileFolder(const std::string& dir);
    // The user's outgoing queue; false when there is no such user.
    bool QueueState(uint32_t user, TNS_QUEUE_STATE* state) const;
    // Caps the payload bytes that may wait for the user (0 = only the
    // kernel's own limit); a message that would pass the cap is refused.
    // False when there is no such user.
    bool SetQueueCap(uint32_t user, uint64_t max_bytes);
    // Caps the payload bytes waiting in all users' outgoing queues together
    // (0 = no cap); a message that would pass it is refused.
    void SetQueueTotalCap(uint64_t max_bytes);
    TNS_QUEUE_TOTALS QueueTotals() const;
    // Outgoing payload bytes waiting for every logged-on user (identifier,
    // bytes), in one walk over the users, ordered by identifier.
    std::vector<std::pair<uint32_t, uint64_t>> QueuedBytes() const;

    // [SECTION] Driving

    // Messages that wait for Update.
    size_t PendingMessages() const;
    // Waits until a message waits for Update, Wake was called or
    // `timeout_ms` passed. True when a message waits.
    bool WaitForMessages(uint32_t timeout_ms) const;
    // Ends the WaitForMessages under way, or the next one, at once. Any
    // thread may call it at any time (it does nothing without a kernel).
    void Wake();
    // The port the server listens on (the real one when 0 was asked for).
    uint16_t ListenPort() const;

    // Hooks, empty here.
    // A connection attempt is done: 1 logged on, -1 failed (see logon_refusal).
    virtual void OnConnectFinished(int16_t /*result*/) {}
    virtual void OnLogon(uint32_t /*id*/) {}
    virtual void OnLogoff(uint32_t /*id*/) {}
    virtual void OnConnectionLost(uint32_t /*id*/) {}
    virtual void OnUserRemoved(uint32_t /*id*/) {}
    virtual void OnDataReceived(uint32_t /*receiver*/, uint32_t /*sender*/,
                                uint16_t /*module_type*/, uint16_t /*sub_type*/,
                                const uint8_t* /*data*/, uint32_t /*size*/) {}
    virtual void OnFileReceived(const char* /*name*/) {}
    // Server: a logged-on client's message was dropped (see SetRelay and
    // SetFileFolder); `type` is the kernel message type.
    virtual void OnDataRefused(uint32_t /*sender*/, uint32_t /*type*/) {}

    // Splits the 4-byte module header off a payload and calls OnDataReceived.
    void SRV_DataReceived(uint32_t receiver, uint32_t sender, const uint8_t* payload,
                          uint32_t size);

    uint32_t mode() const { return mode_; }
    bool logged_on() const { return logged_on_ != 0; }
    uint32_t own_id() const { return own_id_; }
    uint16_t port() const { return port_; }
    // Client: true from ConnectToHostname until the connection is given up.
    bool has_connection() const { return user_ != nullptr; }
    // The log-on wait of a connection attempt (clt_logon_timeout of the
    // settings, 30000 ms without it), also the longest a name lookup may take.
    void set_logon_timeout(uint32_t ms) { logon_timeout_ms_ = ms; }
    // Client: why the server refused the last log-on (NET_LOGON_REFUSED_*),
    // 0 when it did not.
    uint32_t logon_refusal() const { return logon_refusal_; }

    // [SECTION] Encryption

    // Server: the certificate for tls = 1; set before InitServerSystem*.
    void SetTlsContext(std::shared_ptr<vorlane::net::TlsContext> context) {
        tls_server_ = std::move(context);
    }
    const std::shared_ptr<vorlane::net::TlsContext>& tls_context() const { return tls_server_; }
    // Server: handshakes one address may have under way (0 = any number).
    void SetHandshakesPerAddress(uint32_t limit);
    // Server: connections refused for that limit.
    uint64_t handshakes_refused() const;
    // Client: the file of keys trusted on first use ("" = none: kept in memory).
    void set_known_servers_file(const std::string& path) { known_servers_file_ = path; }
    const std::string& known_servers_file() const { return known_servers_file_; }
    // Client: show a new key to the player before trusting it (see above).
    void set_confirm_first_use(bool on) { confirm_first_use_ = on; }
    // Client: whether the connection in use (or being made) is encrypted.
    bool tls() const { return tls_client_ != nullptr; }
    // Client: why the last attempt was refused over its encryption (kNone: it was not).
    TlsRefusal tls_refusal() const { return tls_refusal_; }
    // Client: the fingerprint of the last server key seen, and whether it was
    // trusted for the first time then.
    const std::string& server_fingerprint() const { return server_fingerprint_; }
    bool first_use() const { return first_use_; }

    // Kernel notifications (NETAPI).
    void SrvUserLoggedOn(uint32_t id) override { OnLogon(id); }
    void SrvUserLoggedOff(uint32_t id) override { OnLogoff(id); }
    void SrvConnectionLost(uint32_t id) override { OnConnectionLost(id); }
    void SrvUserRemoved(uint32_t id) override { OnUserRemoved(id); }
    void SrvCustomData(uint32_t sender, const uint8_t* data, uint32_t size) override;
    void SrvDataRefused(uint32_t sender, uint32_t type) override { OnDataRefused(sender, type); }
    void CltLogonAccepted(uint32_t own_id) override;
    void CltLogoffAccepted(uint32_t id) override;
    void CltLogonRefused(uint32_t reason) override { logon_refusal_ = reason; }
    void CltConnectionLost(uint32_t id) override;
    void CltUserRemoved(uint32_t id) override;
    void CltCustomData(uint32_t receiver, uint32_t sender, const uint8_t* data,
                       uint32_t size) override;
    void CltFileReceived(const char* name) override { OnFileReceived(name); }
    std::shared_ptr<vorlane::net::TlsContext> SrvTlsContext() override { return tls_server_; }

  protected:
    // The kernel behind this face; for tests that play a misbehaving peer.
    NETDRV* driver() const;

  private:
    enum class ConnectPhase { kNone, kSocket, kLogon };

    struct PendingClose {
        uint32_t user = 0;
        uint32_t since_ms = 0;  // steady-clock milliseconds
        uint32_t grace_ms = 0;
        uint32_t deadline_ms = 0;
    };

    // Removes the users whose close is due.
    void CloseDrained();
    void AdvanceConnect();
    // The log lines of a failed lookup or connect.
    void ReportConnectFailure();
    // Judges the certificate of a finished handshake (see the table above).
    TlsRefusal JudgeServer(const vorlane::net::TlsPeer& peer);
    void FinishConnect(int16_t result);
    // Closes the connection of an attempt that is given up, without the
    // notifications of a removal (the attempt is not a session yet).
    void AbandonUser();
    // Whether a notice about a user (by its identifier) concerns a connection
    // this client logged off before while a newer one is current: the
    // newer session must not take it for its own end.
    bool IsStale(uint32_t id) const;
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
    // The driver Wake reaches, set while the kernel runs (wake_mutex_ keeps
    // it from going while another thread uses it).
    std::mutex wake_mutex_;
    NETDRV* wake_driver_ = nullptr;
    uint16_t port_ = 0;
    std::string log_dir_;
    std::string log_file_name_;  // the own log keeps a pointer to it
    uint32_t logon_timeout_ms_ = 30000;
    ConnectPhase connect_phase_ = ConnectPhase::kNone;
    vorlane::net::HostConnect connect_;
    uint32_t logon_start_ms_ = 0;
    int16_t connect_result_ = -1;
    bool quiet_removal_ = false;
    bool relay_ = true;
    uint64_t queue_total_cap_ = 0;
    std::string file_dir_;
    uint32_t logon_refusal_ = 0;
    std::vector<PendingClose> closing_;
    std::shared_ptr<vorlane::net::TlsContext> tls_server_;
    std::shared_ptr<vorlane::net::TlsContext> tls_client_;
    uint32_t handshake_timeout_ms_ = kNetDefaultHandshakeMs;
    uint32_t handshakes_per_address_ = 0;
    std::string connect_host_;
    std::string known_servers_file_;
    bool confirm_first_use_ = false;
    // The key last shown to the player and not yet confirmed ("host:port key").
    std::string shown_key_;
    TlsRefusal tls_refusal_ = TlsRefusal::kNone;
    std::string server_fingerprint_;
    bool first_use_ = false;
};
