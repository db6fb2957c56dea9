#include "resources/rama_ctrl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "res_test_util.h"
#include "resources/bcf_library.h"
#include "resources/rama_index.h"

namespace vorlane::resources {
namespace {

using testing::DataPath;
using testing::LogCapture;
using testing::TempDir;
using testing::TestLocation;
using testing::WriteArchive;
using testing::WriteBytes;
using testing::WriteText;

std::string Data(RAMA_RES* res) {
    uint32_t size = 0;
    const uint8_t* data = res->GetData(&size);
    return data ? std::string(reinterpret_cast<const char*>(data), size) : std::string("<null>");
}

class RamaArchive : public ::testing::Test {
  protected:
    int Open(const std::vector<TestLocation>& locations) {
        std::string master = WriteArchive(dir_, locations);
        rama_.SetRootDirectory(dir_.path().c_str());
        return rama_.Init(master.c_str());
    }
    TempDir dir_;
    RAMA_CTRL rama_;
};

TEST_F(RamaArchive, InitReadsEveryIndexAndLoadsOnDemand) {
    LogCapture log;
    ASSERT_EQ(Open({{1, "mainmenu", {{"lobby.script.menu", 2, "print(1)"}, {"text.a", 11, "T"}}},
                    {2, "alltime", {{"gfx.logo", 5, "PIXELS"}}}}),
              1);
    EXPECT_TRUE(log.Has(4, "RAMA_CTRL::Init: added location file 'loc0001.dix'"));
    EXPECT_TRUE(log.Has(4, "RAMA_INFO: header: VORLANEVESSEL (Build 556), 2003-07-10 18:23:13"));
    EXPECT_TRUE(log.Has(4, "RAMA_INFO: master: TEST (Build 3), 2026-12-08"));
    EXPECT_EQ(rama_.master.project, "TEST");

    int id = rama_.GetLocationID("mainmenu");
    ASSERT_EQ(id, 0);
    EXPECT_EQ(rama_.GetResourceID("text.a"), std::make_pair(0, 1));
    // Not loaded yet: the index answers, the resource is the null resource.
    RAMA_RES* before = rama_.GetResource("lobby.script.menu");
    EXPECT_EQ(before, &rama_.NullResource());
    EXPECT_EQ(before->GetData(nullptr), nullptr);
    EXPECT_EQ(before->type, 0);

    ASSERT_EQ(rama_.LoadLocation(id), 1);
    EXPECT_EQ(Data(rama_.GetResource("lobby.script.menu")), "print(1)");
    EXPECT_EQ(Data(rama_.GetResource("text.a")), "T");
    EXPECT_EQ(rama_.GetResource(id, 1)->type, 11);
    EXPECT_EQ(rama_.LoadLocation(id), 1);
    EXPECT_TRUE(log.Has(4, "RAMA_LOC::Load: location 'mainmenu' already loaded"));

    // A graphic keeps its bytes without a media subsystem but does not hand them out.
    int alltime = rama_.GetLocationID("alltime");
    ASSERT_EQ(rama_.LoadLocation(alltime), 1);
    RAMA_RES* logo = rama_.GetResource("gfx.logo");
    EXPECT_EQ(logo->type, 5);
    EXPECT_EQ(logo->GetData(nullptr), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(logo->data.get()), logo->size), "PIXELS");

