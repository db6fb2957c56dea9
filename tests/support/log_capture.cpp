#include "tests/support/log_capture.h"

#include <mutex>
#include <utility>

namespace vorlane::testing {

namespace {

std::mutex& LinesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<LogLine>& AllLines() {
    static std::vector<LogLine> lines;
    return lines;
}

template <typename Match>
int CountMatching(Match match) {
    std::lock_guard lock(LinesMutex());
    int count = 0;
    for (const LogLine& line : AllLines()) count += match(line) ? 1 : 0;
    return count;
}

}  // namespace

LogCapture::LogCapture() {
    Clear();
    previous_ = RedirectLog([](uint32_t level, const char* text) {
        std::lock_guard lock(LinesMutex());
        AllLines().push_back({level, text});
    });
}

LogCapture::~LogCapture() {
    Stop();
}

void LogCapture::Stop() {
    if (!stopped_)
        RedirectLog(std::move(previous_));
    stopped_ = true;
}

std::vector<LogLine> LogCapture::Lines() {
    std::lock_guard lock(LinesMutex());
    return AllLines();
}

std::vector<std::string> LogCapture::Texts() {
    std::vector<std::string> texts;
    for (LogLine& line : Lines()) texts.push_back(std::move(line.text));
    return texts;
}

void LogCapture::Clear() {
    std::lock_guard lock(LinesMutex());
    AllLines().clear();
}

bool LogCapture::Has(std::string_view text) {
    return CountMatching([&](const LogLine& line) { return line.text == text; }) > 0;
}

bool LogCapture::Has(uint32_t level, std::string_view text) {
    return CountMatching(
               [&](const LogLine& line) { return line.level == level && line.text == text; }) > 0;
}

bool LogCapture::HasPrefix(uint32_t level, std::string_view prefix) {
    return CountMatching([&](const LogLine& line) {
               return line.level == level &&
                      std::string_view(line.text).substr(0, prefix.size()) == prefix;
           }) > 0;
}

int LogCapture::Count(std::string_view part) {
    return CountMatching(
        [&](const LogLine& line) { return line.text.find(part) != std::string::npos; });
}

}  // namespace vorlane::testing
