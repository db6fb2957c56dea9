#include "shell/program_frame.h"

namespace vorlane {

ProgramFrame::~ProgramFrame() {
    if (!list_)
        return;
    if (*list_ == this) {
        *list_ = next_;
        return;
    }
    for (ProgramFrame* frame = *list_; frame; frame = frame->next_) {
        if (frame->next_ == this) {
            frame->next_ = next_;
            return;
        }
    }
}

void ProgramFrame::LinkInto(ProgramFrame** list) {
    list_ = list;
    next_ = *list;
    *list = this;
}

}  // namespace vorlane
