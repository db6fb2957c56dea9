// The sectioned key=value text files the file control reads ("[section]" lines,
// "key = value" lines, ";" comments), behind the FileCtrlConfig lookup.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "resources/filectrl.h"

namespace vorlane::resources {

class SectionedConfig : public FileCtrlConfig {
public:
    // Null when the file cannot be read.
    static std::unique_ptr<SectionedConfig> Load(const char* file_name);
    static std::unique_ptr<SectionedConfig> Parse(std::string_view text);

    const char* Get(const char* section, const char* key) const override;

private:
    // section -> (key, value) pairs in file order; lookups take the first key.
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections_;
};

}  // namespace vorlane::resources
