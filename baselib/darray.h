// DARRAY: an index-addressed array of pointers that grows on demand. Setting an
// index at or past the end grows the array to index + step slots.
#pragma once

#include <cstdint>

class DARRAY {
  public:
    static constexpr uint32_t kDefaultStep = 100;
    // Largest slot count; indexes often come from data files.
    static constexpr uint32_t kMaxCount = uint32_t(1) << 26;

    explicit DARRAY(uint32_t step = kDefaultStep) : step(step ? step : kDefaultStep) {}
    ~DARRAY() { Free(); }
    DARRAY(const DARRAY&) = delete;
    DARRAY& operator=(const DARRAY&) = delete;

    // Adds `n` zeroed slots; 0, or -1 (array unchanged) when the total would pass
    // kMaxCount or memory is refused.
    int IncreaseArray(uint32_t n);
    // Stores at `index`, growing first when needed; 0 or -1 (array unchanged).
    int Set(uint32_t index, void* pointer);
    // The pointer at `index`, null at or past the end.
    void* Get(uint32_t index) const { return index < count ? items[index] : nullptr; }
    void Free();

    void** items = nullptr;
    uint32_t count = 0;
    uint32_t step;
};
