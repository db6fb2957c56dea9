// vorlane-lobbyctl: the operator's tool for a running vorlane-lobbyd, over
// the server's admin socket (a local Unix socket; there is no network admin
// port). One command per call; see PrintHelp for the reference.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "server/admin_protocol.h"
#include "server/lobby_config.h"

namespace {

// A backup of a large database may take a while; nothing else does.
constexpr int kReplyTimeoutMs = 10 * 60 * 1000;

void PrintHelp() {
    std::printf(
        "Usage: vorlane-lobbyctl [--socket PATH | --config FILE] COMMAND [ARGUMENTS]\n"
        "\n"
        "Talks to a running vorlane-lobbyd over its admin socket (admin_socket in\n"
        "[lobbyd], default admin.sock beside the database; mode 0600, so run it as\n"
        "the server's user or as root). Every command is written to the server's\n"
        "audit log (audit_log, default audit.log beside the database) with the time\n"
        "and the caller's user name, uid and pid.\n"
        "\n"
        "Options:\n"
        "  --socket PATH   the admin socket\n"
        "  --config FILE   find the socket as the server does with this\n"
        "                  configuration (default data/lobbyd.cfg when it exists,\n"
        "                  else admin.sock); relative paths start in the current\n"
        "                  folder, as the server's do in its working folder\n"
        "  --help          this text\n"
        "\n"
        "Commands (USER and ACCOUNT are account names, letter case aside; quote\n"
        "names with blanks: kick \"Big Bob\" spam):\n"
        "  who                        users online: account, profile, channel,\n"
        "                             address, connected since (UTC)\n"
        "  channels                   number, name, flags, users, games, and whether\n"
        "                             the file or this tool made it\n"
        "  games                      games: identifier, channel, name, host, players\n"
        "  kick USER [REASON]         closes USER's connection; the player sees REASON\n"
        "  mute USER DURATION [REASON]\n"
        "                             USER's chat lines reach nobody; each is answered\n"
        "                             with a notice (reason, time left)\n"
        "  unmute USER                ends a mute\n"
        "  ban ACCOUNT|ADDRESS DURATION REASON\n"
        "                             refuses the account's log-ins, or every log-in and\n"
        "                             new account from the IPv4 address; the player sees\n"
        "                             REASON and the time left; whoever is online under\n"
        "                             it is sent out at once\n"
        "  unban ACCOUNT|ADDRESS      ends a ban\n"
        "  bans                       bans and mutes in force\n"
        "  say TEXT                   a line from the server in every channel's chat\n"
        "                             (at most 127 characters)\n"
        "  channel add NAME FLAGS     a new channel (FLAGS 0, or 2: games may be created)\n"
        "  channel remove NAME        its users go back to the channel list with a notice\n"
        "  reset-password ACCOUNT     sets and prints a new random password\n"
        "  reload                     channels and limits from the configuration file;\n"
        "                             nobody is dropped (ports, files, encryption and\n"
        "                             threads change at the next start)\n"
        "  stats                      counters: users, games, chat, log-ins, refusals\n"
        "  backup FILE                a consistent copy of the database while the\n"
        "                             server runs (SQLite's online backup) into FILE,\n"
        "                             which must not exist yet; mode 0600. The server\n"
        "                             writes it: as the packaged service, only into\n"
        "                             its own folders (/var/lib/vorlane-lobbyd).\n"
        "                             Only for an SQLite store\n"
        "\n"
        "DURATION is a number with s, m, h or d (30s, 10m, 2h, 7d; at most ten years),\n"
        "or permanent. Bans and mutes are kept in the database, survive restarts and\n"
        "end by themselves. Channels added or removed here are kept in the database\n"
        "and win over the configuration file at reload and restart; a channel keeps\n"
        "its number for good, and numbers are never given to another channel.\n"
        "\n"
        "Output: the server's answer on standard output. Exit status 0 when the\n"
        "command was done, 1 when the server refused it or cannot be reached, 2 for a\n"
        "wrong call.\n");
}

int Usage(const char* why) {
    std::fprintf(stderr, "vorlane-lobbyctl: %s (see vorlane-lobbyctl --help)\n", why);
    return 2;
}

// The admin socket a configuration file names.
bool SocketFromConfig(const std::string& path, std::string* socket_path, std::string* error) {
    vorlane::server::LobbyConfig config;
    if (!vorlane::server::LoadLobbyConfig(path, &config, error))
        return false;
    *socket_path = vorlane::server::AdminSocketPath(config);
    return true;
}

// Sends `line` and reads the reply; false with a reason.
bool Ask(const std::string& socket_path, const std::string& line, std::string* reply,
         std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.empty() || socket_path.size() >= sizeof address.sun_path) {
        *error = "the socket path is empty or too long: " + socket_path;
        return false;
    }
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = "cannot reach the server at " + socket_path + ": " + std::strerror(errno) +
                 " (is vorlane-lobbyd running, and may this user open its socket?)";
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const std::string request = line + "\n";
    bool ok = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    while (ok && reply->find("\n\n") == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd wait{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&wait, 1, int(left)) <= 0) {
            *error = "the server did not answer in time";
            ::close(fd);
            return false;
        }
        char chunk[4096];
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0 || reply->size() > vorlane::server::kAdminMaxReply)
            ok = false;
        else
            reply->append(chunk, size_t(got));
    }
    ::close(fd);
    if (!ok)
        *error = "the server closed the connection without a whole answer";
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string socket_path, config_path;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (!words.empty()) {
            words.push_back(option);
        } else if (option == "--help" || option == "-h") {
            PrintHelp();
            return 0;
        } else if ((option == "--socket" || option == "--config") && i + 1 < argc) {
            (option == "--socket" ? socket_path : config_path) = argv[++i];
        } else if (option.rfind("--", 0) == 0) {
            return Usage(("unknown option " + option).c_str());
        } else {
            words.push_back(option);
        }
    }
    if (words.empty())
        return Usage("no command given");
    if (!socket_path.empty() && !config_path.empty())
        return Usage("--socket and --config exclude each other");
    if (socket_path.empty()) {
        if (config_path.empty() && std::filesystem::exists("data/lobbyd.cfg"))
            config_path = "data/lobbyd.cfg";
        std::string error;
        if (config_path.empty())
            socket_path = "admin.sock";
        else if (!SocketFromConfig(config_path, &socket_path, &error)) {
            std::fprintf(stderr, "vorlane-lobbyctl: %s\n", error.c_str());
            return 1;
        }
    }
    // The server writes the copy where this caller means, not in its own folder.
    if (words[0] == "backup" && words.size() == 2 && !words[1].empty())
        words[1] = std::filesystem::absolute(words[1]).lexically_normal().string();

    std::string reply, error;
    if (!Ask(socket_path, vorlane::server::JoinAdminLine(words), &reply, &error)) {
        std::fprintf(stderr, "vorlane-lobbyctl: %s\n", error.c_str());
        return 1;
    }
    reply.resize(reply.find("\n\n") + 1);
    const size_t first_end = reply.find('\n');
    const std::string status = reply.substr(0, first_end);
    const std::string rest = reply.substr(first_end + 1);
    if (status == "ok") {
        std::fputs(rest.c_str(), stdout);
        return 0;
    }
    const std::string message = status.rfind("error: ", 0) == 0 ? status.substr(7) : status;
    std::fprintf(stderr, "vorlane-lobbyctl: %s\n", message.c_str());
    std::fputs(rest.c_str(), stderr);
    return 1;
}
