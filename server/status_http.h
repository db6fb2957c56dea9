// The operator's HTTP endpoint: / (the status page) and /metrics, served by
// cpp-httplib on threads of its own from the latest snapshot the lobby made.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "server/lobby_status.h"

namespace httplib {
class Server;
}

namespace vorlane::server {

// Splits "ADDRESS:PORT" (port 0 = any free port); false when it is not one.
bool ParseHttpAddress(const std::string& text, std::string* address, uint16_t* port);

class StatusHttp {
  public:
    using Snapshot = std::function<std::shared_ptr<const LobbyStatus>()>;

    StatusHttp();
    ~StatusHttp();
    StatusHttp(const StatusHttp&) = delete;
    StatusHttp& operator=(const StatusHttp&) = delete;

    // Listens on "ADDRESS:PORT" and serves from `snapshot`; false with a
    // reason when the address cannot be used.
    bool Start(const std::string& address_and_port, Snapshot snapshot, std::string* error);
    // The port it listens on (the one the system chose for port 0).
    uint16_t port() const { return port_; }
    void Stop();

  private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    uint16_t port_ = 0;
};

}  // namespace vorlane::server
