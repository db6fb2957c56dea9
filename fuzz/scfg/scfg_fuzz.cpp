// Feeds arbitrary bytes to the configuration reader, both from memory and
// through a stream (the line reader), and looks up keys the input may hold.
#include <cstdint>
#include <cstdio>
#include <string>

#include "baselib/scfg/scfg.h"

namespace {

void Probe(const SCFG* cfg, const uint8_t* data, size_t size) {
    if (!cfg)
        return;
    SCFG_Get(cfg, "main", "key");
    SCFG_Get(cfg, "", "");
    // A section and key name taken from the input itself.
    const size_t half = size / 2;
    const std::string section(reinterpret_cast<const char*>(data), half < 16 ? half : 16);
    const std::string key(reinterpret_cast<const char*>(data) + half,
                          size - half < 16 ? size - half : 16);
    if (const char* value = SCFG_Get(cfg, section.c_str(), key.c_str())) {
        volatile size_t length = std::string(value).size();
        (void)length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SCFG* from_memory = SCFG_LoadMemory(data, size);
    Probe(from_memory, data, size);
    SCFG_Free(from_memory);

    if (size > 0) {
        if (std::FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "r")) {
            SCFG* from_stream = SCFG_LoadStream(stream);
            Probe(from_stream, data, size);
            SCFG_Free(from_stream);
            std::fclose(stream);
        }
    }
    return 0;
}
