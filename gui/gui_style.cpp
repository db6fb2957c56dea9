// Styles: picture slots, fonts, colours and the drawing of every widget.
//
// [SECTION] Draw target
// [SECTION] GUI_STYLE (slots, locking)
// [SECTION] GUI_STYLE_OLD_PRIMITIVE: fonts, colours, measuring
// [SECTION] Widget drawings
// [SECTION] Lists and tooltips
#include "gui/gui_style.h"

#include <algorithm>
#include <string>

#include "baselib/log_channel.h"
#include "gui/gui_control.h"
#include "gui/gui_object.h"
#include "gui/gui_string.h"
#include "gui/gui_trace.h"
#include "gui/gui_widgets.h"

using vorlane::gui::GuiCanvas;
using vorlane::gui::GuiFont;
using vorlane::gui::GuiFontSource;
using vorlane::gui::GuiPicture;
using vorlane::gui::Trace;

// [SECTION] Draw target

namespace vorlane::gui {
namespace {
GuiCanvas* g_target = nullptr;
const GuiFontSource* g_fonts = nullptr;
}  // namespace
void SetDrawTarget(GuiCanvas* target) {
    g_target = target;
}
GuiCanvas* DrawTarget() {
    return g_target;
}
}  // namespace vorlane::gui

namespace {
constexpr const char* kBanner =
    "===============================================================================";

// Slots the scrollbar and the combobox use for their own pictures.
constexpr int kSlotTrackVertical = 32;
constexpr int kSlotTrackHorizontal = 40;
constexpr int kSlotThumb = 33;
constexpr int kSlotComboBody = 42;
constexpr int kSlotComboBodyHot = 43;
}  // namespace

// [SECTION] GUI_STYLE (slots, locking)

GUI_STYLE::~GUI_STYLE() {
    if (locked_) {
        Trace("%s", kBanner);
        Trace("! ERROR:GUI_STYLE: You just tried to delete a locked style!");
        Trace("! ERROR:GUI_STYLE: As soon as you are using a style in an object");
        Trace("! ERROR:GUI_STYLE: you are not allowed to delete it anymore!");
        Trace("! ERROR:GUI_STYLE: -- Program execution terminated - CHECK YOUR CODE!!");
        Trace("%s", kBanner);
        vorlane::gui::Fatal();
    }
}

std::unique_ptr<GUI_STYLE> GUI_STYLE::Clone() const {
    auto copy = std::make_unique<GUI_STYLE>();
    copy->CopySlotsFrom(*this);
    return copy;
}

void GUI_STYLE::CopySlotsFrom(const GUI_STYLE& other) {
    for (int i = 0; i < vorlane::gui::kSlotCount; ++i) {
        const auto& entry = other.slots_[size_t(i)];
        slots_[size_t(i)] = entry ? std::make_unique<GUI_PICTURE_ENTRY>(*entry) : nullptr;
    }
}

void GUI_STYLE::NotifyOwner() {
    if (owner_)
        owner_->SendEvent(GUI_EVENT::Object(GEVE_NEW_STYLE));
}

const GUI_PICTURE_ENTRY* GUI_STYLE::GetPictureEntry(int slot) const {
    if (slot < 0 || slot >= vorlane::gui::kSlotCount)
        return nullptr;
    return slots_[size_t(slot)].get();
}

void GUI_STYLE::SetPictureEntry(int slot, const GUI_PICTURE_ENTRY* entry) {
    if (slot < 0 || slot >= vorlane::gui::kSlotCount)
        return;
    // Entries are always copied: a copy shares the picture, so the entry of
    // another style never changes hands.
    slots_[size_t(slot)] = entry ? std::make_unique<GUI_PICTURE_ENTRY>(*entry) : nullptr;
    if (slots_[size_t(slot)])
        slots_[size_t(slot)]->locked = 1;
    NotifyOwner();
}

void GUI_STYLE::SetGfx(int slot, const GuiPicture* picture, bool owns) {
    if (!picture) {
        SetGfx(slot, std::shared_ptr<const GuiPicture>());
        return;
    }
    std::shared_ptr<const GuiPicture> shared =
        owns ? std::shared_ptr<const GuiPicture>(picture)
             : std::shared_ptr<const GuiPicture>(picture, [](const GuiPicture*) {});
    SetGfx(slot, std::move(shared));
    if (slot >= 0 && slot < vorlane::gui::kSlotCount && slots_[size_t(slot)]) {
        slots_[size_t(slot)]->owns_picture = owns ? 1 : 0;
    }
}

