// Shared by the tests that run vorlane-lobbyd's server in-process on
// 127.0.0.1: the server with a thread pumping its kernel, and LOBBYNET clients
// with short time-outs that the test steps itself.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/lobby_packets.h"
#include "net/netdrv.h"
#include "server/lobby_server.h"
#include "tests/lobby/lobby_test_support.h"

namespace vorlane::server::testing {

class RunningServer {
  public:
    // `seed` may fill the database before the server starts; `adjust` may
    // change the configuration the tests share; `prepare` may set the
    // server up before its thread runs (clocks, the admin socket).
    // `bus` (not owned) makes the server one of a cluster.
    RunningServer(const std::string& database, const std::string& log_dir,
                  const std::function<bool(LobbyStore&)>& seed = nullptr,
                  const std::function<void(LobbyConfig&)>& adjust = nullptr,
                  const std::function<bool(LobbyServer&)>& prepare = nullptr,
                  LobbyBus* bus = nullptr) {
        store_ = LobbyStore::Open(database, HashStrength::kMinimum);
        if (!store_ || (seed && !seed(*store_)))
            return;
        LobbyConfig config;
        config.hash = HashStrength::kMinimum;
        config.channels = {{"Main Hall", 0}, {"Battle Zone", 0x2}};
        config.kernel = DefaultServerSettings();
        config.kernel.port = 0;       // any free port on 127.0.0.1
        config.game_min_seconds = 0;  // games here last moments
        if (adjust)
            adjust(config);
        server_ = std::make_unique<LobbyServer>(store_.get(), config, bus);
        if (server_->Start(log_dir.c_str()) != 1 || (prepare && !prepare(*server_)))
            return;
        port_ = server_->ListenPort();
        thread_ = std::thread([this] {
            while (!stop_) server_->Pump(5);
        });
    }
    ~RunningServer() { Stop(); }
    RunningServer(const RunningServer&) = delete;
    RunningServer& operator=(const RunningServer&) = delete;

    // Stops the server's thread and leaves the server as it is: to the
    // others it looks as if its process had been killed.
    void Freeze() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    void Stop() {
        Freeze();
        if (server_)
            server_->RemoveSystem();
        server_.reset();
        store_.reset();
    }
    // 0 when the server did not start.
    uint16_t port() const { return port_; }
    // Client messages the server dropped because they were for other users.
    uint64_t refused_messages() const { return server_ ? server_->refused_messages() : 0; }
    // Connections closed because they read too slowly.
    uint64_t slow_readers() const { return server_ ? server_->slow_readers() : 0; }
    // The server's own queue figures (safe while its thread runs).
    TNS_QUEUE_TOTALS queue_totals() const {
        return server_ ? server_->QueueTotals() : TNS_QUEUE_TOTALS{};
    }
    // How often a limit bit.
    uint64_t limit_hits(Limit kind) const { return server_ ? server_->limit_hits(kind) : 0; }
    // The server's latest snapshot (made on its thread about once a second).
    std::shared_ptr<const LobbyStatus> status() const {
        return server_ ? server_->status() : nullptr;
    }

