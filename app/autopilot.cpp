// [SECTION] State and helpers
// [SECTION] Input records
// [SECTION] Lua functions
// [SECTION] Running
#include "app/autopilot.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <lua.hpp>
#include <sstream>

#include "baselib/ioeve.h"
#include "baselib/timer.h"
#include "gui/gui_control.h"
#include "gui/gui_widgets.h"
#include "scripting/lua_args.h"
#include "scripting/lua_glue.h"

namespace vorlane {

// [SECTION] State and helpers

namespace {

struct Autopilot {
    LuaStatePtr lua;
    lua_State* thread = nullptr;  // the script's coroutine (kept alive by the registry)
    int thread_ref = LUA_NOREF;
    AutopilotHost host;
    // What the script waits for before it is resumed again.
    int wait_frames = 0;
    uint32_t wait_until_ms = 0;
    bool sleeping = false;
    // After a click: the sleep that starts once the click has been handled.
    uint32_t settle_ms = 0;
    // While the script keeps the window inactive: the steady-clock time at
    // which it becomes active again (the application clock stands still).
    bool in_background = false;
    uint32_t background_until_ms = 0;
    // Iterations and the largest gap between two of them since the script
    // last asked (autopilot.frames), counted whether or not it is resumed.
    std::chrono::steady_clock::time_point last_step{};
    int frames = 0;
    double max_gap_ms = 0;
};

Autopilot* g_pilot = nullptr;
int g_exit_code = -1;  // survives the script's end
std::function<void(int, const std::string&)> g_exit_handler;

// Sleeps and time-outs follow the application clock, so they count the frames'
// time and stand still with them while the window is inactive.
uint32_t Now() {
    return baselib::AppClock().NowMs();
}

[[noreturn]] void ExitProcess(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(status);
}

void Exit(int status, const std::string& message) {
    if (g_exit_handler) {
        g_exit_handler(status, message);
        return;
    }
    ExitProcess(status, message);
}

GUI_OBJECT* Find(const char* name) {
    return g_pilot && g_pilot->host.find_object && name ? g_pilot->host.find_object(name) : nullptr;
}

// [SECTION] Input records

void Post(uint32_t class_flags, uint32_t message, uint32_t buttons, int x, int y,
          uint16_t character = 0, uint32_t value = 0) {
    if (!g_pilot || !g_pilot->host.input_queue)
        return;
    IOEVE* event = IOEVE_Create(class_flags, 0);
    if (!event)
        return;
    event->message = message;
    event->button_flags = buttons;
    event->x = uint16_t(x < 0 ? 0 : x);
    event->y = uint16_t(y < 0 ? 0 : y);
    event->character = character;
    event->value = value;
    IOEVE_Post(g_pilot->host.input_queue, event);
}

void ClickAt(int x, int y, bool right) {
    Post(kEveMouseMove, WM_MOUSEMOVE, 0, x, y);
    uint32_t side = right ? kButtonRight : kButtonLeft;
    Post(kEveMouseInput, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, side | kButtonPressed, x, y);
    Post(kEveMouseInput, right ? WM_RBUTTONUP : WM_LBUTTONUP, side | kButtonReleased, x, y);
}

// A player clicks a playing intro away before reaching the menus behind it;
// the scripts' clicks do the same, so scripts need not know about the intro.
void ClickIntroAway(int x, int y) {
    if (g_pilot && g_pilot->host.intro_playing && g_pilot->host.intro_playing())
        ClickAt(x, y, false);
}

bool Centre(GUI_OBJECT* object, int* x, int* y) {
    if (!object)
        return false;
    int ax = 0, ay = 0;
    object->ComputeAbsolute(ax, ay);
    *x = ax + object->w() / 2;
    *y = ay + object->h() / 2;
    return true;
}

bool Shown(GUI_OBJECT* object) {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    GUI_OBJECT* top = control ? control->top() : nullptr;
    for (GUI_OBJECT* o = object; o; o = o->parent()) {
        if (!o->IsVisible())
            return false;
        if (o == top)
            return true;
    }
    return false;  // not hanging on the GUI's top
}

GUI_LIST* ListOf(GUI_OBJECT* object) {
    if (!object)
        return nullptr;
    if (object->type() == GUI_TYPE_LIST)
        return static_cast<GUI_LIST*>(object);
    if (object->type() == GUI_TYPE_COMBOBOX)
        return static_cast<GUI_COMBOBOX*>(object)->list();
    return nullptr;
}

// [SECTION] Lua functions

int Yield(lua_State* lua) {
    return lua_yield(lua, 0);
}

int L_wait(lua_State* lua) {
    g_pilot->wait_frames = scripting::CheckOptInt(lua, 1, 1);
    return Yield(lua);
}

int L_sleep(lua_State* lua) {
    // A negative time sleeps not at all (instead of wrapping to weeks).
    g_pilot->wait_until_ms = Now() + uint32_t(std::max(0, scripting::CheckInt(lua, 1)));
    g_pilot->sleeping = true;
    return Yield(lua);
}

int L_background(lua_State* lua) {
    const uint32_t ms = uint32_t(std::max(0, scripting::CheckInt(lua, 1)));
    if (!g_pilot->host.set_inactive)
        return 0;
    g_pilot->in_background = true;
    g_pilot->background_until_ms = baselib::SteadyClock().NowMs() + ms;
    g_pilot->host.set_inactive(true);
    return Yield(lua);
}

int WaitUntilContinue(lua_State* lua, int status, lua_KContext context);

// wait_until(fn, timeout): calls fn once per iteration until it is true.
int L_wait_until(lua_State* lua) {
    luaL_checktype(lua, 1, LUA_TFUNCTION);
    lua_Integer timeout = scripting::CheckOptInt(lua, 2, 10000);
    lua_settop(lua, 1);
    lua_pushinteger(lua, lua_Integer(Now()) + timeout);
    return WaitUntilContinue(lua, LUA_OK, 0);
}

int WaitUntilContinue(lua_State* lua, int /*status*/, lua_KContext /*context*/) {
    lua_pushvalue(lua, 1);
    lua_call(lua, 0, 1);
    bool done = lua_toboolean(lua, -1);
    lua_pop(lua, 1);
    if (done) {
        lua_pushboolean(lua, 1);
        return 1;
    }
    if (int64_t(Now()) >= int64_t(lua_tointeger(lua, 2))) {
        lua_pushboolean(lua, 0);
        return 1;
    }
    g_pilot->wait_frames = 1;
    return lua_yieldk(lua, 0, 0, WaitUntilContinue);
}

// After a click the script waits out the GUI's double-click interval, so
// that two clicks in a row are never taken for a double click. The GUI times
// a press when it handles it, one main-loop iteration after it was posted, so
// the interval is counted from the next step: a slow frame in between cannot
// bring two clicks closer together.
int YieldPastDoubleClick(lua_State* lua) {
    g_pilot->settle_ms = GUI_CONTROL::kDclickInterval + 50;
    return Yield(lua);
}

int L_click(lua_State* lua) {
    const char* name = luaL_checkstring(lua, 1);
    const char* button = luaL_optstring(lua, 2, "left");
    // settle = false: back after one iteration, for a script that times what
    // the click sets off (it must not click again within the interval).
    const bool settle = lua_isnoneornil(lua, 3) || lua_toboolean(lua, 3);
    int x = 0, y = 0;
    if (!Centre(Find(name), &x, &y))
        return luaL_error(lua, "autopilot.click: no object '%s'", name);
    ClickIntroAway(x, y);
    ClickAt(x, y, std::string(button) == "right");
    return settle ? YieldPastDoubleClick(lua) : Yield(lua);
}

int L_double_click(lua_State* lua) {
    const char* name = luaL_checkstring(lua, 1);
    int x = 0, y = 0;
    if (!Centre(Find(name), &x, &y))
        return luaL_error(lua, "autopilot.double_click: no object '%s'", name);
    ClickIntroAway(x, y);
    ClickAt(x, y, false);
    ClickAt(x, y, false);
    return YieldPastDoubleClick(lua);
}

int L_type(lua_State* lua) {
    size_t length = 0;
    const char* text = luaL_checklstring(lua, 1, &length);
    for (size_t i = 0; i < length; ++i)
        Post(kEveChar, WM_CHAR, 0, 0, 0, uint16_t(uint8_t(text[i])));
    return 0;
}

int L_key(lua_State* lua) {
    uint32_t code = uint32_t(scripting::CheckInt(lua, 1));
    Post(kEveKeyDown, WM_KEYDOWN, 0, 0, 0, 0, code);
    Post(kEveKeyUp, WM_KEYUP, 0, 0, 0, 0, code);
    return 0;
}

int L_text(lua_State* lua) {
    GUI_OBJECT* object = Find(luaL_checkstring(lua, 1));
    const char* text = object ? object->GetText() : nullptr;
    if (object && !text && object->type() == GUI_TYPE_INPUTBOX)
        text = "";
    if (text)
        lua_pushstring(lua, text);
    else
        lua_pushnil(lua);
    return 1;
}

int L_visible(lua_State* lua) {
    lua_pushboolean(lua, Shown(Find(luaL_checkstring(lua, 1))));
    return 1;
}

int L_enabled(lua_State* lua) {
    GUI_OBJECT* object = Find(luaL_checkstring(lua, 1));
    bool enabled = object != nullptr;
    for (GUI_OBJECT* o = object; o && enabled; o = o->parent())
        enabled = !o->TestFlags(GUI_FLAG_DISABLED);
    lua_pushboolean(lua, enabled);
    return 1;
}

int L_items(lua_State* lua) {
    GUI_LIST* list = ListOf(Find(luaL_checkstring(lua, 1)));
    lua_newtable(lua);
    for (int i = 0; list && i < list->ItemCount(); ++i) {
        const char* text = list->GetItemText(i);
        lua_pushstring(lua, text ? text : "");
        lua_rawseti(lua, -2, i + 1);
    }
    return 1;
}

int L_count(lua_State* lua) {
    GUI_LIST* list = ListOf(Find(luaL_checkstring(lua, 1)));
    lua_pushinteger(lua, list ? list->ItemCount() : 0);
    return 1;
}

// item(name, index): one item's text without copying the whole list, so a
// script can watch the end of a long list every frame.
int L_item(lua_State* lua) {
    GUI_LIST* list = ListOf(Find(luaL_checkstring(lua, 1)));
    const int count = list ? list->ItemCount() : 0;
    int index = scripting::CheckInt(lua, 2);
    if (index < 0)
        index += count;
    const char* text = index >= 0 && index < count ? list->GetItemText(index) : nullptr;
    if (text)
        lua_pushstring(lua, text);
    else
        lua_pushnil(lua);
    return 1;
}

// True while the intro sequence plays (a click would skip it).
int L_intro(lua_State* lua) {
    lua_pushboolean(lua, g_pilot->host.intro_playing && g_pilot->host.intro_playing());
    return 1;
}

int L_frames(lua_State* lua) {
    lua_pushinteger(lua, g_pilot->frames);
    lua_pushnumber(lua, g_pilot->max_gap_ms);
    g_pilot->frames = 0;
    g_pilot->max_gap_ms = 0;
    return 2;
}

// The machine's monotonic clock in milliseconds, which other processes read
// too (a benchmark stamps lines with it), unlike the application clock.
int L_clock(lua_State* lua) {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    lua_pushnumber(lua, std::chrono::duration<double, std::milli>(since).count());
    return 1;
}

int L_selected(lua_State* lua) {
    GUI_LIST* list = ListOf(Find(luaL_checkstring(lua, 1)));
    if (list && list->selection() >= 0)
        lua_pushinteger(lua, list->selection());
    else
        lua_pushnil(lua);
    return 1;
}

int L_select(lua_State* lua) {
    const char* name = luaL_checkstring(lua, 1);
    int index = scripting::CheckInt(lua, 2);
    GUI_LIST* list = ListOf(Find(name));
    if (!list || index < 0 || index >= list->ItemCount())
        return luaL_error(lua, "autopilot.select: no item %d in '%s'", index, name);
    // Bring the row into view, then click its middle.
    list->ScrollTo(index);
    int ax = 0, ay = 0;
    list->ComputeAbsolute(ax, ay);
    int row = index - list->FirstVisible();
    int line = list->LineHeight() > 0 ? list->LineHeight() : 12;
    int x = ax + 8, y = ay + 2 + row * line + line / 2;
    ClickIntroAway(x, y);
    ClickAt(x, y, false);
    return YieldPastDoubleClick(lua);
}

int L_screenshot(lua_State* lua) {
    const char* path = luaL_checkstring(lua, 1);
    bool ok = g_pilot->host.screenshot && g_pilot->host.screenshot(path);
    lua_pushboolean(lua, ok);
    return 1;
}

int L_print(lua_State* lua) {
    // The line is put together on the Lua stack: a `__tostring` that raises
    // must not jump over a C++ string.
    int n = lua_gettop(lua);
    lua_pushliteral(lua, "");
    for (int i = 1; i <= n; ++i) {
        if (i > 1)
            lua_pushliteral(lua, "\t");
        LUA_PushText(lua, i);
        lua_concat(lua, i > 1 ? 3 : 2);
    }
    std::printf("%s\n", lua_tostring(lua, -1));
    std::fflush(stdout);
    return 0;
}

int L_assert(lua_State* lua) {
    if (lua_toboolean(lua, 1))
        return 0;
    std::string message = luaL_optstring(lua, 2, "assertion failed");
    Exit(3, "autopilot.assert: " + message);
    return 0;
}

int L_close_window(lua_State* lua) {
    g_exit_code = scripting::CheckOptInt(lua, 1, 0);
    if (g_pilot->host.close_window)
        g_pilot->host.close_window();
    return Yield(lua);
}

int L_quit(lua_State* lua) {
    g_exit_code = scripting::CheckOptInt(lua, 1, 0);
    if (g_pilot->host.quit)
        g_pilot->host.quit();
    return Yield(lua);
}

const luaL_Reg kFunctions[] = {
    {"wait", L_wait},
    {"sleep", L_sleep},
    {"background", L_background},
    {"wait_until", L_wait_until},
    {"click", L_click},
    {"double_click", L_double_click},
    {"type", L_type},
    {"key", L_key},
    {"text", L_text},
    {"visible", L_visible},
    {"enabled", L_enabled},
    {"items", L_items},
    {"count", L_count},
    {"item", L_item},
    {"clock", L_clock},
    {"frames", L_frames},
    {"intro", L_intro},
    {"selected", L_selected},
    {"select", L_select},
    {"screenshot", L_screenshot},
    {"print", L_print},
    {"assert", L_assert},
    {"close_window", L_close_window},
    {"quit", L_quit},
    {nullptr, nullptr},
};

}  // namespace

// [SECTION] Running

bool AUTOPILOT_StartText(const std::string& text, const std::string& chunk_name,
                         AutopilotHost host) {
    AUTOPILOT_Stop();
    auto pilot = std::make_unique<Autopilot>();
    pilot->lua.reset(LUA_CreateState());
    if (!pilot->lua)
        return false;
    lua_State* lua = pilot->lua.get();
    luaL_newlib(lua, kFunctions);
    lua_setglobal(lua, "autopilot");
    pilot->thread = lua_newthread(lua);
    pilot->thread_ref = luaL_ref(lua, LUA_REGISTRYINDEX);
    if (luaL_loadbuffer(pilot->thread, text.data(), text.size(), chunk_name.c_str()) != LUA_OK) {
        std::fprintf(stderr, "autopilot: %s\n", lua_tostring(pilot->thread, -1));
        return false;
    }
    pilot->host = std::move(host);
    g_pilot = pilot.release();
    return true;
}

bool AUTOPILOT_Start(const std::string& path, AutopilotHost host) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "autopilot: cannot read '%s'\n", path.c_str());
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return AUTOPILOT_StartText(text.str(), "@" + path, std::move(host));
}

