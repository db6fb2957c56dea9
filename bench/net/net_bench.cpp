// [SECTION] index
// Kernel costs beside raw loopback TCP in the same run, each kernel case plain
// (/0) and encrypted with TLS (/1):
//   round trip of a 100-byte custom-data message client -> server -> client,
//   one-way throughput of 4 KiB and 256 KiB messages,
//   a full lobby log-in (connect, handshake, kernel log-on, lobby log-in, the
//   four profiles) against the lobby server in this process,
//   a server with many logged-on clients: resident memory per user and idle CPU.
// VORLANE_BENCH_SMOKE=1 shrinks the idle-server case to 20 clients.
//   - Set-up
//   - Round trip of 100 bytes
//   - One-way throughput
//   - Full log-in
//   - Idle server with many logged-on clients
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "baselib/bl_file.h"
#include "baselib/logsys.h"
#include "net/flownet.h"
#include "net/lobbynet.h"
#include "net/net_protocol.h"
#include "net/net_tls.h"
#include "net/tls_certificate.h"
#include "server/lobby_server.h"

namespace {

// [SECTION] Set-up

bool Smoke() {
    return std::getenv("VORLANE_BENCH_SMOKE") != nullptr;
}

void Quiet() {
    static bool done = [] {
        LOGSYS_MuteAll();
        LOGSYS_DisableFiles();
        InitBL();
        return true;
    }();
    (void)done;
}

NET_SETTINGS Settings(uint32_t users) {
    NET_SETTINGS s;
    s.usr_max = users;
    s.buf_writeblock = 65536;
    s.thrd_exit = 5000;
    s.srv_newconnect = 500;
    s.srv_waitforflags = 100;
    s.srv_sendlogofftimeout = 1000;
    s.srv_sendlogonrequest = 2000;
    s.srv_checkdeadcon = 600000;
    s.srv_checkdeadcalltime = 1000;
    s.srv_sendalive = 600000;
    s.usr_initnew = 5000;
    s.usr_logoncheck = 600000;
    s.usr_logofftimeout = 1000;
    s.drv_removetime = 1000;
    s.srv_bind_addr = 0x7F000001;
    s.srv_listen_backlog = 1024;  // the clients connect in one burst
    return s;
}

// One self-signed server identity for every encrypted case.
std::shared_ptr<vorlane::net::TlsContext> ServerTls() {
    static std::shared_ptr<vorlane::net::TlsContext> context = [] {
        vorlane::net::KeyPtr key = vorlane::net::NewEcKey();
        vorlane::net::CertificatePtr cert =
            vorlane::net::MakeCertificate({}, key.get(), nullptr, nullptr);
        return vorlane::net::TlsContext::ForServer(cert.get(), key.get(), nullptr);
    }();
    return context;
}

// The clients' trust store: a CA of the benchmark's own (it signed nothing
// here, so the server's key is trusted on first use, as a front end would).
char g_trust_store[] = "/tmp/vorlane-bench-ca-XXXXXX";

void RemoveTrustStore() {
    std::remove(g_trust_store);
}

const char* TrustStore() {
    static const bool made = [] {
        const int fd = mkstemp(g_trust_store);
        if (fd < 0)
            return false;
        close(fd);
        std::atexit(RemoveTrustStore);
        vorlane::net::KeyPtr key = vorlane::net::NewEcKey();
        vorlane::net::CertificateFields fields;
        fields.ca = true;
        return vorlane::net::WriteCertificate(
            g_trust_store,
            vorlane::net::MakeCertificate(fields, key.get(), nullptr, nullptr).get());
    }();
    (void)made;
    return g_trust_store;
}

std::shared_ptr<vorlane::net::TlsContext> ClientTls() {
    static std::shared_ptr<vorlane::net::TlsContext> context =
        vorlane::net::TlsContext::ForClient(TrustStore(), nullptr);
    return context;
}

struct CountingApi : NETAPI {
    bool tls = false;
    std::shared_ptr<vorlane::net::TlsContext> SrvTlsContext() override {
        return tls ? ServerTls() : nullptr;
    }
    std::atomic<uint64_t> server_messages{0};
    // The count a waiter waits for: only reaching it wakes the waiter, so the
    // hook costs no system call per message (the raw case's reader wakes its
    // waiter once per receive, not per message either).
    std::atomic<uint64_t> server_target{0};
    std::atomic<uint64_t> client_messages{0};
    uint32_t own_id = 0;
    void SrvCustomData(uint32_t, const uint8_t*, uint32_t) override {
        if (server_messages.fetch_add(1) + 1 == server_target.load())
            server_messages.notify_all();
    }
    void CltCustomData(uint32_t, uint32_t, const uint8_t*, uint32_t) override {
        client_messages.fetch_add(1);
    }
    void CltLogonAccepted(uint32_t id) override { own_id = id; }
};

// A server flow driven by its own thread, as a server program would drive it.
class ServerLoop {
  public:
    ServerLoop(NETAPI* api, const NET_SETTINGS& settings) {
        ok_ = flow_.StartWithSettings(api, kModeServer, "", settings) == 0;
        if (ok_)
            thread_ = std::thread([this] { Loop(); });
    }
    ~ServerLoop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool ok() const { return ok_; }
    uint16_t port() { return flow_.driver()->listen_port; }

