#include "baselib/logsys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstring>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "baselib/log_channel.h"
#include "core_test_support.h"

namespace {

using core_test::ReadWhole;
using ::testing::ElementsAre;

std::mutex g_lines_mutex;
std::vector<std::string> g_lines;

void CollectLine(const char* text) {
    std::lock_guard<std::mutex> lock(g_lines_mutex);
    g_lines.emplace_back(text);
}

class LogsysTest : public core_test::BaseLibTest {
  protected:
    void SetUp() override {
        BaseLibTest::SetUp();
        std::lock_guard<std::mutex> lock(g_lines_mutex);
        g_lines.clear();
    }
    // A log that writes to a file in the scratch folder.
    LOGSYS* FileLog(uint32_t flags, const std::string& name = "log.txt") {
        path_ = PathOf(name);
        LOGSYS* log = LOGSYS_Create(flags, kLogToFile, path_.c_str());
        EXPECT_NE(log, nullptr);
        return log;
    }
    std::string FileText() const { return ReadWhole(path_); }

    std::string path_;
};

TEST_F(LogsysTest, LineShapesFollowPrefixTimeAndLineEndFlags) {
    LOGSYS* plain = FileLog(0, "plain.txt");
    ASSERT_EQ(plain->flags & (kLogCrLf | kLogNoTime), kLogCrLf | kLogNoTime);
    EXPECT_EQ(LOGSYS_Text(plain, kLogInfo, "hello"), 0);
    EXPECT_EQ(LOGSYS_Text(plain, kLogError, "bad"), 0);
    EXPECT_EQ(LOGSYS_Raw(plain, "raw"), 0);
    EXPECT_EQ(LOGSYS_Text(plain, 128, "bare"), 0);
    EXPECT_EQ(LOGSYS_Text(plain, kLogFailure | kLogError, "lowest bit wins"), 0);
    LOGSYS_Destroy(plain);
    EXPECT_EQ(FileText(),
              "INFO: hello\r\n! ERROR: bad\r\n: raw\r\nbare\r\n! ERROR: lowest bit wins\r\n");

    LOGSYS* stamped = FileLog(kLogTime, "stamped.txt");
    LOGSYS_Text(stamped, kLogWarning, "later");
    LOGSYS_Destroy(stamped);
    EXPECT_TRUE(
        std::regex_match(FileText(), std::regex(R"(WARNING: \(\d\d:\d\d:\d\d\) later\r\n)")))
        << FileText();

    LOGSYS* bare = FileLog(kLogNoPrefix | kLogTime | kLogCr, "bare.txt");
    LOGSYS_Text(bare, kLogError, "only text");
    LOGSYS_Destroy(bare);
    EXPECT_EQ(FileText(), "only text\r");
}

TEST_F(LogsysTest, FileModesAppendTruncateAndOpenPerLine) {
    LOGSYS* first = FileLog(0);
    LOGSYS_Text(first, kLogInfo, "one");
    LOGSYS_Destroy(first);
    LOGSYS* appending = FileLog(0);
    LOGSYS_Text(appending, kLogInfo, "two");
    LOGSYS_Destroy(appending);
    EXPECT_EQ(FileText(), "INFO: one\r\nINFO: two\r\n");

    int open_before = vorlane::baselib::OpenFileCount();
    LOGSYS* per_line = FileLog(kLogTruncate | kLogOpenPerLine);
    EXPECT_EQ(vorlane::baselib::OpenFileCount(), open_before);  // closed after creation
    EXPECT_EQ(FileText(), "");                                  // truncated
    LOGSYS_Text(per_line, kLogInfo, "three");
    EXPECT_EQ(FileText(), "INFO: three\r\n");  // on disk before the log is destroyed
    EXPECT_EQ(vorlane::baselib::OpenFileCount(), open_before);
    LOGSYS_Destroy(per_line);
}

TEST_F(LogsysTest, CreateFailsWhenTheFileCannotBeOpened) {
    std::string missing = PathOf("no/such/dir/log.txt");
    EXPECT_EQ(LOGSYS_Create(0, kLogToFile, missing.c_str()), nullptr);
}

TEST_F(LogsysTest, StandardOutputAndCallbackOutputs) {
    LOGSYS* log = LOGSYS_Create(0, kLogToStdout | kLogToCallback, nullptr);
    ASSERT_NE(log, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    ::testing::internal::CaptureStdout();
    LOGSYS_Text(log, kLogInfo, "to both");
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "INFO: to both\n");
    EXPECT_THAT(g_lines, ElementsAre("to both"));  // the callback gets the bare text
    LOGSYS_Destroy(log);

    LOGSYS* bare = LOGSYS_Create(kLogNoPrefix, kLogToStdout, nullptr);
    ::testing::internal::CaptureStdout();
    LOGSYS_Text(bare, kLogError, "no prefix");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "no prefix\n");
    LOGSYS_Destroy(bare);
}

