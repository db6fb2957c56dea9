// KnownServers: the public keys a client trusted on first use, one line per
// server and port in a text file (the player's "known_servers"):
//
//   # comment
//   lobby.example.org:3100 SHA256:2rWTg0...
//
// The fingerprint is that of the certificate's public key (see
// SpkiFingerprint), so a server that renews its certificate with the same
// key stays known. A player who trusts a changed key removes the server's
// line (Forget). The file is written with mode 0600.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vorlane::net {

// The entries of a known-servers text: "host:port fingerprint" per line;
// blank lines, lines starting with '#' and lines without a fingerprint are
// skipped, and a later line for the same server wins.
std::map<std::string, std::string> ParseKnownServers(std::string_view text);

// The player's file, shared by the front end and the game: "known_servers"
// in the user folder (baselib/user_folder.h), carried over from
// "data/known_servers" beside the data set where older versions kept it.
std::string PlayerKnownServersFile();

class KnownServers {
  public:
    // `path` empty: remembered for the life of this object only.
    explicit KnownServers(std::string path) : path_(std::move(path)) {}

    enum class Match { kUnknown, kSame, kChanged };
    Match Check(const std::string& host, uint16_t port, const std::string& fingerprint) const;
    // Stores (or replaces) the server's key. False when the file cannot be written.
    bool Remember(const std::string& host, uint16_t port, const std::string& fingerprint);
    // Removes the server's line; true when there was one.
    bool Forget(const std::string& host, uint16_t port);

    const std::string& path() const { return path_; }

  private:
    std::map<std::string, std::string> Load() const;
    bool Save(const std::map<std::string, std::string>& entries);

    std::string path_;
    std::map<std::string, std::string> memory_;  // when there is no file
};

// The key of a server in the file: "host:port".
std::string KnownServerKey(const std::string& host, uint16_t port);

}  // namespace vorlane::net
