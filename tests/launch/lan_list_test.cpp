#include "frontend/lan_list.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vorlane::frontend {
namespace {

constexpr const char* kLanBroadcast = "127.255.255.255";

uint16_t TestPort(int offset) {
    return uint16_t(42000 + (getpid() % 5000) * 4 + offset);
}

// The list widget as plain data.
class FakeView : public LanListView {
  public:
    struct Item {
        std::string name;
        std::shared_ptr<net::GameRecord> record;
    };
    void Clear() override {
        items.clear();
        selected = -1;
        ++clears;
    }
    int Add(const std::string& name, std::shared_ptr<net::GameRecord> record) override {
        items.push_back({name, std::move(record)});
        return int(items.size()) - 1;
    }
    void Select(int index) override { selected = index; }
    const net::GameRecord* Selected() const override {
        return selected >= 0 && selected < int(items.size()) ? items[size_t(selected)].record.get()
                                                             : nullptr;
    }
    int Count() const override { return int(items.size()); }

    std::vector<Item> items;
    int selected = -1;
    int clears = 0;
};

net::GameRecord MakeRecord(const std::string& name, uint16_t players, uint16_t max_players,
                           uint32_t id) {
    net::GameRecord record{};
    std::memcpy(record.data() + net::kGameName, name.data(), name.size());
    record[net::kGamePlayers] = uint8_t(players);
    record[net::kGameMaxPlayers] = uint8_t(max_players);
    for (int i = 0; i < 4; ++i) record[net::kGameId + size_t(i)] = uint8_t(id >> (8 * i));
    return record;
}

std::vector<uint8_t> Datagram(uint16_t type, const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    const uint32_t total = uint32_t(size) + 12;
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(total >> (8 * i)));
    out.push_back(uint8_t(LanList::kGameId));
    out.push_back(0);
    out.push_back(uint8_t(type));
    out.push_back(uint8_t(type >> 8));
    out.insert(out.end(), data, data + size);
    const uint32_t sum = BROADCAST_Checksum(out.data(), out.size());
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(sum >> (8 * i)));
    return out;
}

// A game host at its own loopback address (127.0.0.x), announcing to the
// LAN broadcast address.
class HostPeer {
  public:
    HostPeer(const char* address, uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address, &local.sin_addr);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
        target_.sin_family = AF_INET;
        target_.sin_port = htons(port);
        inet_pton(AF_INET, kLanBroadcast, &target_.sin_addr);
    }
    ~HostPeer() { ::close(fd_); }
    bool bound() const { return bound_; }
    void Announce(const uint8_t* data, size_t size) {
        std::vector<uint8_t> bytes = Datagram(kBroadcastAnnouncement, data, size);
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&target_),
                 sizeof target_);
    }
    void Announce(const net::GameRecord& record) { Announce(record.data(), record.size()); }
    void SendRaw(const std::vector<uint8_t>& bytes) {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&target_),
                 sizeof target_);
    }

  private:
    int fd_ = -1;
    bool bound_ = false;
    sockaddr_in target_{};
};

