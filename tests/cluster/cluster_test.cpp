// Three lobby servers started by scripts/cluster (one PostgreSQL, one NATS
// server) and real LOBBYNET clients on them: what one server's players do is
// seen on the others.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "baselib/bl_memory.h"
#include "tests/server/running_server.h"

using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::WaitFor;

namespace {

class ClusterProcesses : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BL_Init();  // the clients' kernel logs need the file layer
        if (::access("/usr/lib/postgresql/15/bin/pg_ctl", X_OK) != 0 ||
            ::access("/usr/sbin/nats-server", X_OK) != 0) {
            skip_ = "PostgreSQL 15 or nats-server is not installed";
            return;
        }
        dir_ = ::testing::TempDir() + "cluster";
        // Limits meant for the internet would turn away a test's many
        // accounts and connections from one address.
        const std::string command = Script() + " up 3 --dir " + dir_ +
                                    " --build " VORLANE_TEST_BINARY_DIR
                                    " --set password_hash=minimum --set accounts_per_address=0"
                                    " --set connections_per_address=0 --set failed_logins_max=0"
                                    " --set game_min_seconds=0 2>&1";
        FILE* out = ::popen(command.c_str(), "r");
        ASSERT_TRUE(out);
        char line[512];
        const std::regex server_line(R"(lobbyd (\d+) 127\.0\.0\.1:(\d+)\s*)");
        std::string all;
        while (std::fgets(line, sizeof line, out)) {
            all += line;
            std::cmatch match;
            if (std::regex_match(line, match, server_line))
                ports_.push_back(uint16_t(std::stoi(match[2])));
        }
        ASSERT_EQ(::pclose(out), 0) << all;
        ASSERT_EQ(ports_.size(), 3u) << all;
    }
    static void TearDownTestSuite() {
        if (!dir_.empty()) [[maybe_unused]]
            const int ignored =
                std::system((Script() + " down --dir " + dir_ + " >/dev/null").c_str());
    }
    void SetUp() override {
        if (!skip_.empty())
            GTEST_SKIP() << skip_;
        ASSERT_EQ(ports_.size(), 3u);
    }

    static std::string Script() {
        return std::string(VORLANE_TEST_SOURCE_DIR) + "/scripts/cluster";
    }

    // A client of server `server` (0-based).
    std::unique_ptr<Client> NewClient(size_t server, const std::string& name) {
        auto client = std::make_unique<Client>(ports_[server], dir_ + "/clients/" + name);
        EXPECT_TRUE(client->ready);
        return client;
    }
    void CreateAccount(size_t server, const std::string& name, const std::string& password) {
        auto client = NewClient(server, "create_" + name);
        ASSERT_EQ(client->net.FirstLogin(name.c_str(), password.c_str(), "", "x@y.z", false), 1);
        ASSERT_TRUE(WaitFor({client.get()}, [&] {
            return client->frontend.Has("account_created") &&
                   client->frontend.Has("login_finished");
        })) << name;
    }

    static inline std::string skip_, dir_;
    static inline std::vector<uint16_t> ports_;
};

}  // namespace

TEST_F(ClusterProcesses, AnAccountMadeOnOneServerLogsInOnAnother) {
    CreateAccount(0, "Ann", "pw-ann");
    auto ann = NewClient(1, "ann");
    ASSERT_NO_FATAL_FAILURE(LogInWithNewProfile(*ann, "Ann", "pw-ann"));
    auto wrong = NewClient(2, "wrong");
    ASSERT_EQ(wrong->net.Login("Ann", "guess", "", "", false, 0xFFFF, 0xFFFF), 1);
    EXPECT_TRUE(
        WaitFor({wrong.get()}, [&] { return !wrong->frontend.Find("login_error").empty(); }));
}
