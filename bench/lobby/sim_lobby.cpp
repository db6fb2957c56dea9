// The lobby server child and the simulated lobby clients of the lobby benchmarks.
//
// [SECTION] index
//   Helpers, server child, accounts, simulated clients.
#include "bench/lobby/sim_lobby.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "net/envelope.h"
#include "net/lobby_packets.h"
#include "server/lobby_store.h"

namespace vorlane::bench {

using namespace vorlane::net;

// [SECTION] Helpers

double Ms(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// [SECTION] Server child

ServerChild StartServer(const std::string& dir, const std::string& extra_lobbyd) {
    const std::string config = dir + "/lobbyd.cfg";
    // Every simulated client comes from 127.0.0.1 and all log in at once: the
    // per-address limits and the password queue are raised to fit them.
    std::ofstream(config) << "[lobbyd]\n"
                          << extra_lobbyd
                          << "password_hash = minimum\nchat_lines_per_second = 10\n"
                             "connections_per_address = 2000\nhash_queue_max = 2000\n"
                             "login_deadline = 600\nfailed_logins_max = 0\n"
                             "channel1 = Load Test, 2\nchannel2 = Elsewhere, 2\n"
                             "[LOOMEX_SERVER]\nsrv_bind_addr = 127.0.0.1\nusr_max = "
                          << kServerUsers
                          << "\nsrv_checkdeadcon = 600000\nusr_logoncheck = 60000\n";
    int out[2];
    ServerChild child;
    if (pipe(out) != 0)
        return child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const std::string database = dir + "/lobbyd.sqlite";
        const std::string logs = dir + "/logs";
        execl(VORLANE_LOBBYD_PATH, VORLANE_LOBBYD_PATH, "--config", config.c_str(), "--database",
              database.c_str(), "--log-dir", logs.c_str(), "--port", "0", (char*)nullptr);
        _exit(127);
    }
    close(out[1]);
    // The first line names the port: "vorlane-lobbyd: listening on 127.0.0.1:PORT".
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const size_t colon = line.rfind(':');
    if (colon != std::string::npos)
        child.port = uint16_t(std::atoi(line.c_str() + colon + 1));
    return child;
}

ServerUsage ReadUsage(pid_t pid) {
    ServerUsage usage;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close_paren = text.rfind(')');
    if (close_paren != std::string::npos) {
        std::vector<std::string> fields;
        std::string field;
        for (char ch : text.substr(close_paren + 2)) {
            if (ch == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += ch;
            }
        }
        // utime and stime are fields 14 and 15; the list starts at field 3.
        if (fields.size() > 12) {
            usage.cpu_seconds =
                double(std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str())) /
                double(sysconf(_SC_CLK_TCK));
        }
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        long kb = 0;
        if (key == "VmRSS:" && status >> kb)
            usage.rss_mb = double(kb) / 1024;
        if (key == "VmHWM:" && status >> kb)
            usage.peak_mb = double(kb) / 1024;
    }
    return usage;
}

void StopServer(const ServerChild& child) {
    if (child.pid <= 0)
        return;
    kill(child.pid, SIGTERM);
    int status = 0;
    waitpid(child.pid, &status, 0);
}

