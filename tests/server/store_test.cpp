// The lobby server's SQLite store: accounts, password hashes, profiles and
// statistics, and what survives reopening the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "server/lobby_channels.h"
#include "server/lobby_config.h"
#include "server/lobby_store.h"

using namespace vorlane::server;
using namespace vorlane::net;

namespace {

std::string TempPath(const std::string& name) {
    const std::string dir = ::testing::TempDir() + "lobby_store_test";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    return path;
}

Profile NamedProfile(const char* name) {
    Profile profile{};
    PutU16(profile, kProfActive, 1);
    PutText(profile, kProfName, name, kNameWidth);
    PutU32(profile, kProfColour, 3);
    return profile;
}

}  // namespace

TEST(LobbyStore, AccountsAndPasswords) {
    auto store = LobbyStore::Open(":memory:", HashStrength::kMinimum);
    ASSERT_TRUE(store);
    uint32_t ann = 0, id = 0;
    EXPECT_EQ(store->CreateAccount("Ann", "secret", "a@b.c", &ann), StoreResult::kOk);
    EXPECT_GT(ann, 0u);
    // Names are unique regardless of letter case.
    EXPECT_EQ(store->CreateAccount("ANN", "other", "", &id), StoreResult::kExists);
    EXPECT_EQ(store->CheckLogin("ann", "secret", &id), StoreResult::kOk);
    EXPECT_EQ(id, ann);
    EXPECT_EQ(store->CheckLogin("Ann", "Secret", &id), StoreResult::kWrongPassword);
    EXPECT_EQ(store->CheckLogin("Nobody", "secret", &id), StoreResult::kUnknown);
    EXPECT_TRUE(store->AccountExists(ann));
    EXPECT_FALSE(store->AccountExists(ann + 1));
}

TEST(LobbyStore, PasswordsAreStoredOnlyAsHashesAndSurviveReopening) {
    const std::string path = TempPath("accounts.sqlite");
    uint32_t ann = 0;
    {
        auto store = LobbyStore::Open(path, HashStrength::kMinimum);
        ASSERT_TRUE(store);
        ASSERT_EQ(store->CreateAccount("Ann", "plaintext-pw", "", &ann), StoreResult::kOk);
        ASSERT_TRUE(store->StoreProfile(ann, 2, NamedProfile("Pilot")));
    }
    for (const char* suffix : {"", "-wal"}) {
        std::ifstream file(path + suffix, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), {});
        EXPECT_EQ(bytes.find("plaintext-pw"), std::string::npos) << suffix;
        // Nobody but the owner reads the hashes.
        if (!std::filesystem::exists(path + suffix))
            continue;
        const auto permissions = std::filesystem::status(path + suffix).permissions();
        EXPECT_EQ(permissions & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << suffix;
    }
    auto store = LobbyStore::Open(path, HashStrength::kMinimum);
    ASSERT_TRUE(store);
    uint32_t id = 0;
    EXPECT_EQ(store->CheckLogin("Ann", "plaintext-pw", &id), StoreResult::kOk);
    Profile profile;
    ASSERT_TRUE(store->LoadProfile(ann, 2, &profile));
    EXPECT_EQ(GetText(profile, kProfName, kNameWidth), "Pilot");
}

