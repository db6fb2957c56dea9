// Friends, presence, blocks, private lines by name, player search, game
// filters and chat history, between real LOBBYNET clients and an in-process
// server on 127.0.0.1, with the limits that hold for them: friends per
// account, kept lines per receiver, the social and search budgets.
#include <gtest/gtest.h>

#include <filesystem>

#include "baselib/bl_memory.h"
#include "net/social_packets.h"
#include "server/lobby_server.h"
#include "tests/server/running_server.h"
#include "tests/server/social_client.h"

using namespace vorlane::server;
using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;
using namespace vorlane::server::testing::social;

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
            config.search = {4, 60};
            config.messages = {100, 6};
            config.chat_lines_per_second = 0;
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
    // (The client asked for its list once at log-in already.)
    const auto lists = ann->net.packet_counts[kPktFriendList];
    Send(*ann, kPktFriendsRequest, EncodeEmpty(PKTCHECK(), kPktFriendsRequest));
    ASSERT_TRUE(
        WaitFor({ann.get()}, [&] { return ann->net.packet_counts[kPktFriendList] == lists + 1; }));
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
            // Back a moment after leaving (as from a game): no notice.
            ASSERT_TRUE(WaitFor({ann.get()}, [&] {
                return Events(*ann, "Bob").back().entry.state != kPresenceOffline;
            }));
            EXPECT_EQ(Events(*ann, "Bob").back().event, kFriendUpdate);
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
    EXPECT_EQ(full->net.packet_counts[kPktFriendList], 11u);  // the log-in's and 10 of the flood
    EXPECT_GT(server->limit_hits(Limit::kSocial), 0u);
    // Full's list: its 200 friends and Ann asking.
    const auto list = DecodeFriendList(full->net.last_packets[kPktFriendList]);
    EXPECT_EQ(list.size(), 201u);
}

TEST_F(SocialTest, SearchFindsByPrefixWhereTheyAreUnlessHiddenWithinItsBudget) {
    auto ann = LogIn("Ann");
    auto bob = LogIn("Bob");
    ASSERT_EQ(bob->net.JoinChannel(1), 1);
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return bob->frontend.Has("channel_entered"); }));

    // Any letter case; the searcher is not among the found.
    Search(*ann, "b");
    SearchResult found = Found(*ann, 1);
    ASSERT_EQ(found.entries.size(), 1u);
    EXPECT_EQ(found.entries[0].name, "Bob");
    EXPECT_EQ(found.entries[0].state, kPresenceInChannel);
    EXPECT_EQ(found.entries[0].channel, 1);
    EXPECT_EQ(found.entries[0].where, "Main Hall");
    EXPECT_EQ(found.more, 0);
    Search(*ann, "");  // an empty prefix finds nobody
    EXPECT_TRUE(Found(*ann, 2).entries.empty());

    // Appearing offline hides from everyone; friends only, from all but friends.
    Send(*bob, kPktVisibility, EncodeU16Body(PKTCHECK(), kPktVisibility, kVisibleNobody));
    WaitFor(
        {bob.get()}, [] { return false; }, 1);
    Search(*ann, "BO");
    EXPECT_TRUE(Found(*ann, 3).entries.empty());
    Send(*bob, kPktVisibility, EncodeU16Body(PKTCHECK(), kPktVisibility, kVisibleFriends));
    Act(*ann, kActionBefriend, "Bob");
    Act(*bob, kActionBefriend, "Ann");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        const auto events = Events(*ann, "Bob");
        return !events.empty() && events.back().entry.relation == kRelationFriend;
    }));
    Search(*ann, "Bob");
    found = Found(*ann, 4);
    ASSERT_EQ(found.entries.size(), 1u);
    EXPECT_EQ(found.entries[0].relation, kRelationFriend);

    // Beyond the search budget (4 a minute here) a flood is dropped.
    for (int i = 0; i < 6; ++i) Search(*ann, "b");
    WaitFor(
        {ann.get()}, [] { return false; }, 1);
    EXPECT_EQ(ann->net.packet_counts[kPktSearchResult], 4u);
    EXPECT_GT(server->limit_hits(Limit::kSearch), 0u);
}

