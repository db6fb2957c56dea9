#include "content/mission_ctrl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/text_source.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "tests/scripting/test_archive.h"
#include "tests/support/log_capture.h"

namespace {

using vorlane::testing::LogCapture;
using vorlane::testing::TestArchive;
using vorlane::testing::TestDirectory;

std::string TextImage(const char* source) {
    std::vector<uint8_t> image;
    vorlane::resources::CompileTextSource(source, image, nullptr);
    return std::string(image.begin(), image.end());
}

const char* kFullMission = R"(
vorl_mission_init = {
  mission_keyname = "m_full",
  mission_title_resname = "~Full Test",
  mission_description_resname = "DESC",
  mission_creator = 42,
  mission_avail = false,
  intro_sound_id = "7",
  mission_winpoints_won = 3.9,
  multi_playable = 1,
  campaign_anchor = true,
  campaign_name = "CAMP_A",
  campaign_winpoints_needed = 5,
  script_cardregister_resname = "cards.reg",
  script_cardregister_fromfile = true,
  mission_graphic_xpos = -12,
  mood_win_condition = 4,
  mission_location = string.rep("L", 100),
}
)";

class MissionTest : public ::testing::Test {
  protected:
    MissionTest()
        : archive_({{"missions",
                     {{"q.1", 1, kFullMission},
                      {"q.3", 1,
                       "vorl_mission_init = { mission_keyname = 'm_three', mission_avail = 0 }"},
                      {"bad.1", 1, "vorl_mission_init = 'a string'"},
                      {"bad.2", 1, "vorl_mission_init = { mission_title_resname = 'no key' }"},
                      {"bad.3", 1, "vorl_mission_init = {"},
                      {"bad.4", 1, "vorl_mission_init = { mission_keyname = 'good' }"},
                      {"bad.5", 1, "x = 1 -- sets no table at all"},
                      {"camp.1", 1,
                       "vorl_mission_init = { mission_keyname = 'a1', campaign_anchor = true, "
                       "campaign_name = 'C' }"},
                      {"camp.2", 1,
                       "vorl_mission_init = { mission_keyname = 'a2', campaign_anchor = true, "
                       "campaign_name = 'C' }"},
                      {"camp.3", 1,
                       "vorl_mission_init = { mission_keyname = 'm3', campaign_name = 'C' }"},
                      {"camp.4", 1,
                       "vorl_mission_init = { mission_keyname = 'm4', campaign_name = 'D' }"},
                      {"camp.128", 1, "vorl_mission_init = { mission_keyname = 'last' }"},
                      {"hostile.1", 1,
                       "vorl_mission_init = { mission_keyname = 'h1' } "
                       "setmetatable(_G, { __index = function() error('r') end, "
                       "__newindex = function() error('w') end })"},
                      {"hostile.2", 1, "vorl_mission_init = { mission_keyname = 'h2' }"},
                      {"camp.129", 1, "vorl_mission_init = { mission_keyname = 'beyond' }"},
                      {"text.global", 11, TextImage("CAMP_A = The First Campaign\n")}}}}) {}

    void SetUp() override {
        ASSERT_TRUE(archive_.ok());
        lua_ = LuaStatePtr(LUA_CreateState());
        LuaHost host;
        host.lua = lua_.get();
        host.rama = &archive_.rama();
        LUA_SetHost(host);
        texts_.Init(lua_.get(), &archive_.rama());
        ASSERT_EQ(texts_.AddTextResource("text.global"), 1u);
    }
    void TearDown() override { LUA_ClearHost(); }

    std::vector<std::string> Keys(VORL_MISSION_CTRL& list) {
        std::vector<std::string> keys;
        for (VORL_MISSION* m = list.MissionList_GetFirst(); m; m = list.MissionList_GetNext()) {
            keys.push_back(m->key_name);
        }
        return keys;
    }

    TestArchive archive_;
    LuaStatePtr lua_;
    vorlane::resources::TEXTLIB texts_;
};

using V = std::vector<std::string>;

TEST_F(MissionTest, GapsInTheNumberingAreSkipped) {
    VORL_MISSION_CTRL list(nullptr, &texts_);
    EXPECT_EQ(list.MissionList_CreateFromRama("q"), 1);
    EXPECT_EQ(Keys(list), (V{"m_full", "m_three"}));
    EXPECT_EQ(list.MissionList_CreateFromRama(nullptr), 0);
}

TEST_F(MissionTest, FieldsFollowTheirKindsAndCapacities) {
    VORL_MISSION_CTRL list(nullptr, &texts_);
    list.MissionList_CreateFromRama("q");
    VORL_MISSION* full = list.MissionList_GetFirst();
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->script_name, "q.1");
    EXPECT_EQ(full->title, "~Full Test");
    EXPECT_EQ(full->creator, "42");  // a number read as text
    EXPECT_EQ(full->available, 0);   // false clears it
    EXPECT_EQ(full->intro_sound, 7);
    EXPECT_EQ(full->winpoints_won, 3);
    EXPECT_EQ(full->winpoints_lost, 0);
    EXPECT_EQ(full->campaign_winpoints_needed, 5);
    EXPECT_EQ(full->campaign_title, "The First Campaign");
    EXPECT_EQ(full->cardregister_script, "cards.reg");
    EXPECT_EQ(full->cardregister_fromfile, 1);
    EXPECT_EQ(full->graphic_x, -12);
    EXPECT_EQ(full->mood_win_condition, 4);
    EXPECT_EQ(full->location, std::string(63, 'L'));
    EXPECT_EQ(full->enable, "not-set");
    EXPECT_STREQ(ResolveMissionText(full->title, &texts_), "Full Test");
    EXPECT_STREQ(ResolveMissionText("CAMP_A", &texts_), "The First Campaign");
    EXPECT_EQ(ResolveMissionText(full->description, &texts_), nullptr);  // unknown identifier

    VORL_MISSION* three = list.MissionList_GetNext();
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->available, 1);  // the number 0 is not a flag
    EXPECT_EQ(three->mood_win_condition, 1);
    EXPECT_EQ(three->campaign_winpoints_needed, 0);
    EXPECT_EQ(three->campaign_available, 1);
    EXPECT_EQ(three->campaign_title, "not-set");
    EXPECT_EQ(three->picture, "not-set");
    EXPECT_EQ(list.MissionList_GetNext(), nullptr);
    EXPECT_EQ(lua_gettop(lua_.get()), 0);
}