TEST(LobbyStore, ProfilesKeepServerStatistics) {
    auto store = LobbyStore::Open(":memory:", HashStrength::kMinimum);
    ASSERT_TRUE(store);
    uint32_t ann = 0;
    ASSERT_EQ(store->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    Profile profile;
    EXPECT_FALSE(store->LoadProfile(ann, 1, &profile));
    EXPECT_FALSE(store->StoreProfile(ann, 5, NamedProfile("x")));
    ASSERT_TRUE(store->StoreProfile(ann, 1, NamedProfile("Pilot")));
    ASSERT_TRUE(store->ApplyResults({
        {ann, 1, GameOutcome::kWon, 30},
    }));
    ASSERT_TRUE(store->ApplyResults({{ann, 1, GameOutcome::kLost, -5}}));
    // A client's upload cannot set its own figures.
    Profile forged = NamedProfile("Pilot2");
    PutU32(forged, kProfWon, 999);
    PutU32(forged, kProfScore, 99999);
    ASSERT_TRUE(store->StoreProfile(ann, 1, forged));
    ASSERT_TRUE(store->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetText(profile, kProfName, kNameWidth), "Pilot2");
    EXPECT_EQ(GetU32(profile, kProfWon), 1u);
    EXPECT_EQ(GetU32(profile, kProfLost), 1u);
    EXPECT_EQ(int32_t(GetU32(profile, kProfScore)), 25);
    EXPECT_EQ(GetU32(profile, kProfColour), 3u);
    // Clearing the slot takes the figures with it.
    ASSERT_TRUE(store->ClearProfile(ann, 1));
    EXPECT_FALSE(store->LoadProfile(ann, 1, &profile));
    ASSERT_TRUE(store->StoreProfile(ann, 1, NamedProfile("Fresh")));
    ASSERT_TRUE(store->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetU32(profile, kProfWon), 0u);
}

TEST(LobbyStore, ResultsApplyAllOrNothing) {
    auto store = LobbyStore::Open(":memory:", HashStrength::kMinimum);
    ASSERT_TRUE(store);
    uint32_t ann = 0;
    ASSERT_EQ(store->CreateAccount("Ann", "pw", "", &ann), StoreResult::kOk);
    ASSERT_TRUE(store->StoreProfile(ann, 1, NamedProfile("Pilot")));
    // The second entry names an empty slot: the first must not count either.
    EXPECT_FALSE(store->ApplyResults(
        {{ann, 1, GameOutcome::kWon, 10}, {ann, 2, GameOutcome::kDisconnected, 0}}));
    Profile profile;
    ASSERT_TRUE(store->LoadProfile(ann, 1, &profile));
    EXPECT_EQ(GetU32(profile, kProfWon), 0u);
    EXPECT_EQ(GetU32(profile, kProfScore), 0u);
}

TEST(LobbyStore, NameRules) {
    EXPECT_TRUE(IsValidName("Ann"));
    EXPECT_TRUE(IsValidName("Ann Lee 1234 x"));  // 14 characters
    EXPECT_FALSE(IsValidName("Ann Lee 1234 xy"));
    EXPECT_FALSE(IsValidName(""));
    EXPECT_FALSE(IsValidName(" Ann"));
    EXPECT_FALSE(IsValidName("Ann\x01"));
    EXPECT_FALSE(IsValidName("Ann\xE9"));
}

TEST(LobbyConfig, ChannelsLimitsAndKernelDefaults) {
    LobbyConfig config;
    std::string error;
    ASSERT_TRUE(
        ParseLobbyConfig("[lobbyd]\nport = 4000\npassword_hash = minimum\n"
                         "chat_lines_per_second = 2\nrefused_messages_max = 0\n"
                         "queue_max_bytes = 65536\n"
                         "joins_max = 7\njoins_seconds = 0\nconnections_per_address = 0\n"
                         "channel1 = Main Hall, 0\n"
                         "channel3 = Battle, 0x2\n[LOOMEX_SERVER]\nusr_max = 5000\n",
                         &config, &error))
        << error;
    EXPECT_EQ(config.kernel.port, 4000);
    EXPECT_EQ(config.kernel.usr_max, 1000u);              // above 1003 becomes 1000
    EXPECT_EQ(config.kernel.srv_bind_addr, 0x7F000001u);  // loopback unless named
    EXPECT_GT(config.kernel.srv_newconnect, 0u);
    EXPECT_EQ(config.hash, HashStrength::kMinimum);
    EXPECT_EQ(config.chat_lines_per_second, 2u);
    EXPECT_EQ(config.refused_messages_max, 1u);  // never 0: the first attempt closes
    EXPECT_EQ(config.queue_max_bytes, 65536u);
    EXPECT_EQ(config.queue_total_max_bytes, 256u << 20);
    EXPECT_EQ(config.joins.max, 7u);
    EXPECT_EQ(config.joins.seconds, 1u);            // a window is never empty
    EXPECT_EQ(config.connections_per_address, 0u);  // switched off
    ASSERT_EQ(config.channels.size(), 2u);
    EXPECT_EQ(config.channels[1].name, "Battle");
    EXPECT_EQ(config.channels[1].flags, 0x2);

    EXPECT_FALSE(ParseLobbyConfig("[lobbyd]\nchannel1 = ,2\n", &config, &error));
    LobbyConfig empty;
    ASSERT_TRUE(ParseLobbyConfig("", &empty, &error));
    EXPECT_EQ(empty.channels.size(), 1u);  // one default channel
    EXPECT_EQ(empty.refused_messages_max, 3u);
    EXPECT_EQ(empty.messages.max, 20u);
    EXPECT_EQ(empty.messages.seconds, 6u);
    EXPECT_EQ(empty.connections_per_address, 5u);
}

TEST(LobbyStore, AKilledServerLosesNoReportedChange) {
    const std::string path = TempPath("killed.sqlite");
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        auto store = LobbyStore::Open(path, HashStrength::kMinimum);
        for (uint32_t i = 0; store; ++i) {
            uint32_t id = 0;
            const std::string name = "user" + std::to_string(i);
            if (store->CreateAccount(name, "pw", "", &id) != StoreResult::kOk)
                break;
            // Only a change the store reported as done is announced.
            if (write(report[1], &i, sizeof i) != ssize_t(sizeof i))
                break;
        }
        _exit(0);
    }
    close(report[1]);
    uint32_t last = 0;
    int announced = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < deadline) {
        uint32_t value;
        if (read(report[0], &value, sizeof value) != ssize_t(sizeof value))
            break;
        last = value;
        ++announced;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(report[0]);
    ASSERT_GT(announced, 0);

    auto store = LobbyStore::Open(path, HashStrength::kMinimum);
    ASSERT_TRUE(store);
    for (uint32_t i = 0; i <= last; ++i) {
        uint32_t id = 0;
        ASSERT_EQ(store->CheckLogin("user" + std::to_string(i), "pw", &id), StoreResult::kOk) << i;
    }
}

