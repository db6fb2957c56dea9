// Loads arbitrary bytes as a text resource and looks names up in it.
//
// The first byte chooses the form: odd = the rest is a whole image as stored
// in the archive; even = the rest is split at 0xFF bytes into objects that are
// packed into a valid image, so the names chunk (object 0) gets exercised.
// The Lua state has no io or os library and a memory cap, since the chunk is
// arbitrary code.
#include <cstdint>
#include <cstdlib>
#include <lua.hpp>
#include <vector>

#include "baselib/logsys.h"
#include "resources/bcf_library.h"
#include "resources/textlib.h"

namespace {

constexpr size_t kMemoryCap = 64u << 20;

struct Budget {
    size_t used = 0;
};

void* CappedAlloc(void* ud, void* block, size_t old_size, size_t new_size) {
    auto* budget = static_cast<Budget*>(ud);
    if (!block)
        old_size = 0;
    if (new_size == 0) {
        budget->used -= old_size;
        std::free(block);
        return nullptr;
    }
    if (new_size > old_size && budget->used + (new_size - old_size) > kMemoryCap)
        return nullptr;
    void* grown = std::realloc(block, new_size);
    if (grown)
        budget->used = budget->used - old_size + new_size;
    return grown;
}

lua_State* SafeState(Budget* budget) {
    lua_State* lua = lua_newstate(CappedAlloc, budget);
    if (!lua)
        return nullptr;
    luaL_requiref(lua, LUA_GNAME, luaopen_base, 1);
    luaL_requiref(lua, LUA_STRLIBNAME, luaopen_string, 1);
    luaL_requiref(lua, LUA_TABLIBNAME, luaopen_table, 1);
    luaL_requiref(lua, LUA_MATHLIBNAME, luaopen_math, 1);
    lua_settop(lua, 0);
    for (const char* name : {"dofile", "loadfile", "print", "collectgarbage", "load"}) {
        lua_pushnil(lua);
        lua_setglobal(lua, name);
    }
    return lua;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        LOGSYS_MuteAll();
        return true;
    }();
    (void)quiet;
    if (size < 1)
        return 0;

    std::vector<uint8_t> image;
    if (data[0] & 1) {
        image.assign(data + 1, data + size);
    } else {
        std::vector<vorlane::resources::BcfObjectSource> objects(1);
        const uint8_t* start = data + 1;
        for (const uint8_t* at = start; at <= data + size; ++at) {
            if (at == data + size || *at == 0xFF) {
                objects.back().bytes = {start, size_t(at - start)};
                if (at != data + size)
                    objects.emplace_back();
                start = at + 1;
            }
        }
        vorlane::resources::BuildBcfImage(objects, image);
    }

    Budget budget;
    lua_State* lua = SafeState(&budget);
    if (!lua)
        return 0;
    {
        vorlane::resources::TEXTLIB texts;
        texts.Init(lua);
        if (texts.AddTextData(image.data(), image.size())) {
            for (const char* name : {"A", "B", "HELLO", "x", "", "application_text_ids"})
                texts.GetText(name);
            if (auto* library = texts.GetLibrary(1)) {
                for (uint32_t n = 0; n < 8; ++n) library->GetText(n);
            }
        }
    }
    lua_close(lua);
    return 0;
}
