#include "baselib/bl_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "baselib/bl_memory.h"
#include "tests/support/log_capture.h"

namespace fs = std::filesystem;
using namespace vorlane::baselib;

namespace {

class FileTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FreeBL();  // whatever an earlier test left behind
        ASSERT_EQ(InitBL(), 0);
        dir_ = fs::path(::testing::TempDir()) /
               ("bl_file_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        FreeBL();
        fs::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes) {
        ASSERT_EQ(FILE_Save(Path(name).c_str(), bytes.data(), uint32_t(bytes.size())),
                  int32_t(bytes.size()));
    }
    std::string Read(const std::string& name) {
        uint32_t length = 0;
        void* data = FILE_Load(Path(name).c_str(), nullptr, &length);
        if (!data)
            return "<missing>";
        std::string text(static_cast<char*>(data), length);
        BL_OrgFreeMem(data);
        return text;
    }

    vorlane::testing::LogCapture log_;
    fs::path dir_;
};

TEST_F(FileTableTest, InitTwiceAndFreeWithoutInitFail) {
    EXPECT_EQ(InitBL(), -1);
    EXPECT_TRUE(log_.Contains("BASELIB IO:InitBL : SYSTEM ALREADY INITIALIZED !"));
    EXPECT_EQ(FreeBL(), 0);
    EXPECT_EQ(FreeBL(), -1);
    EXPECT_EQ(BL_OpenFile(Path("a").c_str(), kFileModeTruncate), kNoFileHandle);
    EXPECT_TRUE(log_.Contains("SYSTEM NOT INITIALIZED"));
    ASSERT_EQ(InitBL(), 0);
}

TEST_F(FileTableTest, FiftyHandlesThenRefusedAndLowestFreeReused) {
    Write("f", "x");
    std::vector<uint16_t> handles;
    for (int i = 0; i < kMaxOpenFiles; ++i) {
        handles.push_back(BL_OpenFile(Path("f").c_str(), kFileModeRead));
        ASSERT_EQ(handles.back(), i);
    }
    EXPECT_EQ(OpenFileCount(), 50);
    EXPECT_EQ(BL_OpenFile(Path("f").c_str(), kFileModeRead), kNoFileHandle);
    EXPECT_TRUE(log_.Contains("NO FILE SYSTEM HANDLE FREE !"));
    EXPECT_EQ(BL_CloseFile(0), 0);
    EXPECT_EQ(BL_OpenFile(Path("f").c_str(), kFileModeRead), 0);
    // FreeBL closes whatever is left.
    EXPECT_EQ(FreeBL(), 0);
    EXPECT_EQ(OpenFileCount(), 0);
    ASSERT_EQ(InitBL(), 0);
}

TEST_F(FileTableTest, BadModesAndHandlesAreRefused) {
    EXPECT_EQ(BL_OpenFile(Path("new").c_str(), 5), kNoFileHandle);
    EXPECT_TRUE(log_.Contains("NO VALID FILE ACCESS MODE !"));
    EXPECT_FALSE(fs::exists(dir_ / "new"));  // the disk was not touched
    EXPECT_EQ(BL_CloseFile(50), -1);
    EXPECT_TRUE(log_.Contains("BASELIB IO:CloseFile: NO VALID HANDLE, HANDLE: 50 !"));
    EXPECT_EQ(BL_CloseFile(3), -1);
    EXPECT_TRUE(log_.Contains("FILE NOT OPEN ! HANDLE: 3, STATUS: 0"));
    char byte;
    EXPECT_EQ(BL_ReadFile(7, &byte, 1), -1);
    EXPECT_EQ(BL_WriteFile(7, &byte, 1), -1);
    EXPECT_EQ(BL_SeekFile(7, kSeekStart, 0), -1);
    EXPECT_EQ(BL_SeekEnd(7), -1);
    EXPECT_EQ(BL_OpenFile(nullptr, kFileModeRead), kNoFileHandle);
}

