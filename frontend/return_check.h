// The return after an online game: the game executable adds
// `return_from_game` = 1 to section `game` of "data/mplayer.cfg" before it
// starts the front end again. The check finds the marker, sets it back to 0
// (written to the file at once, so a second start does not log in again) and
// gives the log-in data the front end logs in with, profile and channel
// included, without asking the player.
#pragma once

#include <cstdint>
#include <string>

namespace vorlane::frontend {

struct ReturnLogin {
    std::string username;
    std::string password;
    int64_t profile = -1;  // `user`/`profid`, -1 when missing
    int64_t channel = -1;  // `user`/`lastchannel`, -1 when missing
};

// True when `mplayer_path` could be read and holds `game`/`return_from_game`
// with the number 1; then the marker is written back as 0 and `login` (when
// given) is filled. False leaves the file as it is.
bool CheckReturnFromGame(const std::string& mplayer_path, ReturnLogin* login);

// The 16-bit wire value of a profile or channel number: -1 and anything out
// of range become "no selection" (0xFFFF).
uint16_t ReturnSelection(int64_t number);

}  // namespace vorlane::frontend
