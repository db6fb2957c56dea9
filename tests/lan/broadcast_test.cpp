#include "net/broadcast.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"

namespace {

constexpr const char* kLanBroadcast = "127.255.255.255";

bool Logged(const std::string& text) {
    return vorlane::testing::LogCapture::Has(text);
}

// A plain UDP socket on the same port: sees the raw datagrams and sends
// hand-made ones.
class RawPeer {
  public:
    explicit RawPeer(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        target_.sin_family = AF_INET;
        target_.sin_port = htons(port);
        inet_pton(AF_INET, kLanBroadcast, &target_.sin_addr);
    }
    ~RawPeer() { ::close(fd_); }

    void Send(const std::vector<uint8_t>& bytes) {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&target_),
                 sizeof target_);
    }
    // The next datagram, or empty after `timeout_ms`.
    std::vector<uint8_t> Read(int timeout_ms = 1000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0)
            return {};
        std::vector<uint8_t> bytes(70000);
        ssize_t n = ::recv(fd_, bytes.data(), bytes.size(), 0);
        bytes.resize(n > 0 ? size_t(n) : 0);
        return bytes;
    }

  private:
    int fd_ = -1;
    sockaddr_in target_{};
};

std::vector<uint8_t> Datagram(uint16_t game, uint16_t type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    uint32_t total = uint32_t(data.size()) + 12;
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(total >> (8 * i)));
    out.push_back(uint8_t(game));
    out.push_back(uint8_t(game >> 8));
    out.push_back(uint8_t(type));
    out.push_back(uint8_t(type >> 8));
    out.insert(out.end(), data.begin(), data.end());
    uint32_t sum = BROADCAST_Checksum(out.data(), out.size());
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(sum >> (8 * i)));
    return out;
}

uint16_t FreeUdpPort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    ::close(fd);
    return ntohs(local.sin_port);
}

// Waits for and receives the next datagram that passes the checks.
std::unique_ptr<uint8_t[]> ReceiveNext(BROADCAST& b, uint16_t* type, uint32_t* size,
                                       sockaddr_in* from) {
    for (int i = 0; i < 200; ++i) {
        if (b.PacketReady())
            return b.Receive(type, size, from);
        ::usleep(5000);
    }
    return nullptr;
}

class BroadcastTest : public ::testing::Test {
  protected:
    void SetUp() override { port_ = FreeUdpPort(); }
    vorlane::testing::LogCapture capture_;
    uint16_t port_ = 0;
};

TEST_F(BroadcastTest, QueryIsTwelveBytesAndReachesThePeer) {
    BROADCAST host, seeker;
    ASSERT_TRUE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    ASSERT_TRUE(seeker.Init(12, port_, kGameRecordSize, kLanBroadcast));
    RawPeer raw(port_);
    ASSERT_TRUE(seeker.Send(kBroadcastQuery, nullptr, 0));

    std::vector<uint8_t> wire = raw.Read();
    EXPECT_EQ(wire, (std::vector<uint8_t>{12, 0, 0, 0, 12, 0, 43, 0, 12 ^ 12 ^ 43, 0, 0, 0}));

    uint16_t type = 0;
    uint32_t size = 99;
    sockaddr_in from{};
    auto data = ReceiveNext(host, &type, &size, &from);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(type, kBroadcastQuery);
    EXPECT_EQ(size, 0u);
    uint8_t a, b, c, d;
    EXPECT_TRUE(BROADCAST::SplitAddress(&from, &a, &b, &c, &d));
    EXPECT_EQ(a, 127);
}

TEST_F(BroadcastTest, AnnouncementComesBackWithSenderAddress) {
    BROADCAST host, seeker;
    ASSERT_TRUE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    ASSERT_TRUE(seeker.Init(12, port_, kGameRecordSize, kLanBroadcast));
    std::vector<uint8_t> record(kGameRecordSize);
    for (size_t i = 0; i < record.size(); ++i) record[i] = uint8_t(i * 7);
    std::memcpy(record.data() + 14, "Nebula run", 11);
    ASSERT_TRUE(host.Send(kBroadcastAnnouncement, record.data(), kGameRecordSize));

    uint16_t type = 0;
    uint32_t size = 0;
    sockaddr_in from{};
    auto data = ReceiveNext(seeker, &type, &size, &from);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(type, kBroadcastAnnouncement);
    ASSERT_EQ(size, kGameRecordSize);
    EXPECT_EQ(std::memcmp(data.get(), record.data(), kGameRecordSize), 0);

    uint8_t game[kGameRecordSize];
    ASSERT_TRUE(BROADCAST_GameRecord(data.get(), size, &from, game));
    EXPECT_STREQ(reinterpret_cast<const char*>(game + 14), "Nebula run");
    EXPECT_EQ(game[96], 127);
    EXPECT_EQ(game[97], 0);
    EXPECT_EQ(game[98], 0);
    EXPECT_EQ(game[99], 1);
}

