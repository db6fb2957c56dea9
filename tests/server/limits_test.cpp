// The counters behind the server's limits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "server/budgets.h"
#include "tests/support/log_capture.h"

using namespace vorlane::server;
using vorlane::testing::LogCapture;

TEST(RateWindow, CountsWithinTheWindowAndStartsAfreshAfterIt) {
    RateWindow window;
    const auto start = LimitClock::now();
    const auto length = std::chrono::seconds(10);
    EXPECT_EQ(window.Add(start, length), 1u);
    EXPECT_EQ(window.Add(start + std::chrono::seconds(9), length, 5), 6u);
    window.Return();
    EXPECT_EQ(window.Used(start + std::chrono::seconds(9), length), 5u);
    EXPECT_EQ(window.Used(start + length, length), 0u);
    EXPECT_EQ(window.Add(start + length, length), 1u);  // a new window
}

TEST(LimitLog, OneLineASecondPerKindWithTheHeldBackCount) {
    LogCapture log;
    LimitLog limits;
    for (int i = 0; i < 3; ++i) limits.Write(Limit::kChat, false, "chat %d", i);
    limits.Write(Limit::kJoins, false, "joins");
    limits.Write(Limit::kChat, true, "chat closed");  // closes are paced apart
    EXPECT_EQ(LogCapture::Texts(), (std::vector<std::string>{"chat 0", "joins", "chat closed"}));
    EXPECT_EQ(limits.count(Limit::kChat), 4u);
}
