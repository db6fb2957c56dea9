// vorlane-lobbyd: the online lobby server.
//
//   vorlane-lobbyd [--config FILE] [--database FILE] [--log-dir DIR] [--port N]
//                  [--admin-socket PATH]
//                  [--log-stdout] [--check-config] [--help]
//   vorlane-lobbyd --move-store FROM TO
//
// Runs until SIGINT or SIGTERM, then logs every user off and closes the
// database cleanly.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"
#include "server/config_check.h"
#include "server/lobby_server.h"
#include "server/nats_bus.h"
#include "server/server_tls.h"
#include "server/status_http.h"
#include "server/store_move.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

void PrintHelp() {
    std::printf(
        "Usage: vorlane-lobbyd [options]\n"
        "  --config FILE     configuration file (default data/lobbyd.cfg)\n"
        "  --database FILE   SQLite database: the store sqlite:FILE (overrides the\n"
        "                    configuration)\n"
        "  --log-dir DIR     folder of the log files (overrides the configuration)\n"
        "  --port N          TCP port on 127.0.0.1 (overrides the configuration)\n"
        "  --admin-socket PATH  vorlane-lobbyctl's socket (overrides the configuration)\n"
        "  --log-stdout      every log line to standard output (for the journal)\n"
        "                    instead of the files in the log folder\n"
        "  --check-config    check the configuration, print the settings the server\n"
        "                    would run with, and exit (1 when a line is wrong)\n"
        "  --move-store FROM TO  copy the SQLite store FROM (sqlite:PATH) into the\n"
        "                    empty PostgreSQL store TO (postgresql://...): accounts,\n"
        "                    profiles with statistics, sanctions, channels; then exit\n"
        "  --help            this text\n");
    std::fflush(stdout);
}

// Every line of the configuration the server does not understand, as
// "FILE:LINE: what"; true when there is none (warnings aside).
bool ReportConfigProblems(const std::string& path, const std::string& text, bool check_only) {
    bool clean = true;
    for (const auto& problem : vorlane::server::CheckLobbyConfigText(text)) {
        const bool warning = problem.warning || !check_only;
        std::fprintf(stderr, "vorlane-lobbyd: %s%s:%d: %s\n", warning ? "warning: " : "",
                     path.c_str(), problem.line, problem.text.c_str());
        clean = clean && problem.warning;
    }
    return clean;
}

