// The kernel over loopback: a server and several clients in one process,
// driven by the test thread. The kernel's clock is a manual one: time-outs
// pass when a test advances it, never by waiting.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "baselib/bl_file.h"
#include "baselib/scfg/scfg.h"
#include "baselib/timer.h"
#include "net/flownet.h"
#include "net/krnl.h"
#include "net/net_protocol.h"
#include "net_test_support.h"
#include "tests/support/log_capture.h"

using nettest::EnvelopeBytes;
using vorlane::testing::LogCapture;

namespace {

// The logs write through the base library's file table.
class FileTableEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { InitBL(); }
    void TearDown() override { FreeBL(); }
};
const ::testing::Environment* const kFileTable =
    ::testing::AddGlobalTestEnvironment(new FileTableEnvironment);

struct Recorder : NETAPI {
    struct Data {
        uint32_t receiver;
        uint32_t sender;
        std::string bytes;
    };
    struct Group {
        uint32_t receiver;
        uint32_t sender;
        uint32_t group;
        std::string bytes;
    };
    std::vector<uint32_t> on, off, lost, removed;
    std::vector<Data> custom;
    std::vector<Group> groups;
    std::vector<std::string> files, failed_files;
    std::vector<std::pair<uint32_t, uint32_t>> refused;  // sender, message type
    uint32_t own_id = 0;
    uint32_t logon_refusal = 0;
    int logoffs = 0;

    void SrvUserLoggedOn(uint32_t id) override { on.push_back(id); }
    void SrvUserLoggedOff(uint32_t id) override { off.push_back(id); }
    void SrvConnectionLost(uint32_t id) override { lost.push_back(id); }
    void SrvUserRemoved(uint32_t id) override { removed.push_back(id); }
    void SrvCustomData(uint32_t sender, const uint8_t* data, uint32_t size) override {
        custom.push_back({NET_ID_SERVER, sender, std::string(data, data + size)});
    }
    void SrvFileReceived(const char* name) override { files.emplace_back(name); }
    void SrvFileFailed(const char* name) override { failed_files.emplace_back(name); }
    void CltFileFailed(const char* name) override { failed_files.emplace_back(name); }
    void SrvDataRefused(uint32_t sender, uint32_t type) override {
        refused.emplace_back(sender, type);
    }
    void CltLogonRefused(uint32_t reason) override { logon_refusal = reason; }
    void CltLogonAccepted(uint32_t id) override { own_id = id; }
    void CltLogoffAccepted(uint32_t) override { ++logoffs; }
    void CltConnectionLost(uint32_t id) override { lost.push_back(id); }
    void CltUserRemoved(uint32_t id) override { removed.push_back(id); }
    void CltCustomData(uint32_t receiver, uint32_t sender, const uint8_t* data,
                       uint32_t size) override {
        custom.push_back({receiver, sender, std::string(data, data + size)});
    }
    void CltGroupData(uint32_t receiver, uint32_t sender, uint32_t group, const uint8_t* data,
                      uint32_t size) override {
        groups.push_back({receiver, sender, group, std::string(data, data + size)});
    }
};

