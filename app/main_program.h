// The main program: presentation and console set-up, the current program frame,
// the main-loop iterations and the shutdown notice; plus the secondary
// initialisation that brings the subsystems up once the window exists.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/program_frame.h"
#include "media/osgfx.h"

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

// Runs the program to its end. 0, or -1 when the presentation cannot be made.
int MAIN_MainProgram();

// Makes the main map frame; replaced by the front end's own frame once it exists.
using FrameFactory = std::function<std::unique_ptr<ProgramFrame>(uint16_t start_mode)>;
void MAIN_SetFrameFactory(FrameFactory factory);

// Writes `text` centred into `surface` with font number `font`; a missing font
// draws nothing. Returns the text width in pixels (0 without font).
int MAIN_DrawTextCentred(media::OSGFX& surface, int font, const char* text, uint32_t colour1,
                         uint32_t colour2);

// Draws a fresh frame and saves it as a 24-bit BMP; false on failure.
bool MAIN_SaveScreenshot(const std::string& path);

// Draws the presentation layer (loading picture, information overlay).
void MAIN_DrawPresentation();

// Called once per iteration after the frame's update (used by the automation
// script runner).
void MAIN_SetIterationHook(std::function<void()> hook);

}  // namespace vorlane
