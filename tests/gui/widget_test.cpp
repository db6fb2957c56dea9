// Widget behaviour: buttons, checkboxes, radios, input boxes, scrollbars, lists
// and comboboxes driven by synthetic input.
//
// [SECTION] Buttons, checkboxes, radios
// [SECTION] Input boxes
// [SECTION] Scrollbars
// [SECTION] Lists
// [SECTION] Comboboxes
// [SECTION] Hidden widgets
#include <cstring>

#include "gui_test_support.h"

using namespace guitest;
using namespace vorlane::gui;

namespace {

class WidgetTest : public GuiTest {};

// [SECTION] Buttons, checkboxes, radios

TEST_F(WidgetTest, ButtonAndCheckboxStates) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 20);
    Move(20, 15);
    EXPECT_EQ(button->state(), 1);
    Press(20, 15);
    EXPECT_EQ(button->state(), 2);
    Move(200, 200);  // pressed stays pressed outside
    EXPECT_EQ(button->state(), 2);
    Release(200, 200);
    EXPECT_EQ(button->state(), 0);

    auto* box = AddTo<GUI_CHECKBOX>(top(), 10, 100, 16, 16);
    EXPECT_EQ(box->w(), 16);
    Move(12, 102);
    EXPECT_EQ(box->state(), 3);
    g_now.Advance(1000);
    Press(12, 102);
    EXPECT_EQ(box->state(), 2);
    EXPECT_TRUE(box->IsChecked());
    Release(12, 102);
    Move(300, 300);
    EXPECT_EQ(box->state(), 1);
    g_now.Advance(1000);
    Move(12, 102);
    Press(12, 102);
    Release(12, 102);
    EXPECT_EQ(box->state(), 3);
    Move(300, 300);
    EXPECT_EQ(box->state(), 0);
}

TEST_F(WidgetTest, SizeToTextWidgets) {
    auto* text = top()->Add(std::make_unique<GUI_TEXT>());
    text->SetFlags(GUI_FLAG_SIZE_TO_TEXT);
    text->SetText("Hello");
    text->SetStyle(nullptr);
    EXPECT_EQ(text->w(), 40);
    EXPECT_EQ(text->h(), 10);
    auto* radio = top()->Add(std::make_unique<GUI_RADIO>());
    radio->SetFlags(GUI_FLAG_SIZE_TO_TEXT);
    radio->SetText("ab");
    radio->SetStyle(nullptr);
    EXPECT_EQ(radio->w(), 36);
    EXPECT_EQ(radio->h(), 20);
    auto* check = top()->Add(std::make_unique<GUI_CHECKBOX>());
    check->SetFlags(GUI_FLAG_SIZE_TO_TEXT);
    check->SetText("abc");
    check->SetStyle(nullptr);
    EXPECT_EQ(check->w(), 46);
    EXPECT_EQ(check->h(), 16);
}

TEST_F(WidgetTest, RadioGroupsSpanTheirParentAtAnyDepth) {
    auto* group = AddTo<GUI_FRAME>(top(), 0, 0, 300, 300);
    auto* r1 = AddTo<GUI_RADIO>(group, 10, 10, 20, 20);
    auto* sub = AddTo<GUI_FRAME>(group, 50, 50, 200, 200);
    auto* r2 = AddTo<GUI_RADIO>(sub, 10, 10, 20, 20);
    auto* r3 = AddTo<GUI_RADIO>(sub, 10, 50, 20, 20);
    auto* other = AddTo<GUI_FRAME>(top(), 400, 0, 100, 100);
    auto* r4 = AddTo<GUI_RADIO>(other, 10, 10, 20, 20);
    Click(410, 10);
    EXPECT_EQ(r4->state(), 1);
    Click(65, 65);  // r2
    EXPECT_EQ(r2->state(), 1);
    Click(65, 105);  // r3: its sibling r2 goes off
    EXPECT_EQ(r3->state(), 1);
    EXPECT_EQ(r2->state(), 0);
    Click(15, 15);  // r1: everything below `group` goes off, at any depth
    EXPECT_EQ(r1->state(), 1);
    EXPECT_EQ(r3->state(), 0);
    Click(65, 65);  // r2: its group is `sub`, which does not hold r1
    EXPECT_EQ(r2->state(), 1);
    EXPECT_EQ(r1->state(), 1);
    EXPECT_EQ(r4->state(), 1);                       // another parent, untouched throughout
    EXPECT_EQ(EventLog::Count(sub, GEVE_RADIO), 4);  // every click reached `sub`
}

