// The main of every test executable: runs GoogleTest after giving the tests the
// environment they expect when they are started by hand or by CTest alike —
// headless SDL drivers, the source and build folders, and a temporary folder of
// their own (CTest runs test cases as parallel processes, and cases that share
// a file name under /tmp would otherwise meet) that also holds the programs'
// user folder (XDG_DATA_HOME).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("VORLANE_SOURCE_DIR", VORLANE_TEST_SOURCE_DIR, 0);
    setenv("VORLANE_BINARY_DIR", VORLANE_TEST_BINARY_DIR, 0);

    std::error_code error;
    std::filesystem::path temp =
        std::filesystem::temp_directory_path(error) / ("vorlane-test-" + std::to_string(getpid()));
    bool own_temp = std::filesystem::create_directories(temp, error);
    if (own_temp) {
        setenv("TEST_TMPDIR", temp.c_str(), 1);
        // What a program writes for its player stays in the test's folder.
        setenv("XDG_DATA_HOME", (temp / "data-home").c_str(), 1);
    }

    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (own_temp)
        std::filesystem::remove_all(temp, error);
    return result;
}
