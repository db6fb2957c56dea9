// The palette: the one place that decides the colours that carry meaning (chat
// line kinds, greyed rows, errors, the selection, the focus outline) and how the
// styles' own colours change for players who need another look. Three modes:
//
//   standard     the menus' own colours, exactly as their scripts set them
//   colourblind  the meaningful colours from the Okabe-Ito set, which stay
//                apart under every common kind of colour blindness
//   contrast     white and yellow on black, solid frames, a thick focus
//                outline; pictures (the art) are drawn as they are
//
// The mode is process-wide and read while drawing, so a change shows with the
// next frame on every menu at once.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlane::gui {

enum class PaletteMode : uint8_t { kStandard, kColourBlind, kContrast };
inline constexpr int kPaletteModeCount = 3;

// "standard", "colourblind", "contrast".
const char* PaletteModeName(PaletteMode mode);
// The mode of a name (letter case ignored); false for anything else.
bool ParsePaletteMode(std::string_view name, PaletteMode* mode);

void SetPaletteMode(PaletteMode mode);
PaletteMode CurrentPaletteMode();

// What a coloured text means; the palette gives each its colour per mode.
enum class ColourRole : uint8_t {
    kNone,
    kChatPrivate,  // private chat lines, sent or received
    kChatServer,   // lines the server itself sends into the chat
    kChatHistory,  // lines from before the player came in
    kError,        // refusals and sanctions
    kUnavailable,  // rows that cannot be used: full games, ignored players
    kFriend,       // the player's friends
    kSelection,    // the selected list row
    kFocus,        // the outline of the object with the keyboard focus
};

// ARGB of a role in a mode (kNone: 0).
uint32_t RoleColour(ColourRole role, PaletteMode mode);
inline uint32_t RoleColour(ColourRole role) {
    return RoleColour(role, CurrentPaletteMode());
}

// The colour of a list item as it is added: none, a fixed ARGB value (0 is
// none), or a role that is looked up whenever the item is drawn. Implicit, so
// that callers pass either as they always passed a colour.
struct ItemColour {
    ItemColour() = default;
    ItemColour(uint32_t fixed) : argb(fixed) {}
    ItemColour(ColourRole meaning) : role(meaning) {}
    uint32_t argb = 0;
    ColourRole role = ColourRole::kNone;
};

// The colours a primitive style draws with. A style keeps the ones its menu
// set and draws with what the palette makes of them.
struct StyleColours {
    uint32_t back = 0;
    uint32_t active_back = 0;
    uint32_t fill = 0;
    uint32_t dark = 0;
    uint32_t light = 0;
    uint32_t text = 0;
    uint32_t active_text = 0;
    uint32_t select = 0;
    uint32_t disabled_text = 0;
    uint32_t tooltip_back = 0;
    uint32_t tooltip_text = 0;
    // Text of the selected row over the selection (0: the row's own colour).
    uint32_t select_text = 0;
    // Outline drawn around a focused input box or list (width 0: none).
    uint32_t focus = 0;
    int focus_width = 0;
};

// The colours to draw with in `mode`, from the ones a style was given.
StyleColours ApplyPalette(const StyleColours& own, PaletteMode mode);

}  // namespace vorlane::gui
