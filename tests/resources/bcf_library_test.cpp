#include "resources/bcf_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "baselib/byte_reader.h"
#include "res_test_util.h"
#include "resources/res_file.h"

namespace vorlane::resources {
namespace {

using testing::LogCapture;
using testing::TempDir;
using testing::WriteBytes;

// The smallest useful image: header, one descriptor, one 5-byte object at 53,
// a one-entry offset table at 58.
std::vector<uint8_t> OneObjectImage() {
    std::vector<uint8_t> image;
    ByteWriter writer(image);
    writer.U32(58);
    writer.Bytes(kBcfMagic, 8);
    writer.U8(0);
    writer.U8(1);
    for (int i = 0; i < 39; ++i) writer.U8(uint8_t(0xA0 + i));
    writer.Bytes("hello", 5);
    writer.U32(53);
    return image;
}

// An image of `count` objects; object i holds i + 1 bytes of value i.
std::vector<uint8_t> NumberedImage(int count) {
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<BcfObjectSource> sources(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) payloads.emplace_back(size_t(i + 1), uint8_t(i));
    for (int i = 0; i < count; ++i) {
        sources[size_t(i)].bytes = payloads[size_t(i)];
        sources[size_t(i)].descriptor[0] = uint8_t(i);
    }
    std::vector<uint8_t> image;
    EXPECT_TRUE(BuildBcfImage(sources, image));
    return image;
}

std::string Bytes(const void* data, int64_t size) {
    return std::string(static_cast<const char*>(data), size_t(size));
}

TEST(BcfImage, SmallestImageFromMemoryAndFile) {
    std::vector<uint8_t> image = OneObjectImage();
    ASSERT_EQ(image.size(), 62u);

    std::vector<BCF_INFO> infos;
    auto list = LoadBCFObjectList(image.data(), image.data() + image.size(), infos);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->table_offset, 58u);
    ASSERT_EQ(list->Count(), 1u);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].size, 5u);
    EXPECT_EQ(infos[0].descriptor[0], 0xA0);
    EXPECT_EQ(infos[0].descriptor[38], 0xA0 + 38);

    BCF_LIBRARY memory;
    ASSERT_EQ(memory.LoadMemory(image.data(), image.data() + image.size(), 0), 0);
    ASSERT_EQ(memory.GetCount(), 1u);
    EXPECT_EQ(memory.GetSize(0), 5);
    EXPECT_EQ(memory.GetSize(1), -1);
    EXPECT_EQ(Bytes(memory.GetAt(0), 5), "hello");
    EXPECT_EQ(memory.ArrayFlags() & kBcfOwnItemsFlag, kBcfOwnItemsFlag);

    TempDir dir;
    WriteBytes(dir / "one.bcf", image);
    BCF_LIBRARY file;
    ASSERT_EQ(file.LoadFile((dir / "one.bcf").c_str(), 0), 0);
    ASSERT_EQ(file.GetCount(), 1u);
    EXPECT_EQ(Bytes(file.GetAt(0), 5), "hello");
    EXPECT_EQ(file.GetInfo(0)->descriptor[1], 0xA1);
}

TEST(BcfImage, TrailingPartialWordIsIgnored) {
    std::vector<uint8_t> image = OneObjectImage();
    image.push_back(0xEE);
    image.push_back(0xEE);
    image.push_back(0xEE);
    BCF_LIBRARY library;
    ASSERT_EQ(library.LoadMemory(image.data(), image.data() + image.size(), 0), 0);
    EXPECT_EQ(library.GetCount(), 1u);
    EXPECT_EQ(library.GetSize(0), 5);
}

TEST(BcfImage, ForeignMagicLoadsWithoutDescriptors) {
    std::vector<uint8_t> image = OneObjectImage();
    image[13] = 2;  // version byte 2 differs
    BCF_LIBRARY library;
    ASSERT_EQ(library.LoadMemory(image.data(), image.data() + image.size(), 0), 0);
    ASSERT_EQ(library.GetCount(), 1u);
    EXPECT_EQ(library.GetSize(0), 5);
    for (uint8_t byte : library.GetInfo(0)->descriptor) EXPECT_EQ(byte, 0);
}

