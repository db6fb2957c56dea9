// SOUNDKERNEL implementation.
//
// Index:
// [SECTION] Mappings
// [SECTION] Error reporter
// [SECTION] Output buffers
// [SECTION] Start-up and shut-down
// [SECTION] Loading
// [SECTION] Decoding
// [SECTION] Playing and streaming
// [SECTION] 3D
// [SECTION] Mixing
#include "sound/sound_kernel.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "baselib/logsys.h"

namespace vorlane::sound {

namespace {
constexpr const char* kModule = "SOUNDKERNEL";
// Upper bound of decoder errors in a row before a stream is treated as ended,
// so damaged data can never keep StreamBlock spinning.
constexpr int kMaxDecodeErrors = 32;
}  // namespace

// [SECTION] Mappings

int32_t VolumeToAttenuation(int volume) {
    volume = std::clamp(volume, 0, 100);
    if (volume == 0)
        return -10000;
    double f = (100 - volume) * 0.01;
    return int32_t(0 - f * f * 5000.0);
}

int32_t PanToDevicePan(int pan) {
    return std::clamp(pan, -100, 100) * 100;
}

float AttenuationToGain(int32_t attenuation) {
    if (attenuation <= -10000)
        return 0.0f;
    return float(std::pow(10.0, attenuation / 2000.0));
}

int PositionalVolume(float horizontal, float height) {
    if (!std::isfinite(horizontal) || !std::isfinite(height) ||
        horizontal * horizontal >= kSilentDistance * kSilentDistance)
        return 0;
    float d = std::sqrt(horizontal * horizontal + height * height);
    if (d < kFullVolumeDistance)
        return 100;
    float factor = 1.0f - (d - kFullVolumeDistance) / (kSilentDistance - kFullVolumeDistance);
    return std::clamp(int(std::lround(factor * 100.0f)), 0, 100);
}

int PositionalPan(float right, float ahead) {
    float across = std::sqrt(right * right + ahead * ahead);
    if (!std::isfinite(across) || across == 0.0f)
        return 0;
    // The sine of the bearing: 0 ahead and behind, +-1 at the sides.
    return std::clamp(int(std::lround(right / across * 100.0f)), -100, 100);
}

// [SECTION] Error reporter

namespace {
const char* const kErrorNames[] = {
    "DSERR_ALLOCATED",
    "DSERR_CONTROLUNAVAIL",
    "DSERR_INVALIDPARAM",
    "DSERR_INVALIDCALL",
    "DSERR_GENERIC",
    "DSERR_PRIOLEVELNEEDED",
    "DSERR_OUTOFMEMORY",
    "DSERR_BADFORMAT",
    "DSERR_UNSUPPORTED",
    "DSERR_NODRIVER",
    "DSERR_ALREADYINITIALIZED",
    "DSERR_NOAGGREGATION",
    "DSERR_BUFFERLOST",
    "DSERR_OTHERAPPHASPRIO",
    "DSERR_UNINITIALIZED",
    "DSERR_NOINTERFACE",
    "DSERR_ACCESSDENIED",
    "DSERR_BUFFERTOOSMALL",
    "DSERR_DS8_REQUIRED",
    "DSERR_SENDLOOP",
    "DSERR_BADSENDBUFFERGUID",
    "DSERR_OBJECTNOTFOUND",
    "DSERR_FXUNAVAILABLE",
    "DS_NO_VIRTUALIZATION",
    "DS_INCOMPLETE",
};
}  // namespace

const char* SoundErrorName(int code) {
    if (code < 0 || size_t(code) >= std::size(kErrorNames))
        return "*** DSERR_UNKNOWN ***";
    return kErrorNames[code];
}

void SoundReportError(const char* module, int code, const char* operation, const char* call) {
    LOGSYS_Error("%s: %s at %s | %s", module, SoundErrorName(code), operation, call);
}

// [SECTION] Output buffers

// Locks: the kernel's mutex guards everything the mixer reads (state, ring,
// counters, settings, position); `decode_mutex` guards the decoder and is
// taken first when both are needed.
struct OutputBuffer {
    ~OutputBuffer() {
        if (decoder_open)
            ov_clear(&decoder);
    }
    std::mutex decode_mutex;
    uint32_t state = 0;
    std::shared_ptr<const std::vector<uint8_t>> data;
    std::unique_ptr<MemoryReader> reader;
    OggVorbis_File decoder{};
    bool decoder_open = false;
    int channels = 2;
    int rate = 44100;
    uint32_t frequency = 0;  // 0: play at `rate`
    uint32_t length_ms = 0;
    int volume = 100;
    int pan = 0;
    bool mode3d = false;
    Vec3 position, velocity;
    std::vector<uint8_t> ring = std::vector<uint8_t>(kBufferBytes);
    uint64_t block_base[2] = {0, kBlockBytes};  // stream byte offset each block holds
    bool block_done[2] = {false, false};
    uint64_t end_total = UINT64_MAX;  // stream byte offset where the data ends
    uint64_t played_total = 0;
    uint32_t fraction = 0;  // 16.16 resampling position
    uint32_t half_counter = 0;
};

namespace {

// Opens a decoder over a buffer's data; false when the data is not Ogg Vorbis.
bool OpenDecoder(OutputBuffer& b) {
    b.reader = std::make_unique<MemoryReader>(b.data->data(), b.data->size());
    if (OpenOggMemory(b.reader.get(), &b.decoder) != 0)
        return false;
    b.decoder_open = true;
    return true;
}

}  // namespace

SOUNDKERNEL::SOUNDKERNEL(std::unique_ptr<SoundDevice> device) : device_(std::move(device)) {}

SOUNDKERNEL::~SOUNDKERNEL() {
    ShutDown();
}

OutputBuffer* SOUNDKERNEL::Get(int id) const {
    if (id < 0 || size_t(id) >= buffers_.size())
        return nullptr;
    return buffers_[size_t(id)].get();
}

std::shared_ptr<OutputBuffer> SOUNDKERNEL::Share(int id) const {
    std::lock_guard lock(mutex_);
    if (id < 0 || size_t(id) >= buffers_.size())
        return nullptr;
    return buffers_[size_t(id)];
}

int SOUNDKERNEL::Store(std::shared_ptr<OutputBuffer> buffer) {
    for (size_t i = 0; i < buffers_.size(); ++i) {
        if (!buffers_[i]) {
            buffers_[i] = std::move(buffer);
            return int(i);
        }
    }
    buffers_.push_back(std::move(buffer));
    return int(buffers_.size() - 1);
}

// [SECTION] Start-up and shut-down

int SOUNDKERNEL::StartUp(int device_index, int bits, int channels, int rate, bool with_3d) {
    bool rate_ok = rate == 8000 || rate == 11025 || rate == 22050 || rate == 44100;
    if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || !rate_ok) {
        LOGSYS_Error("%s: Unsupported format: %d samples/s %d bits %s", kModule, rate, bits,
                     channels == 1 ? "mono" : "stereo");
        return -1;
    }
    if (started_ || !device_)
        return -1;
    LOGSYS_Info("%s: Starting up...", kModule);
    std::vector<std::string> cards = device_->Enumerate();
    for (const auto& card : cards) LOGSYS_Info("%s: Found soundcard '%s'", kModule, card.c_str());
    int index = (device_index >= 0 && size_t(device_index) < cards.size()) ? device_index : -1;
    LOGSYS_Info("%s: creating primary buffer", kModule);
    {
        // The device's thread may call Mix as soon as it is open: the output
        // format must be in place first.
        std::lock_guard lock(mutex_);
        out_channels_ = channels;
        out_rate_ = rate;
    }
    std::string error;
    if (!device_->Open(
            index, channels, rate, [this](int16_t* out, size_t frames) { Mix(out, frames); },
            &error)) {
        SoundReportError(kModule, 9 /* DSERR_NODRIVER */, "StartUp", error.c_str());
        return -1;
    }
    LOGSYS_Info("%s: setting primary buffer to %u samples/s %u bits %s", kModule, unsigned(rate),
                unsigned(bits), channels == 1 ? "mono" : "stereo");
    if (with_3d) {
        LOGSYS_Info("%s: creating listener", kModule);
        std::lock_guard lock(mutex_);
        listener_ = std::make_unique<Listener>();
    }
    started_ = true;
    return 0;
}

