// GUI_SCROLLBAR: a bar with two arrow buttons (its children), a track and a
// thumb. The orientation follows the shape: taller than wide is vertical.
#include <algorithm>
#include <cstdio>

#include "baselib/log_channel.h"
#include "gui/gui_trace.h"
#include "gui/gui_widgets.h"

namespace {
constexpr int kArrowSize = 16;
constexpr int16_t kMinThumb = 10;
}  // namespace

GUI_SCROLLBAR::GUI_SCROLLBAR() : GUI_OBJECT(GUI_TYPE_SCROLLBAR, "Scrollbar", 100, 16) {
    auto less = std::make_unique<GUI_BUTTON>();
    auto more = std::make_unique<GUI_BUTTON>();
    less->SetResultValue(3);
    more->SetResultValue(4);
    less->SetSize(kArrowSize, kArrowSize);
    more->SetSize(kArrowSize, kArrowSize);
    less_ = Add(std::move(less));
    more_ = Add(std::move(more));
}

int GUI_SCROLLBAR::Length() const {
    return orientation_ == kVertical ? h() : w();
}

int GUI_SCROLLBAR::LessLength() const {
    if (!less_)
        return 0;
    return orientation_ == kVertical ? less_->h() : less_->w();
}

int GUI_SCROLLBAR::MoreLength() const {
    if (!more_)
        return 0;
    return orientation_ == kVertical ? more_->h() : more_->w();
}

void GUI_SCROLLBAR::ComputeThumbSize() {
    const int track = std::max(Track(), 0);
    const int range = range_ > 0 ? range_ : 1;
    int size = int(int64_t(track) * std::max(visible_, 0) / range);
    size = std::max(size, int(kMinThumb));
    size = std::min(size, track);
    thumb_size_ = int16_t(size);
}

void GUI_SCROLLBAR::ComputeThumbPos() {
    const int track = std::max(Track(), 0);
    const int less = LessLength();
    const int range = range_ > 0 ? range_ : 1;
    int pos = int(int64_t(position_) * track / range) + less;
    pos = std::max(pos, less);
    if (pos - less + thumb_size_ > track)
        pos = less + track - thumb_size_;
    thumb_pos_ = int16_t(pos + 1);
}

void GUI_SCROLLBAR::Clamp() {
    if (range_ < 1) {
        position_ = 0;
    } else {
        position_ = std::clamp(position_, 0, range_ - 1);
    }
}

void GUI_SCROLLBAR::SetPosition(int32_t position, bool recompute) {
    const int32_t old = position_;
    position_ = position;
    Clamp();
    if (recompute) {
        ComputeThumbSize();
        ComputeThumbPos();
    }
    if (position_ != old) {
        MarkContentChanged();
        if (linked_box_) {
            char text[16];
            std::snprintf(text, sizeof text, "%d", position_);
            linked_box_->SetText(text);
            linked_box_->SetCursor(linked_box_->Length());
        }
    }
    RefreshStyle();
}

void GUI_SCROLLBAR::StepBack() {
    SetPosition(position_ - 1, true);
}

void GUI_SCROLLBAR::StepForward() {
    SetPosition(position_ + 1, true);
}

void GUI_SCROLLBAR::Draw(int, int) {
    // A size set while the bar was hidden never reached it as an event.
    const bool vertical_shape = h() > w(), horizontal_shape = w() > h();
    if ((vertical_shape && orientation_ != kVertical) ||
        (horizontal_shape && orientation_ != kHorizontal)) {
        Reshape();
    }
    ComputeThumbSize();
    // While dragging, the thumb stays under the pointer rather than jumping to
    // the truncated position.
    if (!dragging_)
        ComputeThumbPos();
    if (GetStyle())
        GetStyle()->DrawScrollbar(this);
}

