// SNDAPI implementation.
// [SECTION] index
//   SNDAPI: sounds, voices, fades and positional sound on top of the sound kernel.
//   - Tables and positional helpers
//   - Start and stop
//   - Sounds and voices
//   - Volume, pan, position and fades
//   - Per-frame processing
//   - Release and queries
#include "sound/sndapi.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>

#include "baselib/logsys.h"
#include "baselib/timer.h"

// [SECTION] Tables and positional helpers
namespace vorlane::sound {

namespace {
constexpr double kPi = 3.14159265358979323846;

// The process-wide system and the service calls inside it. Never destroyed:
// a background thread that was given up on may still leave a service call
// while the process ends.
struct ServiceRegistry {
    std::mutex mutex;
    std::condition_variable left;  // a service call has returned
    SNDAPI* api = nullptr;
    std::vector<SNDAPI*> serving;               // one entry per call under way
    std::vector<std::unique_ptr<SNDAPI>> kept;  // retired while still in use
    bool Serving(const SNDAPI* a) const {
        return std::find(serving.begin(), serving.end(), a) != serving.end();
    }
};

ServiceRegistry& Registry() {
    static auto* registry = new ServiceRegistry;
    return *registry;
}

template <typename T>
T* Slot(const std::vector<std::unique_ptr<T>>& table, int id) {
    if (id < 0 || size_t(id) >= table.size())
        return nullptr;
    return table[size_t(id)].get();
}

template <typename T>
int StoreFirstFree(std::vector<std::unique_ptr<T>>& table, std::unique_ptr<T> item) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (!table[i]) {
            table[i] = std::move(item);
            return int(i);
        }
    }
    table.push_back(std::move(item));
    return int(table.size() - 1);
}
}  // namespace

void SNDAPI_Set(SNDAPI* api) {
    std::lock_guard lock(Registry().mutex);
    Registry().api = api;
}

void SNDAPI_Service() {
    ServiceRegistry& registry = Registry();
    SNDAPI* api;
    {
        std::lock_guard lock(registry.mutex);
        api = registry.api;
        if (api == nullptr)
            return;
        registry.serving.push_back(api);
    }
    api->Process();
    std::lock_guard lock(registry.mutex);
    registry.serving.erase(std::find(registry.serving.begin(), registry.serving.end(), api));
    registry.left.notify_all();
}

bool SNDAPI_Retire(std::unique_ptr<SNDAPI> api, uint32_t wait_ms) {
    if (!api)
        return true;
    ServiceRegistry& registry = Registry();
    {
        std::unique_lock lock(registry.mutex);
        if (registry.api == api.get())
            registry.api = nullptr;
        if (!registry.left.wait_for(lock, std::chrono::milliseconds(wait_ms),
                                    [&] { return !registry.Serving(api.get()); })) {
            LOGSYS_Error("SNDAPI, still in use by the background thread; left running.");
            registry.kept.push_back(std::move(api));
            return false;
        }
    }
    api->StopAll();
    api->Release();
    api.reset();
    return true;
}

// [SECTION] Start and stop
SNDAPI::SNDAPI(std::unique_ptr<SoundDevice> device)
    : kernel_(std::make_unique<SOUNDKERNEL>(device ? std::move(device) : MakeSdlSoundDevice())) {}

SNDAPI::~SNDAPI() {
    {
        // Freeing a system that a service call is inside would pull it out
        // from under that call.
        ServiceRegistry& registry = Registry();
        std::unique_lock lock(registry.mutex);
        if (registry.api == this)
            registry.api = nullptr;
        registry.left.wait(lock, [&] { return !registry.Serving(this); });
    }
    Release();
}

int SNDAPI::InitSound(bool do_not_start) {
    std::lock_guard lock(mutex_);
    initialised_ = true;
    master_volume_ = 100;
    if (do_not_start)
        return 0;
    return StartKernel(-1, 16, 2, 44100);
}

int SNDAPI::StartKernel(int device_index, int bits, int channels, int rate) {
    std::lock_guard lock(mutex_);
    if (!initialised_)
        return -1;
    // With the listener: positional voices are placed in the kernel's 3D space.
    if (kernel_->StartUp(device_index, bits, channels, rate, true) != 0) {
        LOGSYS_Error("SNDAPI, failed to initalize");
        LOGSYS_Error("SNDAPI, SoundSystem IS NOT initialized.");
        return -1;
    }
    kernel_started_ = true;
    LOGSYS_Info("SNDAPI, SoundSystem initialized. (using LATHE Sound API v%s)", "1.0");
    return 0;
}

