// Friends, presence, blocks and private lines by name, between real LOBBYNET
// clients and an in-process server on 127.0.0.1, with the limits that hold
// for them: friends per account, kept lines per receiver, the social budget.
#include <gtest/gtest.h>

#include <filesystem>

#include "baselib/bl_memory.h"
#include "net/social_packets.h"
#include "server/lobby_server.h"
#include "tests/server/running_server.h"

using namespace vorlane::server;
using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;

namespace {

class SocialTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }

    void SetUp() override {
        dir = ::testing::TempDir() + "social/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        database = dir + "/lobbyd.sqlite";
        // "Full" has 200 friends and 100 kept lines already.
        auto seed = [](LobbyStore& store) {
            uint32_t full = 0;
            for (const char* name : {"Ann", "Bob", "Cid"})
                store.CreateAccount(name, "pw", "", nullptr);
            store.CreateAccount("Full", "pw", "", &full);
            for (int i = 0; i < 200; ++i) {
                uint32_t id = 0;
                store.InsertAccount("F" + std::to_string(i), "unused", "", &id);
                store.SetFriendship(full, id, true, 1);
            }
            const int64_t now = std::time(nullptr);
            for (int i = 0; i < 100; ++i)
                store.KeepLine({0, full, "F0", now, 0, "old news"}, 0, 100);
            return true;
        };
        // The social budget bites here before the one for all requests.
        auto adjust = [](LobbyConfig& config) {
            config.social = {12, 60};
            config.messages = {100, 6};
        };
        server = std::make_unique<RunningServer>(database, dir + "/server", seed, adjust);
        ASSERT_NE(server->port(), 0);
    }

    std::unique_ptr<Client> LogIn(const std::string& name) {
        auto client =
            std::make_unique<Client>(server->port(), dir + "/" + name + std::to_string(++serial));
        EXPECT_TRUE(client->ready);
        LogInWithNewProfile(*client, name, "pw");
        return client;
    }

    static void Send(Client& client, uint16_t id, const std::vector<uint8_t>& packet) {
        ASSERT_EQ(
            client.net.SendToServer(kLobbyModuleType, id, packet.data(), uint32_t(packet.size())),
            1);
    }
    static void Act(Client& client, uint16_t action, const std::string& name) {
        Send(client, kPktSocialAction, EncodeSocialAction(PKTCHECK(), {action, name}));
    }
    static void Line(Client& client, const std::string& name, const std::string& text) {
        Send(client, kPktPrivateByName, EncodePrivateByName(PKTCHECK(), {name, text}));
    }

    // The friend events (55) a client got about `name`, oldest first.
    static std::vector<FriendChanged> Events(Client& client, const std::string& name) {
        std::vector<FriendChanged> events;
        for (const auto& [id, bytes] : client.net.social) {
            const auto changed =
                id == kPktFriendChanged ? DecodeFriendChanged(bytes) : std::nullopt;
            if (changed && changed->entry.name == name)
                events.push_back(*changed);
        }
        return events;
    }
    static std::vector<StoredLine> Lines(Client& client) {
        std::vector<StoredLine> lines;
        for (const auto& [id, bytes] : client.net.social) {
            if (id == kPktStoredLine)
                lines.push_back(*DecodeStoredLine(bytes));
        }
        return lines;
    }
    static std::optional<AwaySummary> Summary(Client& client) {
        for (const auto& [id, bytes] : client.net.social) {
            if (id == kPktAwaySummary)
                return DecodeAwaySummary(bytes);
        }
        return std::nullopt;
    }

    std::string dir, database;
    std::unique_ptr<RunningServer> server;
    int serial = 0;
};

}  // namespace