void GUI_SCROLLBAR::ApplyArrowStyles() {
    GUI_STYLE* style = GetStyle();
    if (!style || !less_ || !more_)
        return;
    const bool vertical = orientation_ == kVertical;
    const int less_slot = vertical ? vorlane::gui::kSlotArrowUp : vorlane::gui::kSlotArrowLeft;
    const int more_slot = vertical ? vorlane::gui::kSlotArrowDown : vorlane::gui::kSlotArrowRight;
    for (auto [button, first] : {std::pair{less_, less_slot}, std::pair{more_, more_slot}}) {
        std::unique_ptr<GUI_STYLE> arrow = style->Clone();
        for (int k = 0; k < 3; ++k) arrow->SetPictureEntry(k, style->GetPictureEntry(first + k));
        button->SetStyle(std::move(arrow));
    }
}

void GUI_SCROLLBAR::Reshape() {
    if (!less_ || !more_ || w() == h())
        return;
    const int32_t before = orientation_;
    if (h() > w()) {
        orientation_ = kVertical;
        less_->SetText("^");
        more_->SetText("v");
        less_->SetPos(0, 0);
        less_->SetSize(w(), kArrowSize);
        more_->SetPos(0, h() - kArrowSize);
        more_->SetSize(w(), kArrowSize);
    } else {
        orientation_ = kHorizontal;
        less_->SetText("<");
        more_->SetText(">");
        less_->SetPos(0, 0);
        less_->SetSize(kArrowSize, h());
        more_->SetPos(w() - kArrowSize, 0);
        more_->SetSize(kArrowSize, h());
    }
    if (before != orientation_)
        ApplyArrowStyles();
}

int GUI_SCROLLBAR::PointerAlong(const GUI_EVENT& event) const {
    int ax, ay;
    ComputeAbsolute(ax, ay);
    return orientation_ == kVertical ? event.y - ay : event.x - ax;
}

bool GUI_SCROLLBAR::HandleEvent(const GUI_EVENT& event) {
    switch (event.code) {
        case GEVE_NEW_SIZE:
            Reshape();
            return false;
        case GEVE_NEW_STYLE:
            ApplyArrowStyles();
            return false;
        case GEVE_MOUSE_PRESS: {
            const int along = PointerAlong(event);
            if (along >= thumb_pos_ && along < thumb_pos_ + thumb_size_) {
                dragging_ = 1;
                grab_ = int16_t(along - thumb_pos_);
            }
            return true;
        }
        case GEVE_MOUSE_MOVE: {
            if (!dragging_)
                return false;
            const int track = Track();
            const int less = LessLength();
            if (track <= 0)
                return false;
            int pos = PointerAlong(event) - grab_;
            pos = std::max(pos, less);
            pos = std::min(pos, less + track - thumb_size_);
            thumb_pos_ = int16_t(pos);
            const int32_t position = int32_t(float(range_) / float(track) * float(pos - less));
            vorlane::Log(kLogInfo, "%d %d %d", position, range_, visible_);
            SetPosition(position, false);
            return true;
        }
        case GEVE_MOUSE_CLICK: {
            if (dragging_)
                return true;
            const int along = PointerAlong(event);
            if (along < thumb_pos_) {
                SetPosition(position_ - step_, true);
            } else if (along >= thumb_pos_ + thumb_size_ && along < Length() - MoreLength()) {
                SetPosition(position_ + step_, true);
            }
            return true;
        }
        case GEVE_MOUSE_RELEASE:
            dragging_ = 0;
            RefreshStyle();
            return false;
        default:
            return false;
    }
}

void GUI_SCROLLBAR::Update() {
    const int16_t result = this->result();
    if (result == 3 || result == 4) {
        if (result == 3)
            StepBack();
        if (result == 4)
            StepForward();
        holding_ = false;
    }
    ClearResult();
    const bool less_held = less_ && less_->state() == 2;
    const bool more_held = more_ && more_->state() == 2;
    if (!less_held && !more_held) {
        holding_ = false;
        return;
    }
    // A held arrow steps on its own: look again next frame.
    vorlane::gui::ChangeDueIn(0);
    const uint32_t now = vorlane::gui::Now();
    if (!holding_) {
        holding_ = true;
        repeat_since_ = now;
    } else if (now - repeat_since_ >= kArrowRepeatDelay) {
        if (less_held)
            StepBack();
        if (more_held)
            StepForward();
    }
}
