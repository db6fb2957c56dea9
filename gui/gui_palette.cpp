#include "gui/gui_palette.h"

#include <array>
#include <atomic>
#include <cctype>

namespace vorlane::gui {

namespace {

// Drawn from the main thread only; atomic so that a test or a tool thread
// asking for the mode never races with the console changing it.
std::atomic<PaletteMode> g_mode{PaletteMode::kStandard};

constexpr std::array<const char*, kPaletteModeCount> kModeNames = {"standard", "colourblind",
                                                                   "contrast"};

// Pure black is the surfaces' "nothing" colour; the darkest drawable black.
constexpr uint32_t kBlack = 0xFF010101;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kYellow = 0xFFFFFF00;

constexpr int kRoleCount = int(ColourRole::kFocus) + 1;

// One row per role, one column per mode. The colour-blind column is the
// Okabe-Ito set (sky blue, bluish green, reddish purple, vermillion, yellow,
// blue, orange); the greys already read alike for everyone. The contrast
// column keeps every colour light enough for black.
constexpr uint32_t kRoleColours[kRoleCount][kPaletteModeCount] = {
    {0, 0, 0},                             // kNone
    {0xFF8C8CDC, 0xFF56B4E9, 0xFF00FFFF},  // kChatPrivate
    {0xFF78D2A0, 0xFF009E73, 0xFF80FF80},  // kChatServer
    {0xFFA0A0A0, 0xFFCC79A7, 0xFFFFA0FF},  // kChatHistory
    {0xFFDC7878, 0xFFD55E00, 0xFFFF8080},  // kError
    {0xFFB4B4B4, 0xFFB4B4B4, 0xFFB0B0B0},  // kUnavailable
    {0xFF78C8F0, 0xFFF0E442, 0xFFFFC040},  // kFriend
    {0xFF4068B0, 0xFF0072B2, kYellow},     // kSelection
    {0xFFFFD040, 0xFFE69F00, kYellow},     // kFocus
};

// The focus outline of the contrast style: thick enough to find at a glance.
constexpr int kContrastFocusWidth = 3;

}  // namespace

const char* PaletteModeName(PaletteMode mode) {
    const int index = int(mode);
    return index >= 0 && index < kPaletteModeCount ? kModeNames[size_t(index)] : "standard";
}

bool ParsePaletteMode(std::string_view name, PaletteMode* mode) {
    // Typed by hand (console, preferences file): blanks around do not count.
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front())))
        name.remove_prefix(1);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.remove_suffix(1);
    for (int i = 0; i < kPaletteModeCount; ++i) {
        const std::string_view candidate = kModeNames[size_t(i)];
        if (candidate.size() != name.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k)
            same = std::tolower(static_cast<unsigned char>(name[k])) == candidate[k];
        if (same) {
            *mode = PaletteMode(i);
            return true;
        }
    }
    return false;
}

void SetPaletteMode(PaletteMode mode) {
    g_mode.store(int(mode) < kPaletteModeCount ? mode : PaletteMode::kStandard);
}

PaletteMode CurrentPaletteMode() {
    return g_mode.load();
}

uint32_t RoleColour(ColourRole role, PaletteMode mode) {
    const int row = int(role), column = int(mode);
    if (row < 0 || row >= kRoleCount || column < 0 || column >= kPaletteModeCount)
        return 0;
    return kRoleColours[row][column];
}

StyleColours ApplyPalette(const StyleColours& own, PaletteMode mode) {
    StyleColours out = own;
    switch (mode) {
        case PaletteMode::kStandard:
            break;
        case PaletteMode::kColourBlind:
            // The menus' own colours carry no meaning of their own; the
            // selection does, wherever a menu put it.
            out.select = RoleColour(ColourRole::kSelection, mode);
            break;
        case PaletteMode::kContrast:
            out.back = kBlack;
            out.active_back = 0xFF383838;
            out.fill = kBlack;
            out.dark = kWhite;
            out.light = kWhite;
            out.text = kWhite;
            out.active_text = kYellow;
            out.disabled_text = 0xFFA0A0A0;
            out.select = RoleColour(ColourRole::kSelection, mode);
            out.select_text = kBlack;
            out.tooltip_back = kBlack;
            out.tooltip_text = kWhite;
            out.focus = RoleColour(ColourRole::kFocus, mode);
            out.focus_width = kContrastFocusWidth;
            break;
    }
    return out;
}

}  // namespace vorlane::gui
