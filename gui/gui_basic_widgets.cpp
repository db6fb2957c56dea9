// The simple widgets: frame, button, radio, text and checkbox.
#include <cstdio>

#include "gui/gui_widgets.h"

// Button states, changed by the mouse:
//
//   event    | from 0 | from 1 | from 2
//   ---------+--------+--------+-------------------------
//   over     |   1    |   1    |   2
//   out      |   0    |   0    |   2
//   press    |   2    |   2    |   2
//   release  | 1 if the pointer is inside, else 0

GUI_FRAME::GUI_FRAME() : GUI_OBJECT(GUI_TYPE_FRAME, "Frame", 200, 200) {}

void GUI_FRAME::Draw(int, int) {
    if (GetStyle())
        GetStyle()->DrawFrame(this);
}

GUI_BUTTON::GUI_BUTTON() : GUI_OBJECT(GUI_TYPE_BUTTON, "Button", 10, 10) {}

void GUI_BUTTON::Draw(int, int) {
    if (GetStyle())
        GetStyle()->DrawButton(this);
}

void GUI_BUTTON::ChangeState(int32_t state) {
    if (state == state_)
        return;
    state_ = state;
    RefreshStyle();
}

bool GUI_BUTTON::HandleEvent(const GUI_EVENT& event) {
    switch (event.code) {
        case GEVE_MOUSE_OVER:
            if (state_ != 2)
                ChangeState(1);
            return true;
        case GEVE_MOUSE_OUT:
            if (state_ == 1)
                ChangeState(0);
            return true;
        case GEVE_MOUSE_PRESS:
            ChangeState(2);
            return true;
        case GEVE_MOUSE_RELEASE:
            ChangeState(TestFlags(GUI_FLAG_INSIDE) ? 1 : 0);
            return true;
        default:
            return false;
    }
}

GUI_RADIO::GUI_RADIO() : GUI_OBJECT(GUI_TYPE_RADIO, "Radio", 10, 10) {}

void GUI_RADIO::Draw(int, int) {
    GUI_STYLE* style = GetStyle();
    if (!style)
        return;
    if (button_look_) {
        style->DrawButton(this);
    } else {
        style->DrawRadio(this);
    }
}

void GUI_RADIO::SetState(int32_t state) {
    if (state == state_)
        return;
    state_ = state;
    RefreshStyle();
}

bool GUI_RADIO::HandleEvent(const GUI_EVENT& event) {
    switch (event.code) {
        case GEVE_MOUSE_CLICK:
            // Every radio below the parent, at any depth, hears the group
            // notice; none reports it handled, so it reaches them all.
            if (parent())
                parent()->SendEvent(GUI_EVENT::Notify(GEVE_RADIO, id()));
            SetState(1);
            break;
        case GEVE_RADIO:
            if (event.value != id())
                SetState(0);
            break;
        case GEVE_MOUSE_RELEASE:
        case GEVE_MOUSE_OVER:
        case GEVE_MOUSE_OUT:
            RefreshStyle();
            break;
        case GEVE_NEW_STYLE:
            if (TestFlags(GUI_FLAG_SIZE_TO_TEXT) && GetTextObject() && GetStyle()) {
                SetSize((GetStyle()->StringWidth(*GetTextObject()) + 20), 20);
                RefreshStyle();
            }
            break;
        default:
            break;
    }
    return false;
}

GUI_TEXT::GUI_TEXT() : GUI_OBJECT(GUI_TYPE_TEXT, "Text", 10, 10) {}

void GUI_TEXT::Draw(int, int) {
    if (GetStyle())
        GetStyle()->DrawText(this);
}

bool GUI_TEXT::HandleEvent(const GUI_EVENT& event) {
    if (event.code == GEVE_NEW_STYLE && TestFlags(GUI_FLAG_SIZE_TO_TEXT) && GetTextObject() &&
        GetStyle()) {
        SetSize(GetStyle()->StringWidth(*GetTextObject()), GetStyle()->FontHeight());
    }
    return false;
}

GUI_CHECKBOX::GUI_CHECKBOX() : GUI_OBJECT(GUI_TYPE_CHECKBOX, "Checkbox", 16, 16) {}

void GUI_CHECKBOX::Draw(int, int) {
    if (GetStyle())
        GetStyle()->DrawCheckbox(this);
}

void GUI_CHECKBOX::SetChecked(bool checked) {
    const bool hot = state_ == 2 || state_ == 3;
    const int32_t state = checked ? (hot ? 2 : 1) : (hot ? 3 : 0);
    if (state == state_)
        return;
    state_ = state;
    RefreshStyle();
}

bool GUI_CHECKBOX::HandleEvent(const GUI_EVENT& event) {
    int32_t next = state_;
    bool used = true;
    switch (event.code) {
        case GEVE_MOUSE_PRESS:
            next = (state_ == 0 || state_ == 3) ? 2 : 3;
            break;
        case GEVE_MOUSE_OVER:
            next = (state_ == 1 || state_ == 2) ? 2 : 3;
            break;
        case GEVE_MOUSE_OUT:
            next = (state_ == 1 || state_ == 2) ? 1 : 0;
            break;
        case GEVE_NEW_STYLE:
            if (TestFlags(GUI_FLAG_SIZE_TO_TEXT) && GetTextObject() && GetStyle()) {
                SetSize(GetStyle()->StringWidth(*GetTextObject()) + 22, h());
            }
            used = false;
            break;
        default:
            used = false;
            break;
    }
    if (next != state_) {
        state_ = next;
        RefreshStyle();
    }
    return used;
}
