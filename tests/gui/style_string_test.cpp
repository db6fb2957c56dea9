// GUI strings (markup, layout, drawing) and styles (slots, cloning, fonts and
// the primitive drawings, checked on the pixels of an in-memory canvas), and
// the palette modes the styles draw with.
//
// [SECTION] Strings
// [SECTION] Styles
// [SECTION] Primitive drawings
// [SECTION] Palettes
#include "gui_test_support.h"
#include "tests/support/log_capture.h"

using namespace guitest;
using namespace vorlane::gui;

namespace {

// [SECTION] Strings

TEST(GuiStringTest, MarkupParsing) {
    GUI_STRING s("A~nB");
    EXPECT_EQ(s.Processed(), "AB");
    EXPECT_EQ(s.Breaks(), (std::vector<uint16_t>{1}));
    EXPECT_EQ(s.Marker(), -1);

    GUI_STRING escapes("~x~~y\nz");
    EXPECT_EQ(escapes.Processed(), "x~yz");
    EXPECT_EQ(escapes.Breaks(), (std::vector<uint16_t>{3}));

    GUI_STRING marker(
        "AB\xA7"
        "CD");
    EXPECT_EQ(marker.Processed(), "ABCD");
    EXPECT_EQ(marker.Marker(), 2);

    GUI_STRING trailing("abc~");  // a lone tilde at the end stays
    EXPECT_EQ(trailing.Processed(), "abc~");

    trailing.Clear();
    EXPECT_EQ(trailing.Processed(), "");
    EXPECT_EQ(trailing.Marker(), -1);
}

TEST(GuiStringTest, SetFromTextSource) {
    struct Source : GUI_TEXT_SOURCE {
        const char* GetText(int id) const override { return id == 3 ? "three" : nullptr; }
    } source;
    GUI_STRING s;
    s.Set("", &source, 3);
    EXPECT_EQ(s.Processed(), "three");
    s.Set("own", &source, 3);
    EXPECT_EQ(s.Processed(), "own");
    s.Set(nullptr, &source, 4);
    EXPECT_EQ(s.Processed(), "");
}

TEST(GuiStringTest, LayoutBreaksAtForcedBreaksBlanksAndLongWords) {
    BuiltinFont font(8, 10);
    GUI_STRING two("A~nB");
    const auto& lines = two.Layout(&font, 100, 100);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].start, 0);
    EXPECT_EQ(lines[0].length, 1);
    EXPECT_EQ(lines[1].start, 1);
    EXPECT_EQ(lines[1].length, 1);

    GUI_STRING words("hello world");
    const auto& w = words.Layout(&font, 60, 100);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(words.Processed().substr(size_t(w[0].start), size_t(w[0].length)), "hello ");
    EXPECT_EQ(words.Processed().substr(size_t(w[1].start), size_t(w[1].length)), "world");
    EXPECT_EQ(w[1].width, 40);

    GUI_STRING long_word("abcdefghij");
    const auto& l = long_word.Layout(&font, 40, 100);
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].length, 5);
    EXPECT_EQ(l[1].start, 5);

    // A glyph wider than the width still makes progress: one per line.
    GUI_STRING narrow("abc");
    EXPECT_EQ(narrow.Layout(&font, 3, 100).size(), 3u);

    GUI_STRING empty("");
    EXPECT_EQ(empty.Layout(&font, 40, 100).size(), 1u);
}

TEST(GuiStringTest, LayoutIsCachedPerWidth) {
    BuiltinFont font(8, 10);
    GUI_STRING s("aaaa bbbb cccc");
    EXPECT_EQ(s.Layout(&font, 1000, 10).size(), 1u);
    EXPECT_EQ(s.Layout(&font, 1000, 10).size(), 1u);
    EXPECT_EQ(s.Layout(&font, 48, 10).size(), 3u);
    s.Set("x");
    EXPECT_EQ(s.Layout(&font, 48, 10).size(), 1u);
}

