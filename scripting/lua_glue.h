// The program's one Lua interpreter and the thin glue around it: creating the
// state with its libraries and the "_ALERT" error hook, running scripts from the
// resource archive or from disk, typed table field readers with defaults, and
// type tags kept in the metatable of a userdata.
//
// Lua 5.4 runs the scripts. It prints integral floats the way the scripts were
// written for (3, not 3.0) through the `tostring` and `print` it installs here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <lua.hpp>
#include <memory>
#include <string>

namespace vorlane::resources {
class RAMA_CTRL;
class RAMA_RES;
}  // namespace vorlane::resources
class mstring;

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------

// Creates a state with base (and coroutine), table, io, os, string and math
// opened (never debug or package) and "_ALERT" set to the program's error hook.
// Null when the runtime cannot create a state; the caller logs that.
lua_State* LUA_CreateState();
// Closes a state made by LUA_CreateState; null is harmless.
void LUA_CloseState(lua_State* lua);

struct LuaStateDeleter {
    void operator()(lua_State* lua) const { LUA_CloseState(lua); }
};
using LuaStatePtr = std::unique_ptr<lua_State, LuaStateDeleter>;

// What the script runners and the error hook use: the program's state, its
// archive and the console's print function. The global control sets it once
// its subsystems exist and clears it (LUA_ClearHost) before releasing them.
// Nothing here is owned.
struct LuaHost {
    lua_State* lua = nullptr;
    vorlane::resources::RAMA_CTRL* rama = nullptr;
    std::function<void(const char*)> console_print;  // may be empty
};
void LUA_SetHost(const LuaHost& host);
void LUA_ClearHost();
const LuaHost& LUA_GetHost();

// The native function installed as "_ALERT": logs "LUAERROR: <message>" at
// level 16 and shows the bare message on the console when there is one.
int LUA_Alert(lua_State* lua);

// ---------------------------------------------------------------------------
// Running chunks
// ---------------------------------------------------------------------------

// Runs the archive resource `name` as a chunk named `name` in the host state.
// 1 on success (the chunk's results are dropped), 0 on failure (logged).
int LUA_ExecuteRama(const char* name);
// Runs the file `path` the same way; the chunk is named `path`.
int LUA_ExecuteFile(const char* path);
// Runs `size` bytes as one chunk named `chunk_name` in `lua`, keeping the stack
// height. A load or run error goes to "_ALERT" first; the result is then 0.
int LUA_ExecuteBuffer(lua_State* lua, const void* data, size_t size, const char* chunk_name);
// The same for a zero-terminated text.
int LUA_ExecuteString(lua_State* lua, const char* text, const char* chunk_name);

// ---------------------------------------------------------------------------
// Table field readers
// ---------------------------------------------------------------------------
// Each reads table[key] raw from the table at stack index `index` (negative
// indexes allowed) and leaves the stack as it was.

// A number, or a string convertible to one, truncated toward zero and saturated
// to 32 bits (NaN reads 0: see lua_args.h); else `def`.
int32_t LUA_GetNumber(lua_State* lua, const char* key, int index, int32_t def);
// 1/0 for a boolean field; anything else (numbers and strings too) gives `def`.
int LUA_GetBool(lua_State* lua, const char* key, int index, int def);
// A string or number field (numbers as Lua 5.0 wrote them) copied to `out`;
// otherwise `def` (null counts as "") is copied. Returns 1 when the field was
// taken, 0 when the default was used. `out` may be null.
int LUA_GetString(lua_State* lua, const char* key, int index, std::string* out, const char* def);
// The same into the base library's string (cut to its maximum size).
int LUA_GetString(lua_State* lua, const char* key, int index, mstring* out, const char* def);
// The archive resource named by the field's text, or null when the field is
// not a non-empty string or no such resource exists.
vorlane::resources::RAMA_RES* LUA_GetResource(lua_State* lua,
                                              vorlane::resources::RAMA_CTRL* archive,
                                              const char* key, int index);

// Turns the value at `index` into text the way Lua 5.0 did: integral numbers
// without ".0". Returns false (and leaves `out`) for other types than number
// and string.
bool LUA_ToText(lua_State* lua, int index, std::string* out);
// Pushes the text of any value the way the program's `tostring` writes it
// (numbers as above, then `__tostring`, then the type name) and returns it.
// Raises the Lua error of a failing `__tostring`.
const char* LUA_PushText(lua_State* lua, int index);

// Pushes the global `name` / pops the top value into it, without metamethods:
// a script may have given the globals a metatable, whose errors must not be
// raised outside a protected call.
void LUA_RawGetGlobal(lua_State* lua, const char* name);
void LUA_RawSetGlobal(lua_State* lua, const char* name);

// ---------------------------------------------------------------------------
// Userdata tags
// ---------------------------------------------------------------------------

// Stores `tag` (0..4294967295) under "_Tag_ID_" in the metatable of the value
// at `index`. 0 and a warning when it has no metatable.
int LUA_SetUserDataTag(lua_State* lua, int index, uint32_t tag);
// The tag, or 0 when the value has no metatable (warning) or no numeric tag.
uint32_t LUA_GetUserDataTag(lua_State* lua, int index);
