// [SECTION] Helpers and handle records
// [SECTION] Constructors
// [SECTION] Lua menu functions
// [SECTION] MENU_LUA
#include "scripting/menu_lua.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "baselib/logsys.h"
#include "gui/gui_control.h"
#include "gui/gui_media.h"
#include "gui/gui_widgets.h"
#include "resources/rama_ctrl.h"
#include "resources/rama_gfx_media.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"

// [SECTION] Helpers and handle records

namespace {

MENU_LUA* g_menu_manager = nullptr;

constexpr const char* kClass = "MENU_LUA";
constexpr const char* kUserData = "_usrdata_";
// The registry name of the records' metatable: only a userdata with it is a
// record (a script can put any userdata under "_usrdata_").
constexpr const char* kRecordMetatable = "vorlane.MENU_LUA_USERDATA";

void Fail(const char* method, const char* what) {
    char line[256];
    std::snprintf(line, sizeof line, "%s::%s: %s", kClass, method, what);
    LOGSYS_Text(nullptr, kLogError, line);
}

// The menu defaults every script-made object starts with.
std::unique_ptr<GUI_STYLE_OLD_PRIMITIVE> MenuStyle() {
    auto style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    if (const vorlane::gui::GuiFontSource* fonts = GUI_STYLE_OLD_PRIMITIVE::FonControl()) {
        style->SetFont(fonts->GetFont(9));
        style->SetFontAlt(fonts->GetFont(9));
    }
    style->SetTextColour(252, 191, 59);
    style->SetActiveTextColour(252, 191, 59);
    style->SetDisabledTextColour(1, 1, 1);
    style->SetBackColour(0x7F181818);
    style->SetActiveBackColour(0x7F404040);
    style->SetLightColour(0xFCBF3B);
    style->SetDarkColour(0xFCBF3B);
    style->SetFillColour(0x7F000001);
    return style;
}

// The callback of every script-made object.
bool MenuCallback(GUI_OBJECT* object, const GUI_EVENT& event) {
    MENU_LUA* manager = g_menu_manager;
    if (!manager || !manager->menu_hook() || !object)
        return false;
    return manager->menu_hook()(int32_t(object->result_value()), event);
}

bool IsHandle(lua_State* lua, int index) {
    if (!lua_istable(lua, index) || !lua_getmetatable(lua, index))
        return false;
    lua_pop(lua, 1);
    return LUA_GetUserDataTag(lua, index) == LUA_GUI_OBJECT;
}

// A record and its object point at each other (the object through its
// user_data) until either goes: the destroy hook below clears the record of
// a destroyed object, and the record's __gc the object's link to it. So a
// handle never reaches a destroyed object.
int CollectRecord(lua_State* lua) {
    auto* record = static_cast<MENU_LUA_USERDATA*>(luaL_testudata(lua, 1, kRecordMetatable));
    if (record && record->object && record->object->user_data == record)
        record->object->user_data = nullptr;
    return 0;
}

// Every live manager: each hears of every destroyed object. Never freed: a
// GUI object may be destroyed during static destruction.
std::vector<MENU_LUA*>& LiveManagers() {
    static auto* managers = new std::vector<MENU_LUA*>();
    return *managers;
}

void OnGuiObjectDestroyed(GUI_OBJECT* object) {
    if (auto* record = static_cast<MENU_LUA_USERDATA*>(object->user_data)) {
        record->object = nullptr;
        record->shown = 0;
        object->user_data = nullptr;
    }
    for (MENU_LUA* manager : LiveManagers()) manager->ForgetObject(object);
}

// Pushes a new, empty record with its metatable (made on first use;
// `__metatable` keeps scripts from reading or replacing it).
MENU_LUA_USERDATA* PushNewRecord(lua_State* lua) {
    auto* record =
        static_cast<MENU_LUA_USERDATA*>(lua_newuserdatauv(lua, sizeof(MENU_LUA_USERDATA), 0));
    *record = MENU_LUA_USERDATA{};
    if (luaL_newmetatable(lua, kRecordMetatable)) {
        lua_pushcfunction(lua, CollectRecord);
        lua_setfield(lua, -2, "__gc");
        lua_pushliteral(lua, "locked");
        lua_setfield(lua, -2, "__metatable");
    }
    lua_setmetatable(lua, -2);
    return record;
}

// Adds the object of the handle at `index` to `parent`. An object in another
// tree is taken out of it through its parent first, one that hangs nowhere
// out of the manager, so it is never owned twice; a shown menu stays on top.
void AddChild(lua_State* lua, int index, GUI_OBJECT* parent) {
    MENU_LUA* manager = g_menu_manager;
    if (!manager || !IsHandle(lua, index))
        return;
    MENU_LUA_USERDATA* record = MENU_LUA_GetRecord(lua, index);
    if (!record || record->shown)
        return;
    GUI_OBJECT* child = record->object;
    if (child->IsAncestorOf(parent))
        return;  // would hang inside itself
    if (std::unique_ptr<GUI_OBJECT> owned = manager->TakeObject(child))
        parent->AddObject(std::move(owned));
}

// Every handle of the settings table at `index` becomes a child: array entries
// in index order first, then the other keys in the table's own order.
void AddChildren(lua_State* lua, int index, GUI_OBJECT* parent) {
    index = lua_absindex(lua, index);
    lua_Integer count = lua_Integer(lua_rawlen(lua, index));
    for (lua_Integer i = 1; i <= count; ++i) {
        lua_rawgeti(lua, index, i);
        AddChild(lua, -1, parent);
        lua_pop(lua, 1);
    }
    lua_pushnil(lua);
    while (lua_next(lua, index) != 0) {
        bool in_array = false;
        if (lua_isinteger(lua, -2)) {
            lua_Integer key = lua_tointeger(lua, -2);
            in_array = key >= 1 && key <= count;
        }
        if (!in_array)
            AddChild(lua, -1, parent);
        lua_pop(lua, 1);
    }
}

// [SECTION] Constructors

// The shared part of all constructors. Everything that can raise a Lua error
// (a settings table with metamethods, an allocation) happens before the
// object exists or once the manager owns it, so an error that jumps over
// this function leaks nothing. The new object hangs nowhere: the manager
// owns it until a parent or `top` takes it. Null after a logged failure.
GUI_OBJECT* CreateGuiObject(lua_State* lua, const char* method, GUI_OBJECT* (*make)()) {
    MENU_LUA* manager = g_menu_manager;
    if (!manager) {
        Fail(method, "can't create gui object");
        return nullptr;
    }
    if (!lua_istable(lua, 1)) {
        Fail(method, "invalid call");
        return nullptr;
    }
    if (!lua_istable(lua, 2)) {
        Fail(method, "no initialization table");
        return nullptr;
    }
    lua_settop(lua, 2);
    lua_pushstring(lua, kUserData);
    MENU_LUA_USERDATA* record = PushNewRecord(lua);
    lua_rawset(lua, 2);
    lua_newtable(lua);
    lua_setmetatable(lua, 2);
    if (!LUA_SetUserDataTag(lua, 2, LUA_GUI_OBJECT)) {
        Fail(method, "can't set metatable");
        return nullptr;
    }
    GUI_OBJECT* gui = manager->AdoptObject(std::unique_ptr<GUI_OBJECT>(make()));
    if (!gui) {
        Fail(method, "can't create gui object");
        return nullptr;
    }
    record->object = gui;
    gui->user_data = record;
    gui->SetStyle(MenuStyle());
    gui->SetCallback(MenuCallback);

    int x = LUA_GetNumber(lua, "x", 2, 0);
    int y = LUA_GetNumber(lua, "y", 2, 0);
    int w = LUA_GetNumber(lua, "w", 2, 3);
    int h = LUA_GetNumber(lua, "h", 2, 3);
    gui->SetPos(x, y);
    gui->SetSize(w, h);
    gui->SetResultValue(int16_t(LUA_GetNumber(lua, "tag", 2, 0)));
    gui->Show(LUA_GetBool(lua, "visible", 2, 1) != 0);
    std::string text;
    LUA_GetString(lua, "name", 2, &text, "");
    gui->SetName(text.c_str());
    LUA_GetString(lua, "tooltip", 2, &text, "");
    if (!text.empty())
        gui->SetTooltip(manager->ResolveText(text.c_str()).c_str());
    LUA_GetString(lua, "text", 2, &text, "");
    if (!text.empty())
        gui->SetText(manager->ResolveText(text.c_str()).c_str());
    AddChildren(lua, 2, gui);
    lua_settop(lua, 2);
    return gui;
}

void SetPictureNames(lua_State* lua, GUI_OBJECT* object, const char* const* keys, const int* slots,
                     int count) {
    GUI_STYLE* style = object->GetStyle();
    if (!style)
        return;
    for (int i = 0; i < count; ++i) {
        std::string name;
        if (LUA_GetString(lua, keys[i], 2, &name, "") && !name.empty()) {
            style->SetResourceName(slots[i], name.c_str());
        }
    }
}

void SetButtonPictures(lua_State* lua, GUI_OBJECT* object) {
    static const char* const kKeys[] = {"gfx_norm", "gfx_hilite", "gfx_pressed"};
    static const int kSlots[] = {0, 1, 2};
    SetPictureNames(lua, object, kKeys, kSlots, 3);
}

template <typename Widget>
GUI_OBJECT* MakeWidget() {
    return new (std::nothrow) Widget();
}

// Runs the shared part for a new widget; the widget is the object of the
// returned table (at stack index 2) when the result is 1.
template <typename Widget>
int Construct(lua_State* lua, const char* method, Widget** out) {
    GUI_OBJECT* object = CreateGuiObject(lua, method, MakeWidget<Widget>);
    if (!object) {
        Fail(method, "can't create userdata");
        return 0;
    }
    *out = static_cast<Widget*>(object);
    return 1;
}

int LUA_CreateArea(lua_State* lua) {
    GUI_OBJECT* object = nullptr;
    return Construct(lua, "LUA_CreateArea", &object);
}

int LUA_CreateFrame(lua_State* lua) {
    GUI_FRAME* frame = nullptr;
    if (!Construct(lua, "LUA_CreateFrame", &frame))
        return 0;
    static const char* const kKeys[] = {"gfx_norm"};
    static const int kSlots[] = {3};
    SetPictureNames(lua, frame, kKeys, kSlots, 1);
    return 1;
}

int LUA_CreateButton(lua_State* lua) {
    GUI_BUTTON* button = nullptr;
    if (!Construct(lua, "LUA_CreateButton", &button))
        return 0;
    SetButtonPictures(lua, button);
    return 1;
}

int LUA_CreateInput(lua_State* lua) {
    GUI_INPUTBOX* input = nullptr;
    return Construct(lua, "LUA_CreateInput", &input);
}

int LUA_CreateCheckbox(lua_State* lua) {
    GUI_CHECKBOX* box = nullptr;
    return Construct(lua, "LUA_CreateCheckbox", &box);
}

int LUA_CreateRadio(lua_State* lua) {
    GUI_RADIO* radio = nullptr;
    return Construct(lua, "LUA_CreateRadio", &radio);
}

int LUA_CreateRadioButton(lua_State* lua) {
    GUI_RADIO* radio = nullptr;
    if (!Construct(lua, "LUA_CreateRadioButton", &radio))
        return 0;
    radio->SetButtonLook(1);
    SetButtonPictures(lua, radio);
    // The radio's own picture slots (off, off under the pointer, on, on under
    // the pointer) take the button pictures, so it looks like a button.
    static const char* const kKeys[] = {"gfx_norm", "gfx_hilite", "gfx_pressed", "gfx_pressed"};
    static const int kSlots[] = {vorlane::gui::kSlotRadioOff, vorlane::gui::kSlotRadioOffHot,
                                 vorlane::gui::kSlotRadioOn, vorlane::gui::kSlotRadioOnHot};
    SetPictureNames(lua, radio, kKeys, kSlots, 4);
    return 1;
}

int LUA_CreateList(lua_State* lua) {
    GUI_LIST* list = nullptr;
    return Construct(lua, "LUA_CreateList", &list);
}

int LUA_CreateLabel(lua_State* lua) {
    GUI_TEXT* text = nullptr;
    if (!Construct(lua, "LUA_CreateLabel", &text))
        return 0;
    if (LUA_GetBool(lua, "center", 2, 0))
        text->SetState(1);
    return 1;
}

int LUA_CreateCombobox(lua_State* lua) {
    GUI_COMBOBOX* combo = nullptr;
    if (!Construct(lua, "LUA_CreateCombobox", &combo))
        return 0;
    if (auto* style = dynamic_cast<GUI_STYLE_OLD_PRIMITIVE*>(combo->GetStyle())) {
        style->SetFillColour(0xFF181818);
        style->SetBackColour(0xFF181818);
        style->SetActiveBackColour(0xFF404040);
        style->SetLightColour(0xFCBF3B);
        style->SetDarkColour(0xFCBF3B);
    }
    return 1;
}

// Creates the global `name` as a constructor table calling `function`.
bool LUA_RegisterGuiType(lua_State* lua, const char* name, lua_CFunction function) {
    if (!lua || !name || !function) {
        Fail("LUA_RegisterGuiType", "parameter not set");
        return false;
    }
    lua_newtable(lua);
    lua_newtable(lua);
    lua_pushcfunction(lua, function);
    lua_setfield(lua, -2, "__call");
    lua_setmetatable(lua, -2);
    if (!LUA_SetUserDataTag(lua, -1, LUA_GUI_CREATOR)) {
        Fail("LUA_RegisterGuiType", "can't set metatable");
        lua_settop(lua, 0);
        return false;
    }
    LUA_RawSetGlobal(lua, name);
    return true;
}

// [SECTION] Lua menu functions

template <bool (MENU_LUA::*Operation)(MENU_LUA_USERDATA*)>
int LuaMenuFunction(lua_State* lua) {
    MENU_LUA* manager = g_menu_manager;
    MENU_LUA_USERDATA* record =
        manager && lua_gettop(lua) >= 1 ? MENU_LUA_GetRecord(lua, 1) : nullptr;
    lua_pushboolean(lua, record && (manager->*Operation)(record));
    return 1;
}

}  // namespace

