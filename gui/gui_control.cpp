// GUI_CONTROL: roots, input translation, update and draw passes.
//
// [SECTION] Life cycle
// [SECTION] Input translation
// [SECTION] Update and draw passes
// [SECTION] GUI_ACTIONHANDLER
#include "gui/gui_control.h"

#include <algorithm>

#include "gui/gui_trace.h"

using vorlane::gui::Now;
using vorlane::gui::Trace;

namespace {
GUI_CONTROL* g_control = nullptr;

// Key-repeat timing of held keys: a first stroke, 230 ms of reports that are no
// strokes, a stroke, then 45 ms of non-strokes after which every report is one.
//
//   state | same key and ...            | result
//   ------+-----------------------------+-------------------------------
//     0   | any key                     | stroke, state 1, remember key
//     1   | < 230 ms since first stroke | no stroke
//     1   | >= 230 ms                   | stroke, state 2, time renewed
//     2   | < 45 ms since that          | no stroke
//     2   | >= 45 ms                    | stroke (time not renewed)
constexpr uint32_t kRepeatFirst = 230;
constexpr uint32_t kRepeatNext = 45;
}  // namespace

// [SECTION] Life cycle

GUI_CONTROL::GUI_CONTROL() : previous_(g_control) {
    g_control = this;
}

GUI_CONTROL::~GUI_CONTROL() {
    Release();
    if (g_control == this)
        g_control = previous_;
}

GUI_CONTROL* GUI_CONTROL::Get() {
    return g_control;
}

bool GUI_CONTROL::Init(int x, int y, int w, int h) {
    top_ = std::make_unique<GUI_OBJECT>();
    top_->id_ = 0;
    top_->SetName("top");
    top_->SetStyle(std::make_unique<GUI_STYLE_OLD_PRIMITIVE>());
    top_->SetPos(x, y);
    top_->SetSize(w, h);
    action_handler_ = std::make_unique<GUI_ACTIONHANDLER>();
    input_disabled_ = 0;
    return true;
}

void GUI_CONTROL::Release() {
    focus_ = nullptr;
    hover_ = nullptr;
    tooltip_object_ = nullptr;
    top_.reset();
    overlay_.reset();
    if (default_style_) {
        default_style_->Unlock();
        default_style_.reset();
    }
    action_handler_.reset();
    focus_ = nullptr;
    hover_ = nullptr;
    tooltip_object_ = nullptr;
}

void GUI_CONTROL::SetOverlay(std::unique_ptr<GUI_OBJECT> overlay) {
    overlay_.reset();
    overlay_ = std::move(overlay);
}

void GUI_CONTROL::SetDefaultStyle(std::unique_ptr<GUI_STYLE> style) {
    if (default_style_)
        default_style_->Unlock();
    default_style_ = std::move(style);
}

int32_t GUI_CONTROL::AddObject(std::unique_ptr<GUI_OBJECT> object) {
    return top_ ? top_->AddObject(std::move(object)) : -1;
}

std::unique_ptr<GUI_OBJECT> GUI_CONTROL::ReleaseObject(GUI_OBJECT* object) {
    return top_ ? top_->ReleaseObject(object) : nullptr;
}

bool GUI_CONTROL::DeleteObject(GUI_OBJECT* object) {
    return top_ ? top_->DeleteObject(object) : false;
}

void GUI_CONTROL::SetTooltipObject(GUI_OBJECT* object) {
    if (tooltip_object_ == object)
        return;
    tooltip_object_ = object;
    move_time_ = Now();
}

void GUI_CONTROL::ForgetObject(const GUI_OBJECT* object) {
    if (focus_ == object)
        focus_ = nullptr;
    if (hover_ == object)
        hover_ = nullptr;
    if (tooltip_object_ == object)
        tooltip_object_ = nullptr;
}

// [SECTION] Input translation

