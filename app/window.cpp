#include "app/window.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "app/global_control.h"
#include "baselib/bl_thread.h"
#include "baselib/logsys.h"
#include "media/sdl_input.h"
#include "net/inbound_wake.h"
#include "shell/global_data.h"

namespace vorlane {

namespace {

struct WindowDeleter {
    void operator()(SDL_Window* window) const {
        if (window)
            SDL_DestroyWindow(window);
    }
};

std::unique_ptr<SDL_Window, WindowDeleter> g_window;
std::unique_ptr<media::GFXSYS3D> g_gfx;
media::SdlInputSource* g_input_source = nullptr;

// The flags word the graphics system starts with (8 = wait for the retrace).
constexpr uint32_t kGfxStartFlags = 10;

// The event a network reader posts to end the main loop's wait. One is
// enough however many messages arrive: the loop takes them all at once.
uint32_t g_wake_event = 0;
std::atomic<bool> g_wake_posted{false};

void WakeForNetwork() {
    if (g_wake_posted.exchange(true))
        return;
    SDL_Event event{};
    event.type = g_wake_event;
    if (SDL_PushEvent(&event) != 1)
        g_wake_posted = false;
}

using PresentClock = std::chrono::steady_clock;
PresentClock::duration g_frame_interval = std::chrono::microseconds(16667);
PresentClock::time_point g_last_present{};

void ReadRefreshRate() {
    SDL_DisplayMode mode{};
    int hz =
        g_window && SDL_GetWindowDisplayMode(g_window.get(), &mode) == 0 ? mode.refresh_rate : 0;
    if (hz < 24 || hz > 500)
        hz = 60;
    g_frame_interval = std::chrono::microseconds(1000000 / hz);
}

void SetAppFlag(uint32_t bits, bool on) {
    if (!g_control)
        return;
    if (on)
        g_control->app_flags.Set(bits);
    else
        g_control->app_flags.Clear(bits);
}

}  // namespace

media::GFXSYS3D* MAIN_Gfx() {
    return g_gfx.get();
}
SDL_Window* MAIN_Window() {
    return g_window.get();
}

void MAIN_DestroyGfx() {
    net::SetInboundWake(nullptr);
    if (g_gfx)
        g_gfx->Shutdown();
    g_gfx.reset();
    g_window.reset();
}

int MAIN_BitModeForDepth(int depth) {
    if (depth == 16)
        return 2;
    if (depth == 24 || depth == 32)
        return 4;
    return depth;
}

void MAIN_SetInputSource(media::SdlInputSource* source) {
    g_input_source = source;
}

int MAIN_InitWindow(const char* title, int windowed) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        MAIN_SetCriticalError(std::string("Cannot open a window: no display (") + SDL_GetError() +
                              ").");
        return 0;
    }
    int width = g_settings && g_settings->screen_width > 0 ? g_settings->screen_width : 1024;
    int height = g_settings && g_settings->screen_height > 0 ? g_settings->screen_height : 768;
    uint32_t window_flags = SDL_WINDOW_RESIZABLE;
    if (!windowed)
        window_flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    g_window.reset(SDL_CreateWindow(title, 10, 10, width, height, window_flags));
    if (!g_window) {
        MAIN_SetCriticalError(std::string("Cannot create the window (") + SDL_GetError() + ").");
        return 0;
    }
    SDL_ShowWindow(g_window.get());

    g_gfx = std::make_unique<media::GFXSYS3D>(media::MakeSdlDisplay());
    g_gfx->SetWindowScale(g_settings ? g_settings->window_scale : 0);
    int depth = g_settings ? g_settings->color_depth : 32;
    if (g_gfx->Init(g_window.get(), g_settings ? g_settings->screen_width : width,
                    g_settings ? g_settings->screen_height : height, MAIN_BitModeForDepth(depth),
                    kGfxStartFlags, windowed) != 1) {
        MAIN_SetCriticalError("gfxsys startup failed.");
        return 0;
    }
    if (g_settings) {
        g_settings->screen_width = g_gfx->width();
        g_settings->screen_height = g_gfx->height();
    }
    ReadRefreshRate();
    if (g_wake_event == 0) {
        uint32_t type = SDL_RegisterEvents(1);
        g_wake_event = type == uint32_t(-1) ? 0 : type;
    }
    if (g_wake_event != 0)
        net::SetInboundWake(WakeForNetwork);
    return 1;
}

void MAIN_WindowProcedure(const SDL_Event& event) {
    const bool starting_or_stopping = g_starting_or_stopping == 1;
    if (g_wake_event != 0 && event.type == g_wake_event) {
        // Readers may post again; the messages themselves wait in the kernel.
        g_wake_posted = false;
        return;
    }
    switch (event.type) {
        case SDL_QUIT:
            LOGSYS_Text(nullptr, kLogInfo, "MAIN: EXIT requested. Stop set.");
            g_starting_or_stopping = 1;
            SetAppFlag(kAppExitRequested, true);
            return;
        case SDL_WINDOWEVENT:
            if (starting_or_stopping)
                return;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_LOST:
                case SDL_WINDOWEVENT_MINIMIZED:
                    SetAppFlag(kAppInactive, true);
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                case SDL_WINDOWEVENT_RESTORED:
                    SetAppFlag(kAppInactive, false);
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    SetAppFlag(kAppRepaint, true);
                    break;
            }
            return;
        default:
            // Keyboard and mouse reach the program through the input layer,
            // which reads them from this source once per main-loop tick. The
            // mouse is read only there, so a press never arrives twice.
            if (g_input_source && !(starting_or_stopping && event.type >= SDL_MOUSEMOTION &&
                                    event.type <= SDL_MOUSEWHEEL)) {
                g_input_source->HandleEvent(event);
            }
            return;
    }
}

bool MAIN_PumpMessages() {
    SDL_Event event;
    bool any = false;
    while (SDL_PollEvent(&event)) {
        MAIN_WindowProcedure(event);
        any = true;
    }
    return any;
}

bool MAIN_WaitForEvents(uint32_t timeout_ms) {
    if (timeout_ms == 0)
        return false;
    if (!g_window) {
        BL_Sleep(timeout_ms);
        return false;
    }
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, int(std::min<uint32_t>(timeout_ms, 0x7FFFFFFF))) != 1)
        return false;
    MAIN_WindowProcedure(event);
    return true;
}

uint32_t MAIN_MsUntilPresentSlot() {
    const PresentClock::duration left = g_last_present + g_frame_interval - PresentClock::now();
    if (left <= PresentClock::duration::zero())
        return 0;
    // Rounded up: waking a little early would only wait again.
    return uint32_t((std::chrono::duration_cast<std::chrono::microseconds>(left).count() + 999) /
                    1000);
}

void MAIN_NotePresent() {
    const PresentClock::time_point now = PresentClock::now();
    // Slots follow each other at the exact interval while frames keep coming,
    // so whole-millisecond waits still average the refresh rate; after a pause
    // the cadence starts again from now.
    const PresentClock::time_point next = g_last_present + g_frame_interval;
    g_last_present = now - next < g_frame_interval ? next : now;
}

}  // namespace vorlane
