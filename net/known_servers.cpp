#include "net/known_servers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "baselib/user_folder.h"

namespace vorlane::net {

namespace {

// A file larger than this is not a list of servers a player keeps.
constexpr std::streamoff kMostBytes = 1 << 20;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string KnownServerKey(const std::string& host, uint16_t port) {
    return host + ":" + std::to_string(port);
}

std::map<std::string, std::string> KnownServers::Load() const {
    if (path_.empty())
        return memory_;
    std::ifstream file(path_, std::ios::binary);
    if (!file)
        return {};
    file.seekg(0, std::ios::end);
    if (file.tellg() > kMostBytes)
        return {};
    file.seekg(0);
    std::ostringstream text;
    text << file.rdbuf();
    return ParseKnownServers(text.str());
}

std::string PlayerKnownServersFile() {
    return baselib::UserFile("known_servers", "data/known_servers");
}

std::map<std::string, std::string> ParseKnownServers(std::string_view text) {
    std::map<std::string, std::string> entries;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t space = line.find_first_of(" \t");
        if (space == std::string::npos)
            continue;
        entries[line.substr(0, space)] = Trim(line.substr(space));
    }
    return entries;
}

bool KnownServers::Save(const std::map<std::string, std::string>& entries) {
    if (path_.empty()) {
        memory_ = entries;
        return true;
    }
    std::ostringstream text;
    text << "# Servers whose keys this player trusts: host:port and the key's fingerprint.\n"
            "# Remove a server's line to trust a new key of that server.\n";
    for (const auto& [key, fingerprint] : entries) text << key << ' ' << fingerprint << '\n';
    const std::string bytes = text.str();
    // Written beside and renamed over, so a crash never leaves half a file.
    const std::string temporary = path_ + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    fchmod(fd, 0600);
    const bool written = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

KnownServers::Match KnownServers::Check(const std::string& host, uint16_t port,
                                        const std::string& fingerprint) const {
    const auto entries = Load();
    const auto found = entries.find(KnownServerKey(host, port));
    if (found == entries.end())
        return Match::kUnknown;
    return found->second == fingerprint ? Match::kSame : Match::kChanged;
}

bool KnownServers::Remember(const std::string& host, uint16_t port,
                            const std::string& fingerprint) {
    auto entries = Load();
    entries[KnownServerKey(host, port)] = fingerprint;
    return Save(entries);
}

bool KnownServers::Forget(const std::string& host, uint16_t port) {
    auto entries = Load();
    if (entries.erase(KnownServerKey(host, port)) == 0)
        return false;
    return Save(entries);
}

}  // namespace vorlane::net
