#include "resources/rama_ctrl.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "baselib/log_channel.h"
#include "resources/rama_index.h"
#include "resources/res_file.h"

namespace vorlane::resources {

namespace {

constexpr const char* kClass = "RAMA_CTRL";
constexpr uint64_t kMaxMasterSize = 64u << 20;
constexpr int kIdPoolStep = 10;

const char* AfterLastBackslash(const char* path) {
    const char* slash = std::strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

}  // namespace

RAMA_CTRL::~RAMA_CTRL() {
    RemoveAll();
    Log(kLogInfo, "%s::%s: removed locations", kClass, "~RAMA_CTRL");
}

// [SECTION] Location-ID pool

int RAMA_CTRL::TakeId() {
    if (!free_ids_.empty()) {
        int id = free_ids_.back();
        free_ids_.pop_back();
        return id;
    }
    if (locations_.size() == locations_.capacity()) {
        locations_.reserve(locations_.size() + kIdPoolStep);
    }
    locations_.emplace_back();
    return int(locations_.size()) - 1;
}

void RAMA_CTRL::FreeId(int id) {
    locations_[size_t(id)].reset();
    free_ids_.push_back(id);
}

RAMA_LOC* RAMA_CTRL::GetLocation(int id) const {
    if (id < 0 || size_t(id) >= locations_.size())
        return nullptr;
    return locations_[size_t(id)].get();
}

// [SECTION] Init

void RAMA_CTRL::FailInit(const char* reason) {
    Log(kLogError, "%s::%s: %s", kClass, "Init", reason);
    file_entries_.clear();
    file_ctrl_.reset();
}

int RAMA_CTRL::Init(const char* master_dix_path) {
    static constexpr const char* kOp = "Init";
    if (!master_dix_path) {
        Log(kLogError, "%s::%s: _master_dix == NULL", kClass, kOp);
        return 0;
    }
    ReadOnlyFile file(master_dix_path);
    if (!file.IsOpen()) {
        Log(kLogError, "%s::%s: can't open '%s'", kClass, kOp, master_dix_path);
        return 0;
    }
    file_ctrl_ = std::make_unique<FILECTRL>();
    if (file_ctrl_->Init() != 0) {
        Log(kLogError, "%s::%s: RAMA file control init failed", kClass, kOp);
        file_ctrl_.reset();
        return 0;
    }
    if (!root_directory_.empty())
        file_ctrl_->AddSearchPath(root_directory_.c_str());

    int64_t length = file.Length();
    if (length == 0)
        return FailInit("zero length index file"), 0;
    if (length < 0 || uint64_t(length) > kMaxMasterSize) {
        return FailInit("can't allocate index buffer"), 0;
    }
    std::vector<uint8_t> text(static_cast<size_t>(length));
    if (!file.ReadAt(0, text.data(), text.size()))
        return FailInit("can't read index file"), 0;

    MasterIndex parsed;
    if (!ParseMasterIndexText(
            std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), parsed)) {
        master = MasterIndex{};
        return FailInit("can't parse master index"), 0;
    }
    master = parsed;
    if (parsed.locations.empty())
        return FailInit("no location files defined"), 0;

