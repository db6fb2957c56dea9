// The stand-in game's online side. A host logs in to the lobby server with the
// player's account (again, a few times, while the server still counts the
// front end that started it as online), selects the profile and channel it
// was started from, registers its game there, keeps the player count up to
// date, and at the end reports the results, removes the game and logs off,
// each confirmed by the server, before the front end takes over again. A
// client logs nowhere: it joins its host directly (the address comes from the
// game record).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/hand_over.h"
#include "net/lobbynet.h"

namespace vorlane::game {

class OnlineHost : public LobbyFrontend {
  public:
    OnlineHost();
    ~OnlineHost() override;

    // Connects and logs in (this blocks for the kernel's log-on); false with
    // `error` set.
    bool Start(const HandOver& hand_over, const std::string& lobbynet_ini, std::string& error);
    // One network step; registers the game once the channel is entered.
    void Poll(uint16_t players);
    // Reports the host as the winner, removes the game and logs off; each
    // step waits at most `timeout_ms` for the server's answer.
    void Finish(int timeout_ms = 3000);

    bool registered() const { return game_id_ != 0; }
    uint32_t game_id() const { return game_id_; }
    const std::string& status() const { return status_; }
    // After Finish: 0 when the server stored the results, its refusal code,
    // or -1 when no answer came.
    int64_t results_answer() const { return results_answer_; }
    bool removed() const { return removed_; }

  private:
    class Client;

    void SendRecord(uint16_t packet, uint16_t players);
    // Logs in with the hand-over's account, profile and channel; false when
    // the server cannot be reached.
    bool SendLogin();
    // Steps the network until `done` holds; false after `timeout_ms`.
    bool PollUntil(const std::function<bool()>& done, int timeout_ms);

    // LobbyFrontend
    void LoginError(const char* text_id) override;
    void FirstLoginError(const char* text_id) override { LoginError(text_id); }
    void AccountCreated() override {}
    void ConnectionLost() override { status_ = "connection to the lobby server lost"; }
    void ChannelError() override { status_ = "cannot enter the channel"; }
    void ChannelEntered() override;
    void ChatLine(const char*, uint32_t, bool) override {}
    void GameListChanged(const std::vector<net::GameRecord>&, const net::GameRecord*,
                         const net::GameRecord*) override {}
    void ChannelList(const std::vector<uint8_t>&, bool) override {}
    void LoginRunning() override {}
    void LoginFinished() override {}
    void ProfilesComplete(const std::array<net::Profile, 4>&) override {}
    void UserListChanged(const std::vector<net::UserRecord>&, const net::UserRecord*,
                         const net::UserRecord*) override {}

    std::unique_ptr<Client> net_;
    HandOver hand_over_;
    bool in_channel_ = false;
    bool register_sent_ = false;
    uint32_t game_id_ = 0;
    uint16_t announced_players_ = 0;
    bool results_sent_ = false;
    int64_t results_answer_ = -1;
    bool removed_ = false;
    bool closed_ = false;
    int login_retries_left_ = 15;
    bool retry_login_ = false;
    std::chrono::steady_clock::time_point retry_login_at_;
    std::string status_ = "logging in";
};

}  // namespace vorlane::game
