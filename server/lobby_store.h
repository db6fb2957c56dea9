// LobbyStore: the lobby server's accounts, profiles, statistics, sanctions
// and channels, behind one interface with a backend per database.
//
// Where the store lives is one text (the configuration's `store` key):
//   sqlite:PATH        an SQLite file (SqliteStore; ":memory:" for a private
//                      in-memory one); a plain PATH means the same
//   postgresql://...   a PostgreSQL database (PgStore; a libpq connection
//                      URI, postgres://... as well)
// Whatever the backend, passwords are kept only as Argon2id hashes
// (libsodium's crypto_pwhash_str), made and checked here and never by a
// backend, and every change a backend reports as done is durable.
//
// What every backend keeps (schema version 3):
//   accounts(id, name unique regardless of case, hash, email, created)
//   profiles(account, number 1..4, data 8295 bytes, won, lost, disconnected, score)
//   sanctions(id, kind, account, address, reason, created, expires, by)
//   channels(number, name unique regardless of case, flags, origin)
//   servers(number, token, heartbeat)            (since 2) the servers of a cluster
//   online(account unique, server, since)        (since 2) who is logged in where
//   friendships(asker, target, accepted, since)  (since 3) one row per pair
//   blocks(account, blocked, since)              (since 3)
//   account_state(account, visibility, away_since, last_outcome, last_score,
//                 last_ended, last_game)         (since 3) one row per account
//   stored_lines(id, receiver, sender, sent, flags, text)
//                                                (since 3) private lines kept
//                                                for an absent receiver
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
#include "net/social_packets.h"
#include "server/lobby_status.h"

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

// Another account as one account sees it: a friend, a request either way,
// or an account it blocks. Whom an account is blocked by it never learns.
struct SocialLink {
    uint32_t other = 0;
    std::string name;
    net::Relation relation = net::kRelationNone;
    int64_t since = 0;  // Unix seconds of the request, the acceptance or the block

    bool operator==(const SocialLink&) const = default;
};

// What the store keeps of an account besides its profiles. An account the
// store has no row for reads as all zero.
struct AccountState {
    uint16_t visibility = net::kVisibleEveryone;
    int64_t away_since = 0;     // when it last went offline or into a game
    uint16_t last_outcome = 0;  // GameOutcome of its last reported game, 0 none
    int32_t last_score = 0;
    int64_t last_ended = 0;
    std::string last_game;

    bool operator==(const AccountState&) const = default;
};

// A private line kept for its receiver until it is deleted or expires.
struct KeptLine {
    uint32_t id = 0;
    uint32_t receiver = 0;
    std::string sender;  // the sender's account name
    int64_t sent = 0;
    uint16_t flags = 0;
    std::string text;

    bool operator==(const KeptLine&) const = default;
};

class LobbyStore {
  public:
    // Opens the store at `location` (see above), creating its tables if
    // needed and bringing an older schema to the current one. Null on
    // failure, with the reason in `error`.
    static std::unique_ptr<LobbyStore> Open(const std::string& location, HashStrength strength,
                                            std::string* error = nullptr);
    virtual ~LobbyStore() = default;
    LobbyStore(const LobbyStore&) = delete;
    LobbyStore& operator=(const LobbyStore&) = delete;

    // kOk with the new identifier, kExists, or kError.
    StoreResult CreateAccount(const std::string& name, const std::string& password,
                              const std::string& email, uint32_t* id);
    // kOk with the identifier, kUnknown, kWrongPassword or kError.
    StoreResult CheckLogin(const std::string& name, const std::string& password, uint32_t* id);
    virtual bool AccountExists(uint32_t id) = 0;

    // The two halves of the calls above, for a server that hashes on worker
    // threads: hashing and verifying touch no database and may run anywhere.
    // An empty result means the hash could not be made.
    std::string HashPassword(const std::string& password) const;
    static bool VerifyPassword(const std::string& hash, const std::string& password);
    // kOk with the identifier, kExists, or kError. An empty hash is kError.
    virtual StoreResult InsertAccount(const std::string& name, const std::string& hash,
                                      const std::string& email, uint32_t* id) = 0;
    // kOk with identifier and hash, kUnknown, or kError.
    virtual StoreResult FindAccount(const std::string& name, uint32_t* id, std::string* hash) = 0;

    // The profile in slot `number` with its statistics; false (and an
    // all-zero profile) when the slot is empty or on failure.
    virtual bool LoadProfile(uint32_t account, uint16_t number, net::Profile* profile) = 0;
    // Stores the player's fields of `profile`; statistics are kept.
    virtual bool StoreProfile(uint32_t account, uint16_t number, const net::Profile& profile) = 0;
    // Empties a slot, statistics included.
    virtual bool ClearProfile(uint32_t account, uint16_t number) = 0;
    // Applies the results of one game in one transaction, and notes the
    // game (its name and when it ended, Unix seconds) as each player's last;
    // false changes nothing.
    virtual bool ApplyResults(const std::vector<PlayerResult>& results,
                              const std::string& game_name = {}, int64_t ended = 0) = 0;

    // The account's name; empty when there is none.
    virtual std::string AccountName(uint32_t id) = 0;
    // Replaces the account's password hash (made with HashPassword).
    virtual bool SetPasswordHash(uint32_t id, const std::string& hash) = 0;

