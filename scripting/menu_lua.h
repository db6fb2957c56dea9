// MENU_LUA: the menu manager. Lua scripts build GUI object trees with
// constructor calls (`GUI_Button { x = 10, y = 20, text = "~OK" }`), register
// them, and show or hide them on the GUI's `top` root. Every GUI event of a
// script-made object is passed to one hook (the main map's tag dispatcher),
// which tells the objects apart by their tag.
//
// Ownership: the GUI objects are not owned by Lua. A shown tree belongs to the
// GUI's `top`, a child to its parent, and a tree that hangs nowhere (made and
// not yet added, or hidden) to the manager, which destroys those and the
// registered menus in Release (and so before each CreateFromScript). Showing,
// hiding and adding a child move the tree from one owner to the next.
//
// A handle only reaches its object while the object exists: a destroyed
// object clears its record (through GUI_OBJECT's destroy hook), and a record
// is recognised by its metatable, not by its place in the table.
#pragma once

#include <cstdint>
#include <functional>
#include <lua.hpp>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gui/gui_canvas.h"
#include "gui/gui_event.h"
#include "scripting/menu_tags.h"

class GUI_OBJECT;

namespace vorlane::resources {
class TEXTLIB;
}

// The two metatable tags: a GUI object handle and a constructor.
inline constexpr uint32_t LUA_GUI_OBJECT = 0x47554F42;   // "GUOB"
inline constexpr uint32_t LUA_GUI_CREATOR = 0x47554352;  // "GUCR"

// The record under "_usrdata_" of a handle.
struct MENU_LUA_USERDATA {
    GUI_OBJECT* object = nullptr;  // not owned; null once the object is destroyed
    uint32_t shown = 0;
    uint32_t slot = 0;
};

class MENU_LUA {
  public:
    using MenuHook = bool (*)(int32_t tag, const GUI_EVENT& event);
    using PictureLoader =
        std::function<std::shared_ptr<const vorlane::gui::GuiPicture>(const char* name)>;

    MENU_LUA();
    ~MENU_LUA();
    MENU_LUA(const MENU_LUA&) = delete;
    MENU_LUA& operator=(const MENU_LUA&) = delete;

    // The process-wide instance (set by construction, cleared by destruction).
    static MENU_LUA* Get();

    bool Init(lua_State* lua, vorlane::resources::TEXTLIB* textlib);
    bool RegisterEnums(const char* table_name, const MENU_LUA_ENUM* pairs);
    // Destroys the registered menus and runs `script` as chunk "gui_script";
    // a handle the chunk returns is shown. False only for a missing script or
    // a failed copy; a script error is reported through the error hook.
    bool CreateFromScript(const void* script, size_t size, bool copy);
    // The record of the handle that `expression` evaluates to, or null.
    MENU_LUA_USERDATA* GetMenuFromLUA(const char* expression);
    bool ShowMenu(const char* expression);
    bool HideMenu(const char* expression);
    GUI_OBJECT* GetObject(const char* expression);
    // The same on a record.
    bool ShowMenu(MENU_LUA_USERDATA* record);
    bool HideMenu(MENU_LUA_USERDATA* record);
    bool RegisterMenu(MENU_LUA_USERDATA* record);
    // Destroys the registered menus, then every tree the scripts made that
    // hangs nowhere, so nothing a script built outlives the manager.
    void Release();
    // Takes a tree that hangs nowhere (no parent) into the manager's keeping;
    // its pointer, or null when refused (the tree is then destroyed).
    GUI_OBJECT* AdoptObject(std::unique_ptr<GUI_OBJECT> object);
    // Takes a script-made object out of its owner: out of its parent (through
    // ReleaseObject) or out of the manager's keeping. Null when it hangs
    // nowhere and the manager does not keep it.
    std::unique_ptr<GUI_OBJECT> TakeObject(GUI_OBJECT* object);
    // Called for every destroyed object: frees its registration slot.
    void ForgetObject(GUI_OBJECT* object);
    // How many trees hang nowhere and are kept by the manager.
    size_t detached_count() const { return detached_.size(); }

    void SetMenuHook(MenuHook hook) { menu_hook_ = hook; }
    MenuHook menu_hook() const { return menu_hook_; }
    // How pictures are found by resource name (default: the host archive).
    void SetPictureLoader(PictureLoader loader) { picture_loader_ = std::move(loader); }

    lua_State* lua() const { return lua_; }
    vorlane::resources::TEXTLIB* textlib() const { return textlib_; }
    bool initialized() const { return lua_ != nullptr; }
    size_t registered_count() const;

    // The text rule: "~text" is literal, anything else a text id.
    std::string ResolveText(const char* value) const;
    // Loads the pictures of a tree (object first, then its children).
    void LoadPictures(GUI_OBJECT* object);

    // The picture of a resource name (cached; null when there is none).
    std::shared_ptr<const vorlane::gui::GuiPicture> FindPicture(const char* name);

  private:
    std::vector<uint8_t> script_;
    lua_State* lua_ = nullptr;
    vorlane::resources::TEXTLIB* textlib_ = nullptr;
    // Menus destroyed by Release (not owned: each lives with its owner until
    // then); null = free slot, also left by a menu destroyed meanwhile.
    std::vector<GUI_OBJECT*> registered_;
    std::unordered_map<GUI_OBJECT*, std::unique_ptr<GUI_OBJECT>> detached_;
    MenuHook menu_hook_ = nullptr;
    PictureLoader picture_loader_;
    std::unordered_map<std::string, std::shared_ptr<const vorlane::gui::GuiPicture>> pictures_;
};

// The record of the GUI object handle at stack `index`, or null: a table with
// another tag, or with this tag but no record under "_usrdata_" (any other
// userdata), logs "no gui object found."; a handle whose object was destroyed
// and any other value give null silently. Never raises a Lua error.
MENU_LUA_USERDATA* MENU_LUA_GetRecord(lua_State* lua, int index);
