// The 3D layer: texture groups, texture sizes, vertex buffers, engine start.
#include "media/gfx3d.h"

#include <gtest/gtest.h>

#include "media/gfxsys.h"
#include "media/image_data.h"
#include "tests/support/log_capture.h"

namespace vorlane::media {
namespace {

using vorlane::testing::LogCapture;

std::vector<uint8_t> Image(int w, int h) {
    std::vector<uint32_t> px(size_t(w) * h, 0xFF808080u);
    return EncodeImageData(px.data(), w, h, kImageFormat32Alpha);
}

TEST(TexMgr, GroupsTakeTheFirstFreeOfAHundredSlots) {
    LogCapture log;
    DX3D_TEXMGR mgr;
    for (int i = 0; i < DX3D_TEXMGR::kMaxGroups; ++i) ASSERT_EQ(mgr.RegisterTextureGroup(2, 0), i);
    EXPECT_EQ(mgr.RegisterTextureGroup(2, 0), -1);
    EXPECT_TRUE(log.Has("DX3D_TEXMGR:RegisterTextureGroup, failed to alloc any more groups!"));
    EXPECT_EQ(mgr.RemoveTextureGroup(42), 0);
    EXPECT_EQ(mgr.RegisterTextureGroup(1, 0), 42);
    EXPECT_EQ(mgr.RemoveTextureGroup(42), 0);
    EXPECT_EQ(mgr.RemoveTextureGroup(42), -1);
    EXPECT_TRUE(log.Has("DX3D_TEXMGR:RemoveTextureGroup, requested group is not initalized (42)!"));
    EXPECT_EQ(mgr.GetTextureSurface(42, 0), nullptr);
    EXPECT_TRUE(log.Has("DX3D_TEXMGR:GetTextureSurface, id range failed (42)!"));
    EXPECT_EQ(mgr.GetTextureSurface(0, 2), nullptr);
    EXPECT_TRUE(log.Has("DX3D_TEXMGR:GetTextureSurface, nr range failed (2)!"));
    EXPECT_EQ(mgr.GetTextureSurface(0, 1), nullptr);  // empty slot
}

TEST(TexMgr, TextureSidesAreLimitedTo1024) {
    LogCapture log;
    DX3D_TEXMGR mgr;
    auto ok = mgr.MakeSurface(Image(1024, 1), 0);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->kind(), OSGFX::kKindTexture);
    EXPECT_EQ(mgr.RegisterSurface(ok.get()), 0);
    EXPECT_EQ(mgr.MakeSurface(Image(1025, 1), 0), nullptr);
    EXPECT_TRUE(log.Has("DX3D_TEXMGR:MakeSurface, trying to create texture of dimension: 1025x1!"));
    EXPECT_EQ(mgr.MakeSurface(Image(2, 1025), 0), nullptr);
    EXPECT_TRUE(log.Has("DX3D_TEXMGR:MakeSurface, trying to create texture of dimension: 2x1025!"));

    OSGFX plain;
    plain.Create(2, 2);
    EXPECT_EQ(mgr.RegisterSurface(&plain), -1);
    EXPECT_TRUE(log.Has("TEXMGR detected non-3D OSGFX"));
    OSGFX empty(kOsgfxTextureFlag);
    EXPECT_EQ(mgr.RegisterSurface(&empty), -1);
    EXPECT_TRUE(log.Has("TEXMGR detected OSGFX without surface"));
}

TEST(TexMgr, ObjectListGroupsRestoreFromTheirSource) {
    DX3D_TEXMGR mgr;
    std::vector<uint8_t> a = Image(4, 4), b = Image(8, 2);
    std::vector<uint8_t> broken = {1, 2, 3};
    int group = mgr.RegisterTextureGroup({a, b, broken}, "RAMA");
    ASSERT_EQ(group, 0);
    ASSERT_NE(mgr.GetTextureSurface(group, 1), nullptr);
    EXPECT_EQ(mgr.GetTextureSurface(group, 1)->width(), 8);
    EXPECT_EQ(mgr.GetTextureSurface(group, 2), nullptr);
    LogCapture log;
    EXPECT_EQ(mgr.RestoreAllTextures(), -1);  // the broken object cannot be rebuilt
    EXPECT_TRUE(log.Has(
        "DX3D_TEXMGR:RestoreAllTexture, failed to create texture for GRO (0) in BCF (RAMA)"));
    EXPECT_EQ(mgr.GetTextureSurface(group, 0)->width(), 4);
}

TEST(Buffer3D, LockingAndRanges) {
    LogCapture log;
    DX3D_3DBUFFER buffer(3);
    EXPECT_EQ(buffer.Lock(), 0);
    EXPECT_EQ(buffer.Lock(), -1);
    EXPECT_TRUE(log.Has("DX3D_3DBUFFER:Lock, 3d buffer has already been locked!"));
    buffer.Unlock();
    Vertex3D v;
    v.x = 2;
    EXPECT_EQ(buffer.SetVertex(2, v), 0);
    EXPECT_EQ(buffer.SetVertex(3, v), -1);
    EXPECT_TRUE(log.Has("DX3D_3DBUFFER:SetVertex, invalid range: 3(3)"));
    Vertex3D out;
    EXPECT_EQ(buffer.GetVertex(2, out), 0);
    EXPECT_EQ(out.x, 2);
    EXPECT_EQ(buffer.GetVertex(-1, out), -1);
    EXPECT_TRUE(log.Has("DX3D_3DBUFFER:GetVertex, invalid range: -1(3)"));
}

TEST(Engine3D, StartsOnTheGraphicsSystemAndReportsLostBuffers) {
    LogCapture log;
    ENGINE3D engine;
    EXPECT_EQ(engine.Startup(nullptr), -1);
    GFXSYS3D gfx(std::make_unique<NullDisplay>());
    ASSERT_EQ(gfx.Init(nullptr, 320, 240, 4, 0, 1), 1);
    ASSERT_EQ(engine.Startup(&gfx), 0);
    EXPECT_TRUE(log.Has("dx3d: 320,240"));
    ASSERT_NE(engine.texmgr(), nullptr);
    engine.layer()->SetCamera({0, 0, 50}, {-90, 0, 180});
    EXPECT_TRUE(engine.layer()->position_changed());
    engine.BeginFrame();
    EXPECT_FALSE(engine.layer()->position_changed());
    MODEL3D model;
    EXPECT_EQ(model.Init({}), -1);
    uint8_t bytes[4] = {1, 2, 3, 4};
    ASSERT_EQ(model.Init(bytes), 0);
    model.SetPosition({1, 2, 3});
    engine.Render(model);
    EXPECT_FALSE(model.changed());
    EXPECT_EQ(engine.rendered(), 1);
    {
        DX3D_3DBUFFER leaked(1);
        engine.Shutdown();
    }
    EXPECT_TRUE(log.Has("3D, 1 lost DX3D_BUFFER3Ds detected!"));
    EXPECT_FALSE(engine.started());
}

}  // namespace
}  // namespace vorlane::media
