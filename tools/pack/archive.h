// Writing and inspecting whole archives: the master index, the location
// indexes and their block container images under <root>/data/.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "resources/bcf_library.h"
#include "resources/rama_index.h"
#include "tools/pack/builders.h"
#include "tools/pack/manifest.h"

namespace vorlane::pack {

// [SECTION] Object descriptors written by this tool
//
// 39 bytes: 0..23 name (the address cut to 23 characters, zero-padded),
// 24..27 size, 28..31 CRC-32 of the bytes, 32 type (capped at 255),
// 33..36 "VPK1", 37..38 zero. Images from elsewhere carry other descriptors;
// only ones with the marker are checked by `verify`.
struct PackDescriptor {
    std::string name;
    uint32_t size = 0;
    uint32_t crc = 0;
    uint8_t type = 0;
};
void EncodeDescriptor(const PackDescriptor& descriptor, uint8_t out[resources::kBcfDescriptorSize]);
bool DecodeDescriptor(const uint8_t in[resources::kBcfDescriptorSize], PackDescriptor& out);
uint32_t PackCrc32(const uint8_t* data, size_t size);

// [SECTION] Building

struct BuildOptions {
    const BuilderRegistry* builders = nullptr;  // null = the standard kinds
    std::ostream* progress = nullptr;           // one line per location when set
};

// Writes <out_dir>/data/master.dix and every location's .dix and .bcf.
bool BuildArchive(const Manifest& manifest, const std::string& out_dir, const BuildOptions& options,
                  std::string& error);

// [SECTION] Reading

struct ArchiveLocation {
    uint32_t number = 0;
    std::string index_path;  // <root>/data/locNNNN.dix
    std::string image_path;  // <root>/data/locNNNN.bcf
    bool index_ok = false;
    resources::LocationIndex index;
    std::vector<resources::BCF_INFO> objects;  // from the image's offset table
    bool image_ok = false;
};

struct ArchiveView {
    resources::MasterIndex master;
    std::vector<ArchiveLocation> locations;  // master order = location ID order
};

// Reads the master index and every location index and object list below `root`.
bool ReadArchive(const std::string& root, ArchiveView& view, std::string& error);

// Prints locations, addresses, types and sizes.
void ListArchive(const ArchiveView& view, std::ostream& out);

// Finds an address as the archive does (later locations first; patches by their
// own name prefix); with `location_name`, only in that location. Copies the bytes.
bool ExtractResource(const ArchiveView& view, const std::string& address,
                     const std::string& location_name, std::vector<uint8_t>& out,
                     std::string& error);

// Checks every index record against its object; writes one line per problem
// and returns the number of problems.
int VerifyArchive(const ArchiveView& view, std::ostream& out);

}  // namespace vorlane::pack
