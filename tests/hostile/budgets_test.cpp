// [SECTION] index
//   Fixture, floods, limits of an address, deadline and password queue.
//
// Clients that flood vorlane-lobbyd or keep knocking, in-process on
// loopback: each limit bites the hostile connection or address while the
// honest client beside it sees only what the limits allow. Clients that need
// an address of their own connect from 127.0.0.2, 127.0.0.3, ...
#include <gtest/gtest.h>
#include <sodium.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "baselib/bl_memory.h"
#include "tests/server/running_server.h"

using namespace vorlane::server;
using namespace vorlane::net;
using vorlane::server::testing::Client;
using vorlane::server::testing::LogInWithNewProfile;
using vorlane::server::testing::RunningServer;
using vorlane::server::testing::WaitFor;

// [SECTION] Fixture

namespace {

constexpr uint16_t kChannel = 2;
constexpr uint32_t kSecondAddress = 0x7F000002;  // 127.0.0.2
constexpr uint32_t kThirdAddress = 0x7F000003;

class BudgetsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BL_Init(); }

    // Accounts Ann, Bob, Mallory (password "pw"); `slow_hash` gives them
    // hashes that take a noticeable while to check.
    void Start(const std::function<void(LobbyConfig&)>& adjust, bool slow_hash = false) {
        dir = ::testing::TempDir() + "budgets/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        server = std::make_unique<RunningServer>(
            dir + "/lobbyd.sqlite", dir + "/server",
            [slow_hash](LobbyStore& store) {
                for (const char* name : {"Ann", "Bob", "Mallory"}) {
                    std::string hash = store.HashPassword("pw");
                    if (slow_hash) {
                        char text[crypto_pwhash_STRBYTES];
                        if (crypto_pwhash_str(text, "pw", 2, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                              crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
                            return false;
                        hash = text;
                    }
                    uint32_t id = 0;
                    if (store.InsertAccount(name, hash, "x@y.z", &id) != StoreResult::kOk)
                        return false;
                }
                return true;
            },
            adjust);
        ASSERT_NE(server->port(), 0);
    }

    std::unique_ptr<Client> NewClient(const std::string& name, uint32_t source = 0) {
        auto client = std::make_unique<Client>(server->port(), dir + "/" + name, source);
        EXPECT_TRUE(client->ready);
        return client;
    }

    std::unique_ptr<Client> Enter(const std::string& name) {
        auto client = NewClient(name);
        LogInWithNewProfile(*client, name, "pw");
        EXPECT_EQ(client->net.JoinChannel(kChannel), 1);
        EXPECT_TRUE(
            WaitFor({client.get()}, [&] { return client->frontend.Has("channel_entered"); }));
        return client;
    }

    // Logs `client` in as `name` and waits for the answer: "ok" or the text
    // of the log-in error.
    static std::string Answer(Client& client, const char* name, const char* password) {
        const size_t before = client.frontend.events.size();
        if (client.net.Login(name, password, "", "", false, 0xFFFF, 0xFFFF) != 1)
            return "not sent";
        std::string answer = "none";
        WaitFor({&client}, [&] {
            for (size_t i = before; i < client.frontend.events.size(); ++i) {
                const std::string& event = client.frontend.events[i];
                if (event == "profiles_complete")
                    answer = "ok";
                else if (event.rfind("login_error ", 0) == 0)
                    answer = event.substr(12);
            }
            return answer != "none";
        });
        return answer;
    }

    // Waits until the server has closed `client`'s connection.
    static bool Closed(Client& client) {
        return WaitFor({&client}, [&] { return client.net.idle(); });
    }

    size_t ChatLinesFrom(const Client& reader, const Client& sender) const {
        const std::string prefix = "chat 0 " + std::to_string(sender.net.own_id()) + " ";
        size_t lines = 0;
        for (const std::string& event : reader.frontend.events)
            lines += event.rfind(prefix, 0) == 0;
        return lines;
    }

    LogCapture log;
    std::string dir;
    std::unique_ptr<RunningServer> server;
};

}  // namespace

