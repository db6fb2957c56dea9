#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/global_control.h"
#include "app/options.h"
#include "app/single_instance.h"
#include "baselib/bl_memory.h"
#include "shell/global_data.h"
#include "tests/support/log_capture.h"

namespace fs = std::filesystem;
using namespace vorlane;

namespace {

// Gives each test a zeroed settings record and removes it again.
class SettingsFixture : public ::testing::Test {
  protected:
    void SetUp() override { g_settings = new GlobalSettings{}; }
    void TearDown() override {
        delete g_settings;
        g_settings = nullptr;
    }
    uint16_t ModeFor(std::vector<std::string> words) {
        words.insert(words.begin(), "vorlane-lobby");
        MAIN_ParseOptions(words);
        MAIN_EvaluateOptions();
        return MAIN_StartMode();
    }
};

fs::path TempDir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("vorlane_app_" + name + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

struct RunResult {
    int status = -1;
    std::string output;
};

// Runs the front end with `args` in `dir`, its data set, and captures its output.
RunResult RunFrontEnd(const fs::path& dir, const std::string& args, const std::string& env = "") {
    std::string binary = std::string(std::getenv("VORLANE_BINARY_DIR")) + "/app/vorlane-lobby";
    std::string command = "cd '" + dir.string() + "' && VORLANE_DATA='" + dir.string() + "' " +
                          env + " '" + binary + "' " + args + " 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 512> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        result.output.append(chunk.data(), n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace

TEST_F(SettingsFixture, StartModeFollowsLanThenContinueThenDemo) {
    EXPECT_EQ(ModeFor({"+lan", "-continue", "+demo"}), kStartLan);
    g_settings->lan_start = g_settings->continue_start = g_settings->demo_start = 0;
    EXPECT_EQ(ModeFor({"+continue", "+demo"}), kStartContinue);
    g_settings->continue_start = g_settings->demo_start = 0;
    EXPECT_EQ(ModeFor({"+DEMO"}), kStartDemo);
    g_settings->demo_start = 0;
    EXPECT_EQ(ModeFor({}), kStartOnline);
    // The earlier of two words for one switch wins.
    EXPECT_EQ(ModeFor({"-lan", "+lan"}), kStartOnline);
}

TEST_F(SettingsFixture, OnlyTheOffSwitchesClearLogosAndInfoMode) {
    g_settings->show_logos = g_settings->info_mode = 1;
    ModeFor({"+nologos", "+infomode"});
    EXPECT_EQ(g_settings->show_logos, 1);
    EXPECT_EQ(g_settings->info_mode, 1);
    ModeFor({"-nologos", "-infomode"});
    EXPECT_EQ(g_settings->show_logos, 0);
    EXPECT_EQ(g_settings->info_mode, 0);
}

TEST_F(SettingsFixture, ScriptValueKeepsItsLetterCase) {
    ModeFor({"script=Tests/Drive.lua", "time=25"});
    EXPECT_EQ(MAIN_ScriptOption(), "Tests/Drive.lua");
    EXPECT_EQ(MAIN_OptionTable()[2].number, 25);
}

TEST(Version, LineAndBoxTitle) {
    EXPECT_EQ(MAIN_VersionText(),
              "Release Version: 1.03 12-NOV-2003 (build: 8,drv 26,krnl 20,api 10)");
    EXPECT_EQ(MAIN_CriticalErrorTitle(), "VORLANE LOBBY v1.03 -- Critical Error");
}

TEST(Version, GameStartFieldsAreCut) {
    MAIN_SetGameStart(std::string(300, 'p'), "arg");
    EXPECT_EQ(g_game_start_path.size(), kGameStartFieldSize - 1);
    EXPECT_EQ(g_game_start_argument, "arg");
    MAIN_SetGameStart("", "");
}

TEST_F(SettingsFixture, SettingsScriptFillsFieldsAndZeroesWrongTypes) {
    ASSERT_EQ(BL_Init(), 0);
    g_control = new GLOBAL_CONTROL_BASE();
    ASSERT_EQ(g_control->InitLUA(), 0);
    fs::path dir = TempDir("settings");
    {
        std::ofstream(dir / "good.cfg") << "settings = { screen_width = 800.9, screen_height = 600,"
                                           " color_depth = 16, windowed_mode = true,"
                                           " sound_onoff = 1, music_volume = 'x' }";
        std::ofstream(dir / "none.cfg") << "settings = nil other = {}";
    }
    EXPECT_EQ(MAIN_ParseSettingsFile((dir / "good.cfg").c_str()), 1);
    EXPECT_EQ(g_settings->screen_width, 800);
    EXPECT_EQ(g_settings->screen_height, 600);
    EXPECT_EQ(g_settings->color_depth, 16);
    EXPECT_EQ(g_settings->windowed_mode, 1);
    EXPECT_EQ(g_settings->sound_onoff, 0);   // a number is not a boolean
    EXPECT_EQ(g_settings->music_volume, 0);  // a non-numeric string reads as 0

    EXPECT_EQ(MAIN_ParseSettingsFile((dir / "none.cfg").c_str()), 1);
    EXPECT_EQ(g_settings->screen_width, 0);
    EXPECT_EQ(MAIN_ParseSettingsFile((dir / "missing.cfg").c_str()), 0);

    delete g_control;
    g_control = nullptr;
    BL_Exit();
    fs::remove_all(dir);
}

TEST(Process, SecondInstanceIsRefusedWithTheBoxText) {
    fs::path dir = TempDir("instance");
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    SingleInstance first("VORLANE LOBBY");
    ASSERT_FALSE(first.AlreadyRunning());
    RunResult second = RunFrontEnd(dir, "", "XDG_RUNTIME_DIR='" + dir.string() + "'");
    EXPECT_EQ(second.status, 255);
    EXPECT_NE(
        second.output.find("VORLANE LOBBY v1.03 -- Critical Error: VORLANE LOBBY already running."),
        std::string::npos)
        << second.output;
    unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(dir);
}

TEST(Process, HelpPrintsTheOptionList) {
    fs::path dir = TempDir("help");
    RunResult run = RunFrontEnd(dir, "help", "XDG_RUNTIME_DIR='" + dir.string() + "'");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Switch LAN + (ON) - (OFF) : start in LANGame mode."),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Keyword ?"), std::string::npos);
    fs::remove_all(dir);
}

// A data set with a location or the presentation missing ends the start with
// a failure status and a box that names what is missing.
TEST(Process, MissingArchiveLocationsFailTheStartWithAMessage) {
    fs::path run = fs::path(std::getenv("VORLANE_BINARY_DIR")) / "run";
    if (!fs::exists(run / "data" / "master.dix"))
        GTEST_SKIP() << "no run folder built";
    struct Case {
        const char* location_file;
        const char* message;
    } cases[] = {
        {"loc0002", "Critical Error: Cannot load the archive location \"missions\"."},
        {"loc0005", "Critical Error: Cannot load the presentation."},
    };
    for (const Case& c : cases) {
        fs::path dir = TempDir(std::string("broken_") + c.location_file);
        fs::copy(run, dir, fs::copy_options::recursive);
        fs::remove(dir / "data" / (std::string(c.location_file) + ".dix"));
        fs::remove(dir / "data" / (std::string(c.location_file) + ".bcf"));
        RunResult result = RunFrontEnd(
            dir, "",
            "XDG_RUNTIME_DIR='" + dir.string() + "' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy");
        EXPECT_EQ(result.status, 255) << c.location_file << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        fs::remove_all(dir);
    }
}

// No display and no lobby client each end the start with a message naming them.
TEST(Process, NoDisplayAndNoLobbyClientFailTheStartWithAMessage) {
    fs::path run = fs::path(std::getenv("VORLANE_BINARY_DIR")) / "run";
    if (!fs::exists(run / "data" / "master.dix"))
        GTEST_SKIP() << "no run folder built";
    struct Case {
        const char* name;
        const char* environment;
        const char* removed;
        const char* message;
    } cases[] = {
        {"display", "SDL_VIDEODRIVER=x11 DISPLAY= WAYLAND_DISPLAY=", nullptr,
         "Critical Error: Cannot open a window: no display"},
        {"lobby", "SDL_VIDEODRIVER=dummy", "lobbynet.ini", "Critical Error: init lobbynet failed."},
    };
    for (const Case& c : cases) {
        fs::path dir = TempDir(std::string("no_") + c.name);
        fs::copy(run, dir, fs::copy_options::recursive);
        if (c.removed)
            fs::remove(dir / "data" / c.removed);
        RunResult result = RunFrontEnd(
            dir, "",
            "XDG_RUNTIME_DIR='" + dir.string() + "' SDL_AUDIODRIVER=dummy " + c.environment);
        EXPECT_EQ(result.status, 255) << c.name << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        fs::remove_all(dir);
    }
}

// A subsystem asked for before what it needs fails with its own message.
TEST(GlobalControl, SubsystemsStartedTooEarlyFailWithTheirMessages) {
    vorlane::testing::LogCapture log;
    GLOBAL_CONTROL_BASE control;
    EXPECT_EQ(control.InitTextLib("text.global"), -1);
    EXPECT_TRUE(log.Has("GLOBAL_CONTROL_BASE::InitTextLib: rama & lua must be init first"));
    ASSERT_EQ(control.InitLUA(), 0);
    EXPECT_EQ(control.InitMenuManager(), -1);
    EXPECT_TRUE(
        log.Has("GLOBAL_CONTROL_BASE::InitMenuManager: menu manager needs lua and textlib."));
    EXPECT_EQ(control.menus(), nullptr);
}
