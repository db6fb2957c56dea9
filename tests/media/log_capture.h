// Collects the media layer's log lines for one test.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "media/media_log.h"

namespace vorlane::media {

class LogCapture {
  public:
    LogCapture() {
        previous_ = SetLogSink([this](int level, const std::string& text) {
            lines_.push_back({level, text});
        });
    }
    ~LogCapture() { SetLogSink(previous_); }

    bool Has(const std::string& text) const {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const auto& line) { return line.second == text; });
    }
    int LevelOf(const std::string& text) const {
        for (const auto& line : lines_)
            if (line.second == text)
                return line.first;
        return -1;
    }
    void Clear() { lines_.clear(); }
    const std::vector<std::pair<int, std::string>>& lines() const { return lines_; }

  private:
    LogSink previous_;
    std::vector<std::pair<int, std::string>> lines_;
};

}  // namespace vorlane::media
