// Lobby packets: the packet checker (PKTCHECK), the fixed packet table and one
// encoder/decoder per packet body. The lobby client, the lobby server, the game
// host and the tools build and read their packets only through this file; every
// decoder reads through the bounded ByteReader and returns nothing (or an empty
// list) when the packet is shorter than the fields it needs.
//
// Every packet starts with a 14-byte little-endian header:
//   0 packet identifier (16)   2 tag (32)   6 size incl. header (32)   10 checksum (32)
// The checksum is the XOR of all packet bytes with the checksum field holding
// 71 during the computation, stored as an unsigned 32-bit value.
//
// Text fields are NUL-terminated and zero-filled to their width; a longer text
// is cut to width - 1 characters. Received text is bounded by its field even
// when the sender wrote no terminating zero.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::net {

constexpr uint16_t kLobbyModuleType = 12;
constexpr size_t kPacketHeaderSize = 14;
constexpr uint32_t kChecksumPlaceholder = 71;

// Packet identifiers (the module sub-type of a lobby message).
enum LobbyPacket : uint16_t {
    kPktFirstLogin = 1,
    kPktLogin = 2,
    kPktProfileRequest = 9,
    kPktProfileUpload = 10,
    kPktProfile = 11,
    kPktGameAdded = 12,
    kPktGameChanged = 13,
    kPktGameRemoved = 14,
    kPktResult = 15,
    kPktLoginResult = 16,
    kPktSelectProfile = 17,
    kPktGameResults = 18,     // game host -> server
    kPktGameRegistered = 19,  // server -> game host
    kPktGameRemove = 20,      // game host -> server
    kPktGameRegister = 21,    // game host -> server
    kPktGameUpdate = 22,      // game host -> server
    kPktChannelListRequest = 23,
    kPktChannelList = 24,
    kPktJoinChannel = 25,
    kPktChannelEntered = 26,
    kPktLeaveChannel = 27,
    kPktUserEntered = 28,
    kPktUserLeft = 29,
    kPktChatAll = 30,
    kPktChatAllReceived = 31,
    kPktChatPrivate = 32,
    kPktChatPrivateReceived = 33,
    kPktSeatConfirm = 45,  // game player -> server
    kPktSeatAnswer = 46,   // server -> game player
    // A user record cut to the 140 bytes a client keeps, for clients that
    // asked for it with packet 48.
    kPktUserEnteredCompact = 47,  // server -> client
    kPktClientFeatures = 48,      // client -> server: 14 feature bits
    // Why a log-in or first log-in was refused (a ban), before the result.
    kPktLoginRefused = 49,  // server -> client
    // What the operator did to this client, or a server line for the chat.
    kPktNotice = 50,  // server -> client
    // Friends, presence, search, filters and stored lines; their bodies are
    // in net/social_packets.h.
    kPktSocialAction = 51,      // client -> server
    kPktVisibility = 52,        // client -> server
    kPktFriendsRequest = 53,    // client -> server
    kPktFriendList = 54,        // server -> client
    kPktFriendChanged = 55,     // server -> client
    kPktPlayerSearch = 56,      // client -> server
    kPktSearchResult = 57,      // server -> client
    kPktGameFilter = 58,        // client -> server
    kPktGameAlert = 59,         // server -> client
    kPktPrivateByName = 60,     // client -> server
    kPktStoredLine = 61,        // server -> client
    kPktStoredLineDelete = 62,  // client -> server
    kPktHistoryLine = 63,       // server -> client
    kPktAwaySummary = 64,       // server -> client
    kPktRejoinOffer = 65,       // server -> client
};
// The highest identifier in the packet table.
constexpr uint16_t kLastPacketId = 65;
// Feature bits of packet 48.
constexpr uint32_t kFeatureCompactUserRecords = 0x1;

