// Cluster load: three lobby servers in this process on one SQLite store and
// the tests' in-process bus (tests/server/local_bus.h), and simulated clients
// (3000 by default, client i on server i % 3 in channel 1 + (i / 3) % 3, so
// every channel has members on every server). After a short warm-up the
// clients chat --lines=1800 lines at --rate=90 lines a second spread over
// the channels (30 a channel: 90 000 deliveries a second with 1000 members
// each), and the tool reports the delivery p50/p99 over all deliveries and
// over those to a member on another server than the sender's. Everything
// (servers, their kernels and the clients) shares the machine's cores, so a
// busy machine shows in the figures.
//
//   bench_cluster_load [--clients=N] [--lines=N] [--rate=LINES_PER_SECOND]
// With VORLANE_BENCH_SMOKE set (the CTest smoke run) 60 clients chat 60 lines.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"
#include "bench/lobby/sim_lobby.h"
#include "server/lobby_server.h"
#include "tests/server/local_bus.h"

using namespace vorlane::bench;
using namespace vorlane::server;

int main(int argc, char** argv) {
    const bool smoke = std::getenv("VORLANE_BENCH_SMOKE") != nullptr;
    int clients = smoke ? 60 : 3000;
    int lines = smoke ? 60 : 1800;
    double rate = 90;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--clients=", 0) == 0)
            clients = std::atoi(arg.c_str() + 10);
        else if (arg.rfind("--lines=", 0) == 0)
            lines = std::atoi(arg.c_str() + 8);
        else if (arg.rfind("--rate=", 0) == 0)
            rate = std::atof(arg.c_str() + 7);
    }
    if (clients < 3 || clients > 3 * kServerUsers || lines < 1 || rate <= 0) {
        std::fprintf(stderr, "bench_cluster_load: 3 to %d clients, a line or more, a rate\n",
                     3 * kServerUsers);
        return 2;
    }
    BL_Init();
    LOGSYS_MuteAll();
    const std::string dir = std::filesystem::temp_directory_path().string() +
                            "/vorlane-cluster-load-" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string database = dir + "/lobbyd.sqlite";
    PrepareAccounts(database, clients, 0);
    testing::LocalHub hub;
    std::vector<std::unique_ptr<testing::LocalBus>> buses;
    std::vector<std::unique_ptr<LobbyStore>> stores;
    std::vector<std::unique_ptr<LobbyServer>> servers;
    std::vector<uint16_t> ports;
    std::atomic<bool> stop{false};
    bool failed = false;
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        buses.push_back(hub.Connect());
        stores.push_back(LobbyStore::Open(database, HashStrength::kMinimum));
        LobbyConfig config;
        config.hash = HashStrength::kMinimum;
        config.chat_lines_per_second = 10;
        config.connections_per_address = 2000;
        config.hash_queue_max = 2000;
        config.login_deadline = 600;
        config.failed_logins_max = 0;
        config.channels = {{"Load Test", 2}, {"Elsewhere", 2}, {"Third", 2}};
        config.kernel = DefaultServerSettings();
        config.kernel.port = 0;
        config.kernel.srv_bind_addr = 0x7F000001;
        config.kernel.usr_max = kServerUsers;
        config.kernel.srv_checkdeadcon = 600000;
        config.kernel.usr_logoncheck = 60000;
        servers.push_back(
            std::make_unique<LobbyServer>(stores.back().get(), config, buses.back().get()));
        if (servers.back()->Start(dir.c_str()) != 1) {
            std::fprintf(stderr, "server %d did not start\n", i);
            return 1;
        }
        ports.push_back(servers.back()->ListenPort());
    }
    for (auto& server : servers)
        threads.emplace_back([&, s = server.get()] {
            while (!stop) s->Pump(20);
        });
    {
        LoadRun run(ports, clients, 0, 3);
        const auto start = Clock::now();
        const bool in = run.EnterAll(std::chrono::seconds(300));
        failed = !in;
        std::printf("entered %zu/%d in %.1f s (%s)\n", run.honest_entered(), clients,
                    Ms(Clock::now() - start) / 1000, in ? "all" : "not all");
        run.Chat(std::min(lines, 30), 20, std::chrono::seconds(30));  // warm-up
        run.ResetChat();
        const auto chat = Clock::now();
        run.ChatAtRate(lines, rate, std::chrono::seconds(120));
        const double seconds = Ms(Clock::now() - chat) / 1000;
        const auto& all = run.chat_latencies();
        const auto& cross = run.cross_latencies();
        std::printf("lines %d at %.0f/s: %zu deliveries of %zu expected in %.1f s (%.0f/s)\n",
                    lines, rate, all.size(), run.expected(), seconds, all.size() / seconds);
        failed = failed || all.size() != run.expected();
        std::printf("all p50 %.1f ms p99 %.1f ms; cross-server %zu p50 %.1f ms p99 %.1f ms\n",
                    Percentile(all, 0.5), Percentile(all, 0.99), cross.size(),
                    Percentile(cross, 0.5), Percentile(cross, 0.99));
    }
    stop = true;
    for (auto& thread : threads) thread.join();
    for (auto& server : servers) server->RemoveSystem();
    servers.clear();
    std::filesystem::remove_all(dir);
    return failed ? 1 : 0;
}
