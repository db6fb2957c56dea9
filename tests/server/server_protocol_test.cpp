// The lobby server's answers, driven packet by packet with the kernel replaced
// by a recorder: what each user receives and which connections get closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "baselib/timer.h"
#include "net/social_packets.h"
#include "server/lobby_server.h"
#include "tests/lobby/lobby_test_support.h"

using namespace vorlane::server;
using namespace vorlane::net;

namespace {

class RecordingServer : public LobbyServer {
  public:
    using LobbyServer::LobbyServer;

    // Delivers a client packet as the kernel would.
    void Receive(uint32_t user, const std::vector<uint8_t>& packet) {
        ASSERT_GE(packet.size(), 2u);
        OnDataReceived(0xEFFFFFCC, user, 12, GetU16(packet, 0), packet.data(),
                       uint32_t(packet.size()));
    }
    // Packets user `user` received with identifier `id`.
    std::vector<std::vector<uint8_t>> Got(uint32_t user, uint16_t id) const {
        std::vector<std::vector<uint8_t>> out;
        auto found = inbox.find(user);
        if (found == inbox.end())
            return out;
        for (const auto& packet : found->second) {
            if (GetU16(packet, 0) == id)
                out.push_back(packet);
        }
        return out;
    }
    uint32_t LastResult(uint32_t user) const {
        auto results = Got(user, kPktResult);
        return results.empty() ? 0xFFFFFFFF : GetU32(results.back(), 14);
    }

    std::map<uint32_t, std::vector<std::vector<uint8_t>>> inbox;
    std::vector<uint32_t> closed;

  protected:
    bool SendTo(uint32_t user, const std::vector<uint8_t>& packet) override {
        inbox[user].push_back(packet);
        return true;
    }
    void SendToMany(const std::vector<uint32_t>& users,
                    const std::vector<uint8_t>& packet) override {
        for (uint32_t user : users) inbox[user].push_back(packet);
    }
    void SendAllTo(uint32_t user, const std::vector<std::vector<uint8_t>>& packets) override {
        for (const auto& packet : packets) inbox[user].push_back(packet);
    }
    void CloseConnection(uint32_t user) override { closed.push_back(user); }
    std::array<uint8_t, 4> PeerAddress(uint32_t) override { return {127, 0, 0, 9}; }
};

LobbyConfig TestConfig() {
    LobbyConfig config;
    config.hash = HashStrength::kMinimum;
    config.chat_lines_per_second = 3;
    config.hash_threads = 0;  // answers arrive within Receive
    config.game_min_seconds = 0;
    config.connections_per_address = 0;  // every user here comes from one address
    config.channels = {{"Main", 0}, {"Battle", 0x2}};
    return config;
}

class ServerProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store = LobbyStore::Open(":memory:", HashStrength::kMinimum);
        ASSERT_TRUE(store);
        server = std::make_unique<RecordingServer>(store.get(), TestConfig());
    }

    // Creates the account, logs it in on kernel user `id`, stores and selects
    // profile 1. Returns the permanent identifier.
    uint32_t Enter(uint32_t id, const std::string& name, uint16_t channel = 0) {
        uint32_t account = 0;
        EXPECT_EQ(store->CreateAccount(name, "pw", "", &account), StoreResult::kOk);
        server->OnLogon(id);
        server->Receive(id, EncodeLogin(check, {name, "pw", ""}));
        ProfilePacket body;
        body.permid = account;
        body.number = 1;
        body.length = int32_t(kProfileSize);
        PutU16(body.profile, kProfActive, 1);
        PutText(body.profile, kProfName, name, kNameWidth);
        server->Receive(id, EncodeProfilePacket(check, kPktProfileUpload, body));
        server->Receive(id, EncodeU16Body(check, kPktSelectProfile, 1));
        EXPECT_EQ(server->LastResult(id), kCodeOk);
        if (channel)
            server->Receive(id, EncodeU16Body(check, kPktJoinChannel, channel));
        return account;
    }

    GameRecord Game(const char* name) {
        GameRecord game{};
        PutText(game, kGameName, name, kGameNameWidth);
        PutU16(game, kGameMaxPlayers, 4);
        return game;
    }

    LogCapture log;
    PKTCHECK check;
    std::unique_ptr<LobbyStore> store;
    std::unique_ptr<RecordingServer> server;
};

}  // namespace

