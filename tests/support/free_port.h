// A loopback port nobody listens on right now, for a server a test starts
// (PostgreSQL, NATS, a LAN game), asked of the system rather than derived
// from the process id, which another test could meet.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace vorlane::testing {

// A TCP port free on 127.0.0.1; with `udp_too` one whose UDP port is free as
// well (on any address, as a LAN host binds it). 0 when none was found.
inline uint16_t FreePort(bool udp_too = false) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        uint16_t port = 0;
        if (tcp >= 0 && ::bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            port = ntohs(address.sin_port);
            if (udp_too) {
                const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
                address.sin_addr.s_addr = htonl(INADDR_ANY);
                if (udp < 0 ||
                    ::bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                    port = 0;
                if (udp >= 0)
                    ::close(udp);
            }
        }
        if (tcp >= 0)
            ::close(tcp);
        if (port != 0)
            return port;
    }
    return 0;
}

}  // namespace vorlane::testing