TEST(BcfImage, BuildWritesTheExactLayout) {
    std::vector<uint8_t> payload = {'h', 'e', 'l', 'l', 'o'};
    BcfObjectSource source;
    source.bytes = payload;
    for (int i = 0; i < 39; ++i) source.descriptor[i] = uint8_t(0xA0 + i);
    std::vector<uint8_t> image;
    ASSERT_TRUE(BuildBcfImage({&source, 1}, image));
    EXPECT_EQ(image, OneObjectImage());

    std::vector<uint8_t> empty;
    ASSERT_TRUE(BuildBcfImage({}, empty));
    EXPECT_EQ(empty.size(), 14u);
    BCF_LIBRARY library;
    EXPECT_EQ(library.LoadMemory(empty.data(), empty.data() + empty.size(), 0), 0);
    EXPECT_EQ(library.GetCount(), 0u);
}

// Offsets, sizes and counts come from the image and are checked before use.
TEST(BcfImage, MalformedImagesAreRefused) {
    LogCapture log;
    BCF_LIBRARY library;
    std::vector<uint8_t> image = OneObjectImage();

    std::vector<uint8_t> table_outside = image;
    table_outside[0] = 200;  // table_offset past the image end
    EXPECT_EQ(library.LoadMemory(table_outside.data(), table_outside.data() + 62, 0), -1);
    EXPECT_TRUE(log.Has(16, "BCF: LoadBCFObjectList: Cannot load list."));

    std::vector<uint8_t> offset_outside = image;
    offset_outside[58] = 60;  // object starts inside the offset table
    EXPECT_EQ(library.LoadMemory(offset_outside.data(), offset_outside.data() + 62, 0), -1);
    EXPECT_EQ(
        library.LoadMemory(offset_outside.data(), offset_outside.data() + 62, PTRARY_BLOCKMEM), -1);

    std::vector<uint8_t> out_of_order = NumberedImage(3);
    // Swap the offsets of objects 1 and 2.
    size_t table = out_of_order.size() - 12;
    std::swap_ranges(out_of_order.begin() + long(table) + 4, out_of_order.begin() + long(table) + 8,
                     out_of_order.begin() + long(table) + 8);
    EXPECT_EQ(library.LoadMemory(out_of_order.data(), out_of_order.data() + out_of_order.size(), 0),
              -1);
    EXPECT_TRUE(log.Has(16, "BCF: LoadBCFObjectList: Bad offset table."));

    for (size_t length : {size_t(0), size_t(3)}) {
        EXPECT_EQ(library.LoadMemory(image.data(), image.data() + length, 0), -1);
    }
    EXPECT_EQ(library.LoadMemory(nullptr, nullptr, 0), -1);
    EXPECT_EQ(library.GetCount(), 0u);

    TempDir dir;
    WriteBytes(dir / "short.bcf", {1, 2});
    EXPECT_EQ(library.LoadFile((dir / "short.bcf").c_str(), 0), -1);
    EXPECT_EQ(library.LoadFile((dir / "missing.bcf").c_str(), 0), -1);
    EXPECT_EQ(library.LoadFile(nullptr, 0), -1);
    // Truncated after the first byte of its offset table.
    std::vector<uint8_t> truncated(image.begin(), image.begin() + 59);
    WriteBytes(dir / "cut.bcf", truncated);
    EXPECT_EQ(library.LoadFile((dir / "cut.bcf").c_str(), 0), 0);
    EXPECT_EQ(library.GetCount(), 0u);
}

TEST(BcfImage, DescriptorsRunningPastTheImageStayZero) {
    // A header claiming descriptors, but the data area is smaller than them.
    std::vector<uint8_t> image;
    ByteWriter writer(image);
    writer.U32(16);
    writer.Bytes(kBcfMagic, 8);
    writer.U8(0);
    writer.U8(1);
    writer.U16(0x4242);
    for (int i = 0; i < 8; ++i) writer.U32(14);  // 8 objects, 7 empty
    BCF_LIBRARY library;
    std::vector<BCF_INFO> infos;
    auto list = LoadBCFObjectList(image.data(), image.data() + image.size(), infos);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Count(), 8u);
    EXPECT_EQ(infos[7].size, 2u);
    EXPECT_EQ(infos[0].descriptor[0], 0);
    // Empty objects make the default creation fail, so the load fails cleanly.
    EXPECT_EQ(library.LoadMemory(image.data(), image.data() + image.size(), 0), -1);
    EXPECT_EQ(library.GetCount(), 0u);
}

