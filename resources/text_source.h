// Text sources: the form in which translators edit the texts of a text
// resource, and the compiler that turns them into the resource image.
//
// A source is a text file of lines
//     NAME = the text, with "quotes", commas and Latin-1 letters
// NAME is a letter or "_" followed by letters, digits and "_"; the text is the
// rest of the line after "=" with the blanks around it removed. Blank lines and
// lines whose first non-blank character is ";" are ignored. The file is read as
// Latin-1; one that starts with a UTF-8 byte-order mark is read as UTF-8 and
// turned into Latin-1. Texts are numbered from 1 in the order of their lines.
// Commas are stored as they are; a "#" reads as "," when the text is used.
//
// The image is a BCF image whose object 0 is a Lua chunk setting the table
// `application_text_ids` (name -> number) and whose object n is text n.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::resources {

struct TextSourceEntry {
    std::string name;
    std::string text;  // Latin-1 bytes
};

// Parses a source; false with "line N: reason" in `error` on the first bad line.
bool ParseTextSource(std::string_view source, std::vector<TextSourceEntry>& entries,
                     std::string* error);

// The Lua chunk of object 0 for these entries.
std::string TextIdsChunk(const std::vector<TextSourceEntry>& entries);

// Parses and compiles a source into a text resource image (archive type 11).
bool CompileTextSource(std::string_view source, std::vector<uint8_t>& image, std::string* error);

// The same for a source file; `error` names the file or the bad line.
bool CompileTextSourceFile(const std::string& path, std::vector<uint8_t>& image,
                           std::string& error);

}  // namespace vorlane::resources
