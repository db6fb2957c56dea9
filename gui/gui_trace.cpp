#include "gui/gui_trace.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace vorlane::gui {
namespace {

TraceSink g_trace = nullptr;
bool g_event_trace = false;
ClockSource g_clock = nullptr;
FatalHandler g_fatal = nullptr;

uint32_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

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

void SetClock(ClockSource clock) {
    g_clock = clock;
}
uint32_t Now() {
    return g_clock ? g_clock() : SteadyMilliseconds();
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
