// The Lua globals the shell adds for scripts and the console: print,
// resetgfx and togglewindow.
#pragma once

#include <functional>
#include <string>

struct lua_State;

namespace vorlane {

// Where the globals' lines go: the console once it exists (standard output
// until then, and in tests whatever the test installs).
using ConsoleLineSink = std::function<void(const std::string& line)>;
void MAIN_SetConsoleSink(ConsoleLineSink sink);
void MAIN_ConsoleLine(const std::string& line);

// Registers print, resetgfx and togglewindow in `lua`.
void MAIN_RegisterLuaGlobals(lua_State* lua);

}  // namespace vorlane
