// The output devices of the sound kernel: SDL2 audio, and a null device.
#include <SDL.h>

#include "sound/sound_kernel.h"

namespace vorlane::sound {

namespace {

class SdlSoundDevice : public SoundDevice {
  public:
    ~SdlSoundDevice() override { Close(); }

    std::vector<std::string> Enumerate() override {
        std::vector<std::string> names;
        if (!EnsureSubsystem())
            return names;
        int count = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < count; ++i) {
            const char* name = SDL_GetAudioDeviceName(i, 0);
            names.emplace_back(name ? name : "");
        }
        return names;
    }

    bool Open(int device_index, int channels, int rate, MixFunction mix,
              std::string* error) override {
        if (!EnsureSubsystem()) {
            *error = SDL_GetError();
            return false;
        }
        mix_ = std::move(mix);
        channels_ = size_t(channels);
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = uint8_t(channels);
        want.samples = 1024;
        want.callback = &SdlSoundDevice::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        const char* name = device_index >= 0 ? SDL_GetAudioDeviceName(device_index, 0) : nullptr;
        // No changes allowed: SDL converts to whatever the hardware wants, so the
        // kernel always mixes in the format it was started with.
        device_ = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
        if (device_ == 0) {
            *error = std::string("SDL_OpenAudioDevice: ") + SDL_GetError();
            return false;
        }
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    void Close() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
        if (subsystem_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            subsystem_ = false;
        }
    }

  private:
    bool EnsureSubsystem() {
        if (!subsystem_)
            subsystem_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        return subsystem_;
    }

    static void Callback(void* user, Uint8* stream, int length) {
        auto* self = static_cast<SdlSoundDevice*>(user);
        size_t frames = size_t(length) / (sizeof(int16_t) * self->channels_);
        self->mix_(reinterpret_cast<int16_t*>(stream), frames);
    }

    MixFunction mix_;
    SDL_AudioDeviceID device_ = 0;
    bool subsystem_ = false;
    size_t channels_ = 2;
};

class NullSoundDevice : public SoundDevice {
  public:
    std::vector<std::string> Enumerate() override { return {"null"}; }
    bool Open(int, int, int, MixFunction, std::string*) override { return true; }
    void Close() override {}
};

}  // namespace

std::unique_ptr<SoundDevice> MakeSdlSoundDevice() {
    return std::make_unique<SdlSoundDevice>();
}
std::unique_ptr<SoundDevice> MakeNullSoundDevice() {
    return std::make_unique<NullSoundDevice>();
}

}  // namespace vorlane::sound
