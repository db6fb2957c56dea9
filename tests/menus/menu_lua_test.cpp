// The menu manager: constructors and their settings, children, showing and
// hiding, the menu hook and lookups by Lua expression.
#include "scripting/menu_lua.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gui/gui_control.h"
#include "gui/gui_widgets.h"
#include "resources/text_source.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "tests/support/log_capture.h"

namespace {

struct HookCall {
    int32_t tag;
    uint32_t code;
};
std::vector<HookCall> g_calls;

bool RecordHook(int32_t tag, const GUI_EVENT& event) {
    g_calls.push_back({tag, event.code});
    return true;
}

class MenuLuaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lua_.reset(LUA_CreateState());
        ASSERT_TRUE(lua_);
        ASSERT_TRUE(gui_.Init(0, 0, 1024, 768));
        std::vector<uint8_t> image;
        ASSERT_TRUE(vorlane::resources::CompileTextSource("HELLO = Hello there\n", image, nullptr));
        textlib_.Init(lua_.get());
        ASSERT_NE(textlib_.AddTextData(image.data(), image.size()), 0u);
        ASSERT_TRUE(menus_.Init(lua_.get(), &textlib_));
        ASSERT_TRUE(menus_.RegisterEnums("vrlmenu", kMenuTagEnums));
        menus_.SetPictureLoader([](const char*) { return nullptr; });
        g_calls.clear();
    }
    void TearDown() override { menus_.Release(); }

    void Run(const char* script) {
        ASSERT_TRUE(menus_.CreateFromScript(script, std::strlen(script), true));
    }

    LuaStatePtr lua_;
    GUI_CONTROL gui_;
    vorlane::resources::TEXTLIB textlib_;
    MENU_LUA menus_;
};

TEST_F(MenuLuaTest, ButtonSettingsAndHookOnClick) {
    Run("menu = {} menu.t = GUI_Area { w = 1024, h = 768,"
        " GUI_Button { name = 'b', x = 10, y = 20, w = 100, h = 30,"
        " tag = vrlmenu.MENU_TAG_LOGIN_LOGIN, text = '~OK' } }"
        " RegisterMenu(menu.t) return menu.t");
    menus_.SetMenuHook(RecordHook);
    GUI_OBJECT* button = menus_.GetObject("menu.t[1]");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->type(), GUI_TYPE_BUTTON);
    EXPECT_EQ(button->x(), 10);
    EXPECT_EQ(button->y(), 20);
    EXPECT_EQ(button->w(), 100);
    EXPECT_EQ(button->h(), 30);
    EXPECT_STREQ(button->GetText(), "OK");
    EXPECT_STREQ(button->GetName(), "b");
    EXPECT_EQ(button->result_value(), 1);

    IOEVE press;
    press.class_flags = kEveMouse;
    press.button_flags = kButtonPressed | kButtonLeft;
    press.x = 60;
    press.y = 35;
    gui_.Process(press);
    IOEVE release = press;
    release.button_flags = kButtonReleased | kButtonLeft;
    gui_.Process(release);
    bool clicked = false;
    for (const HookCall& call : g_calls) {
        EXPECT_TRUE(call.tag == 1 || call.tag == 0) << call.tag;
        clicked |= call.tag == 1 && call.code == GEVE_MOUSE_CLICK;
    }
    EXPECT_TRUE(clicked);
}

TEST_F(MenuLuaTest, DefaultsTextRuleAndRefusedSize) {
    Run("menu = {}"
        " menu.a = GUI_Label { text = 'HELLO' }"
        " menu.b = GUI_Label { text = 'NO_SUCH_ID', w = 0, h = 40 }"
        " menu.c = GUI_Button { tooltip = '~tip', visible = false }");
    GUI_OBJECT* a = menus_.GetObject("menu.a");
    GUI_OBJECT* b = menus_.GetObject("menu.b");
    GUI_OBJECT* c = menus_.GetObject("menu.c");
    ASSERT_TRUE(a && b && c);
    EXPECT_STREQ(a->GetText(), "Hello there");
    EXPECT_EQ(a->w(), 3);
    EXPECT_EQ(a->h(), 3);
    EXPECT_EQ(a->result_value(), 0);
    EXPECT_STREQ(b->GetText(), "* UNDEF *");
    EXPECT_EQ(b->w(), GUI_TEXT().w());  // a width of 0 is refused
    EXPECT_FALSE(c->IsVisible());
    ASSERT_NE(c->GetTooltip(), nullptr);
    // Without a text library the id itself is shown.
    MENU_LUA bare;
    ASSERT_TRUE(bare.Init(lua_.get(), nullptr));
    EXPECT_EQ(bare.ResolveText("SOME_ID"), "SOME_ID");
    EXPECT_EQ(bare.ResolveText("~lit"), "lit");
}

