#include "resources/rama_index.h"

#include <gtest/gtest.h>

#include <string>

#include "res_test_util.h"

namespace vorlane::resources {
namespace {

using testing::LogCapture;
using namespace std::string_literals;

TEST(MasterIndex, ReadsHeaderAndLocations) {
    MasterIndex index;
    ASSERT_TRUE(
        ParseMasterIndexText("# build 42 comment with digits 999\n"
                             "\"VORLANE\" \"2003-07-10 18:23:13\" \"b5\r\n56\" \"3\"\n"
                             "\"1\" \"0007\" \"12a3\"\n",
                             index));
    EXPECT_EQ(index.project, "VORLANE");
    EXPECT_EQ(index.date, "2003-07-10 18:23:13");
    EXPECT_EQ(index.build, 556u);  // digits only, CR LF dropped
    EXPECT_EQ(index.declared_count, 3u);
    ASSERT_EQ(index.locations.size(), 3u);
    EXPECT_EQ(index.locations[1], 7u);
    EXPECT_EQ(index.locations[2], 12u);  // decimal up to the first non-digit
    EXPECT_EQ(LocationFileName(7), "data\\loc0007.dix");
    EXPECT_EQ(LocationFileName(12345), "data\\loc12345.dix");
}

TEST(MasterIndex, UnbalancedCountUsesTheSmaller) {
    LogCapture log;
    MasterIndex more;
    ASSERT_TRUE(ParseMasterIndexText("\"p\" \"d\" \"1\" \"3\" \"1\" \"2\" \"3\" \"4\"", more));
    EXPECT_TRUE(log.Has(8, "RAMA_CTRL::ParseMasterIndex: parsing ended unbalanced: 4 != 3"));
    EXPECT_EQ(more.locations.size(), 3u);

    MasterIndex fewer;
    ASSERT_TRUE(ParseMasterIndexText("\"p\" \"d\" \"1\" \"5\" \"1\" \"2\"", fewer));
    EXPECT_TRUE(log.Has(8, "RAMA_CTRL::ParseMasterIndex: parsing ended unbalanced: 2 != 5"));
    EXPECT_EQ(fewer.locations.size(), 2u);

    // A declared count of four billion allocates nothing by itself.
    MasterIndex huge;
    ASSERT_TRUE(ParseMasterIndexText("\"p\" \"d\" \"1\" \"4000000000\" \"1\"", huge));
    EXPECT_EQ(huge.declared_count, 4000000000u);
    EXPECT_EQ(huge.locations.size(), 1u);
    MasterIndex saturated;
    ASSERT_TRUE(ParseMasterIndexText("\"p\" \"d\" \"99999999999999999999\" \"0\"", saturated));
    EXPECT_EQ(saturated.build, 0xFFFFFFFFu);
}

TEST(MasterIndex, Failures) {
    LogCapture log;
    MasterIndex index;
    EXPECT_FALSE(ParseMasterIndexText("", index));
    EXPECT_TRUE(log.Has(16, "RAMA_CTRL::ParseMasterIndex: parsing failed"));
    EXPECT_FALSE(ParseMasterIndexText("\"p\" \"d\" \"1\"", index));
    EXPECT_FALSE(ParseMasterIndexText("\"p\" \"d\" \"1\" \"1", index));  // ends in the count
    EXPECT_FALSE(ParseMasterIndexText("\"p\" \"d\0x\" \"1\" \"1\" \"1\""s, index));
    EXPECT_TRUE(log.Has(16, "RAMA_CTRL::ParseMasterIndex: invalid 0 char found"));
    EXPECT_TRUE(index.project.empty());  // header fields cleared
    EXPECT_TRUE(
        ParseMasterIndexText("\"p\" \"d\" \"1\" \"1\" \"2", index));  // ends inside a number
}

TEST(MasterIndex, LongFieldsAreCut) {
    MasterIndex index;
    std::string text = "\"" + std::string(5000, 'P') + "\" \"d\" \"1\" \"0\"";
    ASSERT_TRUE(ParseMasterIndexText(text, index));
    EXPECT_EQ(index.project.size(), kIndexFieldMax);
}

TEST(LocationIndex, QuotedWordsInCommentsAreFields) {
    LogCapture log;
    LocationIndex index;
    ASSERT_TRUE(ParseLocationIndexText(
        "// 12 34 \"comment\" is not outside quotes, this line is\n"
        "\"mainmenu\"\n"
        "; 5 5 5\n"
        "\"lobby.script.menu\" \"n1o2\" \"a short text that is long\" \"2\"\n"
        "\"gfx.back\" \"7\" \"\" \"25\"\n",
        index));
    // The comment's quoted word is the location name; what follows shifts by one.
    EXPECT_EQ(index.name, "comment");
    EXPECT_EQ(index.final_state, 2 + 2 * 1);
}

TEST(LocationIndex, TextOutsideQuotesIsIgnored) {
    LogCapture log;
    LocationIndex index;
    ASSERT_TRUE(ParseLocationIndexText(
        "; location 12 with 2 resources\r\n"
        "\"mainmenu\"\r\n"
        "1: \"lobby.script.menu\" 2: \"n1o2\" \"a short text that is long\" \"2\"\r\n"
        "# 99 \r\n"
        "\"gfx.back\" \"7\" \"\" \"2x5\"\r\n",
        index));
    EXPECT_EQ(index.name, "mainmenu");
    EXPECT_FALSE(index.patch);
    ASSERT_EQ(index.records.size(), 2u);
    EXPECT_EQ(index.records[0].address, "lobby.script.menu");
    EXPECT_EQ(index.records[0].number, 12u);
    EXPECT_EQ(index.records[0].short_text, "a short text t");
    EXPECT_EQ(index.records[0].type, 2u);
    EXPECT_EQ(index.records[1].type, 25u);
    // Type 25 is reported and the record is still listed.
    EXPECT_TRUE(
        log.Has(8, "RAMA_LOC::ParseFromMemory: resource type (25) out of bounds: gfx.back"));
    EXPECT_EQ(index.final_state, 2);
}

TEST(LocationIndex, EndingInsideARecordKeepsTheCompleteOnes) {
    LogCapture log;
    LocationIndex index;
    ASSERT_TRUE(ParseLocationIndexText("\"loc\" \"a\" \"1\" \"t\" \"1\" \"b\" \"2\"", index));
    EXPECT_TRUE(log.Has(8, "RAMA_LOC::ParseFromMemory: out of order pstate (6)"));
    ASSERT_EQ(index.records.size(), 1u);
    EXPECT_EQ(index.records[0].address, "a");

    ASSERT_TRUE(ParseLocationIndexText("\"loc\" \"a\" \"1\" \"t\" \"1", index));
    EXPECT_TRUE(log.Has(8, "RAMA_LOC::ParseFromMemory: out of order pstate (9)"));
    EXPECT_TRUE(index.records.empty());
}

TEST(LocationIndex, Failures) {
    LogCapture log;
    LocationIndex index;
    EXPECT_FALSE(ParseLocationIndexText("", index));
    EXPECT_TRUE(log.Has(8, "RAMA_LOC::ParseFromMemory: out of order pstate (0)"));
    EXPECT_TRUE(log.Has(16, "RAMA_LOC::ParseFromMemory: nothing to parse"));
    EXPECT_FALSE(ParseLocationIndexText("\"unfinished", index));
    EXPECT_TRUE(log.Has(8, "RAMA_LOC::ParseFromMemory: out of order pstate (1)"));
    EXPECT_FALSE(ParseLocationIndexText("\"loc\" \"a\0b\" \"1\" \"t\" \"1\""s, index));
    EXPECT_TRUE(log.Has(16, "RAMA_LOC::ParseFromMemory: invalid 0 char found"));
    EXPECT_TRUE(index.records.empty());
    // Only a name: no resources, but a valid index.
    EXPECT_TRUE(ParseLocationIndexText("\"empty\"", index));
    EXPECT_TRUE(index.records.empty());
}

TEST(LocationIndex, PatchNames) {
    LogCapture log;
    LocationIndex index;
    ASSERT_TRUE(ParseLocationIndexText("\"patch12\"", index));
    EXPECT_TRUE(index.patch);
    EXPECT_TRUE(log.Has(4, "* PATCHLOCATION: patch12"));
    ASSERT_TRUE(ParseLocationIndexText("\"patc\"", index));
    EXPECT_FALSE(index.patch);
    ASSERT_TRUE(ParseLocationIndexText("\"Patch1\"", index));
    EXPECT_FALSE(index.patch);
}

TEST(IndexText, WrittenIndexesReadBack) {
    MasterIndex master;
    master.project = "VORLANE";
    master.date = "2026-01-01 00:00:00";
    master.build = 7;
    master.locations = {1, 2, 40};
    MasterIndex master_back;
    ASSERT_TRUE(ParseMasterIndexText(WriteMasterIndexText(master), master_back));
    EXPECT_EQ(master_back.project, master.project);
    EXPECT_EQ(master_back.date, master.date);
    EXPECT_EQ(master_back.build, 7u);
    EXPECT_EQ(master_back.locations, master.locations);

    LocationIndex location;
    location.name = "alltime";
    location.records = {{"a.b", 3, "short", 1}, {"c", 0, "", 20}};
    LocationIndex location_back;
    ASSERT_TRUE(ParseLocationIndexText(WriteLocationIndexText(location), location_back));
    EXPECT_EQ(location_back.name, "alltime");
    ASSERT_EQ(location_back.records.size(), 2u);
    EXPECT_EQ(location_back.records[0].address, "a.b");
    EXPECT_EQ(location_back.records[0].number, 3u);
    EXPECT_EQ(location_back.records[0].short_text, "short");
    EXPECT_EQ(location_back.records[1].type, 20u);
}

}  // namespace
}  // namespace vorlane::resources
