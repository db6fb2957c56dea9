#include "resources/bcf_library.h"

#include <cstring>
#include <limits>
#include <new>

#include "baselib/byte_reader.h"
#include "baselib/log_channel.h"
#include "resources/res_file.h"

namespace vorlane::resources {

// [SECTION] Image sources: a file read at offsets, or bytes in memory.

class ImageSource {
  public:
    virtual ~ImageSource() = default;
    virtual bool IsOpen() const = 0;
    virtual int64_t Length() const = 0;
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) const = 0;
    // The bytes themselves when they are already in memory (no copy needed).
    virtual const uint8_t* Direct() const { return nullptr; }
    // Consecutive bytes from `offset` into the parts in order.
    virtual bool ReadScatterAt(uint64_t offset, std::span<const ReadOnlyFile::Part> parts) const {
        for (const auto& part : parts) {
            if (!ReadAt(offset, part.data, part.size))
                return false;
            offset += part.size;
        }
        return true;
    }
};

namespace {

class FileSource : public ImageSource {
  public:
    explicit FileSource(const char* name) : file_(name) {}
    bool IsOpen() const override { return file_.IsOpen(); }
    int64_t Length() const override { return file_.Length(); }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override {
        return file_.ReadAt(offset, out, count);
    }
    bool ReadScatterAt(uint64_t offset, std::span<const ReadOnlyFile::Part> parts) const override {
        return file_.ReadScatterAt(offset, parts);
    }

  private:
    ReadOnlyFile file_;
};

class MemorySource : public ImageSource {
  public:
    MemorySource(const uint8_t* image, const uint8_t* image_end)
        : image_(image),
          length_(image && image_end && image_end >= image ? size_t(image_end - image) : 0),
          open_(image && image_end && image_end >= image) {}
    bool IsOpen() const override { return open_; }
    int64_t Length() const override { return int64_t(length_); }
    bool ReadAt(uint64_t offset, void* out, size_t count) const override {
        if (offset > length_ || count > length_ - offset)
            return false;
        if (count)
            std::memcpy(out, image_ + offset, count);
        return true;
    }
    const uint8_t* Direct() const override { return image_; }

  private:
    const uint8_t* image_;
    size_t length_;
    bool open_;
};

// [SECTION] Object list

std::unique_ptr<uint8_t[]> TryAllocate(size_t size) {
    // Zero-length blocks still get one byte so that a block pointer exists.
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size ? size : 1]);
}

bool ReadU32At(const ImageSource& source, uint64_t offset, uint32_t& value) {
    uint8_t bytes[4];
    if (!source.ReadAt(offset, bytes, 4))
        return false;
    ByteReader reader(bytes, 4);
    value = reader.U32();
    return true;
}

std::optional<BcfObjectList> ReadObjectList(const ImageSource& source,
                                            std::vector<BCF_INFO>& info_list) {
    info_list.clear();
    BcfObjectList list;
    if (!source.IsOpen() || !ReadU32At(source, 0, list.table_offset))
        return std::nullopt;
    int64_t length = source.Length();
    if (length < 0 || uint64_t(list.table_offset) > uint64_t(length)) {
        Log(kLogError, "BCF: LoadBCFObjectList: Cannot load list.");
        return std::nullopt;
    }
    // The count is bounded by the bytes present, so the table below is too.
    uint64_t count = (uint64_t(length) - list.table_offset) / 4;
    if (count > std::numeric_limits<size_t>::max() / 4)
        return std::nullopt;
    std::vector<uint8_t> table;
    try {
        table.resize(size_t(count) * 4);
        list.offsets.resize(size_t(count));
        info_list.resize(size_t(count));
    } catch (const std::bad_alloc&) {
        Log(kLogError, "BCF: LoadBCFObjectList: No memory for list header.");
        info_list.clear();
        return std::nullopt;
    }
    if (!source.ReadAt(list.table_offset, table.data(), table.size())) {
        Log(kLogError, "BCF: LoadBCFObjectList: Cannot load list.");
        info_list.clear();
        return std::nullopt;
    }
    ByteReader reader(table.data(), table.size());
    uint32_t previous = 0;
    for (auto& offset : list.offsets) {
        offset = reader.U32();
        // Sizes are differences of neighbours: the offsets must ascend and stay
        // inside the data area, or some object would reach outside the image.
        if (offset < previous || offset > list.table_offset) {
            Log(kLogError, "BCF: LoadBCFObjectList: Bad offset table.");
            info_list.clear();
            return std::nullopt;
        }
        previous = offset;
    }
    for (size_t i = 0; i < list.Count(); ++i) info_list[i].size = list.SizeOf(i);

    uint8_t header[kBcfHeaderSize];
    if (source.ReadAt(0, header, sizeof header) &&
        std::memcmp(header + 4, kBcfMagic, sizeof kBcfMagic) == 0 && header[12] == kBcfVersion1 &&
        header[13] == kBcfVersion2) {
        // Descriptors that would run past the image are left zero.
        uint64_t area = uint64_t(count) * kBcfDescriptorSize;
        if (kBcfHeaderSize + area <= uint64_t(length)) {
            std::vector<uint8_t> descriptors(static_cast<size_t>(area));
            if (source.ReadAt(kBcfHeaderSize, descriptors.data(), descriptors.size())) {
                for (size_t i = 0; i < list.Count(); ++i) {
                    std::memcpy(info_list[i].descriptor, &descriptors[i * kBcfDescriptorSize],
                                kBcfDescriptorSize);
                }
            }
        }
    }
    return list;
}

}  // namespace