ClusterChild StartCluster(const std::string& dir, int servers) {
    ClusterChild cluster;
    cluster.dir = dir;
    // The same limits as a single server's, for the same reasons.
    std::string command = std::string("bash '") + VORLANE_SOURCE_DIR "/scripts/cluster' up " +
                          std::to_string(servers) + " --dir '" + dir + "' --build '" +
                          VORLANE_BUILD_DIR + "'";
    for (const char* line :
         {"password_hash=minimum", "chat_lines_per_second=10", "connections_per_address=4000",
          "hash_queue_max=4000", "login_deadline=600", "failed_logins_max=0",
          "channel3=Third Channel, 2"}) {
        command += std::string(" --set '") + line + "'";
    }
    command += " 2>'" + dir + ".up.log'";
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return cluster;
    char line[256];
    while (std::fgets(line, sizeof line, out)) {
        int index = 0, port = 0;
        if (std::sscanf(line, "lobbyd %d 127.0.0.1:%d", &index, &port) == 2)
            cluster.ports.push_back(uint16_t(port));
    }
    if (pclose(out) != 0 || int(cluster.ports.size()) != servers) {
        cluster.ports.clear();
        return cluster;
    }
    auto read_pid = [](const std::string& file) {
        pid_t pid = -1;
        std::ifstream(file) >> pid;
        return pid;
    };
    for (int i = 1; i <= servers; ++i)
        cluster.pids.push_back(read_pid(dir + "/lobbyd" + std::to_string(i) + "/pid"));
    cluster.bus_pid = read_pid(dir + "/nats.pid");
    std::ifstream config(dir + "/lobbyd1/lobbyd.cfg");
    for (std::string text; std::getline(config, text);) {
        if (text.rfind("store = ", 0) == 0)
            cluster.store = text.substr(8);
    }
    return cluster;
}

void StopCluster(const ClusterChild& cluster) {
    const std::string command = std::string("bash '") + VORLANE_SOURCE_DIR +
                                "/scripts/cluster' down --dir '" + cluster.dir + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "lobby load: scripts/cluster down failed; its folder %s stays\n",
                     cluster.dir.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(cluster.dir, ignored);
    std::filesystem::remove(cluster.dir + ".up.log", ignored);
}

// [SECTION] Accounts

void PrepareAccounts(const std::string& database, int count, int hostile) {
    auto store =
        vorlane::server::LobbyStore::Open(database, vorlane::server::HashStrength::kMinimum);
    if (!store)
        return;
    for (int i = 0; i < count + hostile; ++i) {
        char name[16];
        if (i < count)
            std::snprintf(name, sizeof name, "load%04d", i);
        else
            std::snprintf(name, sizeof name, "evil%03d", (i - count) % 1000);
        uint32_t id = 0;
        if (store->CreateAccount(name, "pw", "", &id) != vorlane::server::StoreResult::kOk) {
            continue;
        }
        Profile profile{};
        PutU16(profile, kProfActive, 1);
        PutText(profile, kProfName, name, kNameWidth);
        store->StoreProfile(id, 1, profile);
    }
}

// [SECTION] Simulated clients

LoadRun::LoadRun(std::vector<uint16_t> ports, int count, int hostile, int channels)
    : ports_(std::move(ports)), honest_(size_t(count)), clients_(size_t(count + hostile)) {
    epoll_ = epoll_create1(0);
    const size_t servers = ports_.size();
    for (int i = 0; i < count + hostile; ++i) {
        SimClient& client = clients_[size_t(i)];
        client.index = i;
        client.hostile = i >= count;
        client.server = size_t(i) % servers;
        if (!client.hostile)
            client.channel = uint16_t(1 + size_t(i) / servers % size_t(std::max(1, channels)));
        if (client.hostile)
            client.source = 0x7F000002u + uint32_t(i - count);
    }
}

LoadRun::~LoadRun() {
    for (SimClient& client : clients_) {
        if (client.fd >= 0)
            close(client.fd);
    }
    close(epoll_);
}

bool LoadRun::StartFlood(int interval_ms, std::chrono::seconds limit) {
    const bool in = Enter(honest_, clients_.size(), limit);
    flood_interval_ = std::chrono::milliseconds(interval_ms);
    for (size_t i = honest_; i < clients_.size(); ++i) clients_[i].next_flood = Clock::now();
    flooding_ = true;
    return in;
}

bool LoadRun::SendChatFrom(size_t index, const std::string& text) {
    if (index >= honest_ || clients_[index].phase != Phase::kIn)
        return false;
    SendPacket(clients_[index], EncodeChat(check_, kPktChatAll, {-1, text}));
    return true;
}

void LoadRun::Pump(int timeout_ms) {
    Poll(timeout_ms);
    KeepAlive();
    Flood();
}

