// The main program: presentation and console set-up, the current program frame,
// the main-loop iterations and the shutdown notice; plus the secondary
// initialisation that brings the subsystems up once the window exists.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/osgfx.h"
#include "shell/program_frame.h"

namespace vorlane::resources {
class QNTFONT_BASE;
}

struct IOEVE;
namespace vorlane::console {
class CONSOLE;
}

namespace vorlane {

// Main-loop iteration results besides the program states.
inline constexpr int kLoopExitRequested = 2;
inline constexpr int kLoopNoFrameResult = 3;
inline constexpr int kLoopNotCurrentFrame = 5;

// Brings the subsystems up after the window exists. 0 success, -1 failure (the
// critical-error text says why).
int MAIN_SecondaryInit();

// One main-loop iteration for `frame`.
int MAIN_MainLoopIteration(ProgramFrame* frame);

// Runs the program to its end. 0, or -1 when the presentation, the console or
// the main map cannot be made (the critical-error text then says which).
int MAIN_MainProgram();

// Makes the main map frame; replaced by the front end's own frame once it exists.
using FrameFactory = std::function<std::unique_ptr<ProgramFrame>(uint16_t start_mode)>;
void MAIN_SetFrameFactory(FrameFactory factory);

// Writes `text` centred into `surface` with font number `font`: in `colour1`
// over a shadow in `colour2` one pixel down and right, so it reads on any
// background. A missing font draws nothing. Returns the text width in pixels
// (0 without font).
int MAIN_DrawTextCentred(media::OSGFX& surface, int font, const char* text, uint32_t colour1,
                         uint32_t colour2);
// The same with a font object.
int MAIN_DrawTextCentredWith(media::OSGFX& surface, resources::QNTFONT_BASE* font, const char* text,
                             uint32_t colour1, uint32_t colour2);

// Draws a fresh frame and saves it as a 24-bit BMP; false on failure.
bool MAIN_SaveScreenshot(const std::string& path);

// The drop-down console over the top of the screen (closed until the player
// presses its toggle key) with the program's commands and variables; Lua
// output and Lua errors are printed into it from then on. 0, or 65535 when it
// cannot be made. Released by MAIN_ReleaseConsole.
int MAIN_ConsoleSetup(int font, uint16_t width, uint16_t height);
void MAIN_ReleaseConsole();
console::CONSOLE* MAIN_Console();

// Hands one input record to the console (its toggle key, and everything while
// it is open) or else to the current frame; 1 when it was taken.
int MAIN_ForwardInput(IOEVE* record);

// Draws the presentation layer (loading picture, information overlay).
void MAIN_DrawPresentation();

// Called once per iteration after the frame's update (used by the automation
// script runner).
void MAIN_SetIterationHook(std::function<void()> hook);
// Called once per iteration whether or not the window is active: the lobby
// connection is kept alive and its news taken in while the player is in
// another program.
void MAIN_SetServiceHook(std::function<void()> hook);

}  // namespace vorlane