TEST_F(ServerProtocolTest, FirstLoginCreatesTheAccountAndCloses) {
    server->OnLogon(1);
    server->Receive(1, EncodeFirstLogin(check, {"Ann", "pw", "a@b.c"}));
    EXPECT_EQ(server->LastResult(1), kCodeOk);
    EXPECT_EQ(server->closed, std::vector<uint32_t>{1});
    // Further packets on an answered connection are not served.
    server->Receive(1, EncodeFirstLogin(check, {"Other", "pw", ""}));
    EXPECT_EQ(server->Got(1, kPktResult).size(), 1u);

    server->OnLogon(2);
    server->Receive(2, EncodeFirstLogin(check, {"ann", "pw", ""}));
    EXPECT_EQ(server->LastResult(2), kCodeUserExists);
    server->OnLogon(3);
    server->Receive(3, EncodeFirstLogin(check, {"", "pw", ""}));
    EXPECT_EQ(server->LastResult(3), kCodeUserExists);  // an empty name cannot be had
    server->OnLogon(4);
    LoginRequest old_client{"Zed", "pw", ""};
    old_client.fixed_a = 6;
    server->Receive(4, EncodeFirstLogin(check, old_client));
    EXPECT_EQ(server->LastResult(4), kCodeWrongVersion);
    EXPECT_FALSE(log.Contains("pw\""));
}

TEST_F(ServerProtocolTest, LoginResults) {
    uint32_t account = 0;
    ASSERT_EQ(store->CreateAccount("Ann", "pw", "", &account), StoreResult::kOk);
    const std::vector<std::pair<LoginRequest, uint32_t>> cases = {
        {{"Ann", "bad", ""}, kCodeWrongPassword}, {{"Bob", "pw", ""}, kCodeUnknownUser}};
    uint32_t id = 10;
    for (const auto& [request, code] : cases) {
        server->OnLogon(id);
        server->Receive(id, EncodeLogin(check, request));
        ASSERT_EQ(server->Got(id, kPktLoginResult).size(), 1u);
        EXPECT_EQ(GetU32(server->Got(id, kPktLoginResult)[0], 14), code);
        EXPECT_EQ(server->closed.back(), id);
        ++id;
    }
    server->OnLogon(20);
    server->Receive(20, EncodeLogin(check, {"ann", "pw", ""}));
    const auto ok = server->Got(20, kPktLoginResult);
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_EQ(GetU32(ok[0], 14), kCodeOk);
    EXPECT_EQ(GetU32(ok[0], 18), account);
    server->OnLogon(21);
    server->Receive(21, EncodeLogin(check, {"Ann", "pw", ""}));
    EXPECT_EQ(GetU32(server->Got(21, kPktLoginResult)[0], 14), kCodeAlreadyOnline);
    // Once the first session is gone the account may log in again.
    server->OnUserRemoved(20);
    server->OnLogon(22);
    server->Receive(22, EncodeLogin(check, {"Ann", "pw", ""}));
    EXPECT_EQ(GetU32(server->Got(22, kPktLoginResult)[0], 14), kCodeOk);
}

