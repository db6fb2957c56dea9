// TLS under the socket layer: a connection may carry an encrypted stream
// (OpenSSL, TLS 1.3 with TLS 1.2 as the floor) in which envelopes travel
// exactly as they do on a plain socket.
//
// Threads. A connection's reader and writer (and the fast path that sends
// in the writer's place while the writer is idle) share one TLS
// object. The object works on memory buffers only, never on the socket, and
// one mutex guards it; the socket calls happen outside that mutex. So a
// reader waiting for bytes never holds the lock the writer needs, and a
// writer blocked on a full socket never holds the lock the reader needs:
//
//   reader   recv (no lock) -> lock: feed ciphertext, decrypt -> unlock
//   writer   lock: encrypt into `pending` -> unlock -> send `pending` (send lock)
//
// Whatever a read produces for the peer (a key update answer, an alert)
// waits in `pending` and goes out in front of the next write, so the order
// of records on the wire is the order they were made in.
//
// Trust (client): a certificate that chains to the trust store for the name
// dialled is trusted; one that chains but is expired or names another host
// is refused; one from an unknown issuer (self-signed) is reported with the
// fingerprint of its public key, for the caller to check against the keys
// it has seen before (net/known_servers.h).
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "baselib/logsys.h"
#include "net/net_socket.h"

struct ssl_ctx_st;
struct x509_st;
struct evp_pkey_st;

namespace vorlane::net {

// One side's TLS configuration, shared by its connections.
class TlsContext {
  public:
    // A server with the certificate (PEM, may hold the chain) and its key.
    static std::shared_ptr<TlsContext> ForServer(const std::string& cert_file,
                                                 const std::string& key_file, std::string* error);
    // The same from objects in memory (tests, fuzzing). Takes references of its own.
    static std::shared_ptr<TlsContext> ForServer(x509_st* cert, evp_pkey_st* key,
                                                 std::string* error);
    // A client trusting the certificates of `ca_file` (PEM), or the system's
    // trust store when it is empty (which honours SSL_CERT_FILE and SSL_CERT_DIR).
    // Shared with the clients of this process that asked for the same while it lives.
    static std::shared_ptr<TlsContext> ForClient(const std::string& ca_file, std::string* error);

    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    ssl_ctx_st* get() const { return ctx_; }
    bool server() const { return server_; }
    // Server: the fingerprint of its certificate's public key.
    const std::string& fingerprint() const { return fingerprint_; }

  private:
    TlsContext(ssl_ctx_st* ctx, bool server) : ctx_(ctx), server_(server) {}
    static std::shared_ptr<TlsContext> NewClient(const std::string& ca_file, std::string* error);
    ssl_ctx_st* ctx_;
    bool server_;
    std::string fingerprint_;
};

// "SHA256:" and the unpadded base64 of the SHA-256 of the DER public key
// (SubjectPublicKeyInfo): the form `ssh-keygen -l` made familiar. A renewed
// certificate with the same key keeps it. Empty when it cannot be made.
std::string SpkiFingerprint(x509_st* cert);

// What a client's handshake made of the server's certificate.
enum class TlsVerdict {
    kNone,           // no handshake (yet)
    kTrusted,        // chains to the trust store and names the host dialled
    kUnknownIssuer,  // self-signed or from an issuer the store does not know
    kExpired,        // chains, but is expired or not yet valid
    kWrongHost,      // chains, but names another host
    kUntrusted,      // anything else the check refused
};

// How a handshake ended.
enum class TlsHandshakeResult {
    kDone,
    kTimeout,    // the deadline passed
    kPlainPeer,  // the peer does not speak TLS (plain bytes, or closed at once)
    kFailed,     // the peer speaks TLS, but the handshake failed
};

struct TlsPeer {
    TlsVerdict verdict = TlsVerdict::kNone;
    std::string fingerprint;  // of the peer certificate's public key
};

}  // namespace vorlane::net

// [SECTION] Socket-layer functions

// Puts a TLS session on the connection (server or client side by the
// context; `host` is the name or address a client dialled). False on failure.
bool NET_TlsAttach(NET_CONNECTION* connection, std::shared_ptr<vorlane::net::TlsContext> context,
                   const char* host);
bool NET_IsTls(const NET_CONNECTION* connection);
// Whether the connection's handshake is done.
bool NET_TlsEstablished(const NET_CONNECTION* connection);
// Runs the handshake, waiting at most `timeout_ms`. Works whether the
// socket blocks or not.
vorlane::net::TlsHandshakeResult NET_TlsHandshake(NET_CONNECTION* connection, uint32_t timeout_ms);
// After a client's handshake: what its certificate check found.
vorlane::net::TlsPeer NET_TlsPeer(const NET_CONNECTION* connection);
// Called once when the handshake has ended, either way, or when the
// connection is closed before (lets a server count handshakes under way).
void NET_TlsOnHandshakeEnd(NET_CONNECTION* connection, std::function<void()> done);

// Whether decrypted bytes, or bytes not yet decrypted, wait inside the session:
// a reader must not wait for the socket then.
bool NET_TlsHasBuffered(NET_CONNECTION* connection);
// Receives exactly `size` plaintext bytes. The count, 0 when the peer closed,
// -1 on an error.
int32_t NET_TlsReceive(NET_CONNECTION* connection, void* buffer, int32_t size, LOGSYS* log);
// Encrypts the pieces and sends them, after whatever waited before them. With
// `wait` it sends everything; without, what the socket takes at once, and
// only when no other send is under way. 1 all sent, 0 some left waiting in
// the session (or, without `wait`, nothing encrypted because another send is
// under way: `encrypted` false), -1 on an error.
int NET_TlsSend(NET_CONNECTION* connection, const iovec* pieces, size_t count, bool wait,
                bool* encrypted, LOGSYS* log);
