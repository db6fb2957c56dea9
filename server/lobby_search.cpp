// [SECTION] index
//   Player search, game filters and their alerts, chat history.
//
// All three look at the whole cluster from this server: the search at this
// server's sessions and the users other servers announced (remote_), the
// filters at every game added to a channel here or announced on the bus,
// and the history at every public line said here or heard on the bus, so
// that each server keeps the same last lines of a channel.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <tuple>

#include "server/lobby_server.h"

namespace vorlane::server {

using namespace vorlane::net;

namespace {

constexpr size_t kMaxFilters = 8;
constexpr size_t kHistoryLines = 50;

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A game's mission: the part of its name between the first two slashes
// (the front end names games GAME/MISSION/HOST); a name without that form
// is its own mission.
std::string MissionOf(const std::string& name) {
    const size_t first = name.find('/');
    if (first == std::string::npos)
        return name;
    const size_t second = name.find('/', first + 1);
    return name.substr(first + 1,
                       second == std::string::npos ? std::string::npos : second - first - 1);
}

bool Contains(const std::string& haystack, const std::string& needle) {
    return needle.empty() || haystack.find(needle) != std::string::npos;
}

}  // namespace

// [SECTION] Player search

void LobbyServer::HandlePlayerSearch(Session& session, std::span<const uint8_t> packet) {
    if (!Spend(session, session.search, config_.search, 1, Limit::kSearch, "player searches",
               false))
        return;
    const auto request = DecodePlayerSearch(packet);
    if (!request)
        return;
    SearchResult result;
    result.page = request->page;
    // An empty prefix finds nobody: listing the whole lobby is not a search.
    const std::string prefix = Lower(request->prefix);
    // Each with its visibility as its server last told (-1: the store knows).
    struct Candidate {
        std::string key;
        uint32_t account = 0;
        std::string name;
        int visibility = -1;
    };
    std::vector<Candidate> found;
    auto consider = [&](uint32_t account, const std::string& name, int visibility) {
        if (prefix.empty() || account == 0 || account == session.account)
            return;
        std::string key = Lower(name);
        if (key.compare(0, prefix.size(), prefix) == 0)
            found.push_back({std::move(key), account, name, visibility});
    };
    for (const auto& [id, other] : sessions_) {
        if (!other.closing)
            consider(other.account, other.name, other.visibility);
    }
    for (const auto& [id, user] : remote_) consider(user.account, user.name, user.visibility);
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.key, a.account) < std::tie(b.key, b.account);
    });
    // An account handed from one server to another may be on both a moment.
    found.erase(
        std::unique(found.begin(), found.end(),
                    [](const Candidate& a, const Candidate& b) { return a.account == b.account; }),
        found.end());
    std::map<uint32_t, Relation> relations;
    if (!found.empty()) {
        for (const SocialLink& link : store_->SocialLinks(session.account))
            relations[link.other] = link.relation;
    }
    const size_t first = size_t(request->page) * kMaxSearchEntries;
    size_t visible = 0;
    for (const Candidate& candidate : found) {
        const auto relation = relations.find(candidate.account);
        const Relation to_them = relation != relations.end() ? relation->second : kRelationNone;
        // Whom an account lets see its presence may find it; being found
        // shows where it is, which is what a search is for.
        const uint16_t visibility = candidate.visibility >= 0
                                        ? uint16_t(candidate.visibility)
                                        : store_->LoadAccountState(candidate.account).visibility;
        if (visibility == kVisibleNobody ||
            (visibility == kVisibleFriends && to_them != kRelationFriend))
            continue;
        if (visible++ < first)
            continue;
        if (result.entries.size() == kMaxSearchEntries) {
            result.more = 1;
            break;
        }
        FriendEntry entry;
        entry.name = candidate.name;
        entry.relation = to_them;
        FillPresence(candidate.account, entry);
        result.entries.push_back(std::move(entry));
    }
    SendTo(session.id, EncodeSearchResult(check_, result));
}

