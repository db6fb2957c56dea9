// vorlane-game online, against the lobby server run in-process on 127.0.0.1:
// the host's game is registered and listed, its result is stored and the
// game removed before the process ends, a joining player's game takes its
// seat, and each account is free for the front end's log-in the moment the
// game has handed back.
#include "game/online_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "baselib/bl_memory.h"
#include "baselib/cfgfile.h"
#include "game/hand_over.h"
#include "server/lobby_server.h"
#include "tests/server/running_server.h"
#include "tests/support/stalled_server.h"

using namespace vorlane::net;
using namespace vorlane::server;
namespace fs = std::filesystem;

namespace {

constexpr uint16_t kGameChannel = 2;  // "Battle Zone": games may be created

fs::path TestDir() {
    const fs::path dir = fs::path(::testing::TempDir()) / "online_host" /
                         ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir);
    fs::create_directories(dir / "data");
    return dir;
}

using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;

// Gives the database an account with an active profile in slot 1.
bool SeedAccount(LobbyStore& store, const std::string& name, const std::string& password,
                 uint32_t* account) {
    if (store.CreateAccount(name, password, "h@example.test", account) != StoreResult::kOk)
        return false;
    Profile profile{};
    PutU16(profile, kProfActive, 1);
    PutText(profile, kProfName, name, kNameWidth);
    return store.StoreProfile(*account, 1, profile);
}

