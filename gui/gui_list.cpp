// GUI_LIST: rows of GUI strings with a selection, a vertical scrollbar child
// that appears when the rows do not fit, keyboard navigation, autoscroll while
// dragging outside, and a display-only mode that wraps and follows new lines.
//
// [SECTION] Construction and layout
// [SECTION] Items
// [SECTION] Selection and scrolling
// [SECTION] Events
#include <algorithm>
#include <cstring>

#include "gui/gui_trace.h"
#include "gui/gui_widgets.h"

namespace {
constexpr int kScrollbarWidth = 15;
}  // namespace

// [SECTION] Construction and layout

GUI_LIST::GUI_LIST() : GUI_OBJECT(GUI_TYPE_LIST, "List", 10, 10) {
    SetFlags(GUI_FLAG_FOCUSABLE);
    auto bar = std::make_unique<GUI_SCROLLBAR>();
    bar->SetCallback(&GUI_LIST::ScrollbarCallback);
    bar->Show(false);
    scrollbar_ = Add(std::move(bar));
    LayoutList();
}

GUI_LIST::~GUI_LIST() {
    // A combobox whose list is shown on `top` may outlive it.
    if (combobox_ && combobox_->list_ == this)
        combobox_->list_ = nullptr;
}

bool GUI_LIST::ScrollbarCallback(GUI_OBJECT* object, const GUI_EVENT& event) {
    if (event.code == GEVE_CONTENT_CHANGED && object->parent() &&
        object->parent()->type() == GUI_TYPE_LIST) {
        object->parent()->Invalidate(false);
    }
    return false;
}

int GUI_LIST::LineHeight() const {
    const GUI_STYLE* style = GetStyle();
    return std::max(style ? style->LineHeight() : 1, 1);
}

int GUI_LIST::VisibleRows() const {
    return std::max(h() / LineHeight(), 1);
}

int GUI_LIST::FirstVisible() const {
    return ScrollbarShown() ? scrollbar_->position() : 0;
}

int GUI_LIST::TextWidthAvailable() const {
    return w() - (ScrollbarShown() ? scrollbar_->w() : 0);
}

void GUI_LIST::LayoutList() {
    if (!scrollbar_)
        return;
    const int line_height = LineHeight();
    const int count = ItemCount();
    const bool needed = h() < int64_t(line_height) * count;
    // A hidden object hears no events, so the bar learns its size (and with it
    // its orientation) again whenever it appears.
    const bool appears = needed && !scrollbar_->IsVisible();
    if (appears)
        scrollbar_->Show(true);
    if (!needed && scrollbar_->IsVisible())
        scrollbar_->Show(false);
    if (scrollbar_->x() != w() - 16 || scrollbar_->y() != 1)
        scrollbar_->SetPos(w() - 16, 1);
    if (scrollbar_->w() != kScrollbarWidth || scrollbar_->h() != h() - 2) {
        scrollbar_->SetSize(kScrollbarWidth, std::max(h() - 2, 1));
    } else if (appears) {
        scrollbar_->SendEvent(GUI_EVENT::Object(GEVE_NEW_SIZE));
    }
    if (appears)
        scrollbar_->SendEvent(GUI_EVENT::Object(GEVE_NEW_STYLE));
    laid_out_w_ = w();
    laid_out_h_ = h();
    const int visible = h() / line_height;
    scrollbar_->SetVisibleCount(visible);
    scrollbar_->SetStep(visible / 2);
    scrollbar_->SetRange(count);
    // Keep the first row valid for the new range (no change notice when equal).
    if (!needed) {
        scrollbar_->SetPosition(0, true);
    } else {
        scrollbar_->SetPosition(std::min(scrollbar_->position(), std::max(count - visible, 0)),
                                true);
    }
}

// [SECTION] Items

const GUI_STRING* GUI_LIST::GetItem(int index) const {
    if (index < 0 || index >= ItemCount())
        return nullptr;
    return &Row(index).text;
}

const char* GUI_LIST::GetItemText(int index) const {
    const GUI_STRING* item = GetItem(index);
    return item ? item->c_str() : nullptr;
}

void* GUI_LIST::GetItemRecord(int index) const {
    if (index < 0 || index >= ItemCount())
        return nullptr;
    return Row(index).record.get();
}

