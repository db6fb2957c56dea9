// Lobby servers that form one lobby over a bus: two or three LobbyServers in
// this process on one store and one LocalHub, with real LOBBYNET clients.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "baselib/bl_memory.h"
#include "baselib/timer.h"
#include "net/social_packets.h"
#include "server/cluster_messages.h"
#include "tests/server/local_bus.h"
#include "tests/server/running_server.h"
#include "tests/server/social_client.h"

using namespace vorlane::server;
using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::LocalBus;
using vorlane::server::testing::LocalHub;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::SubjectMatches;
using vorlane::server::testing::WaitFor;
using namespace vorlane::server::testing::social;

namespace {

class ClusterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }

    void SetUp() override {
        dir = ::testing::TempDir() + "cluster/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        uint32_t id = 0;
        auto store = LobbyStore::Open(dir + "/lobbyd.sqlite", HashStrength::kMinimum);
        ASSERT_TRUE(store);
        for (const char* name : {"Ann", "Bob", "Cid", "Host"})
            store->CreateAccount(name, "pw", "", &id);
    }

    // Server `index` (0, 1, 2: A, B, C) with its own bus and admin socket.
    void StartServer(size_t index) {
        const std::string name(1, char('a' + index));
        buses[index] = hub.Connect();
        servers[index] = std::make_unique<RunningServer>(
            dir + "/lobbyd.sqlite", dir + "/server-" + name, nullptr,
            [&](LobbyConfig& config) {
                config.admin_socket = dir + "/" + name + ".sock";
                config.audit_log = dir + "/" + name + "-audit.log";
            },
            [&](LobbyServer& lobby) {
                lobby.set_game_clock(&clock);
                std::string error;
                EXPECT_TRUE(lobby.OpenAdmin(&error)) << error;
                return error.empty();
            },
            buses[index].get());
        ASSERT_NE(servers[index]->port(), 0);
    }

    std::unique_ptr<Client> NewClient(size_t server, const std::string& name) {
        auto client = std::make_unique<Client>(servers[server]->port(), dir + "/" + name);
        EXPECT_TRUE(client->ready);
        return client;
    }

    // Logs in on `server` and joins channel 2.
    std::unique_ptr<Client> Enter(size_t server, const std::string& name) {
        auto client = NewClient(server, name);
        LogInWithNewProfile(*client, name, "pw");
        EXPECT_EQ(client->net.JoinChannel(2), 1);
        EXPECT_TRUE(WaitFor({client.get()}, [&] {
            return client->frontend.Has("channel_entered") &&
                   client->frontend.Has("user_added " + name);
        })) << name;
        return client;
    }

    static std::string LoginAnswer(Client& client, const std::string& name) {
        return vorlane::server::testing::LoginAnswer(client, name, "pw");
    }

    std::string Ctl(size_t server, const std::string& arguments) {
        const std::string command = VORLANE_TEST_BINARY_DIR "/server/vorlane-lobbyctl --socket " +
                                    dir + "/" + std::string(1, char('a' + server)) + ".sock " +
                                    arguments + " 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return output;
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
        pclose(pipe);
        return output;
    }

    LogCapture log;
    std::string dir;
    vorlane::baselib::ManualClock clock{1000};
    LocalHub hub;
    std::unique_ptr<LocalBus> buses[3];
    std::unique_ptr<RunningServer> servers[3];
};

}  // namespace

