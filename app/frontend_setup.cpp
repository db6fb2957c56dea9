#include "app/frontend_setup.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/autopilot.h"
#include "app/global_control.h"
#include "app/main_program.h"
#include "app/options.h"
#include "app/startup.h"
#include "app/window.h"
#include "baselib/logsys.h"
#include "baselib/user_folder.h"
#include "frontend/mainmap.h"
#include "gui/gui_control.h"
#include "gui/gui_media.h"
#include "net/lobbynet.h"
#include "scripting/menu_lua.h"
#include "shell/global_data.h"
#include "shell/preferences.h"
#include "video/seq_ctrl.h"

namespace vorlane {

namespace {

// How often a connection attempt is looked at while the loop would sleep:
// neither a connect that completes nor a log-on wait that runs out wakes it.
constexpr uint32_t kConnectPollMs = 50;

using frontend::MAINMAP;
using frontend::MainMapContext;

// Draws the GUI onto the graphics system's back buffer.
void DrawGui() {
    media::GFXSYS3D* gfx = MAIN_Gfx();
    GUI_CONTROL* gui = GUI_CONTROL::Get();
    if (!gfx || !gfx->screen() || !gui)
        return;
    gui::OsgfxCanvas canvas(*gfx->screen());
    gui->Draw(canvas);
    gui->DrawTooltip(canvas);
}

// The front end as one program frame: the subsystems first, the main map last,
// so the main map goes first when the frame is destroyed.
class FrontendFrame : public ProgramFrame {
  public:
    bool Start(uint16_t start_mode) {
        menus_ = g_control->menus();
        lobby_ = g_control->lobby();
        if (!menus_ || !lobby_)
            return false;

        MainMapContext context;
        context.menus = menus_;
        context.lobby = lobby_;
        context.textlib = g_control->textlib();
        context.rama = g_control->rama();
        context.set_program_state = [](int32_t state) { g_control->program_state = state; };
        context.draw_now = [this] {
            if (media::GFXSYS3D* gfx = MAIN_Gfx()) {
                gfx->StartFrame();
                Draw();
                gfx->EndFrame(8);
            }
        };
        context.draw_gui = DrawGui;
        context.screen = [] {
            media::GFXSYS3D* gfx = MAIN_Gfx();
            return gfx ? gfx->screen() : nullptr;
        };
        context.draw_presentation = MAIN_DrawPresentation;
        // What the player's front end writes goes to the user folder; a
        // lobby.cfg beside the data set (the default, or one an older version
        // wrote there) is where it starts from.
        context.lobby_cfg_path = baselib::UserFile("lobby.cfg", "data/lobby.cfg");
        context.mplayer_cfg_path = baselib::UserFile("mplayer.cfg");
        context.preferences_path = shell::PreferencesPath();
        context.attention = [] { g_control->app_flags.Set(kAppRepaint); };
        map_ = std::make_unique<MAINMAP>(std::move(context));
        if (!map_->IsReady() || !map_->Init(start_mode)) {
            // The program runs with its log muted: say why on standard error.
            std::fprintf(stderr, "vorlane-lobby: the main map could not be started\n");
            return false;
        }

        MAIN_SetServiceHook([this] {
            if (lobby_) {
                // Messages handled or a changed state (a time-out, a lost
                // connection) may change what the menus show.
                const bool had_messages = lobby_->PendingMessages() > 0;
                const int state = lobby_->state();
                const int request = lobby_->pending_request();
                lobby_->Update();
                if (had_messages || state != lobby_->state() ||
                    request != lobby_->pending_request()) {
                    lobby_changed_ = true;
                }
            }
            AUTOPILOT_Service();
        });
        MAIN_SetIterationHook(AUTOPILOT_Step);
        const std::string script = MAIN_ScriptOption();
        if (!script.empty()) {
            AutopilotHost host;
            host.find_object = [this](const char* name) { return menus_->GetObject(name); };
            host.input_queue = g_control->input_queue();
            host.screenshot = [](const std::string& path) {
                return MAIN_SaveScreenshot(MAIN_FromStartFolder(path));
            };
            host.intro_playing = [] {
                video::SEQ_CTRL* sequences = video::SEQ_Get();
                return sequences && sequences->AnyPlaying();
            };
            host.quit = [] { g_control->program_state = kStateQuit; };
            host.close_window = [] {
                SDL_Event close{};
                close.type = SDL_QUIT;
                SDL_PushEvent(&close);
            };
            host.set_inactive = [](bool inactive) {
                if (inactive) {
                    g_control->app_flags.Set(kAppInactive);
                } else {
                    g_control->app_flags.Clear(kAppInactive);
                }
            };
            if (!AUTOPILOT_Start(MAIN_FromStartFolder(script), std::move(host)))
                return false;
        }
        return true;
    }

    ~FrontendFrame() override {
        AUTOPILOT_Stop();
        MAIN_SetIterationHook(nullptr);
        MAIN_SetServiceHook(nullptr);
        // The menus and the lobby client belong to the global control, which
        // releases them at shutdown.
        map_.reset();
    }

    int IsReady() const override { return ready_; }
    int OnInput(IOEVE* event) override { return map_ ? map_->OnInput(event) : 0; }
    void Update() override {
        if (map_)
            map_->Update();
    }
    void Draw() override {
        if (map_)
            map_->Draw();
    }
    uint32_t MsUntilChange() override {
        uint32_t due = map_ ? map_->MsUntilChange() : 0;
        other_due_ = map_ ? map_->MsUntilOtherChange() : 0;
        // Messages left over by the flow step's time budget are handled next
        // iteration, not after a sleep.
        if (std::exchange(lobby_changed_, false) || (lobby_ && lobby_->PendingMessages() > 0))
            due = other_due_ = 0;
        if (lobby_ && lobby_->connecting()) {
            due = std::min(due, kConnectPollMs);
            other_due_ = std::min(other_due_, kConnectPollMs);
        }
        const uint32_t pilot = AUTOPILOT_MsUntilStep();
        if (pilot != kAutopilotNoStep) {
            due = std::min(due, pilot);
            other_due_ = std::min(other_due_, pilot);
        }
        return due;
    }
    uint32_t MsUntilOtherChange() override { return other_due_; }
    int ready_ = 0;

  private:
    bool lobby_changed_ = false;
    uint32_t other_due_ = 0;
    LOBBYNET* lobby_ = nullptr;
    MENU_LUA* menus_ = nullptr;
    std::unique_ptr<MAINMAP> map_;
};

}  // namespace

void FRONTEND_Install() {
    MAIN_SetFrameFactory([](uint16_t start_mode) -> std::unique_ptr<ProgramFrame> {
        auto frame = std::make_unique<FrontendFrame>();
        frame->ready_ = frame->Start(start_mode) ? 1 : 0;
        return frame;
    });
}

int FRONTEND_ExitStatus() {
    return AUTOPILOT_ExitCode();
}

}  // namespace vorlane