int GUI_LIST::InsertItem(const char* text, bool sorted, vorlane::gui::ItemColour colour,
                         std::shared_ptr<void> record) {
    Item item;
    item.text.Set(text);
    if (colour.role != vorlane::gui::ColourRole::kNone) {
        item.text.SetColourRole(colour.role);
    } else if (colour.argb != 0) {
        item.text.SetColour(colour.argb);
    }
    item.record = std::move(record);
    const std::string& key = item.text.Source();
    auto less = [this](uint32_t a, const std::string& b) {
        return std::strcmp(items_[a].text.Source().c_str(), b.c_str()) < 0;
    };
    size_t at = order_.size();
    if (sorted) {
        // Before the first row whose text is not less (byte order). While the
        // rows are known to be in order a binary search finds the same place.
        if (in_order_) {
            at = size_t(std::lower_bound(order_.begin(), order_.end(), key, less) - order_.begin());
        } else {
            at = 0;
            while (at < order_.size() && less(order_[at], key)) ++at;
        }
    } else if (!order_.empty() &&
               std::strcmp(Row(ItemCount() - 1).text.Source().c_str(), key.c_str()) > 0) {
        in_order_ = false;
    }
    items_.push_back(std::move(item));
    order_.insert(order_.begin() + long(at), uint32_t(items_.size() - 1));
    // The selected item stays selected when a row is inserted above it.
    if (selection_ >= int(at))
        ++selection_;
    if (hot_ >= int(at))
        ++hot_;
    return int(at);
}

int GUI_LIST::AddItem(const char* text, bool sorted, vorlane::gui::ItemColour colour,
                      std::shared_ptr<void> record) {
    int index = -1;
    if (!display_only_) {
        index = InsertItem(text, sorted, colour, std::move(record));
    } else {
        const int count_before = ItemCount();
        const bool at_end = FirstVisible() + VisibleRows() >= count_before;
        GUI_STRING whole(text);
        const GUI_STYLE* style = GetStyle();
        const auto* font = style ? style->ResolvedFont() : nullptr;
        if (!font || whole.Processed().empty()) {
            index = InsertItem(whole.Processed().c_str(), false, colour, record);
        } else {
            const auto& lines = whole.Layout(font, TextWidthAvailable() - 6, 0);
            for (const auto& line : lines) {
                std::string part =
                    whole.Processed().substr(size_t(line.start), size_t(line.length));
                // Each line is literal text: escape the markup characters again.
                std::string escaped;
                escaped.reserve(part.size());
                for (char c : part) {
                    if (c == '~' || c == '\n' || static_cast<unsigned char>(c) == 0xA7) {
                        escaped.push_back('~');
                    }
                    escaped.push_back(c);
                }
                index = InsertItem(escaped.c_str(), false, colour, record);
            }
        }
        const int first = FirstVisible();
        const int dropped = max_rows_ > 0 ? EraseRows(0, ItemCount() - max_rows_) : 0;
        index -= dropped;
        LayoutList();
        if (at_end) {
            ScrollTo(ItemCount() - VisibleRows());
        } else if (dropped > 0) {
            ScrollTo(first - dropped);
        }
    }
    LayoutList();
    MarkContentChanged();
    RefreshStyle();
    return index;
}

int GUI_LIST::EraseRows(int first, int count) {
    first = std::clamp(first, 0, ItemCount());
    count = std::min(count, ItemCount() - first);
    if (count <= 0)
        return 0;
    std::vector<bool> gone(items_.size(), false);
    for (int i = first; i < first + count; ++i) gone[order_[size_t(i)]] = true;
    std::vector<uint32_t> moved_to(items_.size(), 0);
    size_t kept = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (gone[i])
            continue;
        moved_to[i] = uint32_t(kept);
        if (kept != i)
            items_[kept] = std::move(items_[i]);
        ++kept;
    }
    items_.resize(kept);
    order_.erase(order_.begin() + first, order_.begin() + first + count);
    for (uint32_t& row : order_) row = moved_to[row];
    auto shift = [&](int32_t row) {
        return row < first ? row : row >= first + count ? row - count : -1;
    };
    selection_ = shift(selection_);
    hot_ = shift(hot_);
    return count;
}

void GUI_LIST::RemoveItem(int index) {
    const int old = selection_;
    if (EraseRows(index, 1) == 0)
        return;
    LayoutList();
    if (selection_ != old)
        MarkContentChanged();
    RefreshStyle();
}

void GUI_LIST::Clear(bool notify) {
    items_.clear();
    order_.clear();
    in_order_ = true;
    hot_ = -1;
    selection_ = -1;
    if (scrollbar_) {
        scrollbar_->SetPosition(0, true);
        scrollbar_->Show(false);
    }
    LayoutList();
    if (notify)
        MarkContentChanged();
    RefreshStyle();
}

// [SECTION] Selection and scrolling

void GUI_LIST::ScrollTo(int first_row) {
    if (!scrollbar_)
        return;
    scrollbar_->SetPosition(std::max(first_row, 0), true);
}

int GUI_LIST::SetSelection(int index) {
    const int count = ItemCount();
    const int clamped = count == 0 ? -1 : std::clamp(index, 0, count - 1);
    const int old = selection_;
    selection_ = clamped;
    if (clamped >= 0 && ScrollbarShown()) {
        const int first = FirstVisible();
        const int rows = VisibleRows();
        if (clamped < first) {
            ScrollTo(clamped);
        } else if (clamped >= first + rows) {
            ScrollTo(clamped - rows + 1);
        }
    }
    if (clamped != old)
        MarkContentChanged();
    RefreshStyle();
    return clamped;
}

