// Resource builders: a table from a manifest source kind to the function that
// produces the resource's bytes. Other data kinds (text tables, images, fonts,
// videos, sounds) join by adding a row to the table in builders.cpp or by
// registering at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/pack/manifest.h"

namespace vorlane::pack {

struct BuildInput {
    const Manifest& manifest;
    const ManifestLocation& location;
    const ManifestResource& resource;
    // `resource.source` joined to the directory of the manifest that named it.
    std::string SourcePath() const;
};

// Fills `out` with the resource's bytes; false with a message in `error`.
using ResourceBuilder =
    std::function<bool(const BuildInput& input, std::vector<uint8_t>& out, std::string& error)>;

class BuilderRegistry {
  public:
    // A registry holding the standard kinds.
    static BuilderRegistry Standard();

    void Register(const std::string& kind, ResourceBuilder builder) {
        builders_[kind] = std::move(builder);
    }
    const ResourceBuilder* Find(const std::string& kind) const {
        auto found = builders_.find(kind);
        return found == builders_.end() ? nullptr : &found->second;
    }
    std::vector<std::string> Kinds() const;

  private:
    std::map<std::string, ResourceBuilder> builders_;
};

// The standard kinds.
bool BuildFromFile(const BuildInput& input, std::vector<uint8_t>& out, std::string& error);
bool BuildInline(const BuildInput& input, std::vector<uint8_t>& out, std::string& error);

}  // namespace vorlane::pack