TEST_F(SocialTest, SavedFiltersAlertOncePerMatchingGameButNotItsHost) {
    auto ann = LogIn("Ann");
    auto bob = LogIn("Bob");
    auto cid = LogIn("Cid");
    Act(*ann, kActionBefriend, "Bob");
    Act(*bob, kActionBefriend, "Ann");
    // Ann: a name (any case) in slot 1, friends' games in slot 3; Cid: a
    // mission without a password; Bob: anything, but Bob hosts.
    Filter(*ann, {1, kFilterActive, "VEGA", ""});
    Filter(*ann, {3, kFilterActive | kFilterFriendsGames, "", ""});
    Filter(*cid, {2, kFilterActive | kFilterNoPassword, "", "belt"});
    Filter(*bob, {1, kFilterActive, "", ""});
    ASSERT_EQ(bob->net.JoinChannel(2), 1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get(), cid.get()},
                        [&] { return bob->frontend.Has("channel_entered"); }));

    Host(*bob, "Duel at Vega", false);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get(), cid.get()}, [&] { return !Alerts(*ann).empty(); }));
    EXPECT_EQ(Alerts(*ann)[0].slot, 1);  // the first slot that matches
    EXPECT_EQ(Alerts(*ann)[0].channel, 2);
    EXPECT_EQ(GameRecordName(Alerts(*ann)[0].game), "Duel at Vega");
    EXPECT_NE(GameRecordId(Alerts(*ann)[0].game), 0u);

    // Slot 1 goes; a friend's game with a password in the belt.
    Filter(*ann, {1, 0, "", ""});
    Host(*bob, "Mine/Asteroid Belt/Bob", true);
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get(), cid.get()}, [&] { return Alerts(*ann).size() == 2; }));
    EXPECT_EQ(Alerts(*ann)[1].slot, 3);
    WaitFor(
        {ann.get(), bob.get(), cid.get()}, [] { return false; }, 1);
    EXPECT_EQ(Alerts(*ann).size(), 2u);
    EXPECT_TRUE(Alerts(*cid).empty());  // one without the mission, one with a password
    EXPECT_TRUE(Alerts(*bob).empty());
}

TEST_F(SocialTest, JoinersGetTheLastFiftyLinesWithoutBlockedSenders) {
    auto ann = LogIn("Ann");
    auto cid = LogIn("Cid");
    for (Client* client : {ann.get(), cid.get()}) {
        ASSERT_EQ(client->net.JoinChannel(1), 1);
        ASSERT_TRUE(WaitFor({client}, [&] { return client->frontend.Has("channel_entered"); }));
    }
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(ann->net.SendChat(("line " + std::to_string(i)).c_str(), -1), 1);
    ASSERT_TRUE(WaitFor({ann.get(), cid.get()}, [&] {
        return cid->frontend.Has("chat 0 " + std::to_string(ann->net.own_id()) + " line 59");
    }));
    ASSERT_EQ(cid->net.SendChat("from cid", -1), 1);
    ASSERT_TRUE(WaitFor({cid.get()}, [&] {
        return cid->frontend.Has("chat 0 " + std::to_string(cid->net.own_id()) + " from cid");
    }));
    ann.reset();  // the sender's name stays with its lines

    // Bob blocks Cid: of the 50 lines kept, Bob gets Ann's 49, oldest first.
    auto bob = LogIn("Bob");
    Act(*bob, kActionBlock, "Cid");
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return !Events(*bob, "Cid").empty(); }));
    ASSERT_EQ(bob->net.JoinChannel(1), 1);
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return History(*bob).size() == 49; }));
    const auto lines = History(*bob);
    EXPECT_EQ(lines.front().text, "line 11");
    EXPECT_EQ(lines.back().text, "line 59");
    EXPECT_EQ(lines.front().name, "Ann");
    EXPECT_EQ(lines.front().flags, 0);
    EXPECT_GT(lines.back().id, lines.front().id);
    EXPECT_GT(lines.front().sent, 0u);
    EXPECT_TRUE(bob->frontend.Has("user_added Cid"));  // the members came first
}
