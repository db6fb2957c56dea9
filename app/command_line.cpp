#include "app/command_line.h"

namespace vorlane {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The text of `path` up to its last '\' or '/' (empty when there is none).
std::string DirectoryOf(std::string_view path) {
    size_t cut = path.find_last_of("\\/");
    if (cut == std::string_view::npos)
        return {};
    return std::string(path.substr(0, cut));
}

// The first word up to its last separator, else the module path's directory.
std::string ProgramDirectory(const std::vector<std::string>& words, std::string_view module_path) {
    std::string_view program = words.empty() ? std::string_view() : words[0];
    bool has_separator = program.find_first_of("\\/") != std::string_view::npos;
    return has_separator ? DirectoryOf(program) : DirectoryOf(module_path);
}

}  // namespace

SplitCommandLine MAIN_SplitCommandLine(std::string_view text, std::string_view module_path) {
    SplitCommandLine result;
    size_t pos = 0;
    while (pos < text.size() && result.words.size() < kMaxCommandLineWords) {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos >= text.size())
            break;
        size_t start = pos;
        if (text[pos] == '"') {
            ++start;
            size_t close = text.find('"', start);
            size_t end = close == std::string_view::npos ? text.size() : close;
            result.words.emplace_back(text.substr(start, end - start));
            pos = close == std::string_view::npos ? text.size() : close + 1;
        } else {
            while (pos < text.size() && !IsBlank(text[pos])) ++pos;
            result.words.emplace_back(text.substr(start, pos - start));
        }
    }
    result.program_directory = ProgramDirectory(result.words, module_path);
    return result;
}

SplitCommandLine MAIN_SplitCommandLine(int argc, const char* const* argv,
                                       std::string_view module_path) {
    SplitCommandLine result;
    for (int i = 0; i < argc && argv && result.words.size() < kMaxCommandLineWords; ++i)
        result.words.emplace_back(argv[i] ? argv[i] : "");
    result.program_directory = ProgramDirectory(result.words, module_path);
    return result;
}

}  // namespace vorlane
