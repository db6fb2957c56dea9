// Three lobby servers started by scripts/cluster (one PostgreSQL, one NATS
// server) and real LOBBYNET clients on them: what one server's players do is
// seen on the others.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "baselib/bl_memory.h"
#include "server/lobby_server.h"
#include "tests/server/running_server.h"

using namespace vorlane::net;
using vorlane::server::GameOutcome;
using vorlane::server::kCodeOk;
using vorlane::server::testing::Client;
using vorlane::server::testing::LoginAnswer;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::WaitFor;

namespace {

class ClusterProcesses : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BL_Init();  // the clients' kernel logs need the file layer
        if (::access("/usr/lib/postgresql/15/bin/pg_ctl", X_OK) != 0 ||
            ::access("/usr/sbin/nats-server", X_OK) != 0) {
            skip_ = "PostgreSQL 15 or nats-server is not installed";
            return;
        }
        dir_ = ::testing::TempDir() + "cluster";
        // Limits meant for the internet would turn away a test's many
        // accounts and connections from one address.
        const std::string command = Script() + " up 3 --dir " + dir_ +
                                    " --build " VORLANE_TEST_BINARY_DIR
                                    " --set password_hash=minimum --set accounts_per_address=0"
                                    " --set connections_per_address=0 --set failed_logins_max=0"
                                    " --set game_min_seconds=0 2>&1";
        FILE* out = ::popen(command.c_str(), "r");
        ASSERT_TRUE(out);
        char line[512];
        const std::regex server_line(R"(lobbyd (\d+) 127\.0\.0\.1:(\d+)\s*)");
        std::string all;
        while (std::fgets(line, sizeof line, out)) {
            all += line;
            std::cmatch match;
            if (std::regex_match(line, match, server_line))
                ports_.push_back(uint16_t(std::stoi(match[2])));
        }
        ASSERT_EQ(::pclose(out), 0) << all;
        ASSERT_EQ(ports_.size(), 3u) << all;
    }
    static void TearDownTestSuite() {
        if (!dir_.empty()) [[maybe_unused]]
            const int ignored =
                std::system((Script() + " down --dir " + dir_ + " >/dev/null").c_str());
    }
    void SetUp() override {
        if (!skip_.empty())
            GTEST_SKIP() << skip_;
        ASSERT_EQ(ports_.size(), 3u);
    }

    // Logs in on `server` with a new profile in slot 0 and joins channel 2.
    std::unique_ptr<Client> Enter(size_t server, const std::string& name,
                                  const std::string& password) {
        auto client = NewClient(server, name);
        LogInWithNewProfile(*client, name, password);
        EXPECT_EQ(client->net.JoinChannel(2), 1);
        EXPECT_TRUE(WaitFor({client.get()}, [&] {
            return client->frontend.Has("channel_entered") &&
                   client->frontend.Has("user_added " + name);
        })) << name;
        return client;
    }
    // The account's number, from the store the servers share.
    static uint32_t AccountId(const std::string& name) {
        std::ifstream config(dir_ + "/lobbyd1/lobbyd.cfg");
        std::string line, store;
        while (std::getline(config, line)) {
            if (line.rfind("store = ", 0) == 0)
                store = line.substr(8);
        }
        auto opened =
            vorlane::server::LobbyStore::Open(store, vorlane::server::HashStrength::kMinimum);
        uint32_t id = 0;
        if (opened)
            opened->FindAccount(name, &id, nullptr);
        return id;
    }

    static std::string Script() {
        return std::string(VORLANE_TEST_SOURCE_DIR) + "/scripts/cluster";
    }

    // A client of server `server` (0-based).
    std::unique_ptr<Client> NewClient(size_t server, const std::string& name) {
        auto client = std::make_unique<Client>(ports_[server], dir_ + "/clients/" + name);
        EXPECT_TRUE(client->ready);
        return client;
    }
    void CreateAccount(size_t server, const std::string& name, const std::string& password) {
        auto client = NewClient(server, "create_" + name);
        ASSERT_EQ(client->net.FirstLogin(name.c_str(), password.c_str(), "", "x@y.z", false), 1);
        ASSERT_TRUE(WaitFor({client.get()}, [&] {
            return client->frontend.Has("account_created") &&
                   client->frontend.Has("login_finished");
        })) << name;
    }

    static inline std::string skip_, dir_;
    static inline std::vector<uint16_t> ports_;
};

}  // namespace

TEST_F(ClusterProcesses, AnAccountMadeOnOneServerLogsInOnAnother) {
    CreateAccount(0, "Ann", "pw-ann");
    auto ann = NewClient(1, "ann");
    ASSERT_NO_FATAL_FAILURE(LogInWithNewProfile(*ann, "Ann", "pw-ann"));
    auto wrong = NewClient(2, "wrong");
    EXPECT_EQ(LoginAnswer(*wrong, "Ann", "guess"), "login_error LOBBY_WRONG_PASSWORD");
    // Logged in on one server, the account is refused on the others.
    auto again = NewClient(2, "again");
    EXPECT_EQ(LoginAnswer(*again, "Ann", "pw-ann"), "login_error LOBBY_ALREADY_ONLINE");
}

