// [SECTION] index
//   TLS sessions on the socket layer's connections (see net_tls.h).
//   - Contexts
//   - Fingerprints
//   - Session
//   - Handshake
//   - Receiving
//   - Sending
#include "net/net_tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "baselib/log_channel.h"

using vorlane::net::TlsContext;
using vorlane::net::TlsHandshakeResult;
using vorlane::net::TlsPeer;
using vorlane::net::TlsVerdict;

namespace {

// The largest plaintext of one TLS record: a write gathers pieces up to it,
// so a small message is one record and a large one as few as can be.
constexpr size_t kRecordPlaintext = 16384;
// Ciphertext a blocking send lets pile up before it goes to the socket.
constexpr size_t kFlushAt = 64 * 1024;
// What one recv takes from the socket.
constexpr size_t kReceiveChunk = 32 * 1024;
// First bytes of a TLS record: handshake (22) or alert (21).
constexpr uint8_t kRecordHandshake = 0x16;
constexpr uint8_t kRecordAlert = 0x15;

std::string OpenSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "unknown TLS error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits for `events` until `deadline_ms` (steady ms, -1 = no deadline).
// >0 ready, 0 deadline passed, <0 failure.
int WaitUntil(int fd, short events, int64_t deadline_ms) {
    for (;;) {
        int timeout = -1;
        if (deadline_ms >= 0)
            timeout = int(std::clamp<int64_t>(deadline_ms - NowMs(), 0, 0x7FFFFFFF));
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready;
    }
}

bool IsUnknownIssuer(int error) {
    return error == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT ||
           error == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
           error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
           error == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY ||
           error == X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE;
}

}  // namespace

// [SECTION] Session

struct NET_TLS {
    std::shared_ptr<TlsContext> context;  // keeps the SSL_CTX alive
    SSL* ssl = nullptr;
    BIO* in = nullptr;   // ciphertext from the peer (owned by ssl)
    BIO* out = nullptr;  // ciphertext for the peer (owned by ssl)
    // Guards ssl, its two buffers and `pending`; never held across a socket call.
    std::mutex mutex;
    std::vector<uint8_t> pending;  // ciphertext made, not yet on the socket
    // One sender at a time owns the socket's sending side and `sending`.
    std::mutex send_mutex;
    std::vector<uint8_t> sending;
    std::vector<uint8_t> received;  // the reader's recv buffer
    bool established = false;       // guarded by mutex
    // What the certificate check met (client; written during the handshake).
    bool unknown_issuer = false, expired = false, wrong_host = false, other_error = false;
    TlsPeer peer;
    std::function<void()> on_handshake_end;

    ~NET_TLS() {
        EndHandshake();
        if (ssl)
            SSL_free(ssl);
    }
    void EndHandshake() {
        if (auto done = std::exchange(on_handshake_end, nullptr))
            done();
    }
    // Moves what the session wrote into `pending`. Caller holds mutex.
    void DrainOut() {
        for (;;) {
            const size_t waiting = BIO_ctrl_pending(out);
            if (waiting == 0)
                return;
            const size_t old = pending.size();
            pending.resize(old + waiting);
            const int got = BIO_read(out, pending.data() + old, int(waiting));
            pending.resize(old + size_t(std::max(got, 0)));
            if (got <= 0)
                return;
        }
    }
};

void NetTlsFree::operator()(NET_TLS* tls) const {
    delete tls;
}

