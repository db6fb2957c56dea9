// Hostile clients that try to make vorlane-lobbyd hold their traffic: a 1 MiB
// message for everybody and a client that asks for much and never reads.
// Honest clients in the same channel keep chatting; the server's own queue
// figures stay under its caps.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "baselib/bl_memory.h"
#include "net/net_protocol.h"
#include "tests/server/running_server.h"

using namespace vorlane::server;
using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::CustomPayload;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;

namespace {

constexpr uint16_t kChannel = 2;
constexpr uint32_t kUserCap = 128u << 10;
constexpr uint32_t kTotalCap = 8u << 20;

class QueueCapsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }

    void SetUp() override {
        dir = ::testing::TempDir() + "hostile_caps/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        server = std::make_unique<RunningServer>(
            dir + "/lobbyd.sqlite", dir + "/server",
            [](LobbyStore& store) {
                uint32_t id = 0;
                for (const char* name : {"Ann", "Bob", "Mallory"}) {
                    if (store.InsertAccount(name, store.HashPassword("pw"), "x@y.z", &id) !=
                        StoreResult::kOk)
                        return false;
                }
                return true;
            },
            [](LobbyConfig& config) {
                config.queue_max_bytes = kUserCap;
                config.queue_total_max_bytes = kTotalCap;
                // The request budget would close a flooder before its queue
                // fills; here the queues themselves are under test.
                config.messages.max = 0;
                config.bytes.max = 0;
            });
        ASSERT_NE(server->port(), 0);
        ann = Enter("Ann");
        bob = Enter("Bob");
        mallory = Enter("Mallory");
        ASSERT_TRUE(WaitFor({ann.get(), bob.get(), mallory.get()},
                            [&] { return bob->frontend.Has("user_added Mallory"); }));
    }

    std::unique_ptr<Client> Enter(const std::string& name) {
        auto client = std::make_unique<Client>(server->port(), dir + "/" + name);
        EXPECT_TRUE(client->ready);
        LogInWithNewProfile(*client, name, "pw");
        EXPECT_EQ(client->net.JoinChannel(kChannel), 1);
        EXPECT_TRUE(
            WaitFor({client.get()}, [&] { return client->frontend.Has("channel_entered"); }));
        return client;
    }

    // Ann and Bob each say a line and both see both lines.
    void HonestChat(const std::string& text) {
        ASSERT_EQ(ann->net.SendChat(("Ann " + text).c_str(), -1), 1);
        ASSERT_EQ(bob->net.SendChat(("Bob " + text).c_str(), -1), 1);
        const std::string from_ann = "chat 0 " + std::to_string(ann->net.own_id()) + " Ann " + text;
        const std::string from_bob = "chat 0 " + std::to_string(bob->net.own_id()) + " Bob " + text;
        EXPECT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
            return ann->frontend.Has(from_bob) && bob->frontend.Has(from_ann) &&
                   ann->frontend.Has(from_ann) && bob->frontend.Has(from_bob);
        }));
    }

    LogCapture log;
    std::string dir;
    std::unique_ptr<RunningServer> server;
    std::unique_ptr<Client> ann, bob, mallory;
};

}  // namespace

TEST_F(QueueCapsTest, OneMebibyteForEverybodyIsNeverCopiedToAnybody) {
    const std::vector<uint8_t> big(1u << 20, 'M');
    ASSERT_EQ(mallory->net.SendRaw(USR_ALL, NET_MSGTYPE_CUSTOMDATA, big), 0);
    ASSERT_EQ(mallory->net.SendRaw(ann->net.own_id(), NET_MSGTYPE_CUSTOMDATA, big), 0);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get(), mallory.get()},
                        [&] { return server->refused_messages() == 2; }));
    HonestChat("after the broadcast");
    const TNS_QUEUE_TOTALS totals = server->queue_totals();
    EXPECT_LT(totals.peak, 256u << 10);  // the MiB never waited for anybody
    EXPECT_LE(totals.inbound_peak, (1u << 20) + (256u << 10));
    EXPECT_EQ(totals.refused_user + totals.refused_total, 0u);
    EXPECT_EQ(bob->net.users().size(), 3u);
}

TEST_F(QueueCapsTest, ReaderThatNeverReadsIsDisconnectedAndOthersChatOn) {
    // Mallory asks for her profile again and again (10 KiB each) and never
    // takes anything off her connection.
    NETUSR_ForEach(&mallory->net.kernel()->users, [](NETUSR* user) {
        const int small = 4096;
        setsockopt(user->connection->socket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    });
    const auto request =
        CustomPayload(EncodeProfileRequest(PKTCHECK(), uint32_t(mallory->net.permid()), 1));
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(mallory->net.SendRaw(NET_ID_SERVER, NET_MSGTYPE_CUSTOMDATA, request), 0);
    }
    ASSERT_TRUE(WaitFor(
        {ann.get(), bob.get()}, [&] { return ann->frontend.Has("user_removed Mallory"); }, 20));
    EXPECT_EQ(server->slow_readers(), 1u);
    HonestChat("after the sleeper");
    EXPECT_EQ(ann->net.users().size(), 2u);
    const TNS_QUEUE_TOTALS totals = server->queue_totals();
    EXPECT_GT(totals.refused_user, 0u);
    EXPECT_EQ(totals.refused_total, 0u);
    EXPECT_LE(totals.peak, uint64_t(kUserCap) * 3);  // the sleeper's cap and the honest replies
}
