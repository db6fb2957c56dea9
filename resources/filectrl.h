// FILECTRL: the program's fixed data files by number, found relative to the
// working directory or in up to 8 search directories.
#pragma once

#include <cstdint>

struct SCFG;

namespace vorlane::resources {

// One known file. The table belongs to the caller; FILECTRL only records where
// the file was found.
struct FILECTRL_ENTRY {
    char name[64] = {};
    uint32_t entry_flags = 0;  // 0x1 resolved
    uint16_t path_index =
        65535;  // search path that held it; 65535 = working directory / unresolved
};

class FILECTRL {
  public:
    static constexpr int kSearchPathCount = 8;
    static constexpr int kPathLength = 256;
    static constexpr uint32_t kHasFileTable = 0x1;
    static constexpr uint32_t kEntryResolved = 0x1;
    static constexpr uint16_t kNoPathIndex = 65535;

    FILECTRL() = default;
    virtual ~FILECTRL() = default;
    FILECTRL(const FILECTRL&) = delete;
    FILECTRL& operator=(const FILECTRL&) = delete;

    virtual int Init() { return 0; }
    virtual void Exit() {}
    virtual int SetFileTable(FILECTRL_ENTRY* table, uint16_t count);
    virtual int ClearFileTable();
    virtual int HasFileTable() const { return (flags & kHasFileTable) ? 1 : 0; }
    virtual void ClearSearchPaths();
    // -1 when the path has 256 or more characters or all 8 entries are used.
    virtual int AddSearchPath(const char* path);
    // Adds install_path and media_path of section file_ctrl; -1 when either is "invalid".
    virtual int LoadConfig(const SCFG* cfg);
    // Loads the sectioned file and reads its keys; -1 when it cannot be loaded.
    virtual int LoadConfigFile(const char* file_name);
    // `directory` joined with `name` into the result buffer when that file is readable.
    virtual const char* MakePath(const char* directory, const char* name);
    virtual const char* FindFile(const char* name, FILECTRL_ENTRY* entry);
    virtual const char* GetPath(int file_number);

    const char* SearchPath(int index) const { return search_paths[index]; }

    uint32_t ok = 1;
    uint32_t flags = 0;
    FILECTRL_ENTRY* file_table = nullptr;
    uint16_t file_count = 0;
    char search_paths[kSearchPathCount][kPathLength] = {};
    char result[kPathLength] = {};

  private:
    // Joins into `result` without an existence test; false when it does not fit.
    bool JoinInto(const char* directory, const char* name);
};

// The program's 26 data files; file number = position.
constexpr int kProgramFileCount = 26;
constexpr int kMasterIndexFile = 25;
extern const char* const kProgramFileNames[kProgramFileCount];

// Fills `table` (26 entries) with the program's files, all unresolved.
void FILECTRL_FillProgramTable(FILECTRL_ENTRY* table);

}  // namespace vorlane::resources
