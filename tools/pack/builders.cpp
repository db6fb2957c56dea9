#include "tools/pack/builders.h"

#include <filesystem>

#include "resources/res_file.h"
#include "resources/text_source.h"
#include "tools/pack/font_builder.h"
#include "tools/pack/image_builder.h"
#include "tools/pack/sound_builder.h"
#include "tools/pack/video_builder.h"

namespace vorlane::pack {

namespace {

// Larger sources do not fit the 32-bit offsets of an image anyway.
constexpr uint64_t kMaxSourceSize = 0xFFFFFFFFull;

struct BuilderRow {
    const char* kind;
    bool (*build)(const BuildInput&, std::vector<uint8_t>&, std::string&);
};

// The standard source kinds. New kinds add a row here.
constexpr BuilderRow kStandardBuilders[] = {
    {"file", BuildFromFile},  // the bytes of a file, unchanged
    {"inline", BuildInline},  // the source text itself
    {"text",                  // a text source compiled to a text resource (type 11)
     [](const BuildInput& input, std::vector<uint8_t>& out, std::string& error) {
         return resources::CompileTextSourceFile(input.SourcePath(), out, error);
     }},
    {"ogg", BuildSoundResource},    // an Ogg Vorbis sound (type 13) from WAV or a tone recipe
    {"pvf", BuildVideoResource},    // a pvf video of Theora frames
    {"image", BuildImageResource},  // SVG or PNG art in the image data format
    {"font", BuildFontResource},    // a TrueType face as a glyph container
    {"fontdef", BuildFontDefinitionResource},  // the definition text of that font
};

}  // namespace

std::string BuildInput::SourcePath() const {
    std::filesystem::path source(resource.source);
    if (source.is_absolute())
        return source.string();
    return (std::filesystem::path(resource.base_dir) / source).string();
}

BuilderRegistry BuilderRegistry::Standard() {
    BuilderRegistry registry;
    for (const BuilderRow& row : kStandardBuilders) registry.Register(row.kind, row.build);
    return registry;
}

std::vector<std::string> BuilderRegistry::Kinds() const {
    std::vector<std::string> kinds;
    for (const auto& entry : builders_) kinds.push_back(entry.first);
    return kinds;
}

bool BuildFromFile(const BuildInput& input, std::vector<uint8_t>& out, std::string& error) {
    std::string path = input.SourcePath();
    if (!resources::ReadWholeFile(path, out, kMaxSourceSize)) {
        error = "cannot read source file '" + path + "'";
        return false;
    }
    return true;
}

bool BuildInline(const BuildInput& input, std::vector<uint8_t>& out, std::string&) {
    out.assign(input.resource.source.begin(), input.resource.source.end());
    return true;
}

}  // namespace vorlane::pack
