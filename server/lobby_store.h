// LobbyStore: the lobby server's accounts, profiles and statistics in SQLite.
//
// The database runs in WAL mode with full synchronisation, so every change the
// store reports as done survives a crash or a kill of the process. Passwords
// are kept only as Argon2id hashes (libsodium's crypto_pwhash_str).
//
// Tables:
//   accounts(id, name UNIQUE NOCASE, hash, email, created)
//   profiles(account, number 1..4, data 8295 bytes, won, lost, disconnected, score)
// The statistics live in their own columns: an uploaded profile never sets
// them, and a profile read from the store carries them at their offsets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/lobby_packets.h"
#include "server/lobby_status.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vorlane::server {

enum class HashStrength {
    kInteractive,  // production: libsodium's INTERACTIVE limits
    kMinimum,      // tests and load runs: the MIN limits
};

enum class StoreResult { kOk, kExists, kUnknown, kWrongPassword, kError };

enum class GameOutcome : uint16_t { kWon = 1, kLost = 2, kDisconnected = 3 };

struct PlayerResult {
    uint32_t account = 0;
    uint16_t profile = 0;  // 1..4
    GameOutcome outcome = GameOutcome::kWon;
    int32_t score = 0;
};

class LobbyStore {
  public:
    // Opens (creating if needed) the database at `path` (":memory:" for a
    // private in-memory one). Null on failure, with the reason in `error`.
    static std::unique_ptr<LobbyStore> Open(const std::string& path, HashStrength strength,
                                            std::string* error = nullptr);
    ~LobbyStore();
    LobbyStore(const LobbyStore&) = delete;
    LobbyStore& operator=(const LobbyStore&) = delete;

    // kOk with the new identifier, kExists, or kError.
    StoreResult CreateAccount(const std::string& name, const std::string& password,
                              const std::string& email, uint32_t* id);
    // kOk with the identifier, kUnknown, kWrongPassword or kError.
    StoreResult CheckLogin(const std::string& name, const std::string& password, uint32_t* id);
    bool AccountExists(uint32_t id);

    // The two halves of the calls above, for a server that hashes on worker
    // threads: hashing and verifying touch no database and may run anywhere.
    // An empty result means the hash could not be made.
    std::string HashPassword(const std::string& password) const;
    static bool VerifyPassword(const std::string& hash, const std::string& password);
    // kOk with the identifier, kExists, or kError.
    StoreResult InsertAccount(const std::string& name, const std::string& hash,
                              const std::string& email, uint32_t* id);
    // kOk with identifier and hash, kUnknown, or kError.
    StoreResult FindAccount(const std::string& name, uint32_t* id, std::string* hash);

    // The profile in slot `number` with its statistics; false (and an
    // all-zero profile) when the slot is empty or on failure.
    bool LoadProfile(uint32_t account, uint16_t number, net::Profile* profile);
    // Stores the player's fields of `profile`; statistics are kept.
    bool StoreProfile(uint32_t account, uint16_t number, const net::Profile& profile);
    // Empties a slot, statistics included.
    bool ClearProfile(uint32_t account, uint16_t number);
    // Applies the results of one game in one transaction; false changes nothing.
    bool ApplyResults(const std::vector<PlayerResult>& results);

  private:
    LobbyStore() = default;
    bool Exec(const char* sql);

    sqlite3* db_ = nullptr;
    HashStrength strength_ = HashStrength::kInteractive;
};

// Name rules: 1 to 14 printable ASCII characters, not starting or ending with a blank.
bool IsValidName(const std::string& name);

// How long the database statements of this process take.
LatencyHistogram& DatabaseLatency();

}  // namespace vorlane::server
