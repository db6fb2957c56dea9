// Bitmap fonts: character mapping, widths, drawing and the font control.
#include "resources/qntfont.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "media/image_data.h"
#include "resources/bcf_library.h"
#include "resources/filectrl.h"
#include "tests/support/log_capture.h"

namespace vorlane::resources {
namespace {

using media::OSGFX;

// A glyph image of a width and height, every pixel `colour`.
std::vector<uint8_t> GlyphImage(int w, int h, uint32_t colour) {
    std::vector<uint32_t> px(size_t(w) * h, colour);
    return media::EncodeImageData(px.data(), w, h, media::kImageFormat32Alpha);
}

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vorlane_fonts_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Glyph objects of the given widths (height 4), glyph i coloured 0xFF0000i0.
    void WriteBcf(const std::string& name, const std::vector<int>& widths) {
        std::vector<std::vector<uint8_t>> images;
        for (size_t i = 0; i < widths.size(); ++i)
            images.push_back(GlyphImage(widths[i], 4, 0xFF000000u | 0x10u * uint32_t(i + 1)));
        std::vector<BcfObjectSource> sources(images.size());
        for (size_t i = 0; i < images.size(); ++i) sources[i].bytes = images[i];
        std::vector<uint8_t> out;
        ASSERT_TRUE(BuildBcfImage(sources, out));
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
    }
    void WriteText(const std::string& name, const std::string& text) {
        std::ofstream(Path(name)) << text;
    }
    bool Logged(const std::string& text) const { return capture_.Has(text); }

