// The autopilot's coroutine: waiting, the exit statuses of assert and of
// script errors, quit, and the input records it posts.
#include "app/autopilot.h"

#include <gtest/gtest.h>

#include "baselib/ioeve.h"
#include "baselib/queue.h"
#include "baselib/timer.h"
#include "gui/gui_control.h"
#include "gui/gui_widgets.h"

namespace {

using namespace vorlane;

struct Exit {
    int status = -1;
    std::string message;
};

class AutopilotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AUTOPILOT_SetExitHandler([this](int status, const std::string& message) {
            exit_.status = status;
            exit_.message = message;
        });
        host_.quit = [this] { ++quits_; };
        vorlane::baselib::SetAppClock(&now_);
    }
    void TearDown() override {
        AUTOPILOT_Stop();
        AUTOPILOT_SetExitHandler(nullptr);
        vorlane::baselib::SetAppClock(nullptr);
        if (queue_)
            MTX_QLIST::Destroy(queue_, 1);
    }
    // A GUI with one 40 x 20 button at (100, 50) that every name finds, and
    // an input queue the script posts to.
    void MakeButtonHost(GUI_CONTROL& gui) {
        ASSERT_TRUE(gui.Init(0, 0, 640, 480));
        auto button = std::make_unique<GUI_BUTTON>();
        button->SetPos(100, 50);
        button->SetSize(40, 20);
        GUI_OBJECT* raw = gui.Add(std::move(button));
        queue_ = MTX_QLIST::Create();
        ASSERT_NE(queue_, nullptr);
        host_.input_queue = queue_;
        host_.find_object = [raw](const char* name) {
            return std::string(name) == "missing" ? nullptr : raw;
        };
    }
    AutopilotHost host_;
    MTX_QLIST* queue_ = nullptr;
    Exit exit_;
    int quits_ = 0;
    baselib::ManualClock now_{1000};
};

TEST_F(AutopilotTest, WaitsFramesAndSleepsByTheClock) {
    ASSERT_TRUE(AUTOPILOT_StartText("autopilot.wait(3) autopilot.sleep(100) autopilot.quit(7)", "t",
                                    host_));
    AUTOPILOT_Step();  // runs to wait(3)
    AUTOPILOT_Step();
    AUTOPILOT_Step();
    EXPECT_EQ(quits_, 0);
    AUTOPILOT_Step();  // resumes, runs to sleep(100)
    AUTOPILOT_Step();
    EXPECT_EQ(quits_, 0);
    now_.Advance(100);
    AUTOPILOT_Step();
    EXPECT_EQ(quits_, 1);
    EXPECT_EQ(AUTOPILOT_ExitCode(), 7);
}

TEST_F(AutopilotTest, AssertAndErrorsEndWithTheirStatus) {
    ASSERT_TRUE(AUTOPILOT_StartText("autopilot.assert(1 == 2, 'numbers differ')", "t", host_));
    AUTOPILOT_Step();
    EXPECT_EQ(exit_.status, 3);
    EXPECT_NE(exit_.message.find("numbers differ"), std::string::npos);
    ASSERT_TRUE(AUTOPILOT_StartText("local x = nil; x.y = 1", "t", host_));
    AUTOPILOT_Step();
    EXPECT_EQ(exit_.status, 4);
    EXPECT_FALSE(AUTOPILOT_Running());
    EXPECT_FALSE(AUTOPILOT_StartText("this is not lua", "t", host_));
}

TEST_F(AutopilotTest, WaitUntilTimesOut) {
    ASSERT_TRUE(
        AUTOPILOT_StartText("local ok = autopilot.wait_until(function() return false end, 50)"
                            " autopilot.assert(ok, 'timed out')",
                            "t", host_));
    AUTOPILOT_Step();
    AUTOPILOT_Step();
    EXPECT_EQ(exit_.status, -1);
    now_.Advance(60);
    AUTOPILOT_Step();
    EXPECT_EQ(exit_.status, 3);
}