TEST_F(ServerProtocolTest, ProfilesOnlyForTheOwnAccount) {
    const uint32_t ann = Enter(1, "Ann");
    const uint32_t bob = Enter(2, "Bob");
    server->Receive(1, EncodeProfileRequest(check, ann, 1));
    server->Receive(1, EncodeProfileRequest(check, ann, 2));
    auto profiles = server->Got(1, kPktProfile);
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(GetU32(profiles[0], 20), 8295u);
    EXPECT_EQ(GetText(profiles[0], 24 + kProfName, kNameWidth), "Ann");
    EXPECT_EQ(GetU32(profiles[1], 20), 0u);
    // Another account's identifier, or a slot beyond four, gets nothing.
    server->Receive(1, EncodeProfileRequest(check, bob, 1));
    server->Receive(1, EncodeProfileRequest(check, ann, 5));
    EXPECT_EQ(server->Got(1, kPktProfile).size(), 2u);
    // Nor can Ann overwrite Bob's profile.
    ProfilePacket forged;
    forged.permid = bob;
    forged.number = 1;
    forged.length = int32_t(kProfileSize);
    PutU16(forged.profile, kProfActive, 1);
    PutText(forged.profile, kProfName, "Hacked", kNameWidth);
    server->Receive(1, EncodeProfilePacket(check, kPktProfileUpload, forged));
    Profile stored;
    ASSERT_TRUE(store->LoadProfile(bob, 1, &stored));
    EXPECT_EQ(GetText(stored, kProfName, kNameWidth), "Bob");
    // Selecting an empty slot is refused.
    server->Receive(1, EncodeU16Body(check, kPktSelectProfile, 3));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);
}

TEST_F(ServerProtocolTest, JoinSendsUsersAndGamesAndTellsTheOthers) {
    Enter(1, "Ann", 2);
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, Game("Duel")));
    Enter(2, "Bob", 2);
    ASSERT_EQ(server->Got(2, kPktChannelEntered).size(), 1u);
    const auto users = server->Got(2, kPktUserEntered);
    ASSERT_EQ(users.size(), 2u);  // Ann and Bob himself
    EXPECT_EQ(GetText(users[0], 41, kNameWidth), "Ann");
    ASSERT_EQ(server->Got(2, kPktGameAdded).size(), 1u);
    const auto about_bob = server->Got(1, kPktUserEntered);
    EXPECT_EQ(GetText(about_bob.back(), 41, kNameWidth), "Bob");
    EXPECT_EQ(server->channel_members(1), 2u);

    // Unknown channel, or no profile selected: code 20.
    server->Receive(2, EncodeU16Body(check, kPktJoinChannel, 9));
    EXPECT_EQ(server->LastResult(2), kCodeJoinFailed);
    server->OnLogon(3);
    uint32_t account;
    store->CreateAccount("Cid", "pw", "", &account);
    server->Receive(3, EncodeLogin(check, {"Cid", "pw", ""}));
    server->Receive(3, EncodeU16Body(check, kPktJoinChannel, 1));
    EXPECT_EQ(server->LastResult(3), kCodeJoinFailed);

    // Leaving tells the others; the leaver's games go with it.
    server->Receive(1, EncodeEmpty(check, kPktLeaveChannel));
    ASSERT_EQ(server->Got(2, kPktUserLeft).size(), 1u);
    EXPECT_EQ(GetU32(server->Got(2, kPktUserLeft)[0], 14), 1u);
    EXPECT_EQ(server->Got(2, kPktGameRemoved).size(), 1u);
    EXPECT_EQ(server->game_count(), 0u);
}

TEST_F(ServerProtocolTest, JoinStreamsTheMemberListAndASenderComesBeforeItsLine) {
    for (uint32_t id = 1; id <= 40; ++id) Enter(id, "U" + std::to_string(id), 2);
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, Game("Duel")));
    Enter(41, "Late", 2);
    // The first slices go out at once; the rest wait for the joiner's queue.
    const size_t first = server->Got(41, kPktUserEntered).size();
    EXPECT_GE(first, 8u);
    EXPECT_LT(first, 41u);
    EXPECT_TRUE(server->Got(41, kPktGameAdded).empty());
    // U40 (not sent yet) speaks: the joiner gets U40's record before the line.
    server->Receive(40, EncodeChat(check, kPktChatAll, {-1, "hi"}));
    for (int i = 0; i < 20 && server->Got(41, kPktGameAdded).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        server->SrvTick();
    }
    std::vector<uint32_t> order;  // users in the records, 0 for the chat line
    bool games_last = false;
    for (const auto& packet : server->inbox[41]) {
        const uint16_t id = GetU16(packet, 0);
        if (id == kPktUserEntered)
            order.push_back(GetU32(packet, 14));
        if (id == kPktChatAllReceived)
            order.push_back(0);
        games_last = id == kPktGameAdded;
    }
    EXPECT_TRUE(games_last);
    ASSERT_EQ(order.size(), 42u);  // every member once, the joiner too, and the line
    const auto line = std::find(order.begin(), order.end(), 0u);
    EXPECT_EQ(std::find(order.begin(), line, 40u) + 1, line);
    std::sort(order.begin(), order.end());
    for (uint32_t i = 0; i <= 41; ++i) EXPECT_EQ(order[i], i);
}

