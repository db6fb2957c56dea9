// Event routing, focus, hover, tooltips, mouse and key translation, tree upkeep.
//
// [SECTION] Routing
// [SECTION] Focus, clicks, hover and tooltips
// [SECTION] Keys and input translation
// [SECTION] Tree upkeep
#include "gui_test_support.h"

using namespace guitest;
using vorlane::gui::MemoryCanvas;

namespace {

class DispatchTest : public GuiTest {};

// An object that re-sends the event it is handling to itself.
class Reentrant : public GUI_OBJECT {
  public:
    int handled = 0;
    bool HandleEvent(const GUI_EVENT& event) override {
        if (event.code == GEVE_CONTENT_CHANGED) {
            ++handled;
            MarkContentChanged();
        }
        return false;
    }
};

// [SECTION] Routing

TEST_F(DispatchTest, LaterChildrenSeeMouseEventsFirstAndSwallowPresses) {
    auto* lower = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    auto* upper = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    Move(20, 20);
    EXPECT_TRUE(Press(20, 20));
    EXPECT_EQ(EventLog::Count(upper, GEVE_MOUSE_PRESS), 1);
    EXPECT_EQ(EventLog::Count(lower, GEVE_MOUSE_PRESS), 0);
    // Moves reach everything under the pointer.
    EXPECT_EQ(EventLog::Count(lower, GEVE_MOUSE_OVER), 1);
    EXPECT_EQ(EventLog::Count(upper, GEVE_MOUSE_OVER), 1);
    EXPECT_EQ(control_->hover(), upper);
}

TEST_F(DispatchTest, PressOnPlainAreaIsNotUsedButOnButtonIs) {
    auto* area = AddTo<GUI_OBJECT>(top(), 0, 0, 100, 100);
    auto* button = AddTo<GUI_BUTTON>(top(), 200, 200, 40, 20);
    EXPECT_FALSE(Press(50, 50));
    EXPECT_EQ(EventLog::Count(area, GEVE_MOUSE_PRESS), 1);
    Release(50, 50);
    g_now.Advance(1000);
    EXPECT_TRUE(Press(210, 205));
    EXPECT_EQ(button->state(), 2);
}

TEST_F(DispatchTest, BusyMaskStopsReentry) {
    auto* object = top()->Add(std::make_unique<Reentrant>());
    object->MarkContentChanged();
    EXPECT_EQ(object->handled, 1);
    EXPECT_EQ(object->busy_mask(), 0u);
}

TEST_F(DispatchTest, DisabledAndInvisibleObjectsGetNothing) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 200, 200);
    auto* inner = AddTo<GUI_BUTTON>(frame, 10, 10, 50, 50);
    auto* disabled = AddTo<GUI_BUTTON>(top(), 300, 0, 50, 50);
    disabled->Enable(false);
    frame->Show(false);
    EXPECT_FALSE(Click(20, 20));
    EXPECT_FALSE(Click(310, 10));
    EXPECT_TRUE(EventLog::Codes(inner).empty());
    EXPECT_TRUE(EventLog::Codes(frame).empty());
    EXPECT_TRUE(EventLog::Codes(disabled).empty());
    frame->Show(true);
    g_now.Advance(1000);
    EXPECT_TRUE(Press(20, 20));
    EXPECT_EQ(EventLog::Count(inner, GEVE_MOUSE_PRESS), 1);
}

// [SECTION] Focus, clicks, hover and tooltips

TEST_F(DispatchTest, FocusMovesBetweenObjectsAndIsLostOnReleaseOutside) {
    auto* first = AddTo<GUI_INPUTBOX>(top(), 10, 10, 100, 20);
    auto* second = AddTo<GUI_INPUTBOX>(top(), 10, 50, 100, 20);
    Click(20, 15);
    EXPECT_EQ(control_->focus(), first);
    EXPECT_TRUE(first->TestFlags(GUI_FLAG_FOCUS));
    Click(20, 55);
    EXPECT_EQ(control_->focus(), second);
    EXPECT_FALSE(first->TestFlags(GUI_FLAG_FOCUS));
    EXPECT_EQ(EventLog::Count(first, GEVE_LOST_FOCUS), 1);
    EXPECT_EQ(EventLog::Count(second, GEVE_GOT_FOCUS), 1);
    // Pressing the focused box again sends no second GOT_FOCUS.
    Click(20, 55);
    EXPECT_EQ(EventLog::Count(second, GEVE_GOT_FOCUS), 1);
    // Press inside, release outside: the focus goes.
    g_now.Advance(1000);
    Move(20, 55);
    Press(20, 55);
    Move(400, 400);
    Release(400, 400);
    EXPECT_EQ(control_->focus(), nullptr);
    EXPECT_FALSE(second->TestFlags(GUI_FLAG_FOCUS));
    EXPECT_EQ(EventLog::Count(second, GEVE_LOST_FOCUS), 1);
}

