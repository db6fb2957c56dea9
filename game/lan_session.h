// The stand-in game's LAN side. A host answers LAN queries with announcements
// of its game record and accepts joining players over TCP on the same port
// number as the broadcasts; a client connects to its host there.
//
// Join handshake (one text line each way):
//   client -> host   "JOIN <name>\n", or "REJOIN <name>\n" from a player
//                    whose game ended early and who takes its seat back
//   host -> client   "WELCOME <players>\n"
// The connection then stays open until either side ends its game.
//
// The host keeps a seat for every player who joined, also when the player's
// connection goes: a join under the name of an empty seat takes it back, and
// a new player gets a seat only while the seats, empty ones included, leave
// room. So a player whose game crashed finds its place in the game again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/broadcast.h"

namespace vorlane::game {

// The game identifier of LAN discovery datagrams.
inline constexpr uint32_t kLanGameId = 12;
inline constexpr uint16_t kMaxPlayers = 4;

class LanHost {
  public:
    ~LanHost();
    // Opens the TCP listener and, when `broadcast_address` is not empty, the
    // broadcast socket of LAN discovery; false with `error` set.
    bool Start(const std::string& game_name, bool has_password, uint16_t port,
               const std::string& broadcast_address, std::string& error);
    // Answers queries and accepts or reads joining players; never blocks.
    void Poll();
    // The host itself counts as the first player; players without a
    // connection (their seat kept) do not count.
    uint16_t players() const { return uint16_t(1 + clients_.size()); }
    struct Seat {
        std::string name;
        bool present = true;  // the player is connected
    };
    // The joined players' seats in the order they came.
    const std::vector<Seat>& seats() const { return seats_; }
    // How often a player took its seat back.
    uint32_t rejoins() const { return rejoins_; }
    uint32_t game_id() const { return game_id_; }
    // The announcement's 126-byte game record.
    std::array<uint8_t, kGameRecordSize> Record() const;

  private:
    void Announce();
    void AcceptClients();
    void ReadClients();

    BROADCAST broadcast_;
    int listener_ = -1;
    // Gives the player named `name` its seat (back); false when there is no
    // room for it.
    bool TakeSeat(const std::string& name, bool rejoin, size_t& seat);

    struct Client {
        int fd;
        std::string pending;
        bool welcomed;
        size_t seat;  // in seats_, once welcomed
    };
    std::vector<Client> clients_;
    std::vector<Seat> seats_;
    uint32_t rejoins_ = 0;
    std::string game_name_;
    bool has_password_ = false;
    uint32_t game_id_ = 0;
};

class LanClient {
  public:
    ~LanClient();
    // Connects to the host and sends the join line (the rejoin line with
    // `rejoin`); false with `error` set.
    bool Join(const std::string& host, uint16_t port, const std::string& name, bool rejoin,
              std::string& error);
    // Reads the host's answer; never blocks.
    void Poll();
    // The player count the host reported, 0 until it answered.
    uint16_t players() const { return players_; }
    bool connected() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    std::string pending_;
    uint16_t players_ = 0;
};

}  // namespace vorlane::game
