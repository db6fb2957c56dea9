#include "baselib/cfgfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// An entry line reaching this many characters is cut.
constexpr size_t kMaxWrittenLine = 2047;

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool HasLineBreak(const char* text) {
    return std::strpbrk(text, "\r\n") != nullptr;
}

// A section name written as "[name]" reads back as the same name (a cut line
// may lose the closing bracket, which the reader does not need).
bool WritableSection(const char* name) {
    return !HasLineBreak(name) && !std::strchr(name, ']') &&
           std::strlen(name) + 1 <= CFGFILE::kMaxLine;
}

// A key written at the start of a "key=value" line reads back as the same key.
bool WritableKey(const char* key) {
    return *key != '[' && !HasLineBreak(key) && !std::strchr(key, '=') &&
           std::strlen(key) + 1 <= CFGFILE::kMaxLine;
}

}  // namespace

void CFGFILE::Parse(const std::string& text) {
    sections_.clear();
    std::optional<std::string> current;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, std::min(end - pos, kMaxLine));
        pos = end + 1;
        size_t cr = line.find('\r');
        if (cr != std::string::npos)
            line.resize(cr);
        if (line.empty())
            continue;
        if (line[0] == '[') {
            if (line.size() == 1)
                continue;  // "[" alone changes nothing
            size_t close = line.find(']', 1);
            current = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            continue;
        }
        if (!current)
            continue;  // lines before the first section
        size_t equals = line.find('=');
        std::string key = line.substr(0, equals);
        std::optional<std::string> value;
        if (equals != std::string::npos && equals + 1 < line.size())
            value = line.substr(equals + 1);
        SetEntry(FindOrAddSection(*current), key, value);
    }
}

bool CFGFILE::Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    Parse(text.str());
    return true;
}

std::string CFGFILE::Format() const {
    std::string text;
    for (const Section& section : sections_) {
        text += "[" + section.name + "]\n";
        for (const Entry& entry : section.entries) {
            std::string line = entry.key + "=" + entry.value.value_or("");
            if (line.size() > kMaxWrittenLine)
                line.resize(kMaxWrittenLine);
            text += line + "\n";
        }
        text += "\n";
    }
    return text;
}

bool CFGFILE::Write(const std::string& path) const {
    std::string temporary = path + ".new";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    fchmod(fd, 0600);  // an older file of that name may have had wider rights
    bool ok = WriteAll(fd, Format()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

CFGFILE::Section* CFGFILE::FindSection(const std::string& name) {
    for (Section& section : sections_) {
        if (section.name == name)
            return &section;
    }
    return nullptr;
}

CFGFILE::Section& CFGFILE::FindOrAddSection(const std::string& name) {
    if (Section* found = FindSection(name))
        return *found;
    sections_.push_back(Section{name, {}});
    return sections_.back();
}

void CFGFILE::SetEntry(Section& section, const std::string& key, std::optional<std::string> value) {
    for (Entry& entry : section.entries) {
        if (entry.key == key) {
            entry.value = std::move(value);
            return;
        }
    }
    section.entries.push_back(Entry{key, std::move(value)});
}

bool CFGFILE::SetText(const char* section, const char* key, const char* text) {
    if (!section || !*section || !key || !*key || !text)
        return false;
    // Anything that would read back as other lines, sections or keys is
    // refused rather than written.
    if (!WritableSection(section) || !WritableKey(key) || HasLineBreak(text))
        return false;
    std::optional<std::string> value;
    if (*text)
        value = text;
    SetEntry(FindOrAddSection(section), key, value);
    return true;
}

bool CFGFILE::SetNumber(const char* section, const char* key, int64_t number) {
    return SetText(section, key, std::to_string(number).c_str());
}

const char* CFGFILE::GetText(const char* section, const char* key) {
    if (!section || !key)
        return nullptr;
    // A section whose name could not be written back is not made by a lookup.
    if (!WritableSection(section) && !FindSection(section))
        return nullptr;
    Section& found = FindOrAddSection(section);
    for (const Entry& entry : found.entries) {
        if (entry.key == key)
            return entry.value ? entry.value->c_str() : nullptr;
    }
    return nullptr;
}

int64_t CFGFILE::GetNumber(const char* section, const char* key, int64_t fallback) {
    const char* text = GetText(section, key);
    if (!text)
        return fallback;
    return std::strtoll(text, nullptr, 10);
}
