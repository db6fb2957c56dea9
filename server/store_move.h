// Moving a server's store from its SQLite file into PostgreSQL, for a server
// that grows into several: accounts with their password hashes as they are,
// profiles with their statistics, sanctions, channels, friends and blocks,
// each account's visibility and last game, and the private lines kept for
// absent players, each under the
// identifier it had, so nothing a player or an operator saved points
// elsewhere afterwards.
#pragma once

#include <cstdio>
#include <string>

namespace vorlane::server {

struct MoveCounts {
    size_t accounts = 0, profiles = 0, sanctions = 0, channels = 0;
    size_t friendships = 0, blocks = 0, account_states = 0, stored_lines = 0;
};

// Copies the SQLite store at `from` (sqlite:PATH or PATH; only read) into the
// PostgreSQL store at `to`, which must hold no accounts, profiles, sanctions
// or channels yet. Everything is written in one transaction: on failure the
// target is as it was. Progress lines go to `progress` (null: none). False
// with the reason in `error`.
bool MoveStore(const std::string& from, const std::string& to, std::FILE* progress,
               MoveCounts* counts, std::string* error);

}  // namespace vorlane::server