void GUI_STYLE::SetGfx(int slot, std::shared_ptr<const GuiPicture> picture) {
    if (slot < 0 || slot >= vorlane::gui::kSlotCount)
        return;
    auto& entry = slots_[size_t(slot)];
    if (!picture) {
        if (entry)
            entry->picture.reset();
        return;
    }
    if (!entry)
        entry = std::make_unique<GUI_PICTURE_ENTRY>();
    entry->picture = std::move(picture);
    entry->owns_picture = 1;
    NotifyOwner();
}

const GuiPicture* GUI_STYLE::GetGfx(int slot) const {
    const GUI_PICTURE_ENTRY* entry = GetPictureEntry(slot);
    return entry ? entry->picture.get() : nullptr;
}

void GUI_STYLE::SetResourceName(int slot, const char* name) {
    if (slot < 0 || slot >= vorlane::gui::kSlotCount)
        return;
    auto& entry = slots_[size_t(slot)];
    if (!entry)
        entry = std::make_unique<GUI_PICTURE_ENTRY>();
    entry->resource_name = name ? name : "";
}

const char* GUI_STYLE::GetResourceName(int slot) const {
    const GUI_PICTURE_ENTRY* entry = GetPictureEntry(slot);
    return entry && !entry->resource_name.empty() ? entry->resource_name.c_str() : nullptr;
}

// [SECTION] GUI_STYLE_OLD_PRIMITIVE: fonts, colours, measuring

GUI_STYLE_OLD_PRIMITIVE::GUI_STYLE_OLD_PRIMITIVE() = default;

void GUI_STYLE_OLD_PRIMITIVE::SetFonControl(const GuiFontSource* fonts) {
    vorlane::gui::g_fonts = fonts;
}

const GuiFontSource* GUI_STYLE_OLD_PRIMITIVE::FonControl() {
    return vorlane::gui::g_fonts;
}

