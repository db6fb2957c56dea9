// [SECTION] index
//   Requests, friend actions, presence, private lines by name, news after a
//   log-in, the cluster's side of them.
//
// Friends, requests and blocks live in the store only, so they follow the
// account to any server of a cluster. Presence is what this server knows:
// its own sessions and the users other servers announced on the bus. An
// account's own server tells the others of each change of its presence (a
// presence message); every server then tells the friends logged in on it
// (55), so that a friend event is the same wherever the friend is. A friend
// action's other side hears of it from its own server (a social message). A
// private line by name goes live to a receiver in the lobby of any server
// (through that server) and is kept in the store for everyone else (offline
// or in a game), to be sent after the receiver's next log-in.
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
// A log-in this soon after the account went away is the front end handing
// over to the game program or back, not a player coming online.
constexpr int64_t kHandOverSeconds = 30;

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
        TellOther(other, their_event, me, session.name, theirs_now);
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
                TellOther(other, kFriendGone, me, session.name, kRelationNone);
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
    if (const auto online = online_.find(account); online != online_.end()) {
        const AccountState state = store_->LoadAccountState(account);
        sessions_[online->second].visibility = state.visibility;
        if (event == kFriendCameOnline && state.away_since != 0 &&
            now - state.away_since < kHandOverSeconds)
            event = kFriendUpdate;
    }
    if (clustered())
        PublishAll(PresenceMessage(account, event));
    TellFriends(account, event);
}

void LobbyServer::TellFriends(uint32_t account, uint16_t event) {
    std::vector<uint32_t> here;
    for (const SocialLink& link : store_->SocialLinks(account)) {
        if (link.relation == kRelationFriend && online_.count(link.other))
            here.push_back(link.other);
    }
    if (here.empty())
        return;
    const AccountState state = store_->LoadAccountState(account);
    // A hidden account tells nobody: it neither comes online nor opens games.
    if (state.visibility == kVisibleNobody && event != kFriendUpdate)
        return;
    const std::string name = store_->AccountName(account);
    for (uint32_t other : here)
        TellAccount(other, event, EntryFor(account, name, kRelationFriend, state));
}

void LobbyServer::TellOther(uint32_t other, uint16_t event, uint32_t about,
                            const std::string& about_name, Relation relation) {
    if (online_.count(other)) {
        TellAccount(other, event,
                    EntryFor(about, about_name, relation, store_->LoadAccountState(about)));
        return;
    }
    if (const RemoteUser* user = RemoteByAccount(other))
        PublishTo(user->server, {.kind = ClusterKind::kSocial,
                                 .target = other,
                                 .account = about,
                                 .event = event,
                                 .relation = relation,
                                 .name = about_name});
}

const LobbyServer::RemoteUser* LobbyServer::RemoteByAccount(uint32_t account) const {
    for (const auto& [id, user] : remote_) {
        if (user.account == account)
            return &user;
    }
    return nullptr;
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
    // In another server's lobby: that server hands it over (or keeps it, if
    // the receiver has gone meanwhile). A server that never told a presence
    // is of the release before and would drop the line: it is kept instead.
    if (!online_.count(receiver)) {
        const RemoteUser* user = RemoteByAccount(receiver);
        if (user && user->visibility >= 0 && !user->in_game) {
            PublishTo(user->server, {.kind = ClusterKind::kLine,
                                     .account = receiver,
                                     .since = now,
                                     .name = session.name,
                                     .text = line->text});
            return;
        }
    }
    DeliverLine(receiver, session.name, now, line->text);
}

void LobbyServer::DeliverLine(uint32_t receiver, const std::string& sender, int64_t sent,
                              const std::string& text) {
    const auto online = online_.find(receiver);
    const auto found = online != online_.end() ? sessions_.find(online->second) : sessions_.end();
    if (found != sessions_.end() && !found->second.in_game) {
        // Live: a line with identifier 0, which is not kept.
        SendTo(found->second.id,
               EncodeStoredLine(check_, kPktStoredLine, {0, uint32_t(sent), 0, sender, text}));
        return;
    }
    const RemoteUser* elsewhere = found == sessions_.end() ? RemoteByAccount(receiver) : nullptr;
    const bool in_game = found != sessions_.end() || (elsewhere && elsewhere->in_game);
    const uint16_t flags = in_game ? kLineWhileInGame : 0;
    if (!store_->KeepLine({0, receiver, sender, sent, flags, text}, WallNow() - kKeptLineSeconds,
                          kMaxKeptLines)) {
        char note[128];
        std::snprintf(note, sizeof note,
                      "LOBBYD: a line for account %u was not kept (full, or a storage failure)",
                      receiver);
        LOGSYS_Text(nullptr, kLogInfo, note);
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

// [SECTION] Other servers

ClusterMessage LobbyServer::PresenceMessage(uint32_t account, uint16_t event) const {
    ClusterMessage message{.kind = ClusterKind::kPresence, .account = account, .event = event};
    if (const auto online = online_.find(account); online != online_.end()) {
        if (const auto found = sessions_.find(online->second); found != sessions_.end()) {
            const Session& session = found->second;
            message.user = session.id;
            message.state = session.in_game ? kPresenceInGame : kPresenceOnline;
            message.visibility = session.visibility;
            message.text = session.game_name;
        }
    }
    if (const auto since = presence_since_.find(account); since != presence_since_.end())
        message.since = since->second;
    return message;
}

void LobbyServer::OnRemotePresence(const ClusterMessage& message) {
    if (message.account == 0 || message.visibility > kVisibleNobody)
        return;
    // What the user's own server says of it (it logged off: no user).
    auto user = remote_.find(message.user);
    if (user != remote_.end() && user->second.server == message.server &&
        user->second.account == message.account) {
        RemoteUser& known = user->second;
        known.in_game = message.state == kPresenceInGame;
        known.game_name = message.text;
        known.visibility = message.visibility;
        presence_since_[message.account] = message.since;
    } else if (!online_.count(message.account)) {
        presence_since_.erase(message.account);
    }
    // A state stream repeats what is known: the friends need not hear it.
    if (message.event <= kFriendGone)
        TellFriends(message.account, message.event);
}

void LobbyServer::OnRemoteSocial(const ClusterMessage& message) {
    if (message.relation > kRelationBlocked || !online_.count(message.target))
        return;
    TellAccount(message.target, message.event,
                EntryFor(message.account, message.name, Relation(message.relation),
                         store_->LoadAccountState(message.account)));
}

void LobbyServer::OnRemoteLine(const ClusterMessage& message) {
    if (message.account == 0 || message.text.empty() || !IsValidName(message.name))
        return;
    DeliverLine(message.account, message.name, message.since, message.text);
}

}  // namespace vorlane::server