void LoadRun::ResetChat() {
    sent_at_.clear();
    chat_ms_.clear();
    cross_ms_.clear();
    received_ = 0;
    expected_ = 0;
}

bool LoadRun::Enter(size_t first, size_t end, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    size_t next = first;
    while (Clock::now() < deadline) {
        size_t pending = 0, done = 0;
        for (size_t i = first; i < end; ++i) {
            const SimClient& client = clients_[i];
            if (client.phase == Phase::kIn || client.phase == Phase::kFailed)
                ++done;
            else if (client.fd >= 0 && client.phase <= Phase::kLogon)
                ++pending;
        }
        if (done == end - first)
            return true;
        while (pending < 4 && next < end) {
            Connect(clients_[next++]);
            ++pending;
        }
        Poll(5);
        KeepAlive();
    }
    return false;
}

void LoadRun::ChatAtRate(int lines, double per_second, std::chrono::seconds limit) {
    std::vector<SimClient*> members;
    std::map<uint16_t, size_t> in_channel;
    for (SimClient& client : clients_) {
        if (client.phase == Phase::kIn && !client.hostile) {
            members.push_back(&client);
            ++in_channel[client.channel];
        }
    }
    if (members.empty())
        return;
    expected_ = 0;
    for (int i = 0; i < lines; ++i)
        expected_ += in_channel[members[size_t(i) * 7919 % members.size()]->channel];
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / std::max(0.001, per_second)));
    auto next_send = Clock::now();
    int sent = 0;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline && (sent < lines || received_ < expected_)) {
        if (sent < lines && Clock::now() >= next_send) {
            SimClient& sender = *members[size_t(sent) * 7919 % members.size()];
            char text[32];
            const int seq = next_seq_++;
            std::snprintf(text, sizeof text, "seq:%d", seq);
            sent_at_[seq] = {Clock::now(), sender.server};
            SendPacket(sender, EncodeChat(check_, kPktChatAll, {-1, text}));
            ++sent;
            next_send += period;
        }
        Poll(1);
        KeepAlive();
        Flood();
    }
}

size_t LoadRun::honest_entered() const {
    return size_t(std::count_if(clients_.begin(), clients_.begin() + std::ptrdiff_t(honest_),
                                [](const SimClient& c) { return c.phase == Phase::kIn; }));
}

size_t LoadRun::entered() const {
    return size_t(std::count_if(clients_.begin(), clients_.end(),
                                [](const SimClient& c) { return c.phase == Phase::kIn; }));
}

std::vector<double> LoadRun::Times(Clock::time_point SimClient::*when) const {
    std::vector<double> times;
    for (const SimClient& client : clients_) {
        if (client.phase == Phase::kIn && !client.hostile)
            times.push_back(Ms(client.*when - client.started));
    }
    return times;
}

void LoadRun::Flood() {
    if (!flooding_)
        return;
    const auto now = Clock::now();
    for (size_t i = honest_; i < clients_.size(); ++i) {
        SimClient& client = clients_[i];
        if (client.phase == Phase::kFailed && now >= client.back_at) {
            client.in.clear();
            client.out.clear();
            client.out_sent = 0;
            client.id = NET_ID_UNKNOWN;
            client.profiles = 0;
            Connect(client);
            continue;
        }
        if (client.phase != Phase::kIn || now < client.next_flood)
            continue;
        client.next_flood += flood_interval_;
        if (client.next_flood < now)
            client.next_flood = now + flood_interval_;
        ++flood_messages_;
        switch (client.flood_step++ % 5) {
            case 0:
                SendPacket(client, EncodeChat(check_, kPktChatAll, {-1, "flood"}));
                break;
            case 1:
                SendPacket(client, EncodeU16Body(check_, kPktJoinChannel,
                                                 uint16_t(1 + client.flood_step / 5 % 2)));
                break;
            case 2:
                SendPacket(client, EncodeEmpty(check_, kPktChannelListRequest));
                break;
            case 3:
                SendPacket(client, EncodeProfileRequest(check_, client.permid, 1));
                break;
            default: {
                // 60 KB for an honest user, straight through the kernel.
                const SimClient& target = clients_[size_t(client.flood_step) * 7919 % honest_];
                std::vector<uint8_t> payload(60000, 'F');
                payload[0] = uint8_t(kLobbyModuleType);
                payload[1] = 0;
                Send(client, NET_MSGTYPE_CUSTOMDATA, payload, target.id);
                break;
            }
        }
    }
}

