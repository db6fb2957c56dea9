#include "media/input_queue.h"

namespace vorlane::media {

InputSink QueueSink(MTX_QLIST* queue) {
    return [queue](const IOEVE& record) {
        if (!queue)
            return false;
        IOEVE* event = IOEVE_Create(record.class_flags, record.source);
        if (!event)
            return false;
        *event = record;  // a plain record
        return IOEVE_Post(queue, event) == 0;
    };
}

}  // namespace vorlane::media
