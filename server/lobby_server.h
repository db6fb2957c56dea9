// LobbyServer: the lobby protocol answered from the server side, on the
// network kernel in server mode (TNS_CONTROL, mode 2).
//
// A session exists for every kernel user that logged on. Its account is 0
// until a lobby log-in (packet 2) succeeded; until then only packets 1 and 2
// are answered. Every identifier a peer names (permanent identifier, profile
// number, game identifier, chat target) is checked against the session's own
// account, games and channel before use.
//
// Session life:
//   kernel log-on -> session (no account)
//     -- 1 first log-in --> result 15 -> connection closed
//     -- 2 log-in, refused --> result 16 -> connection closed
//     -- 2 log-in, accepted --> account set -> profiles, channels, chat, games
//   kernel removal / connection lost -> leaves its channel, its games go away
//
// Lobby traffic goes client -> server -> clients only: the kernel's relay is
// off, and what a client addresses to another user is dropped and counted.
//
// A game keeps its seats: the accounts (with the profile they play) whose
// game program confirmed it plays there, the host's from the registration.
// Results count only for seated accounts, once each, from the game's host,
// and only after the game has run game_min_seconds. A seat is kept when its
// player's connection goes (the host may still report a disconnect) and ends
// with the game; an account sits in one game at a time. A player whose game
// program went away meanwhile is offered the game at its next lobby log-in
// (lobby_rejoin.cpp), and its new game program confirms the same seat.
//
// Every limit (budgets of a connection, limits of an address, the log-in
// deadline, the password queue) is a configuration value; each reports
// through one LimitLog when it bites.
//
// With a bus the server is one of a cluster (lobby_cluster.cpp): Start claims
// a server number in the store, which sets the ranges of its user and game
// identifiers, and opens the bus. What its sessions do in a channel goes out
// on the bus once; what other servers' users do comes in (taken in batches
// by Pump, whose wait the bus ends) and reaches this server's members as if
// they were its own. Other servers' users and games are kept in remote_ and
// in each channel's remote list and games, confirmed by state streams and
// dropped when their server is silent for kClusterExpiryMs. One log-in per
// account holds through the store; without bus or store, log-ins are refused
// with kCodeClusterUnavailable and the server's own users chat on. The bus
// must outlive the server.
//
// The operator acts through the admin socket (OpenAdmin; the commands are in
// lobby_admin.cpp), polled on the protocol thread like everything else that
// changes the lobby. Bans and mutes live in the store and end by themselves:
// a ban is looked up at each log-in, a mute (kept in memory too, since chat
// must not wait for the disk) at each chat line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "baselib/timer.h"
#include "net/lobby_packets.h"
#include "net/social_packets.h"
#include "net/tns_control.h"
#include "server/admin_socket.h"
#include "server/audit_log.h"
#include "server/budgets.h"
#include "server/cluster_messages.h"
#include "server/lobby_bus.h"
#include "server/lobby_channels.h"
#include "server/lobby_config.h"
#include "server/lobby_status.h"
#include "server/lobby_store.h"
#include "server/password_workers.h"