// Selects and always reports a content change (once), even when the row was
// selected already: a click on a row is news to the owner.
void GUI_LIST::SelectAndNotify(int index) {
    const int old = selection_;
    SetSelection(index);
    if (selection_ == old)
        MarkContentChanged();
}

// [SECTION] Events

int GUI_LIST::HotFromPointer(int pointer_y) const {
    const int count = ItemCount();
    if (count == 0)
        return -1;
    int ax, ay;
    ComputeAbsolute(ax, ay);
    const int row = FirstVisible() + (pointer_y - ay) / LineHeight();
    return std::clamp(row, 0, count - 1);
}

bool GUI_LIST::HandleEvent(const GUI_EVENT& event) {
    using namespace vorlane::gui;
    switch (event.code) {
        case GEVE_NEW_SIZE:
            LayoutList();
            return false;
        case GEVE_NEW_STYLE:
            // Pictures set on the list's style later reach its scrollbar too.
            if (scrollbar_ && !scrollbar_->TestFlags(GUI_FLAG_OWN_STYLE) &&
                !scrollbar_->busy_mask()) {
                scrollbar_->SetStyle(nullptr);
            }
            LayoutList();
            return false;
        case GEVE_KEY_PRESS: {
            if (!event.stroke || display_only_)
                return false;
            int target = selection_;
            switch (event.key) {
                case kKeyUp:
                    target = selection_ - 1;
                    break;
                case kKeyDown:
                    target = selection_ + 1;
                    break;
                case kKeyPageDown:
                    target = selection_ + (scrollbar_ ? scrollbar_->step() : 1);
                    break;
                case kKeyPageUp:
                    target = selection_ - (scrollbar_ ? scrollbar_->step() : 1);
                    break;
                case kKeyEnd:
                    target = ItemCount() - 1;
                    break;
                case kKeyHome:
                    target = 0;
                    break;
                default:
                    return false;
            }
            SetSelection(target);
            return true;
        }
        case GEVE_MOUSE_MOVE: {
            int ax, ay;
            ComputeAbsolute(ax, ay);
            const bool inside = TestFlags(GUI_FLAG_INSIDE);
            if (inside) {
                const int hot = HotFromPointer(event.y);
                if (hot != hot_) {
                    hot_ = hot;
                    RefreshStyle();
                }
            }
            const bool dragging = (pressed_buttons() & GUI_BUTTON_LEFT) != 0;
            if (display_only_) {
                if (selection_ != -1) {
                    selection_ = -1;
                    RefreshStyle();
                }
            } else if (inside && dragging && !combobox_ && hot_ >= 0) {
                SetSelection(hot_);
            }
            const int16_t before = autoscroll_;
            if (dragging && event.y < ay) {
                autoscroll_ = -1;
            } else if (dragging && event.y >= ay + h()) {
                autoscroll_ = 1;
            } else {
                autoscroll_ = 0;
            }
            // The first step of a new autoscroll is due at once.
            if (autoscroll_ != 0 && autoscroll_ != before) {
                autoscroll_time_ = Now() - kAutoscrollInterval - 1;
            }
            return false;
        }
        case GEVE_MOUSE_PRESS:
            if (display_only_)
                return false;
            hot_ = HotFromPointer(event.y);
            if (hot_ >= 0)
                SelectAndNotify(hot_);
            return true;
        case GEVE_MOUSE_RELEASE:
            if (combobox_ && TestFlags(GUI_FLAG_INSIDE) && hot_ >= 0) {
                SelectAndNotify(hot_);
            } else {
                hot_ = selection_;
            }
            autoscroll_ = 0;
            RefreshStyle();
            return false;
        default:
            return false;
    }
}

void GUI_LIST::Update() {
    if (autoscroll_ == 0 || !scrollbar_)
        return;
    const uint32_t now = vorlane::gui::Now();
    if (now - autoscroll_time_ <= kAutoscrollInterval) {
        vorlane::gui::ChangeDueIn(kAutoscrollInterval + 1 - (now - autoscroll_time_));
        return;
    }
    vorlane::gui::ChangeDueIn(0);
    autoscroll_time_ = now;
    if (autoscroll_ < 0) {
        scrollbar_->StepBack();
    } else {
        scrollbar_->StepForward();
    }
}

void GUI_LIST::Draw(int, int) {
    // A size set while the list was hidden never reached it as an event.
    if (laid_out_w_ != w() || laid_out_h_ != h())
        LayoutList();
    if (GetStyle())
        GetStyle()->DrawList(this);
}
