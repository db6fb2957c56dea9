// Arbitrary lobby packets into the lobby server's packet handling from four
// logged-on users (three with accounts), with the kernel replaced by a sink.
#include <cstdint>
#include <memory>
#include <vector>

#include "baselib/logsys.h"
#include "fuzz/lobby/fuzz_stream.h"
#include "server/lobby_server.h"

using namespace vorlane::net;
using namespace vorlane::server;

namespace {

class SinkServer : public LobbyServer {
  public:
    using LobbyServer::LobbyServer;
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
    // Every packet the server builds has a header and its stated size.
    static void Check(const std::vector<uint8_t>& packet) {
        const auto header = DecodePacketHeader(packet);
        if (!header || header->size != packet.size())
            __builtin_trap();
    }
};

LobbyStore* Store() {
    static std::unique_ptr<LobbyStore> store = [] {
        LOGSYS_MuteAll();
        auto opened = LobbyStore::Open(":memory:", HashStrength::kMinimum);
        uint32_t id = 0;
        for (const char* name : {"a1", "a2", "a3"}) opened->CreateAccount(name, "pw", "", &id);
        Profile profile{};
        PutU16(profile, kProfActive, 1);
        PutText(profile, kProfName, "pilot", kNameWidth);
        for (uint32_t account = 1; account <= 3; ++account)
            opened->StoreProfile(account, 1, profile);
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
    SinkServer server(Store(), config);
    PKTCHECK check;
    for (uint32_t user = 1; user <= 4; ++user) {
        server.OnLogon(user);
        if (user == 4)
            continue;  // one user never logs in to the lobby
        const std::string name = "a" + std::to_string(user);
        std::vector<uint8_t> login = EncodeLogin(check, {name, "pw", ""});
        server.Deliver(user, kPktLogin, login);
        std::vector<uint8_t> select = EncodeU16Body(check, kPktSelectProfile, 1);
        server.Deliver(user, kPktSelectProfile, select);
    }
    FuzzStream stream(data, size);
    FuzzStep step;
    while (stream.Next(&step)) {
        const uint32_t user = 1 + step.selector % 5;  // 5 is nobody the server knows
        if (step.selector >= 250) {
            server.OnUserRemoved(user);
            server.OnLogon(user);
            continue;
        }
        server.Deliver(user, step.sub_type, step.bytes);
    }
    return 0;
}
