// Command-line words from arbitrary bytes against a fixed option table (plus
// one entry whose 16-byte name comes from the input, without a terminator).
// Checks that marks stay in range and value pointers point into the words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "baselib/optparse.h"

namespace {

constexpr size_t kMaxWords = 64;

OptionEntry Entry(const char* name, uint32_t kinds) {
    OptionEntry entry;
    std::memcpy(entry.name, name, std::strlen(name));
    entry.kinds = kinds;
    entry.help = "help";
    return entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<OptionEntry> table = {
        Entry("debug", kOptSwitchOn | kOptSwitchOff),
        Entry("time", kOptVariable | kOptNumeric),
        Entry("script", kOptVariable),
        Entry("window", kOptKeyword | kOptSwitchOn),
        Entry("", kOptVariable | kOptKeyword | kOptSwitchOn | kOptSwitchOff),
        Entry("x", 0xFFFFFFFF),
    };
    table[4].disabled = size > 0 && (data[0] & 1) ? kOptDisabled : 0;
    OptionEntry fuzzed;
    if (size >= kOptNameSize) {
        std::memcpy(fuzzed.name, data, kOptNameSize);
        fuzzed.kinds = data[0];
        data += kOptNameSize;
        size -= kOptNameSize;
    }
    table.push_back(fuzzed);

    // Words are separated by newlines; zero bytes end a word early, as in argv.
    std::vector<std::string> words = {"prog"};
    std::string current;
    for (size_t i = 0; i < size && words.size() < kMaxWords; ++i) {
        if (data[i] == '\n') {
            words.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (words.size() < kMaxWords)
        words.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());

    uint16_t matches = PARSECOMMANDLINE(static_cast<int>(argv.size()), argv.data(), table.data(),
                                        static_cast<int>(table.size()));
    if (matches > argv.size() * table.size())
        std::abort();
    for (const OptionEntry& entry : table) {
        if (entry.state < -1 || entry.state > 1)
            std::abort();
        if (!entry.value)
            continue;
        bool inside = false;
        for (const std::string& word : words) {
            const char* start = word.c_str();
            if (entry.value >= start && entry.value <= start + word.size())
                inside = true;
        }
        if (!inside)
            std::abort();
    }
    std::string listing = FormatOptions(table.data(), static_cast<int>(table.size()));
    if (listing.size() > table.size() * 200)
        std::abort();
    return 0;
}
