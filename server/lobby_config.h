// The lobby server's configuration file (sectioned text, read with SCFG):
//
//   [lobbyd]
//   port = 3100                  ; overrides the kernel's port
//   store = sqlite:lobbyd.sqlite ; where accounts and profiles live: an
//                                ; SQLite file or postgresql://... (libpq URI)
//   database = lobbyd.sqlite     ; the older way to name the SQLite file;
//                                ; store wins when both are given
//   log_dir = logs
//   password_hash = interactive  ; or "minimum" (tests, load runs)
//   chat_lines_per_second = 4
//   channel_max_users = 0        ; 0 = only the kernel's usr_max
//   games_per_host = 2
//   game_min_seconds = 60        ; results only for games that ran this long
//   check_version = 1            ; refuse log-ins whose fixed values differ
//   refused_messages_max = 3     ; messages to other users (or files) before
//                                ; the connection is closed
//   queue_max_bytes = 1048576    ; outgoing bytes that may wait for one user
//   queue_total_max_bytes = 268435456 ; ... for all users together
//   hash_queue_max = 64          ; password checks that may wait (0 = any
//                                ; number); log-ins beyond are told to try
//                                ; again (code 15)
//
//   Budgets of one connection: at most NAME_max in any window of
//   NAME_seconds. A request beyond a budget is dropped (a join is answered
//   with code 20); at twice the messages, bytes or uploads budget the
//   connection is closed. 0 as a maximum switches the budget off.
//   messages_max = 20            ; requests of every kind
//   messages_seconds = 6
//   bytes_max = 20000            ; request bytes; a profile upload's own
//   bytes_seconds = 10           ; 10264 bytes count as an upload instead
//   uploads_max = 8              ; profile uploads (two for each edit)
//   uploads_seconds = 60
//   joins_max = 3                ; channel joins (each costs 8332 bytes a
//   joins_seconds = 10           ; member to send)
//   channel_lists_max = 5        ; channel-list requests
//   channel_lists_seconds = 10
//   social_max = 20              ; friend actions, visibility, friend lists,
//   social_seconds = 10          ; game filters, lines by name and their deletion
//   search_max = 4               ; player searches (each looks at every
//   search_seconds = 2           ; player online in the cluster)
//
//   Limits of one address (0 switches one off):
//   accounts_per_address = 3     ; accounts created in an hour
//   failed_logins_max = 10       ; failed log-ins within failed_logins_lockout
//   failed_logins_lockout = 3600 ; seconds: beyond the maximum, log-ins from
//                                ; the address are refused this long (code 22)
//   connections_per_address = 5  ; the next one is told so (code 23) and closed
//   login_deadline = 60          ; seconds a connection has to log in; a
//                                ; session without an account is closed then
//   flood_ban_seconds = 60       ; after a connection was closed for going
//                                ; far over a budget or for addressing other
//                                ; users, its address is turned away this
//                                ; long (code 25)
//   Encryption (with tls = 1 in [LOOMEX_SERVER]):
//   tls_cert = cert.pem          ; certificate (PEM, with its chain) and key;
//   tls_key = key.pem            ; without them the server makes a self-signed
//   tls_dir = data               ; pair in tls_dir (default: the database's
//                                ; folder) at its first start
//   Several servers (see docs/OPERATING.md):
//   bus = nats://127.0.0.1:4222  ; the NATS server they share (tls://... for
//                                ; TLS; USER:PASSWORD@ allowed); empty = alone
//   bus_ca = ca.pem              ; the CA of the NATS server's certificate
//   bus_cert = client.pem        ; a client certificate and key, if the
//   bus_key = client-key.pem     ; NATS server asks for one
//   bus_creds = lobbyd.creds     ; a NATS credentials file
//   Operator:
//   admin_socket = admin.sock    ; the admin tool's Unix socket (mode 0600)
//   audit_log = audit.log        ; every admin command
//                                ; (both default to the database's folder)
//   channel1 = Main Hall, 0      ; name, flags (0x2 = game channel)
//   channel2 = Battle Zone, 2
//   [LOOMEX_SERVER]
//   usr_max = 1000 ...           ; the kernel's settings
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/net_settings.h"
#include "server/lobby_store.h"