TEST(ClusterMessages, RoundTripAndBounds) {
    ClusterMessage user{.kind = ClusterKind::kUser,
                        .server = 3,
                        .user = 0x30001,
                        .account = 7,
                        .channel = 2,
                        .profile_number = 1,
                        .name = "Ann"};
    PutText(user.profile, kProfName, "Ann", kNameWidth);
    const auto bytes = EncodeClusterMessage(user);
    EXPECT_LT(bytes.size(), 64u);  // the profile's trailing zeros stay home
    const auto back = DecodeClusterMessage(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->user, 0x30001u);
    EXPECT_EQ(back->name, "Ann");
    EXPECT_EQ(back->profile, user.profile);

    ClusterMessage game{.kind = ClusterKind::kGame, .server = 1, .channel = 2};
    game.seats = {{7, 1}, {8, 2}};
    EXPECT_EQ(DecodeClusterMessage(EncodeClusterMessage(game))->seats.size(), 2u);

    // Cut short, one byte too many, another version, an unknown kind.
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(DecodeClusterMessage(std::span(bytes).first(cut))) << cut;
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(DecodeClusterMessage(longer));
    auto other = bytes;
    other[2] = 2;
    EXPECT_FALSE(DecodeClusterMessage(other));
    other = bytes;
    other[3] = 99;
    EXPECT_FALSE(DecodeClusterMessage(other));
    // The kinds a server of the previous release does not know round-trip.
    ClusterMessage presence{.kind = ClusterKind::kPresence,
                            .user = 5,
                            .account = 6,
                            .event = kFriendOpenedGame,
                            .state = kPresenceInGame,
                            .since = 1234,
                            .text = "Duel"};
    EXPECT_EQ(DecodeClusterMessage(EncodeClusterMessage(presence))->text, "Duel");
    const ClusterMessage social{
        .kind = ClusterKind::kSocial, .target = 7, .account = 6, .relation = 2, .name = "Ann"};
    EXPECT_EQ(DecodeClusterMessage(EncodeClusterMessage(social))->relation, 2);
    const ClusterMessage line{
        .kind = ClusterKind::kLine, .account = 7, .since = 99, .name = "Ann", .text = "hi"};
    EXPECT_EQ(DecodeClusterMessage(EncodeClusterMessage(line))->since, 99);
    // A text longer than its kind allows.
    std::vector<uint8_t> say = EncodeClusterMessage({.kind = ClusterKind::kSay, .text = "hi"});
    say[6] = 0xFF;
    say[7] = 0xFF;
    EXPECT_FALSE(DecodeClusterMessage(say));
}

TEST(LocalBus, SubjectsMatchAsNatsDoes) {
    EXPECT_TRUE(SubjectMatches("a.>", "a.b.c"));
    EXPECT_FALSE(SubjectMatches("a.>", "a"));
    EXPECT_TRUE(SubjectMatches("a.*.c", "a.b.c"));
    EXPECT_FALSE(SubjectMatches("a.*", "a.b.c"));
    EXPECT_FALSE(SubjectMatches("a.b", "a.b.c"));
    EXPECT_TRUE(SubjectMatches("a.b", "a.b"));
    LocalHub hub;
    auto one = hub.Connect();
    auto two = hub.Connect();
    one->Open(nullptr);
    two->Open(nullptr);
    one->Subscribe("x.>");
    two->Subscribe("x.>");
    const uint8_t byte = 1;
    one->Publish("x.y", std::span(&byte, 1));
    std::vector<BusMessage> got;
    EXPECT_EQ(one->Take(got, 8), 0u);  // no echo
    EXPECT_EQ(two->Take(got, 8), 1u);
    two->SetCut(true);
    one->Publish("x.y", std::span(&byte, 1));
    EXPECT_FALSE(two->connected());
    EXPECT_EQ(two->Take(got, 8), 0u);
}

