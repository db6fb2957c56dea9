// What the front end hands to the game: "data/mplayer.cfg" (the game to host or
// join and the player) and the keys of "data/lobby.cfg" the game needs.
#pragma once

#include <cstdint>
#include <string>

namespace vorlane::game {

struct HandOver {
    bool host = false;     // game/mode "server" (else "client")
    bool lan = false;      // game/lan 1
    std::string name;      // game/name: "<game>/<mission title>/<player>"
    std::string mission;   // game/mission
    std::string password;  // game/password
    std::string server;    // game/server: the host's dotted address (joining)
    uint32_t game_id = 0;  // game/id (joining)
    // game/rejoin 1 (joining): the player's game ended early and takes its
    // seat back in the game that goes on.
    bool rejoin = false;
    // The player.
    std::string username;
    std::string user_password;  // online only
    int64_t profile = -1;       // user/profid
    int64_t channel = -1;       // user/lastchannel
    int64_t colour = 1;
    int64_t character = 0;
    // From "data/lobby.cfg".
    std::string lobby_server = "127.0.0.1";
    uint16_t lan_port = 0;
    std::string lan_broadcast = "255.255.255.255";
    std::string front_end;  // main/lobby_exec: the front end to start again
};

// Reads both files; false (with `error` set) when "data/mplayer.cfg" is
// missing or names no mode.
bool ReadHandOver(const std::string& mplayer_path, const std::string& lobby_path, HandOver& out,
                  std::string& error);

// Sets game/return_from_game to 1 in the hand-over file so the front end logs
// the player in again when it starts. False when the file cannot be written.
bool MarkReturnFromGame(const std::string& mplayer_path);

}  // namespace vorlane::game
