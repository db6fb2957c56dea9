// A test screen with every widget kind, drawn once with primitives and once
// with pictures in every slot the widgets use. With VORLANE_GUI_SCREENSHOT_DIR
// set, both frames are written there as BMP files for a look by eye.
#include <cstdlib>
#include <string>

#include "gui_test_support.h"

using namespace guitest;
using namespace vorlane::gui;

namespace {

class ScreenshotTest : public GuiTest {
  protected:
    void BuildScreen() {
        auto* frame = AddTo<GUI_FRAME>(top(), 10, 10, 300, 300);
        auto* button = AddTo<GUI_BUTTON>(frame, 10, 10, 120, 24);
        button->SetText("Login");
        auto* pressed = AddTo<GUI_BUTTON>(frame, 140, 10, 120, 24);
        pressed->SetText("Pressed");
        auto* check = AddTo<GUI_CHECKBOX>(frame, 10, 44, 120, 16);
        check->SetText("Remember");
        check->SetChecked(true);
        auto* radio_on = AddTo<GUI_RADIO>(frame, 10, 70, 100, 16);
        radio_on->SetText("Red");
        radio_on->SetState(1);
        auto* radio_off = AddTo<GUI_RADIO>(frame, 120, 70, 100, 16);
        radio_off->SetText("Blue");
        auto* look = AddTo<GUI_RADIO>(frame, 230, 66, 60, 24);
        look->SetButtonLook(1);
        look->SetText("Tab");
        auto* label = AddTo<GUI_TEXT>(frame, 10, 100, 280, 12);
        label->SetText("Centred label");
        label->SetState(1);
        input_ = AddTo<GUI_INPUTBOX>(frame, 10, 120, 180, 20);
        input_->SetText("player one");
        auto* password = AddTo<GUI_INPUTBOX>(frame, 10, 146, 180, 20);
        password->SetText("secret");
        password->SetMasked(true);
        auto* bar = AddTo<GUI_SCROLLBAR>(frame, 10, 176, 180, 16);
        bar->SetRange(10);
        bar->SetVisibleCount(3);
        bar->SetPosition(4);
        auto* vbar = AddTo<GUI_SCROLLBAR>(frame, 270, 100, 16, 180);
        vbar->SetRange(5);
        vbar->SetPosition(1);
        auto* sunken = AddTo<GUI_FRAME>(frame, 200, 120, 60, 60);
        sunken->SetState(2);

        auto* list = AddTo<GUI_LIST>(top(), 330, 10, 200, 120);
        for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf",
                                 "Hotel", "India", "Juliet", "Kilo"}) {
            list->AddItem(name, true, name[0] == 'E' ? 0xFFFF8040 : 0);
        }
        list->SetSelection(2);
        auto* chat = AddTo<GUI_LIST>(top(), 330, 140, 200, 100);
        chat->SetDisplayOnly(true);
        for (int i = 0; i < 6; ++i) {
            chat->AddItem(
                ("message " + std::to_string(i) + " with a long tail that wraps").c_str());
        }
        auto* combo = AddTo<GUI_COMBOBOX>(top(), 330, 260, 200, 20);
        combo->list()->SetSize(200, 60);
        for (const char* c : {"Red", "Green", "Blue"}) combo->list()->AddItem(c);
        auto* tip = AddTo<GUI_BUTTON>(top(), 330, 300, 120, 24);
        tip->SetText("Tooltip");
        tip->SetTooltip("A tooltip~nof two lines");

        Click(40, 140);   // the input box gets the focus (and a cursor)
        Click(340, 270);  // open the combobox
        g_now.Advance(1000);
        Move(160, 30);  // press `pressed` and hold it
        Press(160, 30);
        Move(360, 310);  // rest over the tooltip button
        g_now.Advance(1000);
    }

    // Procedural pictures for every widget slot: a colour per slot with a
    // darker border, so that picture and primitive frames differ everywhere.
    void SetPictures(GUI_STYLE* style) {
        for (int slot : {0,  1,  2,  3,  16, 17, 18, 19, 20, 21, 22, 23, 24,
                         26, 27, 28, 29, 30, 31, 34, 35, 36, 37, 38, 39}) {
            const int w = slot >= 16 && slot <= 19 ? 16 : 32;
            const int h = slot == 22 || slot == 23 ? 14 : 16;
            auto* picture = new MemoryPicture(w, h);
            const uint32_t base = 0xFF000000u | uint32_t((slot * 53) % 200 + 40) << 16 |
                                  uint32_t((slot * 97) % 200 + 40) << 8 |
                                  uint32_t((slot * 31) % 200 + 40);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                    picture->SetPixel(x, y, edge ? (base >> 1 & 0x7F7F7F) | 0xFF000000u : base);
                }
            }
            style->SetGfx(slot, picture, true);
        }
    }

    void Render(MemoryCanvas& canvas) {
        canvas.Clear(0xFF203040);
        control_->Draw(canvas);
        control_->DrawTooltip(canvas);
    }

    void Save(const MemoryCanvas& canvas, const char* name) {
        const char* dir = std::getenv("VORLANE_GUI_SCREENSHOT_DIR");
        if (!dir)
            return;
        EXPECT_TRUE(canvas.SaveBmp((std::string(dir) + "/" + name).c_str()));
    }

    GUI_INPUTBOX* input_ = nullptr;
};

TEST_F(ScreenshotTest, EveryWidgetWithPrimitivesAndWithPictures) {
    BuildScreen();
    MemoryCanvas primitives(640, 480), pictures(640, 480);
    Render(primitives);
    Save(primitives, "gui_primitives.bmp");

    // The same screen with pictures: the root's style gets them and every
    // object inherits a copy.
    auto style = top()->GetStyle()->Clone();
    SetPictures(style.get());
    top()->SetStyle(std::move(style));
    Render(pictures);
    Save(pictures, "gui_pictures.bmp");

    // The frame is drawn from slot 3 in the second render.
    const uint32_t frame_inside = top()->GetStyle()->GetGfx(3)->Pixels()[13 * 32 + 16];
    EXPECT_NE(primitives.Pixel(160, 260), frame_inside);
    EXPECT_EQ(pictures.Pixel(160, 260), frame_inside);
    // The tooltip is up in both.
    const auto* tip_style = static_cast<GUI_STYLE_OLD_PRIMITIVE*>(top()->GetStyle());
    int tooltip_pixels = 0;
    for (int y = 280; y < 360; ++y) {
        for (int x = 360; x < 640; ++x) {
            tooltip_pixels += pictures.Pixel(x, y) == (tip_style->tooltip_back() | 0xFF000000u);
        }
    }
    EXPECT_GT(tooltip_pixels, 100);
}

}  // namespace
