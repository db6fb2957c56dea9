#include "server/lobby_config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "baselib/scfg/scfg.h"
#include "net/net_settings.h"

namespace vorlane::server {

namespace {

constexpr size_t kMaxConfigBytes = 1 << 20;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void ReadUint(const SCFG* cfg, const char* key, uint32_t* out) {
    if (const char* value = SCFG_Get(cfg, "lobbyd", key)) {
        *out = uint32_t(std::strtoul(value, nullptr, 10));
    }
}

void ReadBudget(const SCFG* cfg, const std::string& name, Budget* budget) {
    ReadUint(cfg, (name + "_max").c_str(), &budget->max);
    ReadUint(cfg, (name + "_seconds").c_str(), &budget->seconds);
    budget->seconds = std::max<uint32_t>(budget->seconds, 1);
}

void SetIfZero(uint32_t* value, uint32_t fallback) {
    if (*value == 0)
        *value = fallback;
}

}  // namespace

NET_SETTINGS DefaultServerSettings() {
    NET_SETTINGS s;
    s.port = 3100;
    s.usr_max = 1000;
    s.srv_bind_addr = INADDR_LOOPBACK;
    FillKernelDefaults(&s, true);
    return s;
}

void FillKernelDefaults(NET_SETTINGS* s, bool bind_given) {
    SetIfZero(&s->usr_max, 1000);
    SetIfZero(&s->buf_writeblock, 16384);
    SetIfZero(&s->thrd_exit, 2000);
    SetIfZero(&s->srv_newconnect, 20);
    SetIfZero(&s->srv_waitforflags, 5);
    SetIfZero(&s->srv_sendlogofftimeout, 2000);
    SetIfZero(&s->srv_sendlogonrequest, 5000);
    SetIfZero(&s->srv_checkdeadcon, 60000);
    SetIfZero(&s->srv_checkdeadcalltime, 5000);
    SetIfZero(&s->srv_sendalive, 10000);
    SetIfZero(&s->usr_initnew, 5000);
    SetIfZero(&s->usr_remove, 5000);
    SetIfZero(&s->usr_logoncheck, 10000);
    SetIfZero(&s->usr_logofftimeout, 2000);
    if (!bind_given)
        s->srv_bind_addr = INADDR_LOOPBACK;
}

bool ParseLobbyConfig(const std::string& text, LobbyConfig* config, std::string* error) {
    SCFG* cfg = SCFG_LoadMemory(text.data(), text.size());
    if (!cfg) {
        if (error)
            *error = "cannot read the configuration";
        return false;
    }
    NET_ReadSettings(cfg, "LOOMEX_SERVER", &config->kernel);
    FillKernelDefaults(&config->kernel, SCFG_Get(cfg, "LOOMEX_SERVER", "srv_bind_addr") != nullptr);
    if (const char* port = SCFG_Get(cfg, "lobbyd", "port")) {
        config->kernel.port = uint16_t(std::strtoul(port, nullptr, 10));
    }
    if (const char* value = SCFG_Get(cfg, "lobbyd", "database"))
        config->database = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "store")) {
        // A store nobody can open must not quietly become the default file.
        if (const std::string path = SqlitePath(value); !path.empty()) {
            config->database = path;
            config->store.clear();
        } else if (IsPostgresqlLocation(value)) {
            config->store = value;
        } else {
            if (error)
                *error = "store = " + RedactedLocation(value) + ": " + StoreLocationProblem(value);
            SCFG_Free(cfg);
            return false;
        }
    }
    if (const char* value = SCFG_Get(cfg, "lobbyd", "log_dir"))
        config->log_dir = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "tls_cert"))
        config->tls_cert = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "tls_key"))
        config->tls_key = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "tls_dir"))
        config->tls_dir = value;
    for (const auto& [key, field] :
         {std::pair{"bus", &config->bus}, std::pair{"bus_ca", &config->bus_ca},
          std::pair{"bus_cert", &config->bus_cert}, std::pair{"bus_key", &config->bus_key},
          std::pair{"bus_creds", &config->bus_creds}}) {
        if (const char* value = SCFG_Get(cfg, "lobbyd", key))
            *field = value;
    }
    if (const char* value = SCFG_Get(cfg, "lobbyd", "http_address"))
        config->http_address = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "admin_socket"))
        config->admin_socket = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "audit_log"))
        config->audit_log = value;
    if (const char* value = SCFG_Get(cfg, "lobbyd", "password_hash")) {
        config->hash =
            std::string(value) == "minimum" ? HashStrength::kMinimum : HashStrength::kInteractive;
    }
    ReadUint(cfg, "chat_lines_per_second", &config->chat_lines_per_second);
    ReadUint(cfg, "channel_max_users", &config->channel_max_users);
    ReadUint(cfg, "games_per_host", &config->games_per_host);
    ReadUint(cfg, "game_min_seconds", &config->game_min_seconds);
    // A day at most: games are timed on a millisecond clock that wraps after 49 days.
    config->game_min_seconds = std::min<uint32_t>(config->game_min_seconds, 86400);
    ReadUint(cfg, "hash_threads", &config->hash_threads);
    ReadUint(cfg, "refused_messages_max", &config->refused_messages_max);
    ReadUint(cfg, "queue_max_bytes", &config->queue_max_bytes);
    ReadUint(cfg, "queue_total_max_bytes", &config->queue_total_max_bytes);
    SetIfZero(&config->refused_messages_max, 1);
    ReadUint(cfg, "hash_queue_max", &config->hash_queue_max);
    ReadBudget(cfg, "messages", &config->messages);
    ReadBudget(cfg, "bytes", &config->bytes);
    ReadBudget(cfg, "uploads", &config->uploads);
    ReadBudget(cfg, "joins", &config->joins);
    ReadBudget(cfg, "channel_lists", &config->channel_lists);
    ReadBudget(cfg, "social", &config->social);
    ReadBudget(cfg, "search", &config->search);
    ReadUint(cfg, "accounts_per_address", &config->accounts_per_address);
    ReadUint(cfg, "failed_logins_max", &config->failed_logins_max);
    ReadUint(cfg, "failed_logins_lockout", &config->failed_logins_lockout);
    ReadUint(cfg, "connections_per_address", &config->connections_per_address);
    ReadUint(cfg, "flood_ban_seconds", &config->flood_ban_seconds);
    ReadUint(cfg, "login_deadline", &config->login_deadline);
    if (config->hash_threads > 16)
        config->hash_threads = 16;
    uint32_t check = config->check_version ? 1 : 0;
    ReadUint(cfg, "check_version", &check);
    config->check_version = check != 0;

    config->channels.clear();
    for (size_t i = 1; i <= net::kMaxChannels; ++i) {
        const std::string key = "channel" + std::to_string(i);
        const char* value = SCFG_Get(cfg, "lobbyd", key.c_str());
        if (!value)
            continue;
        const std::string entry = value;
        const size_t comma = entry.rfind(',');
        ChannelConfig channel;
        channel.name = Trim(comma == std::string::npos ? entry : entry.substr(0, comma));
        if (comma != std::string::npos) {
            channel.flags =
                uint8_t(std::strtoul(Trim(entry.substr(comma + 1)).c_str(), nullptr, 0));
        }
        if (!IsValidName(channel.name)) {
            if (error)
                *error = "invalid channel name in " + key;
            SCFG_Free(cfg);
            return false;
        }
        config->channels.push_back(channel);
    }
    SCFG_Free(cfg);
    if (config->channels.empty())
        config->channels.push_back({"Lobby", 0x2});
    return true;
}

