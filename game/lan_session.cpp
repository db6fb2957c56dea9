#include "game/lan_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "net/lobby_packets.h"

namespace vorlane::game {

namespace {

// A joining client's line longer than this is not a join line: drop it.
constexpr size_t kMaxLine = 128;

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Reads what is waiting into `pending`; false when the peer closed or failed.
bool ReadInto(int fd, std::string& pending) {
    char chunk[256];
    for (;;) {
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            pending.append(chunk, size_t(n));
            if (pending.size() > kMaxLine * 4)
                return false;
            continue;
        }
        if (n == 0)
            return false;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
}

// Takes one complete line out of `pending`.
bool TakeLine(std::string& pending, std::string& line) {
    size_t end = pending.find('\n');
    if (end == std::string::npos)
        return false;
    line = pending.substr(0, end);
    pending.erase(0, end + 1);
    return true;
}

void SendLine(int fd, const std::string& line) {
    std::string text = line + "\n";
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

}  // namespace

// [LanHost]

LanHost::~LanHost() {
    for (Client& client : clients_) close(client.fd);
    if (listener_ >= 0)
        close(listener_);
}

bool LanHost::Start(const std::string& game_name, bool has_password, uint16_t port,
                    const std::string& broadcast_address, std::string& error) {
    game_name_ = game_name;
    has_password_ = has_password;
    game_id_ = std::random_device{}() | 1u;
    if (!broadcast_address.empty() &&
        !broadcast_.Init(kLanGameId, port, kGameRecordSize, broadcast_address.c_str())) {
        error = "cannot open the LAN broadcast port " + std::to_string(port);
        return false;
    }
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0) {
        error = "cannot listen for players on TCP port " + std::to_string(port);
        return false;
    }
    SetNonBlocking(listener_);
    // Tell the network at once that the game exists; later announcements
    // answer the queries of the LAN screens.
    Announce();
    return true;
}

std::array<uint8_t, kGameRecordSize> LanHost::Record() const {
    return net::MakeGameRecord({game_name_, has_password_, players(), kMaxPlayers, game_id_});
}

void LanHost::Announce() {
    if (!broadcast_.IsInitialised())
        return;
    auto record = Record();
    broadcast_.Send(kBroadcastAnnouncement, record.data(), uint32_t(record.size()));
}

void LanHost::Poll() {
    while (broadcast_.IsInitialised() && broadcast_.PacketReady()) {
        uint16_t type = 0;
        uint32_t size = 0;
        sockaddr_in sender{};
        auto data = broadcast_.Receive(&type, &size, &sender);
        if (data && type == kBroadcastQuery)
            Announce();
    }
    AcceptClients();
    ReadClients();
}

void LanHost::AcceptClients() {
    for (;;) {
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (clients_.size() + 1 >= kMaxPlayers) {
            close(fd);  // the game is full
            continue;
        }
        clients_.push_back(Client{fd, {}, false, 0});
    }
}

void LanHost::ReadClients() {
    bool changed = false;
    for (size_t i = 0; i < clients_.size();) {
        Client& client = clients_[i];
        bool alive = ReadInto(client.fd, client.pending);
        std::string line;
        while (alive && !client.welcomed && TakeLine(client.pending, line)) {
            const bool rejoin = line.rfind("REJOIN ", 0) == 0;
            if ((!rejoin && line.rfind("JOIN ", 0) != 0) ||
                !TakeSeat(line.substr(rejoin ? 7 : 5, 14), rejoin, client.seat)) {
                alive = false;
                break;
            }
            client.welcomed = true;
            changed = true;
        }
        if (!alive) {
            // The seat stays for the player's return.
            if (client.welcomed)
                seats_[client.seat].present = false;
            close(client.fd);
            clients_.erase(clients_.begin() + ptrdiff_t(i));
            changed = true;
            continue;
        }
        ++i;
    }
    if (!changed)
        return;
    for (Client& client : clients_) {
        if (client.welcomed)
            SendLine(client.fd, "WELCOME " + std::to_string(players()));
    }
    Announce();
}

bool LanHost::TakeSeat(const std::string& name, bool rejoin, size_t& seat) {
    for (size_t i = 0; i < seats_.size(); ++i) {
        if (!seats_[i].present && seats_[i].name == name) {
            seats_[i].present = true;
            seat = i;
            if (rejoin)
                ++rejoins_;
            return true;
        }
    }
    // The host holds one seat of kMaxPlayers.
    if (seats_.size() + 1 >= kMaxPlayers)
        return false;
    seats_.push_back({name, true});
    seat = seats_.size() - 1;
    return true;
}

// [LanClient]

LanClient::~LanClient() {
    if (fd_ >= 0)
        close(fd_);
}

bool LanClient::Join(const std::string& host, uint16_t port, const std::string& name, bool rejoin,
                     std::string& error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return false;
    }
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot connect to the host " + host + ":" + std::to_string(port);
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        return false;
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SetNonBlocking(fd_);
    SendLine(fd_, (rejoin ? "REJOIN " : "JOIN ") + name);
    return true;
}

void LanClient::Poll() {
    if (fd_ < 0)
        return;
    if (!ReadInto(fd_, pending_)) {
        close(fd_);
        fd_ = -1;
        return;
    }
    std::string line;
    while (TakeLine(pending_, line)) {
        if (line.rfind("WELCOME ", 0) == 0)
            players_ = uint16_t(std::atoi(line.c_str() + 8));
    }
}

}  // namespace vorlane::game