TEST_F(LogsysTest, LevelAndClassMasksFilterLines) {
    LOGSYS* log = LOGSYS_Create(0, kLogToCallback, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    EXPECT_EQ(LOGSYS_Text(log, 256, "outside the level mask"), 0);
    EXPECT_EQ(LOGSYS_Text(log, 0, "no level"), 0);
    log->level_mask = kLogError;
    EXPECT_EQ(LOGSYS_Text(log, kLogInfo, "masked level"), 0);
    LOGSYS_Text(log, kLogError, "passes");
    log->class_mask = 0x1;
    EXPECT_EQ(LOGSYS_Write(log, kLogError, 0x2, "other class"), 0);
    LOGSYS_Write(log, kLogError, 0x3, "shared class bit");
    log->class_mask = 0;
    LOGSYS_SetDefault(log);
    EXPECT_EQ(LOGSYS_Error("class mask 0 blocks %s", "formatted writes"), 0);
    EXPECT_THAT(g_lines, ElementsAre("passes", "shared class bit"));
    LOGSYS_Destroy(log);
}

TEST_F(LogsysTest, MuteSwitchSilencesEveryLog) {
    LOGSYS* log = LOGSYS_Create(0, kLogToCallback, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    LOGSYS_SetDefault(log);
    LOGSYS_MuteAll();
    EXPECT_EQ(LOGSYS_Text(log, kLogInfo, "explicit"), 0);
    EXPECT_EQ(LOGSYS_Text(nullptr, kLogInfo, "default"), 0);
    EXPECT_EQ(LOGSYS_Info("%d chars", 12345), 11);  // the formatted length
    EXPECT_TRUE(g_lines.empty());
    LOGSYS_Destroy(log);
}

TEST_F(LogsysTest, RedirectTakesEveryLogsLinesUntilRestored) {
    LOGSYS* log = LOGSYS_Create(0, kLogToCallback, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    LOGSYS_SetDefault(log);
    std::vector<std::string> taken;
    vorlane::LogSink previous = vorlane::RedirectLog([&](uint32_t level, const char* text) {
        taken.push_back(std::to_string(level) + " " + text);
    });
    EXPECT_EQ(LOGSYS_Text(nullptr, kLogWarning, "default"), 0);
    vorlane::LogTo(log, kLogError, "explicit %d", 7);
    LOGSYS_Info("formatted");
    EXPECT_EQ(LOGSYS_Text(log, 256, "outside the level mask"), 0);
    LOGSYS_MuteAll();  // a redirect is explicit: the mute does not hide lines from it
    vorlane::Log(kLogData, "muted");
    EXPECT_THAT(taken, ElementsAre("8 default", "16 explicit 7", "4 formatted", "128 muted"));
    EXPECT_TRUE(g_lines.empty());  // nothing reached the log's own outputs

    EXPECT_TRUE(vorlane::RedirectLog(std::move(previous)));  // hands back the sink it replaced
    LOGSYS_ResetForTests();
    LOGSYS_SetDefault(log);
    vorlane::Log(kLogInfo, "back to the log");
    EXPECT_THAT(g_lines, ElementsAre("back to the log"));
    EXPECT_EQ(taken.size(), 4u);
    LOGSYS_Destroy(log);
}

TEST_F(LogsysTest, NoFilesSwitchDropsTheFileButKeepsOtherOutputs) {
    LOGSYS_DisableFiles();
    std::string path = PathOf("never.txt");
    LOGSYS* log = LOGSYS_Create(0, kLogToFile | kLogToCallback | kLogToStdout, path.c_str());
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->outputs, kLogToCallback | kLogToStdout);
    LOGSYS_SetCallback(log, CollectLine);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LOGSYS_Text(log, kLogInfo, "still served"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "INFO: still served\n");
    EXPECT_THAT(g_lines, ElementsAre("still served"));
    EXPECT_FALSE(std::filesystem::exists(path));
    LOGSYS_Destroy(log);
}

// A service's logs go to its journal: file logs made after the switch write
// whole lines to standard output and open nothing; logs without a file stay.
TEST_F(LogsysTest, FilesToStdoutTurnsFileLogsIntoStandardOutput) {
    LOGSYS* before = FileLog(0);
    LOGSYS_FilesToStdout();
    std::string path = PathOf("journal.txt");
    LOGSYS* log = LOGSYS_Create(0, kLogToFile, path.c_str());
    LOGSYS* callback_only = LOGSYS_Create(0, kLogToCallback, nullptr);
    ASSERT_NE(log, nullptr);
    ASSERT_NE(callback_only, nullptr);
    EXPECT_EQ(log->outputs, kLogToStdout);
    EXPECT_EQ(callback_only->outputs, kLogToCallback);
    EXPECT_EQ(before->outputs, kLogToFile);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(LOGSYS_Text(log, kLogError, "to the journal"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "! ERROR: to the journal\n");
    EXPECT_FALSE(std::filesystem::exists(path));
    LOGSYS_Destroy(callback_only);
    LOGSYS_Destroy(log);
    LOGSYS_Destroy(before);
}

TEST_F(LogsysTest, IndentationIsBoundedAbove) {
    LOGSYS* log = FileLog(0);
    for (int i = 0; i < 3; ++i) LOGSYS_IndentIn();
    LOGSYS_Text(log, kLogInfo, "deep");
    for (int i = 0; i < 30; ++i) LOGSYS_IndentIn();
    EXPECT_EQ(LOGSYS_GetIndent(), 96);
    for (int i = 0; i < 30; ++i) LOGSYS_IndentOut();
    EXPECT_LT(LOGSYS_GetIndent(), 0);
    LOGSYS_Text(log, kLogInfo, "flat");
    LOGSYS_Destroy(log);
    EXPECT_EQ(FileText(), std::string(12, ' ') + "INFO: deep\r\nINFO: flat\r\n");
}

TEST_F(LogsysTest, DefaultLogLifecycle) {
    EXPECT_EQ(LOGSYS_Text(nullptr, kLogInfo, "nowhere"), -1);
    LOGSYS* log = LOGSYS_Create(0, kLogToCallback, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    LOGSYS_SetDefault(log);
    EXPECT_TRUE(log->flags & kLogIsDefault);
    EXPECT_EQ(LOGSYS_Text(nullptr, kLogInfo, "default"), 0);
    EXPECT_EQ(LOGSYS_Info("info %d", 4), 0);
    EXPECT_EQ(LOGSYS_Warning("warning %d", 8), 0);
    EXPECT_EQ(LOGSYS_Error("error %d", 16), 0);
    ReportError("kind 0", 0);
    ReportError("kind 7", 7);
    EXPECT_THAT(g_lines,
                ElementsAre("default", "info 4", "warning 8", "error 16", "kind 0", "kind 7"));
    EXPECT_EQ(LOGSYS_Destroy(log), 0);
    EXPECT_EQ(LOGSYS_GetDefault(), nullptr);
    EXPECT_EQ(LOGSYS_Text(nullptr, kLogInfo, "gone"), -1);
    EXPECT_EQ(LOGSYS_Info("%s", "abc"), 3);
}

TEST_F(LogsysTest, ReportErrorLevelsByKind) {
    LOGSYS* log = LOGSYS_Create(0, kLogToStdout, nullptr);
    LOGSYS_SetDefault(log);
    ::testing::internal::CaptureStdout();
    ReportError("a", 0);
    ReportError("b", 1);
    ReportError("c", 2);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "! ERROR: a\nWARNING: b\nINFO: c\n");
    LOGSYS_Destroy(log);
}

TEST_F(LogsysTest, PrintfCutsLongLines) {
    LOGSYS* log = LOGSYS_Create(0, kLogToCallback, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    std::string long_text(2000, 'x');
    LOGSYS_Printf(log, kLogInfo, "%s", long_text.c_str());
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], std::string(511, 'x'));
    LOGSYS_Destroy(log);
}

// Every thread formats its own lines; a shared buffer would mix them up.
TEST_F(LogsysTest, FormattedLinesStayIntactAcrossThreads) {
    LOGSYS* log = LOGSYS_Create(0, kLogToCallback, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    LOGSYS_SetDefault(log);
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string fill(40 + t, char('a' + t));
            for (int i = 0; i < kLines; ++i) {
                if (i % 2)
                    LOGSYS_Printf(nullptr, kLogInfo, "%d:%s:%d", t, fill.c_str(), t);
                else
                    LOGSYS_Info("%d:%s:%d", t, fill.c_str(), t);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(g_lines.size(), size_t(kThreads * kLines));
    for (const std::string& line : g_lines) {
        int t = line[0] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(line, std::to_string(t) + ":" + std::string(40 + t, char('a' + t)) + ":" +
                            std::to_string(t));
    }
    LOGSYS_Destroy(log);
}

std::string DumpLine(const void* address, const std::string& hex, const std::string& text) {
    char line[160];
    std::snprintf(line, sizeof(line), "DUMP 0x%08" PRIXPTR ": %s %s",
                  reinterpret_cast<uintptr_t>(address), hex.c_str(), text.c_str());
    return line;
}

TEST_F(LogsysTest, HexDumpGroupsSixteenBytes) {
    uint8_t bytes[20];
    for (int i = 0; i < 20; ++i) bytes[i] = uint8_t('A' + i);
    bytes[1] = 0x1F;
    bytes[2] = 0x80;
    LOGSYS_HexDump(CollectLine, bytes, 20);
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0], DumpLine(bytes, " 41 1F 80 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50",
                                   "A..DEFGHIJKLMNOP"));
    EXPECT_EQ(g_lines[1], DumpLine(bytes + 16, " 51 52 53 54", "QRST"));

    g_lines.clear();
    LOGSYS_HexDump(CollectLine, bytes, 16);
    EXPECT_EQ(g_lines.size(), 1u);
    g_lines.clear();
    LOGSYS_HexDump(CollectLine, bytes, 0);
    LOGSYS_HexDump(nullptr, bytes, 4);
    EXPECT_TRUE(g_lines.empty());
}

TEST_F(LogsysTest, FormatTextKeepsEightTextsAlive) {
    const char* texts[8];
    for (int i = 0; i < 8; ++i) texts[i] = FormatText("%s::%s: %d", "RAMA_CTRL", "Get", i);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(std::string(texts[i]), "RAMA_CTRL::Get: " + std::to_string(i));
    EXPECT_EQ(FormatText("%s", "ninth"), texts[0]);  // the ring wraps
    EXPECT_STREQ(FormatText(nullptr), "(NO MESSAGE)");
    std::string long_text(3000, 'y');
    EXPECT_EQ(std::strlen(FormatText("%s", long_text.c_str())), 1023u);
}

// A failing open-per-line file on the default log reports through that very
// log; the nested line must not try the file again without end.
TEST_F(LogsysTest, FailingFileOnDefaultLogDoesNotRecurse) {
    std::filesystem::create_directories(dir_ / "sub");
    std::string path = PathOf("sub/log.txt");
    LOGSYS* log = LOGSYS_Create(kLogOpenPerLine, kLogToFile | kLogToCallback, path.c_str());
    ASSERT_NE(log, nullptr);
    LOGSYS_SetCallback(log, CollectLine);
    LOGSYS_SetDefault(log);
    std::filesystem::remove_all(dir_ / "sub");
    EXPECT_EQ(LOGSYS_Text(nullptr, kLogInfo, "lost for the file"), -1);
    ASSERT_GE(g_lines.size(), 2u);
    EXPECT_THAT(g_lines[0], ::testing::HasSubstr("CANNOT OPEN FILE"));
    EXPECT_EQ(g_lines.back(), "lost for the file");
    LOGSYS_Destroy(log);
}

}  // namespace
