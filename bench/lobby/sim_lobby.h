// What the lobby benchmarks share: vorlane-lobbyd started as a child process
// on 127.0.0.1, accounts prepared in its database, and simulated lobby clients
// that speak the kernel's envelopes directly on non-blocking sockets from one
// epoll thread (so a run measures the server and the front end, not a
// thousand client kernels).
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "net/envelope.h"
#include "net/lobby_packets.h"
#include "net/net_protocol.h"

namespace vorlane::bench {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration span);
// The value below which a share `p` (0..1) of `values` lies; 0 for none.
double Percentile(std::vector<double> values, double p);

// [SECTION] Server child

// The server's usr_max: the most users it holds.
constexpr int kServerUsers = 1003;

struct ServerChild {
    pid_t pid = -1;
    uint16_t port = 0;
};

// Writes DIR/lobbyd.cfg (limits raised for many clients from one address,
// channel 1 "Load Test", `extra_lobbyd` lines added to the [lobbyd] section)
// and starts the server on a free loopback port; pid -1 or port 0 on failure.
ServerChild StartServer(const std::string& dir, const std::string& extra_lobbyd = "");
void StopServer(const ServerChild& child);

struct ServerUsage {
    double cpu_seconds = 0;
    double rss_mb = 0;
    double peak_mb = 0;
};
ServerUsage ReadUsage(pid_t pid);

// A cluster started with scripts/cluster in `dir`: its servers' ports and
// process ids, the store they share and the bus's process id.
struct ClusterChild {
    std::string dir;
    std::vector<uint16_t> ports;
    std::vector<pid_t> pids;
    pid_t bus_pid = -1;
    std::string store;
};
// Starts `servers` lobby servers over a private PostgreSQL and NATS, with
// the limits raised as StartServer does and channels 1..3 to chat in; no
// ports when it failed (its output is then in dir/up.log).
ClusterChild StartCluster(const std::string& dir, int servers);
void StopCluster(const ClusterChild& cluster);

// Accounts "load0000".. (count) and "evil000".. (hostile), each with an
// active first profile of its own name.
void PrepareAccounts(const std::string& database, int count, int hostile);

// [SECTION] Simulated clients

enum class Phase {
    kConnecting,
    kLogon,
    kLogin,
    kProfiles,
    kSelect,
    kChannels,
    kJoin,
    kIn,
    kFailed
};

struct SimClient {
    int fd = -1;
    int index = 0;
    bool hostile = false;
    size_t server = 0;     // which of the run's servers it connects to
    uint16_t channel = 1;  // the channel it joins
    uint32_t source = 0;   // loopback address it connects from (host order; 0 = any)
    Clock::time_point next_flood, back_at;
    int flood_step = 0;
    Phase phase = Phase::kConnecting;
    uint32_t id = NET_ID_UNKNOWN;
    uint32_t permid = 0;
    int profiles = 0;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    size_t out_sent = 0;
    Clock::time_point started, logged_in, entered;
};

// `count` honest clients ("load%04d") and `hostile` flooding ones ("evil%03d",
// each from its own loopback address 127.0.0.2, ...). With several servers
// (a cluster sharing one store) honest client i connects to server
// i % servers and joins channel 1 + (i / servers) % channels, so every
// channel has members on every server.
class LoadRun {
  public:
    LoadRun(uint16_t port, int count, int hostile)
        : LoadRun(std::vector{port}, count, hostile, 1) {}
    LoadRun(std::vector<uint16_t> ports, int count, int hostile, int channels);
    ~LoadRun();
    LoadRun(const LoadRun&) = delete;
    LoadRun& operator=(const LoadRun&) = delete;

    // Connects everybody (a few at a time, as the server accepts them) and
    // runs each through the log-in sequence into channel 1.
    bool EnterAll(std::chrono::seconds limit) { return Enter(0, honest_, limit); }

    // Brings the hostile clients in; from then on they flood (see Flood).
    bool StartFlood(int interval_ms, std::chrono::seconds limit);

    // Sends `lines` chat lines from different members and waits for every
    // member of the sender's channel to receive each of them.
    void Chat(int lines, int interval_ms, std::chrono::seconds limit) {
        ChatAtRate(lines, 1000.0 / interval_ms, limit);
    }
    // The same at `per_second` lines a second (spread over the channels).
    void ChatAtRate(int lines, double per_second, std::chrono::seconds limit);
    // Forgets the chat figures of the last Chat.
    void ResetChat();

    // One chat line from honest client `index`; false when it is not in.
    bool SendChatFrom(size_t index, const std::string& text);
    // Reads and writes what is ready for up to `timeout_ms`, keeps the
    // connections alive and goes on with a flood.
    void Pump(int timeout_ms);

    // Called with the text of every chat line a simulated client receives.
    void SetChatObserver(std::function<void(const std::string&)> observer) {
        on_chat_ = std::move(observer);
    }

    uint64_t flood_messages() const { return flood_messages_; }
    uint64_t flood_closed() const { return flood_closed_; }
    std::vector<double> LoginTimes() const { return Times(&SimClient::logged_in); }
    std::vector<double> EntryTimes() const { return Times(&SimClient::entered); }
    const std::vector<double>& chat_latencies() const { return chat_ms_; }
    // Only the deliveries to a member on another server than the sender's.
    const std::vector<double>& cross_latencies() const { return cross_ms_; }
    size_t honest_entered() const;
    size_t entered() const;
    size_t expected() const { return expected_; }

  private:
    bool Enter(size_t first, size_t end, std::chrono::seconds limit);
    std::vector<double> Times(Clock::time_point SimClient::*when) const;
    void Flood();
    void Connect(SimClient& client);
    void Fail(SimClient& client);
    void Send(SimClient& client, uint32_t type, const std::vector<uint8_t>& payload,
              uint32_t receiver = NET_ID_SERVER);
    void SendPacket(SimClient& client, const std::vector<uint8_t>& packet);
    void Flush(SimClient& client);
    void KeepAlive();
    void Poll(int timeout_ms);
    void Read(SimClient& client);
    void Handle(SimClient& client, const ENVELOPE_HEADER& header, std::span<const uint8_t> data);

    std::vector<uint16_t> ports_;
    int epoll_ = -1;
    size_t honest_;  // clients_[0, honest_) are honest, the rest hostile
    std::vector<SimClient> clients_;
    bool flooding_ = false;
    std::chrono::milliseconds flood_interval_{10};
    uint64_t flood_messages_ = 0;
    uint64_t flood_closed_ = 0;
    int next_seq_ = 0;
    net::PKTCHECK check_;
    struct Sent {
        Clock::time_point at;
        size_t server = 0;
    };
    std::map<int, Sent> sent_at_;
    std::vector<double> chat_ms_, cross_ms_;
    size_t expected_ = 0;
    size_t received_ = 0;
    Clock::time_point last_alive_ = Clock::now();
    std::function<void(const std::string&)> on_chat_;
};

}  // namespace vorlane::bench
