#include "tools/pack/sound_builder.h"

#include <cmath>
#include <cstdlib>

#include "baselib/byte_reader.h"
#include "resources/res_file.h"
#include "sound/ogg_encode.h"

namespace vorlane::pack {

namespace {
constexpr uint64_t kMaxWavSize = 256u << 20;
constexpr double kTwoPi = 6.283185307179586;
}  // namespace

bool ReadWav(const std::vector<uint8_t>& bytes, std::vector<int16_t>& samples, int& channels,
             int& rate, std::string& error) {
    ByteReader r(bytes.data(), bytes.size());
    uint32_t riff = r.U32();
    r.U32();
    uint32_t wave = r.U32();
    if (!r.ok() || riff != 0x46464952u || wave != 0x45564157u) {
        error = "not a RIFF WAVE file";
        return false;
    }
    int bits = 0;
    channels = 0;
    while (r.remaining() >= 8) {
        uint32_t id = r.U32();
        uint32_t size = r.U32();
        if (!r.Need(size))
            break;
        if (id == 0x20746d66u) {  // "fmt "
            ByteReader f(r.current(), size);
            uint16_t format = f.U16();
            channels = f.U16();
            rate = int(f.U32());
            f.U32();
            f.U16();
            bits = f.U16();
            if (!f.ok() || format != 1 || bits != 16 || channels < 1 || channels > 2 || rate <= 0) {
                error = "only 16-bit PCM mono or stereo WAV files are supported";
                return false;
            }
        } else if (id == 0x61746164u && channels > 0) {  // "data"
            samples.resize(size / 2);
            ByteReader d(r.current(), size);
            for (auto& s : samples) s = d.I16();
            return true;
        }
        r.Skip(size + (size & 1));
    }
    error = "WAV file without format or data";
    return false;
}

bool GenerateTone(const std::string& recipe, std::vector<int16_t>& samples, int& channels,
                  int& rate, std::string& error) {
    std::string name = recipe.substr(0, recipe.find(','));
    double seconds = name == "music" ? 8.0 : name == "menu" ? 0.25 : 0.06;
    double volume = name == "music" ? 0.12 : 0.5;
    for (size_t at = recipe.find(','); at != std::string::npos; at = recipe.find(',', at + 1)) {
        std::string kv = recipe.substr(at + 1, recipe.find(',', at + 1) - at - 1);
        if (kv.rfind("seconds=", 0) == 0)
            seconds = std::atof(kv.c_str() + 8);
        if (kv.rfind("volume=", 0) == 0)
            volume = std::atof(kv.c_str() + 7);
    }
    if (!(seconds > 0 && seconds <= 60) || !(volume >= 0 && volume <= 1)) {
        error = "tone recipe out of range";
        return false;
    }
    rate = 44100;
    channels = 2;
    size_t frames = size_t(seconds * rate);
    samples.assign(frames * 2, 0);
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        double l = 0, r = 0;
        if (name == "click") {
            double env = std::exp(-t * 90.0);
            l = r = env * std::sin(kTwoPi * 1800.0 * t);
        } else if (name == "menu") {
            double f = t < seconds / 2 ? 660.0 : 880.0;
            double env = std::exp(-std::fmod(t, seconds / 2) * 18.0);
            l = r = env * std::sin(kTwoPi * f * t);
        } else if (name == "music") {
            // A slow pad over four chords; the loop point falls on a chord change.
            static const double kChords[4][3] = {{220.0, 277.18, 329.63},
                                                 {196.0, 246.94, 293.66},
                                                 {174.61, 220.0, 261.63},
                                                 {196.0, 246.94, 329.63}};
            const double* chord = kChords[size_t(t / (seconds / 4)) % 4];
            for (int k = 0; k < 3; ++k) {
                l += std::sin(kTwoPi * chord[k] * t) / 3.0;
                r += std::sin(kTwoPi * chord[k] * 1.002 * t) / 3.0;
            }
            double edge = std::min(1.0, std::min(t, seconds - t) * 20.0);
            l *= edge;
            r *= edge;
        } else {
            error = "unknown tone recipe '" + name + "'";
            return false;
        }
        samples[i * 2] = int16_t(std::lround(l * volume * 32767.0));
        samples[i * 2 + 1] = int16_t(std::lround(r * volume * 32767.0));
    }
    return true;
}

bool BuildSoundResource(const BuildInput& input, std::vector<uint8_t>& out, std::string& error) {
    std::vector<int16_t> samples;
    int channels = 0, rate = 0;
    const std::string& source = input.resource.source;
    if (source.rfind("tone:", 0) == 0) {
        if (!GenerateTone(source.substr(5), samples, channels, rate, error))
            return false;
    } else {
        std::vector<uint8_t> bytes;
        if (!resources::ReadWholeFile(input.SourcePath(), bytes, kMaxWavSize)) {
            error = "cannot read WAV file '" + input.SourcePath() + "'";
            return false;
        }
        if (!ReadWav(bytes, samples, channels, rate, error))
            return false;
    }
    out = sound::EncodeOggVorbis(samples.data(), samples.size() / size_t(channels), channels, rate,
                                 0.3f);
    if (out.empty()) {
        error = "Vorbis encoding failed";
        return false;
    }
    return true;
}

}  // namespace vorlane::pack