  private:
    void Loop() {
        while (!stop_) {
            NETDRV_WaitForMessage(flow_.driver(), 100);
            flow_.Run();
        }
    }
    FLOWNET flow_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    bool ok_ = false;
};

NET_SETTINGS TlsSettings(uint32_t users, bool tls) {
    NET_SETTINGS s = Settings(users);
    s.tls = tls ? 1 : 0;
    return s;
}

// A server and one logged-on client in this process, plain or encrypted.
struct KernelPair {
    bool quiet = (Quiet(), true);
    bool tls;
    CountingApi api;
    std::unique_ptr<ServerLoop> server;
    FLOWNET client;
    bool ok = false;

    explicit KernelPair(bool encrypted) : tls(encrypted) {
        api.tls = tls;
        server = std::make_unique<ServerLoop>(&api, TlsSettings(8, tls));
        if (!server->ok() || client.StartWithSettings(&api, kModeClient, "", Settings(8)) != 0) {
            return;
        }
        NET_CONNECTION* connection = NET_Connect(server->port(), 127, 0, 0, 1, 2000, nullptr);
        if (!connection)
            return;
        if (tls &&
            (!NET_TlsAttach(connection, ClientTls(), "127.0.0.1") ||
             NET_TlsHandshake(connection, 2000) != vorlane::net::TlsHandshakeResult::kDone)) {
            NET_Close(connection);
            return;
        }
        if (!SendLogonOnConnection(client.driver(), connection, "Client", "KelArvO"))
            return;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (api.own_id == 0 && std::chrono::steady_clock::now() < deadline) StepClient();
        ok = api.own_id != 0;
    }
    void StepClient() {
        NETDRV_WaitForMessage(client.driver(), 50);
        client.Run();
    }
};

// Two connected loopback TCP sockets with Nagle off.
struct RawPair {
    int a = -1, b = -1;
    RawPair() {
        int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        a = socket(AF_INET, SOCK_STREAM, 0);
        connect(a, reinterpret_cast<sockaddr*>(&address), sizeof address);
        b = accept(listener, nullptr, nullptr);
        close(listener);
        int one = 1;
        setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        setsockopt(b, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawPair() {
        close(a);
        close(b);
    }
};

bool ReadAll(int fd, uint8_t* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = recv(fd, buffer + got, size - got, 0);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

// [SECTION] Round trip of 100 bytes

void BM_KernelRoundTrip100(benchmark::State& state) {
    KernelPair pair(state.range(0) != 0);
    if (!pair.ok) {
        state.SkipWithError("kernel set-up failed");
        return;
    }
    uint8_t payload[100] = {};
    const uint32_t id = pair.api.own_id;
    for (auto _ : state) {
        const uint64_t before = pair.api.client_messages.load();
        // Addressed to the sender itself: the server relays it straight back.
        SendSingleMessage(pair.client.driver(), id, id, NET_MSGTYPE_CUSTOMDATA, payload,
                          sizeof payload);
        while (pair.api.client_messages.load() == before) pair.StepClient();
    }
}
BENCHMARK(BM_KernelRoundTrip100)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_RawTcpRoundTrip128(benchmark::State& state) {
    // 128 bytes: the kernel's 28-byte header plus the 100-byte payload.
    RawPair pair;
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        uint8_t buffer[128];
        while (ReadAll(pair.b, buffer, sizeof buffer)) send(pair.b, buffer, sizeof buffer, 0);
    });
    uint8_t buffer[128] = {};
    for (auto _ : state) {
        send(pair.a, buffer, sizeof buffer, 0);
        ReadAll(pair.a, buffer, sizeof buffer);
    }
    shutdown(pair.a, SHUT_RDWR);
    echo.join();
}
BENCHMARK(BM_RawTcpRoundTrip128)->Unit(benchmark::kMicrosecond)->UseRealTime();

// [SECTION] One-way throughput

constexpr int kBatch = 64;
constexpr uint32_t kMessageSize = 4096;

// Arguments: TLS (0/1), message size. 64 messages a step.
void BM_KernelThroughput(benchmark::State& state) {
    KernelPair pair(state.range(0) != 0);
    if (!pair.ok) {
        state.SkipWithError("kernel set-up failed");
        return;
    }
    const uint32_t size = uint32_t(state.range(1));
    std::vector<uint8_t> payload(size, 0x5A);
    for (auto _ : state) {
        const uint64_t target = pair.api.server_messages.load() + kBatch;
        pair.api.server_target = target;
        for (int i = 0; i < kBatch; ++i) {
            // The writer's queue holds 16 MiB: the larger messages wait for room.
            while (SendSingleMessage(pair.client.driver(), pair.api.own_id, NET_ID_SERVER,
                                     NET_MSGTYPE_CUSTOMDATA, payload.data(), size) != 0) {
                std::this_thread::yield();
            }
        }
        for (uint64_t seen = pair.api.server_messages.load(); seen < target;
             seen = pair.api.server_messages.load()) {
            pair.api.server_messages.wait(seen);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBatch * size);
}
BENCHMARK(BM_KernelThroughput)
    ->Args({0, kMessageSize})
    ->Args({1, kMessageSize})
    ->Args({0, 256 << 10})
    ->Args({1, 256 << 10})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void BM_RawTcpThroughput4K(benchmark::State& state) {
    RawPair pair;
    std::atomic<uint64_t> received{0};
    std::thread reader([&] {
        std::vector<uint8_t> buffer(65536);
        for (;;) {
            ssize_t n = recv(pair.b, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            received.fetch_add(uint64_t(n));
            received.notify_all();
        }
    });
    std::vector<uint8_t> payload(kMessageSize, 0x5A);
    uint64_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            send(pair.a, payload.data(), payload.size(), 0);
            sent += kMessageSize;
        }
        for (uint64_t seen = received.load(); seen < sent; seen = received.load()) {
            received.wait(seen);
        }
    }
    shutdown(pair.a, SHUT_RDWR);
    reader.join();
    state.SetBytesProcessed(int64_t(state.iterations()) * kBatch * kMessageSize);
}
BENCHMARK(BM_RawTcpThroughput4K)->Unit(benchmark::kMicrosecond)->UseRealTime();

// [SECTION] Full log-in

// Counts what a full log-in waits for; the rest is ignored.
class LoginWatch : public LobbyFrontend {
  public:
    void LoginError(const char*) override { ++errors; }
    void FirstLoginError(const char*) override { ++errors; }
    void AccountCreated() override { ++created; }
    void ConnectionLost() override {}
    void ChannelError() override {}
    void ChannelEntered() override {}
    void ChatLine(const char*, uint32_t, bool) override {}
    void GameListChanged(const std::vector<vorlane::net::GameRecord>&,
                         const vorlane::net::GameRecord*,
                         const vorlane::net::GameRecord*) override {}
    void ChannelList(const std::vector<uint8_t>&, bool) override {}
    void LoginRunning() override {}
    void LoginFinished() override {}
    void ProfilesComplete(const std::array<vorlane::net::Profile, 4>&) override { ++complete; }
    void UserListChanged(const std::vector<vorlane::net::UserRecord>&,
                         const vorlane::net::UserRecord*,
                         const vorlane::net::UserRecord*) override {}
    int errors = 0, created = 0, complete = 0;
};

// The lobby server with the cheapest password hash, pumped by its own thread.
struct LobbyRun {
    std::string dir;
    std::unique_ptr<vorlane::server::LobbyStore> store;
    std::unique_ptr<vorlane::server::LobbyServer> server;
    std::thread thread;
    std::atomic<bool> stop{false};

