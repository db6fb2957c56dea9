// Where a player's programs keep what they write: the front end's
// configuration and preferences, the hand-over file to the game, the keys of
// known servers, logs, screenshots and console files. That is
// $XDG_DATA_HOME/vorlane (~/.local/share/vorlane when XDG_DATA_HOME is unset),
// never the data set, which an installation shares between all players and
// keeps read-only.
#pragma once

#include <string>

namespace vorlane::baselib {

// The folder itself (not made).
std::string UserFolder();

// UserFolder()/name with its parent folders made (the user folder readable by
// its owner only: lobby.cfg holds a password). When the file is not there yet
// and `carried_over` names a file, that one is copied first (owner-only): a
// player's file from where older versions kept it, beside the data set, or
// the data set's default.
std::string UserFile(const std::string& name, const std::string& carried_over = "");

// A name as given by the player (console, command line): relative names are
// taken inside `folder`.
std::string InFolder(const std::string& folder, const std::string& name);

}  // namespace vorlane::baselib
