// A NATS server a test starts for itself (see NatsServer).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/free_port.h"

namespace vorlane::server {

// A nats-server on 127.0.0.1 and a free port, with its files in a temporary
// folder; stopped and removed with the object. It may be stopped and started
// again on the same port, as a restarted server would come back.
class NatsServer {
  public:
    static constexpr const char* kProgram = "/usr/sbin/nats-server";

    // Null with the reason when nats-server is not installed.
    static bool Installed(std::string* skip) {
        if (::access(kProgram, X_OK) == 0)
            return true;
        *skip = "nats-server is not installed";
        return false;
    }

    // `extra` goes into the server's configuration file as it is (a tls
    // block, an authorization block).
    explicit NatsServer(const std::string& extra = "") {
        char pattern[] = "/tmp/vorlane-nats-XXXXXX";
        if (!::mkdtemp(pattern))
            return;
        dir_ = pattern;
        port_ = vorlane::testing::FreePort();
        std::ofstream config(dir_ + "/nats.conf");
        config << "listen: 127.0.0.1:" << port_ << "\n" << extra << "\n";
    }
    ~NatsServer() {
        Stop();
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    NatsServer(const NatsServer&) = delete;
    NatsServer& operator=(const NatsServer&) = delete;

    // Starts the server and waits until it takes connections.
    bool Start() {
        if (pid_ > 0 || port_ == 0)
            return pid_ > 0;
        const std::string config = dir_ + "/nats.conf";
        const std::string log = dir_ + "/nats.log";
        pid_ = ::fork();
        if (pid_ == 0) {
            // A test that dies leaves no server behind.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execl(kProgram, kProgram, "-c", config.c_str(), "-l", log.c_str(), nullptr);
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Answers())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void Stop() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

    uint16_t port() const { return port_; }
    const std::string& dir() const { return dir_; }
    std::string Url(const std::string& scheme = "nats", const std::string& user = "") const {
        return scheme + "://" + (user.empty() ? "" : user + "@") +
               "127.0.0.1:" + std::to_string(port_);
    }

  private:
    bool Answers() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool answered =
            fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return answered;
    }

    std::string dir_;
    uint16_t port_ = 0;
    pid_t pid_ = 0;
};

}  // namespace vorlane::server
