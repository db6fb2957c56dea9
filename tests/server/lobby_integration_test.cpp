// vorlane-lobbyd's protocol in-process on 127.0.0.1 with real LOBBYNET clients:
// accounts, the whole log-in sequence, profiles, chat, user and game lists,
// refused log-ins, a lost connection and a restart on the same database.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "baselib/bl_memory.h"
#include "server/lobby_server.h"
#include "server/status_http.h"
#include "tests/server/running_server.h"

using namespace vorlane::server;
using namespace vorlane::net;

namespace {

std::string TestDir(const std::string& name) {
    const std::string dir = ::testing::TempDir() + "lobby_integration/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;

class LobbyIntegrationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }  // the kernel's logs need the file layer

    void SetUp() override {
        dir = TestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        database = dir + "/lobbyd.sqlite";
        server = std::make_unique<RunningServer>(database, dir + "/server");
        ASSERT_NE(server->port(), 0);
    }

    std::unique_ptr<Client> NewClient(const std::string& name) {
        auto client = std::make_unique<Client>(server->port(), dir + "/" + name);
        EXPECT_TRUE(client->ready);
        return client;
    }

    void CreateAccount(const std::string& name, const std::string& password) {
        auto client = NewClient("create_" + name);
        ASSERT_EQ(client->net.FirstLogin(name.c_str(), password.c_str(), "", "x@y.z", false), 1);
        ASSERT_TRUE(WaitFor({client.get()}, [&] {
            return client->frontend.Has("account_created") &&
                   client->frontend.Has("login_finished");
        })) << name;
        // The server closed the connection after the result: no loss is reported.
        EXPECT_FALSE(client->frontend.Has("connection_lost"));
    }

    // Logs in, stores profile slot 0 under `name`, selects it and joins `channel`.
    void Enter(Client& client, const std::string& name, const std::string& password,
               uint16_t channel) {
        ASSERT_NO_FATAL_FAILURE(LogInWithNewProfile(client, name, password));
        const auto channels = DecodeChannelTable(client.net.channel_table());
        ASSERT_EQ(channels.size(), 2u);
        EXPECT_EQ(channels[1].name, "Battle Zone");
        ASSERT_EQ(client.net.JoinChannel(channel), 1);
        ASSERT_TRUE(WaitFor({&client}, [&] {
            return client.frontend.Has("channel_entered") &&
                   client.frontend.Has("user_added " + name);
        }));
    }

    LogCapture log;
    std::string dir, database;
    std::unique_ptr<RunningServer> server;
};

}  // namespace

TEST_F(LobbyIntegrationTest, TwoClientsChatAndSeeUsersAndGames) {
    CreateAccount("Ann", "pw-ann");
    CreateAccount("Bob", "pw-bob");
    CreateAccount("Host", "pw-host");
    auto ann = NewClient("ann");
    auto bob = NewClient("bob");
    Enter(*ann, "Ann", "pw-ann", 2);
    Enter(*bob, "Bob", "pw-bob", 2);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("user_added Bob"); }));
    EXPECT_EQ(bob->net.users().size(), 2u);
    EXPECT_FALSE(log.Contains("pw-ann"));

    // Public chat reaches both, the sender included; private only the target.
    ASSERT_EQ(ann->net.SendChat("hello all", -1), 1);
    const std::string from_ann = "chat 0 " + std::to_string(ann->net.own_id()) + " hello all";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return ann->frontend.Has(from_ann) && bob->frontend.Has(from_ann);
    }));
    ASSERT_EQ(bob->net.SendChat("psst", int32_t(ann->net.own_id())), 1);
    const std::string private_line = "chat 1 " + std::to_string(bob->net.own_id()) + " psst";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has(private_line); }));
    EXPECT_FALSE(bob->frontend.Has(private_line));

    // A fake game host registers a game and removes it again.
    auto host = NewClient("host");
    Enter(*host, "Host", "pw-host", 2);
    GameRecord game{};
    PutText(game, kGameName, "Duel at Vega", kGameNameWidth);
    PutU16(game, kGameMaxPlayers, 4);
    std::vector<uint8_t> record = EncodeGameRecord(PKTCHECK(), kPktGameRegister, game);
    ASSERT_EQ(host->net.SendToServer(kLobbyModuleType, kPktGameRegister, record.data(),
                                     uint32_t(record.size())),
              1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get(), host.get()}, [&] {
        return ann->net.games().size() == 1 && bob->net.games().size() == 1;
    }));
    EXPECT_EQ(GameRecordName(ann->net.games()[0]), "Duel at Vega");
    const uint32_t game_id = GameRecordId(ann->net.games()[0]);
    std::vector<uint8_t> removal = EncodeU32Body(PKTCHECK(), kPktGameRemove, game_id);
    host->net.SendToServer(kLobbyModuleType, kPktGameRemove, removal.data(),
                           uint32_t(removal.size()));
    ASSERT_TRUE(WaitFor({ann.get(), bob.get(), host.get()},
                        [&] { return ann->net.games().empty() && bob->net.games().empty(); }));
    EXPECT_TRUE(ann->frontend.Has("game_removed " + std::to_string(game_id)));

    // Leaving updates the others' user lists.
    ASSERT_EQ(bob->net.LeaveChannel(), 1);
    ASSERT_TRUE(
        WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has("user_removed Bob"); }));
    host.reset();  // a host that goes away leaves the channel too
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("user_removed Host"); }));

    // A client that is logged on cannot connect again, and module types are checked.
    EXPECT_EQ(ann->net.ConnectToHostname("127.0.0.1"), -1);
    EXPECT_TRUE(log.Contains("Loomex: TNS_CONTROL::ConnectToHostname() already connected !"));
    const uint8_t byte = 0;
    EXPECT_EQ(ann->net.SendToServer(30001, 1, &byte, 1), -1);
    EXPECT_TRUE(log.Contains("Loomex: TNS_CONTROL::SendData: invalid module type !(1)"));
}

