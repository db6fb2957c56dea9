// [SECTION] index
//   Field helpers, packet table and checker, client bodies, server bodies,
//   game host bodies.
#include "net/lobby_packets.h"

#include <algorithm>

#include "baselib/byte_reader.h"
#include "net/packet_body.h"

namespace vorlane::net {

namespace {

// Size and tag of identifiers 1 to kLastPacketId (index = identifier - 1).
// 43 and 44 belong to the LAN datagrams and have no entry. The friend list
// (54) and the search result (57) are listed with their largest size.
struct TableEntry {
    uint32_t size;
    uint32_t tag;
};

constexpr TableEntry kTable[kLastPacketId] = {
    {108, 0xDDCCBB01},
    {68, 0xDDCCBB02},
    {14, 0xDDCCBB03},
    {64, 0xDDCCBB04},
    {64, 0xDDCCBB05},
    {18, 0xDDCCBB06},
    {0, 0xDDCCBB07},
    {33, 0xDDCCBB08},
    {20, 0xDDCCBB09},
    {10264, 0xDDCCBB10},
    {10264, 0xDDCCBB11},
    {126, 0xDDCCBB12},
    {126, 0xDDCCBB13},
    {14, 0xDDCCBB14},
    {18, 0xDDCCBB15},
    {22, 0xDDCCBB16},
    {16, 0xDDCCBB17},
    {10264, 0xDDCCBB18},
    {20, 0xDDCCBB19},
    {18, 0xDDCCBB1A},
    {126, 0xDDCCBB1B},
    {126, 0xDDCCBB1C},
    {14, 0xDDCCBB1D},
    {3216, 0xDDCCBB1E},
    {16, 0xDDCCBB1F},
    {16, 0xDDCCBB20},
    {14, 0xDDCCBB21},
    {8332, 0xDDCCBB22},
    {18, 0xDDCCBB23},
    {114, 0xDDCCBB24},
    {114, 0xDDCCBB25},
    {114, 0xDDCCBB26},
    {114, 0xDDCCBB27},
    {14, 0xDDCCBB28},
    {72, 0xDDCCBB29},
    {14, 0xDDCCBB2A},
    {14, 0xDDCCBB2B},
    {18, 0xDDCCBB2C},
    {14, 0xDDCCBB2D},
    {18, 0xDDCCBB2E},
    {18, 0xDDCCBB2F},
    {54, 0xDDCCBB30},
    {0, 0},
    {0, 0},
    {18, 0xDDCCBB33},
    {20, 0xDDCCBB34},
    {140, 0xDDCCBB35},
    {18, 0xDDCCBB36},
    {150, 0xDDCCBB37},
    {150, 0xDDCCBB38},
    {32, 0xDDCCBB39},
    {16, 0xDDCCBB3A},
    {14, 0xDDCCBB3B},
    {16400, 0xDDCCBB3C},
    {80, 0xDDCCBB3D},
    {32, 0xDDCCBB3E},
    {1300, 0xDDCCBB3F},
    {88, 0xDDCCBB40},
    {146, 0xDDCCBB41},
    {125, 0xDDCCBB42},
    {135, 0xDDCCBB43},
    {18, 0xDDCCBB44},
    {135, 0xDDCCBB45},
    {112, 0xDDCCBB46},
    {146, 0xDDCCBB47},
};

bool InTable(uint16_t id) {
    return id >= 1 && id <= kLastPacketId && kTable[id - 1].tag != 0;
}

}  // namespace

// [SECTION] Field helpers

namespace {

// A reader placed at `offset`; failed (every read 0) when that lies beyond the bytes.
ByteReader ReaderAt(std::span<const uint8_t> bytes, size_t offset) {
    ByteReader reader(bytes);
    reader.Seek(offset);
    return reader;
}

}  // namespace

uint16_t GetU16(std::span<const uint8_t> bytes, size_t offset) {
    return ReaderAt(bytes, offset).U16();
}

uint32_t GetU32(std::span<const uint8_t> bytes, size_t offset) {
    return ReaderAt(bytes, offset).U32();
}

void PutU16(std::span<uint8_t> bytes, size_t offset, uint16_t value) {
    bytes[offset] = uint8_t(value);
    bytes[offset + 1] = uint8_t(value >> 8);
}

void PutU32(std::span<uint8_t> bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = uint8_t(value >> (8 * i));
}

std::string GetText(std::span<const uint8_t> bytes, size_t offset, size_t width) {
    return ReaderAt(bytes, offset).FixedString(width);
}

void PutText(std::span<uint8_t> bytes, size_t offset, std::string_view text, size_t width) {
    if (width == 0)
        return;
    const size_t length = std::min(text.size(), width - 1);
    std::fill(bytes.begin() + offset, bytes.begin() + offset + width, 0);
    std::copy(text.begin(), text.begin() + length, bytes.begin() + offset);
}

// [SECTION] Packet table and checker

bool PKTCHECK::Accepts(uint16_t id) const {
    return id >= first_ && id <= last_ && InTable(id);
}

uint32_t PKTCHECK::Size(uint16_t id) const {
    return InTable(id) ? kTable[id - 1].size : 0;
}

uint32_t PKTCHECK::Tag(uint16_t id) const {
    return InTable(id) ? kTable[id - 1].tag : 0;
}

std::vector<uint8_t> PKTCHECK::Create(uint16_t id) const {
    return Create(id, Size(id));
}

std::vector<uint8_t> PKTCHECK::Create(uint16_t id, uint32_t size) const {
    if (!Accepts(id) || size < kPacketHeaderSize)
        return {};
    std::vector<uint8_t> packet(size, 0);
    PutU16(packet, 0, id);
    PutU32(packet, 2, Tag(id));
    PutU32(packet, 6, size);
    return packet;
}

uint32_t PKTCHECK::Checksum(std::span<const uint8_t> packet) {
    uint8_t sum = 0;
    for (size_t i = 0; i < packet.size(); ++i) {
        // The checksum field counts as holding 71 (0x47, 0, 0, 0).
        if (i >= 10 && i < 14) {
            sum ^= i == 10 ? uint8_t(kChecksumPlaceholder) : 0;
        } else {
            sum ^= packet[i];
        }
    }
    return sum;
}

void PKTCHECK::Seal(std::vector<uint8_t>& packet) {
    if (packet.size() < kPacketHeaderSize)
        return;
    PutU32(packet, 10, Checksum(packet));
}

std::optional<PacketHeader> DecodePacketHeader(std::span<const uint8_t> packet) {
    ByteReader reader(packet);
    PacketHeader header;
    header.id = reader.U16();
    header.tag = reader.U32();
    header.size = reader.U32();
    header.checksum = reader.U32();
    if (!reader.ok())
        return std::nullopt;
    return header;
}

// [SECTION] Client -> server bodies

namespace {

void PutLoginFields(std::vector<uint8_t>& packet, const LoginRequest& request) {
    PutText(packet, 14, request.user, kNameWidth);
    PutText(packet, 29, request.password, kLoginPasswordWidth);
    // 39..59 reserved, already zero.
}

}  // namespace

std::vector<uint8_t> EncodeLogin(const PKTCHECK& check, const LoginRequest& request) {
    std::vector<uint8_t> packet = check.Create(kPktLogin);
    if (packet.empty())
        return packet;
    PutLoginFields(packet, request);
    PutU32(packet, 60, request.fixed_a);
    PutU32(packet, 64, request.fixed_b);
    return Sealed(std::move(packet));
}

std::vector<uint8_t> EncodeFirstLogin(const PKTCHECK& check, const LoginRequest& request) {
    std::vector<uint8_t> packet = check.Create(kPktFirstLogin);
    if (packet.empty())
        return packet;
    PutLoginFields(packet, request);
    PutText(packet, 60, request.email, kEmailWidth);
    PutU32(packet, 100, request.fixed_a);
    PutU32(packet, 104, request.fixed_b);
    return Sealed(std::move(packet));
}

std::optional<LoginRequest> DecodeLogin(std::span<const uint8_t> packet, bool first_login) {
    ByteReader reader = BodyReader(packet);
    LoginRequest request;
    request.user = reader.FixedString(kNameWidth);               // 14
    request.password = reader.FixedString(kLoginPasswordWidth);  // 29
    reader.Seek(60);                                             // 39..59 reserved
    if (first_login)
        request.email = reader.FixedString(kEmailWidth);  // 60
    request.fixed_a = reader.U32();                       // 60 or 100
    request.fixed_b = reader.U32();
    if (!reader.ok())
        return std::nullopt;
    return request;
}

std::vector<uint8_t> EncodeProfileRequest(const PKTCHECK& check, uint32_t permid, uint16_t number) {
    std::vector<uint8_t> packet = check.Create(kPktProfileRequest);
    if (packet.empty())
        return packet;
    PutU32(packet, 14, permid);
    PutU16(packet, 18, number);
    return Sealed(std::move(packet));
}

std::optional<ProfileRequest> DecodeProfileRequest(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    ProfileRequest request;
    request.permid = reader.U32();
    request.number = reader.U16();
    if (!reader.ok())
        return std::nullopt;
    return request;
}

std::vector<uint8_t> EncodeProfilePacket(const PKTCHECK& check, uint16_t id,
                                         const ProfilePacket& body) {
    std::vector<uint8_t> packet = check.Create(id);
    if (packet.size() < kProfilePacketMin)
        return {};
    PutU32(packet, 14, body.permid);
    PutU16(packet, 18, body.number);
    PutU32(packet, 20, uint32_t(body.length));
    if (body.length > 0)
        std::copy(body.profile.begin(), body.profile.end(), packet.begin() + 24);
    return Sealed(std::move(packet));
}

std::optional<ProfilePacket> DecodeProfilePacket(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    ProfilePacket body;
    body.permid = reader.U32();
    body.number = reader.U16();
    body.length = reader.I32();
    reader.Bytes(body.profile.data(), kProfileSize);
    if (!reader.ok())
        return std::nullopt;
    return body;
}

std::vector<uint8_t> EncodeU16Body(const PKTCHECK& check, uint16_t id, uint16_t value) {
    std::vector<uint8_t> packet = check.Create(id);
    if (packet.size() < 16)
        return {};
    PutU16(packet, 14, value);
    return Sealed(std::move(packet));
}

std::vector<uint8_t> EncodeU32Body(const PKTCHECK& check, uint16_t id, uint32_t value) {
    std::vector<uint8_t> packet = check.Create(id);
    if (packet.size() < 18)
        return {};
    PutU32(packet, 14, value);
    return Sealed(std::move(packet));
}

std::optional<uint16_t> DecodeU16At14(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    const uint16_t value = reader.U16();
    if (!reader.ok())
        return std::nullopt;
    return value;
}

std::optional<uint32_t> DecodeU32At14(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    const uint32_t value = reader.U32();
    if (!reader.ok())
        return std::nullopt;
    return value;
}

std::vector<uint8_t> EncodeEmpty(const PKTCHECK& check, uint16_t id) {
    return Sealed(check.Create(id));
}

std::vector<uint8_t> EncodeChat(const PKTCHECK& check, uint16_t id, const ChatPacket& chat) {
    std::vector<uint8_t> packet = check.Create(id);
    if (packet.size() < 18 + kChatTextWidth)
        return {};
    PutU32(packet, 14, uint32_t(chat.user));
    PutText(packet, 18, chat.text, kChatTextWidth);
    return Sealed(std::move(packet));
}

std::optional<ChatPacket> DecodeChat(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    ChatPacket chat;
    chat.user = reader.I32();
    if (!reader.ok())
        return std::nullopt;
    // A short packet carries a short text: read what is there, within the field.
    chat.text = reader.FixedString(std::min(reader.remaining(), kChatTextWidth));
    return chat;
}

// [SECTION] Server -> client bodies

std::vector<uint8_t> EncodeLoginResult(const PKTCHECK& check, uint32_t code, uint32_t permid) {
    std::vector<uint8_t> packet = check.Create(kPktLoginResult);
    if (packet.empty())
        return packet;
    PutU32(packet, 14, code);
    PutU32(packet, 18, permid);
    return Sealed(std::move(packet));
}

std::optional<LoginResult> DecodeLoginResult(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    LoginResult result;
    result.code = reader.U32();
    result.permid = reader.U32();
    if (!reader.ok())
        return std::nullopt;
    return result;
}

std::vector<uint8_t> EncodeNotice(const PKTCHECK& check, uint16_t id, const ServerNotice& notice) {
    std::vector<uint8_t> packet = check.Create(id);
    if (packet.size() < 22 + kNoticeTextWidth)
        return {};
    PutU32(packet, 14, notice.kind);
    PutU32(packet, 18, notice.seconds);
    PutText(packet, 22, notice.text, kNoticeTextWidth);
    return Sealed(std::move(packet));
}

std::optional<ServerNotice> DecodeNotice(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    ServerNotice notice;
    notice.kind = reader.U32();
    notice.seconds = reader.U32();
    notice.text = reader.FixedString(kNoticeTextWidth);
    if (!reader.ok())
        return std::nullopt;
    return notice;
}

std::vector<uint8_t> EncodeChannelList(const PKTCHECK& check,
                                       const std::vector<ChannelEntry>& channels) {
    const size_t count = std::min(channels.size(), kMaxChannels);
    std::vector<uint8_t> packet =
        check.Create(kPktChannelList, uint32_t(kChannelEntriesOffset + count * kChannelEntrySize));
    if (packet.empty())
        return packet;
    PutU16(packet, 14, uint16_t(count));
    for (size_t i = 0; i < count; ++i) {
        const ChannelEntry& channel = channels[i];
        const size_t at = kChannelEntriesOffset + i * kChannelEntrySize;
        PutText(packet, at, channel.name, kNameWidth);
        packet[at + 15] = channel.flags;
        PutU16(packet, at + 19, channel.number);
        PutU16(packet, at + 21, channel.players);
        PutU16(packet, at + 23, channel.games);
    }
    return Sealed(std::move(packet));
}

std::vector<ChannelEntry> DecodeChannelTable(std::span<const uint8_t> table) {
    std::vector<ChannelEntry> channels;
    ByteReader reader = BodyReader(table);
    const size_t announced = reader.U16();
    if (!reader.ok())
        return channels;
    // Entries beyond the bytes received are never read.
    const size_t present = reader.remaining() / kChannelEntrySize;
    const size_t count = std::min({announced, present, kMaxChannels});
    for (size_t i = 0; i < count; ++i) {
        ChannelEntry channel;
        channel.name = reader.FixedString(kNameWidth);  // 0
        channel.flags = reader.U8();                    // 15
        reader.Skip(3);
        channel.number = reader.U16();  // 19
        channel.players = reader.U16();
        channel.games = reader.U16();
        channels.push_back(std::move(channel));
    }
    return channels;
}

std::vector<uint8_t> EncodeUserRecord(const PKTCHECK& check, uint32_t user_id, uint32_t second,
                                      const Profile& profile, bool compact,
                                      const std::string& account_name) {
    std::vector<uint8_t> packet = check.Create(compact ? kPktUserEnteredCompact : kPktUserEntered);
    if (packet.size() < (compact ? kUserRecordKept : kUserRecordSize))
        return {};
    PutU32(packet, 14, user_id);
    PutU32(packet, 18, second);
    PutText(packet, 22, account_name, kNameWidth);
    const size_t room = std::min(profile.size(), packet.size() - kUserProfileOffset);
    std::copy_n(profile.begin(), room, packet.begin() + kUserProfileOffset);
    return Sealed(std::move(packet));
}

std::optional<UserRecord> DecodeUserRecord(std::span<const uint8_t> packet) {
    ByteReader reader(packet);
    UserRecord record;
    if (!reader.Bytes(record.data(), record.size()))
        return std::nullopt;
    return record;
}

uint32_t UserRecordId(const UserRecord& record) {
    return GetU32(record, 14);
}

uint32_t UserRecordSecond(const UserRecord& record) {
    return GetU32(record, 18);
}

std::string UserRecordName(const UserRecord& record) {
    return GetText(record, kUserProfileOffset + kProfName, kNameWidth);
}

std::string UserRecordAccount(const UserRecord& record) {
    return GetText(record, 22, kNameWidth);
}

std::vector<uint8_t> EncodeGameRecord(const PKTCHECK& check, uint16_t id, const GameRecord& game) {
    // Every game packet carries the whole record, the removal included: the
    // receiver reads the identifier at offset 122.
    std::vector<uint8_t> packet = check.Create(id, kGameRecordSize);
    if (packet.empty())
        return packet;
    std::copy(game.begin() + kPacketHeaderSize, game.end(), packet.begin() + kPacketHeaderSize);
    return Sealed(std::move(packet));
}

std::optional<GameRecord> DecodeGameRecord(std::span<const uint8_t> packet) {
    ByteReader reader(packet);
    GameRecord game;
    if (!reader.Bytes(game.data(), game.size()))
        return std::nullopt;
    return game;
}

GameRecord MakeGameRecord(const GameFields& fields) {
    GameRecord game{};
    PutText(game, kGameName, fields.name, kGameNameWidth);
    PutU16(game, kGamePasswordFlag, fields.password ? 1 : 0);
    PutU16(game, kGamePlayers, fields.players);
    PutU16(game, kGameMaxPlayers, fields.max_players);
    PutU32(game, kGameId, fields.id);
    return game;
}

uint32_t GameRecordId(const GameRecord& game) {
    return GetU32(game, kGameId);
}

std::string GameRecordName(const GameRecord& game) {
    return GetText(game, kGameName, kGameNameWidth);
}

// [SECTION] Game host bodies

namespace {

// The registered answer (19) and the seat answer (46) share one layout:
// 14 game identifier, 18 code (16).
std::vector<uint8_t> EncodeGameAnswer(const PKTCHECK& check, uint16_t id, uint32_t game_id,
                                      uint16_t code) {
    std::vector<uint8_t> packet = check.Create(id);
    if (packet.size() < 20)
        return {};
    PutU32(packet, 14, game_id);
    PutU16(packet, 18, code);
    return Sealed(std::move(packet));
}

template <typename Body>
std::optional<Body> DecodeGameAnswer(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    Body body;
    body.game_id = reader.U32();
    body.code = reader.U16();
    if (!reader.ok())
        return std::nullopt;
    return body;
}

}  // namespace

std::vector<uint8_t> EncodeGameRegistered(const PKTCHECK& check, const GameRegistered& body) {
    return EncodeGameAnswer(check, kPktGameRegistered, body.game_id, body.code);
}

std::optional<GameRegistered> DecodeGameRegistered(std::span<const uint8_t> packet) {
    return DecodeGameAnswer<GameRegistered>(packet);
}

std::vector<uint8_t> EncodeGameResults(const PKTCHECK& check, uint32_t game_id,
                                       const std::vector<GameResultEntry>& entries) {
    const size_t count = std::min<size_t>(entries.size(), 0xFFFF);
    std::vector<uint8_t> packet =
        check.Create(kPktGameResults, uint32_t(kResultEntriesOffset + count * kResultEntrySize));
    if (packet.empty())
        return packet;
    PutU32(packet, 14, game_id);
    PutU16(packet, 18, uint16_t(count));
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kResultEntriesOffset + i * kResultEntrySize;
        PutU32(packet, at, entries[i].account);
        PutU16(packet, at + 4, entries[i].profile);
        PutU16(packet, at + 6, entries[i].outcome);
        PutU32(packet, at + 8, uint32_t(entries[i].score));
    }
    return Sealed(std::move(packet));
}

