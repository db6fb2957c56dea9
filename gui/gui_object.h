// GUI_OBJECT: the base of every element of the GUI tree. An object owns its
// children (later children lie on top and see mouse events first), its style and
// its texts; the dispatcher `SendEvent` routes events through the tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/gui_event.h"
#include "gui/gui_string.h"
#include "gui/gui_style.h"

// Object types.
enum : int32_t {
    GUI_TYPE_OBJECT = 0,
    GUI_TYPE_FRAME = 1,
    GUI_TYPE_BUTTON = 2,
    GUI_TYPE_RADIO = 3,
    GUI_TYPE_TEXT = 4,
    GUI_TYPE_CHECKBOX = 5,
    GUI_TYPE_SCROLLBAR = 6,
    GUI_TYPE_INPUTBOX = 7,
    GUI_TYPE_LIST = 8,
    GUI_TYPE_COMBOBOX = 9,
};

// Object flags.
enum : uint32_t {
    GUI_FLAG_DISABLED = 0x1,
    GUI_FLAG_VISIBLE = 0x2,
    GUI_FLAG_INSIDE = 0x4,
    GUI_FLAG_FOCUSABLE = 0x8,
    GUI_FLAG_FOCUS = 0x10,
    GUI_FLAG_CONTENT_CHANGED = 0x40,
    GUI_FLAG_DELETE = 0x80,
    GUI_FLAG_ATTACHED = 0x200,
    GUI_FLAG_OWN_STYLE = 0x400,
    GUI_FLAG_NO_HANDLING = 0x800,
    GUI_FLAG_SIZE_TO_TEXT = 0x2000,
    GUI_FLAG_CENTERED = 0x4000,
    GUI_FLAG_FIXED_SIZE = 0x8000,
    GUI_FLAG_DCLICKED = 0x10000,
};

class GUI_OBJECT;
using GUI_CALLBACK = bool (*)(GUI_OBJECT* object, const GUI_EVENT& event);

class GUI_OBJECT {
  public:
    GUI_OBJECT();
    GUI_OBJECT(const GUI_OBJECT&) = delete;
    GUI_OBJECT& operator=(const GUI_OBJECT&) = delete;
    // Destroying an object that is still attached to a parent ends the process.
    virtual ~GUI_OBJECT();

    // Called with every object that is being destroyed (one hook per process;
    // null removes it). The menu manager uses it to know which of the objects
    // it made still exist.
    using DestroyHook = void (*)(GUI_OBJECT* object);
    static void SetDestroyHook(DestroyHook hook);

    // [virtual operations]
    virtual void SetText(const char* text);
    virtual const char* GetText() const;
    virtual GUI_STRING* GetTextObject() { return text_.get(); }
    virtual bool Query1() const { return false; }
    virtual bool Query2() const { return false; }
    virtual void Update() {}
    virtual void Draw(int abs_x, int abs_y);
    virtual bool HandleEvent(const GUI_EVENT& event);

    // [attributes]
    int32_t type() const { return type_; }
    int32_t id() const { return id_; }
    const char* GetName() const { return name_.empty() && !has_name_ ? nullptr : name_.c_str(); }
    void SetName(const char* name);
    uint32_t flags() const { return flags_; }
    void SetFlags(uint32_t bits) { flags_ |= bits; }
    void ClearFlags(uint32_t bits) { flags_ &= ~bits; }
    bool TestFlags(uint32_t bits) const { return (flags_ & bits) != 0; }
    void Show(bool visible);
    void Enable(bool enabled);
    bool IsVisible() const { return TestFlags(GUI_FLAG_VISIBLE); }

    int16_t x() const { return x_; }
    int16_t y() const { return y_; }
    int16_t w() const { return w_; }
    int16_t h() const { return h_; }
    int16_t abs_x() const { return abs_x_; }
    int16_t abs_y() const { return abs_y_; }
    void SetAbsolute(int16_t ax, int16_t ay) {
        abs_x_ = ax;
        abs_y_ = ay;
    }
    // Absolute position from the parents' positions (no draw pass needed).
    void ComputeAbsolute(int& ax, int& ay) const;
    void SetPos(int x, int y);
    void SetSize(int w, int h);
    void Center();

