// The toolkit over the graphics layer: drawing into a surface, pictures from
// image data and input records of the input layer.
#include "gui/gui_media.h"
#include "gui_test_support.h"

#ifdef VORLANE_GUI_HAS_MEDIA

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
    move.class_flags = kEveMouseButton;
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
    wheel.button_flags = 34;
    EXPECT_FALSE(control_->Process(wheel));  // wheels are not translated
    EXPECT_EQ(button->state(), 2);
}

}  // namespace

#endif
