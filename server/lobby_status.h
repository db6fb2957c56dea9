// What an operator sees of a running lobby: a snapshot of its channels and
// counters, rendered as Prometheus metrics and as a plain HTML page.
//
// The protocol thread makes a snapshot about once a second (LobbyServer);
// the HTTP threads only ever read the latest one, so a page costs the lobby
// nothing and never sees it half-changed.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "server/budgets.h"

namespace vorlane::server {

// Durations counted into fixed buckets; any thread may add.
class LatencyHistogram {
  public:
    // Upper bounds in seconds, Prometheus-style (each bucket counts everything
    // up to its bound; the last, +Inf, counts all).
    static constexpr std::array<double, 12> kBounds = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                       0.05,   0.1,   0.25,   0.5,   1.0,  2.5};
    struct Counts {
        std::array<uint64_t, kBounds.size() + 1> buckets{};  // not cumulative
        double sum_seconds = 0;
        uint64_t count = 0;
    };

    void Add(std::chrono::steady_clock::duration duration);
    Counts Read() const;

  private:
    std::array<std::atomic<uint64_t>, kBounds.size() + 1> buckets_{};
    std::atomic<uint64_t> sum_ns_{0};
    std::atomic<uint64_t> count_{0};
};

struct StatusChannel {
    std::string name;
    std::vector<std::string> players;
    std::vector<std::string> games;
};

struct LobbyStatus {
    std::string version;
    uint64_t uptime_seconds = 0;
    std::vector<StatusChannel> channels;
    uint64_t users_online = 0;  // logged-in sessions, in a channel or not
    uint64_t games = 0;
    uint64_t chat_lines = 0;  // since the start
    uint64_t chat_bytes = 0;
    uint64_t logins = 0;
    uint64_t login_failures = 0;
    std::array<uint64_t, size_t(Limit::kCount)> refusals{};
    uint64_t queued_bytes = 0;
    LatencyHistogram::Counts login_latency;
    LatencyHistogram::Counts fanout_latency;
    LatencyHistogram::Counts database_latency;
};

// The metric name part of a limit ("messages", "failed_logins", ...).
const char* LimitName(Limit kind);
// The Prometheus text exposition format (version 0.0.4).
std::string RenderMetrics(const LobbyStatus& status);
// A small page, readable without JavaScript; every name is escaped.
std::string RenderStatusPage(const LobbyStatus& status);

}  // namespace vorlane::server
