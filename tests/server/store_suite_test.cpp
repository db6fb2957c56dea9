// What every store backend must do alike: accounts and passwords, profiles
// and their statistics, results, sanctions and channels, and keeping all of
// it across a reopening. Each backend joins with a factory.
// [SECTION] index
//   Backends, the shared suite, PostgreSQL's own cases, the instantiation.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "server/lobby_store.h"
#include "server/sqlite_store.h"
#include "tests/server/pg_server.h"

using namespace vorlane::server;
using namespace vorlane::net;

namespace {

// [SECTION] Backends

// One empty database of a backend, opened as often as a test asks.
class StoreBackend {
  public:
    virtual ~StoreBackend() = default;
    virtual std::unique_ptr<LobbyStore> Open() = 0;
};

struct BackendFactory {
    const char* name;
    // Null with the reason in `skip` when the backend cannot run here.
    std::function<std::unique_ptr<StoreBackend>(std::string* skip)> make;
};

// gtest names a parameter by this in its listings.
void PrintTo(const BackendFactory& factory, std::ostream* out) {
    *out << factory.name;
}

class SqliteBackend final : public StoreBackend {
  public:
    SqliteBackend() {
        static int serial = 0;
        const std::string dir = ::testing::TempDir() + "store_suite";
        std::filesystem::create_directories(dir);
        path_ = dir + "/" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".sqlite";
        Remove();
    }
    ~SqliteBackend() override { Remove(); }
    std::unique_ptr<LobbyStore> Open() override {
        return LobbyStore::Open("sqlite:" + path_, HashStrength::kMinimum);
    }

  private:
    void Remove() {
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
    }
    std::string path_;
};

class PgBackend final : public StoreBackend {
  public:
    explicit PgBackend(PgServer* server)
        : location_(server->ready() ? server->NewDatabase() : "") {}
    std::unique_ptr<LobbyStore> Open() override {
        if (location_.empty())
            return nullptr;
        std::string error;
        auto store = LobbyStore::Open(location_, HashStrength::kMinimum, &error);
        EXPECT_TRUE(store) << error;
        return store;
    }

  private:
    std::string location_;
};

class StoreSuite : public ::testing::TestWithParam<BackendFactory> {
  protected:
    void SetUp() override {
        std::string skip;
        backend_ = GetParam().make(&skip);
        if (!backend_)
            GTEST_SKIP() << skip;
        store_ = backend_->Open();
        ASSERT_TRUE(store_);
    }
    void Reopen() {
        store_.reset();
        store_ = backend_->Open();
        ASSERT_TRUE(store_);
    }

    std::unique_ptr<StoreBackend> backend_;
    std::unique_ptr<LobbyStore> store_;
};

Profile NamedProfile(const char* name) {
    Profile profile{};
    PutU16(profile, kProfActive, 1);
    PutText(profile, kProfName, name, kNameWidth);
    PutU32(profile, kProfColour, 3);
    return profile;
}

}  // namespace

// [SECTION] The shared suite

TEST_P(StoreSuite, AccountsAndPasswords) {
    uint32_t ann = 0, bob = 0, id = 0;
    EXPECT_EQ(store_->CreateAccount("Ann", "secret", "a@b.c", &ann), StoreResult::kOk);
    EXPECT_GT(ann, 0u);
    // Names are unique regardless of letter case.
    EXPECT_EQ(store_->CreateAccount("ANN", "other", "", &id), StoreResult::kExists);
    EXPECT_EQ(store_->CreateAccount("Bob", "pw", "", &bob), StoreResult::kOk);
    EXPECT_NE(bob, ann);
    EXPECT_EQ(store_->CheckLogin("ann", "secret", &id), StoreResult::kOk);
    EXPECT_EQ(id, ann);
    EXPECT_EQ(store_->CheckLogin("Ann", "Secret", &id), StoreResult::kWrongPassword);
    EXPECT_EQ(store_->CheckLogin("Nobody", "secret", &id), StoreResult::kUnknown);
    EXPECT_TRUE(store_->AccountExists(ann));
    EXPECT_FALSE(store_->AccountExists(bob + 1));
    EXPECT_EQ(store_->AccountName(ann), "Ann");
    EXPECT_EQ(store_->AccountName(bob + 1), "");
    // The store holds the hash only; a new one replaces it.
    std::string hash;
    ASSERT_EQ(store_->FindAccount("ANN", &id, &hash), StoreResult::kOk);
    EXPECT_EQ(hash.find("secret"), std::string::npos);
    EXPECT_TRUE(LobbyStore::VerifyPassword(hash, "secret"));
    EXPECT_EQ(store_->InsertAccount("Empty", "", "", &id), StoreResult::kError);
    ASSERT_TRUE(store_->SetPasswordHash(ann, store_->HashPassword("new")));
    EXPECT_FALSE(store_->SetPasswordHash(bob + 1, store_->HashPassword("new")));
    EXPECT_EQ(store_->CheckLogin("Ann", "new", &id), StoreResult::kOk);
    EXPECT_EQ(store_->CheckLogin("Ann", "secret", &id), StoreResult::kWrongPassword);
}

