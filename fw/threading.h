#pragma once
// Threads of the framework's own: a manual-reset event, and a worker thread that is always
// joined (its run signal is such an event). Everything here is safe from any thread, except
// that one Worker object is driven from one thread at a time.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace fw {

// A manual-reset event.
class Event {
public:
    explicit Event(bool initiallySet = false) : set_(initiallySet) {}
    void Set() {
        {
            std::lock_guard<std::mutex> l(m_);
            set_ = true;
        }
        cv_.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> l(m_);
        set_ = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> l(m_);
        return set_;
    }
    // Waits until set or the time-out passes; answers whether it is set.
    bool WaitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, timeout, [&] { return set_; });
    }
    void Wait() const {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [&] { return set_; });
    }

private:
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    bool set_;
};

// A thread that runs one function, which is handed the worker's run signal: an Event that is
// set when the worker is told to stop. The function looks at it between its steps and waits on
// it for its pauses, so a stop cuts a pause short. Stop() sets the signal and joins; the
// destructor stops. A worker is never detached: whoever owns the object waits for its end.
class Worker {
public:
    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    Worker(Worker&& other) noexcept = default;
    Worker& operator=(Worker&& other) noexcept {
        if (this != &other) {
            Stop();
            state_ = std::move(other.state_);
            thread_ = std::move(other.thread_);
        }
        return *this;
    }
    ~Worker() { Stop(); }

    // Runs `run(stop)` on a thread of its own, after stopping the one this object ran before.
    // False when no thread can be had (nothing runs then).
    bool Start(std::function<void(const Event& stop)> run) {
        Stop();
        auto state = std::make_shared<State>();
        try {
            thread_ = std::thread([state, run = std::move(run)] {
                run(state->stop);
                state->ended.Set();
            });
        } catch (const std::system_error&) {
            return false;
        }
        state_ = std::move(state);
        return true;
    }
    // Sets the run signal without waiting: the function ends at its next look at it.
    void RequestStop() {
        if (state_) state_->stop.Set();
    }
    // Sets the run signal and waits for the function to return.
    void Stop() {
        RequestStop();
        if (thread_.joinable()) thread_.join();
        state_.reset();
    }
    // Sets the run signal and waits at most `bound` for the function to return; answers
    // whether it did (the thread is joined then). If not, the worker is still running and this
    // object still owns it: a later Stop joins it.
    bool StopWithin(std::chrono::milliseconds bound) {
        RequestStop();
        if (state_ && !state_->ended.WaitFor(bound)) return false;
        Stop();
        return true;
    }
    // Started, and its function has not returned yet.
    bool Running() const { return state_ && !state_->ended.IsSet(); }
    // Started and not yet joined.
    bool Joinable() const { return thread_.joinable(); }

private:
    // Shared with the thread, so that the object may move while the thread runs.
    struct State {
        Event stop{false};
        Event ended{false};
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace fw