    explicit LobbyRun(bool tls) {
        char pattern[] = "/tmp/vorlane-bench-net-XXXXXX";
        dir = mkdtemp(pattern);
        store =
            vorlane::server::LobbyStore::Open(":memory:", vorlane::server::HashStrength::kMinimum);
        vorlane::server::LobbyConfig config;
        config.hash = vorlane::server::HashStrength::kMinimum;
        config.kernel = vorlane::server::DefaultServerSettings();
        config.kernel.port = 0;
        config.kernel.tls = tls ? 1 : 0;
        config.tls_dir = dir;
        config.messages.max = 0;  // one account logs in again and again
        config.failed_logins_max = 0;
        server = std::make_unique<vorlane::server::LobbyServer>(store.get(), config);
        if (server->Start((dir + "/logs").c_str()) != 1) {
            server.reset();
            return;
        }
        thread = std::thread([this] {
            while (!stop) server->Pump(5);
        });
    }
    ~LobbyRun() {
        stop = true;
        if (thread.joinable())
            thread.join();
        if (server)
            server->RemoveSystem();
        server.reset();
        std::filesystem::remove_all(dir);
    }
};

// A LOBBYNET client on its own; Step runs its kernel as a front end's loop would.
struct LobbyClient {
    LoginWatch watch;
    LOBBYNET net{&watch, nullptr};
    bool ok = false;
    LobbyClient(uint16_t port, bool tls) {
        NET_SETTINGS settings = Settings(4);
        settings.port = port;
        settings.tls = tls ? 1 : 0;
        settings.tls_ca_file = TrustStore();
        settings.srv_sendalive = 600000;
        ok = net.InitClientSystemWithSettings("", settings) == 1;
        net.set_host("127.0.0.1");
    }
    bool Until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            net.WaitForMessages(1);
            net.Update();
        }
        return done();
    }
};