// --move-store: the copy with its progress on standard output.
int MoveStoreCommand(const std::string& from, const std::string& to) {
    using vorlane::server::RedactedLocation;
    std::printf("vorlane-lobbyd: moving %s into %s\n", from.c_str(), RedactedLocation(to).c_str());
    std::fflush(stdout);
    vorlane::server::MoveCounts counts;
    std::string error;
    if (!vorlane::server::MoveStore(from, to, stdout, &counts, &error)) {
        std::fprintf(stderr, "vorlane-lobbyd: nothing moved: %s\n", error.c_str());
        return 1;
    }
    std::printf(
        "vorlane-lobbyd: moved %zu accounts, %zu profiles, %zu sanctions, %zu channels, %zu "
        "friendships, %zu blocks, %zu account states, %zu stored lines\n",
        counts.accounts, counts.profiles, counts.sanctions, counts.channels, counts.friendships,
        counts.blocks, counts.account_states, counts.stored_lines);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string config_path = "data/lobbyd.cfg";
    std::string database, log_dir, admin_socket;
    long port = -1;
    bool check_only = false;
    bool log_stdout = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool has_value = i + 1 < argc;
        if (option == "--help" || option == "-h") {
            PrintHelp();
            return 0;
        } else if (option == "--move-store" && i + 2 < argc) {
            return MoveStoreCommand(argv[i + 1], argv[i + 2]);
        } else if (option == "--check-config") {
            check_only = true;
        } else if (option == "--log-stdout") {
            log_stdout = true;
        } else if (option == "--config" && has_value) {
            config_path = argv[++i];
        } else if (option == "--database" && has_value) {
            database = argv[++i];
        } else if (option == "--log-dir" && has_value) {
            log_dir = argv[++i];
        } else if (option == "--admin-socket" && has_value) {
            admin_socket = argv[++i];
        } else if (option == "--port" && has_value) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (!end || *end || port < 0 || port > 65535) {
                std::fprintf(stderr, "vorlane-lobbyd: invalid port %s\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "vorlane-lobbyd: unknown option %s\n", option.c_str());
            PrintHelp();
            return 2;
        }
    }

    BL_Init();
    vorlane::server::LobbyConfig config;
    std::string error;
    std::string text;
    if (!vorlane::server::ReadLobbyConfigText(config_path, &text, &error)) {
        std::fprintf(stderr, "vorlane-lobbyd: %s\n", error.c_str());
        return 1;
    }
    const bool clean = ReportConfigProblems(config_path, text, check_only);
    if (!vorlane::server::ParseLobbyConfig(text, &config, &error)) {
        std::fprintf(stderr, "vorlane-lobbyd: %s\n", error.c_str());
        return 1;
    }
    config.path = config_path;
    if (!database.empty()) {
        config.database = database;
        config.store.clear();
    }
    if (!log_dir.empty())
        config.log_dir = log_dir;
    if (!admin_socket.empty())
        config.admin_socket = admin_socket;
    if (port >= 0)
        config.kernel.port = uint16_t(port);
    if (check_only) {
        std::fputs(vorlane::server::DescribeLobbyConfig(config).c_str(), stdout);
        return clean ? 0 : 1;
    }

    auto store = vorlane::server::LobbyStore::Open(vorlane::server::StoreLocation(config),
                                                   config.hash, &error);
    if (!store) {
        if (config.store.empty()) {
            std::fprintf(stderr, "vorlane-lobbyd: database %s: %s\n", config.database.c_str(),
                         error.c_str());
        } else {
            std::fprintf(stderr, "vorlane-lobbyd: store %s: %s\n",
                         vorlane::server::RedactedLocation(config.store).c_str(), error.c_str());
        }
        return 1;
    }
    // The server's own lines (accounts, log-ins) go beside the kernel's logs;
    // made before the kernel starts, so its start-up lines land there too.
    if (log_stdout) {
        LOGSYS_FilesToStdout();
    } else {
        std::error_code ignored;
        std::filesystem::create_directories(config.log_dir, ignored);
    }
    const std::string program_log_name = config.log_dir + "/lobbyd.txt";
    LOGSYS* program_log = LOGSYS_Create(kLogCrLf, kLogToFile, program_log_name.c_str());
    if (program_log)
        LOGSYS_SetDefault(program_log);
    // A server alone gets no bus at all: it then keeps no cluster state.
    std::unique_ptr<vorlane::server::LobbyBus> bus;
    if (!config.bus.empty()) {
        bus = vorlane::server::OpenBus(config, &error);
        if (!bus) {
            std::fprintf(stderr, "vorlane-lobbyd: %s\n", error.c_str());
            return 1;
        }
    }
    vorlane::server::LobbyServer server(store.get(), config, bus.get());
    // With the lines on standard output the kernel needs no log folder.
    if (server.Start(log_stdout ? "" : config.log_dir.c_str()) != 1) {
        std::fprintf(stderr, "vorlane-lobbyd: %s\n", server.start_error().c_str());
        return 1;
    }
    std::string admin_error;
    if (!server.OpenAdmin(&admin_error)) {
        std::fprintf(stderr, "vorlane-lobbyd: %s\n", admin_error.c_str());
        server.RemoveSystem();
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    vorlane::server::StatusHttp status_http;
    if (!config.http_address.empty()) {
        server.PublishStatus();
        std::string http_error;
        if (!status_http.Start(
                config.http_address, [&server] { return server.status(); }, &http_error)) {
            std::fprintf(stderr, "vorlane-lobbyd: %s\n", http_error.c_str());
            server.RemoveSystem();
            return 1;
        }
        std::printf("vorlane-lobbyd: status page on http://%s/\n",
                    (config.http_address.substr(0, config.http_address.rfind(':')) + ":" +
                     std::to_string(status_http.port()))
                        .c_str());
    }

    std::printf("vorlane-lobbyd: listening on 127.0.0.1:%u\n", unsigned(server.ListenPort()));
    std::printf("vorlane-lobbyd: admin socket %s\n",
                vorlane::server::AdminSocketPath(config).c_str());
    if (server.tls_context()) {
        // Players compare this with what their front end shows at its first connection.
        const std::string& fingerprint = server.tls_context()->fingerprint();
        if (server.tls_created()) {
            std::printf("vorlane-lobbyd: made a self-signed certificate in %s\n",
                        vorlane::server::TlsFolder(config).c_str());
        }
        std::printf("vorlane-lobbyd: TLS key fingerprint %s\n", fingerprint.c_str());
        const std::string line = "LOBBYD: TLS key fingerprint " + fingerprint;
        LOGSYS_Text(nullptr, kLogInfo, line.c_str());
    }
    std::fflush(stdout);
    while (!g_stop) server.Pump(20);

    LOGSYS_Text(nullptr, kLogInfo, "LOBBYD: stopping.");
    status_http.Stop();
    server.RemoveSystem();
    if (program_log) {
        LOGSYS_SetDefault(nullptr);
        LOGSYS_Destroy(program_log);
    }
    store.reset();
    BL_Exit();
    std::printf("vorlane-lobbyd: stopped.\n");
    return 0;
}
