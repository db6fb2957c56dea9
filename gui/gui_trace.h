// The toolkit's debug trace and its time base.
//
// The debug trace is a printf-style hook whose output is discarded unless a sink
// is installed; programming and allocation errors go there. The few lines the
// toolkit writes to the program log go through the log channel
// (baselib/log_channel.h). The time base is the application clock (frame time
// in milliseconds); tests route it to a clock they drive.
#pragma once

#include <cstdint>

namespace vorlane::gui {

using TraceSink = void (*)(const char* line);

void SetTraceSink(TraceSink sink);
// The trace switch: when on, every delivered event is traced.
void SetEventTrace(bool on);
bool EventTraceOn();

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The application clock's time.
uint32_t Now();

// Changes the GUI makes without input (a caret blink, a tooltip appearing, a
// held scroll arrow): objects say from their Update how soon the next one is
// due, so the main loop can sleep until then instead of drawing every frame.
inline constexpr uint32_t kNoChangeDue = 0xFFFFFFFFu;
void ChangeDueIn(uint32_t ms);
// The earliest change reported since the last call (kNoChangeDue: none), and
// starts collecting afresh.
uint32_t TakeChangeDue();
// A caret's blink changes a few pixels and nothing else, so it is reported
// apart: the main loop can show it again from a picture it drew before.
// CaretToggled is a blink happening now; it counts the blinks.
void CaretChangeDueIn(uint32_t ms);
void CaretToggled();
uint32_t CaretToggles();
// Of the changes the last TakeChangeDue returned, the earliest that was not a
// caret blink (kNoChangeDue: only blinks, or none).
uint32_t TakenOtherChangeDue();

// Ends the process after a fatal programming error (exit code -1); tests may
// replace it to observe the call.
using FatalHandler = void (*)();
void SetFatalHandler(FatalHandler handler);
void Fatal();

}  // namespace vorlane::gui
