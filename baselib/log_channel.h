// The program's one logging channel, on top of LOGSYS (baselib/logsys.h).
//
// Every subsystem writes its lines through LOGSYS at one of the levels named
// there (kLogInfo, kLogWarning, kLogError, ...): the base library with the
// LOGSYS_ calls, everything else with Log (the default log) or LogTo (a log of
// its own, such as the network logs). Both format like printf and cut a line
// at 1023 characters.
//
// One switch silences it: LOGSYS_MuteAll (the programs' start-up, the fuzzers).
// One hook redirects it: RedirectLog hands every line of every log to a sink
// instead of the logs' outputs; the tests capture lines with it
// (tests/support/log_capture.h).
#pragma once

#include <cstdint>
#include <functional>

#include "baselib/logsys.h"

// The levels beside those of logsys.h: the network logs' data lines (no
// prefix), and the class of the ordinary writes, which passes every class mask.
constexpr uint32_t kLogData = 128;
constexpr uint32_t kLogAllClasses = 0xFFFFFFFF;

namespace vorlane {

// Formats one line and writes it on the default log.
void Log(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Formats one line and writes it on `log` (null: the default log).
void LogTo(LOGSYS* log, uint32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Receives a redirected line with its level.
using LogSink = std::function<void(uint32_t level, const char* text)>;
// Sends every line that passes its log's masks to `sink` and nowhere else,
// whether or not the log exists or logging is muted; an empty sink gives the
// lines back to the logs. Returns the previous sink. The sink is called under
// a lock of its own: it must not log.
LogSink RedirectLog(LogSink sink);

}  // namespace vorlane