// [SECTION] Input boxes

TEST_F(WidgetTest, InputBoxCapacity) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 200, 20);
    Click(15, 15);
    Type(std::string(100, 'x'));
    EXPECT_EQ(box->Length(), 78);
    EXPECT_EQ(box->capacity(), 80);
    box->SetTextMax(10);
    EXPECT_EQ(box->Length(), 10);
    Stroke(kKeyPageDown);
    EXPECT_EQ(box->Length(), 0);
    Type(std::string(20, 'y'));
    EXPECT_EQ(box->Length(), 10);
    EXPECT_STREQ(box->GetText(), "yyyyyyyyyy");
    // SetText copies at most capacity - 1 characters.
    box->SetText("abcdefghijklmnop");
    EXPECT_EQ(box->Length(), 11);
    EXPECT_EQ(box->cursor(), 0);
    box->SetText(nullptr);
    EXPECT_EQ(box->Length(), 0);
    // Control characters are refused.
    EXPECT_FALSE(Char('\r'));
}

TEST_F(WidgetTest, InputBoxEditingKeys) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 200, 20);
    Click(15, 15);
    Type("abcd");
    EXPECT_EQ(box->cursor(), 4);
    Stroke(kKeyLeft);
    Stroke(kKeyLeft);
    Type("X");  // inserted at the cursor
    EXPECT_STREQ(box->GetText(), "abXcd");
    Stroke(kKeyBackspace);
    EXPECT_STREQ(box->GetText(), "abcd");
    Stroke(kKeyDelete);
    EXPECT_STREQ(box->GetText(), "abd");
    Stroke(kKeyInsert);
    EXPECT_STREQ(box->GetText(), "ab d");
    Stroke(kKeyHome);
    EXPECT_EQ(box->cursor(), 0);
    Stroke(kKeyBackspace);  // nothing before the cursor
    EXPECT_STREQ(box->GetText(), "ab d");
    Stroke(kKeyEnd);
    EXPECT_EQ(box->cursor(), 4);
    Stroke(kKeyRight);  // stops at the end
    EXPECT_EQ(box->cursor(), 4);
    Stroke(kKeyDelete);  // nothing at the end
    EXPECT_STREQ(box->GetText(), "ab d");
    // A held key that is no new stroke does nothing.
    KeyDown(kKeyBackspace);
    g_now.Advance(10);
    EXPECT_FALSE(KeyDown(kKeyBackspace));
    KeyUp(kKeyBackspace);
    EXPECT_STREQ(box->GetText(), "ab ");
}

TEST_F(WidgetTest, InputBoxFullInsertDropsTheLastCharacter) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 400, 20);
    box->SetTextMax(3);  // capacity 5: four characters fit in the buffer
    box->SetText("abcd");
    Click(15, 15);
    Stroke(kKeyHome);
    Stroke(kKeyInsert);
    EXPECT_STREQ(box->GetText(), " abc");
    EXPECT_EQ(box->Length(), 4);
}

