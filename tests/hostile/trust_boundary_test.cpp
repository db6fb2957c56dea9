// Hostile clients against vorlane-lobbyd in-process on 127.0.0.1: what one
// client addresses to other users never reaches them, repeated attempts cost
// the sender its connection, a full server says so, and a game host scores
// only the players who took a seat in its game.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
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

class TrustBoundaryTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }  // the kernel's logs need the file layer

    void SetUp() override { Start(nullptr); }

    void Start(const std::function<void(LobbyConfig&)>& adjust) {
        server.reset();
        dir = ::testing::TempDir() + "hostile/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        server = std::make_unique<RunningServer>(
            dir + "/lobbyd.sqlite", dir + "/server",
            [](LobbyStore& store) {
                uint32_t id = 0;
                for (const char* name : {"Ann", "Mallory"}) {
                    if (store.InsertAccount(name, store.HashPassword("pw"), "x@y.z", &id) !=
                        StoreResult::kOk)
                        return false;
                }
                return true;
            },
            adjust);
        ASSERT_NE(server->port(), 0);
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

    // Ann and Mallory in the same channel, each seeing the other.
    void EnterBoth() {
        ann = Enter("Ann");
        mallory = Enter("Mallory");
        ASSERT_TRUE(WaitFor({ann.get(), mallory.get()},
                            [&] { return ann->frontend.Has("user_added Mallory"); }));
    }

    // Ann chats a line and sees it come back: everything sent before it has
    // been dealt with by the server.
    void AnnRoundTrip(const std::string& text) {
        ASSERT_EQ(ann->net.SendChat(text.c_str(), -1), 1);
        const std::string line = "chat 0 " + std::to_string(ann->net.own_id()) + " " + text;
        ASSERT_TRUE(WaitFor({ann.get(), mallory.get()}, [&] { return ann->frontend.Has(line); }));
    }

    // `client` hosts a game in the channel; its identifier once everybody lists it.
    uint32_t HostGame(Client& client) {
        GameRecord game{};
        PutText(game, kGameName, "Duel", kGameNameWidth);
        PutU16(game, kGameMaxPlayers, 2);
        const auto packet = EncodeGameRecord(PKTCHECK(), kPktGameRegister, game);
        EXPECT_EQ(client.net.SendToServer(kLobbyModuleType, kPktGameRegister, packet.data(),
                                          uint32_t(packet.size())),
                  1);
        EXPECT_TRUE(WaitFor({ann.get(), mallory.get()}, [&] {
            return ann->net.games().size() == 1 && mallory->net.games().size() == 1;
        }));
        return ann->net.games().empty() ? 0 : GameRecordId(ann->net.games()[0]);
    }

    // Sends `packet` from `client` and returns the code of the server's
    // answer `answer_id` (at offset 14, 32 bits for a result and 16 for a
    // seat), or -1 when none came.
    int64_t Ask(Client& client, const std::vector<uint8_t>& packet, uint16_t answer_id) {
        const size_t before = client.net.packet_counts[answer_id];
        const uint16_t id = GetU16(packet, 0);
        if (client.net.SendToServer(kLobbyModuleType, id, packet.data(), uint32_t(packet.size())) !=
            1)
            return -1;
        if (!WaitFor({ann.get(), mallory.get()},
                     [&] { return client.net.packet_counts[answer_id] > before; }))
            return -1;
        const std::vector<uint8_t>& answer = client.net.last_packets[answer_id];
        return answer_id == kPktSeatAnswer ? GetU16(answer, 18) : GetU32(answer, 14);
    }

    // Won, lost and score of profile 1 of `name` as stored.
    std::array<int32_t, 3> Record(const std::string& name) {
        auto store = LobbyStore::Open(dir + "/lobbyd.sqlite", HashStrength::kMinimum);
        uint32_t account = 0;
        std::string hash;
        Profile profile{};
        if (!store || store->FindAccount(name, &account, &hash) != StoreResult::kOk ||
            !store->LoadProfile(account, 1, &profile))
            return {-1, -1, -1};
        return {int32_t(GetU32(profile, kProfWon)), int32_t(GetU32(profile, kProfLost)),
                int32_t(GetU32(profile, kProfScore))};
    }

    size_t AnnChatLines() const {
        size_t lines = 0;
        for (const std::string& event : ann->frontend.events) lines += event.rfind("chat ", 0) == 0;
        return lines;
    }

    LogCapture log;
    std::string dir;
    std::unique_ptr<RunningServer> server;
    std::unique_ptr<Client> ann, mallory;
};

}  // namespace

