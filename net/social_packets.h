// Bodies of the social packets (51 to 65): friends and presence, player
// search, saved game filters, stored private lines, chat history, the away
// summary and the rejoin offer. Identifiers, sizes and tags live in the one
// packet table of net/lobby_packets; this file only lays out the bodies, with
// the same rules: little-endian, account names in 15-byte fields, texts
// NUL-terminated and zero-filled, decoders that return nothing for a packet
// shorter than its fixed fields and never read past the bytes received.
//
// Visibility (52) is a 16-bit value at 14 (EncodeU16Body / DecodeU16At14), the
// friends request (53) is empty (EncodeEmpty), and the stored line delete (62)
// a 32-bit line identifier at 14 (EncodeU32Body / DecodeU32At14; 0 = all).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/lobby_packets.h"

namespace vorlane::net {

// [SECTION] Values

enum SocialActionKind : uint16_t {
    kActionBefriend = 1,  // ask, or accept the other's request
    kActionUnfriend = 2,  // remove a friend, withdraw or decline a request
    kActionBlock = 3,
    kActionUnblock = 4,
};

enum Visibility : uint16_t {
    kVisibleEveryone = 0,
    kVisibleFriends = 1,
    kVisibleNobody = 2,  // appears offline
};

// What the other account is to the receiver of an entry.
enum Relation : uint8_t {
    kRelationNone = 0,
    kRelationFriend = 1,
    kRelationAsksYou = 2,
    kRelationYouAsked = 3,
    kRelationBlocked = 4,
};

enum PresenceState : uint8_t {
    kPresenceOffline = 0,
    kPresenceOnline = 1,
    kPresenceInChannel = 2,
    kPresenceInGame = 3,
    kPresenceLan = 4,
};

enum FriendEvent : uint16_t {
    kFriendUpdate = 0,      // a quiet change
    kFriendCameOnline = 1,  // worth a notice
    kFriendOpenedGame = 2,  // worth a notice
    kFriendAsks = 3,
    kFriendGone = 4,  // no longer on the receiver's list
};

// Game filter flags (58); 0 removes the slot.
constexpr uint16_t kFilterActive = 0x1;
constexpr uint16_t kFilterFreeSeats = 0x2;
constexpr uint16_t kFilterNoPassword = 0x4;
constexpr uint16_t kFilterFriendsGames = 0x8;

// Stored line flags (61, 63).
constexpr uint16_t kLineWhileInGame = 0x1;  // the receiver sat in a game

enum LastGameOutcome : uint16_t {
    kOutcomeNone = 0,
    kOutcomeWon = 1,
    kOutcomeLost = 2,
    kOutcomeDisconnected = 3,
};

constexpr size_t kFriendEntrySize = 64;
constexpr size_t kWhereWidth = 40;
constexpr size_t kFilterTextWidth = 35;
constexpr size_t kFriendListEntriesOffset = 16;
constexpr size_t kMaxFriendListEntries = 256;
constexpr size_t kSearchEntriesOffset = 20;
constexpr size_t kMaxSearchEntries = 20;

// [SECTION] Client -> server bodies

// Social action (51), 32 bytes: 14 action (16), 16 account name.
struct SocialAction {
    uint16_t action = 0;
    std::string name;
};
std::vector<uint8_t> EncodeSocialAction(const PKTCHECK& check, const SocialAction& body);
std::optional<SocialAction> DecodeSocialAction(std::span<const uint8_t> packet);

// Player search (56), 32 bytes: 14 page (16), 16 name prefix.
struct PlayerSearch {
    uint16_t page = 0;
    std::string prefix;
};
std::vector<uint8_t> EncodePlayerSearch(const PKTCHECK& check, const PlayerSearch& body);
std::optional<PlayerSearch> DecodePlayerSearch(std::span<const uint8_t> packet);

// Game filter (58), 88 bytes: 14 slot 1..8 (16), 16 flags (16), 18 name text
// (35), 53 mission text (35).
struct GameFilter {
    uint16_t slot = 0;
    uint16_t flags = 0;
    std::string name;
    std::string mission;
};
std::vector<uint8_t> EncodeGameFilter(const PKTCHECK& check, const GameFilter& body);
std::optional<GameFilter> DecodeGameFilter(std::span<const uint8_t> packet);

// Private line by account name (60), 125 bytes: 14 name, 29 text (96).
struct PrivateByName {
    std::string name;
    std::string text;
};
std::vector<uint8_t> EncodePrivateByName(const PKTCHECK& check, const PrivateByName& body);
std::optional<PrivateByName> DecodePrivateByName(std::span<const uint8_t> packet);

// [SECTION] Server -> client bodies

// Friend or search entry, 64 bytes: 0 name, 15 relation, 16 state, 17 zero,
// 18 channel (16), 20 since (Unix seconds of the last change), 24 where (40:
// the channel's or the game's name).
struct FriendEntry {
    std::string name;
    uint8_t relation = kRelationNone;
    uint8_t state = kPresenceOffline;
    uint16_t channel = 0;
    uint32_t since = 0;
    std::string where;