NET_SETTINGS FastSettings() {
    NET_SETTINGS s;
    s.port = 0;
    s.usr_max = 8;
    s.buf_writeblock = 4096;
    s.thrd_exit = 2000;
    s.srv_newconnect = 20;
    s.srv_waitforflags = 5;
    s.srv_sendlogofftimeout = 50;
    s.srv_sendlogonrequest = 1000;
    s.srv_checkdeadcon = 10000;
    s.srv_checkdeadcalltime = 50;
    s.srv_sendalive = 5000;
    s.usr_initnew = 2000;
    s.usr_remove = 1000;
    s.usr_logoncheck = 5000;
    s.usr_logofftimeout = 100;
    s.drv_removetime = 100;
    s.srv_bind_addr = 0x7F000001;
    return s;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A peer that speaks the envelope protocol by hand.
class RawPeer {
  public:
    explicit RawPeer(uint16_t port) {
        connection_ = NET_Connect(port, 127, 0, 0, 1, 1000, nullptr);
    }
    ~RawPeer() { NET_Close(connection_); }
    bool ok() const { return connection_ != nullptr; }
    void Send(const std::vector<uint8_t>& bytes) {
        send(connection_->socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void LogOn(const std::string& name) {
        LOGON_RECORD record;
        record.name = name;
        record.password = "KelArvO";
        Send(EnvelopeBytes(NET_ID_UNKNOWN, NET_ID_SERVER, NET_MSGTYPE_LOGMEON,
                           EncodeLogonRecord(record)));
    }
    // True when the server closed the connection within `timeout_ms`.
    bool ClosedWithin(int timeout_ms) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        uint8_t buffer[256];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd entry{connection_->socket, POLLIN, 0};
            if (poll(&entry, 1, 10) > 0) {
                ssize_t got = recv(connection_->socket, buffer, sizeof buffer, 0);
                if (got <= 0)
                    return true;
            }
        }
        return false;
    }
    NET_CONNECTION* connection() { return connection_; }

  private:
    NET_CONNECTION* connection_ = nullptr;
};

class Kernel : public ::testing::Test {
  protected:
    struct Client {
        Recorder api;
        std::unique_ptr<FLOWNET> flow;
        NETUSR* user = nullptr;
        NETDRV* driver() { return flow->driver(); }
    };

    // Every line of every driver's logs.
    LogCapture capture_;

    void SetUp() override {
        char pattern[] = "/tmp/vorlane-net-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        clients_.clear();
        server_.reset();
        std::filesystem::remove_all(dir_);
    }

    bool StartServer(const NET_SETTINGS& settings) {
        server_ = std::make_unique<FLOWNET>();
        if (server_->StartWithSettings(&server_api_, kModeServer, (dir_ + "/server").c_str(),
                                       settings) != 0) {
            return false;
        }
        port_ = server_->driver()->listen_port;
        return port_ != 0;
    }

    Client* AddClient(NET_SETTINGS settings = FastSettings()) {
        auto client = std::make_unique<Client>();
        client->flow = std::make_unique<FLOWNET>();
        std::string dir = dir_ + "/client" + std::to_string(clients_.size());
        if (client->flow->StartWithSettings(&client->api, kModeClient, dir.c_str(), settings) !=
            0) {
            return nullptr;
        }
        clients_.push_back(std::move(client));
        return clients_.back().get();
    }

    bool LogOn(Client* client, const char* name) {
        client->user = SendLogonRequest(client->driver(), name, "KelArvO", port_, 127, 0, 0, 1);
        return client->user && Pump([&] { return client->api.own_id != 0; });
    }

    // Drives every flow until `done` holds or the time-out passes.
    bool Pump(const std::function<bool()>& done, int timeout_ms = 3000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < deadline) {
            Step();
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    void Step() {
        auto drive = [](FLOWNET* flow) {
            if (!flow || !flow->driver())
                return;
            for (int i = 0; i < 64; ++i) {
                flow->Run();
                if (NETDRV_PendingMessages(flow->driver()) == 0)
                    break;
            }
        };
        drive(server_.get());
        for (auto& client : clients_) drive(client->flow.get());
    }
    void Settle(int ms) {
        Pump([] { return false; }, ms);
    }
    // Lets `ms` of kernel time pass at once and runs every flow.
    void Elapse(uint32_t ms) {
        clock_.Advance(ms);
        Step();
    }
    // The server's reader of user `id` has heard from it at the current time.
    bool ServerHeardNow(uint32_t id) {
        bool heard = false;
        NETUSR_ForEach(&server_->driver()->users, [&](NETUSR* user) {
            if (user->Id() != id)
                return;
            std::lock_guard lock(user->reader->mutex);
            heard = user->reader->last_transfer == clock_.NowMs();
        });
        return heard;
    }

    // Declared first: the kernels below read it until they are gone.
    vorlane::baselib::ManualClock clock_{1000};
    vorlane::baselib::ScopedSteadyClock use_clock_{clock_};
    std::string dir_;
    Recorder server_api_;
    std::unique_ptr<FLOWNET> server_;
    std::vector<std::unique_ptr<Client>> clients_;
    uint16_t port_ = 0;
};

// [SECTION] Log-on, data, groups, log-off

TEST_F(Kernel, LogonHandshakeAssignsIdentifiers) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    Client* b = AddClient();
    Client* c = AddClient();
    ASSERT_TRUE(a && b && c);
    ASSERT_TRUE(LogOn(a, "alpha"));
    ASSERT_TRUE(LogOn(b, "beta"));
    ASSERT_TRUE(LogOn(c, "gamma"));
    EXPECT_EQ(a->api.own_id, 1u);
    EXPECT_EQ(b->api.own_id, 2u);
    EXPECT_EQ(c->api.own_id, 3u);
    EXPECT_EQ(server_api_.on, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_TRUE(a->user->flags & kUsrLoggedOn);
    EXPECT_TRUE(a->user->flags & kUsrConnected);
    EXPECT_STREQ(a->user->address->name, "alpha");
    EXPECT_TRUE(LogCapture::Contains("YOUR ID IS: << 2 >>"));
    EXPECT_TRUE(LogCapture::Contains("SendLogonRequest: Sended LOGMEON to server."));
    EXPECT_EQ(LogCapture::Count("- LOGIN   "), 3);
    EXPECT_TRUE(LogCapture::Contains(" 127.000.000.001 beta"));
    // The pending log-on checks were cancelled by the log-on.
    EXPECT_EQ(CALL_Count(server_->driver()->calls), 2);
}

// The servers of a cluster hand out identifiers from their own base; one
// that would reach the kernel's own identifiers does not start.
TEST_F(Kernel, IdentifiersStartFromTheServersBase) {
    NET_SETTINGS settings = FastSettings();
    settings.srv_id_base = NET_ID_SERVER - settings.usr_max;
    EXPECT_FALSE(StartServer(settings));
    settings.srv_id_base = 0x30000;
    ASSERT_TRUE(StartServer(settings));
    Client* a = AddClient();
    ASSERT_TRUE(a && LogOn(a, "alpha"));
    EXPECT_EQ(a->api.own_id, 0x30001u);
    EXPECT_EQ(server_api_.on, (std::vector<uint32_t>{0x30001}));
}

// Another thread ends the owner's wait at once; a wake that comes first
// ends the next wait.
TEST_F(Kernel, AWakeEndsTheOwnersWait) {
    ASSERT_TRUE(StartServer(FastSettings()));
    NETDRV* driver = server_->driver();
    NETDRV_Wake(driver);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(NETDRV_WaitForMessage(driver, 5000));
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        NETDRV_Wake(driver);
    });
    EXPECT_FALSE(NETDRV_WaitForMessage(driver, 5000));
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(Kernel, CustomDataToOneUserToAllAndToServer) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    Client* b = AddClient();
    Client* c = AddClient();
    ASSERT_TRUE(LogOn(a, "a") && LogOn(b, "b") && LogOn(c, "c"));

    ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, b->api.own_id, NET_MSGTYPE_CUSTOMDATA,
                                "to-b", 4),
              0);
    ASSERT_TRUE(Pump([&] { return !b->api.custom.empty(); }));
    EXPECT_EQ(b->api.custom[0].bytes, "to-b");
    EXPECT_EQ(b->api.custom[0].sender, a->api.own_id);
    EXPECT_EQ(b->api.custom[0].receiver, b->api.own_id);

    // Every logged-on user except the sender.
    ASSERT_EQ(
        SendSingleMessage(a->driver(), a->api.own_id, USR_ALL, NET_MSGTYPE_CUSTOMDATA, "all", 3),
        0);
    ASSERT_TRUE(Pump([&] { return b->api.custom.size() == 2 && c->api.custom.size() == 1; }));
    Settle(50);
    EXPECT_TRUE(a->api.custom.empty());
    EXPECT_EQ(c->api.custom[0].bytes, "all");
    EXPECT_EQ(c->api.custom[0].receiver, USR_ALL);
    EXPECT_EQ(b->api.custom.size(), 2u);

    ASSERT_EQ(SendSingleMessage(c->driver(), c->api.own_id, NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA,
                                "srv", 3),
              0);
    ASSERT_TRUE(Pump([&] { return !server_api_.custom.empty(); }));
    EXPECT_EQ(server_api_.custom[0].sender, c->api.own_id);
    EXPECT_EQ(server_api_.custom[0].bytes, "srv");

    // An unknown receiver is dropped on the server with its error line.
    ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, 77, NET_MSGTYPE_CUSTOMDATA, "x", 1), 0);
    ASSERT_TRUE(Pump(
        [&] { return LogCapture::Contains("MAIN: MessageLoop distritbute CUSTOMDATA failed."); }));
    // The server sends to one user or to all.
    EXPECT_EQ(SendSingleMessage(server_->driver(), NET_ID_SERVER, USR_ALL, NET_MSGTYPE_CUSTOMDATA,
                                "hi", 2),
              0);
    ASSERT_TRUE(Pump([&] {
        return a->api.custom.size() == 1 && b->api.custom.size() == 3 && c->api.custom.size() == 2;
    }));
    EXPECT_EQ(a->api.custom[0].sender, NET_ID_SERVER);
    // A client cannot address a user it does not know locally.
    EXPECT_EQ(SendSingleMessage(a->driver(), 999, NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA, "x", 1),
              -1);

    // With relaying off the server keeps client data for other users to itself.
    server_->driver()->relay = false;
    const size_t before = b->api.custom.size();
    ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, b->api.own_id, NET_MSGTYPE_CUSTOMDATA,
                                "no", 2),
              0);
    ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA,
                                "srv", 3),
              0);
    ASSERT_TRUE(Pump([&] { return server_api_.custom.size() == 2; }));
    Settle(50);
    EXPECT_EQ(b->api.custom.size(), before);
}

