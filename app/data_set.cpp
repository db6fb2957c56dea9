#include "app/data_set.h"

#include <filesystem>

namespace vorlane {

namespace fs = std::filesystem;

std::vector<std::string> DataSetCandidates(const char* environment, const std::string& program_dir,
                                           const std::string& working_dir) {
    std::vector<std::string> candidates;
    if (environment && *environment)
        candidates.push_back(environment);
    if (!program_dir.empty()) {
        const fs::path program(program_dir);
        candidates.push_back(program.lexically_normal().string());
        candidates.push_back((program / ".." / "share" / "vorlane").lexically_normal().string());
        candidates.push_back((program / ".." / "run").lexically_normal().string());
    }
    if (!working_dir.empty())
        candidates.push_back(working_dir);
    return candidates;
}

std::string FindDataSet(const std::vector<std::string>& candidates) {
    for (const std::string& folder : candidates) {
        std::error_code error;
        if (fs::is_regular_file(fs::path(folder) / "data" / "master.dix", error))
            return folder;
    }
    return {};
}

}  // namespace vorlane
