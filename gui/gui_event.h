// GUI events: what the toolkit routes through the object tree. Events are built
// on the stack by the sender and never stored.
#pragma once

#include <cstdint>

// Event codes, one bit each (0x200 is unused).
enum : uint32_t {
    GEVE_NONE = 0,
    GEVE_GOT_FOCUS = 0x1,
    GEVE_LOST_FOCUS = 0x2,
    GEVE_MOUSE_MOVE = 0x4,
    GEVE_MOUSE_OVER = 0x8,
    GEVE_MOUSE_OUT = 0x10,
    GEVE_MOUSE_CLICK = 0x20,
    GEVE_MOUSE_DCLICK = 0x40,
    GEVE_MOUSE_PRESS = 0x80,
    GEVE_MOUSE_RELEASE = 0x100,
    GEVE_KEY_PRESS = 0x400,
    GEVE_KEY_RELEASE = 0x800,
    GEVE_KEY_ASCII = 0x1000,
    GEVE_KEY_ALT = 0x2000,
    GEVE_RADIO = 0x4000,
    GEVE_CONTENT_CHANGED = 0x8000,
    GEVE_RESULT_CHANGED = 0x10000,
    GEVE_NEW_PARENT = 0x20000,
    GEVE_NEW_SIZE = 0x40000,
    GEVE_NEW_POS = 0x80000,
    GEVE_NEW_STYLE = 0x100000,
    GEVE_RELEASE = 0x200000,
};

// Event kinds.
enum : int32_t {
    GEVE_KIND_OBJECT = 0,
    GEVE_KIND_FOCUS = 1,
    GEVE_KIND_MOUSE = 2,
    GEVE_KIND_KEY = 3,
    GEVE_KIND_NOTIFY = 4,
};

// Mouse buttons of mouse events.
enum : uint8_t {
    GUI_BUTTON_LEFT = 1,
    GUI_BUTTON_MIDDLE = 2,
    GUI_BUTTON_RIGHT = 4,
};

// One event. The fields of the other kinds stay zero.
struct GUI_EVENT {
    uint32_t code = GEVE_NONE;
    int32_t kind = GEVE_KIND_OBJECT;
    // Mouse events.
    int16_t x = 0, y = 0;
    uint8_t buttons = 0;
    int16_t dx = 0, dy = 0;
    uint16_t reserved = 0;
    // Key events.
    uint16_t character = 0;
    uint32_t key = 0;
    uint8_t alt = 0;
    uint8_t stroke = 0;
    // Notifications.
    int32_t value = 0;

    // The name of the code ("UNKNOWN EVENT" for anything else).
    const char* GetName() const { return NameOf(code); }
    static const char* NameOf(uint32_t code);

    static GUI_EVENT Object(uint32_t code) { return Make(code, GEVE_KIND_OBJECT); }
    static GUI_EVENT Focus(uint32_t code) { return Make(code, GEVE_KIND_FOCUS); }
    static GUI_EVENT Mouse(uint32_t code, int16_t x, int16_t y, uint8_t buttons = 0, int16_t dx = 0,
                           int16_t dy = 0) {
        GUI_EVENT e = Make(code, GEVE_KIND_MOUSE);
        e.x = x;
        e.y = y;
        e.buttons = buttons;
        e.dx = dx;
        e.dy = dy;
        return e;
    }
    static GUI_EVENT Key(uint32_t code, uint32_t key, uint16_t character, uint8_t alt,
                         uint8_t stroke) {
        GUI_EVENT e = Make(code, GEVE_KIND_KEY);
        e.key = key;
        e.character = character;
        e.alt = alt;
        e.stroke = stroke;
        return e;
    }
    static GUI_EVENT Notify(uint32_t code, int32_t value) {
        GUI_EVENT e = Make(code, GEVE_KIND_NOTIFY);
        e.value = value;
        return e;
    }

  private:
    static GUI_EVENT Make(uint32_t code, int32_t kind) {
        GUI_EVENT e;
        e.code = code;
        e.kind = kind;
        return e;
    }
};

// Engine key codes the widgets react to.
namespace vorlane::gui {
constexpr uint32_t kKeyBackspace = 0x12;
constexpr uint32_t kKeyLeftAlt = 0x18;
constexpr uint32_t kKeyInsert = 0x19;
constexpr uint32_t kKeyDelete = 0x1A;
constexpr uint32_t kKeyHome = 0x1B;
constexpr uint32_t kKeyEnd = 0x1C;
constexpr uint32_t kKeyPageUp = 0x1D;
constexpr uint32_t kKeyPageDown = 0x1E;
constexpr uint32_t kKeyUp = 0x1F;
constexpr uint32_t kKeyDown = 0x20;
constexpr uint32_t kKeyLeft = 0x21;
constexpr uint32_t kKeyRight = 0x22;
}  // namespace vorlane::gui
