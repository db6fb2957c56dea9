// The shell's centred text: the loading picture's caption and the shutdown notice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/main_program.h"
#include "media/image_data.h"
#include "resources/bcf_library.h"
#include "resources/qntfont.h"

namespace {

namespace fs = std::filesystem;

// A white 2 × 2 glyph for 'X' in a font 2 pixels high.
TEST(CentredText, DrawsTheFirstColourOverAShadowInTheSecond) {
    const fs::path dir =
        fs::temp_directory_path() / ("vorlane_centred_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::vector<uint32_t> pixels(4, 0xFFFFFFFFu);
    vorlane::resources::BcfObjectSource glyph;
    const auto image =
        vorlane::media::EncodeImageData(pixels.data(), 2, 2, vorlane::media::kImageFormat32Alpha);
    glyph.bytes = image;
    std::vector<uint8_t> bcf;
    ASSERT_TRUE(vorlane::resources::BuildBcfImage(std::span(&glyph, 1), bcf));
    std::ofstream(dir / "f.bcf", std::ios::binary)
        .write(reinterpret_cast<const char*>(bcf.data()), std::streamsize(bcf.size()));
    std::ofstream(dir / "f.txt") << "[font_header]\nchar_count = 1\nfont_height = 2\n"
                                    "[character_table]\nobj_000 = 88\n";
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
    fs::remove_all(dir);
}

}  // namespace