// Users of two servers in one channel: records, chat both ways, a private
// line, a game and its removal, a leave.
TEST_F(ClusterTest, UsersOnTwoServersShareAChannel) {
    StartServer(0);
    StartServer(1);
    auto ann = Enter(0, "Ann");
    auto bob = Enter(1, "Bob");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return ann->frontend.Has("user_added Bob") && bob->frontend.Has("user_added Ann");
    }));
    EXPECT_GT(bob->net.own_id(), kClusterIdStride);
    EXPECT_NE(ann->net.own_id() / kClusterIdStride, bob->net.own_id() / kClusterIdStride);

    ASSERT_EQ(ann->net.SendChat("hello all", -1), 1);
    const std::string from_ann = "chat 0 " + std::to_string(ann->net.own_id()) + " hello all";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return ann->frontend.Has(from_ann) && bob->frontend.Has(from_ann);
    }));
    ASSERT_EQ(bob->net.SendChat("psst", int32_t(ann->net.own_id())), 1);
    const std::string private_line = "chat 1 " + std::to_string(bob->net.own_id()) + " psst";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has(private_line); }));

    auto host = Enter(1, "Host");
    GameRecord game{};
    PutText(game, kGameName, "Duel at Vega", kGameNameWidth);
    const auto record = EncodeGameRecord(PKTCHECK(), kPktGameRegister, game);
    host->net.SendToServer(kLobbyModuleType, kPktGameRegister, record.data(),
                           uint32_t(record.size()));
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get(), host.get()}, [&] { return ann->net.games().size() == 1; }));
    const uint32_t game_id = GameRecordId(ann->net.games()[0]);
    EXPECT_EQ(GameRecordName(ann->net.games()[0]), "Duel at Vega");
    // A player on the other server takes a seat; the host's server takes its result.
    const auto seat = EncodeSeatConfirm(PKTCHECK(), game_id);
    ann->net.SendToServer(kLobbyModuleType, kPktSeatConfirm, seat.data(), uint32_t(seat.size()));
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->net.packet_counts[kPktSeatAnswer] == 1; }));
    EXPECT_EQ(DecodeSeatAnswer(ann->net.last_packets[kPktSeatAnswer])->code, 0);
    WaitFor(
        {ann.get(), host.get()}, [] { return false; }, 0);
    const auto report =
        EncodeGameResults(PKTCHECK(), game_id, {{uint32_t(ann->net.permid()), 1, 1, 5}});
    host->net.SendToServer(kLobbyModuleType, kPktGameResults, report.data(),
                           uint32_t(report.size()));
    ASSERT_TRUE(WaitFor({host.get()}, [&] { return host->net.packet_counts[kPktResult] >= 2; }));
    EXPECT_EQ(DecodeU32At14(host->net.last_packets[kPktResult]), 0u);
    // A server that starts later learns the lobby as it is.
    StartServer(2);
    auto cid = Enter(2, "Cid");
    ASSERT_TRUE(WaitFor({cid.get(), ann.get()}, [&] {
        return cid->frontend.Has("user_added Ann") && cid->frontend.Has("user_added Host") &&
               cid->net.games().size() == 1;
    }));
    host.reset();  // its games go with it, everywhere
    ASSERT_TRUE(WaitFor({ann.get(), cid.get()}, [&] {
        return ann->frontend.Has("game_removed " + std::to_string(game_id)) &&
               cid->net.games().empty() && cid->frontend.Has("user_removed Host");
    }));
    ASSERT_EQ(bob->net.LeaveChannel(), 1);
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has("user_removed Bob"); }));
}

// A player seated through one server whose game program went away is
// offered the game at a log-in on another; the host's result withdraws it.
TEST_F(ClusterTest, RejoinOfferOnAnotherServer) {
    StartServer(0);
    StartServer(1);
    auto host = Enter(1, "Host");
    auto ann = Enter(0, "Ann");
    GameRecord game{};
    PutText(game, kGameName, "Long Siege", kGameNameWidth);
    const auto record = EncodeGameRecord(PKTCHECK(), kPktGameRegister, game);
    host->net.SendToServer(kLobbyModuleType, kPktGameRegister, record.data(),
                           uint32_t(record.size()));
    ASSERT_TRUE(WaitFor({ann.get(), host.get()}, [&] { return ann->net.games().size() == 1; }));
    const uint32_t game_id = GameRecordId(ann->net.games()[0]);
    const auto seat = EncodeSeatConfirm(PKTCHECK(), game_id);
    ann->net.SendToServer(kLobbyModuleType, kPktSeatConfirm, seat.data(), uint32_t(seat.size()));
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->net.packet_counts[kPktSeatAnswer] == 1; }));
    const uint32_t account = uint32_t(ann->net.permid());
    ann.reset();  // the game program is gone

    auto back = NewClient(1, "back");
    std::string answer;
    for (int attempt = 0; attempt < 20 && answer != "profiles_complete"; ++attempt) {
        answer = LoginAnswer(*back, "Ann");
        WaitFor(
            {back.get(), host.get()}, [] { return false; }, answer == "profiles_complete" ? 0 : 1);
    }
    ASSERT_EQ(answer, "profiles_complete");
    ASSERT_TRUE(WaitFor({back.get(), host.get()},
                        [&] { return back->net.packet_counts[kPktRejoinOffer] == 1; }));
    auto offer = DecodeGameAlert(back->net.last_packets[kPktRejoinOffer]);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->channel, 2);
    EXPECT_EQ(GameRecordId(offer->game), game_id);

    const auto report = EncodeGameResults(PKTCHECK(), game_id, {{account, 1, 3, -5}});
    host->net.SendToServer(kLobbyModuleType, kPktGameResults, report.data(),
                           uint32_t(report.size()));
    ASSERT_TRUE(WaitFor({back.get(), host.get()},
                        [&] { return back->net.packet_counts[kPktRejoinOffer] == 2; }));
    offer = DecodeGameAlert(back->net.last_packets[kPktRejoinOffer]);
    EXPECT_EQ(offer->channel, 0);
    EXPECT_EQ(GameRecordId(offer->game), game_id);
}

