// HASH_STR, PTRARY, DARRAY and mstring.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "baselib/bl_memory.h"
#include "baselib/darray.h"
#include "baselib/hash_str.h"
#include "baselib/mstring.h"
#include "baselib/ptrary.h"
#include "tests/support/log_capture.h"

namespace {

int* Ptr(intptr_t n) {
    return reinterpret_cast<int*>(n);
}

// [HASH_STR]

TEST(HashStr, DuplicateKeysAreFoundInInsertionOrder) {
    HASH_STR map(1024);
    ASSERT_EQ(map.valid, 1);
    EXPECT_EQ(map.Insert("lobby.script.menu", Ptr(1)), 1);
    EXPECT_EQ(map.Insert("lobby.script.menu", Ptr(2)), 1);
    EXPECT_EQ(map.Get("lobby.script.menu"), Ptr(1));
    EXPECT_EQ(map.Remove("lobby.script.menu"), Ptr(1));
    EXPECT_EQ(map.Get("lobby.script.menu"), Ptr(2));
    EXPECT_EQ(map.Remove("lobby.script.menu"), Ptr(2));
    EXPECT_EQ(map.Get("lobby.script.menu"), nullptr);
    EXPECT_EQ(map.Remove("lobby.script.menu"), nullptr);
}

TEST(HashStr, KeysAreCopiedAndCaseSensitive) {
    HASH_STR map(7);
    char key[16] = "Alpha";
    map.Insert(key, Ptr(5));
    std::strcpy(key, "Beta");  // the map holds its own copy
    EXPECT_EQ(map.Get("Alpha"), Ptr(5));
    EXPECT_EQ(map.Get("alpha"), nullptr);
    EXPECT_EQ(map.Get("Beta"), nullptr);
}

TEST(HashStr, ForEachVisitsEveryItem) {
    HASH_STR map(3);
    for (int i = 0; i < 20; ++i) map.Insert(("k" + std::to_string(i)).c_str(), Ptr(i + 1));
    std::map<std::string, intptr_t> seen;
    map.ForEach(
        [](const char* key, void* value, void* user) {
            (*static_cast<std::map<std::string, intptr_t>*>(user))[key] =
                reinterpret_cast<intptr_t>(value);
        },
        &seen);
    ASSERT_EQ(seen.size(), 20u);
    EXPECT_EQ(seen["k7"], 8);
}

TEST(HashStr, NullArgumentsAreReported) {
    vorlane::testing::LogCapture log;
    HASH_STR map(5);
    EXPECT_EQ(map.Insert(nullptr, Ptr(1)), 0);
    EXPECT_TRUE(log.Contains("HASH_STR::Insert: _key == NULL"));
    EXPECT_EQ(map.Get(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("HASH_STR::Get: _key == NULL"));
    map.ForEach(nullptr, nullptr);
    EXPECT_TRUE(log.Contains("HASH_STR::ForEach: _func == NULL"));
    HASH_STR broken(0);
    EXPECT_EQ(broken.valid, 0);
    EXPECT_TRUE(log.Contains("HASH_STR::HASH_STR: can't create hashtable"));
    EXPECT_EQ(broken.Insert("a", Ptr(1)), 0);
    EXPECT_EQ(broken.Get("a"), nullptr);
    map.Destroy();
    EXPECT_EQ(map.valid, 0);
    EXPECT_EQ(map.Get("a"), nullptr);
}

// [PTRARY]

TEST(Ptrary, AddFillsLowestFreeSlot) {
    PTRARY array;
    EXPECT_EQ(array.Add(Ptr(1)), -1);  // not created yet
    ASSERT_EQ(array.Create(4, 0), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(array.Add(Ptr(i + 1)), i);
    EXPECT_EQ(array.Add(Ptr(9)), -1);  // full
    EXPECT_EQ(array.RemoveAt(2), 0);
    EXPECT_EQ(array.Add(Ptr(9)), 2);
    EXPECT_EQ(array.CountUsed(), 4);
    EXPECT_EQ(array.IndexOf(Ptr(9)), 2);
    EXPECT_EQ(array.Remove(Ptr(1)), 0);
    EXPECT_EQ(array.Remove(Ptr(1)), -1);
    EXPECT_EQ(array.GetAt(0), nullptr);
}

TEST(Ptrary, SetAtAndBounds) {
    PTRARY array;
    ASSERT_EQ(array.Create(3, 0), 0);
    EXPECT_EQ(array.SetAt(1, Ptr(5)), 0);
    EXPECT_EQ(array.SetAt(1, Ptr(6)), -1);  // taken
    EXPECT_EQ(array.SetAt(3, Ptr(6)), -1);
    EXPECT_EQ(array.SetAt(-1, Ptr(6)), -1);
    EXPECT_EQ(array.GetAt(1), Ptr(5));
    EXPECT_EQ(array.GetAt(3), nullptr);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_EQ(array.RemoveAt(3), -1);
    EXPECT_EQ(array.Create(-1, 0), -1);
    EXPECT_EQ(array.Create(PTRARY::kMaxCapacity + 1, 0), -1);
}

TEST(Ptrary, CursorSkipsEmptySlots) {
    PTRARY array;
    ASSERT_EQ(array.Create(6, 0), 0);
    array.SetAt(1, Ptr(1));
    array.SetAt(4, Ptr(4));
    array.SetAt(5, Ptr(5));
    EXPECT_EQ(array.First(), Ptr(1));
    array.SaveCursor();
    EXPECT_EQ(array.Next(), Ptr(4));
    array.RestoreCursor();
    EXPECT_EQ(array.Next(), Ptr(4));
    EXPECT_EQ(array.Next(), Ptr(5));
    EXPECT_EQ(array.Next(), nullptr);
    EXPECT_EQ(array.Next(), nullptr);
}

class CountingArray : public PTRARY {
  public:
    ~CountingArray() override { Clear(); }
    void ReleaseItem(void*) override { ++released; }
    int released = 0;
};

TEST(Ptrary, OwnedItemsAreReleasedOnRemoveAndClear) {
    CountingArray array;
    ASSERT_EQ(array.Create(4, PTRARY::kOwnsItems), 0);
    array.Add(Ptr(1));
    array.Add(Ptr(2));
    array.Add(Ptr(3));
    array.RemoveAt(0);
    EXPECT_EQ(array.released, 1);
    array.Clear();
    EXPECT_EQ(array.released, 3);
    EXPECT_EQ(array.flags(), PTRARY::kInitialised | PTRARY::kNoSlotStorage);
    EXPECT_EQ(array.capacity(), 0);
    EXPECT_EQ(array.Add(Ptr(1)), -1);

    CountingArray borrowed;  // without the ownership flag nothing is released
    ASSERT_EQ(borrowed.Create(2, 0), 0);
    borrowed.Add(Ptr(1));
    borrowed.Clear();
    EXPECT_EQ(borrowed.released, 0);
}

TEST(Ptrary, BlockIsOwnedAndItemsAreNot) {
    void* block = BL_OrgGetMem(64);
    auto* array = new PTRARY;
    ASSERT_EQ(array->CreateOnBlock(2, PTRARY::kOwnsItems | PTRARY::kOwnerReserved, block, 64), 0);
    EXPECT_EQ(array->flags() & (PTRARY::kOwnsItems | PTRARY::kOwnerReserved), 0u);
    EXPECT_NE(array->flags() & PTRARY::kOwnsBlock, 0u);
    EXPECT_EQ(array->block(), block);
    EXPECT_EQ(array->block_size(), 64);
    // Slots pointing into the block must not be released one by one.
    array->Add(static_cast<char*>(block) + 8);
    array->Release();  // frees the block once (ASan would see a double or bad free)

    PTRARY owned;
    ASSERT_EQ(owned.Create(2, PTRARY::kOwnsItems), 0);
    owned.Add(BL_OrgGetMem(16));  // released by the default item release
}

// [DARRAY]

TEST(Darray, SetGrowsToIndexPlusStep) {
    DARRAY array;
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.Get(0), nullptr);
    ASSERT_EQ(array.Set(250, Ptr(1)), 0);
    EXPECT_EQ(array.count, 350u);
    EXPECT_EQ(array.Get(250), Ptr(1));
    EXPECT_EQ(array.Get(349), nullptr);
    EXPECT_EQ(array.Get(350), nullptr);
    ASSERT_EQ(array.Set(10, Ptr(2)), 0);  // inside: no growth
    EXPECT_EQ(array.count, 350u);
    ASSERT_EQ(array.Set(350, Ptr(3)), 0);
    EXPECT_EQ(array.count, 450u);
    EXPECT_EQ(array.Get(250), Ptr(1));  // kept across growth
    EXPECT_EQ(array.Get(10), Ptr(2));
    ASSERT_EQ(array.IncreaseArray(5), 0);
    EXPECT_EQ(array.count, 455u);
    array.Free();
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.Get(0), nullptr);

    DARRAY stepped(128);
    ASSERT_EQ(stepped.Set(0, Ptr(1)), 0);
    EXPECT_EQ(stepped.count, 128u);
}

TEST(Darray, HugeIndexFailsAndKeepsTheContents) {
    vorlane::testing::LogCapture log;
    DARRAY array;
    ASSERT_EQ(array.Set(3, Ptr(7)), 0);
    EXPECT_EQ(array.Set(0xFFFFFFF0u, Ptr(1)), -1);  // would wrap in 32 bits
    EXPECT_TRUE(log.Contains("DARRAY:IncreaseArray, failed to alloc"));
    EXPECT_EQ(array.Set(DARRAY::kMaxCount, Ptr(1)), -1);
    EXPECT_EQ(array.IncreaseArray(0xFFFFFFFFu), -1);
    EXPECT_EQ(array.count, 103u);
    EXPECT_EQ(array.Get(3), Ptr(7));
}

// [mstring]

TEST(Mstring, MaxSizeCutsText) {
    mstring text(8);
    EXPECT_EQ(text.Assign("abcdefghijk"), 0);
    EXPECT_STREQ(text.c_str(), "abcdefg");
    EXPECT_EQ(text.capacity, 8);
    EXPECT_EQ(text.Append("xyz"), 0);
    EXPECT_STREQ(text.c_str(), "abcdefg");
    EXPECT_EQ(text.AppendChar('!'), -1);
    EXPECT_STREQ(text.c_str(), "abcdefg");
    text.Assign("ab");
    EXPECT_EQ(text.Append("cdefghij"), 0);
    EXPECT_STREQ(text.c_str(), "abcdefg");
}

TEST(Mstring, AssignAppendAndLengths) {
    mstring text;
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.Length(), 0u);
    text.Assign("hello world", 5);
    EXPECT_STREQ(text.c_str(), "hello");
    EXPECT_EQ(text.capacity, 6);  // exactly the needed size
    text.Append(", there", 2);
    EXPECT_STREQ(text.c_str(), "hello, ");
    EXPECT_EQ(text.capacity, 8);
    text.AppendChar('x');
    EXPECT_STREQ(text.c_str(), "hello, x");
    EXPECT_EQ(text.capacity, 9);
    text.Assign("hi");  // fits: buffer reused
    EXPECT_EQ(text.capacity, 9);
    EXPECT_STREQ(text.c_str(), "hi");
    text.Append(text.c_str());  // appending itself
    EXPECT_STREQ(text.c_str(), "hihi");
    text.Assign(text.c_str() + 2);
    EXPECT_STREQ(text.c_str(), "hi");
    text.ToUpper();
    EXPECT_STREQ(text.c_str(), "HI");
    text.Assign(nullptr);
    EXPECT_STREQ(text.c_str(), "");
}

TEST(Mstring, CopyOutFormatAndHelpers) {
    mstring text("abcdef");
    char out[4] = {'x', 'x', 'x', 'x'};
    text.CopyOut(out, sizeof out);
    EXPECT_STREQ(out, "abc");
    text.CopyOut(out, 0);  // nothing written, no crash
    EXPECT_STREQ(out, "abc");
    EXPECT_STREQ(mstring::FromInt(-42).c_str(), "-42");
    EXPECT_STREQ(mstring::Concat(mstring("ab"), mstring("cd")).c_str(), "abcd");
    text.Format("%s-%03d", "n", 7);
    EXPECT_STREQ(text.c_str(), "n-007");
    const std::string long_text(5000, 'z');
    text.Format("%s", long_text.c_str());
    EXPECT_EQ(text.Length(), mstring::kFormatBuffer - 1);
    mstring copy = text;
    EXPECT_EQ(copy.Length(), text.Length());
    mstring moved = std::move(copy);
    EXPECT_EQ(moved.Length(), text.Length());
    EXPECT_STREQ(copy.c_str(), "");
}

}  // namespace
