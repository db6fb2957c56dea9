#include "media/input.h"

#include <algorithm>

#include "baselib/log_channel.h"
#include "media/keycodes.h"

namespace vorlane::media {
namespace {

// True when tick `now` is at or after tick `when` (32-bit ticks wrap).
bool Reached(uint32_t now, uint32_t when) {
    return int32_t(now - when) >= 0;
}

// A source that keeps reporting "not acquired" right after a successful
// acquire must not hold the poll in an endless loop.
constexpr int kMaxAcquireAttempts = 4;

// Runs `read` and re-acquires the source when it reports loss of acquisition.
template <typename Read>
bool ReadWithReacquire(InputSource& source, const char* tag, Read read) {
    for (int attempt = 0; attempt <= kMaxAcquireAttempts; ++attempt) {
        ReadStatus status = read();
        if (status == ReadStatus::kOk)
            return true;
        if (status == ReadStatus::kInputLost) {
            source.Unacquire();
            return false;
        }
        source.Unacquire();
        if (!source.Acquire()) {
            Log(kLogWarning, "%s::Process: can't acquire device", tag);
            return false;
        }
        Log(kLogInfo, "%s::Process: acquired device", tag);
    }
    return false;
}

}  // namespace

// [SECTION] keyboard

void DXinputKeyboard::Reset() {
    keys_.fill(KeyState{});
    held_.clear();
    repeat_key_ = kNoRepeat;
    repeat_character_ = 0;
    next_check_ = next_repeat_ = 0;
}

bool DXinputKeyboard::ReadItems(InputSource& source) {
    return ReadWithReacquire(source, "DXinputKeyboard", [&] {
        items_.clear();
        return source.ReadKeyboard(items_, 256);
    });
}

void DXinputKeyboard::Process(uint32_t now, InputSource& source, const InputSink& sink) {
    if (!ReadItems(source))
        return;
    bool went_down = false;
    for (const KeyItem& item : items_)
        if (Apply(item, now, sink))
            went_down = true;

    if (repeat_key_ != kNoRepeat && Reached(now, next_check_)) {
        if (keys_[repeat_key_].state != 0) {
            repeat_key_ = kNoRepeat;
        } else {
            next_check_ = now + kRepeatInterval;
            if (Reached(now, next_repeat_)) {
                next_repeat_ = now + kRepeatInterval;
                IOEVE record;
                record.class_flags = kEveChar;
                record.character = repeat_character_;
                record.message = WM_KEYDOWN;
                sink(record);
            }
        }
    }

    // Held keys are reported again on every poll in which nothing went down.
    if (!went_down) {
        for (uint8_t scan : held_) {
            IOEVE record;
            record.class_flags = kEveKeyDown;
            record.value = uint32_t(EngineKeyCode(scan));
            record.message = WM_KEYDOWN;
            sink(record);
        }
    }
}

bool DXinputKeyboard::Apply(const KeyItem& item, uint32_t now, const InputSink& sink) {
    // A typed character without a key (text from an input method): no repeat.
    if (item.scan == 0) {
        if (item.down && item.character >= 32) {
            IOEVE record;
            record.class_flags = kEveChar;
            record.character = item.character;
            record.message = WM_KEYDOWN;
            sink(record);
        }
        return false;
    }
    KeyState& key = keys_[item.scan];
    if (int32_t(item.sequence - key.sequence) <= 0)
        return false;
    key.sequence = item.sequence;
    key.state = item.down ? 0 : 1;
    key.previous_time = key.time;
    key.time = now;

    uint8_t character = KeypadCharacter(item.scan);
    if (character == 0)
        character = item.character;
    if (!item.down && repeat_key_ == item.scan)
        repeat_key_ = kNoRepeat;
    if (character >= 32 && item.down && repeat_key_ != item.scan) {
        repeat_key_ = item.scan;
        repeat_character_ = character;
        next_repeat_ = now + kRepeatDelay;
        next_check_ = now + kRepeatInterval;
        IOEVE record;
        record.class_flags = kEveChar;
        record.character = character;
        record.message = WM_KEYDOWN;
        sink(record);
    }

    int code = EngineKeyCode(item.scan);
    if (code != kNoEngineKey) {
        auto found = std::find(held_.begin(), held_.end(), item.scan);
        if (item.down && held_.size() < size_t(kMaxHeld)) {
            IOEVE record;
            record.class_flags = kEveKeyDown;
            record.value = uint32_t(code);
            record.message = WM_KEYDOWN;
            sink(record);
            if (found == held_.end())
                held_.push_back(item.scan);
        } else if (!item.down && found != held_.end()) {
            IOEVE record;
            record.class_flags = kEveKeyUp;
            record.value = uint32_t(code);
            record.message = WM_KEYUP;
            sink(record);
            held_.erase(found);
        }
    }
    return item.down;
}

// [SECTION] mouse

void DXinputMouse::Reset(int width, int height) {
    width_ = uint16_t(std::clamp(width, 1, 0xFFFF));
    height_ = uint16_t(std::clamp(height, 1, 0xFFFF));
    x_ = std::clamp(x_, 0, width_ - 1);
    y_ = std::clamp(y_, 0, height_ - 1);
}

void DXinputMouse::set_position(int x, int y) {
    x_ = std::clamp(x, 0, width_ - 1);
    y_ = std::clamp(y, 0, height_ - 1);
}

void DXinputMouse::Move(const MouseSample& s) {
    if (s.absolute) {
        set_position(s.x, s.y);
        return;
    }
    int dx = s.dx, dy = s.dy;
    if (speed_ == kHalf) {
        int tx = dx + remainder_x_, ty = dy + remainder_y_;
        dx = tx / 2;
        dy = ty / 2;
        remainder_x_ = tx - dx * 2;
        remainder_y_ = ty - dy * 2;
    } else if (speed_ == kDouble) {
        dx *= 2;
        dy *= 2;
    }
    set_position(int(std::clamp<int64_t>(int64_t(x_) + dx, INT32_MIN, INT32_MAX)),
                 int(std::clamp<int64_t>(int64_t(y_) + dy, INT32_MIN, INT32_MAX)));
}

IOEVE DXinputMouse::Record(uint32_t class_flags, uint32_t buttons, uint32_t message) const {
    IOEVE record;
    record.class_flags = class_flags;
    record.button_flags = buttons;
    record.x = uint16_t(x_);
    record.y = uint16_t(y_);
    record.message = message;
    return record;
}

void DXinputMouse::Process(uint32_t, InputSource& source, const InputSink& sink) {
    MouseSample s;
    if (!ReadWithReacquire(source, "DXinputMouse", [&] {
            s = MouseSample{};
            return source.ReadMouse(s);
        }))
        return;
    std::copy(up_, up_ + 3, previous_up_);
    int left = swapped_ ? 1 : 0;
    int right = swapped_ ? 0 : 1;
    up_[0] = (s.buttons[left] & 0x80) ? 0 : 1;
    up_[1] = (s.buttons[right] & 0x80) ? 0 : 1;
    up_[2] = (s.buttons[2] & 0x80) ? 0 : 1;
    Move(s);

    // One step per poll; the accumulator is kept within a few thousand steps so
    // a flood of wheel motion cannot overflow it.
    int64_t limit = int64_t(wheel_step_) * 4096;
    wheel_accumulator_ =
        int(std::clamp<int64_t>(int64_t(wheel_accumulator_) + s.wheel, -limit, limit));
    if (wheel_accumulator_ >= wheel_step_) {
        ++wheel_position_;
        wheel_accumulator_ -= wheel_step_;
    } else if (wheel_accumulator_ <= -wheel_step_) {
        --wheel_position_;
        wheel_accumulator_ += wheel_step_;
    }

    if (s.dx != previous_dx_ || s.dy != previous_dy_) {
        // A move carries the held button, the right one first.
        uint32_t buttons = !up_[1]   ? kButtonRight | kButtonPressed
                           : !up_[0] ? kButtonLeft | kButtonPressed
                                     : 0;
        sink(Record(kEveMouseInput, buttons, WM_MOUSEMOVE));
    }
    if (s.wheel != previous_wheel_) {
        uint32_t middle = kButtonMiddle | (!up_[2] ? kButtonPressed : kButtonReleased);
        IOEVE record = Record(kEveWheel, middle, WM_MOUSEWHEEL);
        record.value = uint32_t(s.wheel);
        sink(record);
    }
    if (up_[0] != previous_up_[0]) {
        bool down = up_[0] == 0;
        sink(Record(kEveMouseInput, kButtonLeft | (down ? kButtonPressed : kButtonReleased),
                    down ? WM_LBUTTONDOWN : WM_LBUTTONUP));
    }
    if (up_[1] != previous_up_[1]) {
        bool down = up_[1] == 0;
        sink(Record(kEveMouseInput, kButtonRight | (down ? kButtonPressed : kButtonReleased),
                    down ? WM_RBUTTONDOWN : WM_RBUTTONUP));
    }
    previous_dx_ = s.dx;
    previous_dy_ = s.dy;
    previous_wheel_ = s.wheel;
}

// [SECTION] input object

DXINPUT::DXINPUT(std::unique_ptr<InputSource> source, InputSink sink, bool mouse_wanted,
                 int screen_width, int screen_height)
    : source_(std::move(source)), sink_(std::move(sink)) {
    if (!sink_)
        sink_ = [](const IOEVE&) { return false; };
    if (!source_) {
        Log(kLogError, "DXinput: Cannot Create DirectInput Interface.");
        return;
    }
    if (source_->HasKeyboard()) {
        if (!source_->Acquire())
            Log(kLogWarning,
                "DXinput: Cannot Acquire DirectInput7 Keyboard. We will re-attempt if we get app "
                "focus back!");
        else
            Log(kLogInfo, "DXinput: DirectInput7 Keyboard Interface initiated.");
        keyboard_ = std::make_unique<DXinputKeyboard>();
        keyboard_->Reset();
    } else {
        Log(kLogError, "DXinput: Cannot Create DirectInput7 Keyboard Interface.");
    }
    if (mouse_wanted) {
        if (source_->HasMouse()) {
            mouse_ = std::make_unique<DXinputMouse>();
            mouse_->Reset(screen_width, screen_height);
            Log(kLogInfo, "DXinput: DirectInput7 Keyboard Mouse initiated.");
        } else {
            Log(kLogError, "DXinput: Cannot Create DirectInput7 Mouse Interface.");
        }
    }
}

DXINPUT::~DXINPUT() {
    Release();
}

void DXINPUT::ProcessKeyboard(uint32_t now) {
    if (keyboard_ && source_)
        keyboard_->Process(now, *source_, sink_);
}

void DXINPUT::ProcessMouse(uint32_t now) {
    if (mouse_ && source_)
        mouse_->Process(now, *source_, sink_);
}

void DXINPUT::Release() {
    if (source_)
        source_->Unacquire();
    keyboard_.reset();
    mouse_.reset();
    source_.reset();
}

}  // namespace vorlane::media
