// The shell's centred text: the loading picture's caption and the shutdown notice.
#include <gtest/gtest.h>

#include "app/main_program.h"
#include "resources/qntfont.h"
#include "tests/resources/res_test_util.h"

namespace {

// A white 2 × 2 glyph for 'X' in a font 2 pixels high.
TEST(CentredText, DrawsTheFirstColourOverAShadowInTheSecond) {
    vorlane::resources::testing::TempDir dir;
    ASSERT_NO_FATAL_FAILURE(vorlane::resources::testing::WriteSquareFont(dir, 2, 'X'));
    vorlane::resources::QNTFONT_BASE font;
    ASSERT_EQ(font.Load((dir / "f.bcf").c_str(), (dir / "f.txt").c_str()), 0);

    vorlane::media::OSGFX surface;
    surface.Create(10, 6);
    // The shell's colours carry no opacity in their top byte.
    EXPECT_EQ(vorlane::MAIN_DrawTextCentredWith(surface, &font, "X", 0x0FFFFFFF, 0x08888888), 2);
    // The text sits at (4, 2); its shadow one pixel down and right shows
    // where the text does not cover it.
    EXPECT_EQ(surface.GetPixel(4, 2), 0xFFFFFFFFu);
    EXPECT_EQ(surface.GetPixel(5, 3), 0xFFFFFFFFu);
    EXPECT_EQ(surface.GetPixel(6, 4), 0xFF888888u);
    EXPECT_EQ(surface.GetPixel(3, 1), 0u);
}

}  // namespace
