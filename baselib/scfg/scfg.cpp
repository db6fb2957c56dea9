#include "baselib/scfg/scfg.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "baselib/bl_file.h"
#include "baselib/scfg/getline.h"
#include "baselib/scfg/hashtom.h"

namespace {

constexpr uint32_t kSectionBuckets = 1013;
// Each section's key table is smaller: a file of many short sections would
// otherwise cost 8 KB of buckets per few bytes of input. Lookups do not depend
// on the bucket count.
constexpr uint32_t kKeyBuckets = 61;

struct Pair {
    char* key;
    char* value;
};

struct Section {
    char* name;
    hashtom* keys;
};

const void* PairKey(const void* item) {
    return static_cast<const Pair*>(item)->key;
}
const void* SectionKey(const void* item) {
    return static_cast<const Section*>(item)->name;
}

void FreePair(void* item) {
    auto* pair = static_cast<Pair*>(item);
    std::free(pair->key);
    std::free(pair->value);
    delete pair;
}

void FreeSection(void* item) {
    auto* section = static_cast<Section*>(item);
    hashtom::Destroy(section->keys, FreePair);
    std::free(section->name);
    delete section;
}

bool IsNameBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// A name as it is stored and looked up: no blanks, tabs, CR or LF; lower case.
std::string NormaliseName(const char* begin, const char* end) {
    std::string name;
    for (const char* c = begin; c < end; ++c) {
        if (!IsNameBlank(*c))
            name += char(std::tolower(static_cast<unsigned char>(*c)));
    }
    return name;
}

char* CopyText(const char* begin, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy)
        return nullptr;
    std::memcpy(copy, begin, length);
    copy[length] = '\0';
    return copy;
}

// Finds the section of that name or adds it; null when memory is refused.
Section* SectionFor(SCFG* cfg, const std::string& name) {
    if (auto* found = static_cast<Section*>(cfg->sections->Find(name.c_str())))
        return found;
    auto* section = new (std::nothrow) Section{CopyText(name.data(), name.size()), nullptr};
    if (!section)
        return nullptr;
    section->keys = hashtom::Create(kKeyBuckets, CompareString, HashString, PairKey);
    if (!section->name || !section->keys || cfg->sections->Insert(section) != 0) {
        FreeSection(section);
        return nullptr;
    }
    return section;
}

bool AddPair(Section* section, const std::string& key, const char* value, size_t value_length) {
    auto* pair = new (std::nothrow) Pair{CopyText(key.data(), key.size()), nullptr};
    if (!pair)
        return false;
    pair->value = CopyText(value, value_length);
    if (!pair->key || !pair->value || section->keys->Insert(pair) != 0) {
        FreePair(pair);
        return false;
    }
    return true;
}

bool ParseLineUnguarded(SCFG* cfg, Section*& current, const char* line);

// Handles one terminated line; false only when memory was refused.
bool ParseLine(SCFG* cfg, Section*& current, const char* line) {
    try {
        return ParseLineUnguarded(cfg, current, line);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ParseLineUnguarded(SCFG* cfg, Section*& current, const char* line) {
    while (*line && IsSpace(*line)) ++line;
    if (*line == '\0' || *line == ';')
        return true;
    const char* end = line + std::strlen(line);

    if (*line == '[') {
        const std::string compact = NormaliseName(line, end);
        // "[" itself is the first character; the name needs a "]" after it.
        if (compact.size() < 2 || compact.back() != ']')
            return true;
        current = SectionFor(cfg, compact.substr(1, compact.size() - 2));
        return current != nullptr;
    }

    const char* equals = std::strchr(line, '=');
    if (!equals || !current)
        return true;
    const std::string key = NormaliseName(line, equals);
    const char* value = equals + 1;
    while (value < end && IsSpace(*value)) ++value;
    const char* value_end = end;
    while (value_end > value && IsSpace(value_end[-1])) --value_end;
    return AddPair(current, key, value, size_t(value_end - value));
}

const char* FindValue(const SCFG* cfg, const char* section, const char* key) {
    const std::string section_name = NormaliseName(section, section + std::strlen(section));
    const auto* found = static_cast<const Section*>(cfg->sections->Find(section_name.c_str()));
    if (!found)
        return nullptr;
    const std::string key_name = NormaliseName(key, key + std::strlen(key));
    const auto* pair = static_cast<const Pair*>(found->keys->Find(key_name.c_str()));
    return pair ? pair->value : nullptr;
}

}  // namespace

SCFG* SCFG_Create() {
    auto* cfg = new (std::nothrow) SCFG;
    if (!cfg)
        return nullptr;
    cfg->sections = hashtom::Create(kSectionBuckets, CompareString, HashString, SectionKey);
    if (!cfg->sections) {
        delete cfg;
        return nullptr;
    }
    return cfg;
}

SCFG* SCFG_Load(const char* file_name) {
    if (!file_name)
        return nullptr;
    std::FILE* file = nullptr;
    try {
        file = std::fopen(vorlane::baselib::NativePath(file_name).c_str(), "r");
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!file)
        return nullptr;
    SCFG* cfg = SCFG_LoadStream(file);
    std::fclose(file);
    return cfg;
}

SCFG* SCFG_LoadStream(std::FILE* stream) {
    if (!stream)
        return nullptr;
    SCFG* cfg = SCFG_Create();
    if (!cfg)
        return nullptr;
    Section* current = nullptr;
    while (char* line = vorlane::scfg::getline(stream)) {
        const bool ok = ParseLine(cfg, current, line);
        std::free(line);
        if (!ok) {
            SCFG_Free(cfg);
            return nullptr;
        }
    }
    return cfg;
}

SCFG* SCFG_LoadMemory(const void* data, size_t size) {
    if (!data && size > 0)
        return nullptr;
    SCFG* cfg = SCFG_Create();
    if (!cfg)
        return nullptr;
    const char* text = static_cast<const char*>(data);
    Section* current = nullptr;
    std::string line;
    line.reserve(64);
    size_t at = 0;
    // The same lines the stream reader yields: each up to a line feed. The copy
    // into `line` terminates it; a zero byte inside ends the line's text early,
    // as it does for a file.
    while (true) {
        const size_t start = at;
        while (at < size && text[at] != '\n') ++at;
        bool ok;
        try {
            line.assign(text ? text + start : "", at - start);
            ok = ParseLine(cfg, current, line.c_str());
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        if (!ok) {
            SCFG_Free(cfg);
            return nullptr;
        }
        if (at >= size)
            break;
        ++at;  // past the line feed
    }
    return cfg;
}

const char* SCFG_Get(const SCFG* cfg, const char* section, const char* key) {
    if (!cfg || !cfg->sections || !section || !key)
        return nullptr;
    try {
        return FindValue(cfg, section, key);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void SCFG_Free(SCFG* cfg) {
    if (!cfg)
        return;
    hashtom::Destroy(cfg->sections, FreeSection);
    delete cfg;
}
