// RAMA_LOC: one location of the resource archive — its parsed index (always
// present once added) and, while loaded, its resources.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "resources/bcf_library.h"
#include "resources/rama_res.h"

namespace vorlane::resources {

// One resource record of a location.
struct RAMA_INDEX_ENTRY {
    std::string address;
    int32_t resource_number = -1;
    uint32_t number = 0;
    uint32_t type = 0;
    std::unique_ptr<RAMA_RES> res;  // null while the location is not loaded
    char short_text[16] = {};
};

class RAMA_LOC {
  public:
    static constexpr size_t kMaxNameLength = 249;

    RAMA_LOC() = default;
    virtual ~RAMA_LOC() = default;
    RAMA_LOC(const RAMA_LOC&) = delete;
    RAMA_LOC& operator=(const RAMA_LOC&) = delete;

    // Reads and parses base + ".dix"; 1/0.
    int Init(const char* index_file_name);
    // Loads base + ".bcf" and creates the resources; 1/0.
    int Load();
    // Destroys the resources and the loaded image; the index stays.
    void Unload();
    // Resource number of `address` (patches prefix their own name), or -1.
    int FindResource(const char* address) const;
    // The resource of a number while loaded, else null.
    RAMA_RES* GetResource(int number) const;
    // Parses an index text into this location; 1/0.
    int ParseFromMemory(const char* text, size_t length);

    size_t ResourceCount() const { return entries.size(); }
    const RAMA_INDEX_ENTRY* Entry(size_t number) const {
        return number < entries.size() ? entries[number].get() : nullptr;
    }

    bool valid = true;
    bool loaded = false;
    std::string base_name;
    std::string name;
    int id = -1;
    // address -> entry; the keys view the entries' own address strings.
    std::unordered_map<std::string_view, RAMA_INDEX_ENTRY*> index;
    std::unique_ptr<BCF_LIBRARY> library;
    std::vector<std::unique_ptr<RAMA_INDEX_ENTRY>> entries;  // resource number -> entry
    bool patch = false;

  private:
    void ClearAll();
    bool has_index_ = false;
};

}  // namespace vorlane::resources