    ASSERT_EQ(rama_.UnloadLocation(id), 1);
    EXPECT_EQ(rama_.GetResource("text.a"), &rama_.NullResource());
    EXPECT_EQ(rama_.GetResourceID("text.a"), std::make_pair(0, 1));
    ASSERT_EQ(rama_.LoadLocation(id), 1);
    EXPECT_EQ(Data(rama_.GetResource("text.a")), "T");
}

TEST_F(RamaArchive, LaterLocationsOverride) {
    ASSERT_EQ(Open({{10, "zero", {{"same", 1, "from 0"}, {"only0", 1, "zero"}}},
                    {11, "one", {{"x", 1, "1"}}},
                    {12, "two", {{"y", 1, "2"}}},
                    {13, "three", {{"same", 1, "from 3"}}}}),
              1);
    EXPECT_EQ(rama_.GetResourceID("same"), std::make_pair(3, 0));
    rama_.LoadLocation(0);
    rama_.LoadLocation(3);
    EXPECT_EQ(Data(rama_.GetResource("same")), "from 3");
    EXPECT_EQ(Data(rama_.GetResource("only0")), "zero");
    // Only the overriding location unloaded: the lookup does not fall back.
    rama_.UnloadLocation(3);
    EXPECT_EQ(rama_.GetResource("same"), &rama_.NullResource());
}

TEST_F(RamaArchive, PatchLocations) {
    LogCapture log;
    ASSERT_EQ(Open({{1, "mainmenu", {{"text.global", 11, "old"}}},
                    {2, "patch1", {{"patch1.text.global", 11, "new"}}},
                    {3, "patch3", {{"patch3.text.global", 11, "newer"}}}}),
              1);
    EXPECT_TRUE(log.Has(4, "* PATCHLOCATION: patch1"));
    // patch2 is missing, so patch3 is not loaded.
    ASSERT_EQ(rama_.LoadPatches(), 1);
    EXPECT_TRUE(rama_.GetLocation(rama_.GetLocationID("patch1"))->loaded);
    EXPECT_FALSE(rama_.GetLocation(rama_.GetLocationID("patch3"))->loaded);
    // The highest location (patch3) matches first but is not loaded.
    EXPECT_EQ(rama_.GetResourceID("text.global"), std::make_pair(2, 0));
    EXPECT_EQ(rama_.GetResource("text.global"), &rama_.NullResource());
    rama_.RemoveLocation(2);
    EXPECT_EQ(Data(rama_.GetResource("text.global")), "new");
    // The full address does not reach into a patch.
    EXPECT_EQ(rama_.GetResourceID("patch1.text.global"), std::make_pair(-1, -1));
}

TEST_F(RamaArchive, LoadPatchesReportsAFailedPatch) {
    LogCapture log;
    ASSERT_EQ(Open({{1, "patch1", {{"patch1.a", 1, "a"}}}}), 1);
    std::filesystem::remove(DataPath(dir_, 1, "bcf"));
    EXPECT_EQ(rama_.LoadPatches(), 0);
    EXPECT_TRUE(log.Has(16, "RAMA_CTRL::LoadPatches: loading patch 'patch1' failed !"));
    EXPECT_TRUE(log.Has(16, "RAMA_LOC::Load: error loading BCF"));
}

TEST_F(RamaArchive, LocationNamesAreLookedUpLowerCased) {
    ASSERT_EQ(Open({{1, "mainmenu", {{"a", 1, "a"}}}, {2, "MainMenu2", {{"b", 1, "b"}}}}), 1);
    EXPECT_EQ(rama_.GetLocationID("MainMenu"), 0);
    EXPECT_EQ(rama_.GetLocationID("MAINMENU"), 0);
    EXPECT_EQ(rama_.GetLocationID("MainMenu2"), -1);
    EXPECT_EQ(rama_.GetLocationID(nullptr), -1);
    EXPECT_EQ(rama_.GetLocationID("nowhere"), -1);
}

TEST_F(RamaArchive, RemoveAndReuseIds) {
    LogCapture log;
    ASSERT_EQ(
        Open({{1, "a", {{"a", 1, "a"}}}, {2, "b", {{"b", 1, "b"}}}, {3, "c", {{"c", 1, "c"}}}}), 1);
    rama_.LoadLocation(1);
    rama_.RemoveLocation(1);
    rama_.RemoveLocation(0);
    EXPECT_EQ(rama_.GetLocationID("b"), -1);
    EXPECT_EQ(rama_.GetResource("b"), &rama_.NullResource());
    rama_.RemoveLocation(1);
    EXPECT_TRUE(log.Has(8, "RAMA_CTRL::RemoveLocation: location not found: 1"));
    // The last freed ID comes back first.
    EXPECT_EQ(rama_.AddLocation((dir_ / "data/loc0002.dix").c_str()), 0);
    EXPECT_EQ(rama_.AddLocation((dir_ / "data/loc0001.dix").c_str()), 1);
    EXPECT_EQ(rama_.AddLocation((dir_ / "data/loc0001.dix").c_str()), 3);
    EXPECT_EQ(rama_.GetLocationID("b"), 0);

    EXPECT_EQ(rama_.LoadLocation(7), 0);
    EXPECT_TRUE(log.Has(16, "RAMA_CTRL::LoadLocation: location not found: 7"));
    EXPECT_EQ(rama_.UnloadLocation(-1), 0);
    EXPECT_EQ(rama_.GetResource(9, 0), &rama_.NullResource());
    EXPECT_TRUE(log.Has(8, "RAMA_CTRL::GetResource: location not found: 9"));
    EXPECT_EQ(rama_.GetResource(0, 99), &rama_.NullResource());
    EXPECT_EQ(rama_.GetResource(-1, 0), &rama_.NullResource());
    EXPECT_EQ(rama_.GetResource(nullptr), &rama_.NullResource());
    EXPECT_EQ(rama_.AddLocation(nullptr), -1);
    EXPECT_EQ(rama_.AddLocation((dir_ / "data/loc0099.dix").c_str()), -1);
    EXPECT_TRUE(log.Has(16, "RAMA_LOC::Init: can't open index file"));
}

TEST_F(RamaArchive, ObjectsAndRecordsOutOfStep) {
    LogCapture log;
    ASSERT_EQ(Open({{1, "loc", {{"a", 1, "A"}, {"b", 1, "B"}}}}), 1);
    // Three objects for two records: the third has no index entry.
    std::vector<std::string> payloads = {"A", "B", "C"};
    std::vector<BcfObjectSource> objects(3);
    for (size_t i = 0; i < 3; ++i) {
        objects[i].bytes = {reinterpret_cast<const uint8_t*>(payloads[i].data()), 1};
    }
    std::vector<uint8_t> image;
    ASSERT_TRUE(BuildBcfImage(objects, image));
    WriteBytes(DataPath(dir_, 1, "bcf"), image);
    ASSERT_EQ(rama_.LoadLocation(0), 1);
    EXPECT_TRUE(log.Has(8, "RAMA_LOC::Load: no location ID: 2"));
    EXPECT_EQ(Data(rama_.GetResource("b")), "B");

    // An image without objects leaves the location unloaded.
    ASSERT_TRUE(BuildBcfImage({}, image));
    WriteBytes(DataPath(dir_, 1, "bcf"), image);
    rama_.UnloadLocation(0);
    EXPECT_EQ(rama_.LoadLocation(0), 0);
    EXPECT_TRUE(log.Has(16, "RAMA_LOC::Load: resource count == 0"));
    EXPECT_FALSE(rama_.GetLocation(0)->loaded);
}

TEST(RamaInit, Failures) {
    LogCapture log;
    TempDir dir;
    {
        RAMA_CTRL rama;
        EXPECT_EQ(rama.Init(nullptr), 0);
        EXPECT_TRUE(log.Has(16, "RAMA_CTRL::Init: _master_dix == NULL"));
        EXPECT_EQ(rama.Init((dir / "none.dix").c_str()), 0);
        EXPECT_TRUE(log.Contains("RAMA_CTRL::Init: can't open '"));
        WriteText(dir / "empty.dix", "");
        EXPECT_EQ(rama.Init((dir / "empty.dix").c_str()), 0);
        EXPECT_TRUE(log.Has(16, "RAMA_CTRL::Init: zero length index file"));
        WriteText(dir / "bad.dix", "\"p\" \"d\"");
        EXPECT_EQ(rama.Init((dir / "bad.dix").c_str()), 0);
        EXPECT_TRUE(log.Has(16, "RAMA_CTRL::Init: can't parse master index"));
        EXPECT_TRUE(rama.master.project.empty());
        WriteText(dir / "none_listed.dix", "\"p\" \"d\" \"1\" \"0\"");
        EXPECT_EQ(rama.Init((dir / "none_listed.dix").c_str()), 0);
        EXPECT_TRUE(log.Has(16, "RAMA_CTRL::Init: no location files defined"));
        // A listed location whose index does not parse stops the start.
        WriteText(dir / "data/loc0004.dix", "\"unfinished");
        WriteText(dir / "broken.dix", "\"p\" \"d\" \"1\" \"1\" \"4\"");
        rama.SetRootDirectory(dir.path().c_str());
        EXPECT_EQ(rama.Init((dir / "broken.dix").c_str()), 0);
        EXPECT_TRUE(log.Has(16, "RAMA_CTRL::Init: AddLocation failed"));
        // A location file that is nowhere is skipped.
        WriteText(dir / "missing.dix", "\"p\" \"d\" \"1\" \"1\" \"5\"");
        EXPECT_EQ(rama.Init((dir / "missing.dix").c_str()), 1);
        EXPECT_EQ(rama.GetLocation(0), nullptr);
    }
    EXPECT_TRUE(log.Has(4, "RAMA_CTRL::~RAMA_CTRL: removed locations"));
}

// [SECTION] Media hooks

struct FakeObject : RamaObject {
    FakeObject(int kind, int texture) : kind(kind), texture(texture) {}
    int Kind() const override { return kind; }
    int TextureId() const override { return texture; }
    int kind;
    int texture;
};

class FakeMedia : public RAMA_MEDIA {
  public:
    std::unique_ptr<RamaObject> CreateGraphic() override {
        return std::make_unique<FakeObject>(1, -1);
    }
    bool InitGraphic(RamaObject&, const uint8_t* data, uint32_t size) override {
        return !(size == 3 && std::string(reinterpret_cast<const char*>(data), 3) == "bad");
    }
    int CreateSound(const uint8_t*, uint32_t size) override { return size == 3 ? -1 : next_id++; }
    void FreeSound(int id) override { freed_sounds.push_back(id); }
    std::unique_ptr<RamaObject> CreateModel() override {
        return std::make_unique<FakeObject>(2, -1);
    }
    bool InitModel(RamaObject&, const uint8_t*, uint32_t size) override { return size != 3; }
    std::unique_ptr<RamaObject> CreateTexture(const uint8_t*, uint32_t size) override {
        return std::make_unique<FakeObject>(size == 3 ? 1 : RamaObject::kKindTexture, next_id++);
    }
    int RegisterTextureGroup(const uint8_t*, uint32_t size) override {
        return size == 3 ? -1 : next_id++;
    }
    void FreeTexture(int id) override { freed_textures.push_back(id); }