bool GUI_CONTROL::SendToTarget(const GUI_EVENT& event) {
    GUI_OBJECT* target = overlay_ ? overlay_.get() : top_.get();
    return target ? target->SendEvent(event, 0, 0) : false;
}

bool GUI_CONTROL::Process(const IOEVE& record) {
    if (input_disabled_ || !top_)
        return false;
    const uint32_t now = Now();
    bool used = false;
    if (record.class_flags & kEveMouse) {
        used = ProcessMouse(record, now);
    } else if (record.class_flags & kEveKeyDown) {
        used = ProcessKeyDown(record, now);
    } else if (record.class_flags & kEveKeyUp) {
        used = SendToTarget(
            GUI_EVENT::Key(GEVE_KEY_RELEASE, record.value, record.character, alt_down_, 0));
        repeat_state_ = 0;
        if (record.value == vorlane::gui::kKeyLeftAlt)
            alt_down_ = 0;
    } else if (record.class_flags & kEveChar) {
        const uint32_t code = alt_down_ ? GEVE_KEY_ALT : GEVE_KEY_ASCII;
        used = SendToTarget(GUI_EVENT::Key(code, record.value, record.character, alt_down_, 1));
    }
    return used;
}

bool GUI_CONTROL::ProcessMouse(const IOEVE& record, uint32_t now) {
    // `top` always sees the pointer enter, so it always claims the hover first.
    top_->ClearFlags(GUI_FLAG_INSIDE);
    auto to_gui = [](uint16_t v, float scale) {
        return int16_t(std::clamp(int(float(v) / scale), 0, int(INT16_MAX)));
    };
    const int16_t gx = to_gui(record.x, scale_x_);
    const int16_t gy = to_gui(record.y, scale_y_);
    const int16_t dx = int16_t(gx - mouse_x_);
    const int16_t dy = int16_t(gy - mouse_y_);
    mouse_x_ = gx;
    mouse_y_ = gy;

    ++move_serial_;
    bool used = SendToTarget(GUI_EVENT::Mouse(GEVE_MOUSE_MOVE, gx, gy, 0, dx, dy));
    if (hover_ && hover_->type() > 0)
        used = true;
    if (dx != 0 || dy != 0)
        move_time_ = now;

    uint8_t buttons = 0;
    if (record.button_flags & kButtonLeft)
        buttons |= GUI_BUTTON_LEFT;
    if (record.button_flags & kButtonMiddle)
        buttons |= GUI_BUTTON_MIDDLE;
    if (record.button_flags & kButtonRight)
        buttons |= GUI_BUTTON_RIGHT;
    if (!buttons)
        return used;

    uint32_t code = GEVE_NONE;
    if ((record.button_flags & kButtonPressed) && !(mouse_buttons_ & buttons)) {
        mouse_buttons_ |= buttons;
        if (pressed_before_ && now - last_press_time_ < dclick_interval_) {
            code = GEVE_MOUSE_DCLICK;
        } else {
            code = GEVE_MOUSE_PRESS;
            last_press_time_ = now;
            pressed_before_ = true;
        }
    } else if ((record.button_flags & kButtonReleased) && (mouse_buttons_ & buttons)) {
        mouse_buttons_ &= uint16_t(~buttons);
        code = GEVE_MOUSE_RELEASE;
    }
    if (code != GEVE_NONE) {
        if (SendToTarget(GUI_EVENT::Mouse(code, gx, gy, buttons, dx, dy)))
            used = true;
    }
    return used;
}

bool GUI_CONTROL::ProcessKeyDown(const IOEVE& record, uint32_t now) {
    GUI_EVENT event = GUI_EVENT::Key(GEVE_KEY_PRESS, record.value, record.character, alt_down_, 1);
    const bool same = record.value == repeat_key_;
    if (same && repeat_state_ == 2 && now - repeat_time_ < kRepeatNext) {
        event.stroke = 0;
    } else if (same && repeat_state_ == 1 && now - repeat_time_ < kRepeatFirst) {
        event.stroke = 0;
    } else if (same && repeat_state_ == 1) {
        repeat_time_ = now;
        repeat_state_ = 2;
    } else if (repeat_state_ == 0) {
        repeat_key_ = record.value;
        repeat_state_ = 1;
        repeat_time_ = now;
    }
    if (record.value == vorlane::gui::kKeyLeftAlt)
        alt_down_ = 1;
    return SendToTarget(event);
}

