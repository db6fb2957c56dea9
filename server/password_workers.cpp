#include "server/password_workers.h"

#include <utility>

namespace vorlane::server {

PasswordWorkers::PasswordWorkers(unsigned threads, size_t max_waiting) : max_waiting_(max_waiting) {
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

PasswordWorkers::~PasswordWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

bool PasswordWorkers::Submit(Job job) {
    if (threads_.empty()) {
        if (Completion completion = job())
            completion();
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        if (max_waiting_ != 0 && jobs_.size() >= max_waiting_)
            return false;
        jobs_.push_back(std::move(job));
        ++pending_;
    }
    wake_.notify_one();
    return true;
}

size_t PasswordWorkers::Drain() {
    std::vector<Completion> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(done_);
        pending_ -= ready.size();
    }
    for (Completion& completion : ready) {
        if (completion)
            completion();
    }
    return ready.size();
}

size_t PasswordWorkers::pending() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

void PasswordWorkers::set_max_waiting(size_t max_waiting) {
    std::lock_guard lock(mutex_);
    max_waiting_ = max_waiting;
}

void PasswordWorkers::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Completion completion = job();
        std::lock_guard lock(mutex_);
        done_.push_back(std::move(completion));
    }
}

}  // namespace vorlane::server
