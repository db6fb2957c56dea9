// TEXTLIB: player-visible texts looked up by name.
//
// A text resource (archive type 11) is a BCF image: object 0 is a Lua chunk
// that leaves a table `application_text_ids` mapping text names to numbers,
// object n is the bytes of text n ("#" stands for ","). Each added resource
// becomes one TEXTLIB_LIB whose names table is kept in the Lua global
// `application_text_ids<number>`. Names are looked up in the most recently
// added library first, so later resources override earlier ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "resources/bcf_library.h"

struct lua_State;

namespace vorlane::resources {

class RAMA_CTRL;

// The names table global before and after a library takes it over.
inline constexpr const char* kTextIdsGlobal = "application_text_ids";

// One text resource.
class TEXTLIB_LIB {
  public:
    TEXTLIB_LIB();  // takes the next number of the process-wide counter
    ~TEXTLIB_LIB() { Release(); }
    TEXTLIB_LIB(const TEXTLIB_LIB&) = delete;
    TEXTLIB_LIB& operator=(const TEXTLIB_LIB&) = delete;

    // Loads the image and runs its names chunk in `lua`; 1/0.
    int Init(const uint8_t* data, size_t size, lua_State* lua);
    // The text number of `name`, 0 when it is not in the table.
    uint32_t GetID(const char* name) const;
    // Text `number` ("#" read as ","), or null; 0 is always null.
    const std::string* GetText(uint32_t number);
    // Frees the image and the cached texts and sets the names table global to nil.
    void Release();

    uint32_t GetNumber() const { return number_; }
    // The global that holds this library's names table.
    std::string TableName() const;
    bool valid = false;

  private:
    uint32_t number_;
    BCF_LIBRARY bcf_;
    std::vector<std::optional<std::string>> cache_;
    lua_State* lua_ = nullptr;
};

// The program's text libraries; their IDs are 1, 2, ... in the order added.
class TEXTLIB {
  public:
    TEXTLIB() = default;
    ~TEXTLIB() { RemoveAll(); }
    TEXTLIB(const TEXTLIB&) = delete;
    TEXTLIB& operator=(const TEXTLIB&) = delete;

    // Removes every library and keeps the state (and the archive the
    // resources are taken from); 0 for a null state.
    int Init(lua_State* lua, RAMA_CTRL* rama = nullptr);
    // Adds the archive's type-11 resource at `address`: its ID, or 0.
    uint32_t AddTextResource(const char* address);
    // Adds a text resource image given as bytes (copied): its ID, or 0.
    uint32_t AddTextData(const uint8_t* data, size_t size);
    // The text of `name` from the newest library that has it, or null.
    const std::string* GetText(const char* name);
    // The same as a C string, or null.
    const char* GetTextC(const char* name) {
        const std::string* text = GetText(name);
        return text ? text->c_str() : nullptr;
    }
    uint32_t GetCount() const { return static_cast<uint32_t>(libraries_.size()); }
    TEXTLIB_LIB* GetLibrary(uint32_t id) const {
        return id >= 1 && id <= libraries_.size() ? libraries_[id - 1].get() : nullptr;
    }
    // Removes the libraries from the highest ID down.
    void RemoveAll();

  private:
    uint32_t AddLibrary(const uint8_t* data, size_t size);

    std::vector<std::unique_ptr<TEXTLIB_LIB>> libraries_;
    lua_State* lua_ = nullptr;
    RAMA_CTRL* rama_ = nullptr;
};

}  // namespace vorlane::resources