std::optional<BcfObjectList> LoadBCFObjectList(const char* file_name,
                                               std::vector<BCF_INFO>& info_list) {
    if (!file_name)
        return std::nullopt;
    FileSource source(file_name);
    return ReadObjectList(source, info_list);
}

std::optional<BcfObjectList> LoadBCFObjectList(const uint8_t* image, const uint8_t* image_end,
                                               std::vector<BCF_INFO>& info_list) {
    MemorySource source(image, image_end);
    return ReadObjectList(source, info_list);
}

// [SECTION] Writing

bool BuildBcfImage(std::span<const BcfObjectSource> objects, std::vector<uint8_t>& out) {
    out.clear();
    uint64_t table_offset = kBcfHeaderSize + uint64_t(objects.size()) * kBcfDescriptorSize;
    for (const auto& object : objects) table_offset += object.bytes.size();
    uint64_t total = table_offset + uint64_t(objects.size()) * 4;
    if (table_offset > std::numeric_limits<uint32_t>::max())
        return false;
    out.reserve(size_t(total));
    ByteWriter writer(out);
    writer.U32(uint32_t(table_offset));
    writer.Bytes(kBcfMagic, sizeof kBcfMagic);
    writer.U8(kBcfVersion1);
    writer.U8(kBcfVersion2);
    for (const auto& object : objects) writer.Bytes(object.descriptor, kBcfDescriptorSize);
    std::vector<uint32_t> offsets;
    offsets.reserve(objects.size());
    for (const auto& object : objects) {
        offsets.push_back(uint32_t(out.size()));
        writer.Bytes(object.bytes.data(), object.bytes.size());
    }
    for (uint32_t offset : offsets) writer.U32(offset);
    return true;
}

// [SECTION] BCF_LIBRARY

BCF_LIBRARY::~BCF_LIBRARY() {
    // Derived libraries clear themselves in their own destructors, while their
    // ReleaseObject still exists; this one frees what is left.
    if (owns_objects_) {
        for (void* object : slots_) delete[] static_cast<uint8_t*>(object);
    }
}

void BCF_LIBRARY::Clear() {
    if (owns_objects_) {
        for (void* object : slots_) {
            if (object)
                ReleaseObject(object);
        }
    }
    slots_.clear();
    infos_.clear();
    block_.reset();
    block_size_ = 0;
    array_flags_ = 0;
    owns_objects_ = false;
}

void BCF_LIBRARY::ReleaseObject(void* object) {
    delete[] static_cast<uint8_t*>(object);
}

void BCF_LIBRARY::CreateOnBlock(size_t capacity, uint32_t flags, std::unique_ptr<uint8_t[]> block,
                                size_t block_size) {
    slots_.clear();
    slots_.reserve(capacity);
    block_ = std::move(block);
    block_size_ = block_size;
    array_flags_ = flags;
    owns_objects_ = false;
}

void* BCF_LIBRARY::CreateObject(const uint8_t* data, uint32_t size) {
    if (!data || size == 0)
        return nullptr;
    auto* copy = new (std::nothrow) uint8_t[size];
    if (copy)
        std::memcpy(copy, data, size);
    return copy;
}

void* BCF_LIBRARY::CreateFirstObject(const uint8_t* data, uint32_t size) {
    return CreateObject(data, size);
}

int64_t BCF_LIBRARY::GetSize(size_t i) const {
    return i < infos_.size() ? int64_t(infos_[i].size) : -1;
}

std::unique_ptr<uint8_t[]> BCF_LIBRARY::DetachBytes(size_t i) {
    if (!owns_objects_ || i >= slots_.size() || !slots_[i])
        return nullptr;
    std::unique_ptr<uint8_t[]> bytes(static_cast<uint8_t*>(slots_[i]));
    slots_[i] = nullptr;
    return bytes;
}