TEST_F(WidgetTest, InputBoxMaskScrollBlinkAndCounter) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 48, 20);  // 6 characters wide
    auto* counter = AddTo<GUI_SCROLLBAR>(top(), 10, 100, 100, 16);
    counter->SetRange(100);
    box->SetCounterTarget(counter);
    box->SetMasked(true);
    Click(15, 15);
    Type("secret12");
    EXPECT_EQ(counter->position(), 8);
    EXPECT_GT(box->scroll(), 0);
    EXPECT_EQ(box->VisibleText(), std::string(size_t(8 - box->scroll()), '*'));
    // The visible part up to the cursor is narrower than the box minus "_".
    EXPECT_LT((8 - box->scroll()) * 8, 48 - 8);
    Stroke(kKeyHome);
    EXPECT_EQ(box->scroll(), 0);
    // Blinking: the cursor shows after an edit and toggles after 500 ms.
    Type("z");
    EXPECT_TRUE(box->cursor_on());
    Frame(500);
    EXPECT_TRUE(box->cursor_on());
    Frame(1);
    EXPECT_FALSE(box->cursor_on());
    // Losing the focus hides it.
    Click(300, 300);
    Frame(1000);
    EXPECT_FALSE(box->cursor_on());
}

TEST_F(WidgetTest, InputBoxPressPlacesCursor) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 200, 20);
    box->SetText("abcdef");
    Click(10 + 8 * 3 + 2, 15);  // over the fourth character
    EXPECT_EQ(box->cursor(), 2);
    Click(190, 15);  // past the text
    EXPECT_EQ(box->cursor(), 6);
}

// [SECTION] Scrollbars

TEST_F(WidgetTest, ScrollbarOrientationFollowsShape) {
    auto* bar = AddTo<GUI_SCROLLBAR>(top(), 0, 0, 100, 16);
    EXPECT_EQ(bar->orientation(), GUI_SCROLLBAR::kHorizontal);
    EXPECT_STREQ(bar->less()->GetText(), "<");
    EXPECT_STREQ(bar->more()->GetText(), ">");
    EXPECT_EQ(bar->more()->x(), 84);
    bar->SetSize(16, 100);
    EXPECT_EQ(bar->orientation(), GUI_SCROLLBAR::kVertical);
    EXPECT_STREQ(bar->less()->GetText(), "^");
    EXPECT_STREQ(bar->more()->GetText(), "v");
    EXPECT_EQ(bar->less()->x(), 0);
    EXPECT_EQ(bar->less()->y(), 0);
    EXPECT_EQ(bar->less()->w(), 16);
    EXPECT_EQ(bar->less()->h(), 16);
    EXPECT_EQ(bar->more()->y(), 84);
    bar->SetSize(50, 50);  // square: unchanged
    EXPECT_EQ(bar->orientation(), GUI_SCROLLBAR::kVertical);
}

TEST_F(WidgetTest, ScrollbarArrowPicturesFollowOrientation) {
    auto* bar = AddTo<GUI_SCROLLBAR>(top(), 0, 0, 16, 100);
    auto style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    style->SetGfx(kSlotArrowUp, new MemoryPicture(16, 16, 0xFFFF0000), true);
    style->SetGfx(kSlotArrowDown + 2, new MemoryPicture(16, 16, 0xFF00FF00), true);
    style->SetGfx(kSlotButtonNormal, new MemoryPicture(16, 16, 0xFF0000FF), true);
    bar->SetStyle(std::move(style));
    EXPECT_EQ(bar->less()->GetStyle()->GetGfx(0), bar->GetStyle()->GetGfx(kSlotArrowUp));
    EXPECT_EQ(bar->more()->GetStyle()->GetGfx(2), bar->GetStyle()->GetGfx(kSlotArrowDown + 2));
    // The bar's own button picture does not leak into the arrows.
    EXPECT_EQ(bar->more()->GetStyle()->GetGfx(0), nullptr);
}

TEST_F(WidgetTest, ScrollbarPositionThumbAndTrack) {
    auto* bar = AddTo<GUI_SCROLLBAR>(top(), 0, 0, 16, 132);  // track 100
    auto* linked = AddTo<GUI_INPUTBOX>(top(), 100, 0, 100, 20);
    bar->SetLinkedBox(linked);
    bar->SetRange(10);
    bar->SetVisibleCount(2);
    bar->SetPosition(50);
    EXPECT_EQ(bar->position(), 9);
    EXPECT_STREQ(linked->GetText(), "9");
    EXPECT_EQ(linked->cursor(), 1);
    bar->SetPosition(-3);
    EXPECT_EQ(bar->position(), 0);
    EXPECT_EQ(bar->thumb_size(), 20);
    EXPECT_EQ(bar->thumb_pos(), 17);
    bar->SetPosition(9);
    EXPECT_EQ(bar->thumb_pos(), 16 + 80 + 1);  // moved back to end at the track end
    // A click on the track pages by `step`.
    bar->SetStep(3);
    bar->SetPosition(5);
    Click(8, 20);
    EXPECT_EQ(bar->position(), 2);
    Click(8, 110);
    EXPECT_EQ(bar->position(), 5);
    bar->SetRange(0);
    bar->SetPosition(4);
    EXPECT_EQ(bar->position(), 0);
}