TEST_F(ServerProtocolTest, ClientsThatAskGetCompactUserRecords) {
    Enter(1, "Ann", 1);
    server->Receive(1, EncodeU32Body(check, kPktClientFeatures, kFeatureCompactUserRecords));
    Enter(2, "Bob", 1);
    const auto compact = server->Got(1, kPktUserEnteredCompact);
    ASSERT_EQ(compact.size(), 1u);
    EXPECT_EQ(compact[0].size(), kUserRecordKept);
    // Bob, who did not ask, gets whole records; both carry the same 140 bytes.
    const auto whole = server->Got(2, kPktUserEntered);
    const auto bob = std::find_if(whole.begin(), whole.end(),
                                  [](const auto& packet) { return GetU32(packet, 14) == 2u; });
    ASSERT_NE(bob, whole.end());
    EXPECT_EQ(bob->size(), kUserRecordSize);
    EXPECT_TRUE(std::equal(compact[0].begin() + 14, compact[0].end(), bob->begin() + 14));
}

TEST_F(ServerProtocolTest, ChatToAllPrivateAndRateLimit) {
    Enter(1, "Ann", 1);
    Enter(2, "Bob", 1);
    Enter(3, "Cid", 2);
    server->Receive(1, EncodeChat(check, kPktChatAll, {-1, "hello"}));
    for (uint32_t user : {1u, 2u}) {
        const auto lines = server->Got(user, kPktChatAllReceived);
        ASSERT_EQ(lines.size(), 1u) << user;
        EXPECT_EQ(GetU32(lines[0], 14), 1u);
        EXPECT_EQ(GetText(lines[0], 18, 96), "hello");
    }
    EXPECT_TRUE(server->Got(3, kPktChatAllReceived).empty());
    server->Receive(2, EncodeChat(check, kPktChatPrivate, {1, "psst"}));
    EXPECT_EQ(server->Got(1, kPktChatPrivateReceived).size(), 1u);
    EXPECT_TRUE(server->Got(2, kPktChatPrivateReceived).empty());
    // A private line to a user in another channel is dropped.
    server->Receive(2, EncodeChat(check, kPktChatPrivate, {3, "hey"}));
    EXPECT_TRUE(server->Got(3, kPktChatPrivateReceived).empty());
    // Three lines per second: a burst of ten gets only the bucket's worth through.
    for (int i = 0; i < 10; ++i) server->Receive(1, EncodeChat(check, kPktChatAll, {-1, "spam"}));
    EXPECT_LE(server->Got(2, kPktChatAllReceived).size(), 4u);
}

TEST_F(ServerProtocolTest, GamesBelongToTheirHost) {
    Enter(1, "Host", 2);
    Enter(2, "Ann", 2);
    Enter(3, "Mainer", 1);
    server->Receive(3, EncodeGameRecord(check, kPktGameRegister, Game("NoGames")));
    EXPECT_EQ(GetU16(server->Got(3, kPktGameRegistered)[0], 18), kCodeRefused);

    GameRecord game = Game("Duel");
    PutU32(game, kGameId, 5555);  // the server picks the identifier, not the host
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, game));
    const auto reply = server->Got(1, kPktGameRegistered);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(GetU16(reply[0], 18), kCodeOk);
    const uint32_t game_id = GetU32(reply[0], 14);
    EXPECT_NE(game_id, 5555u);
    const auto added = server->Got(2, kPktGameAdded);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(GetU32(added[0], kGameId), game_id);
    EXPECT_EQ(added[0][kGameAddress + 3], 9);  // the host's address, stated by the server

    // Ann cannot change, remove or score Host's game.
    GameRecord update = game;
    PutU32(update, kGameId, game_id);
    PutU16(update, kGamePlayers, 3);
    server->Receive(2, EncodeGameRecord(check, kPktGameUpdate, update));
    server->Receive(2, EncodeU32Body(check, kPktGameRemove, game_id));
    EXPECT_TRUE(server->Got(2, kPktGameChanged).empty());
    EXPECT_EQ(server->game_count(), 1u);
    server->Receive(1, EncodeGameRecord(check, kPktGameUpdate, update));
    ASSERT_EQ(server->Got(2, kPktGameChanged).size(), 1u);
    EXPECT_EQ(GetU16(server->Got(2, kPktGameChanged)[0], kGamePlayers), 3);

    server->Receive(1, EncodeU32Body(check, kPktGameRemove, game_id));
    ASSERT_EQ(server->Got(2, kPktGameRemoved).size(), 1u);
    EXPECT_EQ(server->Got(2, kPktGameRemoved)[0].size(), 126u);
    EXPECT_EQ(server->game_count(), 0u);
}