TEST_P(StoreSuite, ProfilesKeepServerStatistics) {
    uint32_t ann = 0;
    ASSERT_EQ(store_->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    Profile profile;
    EXPECT_FALSE(store_->LoadProfile(ann, 1, &profile));
    EXPECT_FALSE(store_->StoreProfile(ann, 5, NamedProfile("x")));
    EXPECT_FALSE(store_->LoadProfile(ann, 0, &profile));
    ASSERT_TRUE(store_->StoreProfile(ann, 1, NamedProfile("Pilot")));
    ASSERT_TRUE(store_->ApplyResults({{ann, 1, GameOutcome::kWon, 30}}));
    ASSERT_TRUE(store_->ApplyResults({{ann, 1, GameOutcome::kLost, -5}}));
    ASSERT_TRUE(store_->ApplyResults({{ann, 1, GameOutcome::kDisconnected, 0}}));
    // A client's upload cannot set its own figures.
    Profile forged = NamedProfile("Pilot2");
    PutU32(forged, kProfWon, 999);
    PutU32(forged, kProfScore, 99999);
    ASSERT_TRUE(store_->StoreProfile(ann, 1, forged));
    ASSERT_TRUE(store_->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetText(profile, kProfName, kNameWidth), "Pilot2");
    EXPECT_EQ(GetU32(profile, kProfWon), 1u);
    EXPECT_EQ(GetU32(profile, kProfLost), 1u);
    EXPECT_EQ(GetU32(profile, kProfDisconnected), 1u);
    EXPECT_EQ(int32_t(GetU32(profile, kProfScore)), 25);
    EXPECT_EQ(GetU32(profile, kProfColour), 3u);
    // Clearing the slot takes the figures with it.
    ASSERT_TRUE(store_->ClearProfile(ann, 1));
    EXPECT_FALSE(store_->LoadProfile(ann, 1, &profile));
    ASSERT_TRUE(store_->StoreProfile(ann, 1, NamedProfile("Fresh")));
    ASSERT_TRUE(store_->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetU32(profile, kProfWon), 0u);
}

TEST_P(StoreSuite, ResultsApplyAllOrNothing) {
    uint32_t ann = 0;
    ASSERT_EQ(store_->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    ASSERT_TRUE(store_->StoreProfile(ann, 1, NamedProfile("Pilot")));
    // The second entry names an empty slot: the first must not count either.
    EXPECT_FALSE(store_->ApplyResults(
        {{ann, 1, GameOutcome::kWon, 10}, {ann, 2, GameOutcome::kDisconnected, 0}}));
    Profile profile;
    ASSERT_TRUE(store_->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetU32(profile, kProfWon), 0u);
    EXPECT_EQ(GetU32(profile, kProfScore), 0u);
    // The store is usable after the refused transaction.
    EXPECT_TRUE(store_->ApplyResults({{ann, 1, GameOutcome::kWon, 10}}));
}

TEST_P(StoreSuite, SanctionsHoldUntilTheyExpire) {
    const uint32_t address = 0x7F000002;
    // Texts from players and operators come in any encoding; they stay as given.
    ASSERT_TRUE(store_->PutSanction({SanctionKind::kBan, 7, 0, "spam\xE9", 100, 200, "r\xF6t"}));
    ASSERT_TRUE(store_->PutSanction({SanctionKind::kBan, 0, address, "bots", 100, 0, "root"}));
    ASSERT_TRUE(store_->PutSanction({SanctionKind::kMute, 7, 0, "noise", 100, 150, "root"}));
    auto ban = store_->FindSanction(SanctionKind::kBan, 7, 0x7F000001, 199);
    ASSERT_TRUE(ban);
    EXPECT_EQ(ban->reason, "spam\xE9");
    EXPECT_EQ(ban->expires, 200);
    EXPECT_EQ(ban->by, "r\xF6t");
    EXPECT_FALSE(store_->FindSanction(SanctionKind::kBan, 7, 0x7F000001, 200));
    // Account and address: the longer ban counts.
    EXPECT_EQ(store_->FindSanction(SanctionKind::kBan, 7, address, 150)->reason, "bots");
    EXPECT_FALSE(store_->FindSanction(SanctionKind::kBan, 8, 0, 150));  // 0 matches nothing
    // Banning again replaces; purging drops what expired.
    ASSERT_TRUE(store_->PutSanction({SanctionKind::kBan, 7, 0, "again", 160, 400, "root"}));
    const auto in_force = store_->Sanctions(160);  // the mute has ended
    ASSERT_EQ(in_force.size(), 2u);
    EXPECT_EQ(in_force[0].reason, "bots");      // by kind, then age
    EXPECT_EQ(store_->PurgeSanctions(300), 1);  // the mute
    EXPECT_EQ(store_->Sanctions(300).size(), 2u);
    EXPECT_EQ(store_->RemoveSanctions(SanctionKind::kBan, 0, address), 1);
    EXPECT_EQ(store_->RemoveSanctions(SanctionKind::kBan, 0, address), 0);
    EXPECT_EQ(store_->Sanctions(300).size(), 1u);
}

TEST_P(StoreSuite, ChannelsKeepTheirNumbers) {
    ASSERT_TRUE(store_->PutChannel({3, "Battle", 2, ChannelOrigin::kFile}));
    ASSERT_TRUE(store_->PutChannel({1, "Main Hall", 0, ChannelOrigin::kFile}));
    ASSERT_TRUE(store_->PutChannel({3, "Battle", 0, ChannelOrigin::kRemoved}));
    // A name belongs to one number only, whatever its letter case.
    EXPECT_FALSE(store_->PutChannel({4, "main hall", 0, ChannelOrigin::kAdded}));
    const auto channels = store_->Channels();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].number, 1);
    EXPECT_EQ(channels[0].name, "Main Hall");
    EXPECT_EQ(channels[1].number, 3);
    EXPECT_EQ(channels[1].flags, 0);
    EXPECT_EQ(channels[1].origin, ChannelOrigin::kRemoved);
}

