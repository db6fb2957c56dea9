// [SECTION] index
//   Requests, friend actions, presence, private lines by name, news after a
//   log-in.
//
// Friends, requests and blocks live in the store only, so they follow the
// account to any server of a cluster. Presence is what this server knows:
// its own sessions and the users other servers announced on the bus. Friend
// events (55) reach friends logged in on this server; a friend on another
// server sees the change with its next friend list (53). A private line by
// name goes live to a receiver in this server's lobby and is kept in the
// store for everyone else (offline, in a game, or on another server), to be
// sent after the receiver's next log-in.
//
// A friend action's relation states (from one account's side):
//   none --befriend--> you asked --their befriend--> friend
//   asks you --befriend--> friend        any --unfriend--> none
//   any --block--> blocked (the pair's friendship ends) --unblock--> none
#include <algorithm>
#include <cstdio>

#include "baselib/logsys.h"
#include "net/social_packets.h"
#include "server/lobby_server.h"

namespace vorlane::server {

using namespace vorlane::net;

namespace {

// Friends and one's own open requests together, so the rows one account
// can make stay bounded.
constexpr size_t kMaxFriends = 200;
constexpr size_t kMaxKeptLines = 100;
constexpr int64_t kKeptLineSeconds = 7 * 24 * 3600;

bool Counts(const SocialLink& link) {
    return link.relation == kRelationFriend || link.relation == kRelationYouAsked;
}

size_t FriendCount(const std::vector<SocialLink>& links) {
    return size_t(std::count_if(links.begin(), links.end(), Counts));
}

const SocialLink* LinkTo(const std::vector<SocialLink>& links, uint32_t other) {
    for (const SocialLink& link : links) {
        if (link.other == other)
            return &link;
    }
    return nullptr;
}

}  // namespace

// [SECTION] Requests

void LobbyServer::HandleSocial(Session& session, uint16_t id, std::span<const uint8_t> packet) {
    if (!Spend(session, session.social, config_.social, 1, Limit::kSocial, "social requests",
               false))
        return;
    switch (id) {
        case kPktSocialAction:
            HandleSocialAction(session, packet);
            break;
        case kPktVisibility:
            HandleVisibility(session, packet);
            break;
        case kPktFriendsRequest:
            SendFriendList(session);
            break;
        case kPktPrivateByName:
            HandlePrivateByName(session, packet);
            break;
        case kPktGameFilter:
            HandleGameFilter(session, packet);
            break;
        case kPktStoredLineDelete:
            if (const auto line = DecodeU32At14(packet))
                store_->DeleteKeptLines(session.account, *line);
            break;
        default:
            break;
    }
}

// [SECTION] Friend actions

void LobbyServer::HandleSocialAction(Session& session, std::span<const uint8_t> packet) {
    const auto action = DecodeSocialAction(packet);
    if (!action || !IsValidName(action->name))
        return;
    uint32_t other = 0;
    if (store_->FindAccount(action->name, &other, nullptr) != StoreResult::kOk ||
        other == session.account)
        return;
    const std::string other_name = store_->AccountName(other);
    const int64_t now = WallNow();
    const uint32_t me = session.account;
    const std::vector<SocialLink> mine = store_->SocialLinks(me);
    const SocialLink* link = LinkTo(mine, other);
    const Relation before = link ? link->relation : kRelationNone;
    // What each side is to the other afterwards; an answer goes to both.
    auto tell_both = [&](Relation mine_now, uint16_t my_event, Relation theirs_now,
                         uint16_t their_event) {
        TellAccount(me, my_event,
                    EntryFor(other, other_name, mine_now, store_->LoadAccountState(other)));
        TellAccount(other, their_event,
                    EntryFor(me, session.name, theirs_now, store_->LoadAccountState(me)));
    };
    switch (action->action) {
        case kActionBefriend: {
            if (before == kRelationFriend || before == kRelationYouAsked ||
                before == kRelationBlocked)
                return;
            if (FriendCount(mine) >= kMaxFriends)
                return;
            // A block refuses the request without the sender learning of it:
            // to the sender it looks like a request nobody answers.
            if (store_->Blocks(other, me)) {
                TellAccount(me, kFriendUpdate,
                            EntryFor(other, other_name, kRelationYouAsked, AccountState{}));
                return;
            }
            if (before == kRelationAsksYou) {
                if (FriendCount(store_->SocialLinks(other)) >= kMaxFriends ||
                    !store_->SetFriendship(other, me, true, now))
                    return;
                tell_both(kRelationFriend, kFriendUpdate, kRelationFriend, kFriendUpdate);
                return;
            }
            if (!store_->SetFriendship(me, other, false, now))
                return;
            tell_both(kRelationYouAsked, kFriendUpdate, kRelationAsksYou, kFriendAsks);
            return;
        }
        case kActionUnfriend:
            if (before == kRelationNone || before == kRelationBlocked ||
                !store_->RemoveFriendship(me, other))
                return;
            tell_both(kRelationNone, kFriendGone, kRelationNone, kFriendGone);
            return;
        case kActionBlock:
            if (before == kRelationBlocked || !store_->SetBlock(me, other, true, now))
                return;
            TellAccount(me, kFriendUpdate,
                        EntryFor(other, other_name, kRelationBlocked, AccountState{}));
            // The other side loses the friendship or request, as with an unfriend.
            if (before != kRelationNone)
                TellAccount(other, kFriendGone,
                            EntryFor(me, session.name, kRelationNone, AccountState{}));
            return;
        case kActionUnblock:
            if (before != kRelationBlocked || !store_->SetBlock(me, other, false, now))
                return;
            TellAccount(me, kFriendGone,
                        EntryFor(other, other_name, kRelationNone, AccountState{}));
            return;
        default:
            return;
    }
}

void LobbyServer::HandleVisibility(Session& session, std::span<const uint8_t> packet) {
    const auto visibility = DecodeU16At14(packet);
    if (!visibility || *visibility > kVisibleNobody)
        return;
    if (store_->SetVisibility(session.account, *visibility))
        PresenceChanged(session.account, kFriendUpdate);
}

void LobbyServer::SendFriendList(Session& session) {
    std::vector<FriendEntry> entries;
    for (const SocialLink& link : store_->SocialLinks(session.account)) {
        entries.push_back(EntryFor(link.other, link.name, link.relation,
                                   link.relation == kRelationFriend
                                       ? store_->LoadAccountState(link.other)
                                       : AccountState{}));
        if (entries.size() == kMaxFriendListEntries)
            break;
    }
    SendTo(session.id, EncodeFriendList(check_, entries));
}

// [SECTION] Presence

FriendEntry LobbyServer::EntryFor(uint32_t account, const std::string& name, Relation relation,
                                  const AccountState& state) {
    FriendEntry entry;
    entry.name = name;
    entry.relation = relation;
    entry.since = uint32_t(state.away_since);
    // Presence is for friends, and only when the account lets them see it.
    if (relation == kRelationFriend && state.visibility != kVisibleNobody)
        FillPresence(account, entry);
    return entry;
}

bool LobbyServer::FillPresence(uint32_t account, FriendEntry& entry) const {
    // A game program sits in its game's channel: the channel stays in the
    // entry (one may go there), the game's name is the place.
    auto place = [&](int channel, bool in_game, const std::string& game_name) {
        entry.state = kPresenceOnline;
        if (channel >= 0 && size_t(channel) < channels_.size()) {
            entry.state = kPresenceInChannel;
            entry.channel = channels_[size_t(channel)].number;
            entry.where = channels_[size_t(channel)].config.name;
        }
        if (in_game) {
            entry.state = kPresenceInGame;
            entry.where = game_name;
        }
        if (const auto since = presence_since_.find(account); since != presence_since_.end())
            entry.since = uint32_t(since->second);
        return true;
    };
    if (const auto online = online_.find(account); online != online_.end()) {
        const auto found = sessions_.find(online->second);
        if (found == sessions_.end())
            return false;
        const Session& session = found->second;
        return place(session.channel, session.in_game, session.game_name);
    }
    for (const auto& [id, user] : remote_) {
        if (user.account == account)
            return place(user.channel, user.in_game, user.game_name);
    }
    return false;
}

uint16_t LobbyServer::VisibilityOf(uint32_t account) {
    if (const auto online = online_.find(account); online != online_.end()) {
        if (const auto found = sessions_.find(online->second); found != sessions_.end())
            return found->second.visibility;
    }
    for (const auto& [id, user] : remote_) {
        if (user.account == account && user.visibility >= 0)
            return uint16_t(user.visibility);
    }
    return store_->LoadAccountState(account).visibility;
}

void LobbyServer::TellAccount(uint32_t account, uint16_t event, const FriendEntry& entry) {
    const auto online = online_.find(account);
    if (online != online_.end())
        SendTo(online->second, EncodeFriendChanged(check_, {event, entry}));
}

void LobbyServer::PresenceChanged(uint32_t account, uint16_t event, bool away) {
    const int64_t now = WallNow();
    if (online_.count(account))
        presence_since_[account] = now;
    else
        presence_since_.erase(account);
    if (away)
        store_->SetAwaySince(account, now);
    const AccountState state = store_->LoadAccountState(account);
    if (const auto online = online_.find(account); online != online_.end())
        sessions_[online->second].visibility = state.visibility;
    // A hidden account tells nobody: it neither comes online nor opens games.
    if (state.visibility == kVisibleNobody && event != kFriendUpdate)
        return;
    std::string name = store_->AccountName(account);
    for (const SocialLink& link : store_->SocialLinks(account)) {
        if (link.relation == kRelationFriend && online_.count(link.other))
            TellAccount(link.other, event, EntryFor(account, name, kRelationFriend, state));
    }
}

// [SECTION] Private lines by name

void LobbyServer::HandlePrivateByName(Session& session, std::span<const uint8_t> packet) {
    const auto line = DecodePrivateByName(packet);
    if (!line || line->text.empty() || !IsValidName(line->name))
        return;
    if (const Sanction* mute = MuteOf(session.account)) {
        SendTo(session.id, EncodeNotice(check_, kPktNotice,
                                        {kNoticeMuted, SecondsLeft(mute->expires), mute->reason}));
        return;
    }
    if (!TakeChatToken(session))
        return;
    uint32_t receiver = 0;
    if (store_->FindAccount(line->name, &receiver, nullptr) != StoreResult::kOk ||
        receiver == session.account)
        return;
    // A blocked sender is not told: the line just never arrives.
    if (store_->Blocks(receiver, session.account))
        return;
    const int64_t now = WallNow();
    const auto online = online_.find(receiver);
    const auto found = online != online_.end() ? sessions_.find(online->second) : sessions_.end();
    if (found != sessions_.end() && !found->second.in_game) {
        // Live: a line with identifier 0, which is not kept.
        SendTo(found->second.id, EncodeStoredLine(check_, kPktStoredLine,
                                                  {0, uint32_t(now), 0, session.name, line->text}));
        return;
    }
    const uint16_t flags = found != sessions_.end() ? kLineWhileInGame : 0;
    if (!store_->KeepLine({0, receiver, session.name, now, flags, line->text},
                          now - kKeptLineSeconds, kMaxKeptLines)) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "LOBBYD: a line for account %u was not kept (full, or a storage failure)",
                      receiver);
        LOGSYS_Text(nullptr, kLogInfo, text);
    }
}

// [SECTION] News after a log-in

void LobbyServer::SendAwayNews(Session& session) {
    const AccountState state = store_->LoadAccountState(session.account);
    const std::vector<KeptLine> lines =
        store_->KeptLines(session.account, WallNow() - kKeptLineSeconds);
    std::vector<std::vector<uint8_t>> packets;
    packets.push_back(EncodeAwaySummary(
        check_,
        {uint16_t(std::min<size_t>(lines.size(), 0xFFFF)), uint32_t(state.away_since),
         state.last_outcome, state.last_score, uint32_t(state.last_ended), state.last_game}));
    for (const KeptLine& line : lines) {
        packets.push_back(
            EncodeStoredLine(check_, kPktStoredLine,
                             {line.id, uint32_t(line.sent), line.flags, line.sender, line.text}));
    }
    SendAllTo(session.id, packets);
}

}  // namespace vorlane::server
