// vorlane-lobbyd with encrypted connections: its self-signed identity, and
// the lobby client's answers to a server it must not trust. The clients'
// trust store is a file of the test's own, never the system's.
#include "server/server_tls.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "baselib/bl_memory.h"
#include "net/known_servers.h"
#include "net/tls_certificate.h"
#include "server/config_check.h"
#include "tests/server/running_server.h"

using namespace vorlane::server;
using namespace vorlane::server::testing;

namespace {

class ServerTls : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }  // the kernel's logs need the file layer
    std::string dir_;
    void SetUp() override {
        char pattern[] = "/tmp/vorlane-srvtls-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
};

}  // namespace

TEST_F(ServerTls, SelfSignedPairIsMadeOnceWithAPrivateKey) {
    LobbyConfig config;
    config.database = dir_ + "/db/lobbyd.sqlite";
    std::filesystem::create_directories(dir_ + "/db");
    bool created = false;
    std::string error;
    auto first = LoadServerTls(config, &created, &error);
    ASSERT_TRUE(first) << error;
    EXPECT_TRUE(created);
    struct stat info {};
    ASSERT_EQ(stat((dir_ + "/db/" + kSelfSignedKey).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(first->fingerprint().rfind("SHA256:", 0), 0u);

    // The next start keeps the pair, and with it the fingerprint players know.
    auto second = LoadServerTls(config, &created, &error);
    ASSERT_TRUE(second) << error;
    EXPECT_FALSE(created);
    EXPECT_EQ(second->fingerprint(), first->fingerprint());

    // A configured pair is used as it is; half of one is an error.
    config.tls_cert = dir_ + "/db/" + kSelfSignedCert;
    config.tls_key = dir_ + "/db/" + kSelfSignedKey;
    auto configured = LoadServerTls(config, &created, &error);
    ASSERT_TRUE(configured) << error;
    EXPECT_EQ(configured->fingerprint(), first->fingerprint());
    config.tls_key.clear();
    EXPECT_FALSE(LoadServerTls(config, &created, &error));
    EXPECT_EQ(error, "tls_cert and tls_key go together");

    EXPECT_TRUE(CheckLobbyConfigText("[lobbyd]\ntls_cert = a.pem\ntls_key = b.pem\ntls_dir = d\n"
                                     "[LOOMEX_SERVER]\ntls = 1\ntls_handshake_timeout = 5000\n")
                    .empty());
}

TEST_F(ServerTls, ClientRefusesAChangedKeyWithoutSendingThePassword) {
    RunningServer server(dir_ + "/lobbyd.sqlite", dir_ + "/logs", nullptr, [&](LobbyConfig& c) {
        c.kernel.tls = 1;
        c.tls_dir = dir_;
    });
    ASSERT_NE(server.port(), 0);
    const std::string known = dir_ + "/known_servers";
    // The clients' trust store: a CA of the test's own, which signed nothing here.
    const std::string store = dir_ + "/ca.pem";
    vorlane::net::KeyPtr ca_key = vorlane::net::NewEcKey();
    vorlane::net::CertificateFields ca_spec;
    ca_spec.ca = true;
    ASSERT_TRUE(vorlane::net::WriteCertificate(
        store, vorlane::net::MakeCertificate(ca_spec, ca_key.get(), nullptr, nullptr).get()));
    auto client_for = [&](Client& client) {
        client.net.RemoveSystem();
        NET_SETTINGS settings = ClientSettings(server.port());
        settings.tls = 1;
        settings.tls_ca_file = store;
        client.net.set_known_servers_file(known);
        client.net.set_confirm_first_use(true);
        ASSERT_EQ(client.net.InitClientSystemWithSettings((dir_ + "/c").c_str(), settings), 1);
    };
    vorlane::net::KnownServers(known).Remember("127.0.0.1", server.port(), "SHA256:older");
    {
        Client client(server.port(), dir_ + "/c");
        client_for(client);
        ASSERT_EQ(client.net.Login("ann", "hunter2", "", "", false, 0xFFFF, 0xFFFF), 1);
        ASSERT_TRUE(WaitFor({&client}, [&] { return !client.frontend.events.empty(); }));
        EXPECT_EQ(client.frontend.events.back(), "login_error LOBBY_TLS_KEY_CHANGED");
        EXPECT_FALSE(client.net.logged_on());
    }
    // Once the player forgot the old key: shown first, then trusted, then in.
    ASSERT_TRUE(vorlane::net::KnownServers(known).Forget("127.0.0.1", server.port()));
    Client client(server.port(), dir_ + "/c");
    client_for(client);
    ASSERT_EQ(client.net.Login("ann", "hunter2", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({&client}, [&] { return !client.frontend.events.empty(); }));
    EXPECT_EQ(client.frontend.events.back(), "login_error LOBBY_TLS_FIRST_USE");
    ASSERT_EQ(client.net.Login("ann", "hunter2", "", "", false, 0xFFFF, 0xFFFF), 1);
    ASSERT_TRUE(WaitFor({&client}, [&] {
        return client.frontend.Has("login_error LOBBY_USER_UNKNOWN") ||
               client.frontend.Has("profiles_complete");
    }));
    EXPECT_TRUE(client.frontend.Has("login_error LOBBY_USER_UNKNOWN"));
}