TEST_F(DispatchTest, ClickNeedsPressAndReleaseInside) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    Move(20, 20);
    Press(20, 20);
    Move(100, 100);
    Release(100, 100);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_CLICK), 0);
    EXPECT_EQ(button->state(), 0);
    Press(100, 100);
    Move(20, 20);
    Release(20, 20);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_CLICK), 0);
    g_now.Advance(1000);
    Click(30, 30);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_CLICK), 1);
    EXPECT_EQ(button->state(), 1);
}

TEST_F(DispatchTest, ClickReportsResultValueToParentOnce) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 200, 200);
    auto* area = AddTo<GUI_OBJECT>(frame, 10, 10, 100, 100);
    auto* button = AddTo<GUI_BUTTON>(area, 10, 10, 40, 20);
    button->SetResultValue(7);
    Click(25, 25);
    EXPECT_EQ(area->result(), 7);
    EXPECT_EQ(EventLog::Count(area, GEVE_RESULT_CHANGED), 1);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_CLICK), 1);
    // A click on a plain area inside a plain area reaches each once.
    auto* outer = AddTo<GUI_OBJECT>(top(), 300, 300, 100, 100);
    auto* inner = AddTo<GUI_OBJECT>(outer, 10, 10, 50, 50);
    g_now.Advance(1000);
    Click(320, 320);
    EXPECT_EQ(EventLog::Count(inner, GEVE_MOUSE_CLICK), 1);
    EXPECT_EQ(EventLog::Count(outer, GEVE_MOUSE_CLICK), 1);
}

TEST_F(DispatchTest, DoubleClickTiming) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    Move(20, 20);
    Press(20, 20);
    Release(20, 20);
    g_now.Advance(299);
    Press(20, 20);
    Release(20, 20);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_PRESS), 1);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_DCLICK), 1);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_CLICK), 1);  // only the first one
    EXPECT_TRUE(button->TestFlags(GUI_FLAG_DCLICKED));
    // The double click does not renew the press time: 300 ms after the first
    // press is a plain press again.
    g_now.Advance(1);
    Press(20, 20);
    Release(20, 20);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_PRESS), 2);
}

TEST_F(DispatchTest, FirstPressEarlyAfterStartIsNoDoubleClick) {
    g_now.Set(5);
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    Move(20, 20);
    Press(20, 20);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_PRESS), 1);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_DCLICK), 0);
}

TEST_F(DispatchTest, HoverAndTooltipTiming) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    button->SetTooltip("Help");
    MemoryCanvas canvas(640, 480, 0xFF000000);
    const auto* style = static_cast<GUI_STYLE_OLD_PRIMITIVE*>(button->GetStyle());
    const uint32_t back = style->tooltip_back() | 0xFF000000u;
    auto tooltip_drawn = [&] {
        canvas.Clear(0xFF000000);
        control_->DrawTooltip(canvas);
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                if (canvas.Pixel(x, y) == back)
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(Move(20, 20));  // over a button: the record counts as used
    EXPECT_EQ(control_->hover(), button);
    EXPECT_EQ(control_->tooltip_object(), button);
    g_now.Advance(750);
    EXPECT_FALSE(tooltip_drawn());
    g_now.Advance(1);
    EXPECT_TRUE(tooltip_drawn());
    // Moving restarts the wait; leaving forgets the object.
    Move(21, 20);
    EXPECT_FALSE(tooltip_drawn());
    Move(300, 300);
    EXPECT_EQ(control_->tooltip_object(), nullptr);
    EXPECT_EQ(control_->hover(), top());
    g_now.Advance(2000);
    EXPECT_FALSE(tooltip_drawn());
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_OUT), 1);
}

// [SECTION] Keys and input translation

TEST_F(DispatchTest, KeyRepeatStrokes) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 100, 20);
    Click(20, 15);
    ASSERT_EQ(control_->focus(), box);
    EventLog::Entries().clear();
    const uint32_t start = g_now.NowMs();
    std::vector<std::pair<uint32_t, int>> expected = {
        {0, 1}, {100, 0}, {229, 0}, {230, 1}, {250, 0}, {274, 0}, {275, 1}, {276, 1}, {300, 1}};
    for (auto [at, stroke] : expected) {
        g_now.Set(start + at);
        KeyDown(vorlane::gui::kKeyLeft);
        ASSERT_FALSE(EventLog::Entries().empty());
        EXPECT_EQ(EventLog::Entries().back().stroke, stroke) << "at " << at;
    }
    KeyUp(vorlane::gui::kKeyLeft);
    g_now.Advance(10);
    KeyDown(vorlane::gui::kKeyLeft);
    EXPECT_EQ(EventLog::Entries().back().stroke, 1);
}

