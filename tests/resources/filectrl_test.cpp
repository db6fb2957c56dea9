#include "resources/filectrl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "baselib/scfg/scfg.h"
#include "res_test_util.h"

namespace vorlane::resources {
namespace {

using testing::TempDir;
using testing::WriteText;

TEST(FileCtrl, ProgramTableHasTheFixedFiles) {
    FILECTRL_ENTRY table[kProgramFileCount];
    FILECTRL_FillProgramTable(table);
    EXPECT_STREQ(table[0].name, "INVALID.???");
    EXPECT_STREQ(table[5].name, "data\\font\\font00.bcf");
    EXPECT_STREQ(table[14].name, "data\\font\\font06.txt");
    EXPECT_STREQ(table[24].name, "data\\font\\robust12.txt");
    EXPECT_STREQ(table[kMasterIndexFile].name, "data\\master.dix");
    for (const auto& entry : table) {
        EXPECT_EQ(entry.entry_flags, 0u);
        EXPECT_EQ(entry.path_index, 65535);
    }
}

TEST(FileCtrl, SearchPathSlots) {
    FILECTRL ctrl;
    EXPECT_EQ(ctrl.Init(), 0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ctrl.AddSearchPath(("dir" + std::to_string(i)).c_str()), 0);
    EXPECT_EQ(ctrl.AddSearchPath("ninth"), -1);
    EXPECT_STREQ(ctrl.SearchPath(7), "dir7");
    ctrl.ClearSearchPaths();
    EXPECT_EQ(ctrl.AddSearchPath(std::string(256, 'x').c_str()), -1);
    EXPECT_EQ(ctrl.AddSearchPath(std::string(255, 'x').c_str()), 0);
    EXPECT_EQ(ctrl.AddSearchPath(nullptr), -1);
}

TEST(FileCtrl, MakePathJoinsWithOneSlash) {
    TempDir dir;
    WriteText(dir / "data/master.dix", "x");
    FILECTRL ctrl;
    // The backslash of the data name becomes "/" only at the disk.
    const char* joined = ctrl.MakePath((dir.path() + "/").c_str(), "data\\master.dix");
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::string(joined), dir.path() + "/data\\master.dix");
    joined = ctrl.MakePath(dir.path().c_str(), "data\\master.dix");
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::string(joined), dir.path() + "/data\\master.dix");
    // A trailing backslash is no separator: "/" is still added.
    joined = ctrl.MakePath((dir.path() + "\\").c_str(), "data\\master.dix");
    ASSERT_NE(joined, nullptr);  // on disk the backslash is a "/" as well
    EXPECT_EQ(std::string(joined), dir.path() + "\\/data\\master.dix");
    EXPECT_EQ(ctrl.MakePath(dir.path().c_str(), "data"), nullptr);  // a directory
    EXPECT_EQ(ctrl.MakePath(dir.path().c_str(), std::string(300, 'n').c_str()), nullptr);
}

TEST(FileCtrl, GetPathResolvesOnceAndRemembers) {
    TempDir first;
    TempDir second;
    WriteText(second / "data/master.dix", "x");
    FILECTRL_ENTRY table[kProgramFileCount];
    FILECTRL_FillProgramTable(table);
    FILECTRL ctrl;
    ctrl.AddSearchPath(first.path().c_str());
    ctrl.AddSearchPath(second.path().c_str());
    ctrl.SetFileTable(table, kProgramFileCount);
    EXPECT_EQ(ctrl.HasFileTable(), 1);

    const char* path = ctrl.GetPath(kMasterIndexFile);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), second.path() + "/data\\master.dix");
    EXPECT_EQ(table[kMasterIndexFile].path_index, 1);
    EXPECT_EQ(table[kMasterIndexFile].entry_flags, 1u);

    std::filesystem::remove(second / "data/master.dix");
    path = ctrl.GetPath(kMasterIndexFile);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), second.path() + "/data\\master.dix");

    EXPECT_EQ(ctrl.GetPath(1), nullptr);  // found nowhere
    EXPECT_EQ(table[1].entry_flags, 0u);
    EXPECT_EQ(ctrl.GetPath(-1), nullptr);
    EXPECT_EQ(ctrl.GetPath(kProgramFileCount), nullptr);

    // A corrupt path index in the caller's table never indexes past the paths.
    table[kMasterIndexFile].path_index = 300;
    EXPECT_EQ(ctrl.GetPath(kMasterIndexFile), nullptr);

    ctrl.ClearFileTable();
    EXPECT_EQ(ctrl.HasFileTable(), 0);
    EXPECT_EQ(ctrl.GetPath(kMasterIndexFile), nullptr);
}

TEST(FileCtrl, WorkingDirectoryComesFirst) {
    TempDir search;
    TempDir work;
    WriteText(search / "data/both.txt", "search");
    WriteText(work / "data/both.txt", "work");
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(work.path());
    FILECTRL ctrl;
    ctrl.AddSearchPath(search.path().c_str());
    FILECTRL_ENTRY entry{};
    const char* path = ctrl.FindFile("data\\both.txt", &entry);
    std::filesystem::current_path(previous);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "data\\both.txt");
    EXPECT_EQ(entry.path_index, 65535);
    EXPECT_EQ(entry.entry_flags, 1u);
}

TEST(FileCtrl, ConfigurationKeys) {
    std::string text(
        "; paths\r\n"
        "install_path = before_section\r\n"
        "[ File_Ctrl ]\r\n"
        "  Install_Path = /opt/vorlane \r\n"
        "media_path=invalid\r\n"
        "media_path=/second\r\n");
    SCFG* cfg = SCFG_LoadMemory(text.data(), text.size());
    FILECTRL ctrl;
    EXPECT_EQ(ctrl.LoadConfig(cfg), -1);  // "invalid" reports -1, loading goes on
    EXPECT_STREQ(ctrl.SearchPath(0), "/opt/vorlane");
    EXPECT_STREQ(ctrl.SearchPath(1), "");

    SCFG_Free(cfg);
    FILECTRL none;
    std::string upper = "[file_ctrl]\nMEDIA_PATH = INVALID\n";
    cfg = SCFG_LoadMemory(upper.data(), upper.size());
    EXPECT_EQ(none.LoadConfig(cfg), 0);
    EXPECT_STREQ(none.SearchPath(0), "INVALID");
    SCFG_Free(cfg);
    EXPECT_EQ(none.LoadConfig(nullptr), -1);

    TempDir dir;
    WriteText(dir / "filectrl.cfg", "[file_ctrl]\ninstall_path=" + dir.path() + "\n");
    FILECTRL from_file;
    EXPECT_EQ(from_file.LoadConfigFile((dir / "filectrl.cfg").c_str()), 0);
    EXPECT_EQ(std::string(from_file.SearchPath(0)), dir.path());
    EXPECT_EQ(from_file.LoadConfigFile((dir / "missing.cfg").c_str()), -1);
}

}  // namespace
}  // namespace vorlane::resources
