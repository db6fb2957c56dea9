// Building the lobby menus from Lua and drawing the log-in screen at
// 1024 x 768, each beside a baseline of the same run: running an empty Lua
// chunk, and filling the whole screen once.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gui/gui_canvas.h"
#include "gui/gui_control.h"
#include "gui/gui_media.h"
#include "resources/rama_ctrl.h"
#include "scripting/lua_glue.h"
#include "scripting/menu_lua.h"

namespace {

std::string MenuScript() {
    const char* root = std::getenv("VORLANE_SOURCE_DIR");
    std::ifstream in(std::string(root ? root : VORLANE_MENUS_SOURCE_DIR) +
                     "/assets/multilobby/menus/lobby_menu.lua");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The menus with the pictures of the built run folder when there is one.
struct Menus {
    LuaStatePtr lua{LUA_CreateState()};
    GUI_CONTROL gui;
    MENU_LUA menus;
    vorlane::resources::RAMA_CTRL rama;
    bool have_archive = false;
    std::string script = MenuScript();

    Menus() {
        gui.Init(0, 0, 1024, 768);
        menus.Init(lua.get(), nullptr);
        menus.RegisterEnums("vrlmenu", kMenuTagEnums);
        const char* binary = std::getenv("VORLANE_BINARY_DIR");
        if (!binary)
            binary = VORLANE_MENUS_BINARY_DIR;
        {
            std::string run = std::string(binary) + "/run";
            rama.SetRootDirectory(run.c_str());
            have_archive = rama.Init((run + "/data/master.dix").c_str()) == 1;
            for (const char* location : {"multilobby", "missions"}) {
                int id = have_archive ? rama.GetLocationID(location) : -1;
                if (id >= 0)
                    rama.LoadLocation(id);
            }
        }
        menus.SetPictureLoader(
            [this](const char* name) -> std::shared_ptr<const vorlane::gui::GuiPicture> {
                if (!have_archive)
                    return nullptr;
                vorlane::resources::RAMA_RES* res = rama.GetResource(name);
                uint32_t size = 0;
                const uint8_t* data = res ? res->GetData(&size) : nullptr;
                return data ? vorlane::gui::LoadPicture(data, size) : nullptr;
            });
    }
    void Build() { menus.CreateFromScript(script.data(), script.size(), false); }
};

void BM_EmptyChunkBaseline(benchmark::State& state) {
    LuaStatePtr lua(LUA_CreateState());
    for (auto _ : state) benchmark::DoNotOptimize(LUA_ExecuteString(lua.get(), "local x = 1", "b"));
}
BENCHMARK(BM_EmptyChunkBaseline)->Unit(benchmark::kMicrosecond);

void BM_BuildMenus(benchmark::State& state) {
    Menus m;
    for (auto _ : state) m.Build();
    state.counters["menus"] = double(m.menus.registered_count());
}
BENCHMARK(BM_BuildMenus)->Unit(benchmark::kMillisecond);

void BM_FillScreenBaseline(benchmark::State& state) {
    vorlane::gui::MemoryCanvas canvas(1024, 768);
    for (auto _ : state) {
        canvas.FillRect(0, 0, 1024, 768, 0xFF102030);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillScreenBaseline)->Unit(benchmark::kMicrosecond);

void BM_DrawLoginScreen(benchmark::State& state) {
    Menus m;
    m.Build();
    m.menus.ShowMenu("menu.login");
    vorlane::gui::MemoryCanvas canvas(1024, 768);
    for (auto _ : state) {
        m.gui.Draw(canvas);
        benchmark::ClobberMemory();
    }
    state.counters["pictures"] = m.have_archive ? 1 : 0;
}
BENCHMARK(BM_DrawLoginScreen)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