TEST_P(StoreSuite, EverythingSurvivesReopening) {
    uint32_t ann = 0;
    ASSERT_EQ(store_->CreateAccount("Ann", "plaintext-pw", "a@b.c", &ann), StoreResult::kOk);
    ASSERT_TRUE(store_->StoreProfile(ann, 2, NamedProfile("Pilot")));
    ASSERT_TRUE(store_->ApplyResults({{ann, 2, GameOutcome::kWon, 7}}));
    ASSERT_TRUE(store_->PutSanction({SanctionKind::kMute, ann, 0, "noise", 10, 0, "uid 0"}));
    ASSERT_TRUE(store_->PutChannel({5, "Traders", 2, ChannelOrigin::kAdded}));
    Reopen();
    uint32_t id = 0;
    EXPECT_EQ(store_->CheckLogin("Ann", "plaintext-pw", &id), StoreResult::kOk);
    EXPECT_EQ(id, ann);
    Profile profile;
    ASSERT_TRUE(store_->LoadProfile(ann, 2, &profile));
    EXPECT_EQ(GetText(profile, kProfName, kNameWidth), "Pilot");
    EXPECT_EQ(GetU32(profile, kProfScore), 7u);
    EXPECT_TRUE(store_->FindSanction(SanctionKind::kMute, ann, 0, 1000));
    ASSERT_EQ(store_->Channels().size(), 1u);
    EXPECT_EQ(store_->Channels()[0].name, "Traders");
    // Identifiers are never handed out twice.
    uint32_t bob = 0;
    ASSERT_EQ(store_->CreateAccount("Bob", "pw", "", &bob), StoreResult::kOk);
    EXPECT_GT(bob, ann);
}

