// Packet table, checksum and the byte layout of every body both sides build.
#include "net/lobby_packets.h"

#include <gtest/gtest.h>

using namespace vorlane::net;

namespace {

std::string TextAt(const std::vector<uint8_t>& packet, size_t offset, size_t width) {
    return GetText(packet, offset, width);
}

}  // namespace

TEST(PacketChecker, TableSizesTagsAndRange) {
    PKTCHECK check;
    EXPECT_EQ(check.Size(1), 108u);
    EXPECT_EQ(check.Tag(1), 0xDDCCBB01u);
    EXPECT_EQ(check.Size(10), 10264u);
    EXPECT_EQ(check.Tag(10), 0xDDCCBB10u);
    EXPECT_EQ(check.Tag(20), 0xDDCCBB1Au);  // tags continue in hex after 0x19
    EXPECT_EQ(check.Size(24), 3216u);
    EXPECT_EQ(check.Size(28), 8332u);
    EXPECT_EQ(check.Tag(42), 0xDDCCBB30u);
    // Outside the table and for the LAN identifiers 43/44 nothing is built.
    EXPECT_TRUE(check.Create(0).empty());
    EXPECT_TRUE(check.Create(43).empty());
    EXPECT_TRUE(check.Create(kLastPacketId + 1).empty());
    EXPECT_TRUE(check.Create(7).empty());  // size 0 cannot hold a header
    // A narrower checker refuses what lies outside its range.
    PKTCHECK narrow(2, 5);
    EXPECT_TRUE(narrow.Create(1).empty());
    EXPECT_FALSE(narrow.Create(2).empty());
}

TEST(PacketChecker, HeaderAndChecksum) {
    PKTCHECK check;
    std::vector<uint8_t> packet = EncodeEmpty(check, kPktChannelListRequest);
    ASSERT_EQ(packet.size(), 14u);
    const auto header = DecodePacketHeader(packet);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->id, 23);
    EXPECT_EQ(header->tag, 0xDDCCBB1Du);
    EXPECT_EQ(header->size, 14u);
    // XOR of all bytes with 71 standing in the checksum field.
    uint8_t expected = 23 ^ 0x1D ^ 0xBB ^ 0xCC ^ 0xDD ^ 14 ^ 71;
    EXPECT_EQ(header->checksum, expected);
    // The stored checksum does not change the result of a recomputation.
    EXPECT_EQ(PKTCHECK::Checksum(packet), header->checksum);
    EXPECT_FALSE(DecodePacketHeader(std::span<const uint8_t>(packet.data(), 13)));
}

TEST(LoginPackets, ByteExactBodiesAndCutNames) {
    PKTCHECK check;
    LoginRequest request{"abcdefghijklmnopqrst", "secretpassword", "me@example.org"};
    std::vector<uint8_t> login = EncodeLogin(check, request);
    ASSERT_EQ(login.size(), 68u);
    EXPECT_EQ(TextAt(login, 14, 15), "abcdefghijklmn");  // 20 characters travel as 14
    EXPECT_EQ(login[28], 0);
    EXPECT_EQ(TextAt(login, 29, 10), "secretpas");
    for (size_t i = 39; i < 60; ++i) EXPECT_EQ(login[i], 0) << i;
    EXPECT_EQ(GetU32(login, 60), 7u);
    EXPECT_EQ(GetU32(login, 64), 5u);

    std::vector<uint8_t> first = EncodeFirstLogin(check, request);
    ASSERT_EQ(first.size(), 108u);
    EXPECT_EQ(GetU16(first, 0), 1);
    EXPECT_EQ(TextAt(first, 60, 40), "me@example.org");
    EXPECT_EQ(GetU32(first, 100), 7u);
    EXPECT_EQ(GetU32(first, 104), 5u);

    const auto decoded = DecodeLogin(first, true);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->user, "abcdefghijklmn");
    EXPECT_EQ(decoded->email, "me@example.org");
    EXPECT_FALSE(DecodeLogin(std::span<const uint8_t>(first.data(), 107), true));
}

