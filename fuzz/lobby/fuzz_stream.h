// Splits a fuzz input into steps: [selector u8][sub-type u16][length u16][bytes].
// A length beyond the rest of the input takes what is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct FuzzStep {
    uint8_t selector = 0;
    uint16_t sub_type = 0;
    std::span<const uint8_t> bytes;
};

class FuzzStream {
  public:
    FuzzStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Next(FuzzStep* step) {
        if (size_ - offset_ < 5)
            return false;
        const uint8_t* at = data_ + offset_;
        step->selector = at[0];
        step->sub_type = uint16_t(at[1] | at[2] << 8);
        size_t length = size_t(at[3] | at[4] << 8);
        offset_ += 5;
        if (length > size_ - offset_)
            length = size_ - offset_;
        step->bytes = std::span<const uint8_t>(data_ + offset_, length);
        offset_ += length;
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};
