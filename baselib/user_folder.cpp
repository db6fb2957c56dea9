#include "baselib/user_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace vorlane::baselib {

namespace fs = std::filesystem;

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

}  // namespace

std::string UserFolder() {
    // The XDG rules ignore a relative XDG_DATA_HOME.
    const char* data_home = std::getenv("XDG_DATA_HOME");
    const std::string base =
        data_home && data_home[0] == '/' ? data_home : HomeFolder() + "/.local/share";
    return base + "/vorlane";
}

std::string UserFile(const std::string& name, const std::string& carried_over) {
    const fs::path folder = UserFolder();
    const fs::path path = folder / name;
    std::error_code error;
    if (fs::create_directories(folder, error))
        fs::permissions(folder, fs::perms::owner_all, error);
    fs::create_directories(path.parent_path(), error);
    if (!carried_over.empty() && !fs::exists(path, error) &&
        fs::is_regular_file(carried_over, error) && fs::copy_file(carried_over, path, error)) {
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, error);
    }
    return path.string();
}

std::string InFolder(const std::string& folder, const std::string& name) {
    if (name.empty() || name[0] == '/' || folder.empty())
        return name;
    return (fs::path(folder) / name).string();
}

}  // namespace vorlane::baselib
