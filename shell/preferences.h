// The player's preferences: what the player changes in the running program
// (the window's scale factor and the menus' palette), kept in "preferences.cfg"
// of the user folder apart from settings.cfg, a script the program only reads.
// The file is read after settings.cfg, so a preference wins, and written
// whenever one changes:
//
//   [display]
//   window_scale=2     ; 0 = the largest whole factor that fits the screen
//   ui_palette=contrast ; standard, colourblind or contrast
#pragma once

#include <cstdint>
#include <string>

#include "gui/gui_palette.h"

namespace vorlane::shell {

// The file in the user folder (baselib/user_folder.h); one kept beside the
// data set, where older versions wrote it, is carried over.
std::string PreferencesPath();

struct Preferences {
    int window_scale = 0;
    gui::PaletteMode ui_palette = gui::PaletteMode::kStandard;
};

// True for a window scale a player may choose: 0 (automatic) to the largest.
bool ValidWindowScale(int64_t scale);

// Takes the file's values into `prefs`; a value that is missing keeps what
// `prefs` holds, and so does a bad one (with a warning in the log). False
// when the file cannot be read (before the first change there is none).
bool ReadPreferences(const std::string& path, Preferences* prefs);
// Writes `prefs` into the file, keeping the file's other sections and keys;
// false when it cannot be written.
bool WritePreferences(const std::string& path, const Preferences& prefs);

}  // namespace vorlane::shell
