#include "baselib/scfg/scfg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "baselib/scfg/getline.h"
#include "baselib/scfg/hashtom.h"
#include "baselib/scfg/pset.h"
#include "tests/support/log_capture.h"

namespace fs = std::filesystem;

namespace {

// [pset]

int* Ptr(intptr_t n) {
    return reinterpret_cast<int*>(n);
}

TEST(Pset, GrowsFrom32To64AndKeepsOrder) {
    pset* ps = pset::Create();
    ASSERT_NE(ps, nullptr);
    EXPECT_EQ(ps->size, 0);
    for (intptr_t i = 1; i <= 32; ++i) ASSERT_EQ(ps->Append(Ptr(i)), 0);
    EXPECT_EQ(ps->size, 32);
    ASSERT_EQ(ps->Append(Ptr(33)), 0);
    EXPECT_EQ(ps->size, 64);
    EXPECT_EQ(ps->used, 33);
    EXPECT_EQ(ps->pointers[33], nullptr);  // new slots are zeroed
    for (intptr_t i = 0; i < 33; ++i) EXPECT_EQ(ps->Get(int32_t(i)), Ptr(i + 1));
    pset::Destroy(ps);
}

TEST(Pset, InsertAndRemoveShiftTheTail) {
    pset* ps = pset::Create();
    ps->Append(Ptr(1));
    ps->Append(Ptr(3));
    ASSERT_EQ(ps->Insert(Ptr(2), 1), 0);
    ASSERT_EQ(ps->Insert(Ptr(4), ps->used), 0);  // at `used` = append
    ASSERT_EQ(ps->Insert(Ptr(0), 0), 0);
    for (intptr_t i = 0; i < 5; ++i) EXPECT_EQ(ps->Get(int32_t(i)), Ptr(i));
    EXPECT_EQ(ps->RemoveAt(1), Ptr(1));
    EXPECT_EQ(ps->Remove(Ptr(3)), Ptr(3));
    EXPECT_EQ(ps->Remove(Ptr(3)), nullptr);
    EXPECT_EQ(ps->used, 3);
    EXPECT_EQ(ps->pointers[3], nullptr);
    EXPECT_EQ(ps->IndexOf(Ptr(4)), 2);
    EXPECT_EQ(ps->IndexOf(Ptr(9)), -1);
    EXPECT_EQ(ps->Set(Ptr(7), 0), 0);
    EXPECT_EQ(ps->Get(0), Ptr(7));
    pset::Destroy(ps);
}

TEST(Pset, BadIndexesAreReportedAndChangeNothing) {
    vorlane::testing::LogCapture log;
    pset* ps = pset::Create();
    ps->Append(Ptr(1));
    EXPECT_EQ(ps->Get(1), nullptr);
    EXPECT_TRUE(log.Contains("libtools ENSURE: `i >= 0 && i < ps->used', scfg/pset - line"));
    EXPECT_EQ(ps->Get(-1), nullptr);
    EXPECT_EQ(ps->Set(Ptr(2), 1), -1);
    EXPECT_EQ(ps->RemoveAt(5), nullptr);
    EXPECT_EQ(ps->Insert(Ptr(2), 2), -1);
    EXPECT_EQ(ps->Insert(Ptr(2), -1), -1);
    EXPECT_EQ(ps->used, 1);
    EXPECT_EQ(ps->Get(0), Ptr(1));
    pset::Destroy(ps);
}

int MatchInt(const void* item, const void* argument) {
    return *static_cast<const int*>(item) == *static_cast<const int*>(argument) ? 0 : 1;
}
int CompareInt(const void* a, const void* b) {
    return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

TEST(Pset, FindSortAndBisect) {
    int values[] = {5, 3, 9, 1, 7};
    pset* ps = pset::Create();
    for (int& v : values) ps->Append(&v);
    const int seven = 7, four = 4;
    EXPECT_EQ(ps->Find(MatchInt, &seven), 4);
    EXPECT_EQ(ps->Find(MatchInt, &four), -1);
    ps->Sort(CompareInt);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(*static_cast<int*>(ps->Get(i)), 2 * i + 1);
    EXPECT_EQ(ps->BSearch(CompareInt, &seven), 3);
    EXPECT_EQ(ps->BSearch(CompareInt, &four), -1);
    EXPECT_EQ(*static_cast<int*>(ps->RemoveMatch(MatchInt, &seven)), 7);
    EXPECT_EQ(ps->Count(), 4);
    pset::Destroy(ps);
}

int g_destroyed = 0;
void CountDestroyed(void*) {
    ++g_destroyed;
}

TEST(Pset, DestroyVisitsNonNullItemsAndSplitSkipsEmptyPieces) {
    pset* ps = pset::Create();
    ps->Append(Ptr(1));
    ps->Append(nullptr);
    ps->Append(Ptr(2));
    g_destroyed = 0;
    pset::Destroy(ps, CountDestroyed);
    EXPECT_EQ(g_destroyed, 2);

    pset* pieces = pset::Split(",,alpha,,beta,gamma,", ',');
    ASSERT_NE(pieces, nullptr);
    ASSERT_EQ(pieces->used, 3);
    EXPECT_STREQ(static_cast<char*>(pieces->Get(0)), "alpha");
    EXPECT_STREQ(static_cast<char*>(pieces->Get(1)), "beta");
    EXPECT_STREQ(static_cast<char*>(pieces->Get(2)), "gamma");
    pset::Destroy(pieces, std::free);
    pieces = pset::Split("", ',');
    EXPECT_EQ(pieces->used, 0);
    pset::Destroy(pieces, std::free);
}

// [hashtom]

TEST(StringHash, KnownValuesAndSignedBytes) {
    EXPECT_EQ(HashString(""), 0u);
    EXPECT_EQ(HashString("ab"), 97u * 33u + 98u);
    EXPECT_EQ(HashString("\x80"), uint32_t(-128));
    EXPECT_EQ(HashString("a\xff"), 97u * 33u - 1u);
}

struct Entry {
    const char* key;
    int value;
};
const void* EntryKey(const void* item) {
    return static_cast<const Entry*>(item)->key;
}

void Collect(hashtom*, void* item, void* argument) {
    static_cast<std::vector<int>*>(argument)->push_back(static_cast<Entry*>(item)->value);
}

TEST(Hashtom, OneBucketIsAListInInsertionOrder) {
    hashtom* table = hashtom::Create(1, CompareString, HashString, EntryKey);
    ASSERT_NE(table, nullptr);
    Entry a{"x", 1}, b{"y", 2}, c{"x", 3}, d{"z", 4};
    for (Entry* e : {&a, &b, &c, &d}) ASSERT_EQ(table->Insert(e), 0);
    std::vector<int> seen;
    table->ForEach(Collect, &seen);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(table->Find("x"), &a);  // first of the duplicates
    EXPECT_EQ(table->Remove("x"), &a);
    EXPECT_EQ(table->Find("x"), &c);
    EXPECT_EQ(table->Find("w"), nullptr);
    EXPECT_EQ(table->Remove("w"), nullptr);
    EXPECT_EQ(table->Count(), 3u);
    hashtom::Destroy(table);
}

TEST(Hashtom, ManyBucketsAndBadArguments) {
    EXPECT_EQ(hashtom::Create(0, CompareString, HashString, EntryKey), nullptr);
    EXPECT_EQ(hashtom::Create(7, nullptr, HashString, EntryKey), nullptr);
    EXPECT_EQ(hashtom::Create(0xFFFFFFFFu, CompareString, HashString, EntryKey), nullptr);
    hashtom* table = hashtom::Create(1013, CompareString, HashString, EntryKey);
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("key" + std::to_string(i));
    std::vector<Entry> entries;
    for (int i = 0; i < 3000; ++i) entries.push_back(Entry{keys[i].c_str(), i});
    for (Entry& e : entries) ASSERT_EQ(table->Insert(&e), 0);
    for (int i = 0; i < 3000; i += 97) {
        ASSERT_EQ(static_cast<Entry*>(table->Find(keys[i].c_str()))->value, i);
    }
    EXPECT_EQ(table->Insert(nullptr), -1);
    EXPECT_EQ(table->Count(), 3000u);
    hashtom::Destroy(table);
}

// [getline]

std::FILE* Stream(const std::string& text) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

std::vector<std::string> AllLines(std::FILE* file) {
    std::vector<std::string> lines;
    while (char* line = vorlane::scfg::getline(file)) {
        lines.push_back(line);
        std::free(line);
    }
    return lines;
}

TEST(Getline, LinesOfAnyLengthKeepCarriageReturns) {
    const std::string long_line(1000, 'q');
    std::FILE* file = Stream("one\r\n" + long_line + "\nlast");
    EXPECT_EQ(AllLines(file), (std::vector<std::string>{"one\r", long_line, "last"}));
    EXPECT_EQ(vorlane::scfg::getline(file), nullptr);  // stays at the end
    std::fclose(file);
}

TEST(Getline, EmptyStreamGivesOneEmptyLineAndLength63And64Fit) {
    std::FILE* file = Stream("");
    EXPECT_EQ(AllLines(file), (std::vector<std::string>{""}));
    std::fclose(file);
    // Lines around the 64-byte growth step.
    const std::string a(63, 'a'), b(64, 'b'), c(65, 'c');
    file = Stream(a + "\n" + b + "\n" + c);
    EXPECT_EQ(AllLines(file), (std::vector<std::string>{a, b, c}));
    std::fclose(file);
    EXPECT_EQ(vorlane::scfg::getline(nullptr), nullptr);
}

// [SCFG]

const char kSample[] =
    "; a comment\n"
    "orphan = before any section\n"
    "   [ Main Section ]  \r\n"
    "Screen Width = 1024\r\n"
    "  title=  Vorlane Lobby  \n"
    "\tEmpty=\n"
    "no equals sign here\n"
    "[broken\n"
    "path = data\\font\\a.bcf\n"
    "dup = first\n"
    "dup = second\n"
    "eq = a=b\n"
    "[Other]\n"
    "; key = commented\n"
    "KEY=v\n"
    "[main section]\n"
    "extra = merged\n";

TEST(Scfg, SectionsKeysValuesAndComments) {
    SCFG* cfg = SCFG_LoadMemory(kSample, sizeof kSample - 1);
    ASSERT_NE(cfg, nullptr);
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "screenwidth"), "1024");
    EXPECT_STREQ(SCFG_Get(cfg, "Main Section", "Screen Width"), "1024");  // lookups normalise
    EXPECT_STREQ(SCFG_Get(cfg, "MAINSECTION", "TITLE"), "Vorlane Lobby");
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "empty"), "");
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "path"), "data\\font\\a.bcf");  // values keep case
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "dup"), "first");
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "eq"), "a=b");
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "extra"), "merged");  // section reopened
    EXPECT_STREQ(SCFG_Get(cfg, "other", "key"), "v");
    EXPECT_EQ(SCFG_Get(cfg, "other", ";key"), nullptr);
    EXPECT_EQ(SCFG_Get(cfg, "other", "path"), nullptr);  // "[broken" was ignored, not a section
    EXPECT_EQ(SCFG_Get(cfg, "", "orphan"), nullptr);
    EXPECT_EQ(SCFG_Get(cfg, "missing", "key"), nullptr);
    EXPECT_EQ(SCFG_Get(cfg, "mainsection", nullptr), nullptr);
    EXPECT_EQ(SCFG_Get(nullptr, "a", "b"), nullptr);
    SCFG_Free(cfg);
}