// [SECTION] Update and draw passes

void GUI_CONTROL::UpdateTree(GUI_OBJECT* object) {
    std::vector<GUI_OBJECT*> doomed;
    // Index loop: an Update may add children to this list.
    for (size_t i = 0; i < object->children_.size(); ++i) {
        GUI_OBJECT* child = object->children_[i].get();
        if (child->TestFlags(GUI_FLAG_DELETE))
            doomed.push_back(child);
        child->Update();
        UpdateTree(child);
    }
    for (GUI_OBJECT* child : doomed) object->DeleteObject(child);
    if (!doomed.empty())
        vorlane::gui::ChangeDueIn(0);
}

void GUI_CONTROL::Update() {
    for (GUI_OBJECT* root : {top_.get(), overlay_.get()}) {
        if (!root)
            continue;
        root->Update();
        UpdateTree(root);
    }
    if (action_handler_)
        action_handler_->Run();
    // A tooltip that is still waiting for its delay appears without input.
    if (tooltip_object_ && tooltip_object_->GetTooltip()) {
        const uint32_t waited = Now() - move_time_;
        if (waited <= tooltip_delay_)
            vorlane::gui::ChangeDueIn(tooltip_delay_ + 1 - waited);
    }
}

void GUI_CONTROL::DrawTree(GUI_OBJECT* object, int ox, int oy) {
    if (!object->IsVisible())
        return;
    const int ax = ox + object->x_, ay = oy + object->y_;
    object->abs_x_ = int16_t(ax);
    object->abs_y_ = int16_t(ay);
    object->Draw(ax, ay);
    for (size_t i = 0; i < object->children_.size(); ++i) {
        DrawTree(object->children_[i].get(), ax, ay);
    }
}

void GUI_CONTROL::Draw(vorlane::gui::GuiCanvas& target) {
    vorlane::gui::GuiCanvas* previous = vorlane::gui::DrawTarget();
    vorlane::gui::SetDrawTarget(&target);
    if (top_)
        DrawTree(top_.get(), 0, 0);
    if (overlay_)
        DrawTree(overlay_.get(), 0, 0);
    vorlane::gui::SetDrawTarget(previous);
}

void GUI_CONTROL::DrawTooltip(vorlane::gui::GuiCanvas& target) {
    GUI_OBJECT* object = tooltip_object_;
    if (!object || Now() - move_time_ <= tooltip_delay_)
        return;
    if (!object->GetStyle() || !object->GetTooltip())
        return;
    vorlane::gui::GuiCanvas* previous = vorlane::gui::DrawTarget();
    vorlane::gui::SetDrawTarget(&target);
    object->GetStyle()->DrawTooltip(mouse_x_, mouse_y_, object->GetTooltip());
    vorlane::gui::SetDrawTarget(previous);
}

// [SECTION] GUI_ACTIONHANDLER

void GUI_ACTIONHANDLER::SetAction(GUI_OBJECT* object, Action action) {
    object_ = object;
    action_ = std::move(action);
}

void GUI_ACTIONHANDLER::ClearAction() {
    object_ = nullptr;
    action_ = nullptr;
}

void GUI_ACTIONHANDLER::Forget(const GUI_OBJECT* object) {
    if (object_ == object)
        ClearAction();
}

void GUI_ACTIONHANDLER::Run() {
    if (!object_ || !action_ || object_->result() == 0)
        return;
    const int16_t result = object_->result();
    object_->ClearResult();
    action_(object_, result);
}