// Field widths and record sizes.
constexpr size_t kNameWidth = 15;  // user and profile names: at most 14 characters
constexpr size_t kLoginPasswordWidth = 10;
constexpr size_t kEmailWidth = 40;
constexpr size_t kChatTextWidth = 96;
constexpr size_t kProfileSize = 8295;
constexpr size_t kProfilePacketMin = 24 + kProfileSize;  // 8319
constexpr size_t kGameRecordSize = 126;
constexpr size_t kUserRecordSize = 8332;
constexpr size_t kUserRecordKept = 140;
constexpr size_t kUserProfileOffset = 37;
constexpr size_t kChannelTableMax = 3216;
constexpr size_t kChannelEntrySize = 25;
constexpr size_t kChannelEntriesOffset = 16;
constexpr size_t kMaxChannels = (kChannelTableMax - kChannelEntriesOffset) / kChannelEntrySize;
constexpr uint32_t kLoginFixedA = 7;
constexpr uint32_t kLoginFixedB = 5;

// Profile fields (offsets inside the 8295-byte profile).
constexpr size_t kProfActive = 0;
constexpr size_t kProfName = 4;
constexpr size_t kProfContact = 19;
constexpr size_t kProfWon = 59;
constexpr size_t kProfLost = 63;
constexpr size_t kProfDisconnected = 67;
constexpr size_t kProfScore = 71;
constexpr size_t kProfColour = 91;
constexpr size_t kProfPortrait = 95;

// Game record fields.
constexpr size_t kGameName = 14;
constexpr size_t kGameNameWidth = 80;
constexpr size_t kGamePasswordFlag = 94;
constexpr size_t kGameAddress = 96;
constexpr size_t kGamePlayers = 104;
constexpr size_t kGameMaxPlayers = 106;
constexpr size_t kGameId = 122;

using Profile = std::array<uint8_t, kProfileSize>;
using GameRecord = std::array<uint8_t, kGameRecordSize>;
using UserRecord = std::array<uint8_t, kUserRecordKept>;

// Little-endian field access on fixed records. Reading is bounded: a field that
// does not lie wholly inside `bytes` reads as 0.
uint16_t GetU16(std::span<const uint8_t> bytes, size_t offset);
uint32_t GetU32(std::span<const uint8_t> bytes, size_t offset);
void PutU16(std::span<uint8_t> bytes, size_t offset, uint16_t value);
void PutU32(std::span<uint8_t> bytes, size_t offset, uint32_t value);
// Text of a fixed field, ending at the first zero or the field's end.
std::string GetText(std::span<const uint8_t> bytes, size_t offset, size_t width);
// Writes `text` cut to width - 1 characters and zero-fills the field.
void PutText(std::span<uint8_t> bytes, size_t offset, std::string_view text, size_t width);

// [SECTION] Packet checker

// PKTCHECK: knows the size and tag of every identifier it accepts and builds
// packet headers and checksums.
class PKTCHECK {
  public:
    PKTCHECK(uint16_t first = 1, uint16_t last = kLastPacketId) : first_(first), last_(last) {}

    bool Accepts(uint16_t id) const;
    // Table size of a packet (0 for unknown identifiers).
    uint32_t Size(uint16_t id) const;
    uint32_t Tag(uint16_t id) const;
    // A zero-filled packet of its table size with the header filled in, or
    // empty when the identifier is not accepted. The checksum is computed by
    // Seal once the body is written.
    std::vector<uint8_t> Create(uint16_t id) const;
    std::vector<uint8_t> Create(uint16_t id, uint32_t size) const;

    static uint32_t Checksum(std::span<const uint8_t> packet);
    // Stores the checksum of the finished packet at offset 10.
    static void Seal(std::vector<uint8_t>& packet);

  private:
    uint16_t first_;
    uint16_t last_;
};

// The header fields as received (nothing is verified on reception).
struct PacketHeader {
    uint16_t id = 0;
    uint32_t tag = 0;
    uint32_t size = 0;
    uint32_t checksum = 0;
};
std::optional<PacketHeader> DecodePacketHeader(std::span<const uint8_t> packet);

// [SECTION] Client -> server bodies

struct LoginRequest {
    std::string user;
    std::string password;
    std::string email;  // first log-in only
    uint32_t fixed_a = kLoginFixedA;
    uint32_t fixed_b = kLoginFixedB;
};

