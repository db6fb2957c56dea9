// What --check-config does: looks at every line of a lobbyd.cfg for keys the
// server does not know and values it would not read as written, and prints
// the settings the server would run with.
#pragma once

#include <string>
#include <vector>

#include "server/lobby_config.h"

namespace vorlane::server {

struct ConfigProblem {
    int line = 0;  // 1-based
    std::string text;
    // The server runs as written, but probably not as meant (a link to
    // another machine without encryption).
    bool warning = false;
};

// The lines of a configuration text whose section or key is unknown, or whose
// value is not one the server reads as given (a number that is not one or
// does not fit, an address, a hash strength, a channel entry); and, as
// warnings, a store or bus on another machine reached without verified TLS.
std::vector<ConfigProblem> CheckLobbyConfigText(const std::string& text);

// The effective settings, one "section.key = value" a line, defaults and
// limits included.
std::string DescribeLobbyConfig(const LobbyConfig& config);

}  // namespace vorlane::server
