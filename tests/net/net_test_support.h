// Shared helpers of the network tests: a socket pair wrapped as two
// connections, and raw envelope bytes.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "baselib/logsys.h"
#include "net/envelope.h"

namespace nettest {

// Two connected stream sockets, each wrapped as a connection.
struct SocketPair {
    NET_CONNECTION a;
    NET_CONNECTION b;
    SocketPair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            a.socket = fds[0];
            b.socket = fds[1];
        }
    }
    ~SocketPair() {
        if (a.socket >= 0)
            close(a.socket);
        if (b.socket >= 0)
            close(b.socket);
    }
    void CloseA() {
        close(a.socket);
        a.socket = -1;
    }
};

// The bytes of one envelope as a peer would write them.
inline std::vector<uint8_t> EnvelopeBytes(uint32_t sender, uint32_t receiver, uint32_t type,
                                          const std::vector<uint8_t>& payload,
                                          uint32_t magic = kEnvelopeMagic) {
    ENVELOPE_HEADER header;
    header.magic = magic;
    header.sender = sender;
    header.receiver = receiver;
    header.type = type;
    header.length = uint32_t(payload.size());
    header.crc = NET_Crc(payload.data(), payload.size());
    std::vector<uint8_t> bytes(kEnvelopeHeaderSize);
    EncodeEnvelopeHeader(header, bytes.data());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

}  // namespace nettest