TEST(LoginPackets, TextWithoutTerminatorStaysInsideItsField) {
    PKTCHECK check;
    std::vector<uint8_t> login = EncodeLogin(check, {"a", "b", ""});
    for (size_t i = 14; i < 60; ++i) login[i] = 'x';  // no zero anywhere
    const auto decoded = DecodeLogin(login, false);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->user, std::string(15, 'x'));
    EXPECT_EQ(decoded->password, std::string(10, 'x'));
}

TEST(ChatPackets, TargetsAndTextWidth) {
    PKTCHECK check;
    std::vector<uint8_t> all = EncodeChat(check, kPktChatAll, {-1, "hello"});
    ASSERT_EQ(all.size(), 114u);
    EXPECT_EQ(GetU32(all, 14), 0xFFFFFFFFu);
    EXPECT_EQ(TextAt(all, 18, 96), "hello");
    std::vector<uint8_t> to7 = EncodeChat(check, kPktChatPrivate, {7, std::string(200, 'y')});
    EXPECT_EQ(GetU16(to7, 0), 32);
    EXPECT_EQ(GetU32(to7, 14), 7u);
    EXPECT_EQ(TextAt(to7, 18, 96), std::string(95, 'y'));
    EXPECT_EQ(to7[113], 0);
}

TEST(ProfilePackets, RoundTripAndShortPacketsRefused) {
    PKTCHECK check;
    ProfilePacket body;
    body.permid = 42;
    body.number = 3;
    body.length = int32_t(kProfileSize);
    PutU16(body.profile, kProfActive, 1);
    PutText(body.profile, kProfName, "Ann", kNameWidth);
    body.profile[kProfileSize - 1] = 0xAB;
    std::vector<uint8_t> packet = EncodeProfilePacket(check, kPktProfileUpload, body);
    ASSERT_EQ(packet.size(), 10264u);
    EXPECT_EQ(GetU32(packet, 14), 42u);
    EXPECT_EQ(GetU16(packet, 18), 3);
    EXPECT_EQ(GetU32(packet, 20), 8295u);
    EXPECT_EQ(packet[24 + kProfileSize - 1], 0xAB);
    for (size_t i = 24 + kProfileSize; i < packet.size(); ++i) ASSERT_EQ(packet[i], 0);
    const auto decoded = DecodeProfilePacket(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->profile, body.profile);
    EXPECT_FALSE(DecodeProfilePacket(std::span<const uint8_t>(packet.data(), 8318)));
    EXPECT_TRUE(DecodeProfilePacket(std::span<const uint8_t>(packet.data(), 8319)));
}

TEST(ChannelTable, EncodesEntriesAndCutsAnOversizedCount) {
    PKTCHECK check;
    std::vector<ChannelEntry> channels = {{"Main Hall", 0, 1, 3, 0}, {"Battle", 0x2, 2, 10, 4}};
    std::vector<uint8_t> packet = EncodeChannelList(check, channels);
    ASSERT_EQ(packet.size(), 16u + 2 * 25);
    EXPECT_EQ(GetU16(packet, 14), 2);
    EXPECT_EQ(TextAt(packet, 16 + 25, 15), "Battle");
    EXPECT_EQ(packet[16 + 25 + 15], 0x2);
    EXPECT_EQ(GetU16(packet, 16 + 25 + 19), 2);
    EXPECT_EQ(GetU16(packet, 16 + 25 + 21), 10);
    EXPECT_EQ(GetU16(packet, 16 + 25 + 23), 4);

    // A count larger than the entries present reads only what is there.
    PutU16(packet, 14, 500);
    const auto decoded = DecodeChannelTable(packet);
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[1].name, "Battle");
    EXPECT_TRUE(DecodeChannelTable(std::span<const uint8_t>(packet.data(), 15)).empty());

    // More than 128 channels are cut to what the table can hold.
    std::vector<ChannelEntry> many(200, {"c", 0, 1, 0, 0});
    EXPECT_EQ(EncodeChannelList(check, many).size(), 3216u);
}

