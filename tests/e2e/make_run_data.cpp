// Builds the data of a run folder the way the end-to-end tests and the
// screenshots need it: the archive of the main manifest with the art manifest's
// pictures added to their locations, and the program's bitmap fonts.
//
//   vorlane-menus-data MAIN_MANIFEST ART_MANIFEST OUTDIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/pack/archive.h"
#include "tools/pack/builders.h"
#include "tools/pack/font_builder.h"
#include "tools/pack/image_builder.h"
#include "tools/pack/manifest.h"

namespace {

using namespace vorlane::pack;

constexpr const char* kFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kBoldFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

struct FontFile {
    const char* name;
    const char* face;
    int size;
};

// Font numbers 0 to 9 in the order of the program's font table.
constexpr FontFile kFonts[] = {
    {"font00", kFace, 12},     {"font01", kBoldFace, 16}, {"font02", kFace, 20},
    {"font03", kBoldFace, 24}, {"font06", kFace, 10},     {"robust11", kFace, 11},
    {"robust13", kFace, 13},   {"robust23", kBoldFace, 23}, {"robust27", kBoldFace, 27},
    {"robust12", kFace, 14},
};

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: vorlane-menus-data MAIN_MANIFEST ART_MANIFEST OUTDIR\n";
        return 2;
    }
    Manifest manifest, art;
    std::string error;
    if (!LoadManifest(argv[1], manifest, error) || !LoadManifest(argv[2], art, error)) {
        std::cerr << error << "\n";
        return 1;
    }
    for (const ManifestLocation& extra : art.locations) {
        for (ManifestLocation& location : manifest.locations) {
            if (location.number != extra.number) continue;
            location.resources.insert(location.resources.end(), extra.resources.begin(),
                                      extra.resources.end());
        }
    }
    BuilderRegistry builders = BuilderRegistry::Standard();
    builders.Register("image", BuildImageResource);
    BuildOptions options;
    options.builders = &builders;
    if (!BuildArchive(manifest, argv[3], options, error)) {
        std::cerr << error << "\n";
        return 1;
    }
    std::filesystem::path font_dir = std::filesystem::path(argv[3]) / "data" / "font";
    std::filesystem::create_directories(font_dir);
    for (const FontFile& font : kFonts) {
        std::string source = std::string(font.face) + "?size=" + std::to_string(font.size);
        std::vector<uint8_t> bcf, definition;
        if (!BuildFontBcf(source, bcf, error) || !BuildFontDefinition(source, definition, error) ||
            !WriteFile(font_dir / (std::string(font.name) + ".bcf"), bcf) ||
            !WriteFile(font_dir / (std::string(font.name) + ".txt"), definition)) {
            std::cerr << font.name << ": " << error << "\n";
            return 1;
        }
    }
    return 0;
}
