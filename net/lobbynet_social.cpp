// LOBBYNET's friends, player search, game filters, kept lines, chat history
// and the away summary. Everything a server sends here is kept within the
// bounds the codecs and the server promise, whatever a packet claims: a
// hostile or broken server cannot make the client grow a list without end.
#include <algorithm>
#include <cctype>

#include "baselib/logsys.h"
#include "net/lobbynet.h"
#include "net/net_protocol.h"

using namespace vorlane::net;

namespace {

// Account names are compared without regard to letter case, as the server does.
bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y));
           });
}

bool SameFilter(const GameFilter& a, const GameFilter& b) {
    return a.slot == b.slot && a.flags == b.flags && a.name == b.name && a.mission == b.mission;
}

}  // namespace

// [SECTION] Requests

int16_t LOBBYNET::SendSocialAction(uint16_t action, const std::string& name) {
    if (!in_session_ || name.empty())
        return 0;
    return SendPacket(EncodeSocialAction(check_, {action, name})) ? 1 : 0;
}

int16_t LOBBYNET::SetVisibility(uint16_t visibility) {
    visibility_ = visibility;
    if (!in_session_)
        return 0;
    return SendPacket(EncodeU16Body(check_, kPktVisibility, visibility)) ? 1 : 0;
}

int16_t LOBBYNET::RequestFriends() {
    if (!in_session_)
        return 0;
    return SendPacket(EncodeEmpty(check_, kPktFriendsRequest)) ? 1 : 0;
}

int16_t LOBBYNET::SearchPlayers(const std::string& prefix, uint16_t page) {
    if (!in_session_ || prefix.empty())
        return 0;
    return SendPacket(EncodePlayerSearch(check_, {page, prefix})) ? 1 : 0;
}

int16_t LOBBYNET::SendPrivateByName(const std::string& name, const std::string& text) {
    if (!in_session_ || name.empty() || text.empty())
        return 0;
    return SendPacket(EncodePrivateByName(check_, {name, text})) ? 1 : 0;
}

int16_t LOBBYNET::DeleteStoredLine(uint32_t id) {
    if (id == 0) {
        stored_lines_.clear();
    } else {
        std::erase_if(stored_lines_, [id](const StoredLine& line) { return line.id == id; });
    }
    if (!in_session_)
        return 0;
    return SendPacket(EncodeU32Body(check_, kPktStoredLineDelete, id)) ? 1 : 0;
}

void LOBBYNET::SetGameFilters(const std::vector<GameFilter>& filters) {
    filters_.clear();
    for (const GameFilter& filter : filters) {
        if (filters_.size() == kMaxGameFilters)
            break;
        GameFilter kept = filter;
        kept.slot = uint16_t(filters_.size() + 1);
        filters_.push_back(kept);
    }
    if (in_session_)
        SendFilters();
}

// Only what changed goes out: the server keeps a slot until it is replaced
// or removed, and every request costs the player's budget.
void LOBBYNET::SendFilters() {
    for (uint16_t slot = 1; slot <= kMaxGameFilters; ++slot) {
        const GameFilter* wanted = slot <= filters_.size() ? &filters_[slot - 1] : nullptr;
        const GameFilter* held = slot <= sent_filters_.size() ? &sent_filters_[slot - 1] : nullptr;
        const bool wanted_used = wanted && wanted->flags != 0;
        const bool held_used = held && held->flags != 0;
        if (!wanted_used && !held_used)
            continue;
        if (wanted_used && held_used && SameFilter(*wanted, *held))
            continue;
        GameFilter body = wanted_used ? *wanted : GameFilter{slot, 0, "", ""};
        body.slot = slot;
        SendPacket(EncodeGameFilter(check_, body));
    }
    sent_filters_ = filters_;
}

void LOBBYNET::SendSocialState() {
    RequestFriends();
    if (visibility_ != kVisibilityUnset)
        SendPacket(EncodeU16Body(check_, kPktVisibility, visibility_));
    sent_filters_.clear();
    SendFilters();
}

void LOBBYNET::ClearSocial() {
    friends_.clear();
    stored_lines_.clear();
    history_.clear();
    away_ = {};
    search_ = {};
    sent_filters_.clear();
}

// [SECTION] Received packets

bool LOBBYNET::HandleSocial(uint16_t id, std::span<const uint8_t> packet) {
    switch (id) {
        case kPktFriendList:
            friends_ = DecodeFriendList(packet);
            if (frontend_)
                frontend_->FriendsChanged(friends_, nullptr);
            return true;
        case kPktFriendChanged:
            HandleFriendChanged(packet);
            return true;
        case kPktSearchResult:
            if (const auto result = DecodeSearchResult(packet)) {
                search_ = *result;
                if (frontend_)
                    frontend_->SearchResultReceived(search_);
            }
            return true;
        case kPktGameAlert:
            if (const auto alert = DecodeGameAlert(packet); alert && frontend_)
                frontend_->GameAlertReceived(*alert);
            return true;
        case kPktStoredLine:
        case kPktHistoryLine:
            HandleStoredLine(id, packet);
            return true;
        case kPktAwaySummary:
            if (const auto summary = DecodeAwaySummary(packet)) {
                // The kept lines follow the summary: they make the list anew.
                away_ = *summary;
                stored_lines_.clear();
                if (frontend_)
                    frontend_->AwaySummaryReceived(away_);
            }
            return true;
        default:
            return false;
    }
}

void LOBBYNET::HandleFriendChanged(std::span<const uint8_t> packet) {
    const auto change = DecodeFriendChanged(packet);
    if (!change || change->entry.name.empty())
        return;
    auto found = std::find_if(friends_.begin(), friends_.end(), [&](const FriendEntry& entry) {
        return SameName(entry.name, change->entry.name);
    });
    if (change->event == kFriendGone) {
        if (found != friends_.end())
            friends_.erase(found);
    } else if (found != friends_.end()) {
        *found = change->entry;
    } else if (friends_.size() < kMaxFriendListEntries) {
        friends_.push_back(change->entry);
    } else {
        return;  // the server never lists more; this one is not shown
    }
    if (frontend_)
        frontend_->FriendsChanged(friends_, &*change);
}

void LOBBYNET::HandleStoredLine(uint16_t id, std::span<const uint8_t> packet) {
    const auto line = DecodeStoredLine(packet);
    if (!line)
        return;
    if (id == kPktHistoryLine) {
        if (history_.size() >= kMaxHistoryLines)
            return;
        history_.push_back(*line);
        if (frontend_)
            frontend_->HistoryLineReceived(*line);
        return;
    }
    if (line->id != 0) {
        // A kept line comes once per log-in; one that came already in this
        // session is not shown twice.
        const bool known = std::any_of(stored_lines_.begin(), stored_lines_.end(),
                                       [&](const StoredLine& held) { return held.id == line->id; });
        if (known || stored_lines_.size() >= kMaxStoredLines)
            return;
        stored_lines_.push_back(*line);
    }
    if (frontend_)
        frontend_->StoredLineReceived(*line);
}
