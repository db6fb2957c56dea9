// Shared helpers of the resources tests: a private temporary directory, the log
// capture and small archive builders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "media/image_data.h"
#include "resources/bcf_library.h"
#include "resources/rama_index.h"
#include "tests/support/log_capture.h"

namespace vorlane::resources::testing {

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vorlane-res-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

using vorlane::testing::LogCapture;

struct TestResource {
    std::string address;
    uint32_t type;
    std::string bytes;
};

struct TestLocation {
    uint32_t number;
    std::string name;
    std::vector<TestResource> resources;
};

inline std::string DataPath(const TempDir& dir, uint32_t number, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "data/loc%04u.%s", number, extension);
    return dir / name;
}

inline void WriteLocation(const TempDir& dir, const TestLocation& location) {
    LocationIndex index;
    index.name = location.name;
    std::vector<BcfObjectSource> objects(location.resources.size());
    for (size_t i = 0; i < location.resources.size(); ++i) {
        const TestResource& res = location.resources[i];
        index.records.push_back({res.address, uint32_t(i), "r", res.type});
        objects[i].bytes = {reinterpret_cast<const uint8_t*>(res.bytes.data()), res.bytes.size()};
    }
    WriteText(DataPath(dir, location.number, "dix"), WriteLocationIndexText(index));
    std::vector<uint8_t> image;
    ASSERT_TRUE(BuildBcfImage(objects, image));
    WriteBytes(DataPath(dir, location.number, "bcf"), image);
}

// Writes data/master.dix and every location; returns the master index path.
inline std::string WriteArchive(const TempDir& dir, const std::vector<TestLocation>& locations) {
    MasterIndex master;
    master.project = "TEST";
    master.date = "2026-12-08";
    master.build = 3;
    for (const auto& location : locations) {
        master.locations.push_back(location.number);
        WriteLocation(dir, location);
    }
    WriteText(dir / "data/master.dix", WriteMasterIndexText(master));
    return dir / "data/master.dix";
}

// A font of one glyph, a white `side` x `side` square that is also the error
// glyph, for the character `code`: DIR/f.bcf and DIR/f.txt.
inline void WriteSquareFont(const TempDir& dir, int side, int code) {
    std::vector<uint32_t> pixels(size_t(side) * size_t(side), 0xFFFFFFFFu);
    BcfObjectSource glyph;
    const auto image = vorlane::media::EncodeImageData(pixels.data(), side, side,
                                                       vorlane::media::kImageFormat32Alpha);
    glyph.bytes = image;
    std::vector<uint8_t> bcf;
    ASSERT_TRUE(BuildBcfImage(std::span(&glyph, 1), bcf));
    WriteBytes(dir / "f.bcf", bcf);
    WriteText(dir / "f.txt",
              "[font_header]\nchar_count = 1\nfont_height = " + std::to_string(side) +
                  "\nerror_char = 0\n[character_table]\nobj_000 = " + std::to_string(code) + "\n");
}

}  // namespace vorlane::resources::testing