namespace {

int g_session_index = -1;
std::once_flag g_session_index_once;

int SessionIndex() {
    std::call_once(g_session_index_once, [] {
        g_session_index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    });
    return g_session_index;
}

// Notes every complaint of the chain check and lets the handshake go on:
// the verdict is made afterwards, so that a self-signed certificate can be
// checked against the keys seen before instead of failing the handshake.
int NoteVerifyError(int ok, X509_STORE_CTX* store) {
    if (ok)
        return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* tls = ssl ? static_cast<NET_TLS*>(SSL_get_ex_data(ssl, SessionIndex())) : nullptr;
    if (!tls)
        return 0;
    const int error = X509_STORE_CTX_get_error(store);
    if (IsUnknownIssuer(error))
        tls->unknown_issuer = true;
    else if (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID)
        tls->expired = true;
    else if (error == X509_V_ERR_HOSTNAME_MISMATCH || error == X509_V_ERR_IP_ADDRESS_MISMATCH)
        tls->wrong_host = true;
    else
        tls->other_error = true;
    return 1;
}

TlsVerdict Verdict(const NET_TLS& tls) {
    if (tls.unknown_issuer)
        return TlsVerdict::kUnknownIssuer;
    if (tls.expired)
        return TlsVerdict::kExpired;
    if (tls.wrong_host)
        return TlsVerdict::kWrongHost;
    if (tls.other_error || SSL_get_verify_result(tls.ssl) != X509_V_OK)
        return TlsVerdict::kUntrusted;
    return TlsVerdict::kTrusted;
}

SSL_CTX* NewContext(bool server, std::string* error) {
    SSL_CTX* ctx = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
    if (!ctx) {
        if (error)
            *error = OpenSslError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Renegotiation would let a read need a handshake of its own.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    // Nobody resumes sessions: tickets would only cost a round of writes.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    // AES-128 first: as safe for this traffic as AES-256 and cheaper per record.
    SSL_CTX_set_ciphersuites(
        ctx, "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384");
    if (server)
        SSL_CTX_set_num_tickets(ctx, 0);
    return ctx;
}

}  // namespace

// [SECTION] Contexts

namespace vorlane::net {

TlsContext::~TlsContext() {
    SSL_CTX_free(ctx_);
}

std::shared_ptr<TlsContext> TlsContext::ForServer(const std::string& cert_file,
                                                  const std::string& key_file, std::string* error) {
    SSL_CTX* ctx = NewContext(true, error);
    if (!ctx)
        return nullptr;
    std::shared_ptr<TlsContext> context(new TlsContext(ctx, true));
    if (SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1) {
        if (error)
            *error = "certificate " + cert_file + ": " + OpenSslError();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx) != 1) {
        if (error)
            *error = "key " + key_file + ": " + OpenSslError();
        return nullptr;
    }
    context->fingerprint_ = SpkiFingerprint(SSL_CTX_get0_certificate(ctx));
    return context;
}

std::shared_ptr<TlsContext> TlsContext::ForServer(X509* cert, EVP_PKEY* key, std::string* error) {
    SSL_CTX* ctx = NewContext(true, error);
    if (!ctx)
        return nullptr;
    std::shared_ptr<TlsContext> context(new TlsContext(ctx, true));
    if (!cert || !key || SSL_CTX_use_certificate(ctx, cert) != 1 ||
        SSL_CTX_use_PrivateKey(ctx, key) != 1 || SSL_CTX_check_private_key(ctx) != 1) {
        if (error)
            *error = OpenSslError();
        return nullptr;
    }
    context->fingerprint_ = SpkiFingerprint(cert);
    return context;
}

std::shared_ptr<TlsContext> TlsContext::ForClient(const std::string& ca_file, std::string* error) {
    // Loading the system's trust store parses every certificate in it (tens
    // of milliseconds): a program that connects again keeps the context it made.
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<TlsContext>> made;
    std::lock_guard lock(mutex);
    if (auto kept = made[ca_file].lock())
        return kept;
    auto context = NewClient(ca_file, error);
    if (context)
        made[ca_file] = context;
    return context;
}

std::shared_ptr<TlsContext> TlsContext::NewClient(const std::string& ca_file, std::string* error) {
    SSL_CTX* ctx = NewContext(false, error);
    if (!ctx)
        return nullptr;
    std::shared_ptr<TlsContext> context(new TlsContext(ctx, false));
    const int loaded = ca_file.empty()
                           ? SSL_CTX_set_default_verify_paths(ctx)
                           : SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr);
    if (loaded != 1) {
        if (error)
            *error = "trust store " + (ca_file.empty() ? std::string("(system)") : ca_file) + ": " +
                     OpenSslError();
        return nullptr;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, NoteVerifyError);
    return context;
}