MENU_LUA_USERDATA* MENU_LUA_GetRecord(lua_State* lua, int index) {
    if (!lua_istable(lua, index))
        return nullptr;
    index = lua_absindex(lua, index);
    if (!lua_getmetatable(lua, index))
        return nullptr;
    lua_pop(lua, 1);
    if (LUA_GetUserDataTag(lua, index) != LUA_GUI_OBJECT) {
        LOGSYS_Text(nullptr, kLogWarning, "no gui object found.");
        return nullptr;
    }
    // Raw: a metamethod of the handle must not run (or raise) here.
    lua_pushstring(lua, kUserData);
    lua_rawget(lua, index);
    auto* record = static_cast<MENU_LUA_USERDATA*>(luaL_testudata(lua, -1, kRecordMetatable));
    lua_pop(lua, 1);
    if (!record) {
        LOGSYS_Text(nullptr, kLogWarning, "no gui object found.");
        return nullptr;
    }
    // A handle whose object was destroyed (by Release, or with its tree)
    // names nothing any more.
    return record->object ? record : nullptr;
}

// [SECTION] MENU_LUA

MENU_LUA::MENU_LUA() {
    g_menu_manager = this;
    LiveManagers().push_back(this);
    // Stays installed: handles may outlive every manager.
    GUI_OBJECT::SetDestroyHook(OnGuiObjectDestroyed);
}

