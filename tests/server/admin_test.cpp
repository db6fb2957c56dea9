// The operator's commands through the real vorlane-lobbyctl against a
// server in-process, with real clients: kick, mute, bans by account and by
// address (clients bound to 127.0.0.2 and 127.0.0.3), reload and channels,
// backup and reset-password, and what the audit log keeps.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "baselib/bl_memory.h"
#include "tests/server/pg_server.h"
#include "tests/server/running_server.h"

using namespace vorlane::server;
using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;

namespace {

constexpr uint32_t kLoopback2 = 0x7F000002;
constexpr uint32_t kLoopback3 = 0x7F000003;

struct Ctl {
    int status = -1;
    std::string output;  // standard output and error
};

class AdminTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }

    void SetUp() override {
        dir = ::testing::TempDir() + "admin/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        config_path = dir + "/lobbyd.cfg";
        WriteConfig({"Main Hall, 0", "Battle Zone, 2"});
        Restart();
    }

    void WriteConfig(const std::vector<std::string>& channels) {
        std::ofstream file(config_path);
        file << "[lobbyd]\n";
        for (size_t i = 0; i < channels.size(); ++i)
            file << "channel" << i + 1 << " = " << channels[i] << "\n";
    }

    // A server on the same database, the same clock and the same socket.
    void Restart() {
        server.reset();
        server = std::make_unique<RunningServer>(
            dir + "/lobbyd.sqlite", dir + "/server",
            [](LobbyStore& store) {
                for (const char* name : {"Ann", "Bob"}) {
                    uint32_t id = 0;
                    store.CreateAccount(name, "pw", "", &id);
                }
                return true;
            },
            [this](LobbyConfig& config) {
                std::string error;
                ASSERT_TRUE(LoadLobbyConfig(config_path, &config, &error)) << error;
                config.hash = HashStrength::kMinimum;
                config.kernel = DefaultServerSettings();
                config.kernel.port = 0;
                config.database = dir + "/lobbyd.sqlite";
            },
            [this](LobbyServer& lobby) {
                lobby.set_wall_clock([this] { return now.load(); });
                std::string error;
                EXPECT_TRUE(lobby.OpenAdmin(&error)) << error;
                return error.empty();
            });
        ASSERT_NE(server->port(), 0);
    }

    Ctl Run(const std::string& arguments) {
        Ctl ctl;
        const std::string command = VORLANE_TEST_BINARY_DIR "/server/vorlane-lobbyctl --socket " +
                                    dir + "/admin.sock " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return ctl;
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) ctl.output.append(chunk, n);
        const int raw = pclose(pipe);
        ctl.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return ctl;
    }
    // Runs a command that must succeed; its output.
    std::string Ok(const std::string& arguments) {
        const Ctl ctl = Run(arguments);
        EXPECT_EQ(ctl.status, 0) << arguments << "\n" << ctl.output;
        return ctl.output;
    }

    std::unique_ptr<Client> NewClient(const std::string& name, uint32_t source = 0) {
        auto client = std::make_unique<Client>(server->port(), dir + "/" + name, source);
        EXPECT_TRUE(client->ready);
        return client;
    }
    // Logs in with a new profile and joins `channel`.
    void Enter(Client& client, const std::string& name, uint16_t channel) {
        ASSERT_NO_FATAL_FAILURE(LogInWithNewProfile(client, name, "pw"));
        ASSERT_EQ(client.net.JoinChannel(channel), 1);
        ASSERT_TRUE(WaitFor({&client}, [&] { return client.frontend.Has("user_added " + name); }));
    }
    // Tries a log-in and returns the first answer the front end got.
    std::string TryLogin(Client& client, const std::string& name) {
        client.frontend.events.clear();
        client.net.Login(name.c_str(), "pw", "", "", false, 0xFFFF, 0xFFFF);
        std::string answer;
        WaitFor({&client}, [&] {
            for (const char* prefix : {"login_refused", "login_error", "profiles_complete"}) {
                if (answer.empty())
                    answer = client.frontend.Find(prefix);
            }
            return !answer.empty();
        });
        return answer;
    }

    std::string dir, config_path;
    std::atomic<int64_t> now{int64_t(std::time(nullptr))};
    std::unique_ptr<RunningServer> server;
};

}  // namespace

