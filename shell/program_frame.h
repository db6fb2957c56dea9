// ProgramFrame: the base class of every screen controller the main loop drives.
#pragma once

#include <cstdint>

#include "baselib/ioeve.h"
#include "baselib/timer.h"
#include "shell/flag_word.h"

namespace vorlane {

class ProgramFrame {
  public:
    ProgramFrame() = default;
    // Unlinks the frame from the list it belongs to.
    virtual ~ProgramFrame();
    ProgramFrame(const ProgramFrame&) = delete;
    ProgramFrame& operator=(const ProgramFrame&) = delete;

    virtual int IsReady() const { return 1; }
    // 1 when the event was consumed.
    virtual int OnInput(IOEVE* event) {
        (void)event;
        return 0;
    }
    virtual void Update() {}
    virtual void Draw() {}

    // How soon the picture changes by itself, asked after Update: 0 when it
    // changes every frame (something animates, or the frame just changed),
    // kNoChange when only input or the network will change it, otherwise the
    // milliseconds until the next change (a caret blink). The main loop sleeps
    // that long when nothing else happens. A frame that does not know says 0.
    static constexpr uint32_t kNoChange = 0xFFFFFFFFu;
    virtual uint32_t MsUntilChange() { return 0; }
    // The same for every change but a caret's blink, asked after
    // MsUntilChange. A blink alone may be shown from an earlier picture
    // instead of drawing the frame again; a frame that does not know says
    // kEveryChange, and every change it reports is drawn.
    static constexpr uint32_t kEveryChange = 0xFFFFFFFEu;
    virtual uint32_t MsUntilOtherChange() { return kEveryChange; }

    // Links the frame at the head of `*list`.
    void LinkInto(ProgramFrame** list);

    uint8_t ready = 1;
    FlagWord flags;

  private:
    ProgramFrame** list_ = nullptr;
    ProgramFrame* next_ = nullptr;
    baselib::CountdownTimer timer_;
};

}  // namespace vorlane
