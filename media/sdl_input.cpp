// [SECTION] index
//   SDL input source: scan codes, text, and the keyboard and mouse reads.
//   - Scan code table
//   - Text to single bytes
//   - Event intake
//   - Game controllers
//   - Reads
#include "media/sdl_input.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "baselib/logsys.h"
#include "media/keycodes.h"

namespace vorlane::media {
namespace {

// Input items kept between two polls at most; a pump that runs without polls
// (a stalled main loop) must not grow memory without end.
constexpr size_t kMaxPending = 1024;
constexpr size_t kMaxButtonChanges = 16;
// At most this many pads are opened; more add nothing.
constexpr size_t kMaxControllers = 4;
// A stick inside this tilt is at rest (pads never centre exactly).
constexpr int kStickDeadZone = 8000;
// Pointer speed at full tilt, in screen pixels per millisecond.
constexpr double kStickFullSpeed = 0.8;
// A pointer step covers at most this long, so a stalled loop does not jump.
constexpr uint64_t kStickMaxStepMs = 100;

}  // namespace

// [SECTION] Scan code table
uint8_t DikFromSdlScancode(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) {
        static constexpr uint8_t kLetters[26] = {kDikA, kDikB, kDikC, kDikD, kDikE, kDikF, kDikG,
                                                 kDikH, kDikI, kDikJ, kDikK, kDikL, kDikM, kDikN,
                                                 kDikO, kDikP, kDikQ, kDikR, kDikS, kDikT, kDikU,
                                                 kDikV, kDikW, kDikX, kDikY, kDikZ};
        return kLetters[sc - SDL_SCANCODE_A];
    }
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0)
        return uint8_t(kDik1 + (sc - SDL_SCANCODE_1));
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10)
        return uint8_t(kDikF1 + (sc - SDL_SCANCODE_F1));
    switch (sc) {
        case SDL_SCANCODE_RETURN:
            return kDikReturn;
        case SDL_SCANCODE_ESCAPE:
            return kDikEscape;
        case SDL_SCANCODE_BACKSPACE:
            return kDikBack;
        case SDL_SCANCODE_TAB:
            return kDikTab;
        case SDL_SCANCODE_SPACE:
            return kDikSpace;
        case SDL_SCANCODE_MINUS:
            return kDikMinus;
        case SDL_SCANCODE_EQUALS:
            return kDikEquals;
        case SDL_SCANCODE_LEFTBRACKET:
            return kDikLBracket;
        case SDL_SCANCODE_RIGHTBRACKET:
            return kDikRBracket;
        case SDL_SCANCODE_BACKSLASH:
            return kDikBackslash;
        case SDL_SCANCODE_NONUSHASH:
            return kDikBackslash;
        case SDL_SCANCODE_SEMICOLON:
            return kDikSemicolon;
        case SDL_SCANCODE_APOSTROPHE:
            return kDikApostrophe;
        case SDL_SCANCODE_GRAVE:
            return kDikGrave;
        case SDL_SCANCODE_COMMA:
            return kDikComma;
        case SDL_SCANCODE_PERIOD:
            return kDikPeriod;
        case SDL_SCANCODE_SLASH:
            return kDikSlash;
        case SDL_SCANCODE_CAPSLOCK:
            return kDikCapital;
        case SDL_SCANCODE_F11:
            return kDikF11;
        case SDL_SCANCODE_F12:
            return kDikF12;
        case SDL_SCANCODE_F13:
            return kDikF13;
        case SDL_SCANCODE_F14:
            return kDikF14;
        case SDL_SCANCODE_F15:
            return kDikF15;
        case SDL_SCANCODE_PRINTSCREEN:
            return kDikSysRq;
        case SDL_SCANCODE_SCROLLLOCK:
            return kDikScroll;
        case SDL_SCANCODE_PAUSE:
            return kDikPause;
        case SDL_SCANCODE_INSERT:
            return kDikInsert;
        case SDL_SCANCODE_HOME:
            return kDikHome;
        case SDL_SCANCODE_PAGEUP:
            return kDikPrior;
        case SDL_SCANCODE_DELETE:
            return kDikDelete;
        case SDL_SCANCODE_END:
            return kDikEnd;
        case SDL_SCANCODE_PAGEDOWN:
            return kDikNext;
        case SDL_SCANCODE_RIGHT:
            return kDikRight;
        case SDL_SCANCODE_LEFT:
            return kDikLeft;
        case SDL_SCANCODE_DOWN:
            return kDikDown;
        case SDL_SCANCODE_UP:
            return kDikUp;
        case SDL_SCANCODE_NUMLOCKCLEAR:
            return kDikNumLock;
        case SDL_SCANCODE_KP_DIVIDE:
            return kDikDivide;
        case SDL_SCANCODE_KP_MULTIPLY:
            return kDikMultiply;
        case SDL_SCANCODE_KP_MINUS:
            return kDikSubtract;
        case SDL_SCANCODE_KP_PLUS:
            return kDikAdd;
        case SDL_SCANCODE_KP_ENTER:
            return kDikNumpadEnter;
        case SDL_SCANCODE_KP_1:
            return kDikNumpad1;
        case SDL_SCANCODE_KP_2:
            return kDikNumpad2;
        case SDL_SCANCODE_KP_3:
            return kDikNumpad3;
        case SDL_SCANCODE_KP_4:
            return kDikNumpad4;
        case SDL_SCANCODE_KP_5:
            return kDikNumpad5;
        case SDL_SCANCODE_KP_6:
            return kDikNumpad6;
        case SDL_SCANCODE_KP_7:
            return kDikNumpad7;
        case SDL_SCANCODE_KP_8:
            return kDikNumpad8;
        case SDL_SCANCODE_KP_9:
            return kDikNumpad9;
        case SDL_SCANCODE_KP_0:
            return kDikNumpad0;
        case SDL_SCANCODE_KP_PERIOD:
            return kDikDecimal;
        case SDL_SCANCODE_KP_EQUALS:
            return kDikNumpadEquals;
        case SDL_SCANCODE_KP_COMMA:
            return kDikNumpadComma;
        case SDL_SCANCODE_NONUSBACKSLASH:
            return kDikOem102;
        case SDL_SCANCODE_APPLICATION:
            return kDikApps;
        case SDL_SCANCODE_INTERNATIONAL1:
            return kDikUnderline;
        case SDL_SCANCODE_INTERNATIONAL2:
            return kDikKana;
        case SDL_SCANCODE_INTERNATIONAL3:
            return kDikYen;
        case SDL_SCANCODE_INTERNATIONAL4:
            return kDikConvert;
        case SDL_SCANCODE_INTERNATIONAL5:
            return kDikNoConvert;
        case SDL_SCANCODE_LANG1:
            return kDikKanji;
        case SDL_SCANCODE_STOP:
            return kDikStop;
        case SDL_SCANCODE_LCTRL:
            return kDikLControl;
        case SDL_SCANCODE_LSHIFT:
            return kDikLShift;
        case SDL_SCANCODE_LALT:
            return kDikLMenu;
        case SDL_SCANCODE_LGUI:
            return kDikLWin;
        case SDL_SCANCODE_RCTRL:
            return kDikRControl;
        case SDL_SCANCODE_RSHIFT:
            return kDikRShift;
        case SDL_SCANCODE_RALT:
            return kDikRMenu;
        case SDL_SCANCODE_RGUI:
            return kDikRWin;
        default:
            return 0;
    }
}