// [SECTION] Floods

TEST_F(BudgetsTest, ChatFloodIsCutToTheBudgetAndEndsTheFloodersConnection) {
    ASSERT_NO_FATAL_FAILURE(Start(nullptr));  // shipped budgets: 4 lines/s, 20 requests/6 s
    auto ann = Enter("Ann");
    auto mallory = Enter("Mallory");
    ASSERT_TRUE(WaitFor({ann.get(), mallory.get()},
                        [&] { return ann->frontend.Has("user_added Mallory"); }));
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 60 && mallory->net.logged_on(); ++i) {
        mallory->net.SendChat(("flood " + std::to_string(i)).c_str(), -1);
    }
    ASSERT_TRUE(WaitFor({ann.get(), mallory.get()}, [&] {
        return mallory->net.idle() && ann->frontend.Has("user_removed Mallory");
    }));
    // At most the chat bucket (4 lines) and what it refilled meanwhile.
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(ChatLinesFrom(*ann, *mallory), 1u);
    EXPECT_LE(ChatLinesFrom(*ann, *mallory), size_t(4 + 4 * seconds + 1));
    EXPECT_GT(server->limit_hits(Limit::kChat), 0u);
    EXPECT_GT(server->limit_hits(Limit::kMessages), 0u);
    EXPECT_TRUE(LogCapture::Contains("connection closed"));
    // Coming straight back does not give the flooder fresh budgets.
    EXPECT_EQ(Answer(*mallory, "Mallory", "pw"), "LOBBY_ADDRESS_BANNED");
    EXPECT_EQ(server->limit_hits(Limit::kFloodBan), 1u);
    // Ann chats on as before.
    ASSERT_EQ(ann->net.SendChat("still here", -1), 1);
    const std::string line = "chat 0 " + std::to_string(ann->net.own_id()) + " still here";
    EXPECT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has(line); }));
}

TEST_F(BudgetsTest, JoinAndChannelListFloodsGetOnlyTheirBudget) {
    ASSERT_NO_FATAL_FAILURE(Start([](LobbyConfig& config) {
        config.messages.max = 0;  // only the per-kind budgets here
        config.joins = {3, 600};
        config.channel_lists = {5, 600};
    }));
    auto ann = Enter("Ann");
    auto mallory = Enter("Mallory");  // one join and one channel list spent
    ASSERT_TRUE(WaitFor({ann.get(), mallory.get()},
                        [&] { return ann->frontend.Has("user_added Mallory"); }));
    auto answered = [&] {
        return mallory->frontend.Count("channel_entered") +
               mallory->frontend.Count("channel_error");
    };
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(mallory->net.JoinChannel(kChannel), 1);
        ASSERT_TRUE(
            WaitFor({ann.get(), mallory.get()}, [&] { return answered() == size_t(i + 2); }));
    }
    for (int i = 0; i < 20; ++i) ASSERT_EQ(mallory->net.RequestChannelList(), 1);
    ASSERT_EQ(mallory->net.SendChat("done", -1), 1);  // comes back after every list
    const std::string done = "chat 0 " + std::to_string(mallory->net.own_id()) + " done";
    ASSERT_TRUE(WaitFor({ann.get(), mallory.get()},
                        [&] { return mallory->frontend.Has(done) && ann->frontend.Has(done); }));

    EXPECT_EQ(mallory->frontend.Count("channel_entered"), 3u);
    EXPECT_EQ(mallory->frontend.Count("channel_error"), 18u);
    EXPECT_EQ(mallory->frontend.Count("channel_list 0"), 5u);
    // Mallory's joins of the channel she is in cost Ann nothing.
    EXPECT_EQ(ann->frontend.Count("user_added Mallory"), 1u);
    EXPECT_EQ(ann->frontend.Count("user_removed Mallory"), 0u);
    EXPECT_EQ(server->limit_hits(Limit::kJoins), 18u);
    EXPECT_EQ(server->limit_hits(Limit::kChannelLists), 16u);
}

