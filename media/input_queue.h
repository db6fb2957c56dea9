// Binds the input layer to the program's input event queue.
#pragma once

#include "baselib/ioeve.h"
#include "media/input.h"

namespace vorlane::media {

// A sink that turns each record into an IOEVE from the memory system and
// appends it to `queue`, which owns it from then on. A record that cannot be
// allocated or queued is dropped (false).
InputSink QueueSink(MTX_QLIST* queue);

}  // namespace vorlane::media
