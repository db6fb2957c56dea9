// The base library's file layer: a fixed table of open files addressed by small
// handles, whole-file load and save, and path joining.
//
// Handles are indexes 0..49 into a process-wide table; 65535 means "no handle".
// Every failure writes one error line ("BASELIB IO" and the operation name) and
// returns -1 or 65535. Names may use backslashes as directory separators; they
// become "/" before the name reaches the operating system.
//
// Opening and closing are safe from several threads at once (each gets its own
// entry); reads, writes and seeks on one handle belong to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorlane::baselib {

inline constexpr uint16_t kNoFileHandle = 65535;
inline constexpr int kMaxOpenFiles = 50;

// Access modes accepted by BL_OpenFile. Files are opened untranslated and,
// when created, readable and writable by the owner.
inline constexpr int kFileModeRead = 1;       // read only; must exist
inline constexpr int kFileModeWrite = 2;      // write only; created, not truncated
inline constexpr int kFileModeReadWrite = 3;  // read and write; must exist
inline constexpr int kFileModeAppend = 4;     // read and write, writes append; created
inline constexpr int kFileModeTruncate = 8;   // read and write; created, truncated

// Seek origins of BL_SeekFile.
inline constexpr int kSeekStart = 1;
inline constexpr int kSeekCurrent = 2;
inline constexpr int kSeekEnd = 3;

// Largest file FILE_Load accepts. A length above this is treated as a failed
// length query rather than trusted for an allocation.
inline constexpr int64_t kMaxLoadSize = int64_t(1) << 30;

// The name as the operating system sees it: every backslash becomes "/".
std::string NativePath(std::string_view name);

// Number of table entries currently open.
int OpenFileCount();

}  // namespace vorlane::baselib

// Marks all entries free; a second call fails.
int16_t InitBL();
// Closes every entry that is still open.
int16_t FreeBL();

uint16_t BL_OpenFile(const char* name, int mode);
int16_t BL_CloseFile(uint16_t handle);
// Reads exactly `count` bytes or fails.
int16_t BL_ReadFile(uint16_t handle, void* buffer, uint32_t count);
int16_t BL_WriteFile(uint16_t handle, const void* data, uint32_t count);
int16_t BL_SeekFile(uint16_t handle, int origin, int32_t offset);
// Moves to the end; returns the file's length or -1.
int64_t BL_SeekEnd(uint16_t handle);
// Length of a named file (opened, measured and closed outside the table) or -1.
int64_t BL_LengthFile(const char* name);
// 1 when the file can be opened for reading, else 0.
int16_t BL_FileExists(const char* name);
// 1 when deleted, else 0.
int16_t BL_DeleteFile(const char* name);

// Appends "/" to `directory` in place unless it already ends with one, then
// `name`. 0, or -1 with the buffer unchanged when the result and its terminator
// do not fit into the `capacity` bytes of `directory`.
int16_t BL_MakePath(char* directory, size_t capacity, const char* name);

// Loads a whole file. Without `buffer` a new block of the file's length is taken
// from BL_OrgGetMem (at least 1 byte, so an empty file gives a valid block) and
// belongs to the caller. With `buffer`, `capacity` bytes must be available there;
// a larger file fails. The data is not terminated. `length` (may be null)
// receives the file's length.
void* FILE_Load(const char* name, void* buffer, uint32_t* length, uint32_t capacity = UINT32_MAX);
void* FILE_LoadAlloc(const char* name);
// Writes `length` bytes to a new or truncated file; returns the length or -1.
int32_t FILE_Save(const char* name, const void* data, uint32_t length);