TEST_F(LobbyIntegrationTest, RefusedLoginsGiveTheirTexts) {
    CreateAccount("Ann", "pw-ann");
    auto ann = NewClient("ann");
    Enter(*ann, "Ann", "pw-ann", 1);
    auto other = NewClient("other");
    const std::vector<std::pair<std::pair<const char*, const char*>, std::string>> cases = {
        {{"Ann", "wrong"}, "LOBBY_WRONG_PASSWORD"},
        {{"Nobody", "pw"}, "LOBBY_USER_UNKNOWN"},
        {{"Ann", "pw-ann"}, "LOBBY_ALREADY_ONLINE"}};
    for (const auto& [login, text] : cases) {
        other->frontend.events.clear();
        ASSERT_EQ(other->net.Login(login.first, login.second, "", "", false, 0xFFFF, 0xFFFF), 1);
        ASSERT_TRUE(WaitFor({other.get(), ann.get()}, [&] {
            return other->frontend.Has("login_error " + text) &&
                   other->frontend.Has("login_finished");
        })) << text;
        EXPECT_FALSE(other->frontend.Has("connection_lost")) << text;
    }
    // A second account with a taken name is refused.
    auto creator = NewClient("creator");
    creator->net.FirstLogin("ANN", "x", "", "", false);
    ASSERT_TRUE(WaitFor({creator.get()}, [&] {
        return creator->frontend.Has("first_login_error LOBBY_USER_EXISTS");
    }));
}

// Back to the log-in screen and straight in again, and a log-in cancelled
// while its answer is awaited: the end of the connection left behind
// neither ends the next session nor shows as a lost connection.
TEST_F(LobbyIntegrationTest, LoggingInAgainRightAfterLeavingOrCancelling) {
    CreateAccount("Ann", "pw-ann");
    auto ann = NewClient("ann");
    ASSERT_EQ(ann->net.Login("Ann", "pw-ann", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("profiles_complete"); }));
    for (int round = 0; round < 2; ++round) {
        ann->frontend.events.clear();
        ASSERT_EQ(ann->net.Disconnect(), 1);
        if (round == 1) {
            ASSERT_EQ(ann->net.Login("Ann", "pw-ann", "", "", false, 0xFFFF, 0xFFFF), 1);
            ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->net.logged_on(); }));
            ann->net.CancelLogin();
            // Its answer may still be on the way; it belongs to no new log-in.
            ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("login_finished"); }));
        }
        ASSERT_EQ(ann->net.Login("Ann", "pw-ann", "", "", false, 0xFFFF, 0xFFFF), 1);
        ASSERT_TRUE(WaitFor({ann.get()}, [&] {
            return ann->frontend.Has("profiles_complete") ||
                   ann->frontend.Has("login_error LOBBY_LOGIN_IMPOSSIBLE");
        })) << round;
        EXPECT_TRUE(ann->frontend.Has("profiles_complete")) << round;
        WaitFor(
            {ann.get()}, [] { return false; }, 1);  // the old connection goes meanwhile
        EXPECT_TRUE(ann->net.logged_on()) << round;
        EXPECT_FALSE(ann->frontend.Has("connection_lost")) << round;
    }
}

TEST_F(LobbyIntegrationTest, ConnectionLossAndRestartKeepAccountsAndProfiles) {
    CreateAccount("Ann", "pw-ann");
    auto ann = NewClient("ann");
    Enter(*ann, "Ann", "pw-ann", 1);

    server->Stop();
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("connection_lost"); }));
    EXPECT_TRUE(ann->net.idle());
    EXPECT_TRUE(ann->net.users().empty());

    server = std::make_unique<RunningServer>(database, dir + "/server2");
    ASSERT_NE(server->port(), 0);
    auto again = NewClient("again");
    ASSERT_EQ(again->net.Login("Ann", "pw-ann", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({again.get()}, [&] { return again->frontend.Has("profiles_complete"); }));
    EXPECT_EQ(GetU16(again->frontend.profiles_[0], kProfActive), 1);
    EXPECT_EQ(GetText(again->frontend.profiles_[0], kProfName, kNameWidth), "Ann");
    EXPECT_EQ(GetU16(again->frontend.profiles_[1], kProfActive), 0);
}

