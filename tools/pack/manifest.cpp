// [SECTION] index
//   The manifest reader: tokens, statements and includes, then warnings.
//   - Parser
//   - Statements
//   - Entry points
#include "tools/pack/manifest.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <limits>

#include "resources/rama_index.h"
#include "resources/res_file.h"

namespace vorlane::pack {

// [SECTION] Parser
namespace {

constexpr uint64_t kMaxManifestSize = 16u << 20;
constexpr int kMaxIncludeDepth = 16;

struct Token {
    std::string key;  // empty for a plain word
    std::string value;
};

class Parser {
  public:
    Parser(Manifest& manifest, std::string& error) : manifest_(manifest), error_(error) {}

    bool ParseFile(const std::string& path, int depth) {
        if (depth > kMaxIncludeDepth)
            return Fail(path, 0, "includes nest too deep");
        std::vector<uint8_t> bytes;
        if (!resources::ReadWholeFile(path, bytes, kMaxManifestSize)) {
            return Fail(path, 0, "cannot read manifest");
        }
        return ParseText(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path,
            depth);
    }

    bool ParseText(std::string_view text, const std::string& file_name, int depth) {
        std::string base_dir = std::filesystem::path(file_name).parent_path().string();
        if (base_dir.empty())
            base_dir = ".";
        int line_number = 0;
        while (!text.empty()) {
            size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            ++line_number;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            std::vector<Token> tokens;
            std::string problem;
            if (!Tokenize(line, tokens, problem))
                return Fail(file_name, line_number, problem);
            if (tokens.empty())
                continue;
            if (!Statement(tokens, file_name, line_number, base_dir, depth))
                return false;
        }
        return true;
    }

  private:
    bool Fail(const std::string& file, int line, const std::string& what) {
        error_ = line > 0 ? file + ":" + std::to_string(line) + ": " + what : file + ": " + what;
        return false;
    }

    static bool Tokenize(std::string_view line, std::vector<Token>& tokens, std::string& problem) {
        size_t i = 0;
        while (i < line.size()) {
            if (std::isspace(static_cast<unsigned char>(line[i]))) {
                ++i;
                continue;
            }
            if (line[i] == '#')
                break;
            Token token;
            std::string text;
            bool quoted_any = false;
            bool in_quotes = false;
            while (i < line.size() &&
                   (in_quotes || !std::isspace(static_cast<unsigned char>(line[i])))) {
                char c = line[i++];
                if (c == '"') {
                    in_quotes = !in_quotes;
                    quoted_any = true;
                } else if (in_quotes && c == '\\' && i < line.size() &&
                           (line[i] == '"' || line[i] == '\\')) {
                    text += line[i++];
                } else if (!in_quotes && c == '=' && token.key.empty() && !quoted_any) {
                    token.key = text;
                    text.clear();
                    if (token.key.empty()) {
                        problem = "'=' without a key";
                        return false;
                    }
                } else {
                    text += c;
                }
            }
            if (in_quotes) {
                problem = "unterminated quoted value";
                return false;
            }
            token.value = std::move(text);
            tokens.push_back(std::move(token));
        }
        return true;
    }

    static bool Number(const std::string& text, uint32_t& value) {
        if (text.empty())
            return false;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return ec == std::errc() && end == text.data() + text.size();
    }

    // Index fields may hold neither quotes, line ends nor NUL bytes.
    static bool IndexSafe(const std::string& text) {
        return text.find_first_of(std::string("\"\r\n\0", 4)) == std::string::npos;
    }

    // [SECTION] Statements
    bool Statement(const std::vector<Token>& tokens, const std::string& file, int line,
                   const std::string& base_dir, int depth) {
        const std::string& word = tokens[0].value;
        if (!tokens[0].key.empty())
            return Fail(file, line, "expected a statement, not a key=value");
        auto plain_args = [&](size_t count) {
            if (tokens.size() != count + 1)
                return false;
            for (size_t i = 1; i < tokens.size(); ++i) {
                if (!tokens[i].key.empty())
                    return false;
            }
            return true;
        };
        if (word == "project" || word == "date") {
            if (!plain_args(1))
                return Fail(file, line, "'" + word + "' takes one value");
            if (!IndexSafe(tokens[1].value)) {
                return Fail(file, line, word + " holds a quote or line end");
            }
            (word == "project" ? manifest_.project : manifest_.date) = tokens[1].value;
            return true;
        }
        if (word == "build") {
            if (!plain_args(1) || !Number(tokens[1].value, manifest_.build)) {
                return Fail(file, line, "'build' takes one decimal number");
            }
            return true;
        }
        if (word == "include") {
            if (!plain_args(1))
                return Fail(file, line, "'include' takes one path");
            std::string path = (std::filesystem::path(base_dir) / tokens[1].value).string();
            // An included file starts without a location and leaves ours current.
            int saved = current_;
            current_ = -1;
            bool ok = ParseFile(path, depth + 1);
            current_ = saved;
            if (!ok)
                error_ = file + ":" + std::to_string(line) + ": in include: " + error_;
            return ok;
        }
        if (word == "location")
            return LocationStatement(tokens, file, line, plain_args(2));
        if (word == "resource")
            return ResourceStatement(tokens, file, line, base_dir);
        return Fail(file, line, "unknown statement '" + word + "'");
    }

