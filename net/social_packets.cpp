// [SECTION] index
//   Helpers, client bodies, entries and lists, server bodies.
#include "net/social_packets.h"

#include <algorithm>

#include "baselib/byte_reader.h"
#include "net/packet_body.h"

namespace vorlane::net {

// [SECTION] Helpers

namespace {

// A packet of `id` at least `needed` bytes long, or empty when the checker
// does not build it (so a narrow checker never yields a short packet).
std::vector<uint8_t> CreateAtLeast(const PKTCHECK& check, uint16_t id, size_t needed,
                                   uint32_t size = 0) {
    std::vector<uint8_t> packet = size ? check.Create(id, size) : check.Create(id);
    if (packet.size() < needed)
        return {};
    return packet;
}

}  // namespace

// [SECTION] Client -> server bodies

std::vector<uint8_t> EncodeSocialAction(const PKTCHECK& check, const SocialAction& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktSocialAction, 16 + kNameWidth);
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.action);
    PutText(packet, 16, body.name, kNameWidth);
    return Sealed(std::move(packet));
}

std::optional<SocialAction> DecodeSocialAction(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    SocialAction body;
    body.action = reader.U16();
    body.name = reader.FixedString(kNameWidth);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodePlayerSearch(const PKTCHECK& check, const PlayerSearch& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktPlayerSearch, 16 + kNameWidth);
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.page);
    PutText(packet, 16, body.prefix, kNameWidth);
    return Sealed(std::move(packet));
}

std::optional<PlayerSearch> DecodePlayerSearch(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    PlayerSearch body;
    body.page = reader.U16();
    body.prefix = reader.FixedString(kNameWidth);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodeGameFilter(const PKTCHECK& check, const GameFilter& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktGameFilter, 18 + 2 * kFilterTextWidth);
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.slot);
    PutU16(packet, 16, body.flags);
    PutText(packet, 18, body.name, kFilterTextWidth);
    PutText(packet, 18 + kFilterTextWidth, body.mission, kFilterTextWidth);
    return Sealed(std::move(packet));
}

std::optional<GameFilter> DecodeGameFilter(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    GameFilter body;
    body.slot = reader.U16();
    body.flags = reader.U16();
    body.name = reader.FixedString(kFilterTextWidth);
    body.mission = reader.FixedString(kFilterTextWidth);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodePrivateByName(const PKTCHECK& check, const PrivateByName& body) {
    std::vector<uint8_t> packet =
        CreateAtLeast(check, kPktPrivateByName, 14 + kNameWidth + kChatTextWidth);
    if (packet.empty())
        return packet;
    PutText(packet, 14, body.name, kNameWidth);
    PutText(packet, 14 + kNameWidth, body.text, kChatTextWidth);
    return Sealed(std::move(packet));
}

std::optional<PrivateByName> DecodePrivateByName(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    PrivateByName body;
    body.name = reader.FixedString(kNameWidth);
    body.text = reader.FixedString(kChatTextWidth);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

// [SECTION] Entries and lists

namespace {

void PutEntry(std::span<uint8_t> bytes, size_t at, const FriendEntry& entry) {
    PutText(bytes, at, entry.name, kNameWidth);
    bytes[at + 15] = entry.relation;
    bytes[at + 16] = entry.state;
    bytes[at + 17] = 0;
    PutU16(bytes, at + 18, entry.channel);
    PutU32(bytes, at + 20, entry.since);
    PutText(bytes, at + 24, entry.where, kWhereWidth);
}

FriendEntry ReadEntry(ByteReader& reader) {
    FriendEntry entry;
    entry.name = reader.FixedString(kNameWidth);  // 0
    entry.relation = reader.U8();                 // 15
    entry.state = reader.U8();                    // 16
    reader.Skip(1);
    entry.channel = reader.U16();  // 18
    entry.since = reader.U32();    // 20
    entry.where = reader.FixedString(kWhereWidth);
    return entry;
}

// The entries wholly present behind the reader, at most `announced` and `cap`.
std::vector<FriendEntry> ReadEntries(ByteReader& reader, size_t announced, size_t cap) {
    const size_t count = std::min({announced, reader.remaining() / kFriendEntrySize, cap});
    std::vector<FriendEntry> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) entries.push_back(ReadEntry(reader));
    return entries;
}

}  // namespace

std::vector<uint8_t> EncodeFriendList(const PKTCHECK& check,
                                      const std::vector<FriendEntry>& entries) {
    const size_t count = std::min(entries.size(), kMaxFriendListEntries);
    const size_t size = kFriendListEntriesOffset + count * kFriendEntrySize;
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktFriendList, size, uint32_t(size));
    if (packet.empty())
        return packet;
    PutU16(packet, 14, uint16_t(count));
    for (size_t i = 0; i < count; ++i)
        PutEntry(packet, kFriendListEntriesOffset + i * kFriendEntrySize, entries[i]);
    return Sealed(std::move(packet));
}

