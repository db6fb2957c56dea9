// SqliteStore: the lobby store in one SQLite file.
//
// The database runs in WAL mode with full synchronisation, so every change
// the store reports as done survives a crash or a kill of the process. A new
// file is made readable by its owner only: it holds the password hashes.
//
// The schema version is kept in PRAGMA user_version; a file of an older
// version (0: accounts and profiles only; 1: and sanctions and channels)
// gains the tables of the later ones (2: servers and online; 3: friendships,
// blocks, account_state and stored_lines) when it is
// opened and keeps everything it held. A file of a later
// version is not opened.
#pragma once

#include <memory>
#include <string>

#include "server/lobby_store.h"

struct sqlite3;

namespace vorlane::server {

class SqliteStore final : public LobbyStore {
  public:
    // Opens (creating if needed) the database at `path` (":memory:" for a
    // private in-memory one). Null on failure, with the reason in `error`.
    static std::unique_ptr<SqliteStore> Open(const std::string& path, HashStrength strength,
                                             std::string* error = nullptr);
    ~SqliteStore() override;

    bool AccountExists(uint32_t id) override;
    StoreResult InsertAccount(const std::string& name, const std::string& hash,
                              const std::string& email, uint32_t* id) override;
    StoreResult FindAccount(const std::string& name, uint32_t* id, std::string* hash) override;
    bool LoadProfile(uint32_t account, uint16_t number, net::Profile* profile) override;
    bool StoreProfile(uint32_t account, uint16_t number, const net::Profile& profile) override;
    bool ClearProfile(uint32_t account, uint16_t number) override;
    bool ApplyResults(const std::vector<PlayerResult>& results, const std::string& game_name,
                      int64_t ended) override;
    std::string AccountName(uint32_t id) override;
    bool SetPasswordHash(uint32_t id, const std::string& hash) override;
    bool PutSanction(const Sanction& sanction) override;
    int RemoveSanctions(SanctionKind kind, uint32_t account, uint32_t address) override;
    std::optional<Sanction> FindSanction(SanctionKind kind, uint32_t account, uint32_t address,
                                         int64_t now) override;
    std::vector<Sanction> Sanctions(int64_t now) override;
    int PurgeSanctions(int64_t now) override;
    std::vector<StoredChannel> Channels() override;
    bool PutChannel(const StoredChannel& channel) override;
    uint16_t ClaimServerNumber(uint64_t token, int64_t now, int64_t stale_before,
                               uint16_t max) override;
    bool RenewServerNumber(uint16_t number, uint64_t token, int64_t now) override;
    bool ReleaseServerNumber(uint16_t number, uint64_t token) override;
    StoreResult ClaimOnline(uint32_t account, uint16_t server, int64_t now,
                            int64_t stale_before) override;
    bool ReleaseOnline(uint32_t account, uint16_t server) override;
    std::vector<SocialLink> SocialLinks(uint32_t account) override;
    bool SetFriendship(uint32_t asker, uint32_t target, bool accepted, int64_t now) override;
    bool RemoveFriendship(uint32_t first, uint32_t second) override;
    bool SetBlock(uint32_t account, uint32_t blocked, bool on, int64_t now) override;
    bool Blocks(uint32_t account, uint32_t other) override;
    AccountState LoadAccountState(uint32_t account) override;
    bool SetVisibility(uint32_t account, uint16_t visibility) override;
    bool SetAwaySince(uint32_t account, int64_t when) override;
    uint32_t KeepLine(const KeptLine& line, int64_t expired_before, size_t max) override;
    std::vector<KeptLine> KeptLines(uint32_t receiver, int64_t expired_before) override;
    int DeleteKeptLines(uint32_t receiver, uint32_t id) override;
    int PurgeKeptLines(int64_t expired_before) override;

    // Copies the database at `source` into `target` (a new file) with
    // SQLite's online backup, on a connection of its own: the copy is
    // consistent while the server goes on writing. False with a reason.
    static bool Backup(const std::string& source, const std::string& target, std::string* error);

  private:
    explicit SqliteStore(HashStrength strength) : LobbyStore(strength) {}
    bool Exec(const char* sql);
    // Brings a file of an older schema version to the current one.
    bool Migrate();

    sqlite3* db_ = nullptr;
};

}  // namespace vorlane::server
