// Logging hook of the media layer.
//
// The media layer reports through one sink so it can be bound to the program log
// by its owner and captured by tests; by default it writes to the program's
// default log. Levels follow the program log: 4 info,
// 8 warning, 16 error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vorlane::media {

constexpr int kLogInfo = 4;
constexpr int kLogWarning = 8;
constexpr int kLogError = 16;

using LogSink = std::function<void(int level, const std::string& text)>;

// Replaces the sink (an empty function mutes the media layer); returns the old one.
LogSink SetLogSink(LogSink sink);

// Writes one line to the sink.
void Log(int level, const std::string& text);

// printf-style form of Log.
void LogF(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace vorlane::media
