// Arbitrary text as a lobbyd.cfg: the server's reader and --check-config's
// checker, and the settings description of what the reader accepted.
#include <cstdint>
#include <string>

#include "server/config_check.h"
#include "server/lobby_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)vorlane::server::CheckLobbyConfigText(text);
    vorlane::server::LobbyConfig config;
    std::string error;
    if (vorlane::server::ParseLobbyConfig(text, &config, &error))
        (void)vorlane::server::DescribeLobbyConfig(config);
    return 0;
}
