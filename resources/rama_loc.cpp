#include "resources/rama_loc.h"

#include <cstring>

#include "baselib/log_channel.h"
#include "resources/rama_index.h"
#include "resources/res_file.h"

namespace vorlane::resources {

namespace {

constexpr const char* kClass = "RAMA_LOC";
// An index text larger than this is refused rather than read.
constexpr uint64_t kMaxIndexSize = 256u << 20;

// The name up to its extension: a "." after the last path separator.
std::string BaseName(std::string_view file_name) {
    size_t dot = file_name.rfind('.');
    size_t separator = file_name.find_last_of("/\\");
    if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator)) {
        return std::string(file_name);
    }
    return std::string(file_name.substr(0, dot));
}

}  // namespace

void RAMA_LOC::ClearAll() {
    Unload();
    base_name.clear();
    name.clear();
    index.clear();
    entries.clear();
    patch = false;
    has_index_ = false;
}

int RAMA_LOC::Init(const char* index_file_name) {
    static constexpr const char* kOp = "Init";
    ClearAll();
    if (!index_file_name) {
        Log(kLogError, "%s::%s: _name == NULL", kClass, kOp);
        return 0;
    }
    std::string_view file_name(index_file_name);
    base_name = BaseName(file_name.substr(0, std::min(file_name.size(), kMaxNameLength)));
    const char* reason = nullptr;
    std::vector<uint8_t> text;
    ReadOnlyFile file(base_name + ".dix");
    if (!file.IsOpen()) {
        Log(kLogError, "%s::%s: can't open index file", kClass, kOp);
        ClearAll();
        return 0;
    }
    int64_t length = file.Length();
    if (length < 0 || uint64_t(length) > kMaxIndexSize) {
        reason = "can't create index buffer";
    } else {
        text.resize(size_t(length));
        if (!file.ReadAt(0, text.data(), text.size()))
            reason = "can't read index file";
    }
    if (!reason && !ParseFromMemory(reinterpret_cast<const char*>(text.data()), text.size())) {
        reason = "can't parse file";
    }
    if (reason) {
        Log(kLogError, "%s::%s: %s", kClass, kOp, reason);
        ClearAll();
        return 0;
    }
    return 1;
}

int RAMA_LOC::ParseFromMemory(const char* text, size_t length) {
    LocationIndex parsed;
    if (!text || !ParseLocationIndexText(std::string_view(text, length), parsed))
        return 0;
    name = std::move(parsed.name);
    patch = parsed.patch;
    index.clear();
    entries.clear();
    entries.reserve(parsed.records.size());
    index.reserve(parsed.records.size());
    for (LocationRecord& record : parsed.records) {
        auto entry = std::make_unique<RAMA_INDEX_ENTRY>();
        entry->address = std::move(record.address);
        entry->resource_number = int32_t(entries.size());
        entry->number = record.number;
        entry->type = record.type;
        std::memcpy(entry->short_text, record.short_text.data(),
                    std::min(record.short_text.size(), sizeof entry->short_text - 1));
        // A repeated address keeps its first record for lookups.
        index.emplace(entry->address, entry.get());
        entries.push_back(std::move(entry));
    }
    has_index_ = true;
    return 1;
}

int RAMA_LOC::Load() {
    static constexpr const char* kOp = "Load";
    if (loaded) {
        Log(kLogInfo, "%s::%s: location '%s' already loaded", kClass, kOp,
            name.empty() ? "* UNKNOWN *" : name.c_str());
        return 1;
    }
    if (base_name.empty()) {
        Log(kLogError, "%s::%s: location '%s' has no filename", kClass, kOp,
            name.empty() ? "* UNKNOWN *" : name.c_str());
        return 0;
    }
    Unload();
    library = std::make_unique<BCF_LIBRARY>();
    std::string image_name = base_name.substr(0, kMaxNameLength) + ".bcf";
    if (library->LoadFile(image_name.c_str(), kBcfOwnItemsFlag | kBcfPlainBytes) != 0) {
        Log(kLogError, "%s::%s: %s", kClass, kOp, "error loading BCF");
        library.reset();
        return 0;
    }
    if (!has_index_ || library->GetCount() == 0) {
        Log(kLogError, "%s::%s: %s", kClass, kOp,
            has_index_ ? "resource count == 0" : "no location ID array");
        library.reset();
        return 0;
    }
    for (size_t i = 0; i < library->GetCount(); ++i) {
        int64_t size = library->GetSize(i);
        if (size <= 0 || !library->GetAt(i))
            continue;
        if (i >= entries.size()) {
            Log(kLogWarning, "%s::%s: no location ID: %d", kClass, kOp, int(i));
            continue;
        }
        RAMA_INDEX_ENTRY& entry = *entries[i];
        entry.res = std::make_unique<RAMA_RES>(int(entry.type));
        // The resource takes the object's bytes over; the library keeps its info.
        entry.res->Init(library->DetachBytes(i), uint32_t(size));
    }
    loaded = true;
    return 1;
}

void RAMA_LOC::Unload() {
    for (auto& entry : entries) entry->res.reset();
    library.reset();
    loaded = false;
}

int RAMA_LOC::FindResource(const char* address) const {
    if (!address) {
        Log(kLogError, "%s::%s: _address == NULL", kClass, "FindResource");
        return -1;
    }
    std::string patch_key = patch ? name + "." + address : std::string();
    auto found = index.find(patch ? std::string_view(patch_key) : std::string_view(address));
    return found == index.end() ? -1 : found->second->resource_number;
}

RAMA_RES* RAMA_LOC::GetResource(int number) const {
    if (!loaded || number < 0 || size_t(number) >= entries.size())
        return nullptr;
    return entries[size_t(number)]->res.get();
}

}  // namespace vorlane::resources
