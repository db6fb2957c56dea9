// Configuration files (lobby.cfg, mplayer.cfg) from arbitrary bytes: reads
// them from a file, changes keys, writes the file back and reads it again.
//
// Input: the file's content, then after the last zero byte (if any) a list of
// changes separated by 0x02, each a letter and fields separated by 0x01:
//   s SECTION KEY VALUE   SetText
//   n SECTION KEY BYTES   SetNumber (the number from up to 8 bytes)
//   g SECTION KEY         GetText
//   w                     write, read back and compare
//   c                     Clear
//
// Checks: what the reader makes of a file is written back unchanged; every
// accepted change reads back from the written file as it was set (values cut
// only where the line is too long); nothing else in the file changes.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "baselib/cfgfile.h"

namespace {

using Key = std::pair<std::string, std::string>;
// What each accepted change must read back as; numbers are kept as well.
struct Expected {
    std::optional<std::string> text;
    std::optional<int64_t> number;
};

const std::string& FilePath() {
    static const std::string path = [] {
        std::filesystem::path dir = std::filesystem::exists("/dev/shm")
                                        ? std::filesystem::path("/dev/shm")
                                        : std::filesystem::temp_directory_path();
        return (dir / ("vorlane_fuzz_cfgfile_" + std::to_string(getpid()) + ".cfg")).string();
    }();
    // The file goes when the fuzzer ends normally (a crash leaves it for a look).
    static const bool remove_at_exit = std::atexit([] { std::remove(FilePath().c_str()); }) == 0;
    (void)remove_at_exit;
    return path;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// A file's text without the sections that have no entries: those are written
// but not read back.
std::string WithoutEmptySections(const std::string& text) {
    std::vector<std::string> lines = Split(text, '\n');
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].empty() && lines[i][0] == '[' && i + 1 < lines.size() &&
            lines[i + 1].empty()) {
            ++i;
            continue;
        }
        out += lines[i];
        if (i + 1 < lines.size())
            out += '\n';
    }
    return out;
}

// The value a line "key=value" carries after the writer cuts it.
std::optional<std::string> CutValue(const std::string& key, const std::string& value) {
    std::string line = key + "=" + value;
    if (line.size() > CFGFILE::kMaxLine)
        line.resize(CFGFILE::kMaxLine);
    if (line.size() <= key.size() + 1)
        return std::nullopt;
    return line.substr(key.size() + 1);
}

void WriteAndCompare(CFGFILE& cfg, const std::map<Key, Expected>& expected) {
    const std::string before = cfg.Format();
    if (!cfg.Write(FilePath()))
        std::abort();
    CFGFILE again;
    if (!again.Read(FilePath()))
        std::abort();
    if (again.Format() != WithoutEmptySections(before))
        std::abort();
    for (const auto& [key, want] : expected) {
        const char* got = again.GetText(key.first.c_str(), key.second.c_str());
        if (want.text.has_value() != (got != nullptr) || (got && *want.text != got))
            std::abort();
        if (want.number &&
            again.GetNumber(key.first.c_str(), key.second.c_str(), 0) != *want.number)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.rfind('\0');
    const std::string content = input.substr(0, split);
    const std::string changes = split == std::string::npos ? "" : input.substr(split + 1);

    {
        std::ofstream file(FilePath(), std::ios::binary | std::ios::trunc);
        file.write(content.data(), std::streamsize(content.size()));
    }
    CFGFILE cfg;
    if (!cfg.Read(FilePath()))
        std::abort();
    // What was read writes back as the same text.
    const std::string read_text = cfg.Format();
    CFGFILE reparsed;
    reparsed.Parse(read_text);
    if (reparsed.Format() != read_text)
        std::abort();

    std::map<Key, Expected> expected;
    for (const std::string& change : Split(changes, '\x02')) {
        if (change.empty())
            continue;
        std::vector<std::string> fields = Split(change.substr(1), '\x01');
        fields.resize(3);
        const char* section = fields[0].c_str();
        const char* key = fields[1].c_str();
        // Names hold no zero byte: what the setter sees is what the model keeps.
        const Key name{section, key};
        switch (change[0]) {
            case 's':
                if (cfg.SetText(section, key, fields[2].c_str()))
                    expected[name] = {CutValue(name.second, fields[2].c_str()), std::nullopt};
                break;
            case 'n': {
                int64_t number = 0;
                std::memcpy(&number, fields[2].data(), std::min<size_t>(8, fields[2].size()));
                if (cfg.SetNumber(section, key, number)) {
                    std::optional<std::string> text = CutValue(name.second, std::to_string(number));
                    const bool whole = text == std::to_string(number);
                    expected[name] = {text, whole ? std::optional<int64_t>(number) : std::nullopt};
                }
                break;
            }
            case 'g': {
                const char* got = cfg.GetText(section, key);
                auto it = expected.find(name);
                // Before writing, a value reads back whole.
                if (it != expected.end() && it->second.text &&
                    (!got ||
                     std::strncmp(got, it->second.text->c_str(), it->second.text->size()) != 0))
                    std::abort();
                break;
            }
            case 'w':
                WriteAndCompare(cfg, expected);
                break;
            case 'c':
                cfg.Clear();
                expected.clear();
                break;
            default:
                break;
        }
    }
    WriteAndCompare(cfg, expected);
    return 0;
}