TEST_F(DispatchTest, KeysGoToTheFocusAltCharactersToEveryone) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 100, 20);
    auto* other = AddTo<GUI_BUTTON>(top(), 10, 100, 100, 20);
    Char('a');
    EXPECT_EQ(EventLog::Count(box, GEVE_KEY_ASCII), 0);
    Click(20, 15);
    EXPECT_TRUE(Char('a'));
    EXPECT_STREQ(box->GetText(), "a");
    EXPECT_EQ(EventLog::Count(other, GEVE_KEY_ASCII), 0);
    KeyDown(vorlane::gui::kKeyLeftAlt);
    Char('x');
    KeyUp(vorlane::gui::kKeyLeftAlt);
    EXPECT_EQ(EventLog::Count(box, GEVE_KEY_ALT), 1);
    EXPECT_EQ(EventLog::Count(other, GEVE_KEY_ALT), 1);
    EXPECT_STREQ(box->GetText(), "a");
    Char('b');
    EXPECT_STREQ(box->GetText(), "ab");
}

TEST_F(DispatchTest, InputCanBeDisabledAndScaled) {
    auto* button = AddTo<GUI_BUTTON>(top(), 100, 100, 20, 20);
    control_->DisableInput();
    EXPECT_FALSE(Press(110, 110));
    control_->EnableInput();
    control_->SetScale(2.0f, 2.0f);
    Move(220, 220);
    EXPECT_EQ(control_->mouse_x(), 110);
    EXPECT_TRUE(Press(220, 220));
    EXPECT_EQ(button->state(), 2);
    control_->SetScale(0.25f, 0.25f);  // far outside the 16-bit range: clamped
    Move(60000, 60000);
    EXPECT_EQ(control_->mouse_x(), INT16_MAX);
}

// [SECTION] Tree upkeep

TEST_F(DispatchTest, DeletionDuringDispatchIsDeferredToUpdate) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 300, 300);
    auto* button = AddTo<GUI_BUTTON>(frame, 10, 10, 50, 50);
    auto* sibling = AddTo<GUI_BUTTON>(frame, 100, 10, 50, 50);
    static GUI_OBJECT* doomed_sibling;
    doomed_sibling = sibling;
    button->SetCallback([](GUI_OBJECT* object, const GUI_EVENT& event) {
        if (event.code == GEVE_MOUSE_CLICK) {
            object->parent()->DeleteObject(object);          // busy: deferred
            object->parent()->DeleteObject(doomed_sibling);  // idle: at once
        }
        return false;
    });
    Click(20, 20);
    ASSERT_EQ(frame->children().size(), 1u);
    EXPECT_EQ(frame->children()[0].get(), button);
    EXPECT_FALSE(button->IsVisible());
    EXPECT_TRUE(button->TestFlags(GUI_FLAG_DELETE));
    Frame();
    EXPECT_TRUE(frame->children().empty());
    // The flag set by an owner deletes at the next update as well.
    auto* later = AddTo<GUI_BUTTON>(frame, 10, 10, 5, 5);
    later->SetFlags(GUI_FLAG_DELETE);
    EXPECT_EQ(frame->children().size(), 1u);
    Frame();
    EXPECT_TRUE(frame->children().empty());
}

TEST_F(DispatchTest, ReleasingTheNextChildDuringDispatchKeepsRouting) {
    // The menu hook may hide a whole menu while its button is being clicked.
    auto* menu_a = AddTo<GUI_FRAME>(top(), 0, 0, 100, 100);
    auto* menu_b = AddTo<GUI_FRAME>(top(), 200, 0, 100, 100);
    auto* button = AddTo<GUI_BUTTON>(menu_b, 10, 10, 50, 50);
    static std::unique_ptr<GUI_OBJECT> hidden;
    static GUI_OBJECT* to_hide;
    static int clicks;
    to_hide = menu_b;
    clicks = 0;
    button->SetCallback([](GUI_OBJECT* object, const GUI_EVENT& event) {
        if (event.code == GEVE_MOUSE_CLICK) {
            ++clicks;
            hidden = object->parent()->parent()->ReleaseObject(to_hide);
        }
        return false;
    });
    Click(220, 20);
    ASSERT_TRUE(hidden);
    EXPECT_EQ(top()->children().size(), 1u);
    EXPECT_EQ(top()->children()[0].get(), menu_a);
    EXPECT_FALSE(hidden->TestFlags(GUI_FLAG_ATTACHED));
    // Shown again later, it works as before.
    control_->AddObject(std::move(hidden));
    Click(220, 20);
    EXPECT_EQ(clicks, 2);
    hidden.reset();
}