TEST(Scfg, MalformedLinesAreIgnored) {
    const std::string text =
        "[]\nk=empty name\n"
        "[\n[a]b]\nx=1\n"
        "]\n=novalue\n[a ] ]\ny=2\n"
        "[z]\n  \n\t\n;;\n[ x\n";
    SCFG* cfg = SCFG_LoadMemory(text.data(), text.size());
    ASSERT_NE(cfg, nullptr);
    EXPECT_STREQ(SCFG_Get(cfg, "", "k"), "empty name");
    EXPECT_STREQ(SCFG_Get(cfg, "a]b", "x"), "1");  // everything between the outer brackets
    EXPECT_STREQ(SCFG_Get(cfg, "a]b", ""), "novalue");
    EXPECT_STREQ(SCFG_Get(cfg, "a]", "y"), "2");
    SCFG_Free(cfg);
}

TEST(Scfg, UnterminatedBytesAndEmbeddedZeros) {
    const char bytes[] = {'[', 's', ']', '\n', 'k', '=', 'v', 'a', 'l'};  // no terminator
    SCFG* cfg = SCFG_LoadMemory(bytes, sizeof bytes);
    ASSERT_NE(cfg, nullptr);
    EXPECT_STREQ(SCFG_Get(cfg, "s", "k"), "val");
    SCFG_Free(cfg);
    const char zeros[] = {'[', 's', ']', '\n', 'k', '=', 'a', '\0', 'b', '\n', 'm', '=', '1'};
    cfg = SCFG_LoadMemory(zeros, sizeof zeros);
    EXPECT_STREQ(SCFG_Get(cfg, "s", "k"), "a");
    EXPECT_STREQ(SCFG_Get(cfg, "s", "m"), "1");
    SCFG_Free(cfg);
    EXPECT_EQ(SCFG_LoadMemory(nullptr, 5), nullptr);
    cfg = SCFG_LoadMemory(nullptr, 0);
    EXPECT_NE(cfg, nullptr);
    SCFG_Free(cfg);
}

