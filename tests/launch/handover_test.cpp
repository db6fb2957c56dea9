#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "baselib/cfgfile.h"
#include "frontend/game_launch.h"
#include "shell/global_data.h"

namespace vorlane::frontend {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Folder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("launch_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

CreateGameInput LanCreate() {
    CreateGameInput input;
    input.lan = true;
    input.game_name = "Alpha";
    input.password = "secret";
    input.globchat_state = 2;
    input.ranking_state = 3;
    input.has_mission = true;
    input.mission_keyname = "m_asteroids";
    input.mission_title = "Beta";
    input.lan_user = {"Gamma", 4, 7};
    input.profile_name = "ignored";
    return input;
}

net::GameRecord Record(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t players,
                       uint16_t max_players, uint32_t id) {
    net::GameRecord record{};
    record[net::kGameAddress] = a;
    record[net::kGameAddress + 1] = b;
    record[net::kGameAddress + 2] = c;
    record[net::kGameAddress + 3] = d;
    record[net::kGamePlayers] = uint8_t(players);
    record[net::kGamePlayers + 1] = uint8_t(players >> 8);
    record[net::kGameMaxPlayers] = uint8_t(max_players);
    record[net::kGameMaxPlayers + 1] = uint8_t(max_players >> 8);
    for (int i = 0; i < 4; ++i) record[net::kGameId + size_t(i)] = uint8_t(id >> (8 * i));
    return record;
}

TEST(GameName, JoinsGameMissionAndPlayer) {
    EXPECT_EQ(MakeGameName("Alpha", "Beta", "Gamma"), "Alpha/Beta/Gamma");
    EXPECT_EQ(MakeGameName("", "", ""), "//");
    EXPECT_EQ(CheckBoxValue(0), 0);
    EXPECT_EQ(CheckBoxValue(1), 1);
    EXPECT_EQ(CheckBoxValue(2), 1);
    EXPECT_EQ(CheckBoxValue(3), 0);
}

TEST(CreateGame, LanFileHasExactlyTheTwoSectionsInOrder) {
    CFGFILE out;
    ASSERT_EQ(BuildCreateGame(LanCreate(), nullptr, &out), LaunchResult::kStarted);
    EXPECT_EQ(out.section_count(), 2u);
    EXPECT_EQ(out.Format(),
              "[game]\nmode=server\nlan=1\npassword=secret\nglobchat=1\nranking=0\n"
              "mission=m_asteroids\nname=Alpha/Beta/Gamma\n\n"
              "[user]\nusername=Gamma\ncolor=4\ncharacter=7\n\n");
}

TEST(CreateGame, MissingCheckBoxesLeaveTheirKeysOutAndEmptyPasswordStays) {
    CreateGameInput input = LanCreate();
    input.globchat_state = -1;
    input.ranking_state = -1;
    input.password.clear();
    input.mission_title.clear();  // a title whose text is missing
    CFGFILE out;
    ASSERT_EQ(BuildCreateGame(input, nullptr, &out), LaunchResult::kStarted);
    EXPECT_EQ(out.Format(),
              "[game]\nmode=server\nlan=1\npassword=\nmission=m_asteroids\nname=Alpha//Gamma\n\n"
              "[user]\nusername=Gamma\ncolor=4\ncharacter=7\n\n");
}

TEST(CreateGame, RefusedWithoutMissionOrOnlineWithoutLobby) {
    CreateGameInput input = LanCreate();
    input.has_mission = false;
    CFGFILE out;
    EXPECT_EQ(BuildCreateGame(input, nullptr, &out), LaunchResult::kNothing);
    input = LanCreate();
    input.lan = false;
    EXPECT_EQ(BuildCreateGame(input, nullptr, &out), LaunchResult::kNoLobby);
    EXPECT_EQ(BuildCreateGame(LanCreate(), nullptr, nullptr), LaunchResult::kNothing);
}

TEST(CreateGame, OnlineUsesTheLobbySettingsAndProfileName) {
    LOBBYNET lobby(nullptr, "no-such-version.hdr");
    CreateGameInput input = LanCreate();
    input.lan = false;
    input.profile_name = "Pilot";
    CFGFILE out;
    ASSERT_EQ(BuildCreateGame(input, &lobby, &out), LaunchResult::kStarted);
    EXPECT_STREQ(out.GetText("game", "lan"), "0");
    EXPECT_STREQ(out.GetText("game", "name"), "Alpha/Beta/Pilot");
    EXPECT_NE(out.GetText("user", "permid"), nullptr);
    EXPECT_NE(out.GetText("user", "lastchannel"), nullptr);
    EXPECT_EQ(out.GetText("user", "color"), nullptr);
    // `name` stays the last key of section game.
    const std::string text = out.Format();
    EXPECT_LT(text.find("mission="), text.find("name="));
    EXPECT_LT(text.find("name="), text.find("[user]"));
}

TEST(JoinGame, WritesDottedHostAddressAndIdentifier) {
    const net::GameRecord record = Record(127, 168, 1, 5, 1, 4, 4711);
    CFGFILE out;
    ASSERT_EQ(BuildJoinGame(true, &record, {"Gamma", 2, 3}, nullptr, &out), LaunchResult::kStarted);
    EXPECT_EQ(out.Format(),
              "[game]\nmode=client\nlan=1\nserver=127.168.1.5\nid=4711\n\n"
              "[user]\nusername=Gamma\ncolor=2\ncharacter=3\n\n");
    const net::GameRecord zeros = Record(127, 0, 0, 1, 0, 2, 0xFFFFFFFFu);
    ASSERT_EQ(BuildJoinGame(true, &zeros, {}, nullptr, &out), LaunchResult::kStarted);
    EXPECT_STREQ(out.GetText("game", "server"), "127.0.0.1");
    EXPECT_STREQ(out.GetText("game", "id"), "4294967295");
}

TEST(JoinGame, FullOrMissingGameIsRefused) {
    CFGFILE out;
    const net::GameRecord full = Record(127, 0, 0, 1, 4, 4, 1);
    EXPECT_TRUE(GameIsFull(full));
    EXPECT_EQ(BuildJoinGame(true, &full, {}, nullptr, &out), LaunchResult::kGameFull);
    const net::GameRecord empty_max = Record(127, 0, 0, 1, 0, 0, 1);
    EXPECT_EQ(BuildJoinGame(true, &empty_max, {}, nullptr, &out), LaunchResult::kGameFull);
    EXPECT_EQ(BuildJoinGame(true, nullptr, {}, nullptr, &out), LaunchResult::kNothing);
    const net::GameRecord open = Record(127, 0, 0, 1, 1, 2, 1);
    EXPECT_FALSE(GameIsFull(open));
    EXPECT_EQ(BuildJoinGame(false, &open, {}, nullptr, &out), LaunchResult::kNoLobby);
}

TEST_F(Folder, StartWritesBothFilesSetsGameStartAndState6) {
    CFGFILE lobby_cfg;
    lobby_cfg.SetText("login", "passw", "hunter2");
    lobby_cfg.SetText("main", "game_exec", "./vorlane-game");
    lobby_cfg.SetText("main", "para_new_game", "--new");
    CFGFILE handover;
    ASSERT_EQ(BuildCreateGame(LanCreate(), nullptr, &handover), LaunchResult::kStarted);
    int state = 0;
    std::string path, argument;
    EXPECT_EQ(StartGame(
                  lobby_cfg, Path("lobby.cfg"), handover, Path("mplayer.cfg"),
                  [&](int32_t s) { state = s; }, &path, &argument),
              LaunchResult::kStarted);
    EXPECT_EQ(state, 6);
    EXPECT_EQ(path, "./vorlane-game");
    EXPECT_EQ(argument, "--new");
    EXPECT_EQ(g_game_start_path, "./vorlane-game");
    EXPECT_EQ(ReadFile(Path("mplayer.cfg")), handover.Format());
    EXPECT_EQ(ReadFile(Path("lobby.cfg")), lobby_cfg.Format());
    // The lobby configuration holds the password: owner only.
    struct stat info {};
    ASSERT_EQ(::stat(Path("lobby.cfg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
}

TEST_F(Folder, StartWithMissingKeysClearsAndLongPathsAreCut) {
    g_game_start_path = "old";
    g_game_start_argument = "old";
    CFGFILE lobby_cfg;
    CFGFILE handover;
    handover.SetText("game", "mode", "client");
    int state = 0;
    ASSERT_EQ(StartGame(lobby_cfg, Path("lobby.cfg"), handover, Path("mplayer.cfg"),
                        [&](int32_t s) { state = s; }),
              LaunchResult::kStarted);
    EXPECT_EQ(state, 6);  // the start of the game then fails
    EXPECT_EQ(g_game_start_path, "");
    EXPECT_EQ(g_game_start_argument, "");

    lobby_cfg.SetText("main", "game_exec", std::string(300, 'x').c_str());
    ASSERT_EQ(StartGame(lobby_cfg, Path("lobby.cfg"), handover, Path("mplayer.cfg"), nullptr),
              LaunchResult::kStarted);
    EXPECT_EQ(g_game_start_path, std::string(127, 'x'));
}

TEST_F(Folder, HandOverThatCannotBeWrittenKeepsState) {
    g_game_start_path = "unchanged";
    CFGFILE lobby_cfg;
    lobby_cfg.SetText("main", "game_exec", "./vorlane-game");
    CFGFILE handover;
    handover.SetText("game", "mode", "server");
    int state = 1;
    EXPECT_EQ(StartGame(lobby_cfg, Path("lobby.cfg"), handover, Path("missing/dir/mplayer.cfg"),
                        [&](int32_t s) { state = s; }),
              LaunchResult::kWriteFailed);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(g_game_start_path, "unchanged");
    // The lobby configuration is still saved first.
    EXPECT_TRUE(std::filesystem::exists(Path("lobby.cfg")));
}

}  // namespace
}  // namespace vorlane::frontend
