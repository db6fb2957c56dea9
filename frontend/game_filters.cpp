#include "frontend/game_filters.h"

#include <algorithm>
#include <cctype>

#include "baselib/cfgfile.h"

namespace vorlane::frontend {

namespace {

constexpr const char* kFilters = "filters";
constexpr const char* kSocial = "social";

bool ContainsNoCase(const std::string& text, const std::string& part) {
    if (part.empty())
        return true;
    auto lower = [](char c) { return char(std::tolower(uint8_t(c))); };
    auto found = std::search(text.begin(), text.end(), part.begin(), part.end(),
                             [&](char a, char b) { return lower(a) == lower(b); });
    return found != text.end();
}

std::string Key(size_t slot, const char* field) {
    return "filter" + std::to_string(slot) + "_" + field;
}

}  // namespace

std::string MissionOfGameName(const std::string& name) {
    const size_t first = name.find('/');
    const size_t second = first == std::string::npos ? first : name.find('/', first + 1);
    if (second == std::string::npos)
        return name;
    return name.substr(first + 1, second - first - 1);
}

bool GameMatches(const net::GameRecord& game, const net::GameFilter& filter,
                 const std::vector<net::FriendEntry>& friends) {
    if (!(filter.flags & net::kFilterActive))
        return false;
    const std::string name = net::GameRecordName(game);
    if (!ContainsNoCase(name, filter.name) ||
        !ContainsNoCase(MissionOfGameName(name), filter.mission))
        return false;
    const uint16_t players = net::GetU16(game, net::kGamePlayers);
    const uint16_t most = net::GetU16(game, net::kGameMaxPlayers);
    if ((filter.flags & net::kFilterFreeSeats) && most != 0 && players >= most)
        return false;
    if ((filter.flags & net::kFilterNoPassword) && net::GetU16(game, net::kGamePasswordFlag) != 0)
        return false;
    if (filter.flags & net::kFilterFriendsGames) {
        // A friend's "where" holds at most the first 39 characters of the name.
        const std::string shown = name.substr(0, net::kWhereWidth - 1);
        const bool friend_there =
            std::any_of(friends.begin(), friends.end(), [&](const net::FriendEntry& entry) {
                return entry.relation == net::kRelationFriend &&
                       entry.state == net::kPresenceInGame && !entry.where.empty() &&
                       entry.where == shown;
            });
        if (!friend_there)
            return false;
    }
    return true;
}

bool GameMatchesAny(const net::GameRecord& game, const std::vector<net::GameFilter>& filters,
                    const std::vector<net::FriendEntry>& friends) {
    return std::any_of(filters.begin(), filters.end(), [&](const net::GameFilter& filter) {
        return GameMatches(game, filter, friends);
    });
}

std::vector<net::GameFilter> ReadSavedFilters(CFGFILE& file) {
    std::vector<net::GameFilter> filters;
    for (size_t slot = 1; slot <= kMaxSavedFilters; ++slot) {
        const int64_t flags = file.GetNumber(kFilters, Key(slot, "flags").c_str(), 0);
        if (flags <= 0 || flags > 0xF)
            continue;
        net::GameFilter filter;
        filter.slot = uint16_t(filters.size() + 1);
        filter.flags = uint16_t(flags);
        const char* name = file.GetText(kFilters, Key(slot, "name").c_str());
        const char* mission = file.GetText(kFilters, Key(slot, "mission").c_str());
        // The server reads 34 characters of each; more would match differently here.
        filter.name = std::string(name ? name : "").substr(0, net::kFilterTextWidth - 1);
        filter.mission = std::string(mission ? mission : "").substr(0, net::kFilterTextWidth - 1);
        filters.push_back(filter);
    }
    return filters;
}

void PutSavedFilters(CFGFILE& file, const std::vector<net::GameFilter>& filters) {
    for (size_t slot = 1; slot <= kMaxSavedFilters; ++slot) {
        const net::GameFilter* filter = slot <= filters.size() ? &filters[slot - 1] : nullptr;
        file.SetNumber(kFilters, Key(slot, "flags").c_str(), filter ? filter->flags : 0);
        file.SetText(kFilters, Key(slot, "name").c_str(), filter ? filter->name.c_str() : "");
        file.SetText(kFilters, Key(slot, "mission").c_str(), filter ? filter->mission.c_str() : "");
    }
}

int ReadSavedVisibility(CFGFILE& file) {
    const int64_t value = file.GetNumber(kSocial, "visibility", -1);
    return value >= net::kVisibleEveryone && value <= net::kVisibleNobody ? int(value) : -1;
}

void PutSavedVisibility(CFGFILE& file, int visibility) {
    file.SetNumber(kSocial, "visibility", visibility);
}

}  // namespace vorlane::frontend
