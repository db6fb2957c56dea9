// The pack tool's font builder: a TrueType face into a bitmap font that the
// font code loads and draws.
#include "tools/pack/font_builder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "resources/qntfont.h"

namespace vorlane::pack {
namespace {

const char* kFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class FontBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(kFace))
            GTEST_SKIP() << "no DejaVu face installed";
        dir_ = std::filesystem::temp_directory_path() /
               ("vorlane_ttf_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::filesystem::path dir_;
};

TEST_F(FontBuilderTest, BuildsAFontTheFontCodeLoads) {
    std::string source = std::string(kFace) + "?size=14";
    std::vector<uint8_t> bcf, definition;
    std::string error;
    ASSERT_TRUE(BuildFontBcf(source, bcf, error)) << error;
    ASSERT_TRUE(BuildFontDefinition(source, definition, error)) << error;
    Write("f.bcf", bcf);
    Write("f.txt", definition);

    resources::QNTFONT_BASE font;
    ASSERT_EQ(font.Load(Path("f.bcf").c_str(), Path("f.txt").c_str()), 0);
    EXPECT_GE(font.font_height, 14);
    EXPECT_LE(font.font_height, 20);
    EXPECT_LT(font.CharWidth('i'), font.CharWidth('W'));
    EXPECT_GT(font.CharWidth(' '), 0);
    EXPECT_GT(font.CharWidth(0xE9), 0);  // Latin-1 e acute has a glyph
    // Characters below 32 fall back to the error glyph, the question mark.
    EXPECT_EQ(font.CharWidth('\t'), font.CharWidth('?'));

    media::OSGFX target;
    target.Create(200, 20);
    target.Clear(0xFF000000u);
    int advance = font.DrawText(&target, 0, 0, "Hello", 0);
    EXPECT_EQ(advance, font.TextWidth("Hello", 0));
    int lit = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < advance; ++x) lit += (target.GetPixel(x, y) & 0xFF) > 128;
    EXPECT_GT(lit, 20);
}

TEST_F(FontBuilderTest, MonoGlyphsAreOpaqueOrTransparent) {
    FontRecipe recipe;
    std::string error;
    ASSERT_TRUE(ParseFontRecipe(std::string(kFace) + "?size=10&mono=1", recipe, error)) << error;
    BitmapFont font;
    ASSERT_TRUE(RenderBitmapFont(recipe, font, error)) << error;
    ASSERT_EQ(font.glyphs.size(), 224u);
    media::OSGFX glyph;
    ASSERT_EQ(glyph.InitFromImage(font.glyphs['M' - 32]), 0);
    int opaque = 0;
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x) {
            uint32_t a = glyph.GetPixel(x, y) >> 24;
            ASSERT_TRUE(a == 0 || a == 255);
            opaque += a == 255;
        }
    EXPECT_GT(opaque, 5);
    std::string text = FontDefinitionText(font);
    EXPECT_NE(text.find("char_count = 224\n"), std::string::npos);
    EXPECT_NE(text.find("obj_223 = 255\n"), std::string::npos);
    EXPECT_NE(text.find("error_char = 31\n"), std::string::npos);
}

TEST(FontRecipes, BadSettingsAndFaces) {
    FontRecipe recipe;
    std::string error;
    EXPECT_FALSE(ParseFontRecipe("f.ttf?size=3", recipe, error));
    EXPECT_FALSE(ParseFontRecipe("f.ttf?size=abc", recipe, error));
    EXPECT_FALSE(ParseFontRecipe("f.ttf?mono=2", recipe, error));
    EXPECT_FALSE(ParseFontRecipe("f.ttf?bold=1", recipe, error));
    EXPECT_FALSE(ParseFontRecipe("", recipe, error));
    BitmapFont font;
    ASSERT_TRUE(ParseFontRecipe("/nonexistent/face.ttf", recipe, error));
    EXPECT_FALSE(RenderBitmapFont(recipe, font, error));
    EXPECT_NE(error.find("/nonexistent/face.ttf"), std::string::npos);
}

}  // namespace
}  // namespace vorlane::pack