TEST_F(WidgetTest, ScrollbarThumbDrag) {
    auto* bar = AddTo<GUI_SCROLLBAR>(top(), 0, 0, 16, 116);  // track 84
    bar->SetRange(84);
    bar->SetVisibleCount(10);
    bar->SetPosition(0);
    const int thumb = bar->thumb_pos();
    Move(8, thumb + 2);
    Press(8, thumb + 2);
    EXPECT_TRUE(bar->dragging());
    Move(8, thumb + 2 + 40);
    EXPECT_EQ(bar->position(), 40 + thumb - 16);
    MemoryCanvas canvas(100, 200);
    control_->Draw(canvas);  // drawing does not snap the dragged thumb
    EXPECT_EQ(bar->thumb_pos(), thumb + 40);
    Move(8, 1000);  // clamped to the track end
    EXPECT_EQ(bar->thumb_pos(), 16 + 84 - bar->thumb_size());
    Release(8, 1000);
    EXPECT_FALSE(bar->dragging());
}

TEST_F(WidgetTest, ScrollbarArrowRepeatsAfter251Milliseconds) {
    auto* bar = AddTo<GUI_SCROLLBAR>(top(), 0, 0, 16, 200);
    bar->SetRange(1000);
    bar->SetPosition(0);
    // A short click steps once, at the release.
    g_now.Advance(1000);
    Move(8, 195);
    Press(8, 195);
    Frame(10);
    EXPECT_EQ(bar->position(), 0);
    Release(8, 195);
    Frame(10);
    EXPECT_EQ(bar->position(), 1);
    Frame(10);
    EXPECT_EQ(bar->position(), 1);
    // Held: nothing for 251 ms, then a step per frame; the release over the
    // arrow adds the click's step.
    g_now.Advance(1000);
    Press(8, 195);
    Frame(0);    // the hold starts
    Frame(250);  // 250 ms
    EXPECT_EQ(bar->position(), 1);
    Frame(1);  // 251 ms
    EXPECT_EQ(bar->position(), 2);
    Frame(16);
    Frame(16);
    EXPECT_EQ(bar->position(), 4);
    Release(8, 195);
    Frame(16);
    EXPECT_EQ(bar->position(), 5);
    Frame(16);
    EXPECT_EQ(bar->position(), 5);
    // The up arrow steps back.
    g_now.Advance(1000);
    Click(8, 5);
    Frame(10);
    EXPECT_EQ(bar->position(), 4);
}

// [SECTION] Lists

// A list whose rows are 20 pixels high (row picture of 18 + 2).
GUI_LIST* MakeList(GUI_OBJECT* parent, int x, int y, int w, int h) {
    auto* list = parent->Add(std::make_unique<GUI_LIST>());
    auto style = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    style->SetGfx(kSlotListRow, new MemoryPicture(8, 18, 0xFF202020), true);
    list->SetStyle(std::move(style));
    list->SetPos(x, y);
    list->SetSize(w, h);
    list->SetCallback(&EventLog::Callback);
    return list;
}

