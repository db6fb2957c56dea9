#include "server/store_move.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

#include "server/lobby_store.h"

namespace vorlane::server {

namespace {

// How each column travels: a number, text, or bytes (bytea in PostgreSQL:
// emails and sanction texts come in any encoding).
enum class Column { kInt, kText, kBytes };

struct Table {
    const char* name;
    const char* select;  // SQLite, the columns in `columns` order
    const char* insert;  // PostgreSQL, $1.. in the same order
    std::vector<Column> columns;
    size_t MoveCounts::*count;
};

// The tables of schema version 3 but those of a running cluster (server
// numbers, who is online). Identifiers are written as they are; sanctions'
// and stored lines' are made by PostgreSQL unless overridden.
const Table kTables[] = {
    {"accounts",
     "SELECT id, name, hash, email, created FROM accounts ORDER BY id",
     "INSERT INTO accounts(id, name, hash, email, created) VALUES($1, $2, $3, $4, $5)",
     {Column::kInt, Column::kText, Column::kText, Column::kBytes, Column::kInt},
     &MoveCounts::accounts},
    {"profiles",
     "SELECT account, number, data, won, lost, disconnected, score FROM profiles"
     " ORDER BY account, number",
     "INSERT INTO profiles(account, number, data, won, lost, disconnected, score)"
     " VALUES($1, $2, $3, $4, $5, $6, $7)",
     {Column::kInt, Column::kInt, Column::kBytes, Column::kInt, Column::kInt, Column::kInt,
      Column::kInt},
     &MoveCounts::profiles},
    {"sanctions",
     "SELECT id, kind, account, address, reason, created, expires, by FROM sanctions ORDER BY id",
     "INSERT INTO sanctions(id, kind, account, address, reason, created, expires, \"by\")"
     " OVERRIDING SYSTEM VALUE VALUES($1, $2, $3, $4, $5, $6, $7, $8)",
     {Column::kInt, Column::kInt, Column::kInt, Column::kInt, Column::kBytes, Column::kInt,
      Column::kInt, Column::kBytes},
     &MoveCounts::sanctions},
    {"channels",
     "SELECT number, name, flags, origin FROM channels ORDER BY number",
     "INSERT INTO channels(number, name, flags, origin) VALUES($1, $2, $3, $4)",
     {Column::kInt, Column::kText, Column::kInt, Column::kInt},
     &MoveCounts::channels},
    {"friendships",
     "SELECT asker, target, accepted, since FROM friendships ORDER BY asker, target",
     "INSERT INTO friendships(asker, target, accepted, since) VALUES($1, $2, $3, $4)",
     {Column::kInt, Column::kInt, Column::kInt, Column::kInt},
     &MoveCounts::friendships},
    {"blocks",
     "SELECT account, blocked, since FROM blocks ORDER BY account, blocked",
     "INSERT INTO blocks(account, blocked, since) VALUES($1, $2, $3)",
     {Column::kInt, Column::kInt, Column::kInt},
     &MoveCounts::blocks},
    {"account_state",
     "SELECT account, visibility, away_since, last_outcome, last_score, last_ended, last_game"
     " FROM account_state ORDER BY account",
     "INSERT INTO account_state(account, visibility, away_since, last_outcome, last_score,"
     " last_ended, last_game) VALUES($1, $2, $3, $4, $5, $6, $7)",
     {Column::kInt, Column::kInt, Column::kInt, Column::kInt, Column::kInt, Column::kInt,
      Column::kBytes},
     &MoveCounts::account_states},
    {"stored_lines",
     "SELECT id, receiver, sender, sent, flags, text FROM stored_lines ORDER BY id",
     "INSERT INTO stored_lines(id, receiver, sender, sent, flags, text)"
     " OVERRIDING SYSTEM VALUE VALUES($1, $2, $3, $4, $5, $6)",
     {Column::kInt, Column::kInt, Column::kText, Column::kInt, Column::kInt, Column::kBytes},
     &MoveCounts::stored_lines},
};

// A progress line every this many rows of a table.
constexpr size_t kProgressRows = 1000;

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementCloser {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
struct PgCloser {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultCloser {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultCloser>;

bool Ok(const PgResult& result) {
    const ExecStatusType status = PQresultStatus(result.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The move itself, on an open transaction; false with the reason.
class Mover {
  public:
    Mover(sqlite3* source, PGconn* target, std::FILE* progress)
        : source_(source), target_(target), progress_(progress) {}

    bool TargetEmpty(std::string* error) {
        for (const Table& table : kTables) {
            PgResult count(
                PQexec(target_, ("SELECT count(*) FROM " + std::string(table.name)).c_str()));
            if (!Ok(count))
                return Fail(error, "target: " + Trimmed(PQresultErrorMessage(count.get())));
            if (std::string rows = PQgetvalue(count.get(), 0, 0); rows != "0")
                return Fail(error, "the target store is not empty (" + rows + " " + table.name +
                                       "); it must be a new database");
        }
        return true;
    }

    bool Copy(const Table& table, MoveCounts* counts, std::string* error) {
        if (!SourceHas(table.name))
            return true;  // an older file: nothing of this kind yet
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(source_, table.select, -1, &raw, nullptr) != SQLITE_OK)
            return Fail(error, std::string("source: ") + sqlite3_errmsg(source_));
        std::unique_ptr<sqlite3_stmt, StatementCloser> rows(raw);
        size_t copied = 0;
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
            if (!Insert(table, rows.get(), error))
                return false;
            if (++copied % kProgressRows == 0 && progress_)
                std::fprintf(progress_, "%s: %zu\n", table.name, copied);
        }
        if (step != SQLITE_DONE)
            return Fail(error, std::string("source: ") + sqlite3_errmsg(source_));
        counts->*table.count = copied;
        if (progress_)
            std::fprintf(progress_, "%s: %zu copied\n", table.name, copied);
        return true;
    }

    // New rows are numbered after the largest identifier moved.
    bool SetSequences(std::string* error) {
        for (const char* table : {"accounts", "sanctions", "stored_lines"}) {
            const std::string sql = std::string("SELECT setval(pg_get_serial_sequence('") + table +
                                    "', 'id'), COALESCE(max(id), 1), max(id) IS NOT NULL) FROM " +
                                    table;
            PgResult result(PQexec(target_, sql.c_str()));
            if (!Ok(result))
                return Fail(error, "target: " + Trimmed(PQresultErrorMessage(result.get())));
        }
        return true;
    }

  private:
    static bool Fail(std::string* error, const std::string& why) {
        if (error)
            *error = why;
        return false;
    }

    bool SourceHas(const char* table) {
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(source_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?",
                           -1, &raw, nullptr);
        std::unique_ptr<sqlite3_stmt, StatementCloser> query(raw);
        sqlite3_bind_text(query.get(), 1, table, -1, SQLITE_STATIC);
        return sqlite3_step(query.get()) == SQLITE_ROW;
    }

    bool Insert(const Table& table, sqlite3_stmt* row, std::string* error) {
        std::vector<std::string> values(table.columns.size());
        std::vector<const char*> pointers;
        std::vector<int> lengths, formats;
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const int column = int(i);
            if (table.columns[i] == Column::kInt) {
                values[i] = std::to_string(sqlite3_column_int64(row, column));
            } else {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(row, column));
                values[i].assign(bytes ? bytes : "", size_t(sqlite3_column_bytes(row, column)));
            }
            pointers.push_back(values[i].c_str());
            lengths.push_back(int(values[i].size()));
            formats.push_back(table.columns[i] == Column::kBytes ? 1 : 0);
        }
        PgResult result(PQexecParams(target_, table.insert, int(values.size()), nullptr,
                                     pointers.data(), lengths.data(), formats.data(), 0));
        if (!Ok(result)) {
            return Fail(error, std::string(table.name) + " " + values[0] + ": " +
                                   Trimmed(PQresultErrorMessage(result.get())));
        }
        return true;
    }

    sqlite3* source_;
    PGconn* target_;
    std::FILE* progress_;
};

// The file's schema version, -1 when it cannot be read.
int64_t SourceVersion(sqlite3* db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &raw, nullptr) != SQLITE_OK)
        return -1;
    std::unique_ptr<sqlite3_stmt, StatementCloser> read(raw);
    return sqlite3_step(read.get()) == SQLITE_ROW ? sqlite3_column_int64(read.get(), 0) : -1;
}

}  // namespace