void LoadRun::Connect(SimClient& client) {
    client.started = Clock::now();
    client.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(client.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (client.source != 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(client.source);
        if (bind(client.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            Fail(client);
            return;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ports_[client.server]);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        Fail(client);
        return;
    }
    // Edge-triggered: a writable socket is reported once, not on every
    // wait (reads and writes go on until EAGAIN anyway), so the tool does
    // not spin over a thousand idle sockets and measure itself.
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLET;
    event.data.u32 = uint32_t(client.index);
    epoll_ctl(epoll_, EPOLL_CTL_ADD, client.fd, &event);
    client.phase = Phase::kLogon;
    LOGON_RECORD record;
    record.name = "Client";
    record.password = "KelArvO";
    Send(client, NET_MSGTYPE_LOGMEON, EncodeLogonRecord(record));
}

void LoadRun::Fail(SimClient& client) {
    if (client.fd >= 0)
        close(client.fd);
    client.fd = -1;
    client.phase = Phase::kFailed;
    if (client.hostile) {
        ++flood_closed_;
        client.back_at = Clock::now() + std::chrono::milliseconds(100);
    }
}

void LoadRun::Send(SimClient& client, uint32_t type, const std::vector<uint8_t>& payload,
                   uint32_t receiver) {
    ENVELOPE_HEADER header;
    header.sender = client.id;
    header.receiver = receiver;
    header.type = type;
    header.length = uint32_t(payload.size());
    header.crc = NET_Crc(payload.data(), payload.size());
    uint8_t bytes[kEnvelopeHeaderSize];
    EncodeEnvelopeHeader(header, bytes);
    client.out.insert(client.out.end(), bytes, bytes + kEnvelopeHeaderSize);
    client.out.insert(client.out.end(), payload.begin(), payload.end());
    Flush(client);
}

void LoadRun::SendPacket(SimClient& client, const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> payload = {uint8_t(kLobbyModuleType), 0, packet[0], packet[1]};
    payload.insert(payload.end(), packet.begin(), packet.end());
    Send(client, NET_MSGTYPE_CUSTOMDATA, payload);
}

void LoadRun::Flush(SimClient& client) {
    while (client.fd >= 0 && client.out_sent < client.out.size()) {
        const ssize_t n = send(client.fd, client.out.data() + client.out_sent,
                               client.out.size() - client.out_sent, MSG_NOSIGNAL);
        if (n > 0) {
            client.out_sent += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINPROGRESS || errno == ENOTCONN)) {
            return;
        } else {
            Fail(client);
            return;
        }
    }
    client.out.clear();
    client.out_sent = 0;
}

void LoadRun::KeepAlive() {
    const auto now = Clock::now();
    if (now - last_alive_ < std::chrono::seconds(10))
        return;
    last_alive_ = now;
    for (SimClient& client : clients_) {
        if (client.fd >= 0 && client.id != NET_ID_UNKNOWN) {
            Send(client, NET_MSGTYPE_STAYINGALIVE, {0, 0});
        }
    }
}

void LoadRun::Poll(int timeout_ms) {
    epoll_event events[256];
    const int count = epoll_wait(epoll_, events, 256, timeout_ms);
    for (int i = 0; i < count; ++i) {
        SimClient& client = clients_[events[i].data.u32];
        if (client.fd < 0)
            continue;
        if (events[i].events & EPOLLOUT)
            Flush(client);
        if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
            Read(client);
    }
}

void LoadRun::Read(SimClient& client) {
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            client.in.insert(client.in.end(), buffer, buffer + n);
            // A short read emptied the socket; what arrives later is a new
            // edge. Asking again would only cost every delivery a second call.
            if (size_t(n) < sizeof buffer)
                break;
            continue;
        }
        if (n < 0 && errno == EAGAIN)
            break;
        Fail(client);
        return;
    }
    size_t offset = 0;
    while (client.fd >= 0 && client.in.size() - offset >= kEnvelopeHeaderSize) {
        const ENVELOPE_HEADER header = DecodeEnvelopeHeader(client.in.data() + offset);
        if (header.magic != kEnvelopeMagic || header.length > (16u << 20))
            return Fail(client);
        if (client.in.size() - offset - kEnvelopeHeaderSize < header.length)
            break;
        Handle(client, header,
               std::span<const uint8_t>(client.in.data() + offset + kEnvelopeHeaderSize,
                                        header.length));
        offset += kEnvelopeHeaderSize + header.length;
    }
    client.in.erase(client.in.begin(), client.in.begin() + std::ptrdiff_t(offset));
}