TEST_F(WidgetTest, ListScrollbarAppearsAtTheFourthRow) {
    GUI_LIST* list = MakeList(top(), 10, 10, 200, 60);
    EXPECT_EQ(list->LineHeight(), 20);
    list->AddItem("one");
    list->AddItem("two");
    list->AddItem("three");
    EXPECT_FALSE(list->ScrollbarShown());
    EXPECT_EQ(list->TextWidthAvailable(), 200);
    list->AddItem("four");
    ASSERT_TRUE(list->ScrollbarShown());
    GUI_SCROLLBAR* bar = list->scrollbar();
    EXPECT_EQ(bar->x(), 200 - 16);
    EXPECT_EQ(bar->y(), 1);
    EXPECT_EQ(bar->w(), 15);
    EXPECT_EQ(bar->h(), 58);
    EXPECT_EQ(bar->orientation(), GUI_SCROLLBAR::kVertical);
    EXPECT_EQ(bar->visible_count(), 3);
    EXPECT_EQ(bar->step(), 1);
    EXPECT_EQ(bar->range(), 4);
    EXPECT_EQ(list->TextWidthAvailable(), 185);
    list->Clear();
    EXPECT_FALSE(list->ScrollbarShown());
    EXPECT_EQ(list->selection(), -1);
    EXPECT_EQ(list->ItemCount(), 0);
}

TEST_F(WidgetTest, ListSortedAndUnsortedInsertionWithRecords) {
    GUI_LIST* list = MakeList(top(), 10, 10, 200, 100);
    int records[3] = {1, 2, 3};
    auto keep = [](int* p) { return std::shared_ptr<void>(p, [](void*) {}); };
    EXPECT_EQ(list->AddItem("delta", true, 0, keep(&records[0])), 0);
    EXPECT_EQ(list->AddItem("alpha", true, 0, keep(&records[1])), 0);
    EXPECT_EQ(list->AddItem("charlie", true), 1);
    EXPECT_EQ(list->AddItem("Zulu", true), 0);  // byte order: capitals first
    EXPECT_EQ(list->AddItem("echo", false, 0xFFAA0000), 4);
    std::vector<std::string> texts;
    for (int i = list->FirstItem(); i >= 0; i = list->NextItem(i))
        texts.push_back(list->GetItemText(i));
    EXPECT_EQ(texts, (std::vector<std::string>{"Zulu", "alpha", "charlie", "delta", "echo"}));
    EXPECT_EQ(list->GetItemRecord(1), &records[1]);
    EXPECT_EQ(list->GetItemRecord(3), &records[0]);
    EXPECT_EQ(list->GetItemRecord(2), nullptr);
    EXPECT_TRUE(list->GetItem(4)->HasColour());
    EXPECT_EQ(list->GetItem(7), nullptr);
    // Out of order now: sorted insertion still finds the first not-less item.
    list->AddItem("bravo", false);
    EXPECT_EQ(list->AddItem("beta", true), 2);
    // The selection stays on its item when a row goes in above it.
    list->SetSelection(3);
    ASSERT_STREQ(list->GetItemText(3), "charlie");
    list->AddItem("aardvark", true);
    EXPECT_STREQ(list->GetItemText(list->selection()), "charlie");
}

TEST_F(WidgetTest, ListSelectionKeysAndMouse) {
    GUI_LIST* list = MakeList(top(), 10, 10, 200, 60);
    for (const char* t : {"a", "b", "c", "d", "e", "f", "g", "h"}) list->AddItem(t);
    EXPECT_EQ(list->SetSelection(20), 7);
    EXPECT_EQ(list->FirstVisible(), 5);  // scrolled the least to show it
    EXPECT_EQ(list->SetSelection(-4), 0);
    EXPECT_EQ(list->FirstVisible(), 0);
    // A press selects the row under the pointer and takes the focus.
    EventLog::Entries().clear();
    Click(50, 10 + 20 * 2 + 5);
    EXPECT_EQ(list->selection(), 2);
    EXPECT_EQ(control_->focus(), list);
    EXPECT_GE(EventLog::Count(list, GEVE_CONTENT_CHANGED), 1);
    Stroke(kKeyDown);
    EXPECT_EQ(list->selection(), 3);
    Stroke(kKeyEnd);
    EXPECT_EQ(list->selection(), 7);
    Stroke(kKeyPageUp);
    EXPECT_EQ(list->selection(), 6);
    Stroke(kKeyHome);
    EXPECT_EQ(list->selection(), 0);
    Stroke(kKeyUp);
    EXPECT_EQ(list->selection(), 0);
    // Dragging with the button held: the selection follows the pointer.
    g_now.Advance(1000);
    Move(50, 15);
    Press(50, 15);
    Move(50, 55);
    EXPECT_EQ(list->selection(), 2);
    Release(50, 55);
}

