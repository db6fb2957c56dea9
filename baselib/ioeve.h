// IOEVE, the input event record made for every mouse and keyboard message, and
// the tables that route a record: window message -> DAVE slot, and window
// message -> button flags. Records are allocated from the memory system, owned
// by the input queue once posted and freed after dispatch.
#pragma once

#include <cstdint>

#include "baselib/queue.h"

class DAVE;

// Window message numbers the records keep (the DAVE slots are chosen by them).
constexpr uint32_t WM_KEYDOWN = 256;  // also every typed character of the input layer
constexpr uint32_t WM_KEYUP = 257;
constexpr uint32_t WM_CHAR = 258;
constexpr uint32_t WM_MOUSEMOVE = 512;
constexpr uint32_t WM_LBUTTONDOWN = 513;
constexpr uint32_t WM_LBUTTONUP = 514;
constexpr uint32_t WM_LBUTTONDBLCLK = 515;
constexpr uint32_t WM_RBUTTONDOWN = 516;
constexpr uint32_t WM_RBUTTONUP = 517;
constexpr uint32_t WM_RBUTTONDBLCLK = 518;
constexpr uint32_t WM_MBUTTONDOWN = 519;
constexpr uint32_t WM_MBUTTONUP = 520;
constexpr uint32_t WM_MBUTTONDBLCLK = 521;
constexpr uint32_t WM_MOUSEWHEEL = 522;

// Class flags (kind of record). The window procedure writes 146 for a move and
// 18 for a button; the input layer writes 18 for both. Every mouse record has
// bit 0x2 (kEveMouse); the wheel's 656 does not, so it reaches no mouse handler.
constexpr uint32_t kEveKeyDown = 1;
constexpr uint32_t kEveMouse = 0x2;
constexpr uint32_t kEveMouseInput = 18;
constexpr uint32_t kEveKeyUp = 32;
constexpr uint32_t kEveChar = 64;
constexpr uint32_t kEveMouseMove = 146;
constexpr uint32_t kEveWheel = 656;

// Button flags: one of pressed (or held) / released, optionally double, and
// the buttons concerned.
constexpr uint32_t kButtonPressed = 0x01;
constexpr uint32_t kButtonReleased = 0x02;
constexpr uint32_t kButtonDouble = 0x04;
constexpr uint32_t kButtonLeft = 0x08;
constexpr uint32_t kButtonRight = 0x10;
constexpr uint32_t kButtonMiddle = 0x20;

// The one input record of the program: the window procedure, the input layer,
// the autopilot and the tests make it; the GUI, the console and the main map
// read it.
struct IOEVE {
    uint32_t class_flags = 0;   // kEve*
    uint16_t character = 0;     // character records only
    uint32_t button_flags = 0;  // kButton*
    uint16_t x = 0;             // cursor in screen pixels
    uint16_t y = 0;
    uint32_t source = 0;
    uint32_t value = 0;  // engine key code of key records, wheel motion of wheel records
    uint32_t param2 = 0;
    uint32_t message = 0;  // WM_*
};

// A new record from the memory system (all other fields 0), or null.
IOEVE* IOEVE_Create(uint32_t class_flags, uint32_t source);
void IOEVE_Free(IOEVE* event);

// The DAVE slot of a window message, or -1.
int SlotForMessage(uint32_t message);
// Sets the button flags of a button message and bit 0x2 of the class flags;
// -1 (record unchanged) for any other message.
int16_t SetButtonFlags(IOEVE* event, uint32_t message);

// Appends a record to an input queue, which owns it from then on; when it
// cannot be queued the record is freed and -1 returned.
int16_t IOEVE_Post(MTX_QLIST* queue, IOEVE* event);
// Takes every queued record, fires its message's slot and frees it. Returns
// the number of records handled.
int IOEVE_DispatchAll(MTX_QLIST* queue, DAVE* table);
// Frees every queued record unprocessed.
void IOEVE_Flush(MTX_QLIST* queue);