bool ReadLobbyConfigText(const std::string& path, std::string* text, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    text->assign(kMaxConfigBytes + 1, '\0');
    file.read(text->data(), std::streamsize(text->size()));
    text->resize(size_t(file.gcount()));
    if (text->size() > kMaxConfigBytes) {
        if (error)
            *error = path + " is too large";
        return false;
    }
    return true;
}

bool LoadLobbyConfig(const std::string& path, LobbyConfig* config, std::string* error) {
    std::string text;
    if (!ReadLobbyConfigText(path, &text, error) || !ParseLobbyConfig(text, config, error))
        return false;
    config->path = path;
    return true;
}

namespace {

std::string BesideDatabase(const LobbyConfig& config, const std::string& name) {
    if (config.database == ":memory:" || !config.store.empty())
        return config.log_dir + "/" + name;
    const size_t slash = config.database.rfind('/');
    return slash == std::string::npos ? name : config.database.substr(0, slash + 1) + name;
}

}  // namespace

std::string StoreLocation(const LobbyConfig& config) {
    return config.store.empty() ? "sqlite:" + config.database : config.store;
}

std::string AdminSocketPath(const LobbyConfig& config) {
    return config.admin_socket.empty() ? BesideDatabase(config, "admin.sock") : config.admin_socket;
}

std::string AuditLogPath(const LobbyConfig& config) {
    return config.audit_log.empty() ? BesideDatabase(config, "audit.log") : config.audit_log;
}

}  // namespace vorlane::server
