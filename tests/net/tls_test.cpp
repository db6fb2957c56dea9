// Encrypted kernel connections on loopback: a TLS server pumped by a thread
// of its own and clients driven by the test. Every certificate is made here,
// in a temporary folder: a test CA (the clients' own trust store, never the
// system's), certificates it signs, and self-signed ones.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/known_servers.h"
#include "net/net_tls.h"
#include "net/tls_certificate.h"
#include "net/tns_control.h"
#include "tests/support/log_capture.h"

using namespace vorlane::net;
using vorlane::testing::LogCapture;

namespace {

NET_SETTINGS Settings(bool tls) {
    NET_SETTINGS s;
    s.usr_max = 8;
    s.buf_writeblock = 65536;
    s.thrd_exit = 2000;
    s.srv_newconnect = 20;
    s.srv_waitforflags = 5;
    s.srv_sendlogofftimeout = 50;
    s.srv_sendlogonrequest = 1000;
    s.srv_checkdeadcon = 10000;
    s.srv_checkdeadcalltime = 50;
    s.srv_sendalive = 5000;
    s.usr_initnew = 2000;
    s.usr_remove = 1000;
    s.usr_logoncheck = 5000;
    s.usr_logofftimeout = 100;
    s.drv_removetime = 100;
    s.srv_bind_addr = 0x7F000001;
    s.clt_logon_timeout = 3000;
    s.tls = tls ? 1 : 0;
    return s;
}

// A test CA, with its certificate as the clients' trust store.
struct TestPki {
    std::string dir;
    KeyPtr ca_key = NewEcKey();
    CertificatePtr ca;
    std::string ca_file;

    explicit TestPki(const std::string& folder) : dir(folder) {
        CertificateFields fields;
        fields.common_name = "Vorlane Test CA";
        fields.ca = true;
        ca = MakeCertificate(fields, ca_key.get(), nullptr, nullptr);
        ca_file = dir + "/ca.pem";
        WriteCertificate(ca_file, ca.get());
    }
    // A server context whose certificate the CA signed.
    std::shared_ptr<TlsContext> Issued(const CertificateFields& fields) {
        KeyPtr key = NewEcKey();
        CertificatePtr cert = MakeCertificate(fields, key.get(), ca.get(), ca_key.get());
        return TlsContext::ForServer(cert.get(), key.get(), nullptr);
    }
};

std::shared_ptr<TlsContext> SelfSigned(evp_pkey_st* key, uint64_t serial = 1) {
    CertificateFields fields;
    fields.serial = serial;
    CertificatePtr cert = MakeCertificate(fields, key, nullptr, nullptr);
    return TlsContext::ForServer(cert.get(), key, nullptr);
}

class Server : public TNS_CONTROL {
  public:
    ~Server() override { Stop(); }
    bool Start(const std::string& log_dir, std::shared_ptr<TlsContext> tls, bool tls_on = true,
               uint32_t handshake_ms = 0) {
        SetTlsContext(std::move(tls));
        NET_SETTINGS settings = Settings(tls_on);
        settings.tls_handshake_timeout = handshake_ms;
        if (InitServerSystemWithSettings(log_dir.c_str(), settings) != 1)
            return false;
        thread_ = std::thread([this] {
            while (!stop_) {
                WaitForMessages(5);
                std::lock_guard lock(mutex_);
                Update();
            }
        });
        return true;
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        RemoveSystem();
    }
    void OnLogon(uint32_t) override { ++logons; }
    void OnDataReceived(uint32_t, uint32_t sender, uint16_t, uint16_t sub_type, const uint8_t* data,
                        uint32_t size) override {
        received += size;
        // Echoes what it got, so the clients see the other direction too.
        SendData(sender, 1, sub_type, data, size);
    }
    std::atomic<int> logons{0};
    std::atomic<uint64_t> received{0};

  private:
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class Client : public TNS_CONTROL {
  public:
    bool Start(const std::string& log_dir, uint16_t port, const std::string& ca_file,
               const std::string& known, bool tls_on = true) {
        NET_SETTINGS settings = Settings(tls_on);
        settings.port = port;
        settings.tls_ca_file = ca_file;
        set_known_servers_file(known);
        return InitClientSystemWithSettings(log_dir.c_str(), settings) == 1;
    }
    void OnDataReceived(uint32_t, uint32_t, uint16_t, uint16_t, const uint8_t* data,
                        uint32_t size) override {
        echoed.append(reinterpret_cast<const char*>(data), size);
    }
    bool WaitForEcho(size_t bytes) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (echoed.size() < bytes && std::chrono::steady_clock::now() < end) {
            WaitForMessages(5);
            Update();
        }
        return echoed.size() >= bytes;
    }
    std::string echoed;
};

class TlsKernel : public ::testing::Test {
  protected:
    LogCapture capture_;
    std::string dir_;
    std::unique_ptr<TestPki> pki_;