// A kicked client is gone with the reason; a muted client's lines reach
// nobody and come back as a notice; a server line reaches every channel.
TEST_F(AdminTest, KickMuteAndServerLines) {
    auto ann = NewClient("ann");
    auto bob = NewClient("bob");
    Enter(*ann, "Ann", 1);
    Enter(*bob, "Bob", 2);
    const std::string who = Ok("who");
    EXPECT_NE(who.find("2 users online"), std::string::npos) << who;
    EXPECT_NE(who.find("Battle Zone"), std::string::npos) << who;
    EXPECT_NE(Ok("stats").find("users_online 2"), std::string::npos);
    // Bob hosts a game in the game channel.
    GameRecord game{};
    PutText(game, kGameName, "Duel at Vega", kGameNameWidth);
    PutU16(game, kGameMaxPlayers, 4);
    const std::vector<uint8_t> record = EncodeGameRecord(PKTCHECK(), kPktGameRegister, game);
    ASSERT_EQ(bob->net.SendToServer(kLobbyModuleType, kPktGameRegister, record.data(),
                                    uint32_t(record.size())),
              1);
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return bob->net.games().size() == 1; }));
    const std::string games = Ok("games");
    EXPECT_NE(games.find("Duel at Vega"), std::string::npos) << games;
    EXPECT_NE(games.find("Bob"), std::string::npos) << games;

    Ok("say \"Restart at 22:00\"");
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return ann->frontend.Has("notice 5 0 Restart at 22:00") &&
               bob->frontend.Has("notice 5 0 Restart at 22:00");
    }));

    // Bob joins Ann's channel and is muted for ten minutes.
    ASSERT_EQ(bob->net.JoinChannel(1), 1);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return ann->net.users().size() == 2; }));
    EXPECT_NE(Ok("mute bob 10m flooding the hall").find("muted Bob for 10m"), std::string::npos);
    ASSERT_TRUE(
        WaitFor({bob.get()}, [&] { return bob->frontend.Has("notice 1 600 flooding the hall"); }));
    bob->frontend.events.clear();
    ASSERT_EQ(bob->net.SendChat("can you hear me", -1), 1);
    ASSERT_TRUE(
        WaitFor({bob.get()}, [&] { return bob->frontend.Has("notice 1 600 flooding the hall"); }));
    ASSERT_EQ(ann->net.SendChat("quiet here", -1), 1);
    const std::string quiet = "chat 0 " + std::to_string(ann->net.own_id()) + " quiet here";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return bob->frontend.Has(quiet); }));
    EXPECT_TRUE(ann->frontend.Find("chat 0 " + std::to_string(bob->net.own_id())).empty());
    // The mute ends by itself.
    now += 601;
    ASSERT_EQ(bob->net.SendChat("back again", -1), 1);
    const std::string back = "chat 0 " + std::to_string(bob->net.own_id()) + " back again";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has(back); }));
    // ... or when the operator lifts it.
    Ok("mute Bob permanent");
    Ok("unmute bob");
    ASSERT_EQ(bob->net.SendChat("lifted", -1), 1);
    const std::string lifted = "chat 0 " + std::to_string(bob->net.own_id()) + " lifted";
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] { return ann->frontend.Has(lifted); }));

    EXPECT_NE(Ok("kick Ann \"be nice\"").find("kicked Ann"), std::string::npos);
    ASSERT_TRUE(WaitFor({ann.get(), bob.get()}, [&] {
        return ann->frontend.Has("login_finished") && bob->frontend.Has("user_removed Ann");
    }));
    EXPECT_TRUE(ann->frontend.Has("notice 2 0 be nice"));
    EXPECT_FALSE(ann->frontend.Has("connection_lost"));
    EXPECT_FALSE(ann->net.logged_on());
    EXPECT_NE(Ok("who").find("1 users online"), std::string::npos);
    const Ctl again = Run("kick Ann");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("nobody called Ann is online"), std::string::npos) << again.output;
}

