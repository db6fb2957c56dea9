#include "resources/rama_gfx_media.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/display_device.h"
#include "media/gfxsys.h"
#include "media/image_data.h"
#include "res_test_util.h"
#include "resources/bcf_library.h"
#include "resources/rama_ctrl.h"

namespace vorlane::resources {
namespace {

using testing::LogCapture;
using testing::TempDir;
using testing::WriteArchive;

std::string Image(int w, int h, uint32_t colour) {
    std::vector<uint32_t> pixels(size_t(w * h), colour);
    std::vector<uint8_t> bytes = media::EncodeImageData(pixels.data(), w, h, media::kImageFormat32);
    return std::string(bytes.begin(), bytes.end());
}

std::string TwoImageGroup() {
    std::string a = Image(4, 4, 0xFF102030u), b = Image(8, 2, 0xFF405060u);
    std::vector<BcfObjectSource> objects(2);
    objects[0].bytes = {reinterpret_cast<const uint8_t*>(a.data()), a.size()};
    objects[1].bytes = {reinterpret_cast<const uint8_t*>(b.data()), b.size()};
    std::vector<uint8_t> image;
    EXPECT_TRUE(BuildBcfImage(objects, image));
    return std::string(image.begin(), image.end());
}

// The archive with the graphics media installed and the program's 3D engine
// (its texture manager) running on a headless graphics system.
class GfxMedia : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(gfx_.Init(nullptr, 64, 64, 4, 0, 1), 1);
        ASSERT_EQ(media::Engine3D().Startup(&gfx_), 0);
        RAMA_SetMedia(&media_);
    }
    void TearDown() override {
        rama_.reset();
        RAMA_SetMedia(nullptr);
        media::Engine3D().Shutdown();
    }
    media::DX3D_TEXMGR& textures() { return *media::Engine3D().texmgr(); }

    media::GFXSYS3D gfx_{std::make_unique<media::NullDisplay>()};
    GfxRamaMedia media_;
    std::unique_ptr<RAMA_CTRL> rama_ = std::make_unique<RAMA_CTRL>();
};

TEST_F(GfxMedia, ResourcesBecomeSurfacesModelsAndTexturesOncePerLoad) {
    LogCapture log;
    TempDir dir;
    std::string master = WriteArchive(dir, {{1,
                                             "art",
                                             {{"gfx", 5, Image(3, 2, 0xFF112233u)},
                                              {"pst", 15, "model"},
                                              {"tex", 16, Image(5, 5, 0xFF445566u)},
                                              {"grp", 20, TwoImageGroup()},
                                              {"raw", 1, Image(3, 2, 0xFF112233u)},
                                              {"bad", 6, "no picture"},
                                              {"badgrp", 20, "no container"}}}});
    rama_->SetRootDirectory(dir.path().c_str());
    ASSERT_EQ(rama_->Init(master.c_str()), 1);
    ASSERT_EQ(rama_->LoadLocation(0), 1);

    RAMA_RES* gfx = rama_->GetResource("gfx");
    std::shared_ptr<media::OSGFX> surface = RAMA_GetGraphic(gfx);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->width(), 3);
    EXPECT_EQ(surface->GetPixel(2, 1), 0xFF112233u);
    EXPECT_EQ(RAMA_GetGraphic(gfx), surface);  // decoded once, shared by every user
    EXPECT_EQ(gfx->data, nullptr);
    EXPECT_EQ(RAMA_GetGraphic(rama_->GetResource("raw")), nullptr);  // bytes, not a picture

    RAMA_RES* pst = rama_->GetResource("pst");
    auto* model = dynamic_cast<RamaModel*>(pst->pst.get());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->model().size(), 5u);
    EXPECT_EQ(pst->size, 5u);

    RAMA_RES* tex = rama_->GetResource("tex");
    ASSERT_NE(RAMA_GetTexture(tex), nullptr);
    EXPECT_EQ(RAMA_GetTexture(tex)->GetPixel(4, 4), 0xFF445566u);
    EXPECT_EQ(tex->data, nullptr);
    RAMA_RES* grp = rama_->GetResource("grp");
    ASSERT_GE(grp->texture_id, 0);
    ASSERT_NE(textures().GetTextureSurface(grp->texture_id, 1), nullptr);
    EXPECT_EQ(textures().GetTextureSurface(grp->texture_id, 1)->width(), 8);
    EXPECT_EQ(textures().group_count(), 2);

    // A device reset makes the textures again from what the manager kept.
    EXPECT_EQ(textures().RestoreAllTextures(), 0);
    ASSERT_NE(RAMA_GetTexture(tex), nullptr);
    EXPECT_EQ(RAMA_GetTexture(tex)->GetPixel(0, 0), 0xFF445566u);

    EXPECT_TRUE(log.Has(kLogError, "RAMA_RES::ReCreate: can't init OSGFX graphic"));
    EXPECT_TRUE(log.Has(kLogError, "RAMA_RES::ReCreate: can't init texture group"));

    // Unloading gives the textures back; a surface still shown stays valid.
    rama_->UnloadLocation(0);
    EXPECT_EQ(textures().group_count(), 0);
    EXPECT_EQ(surface->GetPixel(0, 0), 0xFF112233u);
}

// The data set the build packs loads without an error line, and every picture
// in it is a graphic.
TEST_F(GfxMedia, TheDataSetLoadsWithoutErrors) {
    const char* binary = std::getenv("VORLANE_BINARY_DIR");
    std::filesystem::path run = std::filesystem::path(binary ? binary : ".") / "run";
    if (!std::filesystem::exists(run / "data" / "master.dix"))
        GTEST_SKIP() << "no run folder built";
    LogCapture log;
    rama_->SetRootDirectory(run.c_str());
    ASSERT_EQ(rama_->Init((run / "data" / "master.dix").c_str()), 1);
    ASSERT_EQ(rama_->LoadPatches(), 1);
    int graphics = 0;
    for (const char* name : {"multilobby", "missions", "mainmenu", "alltime", "presentation"}) {
        ASSERT_EQ(rama_->LoadLocation(rama_->GetLocationID(name)), 1) << name;
    }
    for (const char* address : {"lobby.gfx.background", "show.loading", "mission.pic.broker"}) {
        graphics += RAMA_GetGraphic(rama_->GetResource(address)) != nullptr;
    }
    EXPECT_EQ(graphics, 3);
    for (const auto& line : LogCapture::Lines())
        EXPECT_LT(line.level, uint32_t(kLogError)) << line.text;
}

}  // namespace
}  // namespace vorlane::resources
