// Builds a small resource archive on disk for tests: a master index, one
// location index and BCF image per location, all under a private directory,
// and a RAMA_CTRL with every location loaded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "resources/bcf_library.h"
#include "resources/rama_ctrl.h"

namespace vorlane::testing {

struct TestResource {
    std::string address;
    int type = 1;
    std::string bytes;
};

struct TestLocation {
    std::string name;
    std::vector<TestResource> resources;
};

class TestDirectory {
  public:
    TestDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vorlane-lua-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        path_ = made ? made : "";
    }
    ~TestDirectory() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void Write(const std::string& name, const std::string& bytes) const {
        std::filesystem::path file = std::filesystem::path(path_) / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }

  private:
    std::string path_;
};

// A BCF image of the given objects.
inline std::vector<uint8_t> BcfImage(const std::vector<std::string>& objects) {
    std::vector<resources::BcfObjectSource> sources(objects.size());
    for (size_t i = 0; i < objects.size(); ++i) {
        sources[i].bytes = {reinterpret_cast<const uint8_t*>(objects[i].data()), objects[i].size()};
    }
    std::vector<uint8_t> image;
    resources::BuildBcfImage(sources, image);
    return image;
}

class TestArchive {
  public:
    explicit TestArchive(const std::vector<TestLocation>& locations) {
        std::string master =
            "\"TEST\" \"2026-01-01\" \"1\" \"" + std::to_string(locations.size()) + "\"";
        for (size_t k = 0; k < locations.size(); ++k) {
            const TestLocation& location = locations[k];
            master += " \"" + std::to_string(k) + "\"";
            std::string index = "\"" + location.name + "\"\n";
            std::vector<std::string> objects;
            for (const TestResource& resource : location.resources) {
                index += "\"" + resource.address + "\" \"0\" \"x\" \"" +
                         std::to_string(resource.type) + "\"\n";
                objects.push_back(resource.bytes);
            }
            char base[32];
            std::snprintf(base, sizeof base, "data/loc%04u", unsigned(k));
            dir_.Write(std::string(base) + ".dix", index);
            std::vector<uint8_t> image = BcfImage(objects);
            dir_.Write(std::string(base) + ".bcf", std::string(image.begin(), image.end()));
        }
        dir_.Write("data/master.dix", master);
        rama_.SetRootDirectory(dir_.path().c_str());
        ok_ = rama_.Init((dir_ / "data/master.dix").c_str()) == 1;
        for (const TestLocation& location : locations) {
            ok_ = ok_ && rama_.LoadLocation(rama_.GetLocationID(location.name.c_str())) == 1;
        }
    }

    bool ok() const { return ok_; }
    resources::RAMA_CTRL& rama() { return rama_; }
    const TestDirectory& dir() const { return dir_; }

  private:
    TestDirectory dir_;
    resources::RAMA_CTRL rama_;
    bool ok_ = false;
};

}  // namespace vorlane::testing
