#include "gui/gui_event.h"

const char* GUI_EVENT::NameOf(uint32_t code) {
    switch (code) {
        case GEVE_NONE:
            return "GEVE_NONE";
        case GEVE_GOT_FOCUS:
            return "GEVE_GOT_FOCUS";
        case GEVE_LOST_FOCUS:
            return "GEVE_LOST_FOCUS";
        case GEVE_MOUSE_MOVE:
            return "GEVE_MOUSE_MOVE";
        case GEVE_MOUSE_OVER:
            return "GEVE_MOUSE_OVER";
        case GEVE_MOUSE_OUT:
            return "GEVE_MOUSE_OUT";
        case GEVE_MOUSE_CLICK:
            return "GEVE_MOUSE_CLICK";
        case GEVE_MOUSE_DCLICK:
            return "GEVE_MOUSE_DCLICK";
        case GEVE_MOUSE_PRESS:
            return "GEVE_MOUSE_PRESS";
        case GEVE_MOUSE_RELEASE:
            return "GEVE_MOUSE_RELEASE";
        case GEVE_KEY_PRESS:
            return "GEVE_KEY_PRESS";
        case GEVE_KEY_RELEASE:
            return "GEVE_KEY_RELEASE";
        case GEVE_KEY_ASCII:
            return "GEVE_KEY_ASCII";
        case GEVE_KEY_ALT:
            return "GEVE_KEY_ALT";
        case GEVE_RADIO:
            return "GEVE_RADIO";
        case GEVE_CONTENT_CHANGED:
            return "GEVE_CONTENT_CHANGED";
        case GEVE_RESULT_CHANGED:
            return "GEVE_RESULT_CHANGED";
        case GEVE_NEW_PARENT:
            return "GEVE_NEW_PARENT";
        case GEVE_NEW_SIZE:
            return "GEVE_NEW_SIZE";
        case GEVE_NEW_POS:
            return "GEVE_NEW_POS";
        case GEVE_NEW_STYLE:
            return "GEVE_NEW_STYLE";
        case GEVE_RELEASE:
            return "GEVE_RELEASE";
        default:
            return "UNKNOWN EVENT";
    }
}
