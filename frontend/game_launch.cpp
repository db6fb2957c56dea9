#include "frontend/game_launch.h"

#include "content/mission.h"
#include "frontend/lan_list.h"
#include "frontend/mainmap.h"
#include "gui/gui_widgets.h"
#include "resources/textlib.h"
#include "shell/global_data.h"

namespace vorlane::frontend {

namespace {

// SaveSettings writes through this into the hand-over file.
class CfgSettingsWriter : public LobbySettingsWriter {
  public:
    explicit CfgSettingsWriter(CFGFILE* cfg) : cfg_(cfg) {}
    void SetInt(const char* section, const char* key, int64_t value) override {
        cfg_->SetNumber(section, key, value);
    }
    void SetText(const char* section, const char* key, const char* value) override {
        cfg_->SetText(section, key, value ? value : "");
    }

  private:
    CFGFILE* cfg_;
};

void AddLanUser(const LanUser& user, CFGFILE* out) {
    out->SetText("user", "username", user.username.c_str());
    out->SetNumber("user", "color", user.color);
    out->SetNumber("user", "character", user.character);
}

// [SECTION] Reading the menus

std::string MissionTitle(resources::TEXTLIB* textlib, const std::string& value) {
    if (!value.empty() && value[0] == '~')
        return value.substr(1);
    const char* text = textlib ? textlib->GetTextC(value.c_str()) : nullptr;
    return text ? text : "";
}

int CheckBoxState(const MAINMAP& map, const char* name) {
    auto* box = dynamic_cast<GUI_CHECKBOX*>(map.Object(name));
    if (!box)
        return -1;
    return box->IsChecked() ? 1 : 0;
}

LanUser LanUserFromMenus(const MAINMAP& map) {
    LanUser user;
    user.username = map.InputText("menu.profilemodify_lanversion.obj_input_name");
    user.color = map.ColourNumber("menu.profilemodify_lanversion");
    user.character = map.portrait();
    return user;
}

}  // namespace

// [SECTION] Building the hand-over file

std::string MakeGameName(const std::string& game, const std::string& mission_title,
                         const std::string& player) {
    return game + "/" + mission_title + "/" + player;
}

bool GameIsFull(const net::GameRecord& record) {
    return net::GetU16(record, net::kGamePlayers) == net::GetU16(record, net::kGameMaxPlayers);
}

std::string CurrentProfileName(const LOBBYNET& lobby) {
    const int index = lobby.current_profile();
    if (index < 0 || index >= int(lobby.profiles().size()))
        return "";
    return net::GetText(lobby.profiles()[size_t(index)], net::kProfName, net::kNameWidth);
}

LaunchResult BuildCreateGame(const CreateGameInput& input, const LOBBYNET* lobby, CFGFILE* out) {
    if (!out)
        return LaunchResult::kNothing;
    out->Clear();
    out->SetText("game", "mode", "server");
    out->SetNumber("game", "lan", input.lan ? 1 : 0);
    out->SetText("game", "password", input.password.c_str());
    if (input.globchat_state >= 0)
        out->SetNumber("game", "globchat", CheckBoxValue(input.globchat_state));
    if (input.ranking_state >= 0)
        out->SetNumber("game", "ranking", CheckBoxValue(input.ranking_state));
    if (!input.has_mission)
        return LaunchResult::kNothing;
    out->SetText("game", "mission", input.mission_keyname.c_str());
    const std::string player = input.lan ? input.lan_user.username : input.profile_name;
    const std::string name = MakeGameName(input.game_name, input.mission_title, player);
    if (input.lan) {
        AddLanUser(input.lan_user, out);
    } else {
        if (!lobby)
            return LaunchResult::kNoLobby;
        CfgSettingsWriter writer(out);
        lobby->SaveSettings(&writer);
    }
    out->SetText("game", "name", name.c_str());
    return LaunchResult::kStarted;
}

LaunchResult BuildJoinGame(bool lan, const net::GameRecord* record, const LanUser& lan_user,
                           const LOBBYNET* lobby, CFGFILE* out) {
    if (!out)
        return LaunchResult::kNothing;
    out->Clear();
    out->SetText("game", "mode", "client");
    out->SetNumber("game", "lan", lan ? 1 : 0);
    if (!record)
        return LaunchResult::kNothing;
    if (GameIsFull(*record))
        return LaunchResult::kGameFull;
    out->SetText("game", "server", LanRecordAddressText(*record).c_str());
    out->SetNumber("game", "id", net::GameRecordId(*record));
    if (lan) {
        AddLanUser(lan_user, out);
    } else {
        if (!lobby)
            return LaunchResult::kNoLobby;
        CfgSettingsWriter writer(out);
        lobby->SaveSettings(&writer);
    }
    return LaunchResult::kStarted;
}

LaunchResult BuildRejoinGame(const net::GameAlert& offer, const LOBBYNET* lobby, CFGFILE* out) {
    if (!out)
        return LaunchResult::kNothing;
    out->Clear();
    if (!lobby)
        return LaunchResult::kNoLobby;
    out->SetText("game", "mode", "client");
    out->SetNumber("game", "lan", 0);
    out->SetText("game", "server", LanRecordAddressText(offer.game).c_str());
    out->SetNumber("game", "id", net::GameRecordId(offer.game));
    out->SetNumber("game", "rejoin", 1);
    CfgSettingsWriter writer(out);
    lobby->SaveSettings(&writer);
    // The seat is confirmed in the game's channel, wherever the player is now.
    out->SetNumber("user", "lastchannel", offer.channel);
    return LaunchResult::kStarted;
}

// [SECTION] Handing over to the game

LaunchResult StartGame(CFGFILE& lobby_cfg, const std::string& lobby_path, const CFGFILE& handover,
                       const std::string& mplayer_path,
                       const std::function<void(int32_t)>& set_state, std::string* path_out,
                       std::string* argument_out) {
    lobby_cfg.Write(lobby_path);
    if (!handover.Write(mplayer_path))
        return LaunchResult::kWriteFailed;
    const char* path = lobby_cfg.GetText("main", "game_exec");
    const char* argument = lobby_cfg.GetText("main", "para_new_game");
    MAIN_SetGameStart(path ? path : "", argument ? argument : "");
    if (path_out)
        *path_out = g_game_start_path;
    if (argument_out)
        *argument_out = g_game_start_argument;
    if (set_state)
        set_state(6);
    return LaunchResult::kStarted;
}

// [SECTION] From the menus

LaunchResult LaunchCreateGame(MAINMAP& map, const MainMapContext& context) {
    CreateGameInput input;
    input.lan = map.network_mode() == 3;
    input.game_name = map.InputText("menu.game.obj_input_name");
    input.password = map.InputText("menu.game.obj_input_password");
    input.globchat_state = CheckBoxState(map, "menu.game.obj_cbox_globchat");
    input.ranking_state = CheckBoxState(map, "menu.game.obj_cbox_ranking");
    GUI_LIST* list = map.List("menu.game.obj_list_mission");
    const VORL_MISSION* mission = nullptr;
    if (list && list->selection() >= 0)
        mission = static_cast<const VORL_MISSION*>(list->GetItemRecord(list->selection()));
    if (mission) {
        input.has_mission = true;
        input.mission_keyname = mission->key_name;
        input.mission_title = MissionTitle(context.textlib, mission->title);
    }
    if (input.lan)
        input.lan_user = LanUserFromMenus(map);
    else if (context.lobby)
        input.profile_name = CurrentProfileName(*context.lobby);
    CFGFILE handover;
    LaunchResult built = BuildCreateGame(input, context.lobby, &handover);
    if (built != LaunchResult::kStarted)
        return built;
    return StartGame(map.lobby_config(), context.lobby_cfg_path, handover, context.mplayer_cfg_path,
                     context.set_program_state);
}

LaunchResult LaunchJoinGame(MAINMAP& map, const MainMapContext& context) {
    const bool lan = map.network_mode() == 3;
    GUI_LIST* list = map.List(lan ? "menu.lan.obj_list_game" : "menu.lobby.obj_list_game");
    const net::GameRecord* record = nullptr;
    if (list && list->selection() >= 0)
        record = static_cast<const net::GameRecord*>(list->GetItemRecord(list->selection()));
    LanUser user;
    if (lan)
        user = LanUserFromMenus(map);
    CFGFILE handover;
    LaunchResult built = BuildJoinGame(lan, record, user, context.lobby, &handover);
    if (built != LaunchResult::kStarted)
        return built;
    return StartGame(map.lobby_config(), context.lobby_cfg_path, handover, context.mplayer_cfg_path,
                     context.set_program_state);
}

LaunchResult LaunchRejoinGame(MAINMAP& map, const MainMapContext& context) {
    if (!context.lobby || !context.lobby->rejoin_offer())
        return LaunchResult::kNothing;
    CFGFILE handover;
    LaunchResult built = BuildRejoinGame(*context.lobby->rejoin_offer(), context.lobby, &handover);
    if (built != LaunchResult::kStarted)
        return built;
    return StartGame(map.lobby_config(), context.lobby_cfg_path, handover, context.mplayer_cfg_path,
                     context.set_program_state);
}

}  // namespace vorlane::frontend
