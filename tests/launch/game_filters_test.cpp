// The saved game filters: how they match the game list, and their round
// trip through the preferences file next to the keys already there.
#include "frontend/game_filters.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "baselib/cfgfile.h"

using namespace vorlane;
using namespace vorlane::net;

namespace {

GameRecord Game(const std::string& name, uint16_t players, uint16_t most, bool password) {
    return MakeGameRecord({name, password, players, most, 1});
}

GameFilter Filter(uint16_t flags, std::string name = "", std::string mission = "") {
    return {1, uint16_t(flags | kFilterActive), std::move(name), std::move(mission)};
}

}  // namespace

TEST(GameFiltersTest, MatchNameMissionSeatsPasswordAndFriends) {
    const GameRecord duel = Game("Duel/Rim Wars/ann", 1, 2, false);
    const std::vector<FriendEntry> none;
    EXPECT_TRUE(frontend::GameMatches(duel, Filter(0, "DUEL"), none));
    EXPECT_TRUE(frontend::GameMatches(duel, Filter(0, "", "rim"), none));
    EXPECT_FALSE(frontend::GameMatches(duel, Filter(0, "", "ann"), none));  // not the mission
    EXPECT_FALSE(frontend::GameMatches(duel, Filter(0, "brawl"), none));
    EXPECT_FALSE(frontend::GameMatches(duel, {1, 0, "", ""}, none));  // not active
    EXPECT_EQ(frontend::MissionOfGameName("no slashes"), "no slashes");

    EXPECT_TRUE(frontend::GameMatches(duel, Filter(kFilterFreeSeats | kFilterNoPassword), none));
    EXPECT_FALSE(
        frontend::GameMatches(Game("Full/M/x", 2, 2, false), Filter(kFilterFreeSeats), none));
    EXPECT_TRUE(
        frontend::GameMatches(Game("Open/M/x", 5, 0, false), Filter(kFilterFreeSeats), none));
    EXPECT_FALSE(
        frontend::GameMatches(Game("Locked/M/x", 1, 2, true), Filter(kFilterNoPassword), none));

    // A friend's "where" holds the first 39 characters of a long name.
    const std::string long_name = "A very long game name/With a long mission/host";
    FriendEntry bob{"bob", kRelationFriend, kPresenceInGame, 0, 0, long_name.substr(0, 39)};
    FriendEntry asked = bob;
    asked.relation = kRelationYouAsked;
    const GameRecord game = Game(long_name, 1, 4, false);
    EXPECT_TRUE(frontend::GameMatches(game, Filter(kFilterFriendsGames), {bob}));
    EXPECT_FALSE(frontend::GameMatches(game, Filter(kFilterFriendsGames), {asked}));
    EXPECT_FALSE(frontend::GameMatches(duel, Filter(kFilterFriendsGames), {bob}));
    EXPECT_TRUE(frontend::GameMatchesAny(duel, {Filter(0, "x"), Filter(0, "duel")}, none));
}

TEST(GameFiltersTest, PreferencesRoundTripKeepsOtherKeys) {
    char path[] = "/tmp/vorlane_filters_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        CFGFILE file;
        file.SetText("display", "ui_palette", "contrast");
        frontend::PutSavedFilters(file, {Filter(kFilterFreeSeats, "duel"), Filter(0, "", "rim")});
        frontend::PutSavedVisibility(file, kVisibleFriends);
        ASSERT_TRUE(file.Write(path));
    }
    CFGFILE file;
    ASSERT_TRUE(file.Read(path));
    const auto filters = frontend::ReadSavedFilters(file);
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].flags, kFilterActive | kFilterFreeSeats);
    EXPECT_EQ(filters[0].name, "duel");
    EXPECT_EQ(filters[1].slot, 2);
    EXPECT_EQ(filters[1].mission, "rim");
    EXPECT_EQ(frontend::ReadSavedVisibility(file), kVisibleFriends);
    EXPECT_STREQ(file.GetText("display", "ui_palette"), "contrast");

    // Fewer filters later: the slots left over are emptied, not kept.
    frontend::PutSavedFilters(file, {filters[1]});
    frontend::PutSavedVisibility(file, 7);  // nonsense reads as never chosen
    EXPECT_EQ(frontend::ReadSavedFilters(file).size(), 1u);
    EXPECT_EQ(frontend::ReadSavedVisibility(file), -1);
    std::remove(path);
}