// One log-in per account across the cluster; an account that logs off may
// log in on another server at once (the hand-over to a game).
TEST_F(ClusterTest, OneLoginPerAccountAcrossServers) {
    StartServer(0);
    StartServer(1);
    auto first = NewClient(0, "first");
    EXPECT_EQ(LoginAnswer(*first, "Ann"), "profiles_complete");
    auto second = NewClient(1, "second");
    EXPECT_EQ(LoginAnswer(*second, "Ann"), "login_error LOBBY_ALREADY_ONLINE");
    WaitFor({second.get()}, [&] { return second->frontend.Has("login_finished"); });
    ASSERT_EQ(first->net.Disconnect(), 1);
    WaitFor(
        {first.get()}, [] { return false; }, 1);
    EXPECT_EQ(LoginAnswer(*second, "Ann"), "profiles_complete");
}

// A server that falls silent (killed) takes its users and games along
// within the expiry; a cut bus refuses log-ins until it is back.
TEST_F(ClusterTest, SilentServerExpiresAndCutBusRefusesLogins) {
    StartServer(0);
    StartServer(1);
    auto ann = Enter(0, "Ann");
    auto bob = Enter(1, "Bob");
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has("user_added Bob"); }));
    servers[1]->Freeze();
    for (uint32_t ms = 0; ms < kClusterExpiryMs - 1000; ms += 1000) {
        clock.Advance(1000);
        WaitFor(
            {ann.get()}, [] { return false; }, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(ann->frontend.Has("user_removed Bob"));
    clock.Advance(2000);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("user_removed Bob"); }));
    servers[1].reset();
    bob.reset();

    buses[0]->SetCut(true);
    auto cid = NewClient(0, "cid");
    EXPECT_EQ(LoginAnswer(*cid, "Cid"), "login_error LOBBY_CLUSTER_UNAVAILABLE");
    // Its own users chat on meanwhile.
    ASSERT_EQ(ann->net.SendChat("still here", -1), 1);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] {
        return ann->frontend.Has("chat 0 " + std::to_string(ann->net.own_id()) + " still here");
    }));
    buses[0]->SetCut(false);
    StartServer(1);
    auto bob2 = Enter(1, "Bob");
    ASSERT_TRUE(WaitFor({bob2.get(), ann.get()}, [&] {
        return bob2->frontend.Has("user_added Ann") && ann->frontend.Has("user_added Bob");
    }));
    WaitFor({cid.get()}, [&] { return cid->frontend.Has("login_finished"); });
    EXPECT_EQ(LoginAnswer(*cid, "Cid"), "profiles_complete");
}

// The operator's commands on one server reach users on the others.
TEST_F(ClusterTest, AdminCommandsActAcrossServers) {
    StartServer(0);
    StartServer(1);
    auto ann = Enter(0, "Ann");
    auto bob = Enter(1, "Bob");
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has("user_added Bob"); }));
    const std::string who = Ctl(0, "who");
    EXPECT_NE(who.find("Bob"), std::string::npos) << who;
    EXPECT_NE(Ctl(0, "mute Bob 10m noise").find("muted Bob"), std::string::npos);
    ASSERT_TRUE(WaitFor({bob.get()}, [&] {
        const std::string notice = bob->frontend.Find("notice 1 ");
        return notice.size() > 6 && notice.substr(notice.size() - 6) == " noise";
    }));
    ASSERT_EQ(bob->net.SendChat("can you hear me", -1), 1);
    const std::string said = Ctl(0, "say maintenance at noon");
    EXPECT_NE(said.find("said to 2 users"), std::string::npos) << said;
    ASSERT_TRUE(
        WaitFor({bob.get()}, [&] { return bob->frontend.Has("notice 5 0 maintenance at noon"); }));
    EXPECT_EQ(ann->frontend.Find("chat 0 " + std::to_string(bob->net.own_id())), "");
    EXPECT_NE(Ctl(0, "kick Bob bye").find("kicked Bob"), std::string::npos);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return bob->frontend.Has("notice 2 0 bye") && ann->frontend.Has("user_removed Bob");
    }));
}

