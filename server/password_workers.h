// PasswordWorkers: runs the slow half of a log-in (Argon2id hashing and
// verification) on worker threads, so one log-in never stalls the lobby for
// everybody else. A job returns a completion; completions run only inside
// Drain(), on the thread that owns the lobby state.
//
// With zero threads every job and its completion run at once inside Submit
// (tests and fuzzing want that order). Otherwise at most `max_waiting` jobs
// wait for a thread (0 = no bound); Submit refuses the next.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vorlane::server {

class PasswordWorkers {
  public:
    using Completion = std::function<void()>;
    using Job = std::function<Completion()>;

    explicit PasswordWorkers(unsigned threads, size_t max_waiting = 0);
    // Finishes the running jobs; queued ones and their completions are dropped.
    ~PasswordWorkers();
    PasswordWorkers(const PasswordWorkers&) = delete;
    PasswordWorkers& operator=(const PasswordWorkers&) = delete;

    // False when the job was refused because too many wait.
    [[nodiscard]] bool Submit(Job job);
    // Runs every finished completion; returns how many ran.
    size_t Drain();
    // Jobs submitted whose completions have not run yet.
    size_t pending() const;
    // A new bound for the jobs that may wait (a reloaded configuration).
    void set_max_waiting(size_t max_waiting);

  private:
    void Work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::vector<Completion> done_;
    size_t pending_ = 0;
    size_t max_waiting_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vorlane::server