TEST_F(FileTableTest, ModesCreateTruncateAndAppendAsDocumented) {
    // Modes 1 and 3 need an existing file.
    EXPECT_EQ(BL_OpenFile(Path("m").c_str(), kFileModeRead), kNoFileHandle);
    EXPECT_TRUE(log_.Contains("CANNOT OPEN FILE, DOSHANDLE"));
    EXPECT_EQ(BL_OpenFile(Path("m").c_str(), kFileModeReadWrite), kNoFileHandle);

    // Mode 2 creates but does not truncate: overwrites from the start.
    Write("m", "abcdef");
    uint16_t h = BL_OpenFile(Path("m").c_str(), kFileModeWrite);
    ASSERT_NE(h, kNoFileHandle);
    EXPECT_EQ(BL_WriteFile(h, "XY", 2), 0);
    char byte;
    EXPECT_EQ(BL_ReadFile(h, &byte, 1), -1);  // write only
    EXPECT_EQ(BL_CloseFile(h), 0);
    EXPECT_EQ(Read("m"), "XYcdef");

    // Mode 4 appends every write, even after a seek to the start.
    h = BL_OpenFile(Path("m").c_str(), kFileModeAppend);
    ASSERT_NE(h, kNoFileHandle);
    EXPECT_EQ(BL_SeekFile(h, kSeekStart, 0), 0);
    EXPECT_EQ(BL_WriteFile(h, "++", 2), 0);
    EXPECT_EQ(BL_CloseFile(h), 0);
    EXPECT_EQ(Read("m"), "XYcdef++");

    // Mode 8 truncates.
    h = BL_OpenFile(Path("m").c_str(), kFileModeTruncate);
    ASSERT_NE(h, kNoFileHandle);
    EXPECT_EQ(BL_SeekEnd(h), 0);
    EXPECT_EQ(BL_CloseFile(h), 0);
    EXPECT_EQ(BL_LengthFile(Path("m").c_str()), 0);

    // Mode 4 creates a missing file.
    h = BL_OpenFile(Path("created").c_str(), kFileModeAppend);
    EXPECT_NE(h, kNoFileHandle);
    EXPECT_EQ(BL_CloseFile(h), 0);
    EXPECT_TRUE(fs::exists(dir_ / "created"));
}

