// The data set the front end runs in: a folder with data/master.dix (the
// archive, fonts, settings and menus). The front end makes it its working
// directory, so every data name stays relative, and the game it hands over
// to inherits it.
#pragma once

#include <string>
#include <vector>

namespace vorlane {

// The folders looked at, in order:
//   1. $VORLANE_DATA (`environment`, when set)
//   2. the program's folder (an unpacked archive)
//   3. ../share/vorlane from the program's folder (an installation:
//      PREFIX/bin/vorlane-lobby and PREFIX/share/vorlane)
//   4. ../run from the program's folder (the build: build/app, build/run)
//   5. the working directory
std::vector<std::string> DataSetCandidates(const char* environment, const std::string& program_dir,
                                           const std::string& working_dir);

// The first candidate that holds a data set, or "" when none does.
std::string FindDataSet(const std::vector<std::string>& candidates);

}  // namespace vorlane