TEST_F(Kernel, ClientTakesInEverythingThatArrivedInOneStep) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    ASSERT_TRUE(a && LogOn(a, "a"));
    for (int i = 0; i < 30; ++i) {  // fewer than a reader may have waiting
        ASSERT_EQ(SendSingleMessage(server_->driver(), NET_ID_SERVER, a->api.own_id,
                                    NET_MSGTYPE_CUSTOMDATA, "m", 1),
                  0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (NETDRV_PendingMessages(a->driver()) < 30 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    a->flow->Run();
    EXPECT_EQ(a->api.custom.size(), 30u);
}

// A message that finds the writer idle leaves from the sender's own thread;
// one too large for that, or behind others, waits for the writer. Mixed, the
// server still sees them in the order they were sent.
TEST_F(Kernel, DirectAndQueuedSendsKeepTheirOrder) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    ASSERT_TRUE(a && LogOn(a, "a"));
    constexpr int kMessages = 300;
    for (int i = 0; i < kMessages; ++i) {
        // Every third one is larger than a block, which only the writer sends.
        std::string text(i % 3 == 0 ? 6000 : 10, char('a' + i % 26));
        std::memcpy(text.data(), &i, sizeof i);
        ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, NET_ID_SERVER,
                                    NET_MSGTYPE_CUSTOMDATA, text.data(), uint32_t(text.size())),
                  0);
    }
    ASSERT_TRUE(Pump([&] { return server_api_.custom.size() == kMessages; }, 10000));
    for (int i = 0; i < kMessages; ++i) {
        const std::string& bytes = server_api_.custom[size_t(i)].bytes;
        int index = -1;
        ASSERT_GE(bytes.size(), sizeof index);
        std::memcpy(&index, bytes.data(), sizeof index);
        EXPECT_EQ(index, i);
        EXPECT_EQ(bytes.size(), i % 3 == 0 ? 6000u : 10u);
    }
}

// A server whose thread waits for messages receives for its readers itself;
// what is too large for that is handed back to the reader. Either way one
// connection's messages arrive in the order sent.
TEST_F(Kernel, OwnerThatWaitsReceivesItselfAndKeepsTheOrder) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    ASSERT_TRUE(a && LogOn(a, "a"));
    NETDRV* server = server_->driver();
    auto pump_waiting = [&](const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            NETDRV_WaitForMessage(server, 2);
            server_->Run();
            for (auto& client : clients_) client->flow->Run();
        }
        return done();
    };
    auto reader_parked = [&] {
        bool parked = false;
        NETUSR_ForEach(&server->users, [&](NETUSR* user) {
            std::lock_guard lock(user->reader->receive_mutex);
            parked = user->reader->parked;
        });
        return parked;
    };
    // The reader stands aside after a message that comes while the owner waits.
    size_t warm = 0;
    while (warm < 20 && !reader_parked()) {
        ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, NET_ID_SERVER,
                                    NET_MSGTYPE_CUSTOMDATA, "warm", 4),
                  0);
        ++warm;
        ASSERT_TRUE(pump_waiting([&] { return server_api_.custom.size() == warm; }));
        pump_waiting(reader_parked);
    }
    ASSERT_TRUE(reader_parked());

    constexpr int kMessages = 120;
    for (int i = 0; i < kMessages; ++i) {
        // Every tenth one is larger than what the owner takes in at once.
        std::string text(i % 10 == 5 ? 70000 : 40, char('a' + i % 26));
        std::memcpy(text.data(), &i, sizeof i);
        ASSERT_EQ(SendSingleMessage(a->driver(), a->api.own_id, NET_ID_SERVER,
                                    NET_MSGTYPE_CUSTOMDATA, text.data(), uint32_t(text.size())),
                  0);
    }
    ASSERT_TRUE(pump_waiting([&] { return server_api_.custom.size() == warm + kMessages; }));
    EXPECT_GT(server->owner_taken.load(), 0u);
    for (int i = 0; i < kMessages; ++i) {
        const std::string& bytes = server_api_.custom[warm + size_t(i)].bytes;
        int index = -1;
        ASSERT_GE(bytes.size(), sizeof index);
        std::memcpy(&index, bytes.data(), sizeof index);
        EXPECT_EQ(index, i);
        EXPECT_EQ(bytes.size(), i % 10 == 5 ? 70000u : 40u);
    }

    // A peer that goes away is still seen by its reader, parked or not.
    clients_.clear();
    ASSERT_TRUE(pump_waiting([&] { return server_api_.removed.size() == 1; }));
    EXPECT_TRUE(LogCapture::Contains("Reader detected: connection lost, STOP!"));
}