    bool LocationStatement(const std::vector<Token>& tokens, const std::string& file, int line,
                           bool shape_ok) {
        uint32_t number = 0;
        if (!shape_ok || !Number(tokens[1].value, number)) {
            return Fail(file, line, "'location' takes a number and a name");
        }
        const std::string& name = tokens[2].value;
        if (name.empty() || !IndexSafe(name)) {
            return Fail(file, line, "location name is empty or holds a quote or line end");
        }
        for (size_t i = 0; i < manifest_.locations.size(); ++i) {
            const ManifestLocation& location = manifest_.locations[i];
            if (location.number != number)
                continue;
            if (location.name != name) {
                return Fail(file, line,
                            "location " + std::to_string(number) + " is already named '" +
                                location.name + "' (" + location.where + ")");
            }
            current_ = int(i);
            return true;
        }
        ManifestLocation location;
        location.number = number;
        location.name = name;
        location.where = file + ":" + std::to_string(line);
        manifest_.locations.push_back(std::move(location));
        current_ = int(manifest_.locations.size()) - 1;
        return true;
    }

    bool ResourceStatement(const std::vector<Token>& tokens, const std::string& file, int line,
                           const std::string& base_dir) {
        if (current_ < 0)
            return Fail(file, line, "resource before any 'location'");
        ManifestLocation& location = manifest_.locations[size_t(current_)];
        if (tokens.size() < 2 || !tokens[1].key.empty() || tokens[1].value.empty()) {
            return Fail(file, line, "'resource' needs an address");
        }
        ManifestResource res;
        res.address = tokens[1].value;
        res.base_dir = base_dir;
        res.where = file + ":" + std::to_string(line);
        if (!IndexSafe(res.address))
            return Fail(file, line, "address holds a quote or line end");
        bool has_type = false;
        bool has_source = false;
        for (size_t i = 2; i < tokens.size(); ++i) {
            const Token& token = tokens[i];
            if (token.key == "type") {
                if (!Number(token.value, res.type))
                    return Fail(file, line, "type is not a number");
                has_type = true;
            } else if (token.key == "number") {
                if (!Number(token.value, res.number)) {
                    return Fail(file, line, "number is not a number");
                }
            } else if (token.key == "text") {
                if (token.value.size() > resources::kShortTextMax || !IndexSafe(token.value)) {
                    return Fail(file, line,
                                "text must be at most 14 characters without quotes or line ends");
                }
                res.short_text = token.value;
            } else if (token.key == "kind") {
                res.kind = token.value;
            } else if (token.key == "source") {
                res.source = token.value;
                has_source = true;
            } else if (token.key.empty()) {
                return Fail(file, line, "unexpected word '" + token.value + "'");
            } else {
                return Fail(file, line, "unknown key '" + token.key + "'");
            }
        }
        if (!has_type)
            return Fail(file, line, "resource '" + res.address + "' has no type");
        if (!has_source)
            return Fail(file, line, "resource '" + res.address + "' has no source");
        for (const auto& other : location.resources) {
            if (other.address == res.address) {
                return Fail(file, line, "address '" + res.address + "' repeats " + other.where);
            }
        }
        location.resources.push_back(std::move(res));
        return true;
    }

    Manifest& manifest_;
    std::string& error_;
    int current_ = -1;  // index of the location that takes resources
};

// [SECTION] Entry points
}  // namespace

bool ParseManifest(std::string_view text, const std::string& file_name, Manifest& manifest,
                   std::string& error) {
    manifest = Manifest{};
    error.clear();
    Parser parser(manifest, error);
    return parser.ParseText(text, file_name, 0);
}

bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error) {
    manifest = Manifest{};
    error.clear();
    Parser parser(manifest, error);
    return parser.ParseFile(path, 0);
}

std::vector<std::string> ManifestWarnings(const Manifest& manifest) {
    std::vector<std::string> warnings;
    for (const auto& location : manifest.locations) {
        for (char c : location.name) {
            if (std::isupper(static_cast<unsigned char>(c))) {
                warnings.push_back(location.where + ": location name '" + location.name +
                                   "' has upper-case letters; lookups by name cannot find it");
                break;
            }
        }
        if (location.resources.empty()) {
            warnings.push_back(location.where + ": location '" + location.name +
                               "' has no resources; it cannot be loaded");
        }
        for (const auto& res : location.resources) {
            if (res.type > 20) {
                warnings.push_back(res.where + ": type " + std::to_string(res.type) +
                                   " is outside 0 to 20; nothing is created for it");
            }
        }
    }
    return warnings;
}

}  // namespace vorlane::pack