// [SECTION] Fingerprints

std::string SpkiFingerprint(X509* cert) {
    if (!cert)
        return {};
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
    if (length <= 0)
        return {};
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(der, size_t(length), digest);
    OPENSSL_free(der);
    unsigned char encoded[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1];
    EVP_EncodeBlock(encoded, digest, SHA256_DIGEST_LENGTH);
    std::string text = reinterpret_cast<const char*>(encoded);
    while (!text.empty() && text.back() == '=') text.pop_back();
    return "SHA256:" + text;
}

}  // namespace vorlane::net

// [SECTION] Session set-up

bool NET_TlsAttach(NET_CONNECTION* connection, std::shared_ptr<TlsContext> context,
                   const char* host) {
    if (!connection || !context)
        return false;
    std::unique_ptr<NET_TLS, NetTlsFree> tls(new (std::nothrow) NET_TLS);
    if (!tls)
        return false;
    tls->context = std::move(context);
    tls->ssl = SSL_new(tls->context->get());
    tls->in = BIO_new(BIO_s_mem());
    tls->out = BIO_new(BIO_s_mem());
    if (!tls->ssl || !tls->in || !tls->out) {
        BIO_free(tls->in);
        BIO_free(tls->out);
        return false;
    }
    // Reading an empty buffer means "more is needed", not the end.
    BIO_set_mem_eof_return(tls->in, -1);
    SSL_set_bio(tls->ssl, tls->in, tls->out);
    SSL_set_ex_data(tls->ssl, SessionIndex(), tls.get());
    if (tls->context->server()) {
        SSL_set_accept_state(tls->ssl);
    } else {
        SSL_set_connect_state(tls->ssl);
        const std::string name = host ? host : "";
        in_addr address{};
        X509_VERIFY_PARAM* param = SSL_get0_param(tls->ssl);
        if (inet_pton(AF_INET, name.c_str(), &address) == 1) {
            X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
        } else if (!name.empty()) {
            SSL_set_tlsext_host_name(tls->ssl, name.c_str());
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(param, name.c_str(), 0);
        }
    }
    connection->tls = std::move(tls);
    return true;
}

bool NET_IsTls(const NET_CONNECTION* connection) {
    return connection && connection->tls;
}

bool NET_TlsEstablished(const NET_CONNECTION* connection) {
    if (!NET_IsTls(connection))
        return false;
    std::lock_guard lock(connection->tls->mutex);
    return connection->tls->established;
}

TlsPeer NET_TlsPeer(const NET_CONNECTION* connection) {
    if (!NET_IsTls(connection))
        return {};
    std::lock_guard lock(connection->tls->mutex);
    return connection->tls->peer;
}

void NET_TlsOnHandshakeEnd(NET_CONNECTION* connection, std::function<void()> done) {
    if (NET_IsTls(connection))
        connection->tls->on_handshake_end = std::move(done);
    else if (done)
        done();
}

