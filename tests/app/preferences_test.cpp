// The player's preferences file: written, read back, other keys kept, bad
// values refused (window scale and palette).
#include "shell/preferences.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "baselib/cfgfile.h"

namespace fs = std::filesystem;
using namespace vorlane::shell;

namespace {

class PreferencesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vorlane_prefs_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "preferences.cfg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    std::string path_;
};

TEST_F(PreferencesTest, WrittenReadBackAndOtherKeysKept) {
    Preferences prefs;
    prefs.window_scale = 5;
    EXPECT_FALSE(ReadPreferences(path_, &prefs));  // none before the first change
    EXPECT_EQ(prefs.window_scale, 5);

    std::ofstream(path_) << "[display]\nwindow_scale=1\n[style]\ntheme=dark\n";
    prefs.window_scale = 2;
    ASSERT_TRUE(WritePreferences(path_, prefs));
    Preferences read;
    ASSERT_TRUE(ReadPreferences(path_, &read));
    EXPECT_EQ(read.window_scale, 2);
    CFGFILE file;
    ASSERT_TRUE(file.Read(path_));
    ASSERT_NE(file.GetText("style", "theme"), nullptr);
    EXPECT_STREQ(file.GetText("style", "theme"), "dark");

    // A file without the key leaves the value alone.
    std::ofstream(path_) << "[display]\n";
    read.window_scale = 3;
    EXPECT_TRUE(ReadPreferences(path_, &read));
    EXPECT_EQ(read.window_scale, 3);
}

TEST_F(PreferencesTest, BadWindowScalesAreRefused) {
    for (const char* bad : {"9", "-1", "2x", "x2", "", "99999999999999999999", "1.5"}) {
        std::ofstream(path_) << "[display]\nwindow_scale=" << bad << "\n";
        Preferences prefs;
        prefs.window_scale = 4;
        EXPECT_TRUE(ReadPreferences(path_, &prefs));
        EXPECT_EQ(prefs.window_scale, 4) << "'" << bad << "'";
    }
    EXPECT_TRUE(ValidWindowScale(0));
    EXPECT_TRUE(ValidWindowScale(8));
    EXPECT_FALSE(ValidWindowScale(9));
    EXPECT_FALSE(ValidWindowScale(-1));
}

TEST_F(PreferencesTest, PaletteWrittenReadBackAndBadNamesRefused) {
    Preferences prefs;
    prefs.window_scale = 3;
    prefs.ui_palette = vorlane::gui::PaletteMode::kContrast;
    ASSERT_TRUE(WritePreferences(path_, prefs));
    Preferences read;
    ASSERT_TRUE(ReadPreferences(path_, &read));
    EXPECT_EQ(read.ui_palette, vorlane::gui::PaletteMode::kContrast);
    EXPECT_EQ(read.window_scale, 3);  // one preference never resets the other

    std::ofstream(path_) << "[display]\nui_palette=ColourBlind\n";
    ASSERT_TRUE(ReadPreferences(path_, &read));
    EXPECT_EQ(read.ui_palette, vorlane::gui::PaletteMode::kColourBlind);
    EXPECT_EQ(read.window_scale, 3);
    for (const char* bad : {"", "pink", "contrast2"}) {
        std::ofstream(path_) << "[display]\nui_palette=" << bad << "\n";
        ASSERT_TRUE(ReadPreferences(path_, &read));
        EXPECT_EQ(read.ui_palette, vorlane::gui::PaletteMode::kColourBlind) << "'" << bad << "'";
    }
}

}  // namespace
