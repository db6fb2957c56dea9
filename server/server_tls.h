// The server's TLS identity: the configured certificate and key, or a
// self-signed pair (ECDSA P-256) that the server makes at its first start and
// keeps, the key readable by its owner only.
#pragma once

#include <memory>
#include <string>

#include "net/net_tls.h"
#include "server/lobby_config.h"

namespace vorlane::server {

// File names of the self-signed pair in the TLS folder.
constexpr const char* kSelfSignedCert = "lobbyd-cert.pem";
constexpr const char* kSelfSignedKey = "lobbyd-key.pem";

// Where the self-signed pair lives: tls_dir, else the database's folder.
std::string TlsFolder(const LobbyConfig& config);

// The context every connection is encrypted with; null with `error` set.
// `created` tells whether a self-signed pair was made just now.
std::shared_ptr<net::TlsContext> LoadServerTls(const LobbyConfig& config, bool* created,
                                               std::string* error);

}  // namespace vorlane::server
