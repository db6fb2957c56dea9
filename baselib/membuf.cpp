#include "baselib/membuf.h"

#include <cstring>

#include "baselib/bl_file.h"
#include "baselib/bl_memory.h"
#include "baselib/checksum.h"

namespace vorlane::baselib {

MemoryBuffer::~MemoryBuffer() {
    Release();
}

void MemoryBuffer::Release() {
    if (data_ && !(flags_ & kNotOwned))
        BL_OrgFreeMem(data_);
    data_ = nullptr;
    size_ = 0;
    flags_ = 0;
    crc_ = 0;
}

int MemoryBuffer::LoadFile(const char* name) {
    Release();
    uint32_t length = 0;
    void* block = FILE_Load(name, nullptr, &length);
    if (!block)
        return -1;
    data_ = static_cast<uint8_t*>(block);
    size_ = length;
    flags_ = kValid;
    UpdateCrc();
    return 0;
}

int MemoryBuffer::LoadFrom(DataSource& source) {
    Release();
    const int64_t size = source.Size();
    if (size < 0 || size > kMaxSourceSize)
        return -1;
    if (Allocate(uint32_t(size)) != 0)
        return -1;
    if (source.Read(data_, size_) != 0) {
        Release();
        return -1;
    }
    UpdateCrc();
    return 0;
}

int MemoryBuffer::Allocate(uint32_t size) {
    Release();
    if (size > uint32_t(INT32_MAX))
        return -1;
    void* block = BL_OrgGetMem(int32_t(size));
    if (!block)
        return -1;
    data_ = static_cast<uint8_t*>(block);
    size_ = size;
    std::memset(data_, 0, size_);
    flags_ = kValid;
    UpdateCrc();
    return 0;
}

int MemoryBuffer::Attach(void* data, uint32_t size) {
    Release();
    if (!data && size > 0)
        return -1;
    // The bytes stay the caller's; writes through data() are the caller's choice.
    data_ = static_cast<uint8_t*>(data);
    size_ = size;
    flags_ = kValid | kNotOwned;
    UpdateCrc();
    return 0;
}

int MemoryBuffer::Save(const char* name) const {
    if (!valid())
        return -1;
    return FILE_Save(name, data_, size_) < 0 ? -1 : 0;
}

void MemoryBuffer::Fill(uint8_t value) {
    if (!valid() || !data_)
        return;
    std::memset(data_, value, size_);
    UpdateCrc();
}

uint32_t MemoryBuffer::CopyOut(void* destination, uint32_t capacity) const {
    if (!valid() || !destination || !data_)
        return 0;
    const uint32_t count = capacity < size_ ? capacity : size_;
    std::memcpy(destination, data_, count);
    return count;
}

void MemoryBuffer::UpdateCrc() {
    crc_ = BL_Crc32(data_, size_);
}

}  // namespace vorlane::baselib
