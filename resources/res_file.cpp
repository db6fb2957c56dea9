#include "resources/res_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vorlane::resources {

std::string DiskPath(std::string_view name) {
    std::string path(name);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

int FileReadable(std::string_view name) {
    ReadOnlyFile file(name);
    if (!file.IsOpen()) return 0;
    // A directory opens for reading on Linux but is no file (Length fails).
    return file.Length() >= 0 ? 1 : 0;
}

bool ReadWholeFile(std::string_view name, std::vector<uint8_t>& out, uint64_t max_size) {
    out.clear();
    ReadOnlyFile file(name);
    if (!file.IsOpen()) return false;
    int64_t length = file.Length();
    if (length < 0 || uint64_t(length) > max_size) return false;
    out.resize(size_t(length));
    if (!file.ReadAt(0, out.data(), out.size())) {
        out.clear();
        return false;
    }
    return true;
}

bool WriteWholeFile(std::string_view name, const void* data, size_t size) {
    std::string path = DiskPath(name);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += size_t(n);
    }
    return ::close(fd) == 0;
}

ReadOnlyFile::ReadOnlyFile(std::string_view name) {
    std::string path = DiskPath(name);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t ReadOnlyFile::Length() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return int64_t(info.st_size);
}

bool ReadOnlyFile::ReadAt(uint64_t offset, void* out, size_t count) const {
    if (fd_ < 0) return false;
    auto* bytes = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, bytes + done, count - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace vorlane::resources
