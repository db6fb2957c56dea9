// The stand-in game's online side: every player's game program logs in to the
// lobby server with the player's account (again, a few times, while the server
// still counts the front end that started it as online), selects the profile
// and channel it was started from, and at the end logs off, confirmed by the
// server, before the front end takes over again. Its role then decides the
// rest:
//
//   role   in the channel            at the end
//   host   registers its game,       reports the results, removes the game
//          keeps the player count
//   seat   confirms its seat in the  nothing more
//          game it joined
//
// The game itself runs over a direct connection to the host (the address
// comes from the game record); the lobby only learns who plays where.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "game/hand_over.h"
#include "net/lobbynet.h"

namespace vorlane::game {

class OnlineSession : public LobbyFrontend {
  public:
    OnlineSession();
    ~OnlineSession() override;

    // Starts connecting and logging in (Poll carries it on, so the window
    // keeps drawing); the role is the hand-over's (host, or seat in game/id).
    // False with `error` set.
    bool Start(const HandOver& hand_over, const std::string& lobbynet_ini, std::string& error);
    // Where the player's files are: the keys of trusted servers (default:
    // known_servers beside the network settings) and the network logs
    // (default: logs/game). Set before Start.
    void set_known_servers_file(std::string path) { known_servers_file_ = std::move(path); }
    void set_log_dir(std::string dir) { log_dir_ = std::move(dir); }
    // One network step; once the channel is entered a host registers its
    // game (then keeps `players` up to date) and a seat confirms itself.
    void Poll(uint16_t players);
    // A host reports itself as the winner and removes the game; every role
    // then logs off. Each step waits at most `timeout_ms` for the server.
    void Finish(int timeout_ms = 3000);

    bool registered() const { return game_id_ != 0; }
    uint32_t game_id() const { return game_id_; }
    const std::string& status() const { return status_; }
    // After Finish: 0 when the server stored the results, its refusal code,
    // or -1 when no answer came.
    int64_t results_answer() const { return results_answer_; }
    bool removed() const { return removed_; }
    // The server's answer to the seat confirmation: 0 seated, its refusal
    // code, or -1 while none came.
    int64_t seat_answer() const { return seat_answer_; }

  private:
    class Client;

    std::string known_servers_file_;
    std::string log_dir_ = "logs/game";

    void SendRecord(uint16_t packet, uint16_t players);
    // False when the packet could not be queued.
    bool SendPacket(const std::vector<uint8_t>& packet);
    // Logs in with the hand-over's account, profile and channel; false when
    // the server cannot be reached.
    bool SendLogin();
    // Steps the network until `done` holds; false after `timeout_ms`.
    bool PollUntil(const std::function<bool()>& done, int timeout_ms);
    void PollHost(uint16_t players);
    void PollSeat();
    void ReportAndRemove(int timeout_ms);

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
    void LoginRunning() override { status_ = "logging in"; }
    void LoginFinished() override {}
    void ProfilesComplete(const std::array<net::Profile, 4>&) override {}
    void UserListChanged(const std::vector<net::UserRecord>&, const net::UserRecord*,
                         const net::UserRecord*) override {}

    std::unique_ptr<Client> net_;
    HandOver hand_over_;
    bool in_channel_ = false;
    // Host: registration, results and removal.
    bool register_sent_ = false;
    uint32_t game_id_ = 0;
    uint16_t announced_players_ = 0;
    bool results_sent_ = false;
    int64_t results_answer_ = -1;
    bool removed_ = false;
    // Seat: the confirmation.
    bool seat_sent_ = false;
    int64_t seat_answer_ = -1;
    bool closed_ = false;
    int login_retries_left_ = 15;
    bool retry_login_ = false;
    std::chrono::steady_clock::time_point retry_login_at_;
    std::string status_ = "connecting to the lobby server";
};

}  // namespace vorlane::game
