#include "baselib/log_channel.h"

#include <cstdarg>
#include <cstdio>

namespace vorlane {

namespace {

constexpr size_t kChannelLineSize = 1024;

void WriteFormatted(LOGSYS* log, uint32_t level, const char* format, va_list args) {
    char line[kChannelLineSize];
    if (std::vsnprintf(line, sizeof line, format, args) < 0)
        line[0] = '\0';
    LOGSYS_Write(log, level, kLogAllClasses, line);
}

}  // namespace

void Log(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(nullptr, level, format, args);
    va_end(args);
}

void LogTo(LOGSYS* log, uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(log, level, format, args);
    va_end(args);
}

}  // namespace vorlane
