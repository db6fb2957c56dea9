// GUI_OBJECT: construction and destruction, attributes, styles, tree operations
// and the event dispatcher.
//
// [SECTION] Construction and destruction
// [SECTION] Attributes
// [SECTION] Styles
// [SECTION] Tree
// [SECTION] Dispatch
#include "gui/gui_object.h"

#include <algorithm>

#include "gui/gui_control.h"
#include "gui/gui_trace.h"

using vorlane::gui::Trace;

namespace {

constexpr const char* kBanner =
    "===============================================================================";

int32_t g_fallback_id = 1;  // numbering when no GUI_CONTROL exists

bool SubtreeBusy(const GUI_OBJECT* object) {
    if (object->busy_mask() != 0)
        return true;
    for (const auto& child : object->children()) {
        if (SubtreeBusy(child.get()))
            return true;
    }
    return false;
}

GUI_OBJECT::DestroyHook g_destroy_hook = nullptr;

}  // namespace

void GUI_OBJECT::SetDestroyHook(DestroyHook hook) {
    g_destroy_hook = hook;
}

// [SECTION] Construction and destruction

GUI_OBJECT::GUI_OBJECT() = default;

GUI_OBJECT::GUI_OBJECT(int32_t type, const char* name, int w, int h)
    : type_(type), name_(name), w_(int16_t(w)), h_(int16_t(h)) {}

GUI_OBJECT::~GUI_OBJECT() {
    if (g_destroy_hook)
        g_destroy_hook(this);
    if (TestFlags(GUI_FLAG_ATTACHED)) {
        Trace("%s", kBanner);
        Trace("! ERROR:GUI_OBJECT: You just tried to delete a locked object ('%s' [%d])!",
              name_.c_str(), id_);
        Trace("! ERROR:GUI_OBJECT: Only use GUI_CONTROL/GUI_OBJECT functions to delete objects");
        Trace("! ERROR:GUI_OBJECT: which have been added to the GUI or another object already!");
        Trace("! ERROR:GUI_OBJECT: -- Program execution terminated - CHECK YOUR CODE!!");
        Trace("%s", kBanner);
        vorlane::gui::Fatal();
    }
    // Children go first (later ones on top are destroyed last-added first).
    while (!children_.empty()) {
        std::unique_ptr<GUI_OBJECT> child = std::move(children_.back());
        children_.pop_back();
        child->ClearFlags(GUI_FLAG_ATTACHED);
        child->parent_ = nullptr;
    }
    if (style_) {
        style_->Unlock();
        style_.reset();
    }
    ClearControlReferences(true);
}

void GUI_OBJECT::ClearControlReferences(bool tooltip_too) {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (!control)
        return;
    if (control->focus() == this)
        control->SetFocusRef(nullptr);
    if (control->hover() == this)
        control->SetHoverRef(nullptr);
    if (tooltip_too && control->tooltip_object() == this)
        control->SetTooltipObject(nullptr);
    if (tooltip_too && control->action_handler())
        control->action_handler()->Forget(this);
}

// [SECTION] Attributes

void GUI_OBJECT::SetName(const char* name) {
    has_name_ = name != nullptr;
    name_ = name ? name : "";
}

void GUI_OBJECT::SetText(const char* text) {
    text_ = text ? std::make_unique<GUI_STRING>(text) : nullptr;
    RefreshStyle();
}

const char* GUI_OBJECT::GetText() const {
    return text_ ? text_->c_str() : nullptr;
}

void GUI_OBJECT::Draw(int, int) {}

bool GUI_OBJECT::HandleEvent(const GUI_EVENT&) {
    return false;
}

void GUI_OBJECT::Show(bool visible) {
    if (visible) {
        SetFlags(GUI_FLAG_VISIBLE);
    } else {
        ClearFlags(GUI_FLAG_VISIBLE);
    }
    RefreshStyle();
}

void GUI_OBJECT::Enable(bool enabled) {
    if (enabled) {
        ClearFlags(GUI_FLAG_DISABLED);
    } else {
        SetFlags(GUI_FLAG_DISABLED);
    }
    RefreshStyle();
}

