// Shared fixture of the GUI tests: a control over a 640 x 480 screen, a test
// clock, a built-in font as font 0 and helpers that feed synthetic input records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "baselib/timer.h"
#include "gui/gui_canvas.h"
#include "gui/gui_control.h"
#include "gui/gui_trace.h"
#include "gui/gui_widgets.h"

namespace guitest {

inline vorlane::baselib::ManualClock g_now;

// A font source with one built-in font (8 pixels per character, 10 high).
class TestFonts : public vorlane::gui::GuiFontSource {
  public:
    const vorlane::gui::GuiFont* GetFont(int number) const override {
        return number == 0 ? &font : nullptr;
    }
    vorlane::gui::BuiltinFont font{8, 10};
};

// Records every event an object receives through its callback.
struct EventLog {
    struct Entry {
        GUI_OBJECT* object;
        uint32_t code;
        uint8_t stroke;
    };
    static std::vector<Entry>& Entries() {
        static std::vector<Entry> entries;
        return entries;
    }
    static bool Callback(GUI_OBJECT* object, const GUI_EVENT& event) {
        Entries().push_back({object, event.code, event.stroke});
        return false;
    }
    static int Count(const GUI_OBJECT* object, uint32_t code) {
        int n = 0;
        for (const auto& e : Entries()) n += (e.object == object && e.code == code);
        return n;
    }
    static std::vector<uint32_t> Codes(const GUI_OBJECT* object) {
        std::vector<uint32_t> codes;
        for (const auto& e : Entries()) {
            if (e.object == object)
                codes.push_back(e.code);
        }
        return codes;
    }
};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_now.Set(1000);
        vorlane::baselib::SetAppClock(&g_now);
        GUI_STYLE_OLD_PRIMITIVE::SetFonControl(&fonts_);
        EventLog::Entries().clear();
        control_ = std::make_unique<GUI_CONTROL>();
        ASSERT_TRUE(control_->Init(0, 0, 640, 480));
    }
    void TearDown() override {
        control_.reset();
        GUI_STYLE_OLD_PRIMITIVE::SetFonControl(nullptr);
        vorlane::baselib::SetAppClock(nullptr);
    }

    GUI_OBJECT* top() { return control_->top(); }

    template <typename T>
    T* AddTo(GUI_OBJECT* parent, int x, int y, int w, int h) {
        T* object = parent->Add(std::make_unique<T>());
        object->SetPos(x, y);
        object->SetSize(w, h);
        object->SetCallback(&EventLog::Callback);
        return object;
    }

    bool Move(int x, int y) {
        IOEVE r;
        r.class_flags = kEveMouseInput;
        r.x = uint16_t(x);
        r.y = uint16_t(y);
        r.message = WM_MOUSEMOVE;
        return control_->Process(r);
    }
    bool Press(int x, int y, uint32_t button = kButtonLeft) {
        IOEVE r;
        r.class_flags = kEveMouseInput;
        r.button_flags = button | kButtonPressed;
        r.x = uint16_t(x);
        r.y = uint16_t(y);
        r.message = WM_LBUTTONDOWN;
        return control_->Process(r);
    }
    bool Release(int x, int y, uint32_t button = kButtonLeft) {
        IOEVE r;
        r.class_flags = kEveMouseInput;
        r.button_flags = button | kButtonReleased;
        r.x = uint16_t(x);
        r.y = uint16_t(y);
        r.message = WM_LBUTTONUP;
        return control_->Process(r);
    }
    // A click well after any earlier press (no double click).
    bool Click(int x, int y) {
        g_now.Advance(1000);
        Move(x, y);
        Press(x, y);
        return Release(x, y);
    }
    bool KeyDown(uint32_t key) {
        IOEVE r;
        r.class_flags = kEveKeyDown;
        r.value = key;
        r.message = WM_KEYDOWN;
        return control_->Process(r);
    }
    bool KeyUp(uint32_t key) {
        IOEVE r;
        r.class_flags = kEveKeyUp;
        r.value = key;
        r.message = WM_KEYUP;
        return control_->Process(r);
    }
    bool Char(char c) {
        IOEVE r;
        r.class_flags = kEveChar;
        r.character = static_cast<uint8_t>(c);
        r.message = WM_KEYDOWN;
        return control_->Process(r);
    }
    void Type(const std::string& text) {
        for (char c : text) Char(c);
    }
    void Stroke(uint32_t key) {
        KeyDown(key);
        KeyUp(key);
    }
    void Frame(uint32_t advance_ms = 0) {
        g_now.Advance(advance_ms);
        control_->Update();
    }

    TestFonts fonts_;
    std::unique_ptr<GUI_CONTROL> control_;
};

}  // namespace guitest