uint32_t GUI_STYLE_OLD_PRIMITIVE::FromRgb(uint8_t r, uint8_t g, uint8_t b) {
    if (r == 0 && g == 0 && b == 0)
        r = g = b = 1;
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

uint32_t GUI_STYLE_OLD_PRIMITIVE::FromArgb(uint32_t argb) {
    if ((argb & 0xFFFFFF) == 0)
        argb |= 0x010101;
    return argb;
}

std::unique_ptr<GUI_STYLE> GUI_STYLE_OLD_PRIMITIVE::Clone() const {
    auto copy = std::make_unique<GUI_STYLE_OLD_PRIMITIVE>();
    copy->CopySlotsFrom(*this);
    copy->font_ = font_;
    copy->font_alt_ = font_alt_;
    copy->back_colour_ = back_colour_;
    copy->active_back_colour_ = active_back_colour_;
    copy->fill_colour_ = fill_colour_;
    copy->fill_colour2_ = fill_colour2_;
    copy->dark_colour_ = dark_colour_;
    copy->light_colour_ = light_colour_;
    copy->text_colour_ = text_colour_;
    copy->active_text_colour_ = active_text_colour_;
    copy->select_colour_ = select_colour_;
    copy->disabled_text_colour_ = disabled_text_colour_;
    copy->tooltip_back_ = tooltip_back_;
    copy->tooltip_text_ = tooltip_text_;
    copy->press_dx_ = press_dx_;
    copy->press_dy_ = press_dy_;
    return copy;
}

vorlane::gui::StyleColours GUI_STYLE_OLD_PRIMITIVE::Colours() const {
    vorlane::gui::StyleColours own;
    own.back = back_colour_;
    own.active_back = active_back_colour_;
    own.fill = fill_colour_;
    own.dark = dark_colour_;
    own.light = light_colour_;
    own.text = text_colour_;
    own.active_text = active_text_colour_;
    own.select = select_colour_;
    own.disabled_text = disabled_text_colour_;
    own.tooltip_back = tooltip_back_;
    own.tooltip_text = tooltip_text_;
    return vorlane::gui::ApplyPalette(own, vorlane::gui::CurrentPaletteMode());
}

void GUI_STYLE_OLD_PRIMITIVE::DrawFocusOutline(GuiCanvas& target, int x, int y, int w, int h,
                                               const vorlane::gui::StyleColours& colours) {
    // Outside the object, so that it never covers the text.
    for (int ring = 1; ring <= colours.focus_width; ++ring)
        target.FrameRect(x - ring, y - ring, w + 2 * ring, h + 2 * ring, colours.focus);
}

const GuiFont* GUI_STYLE_OLD_PRIMITIVE::Resolve(const GuiFont* font) const {
    if (font)
        return font;
    const GuiFontSource* fonts = vorlane::gui::g_fonts;
    if (!fonts) {
        vorlane::Log(kLogError, "GUI_STYLE_OLD_PRIMITIVE(): font control not present!!!");
        vorlane::Log(kLogError, "-- use GUI_STYLE_OLD_PRIMITIVE()::SetFonControl()");
        return nullptr;
    }
    return fonts->GetFont(0);
}

const GuiFont* GUI_STYLE_OLD_PRIMITIVE::ResolvedFont() const {
    return Resolve(font_);
}

bool GUI_STYLE_OLD_PRIMITIVE::OwnerDisabled() const {
    return owner_ && owner_->TestFlags(GUI_FLAG_DISABLED);
}

const GuiFont* GUI_STYLE_OLD_PRIMITIVE::TextFont() const {
    return Resolve(OwnerDisabled() ? font_alt_ : font_);
}

int GUI_STYLE_OLD_PRIMITIVE::TextWidth(const char* text) const {
    const GuiFont* font = Resolve(font_);
    return font && text ? font->TextWidth(text) : 0;
}

int GUI_STYLE_OLD_PRIMITIVE::StringWidth(const GUI_STRING& text) const {
    const GuiFont* font = Resolve(font_);
    return font ? font->TextWidth(text.Processed()) : 0;
}

int GUI_STYLE_OLD_PRIMITIVE::FontHeight() const {
    const GuiFont* font = Resolve(font_);
    return font ? font->Height() : 0;
}

int GUI_STYLE_OLD_PRIMITIVE::LineHeight() const {
    if (const GuiPicture* row = GetGfx(vorlane::gui::kSlotListRow))
        return row->Height() + 2;
    return FontHeight() + 2;
}

// [SECTION] Widget drawings

bool GUI_STYLE_OLD_PRIMITIVE::DrawSlot(int slot, int x, int y, int w, int h) {
    const GuiPicture* picture = GetGfx(slot);
    GuiCanvas* target = vorlane::gui::DrawTarget();
    if (!picture || !target)
        return false;
    target->DrawPicture(*picture, x, y, w, h);
    return true;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawFrame(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    if (!object || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), w = object->w(), h = object->h();
    for (int slot = vorlane::gui::kSlotFrame; slot <= 11; ++slot) {
        if (GetPictureEntry(slot)) {
            DrawSlot(vorlane::gui::kSlotFrame, x, y, w, h);
            return 0;
        }
    }
    target->FillRect(x + 1, y + 1, w - 2, h - 2, c.back);
    const auto* frame = dynamic_cast<const GUI_FRAME*>(object);
    switch (frame ? frame->state() : 1) {
        case 1:
            target->Bevel(x, y, w, h, c.light, c.dark);
            break;
        case 0:
            target->Bevel(x, y, w, h, c.dark, c.light);
            break;
        case 2:
            target->FrameRect(x, y, w, h, c.dark);
            target->FrameRect(x + 1, y + 1, w - 2, h - 2, c.active_back);
            break;
        default:
            break;
    }
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawButton(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    if (!object || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), w = object->w(), h = object->h();
    bool pressed = false, highlighted = false;
    if (const auto* button = dynamic_cast<const GUI_BUTTON*>(object)) {
        pressed = button->state() == 2;
        highlighted = button->state() == 1;
    } else if (const auto* radio = dynamic_cast<const GUI_RADIO*>(object)) {
        pressed = radio->state() == 1;
        highlighted = !pressed && object->TestFlags(GUI_FLAG_INSIDE);
    }
    const int slot = pressed ? 2 : highlighted ? 1 : 0;
    if (!DrawSlot(slot, x, y, w, h)) {
        target->FillRect(x + 1, y + 1, w - 2, h - 2,
                         pressed || highlighted ? c.active_back : c.back);
        if (pressed) {
            target->Bevel(x, y, w, h, c.dark, c.light);
        } else {
            target->Bevel(x, y, w, h, c.light, c.dark);
        }
    }
    GUI_STRING* text = object->GetTextObject();
    const GuiFont* font = TextFont();
    if (!text || !font)
        return 0;
    int tx = x + w / 2 - font->TextWidth(text->Processed()) / 2;
    int ty = y + h / 2 - font->Height() / 2;
    if (pressed) {
        tx += press_dx_;
        ty += press_dy_;
    }
    const uint32_t colour = OwnerDisabled()            ? c.disabled_text
                            : (pressed || highlighted) ? c.active_text
                                                       : c.text;
    text->DrawLine(font, *target, tx, ty, colour, false);
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawCheckbox(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const auto* box = dynamic_cast<const GUI_CHECKBOX*>(object);
    if (!box || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), h = object->h();
    const int state = box->state();
    if (state == 2 || state == 3)
        target->FillRect(x + 1, y + 1, 14, h - 2, c.active_back);
    target->Bevel(x, y, 16, h, c.light, c.dark);
    if (state == 1 || state == 2) {
        target->Line(x + 1, y + 1, x + 14, y + h - 2, c.text);
        target->Line(x + 14, y + 1, x + 1, y + h - 2, c.text);
    }
    GUI_STRING* text = object->GetTextObject();
    const GuiFont* font = TextFont();
    if (text && font) {
        text->DrawLine(font, *target, x + 20, y + (h - font->Height()) / 2,
                       OwnerDisabled() ? c.disabled_text : c.text, false);
    }
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawText(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const auto* label = dynamic_cast<const GUI_TEXT*>(object);
    GUI_STRING* text = object ? object->GetTextObject() : nullptr;
    const GuiFont* font = TextFont();
    if (!label || !target || !text || !font)
        return 0;
    const int x = object->abs_x(), w = object->w();
    const uint32_t colour = OwnerDisabled() ? c.disabled_text : c.text;
    // A label with room for more than one line wraps its text (at "~n" and
    // between words) instead of running past its right edge.
    if (object->h() >= 2 * font->Height()) {
        text->Draw(font, *target, x, object->abs_y(), colour, w, object->h(), label->state());
        return 0;
    }
    const int tw = font->TextWidth(text->Processed());
    int tx = x;
    if (label->state() == 1)
        tx = x + (w - tw) / 2;
    if (label->state() == 2)
        tx = x + w - tw;
    text->DrawLine(font, *target, tx, object->abs_y(), colour, false);
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawRadio(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const auto* radio = dynamic_cast<const GUI_RADIO*>(object);
    if (!radio || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y();
    const bool on = radio->state() == 1;
    const bool hot =
        object->TestFlags(GUI_FLAG_INSIDE) || (object->pressed_buttons() & GUI_BUTTON_LEFT);
    const int slot = vorlane::gui::kSlotRadioOff + (on ? 2 : 0) + (hot ? 1 : 0);
    if (const GuiPicture* picture = GetGfx(slot)) {
        target->DrawPicture(*picture, x, y, picture->Width(), picture->Height());
    } else {
        target->Bevel(x, y, 16, 16, c.dark, c.light);
        if (hot)
            target->FillRect(x + 1, y + 1, 14, 14, c.active_back);
        if (on)
            target->FillRect(x + 4, y + 4, 8, 8, c.text);
    }
    GUI_STRING* text = object->GetTextObject();
    const GuiFont* font = TextFont();
    if (text && font) {
        const uint32_t colour = OwnerDisabled() ? c.disabled_text : hot ? c.active_text : c.text;
        text->DrawLine(font, *target, x + 20, y + (16 - font->Height()) / 2, colour, false);
    }
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawScrollbar(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const auto* bar = dynamic_cast<const GUI_SCROLLBAR*>(object);
    if (!bar || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), w = object->w(), h = object->h();
    const bool vertical = bar->orientation() == GUI_SCROLLBAR::kVertical;
    // Track between the arrows, then the thumb.
    const int less = bar->LessLength(), track = bar->Track();
    int tx = x, ty = y, tw = w, th = h;
    if (vertical) {
        ty = y + less;
        th = track;
    } else {
        tx = x + less;
        tw = track;
    }
    if (!DrawSlot(vertical ? kSlotTrackVertical : kSlotTrackHorizontal, tx, ty, tw, th)) {
        target->FillRect(tx, ty, tw, th, c.fill);
        target->Bevel(tx, ty, tw, th, c.dark, c.light);
    }
    if (track <= 0 || bar->range() <= 0)
        return 0;
    int bx = x, by = y, bw = w, bh = h;
    if (vertical) {
        by = y + bar->thumb_pos();
        bh = bar->thumb_size();
    } else {
        bx = x + bar->thumb_pos();
        bw = bar->thumb_size();
    }
    if (!DrawSlot(kSlotThumb, bx, by, bw, bh)) {
        target->FillRect(bx + 1, by + 1, bw - 2, bh - 2, bar->dragging() ? c.active_back : c.back);
        target->Bevel(bx, by, bw, bh, c.light, c.dark);
    }
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawInputbox(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const auto* box = dynamic_cast<const GUI_INPUTBOX*>(object);
    if (!box || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), w = object->w(), h = object->h();
    const bool focus = object->TestFlags(GUI_FLAG_FOCUS);
    if (!DrawSlot(focus ? vorlane::gui::kSlotInputFocus : vorlane::gui::kSlotInput, x, y, w, h)) {
        target->FillRect(x + 1, y + 1, w - 2, h - 2, c.fill);
        target->Bevel(x, y, w, h, c.dark, c.light);
    }
    if (focus)
        DrawFocusOutline(*target, x, y, w, h, c);
    const GuiFont* font = TextFont();
    if (!font)
        return 0;
    // Only the characters that fit inside the box are drawn.
    std::string shown = box->VisibleText();
    const int room = w - 4;
    int width = 0;
    size_t fit = 0;
    while (fit < shown.size()) {
        const int cw = font->CharWidth(static_cast<uint8_t>(shown[fit]));
        if (width + cw > room)
            break;
        width += cw;
        ++fit;
    }
    shown.resize(fit);
    const int ty = y + (h - font->Height()) / 2;
    const uint32_t colour = OwnerDisabled() ? c.disabled_text : c.text;
    font->DrawText(*target, x + 4, ty, shown, colour);
    if (box->cursor_on()) {
        const int at = box->cursor() - box->scroll();
        if (at >= 0 && size_t(at) <= fit) {
            const int before = font->TextWidth(std::string_view(shown).substr(0, size_t(at)));
            const int cw = size_t(at) < shown.size()
                               ? font->CharWidth(static_cast<uint8_t>(shown[size_t(at)]))
                               : font->CharWidth('_');
            target->FillRect(x + 4 + before, ty, std::max(cw, 1), font->Height() - 1,
                             (colour & 0xFFFFFF) | 0x80000000u);
        }
    }
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawCombobox(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const auto* combo = dynamic_cast<const GUI_COMBOBOX*>(object);
    if (!combo || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), w = object->w(), h = object->h();
    const bool hot = object->TestFlags(GUI_FLAG_INSIDE);
    if (!DrawSlot(hot ? kSlotComboBodyHot : kSlotComboBody, x, y, w, h)) {
        target->FillRect(x + 1, y + 1, w - 2, h - 2, hot ? c.active_back : c.back);
        target->Bevel(x, y, w, h, c.dark, c.light);
        // The drop button: a raised square at the right end with a down arrow.
        const int bs = std::min<int>(h, w);
        const int bx = x + w - bs;
        const bool open = combo->ListShown();
        if (!DrawSlot(vorlane::gui::kSlotArrowDown + (open ? 2 : hot ? 1 : 0), bx, y, bs, h)) {
            target->FillRect(bx + 1, y + 1, bs - 2, h - 2, c.back);
            if (open) {
                target->Bevel(bx, y, bs, h, c.dark, c.light);
            } else {
                target->Bevel(bx, y, bs, h, c.light, c.dark);
            }
            const int cx = bx + bs / 2, cy = y + h / 2;
            for (int r = 0; r < 4; ++r) target->HLine(cx - 3 + r, cy - 2 + r, 7 - 2 * r, c.text);
        }
    }
    const GUI_STRING* item = combo->ChosenItem();
    const GuiFont* font = TextFont();
    if (item && font) {
        const uint32_t colour = OwnerDisabled() ? c.disabled_text : hot ? c.active_text : c.text;
        font->DrawText(*target, x + 4, y + (h - font->Height()) / 2, item->Processed(),
                       item->HasColour() && !OwnerDisabled() ? item->Colour() : colour);
    }
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawMenuBar(GUI_OBJECT*) {
    if (!Resolve(font_))
        Trace("GUI_STYLE:DrawMenuBar(): no font");
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawPopupMenu(GUI_OBJECT*) {
    if (!Resolve(font_))
        Trace("GUI_STYLE:DrawPopupMenu(): no font");
    return 0;
}

// [SECTION] Lists and tooltips

int GUI_STYLE_OLD_PRIMITIVE::DrawList(GUI_OBJECT* object) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    auto* list = dynamic_cast<GUI_LIST*>(object);
    if (!list || !target)
        return 0;
    const int x = object->abs_x(), y = object->abs_y(), h = object->h();
    const int w = object->w() - (list->ScrollbarShown() ? list->scrollbar()->w() + 1 : 0);
    const bool back_picture = DrawSlot(vorlane::gui::kSlotListBack, x, y, w, h);
    if (!back_picture)
        target->FillRect(x + 1, y + 1, w - 2, h - 2, c.fill);
    const int line_height = std::max(LineHeight(), 1);
    const int highlighted = list->combobox() ? list->hot() : list->selection();
    const int count = list->ItemCount();
    for (int k = 0, row = list->FirstVisible(); row < count && (k + 1) * line_height <= h - 2;
         ++k, ++row) {
        DrawListRow(*target, x + 1, y + 1 + k * line_height, w - 2, line_height,
                    *list->GetItem(row), row == highlighted, list->centred());
    }
    if (!back_picture) {
        if (list->combobox()) {
            target->FrameRect(x, y, w, h, c.dark);
        } else {
            target->Bevel(x, y, w, h, c.dark, c.light);
        }
    }
    if (object->TestFlags(GUI_FLAG_FOCUS))
        DrawFocusOutline(*target, x, y, object->w(), h, c);
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawListRow(GuiCanvas& target, int x, int y, int w, int h,
                                         const GUI_STRING& item, bool highlighted, bool centred) {
    const vorlane::gui::StyleColours c = Colours();
    const bool focus = owner_ && owner_->TestFlags(GUI_FLAG_FOCUS);
    bool on_selection = false;
    if (highlighted) {
        if (!DrawSlot(vorlane::gui::kSlotListRowSelected, x, y, w, h) && focus) {
            target.FillRect(x, y, w, h, c.select);
            on_selection = true;
        }
    } else {
        DrawSlot(vorlane::gui::kSlotListRow, x, y, w, h);
    }
    const GuiFont* font = TextFont();
    if (!font)
        return 0;
    uint32_t colour = c.text;
    if (OwnerDisabled()) {
        colour = c.disabled_text;
    } else if (highlighted && !focus) {
        colour = c.select;
    } else if (on_selection && c.select_text != 0) {
        colour = c.select_text;  // over the selection, whatever the row's own colour
    } else if (item.HasColour()) {
        colour = item.Colour();
    }
    const int tx = centred ? x + (w - font->TextWidth(item.Processed())) / 2 : x + 4;
    font->DrawText(target, tx, y + (h - font->Height()) / 2, item.Processed(), colour);
    return 0;
}

int GUI_STYLE_OLD_PRIMITIVE::DrawTooltip(int x, int y, GUI_STRING* text) {
    const vorlane::gui::StyleColours c = Colours();
    GuiCanvas* target = vorlane::gui::DrawTarget();
    const GuiFont* font = Resolve(font_);
    GUI_CONTROL* control = GUI_CONTROL::Get();
    if (!target || !text || !font)
        return 0;
    const int screen_w = control ? control->Width() : target->Width();
    const int screen_h = control ? control->Height() : target->Height();
    const auto& lines = text->Layout(font, screen_w, screen_h);
    int text_w = 0;
    for (const auto& line : lines) text_w = std::max(text_w, int(line.width));
    const int box_w = text_w + 6;
    const int box_h = int(lines.size()) * font->Height() + 6;
    int bx = x + 20, by = y;
    if (bx + box_w > screen_w) {
        bx = screen_w - 1 - box_w;
        if (x >= bx && x < bx + box_w)
            by += 25;
    }
    if (by + box_h > screen_h)
        by = y - box_h;
    target->FillRect(bx, by, box_w, box_h, c.tooltip_back | 0xFF000000u);
    target->FrameRect(bx, by, box_w, box_h, c.tooltip_text);
    text->Draw(font, *target, bx + 3, by + 3, c.tooltip_text, screen_w, screen_h);
    return 0;
}
