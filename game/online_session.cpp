#include "game/online_session.h"

#include <chrono>
#include <thread>

#include "net/lobby_packets.h"

namespace vorlane::game {

namespace {

constexpr uint16_t kOutcomeWon = 1;
constexpr int32_t kWinnerScore = 10;
constexpr auto kLoginRetryDelay = std::chrono::milliseconds(300);

}  // namespace

// The lobby client plus what only a game program listens for: the identifier
// the server gave its game, the answers to the results and the seat, the
// removal of its game and the end of its connection.
class OnlineSession::Client : public LOBBYNET {
  public:
    explicit Client(OnlineSession* session) : LOBBYNET(session), session_(session) {}

    void OnDataReceived(uint32_t receiver, uint32_t sender, uint16_t module_type, uint16_t sub_type,
                        const uint8_t* data, uint32_t size) override {
        if (!FromServer(sender))
            return;
        if (module_type == net::kLobbyModuleType && data) {
            std::span<const uint8_t> packet(data, size);
            if (sub_type == net::kPktGameRegistered) {
                if (const auto registered = net::DecodeGameRegistered(packet)) {
                    if (registered->code == 0) {
                        session_->game_id_ = registered->game_id;
                    } else {
                        // A channel where games may not be created, or too many
                        // games of this host: the game runs unlisted.
                        session_->status_ = "the lobby server refused the game (code " +
                                            std::to_string(registered->code) + ")";
                    }
                    return;
                }
            }
            if (sub_type == net::kPktSeatAnswer) {
                const auto answer = net::DecodeSeatAnswer(packet);
                if (answer && answer->game_id == session_->hand_over_.game_id)
                    session_->seat_answer_ = answer->code;
                return;
            }
            if (sub_type == net::kPktResult && session_->results_sent_) {
                if (const auto code = net::DecodeU32At14(packet))
                    session_->results_answer_ = int64_t(*code);
            }
            if (sub_type == net::kPktGameRemoved && session_->game_id_ != 0) {
                const auto removed = net::DecodeGameRecord(packet);
                if (removed && net::GameRecordId(*removed) == session_->game_id_)
                    session_->removed_ = true;
            }
        }
        LOBBYNET::OnDataReceived(receiver, sender, module_type, sub_type, data, size);
    }
    void OnLogoff(uint32_t id) override {
        session_->closed_ = true;
        LOBBYNET::OnLogoff(id);
    }
    void OnConnectionLost(uint32_t id) override {
        session_->closed_ = true;
        LOBBYNET::OnConnectionLost(id);
    }
    void OnUserRemoved(uint32_t id) override {
        session_->closed_ = true;
        LOBBYNET::OnUserRemoved(id);
    }

