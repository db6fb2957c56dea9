// The process-wide settings record and the other values of the process entry.
#pragma once

#include <cstdint>
#include <string>

namespace vorlane {

class ProgramFrame;

// Network start modes handed to the main map.
enum StartMode : uint16_t {
    kStartOnline = 1,
    kStartLan = 3,
    kStartDemo = 4,
    kStartContinue = 5,
};

// Screen mode and sound values from the settings script, start flags from the
// command line, and the per-frame mouse state. Zeroed at primary initialisation.
struct GlobalSettings {
    int32_t screen_width = 0;
    int32_t screen_height = 0;
    int32_t color_depth = 0;
    int32_t windowed_mode = 0;
    int32_t sound_onoff = 0;
    int32_t music_volume = 0;
    int32_t effects_volume = 0;
    int32_t voice_volume = 0;
    int32_t window_scale = 0;  // 0 = the largest whole factor that fits the screen
    int32_t lan_start = 0;
    int32_t continue_start = 0;
    int32_t demo_start = 0;
    int32_t info_mode = 0;
    int32_t show_logos = 0;
    uint16_t network_mode = 0;
    ProgramFrame* current_frame = nullptr;
    ProgramFrame* main_map = nullptr;
    int32_t left_held = 0;
    int32_t right_held = 0;
    int32_t left_pressed = 0;
    int32_t left_released = 0;
    int32_t right_pressed = 0;
    int32_t right_released = 0;
    uint16_t mouse_x = 0;
    uint16_t mouse_y = 0;
    void* text_lines = nullptr;     // owned by the main map
    void* front_end_aux = nullptr;  // owned by the main map
    void* missions = nullptr;       // owned by the main map
};

// Null before primary initialisation and after shutdown.
extern GlobalSettings* g_settings;

// 1 while start-up or shutdown is in progress; the window procedure then ignores
// activation, paint and mouse messages.
extern uint32_t g_starting_or_stopping;

// The start-up failure shown in the critical-error box (empty = none).
extern std::string g_critical_error;

// The game executable and its single argument, filled when a game is launched.
inline constexpr size_t kGameStartFieldSize = 128;
extern std::string g_game_start_path;
extern std::string g_game_start_argument;

inline constexpr const char* kAppName = "VORLANE LOBBY";
inline constexpr const char* kAppVersion = "1.03";
inline constexpr const char* kAppDate = "12-NOV-2003";
inline constexpr int kAppBuild = 8;
inline constexpr const char* kEditions[] = {"Release", "Development", "Exhibition", "Demo"};
inline constexpr uint16_t kNetDriverVersion = 26;
inline constexpr uint16_t kNetKernelVersion = 20;
inline constexpr uint16_t kNetApiVersion = 10;

// "Release Version: 1.03 12-NOV-2003 (build: 8,drv 26,krnl 20,api 10)"
std::string MAIN_VersionText();

// "VORLANE LOBBY v1.03 -- Critical Error"
std::string MAIN_CriticalErrorTitle();

// Sets the critical-error text (kept for the box at the end) and logs it.
void MAIN_SetCriticalError(const std::string& text);

// Stores the game start path and argument, cut to their 127-character fields.
void MAIN_SetGameStart(const std::string& path, const std::string& argument);

}  // namespace vorlane
