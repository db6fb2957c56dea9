#include "server/server_tls.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/tls_certificate.h"

namespace vorlane::server {

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Makes the pair; the key first, so a pair is never left with a certificate
// whose key is missing.
bool CreateSelfSigned(const std::string& cert_path, const std::string& key_path,
                      std::string* error) {
    net::KeyPtr key = net::NewEcKey();
    net::CertificateFields fields;
    fields.common_name = "vorlane-lobbyd";
    fields.dns_names = {"localhost"};
    fields.addresses = {"127.0.0.1"};
    net::CertificatePtr cert =
        key ? net::MakeCertificate(fields, key.get(), nullptr, nullptr) : nullptr;
    if (!cert) {
        *error = "cannot make a self-signed certificate";
        return false;
    }
    if (!net::WritePrivateKey(key_path, key.get())) {
        *error = "cannot write " + key_path + ": " + std::strerror(errno);
        return false;
    }
    if (!net::WriteCertificate(cert_path, cert.get())) {
        *error = "cannot write " + cert_path;
        unlink(key_path.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string TlsFolder(const LobbyConfig& config) {
    if (!config.tls_dir.empty())
        return config.tls_dir;
    // A store without a file of its own keeps the pair in the log folder.
    if (!config.store.empty())
        return config.log_dir;
    const size_t slash = config.database.rfind('/');
    return slash == std::string::npos ? "." : config.database.substr(0, slash);
}

std::shared_ptr<net::TlsContext> LoadServerTls(const LobbyConfig& config, bool* created,
                                               std::string* error) {
    if (created)
        *created = false;
    std::string cert = config.tls_cert, key = config.tls_key;
    if (cert.empty() != key.empty()) {
        *error = "tls_cert and tls_key go together";
        return nullptr;
    }
    if (cert.empty()) {
        const std::string folder = TlsFolder(config);
        mkdir(folder.c_str(), 0700);
        cert = folder + "/" + kSelfSignedCert;
        key = folder + "/" + kSelfSignedKey;
        if (!Exists(cert) && !Exists(key)) {
            if (!CreateSelfSigned(cert, key, error))
                return nullptr;
            if (created)
                *created = true;
        }
    }
    return net::TlsContext::ForServer(cert, key, error);
}

}  // namespace vorlane::server