  private:
    OnlineSession* session_;
};

OnlineSession::OnlineSession() = default;

OnlineSession::~OnlineSession() {
    if (net_)
        net_->RemoveSystem();
}

bool OnlineSession::Start(const HandOver& hand_over, const std::string& lobbynet_ini,
                          std::string& error) {
    hand_over_ = hand_over;
    if (hand_over.profile < 0 || hand_over.profile > 3 || hand_over.channel < 1) {
        error = "the hand-over names no profile or channel";
        return false;
    }
    if (!hand_over.host && hand_over.game_id == 0) {
        error = "the hand-over names no game to take a seat in";
        return false;
    }
    net_ = std::make_unique<Client>(this);
    // The front end that started the game trusted the server's key already.
    const size_t slash = lobbynet_ini.rfind('/');
    net_->set_known_servers_file(
        !known_servers_file_.empty()
            ? known_servers_file_
            : (slash == std::string::npos ? std::string(".") : lobbynet_ini.substr(0, slash)) +
                  "/known_servers");
    if (net_->InitClientSystem(log_dir_.c_str(), 0, lobbynet_ini.c_str(), 65535) != 1) {
        error = "cannot start the network (" + lobbynet_ini + ")";
        return false;
    }
    net_->set_host(hand_over.lobby_server);
    if (!SendLogin()) {
        error = "cannot reach the lobby server " + hand_over.lobby_server;
        return false;
    }
    return true;
}

bool OnlineSession::SendLogin() {
    closed_ = false;
    // The hand-over names the profile by its list index and the channel by
    // its number, as the lobby client saved them.
    return net_->Login(hand_over_.username.c_str(), hand_over_.user_password.c_str(), "", "", true,
                       uint16_t(hand_over_.profile), uint16_t(hand_over_.channel)) == 1;
}

void OnlineSession::LoginError(const char* text_id) {
    const std::string text = text_id ? text_id : "?";
    if (text == "LOBBY_LOGIN_IMPOSSIBLE") {
        status_ = "cannot reach the lobby server " + hand_over_.lobby_server;
        return;
    }
    // The front end that started this game logged the same account out a
    // moment ago; until the server has seen its connection go, it counts the
    // account as online. Try again a few times before giving up.
    if (text == "LOBBY_ALREADY_ONLINE" && login_retries_left_ > 0) {
        --login_retries_left_;
        retry_login_at_ = std::chrono::steady_clock::now() + kLoginRetryDelay;
        retry_login_ = true;
        status_ = "the account is still online; logging in again";
        return;
    }
    status_ = "log-in refused: " + text;
}

void OnlineSession::ChannelEntered() {
    in_channel_ = true;
    status_ = hand_over_.host ? "in the channel; registering the game"
                              : "in the channel; confirming the seat";
}

void OnlineSession::SendRecord(uint16_t packet, uint16_t players) {
    const net::GameRecord record =
        net::MakeGameRecord({hand_over_.name, !hand_over_.password.empty(), players, 4, game_id_});
    SendPacket(net::EncodeGameRecord(net::PKTCHECK(), packet, record));
    announced_players_ = players;
}

bool OnlineSession::SendPacket(const std::vector<uint8_t>& packet) {
    const auto header = net::DecodePacketHeader(packet);
    return header && net_->SendToServer(net::kLobbyModuleType, header->id, packet.data(),
                                        uint32_t(packet.size())) == 1;
}

void OnlineSession::Poll(uint16_t players) {
    if (!net_)
        return;
    net_->Update();
    // A refused log-in ends with the server closing the connection; the next
    // attempt waits for that.
    if (retry_login_ && std::chrono::steady_clock::now() >= retry_login_at_ && net_->idle() &&
        !net_->logged_on() && !net_->connecting()) {
        retry_login_ = false;
        if (!SendLogin())
            status_ = "cannot reach the lobby server " + hand_over_.lobby_server;
    }
    if (!in_channel_)
        return;
    if (hand_over_.host)
        PollHost(players);
    else
        PollSeat();
}

void OnlineSession::PollHost(uint16_t players) {
    if (!register_sent_) {
        SendRecord(net::kPktGameRegister, players);
        register_sent_ = true;
    }
    if (game_id_ != 0) {
        status_ = "game registered in channel " + std::to_string(hand_over_.channel);
        if (players != announced_players_)
            SendRecord(net::kPktGameUpdate, players);
    }
}

void OnlineSession::PollSeat() {
    if (!seat_sent_) {
        SendPacket(net::EncodeSeatConfirm(net::PKTCHECK(), hand_over_.game_id));
        seat_sent_ = true;
    }
    if (seat_answer_ == 0) {
        status_ = "seat confirmed in game " + std::to_string(hand_over_.game_id);
    } else if (seat_answer_ > 0) {
        // Results for this player will not be taken; the game itself goes on.
        status_ = "the lobby server refused the seat (code " + std::to_string(seat_answer_) + ")";
    }
}

bool OnlineSession::PollUntil(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        net_->Update();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The host knows only its own account, so it reports itself.
void OnlineSession::ReportAndRemove(int timeout_ms) {
    net::PKTCHECK check;
    const net::GameResultEntry winner{uint32_t(net_->permid()), uint16_t(hand_over_.profile + 1),
                                      kOutcomeWon, kWinnerScore};
    results_sent_ = true;
    if (SendPacket(net::EncodeGameResults(check, game_id_, {winner})))
        PollUntil([this] { return results_answer_ >= 0 || closed_; }, timeout_ms);
    if (results_answer_ != 0)
        status_ = "the lobby server did not take the results";
    if (SendPacket(net::EncodeU32Body(check, net::kPktGameRemove, game_id_)))
        PollUntil([this] { return removed_ || closed_; }, timeout_ms);
}

void OnlineSession::Finish(int timeout_ms) {
    if (!net_)
        return;
    // A window closed while connecting gives the attempt up at once.
    if (net_->connecting()) {
        net_->RemoveSystem();
        return;
    }
    // The process is replaced by the front end right after this, which takes
    // the kernel's writer with it: every step waits for the server's answer
    // (bounded), so the results are stored and the game is gone before the
    // front end logs the same account in again.
    if (game_id_ != 0 && !closed_)
        ReportAndRemove(timeout_ms);
    // Log off and wait until the server has let the connection go, so that it
    // no longer counts the account as online.
    if (!closed_ && net_->Disconnect() == 1)
        PollUntil([this] { return closed_; }, timeout_ms);
    net_->RemoveSystem();
}

}  // namespace vorlane::game
