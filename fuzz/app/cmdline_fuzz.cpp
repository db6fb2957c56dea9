// Arbitrary bytes as a command line: the splitter must never read outside the
// text, and every word it returns must be a piece of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto split = vorlane::MAIN_SplitCommandLine(text, "/module/path");
    if (split.words.size() > vorlane::kMaxCommandLineWords)
        std::abort();
    for (const auto& word : split.words) {
        if (word.size() > size)
            std::abort();
    }
    return 0;
}