TEST_F(WidgetTest, ListAutoscrollsWhileDraggingOutside) {
    GUI_LIST* list = MakeList(top(), 10, 100, 200, 60);
    for (int i = 0; i < 20; ++i) list->AddItem(std::to_string(100 + i).c_str());
    g_now.Advance(1000);
    Move(50, 105);
    Press(50, 105);
    Move(50, 300);  // below the list
    Frame(0);
    EXPECT_EQ(list->FirstVisible(), 1);  // the first step is due at once
    Frame(100);
    EXPECT_EQ(list->FirstVisible(), 1);
    Frame(1);
    EXPECT_EQ(list->FirstVisible(), 2);
    Move(50, 120);  // back inside: stops
    Frame(500);
    EXPECT_EQ(list->FirstVisible(), 2);
    Release(50, 120);
}

TEST_F(WidgetTest, DisplayOnlyListFollowsNewLinesWhenAtTheEnd) {
    GUI_LIST* list = MakeList(top(), 10, 10, 200, 60);
    list->SetDisplayOnly(true);
    for (int i = 0; i < 5; ++i) list->AddItem(("line " + std::to_string(i)).c_str());
    EXPECT_EQ(list->FirstVisible(), 2);
    list->AddItem("line 5");
    EXPECT_EQ(list->FirstVisible(), 3);
    list->ScrollTo(0);
    list->AddItem("line 6");
    EXPECT_EQ(list->FirstVisible(), 0);
    // Long text wraps into rows of the available width; markup stays literal.
    const int before = list->ItemCount();
    list->AddItem("aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk ~~x");
    EXPECT_GT(list->ItemCount(), before + 1);
    EXPECT_STREQ(list->GetItemText(list->ItemCount() - 1), "iiii jjjj kkkk ~x");
    // No selection in a display-only list.
    Move(50, 20);
    Press(50, 20);
    Release(50, 20);
    EXPECT_EQ(list->selection(), -1);
    Stroke(kKeyDown);
    EXPECT_EQ(list->selection(), -1);
}

TEST_F(WidgetTest, DisplayOnlyListKeepsItsNewestRowsAndAReaderScrolledUpStays) {
    GUI_LIST* list = MakeList(top(), 10, 10, 200, 60);
    list->SetDisplayOnly(true);
    list->SetMaxRows(8);
    for (int i = 0; i < 20; ++i) list->AddItem(("line " + std::to_string(i)).c_str());
    ASSERT_EQ(list->ItemCount(), 8);
    EXPECT_STREQ(list->GetItemText(0), "line 12");
    EXPECT_EQ(list->FirstVisible(), 8 - list->VisibleRows());  // the box is full of the newest
    list->ScrollTo(3);                                         // reading "line 15"
    list->AddItem("line 20");
    list->AddItem("line 21");
    EXPECT_EQ(list->FirstVisible(), 1);
    EXPECT_STREQ(list->GetItemText(list->FirstVisible()), "line 15");
}

// [SECTION] Comboboxes