TEST_F(Kernel, GroupDataReachesEveryMember) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    Client* b = AddClient();
    Client* c = AddClient();
    ASSERT_TRUE(LogOn(a, "a") && LogOn(b, "b") && LogOn(c, "c"));
    NETGRP* groups = server_->driver()->groups;
    uint32_t group = NETGRP_CreateGroup(groups, nullptr);
    ASSERT_NE(group, 0u);
    EXPECT_EQ(NETGRP_Find(groups, group)->name, "<common talk>");
    EXPECT_EQ(NETGRP_AddMember(groups, group, a->api.own_id), 0);
    EXPECT_EQ(NETGRP_AddMember(groups, group, b->api.own_id), 0);

    std::vector<uint8_t> payload{
        uint8_t(group), uint8_t(group >> 8), uint8_t(group >> 16), uint8_t(group >> 24), 'g', 'o'};
    ASSERT_EQ(SendSingleMessage(c->driver(), c->api.own_id, NET_ID_SERVER, NET_MSGTYPE_GROUPDATA,
                                payload.data(), uint32_t(payload.size())),
              0);
    ASSERT_TRUE(Pump([&] { return a->api.groups.size() == 1 && b->api.groups.size() == 1; }));
    Settle(30);
    EXPECT_TRUE(c->api.groups.empty());
    EXPECT_EQ(a->api.groups[0].group, group);
    EXPECT_EQ(a->api.groups[0].bytes, "go");
    EXPECT_EQ(a->api.groups[0].sender, NET_ID_SERVER);

    // An unknown group and a payload too short for a group identifier both fail.
    payload[0] ^= 0x55;
    SendSingleMessage(c->driver(), c->api.own_id, NET_ID_SERVER, NET_MSGTYPE_GROUPDATA,
                      payload.data(), uint32_t(payload.size()));
    SendSingleMessage(c->driver(), c->api.own_id, NET_ID_SERVER, NET_MSGTYPE_GROUPDATA, "ab", 2);
    ASSERT_TRUE(Pump(
        [&] { return LogCapture::Count("MAIN: MessageLoop: Distribute GROUPDATA failed.") == 2; }));

    // With relaying off a client's group data is dropped and reported, while
    // the server's own group data still goes out.
    server_->driver()->relay = false;
    payload[0] ^= 0x55;
    payload[5] = 'x';
    SendSingleMessage(c->driver(), c->api.own_id, NET_ID_SERVER, NET_MSGTYPE_GROUPDATA,
                      payload.data(), uint32_t(payload.size()));
    ASSERT_TRUE(Pump([&] { return server_api_.refused.size() == 1; }));
    EXPECT_EQ(server_api_.refused[0],
              std::make_pair(c->api.own_id, uint32_t(NET_MSGTYPE_GROUPDATA)));
    EXPECT_EQ(NETGRP_SendToAll(server_->driver(), group, payload.data(), uint32_t(payload.size())),
              0);
    ASSERT_TRUE(Pump([&] { return a->api.groups.size() == 2 && b->api.groups.size() == 2; }));
    EXPECT_EQ(a->api.groups[1].bytes, "gx");
    EXPECT_EQ(NETGRP_DeleteGroup(groups, group), 0);
    EXPECT_EQ(NETGRP_Find(groups, group), nullptr);
}

TEST_F(Kernel, LogoffHandshakeThenBothSidesRemoveTheConnection) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    Client* b = AddClient();
    ASSERT_TRUE(LogOn(a, "leaver") && LogOn(b, "stayer"));
    const uint32_t id = a->api.own_id;
    ASSERT_EQ(SendLogoffRequest(a->driver(), a->user), 0);
    ASSERT_TRUE(Pump([&] { return a->api.logoffs == 1; }));
    EXPECT_EQ(server_api_.off, std::vector<uint32_t>{id});
    Elapse(100);  // both log-off time-outs
    ASSERT_TRUE(Pump([&] { return !server_api_.removed.empty() && !a->api.removed.empty(); }));
    EXPECT_EQ(server_api_.removed, std::vector<uint32_t>{id});
    EXPECT_EQ(a->api.removed, std::vector<uint32_t>{id});
    EXPECT_EQ(NETUSR_Count(&a->driver()->users), 0);
    EXPECT_EQ(NETUSR_Count(&server_->driver()->users), 1);
    EXPECT_TRUE(LogCapture::Contains("Logon check: Remove connection !"));
    EXPECT_EQ(LogCapture::Count("- LOGOUT  "), 1);
    EXPECT_TRUE(LogCapture::Contains(" IN: "));
    EXPECT_TRUE(LogCapture::Contains(",127.0.0.1,"));
    // The identifier is free again for the next user.
    Client* c = AddClient();
    ASSERT_TRUE(LogOn(c, "next"));
    EXPECT_EQ(c->api.own_id, id);
    EXPECT_TRUE(b->api.removed.empty());
}

// [SECTION] Connections the server drops

