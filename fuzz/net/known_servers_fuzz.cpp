// Arbitrary text as the player's known-servers file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/known_servers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto entries = vorlane::net::ParseKnownServers(
        std::string_view(reinterpret_cast<const char*>(data), size));
    // Every entry has a name and a fingerprint without surrounding blanks.
    for (const auto& [server, fingerprint] : entries) {
        if (server.empty() || fingerprint.empty() || server.back() == ' ' ||
            fingerprint.front() == ' ' || fingerprint.back() == ' ')
            __builtin_trap();
    }
    return 0;
}