    void SetUp() override {
        char pattern[] = "/tmp/vorlane-tls-XXXXXX";
        dir_ = mkdtemp(pattern);
        pki_ = std::make_unique<TestPki>(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Known() const { return dir_ + "/known_servers"; }
    std::string ReadKnown() const {
        std::ifstream file(Known());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // One client's attempt on `server`: its result and refusal.
    std::pair<int16_t, TlsRefusal> Attempt(Server& server, const std::string& host = "127.0.0.1",
                                           bool confirm = false) {
        Client client;
        EXPECT_TRUE(client.Start(dir_ + "/client", server.ListenPort(), pki_->ca_file, Known()));
        client.set_confirm_first_use(confirm);
        const int16_t result = client.ConnectToHostname(host.c_str());
        return {result, client.tls_refusal()};
    }
};

}  // namespace

TEST_F(TlsKernel, SelfSignedKeyIsTrustedOnFirstUseThenHeldToItsKey) {
    KeyPtr key = NewEcKey();
    std::string fingerprint;
    {
        Server server;
        auto context = SelfSigned(key.get());
        fingerprint = context->fingerprint();
        ASSERT_TRUE(server.Start(dir_ + "/server", context));
        Client client;
        ASSERT_TRUE(client.Start(dir_ + "/client", server.ListenPort(), pki_->ca_file, Known()));
        ASSERT_EQ(client.ConnectToHostname("127.0.0.1"), 1);
        EXPECT_TRUE(client.first_use());
        EXPECT_EQ(client.server_fingerprint(), fingerprint);
        EXPECT_NE(ReadKnown().find("127.0.0.1:" + std::to_string(server.ListenPort()) + " " +
                                   fingerprint),
                  std::string::npos);
        EXPECT_EQ(std::filesystem::status(Known()).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

        // Envelopes cross the stream both ways, small and larger than a record.
        std::string payload = "hello";
        std::string large(300000, 'x');
        for (size_t i = 0; i < large.size(); ++i) large[i] = char('a' + i % 26);
        ASSERT_EQ(client.SendToServer(1, 0, payload.data(), uint32_t(payload.size())), 1);
        ASSERT_EQ(client.SendToServer(1, 0, large.data(), uint32_t(large.size())), 1);
        ASSERT_TRUE(client.WaitForEcho(payload.size() + large.size()));
        EXPECT_EQ(client.echoed, payload + large);
    }
    // The same key under a renewed certificate (and another port) is known.
    {
        Server renewed;
        ASSERT_TRUE(renewed.Start(dir_ + "/server", SelfSigned(key.get(), 2)));
        KnownServers(Known()).Remember("127.0.0.1", renewed.ListenPort(), fingerprint);
        Client client;
        ASSERT_TRUE(client.Start(dir_ + "/client", renewed.ListenPort(), pki_->ca_file, Known()));
        // The test CA did not sign it: it is trusted by its key alone.
        ASSERT_EQ(client.ConnectToHostname("127.0.0.1"), 1);
        EXPECT_FALSE(client.first_use());

        // A new key on that server and port is refused before anything is sent.
        KnownServers(Known()).Remember("127.0.0.1", renewed.ListenPort(), "SHA256:another");
        const int logons = renewed.logons;
        Client next;
        ASSERT_TRUE(next.Start(dir_ + "/client2", renewed.ListenPort(), pki_->ca_file, Known()));
        EXPECT_EQ(next.ConnectToHostname("127.0.0.1"), -1);
        EXPECT_EQ(next.tls_refusal(), TlsRefusal::kKeyChanged);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(renewed.logons, logons);
        EXPECT_TRUE(capture_.Contains("has changed"));
    }
}

TEST_F(TlsKernel, FirstUseIsShownBeforeItIsTrusted) {
    KeyPtr key = NewEcKey();
    Server server;
    ASSERT_TRUE(server.Start(dir_ + "/server", SelfSigned(key.get())));
    Client client;
    ASSERT_TRUE(client.Start(dir_ + "/client", server.ListenPort(), pki_->ca_file, Known()));
    client.set_confirm_first_use(true);
    EXPECT_EQ(client.ConnectToHostname("127.0.0.1"), -1);
    EXPECT_EQ(client.tls_refusal(), TlsRefusal::kFirstUse);
    EXPECT_FALSE(client.server_fingerprint().empty());
    EXPECT_EQ(server.logons, 0);
    EXPECT_EQ(ReadKnown(), "");
    // The player saw it and tries again: now it is remembered.
    EXPECT_EQ(client.ConnectToHostname("127.0.0.1"), 1);
    EXPECT_TRUE(client.first_use());
    EXPECT_NE(ReadKnown().find(client.server_fingerprint()), std::string::npos);
}

TEST_F(TlsKernel, CertificatesThatChainAreJudgedByHostAndDate) {
    CertificateFields good;
    good.addresses = {"127.0.0.1"};
    CertificateFields expired = good;
    expired.not_before = -3 * 24 * 3600;
    expired.not_after = -24 * 3600;
    CertificateFields other;
    other.dns_names = {"other.example"};
    struct Case {
        CertificateFields fields;
        int16_t result;
        TlsRefusal refusal;
    };
    for (const Case& c : {Case{good, 1, TlsRefusal::kNone}, Case{expired, -1, TlsRefusal::kExpired},
                          Case{other, -1, TlsRefusal::kWrongHost}}) {
        Server server;
        ASSERT_TRUE(server.Start(dir_ + "/server", pki_->Issued(c.fields)));
        const auto [result, refusal] = Attempt(server);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(refusal, c.refusal);
    }
    // A certificate the store trusts is never written down.
    EXPECT_EQ(ReadKnown(), "");
}

TEST_F(TlsKernel, PlainPeersAreRefusedEitherWay) {
    KeyPtr key = NewEcKey();
    {
        Server server;
        ASSERT_TRUE(server.Start(dir_ + "/server", SelfSigned(key.get())));
        Client plain;
        ASSERT_TRUE(
            plain.Start(dir_ + "/client", server.ListenPort(), pki_->ca_file, Known(), false));
        EXPECT_EQ(plain.ConnectToHostname("127.0.0.1"), -1);
        EXPECT_EQ(server.logons, 0);
        EXPECT_TRUE(capture_.Contains("sent plain data to a TLS port; connection refused."));
    }
    {
        Server plain_server;
        ASSERT_TRUE(plain_server.Start(dir_ + "/server", nullptr, false));
        const auto start = std::chrono::steady_clock::now();
        const auto [result, refusal] = Attempt(plain_server);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(refusal, TlsRefusal::kPlainServer);
        // Told at once, not after a time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_TRUE(capture_.Contains("started a TLS handshake on a plain port"));
    }
}

TEST_F(TlsKernel, HandshakesHaveADeadlineAndALimitPerAddress) {
    KeyPtr key = NewEcKey();
    Server server;
    ASSERT_TRUE(server.Start(dir_ + "/server", SelfSigned(key.get()), true, 300));
    server.SetHandshakesPerAddress(2);
    auto open_raw = [&] {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(server.ListenPort());
        address.sin_addr.s_addr = htonl(0x7F000001);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    // Waits for the server to end the connection; how long that took.
    auto cut_after = [](int fd) {
        const auto start = std::chrono::steady_clock::now();
        pollfd entry{fd, POLLIN, 0};
        char byte;
        if (poll(&entry, 1, 5000) != 1 || recv(fd, &byte, 1, 0) > 0)
            return std::chrono::milliseconds(99999);
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    };
    const int first = open_raw();
    const int second = open_raw();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int third = open_raw();
    // The third is over the address's limit and is closed at once; the two
    // silent ones are cut at the deadline.
    EXPECT_LT(cut_after(third).count(), 250);
    const auto waited = cut_after(first).count();
    EXPECT_GE(waited, 150);
    EXPECT_LT(waited, 3000);
    EXPECT_LT(cut_after(second).count(), 3000);
    EXPECT_EQ(server.handshakes_refused(), 1u);
    EXPECT_TRUE(capture_.Contains("did not finish within 300 ms; connection cut."));
    for (int fd : {first, second, third}) close(fd);
}
