// The application window over SDL: window set-up with the graphics system, the
// window procedure that turns window events into application flags, and the
// message pump.
#pragma once

#include <SDL.h>

#include <memory>

#include "media/gfxsys.h"

namespace vorlane {

namespace media {
class SdlInputSource;
}

// Creates the window titled `title` and starts the graphics system in the mode
// of the settings record. 1 success, 0 failure (the critical-error text is set).
int MAIN_InitWindow(const char* title, int windowed);

// The graphics system (null before MAIN_InitWindow and after MAIN_DestroyGfx).
media::GFXSYS3D* MAIN_Gfx();
SDL_Window* MAIN_Window();
// Shuts the graphics system down and closes the window.
void MAIN_DestroyGfx();

// The graphics system's bit mode for a colour depth: 16 -> 2, 24 or 32 -> 4;
// the bit modes 2, 3 and 4 themselves pass unchanged.
int MAIN_BitModeForDepth(int depth);

// Where keyboard and mouse events go (the input layer's SDL source), or null.
void MAIN_SetInputSource(media::SdlInputSource* source);

// Handles one window event: close, focus, exposure; input events go on to the
// input source.
void MAIN_WindowProcedure(const SDL_Event& event);

// Takes and handles every waiting event; a quit request sets the exit flag.
// True when there was one.
bool MAIN_PumpMessages();

// Sleeps until an event arrives (input, the window, or a message from the
// network) or `timeout_ms` passed, and handles that event. True when one came.
// Without a window it only sleeps.
bool MAIN_WaitForEvents(uint32_t timeout_ms);

// Frames are presented at most at the display's refresh rate (60 Hz where it
// cannot be read): milliseconds until the next frame may be presented, and
// the note that one was.
uint32_t MAIN_MsUntilPresentSlot();
void MAIN_NotePresent();

}  // namespace vorlane
