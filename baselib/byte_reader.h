// Bounded little-endian reading and writing of untrusted bytes.
//
// Every file and wire format of the program is decoded through ByteReader: each
// read checks the remaining length first and a failed read leaves the reader in
// a sticky failed state, so a decoder can read a whole record and test ok() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

class ByteReader {
  public:
    ByteReader() = default;
    ByteReader(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}
    explicit ByteReader(std::span<const uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}

    bool ok() const { return ok_; }
    size_t offset() const { return offset_; }
    size_t size() const { return size_; }
    size_t remaining() const { return ok_ ? size_ - offset_ : 0; }
    const uint8_t* current() const { return data_ + offset_; }

    // True (and nothing consumed) when `count` more bytes are present; else fails.
    bool Need(size_t count) {
        if (!ok_ || count > size_ - offset_) {
            ok_ = false;
            return false;
        }
        return true;
    }
    bool Skip(size_t count) {
        if (!Need(count))
            return false;
        offset_ += count;
        return true;
    }
    // Moves to an absolute offset inside the data (the end itself is allowed).
    bool Seek(size_t offset) {
        if (!ok_ || offset > size_) {
            ok_ = false;
            return false;
        }
        offset_ = offset;
        return true;
    }

    uint8_t U8() { return static_cast<uint8_t>(ReadLE(1)); }
    uint16_t U16() { return static_cast<uint16_t>(ReadLE(2)); }
    uint32_t U32() { return static_cast<uint32_t>(ReadLE(4)); }
    uint64_t U64() { return ReadLE(8); }
    int8_t I8() { return static_cast<int8_t>(U8()); }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    int32_t I32() { return static_cast<int32_t>(U32()); }

    // Copies `count` bytes out; on failure `out` is zero-filled.
    bool Bytes(void* out, size_t count) {
        if (!Need(count)) {
            if (out && count)
                std::memset(out, 0, count);
            return false;
        }
        if (count)
            std::memcpy(out, data_ + offset_, count);
        offset_ += count;
        return true;
    }
    // A view of the next `count` bytes (empty on failure).
    std::span<const uint8_t> View(size_t count) {
        if (!Need(count))
            return {};
        std::span<const uint8_t> view(data_ + offset_, count);
        offset_ += count;
        return view;
    }
    // A fixed-width text field: the text up to the first zero byte or the field's
    // end, whichever comes first. The whole field is consumed.
    std::string FixedString(size_t width) {
        std::span<const uint8_t> field = View(width);
        size_t length = 0;
        while (length < field.size() && field[length] != 0) ++length;
        return std::string(reinterpret_cast<const char*>(field.data()), length);
    }

  private:
    uint64_t ReadLE(size_t count) {
        if (!Need(count))
            return 0;
        uint64_t value = 0;
        for (size_t i = 0; i < count; ++i) value |= uint64_t(data_[offset_ + i]) << (8 * i);
        offset_ += count;
        return value;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t offset_ = 0;
    bool ok_ = true;
};

// Appends little-endian values to a byte vector.
class ByteWriter {
  public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) { WriteLE(v, 2); }
    void U32(uint32_t v) { WriteLE(v, 4); }
    void U64(uint64_t v) { WriteLE(v, 8); }
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Bytes(const void* data, size_t count) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), bytes, bytes + count);
    }
    void Zeros(size_t count) { out_.insert(out_.end(), count, 0); }
    // A fixed-width text field: the text cut to `width` bytes, zero-padded.
    void FixedString(std::string_view text, size_t width) {
        size_t length = text.size() < width ? text.size() : width;
        Bytes(text.data(), length);
        Zeros(width - length);
    }
    // Overwrites 4 bytes at `offset` (for lengths known only at the end).
    void PatchU32(size_t offset, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) out_[offset + i] = uint8_t(v >> (8 * i));
    }
    size_t size() const { return out_.size(); }

  private:
    void WriteLE(uint64_t v, size_t count) {
        for (size_t i = 0; i < count; ++i) out_.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t>& out_;
};

}  // namespace vorlane
