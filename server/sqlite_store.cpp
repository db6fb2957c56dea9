// [SECTION] index
//   Statements, opening and schema versions, accounts, profiles and results,
//   accounts for the operator, sanctions, channels, the servers of a cluster,
//   friends and blocks, account state and kept lines, backup.
#include "server/sqlite_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

namespace vorlane::server {

namespace {

// One prepared statement, finalised exactly once.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& Bind(int index, int64_t value) {
        if (stmt_)
            sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Statement& Bind(int index, const std::string& text) {
        if (stmt_)
            sqlite3_bind_text(stmt_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindBlob(int index, const void* data, int size) {
        if (stmt_)
            sqlite3_bind_blob(stmt_, index, data, size, SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() {
        if (!stmt_)
            return SQLITE_ERROR;
        const auto start = std::chrono::steady_clock::now();
        const int result = sqlite3_step(stmt_);
        DatabaseLatency().Add(std::chrono::steady_clock::now() - start);
        return result;
    }
    int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
    std::string Text(int column) {
        const auto* text = sqlite3_column_text(stmt_, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  size_t(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }
    const uint8_t* Blob(int column, size_t* size) {
        *size = size_t(sqlite3_column_bytes(stmt_, column));
        return static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool ValidSlot(uint16_t number) {
    return number >= 1 && number <= 4;
}

// The schema this code writes; PRAGMA user_version holds the file's.
constexpr int64_t kSchemaVersion = 3;

// Closes a connection exactly once (sqlite3_close_v2 takes null).
struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

Sanction ReadSanction(Statement& row) {
    Sanction sanction;
    sanction.kind = SanctionKind(row.Int(0));
    sanction.account = uint32_t(row.Int(1));
    sanction.address = uint32_t(row.Int(2));
    sanction.reason = row.Text(3);
    sanction.created = row.Int(4);
    sanction.expires = row.Int(5);
    sanction.by = row.Text(6);
    return sanction;
}

constexpr const char* kSanctionColumns =
    "SELECT kind, account, address, reason, created, expires, by FROM sanctions ";

// A number is taken when it has no row or its holder's heartbeat is stale.
constexpr const char* kClaimServerSql =
    "INSERT INTO servers(number, token, heartbeat) VALUES(?1, ?2, ?3)"
    " ON CONFLICT(number) DO UPDATE SET token = excluded.token, heartbeat = excluded.heartbeat"
    " WHERE servers.heartbeat < ?4";
// An account is taken when it has no row or its server's heartbeat is stale.
constexpr const char* kClaimOnlineSql =
    "INSERT INTO online(account, server, since) VALUES(?1, ?2, ?3)"
    " ON CONFLICT(account) DO UPDATE SET server = excluded.server, since = excluded.since"
    " WHERE NOT EXISTS(SELECT 1 FROM servers"
    " WHERE servers.number = online.server AND servers.heartbeat >= ?4)";

// Notes a player's last game in its account row.
constexpr const char* kLastGameSql =
    "INSERT INTO account_state(account, last_outcome, last_score, last_ended, last_game)"
    " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(account) DO UPDATE SET"
    " last_outcome = excluded.last_outcome, last_score = excluded.last_score,"
    " last_ended = excluded.last_ended, last_game = excluded.last_game";

// Every raw link of ?1: its requests and friendships both ways and its blocks.
constexpr const char* kSocialLinksSql =
    "SELECT f.target, a.name, CASE WHEN f.accepted THEN 1 ELSE 3 END, f.since"
    " FROM friendships f JOIN accounts a ON a.id = f.target WHERE f.asker = ?1"
    " UNION ALL SELECT f.asker, a.name, CASE WHEN f.accepted THEN 1 ELSE 2 END, f.since"
    " FROM friendships f JOIN accounts a ON a.id = f.asker WHERE f.target = ?1"
    " UNION ALL SELECT b.blocked, a.name, 4, b.since"
    " FROM blocks b JOIN accounts a ON a.id = b.blocked WHERE b.account = ?1";

}  // namespace

// [SECTION] Opening and schema versions

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, HashStrength strength,
                                               std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return std::unique_ptr<SqliteStore>();
    };
    // A new database holds password hashes: only its owner may read it. SQLite
    // gives its journal files the database file's permissions.
    if (path != ":memory:") {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(strength));
    if (sqlite3_open_v2(path.c_str(), &store->db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        return fail(store->db_ ? sqlite3_errmsg(store->db_) : "cannot open the database");
    }
    sqlite3_busy_timeout(store->db_, 5000);
    const bool ready =
        store->Exec("PRAGMA journal_mode=WAL") && store->Exec("PRAGMA synchronous=FULL") &&
        store->Exec("PRAGMA foreign_keys=ON") &&
        store->Exec(
            "CREATE TABLE IF NOT EXISTS accounts("
            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
            " name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
            " hash TEXT NOT NULL, email TEXT NOT NULL, created INTEGER NOT NULL)") &&
        store->Exec(
            "CREATE TABLE IF NOT EXISTS profiles("
            " account INTEGER NOT NULL REFERENCES accounts(id),"
            " number INTEGER NOT NULL CHECK(number BETWEEN 1 AND 4),"
            " data BLOB NOT NULL,"
            " won INTEGER NOT NULL DEFAULT 0, lost INTEGER NOT NULL DEFAULT 0,"
            " disconnected INTEGER NOT NULL DEFAULT 0, score INTEGER NOT NULL DEFAULT 0,"
            " PRIMARY KEY(account, number))");
    if (!ready)
        return fail(sqlite3_errmsg(store->db_));
    if (!store->Migrate())
        return fail(std::string("cannot bring the database to schema version ") +
                    std::to_string(kSchemaVersion) + ": " + sqlite3_errmsg(store->db_));
    return store;
}

bool SqliteStore::Migrate() {
    int64_t version = 0;
    {
        Statement read(db_, "PRAGMA user_version");
        if (read.Step() != SQLITE_ROW)
            return false;
        version = read.Int(0);
    }
    // A file written by a later version may hold what this one cannot keep.
    if (version > kSchemaVersion)
        return false;
    if (version == kSchemaVersion)
        return true;
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    if (version < 1) {
        ok = Exec(
                 "CREATE TABLE IF NOT EXISTS sanctions("
                 " id INTEGER PRIMARY KEY AUTOINCREMENT, kind INTEGER NOT NULL,"
                 " account INTEGER NOT NULL DEFAULT 0, address INTEGER NOT NULL DEFAULT 0,"
                 " reason TEXT NOT NULL, created INTEGER NOT NULL, expires INTEGER NOT NULL,"
                 " by TEXT NOT NULL)") &&
             Exec(
                 "CREATE INDEX IF NOT EXISTS sanctions_target"
                 " ON sanctions(kind, account, address)") &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS channels("
                 " number INTEGER PRIMARY KEY CHECK(number BETWEEN 1 AND 65535),"
                 " name TEXT NOT NULL UNIQUE COLLATE NOCASE, flags INTEGER NOT NULL,"
                 " origin INTEGER NOT NULL)");
    }
    if (version < 2) {
        ok = ok &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS servers(number INTEGER PRIMARY KEY,"
                 " token INTEGER NOT NULL, heartbeat INTEGER NOT NULL)") &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS online(account INTEGER PRIMARY KEY,"
                 " server INTEGER NOT NULL, since INTEGER NOT NULL)");
    }
    if (version < 3) {
        ok = ok &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS friendships(asker INTEGER NOT NULL,"
                 " target INTEGER NOT NULL, accepted INTEGER NOT NULL, since INTEGER NOT NULL,"
                 " PRIMARY KEY(asker, target))") &&
             Exec("CREATE INDEX IF NOT EXISTS friendships_target ON friendships(target)") &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS blocks(account INTEGER NOT NULL,"
                 " blocked INTEGER NOT NULL, since INTEGER NOT NULL,"
                 " PRIMARY KEY(account, blocked))") &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS account_state(account INTEGER PRIMARY KEY,"
                 " visibility INTEGER NOT NULL DEFAULT 0, away_since INTEGER NOT NULL DEFAULT 0,"
                 " last_outcome INTEGER NOT NULL DEFAULT 0, last_score INTEGER NOT NULL DEFAULT 0,"
                 " last_ended INTEGER NOT NULL DEFAULT 0, last_game BLOB NOT NULL DEFAULT x'')") &&
             Exec(
                 "CREATE TABLE IF NOT EXISTS stored_lines("
                 " id INTEGER PRIMARY KEY AUTOINCREMENT, receiver INTEGER NOT NULL,"
                 " sender TEXT NOT NULL, sent INTEGER NOT NULL, flags INTEGER NOT NULL,"
                 " text BLOB NOT NULL)") &&
             Exec(
                 "CREATE INDEX IF NOT EXISTS stored_lines_receiver"
                 " ON stored_lines(receiver, id)");
    }
    ok = ok && Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    if (!ok || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

SqliteStore::~SqliteStore() {
    sqlite3_close_v2(db_);
}

bool SqliteStore::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// [SECTION] Accounts, profiles and results

StoreResult SqliteStore::InsertAccount(const std::string& name, const std::string& hash,
                                       const std::string& email, uint32_t* id) {
    if (hash.empty())
        return StoreResult::kError;
    Statement insert(db_, "INSERT INTO accounts(name, hash, email, created) VALUES(?, ?, ?, ?)");
    insert.Bind(1, name).Bind(2, hash).Bind(3, email).Bind(4, int64_t(std::time(nullptr)));
    const int step = insert.Step();
    if (step == SQLITE_CONSTRAINT)
        return StoreResult::kExists;
    if (step != SQLITE_DONE)
        return StoreResult::kError;
    const int64_t new_id = sqlite3_last_insert_rowid(db_);
    if (new_id <= 0 || new_id > INT32_MAX)
        return StoreResult::kError;
    if (id)
        *id = uint32_t(new_id);
    return StoreResult::kOk;
}

StoreResult SqliteStore::FindAccount(const std::string& name, uint32_t* id, std::string* hash) {
    Statement select(db_, "SELECT id, hash FROM accounts WHERE name = ?");
    select.Bind(1, name);
    const int step = select.Step();
    if (step == SQLITE_DONE)
        return StoreResult::kUnknown;
    if (step != SQLITE_ROW)
        return StoreResult::kError;
    if (id)
        *id = uint32_t(select.Int(0));
    if (hash)
        *hash = select.Text(1);
    return StoreResult::kOk;
}

bool SqliteStore::AccountExists(uint32_t id) {
    Statement select(db_, "SELECT 1 FROM accounts WHERE id = ?");
    select.Bind(1, int64_t(id));
    return select.Step() == SQLITE_ROW;
}

bool SqliteStore::LoadProfile(uint32_t account, uint16_t number, net::Profile* profile) {
    profile->fill(0);
    if (!ValidSlot(number))
        return false;
    Statement select(db_,
                     "SELECT data, won, lost, disconnected, score FROM profiles"
                     " WHERE account = ? AND number = ?");
    select.Bind(1, int64_t(account)).Bind(2, int64_t(number));
    if (select.Step() != SQLITE_ROW)
        return false;
    size_t size = 0;
    const uint8_t* data = select.Blob(0, &size);
    if (!data || size != net::kProfileSize)
        return false;
    std::copy_n(data, net::kProfileSize, profile->begin());
    net::PutU32(*profile, net::kProfWon, uint32_t(select.Int(1)));
    net::PutU32(*profile, net::kProfLost, uint32_t(select.Int(2)));
    net::PutU32(*profile, net::kProfDisconnected, uint32_t(select.Int(3)));
    net::PutU32(*profile, net::kProfScore, uint32_t(select.Int(4)));
    return true;
}

bool SqliteStore::StoreProfile(uint32_t account, uint16_t number, const net::Profile& profile) {
    if (!ValidSlot(number))
        return false;
    net::Profile clean = profile;
    // Texts always end inside their fields; statistics belong to the server.
    clean[net::kProfName + net::kNameWidth - 1] = 0;
    clean[net::kProfContact + net::kEmailWidth - 1] = 0;
    for (size_t offset = net::kProfWon; offset < net::kProfScore + 4; ++offset) clean[offset] = 0;
    Statement upsert(db_,
                     "INSERT INTO profiles(account, number, data) VALUES(?, ?, ?)"
                     " ON CONFLICT(account, number) DO UPDATE SET data = excluded.data");
    upsert.Bind(1, int64_t(account))
        .Bind(2, int64_t(number))
        .BindBlob(3, clean.data(), int(clean.size()));
    return upsert.Step() == SQLITE_DONE;
}

bool SqliteStore::ClearProfile(uint32_t account, uint16_t number) {
    if (!ValidSlot(number))
        return false;
    Statement erase(db_, "DELETE FROM profiles WHERE account = ? AND number = ?");
    erase.Bind(1, int64_t(account)).Bind(2, int64_t(number));
    return erase.Step() == SQLITE_DONE;
}

bool SqliteStore::ApplyResults(const std::vector<PlayerResult>& results,
                               const std::string& game_name, int64_t ended) {
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    for (const PlayerResult& result : results) {
        const char* column = result.outcome == GameOutcome::kWon    ? "won"
                             : result.outcome == GameOutcome::kLost ? "lost"
                                                                    : "disconnected";
        const std::string sql = std::string("UPDATE profiles SET ") + column + " = " + column +
                                " + 1, score = score + ? WHERE account = ? AND number = ?";
        Statement update(db_, sql.c_str());
        update.Bind(1, int64_t(result.score))
            .Bind(2, int64_t(result.account))
            .Bind(3, int64_t(result.profile));
        if (update.Step() != SQLITE_DONE || sqlite3_changes(db_) != 1) {
            ok = false;
            break;
        }
        Statement last(db_, kLastGameSql);
        last.Bind(1, int64_t(result.account))
            .Bind(2, int64_t(result.outcome))
            .Bind(3, int64_t(result.score))
            .Bind(4, ended)
            .BindBlob(4 + 1, game_name.data(), int(game_name.size()));
        if (last.Step() != SQLITE_DONE) {
            ok = false;
            break;
        }
    }
    if (!Exec(ok ? "COMMIT" : "ROLLBACK")) {
        Exec("ROLLBACK");
        return false;
    }
    return ok;
}

// [SECTION] Accounts for the operator

std::string SqliteStore::AccountName(uint32_t id) {
    Statement select(db_, "SELECT name FROM accounts WHERE id = ?");
    select.Bind(1, int64_t(id));
    return select.Step() == SQLITE_ROW ? select.Text(0) : std::string();
}

bool SqliteStore::SetPasswordHash(uint32_t id, const std::string& hash) {
    if (hash.empty())
        return false;
    Statement update(db_, "UPDATE accounts SET hash = ? WHERE id = ?");
    update.Bind(1, hash).Bind(2, int64_t(id));
    return update.Step() == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

// [SECTION] Sanctions

bool SqliteStore::PutSanction(const Sanction& sanction) {
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    Statement erase(db_, "DELETE FROM sanctions WHERE kind = ? AND account = ? AND address = ?");
    erase.Bind(1, int64_t(sanction.kind))
        .Bind(2, int64_t(sanction.account))
        .Bind(3, int64_t(sanction.address));
    Statement insert(db_,
                     "INSERT INTO sanctions(kind, account, address, reason, created, expires, by)"
                     " VALUES(?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(1, int64_t(sanction.kind))
        .Bind(2, int64_t(sanction.account))
        .Bind(3, int64_t(sanction.address))
        .Bind(4, sanction.reason)
        .Bind(5, sanction.created)
        .Bind(6, sanction.expires)
        .Bind(7, sanction.by);
    const bool ok = erase.Step() == SQLITE_DONE && insert.Step() == SQLITE_DONE;
    if (!ok || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

int SqliteStore::RemoveSanctions(SanctionKind kind, uint32_t account, uint32_t address) {
    Statement erase(db_,
                    "DELETE FROM sanctions WHERE kind = ?"
                    " AND ((account = ? AND account != 0) OR (address = ? AND address != 0))");
    erase.Bind(1, int64_t(kind)).Bind(2, int64_t(account)).Bind(3, int64_t(address));
    return erase.Step() == SQLITE_DONE ? sqlite3_changes(db_) : -1;
}

std::optional<Sanction> SqliteStore::FindSanction(SanctionKind kind, uint32_t account,
                                                  uint32_t address, int64_t now) {
    Statement select(db_, (std::string(kSanctionColumns) +
                           "WHERE kind = ? AND (expires = 0 OR expires > ?)"
                           " AND ((account = ? AND account != 0) OR (address = ? AND address != 0))"
                           " ORDER BY expires = 0 DESC, expires DESC LIMIT 1")
                              .c_str());
    select.Bind(1, int64_t(kind)).Bind(2, now).Bind(3, int64_t(account)).Bind(4, int64_t(address));
    if (select.Step() != SQLITE_ROW)
        return std::nullopt;
    return ReadSanction(select);
}

std::vector<Sanction> SqliteStore::Sanctions(int64_t now) {
    Statement select(db_, (std::string(kSanctionColumns) +
                           "WHERE expires = 0 OR expires > ? ORDER BY kind, created, id")
                              .c_str());
    select.Bind(1, now);
    std::vector<Sanction> found;
    while (select.Step() == SQLITE_ROW) found.push_back(ReadSanction(select));
    return found;
}

int SqliteStore::PurgeSanctions(int64_t now) {
    Statement erase(db_, "DELETE FROM sanctions WHERE expires != 0 AND expires <= ?");
    erase.Bind(1, now);
    return erase.Step() == SQLITE_DONE ? sqlite3_changes(db_) : -1;
}

// [SECTION] Channels

std::vector<StoredChannel> SqliteStore::Channels() {
    Statement select(db_, "SELECT number, name, flags, origin FROM channels ORDER BY number");
    std::vector<StoredChannel> channels;
    while (select.Step() == SQLITE_ROW) {
        StoredChannel& channel = channels.emplace_back();
        channel.number = uint16_t(select.Int(0));
        channel.name = select.Text(1);
        channel.flags = uint8_t(select.Int(2));
        channel.origin = ChannelOrigin(select.Int(3));
    }
    return channels;
}

bool SqliteStore::PutChannel(const StoredChannel& channel) {
    Statement upsert(db_,
                     "INSERT INTO channels(number, name, flags, origin) VALUES(?, ?, ?, ?)"
                     " ON CONFLICT(number) DO UPDATE SET name = excluded.name,"
                     " flags = excluded.flags, origin = excluded.origin");
    upsert.Bind(1, int64_t(channel.number))
        .Bind(2, channel.name)
        .Bind(3, int64_t(channel.flags))
        .Bind(4, int64_t(channel.origin));
    return upsert.Step() == SQLITE_DONE;
}

// [SECTION] The servers of a cluster

uint16_t SqliteStore::ClaimServerNumber(uint64_t token, int64_t now, int64_t stale_before,
                                        uint16_t max) {
    for (uint16_t number = 1; number != 0 && number <= max; ++number) {
        if (!Exec("BEGIN IMMEDIATE"))
            return 0;
        Statement claim(db_, kClaimServerSql);
        claim.Bind(1, int64_t(number)).Bind(2, int64_t(token)).Bind(3, now).Bind(4, stale_before);
        const bool claimed = claim.Step() == SQLITE_DONE && sqlite3_changes(db_) == 1;
        Statement clear(db_, "DELETE FROM online WHERE server = ?");
        clear.Bind(1, int64_t(number));
        const bool ok = (!claimed || clear.Step() == SQLITE_DONE) && Exec("COMMIT");
        if (!ok) {
            Exec("ROLLBACK");
            return 0;
        }
        if (claimed)
            return number;
    }
    return 0;
}

bool SqliteStore::RenewServerNumber(uint16_t number, uint64_t token, int64_t now) {
    Statement update(db_, "UPDATE servers SET heartbeat = ? WHERE number = ? AND token = ?");
    update.Bind(1, now).Bind(2, int64_t(number)).Bind(3, int64_t(token));
    return update.Step() == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

bool SqliteStore::ReleaseServerNumber(uint16_t number, uint64_t token) {
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    Statement erase(db_, "DELETE FROM servers WHERE number = ? AND token = ?");
    erase.Bind(1, int64_t(number)).Bind(2, int64_t(token));
    const bool mine = erase.Step() == SQLITE_DONE && sqlite3_changes(db_) == 1;
    Statement clear(db_, "DELETE FROM online WHERE server = ?");
    clear.Bind(1, int64_t(number));
    const bool ok = (!mine || clear.Step() == SQLITE_DONE) && Exec("COMMIT");
    if (!ok)
        Exec("ROLLBACK");
    return ok && mine;
}

StoreResult SqliteStore::ClaimOnline(uint32_t account, uint16_t server, int64_t now,
                                     int64_t stale_before) {
    Statement claim(db_, kClaimOnlineSql);
    claim.Bind(1, int64_t(account)).Bind(2, int64_t(server)).Bind(3, now).Bind(4, stale_before);
    if (claim.Step() != SQLITE_DONE)
        return StoreResult::kError;
    return sqlite3_changes(db_) == 1 ? StoreResult::kOk : StoreResult::kExists;
}

bool SqliteStore::ReleaseOnline(uint32_t account, uint16_t server) {
    Statement erase(db_, "DELETE FROM online WHERE account = ? AND server = ?");
    erase.Bind(1, int64_t(account)).Bind(2, int64_t(server));
    return erase.Step() == SQLITE_DONE;
}

// [SECTION] Friends and blocks

std::vector<SocialLink> SqliteStore::SocialLinks(uint32_t account) {
    Statement select(db_, kSocialLinksSql);
    select.Bind(1, int64_t(account));
    std::vector<SocialLink> rows;
    while (select.Step() == SQLITE_ROW) {
        rows.push_back(
            {uint32_t(select.Int(0)), select.Text(1), net::Relation(select.Int(2)), select.Int(3)});
    }
    return MergeLinks(std::move(rows));
}

bool SqliteStore::SetFriendship(uint32_t asker, uint32_t target, bool accepted, int64_t now) {
    Statement upsert(db_,
                     "INSERT INTO friendships(asker, target, accepted, since) VALUES(?, ?, ?, ?)"
                     " ON CONFLICT(asker, target) DO UPDATE SET accepted = excluded.accepted,"
                     " since = excluded.since");
    upsert.Bind(1, int64_t(asker))
        .Bind(2, int64_t(target))
        .Bind(3, int64_t(accepted ? 1 : 0))
        .Bind(4, now);
    return upsert.Step() == SQLITE_DONE;
}

bool SqliteStore::RemoveFriendship(uint32_t first, uint32_t second) {
    Statement erase(db_,
                    "DELETE FROM friendships WHERE (asker = ?1 AND target = ?2)"
                    " OR (asker = ?2 AND target = ?1)");
    erase.Bind(1, int64_t(first)).Bind(2, int64_t(second));
    return erase.Step() == SQLITE_DONE;
}

bool SqliteStore::SetBlock(uint32_t account, uint32_t blocked, bool on, int64_t now) {
    if (!on) {
        Statement erase(db_, "DELETE FROM blocks WHERE account = ? AND blocked = ?");
        erase.Bind(1, int64_t(account)).Bind(2, int64_t(blocked));
        return erase.Step() == SQLITE_DONE;
    }
    if (!Exec("BEGIN IMMEDIATE"))
        return false;
    Statement insert(db_,
                     "INSERT INTO blocks(account, blocked, since) VALUES(?, ?, ?)"
                     " ON CONFLICT(account, blocked) DO NOTHING");
    insert.Bind(1, int64_t(account)).Bind(2, int64_t(blocked)).Bind(3, now);
    const bool ok = insert.Step() == SQLITE_DONE && RemoveFriendship(account, blocked);
    if (!ok || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

bool SqliteStore::Blocks(uint32_t account, uint32_t other) {
    Statement select(db_, "SELECT 1 FROM blocks WHERE account = ? AND blocked = ?");
    select.Bind(1, int64_t(account)).Bind(2, int64_t(other));
    return select.Step() == SQLITE_ROW;
}

// [SECTION] Account state and kept lines

AccountState SqliteStore::LoadAccountState(uint32_t account) {
    Statement select(db_,
                     "SELECT visibility, away_since, last_outcome, last_score, last_ended,"
                     " last_game FROM account_state WHERE account = ?");
    select.Bind(1, int64_t(account));
    AccountState state;
    if (select.Step() != SQLITE_ROW)
        return state;
    state.visibility = uint16_t(select.Int(0));
    state.away_since = select.Int(1);
    state.last_outcome = uint16_t(select.Int(2));
    state.last_score = int32_t(select.Int(3));
    state.last_ended = select.Int(4);
    state.last_game = select.Text(5);
    return state;
}

bool SqliteStore::SetVisibility(uint32_t account, uint16_t visibility) {
    Statement upsert(db_,
                     "INSERT INTO account_state(account, visibility) VALUES(?, ?)"
                     " ON CONFLICT(account) DO UPDATE SET visibility = excluded.visibility");
    upsert.Bind(1, int64_t(account)).Bind(2, int64_t(visibility));
    return upsert.Step() == SQLITE_DONE;
}

bool SqliteStore::SetAwaySince(uint32_t account, int64_t when) {
    Statement upsert(db_,
                     "INSERT INTO account_state(account, away_since) VALUES(?, ?)"
                     " ON CONFLICT(account) DO UPDATE SET away_since = excluded.away_since");
    upsert.Bind(1, int64_t(account)).Bind(2, when);
    return upsert.Step() == SQLITE_DONE;
}

uint32_t SqliteStore::KeepLine(const KeptLine& line, int64_t expired_before, size_t max) {
    if (!Exec("BEGIN IMMEDIATE"))
        return 0;
    Statement purge(db_, "DELETE FROM stored_lines WHERE receiver = ? AND sent < ?");
    purge.Bind(1, int64_t(line.receiver)).Bind(2, expired_before);
    Statement count(db_, "SELECT count(*) FROM stored_lines WHERE receiver = ?");
    count.Bind(1, int64_t(line.receiver));
    bool ok = purge.Step() == SQLITE_DONE && count.Step() == SQLITE_ROW;
    int64_t id = 0;
    if (ok && size_t(count.Int(0)) < max) {
        Statement insert(db_,
                         "INSERT INTO stored_lines(receiver, sender, sent, flags, text)"
                         " VALUES(?, ?, ?, ?, ?)");
        insert.Bind(1, int64_t(line.receiver))
            .Bind(2, line.sender)
            .Bind(3, line.sent)
            .Bind(4, int64_t(line.flags))
            .BindBlob(5, line.text.data(), int(line.text.size()));
        ok = insert.Step() == SQLITE_DONE;
        id = sqlite3_last_insert_rowid(db_);
    }
    if (!ok || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        return 0;
    }
    return id > 0 && id <= INT32_MAX ? uint32_t(id) : 0;
}

std::vector<KeptLine> SqliteStore::KeptLines(uint32_t receiver, int64_t expired_before) {
    Statement select(db_,
                     "SELECT id, sender, sent, flags, text FROM stored_lines"
                     " WHERE receiver = ? AND sent >= ? ORDER BY id");
    select.Bind(1, int64_t(receiver)).Bind(2, expired_before);
    std::vector<KeptLine> lines;
    while (select.Step() == SQLITE_ROW) {
        lines.push_back({uint32_t(select.Int(0)), receiver, select.Text(1), select.Int(2),
                         uint16_t(select.Int(3)), select.Text(4)});
    }
    return lines;
}

int SqliteStore::DeleteKeptLines(uint32_t receiver, uint32_t id) {
    Statement erase(db_, "DELETE FROM stored_lines WHERE receiver = ?1 AND (?2 = 0 OR id = ?2)");
    erase.Bind(1, int64_t(receiver)).Bind(2, int64_t(id));
    return erase.Step() == SQLITE_DONE ? sqlite3_changes(db_) : -1;
}

int SqliteStore::PurgeKeptLines(int64_t expired_before) {
    Statement erase(db_, "DELETE FROM stored_lines WHERE sent < ?");
    erase.Bind(1, expired_before);
    return erase.Step() == SQLITE_DONE ? sqlite3_changes(db_) : -1;
}

// [SECTION] Backup

bool SqliteStore::Backup(const std::string& source, const std::string& target, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (source == ":memory:" || source.empty())
        return fail("the database is in memory");
    // Only a new file: an existing one (the live database among them) is
    // never overwritten. The copy holds password hashes: its owner only.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(target + ": " + std::strerror(errno));
    ::close(fd);
    sqlite3* raw = nullptr;
    const int opened_from = sqlite3_open_v2(source.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Connection from(raw);
    raw = nullptr;
    const int opened_to = sqlite3_open_v2(target.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Connection to(raw);
    std::string why;
    if (opened_from != SQLITE_OK || opened_to != SQLITE_OK) {
        why = opened_from != SQLITE_OK ? sqlite3_errstr(opened_from) : sqlite3_errstr(opened_to);
    } else {
        sqlite3_busy_timeout(from.get(), 5000);
        // One step copies every page from one read snapshot: consistent,
        // and in WAL mode the server's writes go on meanwhile.
        sqlite3_backup* backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
        if (!backup) {
            why = sqlite3_errmsg(to.get());
        } else {
            int step = SQLITE_OK;
            for (int attempt = 0; attempt < 500; ++attempt) {
                step = sqlite3_backup_step(backup, -1);
                if (step != SQLITE_BUSY && step != SQLITE_LOCKED)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            sqlite3_backup_finish(backup);
            if (step != SQLITE_DONE)
                why = sqlite3_errstr(step);
        }
    }
    to.reset();
    from.reset();
    if (!why.empty()) {
        ::unlink(target.c_str());
        return fail(why);
    }
    return true;
}

}  // namespace vorlane::server