TEST(Records, UserAndGameRecords) {
    PKTCHECK check;
    Profile profile{};
    PutU16(profile, kProfActive, 1);
    PutText(profile, kProfName, "Ann", kNameWidth);
    std::vector<uint8_t> user = EncodeUserRecord(check, 9, 1234, profile);
    ASSERT_EQ(user.size(), 8332u);
    EXPECT_EQ(TextAt(user, 41, 15), "Ann");
    UserRecord kept;
    std::copy_n(user.begin(), kUserRecordKept, kept.begin());
    EXPECT_EQ(UserRecordId(kept), 9u);
    EXPECT_EQ(UserRecordSecond(kept), 1234u);
    EXPECT_EQ(UserRecordName(kept), "Ann");

    GameRecord game{};
    PutText(game, kGameName, "Duel", kGameNameWidth);
    PutU32(game, kGameId, 77);
    std::vector<uint8_t> removed = EncodeGameRecord(check, kPktGameRemoved, game);
    ASSERT_EQ(removed.size(), 126u);  // the removal carries the whole record
    EXPECT_EQ(GetU16(removed, 0), 14);
    EXPECT_EQ(GetU32(removed, 6), 126u);
    EXPECT_EQ(GetU32(removed, 122), 77u);
}

TEST(GameHostPackets, RoundTrips) {
    PKTCHECK check;
    const std::vector<uint8_t> registered = EncodeGameRegistered(check, {4242, 21});
    ASSERT_EQ(registered.size(), 20u);
    EXPECT_EQ(GetU32(registered, 14), 4242u);
    EXPECT_EQ(GetU16(registered, 18), 21);
    const auto answer = DecodeGameRegistered(registered);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->game_id, 4242u);
    EXPECT_EQ(answer->code, 21);

    const std::vector<uint8_t> confirm = EncodeSeatConfirm(check, 4243);
    ASSERT_EQ(confirm.size(), 18u);
    EXPECT_EQ(GetU32(confirm, 2), 0xDDCCBB33u);
    EXPECT_EQ(DecodeSeatConfirm(confirm), 4243u);
    const std::vector<uint8_t> seat = EncodeSeatAnswer(check, {4243, 21});
    ASSERT_EQ(seat.size(), 20u);
    EXPECT_EQ(GetU16(seat, 0), kPktSeatAnswer);
    const auto seated = DecodeSeatAnswer(seat);
    ASSERT_TRUE(seated);
    EXPECT_EQ(seated->game_id, 4243u);
    EXPECT_EQ(seated->code, 21);
    EXPECT_FALSE(DecodeSeatAnswer(std::span(seat).first(19)));

    const std::vector<GameResultEntry> entries = {{7, 1, 1, 10}, {8, 4, 3, -1000}};
    const std::vector<uint8_t> results = EncodeGameResults(check, 99, entries);
    ASSERT_EQ(results.size(), 20u + 2 * 12);  // as long as its entries, not the table's 10264
    EXPECT_EQ(GetU16(results, 0), kPktGameResults);
    EXPECT_EQ(GetU32(results, 6), 44u);
    EXPECT_EQ(GetU32(results, 32), 8u);
    EXPECT_EQ(GetU32(results, 40), uint32_t(-1000));
    const auto decoded = DecodeGameResults(results);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->game_id, 99u);
    EXPECT_EQ(decoded->announced, 2);
    ASSERT_EQ(decoded->entries.size(), 2u);
    EXPECT_EQ(decoded->entries[1].account, 8u);
    EXPECT_EQ(decoded->entries[1].profile, 4);
    EXPECT_EQ(decoded->entries[1].outcome, 3);
    EXPECT_EQ(decoded->entries[1].score, -1000);

    GameRecord game{};
    PutText(game, kGameName, "Duel", kGameNameWidth);
    PutU32(game, kGameId, 5);
    const auto again = DecodeGameRecord(EncodeGameRecord(check, kPktGameRegister, game));
    ASSERT_TRUE(again);
    EXPECT_EQ(GameRecordName(*again), "Duel");
    EXPECT_EQ(GameRecordId(*again), 5u);
    EXPECT_EQ(GetU16(*again, 0), kPktGameRegister);
}

