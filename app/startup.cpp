// [SECTION] Option table and evaluation
// [SECTION] Data set and user folder
// [SECTION] Settings script
// [SECTION] Primary initialisation and shutdown
// [SECTION] Process entry
#include "app/startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/data_set.h"
#include "app/global_control.h"
#include "app/main_program.h"
#include "app/main_thread.h"
#include "app/message_box.h"
#include "app/options.h"
#include "app/single_instance.h"
#include "app/window.h"
#include "baselib/bl_memory.h"
#include "baselib/logsys.h"
#include "baselib/membuf.h"
#include "baselib/user_folder.h"
#include "gui/gui_palette.h"
#include "resources/filectrl.h"
#include "scripting/lua_glue.h"
#include "shell/global_data.h"
#include "shell/preferences.h"

namespace vorlane {

namespace {

// The program's file table lives as long as the file control that uses it.
resources::FILECTRL_ENTRY g_file_table[resources::kProgramFileCount];

// The working directory the program was started in, before it entered its
// data set.
std::string g_start_folder;

void LogInfo(const char* text) {
    LOGSYS_Text(nullptr, kLogInfo, text);
}
void LogError(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

void LogSink(const char* line) {
    LOGSYS_Text(nullptr, kLogInfo, line);
}

// The executable this process runs, for the program-directory fallback.
std::string ModulePath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    return std::string(path, size_t(length));
}

void ShowCriticalErrorBox() {
    if (!g_critical_error.empty())
        ShowMessageBox(MAIN_CriticalErrorTitle(), g_critical_error);
}

// Replaces the process by the game executable. Returns only when that fails.
void StartGameExecutable() {
    if (g_game_start_path.empty()) {
        LogError("MAIN: no game executable to start.");
        return;
    }
    std::string path = g_game_start_path;
    std::string argument = g_game_start_argument;
    char* argv[] = {path.data(), argument.data(), nullptr};
    std::fflush(nullptr);
    execv(path.c_str(), argv);
    std::perror(path.c_str());
}

// Makes the data set the working directory. Without one the start goes on
// where it is and fails there, naming the first file it misses.
void EnterDataSet() {
    std::error_code error;
    g_start_folder = std::filesystem::current_path(error).string();
    const std::vector<std::string> candidates = DataSetCandidates(
        std::getenv("VORLANE_DATA"), std::filesystem::path(ModulePath()).parent_path().string(),
        g_start_folder);
    const std::string data = FindDataSet(candidates);
    if (data.empty()) {
        std::string looked;
        for (const std::string& folder : candidates) looked += " " + folder;
        std::fprintf(stderr, "vorlane-lobby: no data set (data/master.dix) in%s\n", looked.c_str());
        return;
    }
    if (chdir(data.c_str()) != 0)
        std::perror(data.c_str());
}

}  // namespace

// [SECTION] Data set and user folder

std::string MAIN_FromStartFolder(const std::string& name) {
    return baselib::InFolder(g_start_folder, name);
}

// [SECTION] Settings script

int MAIN_ParseSettingsFile(const char* path) {
    baselib::MemoryBuffer block;
    if (block.LoadFile(path) != 0) {
        LogError("MAIN_ParseSettingsFile: Cannot load script file.");
        return 0;
    }
    lua_State* lua = g_control ? g_control->lua() : nullptr;
    if (!lua || !g_settings)
        return 0;
    // The chunk's own result does not matter: a script that fails half-way
    // still leaves whatever it assigned, and missing fields read as zero.
    LUA_ExecuteBuffer(lua, block.data(), block.size(), "settingscript");
    lua_settop(lua, 0);
    lua_getglobal(lua, "settings");
    GlobalSettings& s = *g_settings;
    s.screen_width = LUA_GetNumber(lua, "screen_width", -1, 0);
    s.screen_height = LUA_GetNumber(lua, "screen_height", -1, 0);
    s.color_depth = LUA_GetNumber(lua, "color_depth", -1, 0);
    s.windowed_mode = LUA_GetBool(lua, "windowed_mode", -1, 0);
    s.sound_onoff = LUA_GetBool(lua, "sound_onoff", -1, 0);
    s.music_volume = LUA_GetNumber(lua, "music_volume", -1, 0);
    s.effects_volume = LUA_GetNumber(lua, "effects_volume", -1, 0);
    s.voice_volume = LUA_GetNumber(lua, "voice_volume", -1, 0);
    s.window_scale = LUA_GetNumber(lua, "window_scale", -1, 0);
    if (!shell::ValidWindowScale(s.window_scale))
        s.window_scale = 0;
    lua_pop(lua, 1);
    return 1;
}

// [SECTION] Primary initialisation and shutdown

int MAIN_PrimaryInit() {
    if (BL_Init() != 0)
        return -1;

    g_settings = new GlobalSettings{};
    LogInfo("MAIN_PrimaryInit: Global data initialized.");

    g_control = new GLOBAL_CONTROL_BASE();
    if (!g_control->ready())
        return -1;

    // The log keeps the name's pointer.
    static const std::string log_name = baselib::UserFile("logs/lobby/logfile.txt");
    LOGSYS* log = LOGSYS_Create(kLogTruncate | kLogOpenPerLine, kLogToFile, log_name.c_str());
    if (!log) {
        BL_Exit();
        return -1;
    }
    g_control->program_log = log;
    LOGSYS_SetDefault(log);
    LOGSYS_Text(nullptr, kLogInfo, kAppName);

    if (g_control->InitReadeve() != 0)
        return -1;
    LOGSYS_Text(nullptr, kLogInfo, MAIN_VersionText().c_str());
    if (g_control->InitLUA() != 0)
        return -1;
    MAIN_ParseSettingsFile("data\\settings.cfg");
    // What the player chose in the program wins over the script's defaults.
    shell::Preferences preferences;
    preferences.window_scale = g_settings->window_scale;
    shell::ReadPreferences(shell::PreferencesPath(), &preferences);
    g_settings->window_scale = preferences.window_scale;
    gui::SetPaletteMode(preferences.ui_palette);

    resources::FILECTRL_FillProgramTable(g_file_table);
    if (g_control->InitFileCtrl("data\\filectrl.cfg", g_file_table, resources::kProgramFileCount) !=
        0)
        return -1;
    return 0;
}

int MAIN_Shutdown() {
    int result = 0;
    if (g_control)
        g_control->ReleaseAll();

    uint32_t stats[kMemStatWords] = {};
    BL_GetMemStatistics(stats);
    BL_DumpMem(LogSink);
    LOGSYS_Info("MEMORY RESULT: Highest memory: %ld, GetMem %lu <--> %lu FreeMem",
                long(stats[kMemStatHighest]), (unsigned long)stats[kMemStatGetMem],
                (unsigned long)stats[kMemStatFreeMem]);

    if (g_control && g_control->program_log) {
        if (LOGSYS_Destroy(g_control->program_log) != 0)
            result = -2;
        g_control->program_log = nullptr;
    }
    delete g_control;
    g_control = nullptr;
    delete g_settings;
    g_settings = nullptr;
    if (BL_Exit() != 0)
        result = -1;
    return result;
}

uint16_t MAIN_StartMode() {
    if (!g_settings)
        return kStartOnline;
    if (g_settings->lan_start)
        return kStartLan;
    if (g_settings->continue_start)
        return kStartContinue;
    if (g_settings->demo_start > 0)
        return kStartDemo;
    return kStartOnline;
}

// [SECTION] Process entry

int MAIN_Entry(int argc, char** argv) {
    SingleInstance instance(kAppName);
    if (instance.AlreadyRunning()) {
        ShowMessageBox(MAIN_CriticalErrorTitle(), std::string(kAppName) + " already running.");
        return -1;
    }
    g_critical_error.clear();
    g_starting_or_stopping = 1;

    // The system has split the words already; the splitter still caps their
    // number and finds the program directory.
    SplitCommandLine command_line = MAIN_SplitCommandLine(argc, argv, ModulePath());
    if (command_line.words.empty()) {
        LogError("parsing commandline failed.");
        return -1;
    }

    if (MAIN_ParseOptions(command_line.words) < 0) {
        LogInfo("MAIN: Parse commandline failed.");
        return -1;
    }
    // "?" and "help" answer at once: the option list is what the user asked
    // for, and it needs neither the window nor the data files.
    if (MAIN_HelpRequested()) {
        PrintOptions(MAIN_OptionTable(), kOptionCount);
        return 0;
    }
    LOGSYS_MuteAll();
    LOGSYS_DisableFiles();
    EnterDataSet();

    if (MAIN_PrimaryInit() != 0) {
        LogInfo("MAIN: primary init failed.");
        MAIN_Shutdown();
        return -1;
    }
    LogInfo("MAIN: Primary init done.");

    if (MAIN_InitWindow(kAppName, g_settings->windowed_mode) != 1) {
        LogInfo("MAIN: Windows init failed.");
        ShowCriticalErrorBox();
        MAIN_DestroyGfx();
        MAIN_Shutdown();
        return -1;
    }
    LogInfo("MAIN: Windows init done.");

    if (MAIN_SecondaryInit() != 0) {
        LogInfo("MAIN: Secondary init failed.");
        MAIN_DestroyGfx();
        ShowCriticalErrorBox();
        MAIN_StopMainThread();
        MAIN_Shutdown();
        return -1;
    }
    LogInfo("MAIN: Secondary init done.");

    MAIN_ReleaseMainThread();
    g_starting_or_stopping = 0;
    int result = MAIN_MainProgram();

    int32_t state = g_control->program_state;
    MAIN_StopMainThread();
    MAIN_DestroyGfx();
    g_control->DrainInputEvents();
    MAIN_Shutdown();
    ShowCriticalErrorBox();

    if (result != 0)
        return -1;
    if (state == kStateStartGame)
        StartGameExecutable();
    return 0;
}

}  // namespace vorlane