namespace vorlane::server {

// Result codes of packet 15 that the server uses beyond the log-in codes.
constexpr uint32_t kCodeOk = 0;
constexpr uint32_t kCodeWrongVersion = 1;
constexpr uint32_t kCodeWrongPassword = 8;
constexpr uint32_t kCodeUnknownUser = 9;
constexpr uint32_t kCodeUserExists = 10;
constexpr uint32_t kCodeAlreadyOnline = 11;
constexpr uint32_t kCodeInternal = 15;
constexpr uint32_t kCodeJoinFailed = 20;
constexpr uint32_t kCodeRefused = 21;
// Log-in refused: too many failed log-ins came from the address lately.
constexpr uint32_t kCodeAddressLocked = 22;
// Log-in or first log-in refused: the address has too many connections.
constexpr uint32_t kCodeTooManyConnections = 23;
// First log-in refused: the address created too many accounts lately.
constexpr uint32_t kCodeTooManyAccounts = 24;
// Log-in or first log-in refused: a connection from the address was closed
// for flooding a moment ago (flood_ban_seconds).
constexpr uint32_t kCodeAddressBanned = 25;
// Log-in or first log-in refused: the account or the address is banned
// (packet 49 with the reason and the time left comes first).
constexpr uint32_t kCodeBanned = 26;

// Log-in or first log-in refused: the server has lost the bus or the store
// of its cluster (it comes back by itself).
constexpr uint32_t kCodeClusterUnavailable = 27;

constexpr int32_t kMaxScorePerGame = 1000;

// The servers of a cluster: how many numbers there are, and how far apart
// the kernel identifiers of two servers start (server N hands out
// N * kClusterIdStride + 1 ..). Identifiers stay below 2^31 and far below
// the kernel's reserved ones.
constexpr uint16_t kClusterServersMax = 1024;
constexpr uint32_t kClusterIdStride = 0x10000;
// A server not heard of for this long is gone (its heartbeat comes every
// kClusterHeartbeatMs, on the bus and in the store alike).
constexpr uint32_t kClusterHeartbeatMs = 4000;
constexpr uint32_t kClusterExpiryMs = 12000;
// What a server of a cluster subscribes to on the bus: one subscription, so
// that the messages of one server arrive in the order it sent them.
constexpr const char* kClusterSubjects = "vorlane.lobby.>";

class LobbyServer : public TNS_CONTROL {
  public:
    // `bus` (not owned; null or a NullBus for a server alone) joins the
    // server to a cluster: Start claims a server number in the store and
    // opens the bus.
    LobbyServer(LobbyStore* store, const LobbyConfig& config, LobbyBus* bus = nullptr);
    ~LobbyServer() override;

    // Starts the kernel in server mode (with its TLS identity when the
    // kernel's tls is on, see server_tls.h). 1 or -1.
    int16_t Start(const char* log_dir);
    // After Start: whether a self-signed certificate was made, and why the
    // TLS identity could not be loaded.
    bool tls_created() const { return tls_created_; }
    const std::string& tls_error() const { return tls_error_; }
    // After a failed Start: what did not start, for the operator.
    const std::string& start_error() const { return start_error_; }
    // Runs kernel steps until no message is waiting or `budget` steps ran;
    // waits up to `wait_ms` for one first.
    void Pump(uint32_t wait_ms, int budget = 256);

    // Kernel hooks.
    void OnLogon(uint32_t id) override;
    // A client that logs off is gone at once: its account may log in again
    // right away (a game host hands the account back to the front end).
    void OnLogoff(uint32_t id) override;
    void OnConnectionLost(uint32_t id) override;
    void OnUserRemoved(uint32_t id) override;
    void OnDataReceived(uint32_t receiver, uint32_t sender, uint16_t module_type, uint16_t sub_type,
                        const uint8_t* data, uint32_t size) override;
    // A client addressed data, a file or group data to someone other than
    // the server: the kernel dropped it; repeated attempts close the connection.
    void OnDataRefused(uint32_t sender, uint32_t type) override;
    void SrvTick() override;

    // Introspection for tests and the load tool.
    size_t session_count() const { return sessions_.size(); }
    // The server's number in its cluster (0: alone, or not started).
    uint16_t server_number() const { return number_; }
    size_t channel_members(size_t channel) const;
    size_t game_count() const;
    // Client messages dropped because they were addressed to other users.
    uint64_t refused_messages() const { return refused_messages_.load(); }
    // Connections closed because their reader fell behind.
    uint64_t slow_readers() const { return slow_readers_.load(); }
    // Times games with `clock` instead of the steady clock (tests); null
    // goes back to it. `clock` must outlive its use.
    void set_game_clock(const baselib::MsClock* clock) { game_clock_ = clock; }
    // How often a limit bit (any thread may ask).
    uint64_t limit_hits(Limit kind) const { return limit_log_.count(kind); }
    // The latest snapshot for the status page and the metrics, made about
    // once a second on the protocol thread (any thread may ask; null before
    // the first).
    std::shared_ptr<const LobbyStatus> status() const;
    // Makes a snapshot now (tests; SrvTick makes them otherwise).
    void PublishStatus();
    // Opens the admin socket (admin_socket) and the audit log; before the
    // protocol thread runs. False with a reason.
    bool OpenAdmin(std::string* error);
    // Bans and mutes are timed with `now` (Unix seconds) instead of the
    // system's clock (tests); set before the protocol thread runs.
    void set_wall_clock(std::function<int64_t()> now) { wall_clock_ = std::move(now); }

