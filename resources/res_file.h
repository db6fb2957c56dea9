// Read-only file access for the resources subsystem.
//
// Data names are written with backslashes ("data\loc0001.dix"); DiskPath turns
// them into the "/" form before the disk is touched. ReadOnlyFile reads at
// absolute offsets so a loader can take the offset table from the end of a file
// and the object bytes from its start without a second pass over the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::resources {

// The name with every backslash turned into "/".
std::string DiskPath(std::string_view name);

// 1 when the named file can be opened for reading, else 0.
int FileReadable(std::string_view name);

// Reads a whole file. Fails (false) when it cannot be opened or read, or when it
// is longer than `max_size`.
bool ReadWholeFile(std::string_view name, std::vector<uint8_t>& out, uint64_t max_size);

// Writes a whole file (created or truncated).
bool WriteWholeFile(std::string_view name, const void* data, size_t size);

class ReadOnlyFile {
  public:
    ReadOnlyFile() = default;
    explicit ReadOnlyFile(std::string_view name);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The file's length, or -1.
    int64_t Length() const;
    // Reads exactly `count` bytes at `offset`; false on a short read or error.
    bool ReadAt(uint64_t offset, void* out, size_t count) const;

    // One destination of a scattered read.
    struct Part {
        uint8_t* data;
        size_t size;
    };
    // Reads consecutive bytes from `offset` into the parts in order, with few
    // system calls; false on a short read or error.
    bool ReadScatterAt(uint64_t offset, std::span<const Part> parts) const;

  private:
    int fd_ = -1;
};

}  // namespace vorlane::resources
