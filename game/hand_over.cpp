#include "game/hand_over.h"

#include <cstdlib>

#include "baselib/cfgfile.h"

namespace vorlane::game {

namespace {

std::string TextOf(CFGFILE& cfg, const char* section, const char* key,
                   const std::string& fallback = "") {
    const char* text = cfg.GetText(section, key);
    return text ? text : fallback;
}

}  // namespace

bool ReadHandOver(const std::string& mplayer_path, const std::string& lobby_path, HandOver& out,
                  std::string& error) {
    CFGFILE mplayer;
    if (!mplayer.Read(mplayer_path)) {
        error = "cannot read " + mplayer_path;
        return false;
    }
    std::string mode = TextOf(mplayer, "game", "mode");
    if (mode != "server" && mode != "client") {
        error = mplayer_path + ": game/mode must be server or client";
        return false;
    }
    out.host = mode == "server";
    out.lan = mplayer.GetNumber("game", "lan", 0) == 1;
    out.name = TextOf(mplayer, "game", "name");
    out.mission = TextOf(mplayer, "game", "mission");
    out.password = TextOf(mplayer, "game", "password");
    out.server = TextOf(mplayer, "game", "server");
    out.game_id = uint32_t(mplayer.GetNumber("game", "id", 0));
    out.rejoin = !out.host && mplayer.GetNumber("game", "rejoin", 0) == 1;
    out.username = TextOf(mplayer, "user", "username");
    out.user_password = TextOf(mplayer, "user", "password");
    out.profile = mplayer.GetNumber("user", "profid", -1);
    out.channel = mplayer.GetNumber("user", "lastchannel", -1);
    out.colour = mplayer.GetNumber("user", "color", 1);
    out.character = mplayer.GetNumber("user", "character", 0);

    CFGFILE lobby;
    if (lobby.Read(lobby_path)) {
        out.lobby_server = TextOf(lobby, "main", "server", out.lobby_server);
        out.lan_port = uint16_t(lobby.GetNumber("main", "lan_bcast_port", 0));
        out.lan_broadcast = TextOf(lobby, "main", "lan_bcast_addr", out.lan_broadcast);
        out.front_end = TextOf(lobby, "main", "lobby_exec");
    }
    return true;
}

bool MarkReturnFromGame(const std::string& mplayer_path) {
    CFGFILE mplayer;
    if (!mplayer.Read(mplayer_path))
        return false;
    mplayer.SetNumber("game", "return_from_game", 1);
    return mplayer.Write(mplayer_path);
}

}  // namespace vorlane::game
