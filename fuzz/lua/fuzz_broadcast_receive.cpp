// Feeds arbitrary bytes to the LAN datagram decoder, both directly and as a
// real datagram over loopback through BROADCAST::Receive.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "baselib/logsys.h"
#include "net/broadcast.h"

namespace {

struct Harness {
    BROADCAST receiver;
    int sender = -1;
    sockaddr_in target{};
    bool ready = false;

    Harness() {
        LOGSYS_MuteAll();
        // A free port on loopback, then the object on it.
        int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length);
        ::close(probe);
        uint16_t port = ntohs(local.sin_port);
        ready = receiver.Init(12, port, kGameRecordSize, "127.255.255.255");
        sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
};

void Use(const uint8_t* data, uint32_t size, const sockaddr_in* from) {
    uint8_t record[kGameRecordSize];
    if (from)
        BROADCAST_GameRecord(data, size, from, record);
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < size; ++i) sink = sink ^ data[i];
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    if (!harness.ready)
        return 0;
    uint16_t type = 0;
    uint32_t length = 0;
    sockaddr_in from{};
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (auto decoded = harness.receiver.Decode(data, size, &type, &length))
        Use(decoded.get(), length, &from);

    if (size > 65507)
        return 0;
    if (::sendto(harness.sender, data, size, 0, reinterpret_cast<sockaddr*>(&harness.target),
                 sizeof harness.target) < 0) {
        return 0;
    }
    for (int tries = 0; tries < 100 && !harness.receiver.PacketReady(); ++tries) ::usleep(10);
    while (harness.receiver.PacketReady()) {
        if (auto received = harness.receiver.Receive(&type, &length, &from))
            Use(received.get(), length, &from);
    }
    return 0;
}