// A banned account is sent out, and refused with reason and time left, also
// after a restart, until the ban ends; unban lifts one at once.
TEST_F(AdminTest, BannedAccountIsRefusedUntilTheBanEnds) {
    auto ann = NewClient("ann");
    Enter(*ann, "Ann", 1);
    EXPECT_NE(Ok("ban ann 2h cheating in ranked games").find("1 connections closed"),
              std::string::npos);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("login_finished"); }));
    EXPECT_TRUE(ann->frontend.Has("notice 3 7200 cheating in ranked games"));
    EXPECT_FALSE(ann->frontend.Has("connection_lost"));

    auto again = NewClient("again");
    EXPECT_EQ(TryLogin(*again, "Ann"), "login_refused 7200 cheating in ranked games");
    EXPECT_FALSE(again->frontend.Has("connection_lost"));
    const Ctl wrong = Run("ban Bob 3x spam");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.output.find("duration"), std::string::npos) << wrong.output;
    Ok("ban Bob permanent spam");

    Restart();
    now += 3600;
    auto later = NewClient("later");
    EXPECT_EQ(TryLogin(*later, "Ann"), "login_refused 3600 cheating in ranked games");
    auto bob = NewClient("bob");
    EXPECT_EQ(TryLogin(*bob, "Bob"), "login_refused 4294967295 spam");
    EXPECT_NE(Ok("bans").find("permanent"), std::string::npos);

    now += 3601;
    auto after = NewClient("after");
    EXPECT_EQ(TryLogin(*after, "Ann"), "profiles_complete");
    Ok("unban bob");
    auto bob_again = NewClient("bob_again");
    EXPECT_EQ(TryLogin(*bob_again, "Bob"), "profiles_complete");
    EXPECT_EQ(Run("unban bob").status, 1);
}

// An address ban holds for that address only, log-ins and new accounts alike.
TEST_F(AdminTest, AddressBanHoldsForThatAddressOnly) {
    auto banned = NewClient("banned", kLoopback2);
    Enter(*banned, "Ann", 1);
    Ok("ban 127.0.0.2 1h bots from here");
    ASSERT_TRUE(WaitFor({banned.get()}, [&] { return banned->frontend.Has("login_finished"); }));
    EXPECT_TRUE(banned->frontend.Has("notice 3 3600 bots from here"));

    auto creator = NewClient("creator", kLoopback2);
    creator->net.FirstLogin("Carl", "pw", "", "c@d.e", false);
    ASSERT_TRUE(WaitFor({creator.get()}, [&] { return creator->frontend.Has("login_finished"); }));
    EXPECT_TRUE(creator->frontend.Has("login_refused 3600 bots from here"));
    EXPECT_FALSE(creator->frontend.Has("account_created"));
    auto from2 = NewClient("from2", kLoopback2);
    EXPECT_EQ(TryLogin(*from2, "Bob"), "login_refused 3600 bots from here");
    auto from3 = NewClient("from3", kLoopback3);
    EXPECT_EQ(TryLogin(*from3, "Bob"), "profiles_complete");
    EXPECT_NE(Ok("who").find("127.0.0.3"), std::string::npos);

    Ok("unban 127.0.0.2");
    auto back = NewClient("back", kLoopback2);
    EXPECT_EQ(TryLogin(*back, "Ann"), "profiles_complete");
}

// reload adds the file's new channel while everybody stays; the tool's
// channels win over the file at reload and restart, and keep their numbers.
TEST_F(AdminTest, ReloadAndChannelsKeepUsersAndNumbers) {
    auto ann = NewClient("ann");
    auto bob = NewClient("bob");
    Enter(*ann, "Ann", 1);
    Enter(*bob, "Bob", 2);
    WriteConfig({"Newcomers, 2", "Main Hall, 0", "Battle Zone, 2"});
    std::ofstream(config_path, std::ios::app) << "chat_lines = 9\n";
    const std::string reload = Ok("reload");
    EXPECT_NE(reload.find("added: Newcomers"), std::string::npos) << reload;
    EXPECT_NE(reload.find(":5: unknown key chat_lines"), std::string::npos) << reload;
    EXPECT_NE(Ok("reload").find("reloaded " + config_path), std::string::npos);  // and again
    ASSERT_EQ(ann->net.RequestChannelList(), 1);
    ASSERT_TRUE(WaitFor({ann.get()},
                        [&] { return DecodeChannelTable(ann->net.channel_table()).size() == 3; }));
    EXPECT_EQ(DecodeChannelTable(ann->net.channel_table())[2].number, 3);
    ASSERT_EQ(ann->net.SendChat("still here", -1), 1);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] {
        return ann->frontend.Has("chat 0 " + std::to_string(ann->net.own_id()) + " still here");
    }));
    EXPECT_FALSE(ann->frontend.Has("connection_lost"));
    EXPECT_FALSE(bob->frontend.Has("connection_lost"));

    // Bob's channel goes: back to the channel list, with a notice.
    EXPECT_NE(Ok("channel remove \"battle zone\"").find("1 users sent back"), std::string::npos);
    ASSERT_TRUE(WaitFor({bob.get()}, [&] { return bob->frontend.Has("notice 4 0 Battle Zone"); }));
    EXPECT_EQ(DecodeChannelTable(bob->net.channel_table()).size(), 2u);
    EXPECT_TRUE(bob->net.users().empty());
    EXPECT_NE(Ok("channel add Traders 2").find("as number 4"), std::string::npos);
    EXPECT_EQ(Run("channel add Traders 2").status, 1);
    EXPECT_EQ(Run("channel add \"Bad \" 2").status, 1);

    // The file still names Battle Zone and not Traders: the tool wins.
    Restart();
    const std::string channels = Ok("channels");
    EXPECT_EQ(channels.find("Battle Zone"), std::string::npos) << channels;
    EXPECT_NE(channels.find("     4 Traders"), std::string::npos) << channels;
    EXPECT_NE(channels.find("     3 Newcomers"), std::string::npos) << channels;
    // Back again, it has its old number.
    EXPECT_NE(Ok("channel add \"Battle Zone\" 2").find("as number 2"), std::string::npos);
}