std::optional<GameResults> DecodeGameResults(std::span<const uint8_t> packet) {
    ByteReader reader = BodyReader(packet);
    GameResults results;
    results.game_id = reader.U32();
    results.announced = reader.U16();
    if (!reader.ok())
        return std::nullopt;
    const size_t count = std::min<size_t>(results.announced, reader.remaining() / kResultEntrySize);
    results.entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        GameResultEntry entry;
        entry.account = reader.U32();
        entry.profile = reader.U16();
        entry.outcome = reader.U16();
        entry.score = reader.I32();
        results.entries.push_back(entry);
    }
    return results;
}

std::vector<uint8_t> EncodeSeatConfirm(const PKTCHECK& check, uint32_t game_id) {
    return EncodeU32Body(check, kPktSeatConfirm, game_id);
}

std::optional<uint32_t> DecodeSeatConfirm(std::span<const uint8_t> packet) {
    return DecodeU32At14(packet);
}

std::vector<uint8_t> EncodeSeatAnswer(const PKTCHECK& check, const SeatAnswer& body) {
    return EncodeGameAnswer(check, kPktSeatAnswer, body.game_id, body.code);
}

std::optional<SeatAnswer> DecodeSeatAnswer(std::span<const uint8_t> packet) {
    return DecodeGameAnswer<SeatAnswer>(packet);
}

}  // namespace vorlane::net