std::vector<uint8_t> EncodeLogin(const PKTCHECK& check, const LoginRequest& request);
std::vector<uint8_t> EncodeFirstLogin(const PKTCHECK& check, const LoginRequest& request);
std::optional<LoginRequest> DecodeLogin(std::span<const uint8_t> packet, bool first_login);

std::vector<uint8_t> EncodeProfileRequest(const PKTCHECK& check, uint32_t permid, uint16_t number);
struct ProfileRequest {
    uint32_t permid = 0;
    uint16_t number = 0;
};
std::optional<ProfileRequest> DecodeProfileRequest(std::span<const uint8_t> packet);

// Profile upload (10) and profile (11) share one layout: 14 permanent
// identifier, 18 number, 20 data length (0 or 8295), 24 the profile.
struct ProfilePacket {
    uint32_t permid = 0;
    uint16_t number = 0;
    int32_t length = 0;
    Profile profile{};
};
std::vector<uint8_t> EncodeProfilePacket(const PKTCHECK& check, uint16_t id,
                                         const ProfilePacket& body);
// Null when the packet does not hold the profile fields (shorter than 8319).
std::optional<ProfilePacket> DecodeProfilePacket(std::span<const uint8_t> packet);

std::vector<uint8_t> EncodeU16Body(const PKTCHECK& check, uint16_t id, uint16_t value);
std::vector<uint8_t> EncodeU32Body(const PKTCHECK& check, uint16_t id, uint32_t value);
std::optional<uint16_t> DecodeU16At14(std::span<const uint8_t> packet);
std::optional<uint32_t> DecodeU32At14(std::span<const uint8_t> packet);
std::vector<uint8_t> EncodeEmpty(const PKTCHECK& check, uint16_t id);

// Chat (30/32 sent, 31/33 received): 14 target or sender, 18 text (96 bytes).
struct ChatPacket {
    int32_t user = -1;
    std::string text;
};
std::vector<uint8_t> EncodeChat(const PKTCHECK& check, uint16_t id, const ChatPacket& chat);
std::optional<ChatPacket> DecodeChat(std::span<const uint8_t> packet);

// [SECTION] Server -> client bodies

std::vector<uint8_t> EncodeLoginResult(const PKTCHECK& check, uint32_t code, uint32_t permid);
struct LoginResult {
    uint32_t code = 0;
    uint32_t permid = 0;
};
std::optional<LoginResult> DecodeLoginResult(std::span<const uint8_t> packet);

struct ChannelEntry {
    std::string name;
    uint8_t flags = 0;
    uint16_t number = 0;
    uint16_t players = 0;
    uint16_t games = 0;
};
constexpr uint8_t kChannelGames = 0x2;

// The channel list: 16 + 25 bytes per entry (at most 128 entries).
std::vector<uint8_t> EncodeChannelList(const PKTCHECK& check,
                                       const std::vector<ChannelEntry>& channels);
// The entries really present in a kept table: the announced count is cut to
// what the bytes hold.
std::vector<ChannelEntry> DecodeChannelTable(std::span<const uint8_t> table);

// User record (28): 14 user id, 18 second value, 22 the account's name (15;
// empty from servers that do not send it), 37 the profile.
// `compact` gives packet 47 (the first 140 bytes) instead of 28.
std::vector<uint8_t> EncodeUserRecord(const PKTCHECK& check, uint32_t user_id, uint32_t second,
                                      const Profile& profile, bool compact = false,
                                      const std::string& account_name = {});
// The kept head of a received user record; null when shorter than that.
std::optional<UserRecord> DecodeUserRecord(std::span<const uint8_t> packet);
uint32_t UserRecordId(const UserRecord& record);
uint32_t UserRecordSecond(const UserRecord& record);
std::string UserRecordName(const UserRecord& record);
std::string UserRecordAccount(const UserRecord& record);

