#include "baselib/bl_memory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core_test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> g_lines;
void CollectLine(const char* text) {
    g_lines.emplace_back(text);
}

class MemoryTest : public core_test::BaseLibTest {
  protected:
    void SetUp() override {
        BaseLibTest::SetUp();
        BL_FreeAllMem();
        g_lines.clear();
        log_ = LOGSYS_Create(kLogNoPrefix, kLogToCallback, nullptr);
        LOGSYS_SetCallback(log_, CollectLine);
        LOGSYS_SetDefault(log_);
    }
    void TearDown() override {
        BL_FreeAllMem();
        if (!(BL_GetMemFlags() & kMemInitialised))
            BL_InitMemSystem(kMemGuarded);
        LOGSYS_Destroy(log_);
        BaseLibTest::TearDown();
    }
    bool Logged(const std::string& part) const {
        for (const std::string& line : g_lines)
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    LOGSYS* log_ = nullptr;
};

TEST_F(MemoryTest, PlainAllocationTakesAtLeastOneByte) {
    for (int32_t size : {0, -5, 1}) {
        auto* block = static_cast<uint8_t*>(BL_OrgGetMem(size));
        ASSERT_NE(block, nullptr);
        block[0] = 0x5A;  // a sanitizer build catches a block that is too small
        EXPECT_EQ(BL_OrgFreeMem(block), 0);
    }
    EXPECT_EQ(BL_OrgFreeMem(nullptr), 0);
}

TEST_F(MemoryTest, StartAndStopStates) {
    uint32_t flags = BL_GetMemFlags();
    EXPECT_EQ(BL_InitMemSystem(0), 0);
    EXPECT_TRUE(Logged("BASELIB MEM:BL_InitMemSystem : MEMORY SYSTEM ALREADY INITIALIZED !"));
    EXPECT_EQ(BL_GetMemFlags(), flags);

    EXPECT_EQ(BL_ExitMemSystem(), 0);
    EXPECT_EQ(BL_ExitMemSystem(), -1);
    EXPECT_TRUE(Logged("BASELIB MEM:BL_ExitMemSystem : MEMORY SYSTEM NOT INITIALIZED !"));
    void* block = BL_OrgGetMem(8);  // still served, with a warning
    EXPECT_NE(block, nullptr);
    EXPECT_TRUE(Logged("BASELIB MEM:BL_OrgGetMem : MEMORY SYSTEM NOT INITIALIZED !"));
    BL_OrgFreeMem(block);
    EXPECT_TRUE(Logged("BASELIB MEM:BL_OrgFreeMem : MEMORY SYSTEM NOT INITIALIZED !"));

    // Keep mode: a later start keeps the flags it finds.
    EXPECT_EQ(BL_InitMemSystem(kMemKeepMode | kMemGuarded), 0);
    BL_ExitMemSystem();
    EXPECT_EQ(BL_InitMemSystem(0), 0);
    EXPECT_EQ(BL_GetMemFlags(), kMemKeepMode | kMemGuarded | kMemInitialised);
    BL_ExitMemSystem();
}

TEST_F(MemoryTest, RestartWithTrackedBlocksWarnsDirty) {
    void* tracked = BL_DebugGetMem(4, "dirty.cpp", 1);
    BL_ExitMemSystem();
    g_lines.clear();
    EXPECT_EQ(BL_InitMemSystem(kMemGuarded), 0);
    EXPECT_TRUE(Logged("DIRTY MEMORY SYSTEM REINITIALIZED !"));
    BL_DebugFreeMem(tracked);
}

TEST_F(MemoryTest, ByteHelpersAndJoin) {
    uint8_t buffer[9] = {};
    BL_MemSet(buffer, 0xAB, 7);
    EXPECT_EQ(buffer[6], 0xAB);
    EXPECT_EQ(buffer[7], 0);
    BL_MemSet(buffer, 0, -1);
    BL_MemCopy("xyz", buffer, 0);
    EXPECT_EQ(buffer[0], 0xAB);
    BL_MemCopy("xyz", buffer, 3);
    EXPECT_EQ(std::memcmp(buffer, "xyz", 3), 0);

    auto* first = static_cast<char*>(BL_OrgGetMem(3));
    std::memcpy(first, "abc", 3);
    auto* second = static_cast<char*>(BL_OrgGetMem(0));
    auto* joined = static_cast<char*>(BL_JoinMem(first, 3, second, 0, 0));
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::memcmp(joined, "abc", 3), 0);
    BL_OrgFreeMem(joined);