void SOUNDKERNEL::ShutDown() {
    if (!started_)
        return;
    LOGSYS_Info("%s: Shutting down...", kModule);
    // The device's thread takes the lock in Mix, so it is closed before the
    // lock is taken here.
    device_->Close();
    std::lock_guard lock(mutex_);
    listener_.reset();
    buffers_.clear();
    started_ = false;
}

// [SECTION] Loading

int SOUNDKERNEL::LoadSoundMem(const uint8_t* data, uint32_t size, int volume, int type) {
    if (!started_ || data == nullptr || size == 0)
        return -1;
    if (type == kSoundTypeWave) {
        LOGSYS_Error("%s: %s: Wave support not implemented", kModule, "LoadSoundMem");
        return -1;
    }
    if (type != kSoundTypeOgg)
        return -1;
    auto buffer = std::make_shared<OutputBuffer>();
    buffer->data = std::make_shared<const std::vector<uint8_t>>(data, data + size);
    {
        // Probe the format with a first decoder, then stream with a second.
        OutputBuffer probe;
        probe.data = buffer->data;
        if (!OpenDecoder(probe))
            return -1;
        vorbis_info* info = ov_info(&probe.decoder, -1);
        if (info == nullptr || info->channels < 1 || info->channels > 2 || info->rate < 1000 ||
            info->rate > 192000)
            return -1;
        buffer->channels = info->channels;
        buffer->rate = int(info->rate);
        double total = ov_time_total(&probe.decoder, -1);
        buffer->length_ms = total > 0 ? uint32_t(total * 1000.0) : 0;
    }
    if (!OpenDecoder(*buffer))
        return -1;
    buffer->volume = std::clamp(volume, 0, 100);
    std::lock_guard lock(mutex_);
    return Store(std::move(buffer));
}

