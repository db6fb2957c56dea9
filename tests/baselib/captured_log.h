// A default log that collects every line in memory, so tests can check that a
// failure was reported with the right text.
#pragma once

#include <string>
#include <vector>

#include "baselib/logsys.h"

class CapturedLog {
  public:
    CapturedLog() {
        LOGSYS_ResetForTests();
        Lines().clear();
        log_ = LOGSYS_Create(kLogNoPrefix, kLogToCallback, nullptr);
        LOGSYS_SetCallback(log_, [](const char* text) { Lines().push_back(text); });
        LOGSYS_SetDefault(log_);
    }
    ~CapturedLog() {
        LOGSYS_Destroy(log_);
        LOGSYS_ResetForTests();
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    // True when some line contains `part`.
    bool Has(const std::string& part) const {
        for (const std::string& line : Lines()) {
            if (line.find(part) != std::string::npos)
                return true;
        }
        return false;
    }
    void Clear() { Lines().clear(); }

  private:
    LOGSYS* log_ = nullptr;
};
