// [SECTION] index
//   state       creating the state, Lua 5.0 number printing, the error hook
//   running     chunks from buffers, texts and files
//   readers     typed table fields with defaults
//   tags        userdata type tags
#include "scripting/lua_glue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "baselib/log_channel.h"
#include "baselib/mstring.h"
#include "scripting/lua_args.h"

using vorlane::Log;

namespace {

// A script file larger than this is not a script; refusing it keeps a stray
// path from making the loader allocate without bound.
constexpr long kMaxScriptFileSize = 64L * 1024 * 1024;
constexpr const char* kTagKey = "_Tag_ID_";

LuaHost& Host() {
    static LuaHost host;
    return host;
}

// ---------------------------------------------------------------------------
// [SECTION] state
// ---------------------------------------------------------------------------

// Lua 5.0 knew only floating-point numbers and wrote them with "%.14g", so
// 3.0 read "3". Scripts and the texts built from them expect that.
void PushNumberText(lua_State* lua, int index) {
    char text[64];
    if (lua_isinteger(lua, index)) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(lua_tointeger(lua, index)));
    } else {
        std::snprintf(text, sizeof text, "%.14g", static_cast<double>(lua_tonumber(lua, index)));
    }
    lua_pushstring(lua, text);
}

// Like luaL_tolstring, with numbers written as above. Pushes the text.
const char* PushValueText(lua_State* lua, int index) {
    if (lua_type(lua, index) == LUA_TNUMBER && !luaL_getmetafield(lua, index, "__tostring")) {
        PushNumberText(lua, index);
        return lua_tostring(lua, -1);
    }
    if (lua_type(lua, index) == LUA_TNUMBER)
        lua_pop(lua, 1);  // the metafield pushed above
    return luaL_tolstring(lua, index, nullptr);
}

int LuaToString(lua_State* lua) {
    luaL_checkany(lua, 1);
    PushValueText(lua, 1);
    return 1;
}

int LuaPrint(lua_State* lua) {
    int count = lua_gettop(lua);
    for (int i = 1; i <= count; ++i) {
        size_t length = 0;
        PushValueText(lua, i);
        const char* text = lua_tolstring(lua, -1, &length);
        if (i > 1)
            std::fputc('\t', stdout);
        std::fwrite(text, 1, length, stdout);
        lua_pop(lua, 1);
    }
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
}

void OpenLibrary(lua_State* lua, const char* name, lua_CFunction open) {
    luaL_requiref(lua, name, open, 1);
    lua_pop(lua, 1);
}

// The few Lua 5.0 names the scripts of this program may still use.
void AddCompatibilityNames(lua_State* lua) {
    static const char* const kAliases =
        "table.getn = function(t) return #t end\n"
        "math.mod = math.fmod\n"
        "string.gfind = string.gmatch\n"
        "unpack = table.unpack\n"
        "loadstring = load\n";
    if (luaL_loadbuffer(lua, kAliases, std::strlen(kAliases), "=compat") == LUA_OK) {
        lua_pcall(lua, 0, 0, 0);
    }
    lua_settop(lua, 0);
}

// Hands an error message to "_ALERT" the way the Lua 5.0 runners did.
void CallAlert(lua_State* lua) {
    LUA_RawGetGlobal(lua, "_ALERT");
    if (lua_isfunction(lua, -1)) {
        lua_insert(lua, -2);
        lua_pcall(lua, 1, 0, 0);
    } else {
        lua_pop(lua, 2);
    }
}

bool ReadWholeFile(const char* path, std::vector<char>* bytes) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    std::FILE* file = std::fopen(native.c_str(), "rb");
    if (!file)
        return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && size <= kMaxScriptFileSize && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        bytes->resize(static_cast<size_t>(size));
        ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    }
    std::fclose(file);
    return ok;
}

// Reads table[key] raw and pushes it; false (nothing pushed) when the value at
// `index` is not a table.
bool PushField(lua_State* lua, const char* key, int index) {
    if (!lua || !key || !lua_istable(lua, index))
        return false;
    index = lua_absindex(lua, index);
    lua_pushstring(lua, key);
    lua_rawget(lua, index);
    return true;
}

}  // namespace

lua_State* LUA_CreateState() {
    lua_State* lua = luaL_newstate();
    if (!lua)
        return nullptr;
    OpenLibrary(lua, LUA_GNAME, luaopen_base);
    OpenLibrary(lua, LUA_COLIBNAME, luaopen_coroutine);
    OpenLibrary(lua, LUA_TABLIBNAME, luaopen_table);
    OpenLibrary(lua, LUA_IOLIBNAME, luaopen_io);
    OpenLibrary(lua, LUA_OSLIBNAME, luaopen_os);
    OpenLibrary(lua, LUA_STRLIBNAME, luaopen_string);
    OpenLibrary(lua, LUA_MATHLIBNAME, luaopen_math);
    lua_register(lua, "tostring", LuaToString);
    lua_register(lua, "print", LuaPrint);
    AddCompatibilityNames(lua);
    lua_register(lua, "_ALERT", LUA_Alert);
    return lua;
}

void LUA_CloseState(lua_State* lua) {
    if (!lua)
        return;
    if (Host().lua == lua)
        LUA_ClearHost();
    lua_close(lua);
}

void LUA_SetHost(const LuaHost& host) {
    Host() = host;
}
void LUA_ClearHost() {
    Host() = LuaHost{};
}
const LuaHost& LUA_GetHost() {
    return Host();
}

