// Master index parser on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "resources/rama_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlane::resources::MasterIndex index;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (vorlane::resources::ParseMasterIndexText(text, index)) {
        // What was stored never exceeds what the file listed or declared.
        if (index.locations.size() > index.read_count ||
            index.locations.size() > index.declared_count) {
            __builtin_trap();
        }
        for (uint32_t number : index.locations) {
            (void)vorlane::resources::LocationFileName(number);
        }
    }
    return 0;
}