    auto* tail = static_cast<char*>(BL_OrgGetMem(2));
    std::memcpy(tail, "de", 2);
    joined = static_cast<char*>(BL_JoinMem(first, 3, tail, 2, 1));  // releases both inputs
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::memcmp(joined, "abcde", 5), 0);
    BL_OrgFreeMem(joined);
    BL_OrgFreeMem(second);

    // Sizes that cannot be right are refused; nothing is released.
    char local[4] = {};
    EXPECT_EQ(BL_JoinMem(local, -1, local, 2, 1), nullptr);
    EXPECT_EQ(BL_JoinMem(local, INT32_MAX, local, 2, 1), nullptr);
    EXPECT_EQ(BL_JoinMem(nullptr, 3, local, 2, 0), nullptr);
}

// Builds a tracked record by hand: 8 words, guards and `size` data bytes.
std::vector<uint8_t> Record(uint32_t flags, uint32_t size, const uint32_t words[8]) {
    std::vector<uint8_t> bytes(32 + 32 + size, 0xCC);
    for (int w = 0; w < 8; ++w) {
        uint32_t value = w == 3 ? flags : (w == 4 ? size : words[w]);
        for (int i = 0; i < 4; ++i) bytes[w * 4 + i] = uint8_t(value >> (8 * i));
    }
    return bytes;
}

void SetChecksum(std::vector<uint8_t>& record, uint32_t value) {
    for (int i = 0; i < 4; ++i) record[20 + i] = uint8_t(value >> (8 * i));
}

TEST_F(MemoryTest, RecordCheckFindsHeaderAndGuardDamage) {
    EXPECT_EQ(BL_CheckMemBlock(nullptr), -1);
    // XOR of words 1..5, 7, 8 is 0 here: valid only with 0xFFFFFFFF stored.
    const uint32_t zero_xor[8] = {0x10 ^ 4, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> record = Record(0x10, 4, zero_xor);
    SetChecksum(record, 0);
    EXPECT_EQ(BL_CheckMemBlock(record.data()), -2);
    SetChecksum(record, 0xFFFFFFFF);
    EXPECT_EQ(BL_CheckMemBlock(record.data()), 0);

    const uint32_t words[8] = {1, 2, 3, 0, 0, 0, 7, 8};
    record = Record(0x10, 5, words);
    SetChecksum(record, 1 ^ 2 ^ 3 ^ 0x10 ^ 5 ^ 7 ^ 8);
    EXPECT_EQ(BL_CheckMemBlock(record.data()), 0);
    record[32 + 16 + 5] = 0;  // just behind the data
    EXPECT_EQ(BL_CheckMemBlock(record.data()), -5);
    record[32 + 15] = 0;  // just before the data
    // The guards are compared word pair by word pair from their first byte, so
    // the back guard's first word is looked at before the front guard's last.
    EXPECT_EQ(BL_CheckMemBlock(record.data()), -5);
    record[32 + 16 + 5] = 0xCC;
    EXPECT_EQ(BL_CheckMemBlock(record.data()), -4);
    record[32 + 16 + 5 + 12] = 0;  // both guards damaged in the same word pair
    EXPECT_EQ(BL_CheckMemBlock(record.data()), -3);
    record[32 + 16 + 5 + 12] = 0xCC;
    record[32 + 15] = 0xCC;
    record[24] ^= 1;  // the file word changed
    EXPECT_EQ(BL_CheckMemBlock(record.data()), -2);

    // Without the guard flag the guards are not looked at.
    const uint32_t plain_words[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    record = Record(0, 2, plain_words);
    SetChecksum(record, 1 ^ 2);
    record[32] = 0;
    EXPECT_EQ(BL_CheckMemBlock(record.data()), 0);
}

TEST_F(MemoryTest, StatisticsAndLeakReport) {
    uint32_t before[kMemStatWords];
    ASSERT_EQ(BL_GetMemStatistics(before), 0);
    EXPECT_EQ(BL_GetMemStatistics(nullptr), -1);

    g_lines.clear();
    BL_DumpMem(CollectLine);
    EXPECT_TRUE(g_lines.empty());  // nothing tracked, nothing reported

    auto* a = static_cast<char*>(BL_DebugGetMem(5, "alpha.cpp", 10));
    std::memcpy(a, "Hello", 5);
    void* hidden = BL_DebugGetMem(100, "beta.cpp", 0);  // line 0: never reported
    auto* c = static_cast<uint8_t*>(BL_DebugGetMem(70, "gamma.cpp", 30));
    std::memset(c, 'z', 70);
    EXPECT_EQ(BL_CheckMemBlock(BL_RecordOf(a)), 0);

    uint32_t after[kMemStatWords];
    BL_GetMemStatistics(after);
    EXPECT_EQ(after[kMemStatGetMem] - before[kMemStatGetMem], 3u);
    EXPECT_GE(after[kMemStatHighest], 175u);

    g_lines.clear();
    BL_DumpMem(CollectLine);
    char expected[128];
    std::snprintf(expected, sizeof(expected), "ADR: 0x%08" PRIXPTR " LEN: %9ld FILE: %s(%u)",
                  reinterpret_cast<uintptr_t>(a), 5L, "alpha.cpp", 10u);
    ASSERT_EQ(g_lines.size(), 1u + 1u + 1u + 4u);  // a + 1 dump line, c + 64 bytes in 4 lines
    EXPECT_EQ(g_lines[0], expected);
    EXPECT_THAT(g_lines[1], HasSubstr(" 48 65 6C 6C 6F Hello"));
    EXPECT_THAT(g_lines[2], HasSubstr("LEN:        70 FILE: gamma.cpp(30)"));

    // A damaged guard stops the report at that block.
    BL_DebugFreeMem(a);
    c[70] = 0;
    g_lines.clear();
    BL_DumpMem(CollectLine);
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], "BASELIB MEM : CORRUPTED MEMORY BLOCK HEADER (ERROR: -5) !");
    c[70] = 0xCC;

    BL_DebugFreeMem(hidden);
    BL_DebugFreeMem(c);
    BL_GetMemStatistics(after);
    EXPECT_EQ(after[kMemStatFreeMem] - before[kMemStatFreeMem], 3u);
    EXPECT_EQ(after[kMemStatCurrent], before[kMemStatCurrent]);
    g_lines.clear();
    BL_DumpMem(CollectLine);
    EXPECT_TRUE(g_lines.empty());
    EXPECT_EQ(BL_DebugFreeMem(c), -1);  // already released: refused, not freed twice
}