    // Stores a sanction in place of any of its kind for the same target.
    virtual bool PutSanction(const Sanction& sanction) = 0;
    // Removes the sanctions of `kind` for the account (if not 0) and the
    // address (if not 0); how many went, or -1 on failure.
    virtual int RemoveSanctions(SanctionKind kind, uint32_t account, uint32_t address) = 0;
    // The sanction of `kind` in force at `now` for the account or the
    // address (the one that lasts longest), if any.
    virtual std::optional<Sanction> FindSanction(SanctionKind kind, uint32_t account,
                                                 uint32_t address, int64_t now) = 0;
    // Every sanction in force at `now`, by kind and age.
    virtual std::vector<Sanction> Sanctions(int64_t now) = 0;
    // Deletes the sanctions expired at `now`; how many, or -1.
    virtual int PurgeSanctions(int64_t now) = 0;

    // Every channel ever known, by number.
    virtual std::vector<StoredChannel> Channels() = 0;
    // Inserts or replaces the row of `channel.number`.
    virtual bool PutChannel(const StoredChannel& channel) = 0;

    // The servers of a cluster share one store. Each holds a number (1..max)
    // while it renews its heartbeat (Unix seconds); a number whose heartbeat
    // is older than `stale_before` is free again, and so are the online
    // rows under it. `token` tells the holder from a later one.
    // The lowest free number claimed for `token` (its old online rows
    // cleared), or 0 when none is free or on failure.
    virtual uint16_t ClaimServerNumber(uint64_t token, int64_t now, int64_t stale_before,
                                       uint16_t max) = 0;
    // Renews the heartbeat; false when the number is not `token`'s any more
    // or on failure.
    virtual bool RenewServerNumber(uint16_t number, uint64_t token, int64_t now) = 0;
    // Gives the number up with its online rows.
    virtual bool ReleaseServerNumber(uint16_t number, uint64_t token) = 0;
    // Notes `account` as logged in on `server`: kOk, kExists when a server
    // with a fresh heartbeat holds it already, or kError.
    virtual StoreResult ClaimOnline(uint32_t account, uint16_t server, int64_t now,
                                    int64_t stale_before) = 0;
    // Forgets the account's row when `server` holds it.
    virtual bool ReleaseOnline(uint32_t account, uint16_t server) = 0;

    // Friends, requests and blocks. The server decides what an action
    // means; the store only keeps the rows.
    // The account's links by name; a pair that asked each other counts as
    // friends, and a block hides any friendship of the pair.
    virtual std::vector<SocialLink> SocialLinks(uint32_t account) = 0;
    // Inserts or replaces the row of `asker` asking `target`.
    virtual bool SetFriendship(uint32_t asker, uint32_t target, bool accepted, int64_t now) = 0;
    // Removes the pair's friendship or requests, either way.
    virtual bool RemoveFriendship(uint32_t first, uint32_t second) = 0;
    // Blocking also ends the pair's friendship or requests.
    virtual bool SetBlock(uint32_t account, uint32_t blocked, bool on, int64_t now) = 0;
    // Whether `account` blocks `other`.
    virtual bool Blocks(uint32_t account, uint32_t other) = 0;

    virtual AccountState LoadAccountState(uint32_t account) = 0;
    virtual bool SetVisibility(uint32_t account, uint16_t visibility) = 0;
    virtual bool SetAwaySince(uint32_t account, int64_t when) = 0;

    // Keeps a line for its receiver: the receiver's lines sent before
    // `expired_before` go first, then the line is kept unless `max` are
    // held already. The new line's identifier, or 0 (full, or a failure).
    virtual uint32_t KeepLine(const KeptLine& line, int64_t expired_before, size_t max) = 0;
    // The receiver's lines sent from `expired_before` on, oldest first.
    virtual std::vector<KeptLine> KeptLines(uint32_t receiver, int64_t expired_before) = 0;
    // Deletes one of the receiver's lines, or all of them for `id` 0; how
    // many went, or -1.
    virtual int DeleteKeptLines(uint32_t receiver, uint32_t id) = 0;
    // Deletes every line sent before `expired_before`; how many, or -1.
    virtual int PurgeKeptLines(int64_t expired_before) = 0;

  protected:
    explicit LobbyStore(HashStrength strength);
    // One link per other account from the raw rows (see SocialLinks), by name.
    static std::vector<SocialLink> MergeLinks(std::vector<SocialLink> rows);

  private:
    HashStrength strength_;
};

// Whether a store location names a PostgreSQL database.
bool IsPostgresqlLocation(const std::string& location);
// The SQLite file a store location names ("sqlite:PATH" or a plain PATH);
// empty for a location of another backend.
std::string SqlitePath(const std::string& location);
// Why a store location cannot be opened by this build, or "" when it can
// (the file or the server may still be missing).
std::string StoreLocationProblem(const std::string& location);
// The location as it may be logged and shown: a password in it is masked.
std::string RedactedLocation(const std::string& location);

// Name rules: 1 to 14 printable ASCII characters, not starting or ending with a blank.
bool IsValidName(const std::string& name);

// How long the database statements of this process take.
LatencyHistogram& DatabaseLatency();

}  // namespace vorlane::server
