#include "server/lobby_channels.h"

#include <strings.h>

#include <algorithm>

#include "net/lobby_packets.h"

namespace vorlane::server {

StoredChannel* FindStoredChannel(std::vector<StoredChannel>& stored, const std::string& name) {
    auto found = std::find_if(stored.begin(), stored.end(), [&](const StoredChannel& channel) {
        return strcasecmp(channel.name.c_str(), name.c_str()) == 0;
    });
    return found != stored.end() ? &*found : nullptr;
}

uint16_t NextChannelNumber(const std::vector<StoredChannel>& stored) {
    uint32_t highest = 0;
    for (const StoredChannel& channel : stored)
        highest = std::max<uint32_t>(highest, channel.number);
    return highest < 0xFFFF ? uint16_t(highest + 1) : 0;
}

std::vector<LiveChannel> ResolveChannels(const std::vector<ChannelConfig>& file,
                                         std::vector<StoredChannel>* stored,
                                         std::vector<StoredChannel>* changed) {
    std::vector<LiveChannel> live;
    for (const ChannelConfig& channel : file) {
        StoredChannel* row = FindStoredChannel(*stored, channel.name);
        if (!row) {
            const uint16_t number = NextChannelNumber(*stored);
            if (number == 0)
                continue;
            stored->push_back({number, channel.name, channel.flags, ChannelOrigin::kFile});
            changed->push_back(stored->back());
            row = &stored->back();
        } else if (row->origin == ChannelOrigin::kFile && row->flags != channel.flags) {
            row->flags = channel.flags;
            changed->push_back(*row);
        }
        const bool twice = std::any_of(live.begin(), live.end(), [&](const LiveChannel& other) {
            return other.number == row->number;
        });
        if (row->origin == ChannelOrigin::kFile && !twice)
            live.push_back({row->number, {row->name, row->flags}});
    }
    for (const StoredChannel& row : *stored) {
        if (row.origin == ChannelOrigin::kAdded)
            live.push_back({row.number, {row.name, row.flags}});
    }
    std::sort(live.begin(), live.end(),
              [](const LiveChannel& a, const LiveChannel& b) { return a.number < b.number; });
    if (live.size() > net::kMaxChannels)
        live.resize(net::kMaxChannels);
    return live;
}

}  // namespace vorlane::server