TEST_F(ServerProtocolTest, GameResultsChangeStatisticsOnce) {
    const uint32_t host = Enter(1, "Host", 2);
    const uint32_t ann = Enter(2, "Ann", 2);
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, Game("Duel")));
    const uint32_t game_id = GetU32(server->Got(1, kPktGameRegistered)[0], 14);

    auto results = [&](uint32_t game, const std::vector<GameResultEntry>& entries, uint16_t count) {
        std::vector<uint8_t> packet = EncodeGameResults(check, game, entries);
        PutU16(packet, 18, count);  // a host may state any count
        PKTCHECK::Seal(packet);
        return packet;
    };
    // A count beyond the entries present, an absurd score or a repeated
    // player is refused as a whole.
    server->Receive(1, results(game_id, {{host, 1, 1, 10}}, 2));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);
    server->Receive(1, results(game_id, {{host, 1, 1, 100000}}, 1));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);
    server->Receive(1, results(game_id, {{ann, 1, 2, 1}, {ann, 1, 1, 1}}, 2));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);
    // Ann cannot report Host's game.
    server->Receive(2, results(game_id, {{ann, 1, 1, 50}}, 1));
    EXPECT_EQ(server->LastResult(2), kCodeRefused);
    // Ann has not confirmed a seat yet, or names another profile than she plays.
    server->Receive(1, results(game_id, {{host, 1, 1, 40}, {ann, 1, 3, -10}}, 2));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);
    server->Receive(2, EncodeSeatConfirm(check, game_id));
    server->Receive(1, results(game_id, {{host, 1, 1, 40}, {ann, 2, 3, -10}}, 2));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);

    server->Receive(1, results(game_id, {{host, 1, 1, 40}, {ann, 1, 3, -10}}, 2));
    EXPECT_EQ(server->LastResult(1), kCodeOk);
    server->Receive(1, results(game_id, {{host, 1, 1, 40}}, 1));
    EXPECT_EQ(server->LastResult(1), kCodeRefused);  // once per game and account
    Profile profile;
    ASSERT_TRUE(store->LoadProfile(host, 1, &profile));
    EXPECT_EQ(GetU32(profile, kProfWon), 1u);
    EXPECT_EQ(GetU32(profile, kProfScore), 40u);
    ASSERT_TRUE(store->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetU32(profile, kProfDisconnected), 1u);
    EXPECT_EQ(int32_t(GetU32(profile, kProfScore)), -10);
}