// Friends, presence, search, filters, history and lines by name work across
// servers as on one.
TEST_F(ClusterTest, SocialFeaturesReachAcrossServers) {
    StartServer(0);
    StartServer(1);
    auto ann = Enter(0, "Ann");
    auto bob = NewClient(1, "Bob");
    LogInWithNewProfile(*bob, "Bob", "pw");
    auto last = [](Client& client, const std::string& name) {
        const auto events = Events(client, name);
        return events.empty() ? FriendChanged{} : events.back();
    };

    // Ann asks; Bob's server tells Bob, and Ann's tells Ann of the answer.
    Act(*ann, kActionBefriend, "Bob");
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get()}, [&] { return last(*bob, "Ann").event == kFriendAsks; }));
    Act(*bob, kActionBefriend, "Ann");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()},
                        [&] { return last(*ann, "Bob").entry.relation == kRelationFriend; }));
    // Bob's presence, told by his server, reaches Ann on hers.
    ASSERT_EQ(bob->net.JoinChannel(2), 1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return last(*ann, "Bob").entry.state == kPresenceInChannel &&
               last(*ann, "Bob").entry.where == "Battle Zone";
    }));
    Line(*ann, "Bob", "over there");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return Lines(*bob).size() == 1; }));
    EXPECT_EQ(Lines(*bob)[0].id, 0u);  // live, through Bob's server

    // 25 pilots of a third server are found in pages, by name.
    auto peer = hub.Connect();
    peer->Open(nullptr);
    for (uint32_t i = 0; i < 25; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Pilot%02u", 24 - i);
        const auto bytes = EncodeClusterMessage({.kind = ClusterKind::kUser,
                                                 .server = 7,
                                                 .user = 7 * kClusterIdStride + 1 + i,
                                                 .account = 1000 + i,
                                                 .name = name});
        peer->Publish("vorlane.lobby.server", bytes);
    }
    Filter(*ann, {1, kFilterActive | kFilterFriendsGames, "", ""});
    WaitFor(
        {ann.get()}, [] { return false; }, 1);
    Search(*ann, "pil");
    SearchResult found = Found(*ann, 1);
    ASSERT_EQ(found.entries.size(), 20u);
    EXPECT_EQ(found.more, 1);
    EXPECT_EQ(found.entries[0].name, "Pilot00");
    EXPECT_EQ(found.entries[0].state, kPresenceOnline);
    Search(*ann, "pil", 1);
    found = Found(*ann, 2);
    ASSERT_EQ(found.entries.size(), 5u);
    EXPECT_EQ(found.more, 0);
    EXPECT_EQ(found.entries[4].name, "Pilot24");

    // Bob opens a game on his server: Ann's friends' filter and friend event.
    Host(*bob, "Duel at Vega", false);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return Alerts(*ann).size() == 1 && last(*ann, "Bob").event == kFriendOpenedGame;
    }));
    EXPECT_EQ(Alerts(*ann)[0].channel, 2);
    EXPECT_EQ(last(*ann, "Bob").entry.state, kPresenceInGame);
    EXPECT_EQ(last(*ann, "Bob").entry.where, "Duel at Vega");
    Search(*ann, "BOB");
    found = Found(*ann, 3);
    ASSERT_EQ(found.entries.size(), 1u);
    EXPECT_EQ(found.entries[0].state, kPresenceInGame);
    EXPECT_EQ(found.entries[0].channel, 2);
    // A line to a player in a game is kept, marked so.
    Line(*ann, "Bob", "while you play");
    auto store = LobbyStore::Open(dir + "/lobbyd.sqlite", HashStrength::kMinimum);
    uint32_t bob_id = 0;
    ASSERT_EQ(store->FindAccount("Bob", &bob_id, nullptr), StoreResult::kOk);
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get()}, [&] { return !store->KeptLines(bob_id, 0).empty(); }));
    EXPECT_EQ(store->KeptLines(bob_id, 0)[0].flags, kLineWhileInGame);

    // A public line said on one server is in the history a joiner on the other gets.
    ASSERT_EQ(ann->net.SendChat("for the record", -1), 1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return bob->frontend.Has("chat 0 " + std::to_string(ann->net.own_id()) + " for the record");
    }));
    auto cid = Enter(1, "Cid");
    ASSERT_TRUE(WaitFor({cid.get()}, [&] { return !History(*cid).empty(); }));
    EXPECT_EQ(History(*cid).back().text, "for the record");
    EXPECT_EQ(History(*cid).back().name, "Ann");

    bob.reset();
    ASSERT_TRUE(
        WaitFor({ann.get()}, [&] { return last(*ann, "Bob").entry.state == kPresenceOffline; }));
}
