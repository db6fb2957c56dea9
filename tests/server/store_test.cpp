// The lobby server's SQLite store: accounts, password hashes, profiles and
// statistics, and what survives reopening the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

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