// [SECTION] Game filters

void LobbyServer::HandleGameFilter(Session& session, std::span<const uint8_t> packet) {
    const auto filter = DecodeGameFilter(packet);
    if (!filter || filter->slot < 1 || filter->slot > kMaxFilters)
        return;
    std::vector<GameFilter>& filters = session.filters;
    filters.erase(std::remove_if(filters.begin(), filters.end(),
                                 [&](const GameFilter& f) { return f.slot == filter->slot; }),
                  filters.end());
    if (filter->flags == 0)
        return;
    GameFilter kept = *filter;
    kept.name = Lower(kept.name);
    kept.mission = Lower(kept.mission);
    filters.insert(
        std::upper_bound(filters.begin(), filters.end(), kept,
                         [](const GameFilter& a, const GameFilter& b) { return a.slot < b.slot; }),
        kept);
}

void LobbyServer::AlertFilters(const Channel& channel, const Game& game) {
    const bool wanted = std::any_of(sessions_.begin(), sessions_.end(), [](const auto& entry) {
        return !entry.second.filters.empty();
    });
    if (!wanted)
        return;
    // The host's seat comes first, on every server.
    const uint32_t host = game.seats.empty() ? 0 : game.seats.front().account;
    const std::string name = Lower(GameRecordName(game.record));
    const std::string mission = MissionOf(name);
    const uint16_t players = GetU16(game.record, kGamePlayers);
    const uint16_t max_players = GetU16(game.record, kGameMaxPlayers);
    const bool free_seats = max_players == 0 || players < max_players;
    const bool open = GetU16(game.record, kGamePasswordFlag) == 0;
    std::optional<std::set<uint32_t>> host_friends;  // read once, when a filter asks
    auto hosted_by_friend = [&](uint32_t account) {
        if (!host_friends) {
            host_friends.emplace();
            if (host != 0) {
                for (const SocialLink& link : store_->SocialLinks(host)) {
                    if (link.relation == kRelationFriend)
                        host_friends->insert(link.other);
                }
            }
        }
        return host_friends->count(account) != 0;
    };
    for (const auto& [id, session] : sessions_) {
        if (session.account == 0 || session.account == host || session.closing)
            continue;
        for (const GameFilter& filter : session.filters) {
            const bool matches =
                (filter.flags & kFilterActive) && Contains(name, filter.name) &&
                Contains(mission, filter.mission) &&
                (!(filter.flags & kFilterFreeSeats) || free_seats) &&
                (!(filter.flags & kFilterNoPassword) || open) &&
                (!(filter.flags & kFilterFriendsGames) || hosted_by_friend(session.account));
            if (!matches)
                continue;
            SendTo(id, EncodeGameAlert(check_, kPktGameAlert,
                                       {filter.slot, channel.number, game.record}));
            break;
        }
    }
}

// [SECTION] Chat history

void LobbyServer::RecordHistory(Channel& channel, uint32_t account, const std::string& name,
                                const std::string& text) {
    channel.history.push_back({channel.history_next++, uint32_t(WallNow()), account, name, text});
    if (channel.history.size() > kHistoryLines)
        channel.history.pop_front();
}

void LobbyServer::AppendHistory(const Session& session,
                                std::vector<std::vector<uint8_t>>& packets) {
    if (session.channel < 0 || size_t(session.channel) >= channels_.size())
        return;
    const Channel& channel = channels_[size_t(session.channel)];
    if (channel.history.empty())
        return;
    std::set<uint32_t> blocked;
    for (const SocialLink& link : store_->SocialLinks(session.account)) {
        if (link.relation == kRelationBlocked)
            blocked.insert(link.other);
    }
    for (const HistoryLine& line : channel.history) {
        if (line.sequence < session.history_before && blocked.count(line.account) == 0)
            packets.push_back(EncodeStoredLine(
                check_, kPktHistoryLine, {line.sequence, line.sent, 0, line.name, line.text}));
    }
}

}  // namespace vorlane::server