TEST_F(BroadcastTest, ForeignGameAndDamagedChecksumAreDropped) {
    BROADCAST host;
    ASSERT_TRUE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    RawPeer raw(port_);
    raw.Send(Datagram(13, kBroadcastQuery, {}));
    uint16_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(ReceiveNext(host, &type, &size, nullptr), nullptr);
    EXPECT_TRUE(Logged("BROADCAST: RECVWARNING: received packet from other game: 13"));

    std::vector<uint8_t> damaged =
        Datagram(12, kBroadcastAnnouncement, std::vector<uint8_t>(126, 5));
    damaged[damaged.size() - 4] ^= 0x40;
    raw.Send(damaged);
    EXPECT_EQ(ReceiveNext(host, &type, &size, nullptr), nullptr);
    EXPECT_TRUE(Logged("BROADCAST: RECVERROR: CRC-checksum failed\n"));
}

TEST_F(BroadcastTest, SizeLimitIsMaxData) {
    BROADCAST host;
    ASSERT_TRUE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    RawPeer raw(port_);
    std::vector<uint8_t> big(kGameRecordSize + 1, 1);
    EXPECT_FALSE(host.Send(kBroadcastAnnouncement, big.data(), kGameRecordSize + 1));
    EXPECT_TRUE(Logged("BROADCAST: SENDERROR: packetsize exceeded maximumsize\n"));
    EXPECT_TRUE(raw.Read(100).empty());  // nothing went out
    EXPECT_TRUE(host.Send(kBroadcastAnnouncement, big.data(), kGameRecordSize));
    EXPECT_EQ(raw.Read().size(), kGameRecordSize + 12);
}

TEST_F(BroadcastTest, SecondInitFailsAndFirstSocketKeepsWorking) {
    BROADCAST host, seeker;
    ASSERT_TRUE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    EXPECT_FALSE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    EXPECT_TRUE(Logged("BROADCAST: this class already initialized\n"));
    ASSERT_TRUE(seeker.Init(12, port_, kGameRecordSize, kLanBroadcast));
    ASSERT_TRUE(seeker.Send(kBroadcastQuery, nullptr, 0));
    uint16_t type = 0;
    uint32_t size = 0;
    EXPECT_NE(ReceiveNext(host, &type, &size, nullptr), nullptr);
}

TEST_F(BroadcastTest, UninitialisedObjectRefusesEverything) {
    BROADCAST idle;
    uint16_t type = 0;
    uint32_t size = 0;
    EXPECT_FALSE(idle.Send(kBroadcastQuery, nullptr, 0));
    EXPECT_FALSE(idle.PacketReady());
    EXPECT_EQ(idle.Receive(&type, &size, nullptr), nullptr);
    EXPECT_TRUE(Logged("BROADCAST: SENDERROR: broadcast not initialized\n"));
    EXPECT_TRUE(Logged("BROADCAST: PACKETREADYERROR: broadcast not initialized\n"));
    EXPECT_TRUE(Logged("BROADCAST: RECVERROR: broadcast not initialized\n"));
    idle.Done();  // harmless
    EXPECT_FALSE(idle.Init(12, port_, 126, "not an address"));
    EXPECT_TRUE(idle.Init(12, port_, 126));
    uint8_t a, b, c, d;
    BROADCAST::SplitAddress(idle.GetDestination(), &a, &b, &c, &d);
    EXPECT_EQ((std::vector<int>{a, b, c, d}), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_FALSE(BROADCAST::SplitAddress(nullptr, &a, &b, &c, &d));
    EXPECT_EQ(a + b + c + d, 0);
}

// Decode sees the datagrams exactly as received; none of these may be read
// beyond the bytes that arrived.
TEST_F(BroadcastTest, DecodeRejectsLengthsThatDoNotMatchTheBytes) {
    BROADCAST host;
    ASSERT_TRUE(host.Init(12, port_, kGameRecordSize, kLanBroadcast));
    uint16_t type = 0;
    uint32_t size = 0;
    std::vector<uint8_t> good = Datagram(12, 44, {1, 2, 3});
    ASSERT_NE(host.Decode(good.data(), good.size(), &type, &size), nullptr);
    EXPECT_EQ(size, 3u);

    std::vector<uint8_t> longer = good;
    longer[0] = 200;  // claims more than arrived
    EXPECT_EQ(host.Decode(longer.data(), longer.size(), &type, &size), nullptr);
    std::vector<uint8_t> shorter = good;
    shorter[0] = 11;
    EXPECT_EQ(host.Decode(shorter.data(), shorter.size(), &type, &size), nullptr);
    EXPECT_EQ(host.Decode(good.data(), 7, &type, &size), nullptr);
    EXPECT_EQ(host.Decode(good.data(), good.size() - 1, &type, &size), nullptr);

    // Trailing bytes after the stated length are ignored.
    std::vector<uint8_t> padded = good;
    padded.push_back(0xEE);
    EXPECT_NE(host.Decode(padded.data(), padded.size(), &type, &size), nullptr);
}

TEST(BroadcastGameRecord, ShortAnnouncementIsPaddedNotOverread) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.9", &from.sin_addr);
    std::vector<uint8_t> shortdata(20, 0xAB);
    uint8_t record[kGameRecordSize];
    std::memset(record, 0xFF, sizeof record);
    ASSERT_TRUE(BROADCAST_GameRecord(shortdata.data(), 20, &from, record));
    EXPECT_EQ(record[19], 0xAB);
    EXPECT_EQ(record[20], 0);
    EXPECT_EQ(record[125], 0);
    EXPECT_EQ(record[99], 9);
    EXPECT_FALSE(BROADCAST_GameRecord(shortdata.data(), 20, nullptr, record));
}

}  // namespace
