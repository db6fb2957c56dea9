// HostConnect: a connection attempt that never waits, by address or by name.
#include "net/host_connect.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/log_capture.h"

using vorlane::net::HostConnect;
using State = HostConnect::State;

namespace {

// A loopback port with a listener (`listening`) or, once closed, without.
struct LoopbackPort {
    explicit LoopbackPort(bool listening) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        if (listening) {
            listen(fd, 4);
        } else {
            close(fd);
            fd = -1;
        }
    }
    ~LoopbackPort() {
        if (fd >= 0)
            close(fd);
    }
    int fd = -1;
    uint16_t port = 0;
};

// Polls until the attempt is no longer under way (real time, at most 5 s).
State Settle(HostConnect& connect, uint32_t now_ms) {
    for (int i = 0; i < 500; ++i) {
        const State state = connect.Poll(now_ms);
        if (state != State::kLookup && state != State::kConnect)
            return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return connect.state();
}

}  // namespace

TEST(HostConnect, ConnectsByAddressAndByNameAndReportsWhyItFailed) {
    vorlane::testing::LogCapture log;
    LoopbackPort listening(true);
    HostConnect::Options options;
    options.port = listening.port;

    HostConnect connect;
    ASSERT_NE(connect.Start("127.0.0.1", options, 0), State::kFailed);
    ASSERT_EQ(Settle(connect, 0), State::kConnected);
    NET_CONNECTION* connection = connect.TakeConnection();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connect.state(), State::kIdle);
    NET_Close(connection);

    // A name is looked up off the caller's thread, then connected the same way.
    ASSERT_NE(connect.Start("localhost", options, 0), State::kFailed);
    ASSERT_EQ(Settle(connect, 0), State::kConnected);
    NET_Close(connect.TakeConnection());

    EXPECT_EQ(connect.Start("", options, 0), State::kFailed);
    EXPECT_TRUE(connect.lookup_failed());

    LoopbackPort closed(false);
    options.port = closed.port;
    connect.Start("127.0.0.1", options, 0);
    EXPECT_EQ(Settle(connect, 0), State::kFailed);
    EXPECT_FALSE(connect.lookup_failed());
    EXPECT_EQ(connect.TakeConnection(), nullptr);
}

TEST(HostConnect, CancelNeverWaitsForALookup) {
    HostConnect::Options options;
    options.port = 1;
    HostConnect connect;
    connect.Start("localhost", options, 0);
    const auto start = std::chrono::steady_clock::now();
    connect.Cancel();
    EXPECT_EQ(connect.state(), State::kIdle);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(connect.Poll(0), State::kIdle);
    // The lookup thread finishes on its own and drops its answer.
}
