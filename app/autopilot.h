// The autopilot: a Lua automation script (command-line variable script=FILE)
// that drives the front end through the real input queue, once per main-loop
// iteration, as a coroutine. See docs/autopilot.md for its functions.
//
// Use: AUTOPILOT_Start(path) once the main map is ready; AUTOPILOT_Step() once
// per main-loop iteration (after the frame's update); AUTOPILOT_Stop() before
// the subsystems go away. A script that calls autopilot.quit(code) ends the
// loop; AUTOPILOT_ExitCode() then gives the code the process should end with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class GUI_OBJECT;
class MTX_QLIST;

namespace vorlane {

// What the autopilot reaches; every member may be empty in tests.
struct AutopilotHost {
    // The GUI object of a dotted name, or null.
    std::function<GUI_OBJECT*(const char*)> find_object;
    // Where the input records go (owned by the caller).
    MTX_QLIST* input_queue = nullptr;
    // Saves the current frame as a BMP; false on failure.
    std::function<bool(const std::string&)> screenshot;
    // Ends the main loop.
    std::function<void()> quit;
    // True while an intro sequence plays that a click skips.
    std::function<bool()> intro_playing;
    // Makes the window inactive (true) or active again, as the desktop does
    // when the player switches to another program.
    std::function<void(bool)> set_inactive;
    // Asks the window to close, as the desktop's close button does.
    std::function<void()> close_window;
};

// Loads the script; false (message on standard error) when it cannot be read
// or compiled.
bool AUTOPILOT_Start(const std::string& path, AutopilotHost host);
// The same for script text (tests).
bool AUTOPILOT_StartText(const std::string& text, const std::string& chunk_name,
                         AutopilotHost host);
// Resumes the script once. A Lua error ends the process with status 4 unless
// a test installed an error handler.
void AUTOPILOT_Step();
// How soon AUTOPILOT_Step has something to do: 0 at the next iteration, the
// milliseconds left of a sleep, or kAutopilotNoStep when no script runs or it
// waits out a background period. The main loop does not sleep past it.
inline constexpr uint32_t kAutopilotNoStep = 0xFFFFFFFFu;
uint32_t AUTOPILOT_MsUntilStep();
// Called every iteration, also while the window is inactive: ends an
// autopilot.background() period when its time is up.
void AUTOPILOT_Service();
void AUTOPILOT_Stop();
bool AUTOPILOT_Running();
// The code given to autopilot.quit, or -1 when it was not called.
int AUTOPILOT_ExitCode();
// Replaces the process exit of assert (3) and script errors (4); tests use it.
void AUTOPILOT_SetExitHandler(std::function<void(int status, const std::string& message)> handler);

}  // namespace vorlane
