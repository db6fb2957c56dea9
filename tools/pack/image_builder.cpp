#include "tools/pack/image_builder.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include "media/image_data.h"

namespace vorlane::pack {
namespace {

constexpr int kMaxSide = 4096;

bool ParseSide(const std::string& text, int& out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < 1 || v > kMaxSide)
        return false;
    out = int(v);
    return true;
}

bool EndsWith(const std::string& text, const char* suffix) {
    std::string s(suffix);
    if (text.size() < s.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (std::tolower(uint8_t(text[text.size() - s.size() + i])) != s[i])
            return false;
    return true;
}

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;
using Context = std::unique_ptr<cairo_t, ContextFree>;

// Cairo keeps premultiplied pixels; the image data format wants them straight.
void Unpremultiply(cairo_surface_t* surface, std::vector<uint32_t>& pixels) {
    cairo_surface_flush(surface);
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    pixels.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < w; ++x) {
            uint32_t p = row[x];
            uint32_t a = p >> 24;
            if (a == 0) {
                pixels[size_t(y) * w + x] = 0;
                continue;
            }
            auto channel = [&](int shift) {
                uint32_t c = (p >> shift) & 255;
                return std::min<uint32_t>(255, (c * 255 + a / 2) / a) << shift;
            };
            pixels[size_t(y) * w + x] = a << 24 | channel(16) | channel(8) | channel(0);
        }
    }
}

bool RenderSvg(const ImageRecipe& recipe, Surface& out, std::string& error) {
    GError* gerror = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_file(recipe.path.c_str(), &gerror);
    if (!handle) {
        error = "cannot read SVG '" + recipe.path + "': " + (gerror ? gerror->message : "?");
        if (gerror)
            g_error_free(gerror);
        return false;
    }
    double w = 0, h = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h) || w <= 0 || h <= 0) {
        w = recipe.width ? recipe.width : 64;
        h = recipe.height ? recipe.height : 64;
    }
    int width = recipe.width ? recipe.width : int(w + 0.5);
    int height = recipe.height ? recipe.height : int(h + 0.5);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        g_object_unref(handle);
        error = "SVG '" + recipe.path + "' has an unusable size";
        return false;
    }
    out.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    Context cr(cairo_create(out.get()));
    RsvgRectangle viewport{0, 0, double(width), double(height)};
    bool ok = rsvg_handle_render_document(handle, cr.get(), &viewport, &gerror);
    g_object_unref(handle);
    if (!ok) {
        error = "cannot render SVG '" + recipe.path + "': " + (gerror ? gerror->message : "?");
        if (gerror)
            g_error_free(gerror);
        return false;
    }
    return true;
}

bool RenderPng(const ImageRecipe& recipe, Surface& out, std::string& error) {
    Surface png(cairo_image_surface_create_from_png(recipe.path.c_str()));
    if (cairo_surface_status(png.get()) != CAIRO_STATUS_SUCCESS) {
        error = "cannot read PNG '" + recipe.path + "'";
        return false;
    }
    int w = cairo_image_surface_get_width(png.get()), h = cairo_image_surface_get_height(png.get());
    if (w > kMaxSide || h > kMaxSide) {
        error = "PNG '" + recipe.path + "' is larger than 4096 pixels";
        return false;
    }
    if (!recipe.width || !recipe.height) {
        out = std::move(png);
        return true;
    }
    out.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, recipe.width, recipe.height));
    Context cr(cairo_create(out.get()));
    cairo_scale(cr.get(), double(recipe.width) / w, double(recipe.height) / h);
    cairo_set_source_surface(cr.get(), png.get(), 0, 0);
    cairo_paint(cr.get());
    return true;
}

}  // namespace

bool ParseImageRecipe(const std::string& source, ImageRecipe& recipe, std::string& error) {
    recipe = ImageRecipe{};
    size_t query = source.find('?');
    recipe.path = source.substr(0, query);
    if (recipe.path.empty()) {
        error = "image source names no file";
        return false;
    }
    if (query == std::string::npos)
        return true;
    std::string rest = source.substr(query + 1);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('&', start);
        std::string pair =
            rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t eq = pair.find('=');
        std::string key = pair.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : pair.substr(eq + 1);
        bool ok = true;
        if (key == "width") {
            ok = ParseSide(value, recipe.width);
        } else if (key == "height") {
            ok = ParseSide(value, recipe.height);
        } else if (key == "format") {
            ok = value == "4" || value == "5";
            if (ok)
                recipe.format = value[0] - '0';
        } else if (!pair.empty()) {
            ok = false;
        }
        if (!ok) {
            error = "bad image setting '" + pair + "' (width=1..4096, height=1..4096, format=4|5)";
            return false;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

bool RenderImageFile(const ImageRecipe& recipe, std::vector<uint32_t>& pixels, int& width,
                     int& height, std::string& error) {
    Surface surface;
    bool ok = EndsWith(recipe.path, ".svg") ? RenderSvg(recipe, surface, error)
              : EndsWith(recipe.path, ".png")
                  ? RenderPng(recipe, surface, error)
                  : (error = "image source must be .svg or .png: '" + recipe.path + "'", false);
    if (!ok)
        return false;
    width = cairo_image_surface_get_width(surface.get());
    height = cairo_image_surface_get_height(surface.get());
    Unpremultiply(surface.get(), pixels);
    return true;
}

bool BuildImageData(const std::string& source, std::vector<uint8_t>& out, std::string& error) {
    ImageRecipe recipe;
    if (!ParseImageRecipe(source, recipe, error))
        return false;
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    if (!RenderImageFile(recipe, pixels, width, height, error))
        return false;
    if (recipe.format == 4) {
        // Opaque format: faint pixels become the transparent black, the rest
        // lose their alpha; a colour that is black but visible is nudged to
        // the darkest non-black so it stays visible.
        for (uint32_t& p : pixels) {
            if ((p >> 24) < 128) {
                p = 0;
            } else {
                p |= 0xFF000000u;
                if ((p & 0xFFFFFFu) == 0)
                    p |= 0x010101u;
            }
        }
    }
    out = media::EncodeImageData(pixels.data(), width, height, uint8_t(recipe.format));
    if (out.empty()) {
        error = "image '" + recipe.path + "' is too large for the image data format";
        return false;
    }
    return true;
}

}  // namespace vorlane::pack