TEST_F(SocialTest, BefriendSeePresenceBlockAndReadLinesKeptWhileAway) {
    auto ann = LogIn("Ann");
    auto bob = LogIn("Bob");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return Summary(*bob).has_value(); }));
    EXPECT_EQ(Summary(*bob)->stored, 0);

    // Ann asks (the name in any letter case), Bob accepts.
    Act(*ann, kActionBefriend, "bob");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return !Events(*bob, "Ann").empty(); }));
    EXPECT_EQ(Events(*bob, "Ann")[0].event, kFriendAsks);
    EXPECT_EQ(Events(*bob, "Ann")[0].entry.state, kPresenceOffline);  // no presence yet
    Act(*bob, kActionBefriend, "Ann");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return Events(*ann, "Bob").size() == 2; }));
    EXPECT_EQ(Events(*ann, "Bob")[1].entry.relation, kRelationFriend);
    EXPECT_EQ(Events(*ann, "Bob")[1].entry.state, kPresenceOnline);

    // Bob enters a channel: Ann sees where.
    ASSERT_EQ(bob->net.JoinChannel(1), 1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return Events(*ann, "Bob").size() == 3; }));
    EXPECT_EQ(Events(*ann, "Bob")[2].entry.state, kPresenceInChannel);
    EXPECT_EQ(Events(*ann, "Bob")[2].entry.where, "Main Hall");
    Send(*ann, kPktFriendsRequest, EncodeEmpty(PKTCHECK(), kPktFriendsRequest));
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->net.packet_counts[kPktFriendList] == 1; }));
    const auto list = DecodeFriendList(ann->net.last_packets[kPktFriendList]);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "Bob");
    EXPECT_EQ(list[0].channel, 1);

    // A line by name while Bob is here arrives at once and is not kept.
    Line(*ann, "Bob", "live");
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return Lines(*bob).size() == 1; }));
    EXPECT_EQ(Lines(*bob)[0].id, 0u);
    EXPECT_EQ(Lines(*bob)[0].name, "Ann");

    // Bob blocks Cid: Cid's request and lines go nowhere, and Cid cannot tell.
    auto cid = LogIn("Cid");
    Act(*bob, kActionBlock, "Cid");
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return !Events(*bob, "Cid").empty(); }));
    Act(*cid, kActionBefriend, "Bob");
    Line(*cid, "Bob", "let me in");
    ASSERT_TRUE(WaitFor({cid.get()}, [&] { return !Events(*cid, "Bob").empty(); }));
    EXPECT_EQ(Events(*cid, "Bob")[0].entry.relation, kRelationYouAsked);
    WaitFor(
        {bob.get(), cid.get()}, [] { return false; }, 1);
    EXPECT_EQ(Events(*bob, "Cid").size(), 1u);  // only its own block
    EXPECT_EQ(Lines(*bob).size(), 1u);

    // Bob leaves; Ann sees it and writes to Bob while Bob is away.
    bob.reset();
    ASSERT_TRUE(WaitFor({ann.get()}, [&] {
        const auto events = Events(*ann, "Bob");
        return events.back().entry.state == kPresenceOffline;
    }));
    Line(*ann, "Bob", "first");
    Line(*ann, "bob", "second");
    WaitFor(
        {ann.get()}, [] { return false; }, 1);

    // At each log-in the summary and every kept line come once, oldest first.
    for (int round = 0; round < 2; ++round) {
        bob = LogIn("Bob");
        ASSERT_TRUE(WaitFor({bob.get()}, [&] {
            return Summary(*bob) && Lines(*bob).size() == Summary(*bob)->stored;
        }));
        WaitFor(
            {bob.get()}, [] { return false; }, 1);
        const auto lines = Lines(*bob);
        EXPECT_GT(Summary(*bob)->away_since, 0u);
        if (round == 0) {
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0].text, "first");
            EXPECT_EQ(lines[1].text, "second");
            EXPECT_EQ(lines[0].name, "Ann");
            EXPECT_NE(lines[0].id, 0u);
            Send(*bob, kPktStoredLineDelete,
                 EncodeU32Body(PKTCHECK(), kPktStoredLineDelete, lines[0].id));
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].text, "second");
            Send(*bob, kPktStoredLineDelete, EncodeU32Body(PKTCHECK(), kPktStoredLineDelete, 0));
        }
        WaitFor(
            {bob.get()}, [] { return false; }, 1);
        bob.reset();
    }
    auto store = LobbyStore::Open(database, HashStrength::kMinimum);
    uint32_t bob_id = 0;
    ASSERT_EQ(store->FindAccount("Bob", &bob_id, nullptr), StoreResult::kOk);
    EXPECT_TRUE(store->KeptLines(bob_id, 0).empty());
    EXPECT_NE(store->LoadAccountState(bob_id).away_since, 0);
}

TEST_F(SocialTest, FriendsLinesAndRequestsStayWithinTheirLimits) {
    auto ann = LogIn("Ann");
    // Full holds 100 lines: one more is not kept.
    Line(*ann, "Full", "one too many");
    // Full has 200 friends: Ann may ask, but Full cannot accept.
    Act(*ann, kActionBefriend, "Full");
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return !Events(*ann, "Full").empty(); }));
    auto full = LogIn("Full");
    ASSERT_TRUE(
        WaitFor({full.get()}, [&] { return Summary(*full) && Lines(*full).size() == 100; }));
    EXPECT_EQ(Summary(*full)->stored, 100);
    EXPECT_EQ(Lines(*full).back().text, "old news");
    Act(*full, kActionBefriend, "Ann");
    WaitFor(
        {ann.get(), full.get()}, [] { return false; }, 1);
    EXPECT_EQ(Events(*ann, "Full").size(), 1u);
    EXPECT_EQ(Events(*ann, "Full")[0].entry.relation, kRelationYouAsked);

    // The social budget (12 a minute here) drops the rest of a flood.
    for (int i = 0; i < 16; ++i)
        Send(*full, kPktFriendsRequest, EncodeEmpty(PKTCHECK(), kPktFriendsRequest));
    WaitFor(
        {full.get()}, [] { return false; }, 1);
    EXPECT_EQ(full->net.packet_counts[kPktFriendList], 11u);  // 12 less the befriend
    EXPECT_GT(server->limit_hits(Limit::kSocial), 0u);
    // Full's list: its 200 friends and Ann asking.
    const auto list = DecodeFriendList(full->net.last_packets[kPktFriendList]);
    EXPECT_EQ(list.size(), 201u);
}
