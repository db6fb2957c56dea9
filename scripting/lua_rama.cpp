// The parts of the Lua glue that reach into the resource archive.
#include <cstring>
#include <memory>

#include "baselib/log_channel.h"
#include "resources/rama_ctrl.h"
#include "scripting/lua_glue.h"

using vorlane::Log;
using vorlane::resources::RAMA_CTRL;
using vorlane::resources::RAMA_RES;

int LUA_ExecuteRama(const char* name) {
    if (!name)
        return 0;
    const LuaHost& host = LUA_GetHost();
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
    if (host.rama)
        bytes = host.rama->GetResource(name)->GetData(&size);
    if (!bytes) {
        Log(kLogError, "%s::%s: script not found '%s'!", "", "LUA_ExecuteRama", name);
        return 0;
    }
    // The chunk runs on its own copy: a script may unload the location that
    // holds its bytes.
    std::unique_ptr<char[]> block(new (std::nothrow) char[size > 0 ? size : 1]);
    if (!block) {
        Log(kLogError, "%s::%s: script not found '%s'!", "", "LUA_ExecuteRama", name);
        return 0;
    }
    if (size)
        std::memcpy(block.get(), bytes, size);
    if (!LUA_ExecuteBuffer(host.lua, block.get(), size, name)) {
        Log(kLogError, "%s::%s: script execution error '%s'!", "", "LUA_ExecuteRama", name);
        return 0;
    }
    return 1;
}

RAMA_RES* LUA_GetResource(lua_State* lua, RAMA_CTRL* archive, const char* key, int index) {
    std::string name;
    if (!archive || !LUA_GetString(lua, key, index, &name, "") || name.empty())
        return nullptr;
    RAMA_RES* resource = archive->GetResource(name.c_str());
    return resource != &archive->NullResource() ? resource : nullptr;
}
