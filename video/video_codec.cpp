#include "video/video_codec.h"

#include <theora/theoradec.h>
#include <theora/theoraenc.h>

#include <algorithm>
#include <cstring>

namespace vorlane::video {

namespace {

struct EncoderDeleter {
    void operator()(th_enc_ctx* c) const { th_encode_free(c); }
};
struct DecoderDeleter {
    void operator()(th_dec_ctx* c) const { th_decode_free(c); }
};
using EncoderPtr = std::unique_ptr<th_enc_ctx, EncoderDeleter>;
using DecoderPtr = std::unique_ptr<th_dec_ctx, DecoderDeleter>;

void FillInfo(th_info* info, int width, int height, int fps, int quality) {
    th_info_init(info);
    info->frame_width = uint32_t((width + 15) & ~15);
    info->frame_height = uint32_t((height + 15) & ~15);
    info->pic_width = uint32_t(width);
    info->pic_height = uint32_t(height);
    info->pic_x = 0;
    info->pic_y = 0;
    info->colorspace = TH_CS_UNSPECIFIED;
    info->pixel_fmt = TH_PF_420;
    info->fps_numerator = uint32_t(fps > 0 ? fps : 25);
    info->fps_denominator = 1;
    info->aspect_numerator = 1;
    info->aspect_denominator = 1;
    info->target_bitrate = 0;
    info->quality = quality;
    info->keyframe_granule_shift = 6;
}

EncoderPtr MakeEncoder(int width, int height, int fps, int quality) {
    th_info info;
    FillInfo(&info, width, height, fps, quality);
    EncoderPtr enc(th_encode_alloc(&info));
    th_info_clear(&info);
    if (!enc)
        return nullptr;
    int vp3 = 1;
    th_encode_ctl(enc.get(), TH_ENCCTL_SET_VP3_COMPATIBLE, &vp3, sizeof vp3);
    return enc;
}

uint8_t Clamp255(int v) {
    return uint8_t(std::clamp(v, 0, 255));
}

// Lookup tables of the BT.601 conversion: the per-channel products and a
// clamp table indexed by the shifted sum (which stays within -300..600).
constexpr int kClampOffset = 512;
struct ColourTables {
    int y[256], rv[256], gu[256], gv[256], bu[256];
    uint8_t clamp[1536];
};
const ColourTables& Tables() {
    static const ColourTables tables = [] {
        ColourTables t{};
        for (int i = 0; i < 256; ++i) {
            t.y[i] = (i - 16) * 298 + 128;
            t.rv[i] = 409 * (i - 128);
            t.gu[i] = 100 * (i - 128);
            t.gv[i] = 208 * (i - 128);
            t.bu[i] = 516 * (i - 128);
        }
        for (int i = 0; i < 1536; ++i) t.clamp[i] = Clamp255(i - kClampOffset);
        return t;
    }();
    return tables;
}

class TheoraDecoder : public VideoDecoder {
  public:
    bool Init(int width, int height) {
        width_ = width;
        height_ = height;
        EncoderPtr enc = MakeEncoder(width, height, 25, 48);
        if (!enc)
            return false;
        th_info info;
        th_comment comment;
        th_info_init(&info);
        th_comment_init(&comment);
        th_comment enc_comment;
        th_comment_init(&enc_comment);
        th_setup_info* setup = nullptr;
        ogg_packet packet;
        bool ok = true;
        int headers = 0;
        while (th_encode_flushheader(enc.get(), &enc_comment, &packet) > 0) {
            if (th_decode_headerin(&info, &comment, &setup, &packet) < 0)
                ok = false;
            ++headers;
        }
        th_comment_clear(&enc_comment);
        if (ok && headers == 3 && setup != nullptr)
            decoder_.reset(th_decode_alloc(&info, setup));
        th_setup_free(setup);
        pic_x_ = int(info.pic_x);
        pic_y_ = int(info.pic_y);
        th_info_clear(&info);
        th_comment_clear(&comment);
        if (!decoder_)
            return false;
        picture_.assign(size_t(width) * size_t(height), 0xFF000000u);
        return true;
    }

    bool DecodeFrame(const uint8_t* data, size_t size) override {
        if (size == 0 || data == nullptr)
            return false;
        ogg_packet packet{};
        packet.packet = const_cast<unsigned char*>(data);
        packet.bytes = long(size);
        packet.packetno = ++packet_number_;
        packet.granulepos = -1;
        ogg_int64_t granule = 0;
        int r = th_decode_packetin(decoder_.get(), &packet, &granule);
        if (r != 0 && r != TH_DUPFRAME)
            return false;
        th_ycbcr_buffer ycbcr;
        if (th_decode_ycbcr_out(decoder_.get(), ycbcr) != 0)
            return false;
        const ColourTables& t = Tables();
        for (int y = 0; y < height_; ++y) {
            int sy = y + pic_y_;
            const uint8_t* py = ycbcr[0].data + ptrdiff_t(sy) * ycbcr[0].stride + pic_x_;
            const uint8_t* pu = ycbcr[1].data + ptrdiff_t(sy / 2) * ycbcr[1].stride + pic_x_ / 2;
            const uint8_t* pv = ycbcr[2].data + ptrdiff_t(sy / 2) * ycbcr[2].stride + pic_x_ / 2;
            // Rows go out bottom-up: picture row y lands in memory row height-1-y.
            uint32_t* out = picture_.data() + size_t(height_ - 1 - y) * size_t(width_);
            for (int x = 0; x < width_; ++x) {
                int c = t.y[py[x]];
                int u = pu[x >> 1], v = pv[x >> 1];
                const uint8_t* clamp = t.clamp + kClampOffset;
                uint32_t r8 = clamp[(c + t.rv[v]) >> 8];
                uint32_t g8 = clamp[(c - t.gu[u] - t.gv[v]) >> 8];
                uint32_t b8 = clamp[(c + t.bu[u]) >> 8];
                out[x] = 0xFF000000u | (r8 << 16) | (g8 << 8) | b8;
            }
        }
        return true;
    }

