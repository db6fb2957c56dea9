// The SDL input source: the window's event pump hands every SDL event to
// HandleEvent, which keeps what the readers of DXINPUT read on their next poll.
//
// Keys become scan-code items (SDL key repeat is ignored; the keyboard reader
// repeats characters itself). Text input is attached as the character of the
// key that went down just before it, converted to one byte (Latin-1); text that
// follows no key press arrives as key-less characters. The mouse reports the
// absolute cursor position in screen pixels (the renderer's logical size
// already maps window to screen coordinates) and the summed motion; button
// changes are queued so that each poll sees at most one change per button.
//
// Game controllers (SDL's game-controller mapping of any pad) drive the same
// pointer: the left stick moves it at a speed that grows with the tilt, A is the
// left button and B the right one.
#pragma once

#include <SDL.h>

#include <array>
#include <deque>
#include <vector>

#include "media/input.h"

namespace vorlane::media {

class SdlInputSource : public InputSource {
  public:
    SdlInputSource() = default;
    ~SdlInputSource() override { CloseControllers(); }
    SdlInputSource(const SdlInputSource&) = delete;
    SdlInputSource& operator=(const SdlInputSource&) = delete;

    // Takes one event; true when the input layer used it.
    bool HandleEvent(const SDL_Event& event);
    // Sets the screen size the cursor is clamped to and the window-to-screen
    // scale (1 when the renderer maps coordinates already).
    void SetScreen(int width, int height, float scale_x = 1.0f, float scale_y = 1.0f);

    bool HasKeyboard() const override { return true; }
    bool HasMouse() const override { return true; }
    ReadStatus ReadKeyboard(std::vector<KeyItem>& items, size_t max) override;
    ReadStatus ReadMouse(MouseSample& sample) override;
    // True while a tilted stick moves the pointer without any event.
    bool Moving() const override;

    // Opens every game controller attached now; later ones arrive as events.
    void OpenControllers();
    void CloseControllers();
    size_t ControllerCount() const { return controllers_.size(); }

  private:
    void AddKey(uint8_t scan, bool down);
    void AddText(const char* utf8);

    std::vector<KeyItem> pending_;
    std::array<uint8_t, 256> last_character_{};  // per scan code, for the key-up item
    uint32_t sequence_ = 0;
    bool text_claimable_ = false;  // the last item is a key-down without a character yet
    // The system repeated a held key: the text it sends with the repeat is
    // dropped, since the input layer repeats characters on its own timing.
    bool drop_repeat_text_ = false;
    int x_ = 0, y_ = 0;
    int dx_ = 0, dy_ = 0, wheel_ = 0;
    uint8_t buttons_[4] = {};
    // Button changes not yet polled: a press and release between two polls
    // are reported one per poll, so a quick click is never lost.
    std::deque<uint8_t> button_changes_[3];
    int width_ = 640, height_ = 480;
    float scale_x_ = 1.0f, scale_y_ = 1.0f;

    void OpenController(int device_index);
    void ButtonChange(int index, bool down);
    std::vector<SDL_GameController*> controllers_;
    int stick_x_ = 0, stick_y_ = 0;               // the left stick, -32768 to 32767
    uint64_t stick_read_at_ = 0;                  // SDL ticks of the last pointer step
    double stick_rest_x_ = 0, stick_rest_y_ = 0;  // pixel fractions carried over
};

// The scan code (DIK numbering) of an SDL scancode, 0 when there is none.
uint8_t DikFromSdlScancode(SDL_Scancode scancode);

// Decodes UTF-8 into single bytes: code points 0..255 as themselves, others
// dropped, malformed sequences skipped byte by byte.
std::vector<uint8_t> Utf8ToLatin1(const char* text);

}  // namespace vorlane::media
