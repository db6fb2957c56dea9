// [SECTION] Secondary initialisation
// [SECTION] Main-loop iteration
// [SECTION] Main program
#include "app/main_program.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/global_control.h"
#include "app/lua_globals.h"
#include "app/main_thread.h"
#include "app/options.h"
#include "app/presentation.h"
#include "app/startup.h"
#include "app/window.h"
#include "baselib/bl_thread.h"
#include "baselib/ioeve.h"
#include "baselib/logsys.h"
#include "baselib/timer.h"
#include "baselib/user_folder.h"
#include "console/console.h"
#include "console/console_setup.h"
#include "gui/gui_control.h"
#include "gui/gui_palette.h"
#include "gui/gui_trace.h"
#include "media/osgfx.h"
#include "net/known_servers.h"
#include "net/lobbynet.h"
#include "shell/global_data.h"
#include "shell/preferences.h"
#include "sound/sound_lua.h"

namespace vorlane {

namespace {

FrameFactory g_frame_factory;
std::function<void()> g_iteration_hook;
std::function<void()> g_service_hook;
std::unique_ptr<PRESENTATION> g_presentation;
std::unique_ptr<console::CONSOLE> g_console;
uint32_t g_console_fps = 0;
uint8_t g_console_gui_trace = 0;
int32_t g_console_window_scale = 0;
// The console's ui_palette: the name as typed, until ApplyPalette judges it.
char g_console_ui_palette[16] = "";
bool g_paused_by_deactivation = false;

// What the main loop knows between iterations, so that it draws only when the
// picture changed and otherwise sleeps until an event or the next change:
//   draw when: an event came (input, window, network), the frame says it
//   changed or animates (MsUntilChange 0), or its announced change is due;
//   present: at the next refresh slot; meanwhile and afterwards: wait.
bool g_woken = false;         // the last wait ended with an event
bool g_draw_pending = false;  // a changed picture waits for its present slot
bool g_change_timed = false;  // the frame announced its next change...
uint32_t g_change_at = 0;     // ...for this steady-clock time
bool g_other_timed = false;   // the same for changes other than a caret blink
uint32_t g_other_at = 0;
bool g_whole_pending = false;  // a change other than a caret blink waits to be drawn

// A caret that blinks over a picture that does not change alternates between
// two pictures: once a blink has drawn each, a blink presents the one it needs
// again instead of drawing the frame (drawing the menus is most of what an
// idle front end costs). Any other change forgets them.
class CaretPictures {
  public:
    void Forget() { kept_[0].clear(), kept_[1].clear(); }
    bool Show(media::OSGFX* screen, uint32_t toggles) {
        const std::vector<uint32_t>& kept = kept_[toggles & 1];
        if (!screen || kept.size() != Size(screen))
            return false;
        std::copy(kept.begin(), kept.end(), screen->pixels());
        return true;
    }
    void Keep(const media::OSGFX* screen, uint32_t toggles) {
        if (screen)
            kept_[toggles & 1].assign(screen->pixels(), screen->pixels() + Size(screen));
    }

