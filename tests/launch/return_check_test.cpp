#include "frontend/return_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "baselib/cfgfile.h"

namespace vorlane::frontend {
namespace {

class ReturnCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = (std::filesystem::temp_directory_path() /
                 ("return_" + std::to_string(getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg"))
                    .string();
    }
    void TearDown() override { std::filesystem::remove(path_); }
    void Put(const std::string& text) { std::ofstream(path_) << text; }
    std::string Get() const {
        std::ifstream in(path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string path_;
};

TEST_F(ReturnCheck, MarkerOneLogsInAndIsWrittenBackAsZero) {
    Put("[game]\nmode=server\nlan=0\nreturn_from_game=1\n\n"
        "[user]\npermid=5\nprofid=2\nlastchannel=3\nusername=anna\npassword=pw\n\n");
    ReturnLogin login;
    ASSERT_TRUE(CheckReturnFromGame(path_, &login));
    EXPECT_EQ(login.username, "anna");
    EXPECT_EQ(login.password, "pw");
    EXPECT_EQ(login.profile, 2);
    EXPECT_EQ(login.channel, 3);
    EXPECT_EQ(Get(),
              "[game]\nmode=server\nlan=0\nreturn_from_game=0\n\n"
              "[user]\npermid=5\nprofid=2\nlastchannel=3\nusername=anna\npassword=pw\n\n");
    // A second start finds the marker at 0 and stays on the log-in screen.
    EXPECT_FALSE(CheckReturnFromGame(path_, &login));
}

TEST_F(ReturnCheck, MissingUserKeysGiveEmptyTextsAndNoSelection) {
    Put("[game]\nreturn_from_game=1\n");
    ReturnLogin login;
    ASSERT_TRUE(CheckReturnFromGame(path_, &login));
    EXPECT_EQ(login.username, "");
    EXPECT_EQ(login.profile, -1);
    EXPECT_EQ(login.channel, -1);
    EXPECT_EQ(ReturnSelection(login.profile), 0xFFFF);
    EXPECT_EQ(ReturnSelection(0), 0);
    EXPECT_EQ(ReturnSelection(3), 3);
    EXPECT_EQ(ReturnSelection(70000), 0xFFFF);
    EXPECT_TRUE(CheckReturnFromGame(path_, nullptr) == false);
}

TEST_F(ReturnCheck, NoMarkerOrOtherValueLeavesFileUntouched) {
    for (const char* text :
         {"[game]\nmode=client\n", "[game]\nreturn_from_game=2\n", "[game]\nreturn_from_game=\n",
          "[user]\nreturn_from_game=1\n", "return_from_game=1\n"}) {
        Put(text);
        EXPECT_FALSE(CheckReturnFromGame(path_, nullptr)) << text;
        EXPECT_EQ(Get(), text);
    }
    std::filesystem::remove(path_);
    EXPECT_FALSE(CheckReturnFromGame(path_, nullptr));
    EXPECT_FALSE(std::filesystem::exists(path_));
}

}  // namespace
}  // namespace vorlane::frontend