// [SECTION] Sounds and voices
int SNDAPI::LoadSoundFromMem(const uint8_t* data, uint32_t size, uint32_t /*flags*/) {
    std::lock_guard lock(mutex_);
    if (!ready())
        return -1;
    int buffer = kernel_->LoadSoundMem(data, size, 100, kSoundTypeOgg);
    if (buffer < 0) {
        LOGSYS_Error("SNDAPI:LoadSoundFromMem, failed!");
        return -1;
    }
    auto entry = std::make_unique<SoundEntry>();
    entry->buffer_id = buffer;
    return StoreFirstFree(sounds_, std::move(entry));
}

void SNDAPI::RemoveSound(int sound_id) {
    std::lock_guard lock(mutex_);
    SoundEntry* entry = Slot(sounds_, sound_id);
    if (!ready() || entry == nullptr)
        return;
    for (size_t v = 0; v < voices_.size(); ++v)
        if (voices_[v] && voices_[v]->sound_id == sound_id)
            RemoveVoiceLocked(v);
    kernel_->Stop(entry->buffer_id);
    if (entry->owns_buffer)
        kernel_->FreeBuffer(entry->buffer_id);
    sounds_[size_t(sound_id)].reset();
}

int SNDAPI::PlayVoice(int sound_id, int volume, int pan, uint32_t flags, uint32_t delay_ms,
                      int* handle_slot) {
    std::lock_guard lock(mutex_);
    SoundEntry* entry = Slot(sounds_, sound_id);
    if (!ready() || entry == nullptr)
        return -1;
    // Each voice streams through a buffer of its own, so one sound can play in
    // several voices at once.
    int buffer = kernel_->DuplicateBuffer(entry->buffer_id);
    if (buffer < 0)
        return -1;
    auto voice = std::make_unique<Voice>();
    voice->buffer_id = buffer;
    voice->sound_id = sound_id;
    voice->loop = flags & kVoiceLoop;
    voice->auto_remove = flags & kVoiceAutoRemove;
    voice->positional = flags & kVoicePositional;
    voice->volume = std::clamp(volume, 0, 100);
    voice->pan = std::clamp(pan, -100, 100);
    voice->start_time = GetTickCount() + delay_ms;
    voice->start_pending = true;
    voice->handle_slot = handle_slot;
    ApplyVolume(*voice);
    int id = StoreFirstFree(voices_, std::move(voice));
    if (handle_slot)
        *handle_slot = id;
    return id;
}

void SNDAPI::RemoveVoiceLocked(size_t voice_id) {
    Voice* voice = voices_[voice_id].get();
    kernel_->Stop(voice->buffer_id);
    kernel_->FreeBuffer(voice->buffer_id);
    if (voice->handle_slot)
        *voice->handle_slot = -1;
    voices_[voice_id].reset();
}

void SNDAPI::RemoveVoice(int voice_id) {
    std::lock_guard lock(mutex_);
    if (ready() && Slot(voices_, voice_id))
        RemoveVoiceLocked(size_t(voice_id));
}

void SNDAPI::StopAll() {
    std::lock_guard lock(mutex_);
    if (!ready())
        return;
    for (size_t v = 0; v < voices_.size(); ++v)
        if (voices_[v])
            RemoveVoiceLocked(v);
}

// [SECTION] Volume, pan, position and fades
void SNDAPI::ApplyVolume(Voice& voice) {
    // The distance of a positional voice is applied by the kernel.
    int applied = voice.volume * master_volume_ / 100;
    kernel_->SetVolume(voice.buffer_id, applied);
    kernel_->SetPan(voice.buffer_id, voice.pan);
}

int SNDAPI::SetVoiceVolume(int voice_id, int volume) {
    std::lock_guard lock(mutex_);
    Voice* voice = Slot(voices_, voice_id);
    if (!ready() || voice == nullptr)
        return -1;
    voice->volume = std::clamp(volume, 0, 100);
    ApplyVolume(*voice);
    return 0;
}

int SNDAPI::SetVoicePan(int voice_id, int pan) {
    std::lock_guard lock(mutex_);
    Voice* voice = Slot(voices_, voice_id);
    if (!ready() || voice == nullptr)
        return -1;
    voice->pan = std::clamp(pan, -100, 100);
    ApplyVolume(*voice);
    return 0;
}

int SNDAPI::SetVoicePosition(int voice_id, float x, float y, float z) {
    std::lock_guard lock(mutex_);
    Voice* voice = Slot(voices_, voice_id);
    if (!ready() || voice == nullptr)
        return -1;
    voice->positional = true;
    voice->x = x;
    voice->y = y;
    voice->z = z;
    return 0;
}

int SNDAPI::SetVoiceVelocity(int voice_id, float x, float y, float z) {
    std::lock_guard lock(mutex_);
    Voice* voice = Slot(voices_, voice_id);
    if (!ready() || voice == nullptr)
        return -1;
    return kernel_->SetVelocity(voice->buffer_id, {x, y, z});
}

