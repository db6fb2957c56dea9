// [SECTION] index
//   Files of the base library: one descriptor table behind 16-bit handles.
//   - Descriptor table
//   - Start and stop
//   - Handle operations
//   - Operations by name
//   - Whole-file load and save
#include "baselib/bl_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "baselib/bl_memory.h"
#include "baselib/logsys.h"

// [SECTION] Descriptor table
namespace vorlane::baselib {
namespace {

constexpr const char* kModule = "BASELIB IO";
constexpr uint16_t kStatusFree = 0;
constexpr uint16_t kStatusReserved = 0x01;  // taken by an open still in progress
constexpr uint16_t kStatusOpen = 0x10;

struct FileEntry {
    uint16_t status = kStatusFree;
    int descriptor = -1;
};

// The mutex guards the choice of a free entry and the bookkeeping of opening
// and closing, so that threads opening files at the same time never get the
// same entry. It is never held while logging: the log itself opens files here.
struct FileTable {
    std::atomic<bool> initialised{false};
    std::mutex mutex;
    uint16_t open_count = 0;
    FileEntry entries[kMaxOpenFiles];
};

FileTable& Table() {
    static FileTable table;
    return table;
}

struct ModeEntry {
    int mode;
    int flags;
};

// O_CLOEXEC keeps table descriptors out of the game executable that replaces
// this process at the end.
constexpr ModeEntry kModes[] = {
    {kFileModeRead, O_RDONLY},
    {kFileModeWrite, O_WRONLY | O_CREAT},
    {kFileModeReadWrite, O_RDWR},
    {kFileModeAppend, O_RDWR | O_APPEND | O_CREAT},
    {kFileModeTruncate, O_RDWR | O_CREAT | O_TRUNC},
};

const ModeEntry* FindMode(int mode) {
    for (const ModeEntry& entry : kModes) {
        if (entry.mode == mode)
            return &entry;
    }
    return nullptr;
}

void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Error(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    LOGSYS_Text(nullptr, kLogError, line);
}

// Checks the common preconditions of an operation on an open handle. The
// messages differ per operation, so the caller passes its "not open" text.
FileEntry* OpenEntry(uint16_t handle, const char* operation, const char* not_open_format) {
    FileTable& table = Table();
    if (!table.initialised) {
        Error("%s:%s : SYSTEM NOT INITIALIZED !", kModule, operation);
        return nullptr;
    }
    if (handle >= kMaxOpenFiles) {
        Error("%s:%s: NO VALID HANDLE, HANDLE: %d !", kModule, operation, int(handle));
        return nullptr;
    }
    FileEntry& entry = table.entries[handle];
    if (entry.status != kStatusOpen) {
        Error(not_open_format, kModule, operation, int(handle), unsigned(entry.status));
        return nullptr;
    }
    return &entry;
}

int OpenNative(const char* name, int flags) {
    std::string path;
    try {
        path = NativePath(name);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    int descriptor;
    do {
        descriptor = open(path.c_str(), flags | O_CLOEXEC, S_IRUSR | S_IWUSR);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

std::string NativePath(std::string_view name) {
    std::string path(name);
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

int OpenFileCount() {
    FileTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.open_count;
}

}  // namespace vorlane::baselib

// [SECTION] Start and stop
using namespace vorlane::baselib;

int16_t InitBL() {
    FileTable& table = Table();
    if (table.initialised) {
        Error("%s:%s : SYSTEM ALREADY INITIALIZED !", kModule, "InitBL");
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        for (FileEntry& entry : table.entries) entry = FileEntry{};
        table.open_count = 0;
    }
    table.initialised = true;
    return 0;
}

int16_t FreeBL() {
    FileTable& table = Table();
    if (!table.initialised) {
        Error("%s:%s : SYSTEM NOT INITIALIZED !", kModule, "FreeBL");
        return -1;
    }
    for (uint16_t handle = 0; handle < kMaxOpenFiles; ++handle) {
        if (table.entries[handle].status == kStatusOpen)
            BL_CloseFile(handle);
    }
    table.initialised = false;
    return 0;
}

// [SECTION] Handle operations
uint16_t BL_OpenFile(const char* name, int mode) {
    FileTable& table = Table();
    if (!table.initialised) {
        Error("%s:%s : SYSTEM NOT INITIALIZED !", kModule, "OpenFile");
        return kNoFileHandle;
    }
    const char* shown = name ? name : "(null)";
    int index = -1;
    const ModeEntry* mode_entry = FindMode(mode);
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        for (int i = 0; i < kMaxOpenFiles; ++i) {
            if (table.entries[i].status == kStatusFree) {
                index = i;
                break;
            }
        }
        if (index >= 0 && mode_entry)
            table.entries[index].status = kStatusReserved;
    }
    if (index < 0) {
        Error("%s:%s (FILE: %s): NO FILE SYSTEM HANDLE FREE !", kModule, "OpenFile", shown);
        return kNoFileHandle;
    }
    if (!mode_entry) {
        Error("%s:%s (FILE: %s): NO VALID FILE ACCESS MODE !", kModule, "OpenFile", shown);
        return kNoFileHandle;
    }
    const int descriptor = name ? OpenNative(name, mode_entry->flags) : -1;
    FileEntry& entry = table.entries[index];
    {
        std::lock_guard<std::mutex> lock(table.mutex);
        if (descriptor < 0) {
            entry.status = kStatusFree;
        } else {
            entry.descriptor = descriptor;
            entry.status = kStatusOpen;
            ++table.open_count;
        }
    }
    if (descriptor < 0) {
        Error("%s:%s (FILE: %s): CANNOT OPEN FILE, DOSHANDLE: %d !", kModule, "OpenFile", shown,
              descriptor);
        return kNoFileHandle;
    }
    return uint16_t(index);
}

int16_t BL_CloseFile(uint16_t handle) {
    FileEntry* entry =
        OpenEntry(handle, "CloseFile", "%s:%s : FILE NOT OPEN ! HANDLE: %d, STATUS: %u");
    if (!entry)
        return -1;
    // A close interrupted by a signal has still released the descriptor on
    // Linux; retrying could close a descriptor another thread just opened.
    if (close(entry->descriptor) != 0 && errno != EINTR) {
        Error("%s:%s : CANNT CLOSE FILE ! ERRORNUM: %d", kModule, "CloseFile", errno);
        return -1;
    }
    FileTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    entry->descriptor = -1;
    entry->status = kStatusFree;
    --table.open_count;
    return 0;
}

int16_t BL_ReadFile(uint16_t handle, void* buffer, uint32_t count) {
    FileEntry* entry =
        OpenEntry(handle, "ReadFile", "%s:%s : FILE NOT OPEN FOR READ ! HANDLE: %d STATUS: %u");
    if (!entry)
        return -1;
    if (count > 0 && !buffer) {
        Error("%s:%s : CANNOT READ FILE ! HANDLE: %d, ERRORNUM: %d", kModule, "ReadFile",
              int(handle), EFAULT);
        return -1;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = read(entry->descriptor, out + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // A short file is a failure too: the caller asked for exactly `count`.
            Error("%s:%s : CANNOT READ FILE ! HANDLE: %d, ERRORNUM: %d", kModule, "ReadFile",
                  int(handle), got < 0 ? errno : 0);
            return -1;
        }
        done += size_t(got);
    }
    return 0;
}

int16_t BL_WriteFile(uint16_t handle, const void* data, uint32_t count) {
    FileEntry* entry =
        OpenEntry(handle, "WriteFile", "%s:%s : FILE NOT OPEN FOR WRITE ! HANDLE: %d, STATUS: %u");
    if (!entry)
        return -1;
    if (count > 0 && !data) {
        Error("%s:%s : CANNOT WRITE FILE ! HANDLE: %d, ERRNUM: %d", kModule, "WriteFile",
              int(handle), EFAULT);
        return -1;
    }
    const auto* in = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t put = write(entry->descriptor, in + done, count - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            Error("%s:%s : CANNOT WRITE FILE ! HANDLE: %d, ERRNUM: %d", kModule, "WriteFile",
                  int(handle), put < 0 ? errno : 0);
            return -1;
        }
        done += size_t(put);
    }
    return 0;
}

int16_t BL_SeekFile(uint16_t handle, int origin, int32_t offset) {
    FileEntry* entry =
        OpenEntry(handle, "SeekFile", "%s:%s : FILE NOT OPEN FOR SEEK ! HANDLE: %d, STATUS: %u");
    if (!entry)
        return -1;
    int whence;
    switch (origin) {
        case kSeekStart:
            whence = SEEK_SET;
            break;
        case kSeekCurrent:
            whence = SEEK_CUR;
            break;
        case kSeekEnd:
            whence = SEEK_END;
            break;
        default:
            Error("%s:%s : CANNOT SEEK FILE ! HANDLE: %d, DOS-ERROR: %d", kModule, "SeekFile",
                  int(handle), EINVAL);
            return -1;
    }
    if (lseek(entry->descriptor, off_t(offset), whence) < 0) {
        Error("%s:%s : CANNOT SEEK FILE ! HANDLE: %d, DOS-ERROR: %d", kModule, "SeekFile",
              int(handle), errno);
        return -1;
    }
    return 0;
}

int64_t BL_SeekEnd(uint16_t handle) {
    FileEntry* entry =
        OpenEntry(handle, "SeekFile", "%s:%s : FILE NOT OPEN FOR SEEK! HANDLE: %d, STATUS: %u");
    if (!entry)
        return -1;
    const off_t end = lseek(entry->descriptor, 0, SEEK_END);
    if (end < 0) {
        Error("%s:%s : CANNOT SEEK FILE! HANDLE: %d, DOS-ERROR: %d", kModule, "SeekFile",
              int(handle), errno);
        return -1;
    }
    return int64_t(end);
}

// [SECTION] Operations by name
int64_t BL_LengthFile(const char* name) {
    const char* shown = name ? name : "(null)";
    const int descriptor = name ? OpenNative(name, O_RDONLY) : -1;
    if (descriptor < 0) {
        Error("%s:%s : CANNOT OPEN FILE ! FILE: %s, DOSHANDLE: %d", kModule, "LengthFile", shown,
              descriptor);
        return -1;
    }
    struct stat info;
    int64_t length = -1;
    // Only regular files have a length worth trusting; a pipe or device reports
    // 0 or nonsense.
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        length = int64_t(info.st_size);
    } else {
        Error("%s:%s : DOS OPEN ERROR NO VALID HANDLE ! FILE: %s", kModule, "LengthFile", shown);
    }
    close(descriptor);
    return length;
}

int16_t BL_FileExists(const char* name) {
    if (!name)
        return 0;
    const int descriptor = OpenNative(name, O_RDONLY);
    if (descriptor < 0)
        return 0;
    close(descriptor);
    return 1;
}

int16_t BL_DeleteFile(const char* name) {
    if (!name)
        return 0;
    try {
        return unlink(NativePath(name).c_str()) == 0 ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int16_t BL_MakePath(char* directory, size_t capacity, const char* name) {
    if (!directory || capacity == 0)
        return -1;
    const size_t length = strnlen(directory, capacity);
    if (length == capacity)
        return -1;  // not terminated inside the buffer
    const bool add_slash = length == 0 || directory[length - 1] != '/';
    const size_t name_length = name ? strlen(name) : 0;
    const size_t total = length + (add_slash ? 1 : 0) + name_length;
    if (total >= capacity)
        return -1;
    size_t at = length;
    if (add_slash)
        directory[at++] = '/';
    if (name_length)
        memcpy(directory + at, name, name_length);
    directory[total] = '\0';
    return 0;
}

// [SECTION] Whole-file load and save
void* FILE_Load(const char* name, void* buffer, uint32_t* length, uint32_t capacity) {
    const char* shown = name ? name : "(null)";
    const int64_t file_length = BL_LengthFile(name);
    if (file_length < 0 || file_length > kMaxLoadSize) {
        Error("FILE_Load: LengthFile failed: '%s'.", shown);
        return nullptr;
    }
    const uint32_t size = uint32_t(file_length);
    if (buffer && size > capacity) {
        Error("FILE_Load: ReadFile failed: '%s'.", shown);
        return nullptr;
    }
    void* data = buffer;
    const bool owned = !buffer;
    if (owned) {
        data = BL_OrgGetMem(int32_t(size));
        if (!data) {
            Error("FILE_Load: no memory.");
            return nullptr;
        }
    }
    const uint16_t handle = BL_OpenFile(name, kFileModeRead);
    if (handle == kNoFileHandle) {
        Error("FILE_Load: OpenFile failed: '%s'.", shown);
        if (owned)
            BL_OrgFreeMem(data);
        return nullptr;
    }
    if (BL_ReadFile(handle, data, size) != 0) {
        Error("FILE_Load: ReadFile failed: '%s'.", shown);
        // The handle is released here as well: leaving it in the table would
        // use up one of the 50 entries for the rest of the run.
        BL_CloseFile(handle);
        if (owned)
            BL_OrgFreeMem(data);
        return nullptr;
    }
    BL_CloseFile(handle);
    if (length)
        *length = size;
    return data;
}

void* FILE_LoadAlloc(const char* name) {
    return FILE_Load(name, nullptr, nullptr);
}

int32_t FILE_Save(const char* name, const void* data, uint32_t length) {
    const char* shown = name ? name : "(null)";
    if (length > uint32_t(INT32_MAX)) {
        Error("FILE_Save: BL_WriteFile failed.");
        return -1;
    }
    const uint16_t handle = BL_OpenFile(name, kFileModeTruncate);
    if (handle == kNoFileHandle) {
        Error("FILE_Save: BL_OpenFile failed: '%s'.", shown);
        return -1;
    }
    if (BL_WriteFile(handle, data, length) != 0) {
        Error("FILE_Save: BL_WriteFile failed.");
        BL_CloseFile(handle);
        return -1;
    }
    BL_CloseFile(handle);
    return int32_t(length);
}
