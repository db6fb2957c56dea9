// Arbitrary bytes from a peer, read envelope by envelope through a socket pair.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "baselib/logsys.h"
#include "net/envelope.h"

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
    if (size > kMaxInput)
        return 0;
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
    // Every result except a complete, foreign or damaged envelope ends the stream.
    for (int i = 0; i < 10000; ++i) {
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
