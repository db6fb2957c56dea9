// Ogg Vorbis data held in memory: the reader that vorbisfile pulls bytes from
// and the one set of vorbisfile callbacks over it. The sound kernel, the
// decoder of the data tool and the benchmarks all open their streams here.
#pragma once

#include <cstddef>
#include <cstdint>

// vorbisfile.h defines static callback tables; kept out of this header.
struct OggVorbis_File;

namespace vorlane::sound {

// The decoder's view of in-memory data: whole items only, seeks inside the data.
class MemoryReader {
  public:
    MemoryReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(void* out, size_t size, size_t count);
    // 0 on success, -1 for a position outside 0..size.
    int Seek(int64_t offset, int origin);
    long Tell() const { return long(pos_); }
    void Rewind() { pos_ = 0; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Opens `file` over `reader`, which must outlive it (ov_clear does not touch
// the reader). 0 on success, else the ov_open_callbacks error (data that is
// not Ogg Vorbis).
int OpenOggMemory(MemoryReader* reader, OggVorbis_File* file);

}  // namespace vorlane::sound