TEST_F(LobbyIntegrationTest, AutomaticLoginEndsInTheLastChannel) {
    CreateAccount("Ann", "pw-ann");
    {
        auto first = NewClient("first");
        Enter(*first, "Ann", "pw-ann", 2);
    }
    // After a game the front end logs in with the saved profile and channel.
    auto ann = NewClient("ann");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bool entered = false;
    for (int attempt = 0; attempt < 20 && !entered; ++attempt) {
        ann->frontend.events.clear();
        ann->net.Login("Ann", "pw-ann", "", "", false, 0, 2);
        entered = WaitFor({ann.get()},
                          [&] {
                              return ann->frontend.Has("channel_entered") ||
                                     ann->frontend.Has("login_error LOBBY_ALREADY_ONLINE");
                          }) &&
                  ann->frontend.Has("channel_entered");
        // The first session may still be on its way out.
        if (!entered)
            WaitFor({ann.get()}, [&] { return ann->frontend.Has("login_finished"); });
    }
    ASSERT_TRUE(entered);
    EXPECT_TRUE(ann->frontend.Has("channel_list 1"));
    EXPECT_FALSE(ann->frontend.Has("profiles_complete"));
    EXPECT_EQ(ann->net.last_channel(), 2);
}

namespace {

// Runs `command` and returns what it printed; `status` gets its exit status.
std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

}  // namespace

// The operator's view of a lobby with users in two channels: the metrics read
// by the Prometheus client's parser, the page as a browser shows it.
TEST_F(LobbyIntegrationTest, StatusPageAndMetricsShowTheLobby) {
    if (std::system(
            "command -v chromium >/dev/null && /usr/bin/python3 -c 'import prometheus_client'") !=
        0)
        GTEST_SKIP() << "chromium or python3-prometheus-client is not installed";
    CreateAccount("Ann", "pw-ann");
    CreateAccount("Bob", "pw-bob");
    auto ann = NewClient("ann");
    auto bob = NewClient("bob");
    ASSERT_NO_FATAL_FAILURE(Enter(*ann, "Ann", "pw-ann", 1));
    ASSERT_NO_FATAL_FAILURE(Enter(*bob, "Bob", "pw-bob", 2));
    ASSERT_EQ(ann->net.SendChat("<b>hello</b>", -1), 1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        const auto status = server->status();
        return status && status->users_online == 2 && status->chat_lines == 1;
    }));

    StatusHttp http;
    std::string error;
    ASSERT_TRUE(http.Start(
        "127.0.0.1:0", [this] { return server->status(); }, &error))
        << error;
    const std::string url = "http://127.0.0.1:" + std::to_string(http.port()) + "/";
    int status = -1;
    const std::string samples = RunCommand(
        "/usr/bin/python3 " VORLANE_TEST_SOURCE_DIR "/tests/server/check_metrics.py " + url,
        &status);
    ASSERT_EQ(status, 0) << samples;
    for (const char* sample :
         {"vorlane_lobby_users_online{} 2.0",
          "vorlane_lobby_channel_users{channel=\"Main Hall\"} 1.0",
          "vorlane_lobby_channel_users{channel=\"Battle Zone\"} 1.0",
          "vorlane_lobby_chat_lines_total{} 1.0", "vorlane_lobby_logins_total{} 2.0",
          "vorlane_lobby_login_seconds_count{} 2.0"}) {
        EXPECT_NE(samples.find(sample), std::string::npos) << sample << "\n" << samples;
    }

    // As root Chromium needs --no-sandbox; a profile of its own keeps runs apart.
    const std::string browser =
        "chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + dir +
        "/chromium --window-size=900,400 ";
    const std::string dom = RunCommand(browser + "--dump-dom " + url + " 2>/dev/null", &status);
    ASSERT_EQ(status, 0);
    for (const char* text : {"Main Hall", "Ann", "Battle Zone", "Bob", "2 users online"})
        EXPECT_NE(dom.find(text), std::string::npos) << text << "\n" << dom;
    // The picture stays with the build for a person to look at.
    const std::string shot = VORLANE_TEST_BINARY_DIR "/artifacts/status_page.png";
    std::filesystem::create_directories(VORLANE_TEST_BINARY_DIR "/artifacts");
    RunCommand(browser + "--screenshot=" + shot + " " + url + " 2>/dev/null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(std::filesystem::exists(shot));
}
