#include "sound/ogg_encode.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "sound/ogg_memory.h"

namespace vorlane::sound {

namespace {
void Append(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}
}  // namespace

std::vector<uint8_t> EncodeOggVorbis(const int16_t* samples, size_t frames, int channels, int rate,
                                     float quality) {
    std::vector<uint8_t> out;
    if (channels < 1 || channels > 2 || rate <= 0)
        return out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x564c524e);
    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) Append(out, page);

    constexpr size_t kChunk = 1024;
    size_t done = 0;
    bool eos = false;
    while (!eos) {
        size_t n = std::min(kChunk, frames - done);
        if (n == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, int(n));
            for (size_t i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = samples[(done + i) * size_t(channels) + size_t(c)] / 32768.0f;
            vorbis_analysis_wrote(&dsp, int(n));
            done += n;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    Append(out, page);
                    if (ogg_page_eos(&page))
                        eos = true;
                }
            }
        }
        if (n == 0 && !eos) {
            while (ogg_stream_flush(&stream, &page) != 0) Append(out, page);
            eos = true;
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

bool DecodeOggVorbis(const uint8_t* data, size_t size, std::vector<int16_t>* samples, int* channels,
                     int* rate, size_t max_frames) {
    MemoryReader reader(data, size);
    OggVorbis_File file;
    if (OpenOggMemory(&reader, &file) != 0)
        return false;
    vorbis_info* info = ov_info(&file, -1);
    if (info == nullptr || info->channels < 1) {
        ov_clear(&file);
        return false;
    }
    *channels = info->channels;
    *rate = int(info->rate);
    samples->clear();
    char buffer[8192];
    int errors = 0;
    size_t max_samples = max_frames * size_t(info->channels);
    while (samples->size() < max_samples) {
        int section = 0;
        long n = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &section);
        if (n == 0)
            break;
        if (n < 0) {
            if (++errors > 32)
                break;
            continue;
        }
        const int16_t* p = reinterpret_cast<const int16_t*>(buffer);
        size_t count = std::min(size_t(n) / 2, max_samples - samples->size());
        samples->insert(samples->end(), p, p + count);
    }
    ov_clear(&file);
    return true;
}

}  // namespace vorlane::sound