TEST_F(MenuLuaTest, ChildrenInListOrderThenNamedKeys) {
    Run("menu = {} menu.f = GUI_Frame { w = 200, h = 200,"
        " extra = GUI_Label { name = 'named' },"
        " GUI_Label { name = 'first' }, GUI_Label { name = 'second' },"
        " GUI_Label { name = 'third' } }");
    GUI_OBJECT* frame = menus_.GetObject("menu.f");
    ASSERT_NE(frame, nullptr);
    const auto& children = frame->children();
    ASSERT_EQ(children.size(), 4u);
    EXPECT_STREQ(children[0]->GetName(), "first");
    EXPECT_STREQ(children[1]->GetName(), "second");
    EXPECT_STREQ(children[2]->GetName(), "third");
    EXPECT_STREQ(children[3]->GetName(), "named");
    EXPECT_EQ(menus_.GetObject("menu.f.extra"), children[3].get());
}

TEST_F(MenuLuaTest, ShowAndHideOnTop) {
    Run("menu = {} menu.m = GUI_Area { w = 50, h = 50 } menu.n = GUI_Area { }");
    GUI_OBJECT* top = gui_.top();
    size_t before = top->children().size();
    // Not handles: false, nothing changes.
    EXPECT_FALSE(menus_.ShowMenu("42"));
    EXPECT_FALSE(menus_.ShowMenu("{}"));
    EXPECT_FALSE(menus_.ShowMenu("menu.nothing"));
    EXPECT_FALSE(menus_.ShowMenu(static_cast<const char*>(nullptr)));
    EXPECT_EQ(top->children().size(), before);

    EXPECT_TRUE(menus_.ShowMenu("menu.m"));
    EXPECT_TRUE(menus_.ShowMenu("menu.n"));
    EXPECT_EQ(top->children().back().get(), menus_.GetObject("menu.n"));
    EXPECT_TRUE(menus_.ShowMenu("menu.m"));  // shown again: on top
    EXPECT_EQ(top->children().back().get(), menus_.GetObject("menu.m"));
    EXPECT_EQ(menus_.GetMenuFromLUA("menu.m")->shown, 1u);
    EXPECT_TRUE(menus_.HideMenu("menu.m"));
    EXPECT_FALSE(menus_.HideMenu("menu.m"));
    EXPECT_EQ(menus_.GetMenuFromLUA("menu.m")->shown, 0u);
    EXPECT_EQ(menus_.GetObject("menu.m")->parent(), nullptr);
    EXPECT_TRUE(menus_.HideMenu("menu.n"));

    // The Lua functions answer the same way.
    LUA_ExecuteString(lua_.get(), "r1 = ShowMenu(5) r2 = ShowMenu(menu.m) r3 = HideMenu(menu.m)",
                      "t");
    lua_getglobal(lua_.get(), "r1");
    lua_getglobal(lua_.get(), "r2");
    lua_getglobal(lua_.get(), "r3");
    EXPECT_FALSE(lua_toboolean(lua_.get(), -3));
    EXPECT_TRUE(lua_toboolean(lua_.get(), -2));
    EXPECT_TRUE(lua_toboolean(lua_.get(), -1));
    lua_settop(lua_.get(), 0);
    // Hidden, both belong to the manager again and go with Release.
    EXPECT_EQ(menus_.detached_count(), 2u);
}

TEST_F(MenuLuaTest, RegisteredMenusAreDestroyedByTheNextScript) {
    Run("menu = {} menu.a = GUI_Area {} RegisterMenu(menu.a) ShowMenu(menu.a)"
        " menu.b = GUI_Area {} RegisterMenu(menu.b)");
    EXPECT_EQ(menus_.registered_count(), 2u);
    EXPECT_EQ(gui_.top()->children().size(), 1u);
    Run("menu = {}");
    EXPECT_EQ(menus_.registered_count(), 0u);
    EXPECT_TRUE(gui_.top()->children().empty());
}

TEST_F(MenuLuaTest, BadCallsAndScriptErrors) {
    // A script error still counts as run; a constructor without a table fails.
    Run("menu = {} menu.x = GUI_Button() error('boom')");
    EXPECT_EQ(menus_.GetObject("menu.x"), nullptr);
    EXPECT_FALSE(menus_.CreateFromScript(nullptr, 0, false));
    // An expression that does not fit the 512-byte chunk is refused.
    std::string long_expr(600, 'a');
    EXPECT_EQ(menus_.GetMenuFromLUA(long_expr.c_str()), nullptr);
    MENU_LUA uninitialised;
    EXPECT_FALSE(uninitialised.RegisterEnums("x", kMenuTagEnums));
    EXPECT_FALSE(uninitialised.Init(nullptr, nullptr));
}

