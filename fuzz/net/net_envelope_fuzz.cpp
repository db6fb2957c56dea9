// Arbitrary bytes from a peer, read envelope by envelope through a socket pair.
// The first byte picks the reading: odd reads ahead as the driver's plain
// connections do, taking envelopes out of the buffer the way a waiting owner
// does and handing the rest to the reader's receive.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "baselib/logsys.h"
#include "net/envelope.h"
#include "net/net_socket.h"

namespace {

constexpr size_t kMaxInput = 256 * 1024;
constexpr uint32_t kMaxPayload = 64 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool muted = [] {
        LOGSYS_MuteAll();
        return true;
    }();
    (void)muted;
    if (size == 0 || size > kMaxInput)
        return 0;
    bool read_ahead = data[0] & 1;
    ++data;
    --size;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    int buffer = int(kMaxInput) * 2;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    size_t written = 0;
    while (written < size) {
        ssize_t result = send(fds[0], data + written, size - written, MSG_DONTWAIT);
        if (result <= 0)
            break;
        written += size_t(result);
    }
    shutdown(fds[0], SHUT_WR);

    NET_CONNECTION connection;
    connection.socket = fds[1];
    if (read_ahead && !NET_SetReadAhead(&connection, kMaxPayload))
        read_ahead = false;
    // Every result except a complete, foreign or damaged envelope ends the stream.
    for (int i = 0; i < 10000; ++i) {
        if (read_ahead) {
            bool may_read = true;
            ENVELOPE* taken = nullptr;
            if (NET_TakeEnvelope(&connection, kMaxPayload, &taken, &may_read) == 1) {
                if (!taken || taken->data.size() != taken->header.length)
                    __builtin_trap();
                NET_FreeEnvelope(taken);
                continue;
            }
        }
        ENVELOPE* envelope = NET_ReceiveEnvelope(&connection, 4096, nullptr, kMaxPayload);
        if (!envelope)
            break;
        const int32_t result = envelope->result;
        if (result == kEnvComplete && envelope->data.size() != envelope->header.length) {
            __builtin_trap();
        }
        NET_FreeEnvelope(envelope);
        if (result != kEnvComplete && result != kEnvForeign && result != kEnvBadChecksum)
            break;
    }
    close(fds[0]);
    close(fds[1]);
    return 0;
}
