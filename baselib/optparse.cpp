#include "baselib/optparse.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

enum class Form : uint32_t {
    kVariable = kOptVariable,
    kSwitchOn = kOptSwitchOn,
    kSwitchOff = kOptSwitchOff,
    kKeyword = kOptKeyword
};

struct Word {
    Form form;
    std::string_view name;
    const char* value;  // variables only
};

Word Classify(const char* text) {
    if (text[0] == '+')
        return {Form::kSwitchOn, text + 1, nullptr};
    if (text[0] == '-')
        return {Form::kSwitchOff, text + 1, nullptr};
    if (const char* equals = std::strchr(text, '='))
        return {Form::kVariable, std::string_view(text, size_t(equals - text)), equals + 1};
    return {Form::kKeyword, text, nullptr};
}

std::string_view EntryName(const OptionEntry& entry) {
    return std::string_view(entry.name, strnlen(entry.name, kOptNameSize));
}

bool SameName(std::string_view entry_name, std::string_view word_name) {
    if (entry_name.size() != word_name.size())
        return false;
    for (size_t i = 0; i < entry_name.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(entry_name[i])) !=
            std::toupper(static_cast<unsigned char>(word_name[i])))
            return false;
    }
    return true;
}

// Decimal value of the leading digits (with an optional sign); 0 when there are
// none. Saturates instead of overflowing.
int32_t DecimalValue(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

void Mark(OptionEntry& entry, const Word& word) {
    entry.state = 1;
    entry.value = word.form == Form::kVariable ? word.value : nullptr;
    if (word.form == Form::kVariable && (entry.kinds & kOptNumeric))
        entry.number = DecimalValue(word.value);
    if (word.form == Form::kSwitchOff)
        entry.state = -1;
}

}  // namespace

uint16_t PARSECOMMANDLINE(int argc, const char* const* argv, OptionEntry* table, int count) {
    if (!table || count < 0)
        count = 0;
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < kOptNameSize && table[i].name[c]; ++c)
            table[i].name[c] =
                static_cast<char>(std::toupper(static_cast<unsigned char>(table[i].name[c])));
        table[i].state = 0;
    }
    if (!argv)
        return 0;
    uint16_t matches = 0;
    for (int w = argc - 1; w >= 1; --w) {
        if (!argv[w])
            continue;
        Word word = Classify(argv[w]);
        for (int i = 0; i < count; ++i) {
            OptionEntry& entry = table[i];
            if (entry.disabled == kOptDisabled)
                continue;
            if (!(entry.kinds & static_cast<uint32_t>(word.form)))
                continue;
            if (!SameName(EntryName(entry), word.name))
                continue;
            Mark(entry, word);
            if (matches < UINT16_MAX)
                ++matches;
        }
    }
    return matches;
}

std::string FormatOptions(const OptionEntry* table, int count) {
    std::string text;
    if (!table)
        return text;
    for (int i = 0; i < count; ++i) {
        const OptionEntry& entry = table[i];
        if (entry.disabled == kOptDisabled)
            continue;
        std::string name(EntryName(entry));
        if (entry.kinds & kOptSwitchOn)
            text += "Switch " + name + " + (ON)";
        if (entry.kinds & kOptSwitchOff)
            text += " - (OFF)";
        if (entry.kinds & kOptVariable)
            text += "Variable " + name + "=value";
        if (entry.kinds & kOptKeyword)
            text += "Keyword " + name;
        // Every entry ends its line, with or without a help text.
        if (entry.help)
            text += std::string(" : ") + entry.help;
        text += "\n";
    }
    return text;
}

void PrintOptions(const OptionEntry* table, int count) {
    std::string text = FormatOptions(table, count);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}