TEST_F(Kernel, ConnectionThatNeverLogsOnIsRemoved) {
    NET_SETTINGS settings = FastSettings();
    settings.usr_logoncheck = 150;
    ASSERT_TRUE(StartServer(settings));
    RawPeer peer(port_);
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(Pump([&] { return NETUSR_Count(&server_->driver()->users) == 1; }));
    Elapse(149);
    EXPECT_FALSE(LogCapture::Contains("Logon check: Remove connection !"));
    Elapse(1);
    ASSERT_TRUE(Pump([&] { return NETUSR_Count(&server_->driver()->users) == 0; }));
    EXPECT_TRUE(LogCapture::Contains("Logon check: Remove connection !"));
    EXPECT_TRUE(peer.ClosedWithin(1000));
    EXPECT_EQ(server_api_.removed, std::vector<uint32_t>{0});
}

TEST_F(Kernel, SilentClientIsDroppedWhileTalkingClientStays) {
    NET_SETTINGS settings = FastSettings();
    settings.srv_checkdeadcon = 300;
    settings.srv_checkdeadcalltime = 50;
    ASSERT_TRUE(StartServer(settings));
    NET_SETTINGS talkative = FastSettings();
    talkative.srv_sendalive = 60;
    Client* alive = AddClient(talkative);
    ASSERT_TRUE(LogOn(alive, "alive"));
    RawPeer silent(port_);
    silent.LogOn("silent");
    ASSERT_TRUE(Pump([&] { return server_api_.on.size() == 2; }));
    const uint32_t alive_id = server_api_.on[0];
    const uint32_t silent_id = server_api_.on[1];
    // One keep-alive interval per round; the server hears the talkative
    // client before more time passes.
    auto round = [&] {
        Elapse(60);
        return Pump([&] { return ServerHeardNow(alive_id); });
    };
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(round());
    EXPECT_TRUE(server_api_.removed.empty());  // silent for 300 ms: not yet dead
    ASSERT_TRUE(round());
    ASSERT_TRUE(Pump([&] { return !server_api_.removed.empty(); }));
    EXPECT_EQ(server_api_.lost, std::vector<uint32_t>{silent_id});
    EXPECT_EQ(server_api_.removed, std::vector<uint32_t>{silent_id});
    EXPECT_TRUE(LogCapture::Contains("Server game tick: CONNECTION LOST."));
    EXPECT_TRUE(silent.ClosedWithin(1000));
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(round());
    EXPECT_EQ(server_api_.removed.size(), 1u);
    EXPECT_EQ(NETUSR_Count(&server_->driver()->users), 1);
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop got STAYINGALIVE msg."));
    // One log-out line although the user was both found dead and removed.
    EXPECT_EQ(LogCapture::Count("- LOGOUT  "), 1);
}

TEST_F(Kernel, UserMaxTwoRefusesAThirdLogOnAndCutsOffBeyondItsRoom) {
    NET_SETTINGS settings = FastSettings();
    settings.usr_max = 2;
    ASSERT_TRUE(StartServer(settings));
    Client* a = AddClient();
    Client* b = AddClient();
    Client* c = AddClient();
    ASSERT_TRUE(LogOn(a, "a") && LogOn(b, "b"));
    c->user = SendLogonRequest(c->driver(), "c", "KelArvO", port_, 127, 0, 0, 1);
    ASSERT_NE(c->user, nullptr);
    // The third is told why at once and lets its connection go; so does the server.
    ASSERT_TRUE(Pump([&] { return c->api.logon_refusal != 0 && !c->api.removed.empty(); }));
    EXPECT_EQ(c->api.logon_refusal, NET_LOGON_REFUSED_FULL);
    EXPECT_EQ(c->api.own_id, 0u);
    EXPECT_EQ(server_api_.on.size(), 2u);
    Elapse(50);  // the refused connection's place is kept until the refusal is out
    ASSERT_TRUE(Pump([&] { return NETUSR_Count(&server_->driver()->users) == 2; }));

    // Connections beyond the room kept for refusals are closed at once.
    std::vector<std::unique_ptr<RawPeer>> waiting;
    for (uint32_t i = 1; i <= kLogonRefusalRoom; ++i) {
        waiting.push_back(std::make_unique<RawPeer>(port_));
        ASSERT_TRUE(Pump([&] { return NETUSR_Count(&server_->driver()->users) == int(2 + i); }));
    }
    RawPeer extra(port_);
    ASSERT_TRUE(extra.ok());
    ASSERT_TRUE(Pump([&] { return LogCapture::Contains("KRNL_InitUser: Cannot init user."); }));
    EXPECT_TRUE(LogCapture::Contains("InitUser: insert list failed."));
    EXPECT_TRUE(extra.ClosedWithin(1000));
}

TEST_F(Kernel, LongUserNameIsCutTo31Characters) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    const std::string name(40, 'n');
    ASSERT_TRUE(LogOn(a, name.c_str()));
    EXPECT_EQ(std::string(a->user->address->name), std::string(31, 'n'));
    NETUSR* on_server = nullptr;
    NETUSR_ForEach(&server_->driver()->users, [&](NETUSR* user) { on_server = user; });
    ASSERT_NE(on_server, nullptr);
    EXPECT_EQ(std::string(on_server->address->name), std::string(31, 'n'));
}

// [SECTION] Bad input