    // What an admin command ends with: the first line of its reply (and of
    // its audit entry), and the lines that follow in the reply only.
    struct AdminResult {
        bool ok = true;
        std::string summary;
        std::vector<std::string> lines;
    };
    using AdminDone = std::function<void(AdminResult)>;

  protected:
    // Sends one sealed packet to one user; false when it could not be queued.
    virtual bool SendTo(uint32_t user, const std::vector<uint8_t>& packet);
    // Sends several packets to one user (finding the user once).
    virtual void SendAllTo(uint32_t user, const std::vector<std::vector<uint8_t>>& packets);
    // Sends one packet to every listed user (building the payload once).
    virtual void SendToMany(const std::vector<uint32_t>& users, const std::vector<uint8_t>& packet);
    // Closes the user's connection once its queued replies are out.
    virtual void CloseConnection(uint32_t user);
    // [cluster] Start and Pump call these; a program that drives the server
    // without a kernel (a fuzz target) calls them itself.
    // Claims the server number; false when none could be had.
    bool JoinCluster();
    // Heartbeats, expiry, the bus's coming and going, state streams.
    void ClusterTick();
    // Acts on what arrived on the bus (a bounded batch).
    void TakeBusMessages();

  private:
    struct Seat {
        uint32_t account = 0;
        uint16_t profile = 0;   // the slot the player plays with, 1..4
        bool reported = false;  // its result is stored
    };
    struct Game {
        net::GameRecord record{};
        uint32_t id = 0;
        uint32_t host = 0;        // kernel user identifier of the host
        uint32_t started_ms = 0;  // game clock at the registration
        std::vector<Seat> seats;  // the host's first
        uint16_t server = 0;      // another server's game (0: this server's)
        bool stale = false;       // not confirmed since a resynchronisation began
    };
    // A public line as a joiner gets it later (packet 63).
    struct HistoryLine {
        uint32_t sequence = 0;
        uint32_t sent = 0;  // Unix seconds
        uint32_t account = 0;
        std::string name;  // the sender's account name (the sender may be gone)
        std::string text;
    };
    struct Channel {
        ChannelConfig config;
        uint16_t number = 0;
        std::vector<uint32_t> members;  // this server's sessions
        std::vector<uint32_t> remote;   // users of other servers (remote_)
        std::vector<Game> games;        // all servers' games
        // The last public lines of every server's members, oldest first.
        std::deque<HistoryLine> history;
        uint32_t history_next = 1;
    };
    // A logged-in user of another server, as its server last told.
    struct RemoteUser {
        uint32_t id = 0;
        uint16_t server = 0;
        uint32_t account = 0;
        std::string name;
        int channel = -1;
        uint16_t profile_number = 0;
        net::Profile profile{};
        bool stale = false;
        // As its server last told (a presence message): in a game, under
        // which name, and its visibility (-1: not told; the store knows).
        bool in_game = false;
        std::string game_name;
        int visibility = -1;
    };
    // Another server of the cluster.
    struct Peer {
        uint64_t incarnation = 0;
        uint32_t heard_ms = 0;  // game clock of its last message
        // The state stream whose end clears what it did not confirm
        // (kNoStream: none awaited).
        uint32_t awaiting = 0;
    };
    // This server's state going out to another (or all) in slices.
    struct StateStream {
        std::string subject;
        uint32_t request = 0;
        std::vector<uint32_t> users;  // sessions, then
        std::vector<uint32_t> games;  // game identifiers
        size_t next = 0;
    };
    struct Session {
        uint32_t id = 0;
        uint64_t serial = 0;  // tells a reused kernel identifier from its predecessor
        uint32_t account = 0;
        bool answered = false;  // a log-in or first log-in was answered
        uint16_t profile = 0;   // selected slot 1..4, 0 = none
        net::Profile profile_data{};
        int channel = -1;
        uint32_t refused = 0;  // messages for other users dropped so far
        bool dropped = false;  // closed for reading too slowly; nothing more is queued
        // Members of the channel whose records the session has yet to get
        // (0 = already sent), from `stream_next` on; the games follow them.
        std::vector<uint32_t> stream;
        size_t stream_next = 0;
        // The history lines it gets after them: those said before it joined
        // (a later one reached it live).
        uint32_t history_before = 0;
        double chat_tokens = 0;
        std::chrono::steady_clock::time_point chat_refill;
        uint32_t address = 0;  // the peer's IPv4 address, host byte order
        std::string name;      // the account's name, once logged in
        std::time_t connected = 0;
        // Beyond connections_per_address: told so at its first request, then closed.
        bool over_address_limit = false;
        uint32_t turned_away_code = 0;  // what a turned-away connection is told
        uint16_t joined_profile = 0;    // the profile the channel last heard of
        bool compact_records = false;   // asked for packet 47 instead of 28
        // A game program's session (it registered a game or confirmed a
        // seat): its account counts as in that game.
        bool in_game = false;
        std::string game_name;
        uint32_t rejoin_game = 0;  // the game offered to rejoin (65), until withdrawn
        uint16_t visibility = 0;   // the account's, as of its last presence change
        // Saved game filters (58) by slot; a new game matching one is announced.
        std::vector<net::GameFilter> filters;
        bool closing = false;
        LimitClock::time_point since;                         // kernel log-on
        std::chrono::steady_clock::time_point login_asked{};  // the last log-in request
        RateWindow messages, bytes, uploads, joins, channel_lists, social, search;
    };
    // What the server remembers of one peer address.
    struct Address {
        uint32_t connections = 0;
        RateWindow accounts;  // accounts created (or being created) this hour
        RateWindow failed_logins;
        LimitClock::time_point locked_until{};
        LimitClock::time_point banned_until{};  // after a connection flooded
    };

