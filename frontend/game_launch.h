// Game creation and joining: the hand-over file "data/mplayer.cfg" for the
// game executable, the saved lobby configuration, the game-start path and
// argument, and program state 6 (the main loop ends and the process is
// replaced by the game).
//
// mplayer.cfg, created game:  [game] mode=server lan password (globchat)
//   (ranking) mission name   [user] LAN: username color character;
//   online: what LOBBYNET::SaveSettings writes.
// mplayer.cfg, joined game:   [game] mode=client lan server id   [user] as above.
// mplayer.cfg, rejoined game: [game] mode=client lan=0 server id rejoin=1
//   [user] as online above, with lastchannel the offered game's channel: the
//   game program enters it to confirm its seat and takes its place back.
//
// The Build* functions only fill a CFGFILE (nothing touches the disk); Start
// writes both files and hands over; the Launch* functions read the menus of
// the main map and do everything.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "baselib/cfgfile.h"
#include "net/lobby_packets.h"
#include "net/lobbynet.h"

namespace vorlane::frontend {

class MAINMAP;
struct MainMapContext;

// The LAN player as the LAN profile menu shows it.
struct LanUser {
    std::string username;
    int color = 1;      // 1..5
    int character = 0;  // portrait index 0..7
};

struct CreateGameInput {
    bool lan = false;  // network mode 3
    std::string game_name;
    std::string password;
    // Check box states; -1 when the check box does not exist (no key then).
    int globchat_state = -1;
    int ranking_state = -1;
    // False when there is no mission list, no selected item or no record.
    bool has_mission = false;
    std::string mission_keyname;
    // The mission title as shown ("" when its text is missing).
    std::string mission_title;
    LanUser lan_user;
    // Online: the name of the current lobby profile.
    std::string profile_name;
};

enum class LaunchResult {
    kStarted,      // files written, program state 6
    kNothing,      // no mission / no game selected: nothing written
    kGameFull,     // players equal the maximum: nothing written
    kNoLobby,      // online without a lobby client: nothing written
    kWriteFailed,  // the hand-over file could not be written: state unchanged
};

// "<game>/<mission title>/<player>".
std::string MakeGameName(const std::string& game, const std::string& mission_title,
                         const std::string& player);

// A check box in state 1 or 2 counts as on.
inline int CheckBoxValue(int state) {
    return state == 1 || state == 2 ? 1 : 0;
}

// Fills `out` (cleared first) for a created game; kStarted when it is
// complete, otherwise why not (out is then meaningless).
LaunchResult BuildCreateGame(const CreateGameInput& input, const LOBBYNET* lobby, CFGFILE* out);
// Fills `out` for joining the game of `record` (null: no game selected).
LaunchResult BuildJoinGame(bool lan, const net::GameRecord* record, const LanUser& lan_user,
                           const LOBBYNET* lobby, CFGFILE* out);

// Fills `out` for rejoining the game the server offered (LOBBYNET::rejoin_offer).
// Its seat is the player's, so a full game is no obstacle.
LaunchResult BuildRejoinGame(const net::GameAlert& offer, const LOBBYNET* lobby, CFGFILE* out);

// True when the record's player count has reached its maximum.
bool GameIsFull(const net::GameRecord& record);

// The name of the lobby client's current profile ("" without one).
std::string CurrentProfileName(const LOBBYNET& lobby);

// Writes `lobby_cfg` to `lobby_path` and `handover` to `mplayer_path`. Only
// when the hand-over file is written: the game-start path and argument become
// `main`/`game_exec` and `main`/`para_new_game` (empty when missing) and
// `set_state(6)` is called. `path_out`/`argument_out` receive them when given.
LaunchResult StartGame(CFGFILE& lobby_cfg, const std::string& lobby_path, const CFGFILE& handover,
                       const std::string& mplayer_path,
                       const std::function<void(int32_t)>& set_state,
                       std::string* path_out = nullptr, std::string* argument_out = nullptr);

// The whole create / join step from the menus of `map` ("menu.game.*",
// "menu.lan.obj_list_game" or "menu.lobby.obj_list_game", the LAN profile
// menu). Call from the tag dispatcher with the map's own context.
LaunchResult LaunchCreateGame(MAINMAP& map, const MainMapContext& context);
LaunchResult LaunchJoinGame(MAINMAP& map, const MainMapContext& context);
// The lobby's rejoin button: the game of the lobby client's rejoin offer.
LaunchResult LaunchRejoinGame(MAINMAP& map, const MainMapContext& context);

}  // namespace vorlane::frontend