TEST(GuiStringTest, DrawStopsBelowMaxHeightAndMarksTheCursor) {
    BuiltinFont font(8, 10);
    MemoryCanvas canvas(100, 100, 0xFF000000);
    GUI_STRING lines("a~nb~nc~nd");
    EXPECT_EQ(lines.Draw(&font, canvas, 0, 0, 0xFFFFFFFF, 100, 25), 3);
    EXPECT_EQ(lines.Draw(&font, canvas, 0, 0, 0xFFFFFFFF, 100, 0), 4);

    // The marker before the third character puts a block under it.
    MemoryCanvas marked(100, 20, 0xFF000000);
    GUI_STRING s(
        "AB\xA7"
        "CD");
    s.DrawLine(&font, marked, 0, 0, 0xFFFFFFFF, true);
    int block = 0, elsewhere = 0;
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint32_t p = marked.Pixel(x, y);
            const bool tinted = p != 0xFF000000 && p != 0xFFFFFFFF;
            (x >= 16 && x < 24 ? block : elsewhere) += tinted;
        }
    }
    EXPECT_GT(block, 40);
    EXPECT_EQ(elsewhere, 0);
}

// Arbitrary bytes (texts come from data files): the parse keeps every marker
// and break inside the text, and the lines tile it in order for any width.
TEST(GuiStringTest, ArbitraryBytesLayOutConsistently) {
    BuiltinFont font(6, 10);
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const char alphabet[] = {'a', ' ', '~', 'n', '\n', char(0xA7), 'x', char(0xFF), ' ', 'b'};
    for (int round = 0; round < 500; ++round) {
        std::string text;
        const int length = int(next() % 60);
        for (int i = 0; i < length; ++i) text.push_back(alphabet[next() % sizeof alphabet]);
        GUI_STRING s(text.c_str());
        const int32_t n = int32_t(s.Processed().size());
        EXPECT_LE(s.Marker(), n);
        for (uint16_t b : s.Breaks()) EXPECT_LE(b, n);
        const int width = int(next() % 80);
        const auto& lines = s.Layout(&font, width, 100);
        ASSERT_FALSE(lines.empty());
        int32_t expected_start = 0;
        for (const auto& line : lines) {
            EXPECT_EQ(line.start, expected_start) << text;
            EXPECT_GE(line.length, 0);
            expected_start = line.start + line.length;
        }
        EXPECT_EQ(expected_start, n) << text;
    }
}

// [SECTION] Styles

TEST(GuiStyleTest, CloneSharesPicturesAndColours) {
    GUI_STYLE_OLD_PRIMITIVE style;
    auto* picture = new MemoryPicture(4, 4, 0xFFFF0000);
    style.SetGfx(5, picture, true);
    style.SetResourceName(7, "menu.gfx.button");
    style.SetTextColour(0, 0, 0);
    style.SetBackColour(0x7F000000);
    EXPECT_EQ(style.text_colour(), 0xFF010101u);
    EXPECT_EQ(style.back_colour(), 0x7F010101u);
    auto clone = style.Clone();
    EXPECT_EQ(clone->GetGfx(5), picture);
    EXPECT_STREQ(clone->GetResourceName(7), "menu.gfx.button");
    EXPECT_EQ(static_cast<GUI_STYLE_OLD_PRIMITIVE*>(clone.get())->text_colour(), 0xFF010101u);
    EXPECT_FALSE(clone->IsLocked());
    EXPECT_EQ(clone->GetPictureEntry(44), nullptr);
    EXPECT_EQ(clone->GetPictureEntry(-1), nullptr);
    clone->SetGfx(44, picture, false);  // out of range: ignored
    // Removing the picture from the original keeps the clone's.
    style.SetGfx(5, nullptr, false);
    EXPECT_EQ(style.GetGfx(5), nullptr);
    EXPECT_EQ(clone->GetGfx(5), picture);
    EXPECT_EQ(static_cast<const MemoryPicture*>(clone->GetGfx(5))->Pixel(0, 0), 0xFFFF0000u);
}

class StyleOnObjectsTest : public GuiTest {};

