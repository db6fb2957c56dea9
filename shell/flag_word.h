// A 32-bit flag word, used for the application flags and the flag words of
// program frames and many other objects.
#pragma once

#include <cstdint>

namespace vorlane {

class FlagWord {
  public:
    void Set(uint32_t bits) { word_ |= bits; }
    void SetAll() { word_ = 0xFFFFFFFFu; }
    void Clear(uint32_t bits) { word_ &= ~bits; }
    void ClearAll() { word_ = 0; }
    // True when any of `bits` is set.
    bool Test(uint32_t bits) const { return (word_ & bits) != 0; }
    uint32_t word() const { return word_; }

  private:
    uint32_t word_ = 0;
};

}  // namespace vorlane