void LoadRun::Handle(SimClient& client, const ENVELOPE_HEADER& header,
                     std::span<const uint8_t> data) {
    if (header.type == NET_MSGTYPE_LOGONACCEPTED) {
        LOGON_RECORD record;
        if (!DecodeLogonRecord(data.data(), data.size(), &record))
            return Fail(client);
        client.id = record.id;
        client.phase = Phase::kLogin;
        char name[16];
        if (client.hostile)
            std::snprintf(name, sizeof name, "evil%03d", (client.index - int(honest_)) % 1000);
        else
            std::snprintf(name, sizeof name, "load%04d", client.index);
        SendPacket(client, EncodeLogin(check_, {name, "pw", ""}));
        return;
    }
    if (header.type != NET_MSGTYPE_CUSTOMDATA || data.size() < 4 + kPacketHeaderSize)
        return;
    const uint16_t sub = uint16_t(data[2] | data[3] << 8);
    const std::span<const uint8_t> packet = data.subspan(4);
    switch (sub) {
        case kPktLoginResult: {
            const auto result = DecodeLoginResult(packet);
            if (!result || result->code != 0)
                return Fail(client);
            client.logged_in = Clock::now();
            client.permid = result->permid;
            client.phase = Phase::kProfiles;
            SendPacket(client,
                       EncodeU32Body(check_, kPktClientFeatures, kFeatureCompactUserRecords));
            for (uint16_t n = 1; n <= 4; ++n) {
                SendPacket(client, EncodeProfileRequest(check_, client.permid, n));
            }
            break;
        }
        case kPktProfile:
            if (++client.profiles == 4) {
                client.phase = Phase::kSelect;
                SendPacket(client, EncodeU16Body(check_, kPktSelectProfile, 1));
            }
            break;
        case kPktResult:
            if (client.phase == Phase::kSelect && DecodeU32At14(packet) == 0u) {
                client.phase = Phase::kChannels;
                SendPacket(client, EncodeEmpty(check_, kPktChannelListRequest));
            } else if (client.phase == Phase::kJoin) {
                Fail(client);
            }
            break;
        case kPktChannelList:
            if (client.phase != Phase::kChannels)
                break;
            client.phase = Phase::kJoin;
            SendPacket(client, EncodeU16Body(check_, kPktJoinChannel, client.channel));
            break;
        case kPktChannelEntered:
            client.entered = Clock::now();
            client.phase = Phase::kIn;
            break;
        case kPktChatAllReceived: {
            const auto chat = DecodeChat(packet);
            if (chat && on_chat_)
                on_chat_(chat->text);
            int seq = -1;
            if (client.hostile || !chat || std::sscanf(chat->text.c_str(), "seq:%d", &seq) != 1)
                break;
            const auto sent = sent_at_.find(seq);
            if (sent == sent_at_.end())
                break;
            const double ms = Ms(Clock::now() - sent->second.at);
            chat_ms_.push_back(ms);
            if (sent->second.server != client.server)
                cross_ms_.push_back(ms);
            ++received_;
            break;
        }
        default:
            break;
    }
}

}  // namespace vorlane::bench