// Runs the cycle at a fixed time until the view holds `count` items (or 2 s).
void PumpUntil(LanList& list, FakeView& view, uint64_t now_ms, int count) {
    for (int i = 0; i < 200 && view.Count() < count; ++i) {
        list.Update(&view, now_ms);
        if (view.Count() < count)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(LanList, RecordAddressHelpers) {
    net::GameRecord record{};
    record[96] = 127;
    record[97] = 168;
    record[98] = 1;
    record[99] = 5;
    EXPECT_EQ(LanRecordAddressText(record), "127.168.1.5");
    EXPECT_EQ(LanRecordAddress(record), 0x7FA80105u);
    record[96] = 127;
    record[97] = 0;
    record[98] = 0;
    record[99] = 0;
    EXPECT_EQ(LanRecordAddressText(record), "127.0.0.0");

    EXPECT_EQ(LanParsePort("4000"), 4000);
    EXPECT_EQ(LanParsePort("65535"), 65535);
    EXPECT_EQ(LanParsePort("65536"), 0);
    EXPECT_EQ(LanParsePort("0"), 0);
    EXPECT_EQ(LanParsePort("12a"), 0);
    EXPECT_EQ(LanParsePort("-1"), 0);
    EXPECT_EQ(LanParsePort(""), 0);
    EXPECT_EQ(LanParsePort(nullptr), 0);
}

TEST(LanList, InitFromConfigNeedsAValidPort) {
    CFGFILE cfg;
    LanList list;
    EXPECT_FALSE(list.InitFromConfig(cfg, 0));
    cfg.SetText("main", "lan_bcast_port", "port");
    EXPECT_FALSE(list.InitFromConfig(cfg, 0));
    EXPECT_FALSE(list.initialised());
    cfg.SetNumber("main", "lan_bcast_port", TestPort(3) + 1);
    cfg.SetText("main", "lan_bcast_addr", kLanBroadcast);
    ASSERT_TRUE(list.InitFromConfig(cfg, 0));
    EXPECT_STREQ(inet_ntoa(list.broadcast().GetDestination()->sin_addr), kLanBroadcast);
    EXPECT_GT(LanNowMs(), 0u);
}

TEST(LanList, UninitialisedOrWithoutViewDoesNothing) {
    LanList list;
    FakeView view;
    list.Update(&view, 100000);
    EXPECT_EQ(view.clears, 0);
    list.Update(nullptr, 100000);
}

TEST(LanList, RefreshQueriesEveryTenSecondsAndListsAnnouncements) {
    const uint16_t port = TestPort(0);
    LanList list;
    ASSERT_TRUE(list.Init(port, kLanBroadcast, 1000));
    // A second discovery socket on the port sees the queries.
    BROADCAST watcher;
    ASSERT_TRUE(watcher.Init(LanList::kGameId, port, 126, kLanBroadcast));

    FakeView view;
    list.Update(&view, 1005);  // countdown of 10 ms not yet out
    EXPECT_EQ(view.clears, 0);
    list.Update(&view, 1010);
    EXPECT_EQ(view.clears, 1);
    bool query_seen = false;
    for (int i = 0; i < 100 && !query_seen; ++i) {
        if (watcher.PacketReady()) {
            uint16_t type = 0;
            uint32_t size = 0;
            sockaddr_in from{};
            auto data = watcher.Receive(&type, &size, &from);
            query_seen = type == kBroadcastQuery && size == 0;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    EXPECT_TRUE(query_seen);

    HostPeer host("127.0.0.2", port);
    ASSERT_TRUE(host.bound());
    host.Announce(MakeRecord("Alpha/Beta/Gamma", 1, 4, 77));
    PumpUntil(list, view, 2000, 1);
    ASSERT_EQ(view.Count(), 1);
    EXPECT_EQ(view.items[0].name, "Alpha/Beta/Gamma");
    EXPECT_EQ(LanRecordAddressText(*view.items[0].record), "127.0.0.2");
    EXPECT_EQ(net::GameRecordId(*view.items[0].record), 77u);
    EXPECT_EQ(view.selected, -1);  // nothing was selected before

    list.Update(&view, 11009);  // 10 s not yet over
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(view.Count(), 1);
    list.Update(&view, 11010);
    EXPECT_EQ(view.clears, 2);
    EXPECT_EQ(view.Count(), 0);  // a host that stops answering is gone
}

TEST(LanList, SelectionSurvivesRefreshWhenSameHostAnswers) {
    const uint16_t port = TestPort(1);
    LanList list;
    ASSERT_TRUE(list.Init(port, kLanBroadcast, 0));
    HostPeer first("127.0.0.2", port);
    HostPeer second("127.0.0.3", port);
    ASSERT_TRUE(first.bound() && second.bound());
    FakeView view;
    list.Update(&view, 10);  // first query
    first.Announce(MakeRecord("one", 1, 4, 1));
    second.Announce(MakeRecord("two", 1, 4, 2));
    PumpUntil(list, view, 20, 2);
    ASSERT_EQ(view.Count(), 2);
    const int second_index = view.items[0].name == "two" ? 0 : 1;
    view.Select(second_index);

    list.Update(&view, 10010);  // refresh: remember 127.0.0.3, clear
    EXPECT_EQ(list.remembered_address(), 0x7F000003u);
    EXPECT_EQ(view.Count(), 0);
    // The answers arrive in the other order; the same host is selected again.
    second.Announce(MakeRecord("two", 2, 4, 2));
    PumpUntil(list, view, 10020, 1);
    first.Announce(MakeRecord("one", 1, 4, 1));
    PumpUntil(list, view, 10020, 2);
    ASSERT_EQ(view.Count(), 2);
    ASSERT_GE(view.selected, 0);
    EXPECT_EQ(view.items[size_t(view.selected)].name, "two");

    // Without a selection at the next refresh the last address is kept.
    view.selected = -1;
    list.Update(&view, 20010);
    EXPECT_EQ(list.remembered_address(), 0x7F000003u);
}

TEST(LanList, ShortAnnouncementIsPaddedAndOtherTypesIgnored) {
    const uint16_t port = TestPort(2);
    LanList list;
    ASSERT_TRUE(list.Init(port, kLanBroadcast, 0));
    HostPeer host("127.0.0.4", port);
    ASSERT_TRUE(host.bound());
    FakeView view;
    list.Update(&view, 10);

    // A query and an empty announcement, then one cut after the name.
    host.SendRaw(Datagram(kBroadcastQuery, nullptr, 0));
    const uint8_t short_data[] = {0, 0, 0, 0, 0,   0,   0,   0,   0,  0,
                                  0, 0, 0, 0, 'S', 'h', 'o', 'r', 't'};
    host.Announce(nullptr, 0);
    host.Announce(short_data, sizeof short_data);
    PumpUntil(list, view, 20, 2);
    ASSERT_EQ(view.Count(), 2);
    EXPECT_EQ(view.items[0].name, "");
    EXPECT_EQ(view.items[1].name, "Short");
    const net::GameRecord& record = *view.items[1].record;
    EXPECT_EQ(net::GetU16(record, net::kGamePlayers), 0);
    EXPECT_EQ(net::GameRecordId(record), 0u);
    EXPECT_EQ(LanRecordAddressText(record), "127.0.0.4");
}

TEST(LanList, FloodIsBoundedPerUpdateAndPerRefresh) {
    const uint16_t port = TestPort(3);
    LanList list;
    ASSERT_TRUE(list.Init(port, kLanBroadcast, 0));
    HostPeer host("127.0.0.5", port);
    ASSERT_TRUE(host.bound());
    FakeView view;
    list.Update(&view, 10);
    const net::GameRecord record = MakeRecord("flood", 1, 2, 9);
    for (int i = 0; i < LanList::kMaxDatagramsPerUpdate + 10; ++i) host.Announce(record);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    list.Update(&view, 20);
    EXPECT_LE(view.Count(), LanList::kMaxDatagramsPerUpdate);
    for (int i = 0; i < LanList::kMaxItems; ++i) host.Announce(record);
    for (int i = 0; i < 20; ++i) {
        list.Update(&view, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(view.Count(), LanList::kMaxItems);
}

}  // namespace
}  // namespace vorlane::frontend
