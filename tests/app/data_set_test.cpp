#include "app/data_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace vorlane;

namespace {

void MakeDataSet(const fs::path& folder) {
    fs::create_directories(folder / "data");
    std::ofstream(folder / "data" / "master.dix") << "x";
}

}  // namespace

// $VORLANE_DATA, beside the program, PREFIX/share/vorlane, the build's run
// folder, the working directory: the first that holds data/master.dix wins.
TEST(DataSet, FoundInTheDocumentedOrder) {
    const fs::path root = fs::path(std::getenv("TEST_TMPDIR")) / "data_set";
    const fs::path bin = root / "prefix" / "bin";
    const fs::path env = root / "elsewhere";
    const fs::path cwd = root / "cwd";
    fs::create_directories(bin);
    const auto candidates = DataSetCandidates(env.c_str(), bin.string(), cwd.string());
    ASSERT_EQ(candidates.size(), 5u);
    EXPECT_EQ(candidates[2], (root / "prefix" / "share" / "vorlane").string());
    EXPECT_EQ(candidates[3], (root / "prefix" / "run").string());

    EXPECT_EQ(FindDataSet(candidates), "");
    MakeDataSet(cwd);
    EXPECT_EQ(FindDataSet(candidates), cwd.string());
    MakeDataSet(root / "prefix" / "run");
    EXPECT_EQ(FindDataSet(candidates), candidates[3]);
    MakeDataSet(root / "prefix" / "share" / "vorlane");
    EXPECT_EQ(FindDataSet(candidates), candidates[2]);
    MakeDataSet(bin);
    EXPECT_EQ(FindDataSet(candidates), bin.string());
    MakeDataSet(env);
    EXPECT_EQ(FindDataSet(candidates), env.string());
    // An empty $VORLANE_DATA is no candidate.
    EXPECT_EQ(DataSetCandidates("", bin.string(), cwd.string()).size(), 4u);
}
