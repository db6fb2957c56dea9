// Splitting a command line into words and finding the program directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

// At most this many words are taken from a command line; the rest is dropped.
inline constexpr size_t kMaxCommandLineWords = 256;

struct SplitCommandLine {
    std::vector<std::string> words;  // words[0] is the program path
    std::string program_directory;
};

// Splits `text` at runs of blanks (spaces and tabs). A word that starts with a
// double quote runs to the next double quote (or the end) and loses the quotes.
// The program directory is the first word up to its last path separator; when
// it has none, `module_path` up to its last separator is used instead.
SplitCommandLine MAIN_SplitCommandLine(std::string_view text, std::string_view module_path);
// The same for a command line the system has split already (the process
// entry's argument vector): at most kMaxCommandLineWords words are taken, and
// the program directory follows the same rule.
SplitCommandLine MAIN_SplitCommandLine(int argc, const char* const* argv,
                                       std::string_view module_path);

}  // namespace vorlane
