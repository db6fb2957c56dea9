// GUI_INPUTBOX: a one-line text field with a zero-terminated buffer of
// `capacity` bytes, a cursor, horizontal scrolling, a blinking cursor and an
// optional mask ("*" per character).
#include <algorithm>
#include <cstring>

#include "gui/gui_trace.h"
#include "gui/gui_widgets.h"

using vorlane::gui::Trace;

namespace {
// Largest capacity the 16-bit fields can describe.
constexpr int kMaxCapacity = 32767;
}  // namespace

GUI_INPUTBOX::GUI_INPUTBOX() : GUI_OBJECT(GUI_TYPE_INPUTBOX, "Inputbox", 10, 10) {
    buffer_.assign(kDefaultCapacity, 0);
    capacity_ = kDefaultCapacity;
    SetFlags(GUI_FLAG_FOCUSABLE);
}

int GUI_INPUTBOX::Length() const {
    if (buffer_.empty())
        return 0;
    return int(strnlen(buffer_.data(), buffer_.size()));
}

void GUI_INPUTBOX::SetText(const char* text) {
    if (buffer_.empty()) {
        Trace("!ERROR: GUI_INPUTBOX::SetText(): no text array");
        return;
    }
    std::fill(buffer_.begin(), buffer_.end(), 0);
    if (text) {
        const size_t n = strnlen(text, size_t(capacity_ - 1));
        std::memcpy(buffer_.data(), text, n);
    }
    cursor_ = 0;
    scroll_ = 0;
    RefreshStyle();
}

void GUI_INPUTBOX::SetTextMax(int n) {
    const int capacity = std::clamp(n, 0, kMaxCapacity - 2) + 2;
    const int keep = std::min(Length(), capacity - 2);
    std::vector<char> buffer(size_t(capacity), 0);
    if (keep > 0)
        std::memcpy(buffer.data(), buffer_.data(), size_t(keep));
    buffer_ = std::move(buffer);
    capacity_ = int16_t(capacity);
    cursor_ = int16_t(std::min<int>(cursor_, keep));
    AdjustScroll();
    RefreshStyle();
}

void GUI_INPUTBOX::SetCursor(int cursor) {
    cursor_ = int16_t(std::clamp(cursor, 0, Length()));
    AdjustScroll();
    RefreshStyle();
}

std::string GUI_INPUTBOX::VisibleText() const {
    const int length = Length();
    const int from = std::min<int>(scroll_, length);
    if (masked_)
        return std::string(size_t(length - from), '*');
    return std::string(buffer_.data() + from, size_t(length - from));
}

int GUI_INPUTBOX::MeasureRange(int from, int to) const {
    const GUI_STYLE* style = GetStyle();
    if (!style || to <= from)
        return 0;
    std::string part = masked_ ? std::string(size_t(to - from), '*')
                               : std::string(buffer_.data() + from, size_t(to - from));
    return style->TextWidth(part.c_str());
}

void GUI_INPUTBOX::AdjustScroll() {
    const int length = Length();
    if (length == 0 || scroll_ > length)
        scroll_ = 0;
    if (cursor_ <= scroll_)
        scroll_ = int16_t(std::max(cursor_ - 1, 0));
    const GUI_STYLE* style = GetStyle();
    if (!style)
        return;
    const int room = w() - style->TextWidth("_");
    while (scroll_ < cursor_ && MeasureRange(scroll_, cursor_) >= room) ++scroll_;
}

bool GUI_INPUTBOX::InsertAt(int at, char c) {
    if (buffer_.empty() || at < 0 || at > Length())
        return false;
    const int last = capacity_ - 1;  // the terminating zero always stays
    if (at >= last)
        return false;
    // The character at the end falls off when the buffer is full.
    std::memmove(buffer_.data() + at + 1, buffer_.data() + at, size_t(last - at - 1));
    buffer_[size_t(at)] = c;
    buffer_[size_t(last)] = 0;
    return true;
}

