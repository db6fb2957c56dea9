#include "server/admin_socket.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "server/admin_protocol.h"

namespace vorlane::server {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

AdminPeer PeerOf(int fd) {
    AdminPeer peer;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0) {
        peer.uid = credentials.uid;
        peer.pid = credentials.pid;
    }
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(peer.uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        peer.user = found->pw_name;
    else
        peer.user = std::to_string(peer.uid);
    return peer;
}

}  // namespace

AdminSocket::~AdminSocket() {
    Close();
}

bool AdminSocket::Open(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "admin socket " + path + ": " + why;
        if (listener_ >= 0)
            ::close(listener_);
        listener_ = -1;
        return false;
    };
    Close();
    sockaddr_un address;
    if (!MakeAddress(path, &address))
        return fail("the path is empty or longer than 107 bytes");
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            return fail("a file that is not a socket is in the way");
        // A socket that answers belongs to a running server.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address),
                                                  sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (live)
            return fail("another server listens there");
        ::unlink(path.c_str());
    }
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        return fail(std::strerror(errno));
    // The socket file is made with the umask's permissions: none for others,
    // from the first moment on.
    const mode_t old_mask = ::umask(0177);
    const int bound = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int bind_errno = errno;
    ::umask(old_mask);
    if (bound != 0)
        return fail(std::strerror(bind_errno));
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(listener_, 8) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(path.c_str());
        return fail(why);
    }
    path_ = path;
    return true;
}

void AdminSocket::Close() {
    for (Client& client : clients_) ::close(client.fd);
    clients_.clear();
    if (listener_ >= 0) {
        ::close(listener_);
        ::unlink(path_.c_str());
    }
    listener_ = -1;
}

void AdminSocket::Accept() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (clients_.size() >= kMaxClients) {
            const std::string busy =
                FormatAdminReply(false, "too many admin connections; try again", {});
            [[maybe_unused]] const ssize_t sent =
                ::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        Client client;
        client.fd = fd;
        client.id = next_id_++;
        client.peer = PeerOf(fd);
        client.seen = std::chrono::steady_clock::now();
        clients_.push_back(std::move(client));
    }
}

bool AdminSocket::Service(Client& client, std::vector<AdminRequest>* requests) {
    const auto now = std::chrono::steady_clock::now();
    while (!client.out.empty()) {
        const ssize_t sent =
            ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent <= 0) {
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            return false;
        }
        client.out.erase(0, size_t(sent));
        client.seen = now;
    }
    // Reading stops while a request is under way and while a line is whole.
    while (!client.hung_up && !client.busy && client.in.find('\n') == std::string::npos &&
           client.in.size() <= kAdminMaxLine) {
        char chunk[1024];
        const ssize_t got = ::recv(client.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got == 0) {
            client.hung_up = true;
        } else if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            break;
        } else {
            client.in.append(chunk, size_t(got));
            client.seen = now;
        }
    }
    if (!client.busy) {
        const size_t end = client.in.find('\n');
        if (end != std::string::npos && end < kAdminMaxLine) {
            requests->push_back({client.id, client.peer, client.in.substr(0, end)});
            client.in.erase(0, end + 1);
            client.busy = true;
        } else if (client.in.size() >= kAdminMaxLine) {
            // Said once; the client cannot recover from a line it did not finish.
            client.out += FormatAdminReply(false, "the line is too long", {});
            client.in.clear();
            client.hung_up = true;
        }
    }
    if (client.hung_up && !client.busy && client.out.empty())
        return false;
    return now - client.seen < std::chrono::seconds(kIdleSeconds) || client.busy;
}

std::vector<AdminRequest> AdminSocket::Poll() {
    std::vector<AdminRequest> requests;
    if (listener_ < 0)
        return requests;
    Accept();
    for (size_t i = 0; i < clients_.size();) {
        if (Service(clients_[i], &requests)) {
            ++i;
            continue;
        }
        ::close(clients_[i].fd);
        clients_.erase(clients_.begin() + std::ptrdiff_t(i));
    }
    return requests;
}

void AdminSocket::Reply(uint64_t client_id, const std::string& text) {
    auto client = std::find_if(clients_.begin(), clients_.end(),
                               [&](const Client& c) { return c.id == client_id; });
    if (client == clients_.end())
        return;
    client->busy = false;
    client->out += text;
    client->seen = std::chrono::steady_clock::now();
}

}  // namespace vorlane::server