TEST_F(StyleOnObjectsTest, SameStyleOnTwoObjectsGivesACopy) {
    auto* first = AddTo<GUI_BUTTON>(top(), 0, 0, 10, 10);
    auto* second = AddTo<GUI_BUTTON>(top(), 0, 0, 10, 10);
    auto style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    style->SetGfx(0, new MemoryPicture(2, 2), true);
    first->SetStyle(std::move(style));
    GUI_STYLE* used = first->GetStyle();
    EXPECT_TRUE(used->IsLocked());
    EXPECT_EQ(used->Owner(), first);
    EXPECT_TRUE(first->TestFlags(GUI_FLAG_OWN_STYLE));
    second->CopyStyle(*used);
    EXPECT_NE(second->GetStyle(), used);
    EXPECT_EQ(second->GetStyle()->GetGfx(0), used->GetGfx(0));
    EXPECT_TRUE(top()->DeleteObject(first));
    ASSERT_NE(second->GetStyle()->GetGfx(0), nullptr);
    EXPECT_EQ(second->GetStyle()->GetGfx(0)->Width(), 2);
}

TEST_F(StyleOnObjectsTest, ChildrenInheritUntilTheyHaveTheirOwn) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 100, 100);
    auto* child = AddTo<GUI_BUTTON>(frame, 0, 0, 10, 10);
    auto* own = AddTo<GUI_BUTTON>(frame, 0, 0, 10, 10);
    auto own_style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    own_style->SetTextColour(1, 2, 3);
    own->SetStyle(std::move(own_style));
    auto style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    style->SetTextColour(10, 20, 30);
    frame->SetStyle(std::move(style));
    auto text_of = [](GUI_OBJECT* o) {
        return static_cast<GUI_STYLE_OLD_PRIMITIVE*>(o->GetStyle())->text_colour();
    };
    EXPECT_EQ(text_of(child), 0xFF0A141Eu);
    EXPECT_NE(child->GetStyle(), frame->GetStyle());
    EXPECT_EQ(text_of(own), 0xFF010203u);
    EXPECT_GE(EventLog::Count(child, GEVE_NEW_STYLE), 1);
    // A picture set later reaches the owner as a new-style event.
    EventLog::Entries().clear();
    frame->GetStyle()->SetGfx(3, new MemoryPicture(1, 1), true);
    EXPECT_EQ(EventLog::Count(frame, GEVE_NEW_STYLE), 1);
}

TEST_F(StyleOnObjectsTest, FontResolutionNeedsTheFontControl) {
    vorlane::testing::LogCapture capture;
    GUI_STYLE_OLD_PRIMITIVE style;
    EXPECT_EQ(style.TextWidth("abc"), 24);
    EXPECT_EQ(style.LineHeight(), 12);
    GUI_STYLE_OLD_PRIMITIVE::SetFonControl(nullptr);
    EXPECT_EQ(style.TextWidth("abc"), 0);
    std::vector<std::string> errors;
    for (const vorlane::testing::LogLine& line : capture.Lines())
        if (line.level == kLogError)
            errors.push_back(line.text);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "GUI_STYLE_OLD_PRIMITIVE(): font control not present!!!");
    BuiltinFont own(5, 9);
    style.SetFont(&own);
    EXPECT_EQ(style.TextWidth("abc"), 15);
    EXPECT_EQ(style.FontHeight(), 9);
}

// [SECTION] Primitive drawings

class DrawingTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        auto style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
        style->SetBackColour(kBack);
        style->SetActiveBackColour(kActiveBack);
        style->SetLightColour(kLight);
        style->SetDarkColour(kDark);
        style->SetFillColour(kFill);
        style->SetTextColour(0x10, 0x20, 0x30);
        style->SetActiveTextColour(0x40, 0x50, 0x60);
        style->SetDisabledTextColour(0x70, 0x80, 0x90);
        style->SetSelectColour(kSelect);
        style->SetPressOffset(2, 3);
        top()->SetStyle(std::move(style));
    }
    void Render() {
        canvas_.Clear(kScreen);
        control_->Draw(canvas_);
    }
    // Top-left-most pixel of `colour` inside a rectangle, or (-1, -1).
    std::pair<int, int> Find(uint32_t colour, int x0, int y0, int x1, int y1) const {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (canvas_.Pixel(x, y) == colour)
                    return {x, y};
            }
        }
        return {-1, -1};
    }
    static constexpr uint32_t kScreen = 0xFF000000, kBack = 0xFF303030, kActiveBack = 0xFF505050,
                              kLight = 0xFFC0C0C0, kDark = 0xFF101010, kFill = 0xFF202020,
                              kSelect = 0xFF0000C0, kText = 0xFF102030, kActiveText = 0xFF405060,
                              kDisabledText = 0xFF708090;
    MemoryCanvas canvas_{320, 240, kScreen};
};

