// SOUNDKERNEL implementation.
//
// Index:
// [SECTION] Mappings
// [SECTION] Error reporter
// [SECTION] Output buffers
// [SECTION] Start-up and shut-down
// [SECTION] Loading
// [SECTION] Playing and streaming
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

struct OutputBuffer {
    ~OutputBuffer() {
        if (decoder_open)
            ov_clear(&decoder);
    }
    uint32_t state = 0;
    std::shared_ptr<const std::vector<uint8_t>> data;
    std::unique_ptr<MemoryReader> reader;
    OggVorbis_File decoder{};
    bool decoder_open = false;
    int channels = 2;
    int rate = 44100;
    uint32_t length_ms = 0;
    int volume = 100;
    int pan = 0;
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

int SOUNDKERNEL::Store(std::unique_ptr<OutputBuffer> buffer) {
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
    if (with_3d)
        LOGSYS_Info("%s: creating listener", kModule);
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
    auto buffer = std::make_unique<OutputBuffer>();
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
    auto buffer = std::make_unique<OutputBuffer>();
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

// [SECTION] Playing and streaming

void SOUNDKERNEL::StreamBlock(OutputBuffer& b, int block) {
    uint8_t* dst = b.ring.data() + size_t(block) * kBlockBytes;
    size_t filled = 0;
    int errors = 0;
    bool data_since_restart = true;
    while (filled < kBlockBytes && !(b.state & kStateDataEnded)) {
        int section = 0;
        long n = ov_read(&b.decoder, reinterpret_cast<char*>(dst + filled),
                         int(kBlockBytes - filled), 0, 2, 1, &section);
        if (n > 0) {
            filled += size_t(n);
            errors = 0;
            data_since_restart = true;
            continue;
        }
        if (n < 0 && ++errors < kMaxDecodeErrors)
            continue;
        // End of the data (or damaged beyond reading): loop or finish. A loop
        // that produced nothing since its last restart finishes too.
        if ((b.state & kStateLooping) && data_since_restart && ov_raw_seek(&b.decoder, 0) == 0) {
            data_since_restart = false;
            errors = 0;
            continue;
        }
        b.state |= kStateDataEnded;
        b.end_total = b.block_base[block] + filled;
    }
    std::memset(dst + filled, 0, kBlockBytes - filled);
    b.block_done[block] = false;
    ++b.half_counter;
}

int SOUNDKERNEL::PlayDirect(int buffer_id, uint32_t flags) {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    if (b == nullptr)
        return -1;
    b->state = 0;
    if (flags & kPlayLoop)
        b->state |= kStateLooping;
    if (ov_raw_seek(&b->decoder, 0) != 0)
        return -1;
    b->played_total = 0;
    b->fraction = 0;
    b->half_counter = 0;
    b->end_total = UINT64_MAX;
    b->block_base[0] = 0;
    b->block_base[1] = kBlockBytes;
    StreamBlock(*b, 0);
    StreamBlock(*b, 1);
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

void SOUNDKERNEL::Process() {
    std::lock_guard lock(mutex_);
    for (auto& owned : buffers_) {
        if (!owned)
            continue;
        OutputBuffer& b = *owned;
        if (b.state & kStateStartPending) {
            b.state &= ~kStateStartPending;
            b.state |= kStatePlaying;
        }
        for (int block = 0; block < 2; ++block) {
            if (!b.block_done[block])
                continue;
            b.block_base[block] += kBufferBytes;
            if (b.state & kStateDataEnded) {
                std::memset(b.ring.data() + size_t(block) * kBlockBytes, 0, kBlockBytes);
                b.block_done[block] = false;
            } else {
                StreamBlock(b, block);
            }
        }
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
    return b ? VolumeToAttenuation(b->volume) : -10000;
}

int32_t SOUNDKERNEL::DevicePan(int buffer_id) const {
    std::lock_guard lock(mutex_);
    OutputBuffer* b = Get(buffer_id);
    return b ? PanToDevicePan(b->pan) : 0;
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

// [SECTION] Mixing

void SOUNDKERNEL::Mix(int16_t* out, size_t frames) {
    std::lock_guard lock(mutex_);
    size_t samples = frames * size_t(out_channels_);
    mix_.assign(samples, 0.0f);
    for (auto& owned : buffers_) {
        if (!owned || !(owned->state & kStatePlaying))
            continue;
        OutputBuffer& b = *owned;
        float gain = AttenuationToGain(VolumeToAttenuation(b.volume));
        int32_t pan = PanToDevicePan(b.pan);
        // A positive pan attenuates the left side, a negative one the right.
        float left = gain * (pan > 0 ? AttenuationToGain(-pan) : 1.0f);
        float right = gain * (pan < 0 ? AttenuationToGain(pan) : 1.0f);
        uint32_t frame_bytes = uint32_t(b.channels) * 2;
        uint32_t step = uint32_t((uint64_t(b.rate) << 16) / uint64_t(out_rate_));
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

}  // namespace vorlane::sound
