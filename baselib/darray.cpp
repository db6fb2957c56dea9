#include "baselib/darray.h"

#include <cstdlib>
#include <cstring>

#include "baselib/logsys.h"

int DARRAY::IncreaseArray(uint32_t n) {
    const uint64_t total = uint64_t(count) + n;
    void** grown = nullptr;
    if (total <= kMaxCount) {
        grown = static_cast<void**>(std::calloc(size_t(total ? total : 1), sizeof(void*)));
    }
    if (!grown) {
        // The old slots stay: one refused growth must not lose what is stored.
        LOGSYS_Printf(nullptr, kLogError, "DARRAY:IncreaseArray, failed to alloc %lld elements!",
                      static_cast<long long>(total));
        return -1;
    }
    if (items) {
        std::memcpy(grown, items, sizeof(void*) * count);
        std::free(items);
    }
    items = grown;
    count = uint32_t(total);
    return 0;
}

int DARRAY::Set(uint32_t index, void* pointer) {
    if (index >= count) {
        // Grows to index + step slots (step - count + index more).
        const uint64_t wanted = uint64_t(index) + step;
        if (wanted > kMaxCount) {
            LOGSYS_Printf(nullptr, kLogError,
                          "DARRAY:IncreaseArray, failed to alloc %lld elements!",
                          static_cast<long long>(wanted));
            return -1;
        }
        if (IncreaseArray(uint32_t(wanted - count)) != 0)
            return -1;
    }
    items[index] = pointer;
    return 0;
}

void DARRAY::Free() {
    std::free(items);
    items = nullptr;
    count = 0;
}