    void HandleFirstLogin(Session& session, std::span<const uint8_t> packet);
    void HandleLogin(Session& session, std::span<const uint8_t> packet);
    void HandleProfileRequest(Session& session, std::span<const uint8_t> packet);
    void HandleProfileUpload(Session& session, std::span<const uint8_t> packet);
    void HandleSelectProfile(Session& session, std::span<const uint8_t> packet);
    void HandleJoin(Session& session, std::span<const uint8_t> packet);
    void HandleChat(Session& session, uint16_t id, std::span<const uint8_t> packet);
    void HandleGameRegister(Session& session, std::span<const uint8_t> packet);
    void HandleGameUpdate(Session& session, std::span<const uint8_t> packet);
    void HandleGameRemove(Session& session, std::span<const uint8_t> packet);
    void HandleGameResults(Session& session, std::span<const uint8_t> packet);
    void HandleSeatConfirm(Session& session, std::span<const uint8_t> packet);

    void FinishFirstLogin(uint32_t user, uint64_t serial, uint32_t address, const std::string& name,
                          const std::string& email, const std::string& hash);
    // Answers a log-in whose password check ended with `code` (0 = right).
    void FinishLogin(uint32_t user, uint64_t serial, uint32_t address, const std::string& name,
                     uint32_t account, uint32_t code);
    // The session of `user` if it is still the one with `serial`, else null.
    Session* SessionOf(uint32_t user, uint64_t serial);
    void SendResult(uint32_t user, uint32_t code);
    void SendChannelList(uint32_t user);
    void LeaveChannel(Session& session);
    void RemoveGamesOf(Session& session);
    // The session's game with identifier `game_id` in its channel, or null.
    Game* OwnGame(Session& session, uint32_t game_id);
    // The game with `game_id` in the session's channel, whoever hosts it, or null.
    Game* GameInChannel(Session& session, uint32_t game_id);
    static Seat* FindSeat(Game& game, uint32_t account);
    // Whether `account` holds a seat in a game of any channel.
    bool SeatedAnywhere(uint32_t account);
    uint32_t GameClockMs() const;
    bool TakeChatToken(Session& session);
    // Counts a request against the connection's budgets; false when it is to
    // be dropped (the connection may be closing too).
    bool WithinBudget(Session& session, uint16_t sub_type, uint32_t size);
    // Spends `cost` of one of the session's budgets; false (and a log line)
    // when the budget is used up. With `close_far_over` a connection at twice
    // the budget is closed.
    bool Spend(Session& session, RateWindow& window, const Budget& budget, uint64_t cost,
               Limit kind, const char* what, bool close_far_over);
    // Counts a failed log-in of the address; too many lock it out for a while.
    void NoteFailedLogin(uint32_t address);
    // Answers a log-in (16) or first log-in (15) with `code` and closes.
    void BanAddress(uint32_t address_key);
    void RefuseLogin(Session& session, bool first, uint32_t code);
    // Closes sessions that missed the log-in deadline; forgets idle addresses.
    void Sweep();
    void Expel(Session& session);
    void Close(Session& session);
    void EndSession(uint32_t id);
    // Queues the next member records for a joiner while its queue (`queued`
    // bytes) is below the low-water mark; the games when all are out.
    void ContinueStream(Session& session, uint64_t queued);
    void StopStream(Session& session);
    // Before a packet from `member` reaches the channel, joiners that have
    // yet to get its record get it first, so that they know the sender.
    // `only`: just this joiner (0 = every joiner in the member's channel).
    void BringForward(uint32_t member, uint32_t only = 0);
    // A packet for `user` was refused: its reader is too slow, or the
    // queues as a whole are full. It has missed the packet and is closed.
    void DropSlowReader(uint32_t user, const char* why);
    // Closes the largest queues while all of them together hold too much.
    void ShedLargestQueues();
    // [admin] The commands of the admin socket (lobby_admin.cpp).
    void PollAdmin();
    void RunAdmin(const std::vector<std::string>& words, const std::string& by, AdminDone done);
    AdminResult AdminWho();
    AdminResult AdminChannels();
    AdminResult AdminGames();
    AdminResult AdminKick(const std::vector<std::string>& words);
    AdminResult AdminMute(const std::vector<std::string>& words, const std::string& by);
    AdminResult AdminBan(const std::vector<std::string>& words, const std::string& by);
    AdminResult AdminLift(SanctionKind kind, const std::vector<std::string>& words);
    AdminResult AdminBans();
    AdminResult AdminSay(const std::vector<std::string>& words);
    AdminResult AdminChannel(const std::vector<std::string>& words);
    AdminResult AdminReload();
    AdminResult AdminStats();
    void AdminResetPassword(const std::vector<std::string>& words, AdminDone done);
    void AdminBackup(const std::vector<std::string>& words, AdminDone done);
    // The logged-in session of the account named `name` (letter case aside).
    Session* OnlineByName(const std::string& name);
    // Tells the session why and closes it (kick, ban).
    void Dismiss(Session& session, const net::ServerNotice& notice);
    // Makes `live` the channels: members of a channel that is gone go back
    // to the channel list with a notice; the others stay where they are.
    void ApplyChannels(const std::vector<LiveChannel>& live);
    int64_t WallNow() const;
    // Seconds from now until `expires` for a packet (kNoEnd for 0 = never).
    uint32_t SecondsLeft(int64_t expires) const;
    // The mute in force for `account`, or null (an ended one is dropped).
    const Sanction* MuteOf(uint32_t account);
    // Answers a log-in (16) or first log-in (15) of a banned account or
    // address: the reason and time left (49), then code 26.
    void RefuseBanned(Session& session, bool first, const Sanction& ban);

