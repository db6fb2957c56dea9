// [SECTION] index
//   Set-up, sending, kernel hooks, limits, accounts, profiles, channels, chat, games.
#include "server/lobby_server.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "baselib/logsys.h"
#include "net/social_packets.h"
#include "server/lobby_text.h"
#include "server/server_tls.h"

namespace vorlane::server {

using namespace vorlane::net;

namespace {

// A closed connection still gets its queued reply, for at most this long.
constexpr auto kCloseGrace = std::chrono::milliseconds(50);
constexpr auto kCloseDeadline = std::chrono::milliseconds(2000);
// A joiner gets the channel's member records in slices of this many while
// less than the low-water mark waits for it; the rest follow as its queue
// drains, looked at this often.
constexpr size_t kStreamSlice = 8;
constexpr uint64_t kStreamLowWater = 256u << 10;
constexpr auto kQueueLookInterval = std::chrono::milliseconds(2);
// A connection beyond its address's limit has this long to ask for a log-in
// (and be told why it cannot) before it is closed unanswered.
constexpr auto kOverLimitGrace = std::chrono::seconds(5);
constexpr auto kSweepInterval = std::chrono::milliseconds(250);

void Log(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Log(uint32_t level, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    LOGSYS_Text(nullptr, level, line);
}

// The version the status page shows.
constexpr const char* kLobbyVersion = VORLANE_VERSION;

std::chrono::seconds Seconds(uint32_t seconds) {
    return std::chrono::seconds(std::max<uint32_t>(seconds, 1));
}

void Remove(std::vector<uint32_t>& list, uint32_t value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

}  // namespace

// [SECTION] Set-up

LobbyServer::LobbyServer(LobbyStore* store, const LobbyConfig& config, LobbyBus* bus)
    : store_(store),
      config_(config),
      bus_(bus && !dynamic_cast<NullBus*>(bus) ? bus : nullptr),
      wake_target_(std::make_shared<WakeTarget>()),
      check_(1, kLastPacketId),
      workers_(std::make_unique<PasswordWorkers>(config.hash_threads, config.hash_queue_max)) {
    // Channel numbers come from the store, where every name keeps its own.
    stored_channels_ = store_->Channels();
    std::vector<StoredChannel> changed;
    const std::vector<LiveChannel> live =
        ResolveChannels(config_.channels, &stored_channels_, &changed);
    for (const StoredChannel& channel : changed) store_->PutChannel(channel);
    ApplyChannels(live);
    // Ended sanctions go at the start; the rest end when they are looked at.
    store_->PurgeSanctions(WallNow());
    for (Sanction& mute : store_->Sanctions(WallNow())) {
        if (mute.kind == SanctionKind::kMute)
            mutes_[mute.account] = std::move(mute);
    }
}

LobbyServer::~LobbyServer() {
    {
        std::lock_guard lock(wake_target_->mutex);
        wake_target_->control = nullptr;
    }
    LeaveCluster();
    workers_.reset();
    RemoveSystem();
}

int16_t LobbyServer::Start(const char* log_dir) {
    // Every packet a client acts on is built here; nothing passes between clients.
    SetRelay(false);
    SetQueueTotalCap(config_.queue_total_max_bytes);
    if (config_.kernel.tls) {
        if (!tls_context()) {
            std::string error;
            auto context = LoadServerTls(config_, &tls_created_, &error);
            if (!context) {
                Log(kLogError, "LOBBYD: TLS: %s", error.c_str());
                tls_error_ = error;
                start_error_ = "TLS: " + error;
                return -1;
            }
            SetTlsContext(std::move(context));
        }
        // A connection in its handshake has no session yet; the handshakes
        // of one address are held to the same number as its connections.
        SetHandshakesPerAddress(config_.connections_per_address);
    }
    if (clustered() && !JoinCluster()) {
        start_error_ = "no server number is free in the store";
        return -1;
    }
    if (InitServerSystemWithSettings(log_dir, config_.kernel) != 1) {
        start_error_ = "the network kernel did not start on port " +
                       std::to_string(config_.kernel.port) + " (the log says why)";
        return -1;
    }
    if (clustered()) {
        // Whatever arrives on the bus ends the protocol thread's wait.
        {
            std::lock_guard lock(wake_target_->mutex);
            wake_target_->control = this;
        }
        bus_->set_wake([target = wake_target_] {
            std::lock_guard lock(target->mutex);
            if (target->control)
                target->control->Wake();
        });
        std::string error;
        if (!bus_->Open(&error)) {
            Log(kLogError, "LOBBYD: bus: %s", error.c_str());
            start_error_ = error;
            return -1;
        }
        bus_->Subscribe(kClusterSubjects);
    }
    return 1;
}

void LobbyServer::Pump(uint32_t wait_ms, int budget) {
    if (mode() == 0)
        return;
    // While passwords are being checked, look back soon for their results.
    if (workers_->pending() > 0 || !streams_.empty())
        wait_ms = std::min<uint32_t>(wait_ms, 1);
    if (PendingMessages() == 0)
        WaitForMessages(wait_ms);
    Update();
    for (int i = 1; i < budget && PendingMessages() > 0; ++i) Update();
    if (clustered()) {
        TakeBusMessages();
        ClusterTick();
    }
    PollAdmin();
}

size_t LobbyServer::channel_members(size_t channel) const {
    return channel < channels_.size()
               ? channels_[channel].members.size() + channels_[channel].remote.size()
               : 0;
}

size_t LobbyServer::game_count() const {
    size_t count = 0;
    for (const Channel& channel : channels_) count += channel.games.size();
    return count;
}

// [SECTION] Sending

bool LobbyServer::SendTo(uint32_t user, const std::vector<uint8_t>& packet) {
    const auto header = DecodePacketHeader(packet);
    if (!header)
        return false;
    if (SendData(user, kLobbyModuleType, header->id, packet.data(), uint32_t(packet.size())) == 1)
        return true;
    DropSlowReader(user, "reads too slowly");
    return false;
}

void LobbyServer::SendAllTo(uint32_t user, const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<TNS_MESSAGE> messages;
    messages.reserve(packets.size());
    for (const std::vector<uint8_t>& packet : packets) {
        if (const auto header = DecodePacketHeader(packet))
            messages.push_back({header->id, packet});
    }
    if (SendDataBatch(user, kLobbyModuleType, messages) != 1)
        DropSlowReader(user, "reads too slowly");
}

void LobbyServer::SendToMany(const std::vector<uint32_t>& users,
                             const std::vector<uint8_t>& packet) {
    const auto header = DecodePacketHeader(packet);
    if (!header)
        return;
    std::vector<uint32_t> refused;
    SendDataToMany(users, kLobbyModuleType, header->id, packet.data(), uint32_t(packet.size()),
                   &refused);
    for (uint32_t user : refused) DropSlowReader(user, "reads too slowly");
}

void LobbyServer::CloseConnection(uint32_t user) {
    CloseWhenDrained(user, kCloseGrace, kCloseDeadline);
}

void LobbyServer::SrvTick() {
    workers_->Drain();
    Sweep();
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_status_) {
        next_status_ = now + std::chrono::seconds(1);
        PublishStatus();
    }
    if (now < next_queue_look_)
        return;
    next_queue_look_ = now + kQueueLookInterval;
    ShedLargestQueues();
    if (streaming_.empty())
        return;
    const auto queued = QueuedBytes();
    const std::vector<uint32_t> joiners(streaming_.begin(), streaming_.end());
    for (uint32_t id : joiners) {
        auto found = sessions_.find(id);
        if (found == sessions_.end()) {
            streaming_.erase(id);
            continue;
        }
        auto at = std::lower_bound(queued.begin(), queued.end(), std::make_pair(id, uint64_t(0)));
        ContinueStream(found->second, at != queued.end() && at->first == id ? at->second : 0);
    }
}

std::shared_ptr<const LobbyStatus> LobbyServer::status() const {
    std::lock_guard lock(status_mutex_);
    return status_;
}

void LobbyServer::PublishStatus() {
    auto status = std::make_shared<LobbyStatus>();
    status->version = kLobbyVersion;
    status->uptime_seconds = uint64_t(std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::steady_clock::now() - started_)
                                          .count());
    for (const Channel& channel : channels_) {
        StatusChannel& shown = status->channels.emplace_back();
        shown.name = channel.config.name;
        for (uint32_t member : channel.members) {
            const auto found = sessions_.find(member);
            if (found != sessions_.end())
                shown.players.push_back(Printable(
                    net::GetText(found->second.profile_data, net::kProfName, net::kNameWidth)));
        }
        for (uint32_t member : channel.remote) {
            const auto found = remote_.find(member);
            if (found != remote_.end())
                shown.players.push_back(Printable(
                    net::GetText(found->second.profile, net::kProfName, net::kNameWidth)));
        }
        for (const Game& game : channel.games)
            shown.games.push_back(Printable(net::GameRecordName(game.record)));
        status->games += channel.games.size();
    }
    status->users_online = online_.size();
    status->chat_lines = chat_lines_;
    status->chat_bytes = chat_bytes_;
    status->logins = logins_;
    status->login_failures = login_failures_;
    for (size_t i = 0; i < status->refusals.size(); ++i)
        status->refusals[i] = limit_log_.count(Limit(i));
    status->queued_bytes = QueueTotals().bytes;
    status->login_latency = login_latency_.Read();
    status->fanout_latency = fanout_latency_.Read();
    status->database_latency = DatabaseLatency().Read();
    std::lock_guard lock(status_mutex_);
    status_ = std::move(status);
}

void LobbyServer::DropSlowReader(uint32_t user, const char* why) {
    auto found = sessions_.find(user);
    if (found == sessions_.end() || found->second.dropped)
        return;
    Session& session = found->second;
    session.dropped = true;
    StopStream(session);
    ++slow_readers_;
    TNS_QUEUE_STATE state;
    if (!QueueState(user, &state))
        state = {};
    // Its queue goes with it at once: waiting for it to drain is what failed.
    CloseWhenDrained(user, std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    const TNS_QUEUE_TOTALS totals = QueueTotals();
    limit_log_.Write(Limit::kSlowReaders, true,
                     "LOBBYD: user %u %s (%llu bytes waiting for it, %llu for all users); "
                     "connection closed",
                     user, why, static_cast<unsigned long long>(state.bytes),
                     static_cast<unsigned long long>(totals.bytes));
}

void LobbyServer::ShedLargestQueues() {
    const TNS_QUEUE_TOTALS totals = QueueTotals();
    if (totals.cap == 0 || totals.bytes <= totals.cap / 4 * 3)
        return;
    auto queued = QueuedBytes();
    std::sort(queued.begin(), queued.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    uint64_t left = totals.bytes;
    for (const auto& [user, bytes] : queued) {
        if (left <= totals.cap / 2)
            break;
        DropSlowReader(user, "holds one of the largest queues while all are full");
        left -= std::min(left, bytes);
    }
}

void LobbyServer::SendResult(uint32_t user, uint32_t code) {
    SendTo(user, EncodeU32Body(check_, kPktResult, code));
}

// [SECTION] Kernel hooks

void LobbyServer::OnLogon(uint32_t id) {
    EndSession(id);  // a reused identifier starts afresh
    SetQueueCap(id, config_.queue_max_bytes);
    Session session;
    session.id = id;
    session.serial = next_serial_++;
    session.chat_tokens = config_.chat_lines_per_second;
    session.chat_refill = std::chrono::steady_clock::now();
    session.since = LimitClock::now();
    session.connected = std::time(nullptr);
    const std::array<uint8_t, 4> peer = PeerAddress(id);
    session.address = uint32_t(peer[0]) << 24 | uint32_t(peer[1]) << 16 | uint32_t(peer[2]) << 8 |
                      uint32_t(peer[3]);
    Address& address = addresses_[session.address];
    if (LimitClock::now() < address.banned_until) {
        session.over_address_limit = true;
        session.turned_away_code = kCodeAddressBanned;
        limit_log_.Write(Limit::kFloodBan, false,
                         "LOBBYD: %s flooded a moment ago; user %u is turned away",
                         AddressText(session.address).c_str(), id);
    } else if (config_.connections_per_address != 0 &&
               address.connections >= config_.connections_per_address) {
        session.over_address_limit = true;
        session.turned_away_code = kCodeTooManyConnections;
        limit_log_.Write(Limit::kConnections, false,
                         "LOBBYD: %s has %u connections already; user %u is turned away",
                         AddressText(session.address).c_str(), address.connections, id);
    } else {
        ++address.connections;
    }
    sessions_[id] = session;
}

void LobbyServer::OnLogoff(uint32_t id) {
    EndSession(id);
}

void LobbyServer::OnConnectionLost(uint32_t id) {
    EndSession(id);
}

void LobbyServer::OnUserRemoved(uint32_t id) {
    EndSession(id);
}

void LobbyServer::OnDataRefused(uint32_t sender, uint32_t type) {
    ++refused_messages_;
    auto found = sessions_.find(sender);
    if (found == sessions_.end())
        return;
    Session& session = found->second;
    if (++session.refused != std::max<uint32_t>(config_.refused_messages_max, 1))
        return;
    Expel(session);
    limit_log_.Write(Limit::kRefusedMessages, true,
                     "LOBBYD: user %u addressed %u messages to other users (last of kernel type "
                     "%u); connection closed",
                     sender, session.refused, type);
}

void LobbyServer::EndSession(uint32_t id) {
    auto found = sessions_.find(id);
    if (found == sessions_.end())
        return;
    Session& session = found->second;
    LeaveChannel(session);
    if (!session.over_address_limit) {
        auto address = addresses_.find(session.address);
        if (address != addresses_.end() && address->second.connections > 0)
            --address->second.connections;
    }
    if (session.account) {
        auto online = online_.find(session.account);
        if (online != online_.end() && online->second == id) {
            online_.erase(online);
            // At once, so that the account may log in on another server
            // right away (the front end hands it to the game and back).
            if (clustered()) {
                store_->ReleaseOnline(session.account, number_);
                PublishAll({.kind = ClusterKind::kUserOff, .user = id});
            }
            PresenceChanged(session.account, kFriendUpdate, true);
        }
    }
    rejoin_offered_.erase(id);
    sessions_.erase(found);
}

void LobbyServer::OnDataReceived(uint32_t /*receiver*/, uint32_t sender, uint16_t module_type,
                                 uint16_t sub_type, const uint8_t* data, uint32_t size) {
    auto found = sessions_.find(sender);
    if (found == sessions_.end())
        return;
    Session& session = found->second;
    if (session.dropped || session.closing)
        return;  // on its way out
    if (!WithinBudget(session, sub_type, size))
        return;
    if (module_type != kLobbyModuleType || !data)
        return;
    std::span<const uint8_t> packet(data, size);
    if (session.account == 0) {
        const bool login = sub_type == kPktFirstLogin || sub_type == kPktLogin;
        if (session.answered || !login)
            return;
        if (session.over_address_limit)
            return RefuseLogin(session, sub_type == kPktFirstLogin, session.turned_away_code);
        if (sub_type == kPktFirstLogin)
            HandleFirstLogin(session, packet);
        else
            HandleLogin(session, packet);
        return;
    }
    switch (sub_type) {
        case kPktProfileRequest:
            HandleProfileRequest(session, packet);
            break;
        case kPktProfileUpload:
            HandleProfileUpload(session, packet);
            break;
        case kPktSelectProfile:
            HandleSelectProfile(session, packet);
            break;
        case kPktChannelListRequest:
            // An answer costs little, but a flood of them is all cost: the
            // excess is dropped (the front end asks once per log-in).
            if (Spend(session, session.channel_lists, config_.channel_lists, 1,
                      Limit::kChannelLists, "channel-list requests", false)) {
                SendChannelList(session.id);
            }
            break;
        case kPktJoinChannel:
            HandleJoin(session, packet);
            break;
        case kPktLeaveChannel:
            if (session.channel >= 0) {
                LeaveChannel(session);
                PresenceChanged(session.account, kFriendUpdate);
            }
            break;
        case kPktChatAll:
        case kPktChatPrivate:
            HandleChat(session, sub_type, packet);
            break;
        case kPktGameRegister:
            HandleGameRegister(session, packet);
            break;
        case kPktGameUpdate:
            HandleGameUpdate(session, packet);
            break;
        case kPktGameRemove:
            HandleGameRemove(session, packet);
            break;
        case kPktGameResults:
            HandleGameResults(session, packet);
            break;
        case kPktSeatConfirm:
            HandleSeatConfirm(session, packet);
            break;
        case kPktSocialAction:
        case kPktVisibility:
        case kPktFriendsRequest:
        case kPktPrivateByName:
        case kPktStoredLineDelete:
        case kPktGameFilter:
            HandleSocial(session, sub_type, packet);
            break;
        case kPktPlayerSearch:
            HandlePlayerSearch(session, packet);
            break;
        case kPktClientFeatures:
            if (const auto features = DecodeU32At14(packet))
                session.compact_records = (*features & kFeatureCompactUserRecords) != 0;
            break;
        default:
            break;
    }
}

// [SECTION] Limits

void LobbyServer::Close(Session& session) {
    if (session.closing)
        return;
    session.closing = true;
    CloseConnection(session.id);
}

bool LobbyServer::Spend(Session& session, RateWindow& window, const Budget& budget, uint64_t cost,
                        Limit kind, const char* what, bool close_far_over) {
    if (budget.max == 0 || cost == 0)
        return true;
    const uint64_t used = window.Add(LimitClock::now(), Seconds(budget.seconds), cost);
    if (used <= budget.max)
        return true;
    // Twice the budget is no honest client's doing: the connection goes.
    const bool close = close_far_over && used > 2 * uint64_t(budget.max);
    limit_log_.Write(kind, close, "LOBBYD: user %u (%s) sent %llu %s within %u s (budget %u); %s",
                     session.id, AddressText(session.address).c_str(),
                     static_cast<unsigned long long>(used), what, budget.seconds, budget.max,
                     close ? "connection closed" : "dropped");
    if (close)
        Expel(session);
    return false;
}

// A connection closed for abuse has nothing more to hear: it leaves its
// channel now (the others see it go at once, and stop paying for its share
// of every fan-out), its queue goes with it, and its address waits a while.
void LobbyServer::Expel(Session& session) {
    if (session.closing)
        return;
    session.closing = true;
    LeaveChannel(session);
    CloseWhenDrained(session.id, std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    BanAddress(session.address);
}

// A flooder that reconnects at once would start afresh with every budget:
// its address waits a while instead.
void LobbyServer::BanAddress(uint32_t address_key) {
    if (config_.flood_ban_seconds == 0)
        return;
    addresses_[address_key].banned_until = LimitClock::now() + Seconds(config_.flood_ban_seconds);
}

bool LobbyServer::WithinBudget(Session& session, uint16_t sub_type, uint32_t size) {
    // A profile upload's table size counts as an upload rather than as bytes:
    // an honest log-in sends two of them (10264 bytes each).
    const bool upload = sub_type == kPktProfileUpload;
    const uint32_t upload_size = check_.Size(kPktProfileUpload);
    const uint32_t bytes = upload ? size - std::min(size, upload_size) : size;
    return Spend(session, session.messages, config_.messages, 1, Limit::kMessages, "requests",
                 true) &&
           Spend(session, session.bytes, config_.bytes, bytes, Limit::kBytes, "request bytes",
                 true) &&
           Spend(session, session.uploads, config_.uploads, upload ? 1 : 0, Limit::kUploads,
                 "profile uploads", true);
}

void LobbyServer::RefuseLogin(Session& session, bool first, uint32_t code) {
    session.answered = true;
    SendTo(session.id,
           first ? EncodeU32Body(check_, kPktResult, code) : EncodeLoginResult(check_, code, 0));
    Close(session);
}

void LobbyServer::RefuseBanned(Session& session, bool first, const Sanction& ban) {
    SendTo(session.id, EncodeNotice(check_, kPktLoginRefused,
                                    {kCodeBanned, SecondsLeft(ban.expires), ban.reason}));
    RefuseLogin(session, first, kCodeBanned);
}

void LobbyServer::NoteFailedLogin(uint32_t address_key) {
    if (config_.failed_logins_max == 0)
        return;
    const auto now = LimitClock::now();
    const auto lockout = Seconds(config_.failed_logins_lockout);
    Address& address = addresses_[address_key];
    const uint64_t failed = address.failed_logins.Add(now, lockout);
    if (failed <= config_.failed_logins_max || now < address.locked_until)
        return;
    address.locked_until = now + lockout;
    limit_log_.Write(Limit::kFailedLogins, false,
                     "LOBBYD: %llu failed log-ins from %s; its log-ins are refused for %u s",
                     static_cast<unsigned long long>(failed), AddressText(address_key).c_str(),
                     uint32_t(lockout.count()));
}

void LobbyServer::Sweep() {
    const auto now = LimitClock::now();
    if (now < next_sweep_)
        return;
    next_sweep_ = now + kSweepInterval;
    for (auto& [id, session] : sessions_) {
        if (session.account != 0 || session.closing)
            continue;
        const auto waited = now - session.since;
        if (session.over_address_limit && waited >= kOverLimitGrace) {
            Close(session);
        } else if (config_.login_deadline != 0 &&
                   waited >= std::chrono::seconds(config_.login_deadline)) {
            limit_log_.Write(Limit::kLoginDeadline, true,
                             "LOBBYD: user %u (%s) did not log in within %u s; connection closed",
                             id, AddressText(session.address).c_str(), config_.login_deadline);
            Close(session);
        }
    }
    // An address is forgotten once nothing about it counts any more.
    const auto lockout = Seconds(config_.failed_logins_lockout);
    for (auto it = addresses_.begin(); it != addresses_.end();) {
        const Address& address = it->second;
        const bool idle = address.connections == 0 &&
                          address.accounts.Used(now, std::chrono::hours(1)) == 0 &&
                          address.failed_logins.Used(now, lockout) == 0 &&
                          now >= address.locked_until && now >= address.banned_until;
        it = idle ? addresses_.erase(it) : std::next(it);
    }
}

// [SECTION] Accounts

LobbyServer::Session* LobbyServer::SessionOf(uint32_t user, uint64_t serial) {
    auto found = sessions_.find(user);
    return found != sessions_.end() && found->second.serial == serial ? &found->second : nullptr;
}

void LobbyServer::HandleFirstLogin(Session& session, std::span<const uint8_t> packet) {
    const auto request = DecodeLogin(packet, true);
    if (!request)
        return;
    session.answered = true;
    uint32_t code = kCodeOk;
    if (config_.check_version &&
        (request->fixed_a != kLoginFixedA || request->fixed_b != kLoginFixedB)) {
        code = kCodeWrongVersion;
    } else if (!IsValidName(request->user)) {
        code = kCodeUserExists;  // the name cannot be had; the player picks another
    } else if (request->password.empty()) {
        code = kCodeInternal;
    }
    if (code == kCodeOk && !ClusterReady())
        code = kCodeClusterUnavailable;
    if (code != kCodeOk) {
        Log(kLogInfo, "LOBBYD: account creation for \"%s\": %u", Printable(request->user).c_str(),
            code);
        return RefuseLogin(session, true, code);
    }
    if (const auto ban = store_->FindSanction(SanctionKind::kBan, 0, session.address, WallNow()))
        return RefuseBanned(session, true, *ban);
    // An account being created counts at once, so that parallel requests
    // cannot pass the limit; a creation that fails gives its place back.
    const auto now = LimitClock::now();
    Address& address = addresses_[session.address];
    if (config_.accounts_per_address != 0 &&
        address.accounts.Used(now, std::chrono::hours(1)) >= config_.accounts_per_address) {
        limit_log_.Write(Limit::kAccounts, false,
                         "LOBBYD: %s created %u accounts within the hour; \"%s\" refused",
                         AddressText(session.address).c_str(), config_.accounts_per_address,
                         Printable(request->user).c_str());
        return RefuseLogin(session, true, kCodeTooManyAccounts);
    }
    address.accounts.Add(now, std::chrono::hours(1));
    // Hashing takes a while: it runs on a worker, the insert back here.
    const bool queued = workers_->Submit([this, user = session.id, serial = session.serial,
                                          address = session.address, request = *request] {
        std::string hash = store_->HashPassword(request.password);
        return [this, user, serial, address, name = request.user, email = request.email,
                hash = std::move(hash)] {
            FinishFirstLogin(user, serial, address, name, email, hash);
        };
    });
    if (!queued) {
        address.accounts.Return();
        limit_log_.Write(Limit::kHashQueue, false,
                         "LOBBYD: %u password checks waiting; account creation for \"%s\" told to "
                         "try again",
                         config_.hash_queue_max, Printable(request->user).c_str());
        RefuseLogin(session, true, kCodeInternal);
    }
}

void LobbyServer::FinishFirstLogin(uint32_t user, uint64_t serial, uint32_t address,
                                   const std::string& name, const std::string& email,
                                   const std::string& hash) {
    uint32_t account = 0;
    uint32_t code = kCodeInternal;
    switch (store_->InsertAccount(name, hash, email, &account)) {
        case StoreResult::kOk:
            code = kCodeOk;
            break;
        case StoreResult::kExists:
            code = kCodeUserExists;
            break;
        default:
            code = kCodeInternal;
            break;
    }
    Log(kLogInfo, "LOBBYD: account creation for \"%s\": %u", Printable(name).c_str(), code);
    if (code != kCodeOk) {
        auto found = addresses_.find(address);
        if (found != addresses_.end())
            found->second.accounts.Return();
    }
    if (Session* session = SessionOf(user, serial))
        RefuseLogin(*session, true, code);
}

void LobbyServer::HandleLogin(Session& session, std::span<const uint8_t> packet) {
    const auto request = DecodeLogin(packet, false);
    if (!request)
        return;
    session.answered = true;
    session.login_asked = std::chrono::steady_clock::now();
    const auto found = addresses_.find(session.address);
    if (found != addresses_.end() && LimitClock::now() < found->second.locked_until) {
        limit_log_.Write(Limit::kFailedLogins, false,
                         "LOBBYD: log-in of \"%s\" from %s refused: locked",
                         Printable(request->user).c_str(), AddressText(session.address).c_str());
        return RefuseLogin(session, false, kCodeAddressLocked);
    }
    // Without the others, this server cannot tell whether the account is on
    // elsewhere, nor show its users to the cluster.
    if (!ClusterReady()) {
        Log(kLogInfo, "LOBBYD: log-in of \"%s\" refused: the cluster is out of reach",
            Printable(request->user).c_str());
        return RefuseLogin(session, false, kCodeClusterUnavailable);
    }
    // A banned address costs no password check.
    if (const auto ban = store_->FindSanction(SanctionKind::kBan, 0, session.address, WallNow()))
        return RefuseBanned(session, false, *ban);
    uint32_t code = kCodeOk;
    uint32_t account = 0;
    std::string hash;
    if (config_.check_version &&
        (request->fixed_a != kLoginFixedA || request->fixed_b != kLoginFixedB)) {
        code = kCodeWrongVersion;
    } else {
        switch (store_->FindAccount(request->user, &account, &hash)) {
            case StoreResult::kOk:
                break;
            case StoreResult::kUnknown:
                code = kCodeUnknownUser;
                break;
            default:
                code = kCodeInternal;
                break;
        }
    }
    if (code != kCodeOk) {
        FinishLogin(session.id, session.serial, session.address, request->user, 0, code);
        return;
    }
    const bool queued = workers_->Submit(
        [this, user = session.id, serial = session.serial, address = session.address,
         name = request->user, password = request->password, account, hash = std::move(hash)] {
            const uint32_t code =
                LobbyStore::VerifyPassword(hash, password) ? kCodeOk : kCodeWrongPassword;
            return [this, user, serial, address, name, account, code] {
                FinishLogin(user, serial, address, name, account, code);
            };
        });
    if (!queued) {
        limit_log_.Write(Limit::kHashQueue, false,
                         "LOBBYD: %u password checks waiting; log-in of \"%s\" told to try again",
                         config_.hash_queue_max, Printable(request->user).c_str());
        FinishLogin(session.id, session.serial, session.address, request->user, 0, kCodeInternal);
    }
}

void LobbyServer::FinishLogin(uint32_t user, uint64_t serial, uint32_t address,
                              const std::string& name, uint32_t account, uint32_t code) {
    // A failure counts even when its connection has gone meanwhile.
    if (code == kCodeWrongPassword || code == kCodeUnknownUser)
        NoteFailedLogin(address);
    Session* session = SessionOf(user, serial);
    if (!session)
        return;
    if (code == kCodeOk && online_.count(account))
        code = kCodeAlreadyOnline;
    // Only who knows the password learns why the account is banned.
    if (code == kCodeOk) {
        if (const auto ban =
                store_->FindSanction(SanctionKind::kBan, account, session->address, WallNow())) {
            ++login_failures_;
            Log(kLogInfo, "LOBBYD: log-in of \"%s\": banned", Printable(name).c_str());
            return RefuseBanned(*session, false, *ban);
        }
    }
    // The store holds who is on where: one log-in per account in the cluster.
    if (code == kCodeOk && clustered()) {
        const int64_t now = WallNow();
        switch (store_->ClaimOnline(account, number_, now, now - kClusterExpiryMs / 1000)) {
            case StoreResult::kOk:
                break;
            case StoreResult::kExists:
                code = kCodeAlreadyOnline;
                break;
            default:
                code = kCodeClusterUnavailable;
                break;
        }
    }
    login_latency_.Add(std::chrono::steady_clock::now() - session->login_asked);
    ++(code == kCodeOk ? logins_ : login_failures_);
    Log(kLogInfo, "LOBBYD: log-in of \"%s\": %u", Printable(name).c_str(), code);
    if (code != kCodeOk)
        return RefuseLogin(*session, false, code);
    session->account = account;
    session->name = store_->AccountName(account);
    if (session->name.empty())
        session->name = name;
    online_[account] = user;
    SendTo(user, EncodeLoginResult(check_, kCodeOk, account));
    if (clustered())
        PublishAll(UserMessage(*session));
    SendAwayNews(*session);
    OfferRejoin(*session);
    PresenceChanged(account, kFriendCameOnline);
}

// [SECTION] Profiles

void LobbyServer::HandleProfileRequest(Session& session, std::span<const uint8_t> packet) {
    const auto request = DecodeProfileRequest(packet);
    if (!request || request->permid != session.account || request->number < 1 ||
        request->number > 4) {
        return;
    }
    ProfilePacket body;
    body.permid = session.account;
    body.number = request->number;
    const bool present = store_->LoadProfile(session.account, request->number, &body.profile);
    body.length = present ? int32_t(kProfileSize) : 0;
    SendTo(session.id, EncodeProfilePacket(check_, kPktProfile, body));
}

void LobbyServer::HandleProfileUpload(Session& session, std::span<const uint8_t> packet) {
    const auto body = DecodeProfilePacket(packet);
    if (!body || body->permid != session.account || body->number < 1 || body->number > 4)
        return;
    if (body->length == 0) {
        store_->ClearProfile(session.account, body->number);
    } else if (body->length == int32_t(kProfileSize) &&
               IsValidName(GetText(body->profile, kProfName, kNameWidth)) &&
               GetU16(body->profile, kProfActive) != 0) {
        store_->StoreProfile(session.account, body->number, body->profile);
    } else {
        return;
    }
    if (session.profile == body->number) {
        if (!store_->LoadProfile(session.account, session.profile, &session.profile_data)) {
            session.profile = 0;
        }
    }
}

void LobbyServer::HandleSelectProfile(Session& session, std::span<const uint8_t> packet) {
    const auto number = DecodeU16At14(packet);
    if (!number)
        return;
    net::Profile profile;
    if (*number < 1 || *number > 4 || !store_->LoadProfile(session.account, *number, &profile)) {
        SendResult(session.id, kCodeRefused);
        return;
    }
    session.profile = *number;
    session.profile_data = profile;
    SendResult(session.id, kCodeOk);
}

// [SECTION] Channels

void LobbyServer::SendChannelList(uint32_t user) {
    std::vector<ChannelEntry> entries;
    for (const Channel& channel : channels_) {
        ChannelEntry entry;
        entry.name = channel.config.name;
        entry.flags = channel.config.flags;
        entry.number = channel.number;
        entry.players =
            uint16_t(std::min<size_t>(channel.members.size() + channel.remote.size(), 0xFFFF));
        entry.games = uint16_t(std::min<size_t>(channel.games.size(), 0xFFFF));
        entries.push_back(entry);
    }
    SendTo(user, EncodeChannelList(check_, entries));
}

std::vector<uint8_t> LobbyServer::UserRecordOf(const Session& session, bool compact) const {
    return EncodeUserRecord(check_, session.id, session.account, session.profile_data, compact,
                            session.name);
}

std::optional<std::vector<uint8_t>> LobbyServer::MemberRecord(uint32_t member, int channel,
                                                              bool compact) const {
    if (const auto local = sessions_.find(member); local != sessions_.end()) {
        if (local->second.channel == channel)
            return UserRecordOf(local->second, compact);
    } else if (const auto remote = remote_.find(member); remote != remote_.end()) {
        const RemoteUser& user = remote->second;
        if (user.channel == channel)
            return EncodeUserRecord(check_, user.id, user.account, user.profile, compact,
                                    user.name);
    }
    return std::nullopt;
}

int LobbyServer::ChannelOfMember(uint32_t member) const {
    if (const auto local = sessions_.find(member); local != sessions_.end())
        return local->second.channel;
    const auto remote = remote_.find(member);
    return remote != remote_.end() ? remote->second.channel : -1;
}

void LobbyServer::SendRecordToMany(const std::vector<uint32_t>& users, uint32_t id,
                                   uint32_t account, const Profile& profile,
                                   const std::string& name) {
    std::vector<uint32_t> compact;
    std::vector<uint32_t> whole;
    for (uint32_t user : users) {
        auto found = sessions_.find(user);
        (found != sessions_.end() && found->second.compact_records ? compact : whole)
            .push_back(user);
    }
    if (!compact.empty())
        SendToMany(compact, EncodeUserRecord(check_, id, account, profile, true, name));
    if (!whole.empty())
        SendToMany(whole, EncodeUserRecord(check_, id, account, profile, false, name));
}

void LobbyServer::HandleJoin(Session& session, std::span<const uint8_t> packet) {
    const auto number = DecodeU16At14(packet);
    if (!number)
        return;
    auto target = std::find_if(channels_.begin(), channels_.end(),
                               [&](const Channel& c) { return c.number == *number; });
    const bool full = target != channels_.end() && config_.channel_max_users != 0 &&
                      target->members.size() + target->remote.size() >= config_.channel_max_users;
    if (session.profile == 0 || target == channels_.end() || full ||
        !Spend(session, session.joins, config_.joins, 1, Limit::kJoins, "joins", false)) {
        SendResult(session.id, kCodeJoinFailed);
        return;
    }
    Channel& channel = *target;
    const int index = int(target - channels_.begin());
    // Joining the channel one is in again refreshes one's own lists; the others
    // hear of it only when they do not know this profile yet.
    const bool again = session.channel == index;
    if (!again) {
        LeaveChannel(session);
        session.channel = index;
        channel.members.push_back(session.id);
    }
    if (!SendTo(session.id, EncodeU16Body(check_, kPktChannelEntered, channel.number)))
        return;
    // The member records (the joiner's own among them) and then the games
    // follow in slices as the joiner reads them.
    session.stream = channel.members;
    session.stream.insert(session.stream.end(), channel.remote.begin(), channel.remote.end());
    session.stream_next = 0;
    session.history_before = channel.history_next;
    streaming_.insert(session.id);
    if (!again || session.joined_profile != session.profile) {
        std::vector<uint32_t> others = channel.members;
        Remove(others, session.id);
        SendRecordToMany(others, session.id, session.account, session.profile_data, session.name);
        session.joined_profile = session.profile;
        if (clustered())
            PublishChannel(channel.number, UserMessage(session));
    }
    TNS_QUEUE_STATE state;
    ContinueStream(session, QueueState(session.id, &state) ? state.bytes : 0);
    if (!again)
        PresenceChanged(session.account, kFriendUpdate);
}

void LobbyServer::ContinueStream(Session& session, uint64_t queued) {
    if (session.channel < 0 || session.dropped)
        return StopStream(session);
    while (queued < kStreamLowWater && session.stream_next < session.stream.size()) {
        std::vector<std::vector<uint8_t>> slice;
        while (slice.size() < kStreamSlice && session.stream_next < session.stream.size()) {
            const uint32_t member = std::exchange(session.stream[session.stream_next++], 0);
            if (member == 0)
                continue;
            if (auto record = MemberRecord(member, session.channel, session.compact_records))
                slice.push_back(std::move(*record));
        }
        for (const auto& packet : slice) queued += packet.size();
        if (!slice.empty())
            SendAllTo(session.id, slice);
        if (session.dropped)
            return;
    }
    if (session.stream_next < session.stream.size())
        return;
    // The games, then the channel's last lines.
    std::vector<std::vector<uint8_t>> rest;
    for (const Game& game : channels_[size_t(session.channel)].games) {
        rest.push_back(EncodeGameRecord(check_, kPktGameAdded, game.record));
    }
    AppendHistory(session, rest);
    StopStream(session);
    if (!rest.empty())
        SendAllTo(session.id, rest);
}

void LobbyServer::StopStream(Session& session) {
    session.stream.clear();
    session.stream_next = 0;
    streaming_.erase(session.id);
}

void LobbyServer::BringForward(uint32_t member, uint32_t only) {
    if (streaming_.empty())
        return;
    const int channel = ChannelOfMember(member);
    if (channel < 0)
        return;
    const std::vector<uint32_t> joiners(streaming_.begin(), streaming_.end());
    for (uint32_t id : joiners) {
        auto joiner = sessions_.find(id);
        if ((only != 0 && id != only) || joiner == sessions_.end() ||
            joiner->second.channel != channel) {
            continue;
        }
        Session& waiting = joiner->second;
        auto pending = std::find(waiting.stream.begin() + std::ptrdiff_t(waiting.stream_next),
                                 waiting.stream.end(), member);
        if (pending == waiting.stream.end())
            continue;
        *pending = 0;
        if (auto record = MemberRecord(member, channel, waiting.compact_records))
            SendTo(id, *record);
    }
}

void LobbyServer::LeaveChannel(Session& session) {
    StopStream(session);
    if (session.channel < 0 || size_t(session.channel) >= channels_.size())
        return;
    RemoveGamesOf(session);
    Channel& channel = channels_[size_t(session.channel)];
    Remove(channel.members, session.id);
    session.channel = -1;
    SendToMany(channel.members, EncodeU32Body(check_, kPktUserLeft, session.id));
    if (clustered())
        PublishChannel(
            channel.number,
            {.kind = ClusterKind::kUserLeft, .user = session.id, .channel = channel.number});
}

// [SECTION] Chat

bool LobbyServer::TakeChatToken(Session& session) {
    const auto now = std::chrono::steady_clock::now();
    const double rate = config_.chat_lines_per_second;
    if (rate <= 0)
        return true;
    const double elapsed = std::chrono::duration<double>(now - session.chat_refill).count();
    session.chat_refill = now;
    session.chat_tokens = std::min(rate, session.chat_tokens + elapsed * rate);
    if (session.chat_tokens < 1.0)
        return false;
    session.chat_tokens -= 1.0;
    return true;
}

void LobbyServer::HandleChat(Session& session, uint16_t id, std::span<const uint8_t> packet) {
    if (session.channel < 0 || packet.size() < 18)
        return;
    const auto chat = DecodeChat(packet);
    if (!chat || chat->text.empty())
        return;
    if (const Sanction* mute = MuteOf(session.account)) {
        SendTo(session.id, EncodeNotice(check_, kPktNotice,
                                        {kNoticeMuted, SecondsLeft(mute->expires), mute->reason}));
        return;
    }
    if (!TakeChatToken(session)) {
        limit_log_.Write(Limit::kChat, false,
                         "LOBBYD: user %u (%s) chats faster than %u lines a second", session.id,
                         AddressText(session.address).c_str(), config_.chat_lines_per_second);
        return;
    }
    Channel& channel = channels_[size_t(session.channel)];
    ChatPacket out{int32_t(session.id), chat->text};
    ++chat_lines_;
    chat_bytes_ += chat->text.size();
    if (id == kPktChatAll) {
        RecordHistory(channel, session.account, session.name, chat->text);
        // One message for the other servers, whatever their members: each
        // keeps the channel's history.
        if (clustered() && !peers_.empty())
            PublishChannel(channel.number, {.kind = ClusterKind::kChat,
                                            .user = session.id,
                                            .channel = channel.number,
                                            .text = chat->text});
        BringForward(session.id);
        const auto start = std::chrono::steady_clock::now();
        SendToMany(channel.members, EncodeChat(check_, kPktChatAllReceived, out));
        fanout_latency_.Add(std::chrono::steady_clock::now() - start);
        return;
    }
    const uint32_t target = uint32_t(chat->user);
    if (std::find(channel.members.begin(), channel.members.end(), target) ==
        channel.members.end()) {
        // A member on another server gets the line from its own server.
        const auto remote = remote_.find(target);
        if (remote != remote_.end() && remote->second.channel == session.channel) {
            PublishTo(remote->second.server, {.kind = ClusterKind::kPrivate,
                                              .user = session.id,
                                              .target = target,
                                              .channel = channel.number,
                                              .text = chat->text});
        }
        return;
    }
    BringForward(session.id, target);
    SendTo(target, EncodeChat(check_, kPktChatPrivateReceived, out));
}

// [SECTION] Games

LobbyServer::Game* LobbyServer::OwnGame(Session& session, uint32_t game_id) {
    Game* game = GameInChannel(session, game_id);
    return game && game->host == session.id ? game : nullptr;
}

LobbyServer::Game* LobbyServer::GameInChannel(Session& session, uint32_t game_id) {
    if (session.channel < 0)
        return nullptr;
    for (Game& game : channels_[size_t(session.channel)].games) {
        if (game.id == game_id)
            return &game;
    }
    return nullptr;
}

LobbyServer::Seat* LobbyServer::FindSeat(Game& game, uint32_t account) {
    auto seat = std::find_if(game.seats.begin(), game.seats.end(),
                             [&](const Seat& s) { return s.account == account; });
    return seat != game.seats.end() ? &*seat : nullptr;
}

bool LobbyServer::SeatedAnywhere(uint32_t account) {
    for (Channel& channel : channels_) {
        for (Game& game : channel.games) {
            if (FindSeat(game, account))
                return true;
        }
    }
    return false;
}

uint32_t LobbyServer::GameClockMs() const {
    return (game_clock_ ? *game_clock_ : baselib::SteadyClock()).NowMs();
}

void LobbyServer::HandleGameRegister(Session& session, std::span<const uint8_t> packet) {
    auto refuse = [&] {
        SendTo(session.id, EncodeGameRegistered(check_, {0, uint16_t(kCodeRefused)}));
    };
    const auto record = DecodeGameRecord(packet);
    if (!record || session.channel < 0)
        return refuse();
    Channel& channel = channels_[size_t(session.channel)];
    const size_t hosted =
        size_t(std::count_if(channel.games.begin(), channel.games.end(),
                             [&](const Game& g) { return g.host == session.id; }));
    if (!(channel.config.flags & kChannelGames) || hosted >= config_.games_per_host) {
        return refuse();
    }
    Game game;
    game.record = *record;
    game.record[kGameName + kGameNameWidth - 1] = 0;
    game.id = NextGameId();
    game.host = session.id;
    game.started_ms = GameClockMs();
    game.seats.push_back({session.account, session.profile, false});
    // The server states who hosts the game and under which identifier.
    const std::array<uint8_t, 4> address = PeerAddress(session.id);
    std::copy(address.begin(), address.end(), game.record.begin() + kGameAddress);
    PutU32(game.record, kGameId, game.id);
    channel.games.push_back(game);
    SendTo(session.id, EncodeGameRegistered(check_, {game.id, uint16_t(kCodeOk)}));
    SendToMany(channel.members, EncodeGameRecord(check_, kPktGameAdded, game.record));
    if (clustered())
        PublishChannel(channel.number, GameMessage(channel, game));
    AlertFilters(channel, game);
    session.in_game = true;
    session.game_name = GameRecordName(game.record);
    PresenceChanged(session.account, kFriendOpenedGame, true);
}

void LobbyServer::HandleGameUpdate(Session& session, std::span<const uint8_t> packet) {
    const auto record = DecodeGameRecord(packet);
    if (!record)
        return;
    Game* game = OwnGame(session, GameRecordId(*record));
    if (!game)
        return SendResult(session.id, kCodeRefused);
    const std::array<uint8_t, 4> address = PeerAddress(session.id);
    game->record = *record;
    game->record[kGameName + kGameNameWidth - 1] = 0;
    std::copy(address.begin(), address.end(), game->record.begin() + kGameAddress);
    PutU32(game->record, kGameId, game->id);
    const Channel& channel = channels_[size_t(session.channel)];
    SendToMany(channel.members, EncodeGameRecord(check_, kPktGameChanged, game->record));
    if (clustered())
        PublishChannel(channel.number, GameMessage(channel, *game));
}

void LobbyServer::HandleGameRemove(Session& session, std::span<const uint8_t> packet) {
    const auto game_id = DecodeU32At14(packet);
    if (!game_id)
        return;
    Game* game = OwnGame(session, *game_id);
    if (!game)
        return SendResult(session.id, kCodeRefused);
    Channel& channel = channels_[size_t(session.channel)];
    const GameRecord record = game->record;
    channel.games.erase(channel.games.begin() + (game - channel.games.data()));
    SendToMany(channel.members, EncodeGameRecord(check_, kPktGameRemoved, record));
    if (clustered())
        PublishChannel(
            channel.number,
            {.kind = ClusterKind::kGameRemoved, .channel = channel.number, .game = *game_id});
    WithdrawRejoinOffers();
}

void LobbyServer::RemoveGamesOf(Session& session) {
    if (session.channel < 0)
        return;
    Channel& channel = channels_[size_t(session.channel)];
    for (size_t i = 0; i < channel.games.size();) {
        if (channel.games[i].host != session.id) {
            ++i;
            continue;
        }
        const GameRecord record = channel.games[i].record;
        const uint32_t game_id = channel.games[i].id;
        channel.games.erase(channel.games.begin() + std::ptrdiff_t(i));
        SendToMany(channel.members, EncodeGameRecord(check_, kPktGameRemoved, record));
        if (clustered())
            PublishChannel(
                channel.number,
                {.kind = ClusterKind::kGameRemoved, .channel = channel.number, .game = game_id});
    }
    WithdrawRejoinOffers();
}

void LobbyServer::HandleSeatConfirm(Session& session, std::span<const uint8_t> packet) {
    const auto game_id = DecodeSeatConfirm(packet);
    if (!game_id)
        return;
    uint16_t code = uint16_t(kCodeRefused);
    Game* game = GameInChannel(session, *game_id);
    if (game && session.profile != 0) {
        Seat* seat = FindSeat(*game, session.account);
        const uint16_t max_players = GetU16(game->record, kGameMaxPlayers);
        const bool full = max_players != 0 && game->seats.size() >= max_players;
        if (seat) {
            // Confirming again (a game program that logged in anew, one that
            // rejoins after its predecessor went away) changes nothing.
            if (seat->profile == session.profile) {
                code = uint16_t(kCodeOk);
                if (!session.in_game)
                    Log(kLogInfo, "LOBBYD: account %u back in its seat in game %u", session.account,
                        game->id);
            }
        } else if (!full && !SeatedAnywhere(session.account)) {
            game->seats.push_back({session.account, session.profile, false});
            code = uint16_t(kCodeOk);
            Log(kLogInfo, "LOBBYD: account %u seated in game %u", session.account, game->id);
            // The host's server takes the results; every server keeps the
            // seat, so that an account sits in one game across the cluster.
            if (clustered())
                PublishChannel(channels_[size_t(session.channel)].number,
                               {.kind = ClusterKind::kSeat,
                                .account = session.account,
                                .channel = channels_[size_t(session.channel)].number,
                                .profile_number = session.profile,
                                .game = game->id});
        }
    }
    SendTo(session.id, EncodeSeatAnswer(check_, {*game_id, code}));
    if (code == kCodeOk && !session.in_game) {
        session.in_game = true;
        session.game_name = GameRecordName(game->record);
        PresenceChanged(session.account, kFriendUpdate, true);
    }
}

void LobbyServer::HandleGameResults(Session& session, std::span<const uint8_t> packet) {
    const auto reported = DecodeGameResults(packet);
    if (!reported)
        return;
    Game* game = OwnGame(session, reported->game_id);
    // A count of entries the packet does not hold refuses the whole report.
    if (!game || reported->announced == 0 || reported->entries.size() < reported->announced) {
        return SendResult(session.id, kCodeRefused);
    }
    // Register, report, remove and again would otherwise farm scores.
    const uint32_t ran_ms = GameClockMs() - game->started_ms;
    if (uint64_t(ran_ms) < uint64_t(config_.game_min_seconds) * 1000)
        return SendResult(session.id, kCodeRefused);
    std::vector<PlayerResult> results;
    std::vector<Seat*> seats;
    for (const GameResultEntry& entry : reported->entries) {
        // Only a player who confirmed a seat here, with the profile it plays,
        // and only once: a host cannot score anybody else.
        Seat* seat = FindSeat(*game, entry.account);
        const bool seated = seat && !seat->reported && seat->profile == entry.profile &&
                            std::find(seats.begin(), seats.end(), seat) == seats.end();
        const bool valid = seated && entry.profile >= 1 && entry.profile <= 4 &&
                           entry.outcome >= 1 && entry.outcome <= 3 &&
                           entry.score >= -kMaxScorePerGame && entry.score <= kMaxScorePerGame;
        if (!valid)
            return SendResult(session.id, kCodeRefused);
        seats.push_back(seat);
        results.push_back({entry.account, entry.profile, GameOutcome(entry.outcome), entry.score});
    }
    if (!store_->ApplyResults(results, GameRecordName(game->record), WallNow()))
        return SendResult(session.id, kCodeRefused);
    for (Seat* seat : seats) seat->reported = true;
    WithdrawRejoinOffers();
    // Online players see their new figures in the records they send from now on.
    for (const PlayerResult& result : results) {
        // The player may be on another server, or log in there next: its
        // seat there is reported too.
        if (clustered())
            PublishAll({.kind = ClusterKind::kStats, .account = result.account});
        auto online = online_.find(result.account);
        if (online == online_.end())
            continue;
        Session& player = sessions_[online->second];
        if (player.profile == result.profile) {
            store_->LoadProfile(player.account, player.profile, &player.profile_data);
        }
    }
    SendResult(session.id, kCodeOk);
}

}  // namespace vorlane::server
