#include "net/tls_certificate.h"

#include <fcntl.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>

namespace vorlane::net {

void KeyFree::operator()(EVP_PKEY* key) const {
    EVP_PKEY_free(key);
}

void CertificateFree::operator()(X509* cert) const {
    X509_free(cert);
}

KeyPtr NewEcKey() {
    return KeyPtr(EVP_EC_gen("P-256"));
}

namespace {

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

}  // namespace

CertificatePtr MakeCertificate(const CertificateFields& fields, EVP_PKEY* key, X509* issuer,
                               EVP_PKEY* issuer_key) {
    if (!key)
        return nullptr;
    CertificatePtr cert(X509_new());
    if (!cert)
        return nullptr;
    X509* raw = cert.get();
    X509_set_version(raw, 2);
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(raw), fields.serial);
    X509_gmtime_adj(X509_getm_notBefore(raw), long(fields.not_before));
    X509_gmtime_adj(X509_getm_notAfter(raw), long(fields.not_after));
    X509_set_pubkey(raw, key);
    X509_NAME* name = X509_get_subject_name(raw);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(fields.common_name.c_str()),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : raw;
    X509_set_issuer_name(raw, X509_get_subject_name(signer));
    std::string alt;
    for (const std::string& dns : fields.dns_names) alt += (alt.empty() ? "DNS:" : ",DNS:") + dns;
    for (const std::string& ip : fields.addresses) alt += (alt.empty() ? "IP:" : ",IP:") + ip;
    bool ok =
        AddExtension(raw, signer, NID_basic_constraints,
                     fields.ca ? "critical,CA:TRUE" : "critical,CA:FALSE") &&
        AddExtension(raw, signer, NID_subject_key_identifier, "hash") &&
        AddExtension(raw, signer, NID_key_usage,
                     fields.ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    if (ok && !fields.ca)
        ok = AddExtension(raw, signer, NID_ext_key_usage, "serverAuth");
    if (ok && !alt.empty())
        ok = AddExtension(raw, signer, NID_subject_alt_name, alt);
    if (!ok || X509_sign(raw, issuer_key ? issuer_key : key, EVP_sha256()) <= 0)
        return nullptr;
    return cert;
}

bool WritePrivateKey(const std::string& path, EVP_PKEY* key) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        return false;
    }
    const bool written =
        PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(file) == 0 && written;
}

bool WriteCertificate(const std::string& path, X509* cert) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = PEM_write_X509(file, cert) == 1;
    return std::fclose(file) == 0 && written;
}

}  // namespace vorlane::net