// Who may take a seat: a player with a profile in the game's channel, while
// there is room and the account sits in no other game. A game reports only
// once it has run game_min_seconds on the server's clock.
TEST_F(ServerProtocolTest, SeatsAndTheMinimumGameTime) {
    vorlane::baselib::ManualClock clock(1000);
    LobbyConfig config = TestConfig();
    config.game_min_seconds = 60;
    server = std::make_unique<RecordingServer>(store.get(), config);
    server->set_game_clock(&clock);
    const uint32_t host = Enter(1, "Host", 2);
    const uint32_t ann = Enter(2, "Ann", 2);
    Enter(3, "Bob", 2);
    Enter(4, "Cid", 1);
    GameRecord duel = Game("Duel");
    PutU16(duel, kGameMaxPlayers, 2);
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, duel));
    const uint32_t game_id = GetU32(server->Got(1, kPktGameRegistered).back(), 14);
    auto seat = [&](uint32_t user, uint32_t game) -> uint32_t {
        server->Receive(user, EncodeSeatConfirm(check, game));
        const auto answers = server->Got(user, kPktSeatAnswer);
        if (answers.empty())
            return 0xFFFF;
        EXPECT_EQ(GetU32(answers.back(), 14), game);
        return GetU16(answers.back(), 18);
    };
    EXPECT_EQ(seat(4, game_id), kCodeRefused);      // another channel
    EXPECT_EQ(seat(2, game_id + 7), kCodeRefused);  // no such game
    EXPECT_EQ(seat(1, game_id), kCodeOk);           // the host sits already
    EXPECT_EQ(seat(2, game_id), kCodeOk);
    EXPECT_EQ(seat(2, game_id), kCodeOk);       // again: nothing changes
    EXPECT_EQ(seat(3, game_id), kCodeRefused);  // two players of two

    // Bob hosts a game of his own; Ann, seated in Duel, cannot sit there too.
    server->Receive(3, EncodeGameRecord(check, kPktGameRegister, Game("Other")));
    const uint32_t other = GetU32(server->Got(3, kPktGameRegistered).back(), 14);
    EXPECT_EQ(seat(2, other), kCodeRefused);

    const auto report = EncodeGameResults(check, game_id, {{host, 1, 1, 5}, {ann, 1, 2, -5}});
    clock.Advance(59'999);
    server->Receive(1, report);
    EXPECT_EQ(server->LastResult(1), kCodeRefused);
    clock.Advance(1);
    server->Receive(1, report);
    EXPECT_EQ(server->LastResult(1), kCodeOk);

    // The seats end with the game: Ann may sit in Bob's now.
    server->Receive(1, EncodeU32Body(check, kPktGameRemove, game_id));
    EXPECT_EQ(seat(2, other), kCodeOk);
}

