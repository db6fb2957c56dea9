#include "console/console_setup.h"

#include "baselib/ioeve.h"
#include "console/console.h"
#include "media/keycodes.h"

namespace vorlane::console {

namespace {
ConsoleHooks g_hooks;
// The console the defaults were registered on: the "lua" command echoes there.
CONSOLE* g_defaults_console = nullptr;

bool IsToggleKey(uint32_t value) {
    int f12 = media::EngineKeyCode(media::kDikF12);
    int grave = media::EngineKeyCode(media::kDikGrave);
    return (f12 != media::kNoEngineKey && value == uint32_t(f12)) ||
           (grave != media::kNoEngineKey && value == uint32_t(grave));
}
}  // namespace

bool CONSOLE_RegisterDefaults(CONSOLE& console, const ConsoleHooks& hooks) {
    g_hooks = hooks;
    g_defaults_console = &console;
    bool ok = true;
    if (hooks.fps)
        ok &= console.AddVariable("fps", hooks.fps, kVarUInt32, 0, nullptr);
    if (hooks.gui_trace)
        ok &= console.AddVariable("gui_trace", hooks.gui_trace, kVarBool, 0, nullptr);
    if (hooks.screenshot)
        ok &= console.AddCommand(
            "screenshot",
            [](const char* rest) {
                if (g_hooks.screenshot)
                    g_hooks.screenshot(rest ? rest : "screenshot");
            },
            1);
    if (hooks.lua)
        ok &= console.AddCommand(
            "lua",
            [](const char* rest) {
                if (!g_hooks.lua || !rest)
                    return;
                g_hooks.lua(rest);
                // What ran is shown below whatever it printed.
                if (g_defaults_console)
                    g_defaults_console->Print(rest);
            },
            1);
    return ok;
}

bool CONSOLE_HandleToggle(CONSOLE& console, const IOEVE& record) {
    if (record.class_flags != kEveKeyDown && record.class_flags != kEveKeyUp)
        return false;
    if (!IsToggleKey(record.value))
        return false;
    if (record.class_flags == kEveKeyDown)
        console.Toggle();
    return true;
}

}  // namespace vorlane::console
