#include "baselib/cfgfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(CfgFile, ReadingRulesAndWritingBack) {
    CFGFILE cfg;
    cfg.Parse(
        "orphan=ignored\r\n"
        "[\n"
        "[login\n"  // no closing bracket: the rest of the line is the name
        "name=Pilot\r\n"
        "bare\n"    // no "=": no value, written back with "="
        "empty=\n"  // "=" only: written back the same way
        "\n"
        "[unused]\n"  // no entry follows: no section
        "[main]junk\n"
        "server=localhost\n"
        "server=127.0.0.1\n"  // a repeated key replaces the value
        "url=a=b\n");
    EXPECT_EQ(cfg.section_count(), 2u);
    EXPECT_STREQ(cfg.GetText("login", "name"), "Pilot");
    EXPECT_EQ(cfg.GetText("login", "bare"), nullptr);
    EXPECT_STREQ(cfg.GetText("main", "server"), "127.0.0.1");
    EXPECT_STREQ(cfg.GetText("main", "url"), "a=b");
    EXPECT_EQ(cfg.Format(),
              "[login]\nname=Pilot\nbare=\nempty=\n\n"
              "[main]\nserver=127.0.0.1\nurl=a=b\n\n");
}

TEST(CfgFile, LookupOfAMissingSectionCreatesItEmpty) {
    CFGFILE cfg;
    ASSERT_TRUE(cfg.SetText("login", "name", "x"));
    EXPECT_EQ(cfg.GetText("ghost", "key"), nullptr);
    EXPECT_EQ(cfg.Format(), "[login]\nname=x\n\n[ghost]\n\n");
    EXPECT_EQ(cfg.GetNumber("ghost", "n", -1), -1);
}

TEST(CfgFile, SettersRefuseMissingPartsAndKeepOrder) {
    CFGFILE cfg;
    EXPECT_FALSE(cfg.SetText(nullptr, "k", "v"));
    EXPECT_FALSE(cfg.SetText("s", "", "v"));
    EXPECT_FALSE(cfg.SetText("s", "k", nullptr));
    EXPECT_TRUE(cfg.SetText("game", "mode", "server"));
    EXPECT_TRUE(cfg.SetNumber("game", "lan", 1));
    EXPECT_TRUE(cfg.SetNumber("user", "character", 7));
    EXPECT_TRUE(cfg.SetText("game", "mode", "client"));
    EXPECT_EQ(cfg.Format(), "[game]\nmode=client\nlan=1\n\n[user]\ncharacter=7\n\n");
}

TEST(CfgFile, LongLinesAreCutAndFilesAreOwnerOnly) {
    fs::path dir = fs::temp_directory_path() / "vorlane_cfgfile_test";
    fs::create_directories(dir);
    fs::path path = dir / "lobby.cfg";
    {
        std::ofstream file(path);
        file << "[s]\nk=" << std::string(3000, 'v') << "\n";
    }
    chmod(path.c_str(), 0644);
    CFGFILE cfg;
    ASSERT_TRUE(cfg.Read(path.string()));
    EXPECT_EQ(std::string(cfg.GetText("s", "k")).size(), CFGFILE::kMaxLine - 2);
    ASSERT_TRUE(cfg.Write(path.string()));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(fs::exists(path.string() + ".new"));

    CFGFILE again;
    ASSERT_TRUE(again.Read(path.string()));
    EXPECT_EQ(again.Format(), cfg.Format());
    EXPECT_FALSE(again.Read((dir / "missing.cfg").string()));
    EXPECT_FALSE(cfg.Write((dir / "no_such_dir" / "x.cfg").string()));
    fs::remove_all(dir);
}

TEST(CfgFile, SettersRefuseWhatWouldReadBackAsOtherLines) {
    CFGFILE cfg;
    ASSERT_TRUE(cfg.SetText("game", "mode", "client"));
    // A line break in a value would add keys of its own ("game_exec" here).
    EXPECT_FALSE(cfg.SetText("game", "name", "x\n[main]\ngame_exec=/bin/sh"));
    EXPECT_FALSE(cfg.SetText("game", "name", "x\ry"));
    EXPECT_FALSE(cfg.SetText("game", "a=b", "v"));
    EXPECT_FALSE(cfg.SetText("game", "[main]", "v"));
    EXPECT_FALSE(cfg.SetText("game]x", "k", "v"));
    EXPECT_FALSE(cfg.SetText("a\nb", "k", "v"));
    EXPECT_FALSE(cfg.SetText("game", std::string(CFGFILE::kMaxLine, 'k').c_str(), "v"));
    EXPECT_TRUE(cfg.SetText("game", "url", "a=b [c]"));
    // Nor does a lookup create a section that would be written as other lines.
    EXPECT_EQ(cfg.GetText("x]\nk=v", "k"), nullptr);
    EXPECT_EQ(cfg.Format(), "[game]\nmode=client\nurl=a=b [c]\n\n");

    CFGFILE again;
    again.Parse(cfg.Format());
    EXPECT_STREQ(again.GetText("game", "url"), "a=b [c]");
    // The longest section name the reader keeps is still found and written back.
    const std::string longest(CFGFILE::kMaxLine - 1, 'n');
    ASSERT_TRUE(again.SetText(longest.c_str(), "k", "v"));
    CFGFILE third;
    third.Parse(again.Format());
    EXPECT_STREQ(third.GetText(longest.c_str(), "k"), "v");
}