    int next_id = 100;
    std::vector<int> freed_sounds;
    std::vector<int> freed_textures;
};

class MediaInstalled : public RamaArchive {
  protected:
    void SetUp() override { RAMA_SetMedia(&media_); }
    void TearDown() override {
        rama_.UnloadLocation(0);
        RAMA_SetMedia(nullptr);
    }
    FakeMedia media_;
};

TEST_F(MediaInstalled, EachTypeGetsItsObject) {
    LogCapture log;
    ASSERT_EQ(Open({{1,
                     "media",
                     {{"gfx", 5, "image"},
                      {"snd", 13, "sound"},
                      {"pst", 15, "model"},
                      {"tex", 16, "texture"},
                      {"grp", 20, "group"},
                      {"raw", 14, "raw"},
                      {"odd", 25, "odd"}}}}),
              1);
    ASSERT_EQ(rama_.LoadLocation(0), 1);
    RAMA_RES* gfx = rama_.GetResource("gfx");
    EXPECT_NE(gfx->graphic, nullptr);
    EXPECT_EQ(gfx->data, nullptr);  // bytes freed after the graphic was made
    RAMA_RES* snd = rama_.GetResource("snd");
    EXPECT_EQ(snd->sound_id, 100);
    EXPECT_EQ(snd->data, nullptr);
    RAMA_RES* pst = rama_.GetResource("pst");
    EXPECT_NE(pst->pst, nullptr);
    EXPECT_EQ(pst->size, 5u);  // models keep their bytes
    EXPECT_EQ(pst->GetData(nullptr), nullptr);
    RAMA_RES* tex = rama_.GetResource("tex");
    EXPECT_EQ(tex->texture_id, 101);
    EXPECT_EQ(tex->data, nullptr);
    RAMA_RES* grp = rama_.GetResource("grp");
    EXPECT_EQ(grp->texture_id, 102);
    EXPECT_EQ(grp->size, 5u);
    EXPECT_EQ(Data(rama_.GetResource("raw")), "raw");
    RAMA_RES* odd = rama_.GetResource("odd");
    EXPECT_EQ(odd->type, 25);
    EXPECT_EQ(odd->GetData(nullptr), nullptr);
    EXPECT_EQ(odd->size, 3u);

    int handed = rama_.GetResource("raw")->LoadInto(
        [](const uint8_t* data, uint32_t size) { return data[0] == 'r' ? int(size) : -1; });
    EXPECT_EQ(handed, 3);
    EXPECT_EQ(gfx->LoadInto([](const uint8_t*, uint32_t) { return 0; }), -1);

    rama_.UnloadLocation(0);
    EXPECT_EQ(media_.freed_sounds, std::vector<int>{100});
    EXPECT_EQ(media_.freed_textures, (std::vector<int>{101, 102}));
}

TEST_F(MediaInstalled, FailedObjectsLeaveTheResourceAndLoadingGoesOn) {
    LogCapture log;
    ASSERT_EQ(Open({{1,
                     "media",
                     {{"gfx", 6, "bad"},
                      {"snd", 13, "bad"},
                      {"pst", 15, "bad"},
                      {"tex", 17, "bad"},
                      {"grp", 20, "bad"},
                      {"ok", 1, "fine"}}}}),
              1);
    ASSERT_EQ(rama_.LoadLocation(0), 1);
    EXPECT_TRUE(log.Has(16, "RAMA_RES::ReCreate: can't init OSGFX graphic"));
    EXPECT_TRUE(log.Has(16, "RAMA_RES::ReCreate: can't create sound"));
    EXPECT_TRUE(log.Has(16, "RAMA_RES::ReCreate: can't init PST"));
    EXPECT_TRUE(log.Has(16, "RAMA_RES::ReCreate: can't init texture OSGFX"));
    EXPECT_TRUE(log.Has(16, "RAMA_RES::ReCreate: can't init texture group"));
    EXPECT_EQ(rama_.GetResource("gfx")->graphic, nullptr);
    EXPECT_EQ(rama_.GetResource("snd")->sound_id, -1);
    EXPECT_EQ(rama_.GetResource("tex")->texture_id, -1);
    EXPECT_EQ(Data(rama_.GetResource("ok")), "fine");
}

}  // namespace
}  // namespace vorlane::resources