  private:
    static size_t Size(const media::OSGFX* screen) {
        return size_t(screen->height()) * size_t(screen->pitch());
    }
    std::vector<uint32_t> kept_[2];
};
CaretPictures g_caret_pictures;
// The longest sleep: lobby time-outs and keep-alives are serviced this often
// even when nothing at all happens.
constexpr uint32_t kIdleWaitMs = 100;
// While the window is inactive the loop only services the network.
constexpr uint32_t kInactiveWaitMs = 20;
// A lost graphics device that cannot be reset yet is tried again this often.
constexpr uint32_t kLostDeviceWaitMs = 20;

void LogInfo(const char* text) {
    LOGSYS_Text(nullptr, kLogInfo, text);
}
void LogError(const char* text) {
    LOGSYS_Text(nullptr, kLogError, text);
}

// A frame found the graphics device lost: it is reset (which makes the
// textures again) and the next frame draws the whole picture. Until the device
// can be reset the loop waits a little between tries.
void ResetLostDevice(media::GFXSYS3D& gfx) {
    gfx.EndFrame(8);
    if (gfx.Reset() == 1) {
        g_caret_pictures.Forget();
        g_control->app_flags.Set(kAppRepaint);
        return;
    }
    g_woken = MAIN_WaitForEvents(kLostDeviceWaitMs) || g_woken;
}

// Until the front end's own frame exists, this frame shows the loading picture
// and waits for the window to close.
class StandInFrame : public ProgramFrame {
  public:
    void Draw() override {
        if (g_presentation)
            g_presentation->Draw();
    }
};

// The input handler the callback dispatcher calls for every input event.
int ForwardInput(void* event) {
    return MAIN_ForwardInput(static_cast<IOEVE*>(event));
}

const char* Text(const char* name) {
    resources::TEXTLIB* textlib = g_control ? g_control->textlib() : nullptr;
    return textlib ? textlib->GetTextC(name) : nullptr;
}

// Loads an archive location by name; false when it is missing or fails. The
// log is muted in normal runs, so the player is told which one in the
// critical-error box.
bool LoadLocation(const char* name) {
    resources::RAMA_CTRL* rama = g_control->rama();
    int id = rama->GetLocationID(name);
    if (id >= 0 && rama->LoadLocation(id) == 1)
        return true;
    MAIN_SetCriticalError(std::string("Cannot load the archive location \"") + name + "\".");
    return false;
}

bool FailStart(const char* log_line, const char* critical) {
    LogError(log_line);
    MAIN_SetCriticalError(critical);
    return false;
}

void DrawLoadingScreen() {
    if (!g_presentation)
        return;
    g_presentation->flags |= PRESENTATION::kLoadingPicture;
    const char* text = Text("LOADING");
    if (g_control && text) {
        g_presentation->SetLoadingGfx(-1, -1, "show.loading", text, 2, 0x0FFFFFFF, 0x08888888);
        g_presentation->Draw();
    }
}

void ConsoleLua(const char* code) {
    if (g_control && g_control->lua())
        LUA_ExecuteString(g_control->lua(), code, "console");
}

void ConsolePrint(const std::string& line) {
    if (g_console)
        g_console->Print(line.c_str());
}

void DrawShutdownNotice() {
    media::GFXSYS3D* gfx = MAIN_Gfx();
    if (!gfx || !gfx->screen())
        return;
    gfx->StartFrame();
    const char* text = Text("LOBBY_SHUTTINGDOWN");
    if (text)
        MAIN_DrawTextCentred(*gfx->screen(), 1, text, 0xFFFFFFFF, 0xFF888888);
    gfx->EndFrame(8);
}

}  // namespace

bool MAIN_SaveScreenshot(const std::string& path) {
    media::GFXSYS3D* gfx = MAIN_Gfx();
    media::OSGFX* screen = gfx ? gfx->screen() : nullptr;
    if (!screen)
        return false;
    // The back buffer holds the frame being built: draw a fresh one first.
    gfx->StartFrame();
    if (g_settings && g_settings->current_frame)
        g_settings->current_frame->Draw();
    bool saved = gfx->Screenshot(path, false) == 0;
    gfx->EndFrame(8);
    return saved;
}

namespace {

// Writes every preference as it stands now, so that changing one never
// resets another.
void SavePreferences() {
    shell::Preferences preferences;
    preferences.window_scale = g_settings ? g_settings->window_scale : g_console_window_scale;
    preferences.ui_palette = gui::CurrentPaletteMode();
    const std::string path = shell::PreferencesPath();
    if (!shell::WritePreferences(path, preferences))
        ConsolePrint("cannot write " + path);
}

// The console's window_scale: resizes the window at once and keeps the
// choice in the preferences for the next start.
void ApplyWindowScale() {
    const int32_t previous = g_settings ? g_settings->window_scale : 0;
    if (!shell::ValidWindowScale(g_console_window_scale)) {
        ConsolePrint("window_scale: 0 (the largest that fits the screen) to " +
                     std::to_string(media::kMaxWindowScale));
        g_console_window_scale = previous;
        return;
    }
    if (g_settings)
        g_settings->window_scale = g_console_window_scale;
    if (media::GFXSYS3D* gfx = MAIN_Gfx())
        gfx->SetWindowScale(g_console_window_scale);
    // The device was reset: its picture must be drawn again, changed or not.
    if (g_control)
        g_control->app_flags.Set(kAppRepaint);
    SavePreferences();
}

void ShowPaletteName() {
    std::snprintf(g_console_ui_palette, sizeof g_console_ui_palette, "%s",
                  gui::PaletteModeName(gui::CurrentPaletteMode()));
}

// The console's ui_palette: every menu is drawn in the new colours from the
// next frame on (the styles look the palette up while drawing), and the
// choice is kept for the next start.
void ApplyPalette() {
    gui::PaletteMode mode = gui::CurrentPaletteMode();
    if (!gui::ParsePaletteMode(g_console_ui_palette, &mode)) {
        ConsolePrint("ui_palette: standard, colourblind or contrast");
        ShowPaletteName();
        return;
    }
    gui::SetPaletteMode(mode);
    ShowPaletteName();
    if (g_control)
        g_control->app_flags.Set(kAppRepaint);
    SavePreferences();
}

// "forget_server [HOST [PORT]]": the player trusts a server's new key. The
// configured lobby server when no host is given.
void ForgetServer(const char* rest) {
    LOBBYNET* lobby = g_control ? g_control->lobby() : nullptr;
    std::string host = lobby ? lobby->host() : "";
    long port = lobby ? lobby->port() : 0;
    char named_host[256] = "";
    long named_port = 0;
    const int given = rest ? std::sscanf(rest, "%255s %ld", named_host, &named_port) : 0;
    if (given >= 1)
        host = named_host;
    if (given >= 2)
        port = named_port;
    if (host.empty() || port <= 0 || port > 65535) {
        ConsolePrint("forget_server [HOST [PORT]]");
        return;
    }
    net::KnownServers known(lobby ? lobby->known_servers_file() : net::PlayerKnownServersFile());
    const bool forgotten = known.Forget(host, uint16_t(port));
    ConsolePrint((forgotten ? "forgot the key of " : "no key kept for ") +
                 net::KnownServerKey(host, uint16_t(port)));
}

}  // namespace

int MAIN_ConsoleSetup(int font_number, uint16_t width, uint16_t height) {
    g_console.reset();
    media::GFXSYS3D* gfx = MAIN_Gfx();
    resources::QNTFONTCTRL_BASE* fonts = g_control ? g_control->font_ctrl() : nullptr;
    auto created = std::make_unique<console::CONSOLE>();
    if (!created->Init(width, height, fonts ? fonts->GetFont(font_number) : nullptr, gfx,
                       gfx ? gfx->screen() : nullptr, 0)) {
        LogError("Cannot initialize console class.");
        return 65535;
    }
    created->SetFileFolder(baselib::UserFolder());
    g_console = std::move(created);
    console::CONSOLE_Set(g_console.get());
    console::ConsoleHooks hooks;
    hooks.fps = &g_console_fps;
    hooks.screenshot = [](const char* name) {
        std::string path =
            baselib::InFolder(baselib::UserFile("screenshots/"), std::string(name) + ".bmp");
        ConsolePrint(MAIN_SaveScreenshot(path) ? "saved " + path : "cannot save " + path);
    };
    hooks.lua = ConsoleLua;
    console::CONSOLE_RegisterDefaults(*g_console, hooks);
    g_console->AddVariable("gui_trace", &g_console_gui_trace, console::kVarBool, 0,
                           [] { gui::SetEventTrace(g_console_gui_trace != 0); });
    g_console->AddCommand("forget_server", ForgetServer, 1);
    g_console_window_scale = g_settings ? g_settings->window_scale : 0;
    g_console->AddVariable("window_scale", &g_console_window_scale, console::kVarInt32, 0,
                           ApplyWindowScale);
    ShowPaletteName();
    g_console->AddVariable("ui_palette", g_console_ui_palette, console::kVarString,
                           uint16_t(sizeof g_console_ui_palette), ApplyPalette);
    MAIN_SetConsoleSink(ConsolePrint);
    LuaHost host = LUA_GetHost();
    host.console_print = [](const char* text) { ConsolePrint(text); };
    LUA_SetHost(host);
    return 0;
}

void MAIN_ReleaseConsole() {
    if (!g_console)
        return;
    LuaHost host = LUA_GetHost();
    host.console_print = nullptr;
    LUA_SetHost(host);
    MAIN_SetConsoleSink(nullptr);
    console::CONSOLE_Set(nullptr);
    g_console.reset();
}

console::CONSOLE* MAIN_Console() {
    return g_console.get();
}

// The console's toggle key never goes further, and while the console is open
// it sees every record first.
int MAIN_ForwardInput(IOEVE* record) {
    if (g_console && record) {
        if (console::CONSOLE_HandleToggle(*g_console, *record))
            return 1;
        if (g_console->open && g_console->ProcessInput(*record))
            return 1;
    }
    ProgramFrame* frame = g_settings ? g_settings->current_frame : nullptr;
    return frame ? frame->OnInput(record) : 0;
}

void MAIN_DrawPresentation() {
    if (g_presentation)
        g_presentation->Draw();
}

void MAIN_SetFrameFactory(FrameFactory factory) {
    g_frame_factory = std::move(factory);
}
void MAIN_SetIterationHook(std::function<void()> hook) {
    g_iteration_hook = std::move(hook);
}

void MAIN_SetServiceHook(std::function<void()> hook) {
    g_service_hook = std::move(hook);
}

int MAIN_DrawTextCentred(media::OSGFX& surface, int font_number, const char* text, uint32_t colour1,
                         uint32_t colour2) {
    resources::QNTFONTCTRL_BASE* fonts = g_control ? g_control->font_ctrl() : nullptr;
    return MAIN_DrawTextCentredWith(surface, fonts ? fonts->GetFont(font_number) : nullptr, text,
                                    colour1, colour2);
}

int MAIN_DrawTextCentredWith(media::OSGFX& surface, resources::QNTFONT_BASE* font, const char* text,
                             uint32_t colour1, uint32_t colour2) {
    if (!font || !text)
        return 0;
    const int width = font->TextWidth(text, 0);
    const int x = (surface.width() - width) / 2;
    const int y = (surface.height() - font->font_height) / 2;
    surface.BeginDraw();
    // The shell's text colours are RGB values; their top byte is not an
    // opacity (0x0FFFFFFF would otherwise draw the text almost invisible).
    font->DrawTextEx(&surface, x + 1, y + 1, colour2 | 0xFF000000u, text, 0);
    font->DrawTextEx(&surface, x, y, colour1 | 0xFF000000u, text, 0);
    surface.EndDraw();
    return width;
}

// [SECTION] Secondary initialisation

int MAIN_SecondaryInit() {
    // MainThread keeps the sound system's buffers filled every 20 ms.
    if (MAIN_StartMainThread(sound::SNDAPI_Service) != 0) {
        FailStart("MAIN: Cannot start main thread.", "Cannot start main thread.");
        MAIN_StopMainThread();
        return -1;
    }
    LogInfo("MAIN: Thread init and started.");
    if (g_control->InitDave() != 0) {
        MAIN_SetCriticalError(g_control->dave() ? "Cannot generate dave default callbacks."
                                                : "Cannot init dave callback system.");
        MAIN_StopMainThread();
        return -1;
    }
    g_control->InitSndCtrl();
    if (g_control->InitRAMA() != 0)
        return -1;
    g_control->rama()->LoadPatches();
    if (g_control->Init3DEngine(MAIN_Gfx()) != 0) {
        LogError("error on 3D init.");
        return -1;
    }
    sound::SOUND_SetContext(g_control->sound(), g_control->rama());

    for (const char* location : {"multilobby", "missions", "mainmenu", "alltime"}) {
        if (!LoadLocation(location))
            return -1;
    }
    if (g_control->InitTextLib("text.global") != 0)
        return -1;
    g_control->textlib()->AddTextResource("text.global.story");
    g_control->textlib()->AddTextResource("lobby.global.text");
    if (g_control->InitDXInput(g_settings->screen_width, g_settings->screen_height) != 0) {
        MAIN_SetCriticalError("init DirectInput failed.");
        return -1;
    }
    if (g_control->InitLobbynet() != 0) {
        MAIN_SetCriticalError("init lobbynet failed.");
        return -1;
    }
    if (g_control->InitFontCtrl(resources::kProgramFontTable, resources::kProgramFontTable[0],
                                MAIN_Gfx()) != 0) {
        MAIN_SetCriticalError("init font control failed.");
        return -1;
    }
    if (g_control->Init3DObjects("lobby.script.mob3d.types") != 0) {
        LogError("error on MOB3D init.");
        return -1;
    }
    if (g_control->InitVideoSystem(g_control->rama()) != 0) {
        LogError("error on video init.");
        return -1;
    }
    LUA_ExecuteString(g_control->lua(), "menu = {}\nmenu.LANGUAGE = \"\"\n", "menutable");
    if (g_control->InitGUI(g_settings->screen_width, g_settings->screen_height) != 0) {
        LogError("error on GUI init.");
        return -1;
    }
    if (g_control->InitMenuManager() != 0 || g_control->InitCaptureCtrl() != 0)
        return -1;
    return g_control->InitSequenceCtrl();
}

// [SECTION] Main-loop iteration

int MAIN_MainLoopIteration(ProgramFrame* frame) {
    if (!g_settings || frame != g_settings->current_frame) {
        LogError("invalid program frame in mainloop !!!");
        return kLoopNotCurrentFrame;
    }
    baselib::Clock& app_clock = baselib::MainLoopClock();
    app_clock.Update();
    const bool events = MAIN_PumpMessages() || std::exchange(g_woken, false);

    FlagWord& flags = g_control->app_flags;
    if (flags.Test(kAppExitRequested))
        return kLoopExitRequested;

    media::GFXSYS3D* gfx = MAIN_Gfx();
    if (flags.Test(kAppInactive)) {
        if (g_service_hook)
            g_service_hook();
        if (app_clock.running()) {
            g_paused_by_deactivation = true;
            app_clock.Pause();
        }
        if (flags.Test(kAppRepaint)) {
            flags.Clear(kAppRepaint);
            if (gfx && gfx->windowed()) {
                g_caret_pictures.Forget();
                if (!gfx->StartFrame()) {
                    ResetLostDevice(*gfx);
                    return kLoopNoFrameResult;
                }
                frame->Draw();
                gfx->EndFrame(8);
                MAIN_NotePresent();
            }
        }
        if (gfx) {
            gfx->UpdateStatistics();
            g_console_fps = uint32_t(gfx->fps());
        }
        // Network messages end the wait, so chat keeps flowing in the background.
        g_woken = MAIN_WaitForEvents(kInactiveWaitMs);
        return kLoopNoFrameResult;
    }
    if (g_paused_by_deactivation) {
        g_paused_by_deactivation = false;
        app_clock.Resume();
    }

    g_settings->left_pressed = g_settings->left_released = 0;
    g_settings->right_pressed = g_settings->right_released = 0;
    if (media::DXINPUT* input = g_control->dxinput()) {
        uint32_t now = GetTickCount();
        input->ProcessKeyboard(now);
        input->ProcessMouse(now);
    }
    if (g_control->input_queue() && g_control->dave())
        IOEVE_DispatchAll(g_control->input_queue(), g_control->dave());
    // The front end's frame owns the GUI control; the loop runs its per-frame pass.
    if (GUI_CONTROL* gui = GUI_CONTROL::Get())
        gui->Update();

    frame->Update();
    if (g_service_hook)
        g_service_hook();
    if (g_iteration_hook)
        g_iteration_hook();
    if (!gfx)
        return g_control->program_state;

    const uint32_t now = baselib::SteadyClock().NowMs();
    const uint32_t until_change = frame->MsUntilChange();
    const uint32_t other_reported = frame->MsUntilOtherChange();
    const uint32_t until_other =
        other_reported == ProgramFrame::kEveryChange ? until_change : other_reported;
    const bool change_due = g_change_timed && int32_t(now - g_change_at) >= 0;
    const bool other_due = g_other_timed && int32_t(now - g_other_at) >= 0;
    media::DXINPUT* input = g_control->dxinput();
    const bool key_repeating = input && input->Repeating();
    if (events || other_due || until_other == 0 || key_repeating || flags.Test(kAppRepaint))
        g_whole_pending = true;
    if (g_whole_pending || change_due || until_change == 0)
        g_draw_pending = true;
    // A change reported as happening now is drawn with this frame; only a
    // later one is waited for.
    g_change_timed = until_change != ProgramFrame::kNoChange && until_change != 0;
    g_change_at = now + until_change;
    g_other_timed = until_other != ProgramFrame::kNoChange && until_other != 0;
    g_other_at = now + until_other;

    uint32_t to_slot = MAIN_MsUntilPresentSlot();
    if (g_draw_pending && to_slot == 0) {
        flags.Clear(kAppRepaint);
        const uint32_t toggles = gui::CaretToggles();
        if (!gfx->StartFrame()) {
            ResetLostDevice(*gfx);
            return kLoopNoFrameResult;
        }
        if (g_whole_pending)
            g_caret_pictures.Forget();
        if (g_whole_pending) {
            frame->Draw();
        } else if (!g_caret_pictures.Show(gfx->screen(), toggles)) {
            // Kept only from blinks, so a busy screen pays no copy per frame.
            frame->Draw();
            g_caret_pictures.Keep(gfx->screen(), toggles);
        }
        gfx->EndFrame(8);
        MAIN_NotePresent();
        g_draw_pending = g_whole_pending = false;
        to_slot = MAIN_MsUntilPresentSlot();
    }
    gfx->UpdateStatistics();
    g_console_fps = uint32_t(gfx->fps());

    // A quitting program does not sleep first.
    if (g_control->program_state != 0 || flags.Test(kAppExitRequested))
        return g_control->program_state;
    // Something animates or a change waits to be shown: the next iteration
    // comes with the next present slot (never 0 here: a frame that was due at
    // this slot has just been drawn).
    const bool next_frame = g_draw_pending || until_change == 0 || key_repeating;
    const uint32_t wait = next_frame ? to_slot : std::min(until_change, kIdleWaitMs);
    g_woken = MAIN_WaitForEvents(wait);
    return g_control->program_state;
}

// [SECTION] Main program

int MAIN_MainProgram() {
    std::srand(GetTickCount());
    LogInfo("MainProgram: Tables generated.");

    g_presentation = PRESENTATION::Create();
    if (!g_presentation) {
        MAIN_SetCriticalError("Cannot load the presentation.");
        return -1;
    }

    MAIN_EvaluateOptions();
    if (g_settings->info_mode == 0)
        g_presentation->flags &= ~PRESENTATION::kInfoOverlay;
    uint16_t start_mode = MAIN_StartMode();
    g_settings->network_mode = start_mode;

    if (MAIN_ConsoleSetup(2, 640, 128) != 0) {
        g_presentation.reset();
        FailStart("Cannot initialize CONSOLE !", "Cannot initialize CONSOLE !");
        return -1;
    }
    MAIN_RegisterLuaGlobals(g_control->lua());
    MAIN_ConsoleLine("Scripting enabled.");
    MAIN_ConsoleLine(MAIN_VersionText());

    baselib::Clock& app_clock = baselib::MainLoopClock();
    app_clock.Update();
    app_clock.Pause();
    app_clock.Resume();

    if (media::GFXSYS3D* gfx = MAIN_Gfx()) {
        gfx->set_clear_colour(0);
        gfx->StartFrame();
        DrawLoadingScreen();
        gfx->EndFrame(8);
    }

    LogInfo("MainPrg: initializing MAINMAP...");
    std::unique_ptr<ProgramFrame> main_map =
        g_frame_factory ? g_frame_factory(start_mode) : std::make_unique<StandInFrame>();
    // A main map that cannot start ends the program as a failure, with a box
    // that says so (the log is muted in normal runs).
    if (!main_map || !main_map->IsReady()) {
        const char* line =
            main_map ? "MainProgram: MAINMAP IsOK failed." : "MainProgram: Cannot alloc MAINMAP.";
        main_map.reset();
        g_presentation.reset();
        MAIN_ReleaseConsole();
        // Keep the cause a part of the main map named, if it named one.
        FailStart(line, g_critical_error.empty() ? "Cannot start the main map."
                                                 : g_critical_error.c_str());
        return -1;
    }
    g_settings->current_frame = main_map.get();
    g_settings->main_map = main_map.get();

    g_control->program_state = 0;
    g_control->RegisterInputHandler(ForwardInput);
    g_control->DrainInputEvents();
    if (g_control->sound() && g_settings->sound_onoff)
        sound::SOUND_PlayResource("lobby.sound.music", g_settings->music_volume, true);
    LogInfo("Application initialized.");
    LogInfo(std::string(49, '-').c_str());
    g_presentation->flags &= ~PRESENTATION::kLoadingPicture;

    for (;;) {
        int result = MAIN_MainLoopIteration(main_map.get());
        if (result == 1 || result == kLoopExitRequested || result == kStateStartGame)
            break;
    }
    LogInfo(std::string(50, '-').c_str());
    LogInfo("Application ended, starting cleanup.");

    if (sound::SNDAPI* api = g_control->sound())
        api->StopAll();
    DrawShutdownNotice();
    g_control->DrainInputEvents();
    g_control->UnregisterInputHandler();

    LogInfo("MainPrg: removing MAINMAP...");
    main_map.reset();
    g_settings->current_frame = nullptr;
    g_settings->main_map = nullptr;
    g_presentation.reset();
    MAIN_ReleaseConsole();
    return 0;
}

}  // namespace vorlane
