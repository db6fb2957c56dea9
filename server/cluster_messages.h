// The messages the lobby servers of a cluster send each other over the bus
// (LobbyBus), one codec for all of them.
//
// Every message starts with the same six bytes, little-endian like the
// lobby packets:
//   0 'V' 'L'   2 version (1)   3 kind   4 the sender's server number (16)
// and the kind's fields follow (see ClusterKind). Texts are a 16-bit length
// and that many bytes, never more than their kind allows; a profile is sent
// without its trailing zeros (most of its 8295 bytes are). A message that is
// short, long, of another version or breaks a bound decodes to nothing: the
// bus is trusted as far as the servers on it, not further.
//
// A kind's fields never change. What servers newly tell each other comes as
// new kinds under the same version: a server that does not know a kind
// decodes it to nothing and carries on, so servers of the previous release
// and this one share a bus.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/lobby_packets.h"

namespace vorlane::server {

enum class ClusterKind : uint8_t {
    kHello = 1,         // incarnation: a server (re)joined; the others send it their state
    kHeartbeat = 2,     // incarnation: still there (every few seconds)
    kStateRequest = 3,  // request: send me your state, ending with kStateEnd
    kStateEnd = 4,      // incarnation, request: what the state left out is gone
    kGone = 5,          // incarnation: the server stops; its users and games go
    kUser = 6,          // user, account, channel (0 = none), profile_number, name, profile
    kUserLeft = 7,      // user, channel: left the channel, still logged in
    kUserOff = 8,       // user: logged off
    kChat = 9,          // user, channel, text
    kPrivate = 10,      // user, target, channel, text
    kGame = 11,         // channel, user (the host), record, seats: added or changed
    kGameRemoved = 12,  // channel, game
    kSeat = 13,         // channel, game, account, profile_number
    kMute = 14,         // account, expires, text (the reason)
    kUnmute = 15,       // account
    kDismiss = 16,      // user / account / address, code (notice kind), seconds, text
    kSay = 17,          // text: a server line for every channel member
    kStats = 18,        // account: its figures changed (results)
    // user, account, event (a friend event), state (presence), visibility,
    // since, text (the game's name): an account's presence changed
    kPresence = 19,
    // account, target, event, relation, name: tell `target` (an account)
    // that `account` (named `name`) is now `relation` to it
    kSocial = 20,
    kLine = 21,  // account (the receiver), since (sent), name (the sender), text
};

// The event of a presence message in a state stream: what is known is
// repeated, and nobody is to hear of it as a change.
constexpr uint16_t kPresenceRepeated = 0xFFFF;

// A seat of a game (see LobbyServer): the account and the profile it plays.
struct ClusterSeat {
    uint32_t account = 0;
    uint16_t profile = 0;
};

// One message; which fields count depends on `kind` (see ClusterKind).
struct ClusterMessage {
    ClusterKind kind = ClusterKind::kHeartbeat;
    uint16_t server = 0;
    uint64_t incarnation = 0;
    uint32_t request = 0;
    uint32_t user = 0;
    uint32_t target = 0;
    uint32_t account = 0;
    uint32_t address = 0;
    uint16_t channel = 0;
    uint16_t profile_number = 0;
    uint32_t game = 0;
    uint32_t code = 0;
    uint32_t seconds = 0;
    int64_t expires = 0;
    uint16_t event = 0;
    uint16_t state = 0;
    uint16_t relation = 0;
    uint16_t visibility = 0;
    int64_t since = 0;
    std::string name{};
    std::string text{};
    net::Profile profile{};
    net::GameRecord record{};
    std::vector<ClusterSeat> seats{};
};

// Longest texts a message carries (a chat line, a notice, an account name).
constexpr size_t kClusterTextMax = 128;
constexpr size_t kClusterNameMax = 32;
// Most seats a game record carries.
constexpr size_t kClusterSeatsMax = 256;

std::vector<uint8_t> EncodeClusterMessage(const ClusterMessage& message);
std::optional<ClusterMessage> DecodeClusterMessage(std::span<const uint8_t> bytes);

}  // namespace vorlane::server