// A database of schema version 0 (before sanctions and stored channels) opens
// with its accounts and profiles, and comes out at version 1.
TEST(LobbyStore, AnOldDatabaseIsMigratedAndKeepsItsData) {
    const std::string path = TempPath("version0.sqlite");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db,
                         "CREATE TABLE accounts(id INTEGER PRIMARY KEY AUTOINCREMENT,"
                         " name TEXT NOT NULL UNIQUE COLLATE NOCASE, hash TEXT NOT NULL,"
                         " email TEXT NOT NULL, created INTEGER NOT NULL);"
                         "CREATE TABLE profiles(account INTEGER NOT NULL REFERENCES "
                         "accounts(id), number INTEGER NOT NULL CHECK(number BETWEEN 1 AND "
                         "4), data BLOB NOT NULL, won INTEGER NOT NULL DEFAULT 0, lost "
                         "INTEGER NOT NULL DEFAULT 0, disconnected INTEGER NOT NULL DEFAULT "
                         "0, score INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(account, number));",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    {
        auto hasher = LobbyStore::Open(":memory:", HashStrength::kMinimum);
        const std::string insert =
            "INSERT INTO accounts(name, hash, email, created) VALUES('Ann', '" +
            hasher->HashPassword("pw") + "', 'a@b.c', 1)";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, insert.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    uint32_t ann = 0;
    auto store = LobbyStore::Open(path, HashStrength::kMinimum);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->CheckLogin("Ann", "pw", &ann), StoreResult::kOk);
    EXPECT_TRUE(store->PutSanction({SanctionKind::kMute, ann, 0, "noise", 10, 0, "uid 0"}));
    EXPECT_TRUE(store->PutChannel({1, "Main Hall", 0, ChannelOrigin::kFile}));
    store.reset();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* version = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), 1);
    sqlite3_finalize(version);
    // A file of a later version is not opened by this one.
    sqlite3_exec(db, "PRAGMA user_version = 9", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string error;
    EXPECT_FALSE(LobbyStore::Open(path, HashStrength::kMinimum, &error));
    EXPECT_NE(error.find("schema version"), std::string::npos) << error;
}

