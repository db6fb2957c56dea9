#include "server/admin_protocol.h"

#include <cctype>

namespace vorlane::server {

std::optional<std::vector<std::string>> SplitAdminLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            in_word = true;
        } else if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (in_word)
                words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (in_word)
        words.push_back(std::move(word));
    return words;
}

std::string JoinAdminLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty())
            line += ' ';
        bool plain = !word.empty();
        for (char c : word) plain = plain && c != ' ' && c != '\t' && c != '"' && c != '\\';
        if (plain) {
            line += word;
            continue;
        }
        line += '"';
        for (char c : word) {
            if (c == '"' || c == '\\')
                line += '\\';
            // A line break would end the request: it travels as a blank.
            line += (c == '\n' || c == '\r') ? ' ' : c;
        }
        line += '"';
    }
    return line;
}

std::string FormatAdminReply(bool ok, const std::string& message,
                             const std::vector<std::string>& lines) {
    auto single = [](std::string text) {
        for (char& c : text) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        return text.empty() ? std::string(" ") : text;
    };
    std::string reply = ok ? "ok\n" : "error: " + single(message) + "\n";
    for (const std::string& line : lines) {
        if (reply.size() + line.size() + 16 > kAdminMaxReply) {
            reply += "(cut)\n";
            break;
        }
        reply += single(line) + "\n";
    }
    return reply + "\n";
}

std::optional<int64_t> ParseDuration(const std::string& text) {
    if (text == "permanent")
        return 0;
    if (text.size() < 2 || text.size() > 12)
        return std::nullopt;
    int64_t count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
        count = count * 10 + (text[i] - '0');
    }
    int64_t unit = 0;
    switch (text.back()) {
        case 's':
            unit = 1;
            break;
        case 'm':
            unit = 60;
            break;
        case 'h':
            unit = 3600;
            break;
        case 'd':
            unit = 86400;
            break;
        default:
            return std::nullopt;
    }
    if (count <= 0 || count > kLongestSanction / unit)
        return std::nullopt;
    return count * unit;
}

std::string FormatDuration(int64_t seconds) {
    static constexpr struct {
        int64_t size;
        const char* name;
    } kUnits[] = {{86400, "d"}, {3600, "h"}, {60, "m"}, {1, "s"}};
    std::string text;
    int shown = 0;
    for (const auto& unit : kUnits) {
        const int64_t count = seconds / unit.size;
        seconds %= unit.size;
        if (shown == 0 && count == 0)
            continue;
        if (++shown > 2)
            break;
        if (count != 0)
            text += (text.empty() ? "" : " ") + std::to_string(count) + unit.name;
    }
    return text.empty() ? "0s" : text;
}

}  // namespace vorlane::server