MENU_LUA::~MENU_LUA() {
    Release();
    if (g_menu_manager == this)
        g_menu_manager = nullptr;
    std::erase(LiveManagers(), this);
}

GUI_OBJECT* MENU_LUA::AdoptObject(std::unique_ptr<GUI_OBJECT> object) {
    if (!object || object->parent())
        return nullptr;
    GUI_OBJECT* raw = object.get();
    try {
        detached_.emplace(raw, std::move(object));
    } catch (...) {
        return nullptr;  // `object` is destroyed on the way out
    }
    return raw;
}

std::unique_ptr<GUI_OBJECT> MENU_LUA::TakeObject(GUI_OBJECT* object) {
    if (!object)
        return nullptr;
    if (GUI_OBJECT* parent = object->parent())
        return parent->ReleaseObject(object);
    auto found = detached_.find(object);
    if (found == detached_.end())
        return nullptr;  // not made by this manager's scripts
    std::unique_ptr<GUI_OBJECT> owned = std::move(found->second);
    detached_.erase(found);
    return owned;
}

void MENU_LUA::ForgetObject(GUI_OBJECT* object) {
    std::replace(registered_.begin(), registered_.end(), object, static_cast<GUI_OBJECT*>(nullptr));
}

MENU_LUA* MENU_LUA::Get() {
    return g_menu_manager;
}

