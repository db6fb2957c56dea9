// Where the scripting, text and mission code write their log lines.
//
// By default the lines go to the program's default log (LOGSYS). Tests (and tools) can put their
// own sink in place to see exactly which lines were written.
#pragma once

#include <functional>
#include <string>

namespace vorlane::scripting {

inline constexpr int kLogInfo = 4;
inline constexpr int kLogWarning = 8;
inline constexpr int kLogError = 16;

using LogSink = std::function<void(int level, const std::string& line)>;

// Replaces the sink; an empty sink restores the default. Returns the old one.
LogSink SetLogSink(LogSink sink);

// Writes one printf-formatted line at `level`.
void Log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace vorlane::scripting
