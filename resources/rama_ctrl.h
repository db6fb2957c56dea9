// RAMA_CTRL: the resource archive. A master index lists numbered locations;
// every location's index is read at Init, its bytes only when it is loaded by
// name. Later locations override earlier ones in address lookups, and locations
// named patch1, patch2, ... are loaded first by LoadPatches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "resources/filectrl.h"
#include "resources/rama_index.h"
#include "resources/rama_loc.h"
#include "resources/rama_res.h"

namespace vorlane::resources {

class RAMA_CTRL {
  public:
    static constexpr const char* kOwnProject = "VORLANEVESSEL";
    static constexpr uint32_t kOwnBuild = 556;
    static constexpr const char* kOwnDate = "2003-07-10 18:23:13";
    static constexpr int kMaxPatches = 100;

    RAMA_CTRL() = default;
    virtual ~RAMA_CTRL();
    RAMA_CTRL(const RAMA_CTRL&) = delete;
    RAMA_CTRL& operator=(const RAMA_CTRL&) = delete;

    // Location files are looked for relative to the working directory; a root
    // directory set before Init is searched after it (used by tools and tests).
    void SetRootDirectory(const char* directory) { root_directory_ = directory ? directory : ""; }

    // Reads the master index and every location index; 1/0.
    int Init(const char* master_dix_path);
    // Adds a location from its index file; its ID or -1.
    int AddLocation(const char* index_file_name);
    // ID of the location with this name (looked up lower-cased), or -1.
    int GetLocationID(const char* name) const;
    int LoadLocation(int id);
    int UnloadLocation(int id);
    void RemoveLocation(int id);
    // Loads patch1, patch2, ... up to the first missing one; 1/0.
    int LoadPatches();
    // (location ID, resource number) of an address, (-1, -1) when not found.
    std::pair<int, int> GetResourceID(const char* address) const;
    // The resource, or the null resource (type 0, no bytes) — never null.
    RAMA_RES* GetResource(int location_id, int resource_number);
    RAMA_RES* GetResource(const char* address);

    // The location of an ID, or null.
    RAMA_LOC* GetLocation(int id) const;
    // One past the highest ID handed out so far.
    int LocationSlots() const { return int(locations_.size()); }
    RAMA_RES& NullResource() { return null_resource_; }

    uint32_t ok = 1;
    MasterIndex master;  // the master header as read

  private:
    int TakeId();
    void FreeId(int id);
    void RemoveAll();
    void FailInit(const char* reason);

    std::vector<std::unique_ptr<RAMA_LOC>> locations_;  // by ID; null = free
    std::vector<int> free_ids_;                         // last freed first
    std::unordered_map<std::string, std::vector<int>> names_;
    std::unique_ptr<FILECTRL> file_ctrl_;
    std::vector<FILECTRL_ENTRY> file_entries_;
    std::string root_directory_;
    RAMA_RES null_resource_;
};

}  // namespace vorlane::resources
