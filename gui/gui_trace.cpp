#include "gui/gui_trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "baselib/timer.h"

namespace vorlane::gui {
namespace {

TraceSink g_trace = nullptr;
bool g_event_trace = false;
FatalHandler g_fatal = nullptr;

}  // namespace

void SetTraceSink(TraceSink sink) {
    g_trace = sink;
}
void SetEventTrace(bool on) {
    g_event_trace = on;
}
bool EventTraceOn() {
    return g_event_trace;
}

void Trace(const char* format, ...) {
    if (!g_trace)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_trace(line);
}

uint32_t Now() {
    return baselib::AppClock().NowMs();
}

namespace {
// Only the thread that runs the GUI reports and takes changes.
uint32_t g_change_due = kNoChangeDue;
uint32_t g_other_due = kNoChangeDue;
uint32_t g_taken_other_due = kNoChangeDue;
uint32_t g_caret_toggles = 0;
}  // namespace

void ChangeDueIn(uint32_t ms) {
    g_change_due = std::min(g_change_due, ms);
    g_other_due = std::min(g_other_due, ms);
}

void CaretChangeDueIn(uint32_t ms) {
    g_change_due = std::min(g_change_due, ms);
}

void CaretToggled() {
    ++g_caret_toggles;
    CaretChangeDueIn(0);
}

uint32_t CaretToggles() {
    return g_caret_toggles;
}

uint32_t TakeChangeDue() {
    g_taken_other_due = std::exchange(g_other_due, kNoChangeDue);
    return std::exchange(g_change_due, kNoChangeDue);
}

uint32_t TakenOtherChangeDue() {
    return g_taken_other_due;
}

void SetFatalHandler(FatalHandler handler) {
    g_fatal = handler;
}
void Fatal() {
    if (g_fatal) {
        g_fatal();
        return;
    }
    std::exit(-1);
}

}  // namespace vorlane::gui
