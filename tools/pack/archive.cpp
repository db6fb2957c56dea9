#include "tools/pack/archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "baselib/byte_reader.h"
#include "resources/res_file.h"

namespace vorlane::pack {

namespace {

constexpr char kDescriptorMarker[4] = {'V', 'P', 'K', '1'};
constexpr size_t kDescriptorNameSize = 24;
constexpr uint64_t kMaxIndexSize = 256u << 20;

std::string LocationBase(const std::string& root, uint32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "loc%04u", number);
    return (std::filesystem::path(root) / "data" / name).string();
}

bool WriteFile(const std::string& path, const void* data, size_t size, std::string& error) {
    if (!resources::WriteWholeFile(path, data, size)) {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace

// [SECTION] Descriptors

uint32_t PackCrc32(const uint8_t* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        uInt chunk = uInt(std::min<size_t>(size, std::numeric_limits<uInt>::max()));
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return uint32_t(crc);
}

void EncodeDescriptor(const PackDescriptor& descriptor,
                      uint8_t out[resources::kBcfDescriptorSize]) {
    std::vector<uint8_t> bytes;
    ByteWriter writer(bytes);
    writer.FixedString(std::string_view(descriptor.name).substr(0, kDescriptorNameSize - 1),
                       kDescriptorNameSize);
    writer.U32(descriptor.size);
    writer.U32(descriptor.crc);
    writer.U8(descriptor.type);
    writer.Bytes(kDescriptorMarker, sizeof kDescriptorMarker);
    writer.Zeros(2);
    std::memcpy(out, bytes.data(), resources::kBcfDescriptorSize);
}

bool DecodeDescriptor(const uint8_t in[resources::kBcfDescriptorSize], PackDescriptor& out) {
    ByteReader reader(in, resources::kBcfDescriptorSize);
    out.name = reader.FixedString(kDescriptorNameSize);
    out.size = reader.U32();
    out.crc = reader.U32();
    out.type = reader.U8();
    char marker[4];
    reader.Bytes(marker, sizeof marker);
    return reader.ok() && std::memcmp(marker, kDescriptorMarker, sizeof marker) == 0;
}

// [SECTION] Building

bool BuildArchive(const Manifest& manifest, const std::string& out_dir, const BuildOptions& options,
                  std::string& error) {
    BuilderRegistry standard;
    const BuilderRegistry* builders = options.builders;
    if (!builders) {
        standard = BuilderRegistry::Standard();
        builders = &standard;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(out_dir) / "data", ec);
    if (ec) {
        error = "cannot create '" + out_dir + "/data': " + ec.message();
        return false;
    }
    resources::MasterIndex master;
    master.project = manifest.project;
    master.date = manifest.date;
    master.build = manifest.build;

    size_t done = 0;
    for (const ManifestLocation& location : manifest.locations) {
        resources::LocationIndex index;
        index.name = location.name;
        std::vector<std::vector<uint8_t>> payloads(location.resources.size());
        std::vector<resources::BcfObjectSource> objects(location.resources.size());
        uint64_t total = 0;
        for (size_t i = 0; i < location.resources.size(); ++i) {
            const ManifestResource& res = location.resources[i];
            const ResourceBuilder* builder = builders->Find(res.kind);
            if (!builder) {
                error = res.where + ": unknown source kind '" + res.kind + "'";
                return false;
            }
            std::string why;
            if (!(*builder)(BuildInput{manifest, location, res}, payloads[i], why)) {
                error = res.where + ": resource '" + res.address + "': " + why;
                return false;
            }
            // An empty object fails the whole location when it is loaded.
            if (payloads[i].empty()) {
                error = res.where + ": resource '" + res.address + "' is empty";
                return false;
            }
            PackDescriptor descriptor{res.address, uint32_t(payloads[i].size()),
                                      PackCrc32(payloads[i].data(), payloads[i].size()),
                                      uint8_t(std::min<uint32_t>(res.type, 255))};
            EncodeDescriptor(descriptor, objects[i].descriptor);
            objects[i].bytes = payloads[i];
            total += payloads[i].size();
            index.records.push_back({res.address, res.number, res.short_text, res.type});
        }
        std::vector<uint8_t> image;
        if (!resources::BuildBcfImage(objects, image)) {
            error = location.where + ": location '" + location.name + "' exceeds 4 GiB";
            return false;
        }
        std::string base = LocationBase(out_dir, location.number);
        std::string index_text = resources::WriteLocationIndexText(index);
        if (!WriteFile(base + ".dix", index_text.data(), index_text.size(), error) ||
            !WriteFile(base + ".bcf", image.data(), image.size(), error)) {
            return false;
        }
        master.locations.push_back(location.number);
        ++done;
        if (options.progress) {
            *options.progress << "[" << done << "/" << manifest.locations.size() << "] location "
                              << location.number << " '" << location.name
                              << "': " << location.resources.size() << " resources, " << total
                              << " bytes\n";
        }
    }
    std::string master_text = resources::WriteMasterIndexText(master);
    return WriteFile((std::filesystem::path(out_dir) / "data" / "master.dix").string(),
                     master_text.data(), master_text.size(), error);
}

// [SECTION] Reading

bool ReadArchive(const std::string& root, ArchiveView& view, std::string& error) {
    view = ArchiveView{};
    std::string master_path = (std::filesystem::path(root) / "data" / "master.dix").string();
    std::vector<uint8_t> text;
    if (!resources::ReadWholeFile(master_path, text, kMaxIndexSize)) {
        error = "cannot read '" + master_path + "'";
        return false;
    }
    if (!resources::ParseMasterIndexText(
            std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
            view.master)) {
        error = "'" + master_path + "' is no valid master index";
        return false;
    }
    for (uint32_t number : view.master.locations) {
        ArchiveLocation location;
        location.number = number;
        std::string base = LocationBase(root, number);
        location.index_path = base + ".dix";
        location.image_path = base + ".bcf";
        if (resources::ReadWholeFile(location.index_path, text, kMaxIndexSize)) {
            location.index_ok = resources::ParseLocationIndexText(
                std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                location.index);
        }
        location.image_ok =
            resources::LoadBCFObjectList(location.image_path.c_str(), location.objects).has_value();
        view.locations.push_back(std::move(location));
    }
    return true;
}

void ListArchive(const ArchiveView& view, std::ostream& out) {
    out << "archive '" << view.master.project << "' build " << view.master.build << ", "
        << view.master.date << ", " << view.locations.size() << " locations\n";
    for (const ArchiveLocation& location : view.locations) {
        out << "location " << location.number << " '" << location.index.name << "' ("
            << location.index_path << "): ";
        if (!location.index_ok) {
            out << "index missing or unreadable\n";
            continue;
        }
        out << location.index.records.size() << " resources"
            << (location.index.patch ? ", patch" : "")
            << (location.image_ok ? "" : ", image missing or unreadable") << "\n";
        for (size_t i = 0; i < location.index.records.size(); ++i) {
            const resources::LocationRecord& record = location.index.records[i];
            out << "  " << i << "  " << record.address << "  type " << record.type << "  number "
                << record.number << "  \"" << record.short_text << "\"  ";
            if (i < location.objects.size()) {
                out << location.objects[i].size << " bytes\n";
            } else {
                out << "no object\n";
            }
        }
    }
}

bool ExtractResource(const ArchiveView& view, const std::string& address,
                     const std::string& location_name, std::vector<uint8_t>& out,
                     std::string& error) {
    for (auto it = view.locations.rbegin(); it != view.locations.rend(); ++it) {
        const ArchiveLocation& location = *it;
        if (!location.index_ok)
            continue;
        if (!location_name.empty() && location.index.name != location_name)
            continue;
        std::string key = location.index.patch ? location.index.name + "." + address : address;
        const auto& records = location.index.records;
        auto found = std::find_if(records.begin(), records.end(),
                                  [&](const auto& record) { return record.address == key; });
        if (found == records.end())
            continue;
        uint32_t number = uint32_t(found - records.begin());
        resources::BCF_LIBRARY library;
        if (library.LoadPart(location.image_path.c_str(), number, 1, 0) != 0 ||
            !library.GetAt(number)) {
            error = "'" + location.image_path + "' has no readable object " +
                    std::to_string(number) + " for '" + address + "'";
            return false;
        }
        const auto* bytes = static_cast<const uint8_t*>(library.GetAt(number));
        out.assign(bytes, bytes + library.GetSize(number));
        return true;
    }
    error = "address '" + address + "' not found" +
            (location_name.empty() ? "" : " in location '" + location_name + "'");
    return false;
}

int VerifyArchive(const ArchiveView& view, std::ostream& out) {
    int problems = 0;
    auto problem = [&](const std::string& text) {
        out << "problem: " << text << "\n";
        ++problems;
    };
    if (view.master.read_count != view.master.declared_count) {
        problem("master index declares " + std::to_string(view.master.declared_count) +
                " locations but lists " + std::to_string(view.master.read_count));
    }
    size_t resources_checked = 0;
    for (const ArchiveLocation& location : view.locations) {
        const std::string& where = location.index_path;
        if (!location.index_ok) {
            problem(where + ": index missing or unreadable");
            continue;
        }
        if (location.index.final_state != 2) {
            problem(where + ": index ends inside a record");
        }
        if (!location.image_ok) {
            problem(location.image_path + ": image missing or unreadable");
            continue;
        }
        const auto& records = location.index.records;
        if (records.size() != location.objects.size()) {
            problem(where + ": " + std::to_string(records.size()) + " records but " +
                    std::to_string(location.objects.size()) + " objects");
        }
        resources::BCF_LIBRARY library;
        bool loaded =
            library.LoadFile(location.image_path.c_str(), resources::PTRARY_BLOCKMEM) == 0;
        if (!loaded)
            problem(location.image_path + ": objects cannot be loaded");
        for (size_t i = 0; i < records.size() && i < location.objects.size(); ++i) {
            const resources::BCF_INFO& info = location.objects[i];
            std::string item =
                where + ": resource " + std::to_string(i) + " '" + records[i].address + "'";
            ++resources_checked;
            if (info.size == 0)
                problem(item + " has an empty object");
            if (records[i].type > 20) {
                problem(item + " has type " + std::to_string(records[i].type) + " outside 0 to 20");
            }
            PackDescriptor descriptor;
            if (!DecodeDescriptor(info.descriptor, descriptor))
                continue;
            if (descriptor.size != info.size) {
                problem(item + ": descriptor says " + std::to_string(descriptor.size) +
                        " bytes, offset table " + std::to_string(info.size));
            }
            if (descriptor.type != std::min<uint32_t>(records[i].type, 255)) {
                problem(item + ": descriptor type " + std::to_string(descriptor.type) +
                        " differs from the index");
            }
            if (loaded && info.size > 0 &&
                PackCrc32(static_cast<const uint8_t*>(library.GetAt(i)), info.size) !=
                    descriptor.crc) {
                problem(item + ": bytes do not match their checksum");
            }
        }
    }
    if (problems == 0) {
        out << "ok: " << view.locations.size() << " locations, " << resources_checked
            << " resources\n";
    }
    return problems;
}

}  // namespace vorlane::pack
