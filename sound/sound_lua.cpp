#include "sound/sound_lua.h"

#include <algorithm>
#include <lua.hpp>
#include <map>

#include "resources/rama_ctrl.h"
#include "resources/rama_res.h"
#include "scripting/lua_args.h"
#include "sound/sndapi.h"

namespace vorlane::sound {

namespace {

SNDAPI* g_api = nullptr;
resources::RAMA_CTRL* g_rama = nullptr;
// Sounds loaded here from resources that kept their bytes (no media hook).
std::map<std::string, int> g_loaded;

int SoundIdFor(const char* name) {
    if (g_api == nullptr || g_rama == nullptr || name == nullptr)
        return -1;
    resources::RAMA_RES* res = g_rama->GetResource(name);
    if (res == nullptr || res->type != resources::kRamaTypeSound)
        return -1;
    if (res->sound_id >= 0)
        return res->sound_id;
    auto found = g_loaded.find(name);
    if (found != g_loaded.end())
        return found->second;
    if (!res->data || res->size == 0)
        return -1;
    int id = g_api->LoadSoundFromMem(res->data.get(), res->size, 0);
    if (id >= 0)
        g_loaded[name] = id;
    return id;
}

// A number that stands for no integer (NaN, out of range) makes the call do
// nothing, as any other argument of the wrong type does.
int LuaPlay(lua_State* lua) {
    const char* name = scripting::ArgString(lua, 1);
    if (name == nullptr)
        return 0;
    int32_t volume = 100;
    if (scripting::IsNumberArg(lua, 2) && !scripting::ArgInt(lua, 2, &volume))
        return 0;
    bool loop = lua_toboolean(lua, 3);
    int voice = SOUND_PlayResource(name, volume, loop);
    if (voice < 0)
        return 0;
    lua_pushinteger(lua, voice);
    return 1;
}

int LuaStop(lua_State* lua) {
    int32_t voice = 0;
    if (scripting::ArgInt(lua, 1, &voice))
        SOUND_StopVoice(voice);
    return 0;
}

int LuaFade(lua_State* lua) {
    int32_t voice = 0, target = 0, duration_ms = 0;
    if (g_api && scripting::ArgInt(lua, 1, &voice) && scripting::ArgInt(lua, 2, &target) &&
        scripting::ArgInt(lua, 3, &duration_ms))
        g_api->FadeVoice(voice, target, uint32_t(std::max(0, duration_ms)), lua_toboolean(lua, 4));
    return 0;
}

int LuaStopAll(lua_State*) {
    if (g_api)
        g_api->StopAll();
    return 0;
}

}  // namespace

void SOUND_SetContext(SNDAPI* api, resources::RAMA_CTRL* rama) {
    if (api == nullptr && g_api != nullptr) {
        for (const auto& [name, id] : g_loaded) g_api->RemoveSound(id);
    }
    g_loaded.clear();
    g_api = api;
    g_rama = rama;
}

int SOUND_PlayResource(const char* name, int volume, bool loop) {
    int sound = SoundIdFor(name);
    if (sound < 0)
        return -1;
    uint32_t flags = loop ? kVoiceLoop : kVoiceAutoRemove;
    return g_api->PlayVoice(sound, volume, 0, flags);
}

void SOUND_StopVoice(int voice) {
    if (g_api)
        g_api->RemoveVoice(voice);
}

void SOUND_RegisterLua(lua_State* lua) {
    if (lua == nullptr)
        return;
    lua_getglobal(lua, "vrlsound");
    if (!lua_istable(lua, -1)) {
        lua_pop(lua, 1);
        lua_newtable(lua);
        lua_pushvalue(lua, -1);
        lua_setglobal(lua, "vrlsound");
    }
    const struct {
        const char* name;
        lua_CFunction fn;
    } functions[] = {
        {"play", LuaPlay}, {"stop", LuaStop}, {"fade", LuaFade}, {"stopall", LuaStopAll}};
    for (const auto& f : functions) {
        lua_pushcfunction(lua, f.fn);
        lua_setfield(lua, -2, f.name);
    }
    lua_pop(lua, 1);
}

}  // namespace vorlane::sound