TEST(TruncatedPackets, DecodeToNothingInsteadOfReadingBeyond) {
    PKTCHECK check;
    auto cut = [](const std::vector<uint8_t>& packet) {
        return std::span<const uint8_t>(packet.data(), packet.size() - 1);
    };
    EXPECT_FALSE(DecodeLogin(cut(EncodeLogin(check, {"a", "b", ""})), false));
    EXPECT_FALSE(DecodeLoginResult(cut(EncodeLoginResult(check, 0, 1))));
    EXPECT_FALSE(DecodeGameRegistered(cut(EncodeGameRegistered(check, {1, 0}))));
    EXPECT_FALSE(DecodeGameRecord(cut(EncodeGameRecord(check, kPktGameUpdate, GameRecord{}))));
    EXPECT_FALSE(DecodeU32At14(cut(EncodeU32Body(check, kPktGameRemove, 3))));
    EXPECT_FALSE(DecodeUserRecord(std::span<const uint8_t>(
        EncodeUserRecord(check, 1, 2, Profile{}).data(), kUserRecordKept - 1)));
    // A results packet cut inside its last entry keeps the entries it holds
    // and the count it stated, so the receiver can tell.
    const std::vector<uint8_t> results = EncodeGameResults(check, 9, {{1, 1, 1, 1}, {2, 1, 2, 1}});
    const auto partial = DecodeGameResults(cut(results));
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->announced, 2);
    EXPECT_EQ(partial->entries.size(), 1u);
    EXPECT_FALSE(DecodeGameResults(std::span<const uint8_t>(results.data(), 19)));
    // Field access outside a record reads 0 rather than beyond it.
    EXPECT_EQ(GetU32(std::span<const uint8_t>(results.data(), 16), 14), 0u);
    EXPECT_EQ(GetU16(results, results.size() - 1), 0);
}

TEST(NoticePackets, LayoutRoundTripAndCutText) {
    PKTCHECK check;
    EXPECT_EQ(check.Size(kPktLoginRefused), 150u);
    EXPECT_EQ(check.Tag(kPktNotice), 0xDDCCBB38u);
    const std::string reason(200, 'r');
    const std::vector<uint8_t> packet =
        EncodeNotice(check, kPktLoginRefused, {26, 7200, "spam, " + reason});
    ASSERT_EQ(packet.size(), 150u);
    EXPECT_EQ(GetU16(packet, 0), kPktLoginRefused);
    EXPECT_EQ(GetU32(packet, 14), 26u);
    EXPECT_EQ(GetU32(packet, 18), 7200u);
    EXPECT_EQ(packet[22 + kNoticeTextWidth - 1], 0);  // cut, and still ends inside its field
    const auto decoded = DecodeNotice(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->kind, 26u);
    EXPECT_EQ(decoded->seconds, 7200u);
    EXPECT_EQ(decoded->text.size(), kNoticeTextWidth - 1);
    EXPECT_EQ(decoded->text.substr(0, 6), "spam, ");
    const auto line = DecodeNotice(EncodeNotice(check, kPktNotice, {kNoticeServerLine, 0, "hi"}));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text, "hi");
    EXPECT_FALSE(DecodeNotice(std::span<const uint8_t>(packet.data(), packet.size() - 1)));
}