int SNDAPI::FadeVoice(int voice_id, int target, uint32_t duration_ms, bool stop_after) {
    std::lock_guard lock(mutex_);
    Voice* voice = Slot(voices_, voice_id);
    if (!ready() || voice == nullptr)
        return -1;
    voice->fading = true;
    voice->fade_start_volume = voice->volume;
    voice->fade_target = std::clamp(target, 0, 100);
    voice->fade_start = GetTickCount();
    voice->fade_duration = duration_ms;
    voice->stop_after_fade = stop_after;
    return 0;
}

void SNDAPI::SetListener(bool enabled, float x, float y, float heading) {
    std::lock_guard lock(mutex_);
    listener_ = {enabled, x, y, heading};
    if (!ready())
        return;
    // Heading 0 looks along +y, 90 along +x; up is +z.
    double radians = double(heading) * kPi / 180.0;
    kernel_->SetListenerPosition({x, y, 0});
    kernel_->SetOrientation({float(std::sin(radians)), float(std::cos(radians)), 0}, {0, 0, 1});
}

void SNDAPI::SetMasterVolume(int volume) {
    std::lock_guard lock(mutex_);
    master_volume_ = std::clamp(volume, 0, 100);
}

void SNDAPI::Place(Voice& voice) {
    // Without the listener a positional voice plays as a plain one.
    if (listener_.enabled &&
        kernel_->SetPosition(voice.buffer_id, {voice.x, voice.y, voice.z}) == 0) {
        voice.computed_volume = kernel_->DistanceVolume(voice.buffer_id);
    } else {
        kernel_->SetMode3D(voice.buffer_id, false);
        voice.computed_volume = 100;
    }
}

// [SECTION] Per-frame processing
void SNDAPI::Process() {
    Process(GetTickCount());
}

void SNDAPI::Process(uint32_t now) {
    std::lock_guard lock(mutex_);
    if (!ready())
        return;
    kernel_->Process();
    for (size_t id = 0; id < voices_.size(); ++id) {
        Voice* voice = voices_[id].get();
        if (voice == nullptr)
            continue;
        // Signed difference over the wrapping 32-bit millisecond clock.
        if (voice->start_pending && int32_t(now - voice->start_time) >= 0) {
            kernel_->PlayDirect(voice->buffer_id, voice->loop ? kPlayLoop : 0);
            voice->start_pending = false;
        }
        bool playing = !voice->start_pending;
        if (playing && voice->positional)
            Place(*voice);
        if (voice->fading) {
            uint32_t elapsed = now - voice->fade_start;  // wraps like the clock
            double progress =
                voice->fade_duration == 0 ? 1.0 : double(elapsed) / voice->fade_duration;
            progress = std::clamp(progress, 0.0, 1.0);
            voice->volume =
                int(std::lround(voice->fade_start_volume +
                                (voice->fade_target - voice->fade_start_volume) * progress));
            if (progress >= 1.0) {
                voice->fading = false;
                voice->volume = voice->fade_target;
                if (voice->stop_after_fade) {
                    RemoveVoiceLocked(id);
                    continue;
                }
            }
        }
        ApplyVolume(*voice);
        if (voice->auto_remove && playing && kernel_->Finished(voice->buffer_id))
            RemoveVoiceLocked(id);
    }
}

// [SECTION] Release and queries
void SNDAPI::Release() {
    std::lock_guard lock(mutex_);
    if (!initialised_)
        return;
    if (kernel_started_) {
        for (size_t v = 0; v < voices_.size(); ++v)
            if (voices_[v])
                RemoveVoiceLocked(v);
        for (auto& s : sounds_)
            if (s && s->owns_buffer)
                kernel_->FreeBuffer(s->buffer_id);
        kernel_->ShutDown();
        kernel_started_ = false;
    }
    voices_.clear();
    sounds_.clear();
    initialised_ = false;
    LOGSYS_Info("SNDAPI, SoundSystem Removed.");
}

bool SNDAPI::VoiceExists(int voice_id) const {
    std::lock_guard lock(mutex_);
    return Slot(voices_, voice_id) != nullptr;
}

Voice SNDAPI::VoiceCopy(int voice_id) const {
    std::lock_guard lock(mutex_);
    Voice* v = Slot(voices_, voice_id);
    return v ? *v : Voice{};
}

int SNDAPI::VoiceBuffer(int voice_id) const {
    std::lock_guard lock(mutex_);
    Voice* v = Slot(voices_, voice_id);
    return v ? v->buffer_id : -1;
}

int SNDAPI::SoundBuffer(int sound_id) const {
    std::lock_guard lock(mutex_);
    SoundEntry* s = Slot(sounds_, sound_id);
    return s ? s->buffer_id : -1;
}

size_t SNDAPI::VoiceCount() const {
    std::lock_guard lock(mutex_);
    return size_t(
        std::count_if(voices_.begin(), voices_.end(), [](const auto& v) { return v != nullptr; }));
}

}  // namespace vorlane::sound