// [SECTION] Limits of an address

TEST_F(BudgetsTest, ConnectionsBeyondTheAddressLimitAreToldAndClosed) {
    ASSERT_NO_FATAL_FAILURE(Start([](LobbyConfig& config) { config.connections_per_address = 2; }));
    auto first = NewClient("first", kSecondAddress);
    auto second = NewClient("second", kSecondAddress);
    ASSERT_EQ(first->net.ConnectToHostname("127.0.0.1"), 1);
    ASSERT_EQ(second->net.ConnectToHostname("127.0.0.1"), 1);

    auto third = NewClient("third", kSecondAddress);
    EXPECT_EQ(Answer(*third, "Ann", "pw"), "LOBBY_TOO_MANY_CONNECTIONS");
    EXPECT_TRUE(Closed(*third));
    EXPECT_EQ(server->limit_hits(Limit::kConnections), 1u);
    // Another address is not affected.
    auto other = NewClient("other", kThirdAddress);
    EXPECT_EQ(Answer(*other, "Ann", "pw"), "ok");
    // Once one of the two has gone, the address may connect again.
    ASSERT_EQ(first->net.Disconnect(), 1);
    std::string again;
    for (int attempt = 0; attempt < 20 && again != "ok"; ++attempt) {
        WaitFor({third.get()}, [&] { return third->net.idle(); });
        again = Answer(*third, "Bob", "pw");
        if (again != "ok")
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(again, "ok");
}

TEST_F(BudgetsTest, EndlessFailedLoginsLockTheAddressOutButNotOthers) {
    ASSERT_NO_FATAL_FAILURE(Start([](LobbyConfig& config) { config.failed_logins_max = 3; }));
    auto guesser = NewClient("guesser", kSecondAddress);
    std::vector<std::string> answers;
    for (int i = 0; i < 8; ++i) {
        answers.push_back(Answer(*guesser, "Ann", ("guess" + std::to_string(i)).c_str()));
        ASSERT_TRUE(Closed(*guesser));
    }
    const std::vector<std::string> expected = {"LOBBY_WRONG_PASSWORD", "LOBBY_WRONG_PASSWORD",
                                               "LOBBY_WRONG_PASSWORD", "LOBBY_WRONG_PASSWORD",
                                               "LOBBY_LOGIN_LOCKED",   "LOBBY_LOGIN_LOCKED",
                                               "LOBBY_LOGIN_LOCKED",   "LOBBY_LOGIN_LOCKED"};
    EXPECT_EQ(answers, expected);
    // Locked out even with the right password ...
    EXPECT_EQ(Answer(*guesser, "Ann", "pw"), "LOBBY_LOGIN_LOCKED");
    // ... while Ann from her own address logs in.
    auto ann = NewClient("Ann", kThirdAddress);
    EXPECT_EQ(Answer(*ann, "Ann", "pw"), "ok");
    EXPECT_TRUE(LogCapture::Contains("its log-ins are refused"));
}

TEST_F(BudgetsTest, AccountsPerAddressCountOnlyCreatedOnes) {
    ASSERT_NO_FATAL_FAILURE(Start([](LobbyConfig& config) { config.accounts_per_address = 2; }));
    auto creator = NewClient("creator", kSecondAddress);
    auto create = [&](Client& client, const char* name) {
        const size_t before = client.frontend.events.size();
        client.net.FirstLogin(name, "pw", "", "a@b.c", false);
        std::string answer;
        WaitFor({&client}, [&] {
            for (size_t i = before; i < client.frontend.events.size() && answer.empty(); ++i) {
                const std::string& event = client.frontend.events[i];
                if (event == "account_created" || event.rfind("first_login_error ", 0) == 0)
                    answer = event;
            }
            return !answer.empty() && client.net.idle();
        });
        return answer;
    };
    EXPECT_EQ(create(*creator, "Ann"), "first_login_error LOBBY_USER_EXISTS");  // does not count
    EXPECT_EQ(create(*creator, "New1"), "account_created");
    EXPECT_EQ(create(*creator, "New2"), "account_created");
    EXPECT_EQ(create(*creator, "New3"), "first_login_error LOBBY_TOO_MANY_ACCOUNTS");
    auto other = NewClient("other", kThirdAddress);
    EXPECT_EQ(create(*other, "New3"), "account_created");
}

// [SECTION] Deadline and password queue

TEST_F(BudgetsTest, ConnectionThatNeverLogsInIsClosedAtTheDeadline) {
    ASSERT_NO_FATAL_FAILURE(Start([](LobbyConfig& config) { config.login_deadline = 2; }));
    auto ann = Enter("Ann");
    auto idle = NewClient("idle");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(idle->net.ConnectToHostname("127.0.0.1"), 1);
    ASSERT_TRUE(WaitFor({idle.get(), ann.get()}, [&] { return idle->net.idle(); }));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1900));
    EXPECT_TRUE(idle->frontend.Has("connection_lost"));
    EXPECT_EQ(server->limit_hits(Limit::kLoginDeadline), 1u);
    // Ann, logged in, stays well past the deadline.
    ASSERT_EQ(ann->net.SendChat("still here", -1), 1);
    const std::string line = "chat 0 " + std::to_string(ann->net.own_id()) + " still here";
    EXPECT_TRUE(WaitFor({ann.get()}, [&] { return ann->frontend.Has(line); }));
    EXPECT_FALSE(ann->frontend.Has("connection_lost"));
}

