// The toolkit over the graphics layer: drawing into a surface, pictures from
// image data and input records of the input layer.
#include "gui/gui_media.h"
#include "gui_test_support.h"

using namespace guitest;
using namespace vorlane::gui;

namespace {

class MediaBindingTest : public GuiTest {};

TEST_F(MediaBindingTest, DrawsIntoASurface) {
    vorlane::media::OSGFX surface;
    ASSERT_EQ(surface.Create(200, 100), 0);
    auto* frame = AddTo<GUI_FRAME>(top(), 10, 10, 50, 50);
    const auto* style = static_cast<GUI_STYLE_OLD_PRIMITIVE*>(frame->GetStyle());
    {
        OsgfxCanvas canvas(surface);
        EXPECT_TRUE(surface.locked());
        control_->Draw(canvas);
    }
    EXPECT_FALSE(surface.locked());
    EXPECT_EQ(surface.GetPixel(10, 10), style->light_colour() | 0xFF000000u);
    EXPECT_EQ(surface.GetPixel(59, 59), style->dark_colour() | 0xFF000000u);
    EXPECT_EQ(surface.GetPixel(100, 80), 0u);  // untouched
}

TEST_F(MediaBindingTest, PicturesFromImageData) {
    // A 2 x 1 image of format 5 (alpha, red, green, blue per pixel).
    std::vector<uint8_t> image(36 + 8, 0);
    image[0] = 36;
    image[4] = 2;
    image[5] = 5;
    image[16] = 2;
    image[18] = 1;
    image[20] = 8;
    const uint8_t pixels[8] = {255, 255, 0, 0, 255, 0, 0, 255};
    std::copy(pixels, pixels + 8, image.begin() + 36);
    auto picture = LoadPicture(image.data(), image.size());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), 2);
    MemoryCanvas canvas(4, 4, 0xFF000000);
    canvas.DrawPicture(*picture, 0, 0, 2, 1);
    EXPECT_EQ(canvas.Pixel(0, 0), picture->Pixels()[0] | 0xFF000000u);
    EXPECT_EQ(LoadPicture(image.data(), 10), nullptr);  // cut short: no picture
}

TEST_F(MediaBindingTest, InputRecordsOfTheInputLayer) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    IOEVE move;
    move.class_flags = kEveMouseInput;
    move.x = 20;
    move.y = 20;
    move.message = WM_MOUSEMOVE;
    control_->Process(move);
    IOEVE press = move;
    press.button_flags = kButtonPressed | kButtonLeft;
    press.message = WM_LBUTTONDOWN;
    EXPECT_TRUE(control_->Process(press));
    EXPECT_EQ(button->state(), 2);
    IOEVE wheel = move;
    wheel.class_flags = kEveWheel;
    wheel.button_flags = kButtonMiddle | kButtonReleased;
    EXPECT_FALSE(control_->Process(wheel));  // wheels are not translated
    EXPECT_EQ(button->state(), 2);
}

}  // namespace

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "resources/bcf_library.h"

namespace {

// A glyph image of format 5: w x h pixels, white where `ink` is set.
std::vector<uint8_t> GlyphImage(int w, int h, bool ink) {
    std::vector<uint8_t> image(36 + size_t(w * h * 4), 0);
    image[0] = 36;
    image[4] = 2;
    image[5] = 5;
    image[16] = uint8_t(w);
    image[18] = uint8_t(h);
    image[20] = uint8_t(w * 4);
    for (int i = 0; i < w * h; ++i) {
        uint8_t* p = &image[36 + size_t(i) * 4];
        p[0] = ink ? 255 : 0;
        p[1] = p[2] = p[3] = 255;
    }
    return image;
}

TEST_F(MediaBindingTest, BitmapFontsDrawInTheTextColour) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("gui_font_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const auto blank = GlyphImage(3, 6, false);
    const auto solid = GlyphImage(5, 6, true);
    std::vector<vorlane::resources::BcfObjectSource> objects(2);
    objects[0].bytes = blank;
    objects[1].bytes = solid;
    std::vector<uint8_t> bcf;
    ASSERT_TRUE(vorlane::resources::BuildBcfImage(objects, bcf));
    const std::string bcf_path = (dir / "font.bcf").string();
    const std::string txt_path = (dir / "font.txt").string();
    std::ofstream(bcf_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bcf.data()), std::streamsize(bcf.size()));
    std::ofstream(txt_path) << "[font_header]\nchar_count = 2\nfont_height = 8\nerror_char = 0\n"
                               "[character_table]\nobj_000 = 32\nobj_001 = 65\n";
    vorlane::resources::QNTFONT_BASE font;
    const int loaded = font.Load(bcf_path.c_str(), txt_path.c_str());
    fs::remove_all(dir);
    ASSERT_EQ(loaded, 0);

    QntGuiFont gui_font(&font);
    EXPECT_EQ(gui_font.Height(), 8);
    EXPECT_EQ(gui_font.CharWidth('A'), 5);
    EXPECT_EQ(gui_font.TextWidth("A A"), 13);
    MemoryCanvas canvas(12, 8, 0xFF000000);
    EXPECT_EQ(gui_font.DrawText(canvas, 0, 0, "AAA", 0xFF00FF00), 10);  // the third would cross
    EXPECT_EQ(canvas.Pixel(0, 0), 0xFF00FF00u);
    EXPECT_EQ(canvas.Pixel(9, 5), 0xFF00FF00u);
    EXPECT_EQ(canvas.Pixel(10, 0), 0xFF000000u);
    QntGuiFont none(nullptr);
    EXPECT_EQ(none.DrawText(canvas, 0, 0, "A", 0xFFFFFFFF), 0);
}

}  // namespace

namespace {

// A label with room for two lines wraps between words; one a line high does not.
TEST_F(MediaBindingTest, TallLabelsWrapTheirText) {
    auto rows_drawn = [this](int height) {
        auto* label = AddTo<GUI_TEXT>(top(), 0, 0, 40, height);
        label->SetText("AAAA BBBB");
        MemoryCanvas canvas(64, 40, 0xFF000000);
        control_->Draw(canvas);
        top()->DeleteObject(label);
        int lowest = -1;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 64; ++x)
                if (canvas.Pixel(x, y) != 0xFF000000u)
                    lowest = y;
        return lowest;
    };
    EXPECT_LT(rows_drawn(10), 10);  // one line: "BBBB" runs on to the right
    EXPECT_GE(rows_drawn(20), 10);  // two lines
}

}  // namespace
