// Location index parser on arbitrary bytes, then lookups in the parsed index.
#include <cstddef>
#include <cstdint>
#include <string>

#include "resources/rama_loc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlane::resources::RAMA_LOC location;
    if (!location.ParseFromMemory(reinterpret_cast<const char*>(data), size))
        return 0;
    for (size_t i = 0; i < location.ResourceCount(); ++i) {
        const auto* entry = location.Entry(i);
        int found = location.FindResource(
            location.patch
                ? entry->address.substr(std::min(entry->address.size(), location.name.size() + 1))
                      .c_str()
                : entry->address.c_str());
        // A repeated address finds its first record, never a later one.
        if (!location.patch && (found < 0 || size_t(found) > i))
            __builtin_trap();
        if (location.GetResource(int(i)) != nullptr)
            __builtin_trap();  // not loaded
    }
    location.FindResource("lobby.script.menu");
    return 0;
}
