// The player's saved game filters: which games of the list they want to see,
// and which new games the server should tell them about (a filter is also a
// subscription, covering every channel). At most eight, kept in the
// preferences file:
//
//   [filters]
//   filter1_flags=7      ; 1 active, 2 free seats, 4 no password, 8 friends' games
//   filter1_name=duel    ; part of the game's name (letter case aside)
//   filter1_mission=rim  ; part of the mission's title
//
// A slot whose flags are 0 is unused. The visibility the player chose for
// friends goes with them ([social] visibility=0, 1 or 2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/social_packets.h"

class CFGFILE;

namespace vorlane::frontend {

inline constexpr size_t kMaxSavedFilters = 8;

// A game's name is "<game>/<mission title>/<player>": the part between the
// first two slashes, or the whole name when it has no such shape.
std::string MissionOfGameName(const std::string& name);

// True when `game` matches an active `filter`, as the server matches it for
// its alerts: the name text anywhere in the name, the mission text in the
// mission, letter case aside. Friends' games are those a friend sits in, as
// the friend list says (the friend's "where"); the server, which knows each
// game's host, alerts for games a friend hosts.
bool GameMatches(const net::GameRecord& game, const net::GameFilter& filter,
                 const std::vector<net::FriendEntry>& friends);
// True when any filter matches (false without an active one).
bool GameMatchesAny(const net::GameRecord& game, const std::vector<net::GameFilter>& filters,
                    const std::vector<net::FriendEntry>& friends);

// Reads and writes the filters (slots numbered in order) and the visibility
// (-1 when never chosen) in a configuration file, keeping its other keys.
std::vector<net::GameFilter> ReadSavedFilters(CFGFILE& file);
void PutSavedFilters(CFGFILE& file, const std::vector<net::GameFilter>& filters);
int ReadSavedVisibility(CFGFILE& file);
void PutSavedVisibility(CFGFILE& file, int visibility);

}  // namespace vorlane::frontend