TEST_F(MemoryTest, ParallelAllocationsAreSerialised) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                void* plain = BL_OrgGetMem(i + 1);
                void* tracked = BL_DebugGetMem(i + 1, "parallel.cpp", 1);
                BL_DebugFreeMem(tracked);
                BL_OrgFreeMem(plain);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    g_lines.clear();
    BL_DumpMem(CollectLine);
    EXPECT_TRUE(g_lines.empty());
}

// Stopping the memory system while other threads allocate: they may have
// found it started and be on their way to its mutex, or be waiting for it.
TEST_F(MemoryTest, StopAndRestartWhileOtherThreadsAllocate) {
    LOGSYS* quiet = LOGSYS_Create(kLogNoPrefix, kLogToCallback, nullptr);
    LOGSYS_SetCallback(quiet, [](const char*) {});
    LOGSYS_SetDefault(quiet);  // each allocation while stopped warns
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&stop] {
            while (!stop.load()) BL_OrgFreeMem(BL_OrgGetMem(32));
        });
    }
    for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(BL_ExitMemSystem(), 0);
        EXPECT_EQ(BL_InitMemSystem(kMemGuarded), 0);
    }
    stop.store(true);
    for (auto& thread : threads) thread.join();
    LOGSYS_SetDefault(log_);
    LOGSYS_Destroy(quiet);
    EXPECT_TRUE(BL_GetMemFlags() & kMemInitialised);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A refused allocation reports, returns null and leaves the memory mutex free
// for other threads.
TEST_F(MemoryTest, RefusedAllocationFailsCleanly) {
    auto child = [this] {
        rlimit limit{256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &limit);
        if (BL_OrgGetMem(INT32_MAX) != nullptr)
            std::_Exit(1);
        if (!Logged("CANNOT ALLOC DOS MEMORY (SIZE: 2147483647) !"))
            std::_Exit(2);
        std::thread other([] { BL_OrgFreeMem(BL_OrgGetMem(16)); });
        other.join();
        std::_Exit(0);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
