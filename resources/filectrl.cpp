#include "resources/filectrl.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "baselib/bl_file.h"
#include "baselib/scfg/scfg.h"
#include "resources/res_file.h"

namespace vorlane::resources {

const char* const kProgramFileNames[kProgramFileCount] = {
    "INVALID.???",
    "data\\text\\error.txt",
    "data\\text\\generic.txt",
    "data\\gfx\\quintel.gro",
    "data\\gfx\\logo.gro",
    "data\\font\\font00.bcf",
    "data\\font\\font00.txt",
    "data\\font\\font01.bcf",
    "data\\font\\font01.txt",
    "data\\font\\font02.bcf",
    "data\\font\\font02.txt",
    "data\\font\\font03.bcf",
    "data\\font\\font03.txt",
    "data\\font\\font06.bcf",
    "data\\font\\font06.txt",
    "data\\font\\robust11.bcf",
    "data\\font\\robust11.txt",
    "data\\font\\robust13.bcf",
    "data\\font\\robust13.txt",
    "data\\font\\robust23.bcf",
    "data\\font\\robust23.txt",
    "data\\font\\robust27.bcf",
    "data\\font\\robust27.txt",
    "data\\font\\robust12.bcf",
    "data\\font\\robust12.txt",
    "data\\master.dix",
};

void FILECTRL_FillProgramTable(FILECTRL_ENTRY* table) {
    for (int i = 0; i < kProgramFileCount; ++i) {
        table[i] = FILECTRL_ENTRY{};
        std::snprintf(table[i].name, sizeof table[i].name, "%s", kProgramFileNames[i]);
    }
}

int FILECTRL::SetFileTable(FILECTRL_ENTRY* table, uint16_t count) {
    file_table = table;
    file_count = count;
    flags |= kHasFileTable;
    return 0;
}

int FILECTRL::ClearFileTable() {
    file_table = nullptr;
    file_count = 0;
    flags &= ~kHasFileTable;
    return 0;
}

void FILECTRL::ClearSearchPaths() {
    for (auto& path : search_paths) path[0] = '\0';
}

int FILECTRL::AddSearchPath(const char* path) {
    if (!path || std::strlen(path) >= size_t(kPathLength))
        return -1;
    for (auto& slot : search_paths) {
        if (slot[0] == '\0') {
            std::memcpy(slot, path, std::strlen(path) + 1);
            // An empty path would leave the slot free; nothing is added then.
            return 0;
        }
    }
    return -1;
}

int FILECTRL::LoadConfig(const SCFG* cfg) {
    if (!cfg)
        return -1;
    int status = 0;
    for (const char* key : {"install_path", "media_path"}) {
        const char* value = SCFG_Get(cfg, "file_ctrl", key);
        if (!value)
            continue;
        if (std::strcmp(value, "invalid") == 0) {
            status = -1;
            continue;
        }
        AddSearchPath(value);
    }
    return status;
}

int FILECTRL::LoadConfigFile(const char* file_name) {
    if (!file_name)
        return -1;
    // The configuration is freed on every path, whatever LoadConfig reports.
    std::unique_ptr<SCFG, void (*)(SCFG*)> cfg(SCFG_Load(file_name), SCFG_Free);
    if (!cfg)
        return -1;
    return LoadConfig(cfg.get());
}

bool FILECTRL::JoinInto(const char* directory, const char* name) {
    if (!name)
        return false;
    // A joined path that does not fit names no file; it is never cut short.
    int written = std::snprintf(result, sizeof result, "%s", directory ? directory : name);
    if (written < 0 || size_t(written) >= sizeof result)
        return false;
    return !directory || BL_MakePath(result, sizeof result, name) == 0;
}

const char* FILECTRL::MakePath(const char* directory, const char* name) {
    if (!JoinInto(directory, name))
        return nullptr;
    return FileReadable(result) ? result : nullptr;
}

const char* FILECTRL::FindFile(const char* name, FILECTRL_ENTRY* entry) {
    if (!name)
        return nullptr;
    if (const char* path = MakePath(nullptr, name)) {
        if (entry) {
            entry->entry_flags |= kEntryResolved;
            entry->path_index = kNoPathIndex;
        }
        return path;
    }
    for (int i = 0; i < kSearchPathCount; ++i) {
        if (search_paths[i][0] == '\0')
            continue;
        if (const char* path = MakePath(search_paths[i], name)) {
            if (entry) {
                entry->entry_flags |= kEntryResolved;
                entry->path_index = uint16_t(i);
            }
            return path;
        }
    }
    return nullptr;
}

const char* FILECTRL::GetPath(int file_number) {
    if (!file_table || file_number < 0 || file_number >= int(file_count))
        return nullptr;
    FILECTRL_ENTRY& entry = file_table[file_number];
    // The table is the caller's: a name without its terminator is refused.
    if (std::memchr(entry.name, 0, sizeof entry.name) == nullptr)
        return nullptr;
    if ((entry.entry_flags & kEntryResolved) && entry.path_index < kSearchPathCount) {
        return JoinInto(search_paths[entry.path_index], entry.name) ? result : nullptr;
    }
    return FindFile(entry.name, &entry);
}

}  // namespace vorlane::resources
