// A server that accepts connections and never says a word: what a client
// sees of a stalled or overloaded server (tests of connecting).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace vorlane::testing {

// A listener on 127.0.0.1 whose connections complete and then hear nothing.
class StalledServer {
  public:
    StalledServer() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (listener_ < 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 4) != 0) {
            return;
        }
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    StalledServer(const StalledServer&) = delete;
    StalledServer& operator=(const StalledServer&) = delete;
    ~StalledServer() {
        if (peer_ >= 0)
            close(peer_);
        if (listener_ >= 0)
            close(listener_);
    }
    uint16_t port() const { return port_; }
    // Takes the next connection; false when none came within `ms`.
    bool Accept(int ms) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, ms) != 1)
            return false;
        if (peer_ >= 0)
            close(peer_);
        peer_ = accept(listener_, nullptr, nullptr);
        return peer_ >= 0;
    }
    // True when the client closed the taken connection within `ms`.
    bool PeerClosed(int ms) {
        pollfd entry{peer_, POLLIN, 0};
        char byte;
        while (poll(&entry, 1, ms) == 1) {
            const ssize_t got = recv(peer_, &byte, 1, 0);
            if (got <= 0)
                return true;  // the log-on request is read and dropped
        }
        return false;
    }

  private:
    int listener_ = -1;
    int peer_ = -1;
    uint16_t port_ = 0;
};

}  // namespace vorlane::testing