bool MENU_LUA::Init(lua_State* lua, vorlane::resources::TEXTLIB* textlib) {
    if (!lua) {
        Fail("Init", "lua ptr is NULL");
        return false;
    }
    lua_ = lua;
    textlib_ = textlib;
    struct Constructor {
        const char* name;
        lua_CFunction function;
    };
    static const Constructor kConstructors[] = {
        {"GUI_Area", LUA_CreateArea},
        {"GUI_Frame", LUA_CreateFrame},
        {"GUI_Button", LUA_CreateButton},
        {"GUI_Input", LUA_CreateInput},
        {"GUI_Checkbox", LUA_CreateCheckbox},
        {"GUI_Radio", LUA_CreateRadio},
        {"GUI_RadioButton", LUA_CreateRadioButton},
        {"GUI_List", LUA_CreateList},
        {"GUI_Label", LUA_CreateLabel},
        {"GUI_Combobox", LUA_CreateCombobox},
    };
    for (const Constructor& c : kConstructors) LUA_RegisterGuiType(lua, c.name, c.function);
    lua_pushcfunction(
        lua,
        LuaMenuFunction<static_cast<bool (MENU_LUA::*)(MENU_LUA_USERDATA*)>(&MENU_LUA::ShowMenu)>);
    LUA_RawSetGlobal(lua, "ShowMenu");
    lua_pushcfunction(
        lua,
        LuaMenuFunction<static_cast<bool (MENU_LUA::*)(MENU_LUA_USERDATA*)>(&MENU_LUA::HideMenu)>);
    LUA_RawSetGlobal(lua, "HideMenu");
    lua_pushcfunction(lua, LuaMenuFunction<&MENU_LUA::RegisterMenu>);
    LUA_RawSetGlobal(lua, "RegisterMenu");
    return true;
}