  private:
    std::unique_ptr<LobbyStore> store_;
    std::unique_ptr<LobbyServer> server_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    uint16_t port_ = 0;
};

// `source` is the loopback address the client connects from (host byte
// order, 0 = 127.0.0.1): tests that need several peer addresses use
// 127.0.0.2, 127.0.0.3, ...
inline NET_SETTINGS ClientSettings(uint16_t port, uint32_t source = 0) {
    NET_SETTINGS s;
    s.port = port;
    s.clt_bind_addr = source;
    s.usr_max = 4;
    s.buf_writeblock = 16384;
    s.thrd_exit = 1000;
    s.srv_newconnect = 20;
    s.srv_waitforflags = 5;
    s.srv_sendlogonrequest = 2000;
    s.srv_checkdeadcon = 60000;
    s.srv_checkdeadcalltime = 5000;
    s.srv_sendalive = 1000;
    s.usr_initnew = 2000;
    s.usr_remove = 2000;
    s.usr_logoncheck = 5000;
    s.usr_logofftimeout = 1000;
    s.drv_removetime = 200;
    return s;
}

// LOBBYNET with the kernel in reach, so that a test can play a client that
// addresses other users directly.
class TestLobbyNet : public LOBBYNET {
  public:
    using LOBBYNET::LOBBYNET;
    // Sends a kernel message of `type` to `receiver` under this client's own
    // identifier. 0 when it was queued.
    int16_t SendRaw(uint32_t receiver, uint32_t type, const std::vector<uint8_t>& payload) {
        return SendSingleMessage(driver(), own_id(), receiver, type, payload.data(),
                                 uint32_t(payload.size()));
    }
    NETDRV* kernel() const { return driver(); }
    // Keeps the last of each lobby packet from the server and counts them, for
    // answers LOBBYNET does not pass on (results, seats).
    void OnDataReceived(uint32_t receiver, uint32_t sender, uint16_t module_type, uint16_t sub_type,
                        const uint8_t* data, uint32_t size) override {
        if (module_type == net::kLobbyModuleType && data && FromServer(sender)) {
            last_packets[sub_type].assign(data, data + size);
            ++packet_counts[sub_type];
            if (sub_type >= net::kPktSocialAction)
                social.push_back({sub_type, std::vector<uint8_t>(data, data + size)});
        }
        LOBBYNET::OnDataReceived(receiver, sender, module_type, sub_type, data, size);
    }
    std::map<uint16_t, std::vector<uint8_t>> last_packets;
    std::map<uint16_t, size_t> packet_counts;
    // Every packet from 51 on, in order of arrival.
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> social;
};

struct Client {
    Client(uint16_t port, const std::string& log_dir, uint32_t source = 0)
        : net(&frontend, nullptr) {
        ready =
            net.InitClientSystemWithSettings(log_dir.c_str(), ClientSettings(port, source)) == 1;
        net.set_host("127.0.0.1");
        net.set_logon_timeout(5000);
    }
    RecordingFrontend frontend;
    TestLobbyNet net;
    bool ready = false;
};

// Steps the clients until `done` holds or `seconds` passed.
inline bool WaitFor(std::initializer_list<Client*> clients, const std::function<bool()>& done,
                    int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        for (Client* client : clients) {
            for (int i = 0; i < 8; ++i) client->net.Update();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// Logs in, stores profile slot 0 under `name` and selects it; returns once
// the channel list has come.
// The first answer to a log-in: "profiles_complete" or "login_error TEXT".
inline std::string LoginAnswer(Client& client, const std::string& name,
                               const std::string& password) {
    client.frontend.events.clear();
    client.net.Login(name.c_str(), password.c_str(), "", "", false, 0xFFFF, 0xFFFF);
    std::string answer;
    WaitFor({&client}, [&] {
        for (const std::string& event : client.frontend.events) {
            if (event == "profiles_complete" || event.rfind("login_error", 0) == 0) {
                answer = event;
                return true;
            }
        }
        return false;
    });
    return answer;
}

inline void LogInWithNewProfile(Client& client, const std::string& name,
                                const std::string& password) {
    using namespace vorlane::net;
    ASSERT_EQ(client.net.Login(name.c_str(), password.c_str(), "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({&client}, [&] { return client.frontend.Has("profiles_complete"); }));
    Profile& slot = client.net.profiles()[0];
    PutU16(slot, kProfActive, 1);
    PutText(slot, kProfName, name, kNameWidth);
    ASSERT_EQ(client.net.SelectProfile(0, true), 1);
    ASSERT_TRUE(WaitFor({&client}, [&] { return client.frontend.Has("channel_list 0"); }));
}

// A lobby packet as the kernel carries it, for a client that writes to the
// kernel directly: module type and sub-type (the packet identifier) in front.
inline std::vector<uint8_t> CustomPayload(const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> payload(packet.size() + 4);
    payload[0] = uint8_t(net::kLobbyModuleType);
    payload[2] = packet[0];
    payload[3] = packet[1];
    std::copy(packet.begin(), packet.end(), payload.begin() + 4);
    return payload;
}

}  // namespace vorlane::server::testing
