// The social packets: table entries, byte offsets the other side relies on,
// round trips, and lists whose count does not match their bytes.
#include "net/social_packets.h"

#include <gtest/gtest.h>

using namespace vorlane::net;

TEST(SocialPackets, TableAndRoundTrips) {
    PKTCHECK check;
    EXPECT_EQ(check.Tag(kPktSocialAction), 0xDDCCBB39u);
    EXPECT_EQ(check.Tag(kPktRejoinOffer), 0xDDCCBB47u);
    EXPECT_EQ(check.Size(kPktPrivateByName), 125u);

    const auto action = EncodeSocialAction(check, {kActionBlock, "a-very-long-name-here"});
    ASSERT_EQ(action.size(), 32u);
    EXPECT_EQ(GetU16(action, 14), kActionBlock);
    EXPECT_EQ(DecodeSocialAction(action)->name, "a-very-long-na");  // cut to 14

    const auto search = DecodePlayerSearch(EncodePlayerSearch(check, {3, "ann"}));
    ASSERT_TRUE(search);
    EXPECT_EQ(search->page, 3);
    EXPECT_EQ(search->prefix, "ann");

    const auto filter_packet = EncodeGameFilter(check, {2, kFilterActive, "duel", "Nebula"});
    ASSERT_EQ(filter_packet.size(), 88u);
    EXPECT_EQ(GetText(filter_packet, 53, 35), "Nebula");
    EXPECT_EQ(DecodeGameFilter(filter_packet)->name, "duel");

    const auto by_name = EncodePrivateByName(check, {"bob", "hello"});
    EXPECT_EQ(GetText(by_name, 29, 96), "hello");
    EXPECT_EQ(DecodePrivateByName(by_name)->name, "bob");

    const FriendEntry entry{"bob", kRelationFriend, kPresenceInGame, 2, 1700000000, "Duel"};
    const auto changed = EncodeFriendChanged(check, {kFriendOpenedGame, entry});
    ASSERT_EQ(changed.size(), 80u);
    EXPECT_EQ(changed[16 + 16], kPresenceInGame);
    EXPECT_EQ(GetText(changed, 16 + 24, 40), "Duel");
    EXPECT_EQ(DecodeFriendChanged(changed)->entry, entry);

    const StoredLine line{7, 1700000100, kLineWhileInGame, "ann", "see you"};
    const auto stored = EncodeStoredLine(check, kPktStoredLine, line);
    ASSERT_EQ(stored.size(), 135u);
    EXPECT_EQ(GetText(stored, 39, 96), "see you");
    EXPECT_EQ(*DecodeStoredLine(stored), line);
    EXPECT_EQ(GetU16(EncodeStoredLine(check, kPktHistoryLine, line), 0), kPktHistoryLine);

    const AwaySummary away{3, 1700000000, kOutcomeLost, -25, 1700000500, "Duel at dawn"};
    const auto summary = EncodeAwaySummary(check, away);
    ASSERT_EQ(summary.size(), 112u);
    EXPECT_EQ(int32_t(GetU32(summary, 24)), -25);
    EXPECT_EQ(*DecodeAwaySummary(summary), away);

    GameAlert alert{0, 4, MakeGameRecord({"Duel", false, 1, 2, 99})};
    const auto offer = EncodeGameAlert(check, kPktRejoinOffer, alert);
    ASSERT_EQ(offer.size(), 146u);
    EXPECT_EQ(GetU32(offer, 20 + kGameId), 99u);
    EXPECT_EQ(GameRecordId(DecodeGameAlert(offer)->game), 99u);

    // Every fixed body is refused one byte short of its fields (51 has a spare byte).
    const auto cut = [](const std::vector<uint8_t>& packet) {
        return std::span<const uint8_t>(packet.data(), packet.size() - 1);
    };
    EXPECT_FALSE(DecodeSocialAction(std::span<const uint8_t>(action.data(), 30)));
    EXPECT_FALSE(DecodeGameFilter(cut(filter_packet)));
    EXPECT_FALSE(DecodePrivateByName(cut(by_name)));
    EXPECT_FALSE(DecodeFriendChanged(cut(changed)));
    EXPECT_FALSE(DecodeStoredLine(cut(stored)));
    EXPECT_FALSE(DecodeAwaySummary(cut(summary)));
    EXPECT_FALSE(DecodeGameAlert(cut(offer)));
}

TEST(SocialPackets, ListsKeepOnlyWholeAnnouncedEntries) {
    PKTCHECK check;
    std::vector<FriendEntry> many(300, FriendEntry{"f", kRelationFriend, 0, 0, 0, ""});
    auto list = EncodeFriendList(check, many);
    ASSERT_EQ(list.size(), 16u + 64u * 256u);  // more than 256 are not sent
    EXPECT_EQ(DecodeFriendList(list).size(), 256u);

    // A count larger than the bytes: only whole entries are read.
    list.resize(16 + 64 * 3 + 10);
    EXPECT_EQ(DecodeFriendList(list).size(), 3u);
    // A count smaller than the bytes: the count wins.
    PutU16(list, 14, 1);
    EXPECT_EQ(DecodeFriendList(list).size(), 1u);
    // A count beyond the cap with the bytes to match is cut to the cap.
    std::vector<uint8_t> huge(16 + 64 * 300, 0);
    PutU16(huge, 14, 300);
    EXPECT_EQ(DecodeFriendList(huge).size(), 256u);
    EXPECT_TRUE(DecodeFriendList(std::span<const uint8_t>(list.data(), 15)).empty());

    SearchResult result{2, 1, std::vector<FriendEntry>(25, FriendEntry{"s", 0, 0, 0, 0, ""})};
    auto page = EncodeSearchResult(check, result);
    ASSERT_EQ(page.size(), 20u + 64u * 20u);
    const auto decoded = DecodeSearchResult(page);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->page, 2);
    EXPECT_EQ(decoded->more, 1);
    EXPECT_EQ(decoded->entries.size(), 20u);
    page.resize(20 + 64 + 63);
    EXPECT_EQ(DecodeSearchResult(page)->entries.size(), 1u);
    EXPECT_FALSE(DecodeSearchResult(std::span<const uint8_t>(page.data(), 19)));
}
