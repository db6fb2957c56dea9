#include "app/lua_globals.h"

#include <cstdio>
#include <lua.hpp>

#include "app/window.h"
#include "baselib/logsys.h"
#include "scripting/lua_args.h"
#include "scripting/lua_glue.h"
#include "shell/global_data.h"

namespace vorlane {

namespace {

ConsoleLineSink g_console_sink;

// The shell's own flags word for mode changes (8 = wait for the retrace).
constexpr uint32_t kGfxModeFlags = 10;

// print(...): each argument on its own line; strings and numbers as text,
// anything else as the name of its type.
int LuaPrint(lua_State* lua) {
    int count = lua_gettop(lua);
    for (int i = 1; i <= count; ++i) {
        std::string text;
        if (lua_type(lua, i) == LUA_TSTRING || lua_type(lua, i) == LUA_TNUMBER) {
            LUA_ToText(lua, i, &text);
        } else {
            text = luaL_typename(lua, i);
        }
        MAIN_ConsoleLine(text);
    }
    return 0;
}

// Changes the graphics mode to the stored size and depth; copies the size the
// graphics system really set back into the settings.
bool ApplyMode() {
    media::GFXSYS3D* gfx = MAIN_Gfx();
    if (!gfx || !g_settings)
        return false;
    GlobalSettings& s = *g_settings;
    if (gfx->SetMode(s.screen_width, s.screen_height, MAIN_BitModeForDepth(s.color_depth),
                     kGfxModeFlags, s.windowed_mode) != 1)
        return false;
    s.screen_width = gfx->width();
    s.screen_height = gfx->height();
    return true;
}

// resetgfx(width, height, depth): stores every number it gets; only with all
// three does it change the mode. A number that stands for no 32-bit integer
// (NaN, an infinity, out of range) is not stored and counts as missing.
int LuaResetGfx(lua_State* lua) {
    LOGSYS_Text(nullptr, kLogInfo, "RESETGFX.");
    int32_t* fields[] = {nullptr, nullptr, nullptr};
    if (g_settings) {
        fields[0] = &g_settings->screen_width;
        fields[1] = &g_settings->screen_height;
        fields[2] = &g_settings->color_depth;
    }
    bool all_numbers = true;
    for (int i = 0; i < 3; ++i) {
        int32_t value = 0;
        if (lua_type(lua, i + 1) == LUA_TNUMBER && scripting::ArgInt(lua, i + 1, &value)) {
            if (fields[i])
                *fields[i] = value;
        } else {
            all_numbers = false;
        }
    }
    if (!all_numbers || !ApplyMode())
        MAIN_ConsoleLine("Reset graphics failed!");
    return 0;
}

int LuaToggleWindow(lua_State*) {
    if (!g_settings)
        return 0;
    g_settings->windowed_mode = g_settings->windowed_mode ? 0 : 1;
    ApplyMode();
    return 0;
}

}  // namespace

void MAIN_SetConsoleSink(ConsoleLineSink sink) {
    g_console_sink = std::move(sink);
}

void MAIN_ConsoleLine(const std::string& line) {
    if (g_console_sink) {
        g_console_sink(line);
    } else {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void MAIN_RegisterLuaGlobals(lua_State* lua) {
    if (!lua)
        return;
    lua_register(lua, "print", LuaPrint);
    lua_register(lua, "resetgfx", LuaResetGfx);
    lua_register(lua, "togglewindow", LuaToggleWindow);
}

}  // namespace vorlane