TEST_F(DrawingTest, ButtonBevelAndPressedTextShift) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 60, 30);
    button->SetText("H");
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), kLight);
    EXPECT_EQ(canvas_.Pixel(10, 39), kLight);
    EXPECT_EQ(canvas_.Pixel(69, 10), kLight);  // top edge runs to the corner
    EXPECT_EQ(canvas_.Pixel(69, 39), kDark);
    EXPECT_EQ(canvas_.Pixel(40, 39), kDark);
    EXPECT_EQ(canvas_.Pixel(12, 12), kBack);
    const auto normal = Find(kText, 10, 10, 70, 40);
    ASSERT_NE(normal.first, -1);
    Move(20, 20);
    Press(20, 20);
    ASSERT_EQ(button->state(), 2);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), kDark);  // inverted bevel
    EXPECT_EQ(canvas_.Pixel(69, 39), kLight);
    EXPECT_EQ(canvas_.Pixel(12, 12), kActiveBack);
    const auto pressed = Find(kActiveText, 10, 10, 70, 40);
    EXPECT_EQ(pressed.first, normal.first + 2);
    EXPECT_EQ(pressed.second, normal.second + 3);
    // Disabled: disabled text colour.
    Release(20, 20);
    button->Enable(false);
    Render();
    EXPECT_NE(Find(kDisabledText, 10, 10, 70, 40).first, -1);
}

TEST_F(DrawingTest, ButtonPictureReplacesPrimitives) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 40, 20);
    button->GetStyle()->SetGfx(0, new MemoryPicture(20, 10, 0xFFFF0000), true);
    button->GetStyle()->SetGfx(2, new MemoryPicture(20, 10, 0xFF00FF00), true);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), 0xFFFF0000u);
    EXPECT_EQ(canvas_.Pixel(49, 29), 0xFFFF0000u);  // stretched over the rectangle
    EXPECT_EQ(canvas_.Pixel(50, 30), kScreen);
    Move(20, 20);
    Press(20, 20);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), 0xFF00FF00u);
    Move(200, 200);  // still pressed, pointer away: the pressed picture stays
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), 0xFF00FF00u);
    Release(200, 200);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), 0xFFFF0000u);  // no highlight picture: normal
}

TEST_F(DrawingTest, LaterChildrenAreDrawnOnTop) {
    auto* lower = AddTo<GUI_FRAME>(top(), 0, 0, 40, 40);
    auto* upper = AddTo<GUI_FRAME>(top(), 20, 20, 40, 40);
    lower->GetStyle()->SetGfx(3, new MemoryPicture(1, 1, 0xFFFF0000), true);
    upper->GetStyle()->SetGfx(3, new MemoryPicture(1, 1, 0xFF0000FF), true);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), 0xFFFF0000u);
    EXPECT_EQ(canvas_.Pixel(30, 30), 0xFF0000FFu);
    EXPECT_EQ(lower->abs_x(), 0);
    EXPECT_EQ(upper->abs_y(), 20);
}

TEST_F(DrawingTest, FrameBorders) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 50, 50);
    Render();
    EXPECT_EQ(canvas_.Pixel(0, 0), kLight);
    EXPECT_EQ(canvas_.Pixel(49, 49), kDark);
    EXPECT_EQ(canvas_.Pixel(25, 25), kBack);
    frame->SetState(0);
    Render();
    EXPECT_EQ(canvas_.Pixel(0, 0), kDark);
    EXPECT_EQ(canvas_.Pixel(49, 49), kLight);
    frame->SetState(2);
    Render();
    EXPECT_EQ(canvas_.Pixel(0, 0), kDark);
    EXPECT_EQ(canvas_.Pixel(1, 1), kActiveBack);
    EXPECT_EQ(canvas_.Pixel(49, 49), kDark);
    frame->SetState(7);
    Render();
    EXPECT_EQ(canvas_.Pixel(0, 0), kScreen);
    // An entry in slots 3..11 without a picture draws nothing at all.
    frame->GetStyle()->SetResourceName(5, "x");
    Render();
    EXPECT_EQ(canvas_.Pixel(25, 25), kScreen);
    // An invisible parent hides the whole subtree.
    auto* child = AddTo<GUI_FRAME>(frame, 5, 5, 10, 10);
    child->GetStyle()->SetResourceName(5, nullptr);
    frame->Show(false);
    Render();
    EXPECT_EQ(canvas_.Pixel(7, 7), kScreen);
}

