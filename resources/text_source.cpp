#include "resources/text_source.h"

#include <set>

#include "resources/bcf_library.h"
#include "resources/res_file.h"

namespace vorlane::resources {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// UTF-8 to Latin-1; false for malformed bytes or characters above 255.
bool Utf8ToLatin1(std::string_view in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size();) {
        auto c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            out.push_back(char(c));
            ++i;
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < in.size() &&
                   (static_cast<unsigned char>(in[i + 1]) & 0xC0) == 0x80) {
            out.push_back(char(((c & 0x1F) << 6) | (static_cast<unsigned char>(in[i + 1]) & 0x3F)));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

bool Fail(std::string* error, size_t line, const std::string& reason) {
    if (error)
        *error = "line " + std::to_string(line) + ": " + reason;
    return false;
}

}  // namespace

bool ParseTextSource(std::string_view source, std::vector<TextSourceEntry>& entries,
                     std::string* error) {
    entries.clear();
    bool utf8 = source.substr(0, kUtf8Bom.size()) == kUtf8Bom;
    if (utf8)
        source.remove_prefix(kUtf8Bom.size());
    std::set<std::string, std::less<>> seen;
    size_t line_number = 0;
    while (!source.empty()) {
        ++line_number;
        size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);

        std::string_view content = Trim(line);
        if (content.empty() || content.front() == ';')
            continue;
        size_t equals = content.find('=');
        if (equals == std::string_view::npos)
            return Fail(error, line_number, "\"=\" expected");
        std::string_view name = Trim(content.substr(0, equals));
        if (name.empty() || !IsNameStart(name.front()))
            return Fail(error, line_number, "text name expected");
        for (char c : name) {
            if (!IsNameChar(c))
                return Fail(error, line_number, "invalid text name '" + std::string(name) + "'");
        }
        if (!seen.insert(std::string(name)).second) {
            return Fail(error, line_number, "text name '" + std::string(name) + "' defined twice");
        }
        std::string_view raw = Trim(content.substr(equals + 1));
        if (raw.find('\0') != std::string_view::npos)
            return Fail(error, line_number, "zero byte in text");
        TextSourceEntry entry{std::string(name), std::string()};
        if (utf8) {
            if (!Utf8ToLatin1(raw, entry.text)) {
                return Fail(error, line_number, "text is not UTF-8 within Latin-1");
            }
        } else {
            entry.text.assign(raw);
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

std::string TextIdsChunk(const std::vector<TextSourceEntry>& entries) {
    // Names are identifiers, so quoting them in brackets is always valid Lua
    // (even for names such as "end").
    std::string chunk = "application_text_ids = {\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        chunk += "  [\"" + entries[i].name + "\"] = " + std::to_string(i + 1) + ",\n";
    }
    chunk += "}\n";
    return chunk;
}

bool CompileTextSource(std::string_view source, std::vector<uint8_t>& image, std::string* error) {
    std::vector<TextSourceEntry> entries;
    if (!ParseTextSource(source, entries, error))
        return false;
    std::string chunk = TextIdsChunk(entries);
    std::vector<BcfObjectSource> objects(entries.size() + 1);
    objects[0].bytes = {reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()};
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& text = entries[i].text;
        objects[i + 1].bytes = {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
    }
    image.clear();
    if (!BuildBcfImage(objects, image)) {
        if (error)
            *error = "image too large";
        return false;
    }
    return true;
}

bool CompileTextSourceFile(const std::string& path, std::vector<uint8_t>& image,
                           std::string& error) {
    // A text table is small; anything near this size is not one.
    constexpr uint64_t kMaxSourceSize = 64u << 20;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, kMaxSourceSize)) {
        error = "cannot read text source '" + path + "'";
        return false;
    }
    std::string reason;
    if (!CompileTextSource(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), image,
            &reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace vorlane::resources
