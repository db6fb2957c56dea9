#include "server/config_check.h"

#include <arpa/inet.h>
#include <libpq-fe.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

#include "net/lobby_packets.h"
#include "server/lobby_store.h"
#include "server/nats_bus.h"
#include "server/server_tls.h"
#include "server/status_http.h"

namespace vorlane::server {

namespace {

enum class Kind { kNumber, kPort, kText, kAddress, kHttpAddress, kHash, kChannel, kStore, kBus };

// Names as the configuration reader compares them: blanks dropped, lower case.
std::string Normalise(const std::string& text) {
    std::string name;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            name += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsNumber(const std::string& value, unsigned long max, int base = 10) {
    if (value.empty() || value[0] == '-' || value[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long number = std::strtoul(value.c_str(), &end, base);
    return errno == 0 && *end == '\0' && number <= max;
}

using KeyTable = std::map<std::string, Kind>;

const KeyTable& LobbydKeys() {
    static const KeyTable keys = [] {
        KeyTable table = {{"port", Kind::kPort},          {"database", Kind::kText},
                          {"store", Kind::kStore},        {"log_dir", Kind::kText},
                          {"tls_cert", Kind::kText},      {"tls_key", Kind::kText},
                          {"tls_dir", Kind::kText},       {"http_address", Kind::kHttpAddress},
                          {"admin_socket", Kind::kText},  {"audit_log", Kind::kText},
                          {"password_hash", Kind::kHash}, {"bus", Kind::kBus},
                          {"bus_ca", Kind::kText},        {"bus_cert", Kind::kText},
                          {"bus_key", Kind::kText},       {"bus_creds", Kind::kText}};
        for (const char* key :
             {"chat_lines_per_second", "channel_max_users", "games_per_host", "game_min_seconds",
              "hash_threads", "refused_messages_max", "queue_max_bytes", "queue_total_max_bytes",
              "hash_queue_max", "accounts_per_address", "failed_logins_max",
              "failed_logins_lockout", "connections_per_address", "flood_ban_seconds",
              "login_deadline", "check_version"}) {
            table[key] = Kind::kNumber;
        }
        for (const std::string budget :
             {"messages", "bytes", "uploads", "joins", "channel_lists", "social", "search"}) {
            table[budget + "_max"] = Kind::kNumber;
            table[budget + "_seconds"] = Kind::kNumber;
        }
        for (size_t i = 1; i <= net::kMaxChannels; ++i)
            table["channel" + std::to_string(i)] = Kind::kChannel;
        return table;
    }();
    return keys;
}

const KeyTable& KernelKeys() {
    static const KeyTable keys = [] {
        KeyTable table = {{"port", Kind::kPort},
                          {"srv_bind_addr", Kind::kAddress},
                          {"clt_bind_addr", Kind::kAddress},
                          {"tls_ca_file", Kind::kText}};
        for (const char* key : {"usr_max",
                                "buf_rw",
                                "buf_writeblock",
                                "thrd_exit",
                                "srv_newconnect",
                                "srv_waitforflags",
                                "srv_sendlogofftimeout",
                                "srv_sendlogonrequest",
                                "srv_checkdeadcon",
                                "srv_checkdeadcalltime",
                                "srv_sendalive",
                                "usr_initnew",
                                "usr_remove",
                                "usr_logoncheck",
                                "usr_logofftimeout",
                                "drv_removetime",
                                "drv_reader_sleep",
                                "drv_reader_sleep_activate",
                                "drv_writer_sleep",
                                "drv_writer_sleep_activate",
                                "drv_serverloop_sleep",
                                "drv_serverloop_sleep_activate",
                                "drv_max_payload",
                                "srv_listen_backlog",
                                "drv_read_user_max",
                                "drv_read_total_max",
                                "clt_logon_timeout",
                                "tls",
                                "tls_handshake_timeout"}) {
            table[key] = Kind::kNumber;
        }
        return table;
    }();
    return keys;
}

// Empty when the value reads as given, else what is wrong with it.
std::string ValueProblem(Kind kind, const std::string& value) {
    switch (kind) {
        case Kind::kNumber:
            return IsNumber(value, 0xFFFFFFFFul) ? ""
                                                 : "is not a whole number from 0 to 4294967295";
        case Kind::kPort:
            return IsNumber(value, 65535) ? "" : "is not a port from 0 to 65535";
        case Kind::kText:
            return value.empty() ? "is empty" : "";
        case Kind::kAddress: {
            in_addr address{};
            return inet_pton(AF_INET, value.c_str(), &address) == 1 ? "" : "is not an IPv4 address";
        }
        case Kind::kHttpAddress: {
            std::string address;
            uint16_t port = 0;
            in_addr parsed{};
            return ParseHttpAddress(value, &address, &port) &&
                           inet_pton(AF_INET, address.c_str(), &parsed) == 1
                       ? ""
                       : "is not an IPv4 ADDRESS:PORT";
        }
        case Kind::kStore: {
            const std::string problem = StoreLocationProblem(value);
            return problem.empty() ? "" : "cannot be used: " + problem;
        }
        case Kind::kBus: {
            const std::string problem = BusUrlProblem(value);
            return value.empty() || problem.empty() ? "" : "cannot be used: " + problem;
        }
        case Kind::kHash:
            return value == "interactive" || value == "minimum"
                       ? ""
                       : "is neither \"interactive\" nor \"minimum\"";
        case Kind::kChannel: {
            const size_t comma = value.rfind(',');
            const std::string name =
                Trim(comma == std::string::npos ? value : value.substr(0, comma));
            if (!IsValidName(name))
                return "has no valid channel name";
            if (comma != std::string::npos && !IsNumber(Trim(value.substr(comma + 1)), 0xFF, 0))
                return "has flags that are not a number from 0 to 255";
            return "";
        }
    }
    return "";
}

bool IsLoopbackHost(const std::string& host) {
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    // A Unix socket (a path) never leaves the machine either.
    return host == "localhost" || host == "::1" || host.empty() || host[0] == '/';
}

// Whether a PostgreSQL location reaches another machine without checking
// whom it talks to (libpq reads the URI: hosts may also hide in parameters).
bool PgLinkUnprotected(const std::string& location) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(location.c_str(), &message);
    PQfreemem(message);
    if (!options)
        return false;  // not a location libpq reads: the store line says so
    std::string hosts, sslmode;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        const std::string keyword = option->keyword;
        if (option->val && (keyword == "host" || keyword == "hostaddr"))
            hosts += std::string(hosts.empty() ? "" : ",") + option->val;
        if (option->val && keyword == "sslmode")
            sslmode = option->val;
    }
    PQconninfoFree(options);
    if (sslmode == "verify-full")
        return false;
    std::istringstream list(hosts);
    for (std::string host; std::getline(list, host, ',');) {
        if (!IsLoopbackHost(host))
            return true;
    }
    return false;
}

}  // namespace

std::vector<ConfigProblem> CheckLobbyConfigText(const std::string& text) {
    std::vector<ConfigProblem> problems;
    std::istringstream lines(text);
    std::string line;
    std::string section;
    bool known_section = true;  // lines before any section are ignored by the reader
    int bus_line = 0;
    std::string bus;
    bool bus_ca = false;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';')
            continue;
        if (trimmed[0] == '[') {
            const std::string name = Normalise(trimmed);
            section = name.size() >= 2 && name.back() == ']' ? name.substr(1, name.size() - 2) : "";
            known_section = section == "lobbyd" || section == "loomex_server";
            if (!known_section)
                problems.push_back({number, "unknown section " + trimmed});
            continue;
        }
        const size_t equals = trimmed.find('=');
        if (equals == std::string::npos) {
            problems.push_back({number, "not a \"key = value\" line: " + trimmed});
            continue;
        }
        if (!known_section || section.empty())
            continue;
        const std::string key = Normalise(trimmed.substr(0, equals));
        const std::string value = Trim(trimmed.substr(equals + 1));
        const KeyTable& keys = section == "lobbyd" ? LobbydKeys() : KernelKeys();
        const auto found = keys.find(key);
        if (found == keys.end()) {
            problems.push_back({number, "unknown key " + key + " in [" + section + "]"});
            continue;
        }
        // A store's or a bus's location may carry a password: it is not repeated.
        const std::string shown = found->second == Kind::kStore ? RedactedLocation(value)
                                  : found->second == Kind::kBus ? RedactedBusUrl(value)
                                                                : value;
        if (const std::string wrong = ValueProblem(found->second, value); !wrong.empty()) {
            problems.push_back({number, key + " = " + shown + ": the value " + wrong});
        } else if (found->second == Kind::kStore && IsPostgresqlLocation(value) &&
                   PgLinkUnprotected(value)) {
            problems.push_back({number,
                                "store = " + shown +
                                    ": another machine without sslmode=verify-full (passwords and "
                                    "hashes would cross the network unchecked)",
                                true});
        } else if (found->second == Kind::kBus) {
            bus_line = number;
            bus = value;
        } else if (key == "bus_ca") {
            bus_ca = true;
        }
    }
    // The bus line alone does not say it: bus_ca may come later.
    if (!bus.empty() && !IsLoopbackHost(BusHost(bus)) && bus.rfind("tls://", 0) != 0 && !bus_ca) {
        problems.push_back({bus_line,
                            "bus = " + RedactedBusUrl(bus) +
                                ": another machine without TLS (use tls:// and bus_ca)",
                            true});
    }
    return problems;
}

