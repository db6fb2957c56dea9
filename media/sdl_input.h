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
#pragma once

#include <SDL.h>

#include <array>
#include <deque>
#include <vector>

#include "media/input.h"

namespace vorlane::media {

class SdlInputSource : public InputSource {
  public:
    // Takes one event; true when the input layer used it.
    bool HandleEvent(const SDL_Event& event);
    // Sets the screen size the cursor is clamped to and the window-to-screen
    // scale (1 when the renderer maps coordinates already).
    void SetScreen(int width, int height, float scale_x = 1.0f, float scale_y = 1.0f);

    bool HasKeyboard() const override { return true; }
    bool HasMouse() const override { return true; }
    ReadStatus ReadKeyboard(std::vector<KeyItem>& items, size_t max) override;
    ReadStatus ReadMouse(MouseSample& sample) override;

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
};

// The scan code (DIK numbering) of an SDL scancode, 0 when there is none.
uint8_t DikFromSdlScancode(SDL_Scancode scancode);

// Decodes UTF-8 into single bytes: code points 0..255 as themselves, others
// dropped, malformed sequences skipped byte by byte.
std::vector<uint8_t> Utf8ToLatin1(const char* text);

}  // namespace vorlane::media
