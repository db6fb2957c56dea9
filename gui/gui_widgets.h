// The widgets: GUI_OBJECT subclasses with a visual `state` that their style
// reads, a Draw that hands them to one style operation and a HandleEvent with
// their behaviour.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "gui/gui_object.h"
#include "gui/gui_palette.h"

class GUI_INPUTBOX;
class GUI_LIST;
class GUI_COMBOBOX;

// A bordered area: state 1 raised (default), 0 sunken, 2 double edge.
class GUI_FRAME : public GUI_OBJECT {
  public:
    GUI_FRAME();
    void Draw(int abs_x, int abs_y) override;
    int32_t state() const { return state_; }
    void SetState(int32_t state) {
        state_ = state;
        RefreshStyle();
    }

  private:
    int32_t state_ = 1;
};

// Push button: state 0 normal, 1 highlighted, 2 pressed.
class GUI_BUTTON : public GUI_OBJECT {
  public:
    GUI_BUTTON();
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    int32_t state() const { return state_; }

  private:
    void ChangeState(int32_t state);
    int32_t state_ = 0;
};

// Radio button: state 0 off, 1 on. All radios below one parent (at any depth)
// form a group. With `button_look` it is drawn as a push button.
class GUI_RADIO : public GUI_OBJECT {
  public:
    GUI_RADIO();
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    int32_t state() const { return state_; }
    void SetState(int32_t state);
    int32_t button_look() const { return button_look_; }
    void SetButtonLook(int32_t look) { button_look_ = look; }

  private:
    int32_t state_ = 0;
    int32_t button_look_ = 0;
};

// One line of text: state 0 left, 1 centred, 2 right aligned.
class GUI_TEXT : public GUI_OBJECT {
  public:
    GUI_TEXT();
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    int32_t state() const { return state_; }
    void SetState(int32_t state) {
        state_ = state;
        RefreshStyle();
    }

  private:
    int32_t state_ = 0;
};

// Checkbox: 0 unchecked, 1 checked, 2 checked under the pointer, 3 unchecked
// under the pointer.
class GUI_CHECKBOX : public GUI_OBJECT {
  public:
    GUI_CHECKBOX();
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    int32_t state() const { return state_; }
    bool IsChecked() const { return state_ == 1 || state_ == 2; }
    void SetChecked(bool checked);

  private:
    int32_t state_ = 0;
};

class GUI_SCROLLBAR : public GUI_OBJECT {
  public:
    GUI_SCROLLBAR();
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    void Update() override;

    void SetRange(int32_t range) { range_ = range; }
    void SetVisibleCount(int32_t visible) { visible_ = visible; }
    void SetStep(int32_t step) { step_ = step; }
    // Moves to `position` (clamped); a change marks the content changed and is
    // written into the linked input box.
    void SetPosition(int32_t position, bool recompute = true);
    void StepBack();
    void StepForward();
    void SetLinkedBox(GUI_INPUTBOX* box) { linked_box_ = box; }

    int32_t orientation() const { return orientation_; }
    int32_t range() const { return range_; }
    int32_t position() const { return position_; }
    int32_t step() const { return step_; }
    int32_t visible_count() const { return visible_; }
    int16_t thumb_size() const { return thumb_size_; }
    int16_t thumb_pos() const { return thumb_pos_; }
    bool dragging() const { return dragging_ != 0; }
    GUI_BUTTON* less() const { return less_; }
    GUI_BUTTON* more() const { return more_; }
    // Bar length (height when vertical, width otherwise) and arrow lengths.
    int Length() const;
    int LessLength() const;
    int MoreLength() const;
    int Track() const { return Length() - LessLength() - MoreLength(); }
    void ComputeThumbSize();
    void ComputeThumbPos();

    enum : int32_t { kUnknown = 0, kVertical = 1, kHorizontal = 2 };
    static constexpr uint32_t kArrowRepeatDelay = 251;

  private:
    void Clamp();
    void Reshape();
    void ApplyArrowStyles();
    int PointerAlong(const GUI_EVENT& event) const;

    int32_t orientation_ = kUnknown;
    int32_t range_ = 0;
    int32_t position_ = 0;
    int32_t step_ = 2;
    int32_t visible_ = 0;
    int16_t thumb_size_ = 1;
    int16_t thumb_pos_ = 0;
    int16_t grab_ = 0;
    GUI_BUTTON* less_ = nullptr;
    GUI_BUTTON* more_ = nullptr;
    GUI_INPUTBOX* linked_box_ = nullptr;
    uint8_t dragging_ = 0;
    bool holding_ = false;
    uint32_t repeat_since_ = 0;
};

class GUI_INPUTBOX : public GUI_OBJECT {
  public:
    GUI_INPUTBOX();
    void SetText(const char* text) override;
    const char* GetText() const override { return buffer_.empty() ? nullptr : buffer_.data(); }
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    void Update() override;

    // Room for `n` typed characters.
    void SetTextMax(int n);
    void SetMasked(bool masked) {
        masked_ = masked ? 1 : 0;
        RefreshStyle();
    }
    void SetCounterTarget(GUI_SCROLLBAR* target) { counter_target_ = target; }
    void SetCursor(int cursor);

