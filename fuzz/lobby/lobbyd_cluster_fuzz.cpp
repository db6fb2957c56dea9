// Arbitrary messages from other servers of a cluster into the lobby server,
// mixed with lobby packets of its own users: each step is one message from
// server 1 to 4 (1 is the server itself) of the step's kind, or, for a
// selector from 200 up, a lobby packet of one of four local users.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "fuzz/lobby/fuzz_stream.h"
#include "fuzz/lobby/sink_server.h"
#include "server/lobby_bus.h"

using namespace vorlane::net;
using namespace vorlane::server;

namespace {

// Hands the server what the fuzzer made; what it publishes goes nowhere.
class FuzzBus final : public LobbyBus {
  public:
    bool Open(std::string*) override { return true; }
    void Subscribe(const std::string&) override {}
    void Publish(const std::string&, std::span<const uint8_t> data) override {
        if (data.empty())
            __builtin_trap();  // every message the server builds encodes
    }
    size_t Take(std::vector<BusMessage>& out, size_t max) override {
        size_t moved = 0;
        for (; moved < max && !queue.empty(); ++moved) {
            out.push_back(std::move(queue.front()));
            queue.pop_front();
        }
        return moved;
    }
    bool connected() const override { return true; }
    std::deque<BusMessage> queue;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBus bus;
    SinkServer server(FuzzStore(), FuzzConfig(), &bus);
    if (!server.JoinCluster())
        return 0;
    server.ClusterTick();
    const uint32_t base = uint32_t(server.server_number()) * kClusterIdStride;
    server.LogOnUsers(base + 1);
    FuzzStream stream(data, size);
    FuzzStep step;
    while (stream.Next(&step)) {
        if (step.selector >= 200) {
            server.Deliver(base + 1 + step.selector % 4, step.sub_type, step.bytes);
            continue;
        }
        // The common head, then the fuzzer's fields.
        const uint16_t from = uint16_t(1 + step.selector % 4);
        std::vector<uint8_t> message = {
            'V', 'L', 1, uint8_t(step.sub_type), uint8_t(from), uint8_t(from >> 8)};
        message.insert(message.end(), step.bytes.begin(), step.bytes.end());
        // To this server (1), to another (3), or to a channel.
        const char* subject = step.sub_type >> 8 == 1   ? "vorlane.lobby.to.1"
                              : step.sub_type >> 8 == 2 ? "vorlane.lobby.to.3"
                                                        : "vorlane.lobby.channel.2";
        bus.queue.push_back({subject, std::move(message)});
        server.TakeBusMessages();
    }
    return 0;
}
