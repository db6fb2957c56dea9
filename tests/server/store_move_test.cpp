// Moving an SQLite store into PostgreSQL: everything arrives under its own
// identifier, every account logs in with its password, new rows are numbered
// after the moved ones, and a store that holds anything is not written.
#include "server/store_move.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "server/lobby_store.h"
#include "tests/server/pg_server.h"

using namespace vorlane::server;
using namespace vorlane::net;

TEST(StoreMove, EverythingArrivesAndPasswordsStillWork) {
    std::string skip;
    PgServer* server = PgServer::Get(&skip);
    if (!server)
        GTEST_SKIP() << skip;
    ASSERT_TRUE(server->ready());
    const std::string file =
        ::testing::TempDir() + "store_move-" + std::to_string(::getpid()) + ".sqlite";
    std::filesystem::remove(file);

    const char* names[] = {"Ann", "bob", "Cleo"};
    std::vector<uint32_t> ids;
    Profile profile{};
    PutU16(profile, kProfActive, 1);
    PutText(profile, kProfName, "Pilot", kNameWidth);
    const std::string email = "caf\xe9@x";  // not UTF-8: kept as bytes
    {
        auto source = LobbyStore::Open("sqlite:" + file, HashStrength::kMinimum);
        ASSERT_TRUE(source);
        for (const char* name : names) {
            uint32_t id = 0;
            ASSERT_EQ(source->CreateAccount(name, std::string(name) + "-pw", email, &id),
                      StoreResult::kOk);
            ids.push_back(id);
        }
        // The last account has nothing but its name: new ones come after it.
        ASSERT_EQ(source->CreateAccount("Gone", "x", "", nullptr), StoreResult::kOk);
        ASSERT_TRUE(source->StoreProfile(ids[1], 2, profile));
        ASSERT_TRUE(source->ApplyResults({{ids[1], 2, GameOutcome::kWon, 40}}));
        ASSERT_TRUE(source->PutSanction({SanctionKind::kMute, ids[2], 0,
                                         "r\xfc"
                                         "de",
                                         100, 0, "op"}));
        ASSERT_TRUE(source->PutChannel({7, "Main Hall", 0, ChannelOrigin::kFile}));
        ASSERT_TRUE(source->PutChannel({9, "Old", 2, ChannelOrigin::kRemoved}));
        ASSERT_TRUE(source->SetFriendship(ids[0], ids[1], true, 50));
        ASSERT_TRUE(source->SetBlock(ids[2], ids[0], true, 60));
        ASSERT_TRUE(source->SetVisibility(ids[0], kVisibleNobody));
        ASSERT_NE(source->KeepLine({0, ids[0], "bob", 70, 0, "caf\xe9"}, 0, 100), 0u);
    }
    const std::string target = server->NewDatabase();
    MoveCounts counts;
    std::string error;
    ASSERT_TRUE(MoveStore("sqlite:" + file, target, nullptr, &counts, &error)) << error;
    EXPECT_EQ(counts.accounts, 4u);
    EXPECT_EQ(counts.profiles, 1u);
    EXPECT_EQ(counts.sanctions, 1u);
    EXPECT_EQ(counts.channels, 2u);
    EXPECT_EQ(counts.friendships, 1u);
    EXPECT_EQ(counts.blocks, 1u);
    EXPECT_EQ(counts.account_states, 2u);  // a visibility, bob's last game
    EXPECT_EQ(counts.stored_lines, 1u);

    auto moved = LobbyStore::Open(target, HashStrength::kMinimum, &error);
    ASSERT_TRUE(moved) << error;
    for (size_t i = 0; i < ids.size(); ++i) {
        uint32_t id = 0;
        EXPECT_EQ(moved->CheckLogin(names[i], std::string(names[i]) + "-pw", &id),
                  StoreResult::kOk);
        EXPECT_EQ(id, ids[i]);
    }
    Profile loaded{};
    ASSERT_TRUE(moved->LoadProfile(ids[1], 2, &loaded));
    EXPECT_EQ(GetU32(loaded, kProfWon), 1u);
    EXPECT_EQ(GetU32(loaded, kProfScore), 40u);
    EXPECT_EQ(GetText(loaded, kProfName, kNameWidth), "Pilot");
    const auto mute = moved->FindSanction(SanctionKind::kMute, ids[2], 0, 200);
    ASSERT_TRUE(mute);
    EXPECT_EQ(mute->reason,
              "r\xfc"
              "de");
    const auto channels = moved->Channels();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[1].number, 9);
    EXPECT_EQ(channels[1].origin, ChannelOrigin::kRemoved);
    EXPECT_EQ(moved->SocialLinks(ids[1]),
              (std::vector<SocialLink>{{ids[0], "Ann", kRelationFriend, 50}}));
    EXPECT_TRUE(moved->Blocks(ids[2], ids[0]));
    EXPECT_EQ(moved->LoadAccountState(ids[0]).visibility, kVisibleNobody);
    const auto lines = moved->KeptLines(ids[0], 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "caf\xe9");
    // New lines are numbered after the moved ones.
    EXPECT_GT(moved->KeepLine({0, ids[0], "bob", 80, 0, "next"}, 0, 100), lines[0].id);

    uint32_t next = 0;
    ASSERT_EQ(moved->CreateAccount("Dan", "pw", "", &next), StoreResult::kOk);
    EXPECT_EQ(next, ids.back() + 2);
    EXPECT_TRUE(moved->PutSanction({SanctionKind::kBan, 0, 0x7F000001, "", 1, 0, "op"}));

    // Once anything is there, a second move writes nothing.
    EXPECT_FALSE(MoveStore("sqlite:" + file, target, nullptr, &counts, &error));
    EXPECT_NE(error.find("not empty"), std::string::npos) << error;
    EXPECT_FALSE(MoveStore("sqlite:" + file + ".missing", target, nullptr, &counts, &error));
    std::filesystem::remove(file);
}
