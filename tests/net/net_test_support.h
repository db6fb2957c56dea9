// Shared helpers of the network tests: a log sink that records lines, a
// socket pair wrapped as two connections, and raw envelope bytes.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "baselib/logsys.h"
#include "baselib/mutex.h"
#include "net/envelope.h"

namespace nettest {

// Records every line written to the logs it is attached to.
class LogCapture {
  public:
    static void Attach(LOGSYS* log) {
        if (!log)
            return;
        MUTX_Lock(log->mutex, -1);
        log->outputs |= kLogToCallback;
        log->callback = &Sink;
        MUTX_Unlock(log->mutex);
    }
    static void Clear() {
        std::lock_guard lock(Mutex());
        Lines().clear();
    }
    static int Count(std::string_view text) {
        std::lock_guard lock(Mutex());
        int count = 0;
        for (const std::string& line : Lines()) count += line.find(text) != std::string::npos;
        return count;
    }
    static bool Contains(std::string_view text) { return Count(text) > 0; }
    static std::vector<std::string> Snapshot() {
        std::lock_guard lock(Mutex());
        return Lines();
    }

  private:
    static void Sink(const char* text) {
        std::lock_guard lock(Mutex());
        Lines().emplace_back(text);
    }
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
};

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