TEST_F(WidgetTest, ComboboxOpensChoosesAndCloses) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 400, 400);
    auto* combo = AddTo<GUI_COMBOBOX>(frame, 20, 20, 120, 20);
    combo->SetResultValue(9);
    GUI_LIST* list = combo->list();
    ASSERT_NE(list, nullptr);
    list->SetSize(120, 60);
    for (const char* t : {"red", "green", "blue"}) list->AddItem(t);
    EXPECT_STREQ(combo->ChosenItem()->c_str(), "red");
    EXPECT_FALSE(combo->ListShown());
    Click(30, 30);
    ASSERT_TRUE(combo->ListShown());
    EXPECT_EQ(list->parent(), top());
    EXPECT_EQ(list->x(), 20);
    EXPECT_EQ(list->y(), 20 + 20 + 2);
    EXPECT_EQ(list->w(), 120);
    EXPECT_EQ(list->selection(), 0);
    // A press in the open list is news to the combobox's listener.
    const int presses = EventLog::Count(combo, GEVE_MOUSE_PRESS);
    g_now.Advance(1000);
    Move(40, 50);
    Press(40, 50);
    EXPECT_GT(EventLog::Count(combo, GEVE_MOUSE_PRESS), presses);
    // Choose the third row: the list sees the release first, then the
    // combobox (released outside itself) closes the list.
    const int row_y = 42 + 2 * list->LineHeight() + 2;
    Click(40, row_y);
    EXPECT_EQ(combo->chosen(), 2);
    EXPECT_STREQ(combo->ChosenItem()->c_str(), "blue");
    EXPECT_FALSE(combo->ListShown());
    EXPECT_EQ(list->parent(), nullptr);
    EXPECT_EQ(frame->result(), 9);
    EXPECT_GE(EventLog::Count(combo, GEVE_CONTENT_CHANGED), 1);
    // Open and close with two clicks on the box.
    Click(30, 30);
    EXPECT_TRUE(combo->ListShown());
    Click(30, 30);
    EXPECT_FALSE(combo->ListShown());
}

TEST_F(WidgetTest, ComboboxDestroyedWhileItsListIsShown) {
    auto* combo = AddTo<GUI_COMBOBOX>(top(), 20, 20, 120, 20);
    combo->list()->AddItem("one");
    Click(30, 30);
    ASSERT_TRUE(combo->ListShown());
    const size_t before = top()->children().size();
    EXPECT_TRUE(top()->DeleteObject(combo));
    EXPECT_EQ(top()->children().size(), before - 2);  // the list went with it
    // And the control can still be torn down with a shown list.
    auto* again = AddTo<GUI_COMBOBOX>(top(), 20, 20, 120, 20);
    again->list()->AddItem("one");
    Click(30, 30);
    ASSERT_TRUE(again->ListShown());
    control_.reset();
}

}  // namespace

namespace {

// [SECTION] Hidden widgets

class HiddenWidgetTest : public GuiTest {};

TEST_F(HiddenWidgetTest, SizesSetWhileHiddenTakeEffectWhenDrawn) {
    auto* list = AddTo<GUI_LIST>(top(), 0, 0, 100, 200);
    list->GetStyle()->SetGfx(vorlane::gui::kSlotArrowUp,
                             new vorlane::gui::MemoryPicture(4, 4, 0xFFFF00FF), true);
    for (int i = 0; i < 30; ++i) list->AddItem("row");
    list->Show(false);
    list->SetSize(120, 100);  // not heard: the list is hidden
    list->Show(true);
    vorlane::gui::MemoryCanvas canvas(200, 200);
    control_->Draw(canvas);
    ASSERT_TRUE(list->ScrollbarShown());
    EXPECT_EQ(list->scrollbar()->x(), 120 - 16);
    EXPECT_EQ(list->scrollbar()->h(), 98);
    EXPECT_EQ(list->scrollbar()->orientation(), GUI_SCROLLBAR::kVertical);
    // The bar's arrows took the arrow pictures of the list's style.
    EXPECT_EQ(list->scrollbar()->less()->GetStyle()->GetGfx(0),
              list->GetStyle()->GetGfx(vorlane::gui::kSlotArrowUp));
    EXPECT_EQ(canvas.Pixel(120 - 16 + 2, 3), 0xFFFF00FFu);
}

TEST_F(HiddenWidgetTest, ReleasedFocusLosesItsFlag) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 0, 0, 100, 20);
    Click(5, 5);
    ASSERT_TRUE(box->TestFlags(GUI_FLAG_FOCUS));
    auto owned = top()->ReleaseObject(box);
    EXPECT_FALSE(owned->TestFlags(GUI_FLAG_FOCUS));
    EXPECT_EQ(control_->focus(), nullptr);
}

}  // namespace
