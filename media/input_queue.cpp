#include "media/input_queue.h"

namespace vorlane::media {

void FillIOEVE(const InputRecord& r, IOEVE& e) {
    e.class_flags = r.class_flags;
    e.character = r.character;
    e.button_flags = r.button_flags;
    e.x = r.x;
    e.y = r.y;
    e.source = r.source;
    e.value = r.value;
    e.param2 = r.parameter2;
    e.message = r.message;
}

InputSink QueueSink(MTX_QLIST* queue) {
    return [queue](const InputRecord& record) {
        if (!queue)
            return false;
        IOEVE* event = IOEVE_Create(record.class_flags, record.source);
        if (!event)
            return false;
        FillIOEVE(record, *event);
        return IOEVE_Post(queue, event) == 0;
    };
}

}  // namespace vorlane::media
