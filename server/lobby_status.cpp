// [SECTION] index
//   - Latency histograms
//   - Metrics
//   - Status page
#include "server/lobby_status.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace vorlane::server {

// [SECTION] Latency histograms
void LatencyHistogram::Add(std::chrono::steady_clock::duration duration) {
    const double seconds = std::chrono::duration<double>(duration).count();
    size_t bucket = 0;
    while (bucket < kBounds.size() && seconds > kBounds[bucket]) ++bucket;
    buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count();
    sum_ns_.fetch_add(uint64_t(std::max<int64_t>(ns, 0)), std::memory_order_relaxed);
    count_.fetch_add(1, std::memory_order_relaxed);
}

LatencyHistogram::Counts LatencyHistogram::Read() const {
    Counts counts;
    for (size_t i = 0; i < buckets_.size(); ++i)
        counts.buckets[i] = buckets_[i].load(std::memory_order_relaxed);
    counts.sum_seconds = double(sum_ns_.load(std::memory_order_relaxed)) / 1e9;
    counts.count = count_.load(std::memory_order_relaxed);
    return counts;
}

// [SECTION] Metrics
const char* LimitName(Limit kind) {
    static constexpr const char* kNames[] = {"refused_messages",
                                             "messages",
                                             "bytes",
                                             "uploads",
                                             "joins",
                                             "channel_lists",
                                             "chat",
                                             "accounts",
                                             "failed_logins",
                                             "connections",
                                             "login_deadline",
                                             "hash_queue",
                                             "slow_readers",
                                             "flood_ban",
                                             "social",
                                             "search"};
    static_assert(std::size(kNames) == size_t(Limit::kCount));
    return kNames[size_t(kind)];
}

namespace {

// A label value with its backslashes, quotes and newlines escaped.
std::string LabelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void Metric(std::ostringstream& out, const char* name, const char* type, const char* help) {
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

void Histogram(std::ostringstream& out, const char* name, const char* help,
               const LatencyHistogram::Counts& counts) {
    Metric(out, name, "histogram", help);
    uint64_t cumulative = 0;
    for (size_t i = 0; i < LatencyHistogram::kBounds.size(); ++i) {
        cumulative += counts.buckets[i];
        out << name << "_bucket{le=\"" << LatencyHistogram::kBounds[i] << "\"} " << cumulative
            << '\n';
    }
    cumulative += counts.buckets.back();
    out << name << "_bucket{le=\"+Inf\"} " << cumulative << '\n';
    out << name << "_sum " << counts.sum_seconds << '\n';
    out << name << "_count " << cumulative << '\n';
}

}  // namespace

std::string RenderMetrics(const LobbyStatus& status) {
    std::ostringstream out;
    Metric(out, "vorlane_lobby_users_online", "gauge", "Logged-in users.");
    out << "vorlane_lobby_users_online " << status.users_online << '\n';
    Metric(out, "vorlane_lobby_channel_users", "gauge", "Users in each channel.");
    for (const StatusChannel& channel : status.channels) {
        out << "vorlane_lobby_channel_users{channel=\"" << LabelValue(channel.name) << "\"} "
            << channel.players.size() << '\n';
    }
    Metric(out, "vorlane_lobby_games", "gauge", "Games open in all channels.");
    out << "vorlane_lobby_games " << status.games << '\n';
    Metric(out, "vorlane_lobby_chat_lines_total", "counter", "Chat lines delivered.");
    out << "vorlane_lobby_chat_lines_total " << status.chat_lines << '\n';
    Metric(out, "vorlane_lobby_chat_bytes_total", "counter", "Bytes of chat text delivered.");
    out << "vorlane_lobby_chat_bytes_total " << status.chat_bytes << '\n';
    Metric(out, "vorlane_lobby_logins_total", "counter", "Accepted log-ins.");
    out << "vorlane_lobby_logins_total " << status.logins << '\n';
    Metric(out, "vorlane_lobby_login_failures_total", "counter", "Refused log-ins.");
    out << "vorlane_lobby_login_failures_total " << status.login_failures << '\n';
    Metric(out, "vorlane_lobby_refusals_total", "counter", "Times each limit refused something.");
    for (size_t i = 0; i < status.refusals.size(); ++i) {
        out << "vorlane_lobby_refusals_total{limit=\"" << LimitName(Limit(i)) << "\"} "
            << status.refusals[i] << '\n';
    }
    Metric(out, "vorlane_lobby_queued_bytes", "gauge", "Bytes waiting for all users.");
    out << "vorlane_lobby_queued_bytes " << status.queued_bytes << '\n';
    Metric(out, "vorlane_lobby_uptime_seconds", "gauge", "Seconds since the start.");
    out << "vorlane_lobby_uptime_seconds " << status.uptime_seconds << '\n';
    Histogram(out, "vorlane_lobby_login_seconds", "From a log-in request to its answer.",
              status.login_latency);
    Histogram(out, "vorlane_lobby_fanout_seconds",
              "Queueing one chat line for every member of a channel.", status.fanout_latency);
    Histogram(out, "vorlane_lobby_database_seconds", "One database statement.",
              status.database_latency);
    return out.str();
}

// [SECTION] Status page
namespace {

std::string Html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Uptime(uint64_t seconds) {
    char text[64];
    const auto days = static_cast<unsigned long long>(seconds / 86400);
    const int clock = std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu",
                                    static_cast<unsigned long long>(seconds / 3600 % 24),
                                    static_cast<unsigned long long>(seconds / 60 % 60),
                                    static_cast<unsigned long long>(seconds % 60));
    const std::string time(text, size_t(std::max(clock, 0)));
    if (days == 0)
        return time;
    return std::to_string(days) + (days == 1 ? " day " : " days ") + time;
}

}  // namespace

std::string RenderStatusPage(const LobbyStatus& status) {
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<title>Vorlane lobby</title><style>"
           "body{font-family:sans-serif;margin:2em;max-width:60em}"
           "table{border-collapse:collapse}td,th{border:1px solid #999;padding:.3em .6em;"
           "vertical-align:top;text-align:left}</style></head><body>\n"
        << "<h1>Vorlane lobby</h1>\n<p>Version " << Html(status.version) << " &middot; up "
        << Uptime(status.uptime_seconds) << " &middot; " << status.users_online
        << " users online &middot; " << status.games << " games</p>\n"
        << "<table><tr><th>Channel</th><th>Players</th><th>Games</th></tr>\n";
    auto list = [&out](const std::vector<std::string>& names) {
        if (names.empty()) {
            out << "&ndash;";
            return;
        }
        for (size_t i = 0; i < names.size(); ++i) out << (i ? ", " : "") << Html(names[i]);
    };
    for (const StatusChannel& channel : status.channels) {
        out << "<tr><td>" << Html(channel.name) << "</td><td>";
        list(channel.players);
        out << "</td><td>";
        list(channel.games);
        out << "</td></tr>\n";
    }
    out << "</table>\n<p><a href=\"/metrics\">Metrics</a></p>\n</body></html>\n";
    return out.str();
}

}  // namespace vorlane::server
