// Arbitrary text as a lobbyd.cfg: the server's reader and --check-config's
// checker, and the settings description of what the reader accepted. The
// same text as an admin socket command line: its words survive quoting
// again (what vorlane-lobbyctl does), and every word may be a duration.
#include <cstdint>
#include <string>

#include "server/admin_protocol.h"
#include "server/config_check.h"
#include "server/lobby_config.h"

namespace {

void AdminLine(const std::string& line) {
    using namespace vorlane::server;
    const auto words = SplitAdminLine(line);
    if (!words)
        return;
    bool one_line = true;
    for (const std::string& word : *words) {
        (void)ParseDuration(word);
        one_line = one_line && word.find_first_of("\r\n") == std::string::npos;
    }
    if (one_line && SplitAdminLine(JoinAdminLine(*words)) != words)
        __builtin_trap();
    const std::string reply = FormatAdminReply(false, line, *words);
    if (reply.size() > kAdminMaxReply + 4096 || reply.substr(reply.size() - 2) != "\n\n")
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)vorlane::server::CheckLobbyConfigText(text);
    vorlane::server::LobbyConfig config;
    std::string error;
    if (vorlane::server::ParseLobbyConfig(text, &config, &error))
        (void)vorlane::server::DescribeLobbyConfig(config);
    if (size <= vorlane::server::kAdminMaxLine)
        AdminLine(text);
    return 0;
}