TEST_F(MenuLuaTest, EnumerationHoldsEveryTag) {
    LUA_ExecuteString(
        lua_.get(),
        "n = 0 for k, v in pairs(vrlmenu) do n = n + 1 end "
        "a = vrlmenu.MENU_TAG_PROFILE_OVERCREATE b = vrlmenu.MENU_TAG_GAME_MISSIONLIST",
        "t");
    lua_getglobal(lua_.get(), "n");
    lua_getglobal(lua_.get(), "a");
    lua_getglobal(lua_.get(), "b");
    EXPECT_EQ(lua_tointeger(lua_.get(), -3), 72);
    EXPECT_EQ(lua_tointeger(lua_.get(), -2), 8);
    EXPECT_EQ(lua_tointeger(lua_.get(), -1), 34);
    lua_settop(lua_.get(), 0);
}

}  // namespace

namespace {

TEST_F(MenuLuaTest, ObjectsThatHangNowhereAreFreedOnRelease) {
    Run("menu = {} local loose = GUI_Frame { GUI_Label {} }"
        " menu.kept = GUI_Area { w = 10, h = 10, GUI_Button {} }"
        " RegisterMenu(menu.kept)"
        " menu.late = GUI_Frame {} menu.late.child = GUI_Label {}");
    // Hanging nowhere: loose (its label is its child), kept (with its button),
    // late, and a label assigned after its frame was made (so never its child).
    EXPECT_EQ(menus_.detached_count(), 4u);
    GUI_OBJECT* late = menus_.GetObject("menu.late");
    ASSERT_NE(late, nullptr);
    EXPECT_TRUE(late->children().empty());
    menus_.Release();
    EXPECT_EQ(menus_.detached_count(), 0u);
}

TEST_F(MenuLuaTest, ForgedAndStaleHandlesAreRefused) {
    vorlane::testing::LogCapture log;
    // A table with the object tag but another userdata than a record.
    Run("menu = {} menu.fake = setmetatable({ _usrdata_ = io.stdout }, {})"
        " getmetatable(menu.fake)._Tag_ID_ = getmetatable(GUI_Area {})._Tag_ID_"
        " menu.a = GUI_Area { w = 5, h = 5, GUI_Label { name = 'inner' } }"
        " menu.inner = menu.a[1] RegisterMenu(menu.a)");
    EXPECT_FALSE(menus_.ShowMenu("menu.fake"));
    EXPECT_TRUE(log.Contains("no gui object found."));
    // Its metamethods are not run: an error raised there would be outside
    // any protected call and end the program.
    LUA_ExecuteString(lua_.get(),
                      "menu.trap = setmetatable({}, { _Tag_ID_ = getmetatable(menu.fake)._Tag_ID_,"
                      " __index = function() error('trap') end })",
                      "t");
    EXPECT_FALSE(menus_.ShowMenu("menu.trap"));
    ASSERT_NE(menus_.GetObject("menu.inner"), nullptr);
    // Release destroys the registered menu and its child: both handles now
    // name nothing, from C++ and from Lua.
    menus_.Release();
    EXPECT_EQ(menus_.GetObject("menu.a"), nullptr);
    EXPECT_EQ(menus_.GetObject("menu.inner"), nullptr);
    LUA_ExecuteString(lua_.get(), "r = ShowMenu(menu.a) or HideMenu(menu.inner)", "t");
    lua_getglobal(lua_.get(), "r");
    EXPECT_FALSE(lua_toboolean(lua_.get(), -1));
    lua_settop(lua_.get(), 0);
    // A collected handle leaves its shown object behind safely.
    Run("ShowMenu(GUI_Area { w = 5, h = 5 }) collectgarbage() collectgarbage()");
    ASSERT_FALSE(gui_.top()->children().empty());
    EXPECT_TRUE(gui_.top()->DeleteObject(gui_.top()->children().back().get()));
}

TEST_F(MenuLuaTest, AChildMovesOutOfItsOldParentThroughThatParent) {
    Run("menu = {} menu.c = GUI_Label {} menu.f = GUI_Frame { menu.c }"
        " menu.g = GUI_Frame { menu.c }");
    GUI_OBJECT* f = menus_.GetObject("menu.f");
    GUI_OBJECT* g = menus_.GetObject("menu.g");
    ASSERT_TRUE(f && g);
    EXPECT_TRUE(f->children().empty());
    ASSERT_EQ(g->children().size(), 1u);
    EXPECT_EQ(g->children()[0].get(), menus_.GetObject("menu.c"));
    EXPECT_EQ(menus_.detached_count(), 2u);  // the two frames
}

}  // namespace