bool MENU_LUA::RegisterEnums(const char* table_name, const MENU_LUA_ENUM* pairs) {
    if (!lua_) {
        Fail("RegisterEnums", "not initialized");
        return false;
    }
    if (!table_name || !pairs) {
        Fail("RegisterEnums", "invalid parameters");
        return false;
    }
    lua_newtable(lua_);
    for (const MENU_LUA_ENUM* pair = pairs; pair->name; ++pair) {
        lua_pushinteger(lua_, lua_Integer(pair->value));
        lua_setfield(lua_, -2, pair->name);
    }
    LUA_RawSetGlobal(lua_, table_name);
    return true;
}

bool MENU_LUA::CreateFromScript(const void* script, size_t size, bool copy) {
    if (!script) {
        Fail("CreateFromScript", "no script");
        return false;
    }
    if (!lua_) {
        Fail("CreateFromScript", "not initialized");
        return false;
    }
    Release();
    const char* bytes = static_cast<const char*>(script);
    if (copy) {
        try {
            script_.assign(bytes, bytes + size);
        } catch (...) {
            Fail("CreateFromScript", "copy script failed");
            return false;
        }
        bytes = reinterpret_cast<const char*>(script_.data());
    }
    int top = lua_gettop(lua_);
    int status = luaL_loadbuffer(lua_, bytes, size, "gui_script");
    if (status == LUA_OK)
        status = lua_pcall(lua_, 0, 1, 0);
    if (status != LUA_OK) {
        LUA_Alert(lua_);
    } else if (MENU_LUA_USERDATA* record =
                   IsHandle(lua_, -1) ? MENU_LUA_GetRecord(lua_, -1) : nullptr) {
        ShowMenu(record);
    }
    lua_settop(lua_, top);
    return true;
}

MENU_LUA_USERDATA* MENU_LUA::GetMenuFromLUA(const char* expression) {
    if (!expression || !lua_) {
        Fail("GetMenuFromLUA", "can't create gui object");
        return nullptr;
    }
    char chunk[512];
    int length = std::snprintf(chunk, sizeof chunk, "return %s\n", expression);
    if (length < 0 || size_t(length) >= sizeof chunk)
        return nullptr;  // expression too long
    int top = lua_gettop(lua_);
    MENU_LUA_USERDATA* record = nullptr;
    if (luaL_loadbuffer(lua_, chunk, size_t(length), "gui_expression") == LUA_OK &&
        lua_pcall(lua_, 0, 1, 0) == LUA_OK) {
        record = MENU_LUA_GetRecord(lua_, -1);
    }
    lua_settop(lua_, top);
    return record;
}

bool MENU_LUA::ShowMenu(const char* expression) {
    return ShowMenu(GetMenuFromLUA(expression));
}

bool MENU_LUA::HideMenu(const char* expression) {
    return HideMenu(GetMenuFromLUA(expression));
}

GUI_OBJECT* MENU_LUA::GetObject(const char* expression) {
    MENU_LUA_USERDATA* record = GetMenuFromLUA(expression);
    return record ? record->object : nullptr;
}