// The servers of a cluster: numbers and online accounts are held while the
// heartbeat is fresh and free again once it is stale.
TEST_P(StoreSuite, ServerNumbersAndOnlineAccountsExpire) {
    const uint64_t a = 0x1111, b = 0x2222, c = 0x3333;
    EXPECT_EQ(store_->ClaimServerNumber(a, 100, 85, 8), 1);
    EXPECT_EQ(store_->ClaimServerNumber(b, 100, 85, 8), 2);
    EXPECT_EQ(store_->ClaimServerNumber(c, 100, 85, 2), 0);  // all taken
    EXPECT_TRUE(store_->RenewServerNumber(1, a, 110));
    EXPECT_FALSE(store_->RenewServerNumber(1, b, 110));  // not b's

    EXPECT_EQ(store_->ClaimOnline(7, 1, 110, 95), StoreResult::kOk);
    EXPECT_EQ(store_->ClaimOnline(7, 2, 110, 95), StoreResult::kExists);
    EXPECT_TRUE(store_->ReleaseOnline(7, 2));  // another server's row stays
    EXPECT_EQ(store_->ClaimOnline(7, 2, 110, 95), StoreResult::kExists);
    EXPECT_TRUE(store_->ReleaseOnline(7, 1));
    EXPECT_EQ(store_->ClaimOnline(7, 2, 111, 96), StoreResult::kOk);

    // Server 2 falls silent: its account and then its number may be taken.
    EXPECT_EQ(store_->ClaimOnline(7, 1, 130, 115), StoreResult::kOk);
    Reopen();
    EXPECT_TRUE(store_->RenewServerNumber(1, a, 125));
    EXPECT_EQ(store_->ClaimServerNumber(c, 130, 115, 8), 2);
    EXPECT_FALSE(store_->RenewServerNumber(2, b, 131));
    EXPECT_TRUE(store_->ReleaseServerNumber(1, a));  // takes its online rows along
    EXPECT_EQ(store_->ClaimOnline(7, 2, 132, 117), StoreResult::kOk);
}

