#include "scripting/script_log.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "baselib/logsys.h"

namespace vorlane::scripting {
namespace {

LogSink& Sink() {
    static LogSink sink;
    return sink;
}

}  // namespace

LogSink SetLogSink(LogSink sink) {
    return std::exchange(Sink(), std::move(sink));
}

void Log(int level, const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (Sink()) {
        Sink()(level, line);
    } else {
        LOGSYS_Text(nullptr, static_cast<uint32_t>(level), line);
    }
}

}  // namespace vorlane::scripting
