#include "server/audit_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "server/lobby_text.h"

namespace vorlane::server {

AuditLog::~AuditLog() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool AuditLog::Open(const std::string& path, std::string* error) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0 && error)
        *error = "audit log " + path + ": " + std::strerror(errno);
    return fd_ >= 0;
}

void AuditLog::Write(const AdminPeer& peer, const std::string& command, bool ok,
                     const std::string& result) {
    if (fd_ < 0)
        return;
    char when[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    const std::string line = std::string(when) + " " + Printable(peer.user) + " (uid " +
                             std::to_string(peer.uid) + ", pid " + std::to_string(peer.pid) +
                             "): " + Printable(command) + " -> " + (ok ? "ok" : "error") +
                             (result.empty() ? "" : ": " + Printable(result)) + "\n";
    // One write: lines of concurrent writers never interleave with O_APPEND.
    [[maybe_unused]] const ssize_t written = ::write(fd_, line.data(), line.size());
}

}  // namespace vorlane::server
