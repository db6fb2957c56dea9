// A created LAN game handed to vorlane-game is found by the LAN list cycle;
// a join built from the listed record makes a second vorlane-game connect,
// and the host's next announcement carries two players.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "baselib/cfgfile.h"
#include "frontend/game_launch.h"
#include "frontend/lan_list.h"
#include "tests/support/free_port.h"

namespace vorlane::frontend {
namespace {

constexpr const char* kLanBroadcast = "127.255.255.255";

class FakeView : public LanListView {
  public:
    void Clear() override { items.clear(); }
    int Add(const std::string&, std::shared_ptr<net::GameRecord> record) override {
        items.push_back(std::move(record));
        return int(items.size()) - 1;
    }
    void Select(int) override {}
    const net::GameRecord* Selected() const override { return nullptr; }
    int Count() const override { return int(items.size()); }
    std::vector<std::shared_ptr<net::GameRecord>> items;
};

// One vorlane-game in its own run folder, ended by its pid.
class GameProcess {
  public:
    ~GameProcess() { Stop(); }
    bool Start(const std::filesystem::path& folder, const std::string& path,
               const std::string& argument) {
        pid_ = fork();
        if (pid_ < 0)
            return false;
        if (pid_ == 0) {
            if (chdir(folder.c_str()) != 0)
                _exit(127);
            setenv("VORLANE_GAME_HEADLESS", "1", 1);
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            std::string log = (folder / "game.out").string();
            if (!freopen(log.c_str(), "w", stdout))
                _exit(127);
            // The hand-over files the test wrote, not the player's.
            execl(path.c_str(), path.c_str(), argument.c_str(), "--duration", "40", "--no-return",
                  "--mplayer", "data/mplayer.cfg", "--lobby", "data/lobby.cfg",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return true;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
};

class LanGame : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("e2e_launch_" + std::to_string(getpid()));
        std::filesystem::remove_all(root_);
        // The host listens on TCP and UDP alike.
        port_ = vorlane::testing::FreePort(true);
        ASSERT_NE(port_, 0);
    }

    void TearDown() override { std::filesystem::remove_all(root_); }

    // A front end's run folder with its lobby configuration.
    CFGFILE LobbyConfig(const char* name) {
        std::filesystem::create_directories(root_ / name / "data");
        CFGFILE cfg;
        cfg.SetText("main", "game_exec", LAUNCH_GAME_EXE);
        cfg.SetText("main", "para_new_game", "-newgame");
        cfg.SetNumber("main", "lan_bcast_port", port_);
        cfg.SetText("main", "lan_bcast_addr", kLanBroadcast);
        return cfg;
    }
    std::string Data(const char* name, const char* file) const {
        return (root_ / name / "data" / file).string();
    }

    // Queries (a forced refresh) and collects the answers for a moment.
    const net::GameRecord* Find(LanList& list, FakeView& view, uint16_t players) {
        now_ += LanList::kRefreshMs;
        list.Update(&view, now_);
        for (int i = 0; i < 30; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            list.Update(&view, now_);
            for (const auto& record : view.items)
                if (net::GameRecordName(*record) == "Alpha/Beta/Gamma" &&
                    net::GetU16(*record, net::kGamePlayers) == players)
                    return record.get();
        }
        return nullptr;
    }

    std::filesystem::path root_;
    uint16_t port_ = 0;
    uint64_t now_ = 0;
};

TEST_F(LanGame, CreatedGameIsListedJoinedAndCountsTwoPlayers) {
    // Front end A creates the game.
    CFGFILE lobby_a = LobbyConfig("a");
    CreateGameInput create;
    create.lan = true;
    create.game_name = "Alpha";
    create.has_mission = true;
    create.mission_keyname = "m_belt";
    create.mission_title = "Beta";
    create.lan_user = {"Gamma", 2, 1};
    CFGFILE handover;
    ASSERT_EQ(BuildCreateGame(create, nullptr, &handover), LaunchResult::kStarted);
    std::string path, argument;
    int state = 0;
    ASSERT_EQ(StartGame(
                  lobby_a, Data("a", "lobby.cfg"), handover, Data("a", "mplayer.cfg"),
                  [&](int32_t s) { state = s; }, &path, &argument),
              LaunchResult::kStarted);
    ASSERT_EQ(state, 6);
    GameProcess host;
    ASSERT_TRUE(host.Start(root_ / "a", path, argument));

    // Front end B lists it.
    LanList list;
    ASSERT_TRUE(list.Init(port_, kLanBroadcast, now_));
    FakeView view;
    const net::GameRecord* found = nullptr;
    for (int i = 0; i < 40 && !found; ++i) found = Find(list, view, 1);
    ASSERT_NE(found, nullptr) << "the host never answered";
    EXPECT_EQ(LanRecordAddressText(*found), "127.0.0.1");
    const net::GameRecord record = *found;

    // B joins; its game connects to A's.
    CFGFILE lobby_b = LobbyConfig("b");
    ASSERT_EQ(BuildJoinGame(true, &record, {"Delta", 3, 4}, nullptr, &handover),
              LaunchResult::kStarted);
    EXPECT_STREQ(handover.GetText("game", "server"), "127.0.0.1");
    ASSERT_EQ(StartGame(lobby_b, Data("b", "lobby.cfg"), handover, Data("b", "mplayer.cfg"),
                        nullptr, &path, &argument),
              LaunchResult::kStarted);
    GameProcess client;
    ASSERT_TRUE(client.Start(root_ / "b", path, argument));
    found = nullptr;
    for (int i = 0; i < 40 && !found; ++i) found = Find(list, view, 2);
    EXPECT_NE(found, nullptr) << "the host never counted the second player";
    client.Stop();
    host.Stop();
}

}  // namespace
}  // namespace vorlane::frontend