TEST(BcfLibrary, BlockModePointsIntoOneBlock) {
    std::vector<uint8_t> image = NumberedImage(4);
    BCF_LIBRARY library;
    ASSERT_EQ(library.LoadMemory(image.data(), image.data() + image.size(), PTRARY_BLOCKMEM), 0);
    ASSERT_TRUE(library.IsBlockMode());
    ASSERT_EQ(library.GetCount(), 4u);
    const uint8_t* block = library.Block();
    for (size_t i = 0; i < 4; ++i) {
        const auto* object = static_cast<const uint8_t*>(library.GetAt(i));
        EXPECT_GE(object, block);
        EXPECT_LT(object, block + library.BlockSize());
        EXPECT_EQ(library.GetSize(i), int64_t(i + 1));
        EXPECT_EQ(object[0], uint8_t(i));
    }
    EXPECT_EQ(library.DetachBytes(0), nullptr);  // slots in a block are not owned
    library.Clear();
    EXPECT_FALSE(library.IsBlockMode());
    EXPECT_EQ(library.GetCount(), 0u);
}

TEST(BcfLibrary, LoadPartLoadsOnlyTheRange) {
    TempDir dir;
    WriteBytes(dir / "ten.bcf", NumberedImage(10));
    std::string name = dir / "ten.bcf";
    BCF_LIBRARY library;
    ASSERT_EQ(library.LoadPart(name.c_str(), 2, 3, 0), 0);
    ASSERT_EQ(library.GetCount(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        if (i >= 2 && i <= 4) {
            ASSERT_NE(library.GetAt(i), nullptr) << i;
            EXPECT_EQ(Bytes(library.GetAt(i), int64_t(i + 1)), std::string(i + 1, char(i)));
        } else {
            EXPECT_EQ(library.GetAt(i), nullptr) << i;
        }
    }
    // A range that runs past the end stops at the last object.
    ASSERT_EQ(library.LoadPart(name.c_str(), 8, 100, 0), 0);
    EXPECT_NE(library.GetAt(9), nullptr);
    EXPECT_EQ(library.GetAt(7), nullptr);
    ASSERT_EQ(library.LoadPart(name.c_str(), 0xFFFFFFF0u, 0x20, 0), -1);
    ASSERT_EQ(library.LoadPart(name.c_str(), 9, 0xFFFFFFFFu, 0), 0);
    EXPECT_NE(library.GetAt(9), nullptr);
}

TEST(BcfLibrary, LoadPartRefusesBlockMode) {
    TempDir dir;
    WriteBytes(dir / "ten.bcf", NumberedImage(10));
    LogCapture log;
    BCF_LIBRARY library;
    EXPECT_EQ(library.LoadPart((dir / "ten.bcf").c_str(), 2, 3, PTRARY_BLOCKMEM), -1);
    EXPECT_TRUE(log.Has(16, "BCF_LIBRARY::LoadPart, PTRARY_BLOCKMEM flag not supported!"));
    EXPECT_EQ(library.GetCount(), 0u);
}

TEST(BcfLibrary, PlainBytesReadStraightFromTheFile) {
    // More objects than one scattered read takes, so the reads are batched.
    TempDir dir;
    std::vector<uint8_t> image = NumberedImage(700);
    WriteBytes(dir / "many.bcf", image);
    BCF_LIBRARY plain;
    BCF_LIBRARY copied;
    ASSERT_EQ(plain.LoadFile((dir / "many.bcf").c_str(), kBcfOwnItemsFlag | kBcfPlainBytes), 0);
    ASSERT_EQ(copied.LoadMemory(image.data(), image.data() + image.size(), 0), 0);
    ASSERT_EQ(plain.GetCount(), 700u);
    EXPECT_EQ(plain.ArrayFlags(), kBcfOwnItemsFlag);
    for (size_t i = 0; i < 700; ++i) {
        ASSERT_EQ(plain.GetSize(i), copied.GetSize(i));
        ASSERT_EQ(Bytes(plain.GetAt(i), plain.GetSize(i)),
                  Bytes(copied.GetAt(i), copied.GetSize(i)))
            << i;
    }
    std::unique_ptr<uint8_t[]> taken = plain.DetachBytes(699);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken[0], uint8_t(699));
    EXPECT_EQ(plain.GetAt(699), nullptr);

    // An empty object fails this path just like the default creation.
    std::vector<uint8_t> with_empty = OneObjectImage();
    with_empty[58] = 58;  // the object starts at the table: size 0
    WriteBytes(dir / "empty.bcf", with_empty);
    EXPECT_EQ(plain.LoadFile((dir / "empty.bcf").c_str(), kBcfPlainBytes), -1);
    EXPECT_EQ(plain.GetCount(), 0u);
}

