#include "resources/res_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

#include "baselib/logsys.h"

namespace vorlane::resources {

namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

ResLogSink& Sink() {
    static ResLogSink sink;
    return sink;
}

void WriteToProgramLog(int level, const std::string& text) {
    LOGSYS_Text(nullptr, uint32_t(level), text.c_str());
}

}  // namespace

ResLogSink SetResLogSink(ResLogSink sink) {
    std::lock_guard lock(SinkMutex());
    return std::exchange(Sink(), std::move(sink));
}

void ResLog(int level, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string text(buffer);
    WriteToProgramLog(level, text);
    ResLogSink sink;
    {
        std::lock_guard lock(SinkMutex());
        sink = Sink();
    }
    if (sink)
        sink(level, text);
}

}  // namespace vorlane::resources