bool MoveStore(const std::string& from, const std::string& to, std::FILE* progress,
               MoveCounts* counts, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    const std::string path = SqlitePath(from);
    if (path.empty() || path == ":memory:")
        return fail(from + ": not an SQLite file (sqlite:PATH)");
    if (!IsPostgresqlLocation(to))
        return fail(RedactedLocation(to) + ": not a PostgreSQL store (postgresql://...)");

    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, SqliteCloser> source(raw);
    if (opened != SQLITE_OK)
        return fail(path + ": " + (raw ? sqlite3_errmsg(raw) : "cannot be opened"));
    const int64_t version = SourceVersion(source.get());
    if (version < 0)
        return fail(path + ": not an SQLite database");
    // What a running cluster keeps of itself (version 2: server numbers, who
    // is online) is not moved.
    if (version > 3)
        return fail(path + ": written by a later version (schema " + std::to_string(version) + ")");

    // Opening the store once makes its tables (and brings an older schema up).
    if (!LobbyStore::Open(to, HashStrength::kMinimum, error))
        return false;
    std::unique_ptr<PGconn, PgCloser> target(PQconnectdb(to.c_str()));
    if (PQstatus(target.get()) != CONNECTION_OK)
        return fail("cannot connect to PostgreSQL: " + Trimmed(PQerrorMessage(target.get())));
    PQsetNoticeProcessor(
        target.get(), [](void*, const char*) {}, nullptr);

    MoveCounts moved;
    Mover mover(source.get(), target.get(), progress);
    // A read transaction on the file: a server still writing to it does not
    // tear the copy.
    sqlite3_exec(source.get(), "BEGIN", nullptr, nullptr, nullptr);
    PgResult begin(PQexec(target.get(), "BEGIN ISOLATION LEVEL SERIALIZABLE"));
    if (!Ok(begin))
        return fail("target: " + Trimmed(PQresultErrorMessage(begin.get())));
    bool ok = mover.TargetEmpty(error);
    for (const Table& table : kTables) ok = ok && mover.Copy(table, &moved, error);
    ok = ok && mover.SetSequences(error);
    if (ok) {
        PgResult commit(PQexec(target.get(), "COMMIT"));
        if (!Ok(commit))
            return fail("target: " + Trimmed(PQresultErrorMessage(commit.get())));
    } else {
        PgResult rollback(PQexec(target.get(), "ROLLBACK"));
    }
    sqlite3_exec(source.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (ok && counts)
        *counts = moved;
    return ok;
}

}  // namespace vorlane::server
