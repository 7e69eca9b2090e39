#pragma once
// Bringing a page back by itself: pauses that grow while something keeps failing, and the
// reload of a page whose engine process ended.
#include <cstdint>
#include <functional>
#include <optional>

#include "fw/browser.h"
#include "fw/window.h"

namespace fw {

// Pauses that grow: the first, then twice as long each time, never longer than the cap.
class Backoff {
public:
    Backoff(unsigned firstMs, unsigned capMs) : first_(firstMs), cap_(capMs), next_(firstMs) {}
    // The pause to wait now; the one after it is twice as long (up to the cap).
    unsigned Next();
    // The next pause is the first one again.
    void Reset() { next_ = first_; }

private:
    unsigned first_;
    unsigned cap_;
    unsigned next_;
};

// Loads a page again when its engine process ended (BrowserEvents::EngineProcessEnded): at
// once, unless the page already ended within kHealthyAfterMs of the last such reload; then
// after a pause of 2 s, 4 s, 8 s ... at most 30 s, so that a page that takes its process down
// every time is not loaded in a loop. The pause runs on a timer of the window that shows the
// page: the window passes its OnTimer calls on to OnTimer here.
class PageRecovery {
public:
    static constexpr unsigned kHealthyAfterMs = 30000;
    static constexpr unsigned kFirstPauseMs = 2000;
    static constexpr unsigned kLongestPauseMs = 30000;

    // `reload` loads the page again (the control's Refresh); `timerId` is a timer of `owner`
    // that nothing else uses.
    PageRecovery(Window& owner, unsigned timerId, std::function<void()> reload);
    ~PageRecovery();
    PageRecovery(const PageRecovery&) = delete;
    PageRecovery& operator=(const PageRecovery&) = delete;

    void EngineEnded(EngineExit why);
    // True when the timer was this one's.
    bool OnTimer(unsigned id);
    // Drops a reload that waits for its pause (the window's page ends).
    void Cancel();
    // A reload waits for its pause.
    bool waiting() const { return waiting_; }

private:
    void ReloadNow();

    Window& owner_;
    const unsigned timerId_;
    std::function<void()> reload_;
    Backoff pause_{kFirstPauseMs, kLongestPauseMs};
    std::optional<std::uint64_t> lastReload_;  // TickCountMs of the last reload
    bool waiting_ = false;
};

}  // namespace fw