TEST_F(AutopilotTest, ClickAndTypePostRecordsAtTheObject) {
    GUI_CONTROL gui;
    MakeButtonHost(gui);
    MTX_QLIST* queue = queue_;
    ASSERT_TRUE(AUTOPILOT_StartText(
        "autopilot.assert(autopilot.visible('b'), 'hidden') autopilot.click('b')"
        " autopilot.type('ok') autopilot.click('missing')",
        "t", host_));
    AUTOPILOT_Step();
    std::vector<IOEVE> records;
    while (IOEVE* event = static_cast<IOEVE*>(queue->Pop(nullptr))) {
        records.push_back(*event);
        IOEVE_Free(event);
    }
    ASSERT_EQ(records.size(), 3u);  // move, press, release; typing waits for the next step
    EXPECT_EQ(records[1].message, 513u);
    EXPECT_EQ(records[1].x, 120);
    EXPECT_EQ(records[1].y, 60);
    // The interval after a click counts from the step after it, when the
    // click has been handled.
    now_.Advance(1000);
    AUTOPILOT_Step();
    EXPECT_EQ(exit_.status, -1);
    now_.Advance(400);
    AUTOPILOT_Step();
    EXPECT_EQ(exit_.status, 4);  // no object 'missing'
    size_t chars = 0;
    while (IOEVE* event = static_cast<IOEVE*>(queue->Pop(nullptr))) {
        chars += event->message == 258 ? 1 : 0;
        IOEVE_Free(event);
    }
    EXPECT_EQ(chars, 2u);
}

}  // namespace

namespace {

TEST_F(AutopilotTest, ClicksFirstClickAPlayingIntroAway) {
    GUI_CONTROL gui;
    MakeButtonHost(gui);
    MTX_QLIST* queue = queue_;
    bool intro = true;
    host_.intro_playing = [&intro] { return intro; };
    ASSERT_TRUE(AUTOPILOT_StartText("autopilot.click('b') autopilot.click('b')", "t", host_));
    auto drain = [queue] {
        size_t presses = 0;
        while (IOEVE* event = static_cast<IOEVE*>(queue->Pop(nullptr))) {
            presses += event->message == 513 ? 1 : 0;
            IOEVE_Free(event);
        }
        return presses;
    };
    AUTOPILOT_Step();
    EXPECT_EQ(drain(), 2u);  // the click that skips the intro, then the real one
    intro = false;
    AUTOPILOT_Step();
    now_.Advance(400);
    AUTOPILOT_Step();
    EXPECT_EQ(drain(), 1u);
}

}  // namespace

namespace {

// What the busy-channel benchmark's script relies on: single items from the
// end of a list, a click that does not wait out the double-click interval,
// and the iteration count.
TEST_F(AutopilotTest, ReadsSingleItemsAndClicksWithoutSettling) {
    GUI_CONTROL gui;
    ASSERT_TRUE(gui.Init(0, 0, 640, 480));
    auto list = std::make_unique<GUI_LIST>();
    list->SetPos(10, 10);
    list->SetSize(100, 100);
    list->AddItem("first");
    list->AddItem("last");
    GUI_OBJECT* raw = gui.Add(std::move(list));
    queue_ = MTX_QLIST::Create();
    host_.input_queue = queue_;
    host_.find_object = [raw](const char*) { return raw; };
    ASSERT_TRUE(AUTOPILOT_StartText(
        "local a = autopilot.assert "
        "a(autopilot.count('l') == 2, 'count') "
        "a(autopilot.item('l', -1) == 'last' and autopilot.item('l', 0) == 'first', 'item') "
        "a(autopilot.item('l', 2) == nil and autopilot.item('l', -3) == nil, 'outside') "
        "autopilot.click('l', 'left', false) "
        "local frames = autopilot.frames() a(frames == 2, 'frames ' .. frames) "
        "autopilot.quit(0)",
        "t", host_));
    AUTOPILOT_Step();  // runs to the click
    AUTOPILOT_Step();  // and on, with the application clock standing still
    EXPECT_EQ(exit_.status, -1) << exit_.message;
    EXPECT_EQ(quits_, 1);
}

}  // namespace