void GUI_OBJECT::ComputeAbsolute(int& ax, int& ay) const {
    ax = 0;
    ay = 0;
    for (const GUI_OBJECT* o = this; o; o = o->parent_) {
        ax += o->x_;
        ay += o->y_;
    }
}

void GUI_OBJECT::SetPos(int x, int y) {
    x_ = int16_t(x);
    y_ = int16_t(y);
    SendEvent(GUI_EVENT::Object(GEVE_NEW_POS));
}

void GUI_OBJECT::SetSize(int w, int h) {
    if (TestFlags(GUI_FLAG_FIXED_SIZE))
        return;
    if (w < 1 || h < 1 || w > INT16_MAX || h > INT16_MAX) {
        Trace("! WARNING: tried to size object to (%d, %d) '%s' [%d]", w, h, name_.c_str(), id_);
        return;
    }
    w_ = int16_t(w);
    h_ = int16_t(h);
    RefreshStyle();
    SendEvent(GUI_EVENT::Object(GEVE_NEW_SIZE));
}

void GUI_OBJECT::Center() {
    SetFlags(GUI_FLAG_CENTERED);
    const GUI_OBJECT* area = parent_;
    if (!area) {
        GUI_CONTROL* control = GUI_CONTROL::Get();
        if (!control)
            return;
        area = control->top();
        if (!area || area == this)
            return;
    }
    x_ = int16_t(area->w_ / 2 - w_ / 2);
    y_ = int16_t(area->h_ / 2 - h_ / 2);
    int ax, ay;
    ComputeAbsolute(ax, ay);
    abs_x_ = int16_t(ax);
    abs_y_ = int16_t(ay);
    SendEvent(GUI_EVENT::Object(GEVE_NEW_POS));
}

void GUI_OBJECT::SetTooltip(const char* text) {
    tooltip_ = text ? std::make_unique<GUI_STRING>(text) : nullptr;
}

void GUI_OBJECT::SetResult(int16_t value) {
    result_ = value;
    SendEvent(GUI_EVENT::Object(GEVE_RESULT_CHANGED));
}

void GUI_OBJECT::MarkContentChanged() {
    SetFlags(GUI_FLAG_CONTENT_CHANGED);
    SendEvent(GUI_EVENT::Object(GEVE_CONTENT_CHANGED));
}

void GUI_OBJECT::Invalidate(bool recursive) {
    RefreshStyle();
    if (!recursive)
        return;
    for (auto& child : children_) child->Invalidate(true);
}

// [SECTION] Styles

void GUI_OBJECT::SetStyle(std::unique_ptr<GUI_STYLE> style) {
    if (style_) {
        style_->Unlock();
        style_.reset();
    }
    if (style) {
        if (style->IsLocked()) {
            // Still in use elsewhere: never share, take a copy.
            std::unique_ptr<GUI_STYLE> copy = style->Clone();
            style.release();
            style = std::move(copy);
        }
        style_ = std::move(style);
        SetFlags(GUI_FLAG_OWN_STYLE);
    } else {
        ClearFlags(GUI_FLAG_OWN_STYLE);
        const GUI_STYLE* source = parent_ ? parent_->style_.get() : nullptr;
        if (!source) {
            GUI_CONTROL* control = GUI_CONTROL::Get();
            source = control ? control->default_style() : nullptr;
        }
        if (source)
            style_ = source->Clone();
    }
    if (style_)
        style_->Lock(this);
    for (auto& child : children_) {
        if (!child->TestFlags(GUI_FLAG_OWN_STYLE))
            child->InheritStyle();
    }
    SendEvent(GUI_EVENT::Object(GEVE_NEW_STYLE));
}

void GUI_OBJECT::CopyStyle(const GUI_STYLE& style) {
    SetStyle(style.Clone());
}

void GUI_OBJECT::InheritStyle() {
    SetStyle(nullptr);
}

// [SECTION] Tree