TEST(ReadOnlyFile, ScatteredReads) {
    TempDir dir;
    std::vector<uint8_t> bytes(2000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i % 251);
    WriteBytes(dir / "data.bin", bytes);
    ReadOnlyFile file(dir / "data.bin");
    ASSERT_TRUE(file.IsOpen());
    // 1000 parts of one byte, an empty part among them, past one batch.
    std::vector<uint8_t> out(1000, 0xFF);
    std::vector<ReadOnlyFile::Part> parts;
    for (size_t i = 0; i < out.size(); ++i) {
        parts.push_back({&out[i], 1});
        if (i == 600)
            parts.push_back({nullptr, 0});
    }
    ASSERT_TRUE(file.ReadScatterAt(500, parts));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + 500));
    // Running past the end of the file fails.
    std::vector<uint8_t> tail(100);
    ReadOnlyFile::Part past[] = {{tail.data(), 50}, {tail.data() + 50, 50}};
    EXPECT_FALSE(file.ReadScatterAt(1920, past));
    EXPECT_TRUE(file.ReadScatterAt(1900, past));
    ReadOnlyFile::Part nothing[] = {{nullptr, 0}};
    EXPECT_TRUE(file.ReadScatterAt(2000, nothing));
    EXPECT_FALSE(ReadOnlyFile(dir / "absent.bin").ReadScatterAt(0, past));
}

// A typed library turning object bytes into its own records.
class WordLibrary : public BCF_LIBRARY {
  public:
    ~WordLibrary() override { Clear(); }
    void* CreateObject(const uint8_t* data, uint32_t size) override {
        if (fail_at == created)
            return nullptr;
        ++created;
        return new std::string(reinterpret_cast<const char*>(data), size);
    }
    void* CreateFirstObject(const uint8_t* data, uint32_t size) override {
        first_seen = true;
        return new std::string("first:" + std::string(reinterpret_cast<const char*>(data), size));
    }
    void ReleaseObject(void* object) override {
        ++released;
        delete static_cast<std::string*>(object);
    }
    int created = 0;
    int released = 0;
    int fail_at = -1;
    bool first_seen = false;
};

TEST(BcfLibrary, CreationHooksOfATypedLibrary) {
    std::vector<uint8_t> image = NumberedImage(3);
    WordLibrary library;
    ASSERT_EQ(library.LoadMemory(image.data(), image.data() + image.size(), kBcfFirstObjectFlag),
              0);
    EXPECT_TRUE(library.first_seen);
    EXPECT_EQ(library.created, 2);
    EXPECT_EQ(*static_cast<std::string*>(library.GetAt(0)), "first:" + std::string(1, '\0'));
    EXPECT_EQ(*static_cast<std::string*>(library.GetAt(2)), std::string(3, '\2'));
    library.Clear();
    EXPECT_EQ(library.released, 3);

    // One failed creation empties the library and releases what was made.
    library.created = 0;
    library.released = 0;
    library.fail_at = 1;
    EXPECT_EQ(library.LoadMemory(image.data(), image.data() + image.size(), 0), -1);
    EXPECT_EQ(library.GetCount(), 0u);
    EXPECT_EQ(library.released, 1);
}

}  // namespace
}  // namespace vorlane::resources
