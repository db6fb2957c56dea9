// GUI_COMBOBOX: shows the chosen row of its list; a click opens the list on the
// `top` root (so it lies above everything) and the next release outside closes
// it. While hidden the combobox owns the list; while shown `top` owns it.
#include "gui/gui_control.h"
#include "gui/gui_widgets.h"

GUI_COMBOBOX::GUI_COMBOBOX() : GUI_OBJECT(GUI_TYPE_COMBOBOX, "Combobox", 10, 10) {
    auto list = std::make_unique<GUI_LIST>();
    list->Show(false);
    list->combobox_ = this;
    list->SetCallback(&GUI_COMBOBOX::ListCallback);
    list_ = list.get();
    list_owned_ = std::move(list);
}

GUI_COMBOBOX::~GUI_COMBOBOX() {
    if (!list_)
        return;
    list_->combobox_ = nullptr;
    if (!list_owned_) {
        // Shown: take the list back from its parent so that it dies with us.
        if (GUI_OBJECT* parent = list_->parent())
            list_owned_ = parent->ReleaseObject(list_);
    }
    list_owned_.reset();
    list_ = nullptr;
}

const GUI_STRING* GUI_COMBOBOX::ChosenItem() const {
    return list_ ? list_->GetItem(chosen_) : nullptr;
}

void GUI_COMBOBOX::PlaceList() {
    if (!list_)
        return;
    int ax, ay;
    ComputeAbsolute(ax, ay);
    SetAbsolute(int16_t(ax), int16_t(ay));
    list_->SetPos(ax, ay + h() + 2);
    list_->SetSize(w(), list_->h());
}

void GUI_COMBOBOX::OpenList() {
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (!list_ || !list_owned_ || !control || !control->top())
        return;
    list_->Show(true);
    if (GetStyle())
        list_->CopyStyle(*GetStyle());
    PlaceList();
    std::unique_ptr<GUI_OBJECT> list = std::move(list_owned_);
    if (control->AddObject(std::move(list)) < 0)
        return;
    list_->combobox_ = this;
    list_->SetSelection(chosen_);
    RefreshStyle();
}

void GUI_COMBOBOX::CloseList() {
    if (!list_ || list_owned_)
        return;
    if (GUI_OBJECT* parent = list_->parent())
        list_owned_ = parent->ReleaseObject(list_);
    list_->Show(false);
    RefreshStyle();
}

bool GUI_COMBOBOX::HandleEvent(const GUI_EVENT& event) {
    switch (event.code) {
        case GEVE_MOUSE_CLICK:
            if (ListShown()) {
                CloseList();
            } else {
                OpenList();
            }
            return false;
        case GEVE_MOUSE_RELEASE:
            if (!TestFlags(GUI_FLAG_INSIDE) && ListShown())
                CloseList();
            return false;
        case GEVE_MOUSE_OVER:
        case GEVE_MOUSE_OUT:
        case GEVE_CONTENT_CHANGED:
            RefreshStyle();
            return false;
        case GEVE_NEW_SIZE:
            PlaceList();
            return false;
        case GEVE_NEW_STYLE:
            if (list_ && GetStyle())
                list_->CopyStyle(*GetStyle());
            return false;
        default:
            return false;
    }
}

bool GUI_COMBOBOX::ListCallback(GUI_OBJECT* object, const GUI_EVENT& event) {
    auto* list = static_cast<GUI_LIST*>(object);
    GUI_COMBOBOX* combo = list->combobox_;
    if (!combo)
        return false;
    if (event.code == GEVE_CONTENT_CHANGED) {
        if (list->selection() >= 0 && list->selection() != combo->chosen_) {
            combo->chosen_ = list->SetSelection(list->selection());
            combo->MarkContentChanged();
            combo->RefreshStyle();
        }
        if (combo->parent() && combo->result_value() >= 0) {
            combo->parent()->SetResult(combo->result_value());
        }
    } else if (event.code == GEVE_NEW_STYLE && combo->TestFlags(GUI_FLAG_SIZE_TO_TEXT)) {
        const int line_height = list->LineHeight();
        list->SetSize(list->w(), line_height * std::max(list->ItemCount(), 1));
    }
    // Whoever listens to the combobox hears what happens in its list too, as
    // the combobox's own events; a changed choice it has already reported.
    if (event.code != GEVE_CONTENT_CHANGED && combo->callback())
        return combo->callback()(combo, event);
    return false;
}

void GUI_COMBOBOX::Draw(int, int) {
    if (GetStyle())
        GetStyle()->DrawCombobox(this);
}
