// Keys and certificates made here: the self-signed certificate a server
// makes for itself at its first start, and the test CA, expired and
// other-host certificates of the tests. ECDSA P-256 keys throughout.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct x509_st;
struct evp_pkey_st;

namespace vorlane::net {

struct KeyFree {
    void operator()(evp_pkey_st* key) const;
};
struct CertificateFree {
    void operator()(x509_st* cert) const;
};
using KeyPtr = std::unique_ptr<evp_pkey_st, KeyFree>;
using CertificatePtr = std::unique_ptr<x509_st, CertificateFree>;

struct CertificateFields {
    std::string common_name = "vorlane-lobbyd";
    std::vector<std::string> dns_names;  // subjectAltName entries
    std::vector<std::string> addresses;  // IPv4 subjectAltName entries
    // Validity relative to now, in seconds.
    int64_t not_before = -3600;
    int64_t not_after = int64_t(20) * 365 * 24 * 3600;
    bool ca = false;  // may sign other certificates
    uint64_t serial = 1;
};

// A new ECDSA P-256 key; null on failure.
KeyPtr NewEcKey();
// A certificate for `key`, signed by `issuer_key` under `issuer` (both null:
// self-signed). Null on failure.
CertificatePtr MakeCertificate(const CertificateFields& fields, evp_pkey_st* key, x509_st* issuer,
                               evp_pkey_st* issuer_key);

// PEM files. The key is written readable by its owner only (0600), and never
// over an existing file; false on failure.
bool WritePrivateKey(const std::string& path, evp_pkey_st* key);
bool WriteCertificate(const std::string& path, x509_st* cert);

}  // namespace vorlane::net
