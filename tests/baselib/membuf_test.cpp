#include "baselib/membuf.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "baselib/bl_file.h"
#include "baselib/checksum.h"

namespace fs = std::filesystem;
using vorlane::baselib::DataSource;
using vorlane::baselib::MemoryBuffer;

namespace {

class StringSource : public DataSource {
  public:
    StringSource(std::string bytes, int64_t claimed)
        : bytes_(std::move(bytes)), claimed_(claimed) {}
    int64_t Size() override { return claimed_; }
    int Read(void* buffer, uint32_t count) override {
        if (count > bytes_.size())
            return -1;
        std::memcpy(buffer, bytes_.data(), count);
        return 0;
    }

  private:
    std::string bytes_;
    int64_t claimed_;
};

TEST(MemoryBuffer, AllocateFillCopyAndCrc) {
    MemoryBuffer buffer;
    EXPECT_FALSE(buffer.valid());
    ASSERT_EQ(buffer.Allocate(16), 0);
    EXPECT_TRUE(buffer.valid());
    EXPECT_EQ(buffer.size(), 16u);
    EXPECT_EQ(buffer.crc(), 0u);  // sixteen zero bytes
    buffer.Fill(0xAB);
    EXPECT_EQ(buffer.crc(), BL_Crc32(buffer.data(), 16));
    uint8_t out[32] = {};
    EXPECT_EQ(buffer.CopyOut(out, sizeof out), 16u);  // at most its size
    EXPECT_EQ(out[15], 0xAB);
    EXPECT_EQ(out[16], 0);
    EXPECT_EQ(buffer.CopyOut(out, 4), 4u);
    buffer.Release();
    EXPECT_FALSE(buffer.valid());
    EXPECT_EQ(buffer.CopyOut(out, 4), 0u);
}

TEST(MemoryBuffer, SaveAndLoadFile) {
    FreeBL();
    ASSERT_EQ(InitBL(), 0);
    const std::string name =
        (fs::path(::testing::TempDir()) / ("membuf_" + std::to_string(getpid()))).string();
    MemoryBuffer out;
    ASSERT_EQ(out.Allocate(5), 0);
    std::memcpy(out.data(), "hello", 5);
    out.UpdateCrc();
    ASSERT_EQ(out.Save(name.c_str()), 0);
    MemoryBuffer in;
    ASSERT_EQ(in.LoadFile(name.c_str()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.data()), in.size()), "hello");
    EXPECT_EQ(in.crc(), out.crc());
    EXPECT_EQ(in.LoadFile((name + ".missing").c_str()), -1);
    EXPECT_FALSE(in.valid());
    fs::remove(name);
    FreeBL();
}

TEST(MemoryBuffer, DataSourceSizesAreCheckedAndFailedReadsLeaveItEmpty) {
    MemoryBuffer buffer;
    StringSource good("abc", 3);
    ASSERT_EQ(buffer.LoadFrom(good), 0);
    EXPECT_EQ(buffer.size(), 3u);
    StringSource lying("abc", 1000);  // claims more than it can deliver
    EXPECT_EQ(buffer.LoadFrom(lying), -1);
    EXPECT_FALSE(buffer.valid());
    StringSource huge("", int64_t(1) << 40);
    EXPECT_EQ(buffer.LoadFrom(huge), -1);
    StringSource unknown("", -1);
    EXPECT_EQ(buffer.LoadFrom(unknown), -1);
}

TEST(MemoryBuffer, AttachedBytesAreNotFreed) {
    uint8_t bytes[4] = {1, 2, 3, 4};
    {
        MemoryBuffer buffer;
        ASSERT_EQ(buffer.Attach(bytes, sizeof bytes), 0);
        EXPECT_EQ(buffer.flags(), MemoryBuffer::kValid | MemoryBuffer::kNotOwned);
        EXPECT_EQ(buffer.data(), bytes);
        EXPECT_EQ(buffer.crc(), BL_Crc32(bytes, 4));
    }  // released without freeing the stack bytes
    EXPECT_EQ(bytes[3], 4);
    MemoryBuffer buffer;
    EXPECT_EQ(buffer.Attach(nullptr, 4), -1);
}

}  // namespace
