#include "frontend/lan_list.h"

#include <chrono>
#include <cstdlib>

#include "gui/gui_widgets.h"

namespace vorlane::frontend {

// [SECTION] The GUI list view

void GuiLanListView::Clear() {
    if (list_)
        list_->Clear();
}

int GuiLanListView::Add(const std::string& name, std::shared_ptr<net::GameRecord> record) {
    if (!list_)
        return -1;
    return list_->AddItem(name.c_str(), false, 0, std::move(record));
}

void GuiLanListView::Select(int index) {
    if (list_)
        list_->SetSelection(index);
}

const net::GameRecord* GuiLanListView::Selected() const {
    if (!list_ || list_->selection() < 0)
        return nullptr;
    return static_cast<const net::GameRecord*>(list_->GetItemRecord(list_->selection()));
}

int GuiLanListView::Count() const {
    return list_ ? list_->ItemCount() : 0;
}

// [SECTION] Record helpers

uint32_t LanRecordAddress(const net::GameRecord& record) {
    const size_t at = net::kGameAddress;
    return uint32_t(record[at]) << 24 | uint32_t(record[at + 1]) << 16 |
           uint32_t(record[at + 2]) << 8 | uint32_t(record[at + 3]);
}

std::string LanRecordAddressText(const net::GameRecord& record) {
    const size_t at = net::kGameAddress;
    return std::to_string(record[at]) + "." + std::to_string(record[at + 1]) + "." +
           std::to_string(record[at + 2]) + "." + std::to_string(record[at + 3]);
}

uint16_t LanParsePort(const char* text) {
    if (!text || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (!end || *end != '\0' || value == 0 || value > 65535)
        return 0;
    return uint16_t(value);
}

// [SECTION] The cycle

bool LanList::Init(uint16_t port, const char* broadcast_address, uint64_t now_ms) {
    const char* destination =
        broadcast_address && *broadcast_address ? broadcast_address : "255.255.255.255";
    if (!broadcast_.Init(kGameId, port, uint32_t(net::kGameRecordSize), destination))
        return false;
    refresh_at_ = now_ms + kFirstRefreshMs;
    remembered_address_ = 0;
    return true;
}

bool LanList::InitFromConfig(CFGFILE& lobby_cfg, uint64_t now_ms) {
    const uint16_t port = LanParsePort(lobby_cfg.GetText("main", "lan_bcast_port"));
    if (port == 0)
        return false;
    return Init(port, lobby_cfg.GetText("main", "lan_bcast_addr"), now_ms);
}

uint64_t LanNowMs() {
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

void LanList::Update(LanListView* view, uint64_t now_ms) {
    if (!broadcast_.IsInitialised() || !view)
        return;
    TakeDatagrams(view);
    if (now_ms >= refresh_at_)
        Refresh(view, now_ms);
}

void LanList::TakeDatagrams(LanListView* view) {
    for (int taken = 0; taken < kMaxDatagramsPerUpdate && broadcast_.PacketReady(); ++taken) {
        uint16_t type = 0;
        uint32_t size = 0;
        sockaddr_in sender{};
        std::unique_ptr<uint8_t[]> data = broadcast_.Receive(&type, &size, &sender);
        if (!data || type != kBroadcastAnnouncement)
            continue;
        if (view->Count() >= kMaxItems)
            continue;
        // A short data part is padded with zeros, never read past its end.
        auto record = std::make_shared<net::GameRecord>();
        if (!BROADCAST_GameRecord(data.get(), size, &sender, record->data()))
            continue;
        const uint32_t address = LanRecordAddress(*record);
        const int index = view->Add(net::GameRecordName(*record), record);
        if (index >= 0 && remembered_address_ != 0 && address == remembered_address_)
            view->Select(index);
    }
}

void LanList::Refresh(LanListView* view, uint64_t now_ms) {
    if (const net::GameRecord* selected = view->Selected())
        remembered_address_ = LanRecordAddress(*selected);
    view->Clear();
    refresh_at_ = now_ms + kRefreshMs;
    broadcast_.Send(kBroadcastQuery, nullptr, 0);
}

}  // namespace vorlane::frontend
