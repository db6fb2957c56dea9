// SCFG: the reader of sectioned configuration text files:
//
//   ; comment
//   [Section Name]        -> section "sectionname"
//   Some Key = some value -> key "somekey", value "some value"
//
// Section and key names lose every blank, tab, CR and LF and are lower-cased;
// values lose leading and trailing white space. A repeated key adds a second
// pair and lookups find the first. Lines that fit neither shape, and key lines
// before the first section, are ignored.
#pragma once

#include <cstddef>
#include <cstdio>

struct hashtom;

struct SCFG {
    hashtom* sections = nullptr;
};

// An empty configuration, or null when memory is refused.
SCFG* SCFG_Create();
// Reads a file (backslashes in the name are directory separators); null when it
// cannot be opened or memory is refused.
SCFG* SCFG_Load(const char* file_name);
// Reads an open stream to its end (the caller closes it).
SCFG* SCFG_LoadStream(std::FILE* stream);
// Reads the same text from memory (bytes need not be terminated).
SCFG* SCFG_LoadMemory(const void* data, size_t size);
// The value of `key` in `section`, or null. The string belongs to the configuration.
const char* SCFG_Get(const SCFG* cfg, const char* section, const char* key);
void SCFG_Free(SCFG* cfg);