// [SECTION] Text to single bytes
std::vector<uint8_t> Utf8ToLatin1(const char* text) {
    std::vector<uint8_t> out;
    if (!text)
        return out;
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    size_t n = std::strlen(text);
    for (size_t i = 0; i < n;) {
        uint8_t b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0) {
            ++i;
            continue;
        }
        uint32_t cp = b & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + size_t(k) >= n || (p[i + k] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if (!ok) {
            ++i;
            continue;
        }
        if (cp <= 0xFF)
            out.push_back(uint8_t(cp));
        i += size_t(extra) + 1;
    }
    return out;
}

// [SECTION] Event intake
void SdlInputSource::SetScreen(int width, int height, float scale_x, float scale_y) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    scale_x_ = scale_x > 0 ? scale_x : 1.0f;
    scale_y_ = scale_y > 0 ? scale_y : 1.0f;
}

void SdlInputSource::AddKey(uint8_t scan, bool down) {
    if (pending_.size() >= kMaxPending)
        return;
    KeyItem item;
    item.scan = scan;
    item.down = down;
    item.sequence = ++sequence_;
    if (!down)
        item.character = last_character_[scan];
    pending_.push_back(item);
    text_claimable_ = down;
}

void SdlInputSource::AddText(const char* utf8) {
    if (drop_repeat_text_) {
        drop_repeat_text_ = false;
        return;
    }
    for (uint8_t c : Utf8ToLatin1(utf8)) {
        if (text_claimable_ && !pending_.empty() && pending_.back().character == 0) {
            pending_.back().character = c;
            last_character_[pending_.back().scan] = c;
            text_claimable_ = false;
            continue;
        }
        if (pending_.size() >= kMaxPending)
            return;
        KeyItem item;
        item.down = true;
        item.sequence = ++sequence_;
        item.character = c;
        pending_.push_back(item);
        text_claimable_ = false;
    }
}

