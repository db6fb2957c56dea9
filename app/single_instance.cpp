#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vorlane {

SingleInstance::SingleInstance(const std::string& name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/" + name + ".lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return;
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        already_running_ = errno == EWOULDBLOCK;
        close(fd_);
        fd_ = -1;
    }
}

SingleInstance::~SingleInstance() {
    // Closing the descriptor releases the lock; the file itself stays so a
    // concurrent starter never races on its creation.
    if (fd_ >= 0)
        close(fd_);
}

}  // namespace vorlane