    // The user record of `session` as packet 28, or 47 for a receiver that
    // asked for compact records.
    std::vector<uint8_t> UserRecordOf(const Session& session, bool compact) const;
    // Sends the record of user `id` to `users`, each in the form it asked for.
    void SendRecordToMany(const std::vector<uint32_t>& users, uint32_t id, uint32_t account,
                          const net::Profile& profile, const std::string& name);
    // The record of channel member `member` (this server's or another's) in
    // the channel `channel`, or nothing when it is not there.
    std::optional<std::vector<uint8_t>> MemberRecord(uint32_t member, int channel,
                                                     bool compact) const;
    // The channel a member of any server sits in, or -1.
    int ChannelOfMember(uint32_t member) const;

    // [social] Friends, presence and kept lines (lobby_social.cpp).
    void HandleSocial(Session& session, uint16_t id, std::span<const uint8_t> packet);
    void HandleSocialAction(Session& session, std::span<const uint8_t> packet);
    void HandleVisibility(Session& session, std::span<const uint8_t> packet);
    void HandlePrivateByName(Session& session, std::span<const uint8_t> packet);
    void SendFriendList(Session& session);
    // After a log-in: the away summary and the kept lines, oldest first.
    void SendAwayNews(Session& session);
    // Tells the account's friends logged in here what became of it, and
    // notes when its state changed; `away` also stores that time as the
    // account's away time (it went offline or into a game).
    void PresenceChanged(uint32_t account, uint16_t event, bool away = false);
    // The account as `viewer` sees it in a friend entry: its presence only
    // when it lets a viewer with `relation` see it.
    net::FriendEntry EntryFor(uint32_t account, const std::string& name, net::Relation relation,
                              const AccountState& state);
    // Sends a 55 to the account's session here, if it is logged in here.
    void TellAccount(uint32_t account, uint16_t event, const net::FriendEntry& entry);
    // Tells the account's friends logged in here (55) that it changed.
    void TellFriends(uint32_t account, uint16_t event);
    // Tells `other`, on whichever server it is logged in, that `about` is
    // now `relation` to it (a friend action's other side).
    void TellOther(uint32_t other, uint16_t event, uint32_t about, const std::string& about_name,
                   net::Relation relation);
    // A private line by name for an account that is not in another
    // server's lobby: live (61, identifier 0) in this server's lobby, kept
    // otherwise.
    void DeliverLine(uint32_t receiver, const std::string& sender, int64_t sent,
                     const std::string& text);
    // The account's presence as its server tells the others.
    ClusterMessage PresenceMessage(uint32_t account, uint16_t event) const;
    void OnRemotePresence(const ClusterMessage& message);
    void OnRemoteSocial(const ClusterMessage& message);
    void OnRemoteLine(const ClusterMessage& message);
    // The user of another server logged in with `account`, or null.
    const RemoteUser* RemoteByAccount(uint32_t account) const;
    // Where the account is (state, channel, where, since) when it is logged
    // in on any server of the cluster; false (entry unchanged) when not.
    bool FillPresence(uint32_t account, net::FriendEntry& entry) const;