    int16_t capacity() const { return capacity_; }
    int16_t cursor() const { return cursor_; }
    int16_t scroll() const { return scroll_; }
    bool cursor_on() const { return cursor_on_ != 0; }
    bool masked() const { return masked_ != 0; }
    int Length() const;
    // The characters shown from `scroll` ("*" for each when masked).
    std::string VisibleText() const;

    static constexpr int kDefaultCapacity = 80;
    static constexpr uint32_t kBlinkInterval = 500;

  private:
    bool HandleKey(uint32_t key);
    bool InsertAt(int at, char c);
    void EraseAt(int at);
    void Edited();
    void AdjustScroll();
    int MeasureRange(int from, int to) const;

    std::vector<char> buffer_;
    int16_t capacity_ = 0;
    int16_t cursor_ = 0;
    int16_t scroll_ = 0;
    uint32_t blink_time_ = 0;
    uint8_t cursor_on_ = 0;
    uint8_t masked_ = 0;
    GUI_SCROLLBAR* counter_target_ = nullptr;
};

class GUI_LIST : public GUI_OBJECT {
  public:
    GUI_LIST();
    ~GUI_LIST() override;
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;
    void Update() override;

    // Adds an item and returns its index (the last line's for wrapped lines).
    // A colour (an ARGB value other than 0, or a palette role) overrides the
    // text colour; `record` stays with the item (use a no-op deleter for
    // records owned elsewhere).
    int AddItem(const char* text, bool sorted = false, vorlane::gui::ItemColour colour = {},
                std::shared_ptr<void> record = {});
    void Clear(bool notify = true);
    // Removes the row shown at `index` (rows below move up one).
    void RemoveItem(int index);
    int SetSelection(int index);
    int ItemCount() const { return int(order_.size()); }
    const GUI_STRING* GetItem(int index) const;
    const char* GetItemText(int index) const;
    void* GetItemRecord(int index) const;
    // Iteration over the items: -1 at the end.
    int FirstItem() const { return order_.empty() ? -1 : 0; }
    int NextItem(int index) const { return index + 1 < ItemCount() ? index + 1 : -1; }
    int FirstVisible() const;
    int TextWidthAvailable() const;
    int LineHeight() const;
    int VisibleRows() const;
    void ScrollTo(int first_row);

    int32_t selection() const { return selection_; }
    int32_t hot() const { return hot_; }
    bool centred() const { return centred_ != 0; }
    void SetCentred(bool centred) { centred_ = centred ? 1 : 0; }
    bool display_only() const { return display_only_ != 0; }
    void SetDisplayOnly(bool on) { display_only_ = on ? 1 : 0; }
    // A display-only list keeps at most this many rows, dropping the oldest
    // as new ones come (0 = no limit). A reader scrolled up keeps the rows
    // in view that are still there.
    void SetMaxRows(int max_rows) { max_rows_ = std::max(max_rows, 0); }
    int max_rows() const { return max_rows_; }
    GUI_COMBOBOX* combobox() const { return combobox_; }
    GUI_SCROLLBAR* scrollbar() const { return scrollbar_; }
    bool ScrollbarShown() const { return scrollbar_ && scrollbar_->IsVisible(); }

    static constexpr uint32_t kAutoscrollInterval = 100;

  private:
    friend class GUI_COMBOBOX;
    struct Item {
        GUI_STRING text;
        std::shared_ptr<void> record;
    };
    const Item& Row(int index) const { return items_[order_[size_t(index)]]; }
    void LayoutList();
    int InsertItem(const char* text, bool sorted, vorlane::gui::ItemColour colour,
                   std::shared_ptr<void> record);
    // Removes `count` rows shown from `first` on; returns how many went.
    int EraseRows(int first, int count);
    int HotFromPointer(int pointer_y) const;
    void SelectAndNotify(int index);
    static bool ScrollbarCallback(GUI_OBJECT* object, const GUI_EVENT& event);

    // Rows are stored in the order they were added and shown in `order_`
    // (indexes into `items_`): a sorted insertion moves 4-byte indexes only.
    std::vector<Item> items_;
    std::vector<uint32_t> order_;
    bool in_order_ = true;  // rows are sorted: sorted insertion may search
    uint8_t centred_ = 0;
    GUI_COMBOBOX* combobox_ = nullptr;
    int32_t display_only_ = 0;
    int max_rows_ = 0;
    int32_t selection_ = -1;
    int32_t hot_ = -1;
    GUI_SCROLLBAR* scrollbar_ = nullptr;
    uint32_t autoscroll_time_ = 0;
    int16_t autoscroll_ = 0;
    int16_t laid_out_w_ = -1, laid_out_h_ = -1;
};

class GUI_COMBOBOX : public GUI_OBJECT {
  public:
    GUI_COMBOBOX();
    ~GUI_COMBOBOX() override;
    void Draw(int abs_x, int abs_y) override;
    bool HandleEvent(const GUI_EVENT& event) override;

    GUI_LIST* list() const { return list_; }
    int32_t chosen() const { return chosen_; }
    const GUI_STRING* ChosenItem() const;
    bool ListShown() const { return list_ && !list_owned_; }
    void OpenList();
    void CloseList();

  private:
    friend class GUI_LIST;
    void PlaceList();
    static bool ListCallback(GUI_OBJECT* object, const GUI_EVENT& event);

    int32_t chosen_ = 0;
    GUI_LIST* list_ = nullptr;
    std::unique_ptr<GUI_OBJECT> list_owned_;  // the list while it is not shown
};