int SOUNDKERNEL::DuplicateBuffer(int buffer_id) {
    std::shared_ptr<const std::vector<uint8_t>> data;
    int channels, rate;
    uint32_t length;
    {
        std::lock_guard lock(mutex_);
        OutputBuffer* source = Get(buffer_id);
        if (source == nullptr)
            return -1;
        data = source->data;
        channels = source->channels;
        rate = source->rate;
        length = source->length_ms;
    }
    auto buffer = std::make_shared<OutputBuffer>();
    buffer->data = std::move(data);
    buffer->channels = channels;
    buffer->rate = rate;
    buffer->length_ms = length;
    if (!OpenDecoder(*buffer))
        return -1;
    std::lock_guard lock(mutex_);
    return Store(std::move(buffer));
}

void SOUNDKERNEL::FreeBuffer(int buffer_id) {
    std::lock_guard lock(mutex_);
    if (Get(buffer_id))
        buffers_[size_t(buffer_id)].reset();
}

// [SECTION] Decoding

namespace {

struct Decoded {
    size_t filled = 0;   // bytes of samples at the front of the block
    bool ended = false;  // the data ended inside the block
};

// Decodes one block of 16-bit little-endian samples from the buffer's stream
// position into `dst` (the rest is silence), restarting at the beginning when
// `looping`. Runs without the kernel's lock; the caller holds `decode_mutex`.
Decoded DecodeBlock(OutputBuffer& b, uint8_t* dst, bool looping) {
    Decoded d;
    int errors = 0;
    bool data_since_restart = true;
    while (d.filled < kBlockBytes) {
        int section = 0;
        long n = ov_read(&b.decoder, reinterpret_cast<char*>(dst + d.filled),
                         int(kBlockBytes - d.filled), 0, 2, 1, &section);
        if (n > 0) {
            d.filled += size_t(n);
            errors = 0;
            data_since_restart = true;
            continue;
        }
        if (n < 0 && ++errors < kMaxDecodeErrors)
            continue;
        // End of the data (or damaged beyond reading): loop or finish. A loop
        // that produced nothing since its last restart finishes too.
        if (looping && data_since_restart && ov_raw_seek(&b.decoder, 0) == 0) {
            data_since_restart = false;
            errors = 0;
            continue;
        }
        d.ended = true;
        break;
    }
    std::memset(dst + d.filled, 0, kBlockBytes - d.filled);
    return d;
}

// StreamBlock's second half: the decoded block goes into its half of the ring.
// The caller holds the kernel's lock.
void CommitBlock(OutputBuffer& b, int block, const uint8_t* decoded, Decoded d) {
    std::memcpy(b.ring.data() + size_t(block) * kBlockBytes, decoded, kBlockBytes);
    if (d.ended && !(b.state & kStateDataEnded)) {
        b.state |= kStateDataEnded;
        b.end_total = b.block_base[block] + d.filled;
    }
    b.block_done[block] = false;
    ++b.half_counter;
}

}  // namespace

