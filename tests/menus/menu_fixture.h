// The real lobby menus for the main-map tests: the menu script and texts read
// from the source tree, a GUI, a text library, a menu manager without pictures
// and an unconnected lobby client.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gui/gui_control.h"
#include "net/lobbynet.h"
#include "resources/text_source.h"
#include "resources/textlib.h"
#include "scripting/lua_glue.h"
#include "scripting/menu_lua.h"

class MenuFixture : public ::testing::Test {
  protected:
    // A file of the source tree, or "" when it cannot be read.
    static std::string SourceFile(const std::string& relative) {
        const char* root = std::getenv("VORLANE_SOURCE_DIR");
        std::ifstream in(std::string(root ? root : ".") + "/" + relative, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void SetUp() override {
        lua_.reset(LUA_CreateState());
        ASSERT_TRUE(gui_.Init(0, 0, 1024, 768));
        std::vector<uint8_t> image;
        std::string texts = SourceFile("assets/alltime/texts/lobby_global.txt");
        ASSERT_FALSE(texts.empty()) << "source tree not found (VORLANE_SOURCE_DIR)";
        ASSERT_TRUE(vorlane::resources::CompileTextSource(texts, image, nullptr));
        textlib_.Init(lua_.get());
        ASSERT_NE(textlib_.AddTextData(image.data(), image.size()), 0u);
        menus_ = std::make_unique<MENU_LUA>();
        ASSERT_TRUE(menus_->Init(lua_.get(), &textlib_));
        menus_->SetPictureLoader([](const char*) { return nullptr; });
        lobby_ = std::make_unique<LOBBYNET>(nullptr, nullptr);
    }

    LuaStatePtr lua_;
    GUI_CONTROL gui_;
    vorlane::resources::TEXTLIB textlib_;
    std::unique_ptr<MENU_LUA> menus_;
    std::unique_ptr<LOBBYNET> lobby_;
};