    // [search] Player search, game filters, chat history (lobby_search.cpp).
    void HandlePlayerSearch(Session& session, std::span<const uint8_t> packet);
    void HandleGameFilter(Session& session, std::span<const uint8_t> packet);
    // A game just added to `channel` (this server's or another's) is
    // announced (59) to every session with a filter it matches.
    void AlertFilters(const Channel& channel, const Game& game);
    // Notes a public line in the channel's history.
    void RecordHistory(Channel& channel, uint32_t account, const std::string& name,
                       const std::string& text);
    // The channel's history for a joiner (63, oldest first), without the
    // lines of senders it blocks.
    void AppendHistory(const Session& session, std::vector<std::vector<uint8_t>>& packets);

    // [rejoin] Offers to rejoin a running game (lobby_rejoin.cpp).
    // After a log-in: a 65 when the account holds an unreported seat.
    void OfferRejoin(Session& session);
    // Withdraws the offers whose game ended or whose seat's result is in;
    // called wherever games go or results come.
    void WithdrawRejoinOffers();
    // Another server took results for `account`: its seat there is reported.
    void RemoteResultIn(uint32_t account);

    // [cluster] Between the servers of a cluster (lobby_cluster.cpp).
    bool clustered() const { return bus_ != nullptr; }
    void LeaveCluster();
    // Whether log-ins are taken: alone, or with bus and store in reach.
    bool ClusterReady() const;
    void Publish(const std::string& subject, const ClusterMessage& message);
    void PublishAll(ClusterMessage message);
    void PublishChannel(uint16_t channel, ClusterMessage message);
    void PublishTo(uint16_t server, ClusterMessage message);
    ClusterMessage UserMessage(const Session& session) const;
    ClusterMessage GameMessage(const Channel& channel, const Game& game) const;
    void OnClusterMessage(const std::string& subject, const ClusterMessage& message);
    void OnRemoteUser(const ClusterMessage& message);
    void OnRemoteGame(const ClusterMessage& message);
    void OnRemoteChat(const ClusterMessage& message);
    void OnRemoteSeat(const ClusterMessage& message);
    void OnDismiss(const ClusterMessage& message);
    // Takes the remote user out of its channel (telling this server's members).
    void RemoteLeave(RemoteUser& user);
    void RemoveRemoteUser(uint32_t id);
    // Removes the remote game `game_id` of `channel`, telling the members.
    void RemoveGame(Channel& channel, uint32_t game_id);
    // Everything of `server`, or only what is stale, goes.
    void ForgetServer(uint16_t server, bool only_stale);
    void MarkStale(uint16_t server);
    void RequestState(uint16_t server);
    void StartStateStream(const std::string& subject, uint32_t request);
    void ContinueStateStreams();
    // The connection to the bus came (back): tell the others and ask for theirs.
    void Resynchronise();
    Channel* ChannelByNumber(uint16_t number);
    uint32_t NextGameId();

