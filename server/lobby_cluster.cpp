// [SECTION] index
//   Joining and leaving, the tick, sending, receiving, users of other
//   servers, their games and chat, state streams.
//
// LobbyServer's side of a cluster: several servers share one store and one
// bus. Each keeps the users and games of the others (remote_, the remote
// games in its channels) as their servers tell, and fans out to its own
// sessions what they do, so that a channel looks the same from every server.
//
// What a server knows of another (a peer) comes from the peer alone, in the
// order the peer sent it (one subscription). Knowledge is kept whole by
// state streams: the peer's users and games, then an end mark; whatever the
// stream did not confirm is gone at its end.
//
//   event                          what this server does
//   start, bus back                hello + own state to all; marks every peer stale
//   hello from a peer              marks it stale (forgets an older run), sends own state to it
//   first message of an unknown    asks it for its state (unless after our own hello,
//   peer, heartbeat of a new run   when its answer is on the way)
//   state end the server awaits    drops the peer's users and games still stale
//   peer silent kClusterExpiryMs   drops its users and games, as if they left
//   gone (a peer stops)            the same at once
//
// Users and games keep the identifiers their server gave (its own ranges, see
// kClusterIdStride), so that a peer can only speak for its own.
#include <sodium.h>

#include <algorithm>
#include <cstdio>

#include "baselib/logsys.h"
#include "server/lobby_server.h"
#include "server/lobby_text.h"

