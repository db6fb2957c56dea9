// The counters behind the lobby server's limits: a window that counts uses,
// and the log that reports a limit biting without flooding the log itself.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace vorlane::server {

using LimitClock = std::chrono::steady_clock;

// Counts uses within a fixed window of time. A window starts with the first
// use after the previous one has ended.
struct RateWindow {
    LimitClock::time_point start{};
    uint64_t used = 0;

    // Adds `cost` and returns what the current window has used, `cost` included.
    uint64_t Add(LimitClock::time_point now, LimitClock::duration length, uint64_t cost = 1);
    // What the window holding `now` has used so far.
    uint64_t Used(LimitClock::time_point now, LimitClock::duration length) const;
    // Takes back `cost` (a use that turned out not to count).
    void Return(uint64_t cost = 1) { used = used > cost ? used - cost : 0; }
};

// The kinds of limit; every one reports through LimitLog.
enum class Limit : uint8_t {
    kRefusedMessages,  // messages for other users
    kMessages,         // requests of one connection per window
    kBytes,            // request bytes of one connection per window
    kUploads,          // profile uploads of one connection per window
    kJoins,            // channel joins of one connection per window
    kChannelLists,     // channel-list requests of one connection per window
    kChat,             // chat lines per second
    kAccounts,         // accounts created per address
    kFailedLogins,     // failed log-ins per address
    kConnections,      // connections per address
    kLoginDeadline,    // time to log in
    kHashQueue,        // waiting password checks
    kSlowReaders,      // readers that fell behind their outgoing queue
    kFloodBan,         // connections from an address that flooded a moment ago
    kSocial,           // friend, visibility, filter and stored-line requests per window
    kSearch,           // player searches per window
    kCount,
};

// Writes a line when a limit bites, at most one a second for each kind (and
// apart from those, one a second for each kind's closed connections, so that
// a close is not hidden behind the drops before it); the next line that gets
// out says how many were held back meanwhile. Counts every bite (readable
// from other threads, for tests and the load tool).
class LimitLog {
  public:
    void Write(Limit kind, bool closes, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    uint64_t count(Limit kind) const { return counts_[size_t(kind)].load(); }

  private:
    struct Pace {
        LimitClock::time_point next{};
        uint32_t held = 0;
    };
    std::array<Pace, 2 * size_t(Limit::kCount)> paces_{};
    std::array<std::atomic<uint64_t>, size_t(Limit::kCount)> counts_{};
};

}  // namespace vorlane::server
