#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "baselib/cfgfile.h"
#include "game/hand_over.h"
#include "game/lan_session.h"
#include "net/lobby_packets.h"

namespace fs = std::filesystem;
using namespace vorlane;

namespace {

fs::path TempDir(const char* name) {
    fs::path dir = fs::temp_directory_path() /
                   (std::string("vorlane_game_") + name + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// A port per test process, so parallel test runs do not meet.
uint16_t TestPort(int offset) {
    return uint16_t(20000 + (getpid() % 20000) + offset);
}

template <typename Predicate>
bool WaitFor(Predicate done, int ms = 2000) {
    for (int waited = 0; waited < ms; waited += 5) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

}  // namespace

TEST(HandOver, ReadsBothFilesAndMarksTheReturn) {
    fs::path dir = TempDir("handover");
    std::ofstream(dir / "mplayer.cfg") << "[game]\nmode=server\nlan=0\nmission=m1\nname=A/B/C\n\n"
                                          "[user]\npermid=5\nprofid=2\nusername=Pilot\n"
                                          "password=pw\nlastchannel=3\n\n";
    std::ofstream(dir / "lobby.cfg") << "[main]\nserver=127.0.0.1\nlan_bcast_port=4711\n"
                                        "lan_bcast_addr=127.255.255.255\nlobby_exec=/x/lobby\n";
    game::HandOver hand_over;
    std::string error;
    ASSERT_TRUE(game::ReadHandOver((dir / "mplayer.cfg").string(), (dir / "lobby.cfg").string(),
                                   hand_over, error))
        << error;
    EXPECT_TRUE(hand_over.host);
    EXPECT_FALSE(hand_over.lan);
    EXPECT_EQ(hand_over.name, "A/B/C");
    EXPECT_EQ(hand_over.profile, 2);
    EXPECT_EQ(hand_over.channel, 3);
    EXPECT_EQ(hand_over.lan_port, 4711);
    EXPECT_EQ(hand_over.lan_broadcast, "127.255.255.255");
    EXPECT_EQ(hand_over.front_end, "/x/lobby");
    EXPECT_FALSE(hand_over.rejoin);

    ASSERT_TRUE(game::MarkReturnFromGame((dir / "mplayer.cfg").string()));
    CFGFILE after;
    ASSERT_TRUE(after.Read((dir / "mplayer.cfg").string()));
    EXPECT_EQ(after.GetNumber("game", "return_from_game", 0), 1);
    EXPECT_STREQ(after.GetText("user", "password"), "pw");  // nothing else changes

    std::ofstream(dir / "rejoin.cfg") << "[game]\nmode=client\nid=7\nrejoin=1\n";
    ASSERT_TRUE(game::ReadHandOver((dir / "rejoin.cfg").string(), "", hand_over, error));
    EXPECT_TRUE(hand_over.rejoin);
    EXPECT_EQ(hand_over.game_id, 7u);

    std::ofstream(dir / "bad.cfg") << "[game]\nmode=spectator\n";
    EXPECT_FALSE(game::ReadHandOver((dir / "bad.cfg").string(), "", hand_over, error));
    EXPECT_FALSE(game::ReadHandOver((dir / "none.cfg").string(), "", hand_over, error));
    fs::remove_all(dir);
}

TEST(LanSession, HostAnswersQueriesAndCountsJoiningPlayers) {
    const uint16_t port = TestPort(0);
    std::string error;
    game::LanHost host;
    ASSERT_TRUE(host.Start("Alpha/Beta/Gamma", false, port, "127.255.255.255", error)) << error;

    // A LAN screen on the same port asks for games.
    BROADCAST screen;
    ASSERT_TRUE(screen.Init(game::kLanGameId, port, kGameRecordSize, "127.255.255.255"));
    auto next_announcement = [&](net::GameRecord& record) {
        return WaitFor([&] {
            host.Poll();
            while (screen.PacketReady()) {
                uint16_t type = 0;
                uint32_t size = 0;
                sockaddr_in sender{};
                auto data = screen.Receive(&type, &size, &sender);
                if (data && type == kBroadcastAnnouncement && size == kGameRecordSize) {
                    BROADCAST_GameRecord(data.get(), size, &sender, record.data());
                    return true;
                }
            }
            return false;
        });
    };
    net::GameRecord record{};
    ASSERT_TRUE(screen.Send(kBroadcastQuery, nullptr, 0));
    ASSERT_TRUE(next_announcement(record));
    EXPECT_EQ(net::GetText(record, net::kGameName, net::kGameNameWidth), "Alpha/Beta/Gamma");
    EXPECT_EQ(net::GetU16(record, net::kGamePlayers), 1);
    EXPECT_EQ(net::GetU16(record, net::kGameMaxPlayers), game::kMaxPlayers);
    EXPECT_EQ(net::GetU32(record, net::kGameId), host.game_id());
    EXPECT_EQ(record[net::kGameAddress], 127);

    game::LanClient client;
    ASSERT_TRUE(client.Join("127.0.0.1", port, "Delta", false, error)) << error;
    ASSERT_TRUE(WaitFor([&] {
        host.Poll();
        client.Poll();
        return client.players() == 2;
    }));
    EXPECT_EQ(host.players(), 2);
    ASSERT_EQ(host.seats().size(), 1u);
    EXPECT_EQ(host.seats()[0].name, "Delta");
    ASSERT_TRUE(next_announcement(record));  // a join is announced at once
    EXPECT_EQ(net::GetU16(record, net::kGamePlayers), 2);
}

// A player who drops out keeps its seat: the game has no room for a
// stranger in it, and the player takes it back by name.
TEST(LanSession, HostKeepsTheSeatOfAPlayerWhoDroppedOut) {
    const uint16_t port = TestPort(4);
    std::string error;
    game::LanHost host;
    ASSERT_TRUE(host.Start("Siege", false, port, "", error)) << error;
    auto join = [&](const char* name, bool rejoin) {
        auto client = std::make_unique<game::LanClient>();
        EXPECT_TRUE(client->Join("127.0.0.1", port, name, rejoin, error)) << error;
        return client;
    };
    auto settle = [&](uint16_t players, std::vector<game::LanClient*> clients) {
        return WaitFor([&] {
            host.Poll();
            for (auto* client : clients) client->Poll();
            return host.players() == players;
        });
    };
    auto delta = join("Delta", false);
    auto echo = join("Echo", false);
    auto fox = join("Fox", false);
    ASSERT_TRUE(settle(4, {delta.get(), echo.get(), fox.get()}));
    echo.reset();  // its game crashed
    ASSERT_TRUE(settle(3, {delta.get(), fox.get()}));
    ASSERT_EQ(host.seats().size(), 3u);
    EXPECT_FALSE(host.seats()[1].present);

    auto stranger = join("Golf", false);  // no seat for Golf
    EXPECT_TRUE(WaitFor([&] {
        host.Poll();
        stranger->Poll();
        return !stranger->connected();
    }));
    EXPECT_EQ(host.players(), 3);

    auto back = join("Echo", true);
    ASSERT_TRUE(settle(4, {delta.get(), fox.get(), back.get()}));
    ASSERT_TRUE(WaitFor([&] {
        back->Poll();
        return back->players() == 4;
    }));
    EXPECT_TRUE(host.seats()[1].present);
    EXPECT_EQ(host.seats().size(), 3u);
    EXPECT_EQ(host.rejoins(), 1u);
}

TEST(LanSession, ClientRefusesBadAddressesAndHostDropsNonJoinLines) {
    std::string error;
    game::LanClient client;
    EXPECT_FALSE(client.Join("not-an-address", TestPort(1), "x", false, error));
    EXPECT_FALSE(client.Join("127.0.0.1", TestPort(2), "x", false, error));  // nobody listens

    const uint16_t port = TestPort(3);
    game::LanHost host;
    ASSERT_TRUE(host.Start("G", true, port, "127.255.255.255", error)) << error;
    EXPECT_EQ(net::GetU16(host.Record(), net::kGamePasswordFlag), 1);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const char junk[] = "HELLO there\n";
    send(fd, junk, sizeof junk - 1, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    host.Poll();
    EXPECT_EQ(host.players(), 1);
    char byte;
    EXPECT_EQ(recv(fd, &byte, 1, 0), 0);  // the host closed the connection
    close(fd);
}