// [SECTION] Playing and streaming

int SOUNDKERNEL::PlayDirect(int buffer_id, uint32_t flags) {
    std::shared_ptr<OutputBuffer> b = Share(buffer_id);
    if (b == nullptr)
        return -1;
    bool looping = flags & kPlayLoop;
    std::lock_guard decoding(b->decode_mutex);
    {
        // Silent from here; a refill noted before this start is dropped.
        std::lock_guard lock(mutex_);
        b->state = looping ? kStateLooping : 0;
        b->block_done[0] = b->block_done[1] = false;
    }
    if (ov_raw_seek(&b->decoder, 0) != 0)
        return -1;
    std::vector<uint8_t> blocks(kBufferBytes);
    Decoded first = DecodeBlock(*b, blocks.data(), looping);
    Decoded second;
    if (!first.ended)
        second = DecodeBlock(*b, blocks.data() + kBlockBytes, looping);
    else
        std::memset(blocks.data() + kBlockBytes, 0, kBlockBytes);
    std::lock_guard lock(mutex_);
    b->played_total = 0;
    b->fraction = 0;
    b->half_counter = 0;
    b->end_total = UINT64_MAX;
    b->block_base[0] = 0;
    b->block_base[1] = kBlockBytes;
    CommitBlock(*b, 0, blocks.data(), first);
    CommitBlock(*b, 1, blocks.data() + kBlockBytes, second);
    b->state |= kStateStartPending;
    return 0;
}

int SOUNDKERNEL::Stop(int buffer_id) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return -1;
    b->state &= ~(kStatePlaying | kStateStartPending);
    return 0;
}

int SOUNDKERNEL::SetVolume(int buffer_id, int volume) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return -1;
    b->volume = std::clamp(volume, 0, 100);
    return 0;
}

int SOUNDKERNEL::SetPan(int buffer_id, int pan) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return -1;
    b->pan = std::clamp(pan, -100, 100);
    return 0;
}

int SOUNDKERNEL::SetFrequency(int buffer_id, uint32_t hz) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return -1;
    b->frequency = hz == 0 ? 0 : std::clamp(hz, kMinFrequency, kMaxFrequency);
    return 0;
}

void SOUNDKERNEL::Process() {
    // Finished blocks are noted under the lock, then decoded without it and
    // copied in under it again.
    std::vector<std::pair<std::shared_ptr<OutputBuffer>, int>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto& owned : buffers_) {
            if (!owned)
                continue;
            OutputBuffer& b = *owned;
            if (b.state & kStateStartPending) {
                b.state &= ~kStateStartPending;
                b.state |= kStatePlaying;
            }
            // When both blocks have played, the one that played first comes
            // first in the stream.
            int first = b.block_base[0] <= b.block_base[1] ? 0 : 1;
            for (int k = 0; k < 2; ++k)
                if (b.block_done[first ^ k])
                    finished.emplace_back(owned, first ^ k);
        }
    }
    std::vector<uint8_t> decoded;
    for (auto& [buffer, block] : finished) {
        OutputBuffer& b = *buffer;
        std::lock_guard decoding(b.decode_mutex);
        bool looping;
        {
            // Looked at again: a PlayDirect or another Process may have
            // refilled the block since, or the data may have ended.
            std::lock_guard lock(mutex_);
            if (!b.block_done[block])
                continue;
            if (b.state & kStateDataEnded) {
                b.block_base[block] += kBufferBytes;
                std::memset(b.ring.data() + size_t(block) * kBlockBytes, 0, kBlockBytes);
                b.block_done[block] = false;
                continue;
            }
            looping = b.state & kStateLooping;
        }
        decoded.resize(kBlockBytes);
        Decoded d = DecodeBlock(b, decoded.data(), looping);
        std::lock_guard lock(mutex_);
        b.block_base[block] += kBufferBytes;
        CommitBlock(b, block, decoded.data(), d);
    }
}

