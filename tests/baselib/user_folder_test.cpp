#include "baselib/user_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using namespace vorlane::baselib;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class UserFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        saved_home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        root_ = fs::path(std::getenv("TEST_TMPDIR")) / "user_folder";
        fs::remove_all(root_);
        setenv("XDG_DATA_HOME", (root_ / "share").c_str(), 1);
    }
    void TearDown() override {
        setenv("XDG_DATA_HOME", saved_.c_str(), 1);
        setenv("HOME", saved_home_.c_str(), 1);
    }
    std::string saved_;
    std::string saved_home_;
    fs::path root_;
};

}  // namespace

// The first use copies the old file (owner-only); later uses keep what the
// player's programs wrote since.
TEST_F(UserFolderTest, CarriesAnOldFileOverOnceAndKeepsItPrivate) {
    fs::create_directories(root_ / "old");
    std::ofstream(root_ / "old" / "lobby.cfg") << "[login]\nname=ann\n";
    const std::string path = UserFile("lobby.cfg", (root_ / "old" / "lobby.cfg").string());
    EXPECT_EQ(path, (root_ / "share" / "vorlane" / "lobby.cfg").string());
    EXPECT_EQ(ReadAll(path), "[login]\nname=ann\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((root_ / "share" / "vorlane").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    std::ofstream(path) << "[login]\nname=bob\n";
    UserFile("lobby.cfg", (root_ / "old" / "lobby.cfg").string());
    EXPECT_EQ(ReadAll(path), "[login]\nname=bob\n");

    // Nothing to carry over: the folders are made, the file is not.
    const std::string log = UserFile("logs/lobby/logfile.txt", (root_ / "missing").string());
    EXPECT_TRUE(fs::is_directory(fs::path(log).parent_path()));
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(UserFolderTest, RelativeDataHomeIsIgnoredAndPlayerNamesLandInTheFolder) {
    setenv("XDG_DATA_HOME", "relative/share", 1);
    setenv("HOME", root_.c_str(), 1);
    EXPECT_EQ(UserFolder(), (root_ / ".local" / "share" / "vorlane").string());
    EXPECT_EQ(InFolder("/u", "shot.bmp"), "/u/shot.bmp");
    EXPECT_EQ(InFolder("/u", "/tmp/shot.bmp"), "/tmp/shot.bmp");
    EXPECT_EQ(InFolder("", "shot.bmp"), "shot.bmp");
}