// Three players on three servers in one channel: the user list, public and
// private chat, a game hosted on one server with a player seated from
// another, and its results read back on a third.
TEST_F(ClusterProcesses, PlayersOfThreeServersShareAChannel) {
    CreateAccount(0, "Bea", "pw-bea");
    CreateAccount(1, "Cal", "pw-cal");
    CreateAccount(2, "Hal", "pw-hal");
    auto bea = Enter(0, "Bea", "pw-bea");
    auto cal = Enter(1, "Cal", "pw-cal");
    auto hal = Enter(2, "Hal", "pw-hal");
    ASSERT_TRUE(WaitFor({bea.get(), cal.get(), hal.get()}, [&] {
        return bea->frontend.Has("user_added Cal") && bea->frontend.Has("user_added Hal") &&
               cal->frontend.Has("user_added Bea") && hal->frontend.Has("user_added Cal");
    }));

    ASSERT_EQ(bea->net.SendChat("hello all", -1), 1);
    const std::string from_bea = "chat 0 " + std::to_string(bea->net.own_id()) + " hello all";
    ASSERT_TRUE(WaitFor({bea.get(), cal.get(), hal.get()}, [&] {
        return cal->frontend.Has(from_bea) && hal->frontend.Has(from_bea);
    }));
    ASSERT_EQ(cal->net.SendChat("psst", int32_t(bea->net.own_id())), 1);
    const std::string private_line = "chat 1 " + std::to_string(cal->net.own_id()) + " psst";
    ASSERT_TRUE(WaitFor({bea.get(), cal.get(), hal.get()},
                        [&] { return bea->frontend.Has(private_line); }));
    EXPECT_FALSE(hal->frontend.Has(private_line));

    GameRecord game{};
    PutText(game, kGameName, "Duel at Vega", kGameNameWidth);
    PutU16(game, kGameMaxPlayers, 2);
    const auto record = EncodeGameRecord(PKTCHECK(), kPktGameRegister, game);
    ASSERT_EQ(hal->net.SendToServer(kLobbyModuleType, kPktGameRegister, record.data(),
                                    uint32_t(record.size())),
              1);
    ASSERT_TRUE(WaitFor({bea.get(), cal.get(), hal.get()}, [&] {
        return bea->net.games().size() == 1 && cal->net.games().size() == 1;
    }));
    const uint32_t game_id = GameRecordId(bea->net.games()[0]);
    EXPECT_EQ(GameRecordName(cal->net.games()[0]), "Duel at Vega");

    const auto seat = EncodeSeatConfirm(PKTCHECK(), game_id);
    ASSERT_EQ(bea->net.SendToServer(kLobbyModuleType, kPktSeatConfirm, seat.data(),
                                    uint32_t(seat.size())),
              1);
    ASSERT_TRUE(WaitFor({bea.get(), hal.get()},
                        [&] { return bea->net.packet_counts[kPktSeatAnswer] == 1; }));
    EXPECT_EQ(GetU16(bea->net.last_packets[kPktSeatAnswer], 18), kCodeOk);

    const uint32_t hal_account = AccountId("Hal"), bea_account = AccountId("Bea");
    ASSERT_NE(bea_account, 0u);
    const auto results = EncodeGameResults(PKTCHECK(), game_id,
                                           {{hal_account, 1, uint16_t(GameOutcome::kWon), 40},
                                            {bea_account, 1, uint16_t(GameOutcome::kLost), -5}});
    ASSERT_EQ(hal->net.SendToServer(kLobbyModuleType, kPktGameResults, results.data(),
                                    uint32_t(results.size())),
              1);
    ASSERT_TRUE(
        WaitFor({bea.get(), hal.get()}, [&] { return hal->net.packet_counts[kPktResult] > 0; }));
    EXPECT_EQ(GetU32(hal->net.last_packets[kPktResult], 14), kCodeOk);

    // Bea leaves, and on the third server her profile shows the game.
    bea.reset();
    ASSERT_TRUE(WaitFor({cal.get()}, [&] { return cal->frontend.Has("user_removed Bea"); }));
    auto back = NewClient(1, "bea-back");
    ASSERT_EQ(LoginAnswer(*back, "Bea", "pw-bea"), "profiles_complete");
    const Profile& profile = back->net.profiles()[0];
    EXPECT_EQ(GetU32(profile, kProfLost), 1u);
    EXPECT_EQ(int32_t(GetU32(profile, kProfScore)), -5);
}

// Killed without a word, a server's players vanish from the others' lists
// once its silence outlasts the expiry. Runs last: the server stays dead.
TEST_F(ClusterProcesses, AKilledServersPlayersAreGoneWithinFifteenSeconds) {
    CreateAccount(0, "Dot", "pw-dot");
    CreateAccount(2, "Eli", "pw-eli");
    auto dot = Enter(0, "Dot", "pw-dot");
    auto eli = Enter(2, "Eli", "pw-eli");
    ASSERT_TRUE(
        WaitFor({dot.get(), eli.get()}, [&] { return dot->frontend.Has("user_added Eli"); }));
    std::ifstream pid_file(dir_ + "/lobbyd3/pid");
    pid_t pid = 0;
    ASSERT_TRUE(pid_file >> pid);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor(
        {dot.get()}, [&] { return dot->frontend.Has("user_removed Eli"); }, 20));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed);
    // The others give a silent server 12 s from its last word, well within
    // the 15 s a dead server's players may linger.
    EXPECT_LE(seconds.count(), 15.0);
    // Its account is free again on the servers left, once the store too has
    // seen the server silent long enough (it counts in whole seconds).
    std::string answer;
    for (int attempt = 0; attempt < 5 && answer != "profiles_complete"; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        auto moved = NewClient(1, "eli-moved" + std::to_string(attempt));
        answer = LoginAnswer(*moved, "Eli", "pw-eli");
    }
    EXPECT_EQ(answer, "profiles_complete");
}
