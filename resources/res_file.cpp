#include "resources/res_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vorlane::resources {

std::string DiskPath(std::string_view name) {
    std::string path(name);
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

int FileReadable(std::string_view name) {
    ReadOnlyFile file(name);
    if (!file.IsOpen())
        return 0;
    // A directory opens for reading on Linux but is no file (Length fails).
    return file.Length() >= 0 ? 1 : 0;
}

bool ReadWholeFile(std::string_view name, std::vector<uint8_t>& out, uint64_t max_size) {
    out.clear();
    ReadOnlyFile file(name);
    if (!file.IsOpen())
        return false;
    int64_t length = file.Length();
    if (length < 0 || uint64_t(length) > max_size)
        return false;
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
    if (fd < 0)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
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
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t ReadOnlyFile::Length() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return int64_t(info.st_size);
}

bool ReadOnlyFile::ReadAt(uint64_t offset, void* out, size_t count) const {
    if (fd_ < 0)
        return false;
    auto* bytes = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, bytes + done, count - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace vorlane::resources

namespace vorlane::resources {

bool ReadOnlyFile::ReadScatterAt(uint64_t offset, std::span<const Part> parts) const {
    if (fd_ < 0)
        return false;
    constexpr size_t kBatch = 512;  // below every system's IOV_MAX
    iovec vectors[kBatch];
    size_t next = 0;       // first part not yet fully read
    size_t next_done = 0;  // bytes of that part already read
    while (next < parts.size()) {
        size_t count = 0;
        for (size_t i = next; i < parts.size() && count < kBatch; ++i, ++count) {
            size_t skip = i == next ? next_done : 0;
            vectors[count].iov_base = parts[i].data + skip;
            vectors[count].iov_len = parts[i].size - skip;
        }
        ssize_t n = ::preadv(fd_, vectors, int(count), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Only empty parts may be left without progress; else the file ended.
            size_t before = next;
            while (next < parts.size() && parts[next].size == next_done) {
                ++next;
                next_done = 0;
            }
            if (next == parts.size())
                return true;
            if (next == before)
                return false;
            continue;
        }
        offset += uint64_t(n);
        size_t got = size_t(n);
        while (next < parts.size() && got >= parts[next].size - next_done) {
            got -= parts[next].size - next_done;
            ++next;
            next_done = 0;
        }
        next_done += got;
    }
    return true;
}

}  // namespace vorlane::resources