// Game records (12 added, 13 changed, 14 removed; 21 register and 22 update
// from a game host): the whole packet is the record.
std::vector<uint8_t> EncodeGameRecord(const PKTCHECK& check, uint16_t id, const GameRecord& game);
// The record's 126 bytes; null when the packet is shorter.
std::optional<GameRecord> DecodeGameRecord(std::span<const uint8_t> packet);
// What a game host states about its game (online and on the LAN); the
// address and the rest of the record stay zero.
struct GameFields {
    std::string name;
    bool password = false;
    uint16_t players = 0;
    uint16_t max_players = 0;
    uint32_t id = 0;
};
GameRecord MakeGameRecord(const GameFields& fields);
uint32_t GameRecordId(const GameRecord& game);
std::string GameRecordName(const GameRecord& game);

// Log-in refused (49) and notice (50), 150 bytes: 14 the log-in result code
// that follows (49) or the kind of notice (50), 18 seconds left (0xFFFFFFFF =
// no end, 0 = none), 22 text (128 bytes: the reason, a channel's name or the
// server's line).
enum NoticeKind : uint32_t {
    kNoticeMuted = 1,           // a chat line was refused: the sender is muted
    kNoticeKicked = 2,          // the operator closes the connection
    kNoticeBanned = 3,          // the account or address was banned; the connection closes
    kNoticeChannelRemoved = 4,  // the channel is gone; the channel list follows
    kNoticeServerLine = 5,      // a line from the server for the chat
};
constexpr size_t kNoticeTextWidth = 128;
constexpr uint32_t kNoEnd = 0xFFFFFFFF;
struct ServerNotice {
    uint32_t kind = 0;
    uint32_t seconds = 0;
    std::string text;
};
std::vector<uint8_t> EncodeNotice(const PKTCHECK& check, uint16_t id, const ServerNotice& notice);
std::optional<ServerNotice> DecodeNotice(std::span<const uint8_t> packet);

// [SECTION] Game host <-> server bodies
//
// Register (21) and update (22) are game records (above); remove (20) is a
// 32-bit game identifier at 14 (EncodeU32Body / DecodeU32At14); the server
// answers results, update and removal with a result (15).

// Registered (19, server -> host), 20 bytes: 14 game identifier, 18 code (16).
struct GameRegistered {
    uint32_t game_id = 0;
    uint16_t code = 0;
};
std::vector<uint8_t> EncodeGameRegistered(const PKTCHECK& check, const GameRegistered& body);
std::optional<GameRegistered> DecodeGameRegistered(std::span<const uint8_t> packet);

// Results (18, host -> server): 14 game identifier, 18 entry count (16), then
// 12 bytes per entry from 20: 0 account, 4 profile number (16), 6 outcome
// (16), 8 score change (signed 32). The packet is exactly as long as its
// entries (not the table size).
constexpr size_t kResultEntriesOffset = 20;
constexpr size_t kResultEntrySize = 12;
struct GameResultEntry {
    uint32_t account = 0;
    uint16_t profile = 0;
    uint16_t outcome = 0;
    int32_t score = 0;
};
struct GameResults {
    uint32_t game_id = 0;
    uint16_t announced = 0;  // the count as sent
    // The entries really present, at most `announced`: fewer means the
    // packet was cut short.
    std::vector<GameResultEntry> entries;
};
// The count sent is the number of entries (at most 65535 travel).
std::vector<uint8_t> EncodeGameResults(const PKTCHECK& check, uint32_t game_id,
                                       const std::vector<GameResultEntry>& entries);
// Null when the packet is shorter than its fixed fields (20 bytes).
std::optional<GameResults> DecodeGameResults(std::span<const uint8_t> packet);

// Seat confirmation (45, player -> server), 18 bytes: 14 the game identifier
// of the game the player's game program has joined.
std::vector<uint8_t> EncodeSeatConfirm(const PKTCHECK& check, uint32_t game_id);
std::optional<uint32_t> DecodeSeatConfirm(std::span<const uint8_t> packet);

// Seat answer (46, server -> player), 20 bytes: 14 game identifier, 18 code
// (16; 0 seated, 21 refused).
struct SeatAnswer {
    uint32_t game_id = 0;
    uint16_t code = 0;
};
std::vector<uint8_t> EncodeSeatAnswer(const PKTCHECK& check, const SeatAnswer& body);
std::optional<SeatAnswer> DecodeSeatAnswer(std::span<const uint8_t> packet);

}  // namespace vorlane::net
