// Playing archive sounds by resource name, for the front end and its menu
// scripts. The menus reach it through the `vrlsound` table:
//   vrlsound.play(name [, volume [, loop]]) -> voice handle or nil
//   vrlsound.stop(handle)
//   vrlsound.fade(handle, target_volume, milliseconds [, stop_after])
//   vrlsound.stopall()
// Numbers are truncated toward zero; one that stands for no 32-bit integer
// (NaN, an infinity, out of range) makes the call do nothing.
#pragma once

#include <string>

struct lua_State;
namespace vorlane::resources {
class RAMA_CTRL;
}

namespace vorlane::sound {

class SNDAPI;

// Sets the sound system and archive the functions below use (not owned; null
// clears). Clearing removes the sounds this layer loaded itself.
void SOUND_SetContext(SNDAPI* api, resources::RAMA_CTRL* rama);
// Starts the sound resource `name`; the voice id or -1.
int SOUND_PlayResource(const char* name, int volume = 100, bool loop = false);
void SOUND_StopVoice(int voice);
// Registers the functions in the `vrlsound` table (creating it when missing).
void SOUND_RegisterLua(lua_State* lua);

}  // namespace vorlane::sound
