// AdminSocket: the operator's door into a running server, a Unix domain
// socket (mode 0600, so only the server's user and root get in) that takes
// one command a line (admin_protocol.h). There is no network admin port.
//
// The protocol thread polls it between kernel steps, without waiting: every
// whole line becomes a request, and its reply may come at once or later
// (after a worker). A client has one request under way at a time; the next
// line is read once the reply is out. Everything is bounded: the clients
// (kMaxClients), a line (kAdminMaxLine), a reply (kAdminMaxReply), and a
// client that neither asks nor reads for kIdleSeconds is closed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vorlane::server {

// Who is on the other end, from the socket's peer credentials.
struct AdminPeer {
    uid_t uid = 0;
    pid_t pid = 0;
    std::string user;  // the uid's login name, or the number
};

struct AdminRequest {
    uint64_t client = 0;
    AdminPeer peer;
    std::string line;
};

class AdminSocket {
  public:
    static constexpr size_t kMaxClients = 8;
    static constexpr int kIdleSeconds = 60;

    AdminSocket() = default;
    ~AdminSocket();
    AdminSocket(const AdminSocket&) = delete;
    AdminSocket& operator=(const AdminSocket&) = delete;

    // Listens at `path`. A stale socket file is replaced; a live one (another
    // server answers there) or any other file is not. False with a reason.
    bool Open(const std::string& path, std::string* error);
    // Stops listening, drops the clients and removes the socket file.
    void Close();
    bool is_open() const { return listener_ >= 0; }
    const std::string& path() const { return path_; }

    // Accepts, reads and writes whatever is ready, without waiting; returns
    // the requests that came in whole.
    std::vector<AdminRequest> Poll();
    // The reply (FormatAdminReply) to the request of `client`; dropped when
    // the client has gone.
    void Reply(uint64_t client, const std::string& text);

  private:
    struct Client {
        int fd = -1;
        uint64_t id = 0;
        AdminPeer peer;
        std::string in, out;
        bool busy = false;     // a request waits for its reply
        bool hung_up = false;  // the client will send nothing more
        std::chrono::steady_clock::time_point seen;
    };
    void Accept();
    // Reads, writes and takes the next line; false when the client is done.
    bool Service(Client& client, std::vector<AdminRequest>* requests);

    int listener_ = -1;
    std::string path_;
    std::vector<Client> clients_;
    uint64_t next_id_ = 1;
};

}  // namespace vorlane::server