    std::filesystem::path dir_;
    vorlane::testing::LogCapture capture_;
};

TEST_F(FontTest, MapsCharactersAndFallsBackToTheErrorGlyph) {
    WriteBcf("f.bcf", {3, 5, 7});
    WriteText("f.txt",
              "[font_header]\nchar_count = 2\nfont_height = 12\nerror_char = 2\n"
              "[character_table]\nobj_000 = 65\nobj_001 = 66\n");
    QNTFONT_BASE font;
    ASSERT_EQ(font.Load(Path("f.bcf").c_str(), Path("f.txt").c_str()), 0);
    EXPECT_EQ(font.font_height, 12);
    EXPECT_EQ(font.CharWidth('A'), 3);
    EXPECT_EQ(font.CharWidth('B'), 5);
    EXPECT_EQ(font.CharWidth('C'), 7);  // unmapped: the error glyph
    EXPECT_EQ(font.CharWidth(0), 7);
    EXPECT_EQ(font.TextWidth("AB", 0), 8);
    // With spacing 2 a two-character text is both widths + 4.
    EXPECT_EQ(font.TextWidth("AB", 2), 12);
    // A tilde and the 10 characters after it have no width.
    EXPECT_EQ(font.TextWidthMarkup("~0123456789A", 1), font.TextWidth("A", 1));
    EXPECT_EQ(font.TextWidthMarkup("~01", 1), 0);  // short markup at the end
    EXPECT_EQ(font.TextWidth(nullptr, 1), 0);

    OSGFX target;
    target.Create(40, 4);
    EXPECT_EQ(font.DrawText(&target, 1, 0, "AB", 1), 3 + 1 + 5 + 1);
    EXPECT_EQ(target.GetPixel(1, 0), 0xFF000010u);  // glyph 0
    EXPECT_EQ(target.GetPixel(4, 0), 0u);           // spacing column
    EXPECT_EQ(target.GetPixel(5, 0), 0xFF000020u);  // glyph 1
    EXPECT_FALSE(target.locked());
}

TEST_F(FontTest, LaterObjectWinsAndCodesOutsideTheRangeAreIgnored) {
    WriteBcf("f.bcf", {2, 4, 6});
    WriteText("f.txt",
              "[font_header]\nchar_count = 3\nerror_char = 0\n"
              "[character_table]\nobj_000 = 65\nobj_001 = 65\nobj_002 = 256\n");
    QNTFONT_BASE font;
    ASSERT_EQ(font.Load(Path("f.bcf").c_str(), Path("f.txt").c_str()), 0);
    EXPECT_EQ(font.CharWidth('A'), 4);
    EXPECT_EQ(font.CharWidth(255), 2);  // 256 changed nothing: error glyph
    EXPECT_EQ(font.font_height, 0);     // missing values read as 0
}

TEST_F(FontTest, DrawingStopsBeforeTheRightEdge) {
    WriteBcf("f.bcf", {4});
    WriteText("f.txt", "[font_header]\nchar_count = 1\n[character_table]\nobj_000 = 88\n");
    QNTFONT_BASE font;
    ASSERT_EQ(font.Load(Path("f.bcf").c_str(), Path("f.txt").c_str()), 0);
    OSGFX target;
    target.Create(10, 4);
    // 4 + 1 + 4 fits at 0 and 5; the third glyph would end at 14.
    EXPECT_EQ(font.DrawText(&target, 0, 0, "XXX", 1), 10);
    EXPECT_EQ(target.GetPixel(9, 0), 0u);
    // A coloured draw tints the glyph.
    OSGFX tinted;
    tinted.Create(4, 4);
    WriteBcf("w.bcf", {4});
    QNTFONT_BASE white;
    std::vector<uint32_t> px(16, 0xFFFFFFFFu);
    auto image = media::EncodeImageData(px.data(), 4, 4, media::kImageFormat32Alpha);
    BcfObjectSource source;
    source.bytes = image;
    std::vector<uint8_t> bcf;
    ASSERT_TRUE(BuildBcfImage(std::span(&source, 1), bcf));
    std::ofstream(Path("w.bcf"), std::ios::binary)
        .write(reinterpret_cast<char*>(bcf.data()), std::streamsize(bcf.size()));
    ASSERT_EQ(white.Load(Path("w.bcf").c_str(), Path("f.txt").c_str()), 0);
    EXPECT_EQ(white.DrawTextEx(&tinted, 0, 0, 0xFF00FF00u, "X", 0), 4);
    EXPECT_EQ(tinted.GetPixel(2, 2), 0xFF00FF00u);
    // Nothing for a null surface or text.
    EXPECT_EQ(font.DrawText(nullptr, 0, 0, "X", 0), 0);
    EXPECT_EQ(font.DrawText(&target, 0, 0, nullptr, 0), 0);
}

TEST_F(FontTest, LoadFailures) {
    WriteBcf("f.bcf", {4});
    QNTFONT_BASE font;
    EXPECT_EQ(font.Load(Path("missing.bcf").c_str(), Path("f.txt").c_str()), -1);
    EXPECT_TRUE(Logged("QNTFONT_BASE: Cannot load font_lib '" + Path("missing.bcf") + "'."));
    EXPECT_EQ(font.Load(Path("f.bcf").c_str(), Path("missing.txt").c_str()), -1);
    EXPECT_TRUE(Logged("QNTFONT_BASE: Cannot load font_res."));
    EXPECT_EQ(font.CharWidth('X'), 0);
    // A glyph object that is not an image fails the whole glyph library.
    std::vector<uint8_t> junk = {1, 2, 3, 4, 5};
    BcfObjectSource source;
    source.bytes = junk;
    std::vector<uint8_t> bcf;
    ASSERT_TRUE(BuildBcfImage(std::span(&source, 1), bcf));
    std::ofstream(Path("bad.bcf"), std::ios::binary)
        .write(reinterpret_cast<char*>(bcf.data()), std::streamsize(bcf.size()));
    WriteText("f.txt", "[font_header]\nchar_count = 1\n");
    EXPECT_EQ(font.Load(Path("bad.bcf").c_str(), Path("f.txt").c_str()), -1);
    // A char_count beyond the glyph objects maps only the ones that exist.
    WriteText("big.txt", "[font_header]\nchar_count = 100000\n[character_table]\nobj_000 = 65\n");
    EXPECT_EQ(font.Load(Path("f.bcf").c_str(), Path("big.txt").c_str()), 0);
    EXPECT_EQ(font.CharWidth('A'), 4);
}

TEST_F(FontTest, ControlLoadsFontsAtTheNextFreeNumbers) {
    // Files 0..5: font a (present), font b (definition missing), font c (glyphs missing).
    WriteBcf("a.bcf", {3});
    WriteText("a.txt", "[font_header]\nchar_count = 1\n[character_table]\nobj_000 = 65\n");
    WriteText("c.txt", "[font_header]\nchar_count = 1\n");
    WriteBcf("d.bcf", {9});
    WriteText("d.txt", "[font_header]\nchar_count = 1\n[character_table]\nobj_000 = 65\n");
    FILECTRL files;
    FILECTRL_ENTRY table[8];
    const char* names[8] = {"a.bcf", "a.txt", "b.bcf", "b.txt", "c.bcf", "c.txt", "d.bcf", "d.txt"};
    for (int i = 0; i < 8; ++i) std::snprintf(table[i].name, sizeof table[i].name, "%s", names[i]);
    ASSERT_EQ(files.AddSearchPath((dir_.string() + "/").c_str()), 0);
    ASSERT_EQ(files.SetFileTable(table, 8), 0);

    QNTFONTCTRL_BASE control(3);
    ASSERT_EQ(control.valid, 1);
    const uint16_t fonts[] = {4, 0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(control.LoadFonts(files, fonts), 0);
    ASSERT_NE(control.GetFont(0), nullptr);
    EXPECT_EQ(control.GetFont(0)->CharWidth('A'), 3);
    ASSERT_NE(control.GetFont(1), nullptr);  // font d moved up to number 1
    EXPECT_EQ(control.GetFont(1)->CharWidth('A'), 9);
    EXPECT_EQ(control.GetFont(2), nullptr);
    EXPECT_EQ(control.GetFont(-1), nullptr);
    EXPECT_EQ(control.GetFont(3), nullptr);
    control.RemoveFont(0);
    EXPECT_EQ(control.GetFont(0), nullptr);
    control.RemoveAll();
    EXPECT_EQ(control.GetFont(1), nullptr);

    EXPECT_EQ(kProgramFontTable[0], 10);
    EXPECT_EQ(kProgramFontTable[1], 5);
    EXPECT_EQ(kProgramFontTable[20], 24);
}

}  // namespace
}  // namespace vorlane::resources