    bool operator==(const FriendEntry&) const = default;
};

// Friend list (54): 14 count (16), 16 entries; 16 + 64 × count bytes, at most
// 256 entries (more are not sent). The decoder keeps only entries wholly
// present, at most the count announced.
std::vector<uint8_t> EncodeFriendList(const PKTCHECK& check,
                                      const std::vector<FriendEntry>& entries);
std::vector<FriendEntry> DecodeFriendList(std::span<const uint8_t> packet);

// Friend changed (55), 80 bytes: 14 event (16), 16 entry.
struct FriendChanged {
    uint16_t event = kFriendUpdate;
    FriendEntry entry;
};
std::vector<uint8_t> EncodeFriendChanged(const PKTCHECK& check, const FriendChanged& body);
std::optional<FriendChanged> DecodeFriendChanged(std::span<const uint8_t> packet);

// Search result (57): 14 page (16), 16 more pages follow (16; 0 or 1), 18
// count (16), 20 entries; 20 + 64 × count bytes, at most 20 entries.
struct SearchResult {
    uint16_t page = 0;
    uint16_t more = 0;
    std::vector<FriendEntry> entries;
};
std::vector<uint8_t> EncodeSearchResult(const PKTCHECK& check, const SearchResult& body);
std::optional<SearchResult> DecodeSearchResult(std::span<const uint8_t> packet);

// Game alert (59) and rejoin offer (65, slot 0), 146 bytes: 14 slot (16), 16
// channel (16), 18 zero, 20 the 126-byte game record as packet 12 carries it.
struct GameAlert {
    uint16_t slot = 0;
    uint16_t channel = 0;
    GameRecord game{};
};
std::vector<uint8_t> EncodeGameAlert(const PKTCHECK& check, uint16_t id, const GameAlert& body);
std::optional<GameAlert> DecodeGameAlert(std::span<const uint8_t> packet);

// Stored line (61) and history line (63), 135 bytes: 14 line identifier, 18
// sent (Unix seconds), 22 flags (16), 24 the sender's account name, 39 text.
struct StoredLine {
    uint32_t id = 0;
    uint32_t sent = 0;
    uint16_t flags = 0;
    std::string name;
    std::string text;

    bool operator==(const StoredLine&) const = default;
};
std::vector<uint8_t> EncodeStoredLine(const PKTCHECK& check, uint16_t id, const StoredLine& body);
std::optional<StoredLine> DecodeStoredLine(std::span<const uint8_t> packet);

// Away summary (64), 112 bytes: 14 stored lines waiting (16), 16 zero, 18 away
// since (Unix seconds; 0 = unknown), 22 the last game's outcome (16), 24 its
// score change (signed 32), 28 when it ended, 32 the game's name (80).
struct AwaySummary {
    uint16_t stored = 0;
    uint32_t away_since = 0;
    uint16_t outcome = kOutcomeNone;
    int32_t score = 0;
    uint32_t ended = 0;
    std::string game;

    bool operator==(const AwaySummary&) const = default;
};
std::vector<uint8_t> EncodeAwaySummary(const PKTCHECK& check, const AwaySummary& body);
std::optional<AwaySummary> DecodeAwaySummary(std::span<const uint8_t> packet);

}  // namespace vorlane::net