size_t GUI_OBJECT::IndexOf(const GUI_OBJECT* child) const {
    for (size_t i = 0; i < children_.size(); ++i) {
        if (children_[i].get() == child)
            return i;
    }
    return SIZE_MAX;
}

bool GUI_OBJECT::IsAncestorOf(const GUI_OBJECT* object) const {
    for (const GUI_OBJECT* o = object; o; o = o->parent_) {
        if (o == this)
            return true;
    }
    return false;
}

int32_t GUI_OBJECT::AddObject(std::unique_ptr<GUI_OBJECT> child) {
    if (!child)
        return -1;
    // In both refusals the object is owned elsewhere already (by its parent,
    // or it is this tree's own root): the pointer is let go untouched
    // instead of destroying a live object.
    if (child->IsAncestorOf(this)) {
        Trace("! ERROR: GUI_OBJECT:AddObject(): cannot add object to itself");
        child.release();
        return -1;
    }
    if (child->parent_) {
        Trace("! ERROR: GUI_OBJECT:AddObject(): object '%s' [%d] still has a parent",
              child->name_.c_str(), child->id_);
        child.release();
        return -1;
    }
    GUI_OBJECT* raw = child.get();
    children_.push_back(std::move(child));
    ++children_version_;
    raw->parent_ = this;
    raw->SendEvent(GUI_EVENT::Object(GEVE_NEW_PARENT));
    GUI_CONTROL* control = GUI_CONTROL::Get();
    raw->id_ = control ? control->TakeId() : g_fallback_id++;
    raw->SetFlags(GUI_FLAG_ATTACHED);
    if (!raw->TestFlags(GUI_FLAG_OWN_STYLE))
        raw->InheritStyle();
    return raw->id_;
}

bool GUI_OBJECT::DeleteObject(GUI_OBJECT* child) {
    if (children_.empty()) {
        Trace("! ERROR: GUI_OBJECT:DeleteObject(): no children to delete");
        return false;
    }
    const size_t at = IndexOf(child);
    if (at == SIZE_MAX) {
        Trace("! ERROR: GUI_OBJECT:DeleteObject(): object [%p] is no child of '%s'[%p]",
              static_cast<void*>(child), name_.c_str(), static_cast<void*>(this));
        return false;
    }
    child->ClearControlReferences(true);
    if (SubtreeBusy(child)) {
        // The child is inside a running dispatch: destroying it now would pull
        // the object out from under its own handler. Hide it and let the next
        // update pass delete it.
        child->ClearFlags(GUI_FLAG_VISIBLE);
        child->SetFlags(GUI_FLAG_DELETE);
        return true;
    }
    std::unique_ptr<GUI_OBJECT> owned = std::move(children_[at]);
    children_.erase(children_.begin() + long(at));
    ++children_version_;
    owned->ClearFlags(GUI_FLAG_ATTACHED);
    owned->parent_ = nullptr;
    owned.reset();
    return true;
}

std::unique_ptr<GUI_OBJECT> GUI_OBJECT::ReleaseObject(GUI_OBJECT* child) {
    if (children_.empty()) {
        Trace("! ERROR: GUI_OBJECT:ReleaseObject(): no child to release");
        return nullptr;
    }
    const size_t at = IndexOf(child);
    if (at == SIZE_MAX) {
        Trace("! ERROR: GUI_OBJECT:ReleaseObject(): object [%p] is no child of '%s'[%p]",
              static_cast<void*>(child), name_.c_str(), static_cast<void*>(this));
        return nullptr;
    }
    if (GUI_CONTROL* control = GUI_CONTROL::Get()) {
        if (control->hover() == child)
            control->SetHoverRef(nullptr);
        if (control->focus() == child) {
            control->SetFocusRef(nullptr);
            child->ClearFlags(GUI_FLAG_FOCUS);  // flag and reference stay in step
        }
        control->SetTooltipObject(nullptr);
    }
    child->ClearFlags(GUI_FLAG_ATTACHED);
    std::unique_ptr<GUI_OBJECT> owned = std::move(children_[at]);
    children_.erase(children_.begin() + long(at));
    ++children_version_;
    owned->parent_ = nullptr;
    owned->SendEvent(GUI_EVENT::Object(GEVE_NEW_PARENT));
    owned->Invalidate(true);
    owned->SendEvent(GUI_EVENT::Object(GEVE_RELEASE));
    return owned;
}

