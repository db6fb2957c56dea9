// LobbyStore: the lobby server's accounts, profiles and statistics in SQLite.
//
// The database runs in WAL mode with full synchronisation, so every change the
// store reports as done survives a crash or a kill of the process. Passwords
// are kept only as Argon2id hashes (libsodium's crypto_pwhash_str).
//
// Tables (schema version 1, in PRAGMA user_version; a version-0 file gains
// the tables of version 1 when it is opened and keeps everything it held):
//   accounts(id, name UNIQUE NOCASE, hash, email, created)
//   profiles(account, number 1..4, data 8295 bytes, won, lost, disconnected, score)
//   sanctions(id, kind, account, address, reason, created, expires, by)  since 1
//   channels(number, name UNIQUE NOCASE, flags, origin)                 since 1
// The statistics live in their own columns: an uploaded profile never sets
// them, and a profile read from the store carries them at their offsets.
// A sanction whose expiry has passed no longer counts and is purged.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

enum class SanctionKind : int { kBan = 1, kMute = 2 };

// A ban (of an account or of an address) or a mute (of an account). Times
// are Unix seconds; `expires` 0 means never.
struct Sanction {
    SanctionKind kind = SanctionKind::kBan;
    uint32_t account = 0;  // 0: none (an address ban)
    uint32_t address = 0;  // IPv4, host byte order; 0: none
    std::string reason;
    int64_t created = 0;
    int64_t expires = 0;
    std::string by;  // who imposed it
};

// Where a channel comes from. A channel keeps its number for good, whatever
// becomes of it, so numbers saved by clients never point at another channel.
enum class ChannelOrigin : int {
    kFile = 0,     // the configuration file (live while the file names it)
    kAdded = 1,    // added with the admin tool: live whatever the file says
    kRemoved = 2,  // removed with the admin tool: gone whatever the file says
};
struct StoredChannel {
    uint16_t number = 0;
    std::string name;
    uint8_t flags = 0;
    ChannelOrigin origin = ChannelOrigin::kFile;
};

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

    // The account's name; empty when there is none.
    std::string AccountName(uint32_t id);
    // Replaces the account's password hash (made with HashPassword).
    bool SetPasswordHash(uint32_t id, const std::string& hash);

    // Stores a sanction in place of any of its kind for the same target.
    bool PutSanction(const Sanction& sanction);
    // Removes the sanctions of `kind` for the account (if not 0) and the
    // address (if not 0); how many went, or -1 on failure.
    int RemoveSanctions(SanctionKind kind, uint32_t account, uint32_t address);
    // The sanction of `kind` in force at `now` for the account or the
    // address (the one that lasts longest), if any.
    std::optional<Sanction> FindSanction(SanctionKind kind, uint32_t account, uint32_t address,
                                         int64_t now);
    // Every sanction in force at `now`.
    std::vector<Sanction> Sanctions(int64_t now);
    // Deletes the sanctions expired at `now`; how many, or -1.
    int PurgeSanctions(int64_t now);

    // Every channel ever known, by number.
    std::vector<StoredChannel> Channels();
    // Inserts or replaces the row of `channel.number`.
    bool PutChannel(const StoredChannel& channel);

    // Copies the database at `source` into `target` (a new file) with
    // SQLite's online backup, on a connection of its own: the copy is
    // consistent while the server goes on writing. False with a reason.
    static bool Backup(const std::string& source, const std::string& target, std::string* error);

  private:
    LobbyStore() = default;
    bool Exec(const char* sql);
    // Brings a file of an older schema version to the current one.
    bool Migrate();

    sqlite3* db_ = nullptr;
    HashStrength strength_ = HashStrength::kInteractive;
};

// Name rules: 1 to 14 printable ASCII characters, not starting or ending with a blank.
bool IsValidName(const std::string& name);

// How long the database statements of this process take.
LatencyHistogram& DatabaseLatency();

}  // namespace vorlane::server
