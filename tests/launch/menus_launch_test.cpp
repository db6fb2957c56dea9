// Creating and joining games from the real lobby menus: what the main map's
// create and join buttons end in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "content/mission.h"
#include "frontend/game_launch.h"
#include "frontend/mainmap.h"
#include "gui/gui_control.h"
#include "gui/gui_widgets.h"
#include "resources/text_source.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "scripting/menu_lua.h"
#include "shell/global_data.h"
#include "tests/menus/menu_fixture.h"

namespace vorlane::frontend {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class MenusLaunch : public MenuFixture {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MenuFixture::SetUp());
        dir_ =
            std::filesystem::temp_directory_path() / ("menus_launch_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        context_.menus = menus_.get();
        context_.lobby = lobby_.get();
        context_.textlib = &textlib_;
        context_.set_program_state = [this](int32_t state) { state_ = state; };
        context_.lobby_cfg_path = (dir_ / "lobby.cfg").string();
        context_.mplayer_cfg_path = (dir_ / "mplayer.cfg").string();
        context_.menu_script = SourceFile("assets/multilobby/menus/lobby_menu.lua");
        std::remove(context_.mplayer_cfg_path.c_str());
        map_ = std::make_unique<MAINMAP>(context_);
        ASSERT_TRUE(map_->IsReady());
        // Without an archive the mission list cannot be loaded, but the
        // network mode is taken first.
        map_->Init(3);
        ASSERT_EQ(map_->network_mode(), 3);
        map_->lobby_config().SetText("main", "game_exec", "./vorlane-game");
        map_->lobby_config().SetText("main", "para_new_game", "-new");
    }

    void TearDown() override {
        map_.reset();
        menus_.reset();
        std::filesystem::remove_all(dir_);
    }

    void Input(const char* name, const char* text) {
        GUI_OBJECT* input = map_->Object(name);
        ASSERT_NE(input, nullptr) << name;
        input->SetText(text);
    }

    void AddMission() {
        GUI_LIST* list = map_->List("menu.game.obj_list_mission");
        ASSERT_NE(list, nullptr);
        auto mission = std::make_shared<VORL_MISSION>();
        mission->key_name = "m_belt";
        mission->title = "~Beta";
        list->SetSelection(list->AddItem("Beta", false, 0, mission));
    }

    void AddLanGame(uint16_t players, uint16_t max_players) {
        GUI_LIST* list = map_->List("menu.lan.obj_list_game");
        ASSERT_NE(list, nullptr);
        auto record = std::make_shared<net::GameRecord>();
        (*record)[net::kGameAddress] = 127;
        (*record)[net::kGameAddress + 1] = 168;
        (*record)[net::kGameAddress + 2] = 1;
        (*record)[net::kGameAddress + 3] = 5;
        (*record)[net::kGamePlayers] = uint8_t(players);
        (*record)[net::kGameMaxPlayers] = uint8_t(max_players);
        (*record)[net::kGameId] = 42;
        list->SetSelection(list->AddItem("game", false, 0, record));
    }

    std::unique_ptr<MAINMAP> map_;
    MainMapContext context_;
    std::filesystem::path dir_;
    int32_t state_ = 0;
};

TEST_F(MenusLaunch, CreatedLanGameWritesTheHandOverAndStartsTheGame) {
    Input("menu.game.obj_input_name", "Alpha");
    Input("menu.game.obj_input_password", "pw");
    Input("menu.profilemodify_lanversion.obj_input_name", "Gamma");
    auto* radio = static_cast<GUI_RADIO*>(
        map_->Object("menu.profilemodify_lanversion.frame3.radio_color3", GUI_TYPE_RADIO));
    ASSERT_NE(radio, nullptr);
    radio->SetState(1);
    AddMission();
    ASSERT_EQ(LaunchCreateGame(*map_, context_), LaunchResult::kStarted);
    EXPECT_EQ(state_, 6);
    EXPECT_EQ(g_game_start_path, "./vorlane-game");
    EXPECT_EQ(g_game_start_argument, "-new");
    EXPECT_EQ(ReadFile(context_.mplayer_cfg_path),
              "[game]\nmode=server\nlan=1\npassword=pw\nglobchat=0\nranking=0\n"
              "mission=m_belt\nname=Alpha/Beta/Gamma\n\n"
              "[user]\nusername=Gamma\ncolor=3\ncharacter=0\n\n");
    EXPECT_TRUE(std::filesystem::exists(context_.lobby_cfg_path));
}

TEST_F(MenusLaunch, CreateWithoutSelectedMissionWritesNothing) {
    Input("menu.game.obj_input_name", "Alpha");
    ASSERT_EQ(LaunchCreateGame(*map_, context_), LaunchResult::kNothing);
    EXPECT_EQ(state_, 0);
    EXPECT_FALSE(std::filesystem::exists(context_.mplayer_cfg_path));
}

TEST_F(MenusLaunch, JoinTakesTheSelectedLanGameAndRefusesAFullOne) {
    Input("menu.profilemodify_lanversion.obj_input_name", "Delta");
    ASSERT_EQ(LaunchJoinGame(*map_, context_), LaunchResult::kNothing);  // nothing selected
    AddLanGame(4, 4);
    ASSERT_EQ(LaunchJoinGame(*map_, context_), LaunchResult::kGameFull);
    EXPECT_EQ(state_, 0);
    EXPECT_FALSE(std::filesystem::exists(context_.mplayer_cfg_path));
    map_->List("menu.lan.obj_list_game")->Clear();
    AddLanGame(1, 4);
    ASSERT_EQ(LaunchJoinGame(*map_, context_), LaunchResult::kStarted);
    EXPECT_EQ(state_, 6);
    EXPECT_EQ(ReadFile(context_.mplayer_cfg_path),
              "[game]\nmode=client\nlan=1\nserver=127.168.1.5\nid=42\n\n"
              "[user]\nusername=Delta\ncolor=1\ncharacter=0\n\n");
}

}  // namespace
}  // namespace vorlane::frontend