TEST(LobbyStore, SanctionsHoldUntilTheyExpire) {
    auto store = LobbyStore::Open(":memory:", HashStrength::kMinimum);
    ASSERT_TRUE(store);
    const uint32_t address = 0x7F000002;
    ASSERT_TRUE(store->PutSanction({SanctionKind::kBan, 7, 0, "spam", 100, 200, "root"}));
    ASSERT_TRUE(store->PutSanction({SanctionKind::kBan, 0, address, "bots", 100, 0, "root"}));
    ASSERT_TRUE(store->PutSanction({SanctionKind::kMute, 7, 0, "noise", 100, 150, "root"}));
    auto ban = store->FindSanction(SanctionKind::kBan, 7, 0x7F000001, 199);
    ASSERT_TRUE(ban);
    EXPECT_EQ(ban->reason, "spam");
    EXPECT_EQ(ban->expires, 200);
    EXPECT_FALSE(store->FindSanction(SanctionKind::kBan, 7, 0x7F000001, 200));
    // Account and address: the longer ban counts.
    EXPECT_EQ(store->FindSanction(SanctionKind::kBan, 7, address, 150)->reason, "bots");
    EXPECT_FALSE(store->FindSanction(SanctionKind::kBan, 8, 0, 150));  // 0 matches nothing
    // Banning again replaces; purging drops what expired.
    ASSERT_TRUE(store->PutSanction({SanctionKind::kBan, 7, 0, "again", 160, 400, "root"}));
    EXPECT_EQ(store->Sanctions(160).size(), 2u);  // the mute has ended
    EXPECT_EQ(store->PurgeSanctions(300), 1);     // the mute
    EXPECT_EQ(store->Sanctions(300).size(), 2u);
    EXPECT_EQ(store->RemoveSanctions(SanctionKind::kBan, 0, address), 1);
    EXPECT_EQ(store->RemoveSanctions(SanctionKind::kBan, 0, address), 0);
    EXPECT_EQ(store->Sanctions(300).size(), 1u);
}

// Numbers stay with their names; the tool wins over the file.
TEST(LobbyChannels, NumbersAreKeptAndNeverReused) {
    std::vector<StoredChannel> stored, changed;
    auto live = ResolveChannels({{"Main Hall", 0}, {"Battle Zone", 2}}, &stored, &changed);
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[1].number, 2);
    EXPECT_EQ(changed.size(), 2u);
    // The tool adds one and removes "Main Hall".
    stored.push_back({NextChannelNumber(stored), "Traders", 2, ChannelOrigin::kAdded});
    FindStoredChannel(stored, "main hall")->origin = ChannelOrigin::kRemoved;
    // A file with a channel inserted before the others, the removed one, new
    // flags for "Battle Zone" and not the tool's channel.
    changed.clear();
    live = ResolveChannels({{"Newcomers", 0}, {"Main Hall", 0}, {"Battle Zone", 0}}, &stored,
                           &changed);
    ASSERT_EQ(live.size(), 3u);
    EXPECT_EQ(live[0].number, 2);
    EXPECT_EQ(live[0].config.flags, 0);
    EXPECT_EQ(live[1].config.name, "Traders");
    EXPECT_EQ(live[1].number, 3);
    EXPECT_EQ(live[2].config.name, "Newcomers");
    EXPECT_EQ(live[2].number, 4);
    EXPECT_EQ(changed.size(), 2u);  // Newcomers is new, Battle Zone has new flags
}