bool SdlInputSource::HandleEvent(const SDL_Event& e) {
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            drop_repeat_text_ = e.type == SDL_KEYDOWN && e.key.repeat;
            if (e.key.repeat)
                return true;  // the reader repeats characters itself
            uint8_t scan = DikFromSdlScancode(e.key.keysym.scancode);
            if (scan == 0)
                return false;
            AddKey(scan, e.type == SDL_KEYDOWN);
            return true;
        }
        case SDL_TEXTINPUT:
            AddText(e.text.text);
            return true;
        case SDL_MOUSEMOTION: {
            int nx = int(std::lround(e.motion.x / scale_x_));
            int ny = int(std::lround(e.motion.y / scale_y_));
            dx_ += nx - x_;
            dy_ += ny - y_;
            x_ = nx;
            y_ = ny;
            return true;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int index = e.button.button == SDL_BUTTON_LEFT     ? 0
                        : e.button.button == SDL_BUTTON_RIGHT  ? 1
                        : e.button.button == SDL_BUTTON_MIDDLE ? 2
                                                               : -1;
            if (index < 0)
                return false;
            ButtonChange(index, e.type == SDL_MOUSEBUTTONDOWN);
            return true;
        }
        case SDL_CONTROLLERDEVICEADDED:
            OpenController(e.cdevice.which);
            return true;
        case SDL_CONTROLLERDEVICEREMOVED:
            for (auto it = controllers_.begin(); it != controllers_.end(); ++it) {
                SDL_Joystick* stick = SDL_GameControllerGetJoystick(*it);
                if (stick && SDL_JoystickInstanceID(stick) == e.cdevice.which) {
                    SDL_GameControllerClose(*it);
                    controllers_.erase(it);
                    stick_x_ = stick_y_ = 0;
                    break;
                }
            }
            return true;
        case SDL_CONTROLLERAXISMOTION:
            if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                stick_x_ = e.caxis.value;
            } else if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
                stick_y_ = e.caxis.value;
            } else {
                return false;
            }
            return true;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (e.cbutton.button == SDL_CONTROLLER_BUTTON_A) {
                ButtonChange(0, e.type == SDL_CONTROLLERBUTTONDOWN);
            } else if (e.cbutton.button == SDL_CONTROLLER_BUTTON_B) {
                ButtonChange(1, e.type == SDL_CONTROLLERBUTTONDOWN);
            } else {
                return false;
            }
            return true;
        case SDL_MOUSEWHEEL: {
            int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            wheel_ = std::clamp(wheel_ + notches * 120, -(1 << 20), 1 << 20);
            return true;
        }
        default:
            return false;
    }
}

void SdlInputSource::ButtonChange(int index, bool down) {
    const uint8_t state = down ? 0x80 : 0;
    std::deque<uint8_t>& changes = button_changes_[index];
    uint8_t last = changes.empty() ? buttons_[index] : changes.back();
    if (state != last && changes.size() < kMaxButtonChanges)
        changes.push_back(state);
}

// [SECTION] Game controllers
void SdlInputSource::OpenControllers() {
    if (SDL_WasInit(SDL_INIT_GAMECONTROLLER) == 0 &&
        SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        LOGSYS_Text(nullptr, kLogWarning, "DXinput: no game controller support.");
        return;
    }
    for (int i = 0; i < SDL_NumJoysticks(); ++i) OpenController(i);
}