TEST_F(Kernel, ForeignAndBrokenDataIsLoggedAndTheReaderStaysActive) {
    ASSERT_TRUE(StartServer(FastSettings()));
    RawPeer peer(port_);
    peer.LogOn("raw");
    ASSERT_TRUE(Pump([&] { return server_api_.on.size() == 1; }));
    peer.Send(EnvelopeBytes(1, NET_ID_SERVER, 2, {}, 0x0BADF00D));  // 28 foreign bytes
    ASSERT_TRUE(
        Pump([&] { return LogCapture::Contains("Reader detected: foreign packet. no effect."); }));
    peer.Send(EnvelopeBytes(1, NET_ID_SERVER, 7, Bytes("seven")));
    peer.Send(EnvelopeBytes(1, NET_ID_SERVER, NET_MSGTYPE_REMOVEUSER, Bytes("x")));
    peer.Send(EnvelopeBytes(1, NET_ID_SERVER, NET_MSGTYPE_NEWCONNECTION, Bytes("x")));
    peer.Send(EnvelopeBytes(1, NET_ID_SERVER, NET_MSGTYPE_LOGONACCEPTED, Bytes("x")));
    peer.Send(EnvelopeBytes(1, NET_ID_SERVER, NET_MSGTYPE_LOGMEON, Bytes("short")));
    // Claims to be user 55: the server relays it in the peer's own name.
    peer.Send(EnvelopeBytes(55, NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA, Bytes("still here")));
    ASSERT_TRUE(Pump([&] { return !server_api_.custom.empty(); }));
    EXPECT_EQ(server_api_.custom[0].bytes, "still here");
    EXPECT_EQ(server_api_.custom[0].sender, server_api_.on[0]);
    EXPECT_EQ(LogCapture::Count("MAIN: MessageLoop got UNKNOWN msg type !!!"), 3);
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop: Server got wrong LOGONACCEPTED msg !!!"));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop could not log on client."));
    EXPECT_EQ(NETUSR_Count(&server_->driver()->users), 1);
    EXPECT_TRUE(server_api_.removed.empty());
}

TEST_F(Kernel, OversizedLengthIsRefusedAndTheConnectionRemoved) {
    NET_SETTINGS settings = FastSettings();
    settings.drv_max_payload = 65536;
    ASSERT_TRUE(StartServer(settings));
    RawPeer peer(port_);
    peer.LogOn("big");
    ASSERT_TRUE(Pump([&] { return server_api_.on.size() == 1; }));
    ENVELOPE_HEADER header;
    header.sender = server_api_.on[0];
    header.receiver = NET_ID_SERVER;
    header.type = NET_MSGTYPE_CUSTOMDATA;
    header.length = 65537;
    std::vector<uint8_t> bytes(kEnvelopeHeaderSize);
    EncodeEnvelopeHeader(header, bytes.data());
    peer.Send(bytes);
    ASSERT_TRUE(Pump([&] { return !server_api_.removed.empty(); }));
    EXPECT_TRUE(LogCapture::Contains("Reader detected: packet too large, STOP!"));
    EXPECT_TRUE(peer.ClosedWithin(1000));
}

TEST_F(Kernel, PeerThatStopsReadingCannotGrowTheServerWithoutBound) {
    ASSERT_TRUE(StartServer(FastSettings()));
    auto peer = std::make_unique<RawPeer>(port_);  // logs on, then never reads
    peer->LogOn("sink");
    ASSERT_TRUE(Pump([&] { return server_api_.on.size() == 1; }));
    std::vector<uint8_t> block(64 * 1024, 0x77);
    int sent = 0;
    while (sent < 2000 &&
           SendSingleMessage(server_->driver(), NET_ID_SERVER, server_api_.on[0],
                             NET_MSGTYPE_CUSTOMDATA, block.data(), uint32_t(block.size())) == 0) {
        ++sent;
    }
    EXPECT_LT(sent, 2000);  // refused once the user's queue holds its limit
    EXPECT_GT(sent, 100);
    NETDRV* driver = server_->driver();
    EXPECT_GT(driver->write_bytes.load(), 15u << 20);
    EXPECT_LE(driver->write_bytes.load(), 16u << 20);
    EXPECT_EQ(driver->refused_user_cap.load(), 1u);

    // The cap on all queues together refuses a message for anybody once
    // reached; what waits for a removed user leaves the figures.
    Client* other = AddClient();
    ASSERT_TRUE(LogOn(other, "other"));
    driver->write_cap = 1;
    EXPECT_NE(SendSingleMessage(driver, NET_ID_SERVER, other->api.own_id, NET_MSGTYPE_CUSTOMDATA,
                                block.data(), 90),
              0);
    EXPECT_EQ(driver->refused_total_cap.load(), 1u);
    driver->write_cap = 0;
    peer.reset();
    ASSERT_TRUE(Pump([&] { return server_api_.removed.size() == 1; }));
    EXPECT_EQ(driver->write_bytes.load(), 0u);
    EXPECT_LT(driver->write_peak.load(), (16u << 20) + 1024);
}

