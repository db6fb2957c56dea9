// A block of bytes bound to files: filled from a file, from another data source
// or allocated empty; saved, filled with one value and copied out. The block
// comes from BL_OrgGetMem unless it was attached without ownership.
#pragma once

#include <cstdint>

namespace vorlane::baselib {

// Something that can tell its size and hand out its bytes in order.
class DataSource {
  public:
    virtual ~DataSource() = default;
    // Bytes available, or -1 when unknown/failed.
    virtual int64_t Size() = 0;
    // Reads exactly `count` bytes; 0 on success, -1 on failure.
    virtual int Read(void* buffer, uint32_t count) = 0;
};

class MemoryBuffer {
  public:
    static constexpr uint32_t kValid = 0x1;
    static constexpr uint32_t kNotOwned = 0x2;
    // Largest block a data source may ask for; its size is not trusted beyond that.
    static constexpr int64_t kMaxSourceSize = int64_t(1) << 30;

    MemoryBuffer() = default;
    ~MemoryBuffer();
    MemoryBuffer(const MemoryBuffer&) = delete;
    MemoryBuffer& operator=(const MemoryBuffer&) = delete;

    // Each filling operation releases the previous contents first; 0 or -1.
    int LoadFile(const char* name);
    int LoadFrom(DataSource& source);
    int Allocate(uint32_t size);
    // Uses the caller's bytes without copying and without taking ownership.
    int Attach(void* data, uint32_t size);
    int Save(const char* name) const;
    void Fill(uint8_t value);
    // Copies at most min(size, capacity) bytes; returns the number copied.
    uint32_t CopyOut(void* destination, uint32_t capacity) const;
    // Recomputes the CRC after the bytes were changed in place.
    void UpdateCrc();
    void Release();

    bool valid() const { return (flags_ & kValid) != 0; }
    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }
    uint32_t flags() const { return flags_; }
    uint32_t crc() const { return crc_; }

  private:
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t flags_ = 0;
    uint32_t crc_ = 0;
};

}  // namespace vorlane::baselib
