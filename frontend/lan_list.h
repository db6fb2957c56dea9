// LanList: the LAN game list of the main map in network mode 3.
//
// Every Update first takes the waiting datagrams: each announcement (type 44)
// becomes a 126-byte game record (the sender's IPv4 address in bytes 96-99)
// attached to a new list item named by the record's game name. When the
// refresh countdown has run out, the selected game's address is remembered,
// the list is cleared, a query (type 43) is broadcast and the countdown starts
// again with 10 s. An announcement from the remembered address selects its
// item again, so the selection survives a refresh when the same host answers.
//
//   Update:  [datagrams waiting] -> add items  -> [countdown out] -> remember,
//            clear, query, countdown := 10000 ms
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "baselib/cfgfile.h"
#include "net/broadcast.h"
#include "net/lobby_packets.h"

class GUI_LIST;

namespace vorlane::frontend {

// The list widget the cycle fills; records are shared with the items.
class LanListView {
  public:
    virtual ~LanListView() = default;
    // Removes every item (and releases their records).
    virtual void Clear() = 0;
    // Appends an item; returns its index or -1.
    virtual int Add(const std::string& name, std::shared_ptr<net::GameRecord> record) = 0;
    virtual void Select(int index) = 0;
    // The record of the selected item, or null.
    virtual const net::GameRecord* Selected() const = 0;
    virtual int Count() const = 0;
};

// The view over a GUI_LIST ("menu.lan.obj_list_game"); a null list ignores
// everything.
class GuiLanListView : public LanListView {
  public:
    explicit GuiLanListView(GUI_LIST* list) : list_(list) {}
    void Clear() override;
    int Add(const std::string& name, std::shared_ptr<net::GameRecord> record) override;
    void Select(int index) override;
    const net::GameRecord* Selected() const override;
    int Count() const override;

  private:
    GUI_LIST* list_;
};

// The IPv4 address in bytes 96-99 of a record, in network order as a number
// (first byte most significant).
uint32_t LanRecordAddress(const net::GameRecord& record);
// "a.b.c.d" of bytes 96-99, decimal without leading zeros.
std::string LanRecordAddressText(const net::GameRecord& record);

class LanList {
  public:
    static constexpr uint32_t kGameId = 12;
    static constexpr uint32_t kRefreshMs = 10000;
    // The first query goes out almost at once.
    static constexpr uint32_t kFirstRefreshMs = 10;
    // Datagrams taken per Update and items kept per refresh: a flood of
    // announcements can neither stall the frame nor grow the list without end.
    static constexpr int kMaxDatagramsPerUpdate = 64;
    static constexpr int kMaxItems = 256;

    // Opens the discovery socket on `port`; queries go to `broadcast_address`
    // (null or empty: 255.255.255.255). `now_ms` starts the first countdown.
    bool Init(uint16_t port, const char* broadcast_address, uint64_t now_ms);
    // The same with `main`/`lan_bcast_port` and `main`/`lan_bcast_addr` of
    // the lobby configuration; false without a valid port.
    bool InitFromConfig(CFGFILE& lobby_cfg, uint64_t now_ms);
    void Done() { broadcast_.Done(); }

    // One cycle at time `now_ms` (a monotonic millisecond clock).
    void Update(LanListView* view, uint64_t now_ms);

    uint32_t remembered_address() const { return remembered_address_; }
    BROADCAST& broadcast() { return broadcast_; }
    bool initialised() const { return broadcast_.IsInitialised(); }

  private:
    void TakeDatagrams(LanListView* view);
    void Refresh(LanListView* view, uint64_t now_ms);

    BROADCAST broadcast_;
    uint64_t refresh_at_ = 0;
    uint32_t remembered_address_ = 0;
};

// Milliseconds of a steady clock, for Update outside tests.
uint64_t LanNowMs();

// Parses a decimal port text (1..65535); 0 when it is not one.
uint16_t LanParsePort(const char* text);

}  // namespace vorlane::frontend
