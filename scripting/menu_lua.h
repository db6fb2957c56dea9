// MENU_LUA: the menu manager. Lua scripts build GUI object trees with
// constructor calls (`GUI_Button { x = 10, y = 20, text = "~OK" }`), register
// them, and show or hide them on the GUI's `top` root. Every GUI event of a
// script-made object is passed to one hook (the main map's tag dispatcher),
// which tells the objects apart by their tag.
//
// Ownership: the GUI objects are not owned by Lua. A shown tree belongs to the
// GUI's `top`; a child belongs to its parent; the roots in `registered` are
// destroyed by Release and by the next CreateFromScript. Trees that are none
// of these stay alive while the program runs.
#pragma once

#include <cstdint>
#include <functional>
#include <lua.hpp>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
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
    GUI_OBJECT* object = nullptr;
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
    // Destroys the registered menus, then every object the scripts made that
    // hangs nowhere (no parent), so nothing a script built outlives the manager.
    void Release();
    // The objects made by the constructors, while they exist (the GUI's
    // destroy hook forgets them).
    void TrackObject(GUI_OBJECT* object);
    void ForgetObject(GUI_OBJECT* object);
    size_t tracked_count() const { return created_.size(); }

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
    std::vector<GUI_OBJECT*> registered_;  // roots destroyed by Release; null = free slot
    std::unordered_set<GUI_OBJECT*> created_;
    MenuHook menu_hook_ = nullptr;
    PictureLoader picture_loader_;
    std::unordered_map<std::string, std::shared_ptr<const vorlane::gui::GuiPicture>> pictures_;
};

// The record of the GUI object handle at stack `index`, or null (a table with
// another tag logs "no gui object found.").
MENU_LUA_USERDATA* MENU_LUA_GetRecord(lua_State* lua, int index);