TEST_F(DrawingTest, CheckboxCrossAndRadioDot) {
    auto* box = AddTo<GUI_CHECKBOX>(top(), 10, 10, 16, 16);
    auto* radio = AddTo<GUI_RADIO>(top(), 100, 10, 16, 16);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), kLight);
    EXPECT_EQ(canvas_.Pixel(25, 25), kDark);
    EXPECT_EQ(canvas_.Pixel(11, 11), kScreen);  // not checked, not hot
    EXPECT_EQ(canvas_.Pixel(100, 10), kDark);   // sunken radio box
    EXPECT_EQ(canvas_.Pixel(115, 25), kLight);
    EXPECT_EQ(canvas_.Pixel(107, 107 - 100), kScreen);
    box->SetChecked(true);
    radio->SetState(1);
    Render();
    EXPECT_EQ(canvas_.Pixel(11, 11), kText);  // the cross
    EXPECT_EQ(canvas_.Pixel(24, 24), kText);
    EXPECT_EQ(canvas_.Pixel(24, 11), kText);
    EXPECT_EQ(canvas_.Pixel(104, 14), kText);  // the 8 x 8 dot
    EXPECT_EQ(canvas_.Pixel(111, 21), kText);
    EXPECT_EQ(canvas_.Pixel(112, 22), kScreen);
    Move(105, 12);  // hot radio: filled inside
    Render();
    EXPECT_EQ(canvas_.Pixel(101, 24), kActiveBack);
}

TEST_F(DrawingTest, RadioButtonLookAndInputBox) {
    auto* radio = AddTo<GUI_RADIO>(top(), 10, 10, 40, 20);
    radio->SetButtonLook(1);
    radio->SetState(1);
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 100, 80, 20);
    box->SetText("abc");
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), kDark);  // drawn as a pressed button
    EXPECT_EQ(canvas_.Pixel(12, 12), kActiveBack);
    EXPECT_EQ(canvas_.Pixel(10, 100), kDark);  // sunken input box
    EXPECT_EQ(canvas_.Pixel(89, 119), kLight);
    EXPECT_EQ(canvas_.Pixel(50, 110), kFill);
    const auto text = Find(kText, 10, 100, 90, 120);
    EXPECT_GE(text.first, 14);
    box->SetMasked(true);
    Render();
    EXPECT_NE(Find(kText, 10, 100, 90, 120).first, -1);
    box->GetStyle()->SetGfx(kSlotInput, new MemoryPicture(4, 4, 0xFF00FF00), true);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 100), 0xFF00FF00u);
}

TEST_F(DrawingTest, ListRowsSelectionAndFrame) {
    auto* list = AddTo<GUI_LIST>(top(), 10, 10, 100, 60);
    for (const char* t : {"aa", "bb", "cc", "dd", "ee", "ff"}) list->AddItem(t);
    ASSERT_TRUE(list->ScrollbarShown());
    list->SetSelection(1);
    Render();
    EXPECT_EQ(canvas_.Pixel(10, 10), kDark);
    EXPECT_EQ(canvas_.Pixel(10 + 100 - 17, 69), kLight);  // frame ends before the bar
    EXPECT_EQ(canvas_.Pixel(15, 12), kFill);
    // Without the focus the selected row's text is in the select colour.
    const int line = list->LineHeight();
    EXPECT_NE(Find(kSelect, 11, 11 + line, 80, 11 + 2 * line).first, -1);
    Click(20, 11 + line + 2);
    ASSERT_EQ(control_->focus(), list);
    Render();
    EXPECT_EQ(canvas_.Pixel(12, 11 + line + 1), kSelect);  // filled row
    EXPECT_NE(Find(kText, 11, 11 + line, 80, 11 + 2 * line).first, -1);
}