// Argument: TLS (0/1). From the log-in request to the four profiles.
void BM_FullLogin(benchmark::State& state) {
    Quiet();
    const bool tls = state.range(0) != 0;
    LobbyRun run(tls);
    if (!run.server) {
        state.SkipWithError("lobby server did not start");
        return;
    }
    const uint16_t port = run.server->ListenPort();
    {
        LobbyClient first(port, tls);
        if (!first.ok || first.net.FirstLogin("bench", "secret", "", "a@b.c", false) != 1 ||
            !first.Until([&] { return first.watch.created + first.watch.errors > 0; }) ||
            first.watch.created == 0) {
            state.SkipWithError("account creation failed");
            return;
        }
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto client = std::make_unique<LobbyClient>(port, tls);
        state.ResumeTiming();
        client->net.Login("bench", "secret", "", "", false, 0xFFFF, 0xFFFF);
        if (!client->Until([&] { return client->watch.complete + client->watch.errors > 0; }) ||
            client->watch.complete == 0) {
            state.SkipWithError("log-in failed");
            return;
        }
        state.PauseTiming();
        client->net.Disconnect();
        client->Until([&] { return !client->net.logged_on(); });
        client.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FullLogin)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// [SECTION] Idle server with many logged-on clients

long ResidentKiB() {
    long pages_total = 0, pages_resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    if (std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) != 2)
        pages_resident = 0;
    std::fclose(statm);
    return pages_resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The clients live in a child process so the server's figures stay its own.
[[noreturn]] void RunClients(int users, int port_pipe, int ready_pipe, int quit_pipe) {
    uint16_t port = 0;
    if (read(port_pipe, &port, sizeof port) != sizeof port)
        _exit(1);
    CountingApi api;
    FLOWNET client;
    if (client.StartWithSettings(&api, kModeClient, "", Settings(uint32_t(users))) != 0)
        _exit(2);
    for (int i = 0; i < users; ++i) {
        if (!SendLogonRequest(client.driver(), "Client", "KelArvO", port, 127, 0, 0, 1))
            _exit(3);
    }
    int accepted = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        accepted = 0;
        NETUSR_ForEach(&client.driver()->users,
                       [&](NETUSR* user) { accepted += user->address != nullptr; });
        if (accepted == users)
            break;
        NETDRV_WaitForMessage(client.driver(), 50);
        for (int i = 0; i < 256; ++i) client.Run();
    }
    char ready = accepted == users ? 'r' : 'f';
    if (write(ready_pipe, &ready, 1) != 1)
        _exit(4);
    char quit;
    if (read(quit_pipe, &quit, 1) < 0)
        _exit(5);
    client.Remove();
    _exit(0);
}