TEST_F(Kernel, FloodingPeerIsHeldBackWhileOthersGetThrough) {
    NET_SETTINGS settings = FastSettings();
    settings.drv_read_user_max = 4096;
    ASSERT_TRUE(StartServer(settings));
    RawPeer flooder(port_);
    flooder.LogOn("flood");
    Client* honest = AddClient();
    ASSERT_TRUE(LogOn(honest, "honest"));
    ASSERT_TRUE(Pump([&] { return server_api_.on.size() == 2; }));
    const uint32_t flooder_id =
        server_api_.on[0] == honest->api.own_id ? server_api_.on[1] : server_api_.on[0];
    // The server's message loop stands still while the flood arrives.
    constexpr int kMessages = 400;
    std::vector<uint8_t> flood;
    for (int i = 0; i < kMessages; ++i) {
        auto bytes = EnvelopeBytes(flooder_id, NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA,
                                   std::vector<uint8_t>(1000, uint8_t(i)));
        flood.insert(flood.end(), bytes.begin(), bytes.end());
    }
    std::thread sender([&] { flooder.Send(flood); });
    NETDRV* driver = server_->driver();
    auto waiting = [&] {
        std::lock_guard lock(driver->read_mutex);
        return std::make_pair(driver->read_bytes, driver->read_queue.size());
    };
    for (int i = 0; i < 100 && waiting().first < 4096; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(waiting().first, 4096u);
    EXPECT_LT(waiting().first, 4096u + 1000u);  // its share and the envelope in hand
    ASSERT_EQ(SendSingleMessage(honest->driver(), honest->api.own_id, NET_ID_SERVER,
                                NET_MSGTYPE_CUSTOMDATA, "hi", 2),
              0);
    ASSERT_TRUE(Pump([&] { return server_api_.custom.size() == kMessages + 1; }, 10000));
    sender.join();
    // The honest message did not wait for the whole flood, and the flood kept its order.
    size_t honest_at = 0;
    for (size_t i = 0, n = 0; i < server_api_.custom.size(); ++i) {
        const auto& data = server_api_.custom[i];
        if (data.sender == honest->api.own_id) {
            honest_at = i;
            continue;
        }
        EXPECT_EQ(uint8_t(data.bytes[0]), uint8_t(n++));
    }
    EXPECT_LT(honest_at, size_t(kMessages / 2));
    std::lock_guard lock(driver->read_mutex);
    EXPECT_EQ(driver->read_bytes, 0u);
    EXPECT_GT(driver->read_stalls, 0u);
}

TEST_F(Kernel, ChecksumMismatchEndsTheConnection) {
    ASSERT_TRUE(StartServer(FastSettings()));
    RawPeer peer(port_);
    peer.LogOn("crc");
    ASSERT_TRUE(Pump([&] { return server_api_.on.size() == 1; }));
    std::vector<uint8_t> bytes = EnvelopeBytes(1, NET_ID_SERVER, 2, Bytes("abc"));
    bytes.back() ^= 1;
    peer.Send(bytes);
    ASSERT_TRUE(Pump([&] { return !server_api_.removed.empty(); }));
    EXPECT_TRUE(LogCapture::Contains("Reader detected: unknown error, STOP!"));
}

TEST_F(Kernel, WrongMessagesAtEachSideAreDropped) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    auto deliver = [](NETDRV* driver, uint32_t type) {
        ENVELOPE* envelope = NET_CreateEnvelope("x", 1);
        envelope->header.type = type;
        KRNL_HandleEnvelope(driver, envelope);
    };
    deliver(a->driver(), NET_MSGTYPE_LOGMEON);
    deliver(a->driver(), NET_MSGTYPE_LOGMEOFF);
    deliver(a->driver(), 7);
    deliver(a->driver(), NET_MSGTYPE_TIMESYNC);
    deliver(a->driver(), NET_MSGTYPE_LOGONACCEPTED);
    deliver(a->driver(), NET_MSGTYPE_GROUPDATA);
    deliver(server_->driver(), NET_MSGTYPE_TIMESYNC);
    deliver(server_->driver(), NET_MSGTYPE_LOGOFFACCEPTED);
    deliver(server_->driver(), NET_MSGTYPE_LOGMEOFF);
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop: Client got wrong LOGMEON msg !!!"));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop: Client got wrong LOGMEOFF msg !!!"));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop got UNKNOWN msg type !!!"));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop got TIMESYNC msg."));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop LOGONACCEPTED failed."));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop: Distribute GROUPDATA failed."));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop: Server got wrong SYNCTIME msg !!!"));
    EXPECT_TRUE(LogCapture::Contains("MAIN: MessageLoop: Server got wrong LOGOFFACCEPTED msg !!!"));
    EXPECT_TRUE(LogCapture::Contains("KRNL_LogClientOff: User not found, already removed ?"));
    EXPECT_TRUE(a->api.custom.empty());
}

// [SECTION] Client side of failures

TEST_F(Kernel, ClientLearnsThatTheServerWentAway) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    ASSERT_TRUE(LogOn(a, "orphan"));
    server_.reset();
    ASSERT_TRUE(Pump([&] { return !a->api.removed.empty(); }));
    EXPECT_EQ(a->api.removed, std::vector<uint32_t>{1});
    EXPECT_TRUE(LogCapture::Contains("Reader detected: connection lost, STOP!"));
    EXPECT_EQ(NETUSR_Count(&a->driver()->users), 0);
}

TEST_F(Kernel, LogonToAClosedPortFails) {
    Client* a = AddClient();
    NET_CONNECTION* probe = NET_Listen(0, nullptr, 0x7F000001);
    uint16_t port = NET_LocalPort(probe);
    NET_Close(probe);
    EXPECT_EQ(SendLogonRequest(a->driver(), "x", "y", port, 127, 0, 0, 1), nullptr);
    EXPECT_TRUE(LogCapture::Contains("SendLogonRequest: Cannot connect to server."));
    EXPECT_EQ(NETUSR_Count(&a->driver()->users), 0);
}

TEST_F(Kernel, RelayedFileToEverybodyStaysAFileAndIsRefusedWithoutAFolder) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    Client* b = AddClient();
    ASSERT_TRUE(LogOn(a, "sender") && LogOn(b, "receiver"));
    std::vector<uint8_t> file = EncodeFileRecord("pushed.bin", "DATA", 4);
    SendSingleMessage(a->driver(), a->api.own_id, USR_ALL, NET_MSGTYPE_FILE, file.data(),
                      uint32_t(file.size()));
    ASSERT_TRUE(Pump([&] { return b->api.failed_files.size() == 1; }));
    EXPECT_EQ(b->api.failed_files[0], "pushed.bin");
    EXPECT_TRUE(b->api.custom.empty());  // not turned into data on the way
    EXPECT_FALSE(std::filesystem::exists("pushed.bin"));
}

