#include "media/media_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

namespace vorlane::media {
namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

LogSink& Sink() {
    static LogSink sink;
    return sink;
}

}  // namespace

LogSink SetLogSink(LogSink sink) {
    std::lock_guard lock(SinkMutex());
    return std::exchange(Sink(), std::move(sink));
}

void Log(int level, const std::string& text) {
    std::lock_guard lock(SinkMutex());
    if (Sink()) Sink()(level, text);
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
