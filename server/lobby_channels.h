// Which channels are live, and under which numbers, from the configuration
// file and what the admin tool did.
//
// Every channel name the server has ever had keeps one number for good
// (stored with its origin, see StoredChannel): a client or a game host that
// saved a number never lands in another channel under it. A name new to the
// store gets the next number never used. The tool wins over the file: a
// channel it added stays without the file, and one it removed stays removed
// though the file still names it.
#pragma once

#include <vector>

#include "server/lobby_config.h"
#include "server/lobby_store.h"

namespace vorlane::server {

struct LiveChannel {
    uint16_t number = 0;
    ChannelConfig config;
};

// The live channels by number (at most net::kMaxChannels). `stored` is every
// channel ever known; it gains rows for the file's new names and the file's
// new flags, and `changed` lists those rows for the store.
std::vector<LiveChannel> ResolveChannels(const std::vector<ChannelConfig>& file,
                                         std::vector<StoredChannel>* stored,
                                         std::vector<StoredChannel>* changed);

// The row of `name` (letter case aside) in `stored`, or null.
StoredChannel* FindStoredChannel(std::vector<StoredChannel>& stored, const std::string& name);
// The next number never used, or 0 when all are taken.
uint16_t NextChannelNumber(const std::vector<StoredChannel>& stored);

}  // namespace vorlane::server
