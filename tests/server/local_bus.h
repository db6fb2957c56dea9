// A bus inside one process for the tests of a cluster: LocalHub joins any
// number of LocalBus (one per LobbyServer) and delivers as NATS does:
// subjects of dot-separated tokens, `*` for one token and `>` for the rest
// in a subscription, nothing back to the publisher, and each bus gets what
// one publisher sent in the order it was sent. A bus can be cut off (lost)
// and joined again.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/lobby_bus.h"

namespace vorlane::server::testing {

// Whether `subject` matches the subscription `pattern` (NATS's rules).
inline bool SubjectMatches(std::string_view pattern, std::string_view subject) {
    auto next = [](std::string_view& text) {
        const size_t dot = text.find('.');
        std::string_view token = text.substr(0, dot);
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
        return token;
    };
    bool subject_left = !subject.empty();
    while (!pattern.empty()) {
        const std::string_view want = next(pattern);
        if (!subject_left)
            return false;
        if (want == ">")
            return pattern.empty();  // the rest, one token at least
        const bool last = subject.find('.') == std::string_view::npos;
        const std::string_view got = next(subject);
        if (want != "*" && want != got)
            return false;
        subject_left = !last;
    }
    return !subject_left;
}

class LocalBus;

class LocalHub {
  public:
    std::unique_ptr<LocalBus> Connect();
    // Delivers to every other connected bus with a matching subscription.
    void Publish(const LocalBus* from, const std::string& subject, std::span<const uint8_t> data);
    void Detach(const LocalBus* bus) {
        std::lock_guard lock(mutex_);
        std::erase(buses_, bus);
    }

  private:
    std::mutex mutex_;
    std::vector<LocalBus*> buses_;
};

class LocalBus final : public LobbyBus {
  public:
    explicit LocalBus(LocalHub* hub) : hub_(hub) {}
    ~LocalBus() override { hub_->Detach(this); }

    bool Open(std::string*) override {
        opened_ = true;
        Wake();
        return true;
    }
    void Subscribe(const std::string& pattern) override {
        std::lock_guard lock(mutex_);
        patterns_.push_back(pattern);
    }
    void Publish(const std::string& subject, std::span<const uint8_t> data) override {
        if (connected())
            hub_->Publish(this, subject, data);
    }
    size_t Take(std::vector<BusMessage>& out, size_t max) override {
        std::lock_guard lock(mutex_);
        size_t moved = 0;
        for (; moved < max && !queue_.empty(); ++moved) {
            out.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        return moved;
    }
    bool connected() const override { return opened_ && !cut_; }

    // Cuts the bus off (what is on its way is lost) or joins it again.
    void SetCut(bool cut) {
        cut_ = cut;
        if (cut) {
            std::lock_guard lock(mutex_);
            queue_.clear();
        }
        Wake();
    }
    // Called by the hub.
    void Deliver(const std::string& subject, std::span<const uint8_t> data) {
        if (!connected())
            return;
        {
            std::lock_guard lock(mutex_);
            bool wanted = false;
            for (const std::string& pattern : patterns_)
                wanted = wanted || SubjectMatches(pattern, subject);
            if (!wanted)
                return;
            queue_.push_back({subject, std::vector<uint8_t>(data.begin(), data.end())});
        }
        Wake();
    }

  private:
    LocalHub* hub_;
    std::atomic<bool> opened_{false};
    std::atomic<bool> cut_{false};
    std::mutex mutex_;
    std::vector<std::string> patterns_;
    std::deque<BusMessage> queue_;
};

inline std::unique_ptr<LocalBus> LocalHub::Connect() {
    auto bus = std::make_unique<LocalBus>(this);
    std::lock_guard lock(mutex_);
    buses_.push_back(bus.get());
    return bus;
}

inline void LocalHub::Publish(const LocalBus* from, const std::string& subject,
                              std::span<const uint8_t> data) {
    std::lock_guard lock(mutex_);
    for (LocalBus* bus : buses_) {
        if (bus != from)
            bus->Deliver(subject, data);
    }
}

}  // namespace vorlane::server::testing