namespace vorlane::server {

struct ChannelConfig {
    std::string name;
    uint8_t flags = 0;
};

// At most `max` (0 = no limit) in any window of `seconds` (at least 1).
struct Budget {
    uint32_t max = 0;
    uint32_t seconds = 1;
};

struct LobbyConfig {
    // The SQLite file of the store, when `store` names no other backend.
    std::string database = "lobbyd.sqlite";
    // A store of another backend (postgresql://...); "" = SQLite at `database`.
    std::string store;
    std::string log_dir = "logs";
    HashStrength hash = HashStrength::kInteractive;
    uint32_t chat_lines_per_second = 4;
    uint32_t channel_max_users = 0;
    uint32_t games_per_host = 2;
    // A game's results are taken only once it has run this long since its
    // registration, so that register -> results -> remove cannot farm scores.
    uint32_t game_min_seconds = 60;
    bool check_version = true;
    // A client's data, files and group data for anyone but the server are
    // dropped; its connection is closed at this many (at least 1).
    uint32_t refused_messages_max = 3;
    uint32_t hash_threads = 2;  // 0 = hash on the protocol thread
    // What may wait in the outgoing queues, for one user and for all. A
    // reader too slow to keep up is disconnected as soon as a packet for it
    // would pass its cap: it has missed that packet, and the server does not
    // hold more for it. When all queues together pass three quarters of the
    // total, the largest are disconnected until half of it is left, so the
    // total is never reached by a few slow readers. A join streams the
    // channel's member records in slices while the joiner's queue is short,
    // so a full channel costs the joiner's queue little whatever its size.
    uint32_t queue_max_bytes = 1u << 20;
    uint32_t queue_total_max_bytes = 256u << 20;
    uint32_t hash_queue_max = 64;
    Budget messages{20, 6};
    Budget bytes{20000, 10};
    Budget uploads{8, 60};
    Budget joins{3, 10};
    Budget channel_lists{5, 10};
    Budget social{20, 10};
    Budget search{4, 2};
    uint32_t accounts_per_address = 3;
    uint32_t failed_logins_max = 10;
    uint32_t failed_logins_lockout = 3600;
    uint32_t connections_per_address = 5;
    uint32_t login_deadline = 60;
    uint32_t flood_ban_seconds = 60;
    std::vector<ChannelConfig> channels;
    // With kernel.tls: the certificate and key files, or the folder where a
    // self-signed pair is kept ("" = the database's folder).
    std::string tls_cert;
    std::string tls_key;
    std::string tls_dir;
    // The bus the servers of a cluster share ("" = none), with its TLS files
    // and credentials file ("" = none).
    std::string bus;
    std::string bus_ca;
    std::string bus_cert;
    std::string bus_key;
    std::string bus_creds;
    // Where the status page and the metrics are served, "ADDRESS:PORT";
    // empty = nowhere.
    std::string http_address;
    // The admin tool's socket (vorlane-lobbyctl), and the file every admin
    // command is written to ("" = admin.sock and audit.log in the
    // database's folder).
    std::string admin_socket;
    std::string audit_log;
    // The file the configuration was read from, for the admin tool's reload
    // ("" = none).
    std::string path;
    NET_SETTINGS kernel;
};

// The store the server opens ("sqlite:PATH" or another backend's location).
std::string StoreLocation(const LobbyConfig& config);

// Where the admin socket and the audit log go: admin_socket and audit_log,
// or admin.sock and audit.log beside the database (in the log folder for a
// database in memory), so servers on different databases never meet.
std::string AdminSocketPath(const LobbyConfig& config);
std::string AuditLogPath(const LobbyConfig& config);

// Kernel settings that work on loopback when the file gives none.
NET_SETTINGS DefaultServerSettings();
// Zero timing values (missing keys) get the defaults; the server listens on
// 127.0.0.1 unless the file names another address.
void FillKernelDefaults(NET_SETTINGS* settings, bool bind_given);

// Reads the file; false with a reason when it cannot be read.
bool LoadLobbyConfig(const std::string& path, LobbyConfig* config, std::string* error);
// The file's text (1 MiB at most); false with a reason when it cannot be read.
bool ReadLobbyConfigText(const std::string& path, std::string* text, std::string* error);
// The configuration from text in memory.
bool ParseLobbyConfig(const std::string& text, LobbyConfig* config, std::string* error);

}  // namespace vorlane::server
