#pragma once
// Events and workers. Everything here is safe from any thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace fw {

// A manual-reset event.
class Event {
public:
    explicit Event(bool initiallySet = false) : set_(initiallySet) {}
    void Set() {
        { std::lock_guard<std::mutex> l(m_); set_ = true; }
        cv_.notify_all();
    }
    void Reset() { std::lock_guard<std::mutex> l(m_); set_ = false; }
    bool IsSet() const { std::lock_guard<std::mutex> l(m_); return set_; }
    // Waits until set or the time-out passes; answers whether it is set.
    bool WaitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, timeout, [&] { return set_; });
    }
    void Wait() const { std::unique_lock<std::mutex> l(m_); cv_.wait(l, [&] { return set_; }); }

private:
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    bool set_;
};

}  // namespace fw
