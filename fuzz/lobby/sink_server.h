// What the lobby server's fuzz targets share: the server with the kernel
// replaced by a sink that checks every packet the server builds, a store
// with three accounts, and the log-in of the users a run starts with.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "baselib/logsys.h"
#include "server/lobby_server.h"

namespace vorlane::server {

class SinkServer : public LobbyServer {
  public:
    using LobbyServer::ClusterTick;
    using LobbyServer::JoinCluster;
    using LobbyServer::LobbyServer;
    using LobbyServer::TakeBusMessages;
    void Deliver(uint32_t user, uint16_t sub_type, std::span<const uint8_t> bytes) {
        OnDataReceived(0xEFFFFFCC, user, 12, sub_type, bytes.data(), uint32_t(bytes.size()));
    }
    // Kernel users first .. first + 3 log on; all but the last log in as
    // a1..a3 and select their first profile.
    void LogOnUsers(uint32_t first) {
        net::PKTCHECK check;
        for (uint32_t user = first; user < first + 4; ++user) {
            OnLogon(user);
            if (user == first + 3)
                continue;  // one user never logs in to the lobby
            const std::string name = "a" + std::to_string(user - first + 1);
            Deliver(user, net::kPktLogin, net::EncodeLogin(check, {name, "pw", ""}));
            Deliver(user, net::kPktSelectProfile,
                    net::EncodeU16Body(check, net::kPktSelectProfile, 1));
        }
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
        const auto header = net::DecodePacketHeader(packet);
        if (!header || header->size != packet.size())
            __builtin_trap();
    }
};

// One in-memory store for every run, with accounts a1..a3 (password "pw"),
// each with an active first profile. A server gives back what it claimed
// in the store when it goes.
inline LobbyStore* FuzzStore() {
    static std::unique_ptr<LobbyStore> store = [] {
        LOGSYS_MuteAll();
        auto opened = LobbyStore::Open(":memory:", HashStrength::kMinimum);
        net::Profile profile{};
        net::PutU16(profile, net::kProfActive, 1);
        net::PutText(profile, net::kProfName, "pilot", net::kNameWidth);
        for (const char* name : {"a1", "a2", "a3"}) {
            uint32_t id = 0;
            opened->CreateAccount(name, "pw", "", &id);
            opened->StoreProfile(id, 1, profile);
        }
        return opened;
    }();
    return store.get();
}

// The configuration both targets run with: no waiting for hashes or chat
// tokens, two channels.
inline LobbyConfig FuzzConfig() {
    LobbyConfig config;
    config.hash = HashStrength::kMinimum;
    config.chat_lines_per_second = 0;
    config.hash_threads = 0;
    config.channels = {{"Main", 0}, {"Battle", 0x2}};
    return config;
}

}  // namespace vorlane::server
