// What the server tests' clients send and read of the social packets (51
// to 65): requests as one-liners, and the packets got so far, by kind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "net/social_packets.h"
#include "tests/server/running_server.h"

namespace vorlane::server::testing::social {

using namespace vorlane::net;

inline void Send(Client& client, uint16_t id, const std::vector<uint8_t>& packet) {
    ASSERT_EQ(client.net.SendToServer(kLobbyModuleType, id, packet.data(), uint32_t(packet.size())),
              1);
}
inline void Act(Client& client, uint16_t action, const std::string& name) {
    Send(client, kPktSocialAction, EncodeSocialAction(PKTCHECK(), {action, name}));
}
inline void Line(Client& client, const std::string& name, const std::string& text) {
    Send(client, kPktPrivateByName, EncodePrivateByName(PKTCHECK(), {name, text}));
}

inline void Search(Client& client, const std::string& prefix, uint16_t page = 0) {
    Send(client, kPktPlayerSearch, EncodePlayerSearch(PKTCHECK(), {page, prefix}));
}
// Waits for the answer to the client's `count`th search.
inline SearchResult Found(Client& client, size_t count) {
    EXPECT_TRUE(
        WaitFor({&client}, [&] { return client.net.packet_counts[kPktSearchResult] >= count; }));
    return DecodeSearchResult(client.net.last_packets[kPktSearchResult]).value_or(SearchResult{});
}
inline void Filter(Client& client, const GameFilter& filter) {
    Send(client, kPktGameFilter, EncodeGameFilter(PKTCHECK(), filter));
}
inline void Host(Client& client, const std::string& name, bool password) {
    GameRecord game{};
    PutText(game, kGameName, name, kGameNameWidth);
    PutU16(game, kGamePasswordFlag, password ? 1 : 0);
    PutU16(game, kGameMaxPlayers, 4);
    Send(client, kPktGameRegister, EncodeGameRecord(PKTCHECK(), kPktGameRegister, game));
}
inline std::vector<GameAlert> Alerts(Client& client) {
    std::vector<GameAlert> alerts;
    for (const auto& [id, bytes] : client.net.social) {
        if (id == kPktGameAlert)
            alerts.push_back(*DecodeGameAlert(bytes));
    }
    return alerts;
}
inline std::vector<StoredLine> History(Client& client) {
    std::vector<StoredLine> lines;
    for (const auto& [id, bytes] : client.net.social) {
        if (id == kPktHistoryLine)
            lines.push_back(*DecodeStoredLine(bytes));
    }
    return lines;
}

// The friend events (55) a client got about `name`, oldest first.
inline std::vector<FriendChanged> Events(Client& client, const std::string& name) {
    std::vector<FriendChanged> events;
    for (const auto& [id, bytes] : client.net.social) {
        const auto changed = id == kPktFriendChanged ? DecodeFriendChanged(bytes) : std::nullopt;
        if (changed && changed->entry.name == name)
            events.push_back(*changed);
    }
    return events;
}
inline std::vector<StoredLine> Lines(Client& client) {
    std::vector<StoredLine> lines;
    for (const auto& [id, bytes] : client.net.social) {
        if (id == kPktStoredLine)
            lines.push_back(*DecodeStoredLine(bytes));
    }
    return lines;
}
inline std::optional<AwaySummary> Summary(Client& client) {
    for (const auto& [id, bytes] : client.net.social) {
        if (id == kPktAwaySummary)
            return DecodeAwaySummary(bytes);
    }
    return std::nullopt;
}

}  // namespace vorlane::server::testing::social