namespace {

// Sends what waits in `pending`. The caller holds send_mutex. With `wait`
// it sends all of it (until `deadline_ms`, -1 = none); without, what the
// socket takes now. 1 all sent, 0 some left, -1 failure.
int FlushPending(NET_CONNECTION* connection, bool wait, int64_t deadline_ms, LOGSYS* log) {
    NET_TLS* tls = connection->tls.get();
    {
        std::lock_guard lock(tls->mutex);
        if (tls->pending.empty())
            return 1;
        tls->sending.swap(tls->pending);
    }
    std::vector<uint8_t>& out = tls->sending;
    size_t done = 0;
    int result = 1;
    while (done < out.size()) {
        const int flags = MSG_NOSIGNAL | (wait && deadline_ms < 0 ? 0 : MSG_DONTWAIT);
        const ssize_t sent = send(connection->socket, out.data() + done, out.size() - done, flags);
        if (sent > 0) {
            done += size_t(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait) {
                result = 0;
                break;
            }
            if (WaitUntil(connection->socket, POLLOUT, deadline_ms) > 0)
                continue;
        } else if (sent < 0) {
            NET_ReportError(0, log, kLogAllClasses, 1);
        }
        result = -1;
        break;
    }
    if (done < out.size() && result >= 0) {
        // Left for the next sender, in front of anything made meanwhile.
        std::lock_guard lock(tls->mutex);
        tls->pending.insert(tls->pending.begin(), out.begin() + ptrdiff_t(done), out.end());
    }
    out.clear();
    return result;
}

}  // namespace

// [SECTION] Handshake

TlsHandshakeResult NET_TlsHandshake(NET_CONNECTION* connection, uint32_t timeout_ms) {
    if (!NET_IsTls(connection))
        return TlsHandshakeResult::kFailed;
    NET_TLS* tls = connection->tls.get();
    const int64_t deadline = NowMs() + timeout_ms;
    bool heard = false;  // the peer sent something
    uint8_t buffer[kReceiveChunk];
    auto finish = [&](TlsHandshakeResult result) {
        tls->EndHandshake();
        return result;
    };
    std::lock_guard send_lock(tls->send_mutex);
    for (;;) {
        int step, error = SSL_ERROR_NONE;
        {
            std::lock_guard lock(tls->mutex);
            ERR_clear_error();
            step = SSL_do_handshake(tls->ssl);
            if (step != 1)
                error = SSL_get_error(tls->ssl, step);
            tls->DrainOut();
        }
        // What the handshake wrote goes out first, also its last flight or an alert.
        const int flushed = FlushPending(connection, true, deadline, nullptr);
        if (step == 1 && flushed == 1) {
            std::lock_guard lock(tls->mutex);
            tls->established = true;
            if (!tls->context->server()) {
                tls->peer.verdict = Verdict(*tls);
                tls->peer.fingerprint =
                    vorlane::net::SpkiFingerprint(SSL_get0_peer_certificate(tls->ssl));
            }
            ERR_clear_error();
            return finish(TlsHandshakeResult::kDone);
        }
        if (flushed != 1)
            return finish(NowMs() >= deadline ? TlsHandshakeResult::kTimeout
                                              : TlsHandshakeResult::kFailed);
        if (error != SSL_ERROR_WANT_READ) {
            ERR_clear_error();
            return finish(TlsHandshakeResult::kFailed);
        }
        const int ready = WaitUntil(connection->socket, POLLIN, deadline);
        if (ready == 0)
            return finish(TlsHandshakeResult::kTimeout);
        if (ready < 0)
            return finish(TlsHandshakeResult::kFailed);
        const ssize_t got = recv(connection->socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (got <= 0)
            return finish(heard ? TlsHandshakeResult::kFailed : TlsHandshakeResult::kPlainPeer);
        if (!heard) {
            heard = true;
            // Anything but a TLS record here is a peer speaking plain.
            if (buffer[0] != kRecordHandshake && buffer[0] != kRecordAlert)
                return finish(TlsHandshakeResult::kPlainPeer);
        }
        std::lock_guard lock(tls->mutex);
        BIO_write(tls->in, buffer, int(got));
    }
}

// [SECTION] Receiving

bool NET_TlsHasBuffered(NET_CONNECTION* connection) {
    if (!NET_IsTls(connection))
        return false;
    NET_TLS* tls = connection->tls.get();
    std::lock_guard lock(tls->mutex);
    return SSL_has_pending(tls->ssl) || BIO_ctrl_pending(tls->in) > 0;
}

int32_t NET_TlsReceive(NET_CONNECTION* connection, void* buffer, int32_t size, LOGSYS* log) {
    if (size < 1)
        return 0;
    if (!NET_IsTls(connection))
        return -1;
    NET_TLS* tls = connection->tls.get();
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t got = 0;
    while (got < size_t(size)) {
        size_t read = 0;
        int error = SSL_ERROR_NONE;
        {
            std::lock_guard lock(tls->mutex);
            if (!tls->established)
                return -1;
            ERR_clear_error();
            const int ok = SSL_read_ex(tls->ssl, bytes + got, size_t(size) - got, &read);
            if (!ok)
                error = SSL_get_error(tls->ssl, ok);
            // A read may have answered the peer; that waits for the next write.
            tls->DrainOut();
        }
        if (error == SSL_ERROR_NONE) {
            got += read;
            continue;
        }
        if (error == SSL_ERROR_ZERO_RETURN)
            return 0;
        if (error != SSL_ERROR_WANT_READ) {
            LOGSYS_Write(log, kLogError, kLogAllClasses, ("TLS: " + OpenSslError()).c_str());
            return -1;
        }
        if (tls->received.size() < kReceiveChunk)
            tls->received.resize(kReceiveChunk);
        const ssize_t arrived = recv(connection->socket, tls->received.data(), kReceiveChunk, 0);
        if (arrived == 0)
            return 0;
        if (arrived < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                WaitUntil(connection->socket, POLLIN, -1);
                continue;
            }
            NET_ReportError(0, log, kLogAllClasses, 1);
            return -1;
        }
        std::lock_guard lock(tls->mutex);
        BIO_write(tls->in, tls->received.data(), int(arrived));
    }
    return int32_t(got);
}

