// Arbitrary lobby packets into LOBBYNET::OnDataReceived, mixed with the front
// end's operations, with every list the client hands out read in full. Each
// packet also goes through every decoder of the packet file, the game host's
// and the server's included.
#include <cstdint>
#include <vector>

#include "baselib/logsys.h"
#include "fuzz/lobby/fuzz_stream.h"
#include "net/lobbynet.h"
#include "net/social_packets.h"

using namespace vorlane::net;

namespace {

volatile size_t decoded_sink = 0;

// Touches every byte handed over, so a record read past its end shows up.
class ReadingFrontend : public LobbyFrontend {
  public:
    void LoginError(const char* text) override { Touch(text); }
    void FirstLoginError(const char* text) override { Touch(text); }
    void AccountCreated() override {}
    void ConnectionLost() override {}
    void ChannelError() override {}
    void ChannelEntered() override {}
    void ChatLine(const char* text, uint32_t, bool) override { Touch(text); }
    void GameListChanged(const std::vector<GameRecord>& games, const GameRecord* added,
                         const GameRecord* removed) override {
        for (const GameRecord& game : games) sum_ += GameRecordName(game).size();
        if (added)
            sum_ += (*added)[125];
        if (removed)
            sum_ += (*removed)[125];
    }
    void ChannelList(const std::vector<uint8_t>& table, bool) override {
        for (const ChannelEntry& entry : DecodeChannelTable(table)) sum_ += entry.name.size();
    }
    void LoginRunning() override {}
    void LoginFinished() override {}
    void LoginRefused(const std::string& reason, uint32_t seconds) override {
        Touch(reason.c_str());
        sum_ += seconds;
    }
    void Notice(const ServerNotice& notice) override {
        Touch(notice.text.c_str());
        sum_ += notice.kind + notice.seconds;
    }
    void RejoinOffer(const GameAlert* offer) override {
        if (offer)
            sum_ += offer->channel + offer->game[125];
    }
    void ProfilesComplete(const std::array<Profile, 4>& profiles) override {
        for (const Profile& profile : profiles) sum_ += profile[kProfileSize - 1];
    }
    void UserListChanged(const std::vector<UserRecord>& users, const UserRecord* added,
                         const UserRecord* removed) override {
        for (const UserRecord& user : users) sum_ += UserRecordName(user).size();
        if (added)
            sum_ += (*added)[139];
        if (removed)
            sum_ += (*removed)[139];
    }

    void FriendsChanged(const std::vector<FriendEntry>& friends,
                        const FriendChanged* change) override {
        if (friends.size() > LOBBYNET::kMaxFriendEntries)
            __builtin_trap();
        for (const FriendEntry& entry : friends) Touch(entry.name.c_str());
        if (change)
            Touch(change->entry.where.c_str());
    }
    void SearchResultReceived(const SearchResult& result) override {
        for (const FriendEntry& entry : result.entries) Touch(entry.where.c_str());
    }
    void GameAlertReceived(const GameAlert& alert) override {
        sum_ += GameRecordName(alert.game).size();
    }
    void StoredLineReceived(const StoredLine& line) override { Touch(line.text.c_str()); }
    void HistoryLineReceived(const StoredLine& line) override { Touch(line.name.c_str()); }
    void AwaySummaryReceived(const AwaySummary& summary) override { Touch(summary.game.c_str()); }