    const uint32_t* Picture() const override { return picture_.data(); }

  private:
    DecoderPtr decoder_;
    std::vector<uint32_t> picture_;
    int width_ = 0;
    int height_ = 0;
    int pic_x_ = 0;
    int pic_y_ = 0;
    int64_t packet_number_ = 2;
};

class TheoraEncoder : public VideoEncoder {
  public:
    bool Init(int width, int height, int fps, int quality) {
        width_ = width;
        height_ = height;
        encoder_ = MakeEncoder(width, height, fps, quality);
        if (!encoder_)
            return false;
        // The stream headers are produced and dropped: the decoder rebuilds them.
        th_comment comment;
        th_comment_init(&comment);
        ogg_packet packet;
        while (th_encode_flushheader(encoder_.get(), &comment, &packet) > 0) {
        }
        th_comment_clear(&comment);
        int fw = (width + 15) & ~15;
        int fh = (height + 15) & ~15;
        y_.assign(size_t(fw) * size_t(fh), 16);
        u_.assign(size_t(fw / 2) * size_t(fh / 2), 128);
        v_.assign(size_t(fw / 2) * size_t(fh / 2), 128);
        frame_w_ = fw;
        frame_h_ = fh;
        return true;
    }

    bool EncodeFrame(const uint32_t* argb, std::vector<uint8_t>* out) override {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                uint32_t p = argb[size_t(y) * size_t(width_) + size_t(x)];
                int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                y_[size_t(y) * size_t(frame_w_) + size_t(x)] =
                    Clamp255(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
                if ((x % 2) == 0 && (y % 2) == 0) {
                    size_t ci = size_t(y / 2) * size_t(frame_w_ / 2) + size_t(x / 2);
                    u_[ci] = Clamp255(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
                    v_[ci] = Clamp255(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
                }
            }
        }
        th_ycbcr_buffer buffer;
        buffer[0] = {frame_w_, frame_h_, frame_w_, y_.data()};
        buffer[1] = {frame_w_ / 2, frame_h_ / 2, frame_w_ / 2, u_.data()};
        buffer[2] = {frame_w_ / 2, frame_h_ / 2, frame_w_ / 2, v_.data()};
        if (th_encode_ycbcr_in(encoder_.get(), buffer) != 0)
            return false;
        ogg_packet packet;
        if (th_encode_packetout(encoder_.get(), 0, &packet) <= 0)
            return false;
        out->assign(packet.packet, packet.packet + packet.bytes);
        return true;
    }

  private:
    EncoderPtr encoder_;
    int width_ = 0, height_ = 0, frame_w_ = 0, frame_h_ = 0;
    std::vector<uint8_t> y_, u_, v_;
};

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

std::unique_ptr<VideoDecoder> CreateTheoraDecoder(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide)
        return nullptr;
    auto decoder = std::make_unique<TheoraDecoder>();
    if (!decoder->Init(width, height))
        return nullptr;
    return decoder;
}

std::unique_ptr<VideoEncoder> VideoEncoder::Create(int width, int height, int fps, int quality) {
    if (width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide)
        return nullptr;
    auto encoder = std::make_unique<TheoraEncoder>();
    if (!encoder->Init(width, height, fps, quality))
        return nullptr;
    return encoder;
}

std::vector<uint8_t> BuildPvf(const std::vector<std::vector<uint32_t>>& frames, int width,
                              int height, int fps) {
    auto encoder = VideoEncoder::Create(width, height, fps);
    if (!encoder)
        return {};
    std::vector<uint8_t> out(kPvfHeaderSize, 0);
    PutU32(out, 12, uint32_t(frames.size()));
    PutU32(out, 16, uint32_t(width));
    PutU32(out, 20, uint32_t(height));
    PutU32(out, 24, uint32_t(fps));
    std::vector<uint8_t> packet;
    for (const auto& frame : frames) {
        if (frame.size() != size_t(width) * size_t(height) ||
            !encoder->EncodeFrame(frame.data(), &packet))
            return {};
        size_t at = out.size();
        out.resize(at + kPvfFrameHeadSize, 0);
        PutU32(out, at + 8, uint32_t(packet.size()));
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

}  // namespace vorlane::video