TEST_F(DispatchTest, TreeOperations) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 100, 100);
    EXPECT_GE(frame->id(), 1);
    auto* child = AddTo<GUI_BUTTON>(frame, 0, 0, 10, 10);
    EXPECT_EQ(child->id(), frame->id() + 1);
    EXPECT_TRUE(child->TestFlags(GUI_FLAG_ATTACHED));
    // Adding an object to itself or under its own descendant changes nothing.
    EXPECT_EQ(frame->AddObject(std::unique_ptr<GUI_OBJECT>(frame)), -1);
    EXPECT_EQ(child->AddObject(std::unique_ptr<GUI_OBJECT>(frame)), -1);
    EXPECT_EQ(frame->parent(), top());
    EXPECT_EQ(frame->children().size(), 1u);
    // A child of another parent is refused: it changes hands only through
    // that parent's ReleaseObject.
    EXPECT_EQ(top()->AddObject(std::unique_ptr<GUI_OBJECT>(child)), -1);
    EXPECT_EQ(child->parent(), frame);
    EXPECT_EQ(frame->children().size(), 1u);
    // Deleting a stranger fails.
    GUI_OBJECT stranger;
    EXPECT_FALSE(frame->DeleteObject(&stranger));
    EXPECT_EQ(frame->ReleaseObject(&stranger), nullptr);
    // Releasing hands the object back and clears the references to it.
    control_->SetFocusRef(child);
    std::unique_ptr<GUI_OBJECT> owned = frame->ReleaseObject(child);
    ASSERT_EQ(owned.get(), child);
    EXPECT_EQ(child->parent(), nullptr);
    EXPECT_FALSE(child->TestFlags(GUI_FLAG_ATTACHED));
    EXPECT_EQ(control_->focus(), nullptr);
    EXPECT_TRUE(frame->children().empty());
}

TEST_F(DispatchTest, DestroyingTheFocusedObjectClearsTheReference) {
    auto* box = AddTo<GUI_INPUTBOX>(top(), 10, 10, 100, 20);
    Click(20, 15);
    ASSERT_EQ(control_->focus(), box);
    EXPECT_TRUE(top()->DeleteObject(box));
    EXPECT_EQ(control_->focus(), nullptr);
    EXPECT_EQ(control_->hover(), nullptr);
    EXPECT_FALSE(Char('x'));
}

TEST_F(DispatchTest, CenterKeepsTheObjectCentred) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 200, 100);
    auto* child = AddTo<GUI_BUTTON>(frame, 0, 0, 51, 21);
    child->Center();
    EXPECT_EQ(child->x(), 100 - 25);
    EXPECT_EQ(child->y(), 50 - 10);
    child->SetSize(100, 50);
    EXPECT_EQ(child->x(), 50);
    EXPECT_EQ(child->y(), 25);
    // Sizes below 1 and fixed sizes are refused.
    child->SetSize(0, 10);
    EXPECT_EQ(child->w(), 100);
    child->SetFlags(GUI_FLAG_FIXED_SIZE);
    child->SetSize(20, 20);
    EXPECT_EQ(child->w(), 100);
}

TEST_F(DispatchTest, NoHandlingFlagSkipsHandlerButNotCallback) {
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    button->SetFlags(GUI_FLAG_NO_HANDLING);
    Move(20, 20);
    Press(20, 20);
    EXPECT_EQ(button->state(), 0);
    EXPECT_EQ(EventLog::Count(button, GEVE_MOUSE_PRESS), 1);
}

TEST_F(DispatchTest, EventTraceWritesDeliveredEvents) {
    static std::vector<std::string> lines;
    lines.clear();
    vorlane::gui::SetTraceSink([](const char* line) { lines.emplace_back(line); });
    vorlane::gui::SetEventTrace(true);
    auto* button = AddTo<GUI_BUTTON>(top(), 10, 10, 50, 50);
    button->SetName("ok");
    Move(20, 20);
    vorlane::gui::SetEventTrace(false);
    vorlane::gui::SetTraceSink(nullptr);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ok: GEVE_MOUSE_OVER (used: true)"),
              lines.end());
    EXPECT_STREQ(GUI_EVENT::NameOf(0x200), "UNKNOWN EVENT");
}

TEST_F(DispatchTest, ActionHandlerTakesTheResult) {
    auto* frame = AddTo<GUI_FRAME>(top(), 0, 0, 100, 100);
    static int seen;
    seen = 0;
    control_->action_handler()->SetAction(frame, [](GUI_OBJECT*, int16_t r) { seen = r; });
    frame->SetResult(5);
    Frame();
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(frame->result(), 0);
    top()->DeleteObject(frame);
    Frame();  // the handler forgot the deleted object
}

}  // namespace