bool MENU_LUA::ShowMenu(MENU_LUA_USERDATA* record) {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (!record || !record->object || !control || !control->top())
        return false;
    GUI_OBJECT* object = record->object;
    GUI_OBJECT* top = control->top();
    // A child of another menu stays where it is.
    if (object->parent() && object->parent() != top)
        return false;
    LoadPictures(object);
    if (object->parent() == top && top->children().back().get() == object) {
        record->shown = 1;  // above everything already
        return true;
    }
    // Shown again, a menu moves above everything shown since.
    std::unique_ptr<GUI_OBJECT> owned = TakeObject(object);
    if (!owned || top->AddObject(std::move(owned)) < 0)
        return false;
    record->shown = 1;
    return true;
}

bool MENU_LUA::HideMenu(MENU_LUA_USERDATA* record) {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (!record || !record->object || !control || !control->top())
        return false;
    if (record->object->parent() != control->top()) {
        record->shown = 0;
        return false;
    }
    // The tree lives on without a parent, owned by the manager.
    std::unique_ptr<GUI_OBJECT> owned = control->top()->ReleaseObject(record->object);
    record->shown = 0;
    return owned && AdoptObject(std::move(owned));
}

bool MENU_LUA::RegisterMenu(MENU_LUA_USERDATA* record) {
    if (!record || !record->object)
        return false;
    for (GUI_OBJECT* kept : registered_) {
        if (kept == record->object)
            return true;
    }
    size_t slot = 0;
    while (slot < registered_.size() && registered_[slot]) ++slot;
    try {
        if (slot == registered_.size())
            registered_.push_back(nullptr);
    } catch (...) {
        return false;
    }
    registered_[slot] = record->object;
    record->slot = uint32_t(slot);
    return true;
}

size_t MENU_LUA::registered_count() const {
    size_t count = 0;
    for (GUI_OBJECT* object : registered_) count += object ? 1 : 0;
    return count;
}

void MENU_LUA::Release() {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    GUI_OBJECT* top = control ? control->top() : nullptr;
    // Destroying one menu may destroy another registered one inside it; the
    // destroy hook then clears that slot (ForgetObject), so go by index.
    for (size_t i = 0; i < registered_.size(); ++i) {
        GUI_OBJECT* object = registered_[i];
        registered_[i] = nullptr;
        if (!object)
            continue;
        if (top && object->parent() == top) {
            top->ReleaseObject(object);  // destroyed with the returned pointer
        } else if (!object->parent()) {
            detached_.erase(object);
        }
        // A menu inside another tree goes with that tree.
    }
    registered_.clear();
    // What is left without a parent was made by a script and never hung into
    // a menu; a root takes its subtree with it.
    auto detached = std::move(detached_);
    detached_.clear();
    detached.clear();
    script_.clear();
    script_.shrink_to_fit();
}

std::string MENU_LUA::ResolveText(const char* value) const {
    if (!value)
        return {};
    if (value[0] == '~')
        return value + 1;
    if (!textlib_)
        return value;
    const char* text = textlib_->GetTextC(value);
    return text ? text : "* UNDEF *";
}

std::shared_ptr<const vorlane::gui::GuiPicture> MENU_LUA::FindPicture(const char* name) {
    auto found = pictures_.find(name);
    if (found != pictures_.end())
        return found->second;
    std::shared_ptr<const vorlane::gui::GuiPicture> picture;
    if (picture_loader_) {
        picture = picture_loader_(name);
    } else {
        // The archive decoded the picture when its location loaded; every
        // menu shares that surface.
        vorlane::resources::RAMA_CTRL* rama = LUA_GetHost().rama;
        if (auto surface =
                vorlane::resources::RAMA_GetGraphic(rama ? rama->GetResource(name) : nullptr)) {
            picture = std::make_shared<vorlane::gui::OsgfxPicture>(std::move(surface));
        }
    }
    pictures_[name] = picture;
    return picture;
}

void MENU_LUA::LoadPictures(GUI_OBJECT* object) {
    if (!object)
        return;
    if (GUI_STYLE* style = object->GetStyle()) {
        for (int slot = 0; slot < vorlane::gui::kSlotCount; ++slot) {
            const char* name = style->GetResourceName(slot);
            if (!name || !*name || style->GetGfx(slot))
                continue;
            if (auto picture = FindPicture(name))
                style->SetGfx(slot, picture);
        }
    }
    for (const auto& child : object->children()) LoadPictures(child.get());
}
