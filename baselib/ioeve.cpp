#include "baselib/ioeve.h"

#include <new>

#include "baselib/bl_memory.h"
#include "baselib/dave.h"

namespace {

struct MessageRoute {
    uint32_t message;
    int slot;
    uint32_t buttons;  // 0: not a button message
};

// Message -> slot and button flags.
constexpr MessageRoute kRoutes[] = {
    {WM_LBUTTONDOWN, 0, kButtonLeft | kButtonPressed},
    {WM_LBUTTONDBLCLK, 0, kButtonLeft | kButtonDouble | kButtonPressed},
    {WM_MBUTTONDOWN, 1, kButtonMiddle | kButtonPressed},
    {WM_MBUTTONDBLCLK, 1, kButtonMiddle | kButtonDouble | kButtonPressed},
    {WM_RBUTTONDOWN, 2, kButtonRight | kButtonPressed},
    {WM_RBUTTONDBLCLK, 2, kButtonRight | kButtonDouble | kButtonPressed},
    {WM_LBUTTONUP, 3, kButtonLeft | kButtonReleased},
    {WM_MBUTTONUP, 4, kButtonMiddle | kButtonReleased},
    {WM_RBUTTONUP, 5, kButtonRight | kButtonReleased},
    {WM_MOUSEMOVE, 6, 0},
    {WM_KEYUP, 7, 0},
    {WM_KEYDOWN, 8, 0},
    {WM_CHAR, 12, 0},
    {WM_MOUSEWHEEL, 13, 0},
};

const MessageRoute* RouteOf(uint32_t message) {
    for (const MessageRoute& route : kRoutes)
        if (route.message == message)
            return &route;
    return nullptr;
}

}  // namespace

IOEVE* IOEVE_Create(uint32_t class_flags, uint32_t source) {
    void* memory = BL_OrgGetMem(sizeof(IOEVE));
    if (!memory)
        return nullptr;
    IOEVE* event = new (memory) IOEVE;
    event->class_flags = class_flags;
    event->source = source;
    return event;
}

void IOEVE_Free(IOEVE* event) {
    if (event)
        BL_OrgFreeMem(event);  // a plain record: nothing to destruct
}

int SlotForMessage(uint32_t message) {
    const MessageRoute* route = RouteOf(message);
    return route ? route->slot : -1;
}

int16_t SetButtonFlags(IOEVE* event, uint32_t message) {
    const MessageRoute* route = RouteOf(message);
    if (!event || !route || route->buttons == 0)
        return -1;
    event->button_flags = route->buttons;
    event->class_flags |= kEveMouse;
    return 0;
}

int16_t IOEVE_Post(MTX_QLIST* queue, IOEVE* event) {
    if (!event)
        return -1;
    if (!queue || queue->Append(event, sizeof(IOEVE)) != 0) {
        IOEVE_Free(event);
        return -1;
    }
    return 0;
}

int IOEVE_DispatchAll(MTX_QLIST* queue, DAVE* table) {
    if (!queue)
        return 0;
    // Only the records queued now: a handler that posts more cannot keep this
    // loop going for ever; they wait for the next pass.
    int queued = queue->count();
    int handled = 0;
    while (handled < queued) {
        void* data = queue->Pop(nullptr);
        if (!data)
            break;
        auto* event = static_cast<IOEVE*>(data);
        int slot = SlotForMessage(event->message);
        if (table && slot >= 0)
            table->Fire(slot, event);
        IOEVE_Free(event);
        ++handled;
    }
    return handled;
}

void IOEVE_Flush(MTX_QLIST* queue) {
    if (queue)
        queue->Flush(1);
}