uint32_t SOUNDKERNEL::State(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    return b ? b->state : 0;
}

bool SOUNDKERNEL::Finished(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return true;
    return (b->state & kStateDataEnded) && !(b->state & (kStatePlaying | kStateStartPending));
}

uint32_t SOUNDKERNEL::LengthMs(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    return b ? b->length_ms : 0;
}

int32_t SOUNDKERNEL::Attenuation(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    return b ? VolumeToAttenuation(Render(*b).volume) : -10000;
}

int32_t SOUNDKERNEL::DevicePan(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    return b ? PanToDevicePan(Render(*b).pan) : 0;
}

int SOUNDKERNEL::DistanceVolume(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    return b ? Render(*b).distance : 100;
}

std::vector<uint8_t> SOUNDKERNEL::Block(int buffer_id, int block) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr || block < 0 || block > 1)
        return {};
    auto first = b->ring.begin() + ptrdiff_t(block) * kBlockBytes;
    return std::vector<uint8_t>(first, first + kBlockBytes);
}

size_t SOUNDKERNEL::BufferCount() const {
    std::lock_guard lock(mutex_);
    return size_t(std::count_if(buffers_.begin(), buffers_.end(),
                                [](const auto& b) { return b != nullptr; }));
}

// [SECTION] 3D

namespace {

float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Minus(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 Scaled(Vec3 a, float f) {
    return {a.x * f, a.y * f, a.z * f};
}

bool Finite(Vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Code 2 is DSERR_INVALIDPARAM.
constexpr int kInvalidParam = 2;

}  // namespace

OutputBuffer* SOUNDKERNEL::Get3D(int buffer_id, const char* operation) const {
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return nullptr;
    if (!listener_) {
        SoundReportError(kModule, 1 /* DSERR_CONTROLUNAVAIL */, operation, "no listener");
        return nullptr;
    }
    return b;
}

int SOUNDKERNEL::SetPosition(int buffer_id, Vec3 position) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get3D(buffer_id, "SetPosition");
    if (b == nullptr)
        return -1;
    if (!Finite(position)) {
        SoundReportError(kModule, kInvalidParam, "SetPosition", "position");
        return -1;
    }
    b->position = position;
    b->mode3d = true;
    return 0;
}

int SOUNDKERNEL::SetVelocity(int buffer_id, Vec3 velocity) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get3D(buffer_id, "SetVelocity");
    if (b == nullptr)
        return -1;
    if (!Finite(velocity)) {
        SoundReportError(kModule, kInvalidParam, "SetVelocity", "velocity");
        return -1;
    }
    b->velocity = velocity;
    return 0;
}

int SOUNDKERNEL::SetMode3D(int buffer_id, bool on) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get3D(buffer_id, "SetMode3D");
    if (b == nullptr)
        return -1;
    b->mode3d = on;
    return 0;
}

int SOUNDKERNEL::SetListenerPosition(Vec3 position) {
    std::lock_guard lock(mutex_);
    if (!listener_ || !Finite(position))
        return -1;
    listener_->position = position;
    return 0;
}

int SOUNDKERNEL::SetListenerVelocity(Vec3 velocity) {
    std::lock_guard lock(mutex_);
    if (!listener_ || !Finite(velocity))
        return -1;
    listener_->velocity = velocity;
    return 0;
}

int SOUNDKERNEL::SetOrientation(Vec3 front, Vec3 top) {
    if (!Finite(front) || !Finite(top))
        return -1;
    float front_length = std::sqrt(Dot(front, front));
    if (front_length < 1e-6f)
        return -1;
    front = Scaled(front, 1.0f / front_length);
    // Only the part of `top` square to `front` counts.
    top = Minus(top, Scaled(front, Dot(top, front)));
    float top_length = std::sqrt(Dot(top, top));
    if (top_length < 1e-6f)
        return -1;
    top = Scaled(top, 1.0f / top_length);
    Vec3 right{front.y * top.z - front.z * top.y, front.z * top.x - front.x * top.z,
               front.x * top.y - front.y * top.x};
    std::lock_guard lock(mutex_);
    if (!listener_)
        return -1;
    listener_->front = front;
    listener_->top = top;
    listener_->right = right;
    return 0;
}

