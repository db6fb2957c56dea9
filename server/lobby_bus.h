// LobbyBus: what travels between the lobby servers of one cluster.
//
// Several vorlane-lobbyd share one store (PostgreSQL) and one bus (NATS).
// What a user in a channel must see from users on other servers (joins and
// leaves, chat, private lines, profile changes, games, presence) is
// published on the bus; every server takes what arrived on its protocol
// thread and acts on it as if its own users had sent it.
//
// Where the bus lives is one text (the configuration's `bus` key):
//   empty              no bus: one server alone (NullBus)
//   nats://HOST:PORT   a NATS server (NatsBus; tls://HOST:PORT for TLS)
//
// Messages are opaque bytes under a subject of dot-separated tokens. A
// subscription may end in `>` (the rest of the subject, one token at least)
// and hold `*` (exactly one token), as NATS reads them. A server does not get
// back what it published itself.
//
// Threads: Publish and Take are called on the protocol thread only; the
// wake-up callback and `connected` may be called on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vorlane::server {

struct BusMessage {
    std::string subject;
    std::vector<uint8_t> data;
};

class LobbyBus {
  public:
    virtual ~LobbyBus() = default;

    // Connects, or starts trying to in the background when the bus server
    // cannot be reached yet. False with a reason when the settings themselves
    // are unusable (a bad address, a missing certificate).
    virtual bool Open(std::string* error) = 0;
    // Asks for every message whose subject matches `pattern` from now on.
    virtual void Subscribe(const std::string& pattern) = 0;
    // Sends one message to every other server subscribed to `subject`. While
    // the bus is lost, messages are dropped (not queued without bound).
    virtual void Publish(const std::string& subject, std::span<const uint8_t> data) = 0;
    // Moves up to `max` of the messages that arrived into `out` (appended),
    // oldest first; how many were moved.
    virtual size_t Take(std::vector<BusMessage>& out, size_t max) = 0;
    // Whether messages travel now. A lost bus comes back by itself.
    virtual bool connected() const = 0;

    // Called from any thread when a message arrives or the connection comes
    // or goes, so the protocol thread need not poll. Set before Open.
    void set_wake(std::function<void()> wake) { wake_ = std::move(wake); }

  protected:
    void Wake() const {
        if (wake_)
            wake_();
    }

  private:
    std::function<void()> wake_;
};

// One server alone: nothing travels, and the bus is never lost.
class NullBus final : public LobbyBus {
  public:
    bool Open(std::string*) override { return true; }
    void Subscribe(const std::string&) override {}
    void Publish(const std::string&, std::span<const uint8_t>) override {}
    size_t Take(std::vector<BusMessage>&, size_t) override { return 0; }
    bool connected() const override { return true; }
};

}  // namespace vorlane::server