TEST_F(BudgetsTest, FullPasswordQueueAnswersTryAgainAtOnce) {
    ASSERT_NO_FATAL_FAILURE(Start(
        [](LobbyConfig& config) {
            config.hash_threads = 1;
            config.hash_queue_max = 1;
        },
        true));
    std::vector<std::unique_ptr<Client>> clients;
    const char* names[] = {"Ann", "Bob", "Mallory"};
    for (const char* name : names) {
        clients.push_back(NewClient(name));
        ASSERT_EQ(clients.back()->net.ConnectToHostname("127.0.0.1"), 1);
    }
    // All three log-ins at once: one check runs, at most one waits.
    for (size_t i = 0; i < clients.size(); ++i) {
        ASSERT_EQ(clients[i]->net.Login(names[i], "pw", "", "", false, 0xFFFF, 0xFFFF), 1);
    }
    auto answer = [](const Client& client) {
        if (client.frontend.Has("profiles_complete"))
            return std::string("ok");
        for (const std::string& event : client.frontend.events) {
            if (event.rfind("login_error ", 0) == 0)
                return event.substr(12);
        }
        return std::string();
    };
    ASSERT_TRUE(WaitFor({clients[0].get(), clients[1].get(), clients[2].get()}, [&] {
        return !answer(*clients[0]).empty() && !answer(*clients[1]).empty() &&
               !answer(*clients[2]).empty();
    }));
    size_t ok = 0, again = 0;
    for (const auto& client : clients) {
        ok += answer(*client) == "ok";
        again += answer(*client) == "LOBBY_INTERNAL_SRV_ERROR";
    }
    EXPECT_GE(ok, 1u);
    EXPECT_GE(again, 1u);
    EXPECT_EQ(ok + again, 3u);
    EXPECT_GE(server->limit_hits(Limit::kHashQueue), 1u);
    // Told to try again, they do, and get in.
    for (size_t i = 0; i < clients.size(); ++i) {
        if (answer(*clients[i]) == "ok")
            continue;
        ASSERT_TRUE(Closed(*clients[i]));
        EXPECT_EQ(Answer(*clients[i], names[i], "pw"), "ok") << names[i];
    }
}