void GUI_INPUTBOX::EraseAt(int at) {
    const int length = Length();
    if (at < 0 || at >= length)
        return;
    std::memmove(buffer_.data() + at, buffer_.data() + at + 1, size_t(length - at));
}

void GUI_INPUTBOX::Edited() {
    cursor_on_ = 1;
    blink_time_ = vorlane::gui::Now();
    AdjustScroll();
    if (counter_target_)
        counter_target_->SetPosition(Length());
    RefreshStyle();
}

bool GUI_INPUTBOX::HandleKey(uint32_t key) {
    using namespace vorlane::gui;
    switch (key) {
        case kKeyBackspace:
            if (cursor_ > 0) {
                EraseAt(cursor_ - 1);
                --cursor_;
            }
            break;
        case kKeyDelete:
            EraseAt(cursor_);
            break;
        case kKeyLeft:
            if (cursor_ > 0)
                --cursor_;
            break;
        case kKeyRight:
            if (cursor_ < Length())
                ++cursor_;
            break;
        case kKeyHome:
            cursor_ = 0;
            break;
        case kKeyEnd:
            cursor_ = int16_t(Length());
            break;
        case kKeyPageDown:
            std::fill(buffer_.begin(), buffer_.end(), 0);
            cursor_ = 0;
            scroll_ = 0;
            break;
        case kKeyInsert:
            InsertAt(cursor_, ' ');
            break;
        default:
            return false;
    }
    return true;
}

bool GUI_INPUTBOX::HandleEvent(const GUI_EVENT& event) {
    switch (event.code) {
        case GEVE_KEY_ASCII: {
            if (event.character < 32 || event.character > 255)
                return false;
            if (buffer_.empty() || cursor_ + 2 >= capacity_)
                return false;
            if (!InsertAt(cursor_, char(event.character)))
                return false;
            ++cursor_;
            Edited();
            return true;
        }
        case GEVE_KEY_PRESS:
            if (!event.stroke || buffer_.empty() || !HandleKey(event.key))
                return false;
            Edited();
            return true;
        case GEVE_MOUSE_PRESS: {
            int ax, ay;
            ComputeAbsolute(ax, ay);
            const int pointer = event.x - ax;
            const int length = Length();
            int left = 0, index = scroll_;
            int cursor = length;
            const GUI_STYLE* style = GetStyle();
            for (; style && index < length; ++index) {
                const char one[2] = {masked_ ? '*' : buffer_[size_t(index)], 0};
                const int cw = style->TextWidth(one);
                if (pointer >= left && pointer < left + cw) {
                    cursor = std::max(index - 1, 0);
                    break;
                }
                left += cw;
            }
            cursor_ = int16_t(cursor);
            cursor_on_ = 1;
            blink_time_ = vorlane::gui::Now();
            AdjustScroll();
            RefreshStyle();
            return true;
        }
        case GEVE_GOT_FOCUS:
        case GEVE_MOUSE_OVER:
        case GEVE_MOUSE_OUT:
            RefreshStyle();
            return false;
        case GEVE_LOST_FOCUS:
            cursor_on_ = 0;
            RefreshStyle();
            return false;
        default:
            return false;
    }
}

void GUI_INPUTBOX::Update() {
    if (!TestFlags(GUI_FLAG_FOCUS)) {
        cursor_on_ = 0;
        return;
    }
    const uint32_t now = vorlane::gui::Now();
    if (now - blink_time_ > kBlinkInterval) {
        cursor_on_ = cursor_on_ ? 0 : 1;
        blink_time_ = now;
        RefreshStyle();
        vorlane::gui::CaretToggled();
    }
    vorlane::gui::CaretChangeDueIn(kBlinkInterval + 1 - (now - blink_time_));
}

void GUI_INPUTBOX::Draw(int, int) {
    if (GetStyle())
        GetStyle()->DrawInputbox(this);
}
