// Shared by the lobby client and lobby server tests: a front end that records
// every notification, and the log capture (tests/support/log_capture.h).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "baselib/logsys.h"
#include "net/lobbynet.h"
#include "tests/support/log_capture.h"

// Records each notification as one line ("login_error LOBBY_WRONG_PASSWORD",
// "chat 1 7 hello", ...) plus the latest lists handed over.
class RecordingFrontend : public LobbyFrontend {
  public:
    void LoginError(const char* text_id) override { Add("login_error " + std::string(text_id)); }
    void FirstLoginError(const char* text_id) override {
        Add("first_login_error " + std::string(text_id));
    }
    void AccountCreated() override { Add("account_created"); }
    void ConnectionLost() override { Add("connection_lost"); }
    void ChannelError() override { Add("channel_error"); }
    void ChannelEntered() override { Add("channel_entered"); }
    void ChatLine(const char* text, uint32_t sender, bool is_private) override {
        Add("chat " + std::to_string(is_private ? 1 : 0) + " " + std::to_string(sender) + " " +
            text);
    }
    void GameListChanged(const std::vector<vorlane::net::GameRecord>& games,
                         const vorlane::net::GameRecord* added,
                         const vorlane::net::GameRecord* removed) override {
        games_ = games;
        Add(added ? "game_added " + std::to_string(vorlane::net::GameRecordId(*added))
                  : "game_removed " + std::to_string(vorlane::net::GameRecordId(*removed)));
    }
    void ChannelList(const std::vector<uint8_t>& table, bool automatic) override {
        table_ = table;
        Add("channel_list " + std::to_string(automatic ? 1 : 0));
    }
    void LoginRunning() override { Add("login_running"); }
    void LoginFinished() override { Add("login_finished"); }
    void ProfilesComplete(const std::array<vorlane::net::Profile, 4>& profiles) override {
        profiles_ = profiles;
        Add("profiles_complete");
    }
    void UserListChanged(const std::vector<vorlane::net::UserRecord>& users,
                         const vorlane::net::UserRecord* added,
                         const vorlane::net::UserRecord* removed) override {
        users_ = users;
        Add(added ? "user_added " + vorlane::net::UserRecordName(*added)
                  : "user_removed " + vorlane::net::UserRecordName(*removed));
    }

    void LoginRefused(const std::string& reason, uint32_t seconds_left) override {
        Add("login_refused " + std::to_string(seconds_left) + " " + reason);
    }
    void Notice(const vorlane::net::ServerNotice& notice) override {
        Add("notice " + std::to_string(notice.kind) + " " + std::to_string(notice.seconds) + " " +
            notice.text);
    }

    bool Has(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    // The first event that starts with `prefix`, or "".
    std::string Find(const std::string& prefix) const {
        for (const std::string& event : events) {
            if (event.rfind(prefix, 0) == 0)
                return event;
        }
        return {};
    }
    size_t Count(const std::string& event) const {
        return size_t(std::count(events.begin(), events.end(), event));
    }

    std::vector<std::string> events;
    std::vector<vorlane::net::GameRecord> games_;
    std::vector<vorlane::net::UserRecord> users_;
    std::vector<uint8_t> table_;
    std::array<vorlane::net::Profile, 4> profiles_{};

  private:
    void Add(std::string event) { events.push_back(std::move(event)); }
};

using vorlane::testing::LogCapture;
