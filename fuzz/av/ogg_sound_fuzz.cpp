// Gives arbitrary bytes to the sound API as an Ogg Vorbis sound and streams
// a looping voice of it through the mixer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "baselib/timer.h"
#include "sound/sndapi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vorlane::sound::SNDAPI* api = [] {
        auto* a = new vorlane::sound::SNDAPI(vorlane::sound::MakeNullSoundDevice());
        a->InitSound(true);
        a->StartKernel(-1, 16, 2, 44100);
        return a;
    }();
    int sound = api->LoadSoundFromMem(data, uint32_t(size), 0);
    if (sound >= 0) {
        int voice = api->PlayVoice(sound, 100, 0, (size & 1) ? vorlane::sound::kVoiceLoop : 0);
        std::vector<int16_t> out(2 * 4096);
        for (int i = 0; i < 12 && api->VoiceExists(voice); ++i) {
            api->Process(GetTickCount() + uint32_t(i) * 20);
            api->kernel()->Mix(out.data(), 4096);
        }
        api->RemoveSound(sound);
    }
    return 0;
}
