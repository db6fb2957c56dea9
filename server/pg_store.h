// PgStore: the lobby store in a PostgreSQL database, over libpq.
//
// The location is a libpq connection URI (postgresql://USER@HOST:PORT/DB,
// with any of libpq's parameters). The tables are those of the SQLite store;
// names are unique regardless of ASCII letter case through unique indexes on
// lower(name), and identifiers come from identity columns, so a number is
// never handed out twice. Emails, sanction reasons and who imposed them are
// kept as bytes (bytea): they come from players and operators in any
// encoding, and a text column would refuse what is not UTF-8. The schema
// version is kept in lobby_schema; the migrations from an older version run
// at start in one transaction under an advisory lock, so two servers starting
// together do not race. A database of a later version is not opened.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "server/lobby_store.h"

struct pg_conn;

namespace vorlane::server {

class PgStore final : public LobbyStore {
  public:
    // Connects to `location` and brings the schema to the current version.
    // Null on failure, with the reason in `error`.
    static std::unique_ptr<PgStore> Open(const std::string& location, HashStrength strength,
                                         std::string* error = nullptr);
    ~PgStore() override;

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

  private:
    explicit PgStore(HashStrength strength) : LobbyStore(strength) {}
    bool Migrate(std::string* error);
    // Connects again when the connection was lost.
    void Reconnect();
    // RemoveFriendship with the mutex held (inside SetBlock's transaction).
    bool RemoveFriendshipLocked(uint32_t first, uint32_t second);

    // One connection serves one statement at a time.
    std::mutex mutex_;
    pg_conn* conn_ = nullptr;
};

}  // namespace vorlane::server
