#include "tools/pack/video_builder.h"

#include <cmath>
#include <cstdlib>

#include "video/video_codec.h"

namespace vorlane::pack {

bool GenerateLogoFrames(int width, int height, int frames,
                        std::vector<std::vector<uint32_t>>& out) {
    if (width <= 0 || height <= 0 || frames <= 0 || frames > 1000 || width > 1024 || height > 1024)
        return false;
    out.clear();
    for (int f = 0; f < frames; ++f) {
        std::vector<uint32_t> px(size_t(width) * size_t(height));
        double phase = double(f) / frames;
        double angle = phase * 6.283185307179586;
        double cx = width / 2.0, cy = height / 2.0;
        double radius = std::min(width, height) * 0.32;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                double dx = x - cx, dy = y - cy;
                double d = std::sqrt(dx * dx + dy * dy);
                double ring = std::exp(-std::pow((d - radius) / 3.0, 2.0));
                double a = std::atan2(dy, dx);
                double sweep = 0.5 + 0.5 * std::cos(a - angle);
                double glow = ring * (0.35 + 0.65 * sweep);
                int r = int(10 + 60 * glow), g = int(20 + 150 * glow), b = int(40 + 215 * glow);
                bool bar = y > height * 0.82 && y < height * 0.86 &&
                           x < width * (0.1 + 0.8 * phase) && x > width * 0.1;
                if (bar)
                    r = 230, g = 200, b = 90;
                px[size_t(y) * size_t(width) + size_t(x)] =
                    0xFF000000u | uint32_t(std::min(r, 255)) << 16 |
                    uint32_t(std::min(g, 255)) << 8 | uint32_t(std::min(b, 255));
            }
        }
        out.push_back(std::move(px));
    }
    return true;
}

bool BuildVideoResource(const BuildInput& input, std::vector<uint8_t>& out, std::string& error) {
    const std::string& source = input.resource.source;
    if (source.rfind("logo", 0) != 0) {
        error = "unknown video source '" + source + "' (expected logo:...)";
        return false;
    }
    int width = 256, height = 128, frames = 30, fps = 15;
    size_t at = source.find(':');
    while (at != std::string::npos) {
        size_t next = source.find(',', at + 1);
        std::string kv =
            source.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        int value = std::atoi(kv.c_str() + kv.find('=') + 1);
        if (kv.rfind("width=", 0) == 0)
            width = value;
        else if (kv.rfind("height=", 0) == 0)
            height = value;
        else if (kv.rfind("frames=", 0) == 0)
            frames = value;
        else if (kv.rfind("fps=", 0) == 0)
            fps = value;
        at = next;
    }
    std::vector<std::vector<uint32_t>> pictures;
    if (!GenerateLogoFrames(width, height, frames, pictures) || fps < 0 || fps > 100) {
        error = "logo video parameters out of range";
        return false;
    }
    out = video::BuildPvf(pictures, width, height, fps);
    if (out.empty()) {
        error = "Theora encoding failed";
        return false;
    }
    return true;
}

}  // namespace vorlane::pack