TEST_F(Kernel, FilesAreSavedOnlyUnderPlainNames) {
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    ASSERT_TRUE(LogOn(a, "sender"));
    std::vector<uint8_t> good = EncodeFileRecord("received.bin", "DATA", 4);
    std::vector<uint8_t> evil = EncodeFileRecord("../escape.bin", "EVIL", 4);
    // Without a folder for files nothing is taken, not even into the working folder.
    SendSingleMessage(a->driver(), 1, NET_ID_SERVER, NET_MSGTYPE_FILE, good.data(),
                      uint32_t(good.size()));
    ASSERT_TRUE(Pump([&] { return server_api_.failed_files.size() == 1; }));
    EXPECT_FALSE(std::filesystem::exists("received.bin"));
    EXPECT_EQ(server_api_.refused.size(), 1u);
    server_api_.failed_files.clear();

    server_->driver()->file_dir = dir_;
    SendSingleMessage(a->driver(), 1, NET_ID_SERVER, NET_MSGTYPE_FILE, good.data(),
                      uint32_t(good.size()));
    SendSingleMessage(a->driver(), 1, NET_ID_SERVER, NET_MSGTYPE_FILE, evil.data(),
                      uint32_t(evil.size()));
    ASSERT_TRUE(
        Pump([&] { return server_api_.files.size() + server_api_.failed_files.size() == 2; }));
    EXPECT_EQ(server_api_.files, std::vector<std::string>{"received.bin"});
    EXPECT_EQ(server_api_.failed_files, std::vector<std::string>{"../escape.bin"});
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/received.bin"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir_).parent_path() / "escape.bin"));
    EXPECT_TRUE(LogCapture::Contains("FILE RECEIVED: received.bin"));
}

// [SECTION] Logs and settings

TEST_F(Kernel, UnmutedRunWritesTheThreeLogFiles) {
    capture_.Stop();
    ASSERT_TRUE(StartServer(FastSettings()));
    Client* a = AddClient();
    ASSERT_TRUE(LogOn(a, "writer"));
    ASSERT_EQ(SendLogoffRequest(a->driver(), a->user), 0);
    ASSERT_TRUE(Pump([&] { return a->api.logoffs == 1; }));
    Elapse(100);
    ASSERT_TRUE(Pump([&] { return !server_api_.removed.empty(); }));
    server_.reset();
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const std::string net = read(dir_ + "/server/netlog.txt");
    const std::string users = read(dir_ + "/server/userlog.txt");
    const std::string data = read(dir_ + "/server/logdata.csv");
    EXPECT_NE(net.find("Net Driver: READY!\r\n"), std::string::npos);
    EXPECT_NE(net.find(std::string(80, '-')), std::string::npos);
    EXPECT_NE(users.find("- LOGIN   "), std::string::npos);
    EXPECT_NE(users.find("USER ONLINE: 0"), std::string::npos);
    EXPECT_NE(users.find("- LOGOUT  "), std::string::npos);
    EXPECT_NE(data.find(",127.0.0.1,"), std::string::npos);
}

TEST_F(Kernel, MutedRunWritesNoFilesAndStillWorks) {
    LOGSYS_MuteAll();
    LOGSYS_DisableFiles();
    bool started = StartServer(FastSettings());
    Client* a = started ? AddClient() : nullptr;
    bool logged_on = a && LogOn(a, "quiet");
    clients_.clear();
    server_.reset();
    LOGSYS_ResetForTests();
    ASSERT_TRUE(started);
    EXPECT_TRUE(logged_on);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/server/netlog.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/client0/userlog.txt"));
}

TEST_F(Kernel, FlowSignalsStopStartAndTerminate) {
    Client* a = AddClient();
    ASSERT_NE(a, nullptr);
    SIGNAL_BLOCK signals;
    a->flow->SetSignalBlock(&signals);
    signals.Post(kSigStop);
    a->flow->Run();
    EXPECT_EQ(a->flow->run_mask(), 7u);  // the stop mask as constructed
    signals.Post(kSigStart);
    a->flow->Run();
    EXPECT_EQ(a->flow->run_mask(), 7u);
    EXPECT_FALSE(a->flow->terminated());
    signals.Post(kSigTerminate);
    a->flow->Run();
    EXPECT_TRUE(a->flow->terminated());
    EXPECT_TRUE(a->flow->Flags() & kFlowStarted);
    a->flow->Remove();
    EXPECT_FALSE(a->flow->Flags() & kFlowStarted);
    EXPECT_TRUE(LogCapture::Contains("MAIN_LOOP got terminate flag."));
    EXPECT_TRUE(LogCapture::Contains("Net Driver: REMOVED !"));
}

TEST(KernelSettings, ReadFromTheClientOrServerSection) {
    const char text[] =
        "[LOOMEX_SERVER]\nport = 4711\nusr_max = 5000\nsrv_sendalive=250\n"
        "[LOOMEX_CLIENT]\nport=4712\nusr_max=1002\nbuf_writeblock = 8192\n"
        "srv_bind_addr = 127.0.0.1\n";
    SCFG* cfg = SCFG_LoadMemory(text, sizeof text - 1);
    ASSERT_NE(cfg, nullptr);
    NET_SETTINGS server, client;
    NET_ReadSettings(cfg, "LOOMEX_SERVER", &server);
    NET_ReadSettings(cfg, "LOOMEX_CLIENT", &client);
    SCFG_Free(cfg);
    EXPECT_EQ(server.port, 4711);
    EXPECT_EQ(server.usr_max, 1000u);
    EXPECT_EQ(server.srv_sendalive, 250u);
    EXPECT_EQ(server.buf_writeblock, 0u);  // missing key
    EXPECT_EQ(client.port, 4712);
    EXPECT_EQ(client.usr_max, 1002u);
    EXPECT_EQ(client.buf_writeblock, 8192u);
    EXPECT_EQ(client.srv_bind_addr, 0x7F000001u);

    LogCapture capture;
    FLOWNET flow;
    EXPECT_EQ(flow.Start(nullptr, kModeClient, "", "/nonexistent/lobbynet.ini"), -1);
    EXPECT_EQ(flow.LoadNetResource(nullptr, "x", 1), -1);
    EXPECT_TRUE(LogCapture::Contains(
        "PROGFLOW_NET::LoadNetResource: config file not found (flownet.ini)!"));
    EXPECT_TRUE(LogCapture::Contains("PROGFLOW_NET::LoadNetResource: no net_setting handle !"));
}

}  // namespace
