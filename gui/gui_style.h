// Styles: every GUI object owns one; it does all drawing and text measuring of
// the object. GUI_STYLE is the neutral interface; GUI_STYLE_OLD_PRIMITIVE draws
// every widget, with the picture of a slot when one is set and with primitive
// shapes in its colours otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "gui/gui_canvas.h"
#include "gui/gui_palette.h"

class GUI_OBJECT;
class GUI_STRING;

// One used picture slot. Copies share the picture; the last holder frees it
// when it was handed over as owned.
struct GUI_PICTURE_ENTRY {
    uint8_t locked = 0;
    uint8_t owns_picture = 0;
    std::string resource_name;
    uint8_t flag = 1;
    std::shared_ptr<const vorlane::gui::GuiPicture> picture;
};

namespace vorlane::gui {
// The target every style draws on during a draw pass.
void SetDrawTarget(GuiCanvas* target);
GuiCanvas* DrawTarget();

// Picture slots the widgets use.
enum : int {
    kSlotButtonNormal = 0,
    kSlotButtonHilite = 1,
    kSlotButtonPressed = 2,
    kSlotFrame = 3,
    kSlotRadioOff = 16,
    kSlotRadioOffHot = 17,
    kSlotRadioOn = 18,
    kSlotRadioOnHot = 19,
    kSlotInput = 20,
    kSlotInputFocus = 21,
    kSlotListRow = 22,
    kSlotListRowSelected = 23,
    kSlotListBack = 24,
    kSlotArrowUp = 26,
    kSlotArrowDown = 29,
    kSlotArrowLeft = 34,
    kSlotArrowRight = 37,
    kSlotCount = 44,
};
}  // namespace vorlane::gui

class GUI_STYLE {
  public:
    GUI_STYLE() = default;
    GUI_STYLE(const GUI_STYLE&) = delete;
    GUI_STYLE& operator=(const GUI_STYLE&) = delete;
    // Destroying a locked style is a programming error that ends the process.
    virtual ~GUI_STYLE();

    virtual int DrawFrame(GUI_OBJECT*) { return 0; }
    virtual int DrawButton(GUI_OBJECT*) { return 0; }
    virtual int DrawCheckbox(GUI_OBJECT*) { return 0; }
    virtual int DrawText(GUI_OBJECT*) { return 0; }
    virtual int DrawRadio(GUI_OBJECT*) { return 0; }
    virtual int DrawScrollbar(GUI_OBJECT*) { return 0; }
    virtual int DrawInputbox(GUI_OBJECT*) { return 0; }
    virtual int DrawList(GUI_OBJECT*) { return 0; }
    virtual int DrawCombobox(GUI_OBJECT*) { return 0; }
    virtual int DrawMenuBar(GUI_OBJECT*) { return 0; }
    virtual int DrawPopupMenu(GUI_OBJECT*) { return 0; }
    virtual int DrawTooltip(int, int, GUI_STRING*) { return 0; }
    virtual void Refresh() {}
    virtual int TextWidth(const char*) const { return 0; }
    virtual int StringWidth(const GUI_STRING&) const { return 0; }
    virtual int FontHeight() const { return 0; }
    virtual int LineHeight() const { return 0; }
    virtual const vorlane::gui::GuiFont* ResolvedFont() const { return nullptr; }
    virtual std::unique_ptr<GUI_STYLE> Clone() const;
    virtual int DrawListRow(vorlane::gui::GuiCanvas&, int, int, int, int, const GUI_STRING&, bool,
                            bool) {
        return 0;
    }

    // Picture slots (0..43).
    const GUI_PICTURE_ENTRY* GetPictureEntry(int slot) const;
    void SetPictureEntry(int slot, const GUI_PICTURE_ENTRY* entry);
    // Sets or (with null) removes the picture of a slot. With `owns` the style
    // frees the picture when no entry holds it any more.
    void SetGfx(int slot, const vorlane::gui::GuiPicture* picture, bool owns);
    void SetGfx(int slot, std::shared_ptr<const vorlane::gui::GuiPicture> picture);
    const vorlane::gui::GuiPicture* GetGfx(int slot) const;
    void SetResourceName(int slot, const char* name);
    const char* GetResourceName(int slot) const;

    bool IsLocked() const { return locked_ != 0; }
    void Lock(GUI_OBJECT* owner) {
        locked_ = 1;
        owner_ = owner;
    }
    void Unlock() {
        locked_ = 0;
        owner_ = nullptr;
    }
    GUI_OBJECT* Owner() const { return owner_; }

  protected:
    void CopySlotsFrom(const GUI_STYLE& other);
    void NotifyOwner();

    uint8_t locked_ = 0;
    std::array<std::unique_ptr<GUI_PICTURE_ENTRY>, vorlane::gui::kSlotCount> slots_;
    GUI_OBJECT* owner_ = nullptr;
};

class GUI_STYLE_OLD_PRIMITIVE : public GUI_STYLE {
  public:
    GUI_STYLE_OLD_PRIMITIVE();