TEST_F(MissionTest, BadScriptsAreDroppedWithTheirMessages) {
    LogCapture log;
    std::vector<std::string> boxes;
    VORL_MISSION_CTRL list(nullptr, &texts_);
    list.SetMessageBox([&](const char* text) { boxes.emplace_back(text); });
    EXPECT_EQ(list.MissionList_CreateFromRama("bad"), 1);
    EXPECT_EQ(Keys(list), (V{"good"}));
    EXPECT_TRUE(log.Has(kLogError, "MISSION::ParseMissionDataScript: mission init: no table !"));
    EXPECT_TRUE(
        log.Has(kLogError, "MISSION::ParseMissionDataScript: no mission key name defined !"));
    EXPECT_TRUE(
        log.Has(kLogError, "MISSION::ParseMissionDataScript: mission script execution failed !"));
    EXPECT_EQ(boxes, (V{"VRLMISS::MissionList_CreateFromRama: mission init failed: bad.1",
                        "VRLMISS::MissionList_CreateFromRama: mission init failed: bad.2",
                        "VRLMISS::MissionList_CreateFromRama: mission init failed: bad.3",
                        // bad.5 sets no table; the one bad.4 left is not reused
                        "VRLMISS::MissionList_CreateFromRama: mission init failed: bad.5"}));
    EXPECT_EQ(lua_gettop(lua_.get()), 0);
}

TEST_F(MissionTest, AnchorsMakeCampaignsAndMissionsJoinTheFirst) {
    VORL_MISSION_CTRL list(nullptr, &texts_);
    list.MissionList_CreateFromRama("camp");
    EXPECT_EQ(Keys(list), (V{"a1", "a2", "m3", "m4", "last"}));
    ASSERT_EQ(list.Campaigns().size(), 2u);
    const VORL_CAMPAIGN& first = *list.Campaigns()[0];
    const VORL_CAMPAIGN& second = *list.Campaigns()[1];
    EXPECT_EQ(first.name, "C");
    EXPECT_EQ(first.anchor->key_name, "a1");
    EXPECT_EQ(second.anchor->key_name, "a2");
    ASSERT_EQ(first.missions.size(), 3u);
    EXPECT_EQ(first.missions[2]->key_name, "m3");
    EXPECT_TRUE(second.missions.empty());
    EXPECT_EQ(list.FindCampaign("C"), list.Campaigns()[0].get());
    EXPECT_EQ(list.FindCampaign("D"), nullptr);  // m4 has no anchor
    list.MissionList_Clear();
    EXPECT_EQ(list.MissionCount(), 0u);
    EXPECT_TRUE(list.Campaigns().empty());
}

TEST_F(MissionTest, FilesAreAddedToTheArchiveMissions) {
    TestDirectory dir;
    dir.Write("missions/mission_1.lua",
              "vorl_mission_init = { mission_keyname = 'file1', campaign_name = 'C' }");
    dir.Write("missions/mission_4.lua", "vorl_mission_init = { mission_keyname = 'file4' }");
    dir.Write("missions/mission_2.lua/readme", "a folder is not a mission");
    VORL_MISSION_CTRL list(nullptr, &texts_);
    list.SetBaseDirectory(dir.path());
    list.MissionList_CreateFromRama("camp");
    EXPECT_EQ(list.MissionList_CreateFromFiles("mission"), 1);
    EXPECT_EQ(Keys(list), (V{"a1", "a2", "m3", "m4", "last", "file1", "file4"}));
    EXPECT_EQ(list.FindCampaign("C")->missions.size(), 4u);
    VORL_MISSION* m = list.MissionList_GetFirst();
    for (int i = 0; i < 5; ++i) m = list.MissionList_GetNext();
    EXPECT_EQ(m->script_name.substr(m->script_name.size() - 22), "missions/mission_1.lua");
}

TEST_F(MissionTest, GlobalsMetatableDoesNotBreakTheScan) {
    VORL_MISSION_CTRL list(nullptr, &texts_);
    EXPECT_EQ(list.MissionList_CreateFromRama("hostile"), 1);
    EXPECT_EQ(Keys(list), (V{"h1"}));  // h2 cannot set its table any more
}

TEST_F(MissionTest, RecordWithoutScriptNameFails) {
    LogCapture log;
    VORL_MISSION mission;
    EXPECT_EQ(mission.InitMissionData("not-set"), 0);
    EXPECT_EQ(mission.InitMissionData(nullptr), 0);
    EXPECT_TRUE(log.Has(kLogError, "MISSION::InitMissionData: mission script not set !"));
}

}  // namespace