void AUTOPILOT_Step() {
    Autopilot* pilot = g_pilot;
    if (!pilot || !pilot->thread)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (pilot->last_step != std::chrono::steady_clock::time_point{}) {
        pilot->max_gap_ms =
            std::max(pilot->max_gap_ms,
                     std::chrono::duration<double, std::milli>(now - pilot->last_step).count());
    }
    pilot->last_step = now;
    ++pilot->frames;
    if (pilot->in_background)
        return;
    if (pilot->wait_frames > 1) {
        --pilot->wait_frames;
        return;
    }
    if (pilot->settle_ms > 0) {
        pilot->wait_until_ms = Now() + pilot->settle_ms;
        pilot->sleeping = true;
        pilot->settle_ms = 0;
        return;
    }
    if (pilot->sleeping && int32_t(Now() - pilot->wait_until_ms) < 0)
        return;
    pilot->sleeping = false;
    pilot->wait_frames = 0;
    int results = 0;
    int status = lua_resume(pilot->thread, nullptr, 0, &results);
    if (status == LUA_YIELD) {
        lua_pop(pilot->thread, results);
        return;
    }
    if (status != LUA_OK) {
        std::string message = lua_tostring(pilot->thread, -1) ? lua_tostring(pilot->thread, -1)
                                                              : "error in autopilot script";
        pilot->thread = nullptr;
        Exit(4, message);
        return;
    }
    pilot->thread = nullptr;  // the script returned: the program goes on normally
}

uint32_t AUTOPILOT_MsUntilStep() {
    const Autopilot* pilot = g_pilot;
    if (!pilot || !pilot->thread || pilot->in_background)
        return kAutopilotNoStep;
    // Frame counts and waits for a condition look at every iteration.
    if (pilot->wait_frames > 0 || pilot->settle_ms > 0 || !pilot->sleeping)
        return 0;
    const int32_t left = int32_t(pilot->wait_until_ms - Now());
    return left > 0 ? uint32_t(left) : 0;
}

void AUTOPILOT_Service() {
    Autopilot* pilot = g_pilot;
    if (!pilot || !pilot->in_background ||
        int32_t(baselib::SteadyClock().NowMs() - pilot->background_until_ms) < 0) {
        return;
    }
    pilot->in_background = false;
    pilot->host.set_inactive(false);
}

void AUTOPILOT_Stop() {
    delete g_pilot;
    g_pilot = nullptr;
}

bool AUTOPILOT_Running() {
    return g_pilot && g_pilot->thread;
}

int AUTOPILOT_ExitCode() {
    return g_exit_code;
}

void AUTOPILOT_SetExitHandler(std::function<void(int, const std::string&)> handler) {
    g_exit_handler = std::move(handler);
}

}  // namespace vorlane