    GUI_STYLE* GetStyle() const { return style_.get(); }
    // Takes the style (null: inherit the parent's or the default style).
    void SetStyle(std::unique_ptr<GUI_STYLE> style);
    // Uses a copy of `style` as the object's own style.
    void CopyStyle(const GUI_STYLE& style);

    void SetTooltip(const char* text);
    GUI_STRING* GetTooltip() const { return tooltip_.get(); }

    int16_t result_value() const { return result_value_; }
    void SetResultValue(int16_t value) { result_value_ = value; }
    int16_t result() const { return result_; }
    void SetResult(int16_t value);
    void ClearResult() { result_ = 0; }
    void MarkContentChanged();
    void Invalidate(bool recursive);

    GUI_CALLBACK callback() const { return callback_; }
    void SetCallback(GUI_CALLBACK callback) { callback_ = callback; }
    uint32_t busy_mask() const { return busy_mask_; }
    uint16_t pressed_buttons() const { return pressed_buttons_; }

    // [tree]
    GUI_OBJECT* parent() const { return parent_; }
    const std::vector<std::unique_ptr<GUI_OBJECT>>& children() const { return children_; }
    // Appends a child that hangs nowhere and returns its id, or -1. Refused
    // (and `child` let go untouched, as its owner is elsewhere): an object
    // that still has a parent (re-parenting goes through that parent's
    // ReleaseObject first), this object itself or one of its ancestors.
    int32_t AddObject(std::unique_ptr<GUI_OBJECT> child);
    template <typename T>
    T* Add(std::unique_ptr<T> child) {
        T* raw = child.get();
        return AddObject(std::move(child)) >= 0 ? raw : nullptr;
    }
    bool DeleteObject(GUI_OBJECT* child);
    std::unique_ptr<GUI_OBJECT> ReleaseObject(GUI_OBJECT* child);
    bool IsAncestorOf(const GUI_OBJECT* object) const;

    // [dispatch] The origin is the absolute position of the parent.
    bool SendEvent(const GUI_EVENT& event, int origin_x = 0, int origin_y = 0);

    // User data kept for the owner of the tree (the menu binding).
    void* user_data = nullptr;

  protected:
    explicit GUI_OBJECT(int32_t type, const char* name, int w, int h);
    // Calls HandleEvent (unless flag 0x800) and then the callback.
    bool Deliver(const GUI_EVENT& event);
    void RefreshStyle() {
        if (style_)
            style_->Refresh();
    }

    int32_t type_ = GUI_TYPE_OBJECT;

  private:
    friend class GUI_CONTROL;
    bool DispatchMouse(const GUI_EVENT& event, int ox, int oy);
    void DispatchFocus(const GUI_EVENT& event);
    bool DispatchToChildren(const GUI_EVENT& event, int ox, int oy);
    void InheritStyle();
    void ClearControlReferences(bool tooltip_too);
    size_t IndexOf(const GUI_OBJECT* child) const;

    int32_t id_ = -1;
    std::string name_ = "Object";
    bool has_name_ = true;
    uint32_t flags_ = GUI_FLAG_VISIBLE;
    int16_t x_ = 0, y_ = 0, w_ = 10, h_ = 10;
    int16_t abs_x_ = 0, abs_y_ = 0;
    std::unique_ptr<GUI_STYLE> style_;
    GUI_OBJECT* parent_ = nullptr;
    std::vector<std::unique_ptr<GUI_OBJECT>> children_;
    uint32_t children_version_ = 0;
    GUI_CALLBACK callback_ = nullptr;
    uint32_t busy_mask_ = 0;
    std::unique_ptr<GUI_STRING> text_;
    std::unique_ptr<GUI_STRING> tooltip_;
    int16_t result_value_ = -1;
    int16_t result_ = 0;
    uint16_t pressed_buttons_ = 0;
};
