#include "net/net_log.h"

#include <cstdarg>
#include <cstdio>

namespace vorlane::net {

void LogLine(NetLog* log, uint32_t level, const char* text) {
    LOGSYS_Write(log, level, kAllClasses, text);
}

void LogFormat(NetLog* log, uint32_t level, const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    LOGSYS_Write(log, level, kAllClasses, line);
}

}  // namespace vorlane::net
