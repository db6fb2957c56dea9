// Keyboard scan codes (the DirectInput DIK numbering, which is the PC set-1
// scan code with 0x80 added for the extended keys) and the engine key codes
// that key-down and key-up records carry.
#pragma once

#include <cstdint>

namespace vorlane::media {

enum Dik : uint8_t {
    kDikEscape = 0x01, kDik1 = 0x02, kDik9 = 0x0A, kDik0 = 0x0B, kDikMinus = 0x0C,
    kDikEquals = 0x0D, kDikBack = 0x0E, kDikTab = 0x0F, kDikQ = 0x10, kDikW = 0x11,
    kDikE = 0x12, kDikR = 0x13, kDikT = 0x14, kDikY = 0x15, kDikU = 0x16, kDikI = 0x17,
    kDikO = 0x18, kDikP = 0x19, kDikLBracket = 0x1A, kDikRBracket = 0x1B, kDikReturn = 0x1C,
    kDikLControl = 0x1D, kDikA = 0x1E, kDikS = 0x1F, kDikD = 0x20, kDikF = 0x21, kDikG = 0x22,
    kDikH = 0x23, kDikJ = 0x24, kDikK = 0x25, kDikL = 0x26, kDikSemicolon = 0x27,
    kDikApostrophe = 0x28, kDikGrave = 0x29, kDikLShift = 0x2A, kDikBackslash = 0x2B,
    kDikZ = 0x2C, kDikX = 0x2D, kDikC = 0x2E, kDikV = 0x2F, kDikB = 0x30, kDikN = 0x31,
    kDikM = 0x32, kDikComma = 0x33, kDikPeriod = 0x34, kDikSlash = 0x35, kDikRShift = 0x36,
    kDikMultiply = 0x37, kDikLMenu = 0x38, kDikSpace = 0x39, kDikCapital = 0x3A,
    kDikF1 = 0x3B, kDikF10 = 0x44, kDikNumLock = 0x45, kDikScroll = 0x46, kDikNumpad7 = 0x47,
    kDikNumpad8 = 0x48, kDikNumpad9 = 0x49, kDikSubtract = 0x4A, kDikNumpad4 = 0x4B,
    kDikNumpad5 = 0x4C, kDikNumpad6 = 0x4D, kDikAdd = 0x4E, kDikNumpad1 = 0x4F,
    kDikNumpad2 = 0x50, kDikNumpad3 = 0x51, kDikNumpad0 = 0x52, kDikDecimal = 0x53,
    kDikOem102 = 0x56, kDikF11 = 0x57, kDikF12 = 0x58, kDikF13 = 0x64, kDikF14 = 0x65,
    kDikF15 = 0x66, kDikKana = 0x70, kDikConvert = 0x79, kDikNoConvert = 0x7B, kDikYen = 0x7D,
    kDikNumpadEquals = 0x8D, kDikCircumflex = 0x90, kDikAt = 0x91, kDikColon = 0x92,
    kDikUnderline = 0x93, kDikKanji = 0x94, kDikStop = 0x95, kDikAx = 0x96,
    kDikUnlabeled = 0x97, kDikNumpadEnter = 0x9C, kDikRControl = 0x9D,
    kDikNumpadComma = 0xB3, kDikDivide = 0xB5, kDikSysRq = 0xB7, kDikRMenu = 0xB8,
    kDikPause = 0xC5, kDikHome = 0xC7, kDikUp = 0xC8, kDikPrior = 0xC9, kDikLeft = 0xCB,
    kDikRight = 0xCD, kDikEnd = 0xCF, kDikDown = 0xD0, kDikNext = 0xD1, kDikInsert = 0xD2,
    kDikDelete = 0xD3, kDikLWin = 0xDB, kDikRWin = 0xDC, kDikApps = 0xDD,
};

// Engine key codes the program's own code names.
enum EngineKey : uint8_t {
    kKeyF1 = 0x00, kKeyEscape = 0x0F, kKeyTab = 0x10, kKeyReturn = 0x11, kKeyBackspace = 0x12,
    kKeyRShift = 0x13, kKeyLShift = 0x14, kKeyLControl = 0x15, kKeyRControl = 0x16,
    kKeyRAlt = 0x17, kKeyLAlt = 0x18, kKeyInsert = 0x19, kKeyDelete = 0x1A, kKeyHome = 0x1B,
    kKeyEnd = 0x1C, kKeyPageUp = 0x1D, kKeyPageDown = 0x1E, kKeyUp = 0x1F, kKeyDown = 0x20,
    kKeyLeft = 0x21, kKeyRight = 0x22, kKeyNumpad0 = 0x23, kKeyNumpadEnter = 0x2E,
    kKeyMinus = 0x30, kKeySpace = 0x3C, kKeyApps = 0x53,
};

constexpr int kNoEngineKey = -1;

// The engine key code of a scan code, or kNoEngineKey.
int EngineKeyCode(uint8_t dik);

// The character a keypad key types regardless of Num Lock ('0'..'9', '.', '/'),
// or 0 for other keys.
uint8_t KeypadCharacter(uint8_t dik);

}  // namespace vorlane::media
