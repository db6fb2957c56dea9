// Collects the lines the scripting code logs, for the duration of a test.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "scripting/script_log.h"

namespace vorlane::scripting {

class LogCapture {
  public:
    LogCapture() {
        previous_ = SetLogSink(
            [this](int level, const std::string& line) { lines.emplace_back(level, line); });
    }
    ~LogCapture() { SetLogSink(std::move(previous_)); }

    bool Has(int level, const std::string& text) const {
        for (const auto& [l, line] : lines) {
            if (l == level && line == text)
                return true;
        }
        return false;
    }
    bool HasPrefix(int level, const std::string& prefix) const {
        for (const auto& [l, line] : lines) {
            if (l == level && line.compare(0, prefix.size(), prefix) == 0)
                return true;
        }
        return false;
    }

    std::vector<std::pair<int, std::string>> lines;

  private:
    LogSink previous_;
};

}  // namespace vorlane::scripting
