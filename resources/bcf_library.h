// BCF_LIBRARY: block container files, a numbered list of objects in one image.
//
// Image layout (little-endian, offsets from the image start):
//   0                 u32 table_offset (also the length of header + descriptors + data)
//   4                 "QNT-BCF\0"
//   12, 13            version bytes 0 and 1
//   14                39-byte descriptor per object, object order
//   ...               object data, object i ending where object i+1 begins
//   table_offset      u32 start offset per object, up to the image end
// The object count is (image length - table_offset) / 4, rounded down.
//
// Everything read from an image is untrusted: the offset table must lie inside
// the image and its offsets must ascend and stay below table_offset, else the
// load is refused; no allocation is larger than the image itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vorlane::resources {

constexpr size_t kBcfHeaderSize = 14;
constexpr size_t kBcfDescriptorSize = 39;
constexpr size_t kBcfDescriptorFirstRun = 24;
constexpr char kBcfMagic[8] = "QNT-BCF";
constexpr uint8_t kBcfVersion1 = 0;
constexpr uint8_t kBcfVersion2 = 1;

// PTRARY flags understood by the loaders.
constexpr uint32_t PTRARY_BLOCKMEM = 0x10;
constexpr uint32_t kBcfFirstObjectFlag = 0x20;
constexpr uint32_t kBcfOwnItemsFlag = 0x08;
// Load option: the objects are plain byte copies (CreateObject is not called);
// a file's objects are then read straight into their own blocks in one pass.
constexpr uint32_t kBcfPlainBytes = 0x10000;

// One object's descriptor bytes (carried, not interpreted) and its size.
struct BCF_INFO {
    uint8_t descriptor[kBcfDescriptorSize] = {};
    uint32_t size = 0;
};

// The offset table of an image.
struct BcfObjectList {
    uint32_t table_offset = 0;
    std::vector<uint32_t> offsets;

    size_t Count() const { return offsets.size(); }
    uint32_t SizeOf(size_t i) const {
        uint32_t end = i + 1 < offsets.size() ? offsets[i + 1] : table_offset;
        return end - offsets[i];
    }
};

// Reads the offset table and descriptors of a file / an image in memory
// (`image_end` is one past the last byte of the offset table). Null on failure.
std::optional<BcfObjectList> LoadBCFObjectList(const char* file_name,
                                               std::vector<BCF_INFO>& info_list);
std::optional<BcfObjectList> LoadBCFObjectList(const uint8_t* image, const uint8_t* image_end,
                                               std::vector<BCF_INFO>& info_list);

// One object for BuildBcfImage.
struct BcfObjectSource {
    std::span<const uint8_t> bytes;
    uint8_t descriptor[kBcfDescriptorSize] = {};
};

// Writes an image of the objects in order. False when it would exceed 4 GiB.
bool BuildBcfImage(std::span<const BcfObjectSource> objects, std::vector<uint8_t>& out);

class ImageSource;

// Objects are untyped slots. A type built on BCF overrides CreateObject /
// CreateFirstObject to make its own records, overrides ReleaseObject to free
// them, and calls Clear() in its own destructor (while its ReleaseObject still
// exists); the base destructor frees only default byte copies.
class BCF_LIBRARY {
  public:
    BCF_LIBRARY() = default;
    virtual ~BCF_LIBRARY();
    BCF_LIBRARY(const BCF_LIBRARY&) = delete;
    BCF_LIBRARY& operator=(const BCF_LIBRARY&) = delete;

    // Releases objects, info records and the block; the library stays usable.
    virtual void Clear();
    // Clears the library (its owner deletes it).
    virtual void Release() { Clear(); }
    // Frees one object made by CreateObject / CreateFirstObject.
    virtual void ReleaseObject(void* object);
    // Uses `block` (owned from now on) as the storage of a block-mode library.
    virtual void CreateOnBlock(size_t capacity, uint32_t flags, std::unique_ptr<uint8_t[]> block,
                               size_t block_size);
    // Default: a heap copy of the bytes; null when data is null or size 0.
    virtual void* CreateObject(const uint8_t* data, uint32_t size);
    // Default: the same as CreateObject.
    virtual void* CreateFirstObject(const uint8_t* data, uint32_t size);

    virtual int LoadFile(const char* file_name, uint32_t flags);
    virtual int LoadMemory(const uint8_t* image, const uint8_t* image_end, uint32_t flags);
    virtual int LoadPart(const char* file_name, uint32_t first, uint32_t count, uint32_t flags);

    size_t GetCount() const { return slots_.size(); }
    void* GetAt(size_t i) const { return i < slots_.size() ? slots_[i] : nullptr; }
    // The object's size from its info record, -1 when there is none.
    int64_t GetSize(size_t i) const;
    const BCF_INFO* GetInfo(size_t i) const { return i < infos_.size() ? &infos_[i] : nullptr; }
    bool IsBlockMode() const { return block_ != nullptr; }
    const uint8_t* Block() const { return block_.get(); }
    size_t BlockSize() const { return block_size_; }
    uint32_t ArrayFlags() const { return array_flags_; }

    // Hands a default-created object's bytes (per-object mode) to the caller and
    // empties the slot. Null in block mode or for an empty slot.
    std::unique_ptr<uint8_t[]> DetachBytes(size_t i);

  private:
    int Load(ImageSource& source, uint32_t flags);
    bool CreateAll(const BcfObjectList& list, const uint8_t* data, uint32_t flags);
    bool ReadPlainObjects(ImageSource& source, const BcfObjectList& list, uint32_t flags);

    std::vector<void*> slots_;
    std::vector<BCF_INFO> infos_;
    std::unique_ptr<uint8_t[]> block_;
    size_t block_size_ = 0;
    uint32_t array_flags_ = 0;
    bool owns_objects_ = false;
};

}  // namespace vorlane::resources