TEST_F(TrustBoundaryTest, ForgedChatToOneUserAndToEverybodyReachesNobody) {
    ASSERT_NO_FATAL_FAILURE(EnterBoth());
    // A server-to-client chat line in Ann's name, addressed straight to her
    // and to everybody.
    const auto forged = CustomPayload(
        EncodeChat(PKTCHECK(), kPktChatAllReceived, {int32_t(ann->net.own_id()), "FORGED line"}));
    ASSERT_EQ(mallory->net.SendRaw(ann->net.own_id(), NET_MSGTYPE_CUSTOMDATA, forged), 0);
    ASSERT_EQ(mallory->net.SendRaw(USR_ALL, NET_MSGTYPE_CUSTOMDATA, forged), 0);
    ASSERT_TRUE(
        WaitFor({ann.get(), mallory.get()}, [&] { return server->refused_messages() == 2; }));
    AnnRoundTrip("after the forgery");
    EXPECT_EQ(AnnChatLines(), 1u);
    EXPECT_FALSE(mallory->frontend.Has("connection_lost"));  // two attempts are below the limit
    EXPECT_EQ(ann->net.users().size(), 2u);
}

TEST_F(TrustBoundaryTest, PushedFileIsNeverWrittenAndRepeatedAttemptsCloseTheConnection) {
    ASSERT_NO_FATAL_FAILURE(EnterBoth());
    const std::vector<uint8_t> file = EncodeFileRecord("pushed.cfg", "EVIL", 4);
    ASSERT_EQ(mallory->net.SendRaw(ann->net.own_id(), NET_MSGTYPE_FILE, file), 0);
    ASSERT_EQ(mallory->net.SendRaw(USR_ALL, NET_MSGTYPE_FILE, file), 0);
    ASSERT_TRUE(
        WaitFor({ann.get(), mallory.get()}, [&] { return server->refused_messages() == 2; }));
    AnnRoundTrip("after the file");
    EXPECT_FALSE(std::filesystem::exists("pushed.cfg"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/Ann/pushed.cfg"));

    // The third attempt (the shipped limit) closes Mallory's connection; Ann
    // sees her leave and nothing else.
    const auto forged = CustomPayload(
        EncodeChat(PKTCHECK(), kPktChatAllReceived, {int32_t(ann->net.own_id()), "FORGED line"}));
    ASSERT_EQ(mallory->net.SendRaw(USR_ALL, NET_MSGTYPE_CUSTOMDATA, forged), 0);
    ASSERT_TRUE(WaitFor({ann.get(), mallory.get()}, [&] {
        return mallory->frontend.Has("connection_lost") &&
               ann->frontend.Has("user_removed Mallory");
    }));
    EXPECT_EQ(server->refused_messages(), 3u);
    EXPECT_EQ(AnnChatLines(), 1u);
    EXPECT_TRUE(LogCapture::Contains("connection closed"));
}

TEST_F(TrustBoundaryTest, ClientBeyondUsrMaxIsToldTheServerIsFull) {
    Start([](LobbyConfig& config) { config.kernel.usr_max = 1; });
    Client first(server->port(), dir + "/first");
    Client second(server->port(), dir + "/second");
    ASSERT_TRUE(first.ready && second.ready);
    ASSERT_EQ(first.net.ConnectToHostname("127.0.0.1"), 1);

    // Told at once, well before the log-on time-out of 5 s.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(second.net.Login("Ann", "pw", "", "", false, 0xFFFF, 0xFFFF), 1);
    EXPECT_TRUE(WaitFor(
        {&second}, [&] { return second.frontend.Has("login_error LOBBY_SERVER_FULL"); }, 3));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_EQ(second.net.logon_refusal(), NET_LOGON_REFUSED_FULL);
    EXPECT_FALSE(second.net.logged_on());

    // The refusal holds no place: once the first has gone, the second gets in.
    ASSERT_EQ(first.net.Disconnect(), 1);
    bool in = false;
    for (int attempt = 0; attempt < 20 && !in; ++attempt) {
        WaitFor(
            {&first, &second}, [] { return false; }, 1);
        in = second.net.ConnectToHostname("127.0.0.1") == 1;
    }
    EXPECT_TRUE(in);
}

TEST_F(TrustBoundaryTest, HostScoresOnlySeatedPlayersOnceEach) {
    ASSERT_NO_FATAL_FAILURE(EnterBoth());
    const uint32_t game_id = HostGame(*mallory);
    ASSERT_NE(game_id, 0u);
    const uint32_t victim = uint32_t(ann->net.permid());
    const uint32_t own = uint32_t(mallory->net.permid());
    // Ann never took a seat: a report naming her is refused as a whole,
    // whether alone or beside Mallory's own line.
    EXPECT_EQ(
        Ask(*mallory, EncodeGameResults(PKTCHECK(), game_id, {{victim, 1, 2, -1000}}), kPktResult),
        kCodeRefused);
    EXPECT_EQ(
        Ask(*mallory,
            EncodeGameResults(PKTCHECK(), game_id, {{own, 1, 1, 1000}, {victim, 1, 2, -1000}}),
            kPktResult),
        kCodeRefused);
    EXPECT_EQ(Record("Ann"), (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(Record("Mallory"), (std::array<int32_t, 3>{0, 0, 0}));
    // Mallory's own seat counts once; a second report for her is refused.
    const auto own_win = EncodeGameResults(PKTCHECK(), game_id, {{own, 1, 1, 1000}});
    EXPECT_EQ(Ask(*mallory, own_win, kPktResult), kCodeOk);
    EXPECT_EQ(Ask(*mallory, own_win, kPktResult), kCodeRefused);
    EXPECT_EQ(Record("Mallory"), (std::array<int32_t, 3>{1, 0, 1000}));
    EXPECT_EQ(Record("Ann"), (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(GetU32(ann->net.profiles()[0], kProfLost), 0u);  // nor did Ann hear otherwise
}

TEST_F(TrustBoundaryTest, SeatedPlayersResultsAreTakenAfterTheMinimumTime) {
    Start([](LobbyConfig& config) { config.game_min_seconds = 3600; });
    ASSERT_NO_FATAL_FAILURE(EnterBoth());
    const uint32_t game_id = HostGame(*ann);
    ASSERT_NE(game_id, 0u);
    EXPECT_EQ(Ask(*mallory, EncodeSeatConfirm(PKTCHECK(), game_id), kPktSeatAnswer), kCodeOk);
    const auto report = EncodeGameResults(
        PKTCHECK(), game_id,
        {{uint32_t(ann->net.permid()), 1, 1, 10}, {uint32_t(mallory->net.permid()), 1, 2, -10}});
    // Register, report at once, remove and again: refused, the game is too young.
    EXPECT_EQ(Ask(*ann, report, kPktResult), kCodeRefused);
    EXPECT_EQ(Record("Ann"), (std::array<int32_t, 3>{0, 0, 0}));

    // The same two players in a game old enough: both results are stored.
    ann.reset();
    mallory.reset();
    Start(nullptr);
    ASSERT_NO_FATAL_FAILURE(EnterBoth());
    const uint32_t second = HostGame(*ann);
    EXPECT_EQ(Ask(*mallory, EncodeSeatConfirm(PKTCHECK(), second), kPktSeatAnswer), kCodeOk);
    const auto honest = EncodeGameResults(
        PKTCHECK(), second,
        {{uint32_t(ann->net.permid()), 1, 1, 10}, {uint32_t(mallory->net.permid()), 1, 2, -10}});
    EXPECT_EQ(Ask(*ann, honest, kPktResult), kCodeOk);
    EXPECT_EQ(Record("Ann"), (std::array<int32_t, 3>{1, 0, 10}));
    EXPECT_EQ(Record("Mallory"), (std::array<int32_t, 3>{0, 1, -10}));
}
