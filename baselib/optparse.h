// PARSECOMMANDLINE: matches command-line words against a table of options and
// marks the entries; PrintOptions lists the table as a usage text.
//
// Forms of a word:   +NAME switch on   -NAME switch off   NAME=VALUE variable
//                    NAME keyword
// Names match without regard to letter case; a variable's value keeps the case
// it was typed with (file names are case-sensitive). The words are read from
// the last to the first, so of two words for the same option the earlier wins.
#pragma once

#include <cstdint>
#include <string>

// Forms an entry accepts.
constexpr uint32_t kOptVariable = 0x01;
constexpr uint32_t kOptSwitchOn = 0x02;
constexpr uint32_t kOptSwitchOff = 0x04;
constexpr uint32_t kOptKeyword = 0x08;
constexpr uint32_t kOptNumeric = 0x10;

constexpr uint8_t kOptDisabled = 255;
constexpr int kOptNameSize = 16;

struct OptionEntry {
    char name[kOptNameSize] = {};  // upper-cased by the parser
    const char* help = nullptr;
    uint8_t disabled = 0;         // 255: ignored by parsing and listing
    uint8_t id = 0;               // the caller's own number
    int16_t state = 0;            // 0 not given, 1 given or switched on, -1 switched off
    const char* value = nullptr;  // text after "=" inside the word (variables)
    uint32_t kinds = 0;
    int32_t number = 0;  // value of a numeric variable
};

// Marks the entries named by argv[1..argc-1]; returns the number of matches.
// The value pointers point into the words, which must outlive the table's use.
uint16_t PARSECOMMANDLINE(int argc, const char* const* argv, OptionEntry* table, int count);
// Writes the usage text of the active entries to standard output.
void PrintOptions(const OptionEntry* table, int count);
// The usage text PrintOptions writes.
std::string FormatOptions(const OptionEntry* table, int count);
