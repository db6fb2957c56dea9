// Shared set-up for the logging, memory and threading tests: a started base
// library, a clean logging state and a private scratch folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "baselib/bl_file.h"
#include "baselib/bl_memory.h"
#include "baselib/logsys.h"

namespace core_test {

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts the base library once per test (repeated starts only warn or fail
// harmlessly) and clears the process-wide logging switches around each test.
class BaseLibTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LOGSYS_ResetForTests();
        BL_InitMemSystem(kMemGuarded);
        InitBL();
        dir_ = std::filesystem::temp_directory_path() /
               ("vorlane_core_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        LOGSYS_ResetForTests();
        std::filesystem::remove_all(dir_);
    }
    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

}  // namespace core_test
