// SOUNDKERNEL: the output device and the streaming output buffers. Each buffer
// holds two blocks of 65536 bytes that are filled by decoding Ogg Vorbis data
// held in memory; the device mixes the playing buffers and tells which block it
// has finished, and Process refills that block. Decoding happens outside the
// lock the mixer takes, so the audio callback never waits for it.
//
// 3D: a kernel started with 3D has a listener (position, velocity, orientation).
// A buffer given a position is mixed relative to it: the distance sets its
// volume, the bearing its pan, and the closing speed of source and listener
// its pitch (Doppler).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sound/ogg_memory.h"

namespace vorlane::sound {

constexpr uint32_t kBlockBytes = 65536;
constexpr uint32_t kBufferBytes = 2 * kBlockBytes;

// Buffer state bits.
constexpr uint32_t kStatePlaying = 1;
constexpr uint32_t kStateDataEnded = 2;
constexpr uint32_t kStateLooping = 16;
constexpr uint32_t kStateStartPending = 128;

// Flags of PlayDirect.
constexpr uint32_t kPlayLoop = 16;

// Sound data types of LoadSoundMem.
constexpr int kSoundTypeWave = 1;
constexpr int kSoundTypeOgg = 2;

// The device attenuation in hundredths of a decibel for a volume of 0..100.
int32_t VolumeToAttenuation(int volume);
// The device pan (-10000..10000) for a pan of -100..100.
int32_t PanToDevicePan(int pan);
// The linear gain of an attenuation in hundredths of a decibel.
float AttenuationToGain(int32_t attenuation);

// Distances of positioned buffers: full volume below kFullVolumeDistance,
// falling linearly to silence at kSilentDistance.
constexpr float kFullVolumeDistance = 5.0f;
constexpr float kSilentDistance = 15.0f;
// Units per second at which sound travels, for the Doppler shift.
constexpr float kSpeedOfSound = 343.0f;
// Playback frequencies SetFrequency accepts; 0 restores the data's own rate.
constexpr uint32_t kMinFrequency = 100;
constexpr uint32_t kMaxFrequency = 200000;

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// Volume factor (0..100) of a source `horizontal` units away in the listener's
// plane and `height` units above or below it.
int PositionalVolume(float horizontal, float height);
// Pan (-100..100) of a source `right` units to the listener's right and
// `ahead` units in front of it: 0 ahead or behind, +-100 at the sides.
int PositionalPan(float right, float ahead);

struct OutputBuffer;

// Fills `frames` interleaved frames of the device's format.
using MixFunction = std::function<void(int16_t* out, size_t frames)>;

// Where mixed samples go. The SDL device pulls them from its own thread; the
// null device never plays and tests call SOUNDKERNEL::Mix directly.
class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    // Names of the output devices found; index 0 is the first card.
    virtual std::vector<std::string> Enumerate() = 0;
    // Opens the device for interleaved signed 16-bit output; false on failure
    // (the reason is in `error`).
    virtual bool Open(int device_index, int channels, int rate, MixFunction mix,
                      std::string* error) = 0;
    virtual void Close() = 0;
};

class SOUNDKERNEL {
  public:
    explicit SOUNDKERNEL(std::unique_ptr<SoundDevice> device);
    ~SOUNDKERNEL();
    SOUNDKERNEL(const SOUNDKERNEL&) = delete;
    SOUNDKERNEL& operator=(const SOUNDKERNEL&) = delete;

    // 0 or -1 (unsupported format or device failure, logged).
    int StartUp(int device_index, int bits, int channels, int rate, bool with_3d);
    void ShutDown();
    bool started() const { return started_; }

    // A new buffer id for Ogg data (type 2), or -1.
    int LoadSoundMem(const uint8_t* data, uint32_t size, int volume, int type);
    // A second buffer that streams the same data independently, or -1.
    int DuplicateBuffer(int buffer_id);
    void FreeBuffer(int buffer_id);

    int PlayDirect(int buffer_id, uint32_t flags);
    int Stop(int buffer_id);
    int SetVolume(int buffer_id, int volume);
    int SetPan(int buffer_id, int pan);
    // Playback frequency in Hz (kMinFrequency..kMaxFrequency), 0 for the data's own.
    int SetFrequency(int buffer_id, uint32_t hz);
    // 3D (kernels started with 3D only; -1 otherwise). SetPosition places a
    // buffer and mixes it relative to the listener from then on; SetMode3D
    // switches that off (the buffer plays with its own pan) and on again.
    int SetPosition(int buffer_id, Vec3 position);
    int SetVelocity(int buffer_id, Vec3 velocity);
    int SetMode3D(int buffer_id, bool on);
    int SetListenerPosition(Vec3 position);
    int SetListenerVelocity(Vec3 velocity);
    // The direction the listener faces and its up direction; -1 when either is
    // zero or they are parallel.
    int SetOrientation(Vec3 front, Vec3 top);
    bool has_listener() const;
    // The kernel's periodic step: starts pending buffers, refills finished blocks.
    void Process();

    uint32_t State(int buffer_id) const;
    // True once a non-looping buffer has played all its data.
    bool Finished(int buffer_id) const;
    uint32_t LengthMs(int buffer_id) const;
    // What the mixer applies now, 3D included.
    int32_t Attenuation(int buffer_id) const;
    int32_t DevicePan(int buffer_id) const;
    // The distance factor (0..100) of a positioned buffer; 100 for any other.
    int DistanceVolume(int buffer_id) const;
    // A copy of a block's bytes (tests and diagnostics).
    std::vector<uint8_t> Block(int buffer_id, int block) const;
    size_t BufferCount() const;

    // Adds every playing buffer into `out` (interleaved, output channels).
    void Mix(int16_t* out, size_t frames);
    // Frames mixed since start-up (lets tests line output up with changes).
    uint64_t MixedFrames() const;
    int out_channels() const { return out_channels_; }
    int out_rate() const { return out_rate_; }

  private:
    struct Listener {
        Vec3 position, velocity;
        Vec3 front{0, 1, 0}, top{0, 0, 1}, right{1, 0, 0};
    };
    // What the mixer applies to one buffer.
    struct Rendering {
        int volume = 100;    // 0..100, distance included
        int distance = 100;  // the distance factor alone
        int pan = 0;
        float pitch = 1.0f;  // Doppler factor
    };

    OutputBuffer* Get(int buffer_id) const;
    std::shared_ptr<OutputBuffer> Share(int buffer_id) const;
    int Store(std::shared_ptr<OutputBuffer> buffer);
    // Buffer 3D operations: the buffer, or null (reported) without a listener.
    OutputBuffer* Get3D(int buffer_id, const char* operation) const;
    Rendering Render(const OutputBuffer& buffer) const;

    std::unique_ptr<SoundDevice> device_;
    // Taken by the mixer (the audio callback): held only for bookkeeping and
    // copies, never while decoding.
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<OutputBuffer>> buffers_;
    bool started_ = false;
    std::unique_ptr<Listener> listener_;
    int out_channels_ = 2;
    int out_rate_ = 44100;
    uint64_t mixed_frames_ = 0;
    std::vector<float> mix_;
};

// The error reporter's text for a device result code.
const char* SoundErrorName(int code);
void SoundReportError(const char* module, int code, const char* operation, const char* call);

// An output device over SDL2 audio that calls `kernel->Mix` from its callback.
std::unique_ptr<SoundDevice> MakeSdlSoundDevice();
// A device that accepts every format and never plays (tests drive Mix).
std::unique_ptr<SoundDevice> MakeNullSoundDevice();

}  // namespace vorlane::sound