// [SECTION] Sending

int NET_TlsSend(NET_CONNECTION* connection, const iovec* pieces, size_t count, bool wait,
                bool* encrypted, LOGSYS* log) {
    if (encrypted)
        *encrypted = false;
    if (!NET_IsTls(connection))
        return -1;
    NET_TLS* tls = connection->tls.get();
    std::unique_lock send_lock(tls->send_mutex, std::defer_lock);
    if (wait) {
        send_lock.lock();
    } else if (!send_lock.try_lock()) {
        return 0;
    }
    uint8_t record[kRecordPlaintext];
    size_t filled = 0;
    auto seal = [&]() -> bool {
        if (filled == 0)
            return true;
        std::lock_guard lock(tls->mutex);
        size_t written = 0;
        ERR_clear_error();
        const bool ok = tls->established && SSL_write_ex(tls->ssl, record, filled, &written) == 1 &&
                        written == filled;
        tls->DrainOut();
        filled = 0;
        return ok;
    };
    for (size_t i = 0; i < count; ++i) {
        const auto* from = static_cast<const uint8_t*>(pieces[i].iov_base);
        size_t left = pieces[i].iov_len;
        while (left > 0) {
            const size_t take = std::min(left, sizeof record - filled);
            std::memcpy(record + filled, from, take);
            filled += take;
            from += take;
            left -= take;
            if (filled < sizeof record)
                continue;
            if (!seal()) {
                LOGSYS_Write(log, kLogError, kLogAllClasses, ("TLS: " + OpenSslError()).c_str());
                return -1;
            }
            // A large batch goes out as it is sealed rather than all at the end.
            if (wait) {
                bool big;
                {
                    std::lock_guard lock(tls->mutex);
                    big = tls->pending.size() >= kFlushAt;
                }
                if (big && FlushPending(connection, true, -1, log) < 0)
                    return -1;
            }
        }
    }
    if (!seal()) {
        LOGSYS_Write(log, kLogError, kLogAllClasses, ("TLS: " + OpenSslError()).c_str());
        return -1;
    }
    if (encrypted)
        *encrypted = true;
    const int flushed = FlushPending(connection, wait, -1, log);
    if (flushed < 0)
        return -1;
    std::lock_guard lock(tls->mutex);
    return tls->pending.empty() ? 1 : 0;
}
