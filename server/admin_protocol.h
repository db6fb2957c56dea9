// The admin socket's line protocol, shared by the server and vorlane-lobbyctl.
//
//   request: one line, words separated by blanks; "..." groups words, and a
//            backslash takes the next character as it is (kick "Big Bob" spam)
//   reply:   "ok" or "error: WHAT", then the reply's lines, then an empty line
//
// A reply's own lines are never empty, so the empty line always ends it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlane::server {

constexpr size_t kAdminMaxLine = 4096;              // bytes of one request, newline included
constexpr size_t kAdminMaxReply = 4u << 20;         // bytes of one reply
constexpr int64_t kLongestSanction = 3650 * 86400;  // ten years; longer is "permanent"

// The words of a request line; null when a quote is not closed.
std::optional<std::vector<std::string>> SplitAdminLine(const std::string& line);
// A request line that SplitAdminLine reads back as `words`.
std::string JoinAdminLine(const std::vector<std::string>& words);

// "ok"/"error: MESSAGE", the lines (empty ones as a blank, the whole cut to
// kAdminMaxReply), and the empty line that ends a reply.
std::string FormatAdminReply(bool ok, const std::string& message,
                             const std::vector<std::string>& lines);

// "30s", "10m", "2h", "7d" as seconds, "permanent" as 0; null otherwise or
// beyond kLongestSanction.
std::optional<int64_t> ParseDuration(const std::string& text);
// Seconds as "2d 3h", "5m 10s", "45s" (the two largest units).
std::string FormatDuration(int64_t seconds);

}  // namespace vorlane::server
