#include "resources/sectioned_config.h"

#include <cctype>
#include <vector>

#include "resources/res_file.h"

namespace vorlane::resources {

namespace {

constexpr uint64_t kMaxConfigSize = 16u << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Removes blanks, tabs, CR and LF and lower-cases the rest.
std::string Squeeze(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (!IsBlank(c)) out += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::unique_ptr<SectionedConfig> SectionedConfig::Load(const char* file_name) {
    std::vector<uint8_t> bytes;
    if (!file_name || !ReadWholeFile(file_name, bytes, kMaxConfigSize)) return nullptr;
    return Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::unique_ptr<SectionedConfig> SectionedConfig::Parse(std::string_view text) {
    auto cfg = std::make_unique<SectionedConfig>();
    std::vector<std::pair<std::string, std::string>>* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) {
            line.remove_prefix(1);
        }
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::string name = Squeeze(line);
            if (name.size() < 2 || name.back() != ']') continue;
            current = &cfg->sections_[name.substr(1, name.size() - 2)];
            continue;
        }
        size_t equals = line.find('=');
        // Key lines before the first section have no section to go to.
        if (equals == std::string_view::npos || !current) continue;
        current->emplace_back(Squeeze(line.substr(0, equals)),
                              std::string(Trim(line.substr(equals + 1))));
    }
    return cfg;
}

const char* SectionedConfig::Get(const char* section, const char* key) const {
    if (!section || !key) return nullptr;
    auto found = sections_.find(Squeeze(section));
    if (found == sections_.end()) return nullptr;
    std::string wanted = Squeeze(key);
    for (const auto& [name, value] : found->second) {
        if (name == wanted) return value.c_str();
    }
    return nullptr;
}

}  // namespace vorlane::resources
