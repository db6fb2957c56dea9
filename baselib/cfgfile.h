// CFGFILE: an ordered, sectioned configuration text file ("data/lobby.cfg",
// "data/mplayer.cfg").
//
//   [section]
//   key=value
//   key=            (no value)
//
// Sections and entries keep their order; names and keys compare exactly. A
// lookup of a missing section creates it empty (when its name can be written),
// so it is written back as its bracketed name the next time the file is saved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CFGFILE {
  public:
    // Longest line read; longer lines are cut.
    static constexpr size_t kMaxLine = 2047;

    // Replaces the contents with the file's; false when it cannot be opened.
    bool Read(const std::string& path);
    // Writes all sections; false when the file cannot be created. The file is
    // readable by its owner only (it may hold a password) and replaced in one
    // step, so a crash while writing never leaves half a file behind.
    bool Write(const std::string& path) const;

    // Sets a key's text (creating section and entry as needed); false for an
    // empty section name or key, a null text, and for anything that would not
    // read back as set: a line break anywhere, "]" in the section name, "=" in
    // the key or "[" at its start, or a name longer than a line. A text longer
    // than its line is kept whole here and cut when written.
    bool SetText(const char* section, const char* key, const char* text);
    bool SetNumber(const char* section, const char* key, int64_t number);
    // The value, or null when the key is missing or has no value.
    const char* GetText(const char* section, const char* key);
    // The value as a number, or `fallback` when it is missing.
    int64_t GetNumber(const char* section, const char* key, int64_t fallback);
    void Clear() { sections_.clear(); }

    // The file's text as Write produces it.
    std::string Format() const;
    // Replaces the contents with what the text says.
    void Parse(const std::string& text);

    size_t section_count() const { return sections_.size(); }

  private:
    struct Entry {
        std::string key;
        std::optional<std::string> value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    Section* FindSection(const std::string& name);
    Section& FindOrAddSection(const std::string& name);
    void SetEntry(Section& section, const std::string& key, std::optional<std::string> value);

    std::vector<Section> sections_;
};