// [SECTION] Dispatch

bool GUI_OBJECT::Deliver(const GUI_EVENT& event) {
    bool used = false;
    if (!TestFlags(GUI_FLAG_NO_HANDLING))
        used = HandleEvent(event);
    if (callback_)
        callback_(this, event);
    if (vorlane::gui::EventTraceOn()) {
        Trace("%s: %s (used: %s)", name_.c_str(), event.GetName(), used ? "true" : "false");
    }
    return used;
}

bool GUI_OBJECT::DispatchToChildren(const GUI_EVENT& event, int ox, int oy) {
    const int cx = ox + x_, cy = oy + y_;
    uint32_t version = children_version_;
    size_t i = children_.size();
    while (i > 0) {
        --i;
        GUI_OBJECT* child = children_[i].get();
        if (child->IsVisible() && child->SendEvent(event, cx, cy))
            return true;
        if (version != children_version_) {
            // A handler changed this list: continue below the child just asked.
            version = children_version_;
            const size_t at = IndexOf(child);
            i = at != SIZE_MAX ? at : std::min(i, children_.size());
        }
    }
    return false;
}

bool GUI_OBJECT::SendEvent(const GUI_EVENT& event, int origin_x, int origin_y) {
    if (TestFlags(GUI_FLAG_DISABLED) || !TestFlags(GUI_FLAG_VISIBLE))
        return false;
    if (busy_mask_ & event.code)
        return false;
    busy_mask_ |= event.code;
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (control)
        control->EnterDispatch();

    bool result = false;
    const bool routed = event.kind == GEVE_KIND_MOUSE || event.kind == GEVE_KIND_KEY ||
                        event.kind == GEVE_KIND_NOTIFY;
    if (routed && !children_.empty() && DispatchToChildren(event, origin_x, origin_y)) {
        result = true;
    } else {
        switch (event.kind) {
            case GEVE_KIND_MOUSE:
                result = DispatchMouse(event, origin_x, origin_y);
                break;
            case GEVE_KIND_FOCUS:
                DispatchFocus(event);
                break;
            case GEVE_KIND_KEY:
                if (event.code == GEVE_KEY_ALT || (control && control->focus() == this) ||
                    (!control && TestFlags(GUI_FLAG_FOCUS))) {
                    result = Deliver(event);
                }
                break;
            case GEVE_KIND_NOTIFY:
                result = HandleEvent(event);
                if (callback_)
                    callback_(this, event);
                break;
            default:
                if (event.code == GEVE_NEW_SIZE || event.code == GEVE_NEW_PARENT ||
                    event.code == GEVE_NEW_STYLE) {
                    if (TestFlags(GUI_FLAG_CENTERED))
                        Center();
                } else if (event.code == GEVE_RELEASE) {
                    ClearControlReferences(true);
                }
                Deliver(event);
                break;
        }
    }

    busy_mask_ &= ~event.code;
    if (control)
        control->LeaveDispatch();
    return result;
}

