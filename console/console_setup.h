// The front end's console set-up: the toggle key and the program's own
// commands and variables. The main loop calls CONSOLE_HandleToggle for every
// input record before offering it to the console and the GUI.
#pragma once

#include <cstdint>
#include <functional>

struct IOEVE;

namespace vorlane::console {

class CONSOLE;

struct ConsoleHooks {
    uint32_t* fps = nullptr;                           // frames per second of the graphics system
    uint8_t* gui_trace = nullptr;                      // the GUI trace switch
    std::function<void(const char* name)> screenshot;  // saves the current frame
    std::function<void(const char* code)> lua;         // runs Lua code
};

// Registers "fps", "gui_trace", "screenshot" and "lua" for the hooks that are
// set. False when one of them could not be registered.
bool CONSOLE_RegisterDefaults(CONSOLE& console, const ConsoleHooks& hooks);
// F12 or the key left of "1" opens and closes the console: true when the record
// was that key (down or up) and so must not go further.
bool CONSOLE_HandleToggle(CONSOLE& console, const IOEVE& record);

}  // namespace vorlane::console
