// A server's TLS accept path fed with arbitrary bytes from a peer: the
// handshake a connection's reader runs before its first envelope, and the
// envelopes after it should the bytes ever complete one.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "baselib/logsys.h"
#include "net/envelope.h"
#include "net/net_tls.h"
#include "net/tls_certificate.h"

namespace {

constexpr size_t kMaxInput = 64 * 1024;
constexpr uint32_t kMaxPayload = 64 * 1024;

// One self-signed server identity for every input.
std::shared_ptr<vorlane::net::TlsContext> ServerContext() {
    static std::shared_ptr<vorlane::net::TlsContext> context = [] {
        LOGSYS_MuteAll();
        vorlane::net::KeyPtr key = vorlane::net::NewEcKey();
        vorlane::net::CertificatePtr cert =
            vorlane::net::MakeCertificate({}, key.get(), nullptr, nullptr);
        return vorlane::net::TlsContext::ForServer(cert.get(), key.get(), nullptr);
    }();
    return context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto context = ServerContext();
    if (!context || size > kMaxInput)
        return 0;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    int buffer = int(kMaxInput) * 2;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    size_t written = 0;
    while (written < size) {
        const ssize_t result = send(fds[0], data + written, size - written, MSG_DONTWAIT);
        if (result <= 0)
            break;
        written += size_t(result);
    }
    // The peer says no more: the handshake ends at the end of the input.
    shutdown(fds[0], SHUT_WR);

    auto* connection = new NET_CONNECTION;
    connection->socket = fds[1];
    if (NET_TlsAttach(connection, context, nullptr) &&
        NET_TlsHandshake(connection, 1000) == vorlane::net::TlsHandshakeResult::kDone) {
        for (int i = 0; i < 1000; ++i) {
            ENVELOPE* envelope = NET_ReceiveEnvelope(connection, 4096, nullptr, kMaxPayload);
            if (!envelope)
                break;
            const int32_t result = envelope->result;
            NET_FreeEnvelope(envelope);
            if (result != kEnvComplete && result != kEnvForeign && result != kEnvBadChecksum)
                break;
        }
    }
    NET_Close(connection);  // closes fds[1]
    close(fds[0]);
    return 0;
}