TEST_F(DrawingTest, TooltipStaysOnScreen) {
    auto* button = AddTo<GUI_BUTTON>(top(), 560, 400, 70, 70);
    button->SetTooltip("tooltip text");
    Move(600, 460);
    g_now.Advance(1000);
    canvas_ = MemoryCanvas(640, 480, kScreen);
    control_->DrawTooltip(canvas_);
    const auto* style = static_cast<GUI_STYLE_OLD_PRIMITIVE*>(button->GetStyle());
    const uint32_t back = style->tooltip_back() | 0xFF000000u;
    int left = 640, right = -1, low = -1, high = 480;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (canvas_.Pixel(x, y) == back) {
                left = std::min(left, x);
                right = std::max(right, x);
                high = std::min(high, y);
                low = std::max(low, y);
            }
        }
    }
    ASSERT_GE(right, 0);
    EXPECT_LT(right, 639);  // ends inside the right edge
    EXPECT_LE(low, 479);
    EXPECT_LT(low, 460);  // moved up above the pointer
    EXPECT_GT(left, 500);
}

// [SECTION] Palettes

TEST(PaletteTest, ModeNamesAndRoleColours) {
    for (int i = 0; i < kPaletteModeCount; ++i) {
        PaletteMode parsed = PaletteMode::kStandard;
        ASSERT_TRUE(ParsePaletteMode(PaletteModeName(PaletteMode(i)), &parsed));
        EXPECT_EQ(parsed, PaletteMode(i));
    }
    PaletteMode mode = PaletteMode::kStandard;
    EXPECT_TRUE(ParsePaletteMode(" ColourBlind\r", &mode));
    EXPECT_EQ(mode, PaletteMode::kColourBlind);
    for (const char* bad : {"", "contrasts", "colorblind", "1"})
        EXPECT_FALSE(ParsePaletteMode(bad, &mode)) << bad;
    EXPECT_EQ(mode, PaletteMode::kColourBlind);

    // The standard mode keeps the lobby's colours as they always were.
    EXPECT_EQ(RoleColour(ColourRole::kChatPrivate, PaletteMode::kStandard), 0xFF8C8CDCu);
    EXPECT_EQ(RoleColour(ColourRole::kUnavailable, PaletteMode::kStandard), 0xFFB4B4B4u);
    EXPECT_EQ(RoleColour(ColourRole::kNone, PaletteMode::kContrast), 0u);

    // In every mode the kinds of line stay apart; in the colour-blind one they
    // are Okabe-Ito colours, in the contrast one all light enough for black.
    const ColourRole kinds[] = {ColourRole::kChatPrivate, ColourRole::kChatServer,
                                ColourRole::kChatHistory, ColourRole::kError,
                                ColourRole::kUnavailable, ColourRole::kFriend};
    for (int m = 0; m < kPaletteModeCount; ++m) {
        for (ColourRole a : kinds) {
            for (ColourRole b : kinds) {
                if (a != b) {
                    EXPECT_NE(RoleColour(a, PaletteMode(m)), RoleColour(b, PaletteMode(m)));
                }
            }
        }
    }
    EXPECT_EQ(RoleColour(ColourRole::kChatServer, PaletteMode::kColourBlind), 0xFF009E73u);
    EXPECT_EQ(RoleColour(ColourRole::kError, PaletteMode::kColourBlind), 0xFFD55E00u);
    for (ColourRole role : kinds) {
        const uint32_t c = RoleColour(role, PaletteMode::kContrast);
        const int green = int(c >> 8 & 0xFF), sum = int(c >> 16 & 0xFF) + green + int(c & 0xFF);
        EXPECT_GE(sum, 400) << int(role);
    }
}

class PaletteDrawingTest : public DrawingTest {
  protected:
    void TearDown() override {
        SetPaletteMode(PaletteMode::kStandard);
        DrawingTest::TearDown();
    }
};