// Friends, requests and blocks as each side of a pair sees them.
TEST_P(StoreSuite, FriendshipsAndBlocks) {
    uint32_t ann = 0, bob = 0, cid = 0;
    ASSERT_EQ(store_->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    ASSERT_EQ(store_->CreateAccount("bob", "pw", "", &bob), StoreResult::kOk);
    ASSERT_EQ(store_->CreateAccount("Cid", "pw", "", &cid), StoreResult::kOk);
    EXPECT_TRUE(store_->SocialLinks(ann).empty());

    ASSERT_TRUE(store_->SetFriendship(ann, bob, false, 100));
    EXPECT_EQ(store_->SocialLinks(ann),
              (std::vector<SocialLink>{{bob, "bob", kRelationYouAsked, 100}}));
    EXPECT_EQ(store_->SocialLinks(bob),
              (std::vector<SocialLink>{{ann, "Ann", kRelationAsksYou, 100}}));
    ASSERT_TRUE(store_->SetFriendship(ann, bob, true, 110));
    // Two requests of one pair (two servers at once) make a friendship too.
    ASSERT_TRUE(store_->SetFriendship(cid, ann, false, 120));
    ASSERT_TRUE(store_->SetFriendship(ann, cid, false, 121));
    EXPECT_EQ(store_->SocialLinks(ann),
              (std::vector<SocialLink>{{bob, "bob", kRelationFriend, 110},
                                       {cid, "Cid", kRelationFriend, 121}}));

    // A block ends the friendship; the blocked one never learns of it.
    ASSERT_TRUE(store_->SetBlock(bob, ann, true, 130));
    EXPECT_TRUE(store_->Blocks(bob, ann));
    EXPECT_FALSE(store_->Blocks(ann, bob));
    EXPECT_EQ(store_->SocialLinks(bob),
              (std::vector<SocialLink>{{ann, "Ann", kRelationBlocked, 130}}));
    EXPECT_EQ(store_->SocialLinks(ann).size(), 1u);
    ASSERT_TRUE(store_->RemoveFriendship(cid, ann));
    Reopen();
    EXPECT_TRUE(store_->SocialLinks(ann).empty());
    ASSERT_TRUE(store_->SetBlock(bob, ann, false, 140));
    EXPECT_FALSE(store_->Blocks(bob, ann));
    EXPECT_TRUE(store_->SocialLinks(bob).empty());
}

// Visibility, away time and the last game live in one row per account; kept
// lines are held oldest first up to the limit, expire, and are deleted one
// by one or all at once, only ever the receiver's own.
TEST_P(StoreSuite, AccountStateAndKeptLines) {
    uint32_t ann = 0, bob = 0;
    ASSERT_EQ(store_->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    ASSERT_EQ(store_->CreateAccount("Bob", "pw", "", &bob), StoreResult::kOk);
    ASSERT_TRUE(store_->StoreProfile(ann, 1, NamedProfile("Pilot")));
    EXPECT_EQ(store_->LoadAccountState(ann), AccountState{});
    ASSERT_TRUE(store_->SetVisibility(ann, kVisibleFriends));
    ASSERT_TRUE(store_->SetAwaySince(ann, 500));
    ASSERT_TRUE(store_->ApplyResults({{ann, 1, GameOutcome::kLost, -12}}, "Duel\xff", 600));
    // A refused report notes no last game either.
    EXPECT_FALSE(store_->ApplyResults(
        {{ann, 1, GameOutcome::kWon, 5}, {bob, 1, GameOutcome::kWon, 5}}, "Other", 700));

    const std::string text = "hi \xe9";  // any bytes a player typed
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(store_->KeepLine({0, ann, "Bob", 1000 + i, 0, text + char('0' + i)}, 0, 3), 0u);
    EXPECT_EQ(store_->KeepLine({0, ann, "Bob", 1003, 0, "full"}, 0, 3), 0u);
    ASSERT_NE(store_->KeepLine({0, bob, "Ann", 1000, 1, "for bob"}, 0, 3), 0u);
    Reopen();
    EXPECT_EQ(
        store_->LoadAccountState(ann),
        (AccountState{kVisibleFriends, 500, uint16_t(GameOutcome::kLost), -12, 600, "Duel\xff"}));
    std::vector<KeptLine> lines = store_->KeptLines(ann, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, text + "0");
    EXPECT_EQ(lines[2].sent, 1002);
    EXPECT_LT(lines[0].id, lines[1].id);
    EXPECT_EQ(store_->KeptLines(ann, 1001).size(), 2u);  // the first has expired
    // Expired lines make room for a new one.
    EXPECT_NE(store_->KeepLine({0, ann, "Bob", 1004, 0, "late"}, 1001, 3), 0u);
    EXPECT_EQ(store_->KeptLines(ann, 0).size(), 3u);

    EXPECT_EQ(store_->DeleteKeptLines(bob, lines[1].id), 0);  // not bob's
    EXPECT_EQ(store_->DeleteKeptLines(ann, lines[1].id), 1);
    EXPECT_EQ(store_->KeptLines(ann, 0).size(), 2u);
    EXPECT_EQ(store_->DeleteKeptLines(ann, 0), 2);
    EXPECT_TRUE(store_->KeptLines(ann, 0).empty());
    EXPECT_EQ(store_->PurgeKeptLines(1001), 1);  // bob's old line
    EXPECT_TRUE(store_->KeptLines(bob, 0).empty());
}

// [SECTION] PostgreSQL's own cases

// A database written by a later version is not opened; one of this version
// opens again without migrating twice.
TEST(PgStore, ALaterSchemaIsRefused) {
    std::string skip;
    PgServer* server = PgServer::Get(&skip);
    if (!server)
        GTEST_SKIP() << skip;
    ASSERT_TRUE(server->ready());
    const std::string location = server->NewDatabase();
    ASSERT_TRUE(LobbyStore::Open(location, HashStrength::kMinimum));
    ASSERT_TRUE(LobbyStore::Open(location, HashStrength::kMinimum));
    PGconn* conn = PQconnectdb(location.c_str());
    PQclear(PQexec(conn, "UPDATE lobby_schema SET version = 9"));
    PQfinish(conn);
    std::string error;
    EXPECT_FALSE(LobbyStore::Open(location, HashStrength::kMinimum, &error));
    EXPECT_NE(error.find("schema version"), std::string::npos) << error;
}

// A server that drops the store's connection (a restart, a fail-over) costs
// the statement under way, not the store.
TEST(PgStore, ALostConnectionIsMadeAgain) {
    std::string skip;
    PgServer* server = PgServer::Get(&skip);
    if (!server)
        GTEST_SKIP() << skip;
    ASSERT_TRUE(server->ready());
    const std::string location = server->NewDatabase();
    auto store = LobbyStore::Open(location, HashStrength::kMinimum);
    ASSERT_TRUE(store);
    uint32_t ann = 0;
    ASSERT_EQ(store->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    const std::string database = location.substr(location.rfind('/') + 1);
    PGconn* conn = PQconnectdb(location.c_str());
    PQclear(
        PQexec(conn, ("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                      database + "' AND pid <> pg_backend_pid()")
                         .c_str()));
    PQfinish(conn);
    store->AccountExists(ann);  // may fail: it finds the connection gone
    EXPECT_TRUE(store->AccountExists(ann));
    EXPECT_EQ(store->AccountName(ann), "Ann");
}

// [SECTION] The instantiation

INSTANTIATE_TEST_SUITE_P(
    Backends, StoreSuite,
    ::testing::Values(BackendFactory{"Sqlite",
                                     [](std::string*) -> std::unique_ptr<StoreBackend> {
                                         return std::make_unique<SqliteBackend>();
                                     }},
                      BackendFactory{"Postgresql",
                                     [](std::string* skip) -> std::unique_ptr<StoreBackend> {
                                         PgServer* server = PgServer::Get(skip);
                                         if (!server)
                                             return nullptr;
                                         return std::make_unique<PgBackend>(server);
                                     }}),
    [](const ::testing::TestParamInfo<BackendFactory>& info) { return info.param.name; });
