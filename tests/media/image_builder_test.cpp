// The pack tool's image builder: SVG and PNG art into image data.
#include "tools/pack/image_builder.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "media/osgfx.h"

namespace vorlane::pack {
namespace {

class ImageBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vorlane_art_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(ImageBuilderTest, SvgRendersWithStraightAlpha) {
    std::ofstream(Path("a.svg"))
        << "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='2'>"
           "<rect x='0' y='0' width='2' height='2' fill='#ff0000'/>"
           "<rect x='2' y='0' width='2' height='2' fill='#0000ff' fill-opacity='0.5'/></svg>";
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(BuildImageData(Path("a.svg"), bytes, error)) << error;
    media::OSGFX s;
    ASSERT_EQ(s.InitFromImage(bytes), 0);
    EXPECT_EQ(s.width(), 4);
    EXPECT_EQ(s.height(), 2);
    EXPECT_EQ(s.GetPixel(0, 0), 0xFFFF0000u);
    uint32_t half = s.GetPixel(3, 1);
    EXPECT_NEAR(int(half >> 24), 128, 1);
    EXPECT_EQ(half & 0xFFFFFFu, 0x0000FFu);  // colour not darkened by premultiplication

    // Scaled and in the opaque format: the faint half becomes transparent black.
    ASSERT_TRUE(BuildImageData(Path("a.svg") + "?width=8&height=4&format=4", bytes, error))
        << error;
    ASSERT_EQ(s.InitFromImage(bytes), 0);
    EXPECT_EQ(s.width(), 8);
    EXPECT_EQ(s.GetPixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(s.GetPixel(7, 3) >> 24, 0xFFu);  // alpha 128 rounds up to visible
}

TEST_F(ImageBuilderTest, PngLoadsAndScales) {
    cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
    cairo_t* cr = cairo_create(png);
    cairo_set_source_rgba(cr, 0, 1, 0, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(png, Path("g.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(png);
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(BuildImageData(Path("g.png"), bytes, error)) << error;
    media::OSGFX s;
    ASSERT_EQ(s.InitFromImage(bytes), 0);
    EXPECT_EQ(s.GetPixel(1, 1), 0xFF00FF00u);
    ASSERT_TRUE(BuildImageData(Path("g.png") + "?width=6&height=3", bytes, error)) << error;
    ASSERT_EQ(s.InitFromImage(bytes), 0);
    EXPECT_EQ(s.width(), 6);
    EXPECT_EQ(s.height(), 3);
}

TEST_F(ImageBuilderTest, BadSourcesReportWhatIsWrong) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(BuildImageData(Path("missing.svg"), bytes, error));
    EXPECT_NE(error.find("missing.svg"), std::string::npos);
    EXPECT_FALSE(BuildImageData(Path("x.bmp"), bytes, error));
    EXPECT_NE(error.find(".svg or .png"), std::string::npos);
    ImageRecipe recipe;
    EXPECT_FALSE(ParseImageRecipe("a.svg?width=0", recipe, error));
    EXPECT_FALSE(ParseImageRecipe("a.svg?width=5000", recipe, error));
    EXPECT_FALSE(ParseImageRecipe("a.svg?format=2", recipe, error));
    EXPECT_FALSE(ParseImageRecipe("a.svg?colour=red", recipe, error));
    EXPECT_FALSE(ParseImageRecipe("?width=3", recipe, error));
    ASSERT_TRUE(ParseImageRecipe("a.svg?height=7&format=4", recipe, error));
    EXPECT_EQ(recipe.path, "a.svg");
    EXPECT_EQ(recipe.height, 7);
    EXPECT_EQ(recipe.format, 4);
}

}  // namespace
}  // namespace vorlane::pack