// The same, stepping the game host instead.
bool WaitForHost(vorlane::game::OnlineSession& host, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        host.Poll(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// Creates an account through the server, logs in, stores profile slot 0 under
// `name` and joins the game channel.
void Enter(Client& client, Client& creator, const std::string& name) {
    ASSERT_EQ(creator.net.FirstLogin(name.c_str(), "pw", "", "x@example.test", false), 1);
    ASSERT_TRUE(WaitFor({&creator}, [&] { return creator.frontend.Has("account_created"); }));
    ASSERT_NO_FATAL_FAILURE(LogInWithNewProfile(client, name, "pw"));
    ASSERT_EQ(client.net.JoinChannel(kGameChannel), 1);
    ASSERT_TRUE(WaitFor({&client}, [&] { return client.frontend.Has("channel_entered"); }));
}

// Where the game run in `dir` finds its player's files (XDG_DATA_HOME, which
// RunGame sets).
fs::path PlayerFile(const fs::path& dir, const char* name) {
    return dir / "home" / "vorlane" / name;
}

// The files the front end leaves for an online game it creates.
void WriteRunFolder(const fs::path& dir, uint16_t port, uint32_t account) {
    {
        std::ofstream ini(dir / "data/lobbynet.ini");
        ini << "[LOOMEX_CLIENT]\nport=" << port
            << "\nusr_max=16\nbuf_rw=65536\nbuf_writeblock=65536\nthrd_exit=1000\n"
               "srv_newconnect=100\nsrv_waitforflags=20\nsrv_sendlogofftimeout=2000\n"
               "srv_sendlogonrequest=5000\nsrv_checkdeadcon=60000\nsrv_checkdeadcalltime=5000\n"
               "srv_sendalive=10000\nusr_initnew=5000\nusr_remove=5000\nusr_logoncheck=15000\n"
               "usr_logofftimeout=2000\ndrv_removetime=200\n";
    }
    CFGFILE lobby;
    lobby.SetText("main", "server", "127.0.0.1");
    lobby.SetNumber("main", "lan_bcast_port", 0);  // the players' port: any free one
    fs::create_directories(PlayerFile(dir, ""));
    ASSERT_TRUE(lobby.Write(PlayerFile(dir, "lobby.cfg").string()));
    CFGFILE mplayer;
    mplayer.SetText("game", "mode", "server");
    mplayer.SetNumber("game", "lan", 0);
    mplayer.SetText("game", "password", "");
    mplayer.SetText("game", "mission", "first_contact");
    mplayer.SetText("game", "name", "Alpha/First Contact/Host");
    mplayer.SetNumber("user", "permid", account);
    mplayer.SetNumber("user", "profid", 0);
    mplayer.SetNumber("user", "lastchannel", kGameChannel);
    mplayer.SetText("user", "username", "Host");
    mplayer.SetText("user", "password", "pw-host");
    ASSERT_TRUE(mplayer.Write(PlayerFile(dir, "mplayer.cfg").string()));
}

// Runs vorlane-game in `dir` for `seconds`; the exit status, or -1.
int RunGame(const fs::path& dir, double seconds) {
    // Everything the child needs is made before the fork: the test process
    // runs threads, and the child only changes folder, redirects and execs.
    const std::string out = (dir / "game.out").string();
    const std::string duration = std::to_string(seconds);
    setenv("XDG_DATA_HOME", (dir / "home").c_str(), 1);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0)
            _exit(127);
        execl(GAME_EXE, GAME_EXE, "+multiplayer", "--headless", "--no-return", "--duration",
              duration.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The online host's kernel writes its logs to logs/game of the working
// folder, so the in-process host runs in the test's run folder.
class WorkingFolder {
  public:
    explicit WorkingFolder(const fs::path& dir) : saved_(fs::current_path()) {
        fs::current_path(dir);
    }
    ~WorkingFolder() { fs::current_path(saved_); }

  private:
    fs::path saved_;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class OnlineSessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }  // the kernel's logs need the file layer

    void SetUp() override {
        dir = TestDir();
        server = std::make_unique<RunningServer>(
            (dir / "lobbyd.sqlite").string(), (dir / "server").string(), [this](LobbyStore& store) {
                return SeedAccount(store, "Host", "pw-host", &host_account) &&
                       SeedAccount(store, "Pilot", "pw-pilot", &pilot_account);
            });
        ASSERT_NE(server->port(), 0);
        ASSERT_NE(host_account, 0u);
    }
    // The hand-over of the run folder WriteRunFolder made.
    void ReadRunFolder(vorlane::game::HandOver* hand_over) {
        std::string error;
        ASSERT_TRUE(vorlane::game::ReadHandOver(PlayerFile(dir, "mplayer.cfg").string(),
                                                PlayerFile(dir, "lobby.cfg").string(), *hand_over,
                                                error))
            << error;
    }
    std::unique_ptr<Client> NewClient(const std::string& name) {
        auto client = std::make_unique<Client>(server->port(), (dir / name).string());
        EXPECT_TRUE(client->ready);
        return client;
    }

    LogCapture log;
    fs::path dir;
    std::unique_ptr<RunningServer> server;
    uint32_t host_account = 0;
    uint32_t pilot_account = 0;
};

}  // namespace

// The whole life of the stand-in game as the front end starts it: a player in
// the channel sees the game come and go, the host's win is stored, the
// hand-over file carries the return marker, and the host's account logs in
// again at once with the new statistics (no "already online").
TEST_F(OnlineSessionTest, GameProgramRegistersReportsAndHandsTheAccountBack) {
    auto creator = NewClient("creator");
    auto ann = NewClient("ann");
    ASSERT_NO_FATAL_FAILURE(Enter(*ann, *creator, "Ann"));
    ASSERT_NO_FATAL_FAILURE(WriteRunFolder(dir, server->port(), host_account));

    std::atomic<int> status{-2};
    std::thread game([&] { status = RunGame(dir, 3.0); });
    std::string listed;
    uint32_t game_id = 0;
    WaitFor(
        {ann.get()},
        [&] {
            if (ann->net.games().empty())
                return status != -2;
            listed = GameRecordName(ann->net.games()[0]);
            game_id = GameRecordId(ann->net.games()[0]);
            return true;
        },
        20);
    game.join();
    ASSERT_EQ(status, 0) << ReadAll(dir / "game.out");
    ASSERT_NE(game_id, 0u) << "the game was not listed\n" << ReadAll(dir / "game.out");
    EXPECT_EQ(listed, "Alpha/First Contact/Host");
    EXPECT_TRUE(WaitFor(
        {ann.get()}, [&] { return ann->frontend.Has("game_removed " + std::to_string(game_id)); },
        5));

    CFGFILE mplayer;
    ASSERT_TRUE(mplayer.Read(PlayerFile(dir, "mplayer.cfg").string()));
    EXPECT_EQ(mplayer.GetNumber("game", "return_from_game", 0), 1);

    // What the returning front end does first: log in with the same account.
    auto back = NewClient("back");
    ASSERT_EQ(back->net.Login("Host", "pw-host", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({back.get()}, [&] {
        return back->frontend.Has("profiles_complete") ||
               back->frontend.Has("login_error LOBBY_ALREADY_ONLINE");
    }));
    ASSERT_TRUE(back->frontend.Has("profiles_complete")) << "the game's log-in is still online";
    const Profile& profile = back->net.profiles()[0];
    EXPECT_EQ(GetU32(profile, kProfWon), 1u);
    EXPECT_EQ(GetU32(profile, kProfLost), 0u);
    EXPECT_EQ(int32_t(GetU32(profile, kProfScore)), 10);
}

// A client that logs off is gone for the server at once, before its
// connection is finally removed: the same account logs in again immediately.
TEST_F(OnlineSessionTest, LoggedOffAccountLogsInAgainAtOnce) {
    auto first = NewClient("first");
    ASSERT_EQ(first->net.Login("Host", "pw-host", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({first.get()}, [&] { return first->frontend.Has("profiles_complete"); }));
    ASSERT_EQ(first->net.Disconnect(), 1);
    ASSERT_TRUE(WaitFor({first.get()}, [&] { return first->net.state() == 45; }));

    auto second = NewClient("second");
    ASSERT_EQ(second->net.Login("Host", "pw-host", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({second.get()}, [&] {
        return second->frontend.Has("profiles_complete") ||
               second->frontend.Has("login_error LOBBY_ALREADY_ONLINE");
    }));
    EXPECT_TRUE(second->frontend.Has("profiles_complete"));
    EXPECT_FALSE(second->frontend.Has("login_error LOBBY_ALREADY_ONLINE"));
}

// The host in-process: Start with the hand-over's account, registration once
// the channel is entered; Finish gets the results stored and the game removed.
// When the server is gone before the end, Finish gives up within its bounds.
TEST_F(OnlineSessionTest, FinishWaitsForTheServerButNotForever) {
    ASSERT_NO_FATAL_FAILURE(WriteRunFolder(dir, server->port(), host_account));
    vorlane::game::HandOver hand_over;
    std::string error;
    ASSERT_NO_FATAL_FAILURE(ReadRunFolder(&hand_over));
    WorkingFolder working_folder(dir);
    {
        vorlane::game::OnlineSession host;
        ASSERT_TRUE(host.Start(hand_over, (dir / "data/lobbynet.ini").string(), error)) << error;
        ASSERT_TRUE(WaitForHost(host, [&] { return host.registered(); })) << host.status();
        host.Finish();
        EXPECT_EQ(host.results_answer(), 0);
        EXPECT_TRUE(host.removed());
    }
    {
        vorlane::game::OnlineSession host;
        ASSERT_TRUE(host.Start(hand_over, (dir / "data/lobbynet.ini").string(), error)) << error;
        ASSERT_TRUE(WaitForHost(host, [&] { return host.registered(); })) << host.status();
        server->Stop();
        const auto start = std::chrono::steady_clock::now();
        host.Finish(300);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_NE(host.results_answer(), 0);
        EXPECT_FALSE(host.removed());
    }
}

// The front end that started the game may still count as online for a
// moment: the host's log-in is refused as "already online" and tried again
// until the server has let the old connection go.
TEST_F(OnlineSessionTest, HostLogsInAgainWhileTheAccountIsStillOnline) {
    ASSERT_NO_FATAL_FAILURE(WriteRunFolder(dir, server->port(), host_account));
    auto front_end = NewClient("front_end");
    ASSERT_EQ(front_end->net.Login("Host", "pw-host", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(
        WaitFor({front_end.get()}, [&] { return front_end->frontend.Has("profiles_complete"); }));
    vorlane::game::HandOver hand_over;
    std::string error;
    ASSERT_NO_FATAL_FAILURE(ReadRunFolder(&hand_over));
    WorkingFolder working_folder(dir);
    vorlane::game::OnlineSession host;
    ASSERT_TRUE(host.Start(hand_over, (dir / "data/lobbynet.ini").string(), error)) << error;
    ASSERT_TRUE(WaitForHost(host, [&] {
        return host.status().find("still online") != std::string::npos;
    })) << host.status();
    // Refused attempts go on while the front end stays.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
    while (std::chrono::steady_clock::now() < until) {
        host.Poll(1);
        front_end->net.Update();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(host.registered());
    ASSERT_EQ(front_end->net.Disconnect(), 1);
    ASSERT_TRUE(WaitForHost(host, [&] {
        front_end->net.Update();
        return host.registered();
    })) << host.status();
    host.Finish();
    EXPECT_EQ(host.results_answer(), 0);
}

// A joining player's game logs in as that player and confirms its seat in
// the host's game, so the host may report it; at the end it logs off and
// the account is free again at once. A seat in a game that is not there is
// refused and said so.
TEST_F(OnlineSessionTest, JoiningPlayerTakesItsSeatAndHandsTheAccountBack) {
    ASSERT_NO_FATAL_FAILURE(WriteRunFolder(dir, server->port(), host_account));
    vorlane::game::HandOver hand_over;
    std::string error;
    ASSERT_NO_FATAL_FAILURE(ReadRunFolder(&hand_over));
    WorkingFolder working_folder(dir);
    vorlane::game::OnlineSession host;
    ASSERT_TRUE(host.Start(hand_over, (dir / "data/lobbynet.ini").string(), error)) << error;
    ASSERT_TRUE(WaitForHost(host, [&] { return host.registered(); })) << host.status();

    vorlane::game::HandOver joining = hand_over;
    joining.host = false;
    joining.username = "Pilot";
    joining.user_password = "pw-pilot";
    joining.game_id = host.game_id() + 1;
    {
        vorlane::game::OnlineSession lost;
        ASSERT_TRUE(lost.Start(joining, (dir / "data/lobbynet.ini").string(), error)) << error;
        ASSERT_TRUE(WaitForHost(lost, [&] { return lost.seat_answer() >= 0; })) << lost.status();
        EXPECT_EQ(lost.seat_answer(), kCodeRefused);
        EXPECT_NE(lost.status().find("refused the seat"), std::string::npos);
        lost.Finish();
    }
    joining.game_id = host.game_id();
    vorlane::game::OnlineSession seat;
    ASSERT_TRUE(seat.Start(joining, (dir / "data/lobbynet.ini").string(), error)) << error;
    ASSERT_TRUE(WaitForHost(seat, [&] {
        host.Poll(1);
        return seat.seat_answer() >= 0;
    })) << seat.status();
    EXPECT_EQ(seat.seat_answer(), 0);
    EXPECT_EQ(seat.status(), "seat confirmed in game " + std::to_string(host.game_id()));
    EXPECT_FALSE(seat.registered());  // a seat registers nothing
    seat.Finish();

    auto back = NewClient("back");
    ASSERT_EQ(back->net.Login("Pilot", "pw-pilot", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({back.get()}, [&] {
        return back->frontend.Has("profiles_complete") ||
               back->frontend.Has("login_error LOBBY_ALREADY_ONLINE");
    }));
    EXPECT_TRUE(back->frontend.Has("profiles_complete")) << "the seat's log-in is still online";
    host.Finish();
    EXPECT_EQ(host.results_answer(), 0);
}

// A channel where games may not be created refuses the registration; the
// host says so instead of waiting for an identifier that never comes.
TEST_F(OnlineSessionTest, RefusedRegistrationIsReported) {
    ASSERT_NO_FATAL_FAILURE(WriteRunFolder(dir, server->port(), host_account));
    vorlane::game::HandOver hand_over;
    std::string error;
    ASSERT_NO_FATAL_FAILURE(ReadRunFolder(&hand_over));
    hand_over.channel = 1;  // "Main Hall": no games
    WorkingFolder working_folder(dir);
    vorlane::game::OnlineSession host;
    ASSERT_TRUE(host.Start(hand_over, (dir / "data/lobbynet.ini").string(), error)) << error;
    ASSERT_TRUE(WaitForHost(host, [&] {
        return host.status().find("refused the game (code 21)") != std::string::npos;
    })) << host.status();
    EXPECT_FALSE(host.registered());
    host.Finish(1000);  // nothing to report; logs off
    EXPECT_EQ(host.results_answer(), -1);
}

// A hand-over without the profile or channel the lobby client saved (or,
// for a joining player, the game) cannot go online; nothing is connected.
TEST(OnlineSession, RefusesAHandOverWithoutProfileOrChannel) {
    vorlane::game::HandOver hand_over;
    hand_over.host = true;
    hand_over.channel = 2;
    std::string error;
    vorlane::game::OnlineSession host;
    EXPECT_FALSE(host.Start(hand_over, "missing.ini", error));
    EXPECT_NE(error.find("profile"), std::string::npos);
    hand_over.profile = 4;  // slots are 0..3
    EXPECT_FALSE(host.Start(hand_over, "missing.ini", error));
    hand_over.profile = 0;
    hand_over.channel = -1;
    EXPECT_FALSE(host.Start(hand_over, "missing.ini", error));
    hand_over.channel = 2;
    hand_over.host = false;  // joining, but game/id is missing
    EXPECT_FALSE(host.Start(hand_over, "missing.ini", error));
    EXPECT_NE(error.find("game"), std::string::npos);
    host.Finish(100);  // nothing to finish
    EXPECT_EQ(host.results_answer(), -1);
}

// The game's window keeps drawing while it connects: against a server that
// never answers, Start and every Poll return at once, and the log-on wait
// ends in a status line; a window closed meanwhile ends the game at once.
TEST(OnlineSession, ConnectingNeverHoldsTheGameLoop) {
    BL_Init();
    LogCapture log;
    vorlane::testing::StalledServer stalled;
    ASSERT_NE(stalled.port(), 0);
    const fs::path dir = TestDir();
    ASSERT_NO_FATAL_FAILURE(WriteRunFolder(dir, stalled.port(), 1));
    std::ofstream(dir / "data/lobbynet.ini", std::ios::app) << "clt_logon_timeout=300\n";
    vorlane::game::HandOver hand_over;
    std::string error;
    ASSERT_TRUE(vorlane::game::ReadHandOver(PlayerFile(dir, "mplayer.cfg").string(),
                                            PlayerFile(dir, "lobby.cfg").string(), hand_over,
                                            error));
    WorkingFolder working_folder(dir);
    using Clock = std::chrono::steady_clock;
    {
        vorlane::game::OnlineSession host;
        const auto started = Clock::now();
        ASSERT_TRUE(host.Start(hand_over, "data/lobbynet.ini", error)) << error;
        EXPECT_EQ(host.status(), "connecting to the lobby server");
        auto slowest = Clock::duration::zero();
        while (host.status() == "connecting to the lobby server" &&
               Clock::now() - started < std::chrono::seconds(5)) {
            const auto before = Clock::now();
            host.Poll(1);
            slowest = std::max(slowest, Clock::now() - before);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(host.status(), "cannot reach the lobby server 127.0.0.1");
        EXPECT_LT(slowest, std::chrono::milliseconds(200));
    }
    vorlane::game::OnlineSession closed_early;
    ASSERT_TRUE(closed_early.Start(hand_over, "data/lobbynet.ini", error)) << error;
    closed_early.Poll(1);
    const auto finishing = Clock::now();
    closed_early.Finish(3000);
    EXPECT_LT(Clock::now() - finishing, std::chrono::milliseconds(500));
}