std::vector<FriendEntry> DecodeFriendList(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    const size_t announced = reader.U16();
    if (!reader.ok())
        return {};
    return ReadEntries(reader, announced, kMaxFriendListEntries);
}

std::vector<uint8_t> EncodeSearchResult(const PKTCHECK& check, const SearchResult& body) {
    const size_t count = std::min(body.entries.size(), kMaxSearchEntries);
    const size_t size = kSearchEntriesOffset + count * kFriendEntrySize;
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktSearchResult, size, uint32_t(size));
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.page);
    PutU16(packet, 16, body.more);
    PutU16(packet, 18, uint16_t(count));
    for (size_t i = 0; i < count; ++i)
        PutEntry(packet, kSearchEntriesOffset + i * kFriendEntrySize, body.entries[i]);
    return Sealed(std::move(packet));
}

std::optional<SearchResult> DecodeSearchResult(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    SearchResult body;
    body.page = reader.U16();
    body.more = reader.U16();
    const size_t announced = reader.U16();
    if (!reader.ok())
        return std::nullopt;
    body.entries = ReadEntries(reader, announced, kMaxSearchEntries);
    return body;
}

// [SECTION] Server -> client bodies

std::vector<uint8_t> EncodeFriendChanged(const PKTCHECK& check, const FriendChanged& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktFriendChanged, 16 + kFriendEntrySize);
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.event);
    PutEntry(packet, 16, body.entry);
    return Sealed(std::move(packet));
}

std::optional<FriendChanged> DecodeFriendChanged(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    FriendChanged body;
    body.event = reader.U16();
    body.entry = ReadEntry(reader);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodeGameAlert(const PKTCHECK& check, uint16_t id, const GameAlert& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, id, 20 + kGameRecordSize);
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.slot);
    PutU16(packet, 16, body.channel);
    std::copy(body.game.begin(), body.game.end(), packet.begin() + 20);
    return Sealed(std::move(packet));
}

std::optional<GameAlert> DecodeGameAlert(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    GameAlert body;
    body.slot = reader.U16();
    body.channel = reader.U16();
    reader.Skip(2);
    reader.Bytes(body.game.data(), body.game.size());
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodeStoredLine(const PKTCHECK& check, uint16_t id, const StoredLine& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, id, 24 + kNameWidth + kChatTextWidth);
    if (packet.empty())
        return packet;
    PutU32(packet, 14, body.id);
    PutU32(packet, 18, body.sent);
    PutU16(packet, 22, body.flags);
    PutText(packet, 24, body.name, kNameWidth);
    PutText(packet, 24 + kNameWidth, body.text, kChatTextWidth);
    return Sealed(std::move(packet));
}

std::optional<StoredLine> DecodeStoredLine(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    StoredLine body;
    body.id = reader.U32();
    body.sent = reader.U32();
    body.flags = reader.U16();
    body.name = reader.FixedString(kNameWidth);
    body.text = reader.FixedString(kChatTextWidth);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodeAwaySummary(const PKTCHECK& check, const AwaySummary& body) {
    std::vector<uint8_t> packet = CreateAtLeast(check, kPktAwaySummary, 32 + kGameNameWidth);
    if (packet.empty())
        return packet;
    PutU16(packet, 14, body.stored);
    PutU32(packet, 18, body.away_since);
    PutU16(packet, 22, body.outcome);
    PutU32(packet, 24, uint32_t(body.score));
    PutU32(packet, 28, body.ended);
    PutText(packet, 32, body.game, kGameNameWidth);
    return Sealed(std::move(packet));
}

std::optional<AwaySummary> DecodeAwaySummary(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    AwaySummary body;
    body.stored = reader.U16();
    reader.Skip(2);
    body.away_since = reader.U32();
    body.outcome = reader.U16();
    body.score = reader.I32();
    body.ended = reader.U32();
    body.game = reader.FixedString(kGameNameWidth);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

}  // namespace vorlane::net
