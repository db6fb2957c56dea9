#include "media/media_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

#include "baselib/logsys.h"

namespace vorlane::media {
namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

// By default lines go to the program's default log.
LogSink& Sink() {
    static LogSink sink = [](int level, const std::string& text) {
        LOGSYS_Text(nullptr, uint32_t(level), text.c_str());
    };
    return sink;
}

}  // namespace

LogSink SetLogSink(LogSink sink) {
    std::lock_guard lock(SinkMutex());
    return std::exchange(Sink(), std::move(sink));
}

void Log(int level, const std::string& text) {
    std::lock_guard lock(SinkMutex());
    if (Sink())
        Sink()(level, text);
}

void LogF(int level, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    Log(level, buffer);
}

}  // namespace vorlane::media