int LUA_Alert(lua_State* lua) {
    const char* message = lua_tostring(lua, -1);
    if (!message)
        message = "(error object is not a string)";
    std::string text(message);  // the stack slot goes away below
    Log(kLogError, "LUAERROR: %s", text.c_str());
    if (Host().console_print)
        Host().console_print(text.c_str());
    if (lua_gettop(lua) > 0)
        lua_pop(lua, 1);
    return 0;
}

// ---------------------------------------------------------------------------
// [SECTION] running
// ---------------------------------------------------------------------------

int LUA_ExecuteBuffer(lua_State* lua, const void* data, size_t size, const char* chunk_name) {
    if (!lua || !data)
        return 0;
    int top = lua_gettop(lua);
    int status =
        luaL_loadbuffer(lua, static_cast<const char*>(data), size, chunk_name ? chunk_name : "?");
    if (status == LUA_OK)
        status = lua_pcall(lua, 0, LUA_MULTRET, 0);
    if (status != LUA_OK)
        CallAlert(lua);
    lua_settop(lua, top);
    return status == LUA_OK ? 1 : 0;
}

int LUA_ExecuteString(lua_State* lua, const char* text, const char* chunk_name) {
    if (!text)
        return 0;
    return LUA_ExecuteBuffer(lua, text, std::strlen(text), chunk_name ? chunk_name : text);
}

int LUA_ExecuteFile(const char* path) {
    if (!path)
        return 0;
    std::vector<char> bytes;
    if (!ReadWholeFile(path, &bytes)) {
        Log(kLogError, "%s::%s: script not found '%s'!", "", "LUA_ExecuteFile", path);
        return 0;
    }
    static const char kEmpty = 0;
    const char* data = bytes.empty() ? &kEmpty : bytes.data();
    if (!LUA_ExecuteBuffer(Host().lua, data, bytes.size(), path)) {
        Log(kLogError, "%s::%s: script execution error '%s'!", "", "LUA_ExecuteFile", path);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// [SECTION] readers
// ---------------------------------------------------------------------------

bool LUA_ToText(lua_State* lua, int index, std::string* out) {
    int type = lua_type(lua, index);
    if (type == LUA_TNUMBER) {
        PushNumberText(lua, index);
    } else if (type == LUA_TSTRING) {
        lua_pushvalue(lua, index);
    } else {
        return false;
    }
    size_t length = 0;
    const char* text = lua_tolstring(lua, -1, &length);
    if (out)
        out->assign(text, length);
    lua_pop(lua, 1);
    return true;
}

const char* LUA_PushText(lua_State* lua, int index) {
    return PushValueText(lua, lua_absindex(lua, index));
}

int32_t LUA_GetNumber(lua_State* lua, const char* key, int index, int32_t def) {
    if (!PushField(lua, key, index))
        return def;
    // A size or position out of range is refused by its setter; saturating
    // keeps it out of range instead of letting it wrap into a valid one.
    int32_t result = vorlane::scripting::ToInt32Saturated(lua, -1).value_or(def);
    lua_pop(lua, 1);
    return result;
}

int LUA_GetBool(lua_State* lua, const char* key, int index, int def) {
    if (!PushField(lua, key, index))
        return def;
    int result = lua_type(lua, -1) == LUA_TBOOLEAN ? (lua_toboolean(lua, -1) ? 1 : 0) : def;
    lua_pop(lua, 1);
    return result;
}

int LUA_GetString(lua_State* lua, const char* key, int index, std::string* out, const char* def) {
    if (PushField(lua, key, index)) {
        bool taken = LUA_ToText(lua, -1, out);
        lua_pop(lua, 1);
        if (taken)
            return 1;
    }
    if (out)
        out->assign(def ? def : "");
    return 0;
}

void LUA_RawGetGlobal(lua_State* lua, const char* name) {
    lua_rawgeti(lua, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(lua, name);
    lua_rawget(lua, -2);
    lua_remove(lua, -2);
}

void LUA_RawSetGlobal(lua_State* lua, const char* name) {
    lua_rawgeti(lua, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(lua, name);
    lua_pushvalue(lua, -3);
    lua_rawset(lua, -3);
    lua_pop(lua, 2);
}

int LUA_GetString(lua_State* lua, const char* key, int index, mstring* out, const char* def) {
    std::string text;
    int taken = LUA_GetString(lua, key, index, &text, def);
    if (out)
        out->Assign(text.c_str(), static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX)));
    return taken;
}

// ---------------------------------------------------------------------------
// [SECTION] tags
// ---------------------------------------------------------------------------

int LUA_SetUserDataTag(lua_State* lua, int index, uint32_t tag) {
    if (!lua || !lua_getmetatable(lua, index)) {
        Log(kLogWarning, "LUA_SetUserDataTag: no metatable");
        return 0;
    }
    lua_pushstring(lua, kTagKey);
    lua_pushinteger(lua, static_cast<lua_Integer>(tag));
    lua_settable(lua, -3);
    lua_pop(lua, 1);
    return 1;
}

uint32_t LUA_GetUserDataTag(lua_State* lua, int index) {
    if (!lua || !lua_getmetatable(lua, index)) {
        Log(kLogWarning, "LUA_GetUserDataTag: no metatable");
        return 0;
    }
    lua_pushstring(lua, kTagKey);
    lua_rawget(lua, -2);
    uint32_t tag = 0;
    if (lua_type(lua, -1) == LUA_TNUMBER) {
        if (lua_isinteger(lua, -1)) {
            tag = static_cast<uint32_t>(lua_tointeger(lua, -1));
        } else {
            double value = std::trunc(static_cast<double>(lua_tonumber(lua, -1)));
            if (std::isfinite(value))
                tag = static_cast<uint32_t>(static_cast<int64_t>(std::fmod(value, 4294967296.0)));
        }
    }
    lua_pop(lua, 2);
    return tag;
}
