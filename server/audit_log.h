// AuditLog: one line for every admin command, appended to a file only its
// owner may read: when (UTC), who (user name, uid and pid from the socket's
// peer credentials), the command as received, and how it ended. Replies
// that carry a secret (a new password) are summed up without it.
#pragma once

#include <string>

#include "server/admin_socket.h"

namespace vorlane::server {

class AuditLog {
  public:
    AuditLog() = default;
    ~AuditLog();
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    // Opens (creating with mode 0600) `path` for appending. False with a reason.
    bool Open(const std::string& path, std::string* error);
    // "2026-12-08T19:50:00Z alice (uid 1000, pid 4242): kick Bob spam -> ok: kicked Bob"
    void Write(const AdminPeer& peer, const std::string& command, bool ok,
               const std::string& result);

  private:
    int fd_ = -1;
};

}  // namespace vorlane::server
