#include "sound/ogg_memory.h"

#include <vorbis/vorbisfile.h>

#include <cstring>

namespace vorlane::sound {

size_t MemoryReader::Read(void* out, size_t size, size_t count) {
    if (size == 0 || count == 0 || pos_ >= size_)
        return 0;
    size_t left = size_ - pos_;
    if (count > left / size)
        count = left / size;
    std::memcpy(out, data_ + pos_, count * size);
    pos_ += count * size;
    return count;
}

int MemoryReader::Seek(int64_t offset, int origin) {
    int64_t base = 0;
    if (origin == 0)
        base = 0;
    else if (origin == 1)
        base = int64_t(pos_);
    else if (origin == 2) {
        if (offset > 0 || offset < -int64_t(size_))
            return -1;
        base = int64_t(size_);
    } else {
        return -1;
    }
    int64_t target = base + offset;
    if (target < 0 || target > int64_t(size_))
        return -1;
    pos_ = size_t(target);
    return 0;
}

namespace {

size_t ReadCallback(void* out, size_t size, size_t count, void* source) {
    return static_cast<MemoryReader*>(source)->Read(out, size, count);
}
int SeekCallback(void* source, ogg_int64_t offset, int origin) {
    return static_cast<MemoryReader*>(source)->Seek(offset, origin);
}
long TellCallback(void* source) {
    return static_cast<MemoryReader*>(source)->Tell();
}

// No close callback: the reader belongs to the caller, not to the decoder.
const ov_callbacks kMemoryCallbacks = {ReadCallback, SeekCallback, nullptr, TellCallback};

}  // namespace

int OpenOggMemory(MemoryReader* reader, OggVorbis_File* file) {
    return ov_open_callbacks(reader, file, nullptr, 0, kMemoryCallbacks);
}

}  // namespace vorlane::sound
