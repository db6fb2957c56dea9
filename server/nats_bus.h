// NatsBus: the lobby bus over a NATS server (cnats).
//
// The library keeps the connection on threads of its own and reconnects
// forever; what arrives is put in a bounded queue the protocol thread takes
// from, and the wake-up callback runs on every arrival and on every loss or
// return of the connection.
//
//   state         connected()  Publish               arrivals
//   connecting    false        dropped               -
//   connected     true         sent                  queued (dropped when full)
//   reconnecting  false        dropped               -
//   closed        false        dropped               -
//
// Nothing is buffered while the bus is lost: a message held back for
// seconds would describe a world that has moved on (who is in which channel),
// and each server sends its full state again when the bus returns.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/lobby_bus.h"

struct __natsConnection;
struct __natsSubscription;
struct __natsOptions;
struct __natsMsg;

namespace vorlane::server {

struct LobbyConfig;

struct NatsSettings {
    // nats://[USER:PASSWORD@]HOST:PORT, or tls://... for TLS.
    std::string url;
    // PEM file of the CA that signed the server's certificate; the server's
    // name is checked against the URL's host.
    std::string ca;
    // A client certificate and its key (PEM), for servers that ask for one.
    std::string cert;
    std::string key;
    // A NATS credentials file (user JWT and NKey seed).
    std::string creds;
    // Arrived messages that may wait for the protocol thread.
    size_t queue_max = 65536;
};

class NatsBus final : public LobbyBus {
  public:
    explicit NatsBus(NatsSettings settings);
    ~NatsBus() override;
    NatsBus(const NatsBus&) = delete;
    NatsBus& operator=(const NatsBus&) = delete;

    bool Open(std::string* error) override;
    void Subscribe(const std::string& pattern) override;
    void Publish(const std::string& subject, std::span<const uint8_t> data) override;
    size_t Take(std::vector<BusMessage>& out, size_t max) override;
    bool connected() const override;

    // Arrived messages dropped because the queue was full.
    uint64_t dropped() const { return dropped_.load(); }

  private:
    // The library's callbacks, on its own threads.
    static void OnMessage(__natsConnection* conn, __natsSubscription* sub, __natsMsg* msg,
                          void* closure);
    static void OnConnectionChange(__natsConnection* conn, void* closure);
    static void OnClosed(__natsConnection* conn, void* closure);
    static void OnSubscriptionDone(void* closure);

    bool ApplySettings(__natsOptions* options, std::string* error) const;
    void SubscribeNow(const std::string& pattern);
    // The queue-full line, at most once in a while, on the protocol thread.
    void ReportDrops();

    NatsSettings settings_;
    std::atomic<__natsConnection*> conn_{nullptr};
    // Protocol thread only.
    std::vector<std::string> patterns_;
    std::vector<__natsSubscription*> subscriptions_;
    uint64_t dropped_reported_ = 0;
    int64_t last_drop_log_ = 0;

    std::mutex mutex_;  // guards queue_, closed_ and subscriptions_done_
    std::condition_variable done_;
    std::deque<BusMessage> queue_;
    bool closed_ = false;
    size_t subscriptions_done_ = 0;
    std::atomic<uint64_t> dropped_{0};
};

// What `url` connects to, with a password in it masked, for logs.
std::string RedactedBusUrl(const std::string& url);
// The host of a bus URL ("" when it has none).
std::string BusHost(const std::string& url);
// Why a bus URL cannot be used, or "" when it can.
std::string BusUrlProblem(const std::string& url);

// The bus the configuration names: NullBus when `bus` is empty, else a
// NatsBus (not yet opened: the owner sets its wake-up first). Null with the
// reason when the settings cannot be used.
std::unique_ptr<LobbyBus> OpenBus(const LobbyConfig& config, std::string* error);

}  // namespace vorlane::server