void SdlInputSource::OpenController(int device_index) {
    if (controllers_.size() >= kMaxControllers || !SDL_IsGameController(device_index))
        return;
    // A pad attached at start-up is reported again as an added device.
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device_index);
    for (SDL_GameController* open : controllers_) {
        SDL_Joystick* stick = SDL_GameControllerGetJoystick(open);
        if (stick && SDL_JoystickInstanceID(stick) == id)
            return;
    }
    SDL_GameController* controller = SDL_GameControllerOpen(device_index);
    if (!controller) {
        LOGSYS_Printf(nullptr, kLogWarning, "DXinput: Cannot open game controller %d.",
                      device_index);
        return;
    }
    controllers_.push_back(controller);
    const char* name = SDL_GameControllerName(controller);
    LOGSYS_Printf(nullptr, kLogInfo, "DXinput: game controller '%.100s' opened.",
                  name ? name : "?");
}

void SdlInputSource::CloseControllers() {
    for (SDL_GameController* controller : controllers_) SDL_GameControllerClose(controller);
    controllers_.clear();
    stick_x_ = stick_y_ = 0;
}

bool SdlInputSource::Moving() const {
    return std::abs(stick_x_) > kStickDeadZone || std::abs(stick_y_) > kStickDeadZone;
}

// [SECTION] Reads
ReadStatus SdlInputSource::ReadKeyboard(std::vector<KeyItem>& items, size_t max) {
    size_t count = std::min(max, pending_.size());
    items.insert(items.end(), pending_.begin(), pending_.begin() + ptrdiff_t(count));
    pending_.erase(pending_.begin(), pending_.begin() + ptrdiff_t(count));
    if (pending_.empty())
        text_claimable_ = false;
    return ReadStatus::kOk;
}

ReadStatus SdlInputSource::ReadMouse(MouseSample& sample) {
    const uint64_t now = SDL_GetTicks64();
    if (Moving()) {
        const uint64_t elapsed = std::min(now - stick_read_at_, kStickMaxStepMs);
        // Speed grows with the tilt beyond the dead zone, squared for fine aim.
        auto step = [elapsed](int value) {
            const int magnitude = std::abs(value);
            if (magnitude <= kStickDeadZone)
                return 0.0;
            const double tilt = double(magnitude - kStickDeadZone) / (32767 - kStickDeadZone);
            const double pixels = tilt * tilt * kStickFullSpeed * double(elapsed);
            return value < 0 ? -pixels : pixels;
        };
        stick_rest_x_ += step(stick_x_);
        stick_rest_y_ += step(stick_y_);
        const int move_x = int(stick_rest_x_), move_y = int(stick_rest_y_);
        stick_rest_x_ -= move_x;
        stick_rest_y_ -= move_y;
        const int nx = std::clamp(x_ + move_x, 0, width_ - 1);
        const int ny = std::clamp(y_ + move_y, 0, height_ - 1);
        dx_ += nx - x_;
        dy_ += ny - y_;
        x_ = nx;
        y_ = ny;
        // The system's pointer follows, so the player sees where it points;
        // its motion event then reports the place it already has.
        if (SDL_Window* window = SDL_GetMouseFocus())
            SDL_WarpMouseInWindow(window, int(std::lround(x_ * scale_x_)),
                                  int(std::lround(y_ * scale_y_)));
    } else {
        stick_rest_x_ = stick_rest_y_ = 0;
    }
    stick_read_at_ = now;
    sample.absolute = true;
    sample.x = std::clamp(x_, 0, width_ - 1);
    sample.y = std::clamp(y_, 0, height_ - 1);
    sample.dx = dx_;
    sample.dy = dy_;
    sample.wheel = wheel_;
    for (int i = 0; i < 3; ++i) {
        if (button_changes_[i].empty())
            continue;
        buttons_[i] = button_changes_[i].front();
        button_changes_[i].pop_front();
    }
    std::copy(buttons_, buttons_ + 4, sample.buttons);
    dx_ = dy_ = wheel_ = 0;
    return ReadStatus::kOk;
}

}  // namespace vorlane::media