std::string DescribeLobbyConfig(const LobbyConfig& config) {
    std::ostringstream out;
    auto line = [&](const char* key, auto value) {
        out << "lobbyd." << key << " = " << value << '\n';
    };
    auto budget = [&](const char* name, const Budget& value) {
        out << "lobbyd." << name << "_max = " << value.max << '\n'
            << "lobbyd." << name << "_seconds = " << value.seconds << '\n';
    };
    line("port", config.kernel.port);
    line("store", RedactedLocation(StoreLocation(config)));
    if (config.store.empty())
        line("database", config.database);
    line("log_dir", config.log_dir);
    if (config.kernel.tls) {
        line("tls_cert", config.tls_cert.empty() ? "(self-signed)" : config.tls_cert);
        line("tls_key", config.tls_key.empty() ? "(self-signed)" : config.tls_key);
        line("tls_dir", TlsFolder(config));
    }
    line("bus", config.bus.empty() ? "(none: one server alone)" : RedactedBusUrl(config.bus));
    for (const auto& [key, value] :
         {std::pair{"bus_ca", &config.bus_ca}, std::pair{"bus_cert", &config.bus_cert},
          std::pair{"bus_key", &config.bus_key}, std::pair{"bus_creds", &config.bus_creds}}) {
        if (!value->empty())
            line(key, *value);
    }
    line("http_address", config.http_address.empty() ? "(off)" : config.http_address);
    line("admin_socket", AdminSocketPath(config));
    line("audit_log", AuditLogPath(config));
    line("password_hash", config.hash == HashStrength::kMinimum ? "minimum" : "interactive");
    line("chat_lines_per_second", config.chat_lines_per_second);
    line("channel_max_users", config.channel_max_users);
    line("games_per_host", config.games_per_host);
    line("game_min_seconds", config.game_min_seconds);
    line("check_version", config.check_version ? 1 : 0);
    line("hash_threads", config.hash_threads);
    line("hash_queue_max", config.hash_queue_max);
    line("refused_messages_max", config.refused_messages_max);
    line("queue_max_bytes", config.queue_max_bytes);
    line("queue_total_max_bytes", config.queue_total_max_bytes);
    budget("messages", config.messages);
    budget("bytes", config.bytes);
    budget("uploads", config.uploads);
    budget("joins", config.joins);
    budget("channel_lists", config.channel_lists);
    budget("social", config.social);
    budget("search", config.search);
    line("accounts_per_address", config.accounts_per_address);
    line("failed_logins_max", config.failed_logins_max);
    line("failed_logins_lockout", config.failed_logins_lockout);
    line("connections_per_address", config.connections_per_address);
    line("flood_ban_seconds", config.flood_ban_seconds);
    line("login_deadline", config.login_deadline);
    for (size_t i = 0; i < config.channels.size(); ++i) {
        out << "lobbyd.channel" << i + 1 << " = " << config.channels[i].name << ", "
            << int(config.channels[i].flags) << '\n';
    }
    const NET_SETTINGS& k = config.kernel;
    in_addr bind{htonl(k.srv_bind_addr)};
    char address[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &bind, address, sizeof address);
    out << "LOOMEX_SERVER.srv_bind_addr = " << address << '\n';
    const std::pair<const char*, uint32_t> kernel[] = {
        {"usr_max", k.usr_max},
        {"buf_writeblock", k.buf_writeblock},
        {"thrd_exit", k.thrd_exit},
        {"srv_newconnect", k.srv_newconnect},
        {"srv_waitforflags", k.srv_waitforflags},
        {"srv_sendlogofftimeout", k.srv_sendlogofftimeout},
        {"srv_sendlogonrequest", k.srv_sendlogonrequest},
        {"srv_checkdeadcon", k.srv_checkdeadcon},
        {"srv_checkdeadcalltime", k.srv_checkdeadcalltime},
        {"srv_sendalive", k.srv_sendalive},
        {"usr_initnew", k.usr_initnew},
        {"usr_remove", k.usr_remove},
        {"usr_logoncheck", k.usr_logoncheck},
        {"usr_logofftimeout", k.usr_logofftimeout},
        {"drv_read_user_max", k.drv_read_user_max},
        {"drv_read_total_max", k.drv_read_total_max},
        {"tls", k.tls},
        {"tls_handshake_timeout",
         k.tls_handshake_timeout ? k.tls_handshake_timeout : kNetDefaultHandshakeMs}};
    for (const auto& [key, value] : kernel)
        out << "LOOMEX_SERVER." << key << " = " << value << '\n';
    return out.str();
}

}  // namespace vorlane::server
