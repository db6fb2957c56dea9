// Log output of the network layer.
//
// The socket layer and the kernel write to logs of the base library. Every
// line goes through these helpers so that the kernel's level and class usage
// stays in one place.
#pragma once

#include <cstdint>

#include "baselib/logsys.h"

namespace vorlane::net {

using NetLog = LOGSYS;

constexpr uint32_t kLevelInfo = 4;
constexpr uint32_t kLevelWarning = 8;
constexpr uint32_t kLevelError = 16;
constexpr uint32_t kLevelRaw = 64;
constexpr uint32_t kLevelData = 128;
constexpr uint32_t kAllClasses = 0xFFFFFFFFu;

// Writes one finished line; a null log means the default log.
void LogLine(NetLog* log, uint32_t level, const char* text);
// printf-style form of LogLine; lines longer than 1023 characters are cut.
void LogFormat(NetLog* log, uint32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace vorlane::net
