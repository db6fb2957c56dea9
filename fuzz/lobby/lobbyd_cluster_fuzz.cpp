// Arbitrary messages from other servers of a cluster into the lobby server,
// mixed with lobby packets of its own users: each step is one message from
// server 1 to 4 (1 is the server itself) of the step's kind, or, for a
// selector from 200 up, a lobby packet of one of four local users.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "baselib/logsys.h"
#include "fuzz/lobby/fuzz_stream.h"
#include "server/lobby_bus.h"
#include "server/lobby_server.h"

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

class SinkServer : public LobbyServer {
  public:
    using LobbyServer::ClusterTick;
    using LobbyServer::JoinCluster;
    using LobbyServer::LobbyServer;
    using LobbyServer::TakeBusMessages;
    void Deliver(uint32_t user, uint16_t sub_type, std::span<const uint8_t> bytes) {
        OnDataReceived(0xEFFFFFCC, user, 12, sub_type, bytes.data(), uint32_t(bytes.size()));
    }

  protected:
    bool SendTo(uint32_t, const std::vector<uint8_t>& packet) override {
        Check(packet);
        return true;
    }
    void SendToMany(const std::vector<uint32_t>& users,
                    const std::vector<uint8_t>& packet) override {
        if (!users.empty())
            Check(packet);
    }
    void SendAllTo(uint32_t, const std::vector<std::vector<uint8_t>>& packets) override {
        for (const auto& packet : packets) Check(packet);
    }
    void CloseConnection(uint32_t) override {}
    std::array<uint8_t, 4> PeerAddress(uint32_t) override { return {127, 0, 0, 1}; }

  private:
    static void Check(const std::vector<uint8_t>& packet) {
        const auto header = DecodePacketHeader(packet);
        if (!header || header->size != packet.size())
            __builtin_trap();
    }
};

// The server gives its number and its online rows back when it goes, so
// one store serves every run.
LobbyStore* Store() {
    static std::unique_ptr<LobbyStore> store = [] {
        LOGSYS_MuteAll();
        auto opened = LobbyStore::Open(":memory:", HashStrength::kMinimum);
        uint32_t id = 0;
        Profile profile{};
        PutU16(profile, kProfActive, 1);
        PutText(profile, kProfName, "pilot", kNameWidth);
        for (const char* name : {"a1", "a2", "a3"}) {
            opened->CreateAccount(name, "pw", "", &id);
            opened->StoreProfile(id, 1, profile);
        }
        return opened;
    }();
    return store.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LobbyConfig config;
    config.hash = HashStrength::kMinimum;
    config.chat_lines_per_second = 0;
    config.hash_threads = 0;
    config.channels = {{"Main", 0}, {"Battle", 0x2}};
    FuzzBus bus;
    SinkServer server(Store(), config, &bus);
    if (!server.JoinCluster())
        return 0;
    server.ClusterTick();
    PKTCHECK check;
    const uint32_t base = uint32_t(server.server_number()) * kClusterIdStride;
    for (uint32_t user = base + 1; user <= base + 4; ++user) {
        server.OnLogon(user);
        if (user == base + 4)
            continue;
        const std::string name = "a" + std::to_string(user - base);
        std::vector<uint8_t> login = EncodeLogin(check, {name, "pw", ""});
        server.Deliver(user, kPktLogin, login);
        std::vector<uint8_t> select = EncodeU16Body(check, kPktSelectProfile, 1);
        server.Deliver(user, kPktSelectProfile, select);
    }
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