  private:
    void Touch(const char* text) {
        while (*text) sum_ += uint8_t(*text++);
    }
    size_t sum_ = 0;
};

class OfflineLobbynet : public LOBBYNET {
  public:
    using LOBBYNET::LOBBYNET;
    int16_t SendData(uint32_t, uint16_t, uint16_t, const void* data, uint32_t size) override {
        // Every packet the client builds has a whole header and its stated size.
        const auto header =
            DecodePacketHeader(std::span<const uint8_t>(static_cast<const uint8_t*>(data), size));
        if (!header || header->size != size)
            __builtin_trap();
        return 1;
    }
};

size_t EntrySum(const FriendEntry& entry) {
    return entry.name.size() + entry.where.size() + entry.since + entry.channel;
}

// The social decoders, both directions.
size_t DecodeSocial(std::span<const uint8_t> bytes) {
    size_t sum = 0;
    if (const auto action = DecodeSocialAction(bytes))
        sum += action->action + action->name.size();
    if (const auto search = DecodePlayerSearch(bytes))
        sum += search->page + search->prefix.size();
    if (const auto filter = DecodeGameFilter(bytes))
        sum += filter->name.size() + filter->mission.size();
    if (const auto line = DecodePrivateByName(bytes))
        sum += line->name.size() + line->text.size();
    const auto list = DecodeFriendList(bytes);
    if (list.size() > kMaxFriendListEntries)
        __builtin_trap();
    for (const FriendEntry& entry : list) sum += EntrySum(entry);
    if (const auto changed = DecodeFriendChanged(bytes))
        sum += changed->event + EntrySum(changed->entry);
    if (const auto result = DecodeSearchResult(bytes)) {
        if (result->entries.size() > kMaxSearchEntries)
            __builtin_trap();
        for (const FriendEntry& entry : result->entries) sum += EntrySum(entry);
    }
    if (const auto alert = DecodeGameAlert(bytes))
        sum += alert->slot + GameRecordName(alert->game).size();
    if (const auto stored = DecodeStoredLine(bytes))
        sum += stored->id + stored->name.size() + stored->text.size();
    if (const auto away = DecodeAwaySummary(bytes))
        sum += away->stored + away->game.size() + uint32_t(away->score);
    return sum;
}

// Runs every decoder over `bytes` and folds what they return into one value.
size_t DecodeEvery(std::span<const uint8_t> bytes) {
    size_t sum = 0;
    if (const auto header = DecodePacketHeader(bytes))
        sum += header->size;
    for (bool first : {false, true}) {
        if (const auto login = DecodeLogin(bytes, first))
            sum += login->user.size() + login->password.size() + login->email.size();
    }
    if (const auto request = DecodeProfileRequest(bytes))
        sum += request->number;
    if (const auto profile = DecodeProfilePacket(bytes))
        sum += profile->profile[kProfileSize - 1];
    if (const auto value = DecodeU16At14(bytes))
        sum += *value;
    if (const auto value = DecodeU32At14(bytes))
        sum += *value;
    if (const auto chat = DecodeChat(bytes))
        sum += chat->text.size();
    if (const auto result = DecodeLoginResult(bytes))
        sum += result->permid;
    for (const ChannelEntry& entry : DecodeChannelTable(bytes)) sum += entry.name.size();
    if (const auto user = DecodeUserRecord(bytes))
        sum += UserRecordName(*user).size();
    if (const auto game = DecodeGameRecord(bytes))
        sum += GameRecordName(*game).size() + GameRecordId(*game);
    if (const auto registered = DecodeGameRegistered(bytes))
        sum += registered->game_id + registered->code;
    if (const auto notice = DecodeNotice(bytes))
        sum += notice->kind + notice->seconds + notice->text.size();
    if (const auto answer = DecodeSeatAnswer(bytes))
        sum += answer->game_id + answer->code;
    if (const auto results = DecodeGameResults(bytes)) {
        if (results->entries.size() > results->announced)
            __builtin_trap();
        for (const GameResultEntry& entry : results->entries) sum += uint32_t(entry.score);
    }
    return sum + DecodeSocial(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool muted = [] {
        LOGSYS_MuteAll();
        return true;
    }();
    (void)muted;
    ReadingFrontend frontend;
    OfflineLobbynet client(&frontend, nullptr);
    client.CltLogonAccepted(1);
    FuzzStream stream(data, size);
    FuzzStep step;
    while (stream.Next(&step)) {
        switch (step.selector % 10) {
            case 0:
                client.Login("ann", "pw", "", "", false, step.sub_type & 3, step.sub_type >> 8);
                break;
            case 1:
                client.SelectProfile(step.sub_type, (step.sub_type & 0x100) != 0);
                break;
            case 2:
                client.JoinChannel(step.sub_type);
                break;
            case 3:
                client.SendChat("x", int32_t(int16_t(step.sub_type)));
                break;
            case 4:
                client.CltUserRemoved(1);
                client.CltLogonAccepted(1);
                break;
            case 5: {
                GameFilter filter{0, uint16_t(step.sub_type & 0xF), "a", "b"};
                client.SetGameFilters(std::vector<GameFilter>(step.sub_type % 12, filter));
                client.SendSocialAction(step.sub_type & 7, "bob");
                break;
            }
            case 6:
                client.DeleteStoredLine(step.sub_type & 1 ? 0 : step.sub_type);
                client.SearchPlayers("b", step.sub_type);
                break;
            default:
                decoded_sink = DecodeEvery(step.bytes);
                client.OnDataReceived(1, 0xEFFFFFCC, 12, step.sub_type, step.bytes.data(),
                                      uint32_t(step.bytes.size()));
                break;
        }
    }
    if (client.stored_lines().size() > LOBBYNET::kMaxStoredLines ||
        client.history().size() > LOBBYNET::kMaxHistoryLines ||
        client.friends().size() > LOBBYNET::kMaxFriendEntries ||
        client.game_filters().size() > LOBBYNET::kMaxGameFilters)
        __builtin_trap();
    return 0;
}
