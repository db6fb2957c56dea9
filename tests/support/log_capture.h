// Captures the program's log channel for one test: while a LogCapture lives,
// every line written through LOGSYS, on any log, is kept here with its level
// instead of reaching the logs' outputs (baselib/log_channel.h, RedirectLog).
//
// The lines are process-wide (any thread may log), so the queries are static
// and also serve helpers that hold no LogCapture themselves. Only one
// LogCapture may live at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "baselib/log_channel.h"

namespace vorlane::testing {

struct LogLine {
    uint32_t level = 0;
    std::string text;
};

class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // A copy of the lines so far, oldest first.
    static std::vector<LogLine> Lines();
    static std::vector<std::string> Texts();
    static void Clear();

    // A line that is exactly `text` (at `level`).
    static bool Has(std::string_view text);
    static bool Has(uint32_t level, std::string_view text);
    // A line at `level` that starts with `prefix`.
    static bool HasPrefix(uint32_t level, std::string_view prefix);
    // Lines that contain `part`.
    static int Count(std::string_view part);
    static bool Contains(std::string_view part) { return Count(part) > 0; }

    // Gives the lines back to the logs' own outputs before the end of the
    // capture (a test that reads the log files themselves).
    void Stop();

  private:
    LogSink previous_;
    bool stopped_ = false;
};

}  // namespace vorlane::testing
