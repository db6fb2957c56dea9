#include "media/keycodes.h"

#include <array>

namespace vorlane::media {
namespace {

struct KeyPair {
    uint8_t dik;
    uint8_t code;
};

// Scan code -> engine key code, in engine code order.
constexpr KeyPair kKeyTable[] = {
    {0x3B, 0x00},
    {0x3C, 0x01},
    {0x3D, 0x02},
    {0x3E, 0x03},
    {0x3F, 0x04},
    {0x40, 0x05},
    {0x41, 0x06},
    {0x42, 0x07},
    {0x43, 0x08},
    {0x44, 0x09},  // F1..F10
    {kDikF11, 0x0A},
    {kDikF12, 0x0B},
    {kDikF13, 0x0C},
    {kDikF14, 0x0D},
    {kDikF15, 0x0E},
    {kDikEscape, 0x0F},
    {kDikTab, 0x10},
    {kDikReturn, 0x11},
    {kDikBack, 0x12},
    {kDikRShift, 0x13},
    {kDikLShift, 0x14},
    {kDikLControl, 0x15},
    {kDikRControl, 0x16},
    {kDikRMenu, 0x17},
    {kDikLMenu, 0x18},
    {kDikInsert, 0x19},
    {kDikDelete, 0x1A},
    {kDikHome, 0x1B},
    {kDikEnd, 0x1C},
    {kDikPrior, 0x1D},
    {kDikNext, 0x1E},
    {kDikUp, 0x1F},
    {kDikDown, 0x20},
    {kDikLeft, 0x21},
    {kDikRight, 0x22},
    {kDikNumpad0, 0x23},
    {kDikNumpad1, 0x24},
    {kDikNumpad2, 0x25},
    {kDikNumpad3, 0x26},
    {kDikNumpad4, 0x27},
    {kDikNumpad5, 0x28},
    {kDikNumpad6, 0x29},
    {kDikNumpad7, 0x2A},
    {kDikNumpad8, 0x2B},
    {kDikNumpad9, 0x2C},
    {kDikNumpadEquals, 0x2D},
    {kDikNumpadEnter, 0x2E},
    {kDikNumpadComma, 0x2F},
    {kDikMinus, 0x30},
    {kDikEquals, 0x31},
    {kDikLBracket, 0x32},
    {kDikRBracket, 0x33},
    {kDikSemicolon, 0x34},
    {kDikApostrophe, 0x35},
    {kDikGrave, 0x36},
    {kDikBackslash, 0x37},
    {kDikComma, 0x38},
    {kDikPeriod, 0x39},
    {kDikSlash, 0x3A},
    {kDikMultiply, 0x3B},
    {kDikSpace, 0x3C},
    {kDikCapital, 0x3D},
    {kDikNumLock, 0x3E},
    {kDikScroll, 0x3F},
    {kDikSubtract, 0x40},
    {kDikAdd, 0x41},
    {kDikDecimal, 0x42},
    {kDikKana, 0x43},
    {kDikConvert, 0x44},
    {kDikNoConvert, 0x45},
    {kDikYen, 0x46},
    {kDikCircumflex, 0x47},
    {kDikAt, 0x48},
    {kDikColon, 0x49},
    {kDikUnderline, 0x4A},
    {kDikKanji, 0x4B},
    {kDikStop, 0x4C},
    {kDikAx, 0x4D},
    {kDikUnlabeled, 0x4E},
    {kDikDivide, 0x4F},
    {kDikSysRq, 0x50},
    {kDikLWin, 0x51},
    {kDikRWin, 0x52},
    {kDikApps, 0x53},
};

constexpr std::array<int16_t, 256> BuildLookup() {
    std::array<int16_t, 256> table{};
    for (auto& entry : table) entry = kNoEngineKey;
    for (const KeyPair& pair : kKeyTable) table[pair.dik] = pair.code;
    return table;
}

constexpr std::array<int16_t, 256> kLookup = BuildLookup();

}  // namespace

int EngineKeyCode(uint8_t dik) {
    return kLookup[dik];
}

uint8_t KeypadCharacter(uint8_t dik) {
    switch (dik) {
        case kDikNumpad7:
            return '7';
        case kDikNumpad8:
            return '8';
        case kDikNumpad9:
            return '9';
        case kDikNumpad4:
            return '4';
        case kDikNumpad5:
            return '5';
        case kDikNumpad6:
            return '6';
        case kDikNumpad1:
            return '1';
        case kDikNumpad2:
            return '2';
        case kDikNumpad3:
            return '3';
        case kDikNumpad0:
            return '0';
        case kDikDecimal:
            return '.';
        case kDikDivide:
            return '/';
        default:
            return 0;
    }
}

}  // namespace vorlane::media