void BM_IdleServerUsers(benchmark::State& state) {
    const int users = Smoke() ? 20 : 1000;
    const double idle_seconds = Smoke() ? 0.3 : 3.0;
    for (auto _ : state) {
        int to_child[2], from_child[2], quit[2];
        if (pipe(to_child) || pipe(from_child) || pipe(quit)) {
            state.SkipWithError("pipe failed");
            return;
        }
        Quiet();
        // Fork before any thread of this benchmark exists.
        pid_t child = fork();
        if (child == 0)
            RunClients(users, to_child[0], from_child[1], quit[0]);
        // Only the child keeps these ends, so its exit is seen as end of file.
        close(to_child[0]);
        close(from_child[1]);
        close(quit[0]);
        CountingApi api;
        const long before = ResidentKiB();
        double cpu_percent = 0;
        long after = before;
        char ready = 'f';
        {
            ServerLoop server(&api, Settings(uint32_t(users)));
            uint16_t port = server.ok() ? server.port() : 0;
            if (write(to_child[1], &port, sizeof port) != sizeof port ||
                read(from_child[0], &ready, 1) != 1 || ready != 'r') {
                ready = 'f';
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                after = ResidentKiB();
                const double start = CpuSeconds();
                std::this_thread::sleep_for(std::chrono::duration<double>(idle_seconds));
                cpu_percent = 100.0 * (CpuSeconds() - start) / idle_seconds;
            }
            char done = 'q';
            if (write(quit[1], &done, 1) != 1)
                ready = 'f';
            waitpid(child, nullptr, 0);
        }
        for (int fd : {to_child[1], from_child[0], quit[1]}) close(fd);
        if (ready != 'r') {
            state.SkipWithError("clients could not log on");
            return;
        }
        state.counters["users"] = users;
        state.counters["rss_kib_per_user"] = double(after - before) / users;
        state.counters["idle_cpu_percent"] = cpu_percent;
    }
}
BENCHMARK(BM_IdleServerUsers)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
