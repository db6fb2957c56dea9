// LOBBYNET: the client of the online lobby server. It speaks the lobby packets
// (net/lobby_packets.h) as module type 12 over TNS_CONTROL, keeps the lists and
// the state of the conversation and reports every result to the front end
// through LobbyFrontend.
//
// Request states:
//   state  meaning                          left by
//   0      idle                             any request
//   1      first log-in sent                result 15 -> 45
//   2      log-in sent                      result 16: 0 -> 0 (profiles), else -> 45
//   11     profiles requested               fourth profile -> 0
//   17     profile selection sent           result 15 (code 13 keeps 17)
//   23     channel list requested           packet 24 -> 0
//   25     join sent                        result 15 code 20 -> channel error
//   45     finished: the server closes the connection (no connection-lost notice);
//          also after a ban's refusal (49) or a kick or ban notice (50)
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/lobby_packets.h"
#include "net/social_packets.h"
#include "net/tns_control.h"

// The notifications the front end's lobby screens implement. Result texts are
// passed as text identifiers (LOBBY_*) for the front end to look up.
class LobbyFrontend {
  public:
    virtual ~LobbyFrontend() = default;
    virtual void LoginError(const char* text_id) = 0;
    virtual void FirstLoginError(const char* text_id) = 0;
    virtual void AccountCreated() = 0;
    virtual void ConnectionLost() = 0;
    virtual void ChannelError() = 0;
    virtual void ChannelEntered() = 0;
    virtual void ChatLine(const char* text, uint32_t sender, bool is_private) = 0;
    // `added` or `removed` points at the record that changed (the other is null).
    virtual void GameListChanged(const std::vector<vorlane::net::GameRecord>& games,
                                 const vorlane::net::GameRecord* added,
                                 const vorlane::net::GameRecord* removed) = 0;
    // The channel table as received (at most 3216 bytes).
    virtual void ChannelList(const std::vector<uint8_t>& table, bool automatic) = 0;
    virtual void LoginRunning() = 0;
    virtual void LoginFinished() = 0;
    virtual void ProfilesComplete(const std::array<vorlane::net::Profile, 4>& profiles) = 0;
    virtual void UserListChanged(const std::vector<vorlane::net::UserRecord>& users,
                                 const vorlane::net::UserRecord* added,
                                 const vorlane::net::UserRecord* removed) = 0;
    // The first connection to a server whose key no trust store vouches for:
    // nothing was sent; the player sees the key's fingerprint and, trusting
    // it, logs in again. `text_id` is the notice, `fingerprint` the key's.
    virtual void ServerKeyNotice(const char* text_id, const char* /*fingerprint*/) {
        LoginError(text_id);
    }
    // The log-in was refused by a ban: its reason, and the seconds left
    // (vorlane::net::kNoEnd: none). The session is over.
    virtual void LoginRefused(const std::string& /*reason*/, uint32_t /*seconds_left*/) {
        LoginError("LOBBY_BANNED");
    }
    // What the server's operator did (vorlane::net::NoticeKind). After a kick
    // or a ban the session is over and its end is no loss; after a removed
    // channel the channel list has come already.
    virtual void Notice(const vorlane::net::ServerNotice& /*notice*/) {}
    // The server offers the game the player's game program left early
    // (LOBBYNET::rejoin_offer), or withdrew the offer (null).
    virtual void RejoinOffer(const vorlane::net::GameAlert* /*offer*/) {}

    // Friends and presence: the whole list after a friends request or a
    // change; `change` is the change that came (null: a whole new list).
    virtual void FriendsChanged(const std::vector<vorlane::net::FriendEntry>& /*friends*/,
                                const vorlane::net::FriendChanged* /*change*/) {}
    // One page of a player search.
    virtual void SearchResultReceived(const vorlane::net::SearchResult& /*result*/) {}
    // A new game matched one of the saved filters.
    virtual void GameAlertReceived(const vorlane::net::GameAlert& /*alert*/) {}
    // A private line by name: a kept one (id != 0; every kept line so far is
    // in stored_lines()) or a live one (id 0).
    virtual void StoredLineReceived(const vorlane::net::StoredLine& /*line*/) {}
    // A line of the channel's recent chat, sent on entering it.
    virtual void HistoryLineReceived(const vorlane::net::StoredLine& /*line*/) {}
    // What happened while the player was away; the kept lines follow.
    virtual void AwaySummaryReceived(const vorlane::net::AwaySummary& /*summary*/) {}
};

