// The input layer: keyboard and mouse readers that turn device state into input
// event records, polled once per main-loop tick.
//
// DXINPUT owns a keyboard reader (DXinputKeyboard) and a mouse reader
// (DXinputMouse), which make IOEVE records (baselib/ioeve.h). Both read from an InputSource: the
// SDL one (sdl_input.h) fed from the window's events, or a scripted one in tests. Records go to a
// sink, normally the program's input event queue.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "baselib/ioeve.h"

namespace vorlane::media {

// Receives each record; returns false when it could not take it (dropped).
using InputSink = std::function<bool(const IOEVE&)>;

// One buffered keyboard item.
struct KeyItem {
    uint8_t scan = 0;  // scan code (DIK numbering); 0 = a typed character without a key
    bool down = false;
    uint32_t sequence = 0;  // increasing per item
    uint8_t character = 0;  // what the key types with the current modifiers, 0 none
};

// One mouse poll.
struct MouseSample {
    bool absolute = false;  // x, y hold the cursor position in screen pixels
    int x = 0;
    int y = 0;
    int dx = 0;  // relative motion since the previous poll
    int dy = 0;
    int wheel = 0;            // raw wheel motion (120 per notch)
    uint8_t buttons[4] = {};  // 0x80 = down
};

enum class ReadStatus { kOk, kNotAcquired, kInputLost };

// Where the readers get device state from.
class InputSource {
  public:
    virtual ~InputSource() = default;
    virtual bool HasKeyboard() const = 0;
    virtual bool HasMouse() const = 0;
    // Buffered keyboard items since the last read (at most `max`).
    virtual ReadStatus ReadKeyboard(std::vector<KeyItem>& items, size_t max) = 0;
    virtual ReadStatus ReadMouse(MouseSample& sample) = 0;
    virtual bool Acquire() { return true; }
    virtual void Unacquire() {}
    // True while the pointer moves with no event to say so (a held stick).
    virtual bool Moving() const { return false; }
};

// The keyboard reader: key table, held keys, character repeat.
class DXinputKeyboard {
  public:
    static constexpr int kMaxHeld = 8;
    static constexpr uint32_t kRepeatDelay = 500;
    static constexpr uint32_t kRepeatInterval = 50;
    static constexpr uint16_t kNoRepeat = 0xFFFF;

    void Reset();
    // Reads the device and posts the records of one tick.
    void Process(uint32_t now, InputSource& source, const InputSink& sink);

    bool key_down(uint8_t scan) const { return keys_[scan].state == 0; }
    const std::vector<uint8_t>& held() const { return held_; }
    uint16_t repeat_key() const { return repeat_key_; }

  private:
    struct KeyState {
        uint8_t state = 1;  // 0 down, 1 up
        uint32_t previous_time = 0;
        uint32_t time = 0;
        uint32_t sequence = 0;
    };
    bool ReadItems(InputSource& source);
    bool Apply(const KeyItem& item, uint32_t now, const InputSink& sink);

    std::array<KeyState, 256> keys_{};
    std::vector<uint8_t> held_;
    std::vector<KeyItem> items_;
    uint16_t repeat_key_ = kNoRepeat;
    uint8_t repeat_character_ = 0;
    uint32_t next_check_ = 0;
    uint32_t next_repeat_ = 0;
};

// The mouse reader: buttons, clamped cursor, speed modes, wheel.
class DXinputMouse {
  public:
    enum Speed { kHalf = 0, kNormal = 1, kDouble = 2 };

    void Reset(int width, int height);
    void Process(uint32_t now, InputSource& source, const InputSink& sink);

    void set_speed(int speed) { speed_ = speed; }
    void set_swapped(bool swapped) { swapped_ = swapped; }
    void set_wheel_step(int step) { wheel_step_ = step > 0 && step <= 65536 ? step : 120; }
    void set_position(int x, int y);
    int x() const { return x_; }
    int y() const { return y_; }
    int wheel_position() const { return wheel_position_; }
    bool button_up(int button) const { return up_[button] != 0; }

  private:
    void Move(const MouseSample& sample);
    IOEVE Record(uint32_t class_flags, uint32_t buttons, uint32_t message) const;

    uint8_t up_[3] = {1, 1, 1};
    uint8_t previous_up_[3] = {1, 1, 1};
    int x_ = 0, y_ = 0;
    int remainder_x_ = 0, remainder_y_ = 0;
    int previous_dx_ = 0, previous_dy_ = 0, previous_wheel_ = 0;
    int speed_ = kNormal;
    bool swapped_ = false;
    int wheel_accumulator_ = 0;
    int wheel_step_ = 120;
    int wheel_position_ = 0;
    uint16_t width_ = 640, height_ = 480;
};

// The input object: owns the readers and the source they read.
class DXINPUT {
  public:
    // Opens the keyboard and (when wanted) the mouse of `source`; never fails
    // as a whole: a device the source lacks is logged and left out.
    DXINPUT(std::unique_ptr<InputSource> source, InputSink sink, bool mouse_wanted,
            int screen_width, int screen_height);
    ~DXINPUT();

    void ProcessKeyboard(uint32_t now);
    void ProcessMouse(uint32_t now);
    // Unacquires and drops every device.
    void Release();

    DXinputKeyboard* keyboard() { return keyboard_.get(); }
    // True while a held key repeats on its own, without new device events.
    // True while input goes on without events: a key repeats, or a stick
    // moves the pointer. The main loop keeps polling then.
    bool Repeating() const {
        return (keyboard_ && keyboard_->repeat_key() != DXinputKeyboard::kNoRepeat) ||
               (source_ && source_->Moving());
    }
    DXinputMouse* mouse() { return mouse_.get(); }
    InputSource* source() { return source_.get(); }

  private:
    std::unique_ptr<InputSource> source_;
    InputSink sink_;
    std::unique_ptr<DXinputKeyboard> keyboard_;
    std::unique_ptr<DXinputMouse> mouse_;
};

}  // namespace vorlane::media