// backup makes a database that opens and holds the accounts; reset-password
// prints a password that logs in; the audit log has every command, not the
// password.
TEST_F(AdminTest, BackupResetPasswordAndAuditLog) {
    const std::string copy = dir + "/copy.sqlite";
    EXPECT_NE(Ok("backup " + copy).find("copied the database"), std::string::npos);
    auto store = LobbyStore::Open(copy, HashStrength::kMinimum);
    ASSERT_TRUE(store);
    uint32_t id = 0;
    EXPECT_EQ(store->CheckLogin("Bob", "pw", &id), StoreResult::kOk);
    EXPECT_EQ(std::filesystem::status(copy).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const Ctl twice = Run("backup " + copy);
    EXPECT_EQ(twice.status, 1);  // an existing file is never overwritten
    EXPECT_NE(twice.output.find("File exists"), std::string::npos) << twice.output;

    const std::string reset = Ok("reset-password ann");
    const size_t at = reset.find("password: ");
    ASSERT_NE(at, std::string::npos) << reset;
    const std::string password = reset.substr(at + 10, 9);
    auto ann = NewClient("ann");
    ann->net.Login("Ann", password.c_str(), "", "", false, 0xFFFF, 0xFFFF);
    ASSERT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has("profiles_complete"); }));

    const Ctl unknown = Run("frobnicate");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(Run("").status, 2);
    EXPECT_EQ(Run("--help").status, 0);
    std::ifstream audit(dir + "/audit.log");
    std::stringstream text;
    text << audit.rdbuf();
    EXPECT_NE(text.str().find(": reset-password ann -> ok: new password set for Ann"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("frobnicate -> error"), std::string::npos);
    EXPECT_EQ(text.str().find(password), std::string::npos);
    EXPECT_EQ(
        std::filesystem::status(dir + "/admin.sock").permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// A server on a PostgreSQL store takes accounts and profiles as on SQLite;
// backup, which copies an SQLite file, says it is not for this store.
TEST(AdminOnPostgresql, PlayersLogInAndBackupIsRefused) {
    std::string skip;
    PgServer* pg = PgServer::Get(&skip);
    if (!pg)
        GTEST_SKIP() << skip;
    ASSERT_TRUE(pg->ready());
    BL_Init();
    const std::string location = pg->NewDatabase();
    const std::string dir = ::testing::TempDir() + "admin/postgresql";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    RunningServer server(
        location, dir + "/server",
        [](LobbyStore& store) {
            return store.CreateAccount("Bob", "pw", "", nullptr) == StoreResult::kOk;
        },
        [&](LobbyConfig& config) {
            config.store = location;
            config.log_dir = dir;
        },
        [](LobbyServer& lobby) {
            std::string error;
            EXPECT_TRUE(lobby.OpenAdmin(&error)) << error;
            return error.empty();
        });
    ASSERT_NE(server.port(), 0);
    Client bob(server.port(), dir + "/bob");
    ASSERT_TRUE(bob.ready);
    ASSERT_NO_FATAL_FAILURE(LogInWithNewProfile(bob, "Bob", "pw"));

    // Without a file of its own, the store's admin socket is in the log folder.
    const std::string command = VORLANE_TEST_BINARY_DIR "/server/vorlane-lobbyctl --socket " + dir +
                                "/admin.sock backup " + dir + "/copy.sqlite 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string output;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
    const int status = pclose(pipe);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << output;
    EXPECT_NE(output.find("only for an SQLite store"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(dir + "/copy.sqlite"));
}
