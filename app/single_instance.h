// One running front end per user session, guarded by an advisory file lock.
#pragma once

#include <string>

namespace vorlane {

class SingleInstance {
  public:
    // Locks "<dir>/<name>.lock", where dir is $XDG_RUNTIME_DIR or /tmp.
    explicit SingleInstance(const std::string& name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock. A lock file that cannot be
    // created is not an error: the program then simply runs unguarded.
    bool AlreadyRunning() const { return already_running_; }

  private:
    int fd_ = -1;
    bool already_running_ = false;
};

}  // namespace vorlane