// A seat outlives its player's game program: the player's next log-in is
// offered the game (65, after the log-in news), the new game program's
// confirmation takes the same seat, and the offer is withdrawn once the
// player's result is in or the game's host is gone.
TEST_F(ServerProtocolTest, RejoinOfferKeepsTheSeatUntilTheGameEnds) {
    const uint32_t host = Enter(1, "Host", 2);
    const uint32_t ann = Enter(2, "Ann", 2);
    Enter(3, "Bob", 2);
    GameRecord duel = Game("Duel");
    PutU16(duel, kGameMaxPlayers, 2);
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, duel));
    const uint32_t game_id = GetU32(server->Got(1, kPktGameRegistered).back(), 14);
    auto log_in = [&](uint32_t id, const char* name) {
        server->OnLogon(id);
        server->Receive(id, EncodeLogin(check, {name, "pw", ""}));
    };
    auto seat = [&](uint32_t id, uint32_t game) {
        server->Receive(id, EncodeSeatConfirm(check, game));
        return GetU16(server->Got(id, kPktSeatAnswer).back(), 18);
    };
    auto offers = [&](uint32_t id) {
        std::vector<GameAlert> out;
        for (const auto& packet : server->Got(id, kPktRejoinOffer))
            out.push_back(*DecodeGameAlert(packet));
        return out;
    };
    EXPECT_EQ(seat(2, game_id), kCodeOk);

    // Ann's game program crashes; her front end logs in again.
    server->OnConnectionLost(2);
    log_in(4, "Ann");
    const auto& inbox = server->inbox[4];
    auto position = [&](uint16_t id) {
        return std::find_if(inbox.begin(), inbox.end(),
                            [&](const auto& p) { return GetU16(p, 0) == id; }) -
               inbox.begin();
    };
    ASSERT_EQ(offers(4).size(), 1u);
    EXPECT_LT(position(kPktAwaySummary), position(kPktRejoinOffer));
    EXPECT_EQ(offers(4)[0].slot, 0);
    EXPECT_EQ(offers(4)[0].channel, 2);
    EXPECT_EQ(GameRecordId(offers(4)[0].game), game_id);
    EXPECT_EQ(GameRecordName(offers(4)[0].game), "Duel");

    // The front end hands over; the new game program takes the same seat, so
    // the game of two still has no room for Bob.
    server->OnLogoff(4);
    log_in(5, "Ann");
    server->Receive(5, EncodeU16Body(check, kPktSelectProfile, 1));
    server->Receive(5, EncodeU16Body(check, kPktJoinChannel, 2));
    EXPECT_EQ(seat(5, game_id), kCodeOk);
    EXPECT_EQ(seat(3, game_id), kCodeRefused);

    // Dropped again, offered again; the host reports her: the offer goes,
    // and the next log-in gets none.
    server->OnConnectionLost(5);
    log_in(6, "Ann");
    ASSERT_EQ(offers(6).size(), 1u);
    server->Receive(1, EncodeGameResults(check, game_id, {{host, 1, 1, 5}, {ann, 1, 3, -5}}));
    EXPECT_EQ(server->LastResult(1), kCodeOk);
    ASSERT_EQ(offers(6).size(), 2u);
    EXPECT_EQ(offers(6)[1].channel, 0);
    EXPECT_EQ(GameRecordId(offers(6)[1].game), game_id);
    server->OnLogoff(6);
    log_in(7, "Ann");
    EXPECT_TRUE(offers(7).empty());

    // In Bob's game next; when Bob (the host) goes, so does the offer.
    server->Receive(1, EncodeU32Body(check, kPktGameRemove, game_id));
    server->Receive(3, EncodeGameRecord(check, kPktGameRegister, Game("Other")));
    const uint32_t other = GetU32(server->Got(3, kPktGameRegistered).back(), 14);
    server->Receive(7, EncodeU16Body(check, kPktSelectProfile, 1));
    server->Receive(7, EncodeU16Body(check, kPktJoinChannel, 2));
    EXPECT_EQ(seat(7, other), kCodeOk);
    server->OnConnectionLost(7);
    log_in(8, "Ann");
    ASSERT_EQ(offers(8).size(), 1u);
    server->OnConnectionLost(3);
    ASSERT_EQ(offers(8).size(), 2u);
    EXPECT_EQ(GameRecordId(offers(8)[1].game), other);
    EXPECT_EQ(offers(8)[1].channel, 0);
}

TEST_F(ServerProtocolTest, DisconnectLeavesTheChannel) {
    Enter(1, "Host", 2);
    Enter(2, "Ann", 2);
    server->Receive(1, EncodeGameRecord(check, kPktGameRegister, Game("Duel")));
    server->OnConnectionLost(1);
    EXPECT_EQ(server->Got(2, kPktUserLeft).size(), 1u);
    EXPECT_EQ(server->Got(2, kPktGameRemoved).size(), 1u);
    EXPECT_EQ(server->session_count(), 1u);
    server->OnUserRemoved(1);  // the removal after a loss changes nothing more
    EXPECT_EQ(server->Got(2, kPktUserLeft).size(), 1u);
}

TEST_F(ServerProtocolTest, PacketsBeforeLoginAndShortPacketsAreIgnored) {
    server->OnLogon(1);
    server->Receive(1, EncodeEmpty(check, kPktChannelListRequest));
    server->Receive(1, EncodeU16Body(check, kPktJoinChannel, 1));
    EXPECT_TRUE(server->inbox.empty());
    Enter(2, "Ann");
    std::vector<uint8_t> tiny = EncodeU16Body(check, kPktJoinChannel, 1);
    tiny.resize(15);
    server->Receive(2, tiny);
    EXPECT_TRUE(server->Got(2, kPktChannelEntered).empty());
    server->Receive(2, EncodeEmpty(check, kPktChannelListRequest));
    const auto list = server->Got(2, kPktChannelList);
    ASSERT_EQ(list.size(), 1u);
    const auto channels = DecodeChannelTable(list[0]);
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[1].name, "Battle");
    EXPECT_EQ(channels[1].flags, 0x2);
}