bool BCF_LIBRARY::CreateAll(const BcfObjectList& list, const uint8_t* data, uint32_t flags) {
    array_flags_ = (flags & ~kBcfPlainBytes) | kBcfOwnItemsFlag;
    owns_objects_ = true;
    slots_.assign(list.Count(), nullptr);
    for (size_t i = 0; i < list.Count(); ++i) {
        const uint8_t* bytes = data + list.offsets[i];
        uint32_t size = list.SizeOf(i);
        void* object = (i == 0 && (flags & kBcfFirstObjectFlag)) ? CreateFirstObject(bytes, size)
                                                                 : CreateObject(bytes, size);
        // One failure fails the whole load, so the rest need not be made.
        if (!object)
            return false;
        slots_[i] = object;
    }
    return true;
}

bool BCF_LIBRARY::ReadPlainObjects(ImageSource& source, const BcfObjectList& list, uint32_t flags) {
    array_flags_ = (flags & ~kBcfPlainBytes) | kBcfOwnItemsFlag;
    owns_objects_ = true;
    slots_.assign(list.Count(), nullptr);
    std::vector<ReadOnlyFile::Part> parts(list.Count());
    for (size_t i = 0; i < list.Count(); ++i) {
        uint32_t size = list.SizeOf(i);
        // An empty object fails the load, as the default creation does.
        if (size == 0)
            return false;
        auto* block = new (std::nothrow) uint8_t[size];
        if (!block)
            return false;
        slots_[i] = block;
        parts[i] = {block, size};
    }
    // The objects lie back to back from the first offset up to the table.
    return list.Count() == 0 || source.ReadScatterAt(list.offsets[0], parts);
}

int BCF_LIBRARY::Load(ImageSource& source, uint32_t flags) {
    Clear();
    std::vector<BCF_INFO> infos;
    std::optional<BcfObjectList> list = ReadObjectList(source, infos);
    if (!list)
        return -1;
    infos_ = std::move(infos);
    const uint32_t data_size = list->table_offset;

    if (flags & PTRARY_BLOCKMEM) {
        std::unique_ptr<uint8_t[]> block = TryAllocate(data_size);
        if (!block || !source.ReadAt(0, block.get(), data_size)) {
            Clear();
            return -1;
        }
        uint8_t* base = block.get();
        CreateOnBlock(list->Count(), PTRARY_BLOCKMEM, std::move(block), data_size);
        for (uint32_t offset : list->offsets) slots_.push_back(base + offset);
        return 0;
    }

    if ((flags & kBcfPlainBytes) && !(flags & kBcfFirstObjectFlag) && !source.Direct()) {
        if (!ReadPlainObjects(source, *list, flags)) {
            Clear();
            return -1;
        }
        return 0;
    }
    // Objects are copied out of the image: straight from memory, or through one
    // read of the data area of a file.
    const uint8_t* data = source.Direct();
    std::unique_ptr<uint8_t[]> temporary;
    if (!data) {
        temporary = TryAllocate(data_size);
        if (!temporary || !source.ReadAt(0, temporary.get(), data_size)) {
            Clear();
            return -1;
        }
        data = temporary.get();
    }
    if (!CreateAll(*list, data, flags)) {
        Clear();
        return -1;
    }
    return 0;
}

int BCF_LIBRARY::LoadFile(const char* file_name, uint32_t flags) {
    Clear();
    if (!file_name)
        return -1;
    FileSource source(file_name);
    return Load(source, flags);
}

int BCF_LIBRARY::LoadMemory(const uint8_t* image, const uint8_t* image_end, uint32_t flags) {
    MemorySource source(image, image_end);
    return Load(source, flags);
}

int BCF_LIBRARY::LoadPart(const char* file_name, uint32_t first, uint32_t count, uint32_t flags) {
    Clear();
    if (flags & PTRARY_BLOCKMEM) {
        Log(kLogError, "BCF_LIBRARY::LoadPart, PTRARY_BLOCKMEM flag not supported!");
        return -1;
    }
    if (!file_name)
        return -1;
    FileSource source(file_name);
    std::vector<BCF_INFO> infos;
    std::optional<BcfObjectList> list = ReadObjectList(source, infos);
    if (!list)
        return -1;
    // A range that starts past the last object names nothing to load.
    if (first >= list->Count())
        return -1;
    size_t end = first + std::min<uint64_t>(count, list->Count() - first);
    uint32_t range_start = list->offsets[first];
    uint32_t range_end = end < list->Count() ? list->offsets[end] : list->table_offset;
    uint32_t range_size = range_end - range_start;
    std::unique_ptr<uint8_t[]> temporary = TryAllocate(range_size);
    if (!temporary || !source.ReadAt(range_start, temporary.get(), range_size))
        return -1;

    infos_ = std::move(infos);
    array_flags_ = flags | kBcfOwnItemsFlag;
    owns_objects_ = true;
    slots_.assign(list->Count(), nullptr);
    for (size_t i = first; i < end; ++i) {
        void* object =
            CreateObject(temporary.get() + (list->offsets[i] - range_start), list->SizeOf(i));
        if (!object) {
            Clear();
            return -1;
        }
        slots_[i] = object;
    }
    return 0;
}

}  // namespace vorlane::resources