// Where SaveSettings writes (the front end adapts its configuration file).
class LobbySettingsWriter {
  public:
    virtual ~LobbySettingsWriter() = default;
    virtual void SetInt(const char* section, const char* key, int64_t value) = 0;
    virtual void SetText(const char* section, const char* key, const char* value) = 0;
};

class LOBBYNET : public TNS_CONTROL {
  public:
    static constexpr uint16_t kNoSelection = 0xFFFF;

    // `version_file` is read for the protocol version ("version.hdr").
    explicit LOBBYNET(LobbyFrontend* frontend, const char* version_file = "version.hdr");
    ~LOBBYNET() override;

    // Login and FirstLogin: 1 when the request is under way (connecting
    // first when there is no connection; a connection that cannot be made is
    // reported as a log-in error), 0 when it could not be made.
    int16_t Login(const char* user, const char* password, const char* reserved, const char* email,
                  bool drop_if_busy, uint16_t profile, uint16_t channel);
    int16_t FirstLogin(const char* user, const char* password, const char* reserved,
                       const char* email, bool drop_if_busy);
    // Gives up a log-in under way: connecting stops at once; a connection
    // already made is logged off without a connection-lost notice.
    void CancelLogin();
    int16_t RequestProfiles();
    int16_t SelectProfile(uint16_t index, bool upload);
    int16_t RequestChannelList();
    int16_t JoinChannel(uint16_t number);
    int16_t LeaveChannel();
    int16_t SendChat(const char* text, int32_t target);
    void SaveSettings(LobbySettingsWriter* config) const;

    // Friends, search, filters and kept lines (packets 51 to 64); each returns
    // 1 when sent, 0 when not (no session, or a name or text that is empty).
    int16_t SendSocialAction(uint16_t action, const std::string& name);
    int16_t SetVisibility(uint16_t visibility);
    int16_t RequestFriends();
    int16_t SearchPlayers(const std::string& prefix, uint16_t page);
    int16_t SendPrivateByName(const std::string& name, const std::string& text);
    // Deletes one kept line (0: all of them) here and on the server.
    int16_t DeleteStoredLine(uint32_t id);
    // The saved game filters (at most kMaxGameFilters, slots 1..8 in order):
    // sent now when logged in, and again after every log-in, since the server
    // keeps them only for the session. A slot no longer used is removed.
    void SetGameFilters(const std::vector<vorlane::net::GameFilter>& filters);
    // The visibility to state after every log-in (the server keeps it too;
    // this keeps a changed choice when the change itself was lost).
    void set_visibility(uint16_t visibility) { visibility_ = visibility; }
    bool in_session() const { return in_session_; }
    // The chosen visibility, or -1 when none was chosen.
    int visibility() const { return visibility_ == kVisibilityUnset ? -1 : visibility_; }

    // TNS_CONTROL hooks.
    void OnConnectFinished(int16_t result) override;
    void OnLogon(uint32_t id) override;
    void OnLogoff(uint32_t id) override;
    void OnConnectionLost(uint32_t id) override;
    void OnUserRemoved(uint32_t id) override;
    void OnDataReceived(uint32_t receiver, uint32_t sender, uint16_t module_type, uint16_t sub_type,
                        const uint8_t* data, uint32_t size) override;

    void set_frontend(LobbyFrontend* frontend) { frontend_ = frontend; }
    void set_host(const std::string& host) { host_ = host; }
    const std::string& host() const { return host_; }
    int state() const { return state_; }
    int pending_request() const { return pending_request_; }
    int16_t version() const { return version_; }
    int32_t permid() const { return permid_; }
    bool idle() const { return idle_ != 0; }
    bool automatic() const { return automatic_ != 0; }
    int profile_count() const { return profile_count_; }
    int current_profile() const { return current_profile_; }
    int32_t last_channel() const { return last_channel_; }
    const std::array<vorlane::net::Profile, 4>& profiles() const { return profiles_; }
    std::array<vorlane::net::Profile, 4>& profiles() { return profiles_; }
    const std::vector<uint8_t>& channel_table() const { return channel_table_; }
    const std::vector<vorlane::net::UserRecord>& users() const { return users_; }
    const std::vector<vorlane::net::GameRecord>& games() const { return games_; }
    // The game this log-in may rejoin (its channel and record), if any.
    const std::optional<vorlane::net::GameAlert>& rejoin_offer() const { return rejoin_offer_; }
    const std::vector<vorlane::net::FriendEntry>& friends() const { return friends_; }
    const std::vector<vorlane::net::StoredLine>& stored_lines() const { return stored_lines_; }
    const std::vector<vorlane::net::StoredLine>& history() const { return history_; }
    const vorlane::net::AwaySummary& away() const { return away_; }
    const vorlane::net::SearchResult& search() const { return search_; }
    const std::vector<vorlane::net::GameFilter>& game_filters() const { return filters_; }

