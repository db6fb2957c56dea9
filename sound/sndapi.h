// SNDAPI: the sound API the program talks to. It keeps the table of loaded
// sounds and the table of playing voices, and updates volume, pan, position and
// fades every 20 ms from the background thread (Process). Every operation takes
// one mutex; a system whose kernel did not start does nothing. Positional
// voices are placed in the kernel's 3D space around its listener, which does
// the distance and bearing (one model, in the kernel).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/sound_kernel.h"

namespace vorlane::sound {

// Voice flags of PlayVoice.
constexpr uint32_t kVoiceLoop = 1;
constexpr uint32_t kVoiceAutoRemove = 2;
constexpr uint32_t kVoicePositional = 4;

struct SoundEntry {
    int buffer_id = -1;
    bool owns_buffer = true;
};

struct Voice {
    int buffer_id = -1;
    bool loop = false;
    bool auto_remove = false;
    int volume = 100;           // 0..100, the caller's volume
    int computed_volume = 100;  // positional factor 0..100, as the kernel computed it
    int pan = 0;                // -100..100
    bool positional = false;
    float x = 0, y = 0, z = 0;
    int sound_id = -1;
    bool fading = false;
    int fade_start_volume = 0;
    int fade_target = 0;
    uint32_t fade_start = 0;
    uint32_t fade_duration = 0;
    bool stop_after_fade = false;
    uint32_t start_time = 0;
    bool start_pending = false;
    int* handle_slot = nullptr;  // the caller's handle, -1 once removed
};

struct Listener {
    bool enabled = false;
    float x = 0, y = 0;
    float heading = 0;  // degrees; 0 looks along +y
};

class SNDAPI {
  public:
    // A system over `device` (the SDL device when null).
    explicit SNDAPI(std::unique_ptr<SoundDevice> device = nullptr);
    ~SNDAPI();
    SNDAPI(const SNDAPI&) = delete;
    SNDAPI& operator=(const SNDAPI&) = delete;

    // Creates the tables and, unless `do_not_start`, starts the kernel with the
    // default device, 16 bits, stereo, 44100 samples per second. 0 or -1.
    int InitSound(bool do_not_start = false);
    // Starts the kernel with a given format (0 or -1).
    int StartKernel(int device_index, int bits, int channels, int rate);
    bool ready() const { return initialised_ && kernel_started_; }

    int LoadSoundFromMem(const uint8_t* data, uint32_t size, uint32_t flags);
    void RemoveSound(int sound_id);
    // A voice playing the sound after `delay_ms`; its id or -1. `handle_slot`
    // (may be null) receives the id and -1 when the voice is removed.
    int PlayVoice(int sound_id, int volume, int pan, uint32_t flags, uint32_t delay_ms = 0,
                  int* handle_slot = nullptr);
    void RemoveVoice(int voice_id);
    void StopAll();
    int SetVoiceVolume(int voice_id, int volume);
    int SetVoicePan(int voice_id, int pan);
    int SetVoicePosition(int voice_id, float x, float y, float z);
    // Units per second, for the Doppler shift of a positional voice.
    int SetVoiceVelocity(int voice_id, float x, float y, float z);
    // Fades from the current volume to `target` over `duration_ms`.
    int FadeVoice(int voice_id, int target, uint32_t duration_ms, bool stop_after);
    void SetListener(bool enabled, float x, float y, float heading);
    void SetMasterVolume(int volume);
    int master_volume() const { return master_volume_; }

    // The periodic update (every 20 ms), at `now` milliseconds.
    void Process(uint32_t now);
    void Process();
    void Release();

    // Inspection for tests and the console.
    bool VoiceExists(int voice_id) const;
    Voice VoiceCopy(int voice_id) const;
    int VoiceBuffer(int voice_id) const;
    int SoundBuffer(int sound_id) const;
    size_t VoiceCount() const;
    SOUNDKERNEL* kernel() { return kernel_.get(); }

  private:
    void RemoveVoiceLocked(size_t voice_id);
    void ApplyVolume(Voice& voice);
    void Place(Voice& voice);

    mutable std::recursive_mutex mutex_;
    std::unique_ptr<SOUNDKERNEL> kernel_;
    bool initialised_ = false;
    bool kernel_started_ = false;
    std::vector<std::unique_ptr<SoundEntry>> sounds_;
    std::vector<std::unique_ptr<Voice>> voices_;
    Listener listener_;
    int master_volume_ = 100;
};

// The process-wide sound system that the background thread services (not
// owned; null for none).
void SNDAPI_Set(SNDAPI* api);
// Runs the periodic update of the process-wide sound system, if any. While
// the call is inside it, the system cannot be retired (freed).
void SNDAPI_Service();
// Takes `api` out of service, then stops its voices and releases it. A
// service call still inside it after `wait_ms` (its thread was given up on)
// keeps it alive and untouched until the process ends. True when released.
bool SNDAPI_Retire(std::unique_ptr<SNDAPI> api, uint32_t wait_ms);

}  // namespace vorlane::sound
