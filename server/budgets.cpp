#include "server/budgets.h"

#include <cstdarg>
#include <cstdio>

#include "baselib/logsys.h"

namespace vorlane::server {

uint64_t RateWindow::Add(LimitClock::time_point now, LimitClock::duration length, uint64_t cost) {
    if (used == 0 || now - start >= length) {
        start = now;
        used = 0;
    }
    used += cost;
    return used;
}

uint64_t RateWindow::Used(LimitClock::time_point now, LimitClock::duration length) const {
    return now - start >= length ? 0 : used;
}

void LimitLog::Write(Limit kind, bool closes, const char* format, ...) {
    ++counts_[size_t(kind)];
    Pace& pace = paces_[2 * size_t(kind) + (closes ? 1 : 0)];
    const auto now = LimitClock::now();
    if (now < pace.next) {
        ++pace.held;
        return;
    }
    pace.next = now + std::chrono::seconds(1);
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (pace.held > 0 && length >= 0 && size_t(length) < sizeof line) {
        std::snprintf(line + length, sizeof line - size_t(length), " (%u more like it not logged)",
                      pace.held);
    }
    pace.held = 0;
    LOGSYS_Text(nullptr, kLogWarning, line);
}

}  // namespace vorlane::server