    static constexpr size_t kMaxFriendEntries = vorlane::net::kMaxFriendListEntries;
    static constexpr size_t kMaxStoredLines = 100;
    static constexpr size_t kMaxHistoryLines = 50;
    static constexpr size_t kMaxGameFilters = 8;

  protected:
    // Lobby packets count only when the kernel says the server sent them: a
    // packet relayed from another user could say anything about anyone.
    static bool FromServer(uint32_t sender);

  private:
    // Sends the log-in (with `first`, the first log-in of a new account) when
    // connected; otherwise starts connecting, and the request follows once
    // the kernel's log-on is accepted.
    int16_t StartLogin(bool first);
    // Builds and sends one packet; logs and returns false on failure.
    bool SendPacket(const std::vector<uint8_t>& packet);
    // SendPacket, and on failure a disconnect (the operations that require it).
    bool SendOrDisconnect(const std::vector<uint8_t>& packet);
    void ReadVersion(const char* version_file);
    void ClearLists();

    void HandleProfile(std::span<const uint8_t> packet);
    void HandleGame(uint16_t id, std::span<const uint8_t> packet);
    void HandleResult(std::span<const uint8_t> packet);
    void HandleLoginResult(std::span<const uint8_t> packet);
    void HandleChannelList(std::span<const uint8_t> packet);
    void HandleUserEntered(std::span<const uint8_t> packet);
    void HandleUserLeft(std::span<const uint8_t> packet);
    void HandleLoginRefused(std::span<const uint8_t> packet);
    void HandleNotice(std::span<const uint8_t> packet);
    void HandleRejoinOffer(std::span<const uint8_t> packet);
    // Social packets (lobbynet_social.cpp).
    bool HandleSocial(uint16_t id, std::span<const uint8_t> packet);
    void HandleFriendChanged(std::span<const uint8_t> packet);
    void HandleStoredLine(uint16_t id, std::span<const uint8_t> packet);
    // After a log-in: the friend list, the visibility and the filters.
    void SendSocialState();
    void SendFilters();
    void ClearSocial();

    LobbyFrontend* frontend_ = nullptr;  // not owned
    vorlane::net::PKTCHECK check_;
    uint8_t automatic_ = 0;
    int16_t version_ = -1;
    int pending_request_ = 0;
    int state_ = 0;
    std::string host_ = "127.0.0.1";
    int32_t permid_ = -1;
    uint8_t idle_ = 1;
    std::array<vorlane::net::Profile, 4> profiles_{};
    int profile_count_ = 0;
    int current_profile_ = 0;
    std::vector<uint8_t> channel_table_;
    int32_t last_channel_ = -1;
    std::string user_name_, password_, email_;
    uint16_t wished_profile_ = kNoSelection;
    uint16_t wished_channel_ = kNoSelection;
    std::vector<vorlane::net::UserRecord> users_;
    std::vector<vorlane::net::GameRecord> games_;
    std::optional<vorlane::net::GameAlert> rejoin_offer_;
    std::vector<vorlane::net::FriendEntry> friends_;
    std::vector<vorlane::net::StoredLine> stored_lines_;  // by arrival, at most kMaxStoredLines
    std::vector<vorlane::net::StoredLine> history_;       // the current channel's, at most 50
    vorlane::net::AwaySummary away_{};
    vorlane::net::SearchResult search_{};
    std::vector<vorlane::net::GameFilter> filters_;
    std::vector<vorlane::net::GameFilter> sent_filters_;  // what the server holds
    static constexpr uint16_t kVisibilityUnset = 0xFFFF;
    uint16_t visibility_ = kVisibilityUnset;  // never chosen: nothing to state
    bool in_session_ = false;                 // logged in, until the connection ends
};