bool GUI_OBJECT::DispatchMouse(const GUI_EVENT& event, int ox, int oy) {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    const int left = ox + x_, top = oy + y_;
    const bool inside =
        left <= event.x && event.x < left + w_ && top <= event.y && event.y < top + h_;

    switch (event.code) {
        case GEVE_MOUSE_MOVE: {
            const bool was_inside = TestFlags(GUI_FLAG_INSIDE);
            auto claim_hover = [&] {
                if (control)
                    control->ClaimHover(this);
            };
            if (!was_inside && inside) {
                SetFlags(GUI_FLAG_INSIDE);
                Deliver(GUI_EVENT::Mouse(GEVE_MOUSE_OVER, event.x, event.y, event.buttons, event.dx,
                                         event.dy));
                claim_hover();
                if (control && tooltip_)
                    control->SetTooltipObject(this);
            } else if (was_inside && !inside) {
                ClearFlags(GUI_FLAG_INSIDE);
                const GUI_EVENT out = GUI_EVENT::Mouse(GEVE_MOUSE_OUT, event.x, event.y,
                                                       event.buttons, event.dx, event.dy);
                bool used = false;
                if (!TestFlags(GUI_FLAG_NO_HANDLING))
                    used = HandleEvent(out);
                if (control && control->hover() == this)
                    control->SetHoverRef(nullptr);
                if (callback_)
                    callback_(this, out);
                if (vorlane::gui::EventTraceOn()) {
                    Trace("%s: %s (used: %s)", name_.c_str(), out.GetName(),
                          used ? "true" : "false");
                }
                if (control && control->tooltip_object() == this) {
                    control->SetTooltipObject(nullptr);
                }
            } else if (inside) {
                claim_hover();
            }
            Deliver(event);
            return false;
        }
        case GEVE_MOUSE_CLICK: {
            if (!inside)
                return false;
            const bool used = Deliver(event);
            if (result_value_ >= 0 && parent_)
                parent_->SetResult(result_value_);
            return used;
        }
        case GEVE_MOUSE_DCLICK:
            if (!inside)
                return false;
            Deliver(event);
            SetFlags(GUI_FLAG_DCLICKED);
            return false;
        case GEVE_MOUSE_PRESS:
            if (!inside)
                return false;
            Deliver(event);
            pressed_buttons_ |= event.buttons;
            if (TestFlags(GUI_FLAG_FOCUSABLE))
                SendEvent(GUI_EVENT::Focus(GEVE_GOT_FOCUS));
            return type_ > 0;
        case GEVE_MOUSE_RELEASE: {
            const uint8_t shared = uint8_t(pressed_buttons_ & event.buttons);
            if (inside && shared) {
                // The click goes to this object alone: its children saw the
                // press and release themselves and must not get a second click.
                GUI_EVENT click = GUI_EVENT::Mouse(GEVE_MOUSE_CLICK, event.x, event.y, shared,
                                                   event.dx, event.dy);
                if (!(busy_mask_ & GEVE_MOUSE_CLICK)) {
                    busy_mask_ |= GEVE_MOUSE_CLICK;
                    DispatchMouse(click, ox, oy);
                    busy_mask_ &= ~uint32_t(GEVE_MOUSE_CLICK);
                }
            } else if (!inside && TestFlags(GUI_FLAG_FOCUS)) {
                SendEvent(GUI_EVENT::Focus(GEVE_LOST_FOCUS));
            }
            Deliver(event);
            pressed_buttons_ &= uint16_t(~event.buttons);
            return false;
        }
        default:
            return false;
    }
}

void GUI_OBJECT::DispatchFocus(const GUI_EVENT& event) {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (event.code == GEVE_GOT_FOCUS) {
        if (!TestFlags(GUI_FLAG_FOCUSABLE) || TestFlags(GUI_FLAG_DISABLED))
            return;
        if (control && control->focus() == this)
            return;
        if (control) {
            if (GUI_OBJECT* old = control->focus()) {
                old->SendEvent(GUI_EVENT::Focus(GEVE_LOST_FOCUS));
                // An old focus that can take no events (hidden, disabled) still
                // loses the focus.
                old->ClearFlags(GUI_FLAG_FOCUS);
            }
            control->SetFocusRef(this);
        }
        SetFlags(GUI_FLAG_FOCUS);
        Deliver(event);
    } else if (event.code == GEVE_LOST_FOCUS) {
        if (!TestFlags(GUI_FLAG_FOCUS))
            return;
        if (control) {
            if (control->focus() != this) {
                Trace("! ERROR: GUI_OBJECT: internal focus mismatch");
            } else {
                control->SetFocusRef(nullptr);
            }
        }
        ClearFlags(GUI_FLAG_FOCUS);
        Deliver(event);
    }
}