    int DrawFrame(GUI_OBJECT* object) override;
    int DrawButton(GUI_OBJECT* object) override;
    int DrawCheckbox(GUI_OBJECT* object) override;
    int DrawText(GUI_OBJECT* object) override;
    int DrawRadio(GUI_OBJECT* object) override;
    int DrawScrollbar(GUI_OBJECT* object) override;
    int DrawInputbox(GUI_OBJECT* object) override;
    int DrawList(GUI_OBJECT* object) override;
    int DrawCombobox(GUI_OBJECT* object) override;
    int DrawMenuBar(GUI_OBJECT* object) override;
    int DrawPopupMenu(GUI_OBJECT* object) override;
    int DrawTooltip(int x, int y, GUI_STRING* text) override;
    int TextWidth(const char* text) const override;
    int StringWidth(const GUI_STRING& text) const override;
    int FontHeight() const override;
    int LineHeight() const override;
    const vorlane::gui::GuiFont* ResolvedFont() const override;
    std::unique_ptr<GUI_STYLE> Clone() const override;
    int DrawListRow(vorlane::gui::GuiCanvas& target, int x, int y, int w, int h,
                    const GUI_STRING& item, bool highlighted, bool centred) override;

    // Fonts (null: font 0 of the font control).
    void SetFont(const vorlane::gui::GuiFont* font) { font_ = font; }
    void SetFontAlt(const vorlane::gui::GuiFont* font) { font_alt_ = font; }
    const vorlane::gui::GuiFont* Font() const { return font_; }

    // Colours. RGB triples get alpha 255; a triple of zeros becomes (1, 1, 1).
    void SetTextColour(uint8_t r, uint8_t g, uint8_t b) { text_colour_ = FromRgb(r, g, b); }
    void SetActiveTextColour(uint8_t r, uint8_t g, uint8_t b) {
        active_text_colour_ = FromRgb(r, g, b);
    }
    void SetDisabledTextColour(uint8_t r, uint8_t g, uint8_t b) {
        disabled_text_colour_ = FromRgb(r, g, b);
    }
    void SetBackColour(uint32_t argb) { back_colour_ = FromArgb(argb); }
    void SetActiveBackColour(uint32_t argb) { active_back_colour_ = FromArgb(argb); }
    void SetLightColour(uint32_t argb) { light_colour_ = FromArgb(argb); }
    void SetDarkColour(uint32_t argb) { dark_colour_ = FromArgb(argb); }
    void SetFillColour(uint32_t argb) { fill_colour_ = argb; }
    void SetSelectColour(uint32_t argb) { select_colour_ = argb; }
    void SetTooltipColours(uint32_t back, uint32_t text) {
        tooltip_back_ = back;
        tooltip_text_ = text;
    }
    void SetPressOffset(int16_t dx, int16_t dy) {
        press_dx_ = dx;
        press_dy_ = dy;
    }

    uint32_t back_colour() const { return back_colour_; }
    uint32_t active_back_colour() const { return active_back_colour_; }
    uint32_t fill_colour() const { return fill_colour_; }
    uint32_t dark_colour() const { return dark_colour_; }
    uint32_t light_colour() const { return light_colour_; }
    uint32_t text_colour() const { return text_colour_; }
    uint32_t active_text_colour() const { return active_text_colour_; }
    uint32_t select_colour() const { return select_colour_; }
    uint32_t disabled_text_colour() const { return disabled_text_colour_; }
    uint32_t tooltip_back() const { return tooltip_back_; }
    uint32_t tooltip_text() const { return tooltip_text_; }
    int16_t press_dx() const { return press_dx_; }
    int16_t press_dy() const { return press_dy_; }

    // The process-wide font control that null fonts resolve through.
    static void SetFonControl(const vorlane::gui::GuiFontSource* fonts);
    static const vorlane::gui::GuiFontSource* FonControl();

    static uint32_t FromRgb(uint8_t r, uint8_t g, uint8_t b);
    static uint32_t FromArgb(uint32_t argb);

    // The colours drawn with: the ones set above as the palette mode makes them.
    vorlane::gui::StyleColours Colours() const;

  private:
    bool OwnerDisabled() const;
    // The focus outline around a rectangle, outside it, when the palette
    // asks for one.
    static void DrawFocusOutline(vorlane::gui::GuiCanvas& target, int x, int y, int w, int h,
                                 const vorlane::gui::StyleColours& colours);
    const vorlane::gui::GuiFont* TextFont() const;
    const vorlane::gui::GuiFont* Resolve(const vorlane::gui::GuiFont* font) const;
    bool DrawSlot(int slot, int x, int y, int w, int h);
    void DrawArrowButtonLook(vorlane::gui::GuiCanvas& target, int x, int y, int w, int h,
                             bool pressed);

    const vorlane::gui::GuiFont* font_ = nullptr;
    const vorlane::gui::GuiFont* font_alt_ = nullptr;
    uint32_t back_colour_ = 0xFF303848;
    uint32_t active_back_colour_ = 0xFF505C70;
    uint32_t fill_colour_ = 0xFF181C24;
    uint32_t fill_colour2_ = 0xFF101010;
    uint32_t dark_colour_ = 0xFF0C0C10;
    uint32_t light_colour_ = 0xFFA0A8B8;
    uint32_t text_colour_ = 0xFFE8E8E8;
    uint32_t active_text_colour_ = 0xFFFFD040;
    uint32_t select_colour_ = 0xFF4068B0;
    uint32_t disabled_text_colour_ = 0xFF787878;
    uint32_t tooltip_back_ = 0xFFFFFFD8;
    uint32_t tooltip_text_ = 0xFF101010;
    int16_t press_dx_ = 1;
    int16_t press_dy_ = 1;
};