bool SOUNDKERNEL::has_listener() const {
    std::lock_guard lock(mutex_);
    return listener_ != nullptr;
}

SOUNDKERNEL::Rendering SOUNDKERNEL::Render(const OutputBuffer& b) const {
    Rendering r;
    r.volume = b.volume;
    r.pan = b.pan;
    if (!b.mode3d || !listener_)
        return r;
    const Listener& l = *listener_;
    Vec3 offset = Minus(b.position, l.position);
    float ahead = Dot(offset, l.front);
    float right = Dot(offset, l.right);
    float height = Dot(offset, l.top);
    r.distance = PositionalVolume(std::sqrt(ahead * ahead + right * right), height);
    r.volume = b.volume * r.distance / 100;
    r.pan = PositionalPan(right, ahead);
    float distance = std::sqrt(Dot(offset, offset));
    if (distance > 1e-3f) {
        // Doppler: speeds along the line from the listener to the source,
        // each held below half the speed of sound.
        Vec3 away = Scaled(offset, 1.0f / distance);
        float limit = kSpeedOfSound * 0.5f;
        float listener_closing = std::clamp(Dot(l.velocity, away), -limit, limit);
        float source_leaving = std::clamp(Dot(b.velocity, away), -limit, limit);
        r.pitch = (kSpeedOfSound + listener_closing) / (kSpeedOfSound + source_leaving);
    }
    return r;
}

// [SECTION] Mixing

void SOUNDKERNEL::Mix(int16_t* out, size_t frames) {
    std::lock_guard lock(mutex_);
    size_t samples = frames * size_t(out_channels_);
    mix_.assign(samples, 0.0f);
    mixed_frames_ += frames;
    for (auto& owned : buffers_) {
        if (!owned || !(owned->state & kStatePlaying))
            continue;
        OutputBuffer& b = *owned;
        Rendering rendering = Render(b);
        float gain = AttenuationToGain(VolumeToAttenuation(rendering.volume));
        int32_t pan = PanToDevicePan(rendering.pan);
        // A positive pan attenuates the left side, a negative one the right.
        float left = gain * (pan > 0 ? AttenuationToGain(-pan) : 1.0f);
        float right = gain * (pan < 0 ? AttenuationToGain(pan) : 1.0f);
        uint32_t frame_bytes = uint32_t(b.channels) * 2;
        double rate = double(b.frequency != 0 ? b.frequency : uint32_t(b.rate)) * rendering.pitch;
        uint32_t step = uint32_t(std::lround(rate * 65536.0 / out_rate_));
        for (size_t f = 0; f < frames; ++f) {
            if (b.played_total >= b.end_total) {
                b.state &= ~kStatePlaying;
                break;
            }
            size_t at = size_t(b.played_total % kBufferBytes);
            int16_t l, r;
            std::memcpy(&l, &b.ring[at], 2);
            if (b.channels == 2)
                std::memcpy(&r, &b.ring[at + 2], 2);
            else
                r = l;
            if (out_channels_ == 2) {
                mix_[f * 2] += l * left;
                mix_[f * 2 + 1] += r * right;
            } else {
                mix_[f] += (l * left + r * right) * 0.5f;
            }
            b.fraction += step;
            while (b.fraction >= 0x10000) {
                b.fraction -= 0x10000;
                uint64_t before = b.played_total / kBlockBytes;
                b.played_total += frame_bytes;
                uint64_t after = b.played_total / kBlockBytes;
                if (after != before)
                    b.block_done[before % 2] = true;
            }
        }
    }
    for (size_t i = 0; i < samples; ++i) out[i] = int16_t(std::clamp(mix_[i], -32768.0f, 32767.0f));
}

uint64_t SOUNDKERNEL::MixedFrames() const {
    std::lock_guard lock(mutex_);
    return mixed_frames_;
}

}  // namespace vorlane::sound