namespace vorlane::server {

using namespace vorlane::net;

namespace {

constexpr uint32_t kNoStream = UINT32_MAX;
// Bus messages taken per Pump, and state-stream messages sent per Pump:
// enough to keep up, few enough that the kernel is looked at in between.
constexpr size_t kBusBatch = 512;
constexpr size_t kStateSlice = 64;
constexpr size_t kStreamsMax = 32;
// Game identifiers: the server number above these bits, a counter below.
constexpr uint32_t kGameCounterBits = 20;

constexpr const char* kAllSubject = "vorlane.lobby.server";
constexpr const char* kChannelSubject = "vorlane.lobby.channel.";
constexpr const char* kToSubject = "vorlane.lobby.to.";

std::string ToSubject(uint16_t server) {
    return kToSubject + std::to_string(server);
}

void Remove(std::vector<uint32_t>& list, uint32_t value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

}  // namespace

// [SECTION] Joining and leaving

bool LobbyServer::JoinCluster() {
    randombytes_buf(&token_, sizeof token_);
    token_ |= 1;  // never 0, which means "not known"
    const int64_t now = WallNow();
    number_ =
        store_->ClaimServerNumber(token_, now, now - kClusterExpiryMs / 1000, kClusterServersMax);
    if (number_ == 0) {
        LOGSYS_Error("LOBBYD: no server number is free in the store (%u servers at most)",
                     unsigned(kClusterServersMax));
        return false;
    }
    config_.kernel.srv_id_base = uint32_t(number_) * kClusterIdStride;
    store_up_ = true;
    LOGSYS_Info("LOBBYD: server number %u of the cluster", unsigned(number_));
    return true;
}

void LobbyServer::LeaveCluster() {
    if (!clustered() || number_ == 0)
        return;
    PublishAll({.kind = ClusterKind::kGone, .incarnation = token_});
    store_->ReleaseServerNumber(number_, token_);
    number_ = 0;
}

bool LobbyServer::ClusterReady() const {
    return !clustered() || (number_ != 0 && bus_up_ && store_up_);
}

uint32_t LobbyServer::NextGameId() {
    if (!clustered()) {
        const uint32_t id = next_game_id_++;
        if (next_game_id_ == 0)
            next_game_id_ = 1;
        return id;
    }
    // This server's range; an identifier still in use is passed over.
    constexpr uint32_t kCounterMask = (1u << kGameCounterBits) - 1;
    for (;;) {
        const uint32_t counter = next_game_id_++ & kCounterMask;
        if (counter == 0)
            continue;
        const uint32_t id = uint32_t(number_) << kGameCounterBits | counter;
        const bool used = std::any_of(channels_.begin(), channels_.end(), [&](const Channel& c) {
            return std::any_of(c.games.begin(), c.games.end(),
                               [&](const Game& g) { return g.id == id; });
        });
        if (!used)
            return id;
    }
}

// [SECTION] The tick

void LobbyServer::ClusterTick() {
    const uint32_t now = GameClockMs();
    const bool up = bus_->connected();
    if (up != bus_up_) {
        bus_up_ = up;
        if (up) {
            LOGSYS_Info("LOBBYD: the bus is there; asking the other servers for their state");
            Resynchronise();
        } else {
            LOGSYS_Warning("LOBBYD: the bus is lost; log-ins are refused until it is back");
            streams_.clear();
        }
    }
    if (!beat_started_ || int32_t(now - next_beat_ms_) >= 0) {
        beat_started_ = true;
        const bool renewed = store_->RenewServerNumber(number_, token_, WallNow());
        if (renewed != store_up_) {
            store_up_ = renewed;
            if (renewed)
                LOGSYS_Info("LOBBYD: the store is there again; log-ins are taken");
            else
                LOGSYS_Warning(
                    "LOBBYD: the store did not take the heartbeat; log-ins are refused until it "
                    "does");
        }
        // A lost store is looked for again soon.
        next_beat_ms_ = now + (store_up_ ? kClusterHeartbeatMs : 1000);
        PublishAll({.kind = ClusterKind::kHeartbeat, .incarnation = token_});
    }
    std::vector<uint16_t> silent;
    for (const auto& [server, peer] : peers_) {
        if (now - peer.heard_ms > kClusterExpiryMs)
            silent.push_back(server);
    }
    for (uint16_t server : silent) {
        LOGSYS_Warning("LOBBYD: server %u was not heard of for %u s; its users and games are gone",
                       unsigned(server), kClusterExpiryMs / 1000);
        ForgetServer(server, false);
        peers_.erase(server);
    }
    ContinueStateStreams();
}

void LobbyServer::Resynchronise() {
    for (auto& [server, peer] : peers_) {
        MarkStale(server);
        peer.awaiting = 0;
    }
    hello_ms_ = GameClockMs();
    streams_.clear();
    PublishAll({.kind = ClusterKind::kHello, .incarnation = token_});
    StartStateStream(kAllSubject, 0);
}

// [SECTION] Sending

void LobbyServer::Publish(const std::string& subject, const ClusterMessage& message) {
    if (!bus_ || number_ == 0)
        return;
    const std::vector<uint8_t> bytes = EncodeClusterMessage(message);
    bus_->Publish(subject, bytes);
}

void LobbyServer::PublishAll(ClusterMessage message) {
    message.server = number_;
    Publish(kAllSubject, message);
}

void LobbyServer::PublishChannel(uint16_t channel, ClusterMessage message) {
    message.server = number_;
    Publish(kChannelSubject + std::to_string(channel), message);
}

void LobbyServer::PublishTo(uint16_t server, ClusterMessage message) {
    message.server = number_;
    Publish(ToSubject(server), message);
}

LobbyServer::Channel* LobbyServer::ChannelByNumber(uint16_t number) {
    auto found = std::find_if(channels_.begin(), channels_.end(),
                              [&](const Channel& c) { return c.number == number; });
    return found != channels_.end() ? &*found : nullptr;
}

ClusterMessage LobbyServer::UserMessage(const Session& session) const {
    ClusterMessage message{
        .kind = ClusterKind::kUser,
        .user = session.id,
        .account = session.account,
        .channel = session.channel >= 0 ? channels_[size_t(session.channel)].number : uint16_t(0),
        .profile_number = session.profile,
        .name = session.name};
    message.profile = session.profile_data;
    return message;
}

ClusterMessage LobbyServer::GameMessage(const Channel& channel, const Game& game) const {
    ClusterMessage message{
        .kind = ClusterKind::kGame, .user = game.host, .channel = channel.number};
    message.record = game.record;
    for (const Seat& seat : game.seats) message.seats.push_back({seat.account, seat.profile});
    return message;
}

// [SECTION] Receiving

void LobbyServer::TakeBusMessages() {
    std::vector<BusMessage> batch;
    const size_t taken = bus_->Take(batch, kBusBatch);
    for (const BusMessage& message : batch) {
        const auto decoded = DecodeClusterMessage(message.data);
        if (!decoded) {
            if (bad_messages_++ == 0)
                LOGSYS_Warning("LOBBYD: a message on %s could not be read (ignored)",
                               Printable(message.subject).c_str());
            continue;
        }
        OnClusterMessage(message.subject, *decoded);
    }
    // More wait: the next Pump must not sleep before taking them.
    if (taken == kBusBatch)
        Wake();
}

void LobbyServer::OnClusterMessage(const std::string& subject, const ClusterMessage& message) {
    const uint16_t from = message.server;
    if (from == 0 || from == number_ || from > kClusterServersMax)
        return;
    if (subject.rfind(kToSubject, 0) == 0 && subject != ToSubject(number_))
        return;  // for another server
    const uint32_t now = GameClockMs();
    auto [entry, fresh] = peers_.try_emplace(from);
    Peer& peer = entry->second;
    if (fresh)
        peer.awaiting = kNoStream;
    peer.heard_ms = now;
    switch (message.kind) {
        case ClusterKind::kHello:
            // A new run of the server: what its last one had is gone.
            if (!fresh && peer.incarnation != message.incarnation)
                ForgetServer(from, false);
            MarkStale(from);
            peer.incarnation = message.incarnation;
            peer.awaiting = 0;  // its state follows its hello
            StartStateStream(ToSubject(from), 0);
            return;
        case ClusterKind::kGone:
            ForgetServer(from, false);
            peers_.erase(from);
            return;
        case ClusterKind::kStateRequest:
            StartStateStream(ToSubject(from), message.request);
            return;
        case ClusterKind::kStateEnd:
            if (peer.awaiting == message.request) {
                ForgetServer(from, true);
                peer.awaiting = kNoStream;
            }
            return;
        default:
            break;
    }
    if (fresh) {
        // Right after this server's own hello, the peer's state is on its way.
        if (message.kind == ClusterKind::kHeartbeat)
            peer.incarnation = message.incarnation;
        if (now - hello_ms_ < kClusterHeartbeatMs)
            peer.awaiting = 0;
        else
            RequestState(from);
    } else if (message.kind == ClusterKind::kHeartbeat && peer.incarnation != message.incarnation) {
        if (peer.incarnation != 0)
            ForgetServer(from, false);
        peer.incarnation = message.incarnation;
        RequestState(from);
    }
    switch (message.kind) {
        case ClusterKind::kUser:
            OnRemoteUser(message);
            break;
        case ClusterKind::kUserLeft:
            if (auto user = remote_.find(message.user);
                user != remote_.end() && user->second.server == from)
                RemoteLeave(user->second);
            break;
        case ClusterKind::kUserOff:
            if (auto user = remote_.find(message.user);
                user != remote_.end() && user->second.server == from)
                RemoveRemoteUser(message.user);
            break;
        case ClusterKind::kChat:
        case ClusterKind::kPrivate:
            OnRemoteChat(message);
            break;
        case ClusterKind::kGame:
            OnRemoteGame(message);
            break;
        case ClusterKind::kGameRemoved:
            if (Channel* channel = ChannelByNumber(message.channel)) {
                auto game = std::find_if(channel->games.begin(), channel->games.end(),
                                         [&](const Game& g) { return g.id == message.game; });
                if (game != channel->games.end() && game->server == from)
                    RemoveGame(*channel, message.game);
            }
            break;
        case ClusterKind::kSeat:
            OnRemoteSeat(message);
            break;
        case ClusterKind::kMute: {
            Sanction mute{SanctionKind::kMute, message.account, 0, message.text,
                          WallNow(),           message.expires, ""};
            mutes_[message.account] = mute;
            if (auto online = online_.find(message.account); online != online_.end())
                SendTo(online->second,
                       EncodeNotice(check_, kPktNotice,
                                    {kNoticeMuted, SecondsLeft(mute.expires), mute.reason}));
            break;
        }
        case ClusterKind::kUnmute:
            mutes_.erase(message.account);
            break;
        case ClusterKind::kDismiss:
            OnDismiss(message);
            break;
        case ClusterKind::kPresence:
            OnRemotePresence(message);
            break;
        case ClusterKind::kSocial:
            OnRemoteSocial(message);
            break;
        case ClusterKind::kLine:
            OnRemoteLine(message);
            break;
        case ClusterKind::kSay: {
            const auto packet =
                EncodeNotice(check_, kPktNotice, {kNoticeServerLine, 0, message.text});
            for (const Channel& channel : channels_) SendToMany(channel.members, packet);
            break;
        }
        case ClusterKind::kStats:
            RemoteResultIn(message.account);
            if (auto online = online_.find(message.account); online != online_.end()) {
                Session& player = sessions_[online->second];
                if (player.profile != 0)
                    store_->LoadProfile(player.account, player.profile, &player.profile_data);
            }
            break;
        default:
            break;
    }
}

void LobbyServer::OnDismiss(const ClusterMessage& message) {
    std::vector<uint32_t> hit;
    for (const auto& [id, session] : sessions_) {
        const bool named = (message.user != 0 && id == message.user && session.account != 0) ||
                           (message.account != 0 && session.account == message.account) ||
                           (message.address != 0 && session.address == message.address);
        if (named && !session.closing)
            hit.push_back(id);
    }
    for (uint32_t id : hit) {
        auto found = sessions_.find(id);
        if (found != sessions_.end())
            Dismiss(found->second, {message.code, message.seconds, message.text});
    }
}

// [SECTION] Users of other servers

void LobbyServer::OnRemoteUser(const ClusterMessage& message) {
    // A server speaks for the identifiers it hands out, no others.
    if (message.user / kClusterIdStride != message.server || message.account == 0)
        return;
    auto [entry, fresh] = remote_.try_emplace(message.user);
    RemoteUser& user = entry->second;
    Channel* target = message.channel != 0 ? ChannelByNumber(message.channel) : nullptr;
    const int index = target ? int(target - channels_.data()) : -1;
    // The identifier of a session that ended, given again: the old user left.
    if (!fresh && user.account != message.account)
        RemoteLeave(user);
    const bool changed = fresh || user.account != message.account ||
                         user.profile_number != message.profile_number ||
                         user.profile != message.profile;
    if (user.channel != index)
        RemoteLeave(user);
    const bool joined = index >= 0 && user.channel != index;
    user.id = message.user;
    user.server = message.server;
    user.account = message.account;
    user.name = message.name;
    user.profile_number = message.profile_number;
    user.profile = message.profile;
    user.stale = false;
    if (joined) {
        user.channel = index;
        target->remote.push_back(user.id);
    }
    if (joined || (index >= 0 && changed))
        SendRecordToMany(target->members, user.id, user.account, user.profile, user.name);
}

void LobbyServer::RemoteLeave(RemoteUser& user) {
    if (user.channel < 0 || size_t(user.channel) >= channels_.size()) {
        user.channel = -1;
        return;
    }
    Channel& channel = channels_[size_t(user.channel)];
    Remove(channel.remote, user.id);
    user.channel = -1;
    SendToMany(channel.members, EncodeU32Body(check_, kPktUserLeft, user.id));
}

void LobbyServer::RemoveRemoteUser(uint32_t id) {
    auto found = remote_.find(id);
    if (found == remote_.end())
        return;
    RemoteLeave(found->second);
    remote_.erase(found);
}

void LobbyServer::MarkStale(uint16_t server) {
    for (auto& [id, user] : remote_) {
        if (user.server == server)
            user.stale = true;
    }
    for (Channel& channel : channels_) {
        for (Game& game : channel.games) {
            if (game.server == server)
                game.stale = true;
        }
    }
}

void LobbyServer::ForgetServer(uint16_t server, bool only_stale) {
    // Games first, as when their hosts leave.
    for (Channel& channel : channels_) {
        std::vector<uint32_t> gone;
        for (const Game& game : channel.games) {
            if (game.server == server && (!only_stale || game.stale))
                gone.push_back(game.id);
        }
        for (uint32_t id : gone) RemoveGame(channel, id);
    }
    std::vector<uint32_t> gone;
    for (const auto& [id, user] : remote_) {
        if (user.server == server && (!only_stale || user.stale))
            gone.push_back(id);
    }
    for (uint32_t id : gone) RemoveRemoteUser(id);
}

void LobbyServer::RequestState(uint16_t server) {
    auto found = peers_.find(server);
    if (found == peers_.end())
        return;
    MarkStale(server);
    if (++next_request_ == kNoStream || next_request_ == 0)
        next_request_ = 1;
    found->second.awaiting = next_request_;
    PublishTo(server, {.kind = ClusterKind::kStateRequest, .request = next_request_});
}

// [SECTION] Their games and chat

void LobbyServer::OnRemoteGame(const ClusterMessage& message) {
    Channel* channel = ChannelByNumber(message.channel);
    const uint32_t id = GetU32(message.record, kGameId);
    if (!channel || id >> kGameCounterBits != message.server ||
        message.user / kClusterIdStride != message.server)
        return;
    auto game = std::find_if(channel->games.begin(), channel->games.end(),
                             [&](const Game& g) { return g.id == id; });
    std::vector<Seat> seats;
    for (const ClusterSeat& seat : message.seats) {
        // What this server heard of results (statistics messages) stays.
        const Seat* known = game != channel->games.end() && game->server == message.server
                                ? FindSeat(*game, seat.account)
                                : nullptr;
        seats.push_back({seat.account, seat.profile, known && known->reported});
    }
    GameRecord record = message.record;
    record[kGameName + kGameNameWidth - 1] = 0;
    if (game == channel->games.end()) {
        Game added;
        added.record = record;
        added.id = id;
        added.host = message.user;
        added.server = message.server;
        added.started_ms = GameClockMs();
        added.seats = std::move(seats);
        channel->games.push_back(added);
        SendToMany(channel->members, EncodeGameRecord(check_, kPktGameAdded, record));
        AlertFilters(*channel, added);
        return;
    }
    if (game->server != message.server)
        return;
    game->stale = false;
    game->seats = std::move(seats);
    if (game->record == record)
        return;
    game->record = record;
    SendToMany(channel->members, EncodeGameRecord(check_, kPktGameChanged, record));
}

void LobbyServer::RemoveGame(Channel& channel, uint32_t game_id) {
    auto game = std::find_if(channel.games.begin(), channel.games.end(),
                             [&](const Game& g) { return g.id == game_id; });
    if (game == channel.games.end())
        return;
    const GameRecord record = game->record;
    channel.games.erase(game);
    SendToMany(channel.members, EncodeGameRecord(check_, kPktGameRemoved, record));
    WithdrawRejoinOffers();
}

void LobbyServer::OnRemoteSeat(const ClusterMessage& message) {
    Channel* channel = ChannelByNumber(message.channel);
    if (!channel || message.profile_number < 1 || message.profile_number > 4)
        return;
    for (Game& game : channel->games) {
        if (game.id != message.game)
            continue;
        const uint16_t max_players = GetU16(game.record, kGameMaxPlayers);
        if (!FindSeat(game, message.account) &&
            (max_players == 0 || game.seats.size() < max_players))
            game.seats.push_back({message.account, message.profile_number, false});
        return;
    }
}

void LobbyServer::OnRemoteChat(const ClusterMessage& message) {
    const auto sender = remote_.find(message.user);
    if (sender == remote_.end() || sender->second.server != message.server ||
        sender->second.channel < 0 || message.text.empty())
        return;
    Channel& channel = channels_[size_t(sender->second.channel)];
    if (channel.number != message.channel)
        return;
    const ChatPacket out{int32_t(message.user), message.text};
    if (message.kind == ClusterKind::kChat) {
        RecordHistory(channel, sender->second.account, sender->second.name, message.text);
        BringForward(message.user);
        const auto start = std::chrono::steady_clock::now();
        SendToMany(channel.members, EncodeChat(check_, kPktChatAllReceived, out));
        fanout_latency_.Add(std::chrono::steady_clock::now() - start);
        return;
    }
    if (std::find(channel.members.begin(), channel.members.end(), message.target) ==
        channel.members.end())
        return;
    BringForward(message.user, message.target);
    SendTo(message.target, EncodeChat(check_, kPktChatPrivateReceived, out));
}

// [SECTION] State streams

void LobbyServer::StartStateStream(const std::string& subject, uint32_t request) {
    if (!bus_up_)
        return;  // the resynchronisation at the bus's return sends it
    // A stream to the same place starts afresh.
    streams_.erase(std::remove_if(streams_.begin(), streams_.end(),
                                  [&](const StateStream& s) {
                                      return s.subject == subject && s.request == request;
                                  }),
                   streams_.end());
    if (streams_.size() >= kStreamsMax) {
        LOGSYS_Warning(
            "LOBBYD: %zu state streams under way; the request of %s waits for a later "
            "one",
            streams_.size(), Printable(subject).c_str());
        return;
    }
    StateStream stream;
    stream.subject = subject;
    stream.request = request;
    for (const auto& [id, session] : sessions_) {
        if (session.account != 0 && !session.closing)
            stream.users.push_back(id);
    }
    for (const Channel& channel : channels_) {
        for (const Game& game : channel.games) {
            if (game.server == 0)
                stream.games.push_back(game.id);
        }
    }
    streams_.push_back(std::move(stream));
}

void LobbyServer::ContinueStateStreams() {
    size_t sent = 0;
    while (!streams_.empty() && sent < kStateSlice) {
        StateStream& stream = streams_.front();
        const size_t total = stream.users.size() + stream.games.size();
        for (; stream.next < total && sent < kStateSlice; ++stream.next) {
            if (stream.next < stream.users.size()) {
                const auto session = sessions_.find(stream.users[stream.next]);
                if (session == sessions_.end() || session->second.account == 0)
                    continue;
                ClusterMessage message = UserMessage(session->second);
                message.server = number_;
                Publish(stream.subject, message);
                // Its presence (a game, its visibility) follows.
                message = PresenceMessage(session->second.account, kPresenceRepeated);
                message.server = number_;
                Publish(stream.subject, message);
                sent += 2;
                continue;
            }
            const uint32_t game_id = stream.games[stream.next - stream.users.size()];
            for (const Channel& channel : channels_) {
                auto game = std::find_if(channel.games.begin(), channel.games.end(),
                                         [&](const Game& g) { return g.id == game_id; });
                if (game == channel.games.end() || game->server != 0)
                    continue;
                ClusterMessage message = GameMessage(channel, *game);
                message.server = number_;
                Publish(stream.subject, message);
                ++sent;
                break;
            }
        }
        if (stream.next < total)
            return;
        Publish(stream.subject, {.kind = ClusterKind::kStateEnd,
                                 .server = number_,
                                 .incarnation = token_,
                                 .request = stream.request});
        streams_.erase(streams_.begin());
    }
}

}  // namespace vorlane::server
