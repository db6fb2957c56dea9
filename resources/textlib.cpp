#include "resources/textlib.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <lua.hpp>
#include <new>

#include "baselib/log_channel.h"
#include "resources/rama_ctrl.h"

namespace vorlane::resources {
namespace {

constexpr const char* kControlClass = "TEXTLIB";
constexpr const char* kLibraryClass = "TEXTLIB_LIB";
// A names chunk only builds a table. One that runs this many VM instructions
// is not doing that and is stopped, so a damaged resource cannot hang start-up.
constexpr int kInstructionBudget = 1000;
constexpr int kBudgetChecks = 20000;  // x kInstructionBudget instructions

std::atomic<uint32_t> g_next_number{0};

void PushRawGlobal(lua_State* lua, const char* name);

struct Budget {
    int left = kBudgetChecks;
};

void CountHook(lua_State* lua, lua_Debug*) {
    lua_getfield(lua, LUA_REGISTRYINDEX, "vorlane.textlib.budget");
    auto* budget = static_cast<Budget*>(lua_touserdata(lua, -1));
    lua_pop(lua, 1);
    if (budget && --budget->left <= 0)
        luaL_error(lua, "text_ids: instruction limit reached");
}

// Runs `size` bytes as a chunk named `chunk_name`, protected. An error goes
// to "_ALERT" when the state has one, as with every script the program runs.
bool RunChunk(lua_State* lua, const char* data, size_t size, const char* chunk_name) {
    int top = lua_gettop(lua);
    Budget budget;
    lua_pushlightuserdata(lua, &budget);
    lua_setfield(lua, LUA_REGISTRYINDEX, "vorlane.textlib.budget");
    lua_Hook old_hook = lua_gethook(lua);
    int old_mask = lua_gethookmask(lua);
    int old_count = lua_gethookcount(lua);
    lua_sethook(lua, CountHook, LUA_MASKCOUNT, kInstructionBudget);

    int status = luaL_loadbuffer(lua, data, size, chunk_name);
    if (status == LUA_OK)
        status = lua_pcall(lua, 0, 0, 0);
    if (status != LUA_OK) {
        PushRawGlobal(lua, "_ALERT");
        if (lua_isfunction(lua, -1)) {
            lua_insert(lua, -2);
            lua_pcall(lua, 1, 0, 0);
        }
    }
    lua_sethook(lua, old_hook, old_mask, old_count);
    lua_pushnil(lua);
    lua_setfield(lua, LUA_REGISTRYINDEX, "vorlane.textlib.budget");
    lua_settop(lua, top);
    return status == LUA_OK;
}

bool RunStatement(lua_State* lua, const std::string& statement) {
    return RunChunk(lua, statement.data(), statement.size(), statement.c_str());
}

// Pushes the global `name` read raw, so that a metatable a chunk may have put
// on the globals cannot raise an error outside a protected call.
void PushRawGlobal(lua_State* lua, const char* name) {
    lua_rawgeti(lua, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(lua, name);
    lua_rawget(lua, -2);
    lua_remove(lua, -2);
}

// Sets the global `name` to nil, raw for the same reason.
void ClearRawGlobal(lua_State* lua, const char* name) {
    lua_rawgeti(lua, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(lua, name);
    lua_pushnil(lua);
    lua_rawset(lua, -3);
    lua_pop(lua, 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// TEXTLIB_LIB
// ---------------------------------------------------------------------------

TEXTLIB_LIB::TEXTLIB_LIB() : number_(g_next_number.fetch_add(1)) {}

std::string TEXTLIB_LIB::TableName() const {
    return kTextIdsGlobal + std::to_string(number_);
}

int TEXTLIB_LIB::Init(const uint8_t* data, size_t size, lua_State* lua) {
    static constexpr const char* kOp = "Init";
    if (!data || size == 0 || !lua) {
        Log(kLogError, "%s::%s: invalid parameter (no block)", kLibraryClass, kOp);
        return 0;
    }
    Release();
    if (bcf_.LoadMemory(data, data + size, PTRARY_BLOCKMEM) != 0) {
        Log(kLogError, "%s::%s: can't load text BCF", kLibraryClass, kOp);
        return 0;
    }
    try {
        cache_.assign(bcf_.GetCount(), std::nullopt);
    } catch (const std::bad_alloc&) {
        Log(kLogError, "%s::%s: can't allocate BCF", kLibraryClass, kOp);
        bcf_.Clear();
        return 0;
    }
    lua_ = lua;
    const auto* definition = static_cast<const char*>(bcf_.GetAt(0));
    int64_t definition_size = bcf_.GetSize(0);
    if (!definition || definition_size <= 0) {
        Log(kLogError, "%s::%s: failed loading definition", kLibraryClass, kOp);
        Release();
        return 0;
    }
    // A names table left behind by an earlier failed load must not be taken
    // for this library's.
    ClearRawGlobal(lua, kTextIdsGlobal);
    RunChunk(lua, definition, size_t(definition_size), "text_ids");
    PushRawGlobal(lua, kTextIdsGlobal);
    bool is_table = lua_istable(lua, -1);
    lua_pop(lua, 1);
    if (!is_table) {
        Log(kLogError, "%s::%s: lua parsing failed", kLibraryClass, kOp);
        Release();
        return 0;
    }
    if (!RunStatement(lua, TableName() + " = " + kTextIdsGlobal)) {
        Log(kLogError, "%s::%s: failed create IDs", kLibraryClass, kOp);
        Release();
        return 0;
    }
    RunStatement(lua, std::string(kTextIdsGlobal) + " = nil");
    valid = true;
    return 1;
}

uint32_t TEXTLIB_LIB::GetID(const char* name) const {
    if (!lua_ || !name)
        return 0;
    int top = lua_gettop(lua_);
    PushRawGlobal(lua_, TableName().c_str());
    if (!lua_istable(lua_, -1)) {
        Log(kLogError, "%s: text definitions not found", kControlClass);
        lua_settop(lua_, top);
        return 0;
    }
    lua_pushstring(lua_, name);
    lua_rawget(lua_, -2);
    uint32_t id = 0;
    if (lua_type(lua_, -1) == LUA_TNUMBER) {
        // Numbers outside the text range give no text (0), whatever their size.
        lua_Number value = std::trunc(lua_tonumber(lua_, -1));
        if (value >= 1 && value <= 4294967295.0)
            id = static_cast<uint32_t>(value);
    }
    lua_settop(lua_, top);
    return id;
}

const std::string* TEXTLIB_LIB::GetText(uint32_t number) {
    if (number == 0 || number >= cache_.size())
        return nullptr;
    std::optional<std::string>& slot = cache_[number];
    if (slot)
        return &*slot;
    const auto* bytes = static_cast<const char*>(bcf_.GetAt(number));
    int64_t size = bcf_.GetSize(number);
    if (!bytes || size < 0)
        return nullptr;
    try {
        slot.emplace(bytes, size_t(size));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (char& c : *slot) {
        if (c == '#')
            c = ',';
    }
    return &*slot;
}

void TEXTLIB_LIB::Release() {
    bcf_.Clear();
    cache_.clear();
    if (lua_)
        RunStatement(lua_, TableName() + " = nil");
    lua_ = nullptr;
    valid = false;
}

// ---------------------------------------------------------------------------
// TEXTLIB
// ---------------------------------------------------------------------------

int TEXTLIB::Init(lua_State* lua, RAMA_CTRL* rama) {
    RemoveAll();
    lua_ = lua;
    rama_ = rama;
    return lua ? 1 : 0;
}

uint32_t TEXTLIB::AddTextResource(const char* address) {
    static constexpr const char* kOp = "AddTextResource";
    if (!lua_ || !rama_) {
        Log(kLogError, "%s::%s: init first !!!", kControlClass, kOp);
        return 0;
    }
    if (!address) {
        Log(kLogError, "%s::%s: no address", kControlClass, kOp);
        return 0;
    }
    RAMA_RES* resource = rama_->GetResource(address);
    uint32_t size = 0;
    const uint8_t* data = resource->type == kRamaTypeText ? resource->GetData(&size) : nullptr;
    if (resource->type != kRamaTypeText) {
        Log(kLogError, "%s::%s: RAMA resource is no TEXTLIB: %s", kControlClass, kOp, address);
        return 0;
    }
    return AddLibrary(data, size);
}

uint32_t TEXTLIB::AddTextData(const uint8_t* data, size_t size) {
    if (!lua_) {
        Log(kLogError, "%s::%s: init first !!!", kControlClass, "AddTextResource");
        return 0;
    }
    return AddLibrary(data, size);
}

uint32_t TEXTLIB::AddLibrary(const uint8_t* data, size_t size) {
    static constexpr const char* kOp = "AddTextResource";
    std::unique_ptr<TEXTLIB_LIB> library(new (std::nothrow) TEXTLIB_LIB());
    if (!library) {
        Log(kLogError, "%s::%s: can't create text library", kControlClass, kOp);
        return 0;
    }
    if (!library->Init(data, size, lua_)) {
        Log(kLogError, "%s::%s: textlib can't init", kControlClass, kOp);
        return 0;
    }
    try {
        libraries_.push_back(std::move(library));
    } catch (const std::bad_alloc&) {
        Log(kLogError, "%s::%s: can't create ID", kControlClass, kOp);
        return 0;
    }
    return static_cast<uint32_t>(libraries_.size());
}

const std::string* TEXTLIB::GetText(const char* name) {
    if (!name)
        return nullptr;
    for (size_t id = libraries_.size(); id >= 1; --id) {
        TEXTLIB_LIB& library = *libraries_[id - 1];
        if (const std::string* text = library.GetText(library.GetID(name)))
            return text;
    }
    return nullptr;
}

void TEXTLIB::RemoveAll() {
    while (!libraries_.empty()) libraries_.pop_back();
}

}  // namespace vorlane::resources