TEST_F(FileTableTest, ReadSeekAndExactReads) {
    Write("r", "0123456789");
    const uint16_t h = BL_OpenFile(Path("r").c_str(), kFileModeReadWrite);
    ASSERT_NE(h, kNoFileHandle);
    char buffer[8] = {};
    EXPECT_EQ(BL_SeekFile(h, kSeekStart, 3), 0);
    EXPECT_EQ(BL_ReadFile(h, buffer, 2), 0);
    EXPECT_EQ(std::string(buffer, 2), "34");
    EXPECT_EQ(BL_SeekFile(h, kSeekCurrent, 2), 0);
    EXPECT_EQ(BL_ReadFile(h, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '7');
    EXPECT_EQ(BL_SeekFile(h, kSeekEnd, -1), 0);
    EXPECT_EQ(BL_ReadFile(h, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '9');
    // Asking for more than is left fails: reads are all or nothing.
    EXPECT_EQ(BL_SeekFile(h, kSeekStart, 8), 0);
    EXPECT_EQ(BL_ReadFile(h, buffer, 4), -1);
    EXPECT_TRUE(log_.Contains("CANNOT READ FILE !"));
    EXPECT_EQ(BL_SeekFile(h, 4, 0), -1);
    EXPECT_EQ(BL_SeekFile(h, kSeekStart, -5), -1);
    EXPECT_EQ(BL_SeekEnd(h), 10);
    EXPECT_EQ(BL_CloseFile(h), 0);
    EXPECT_EQ(BL_CloseFile(h), -1);
}

TEST_F(FileTableTest, BackslashesAreDirectorySeparators) {
    fs::create_directories(dir_ / "sub");
    const std::string windows_name = dir_.string() + "\\sub\\file.cfg";
    ASSERT_EQ(FILE_Save(windows_name.c_str(), "abc", 3), 3);
    EXPECT_TRUE(fs::exists(dir_ / "sub" / "file.cfg"));
    EXPECT_EQ(BL_FileExists(windows_name.c_str()), 1);
    EXPECT_EQ(BL_LengthFile(windows_name.c_str()), 3);
    EXPECT_EQ(BL_DeleteFile(windows_name.c_str()), 1);
    EXPECT_EQ(BL_FileExists(windows_name.c_str()), 0);
    EXPECT_EQ(BL_DeleteFile(windows_name.c_str()), 0);
    EXPECT_EQ(NativePath("data\\font\\font00.bcf"), "data/font/font00.bcf");
}

TEST_F(FileTableTest, LengthOfMissingFilesAndDirectoriesIsMinusOne) {
    EXPECT_EQ(BL_LengthFile(Path("none").c_str()), -1);
    EXPECT_TRUE(log_.Contains("BASELIB IO:LengthFile : CANNOT OPEN FILE !"));
    // A directory opens read-only but has no length worth loading.
    EXPECT_EQ(BL_LengthFile(dir_.string().c_str()), -1);
    EXPECT_EQ(FILE_LoadAlloc(dir_.string().c_str()), nullptr);
    EXPECT_EQ(OpenFileCount(), 0);
}

TEST_F(FileTableTest, WholeFileLoadAndSave) {
    std::string bytes(70000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
    Write("big", bytes);
    EXPECT_EQ(Read("big"), bytes);

    // An empty file gives a valid block and length 0.
    Write("empty", "");
    uint32_t length = 99;
    void* data = FILE_Load(Path("empty").c_str(), nullptr, &length);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(length, 0u);
    BL_OrgFreeMem(data);

    // Saving again truncates the old contents.
    Write("big", "short");
    EXPECT_EQ(Read("big"), "short");

    EXPECT_EQ(FILE_Load(Path("missing").c_str(), nullptr, &length), nullptr);
    EXPECT_TRUE(log_.Contains("FILE_Load: LengthFile failed:"));
    EXPECT_EQ(FILE_Save(Path("no/such/dir").c_str(), "x", 1), -1);
    EXPECT_TRUE(log_.Contains("FILE_Save: BL_OpenFile failed:"));
    EXPECT_EQ(OpenFileCount(), 0);  // nothing left open on any path
}

TEST_F(FileTableTest, LoadIntoCallerBufferChecksItsCapacity) {
    Write("f", "hello");
    char buffer[8] = {};
    uint32_t length = 0;
    EXPECT_EQ(FILE_Load(Path("f").c_str(), buffer, &length, sizeof buffer), buffer);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    char small[4] = {'-', '-', '-', '-'};
    EXPECT_EQ(FILE_Load(Path("f").c_str(), small, &length, sizeof small), nullptr);
    EXPECT_EQ(std::string(small, 4), "----");
    EXPECT_EQ(OpenFileCount(), 0);
}

TEST_F(FileTableTest, ThreadsOpeningAtOnceGetTheirOwnEntries) {
    // Each thread writes its own file through its own handle; a shared entry
    // would mix the contents or lose a descriptor.
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([this, t, &failures] {
            const std::string name = Path("t" + std::to_string(t));
            for (int round = 0; round < 200; ++round) {
                const uint16_t h = BL_OpenFile(name.c_str(), kFileModeTruncate);
                if (h == kNoFileHandle) {
                    ++failures[t];
                    continue;
                }
                const std::string text(size_t(t + 1), char('a' + t));
                if (BL_WriteFile(h, text.data(), uint32_t(text.size())) != 0)
                    ++failures[t];
                if (BL_CloseFile(h) != 0)
                    ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) {
        EXPECT_EQ(failures[t], 0);
        EXPECT_EQ(Read("t" + std::to_string(t)), std::string(size_t(t + 1), char('a' + t)));
    }
    EXPECT_EQ(OpenFileCount(), 0);
}

TEST(MakePath, JoinsWithOneSlash) {
    char buffer[64] = "data";
    EXPECT_EQ(BL_MakePath(buffer, sizeof buffer, "font"), 0);
    EXPECT_STREQ(buffer, "data/font");
    std::strcpy(buffer, "data/");
    BL_MakePath(buffer, sizeof buffer, "x.cfg");
    EXPECT_STREQ(buffer, "data/x.cfg");
    std::strcpy(buffer, "");
    BL_MakePath(buffer, sizeof buffer, "x");
    EXPECT_STREQ(buffer, "/x");
}

TEST(MakePath, RefusesWhatDoesNotFit) {
    char buffer[10] = "data";
    EXPECT_EQ(BL_MakePath(buffer, sizeof buffer, "abcd"), 0);  // "data/abcd" + 0 = 10
    EXPECT_STREQ(buffer, "data/abcd");
    char tight[9] = "data";
    EXPECT_EQ(BL_MakePath(tight, sizeof tight, "abcd"), -1);
    EXPECT_STREQ(tight, "data");
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(BL_MakePath(unterminated, sizeof unterminated, ""), -1);
    EXPECT_EQ(BL_MakePath(nullptr, 10, "x"), -1);
}

}  // namespace