    file_entries_.assign(parsed.locations.size(), FILECTRL_ENTRY{});
    for (size_t i = 0; i < parsed.locations.size(); ++i) {
        std::snprintf(file_entries_[i].name, sizeof file_entries_[i].name, "%s",
                      LocationFileName(parsed.locations[i]).c_str());
    }
    // The file table holds at most 65535 entries; more would not be reachable.
    if (file_entries_.size() > 65535 ||
        file_ctrl_->SetFileTable(file_entries_.data(), uint16_t(file_entries_.size())) != 0) {
        return FailInit("can't install file list"), 0;
    }
    for (size_t i = 0; i < file_entries_.size(); ++i) {
        const char* path = file_ctrl_->GetPath(int(i));
        if (!path)
            continue;
        std::string resolved(path);
        if (AddLocation(resolved.c_str()) < 0)
            return FailInit("AddLocation failed"), 0;
        Log(kLogInfo, "%s::%s: added location file '%s'", kClass, kOp,
            AfterLastBackslash(resolved.c_str()));
    }
    Log(kLogInfo, "RAMA_INFO: header: %s (Build %d), %s", kOwnProject, int(kOwnBuild), kOwnDate);
    Log(kLogInfo, "RAMA_INFO: master: %s (Build %d), %s", master.project.c_str(), int(master.build),
        master.date.c_str());
    return 1;
}

// [SECTION] Locations

int RAMA_CTRL::AddLocation(const char* index_file_name) {
    static constexpr const char* kOp = "AddLocation";
    if (!index_file_name) {
        Log(kLogError, "%s::%s: _name == NULL", kClass, kOp);
        return -1;
    }
    auto location = std::make_unique<RAMA_LOC>();
    if (!location->Init(index_file_name)) {
        Log(kLogError, "%s::%s: can't init location", kClass, kOp);
        return -1;
    }
    int id = TakeId();
    location->id = id;
    names_[location->name].push_back(id);
    locations_[size_t(id)] = std::move(location);
    return id;
}

int RAMA_CTRL::GetLocationID(const char* name) const {
    if (!name) {
        Log(kLogError, "%s::%s: _locationname == NULL", kClass, "GetLocationID");
        return -1;
    }
    std::string key(name, strnlen(name, 255));
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    auto found = names_.find(key);
    if (found == names_.end() || found->second.empty())
        return -1;
    return found->second.front();
}

int RAMA_CTRL::LoadLocation(int id) {
    RAMA_LOC* location = GetLocation(id);
    if (!location) {
        Log(kLogError, "%s::%s: location not found: %d", kClass, "LoadLocation", id);
        return 0;
    }
    return location->Load();
}

int RAMA_CTRL::UnloadLocation(int id) {
    RAMA_LOC* location = GetLocation(id);
    if (!location) {
        Log(kLogError, "%s::%s: location not found: %d", kClass, "UnloadLocation", id);
        return 0;
    }
    location->Unload();
    return 1;
}

void RAMA_CTRL::RemoveLocation(int id) {
    RAMA_LOC* location = GetLocation(id);
    if (!location) {
        Log(kLogWarning, "%s::%s: location not found: %d", kClass, "RemoveLocation", id);
        return;
    }
    auto found = names_.find(location->name);
    if (found != names_.end()) {
        std::erase(found->second, id);
        if (found->second.empty())
            names_.erase(found);
    }
    FreeId(id);
}

void RAMA_CTRL::RemoveAll() {
    for (int id = 0; id < int(locations_.size()); ++id) {
        if (locations_[size_t(id)])
            RemoveLocation(id);
    }
    locations_.clear();
    free_ids_.clear();
    names_.clear();
}

int RAMA_CTRL::LoadPatches() {
    static constexpr const char* kOp = "LoadPatches";
    for (unsigned k = 1; k <= unsigned(kMaxPatches); ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%u", "patch", k);
        int id = GetLocationID(name);
        if (id < 0)
            return 1;
        if (!LoadLocation(id)) {
            Log(kLogError, "%s::%s: loading patch '%s' failed !", kClass, kOp, name);
            return 0;
        }
    }
    return 1;
}

// [SECTION] Lookups

std::pair<int, int> RAMA_CTRL::GetResourceID(const char* address) const {
    if (!address) {
        Log(kLogError, "%s::%s: _address == NULL", kClass, "GetResourceID");
        return {-1, -1};
    }
    for (int id = int(locations_.size()) - 1; id >= 0; --id) {
        const RAMA_LOC* location = locations_[size_t(id)].get();
        if (!location)
            continue;
        int number = location->FindResource(address);
        if (number >= 0)
            return {id, number};
    }
    return {-1, -1};
}

RAMA_RES* RAMA_CTRL::GetResource(int location_id, int resource_number) {
    if (location_id < 0 || resource_number < 0)
        return &null_resource_;
    RAMA_LOC* location = GetLocation(location_id);
    if (!location) {
        Log(kLogWarning, "%s::%s: location not found: %d", kClass, "GetResource", location_id);
        return &null_resource_;
    }
    RAMA_RES* res = location->GetResource(resource_number);
    return res ? res : &null_resource_;
}

RAMA_RES* RAMA_CTRL::GetResource(const char* address) {
    if (!address) {
        Log(kLogError, "%s::%s: _address == NULL", kClass, "GetResource");
        return &null_resource_;
    }
    auto [location_id, number] = GetResourceID(address);
    return GetResource(location_id, number);
}

}  // namespace vorlane::resources