// A mode switch changes what an already built menu looks like at its next
// draw: the style's colours, the role-coloured rows and the focus outline.
TEST_F(PaletteDrawingTest, SwitchingModesRedrawsStylesRowsAndFocus) {
    auto* list = AddTo<GUI_LIST>(top(), 20, 20, 100, 60);
    list->AddItem("private", false, ColourRole::kChatPrivate);
    list->AddItem("plain");
    auto* box = AddTo<GUI_INPUTBOX>(top(), 20, 150, 80, 20);
    box->SetText("abc");
    Click(30, 160);
    ASSERT_EQ(control_->focus(), box);
    const int line = list->LineHeight();
    auto row_has = [&](uint32_t colour, int row) {
        return Find(colour, 21, 21 + row * line, 110, 21 + (row + 1) * line).first != -1;
    };

    Render();
    EXPECT_EQ(canvas_.Pixel(20, 20), kDark);
    EXPECT_EQ(canvas_.Pixel(19, 149), kScreen);  // no outline
    EXPECT_TRUE(row_has(0xFF8C8CDC, 0));
    // The input box's rows, to compare after the round trip through the modes.
    auto box_rows = [&] {
        std::vector<uint32_t> rows;
        for (int y = 140; y < 180; ++y)
            for (int x = 0; x < 320; ++x) rows.push_back(canvas_.Pixel(x, y));
        return rows;
    };
    const std::vector<uint32_t> standard = box_rows();

    SetPaletteMode(PaletteMode::kColourBlind);
    Render();
    EXPECT_TRUE(row_has(RoleColour(ColourRole::kChatPrivate, PaletteMode::kColourBlind), 0));
    EXPECT_TRUE(row_has(kText, 1));  // the style's own colours stay
    EXPECT_EQ(canvas_.Pixel(19, 149), kScreen);

    SetPaletteMode(PaletteMode::kContrast);
    Render();
    EXPECT_EQ(canvas_.Pixel(20, 20), 0xFFFFFFFFu);  // solid white edges
    EXPECT_EQ(canvas_.Pixel(50, 160), 0xFF010101u);
    EXPECT_TRUE(row_has(0xFFFFFFFF, 1));
    const uint32_t focus = RoleColour(ColourRole::kFocus, PaletteMode::kContrast);
    for (int ring = 1; ring <= 3; ++ring) {
        EXPECT_EQ(canvas_.Pixel(20 - ring, 160), focus) << ring;
        EXPECT_EQ(canvas_.Pixel(99 + ring, 160), focus) << ring;
        EXPECT_EQ(canvas_.Pixel(50, 169 + ring), focus) << ring;
    }
    EXPECT_EQ(canvas_.Pixel(16, 160), kScreen);
    EXPECT_EQ(canvas_.Pixel(19, 40), kScreen);  // the list has no focus

    // The focused list's selection: yellow with black text over it.
    Click(30, 21 + line / 2);
    ASSERT_EQ(control_->focus(), list);
    Render();
    EXPECT_EQ(canvas_.Pixel(17, 40), focus);
    EXPECT_EQ(canvas_.Pixel(22, 21), RoleColour(ColourRole::kSelection, PaletteMode::kContrast));
    EXPECT_TRUE(row_has(0xFF010101, 0));

    Click(30, 160);
    SetPaletteMode(PaletteMode::kStandard);
    Render();
    EXPECT_TRUE(box_rows() == standard);
}

TEST(MemoryCanvasTest, ClippingAndBlending) {
    MemoryCanvas canvas(10, 10, 0xFF000000);
    canvas.FillRect(-5, -5, 8, 8, 0xFFFFFFFF);
    EXPECT_EQ(canvas.Pixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(canvas.Pixel(3, 3), 0xFF000000u);
    canvas.FillRect(5, 5, 100, 100, 0x80FF0000);
    EXPECT_EQ(canvas.Pixel(9, 9), 0xFF800000u);
    canvas.FillRect(0, 0, 10, 10, 0x00FFFFFF);  // fully transparent: nothing
    EXPECT_EQ(canvas.Pixel(9, 9), 0xFF800000u);
    canvas.Line(-3, -3, 20, 20, 0xFF00FF00);
    EXPECT_EQ(canvas.Pixel(7, 7), 0xFF00FF00u);
    canvas.HLine(8, 0, 100, 0x0000FF);  // lines are solid whatever the alpha
    EXPECT_EQ(canvas.Pixel(9, 0), 0xFF0000FFu);
    MemoryPicture picture(2, 2, 0xFF123456);
    canvas.DrawPicture(picture, 8, 8, 4, 4);
    EXPECT_EQ(canvas.Pixel(9, 9), 0xFF123456u);
    EXPECT_EQ(canvas.Pixel(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(BlendOver(0xFF000000, 0x80FFFFFF), 0xFF808080u);
    EXPECT_EQ(BlendOver(0xFF102030, 0x00FFFFFF), 0xFF102030u);
}

}  // namespace