TEST(Scfg, ManySectionsAndKeys) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "[s" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    text += "[big]\n";
    for (int i = 0; i < 3000; ++i)
        text += "key" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
    SCFG* cfg = SCFG_LoadMemory(text.data(), text.size());
    ASSERT_NE(cfg, nullptr);
    for (int i = 0; i < 3000; i += 7) {
        ASSERT_STREQ(SCFG_Get(cfg, ("s" + std::to_string(i)).c_str(), "k"),
                     std::to_string(i).c_str());
        ASSERT_STREQ(SCFG_Get(cfg, "big", ("key" + std::to_string(i)).c_str()),
                     ("v" + std::to_string(i)).c_str());
    }
    SCFG_Free(cfg);
}

TEST(Scfg, LoadFromFileWithBackslashName) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("scfg_" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    {
        std::FILE* file = std::fopen((dir / "data" / "filectrl.cfg").c_str(), "wb");
        std::fputs(kSample, file);
        std::fclose(file);
    }
    const std::string name = dir.string() + "\\data\\filectrl.cfg";
    SCFG* cfg = SCFG_Load(name.c_str());
    ASSERT_NE(cfg, nullptr);
    EXPECT_STREQ(SCFG_Get(cfg, "mainsection", "title"), "Vorlane Lobby");
    EXPECT_STREQ(SCFG_Get(cfg, "other", "key"), "v");
    SCFG_Free(cfg);
    EXPECT_EQ(SCFG_Load((dir / "missing.cfg").c_str()), nullptr);
    EXPECT_EQ(SCFG_Load(nullptr), nullptr);
    fs::remove_all(dir);
    SCFG* empty = SCFG_Create();
    EXPECT_EQ(SCFG_Get(empty, "a", "b"), nullptr);
    SCFG_Free(empty);
    SCFG_Free(nullptr);
}

}  // namespace
