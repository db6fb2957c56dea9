// The main of every test executable: runs GoogleTest after giving the tests the
// environment they expect when they are started by hand or by CTest alike —
// headless SDL drivers and the source and build folders.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("VORLANE_SOURCE_DIR", VORLANE_TEST_SOURCE_DIR, 0);
    setenv("VORLANE_BINARY_DIR", VORLANE_TEST_BINARY_DIR, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