    LobbyStore* store_;  // not owned
    LobbyConfig config_;
    // The cluster (null: alone).
    LobbyBus* bus_ = nullptr;  // not owned
    uint16_t number_ = 0;
    uint64_t token_ = 0;         // this run's mark on its number (the incarnation)
    bool bus_up_ = false;        // the bus was connected at the last look
    bool store_up_ = true;       // the last heartbeat reached the store
    uint32_t next_beat_ms_ = 0;  // game clock of the next heartbeat
    bool beat_started_ = false;
    uint32_t next_request_ = 0;
    uint32_t hello_ms_ = 0;  // game clock of the last hello this server sent
    uint64_t bad_messages_ = 0;
    std::map<uint16_t, Peer> peers_;
    std::map<uint32_t, RemoteUser> remote_;
    std::vector<StateStream> streams_;
    // Reaches the kernel's Wake while this object lives (the bus may outlive it).
    struct WakeTarget {
        std::mutex mutex;
        TNS_CONTROL* control = nullptr;
    };
    std::shared_ptr<WakeTarget> wake_target_;
    net::PKTCHECK check_;
    std::map<uint32_t, Session> sessions_;
    std::map<uint32_t, uint32_t> online_;  // account -> kernel user
    // When each account's presence last changed (Unix seconds), while it is
    // logged in here or on another server that told.
    std::map<uint32_t, int64_t> presence_since_;
    std::set<uint32_t> rejoin_offered_;  // sessions holding a rejoin offer
    std::vector<Channel> channels_;
    uint32_t next_game_id_ = 1;
    const baselib::MsClock* game_clock_ = nullptr;  // not owned; null = the steady clock
    uint64_t next_serial_ = 1;
    std::atomic<uint64_t> refused_messages_{0};
    std::atomic<uint64_t> slow_readers_{0};
    std::set<uint32_t> streaming_;  // sessions whose member list is still going out
    std::chrono::steady_clock::time_point next_queue_look_{};
    std::map<uint32_t, Address> addresses_;
    LimitLog limit_log_;
    // What the status page and the metrics count.
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point next_status_{};
    uint64_t logins_ = 0, login_failures_ = 0, chat_lines_ = 0, chat_bytes_ = 0;
    LatencyHistogram login_latency_, fanout_latency_;
    mutable std::mutex status_mutex_;
    std::shared_ptr<const LobbyStatus> status_;
    bool tls_created_ = false;
    std::string tls_error_;
    std::string start_error_;
    // The operator's side.
    std::function<int64_t()> wall_clock_;
    std::map<uint32_t, Sanction> mutes_;          // account -> its mute, as stored
    std::vector<StoredChannel> stored_channels_;  // every channel ever known
    AdminSocket admin_;
    AuditLog audit_;
    std::future<std::string> backup_;  // a running backup: "" or why it failed
    AdminDone backup_done_;
    std::string backup_target_;
    LimitClock::time_point next_sweep_{};
    // Last member: its threads end before anything they refer to goes away.
    std::unique_ptr<PasswordWorkers> workers_;
};

}  // namespace vorlane::server
