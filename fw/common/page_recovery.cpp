#include "fw/page_recovery.h"

#include <cstdio>

#include "fw/system.h"

namespace fw {

unsigned Backoff::Next() {
    const unsigned now = next_ < cap_ ? next_ : cap_;
    next_ = now > cap_ / 2 ? cap_ : now * 2;
    return now;
}

PageRecovery::PageRecovery(Window& owner, unsigned timerId, std::function<void()> reload)
    : owner_(owner), timerId_(timerId), reload_(std::move(reload)) {}

PageRecovery::~PageRecovery() { Cancel(); }

void PageRecovery::EngineEnded(EngineExit why) {
    if (waiting_) return;  // a reload is on its way already
    const char* what = why == EngineExit::OutOfMemory ? "was ended for its memory" : "crashed";
    const std::uint64_t now = TickCountMs();
    if (!lastReload_ || now - *lastReload_ >= kHealthyAfterMs) {
        pause_.Reset();
        std::fprintf(stderr, "raduvove: a page's engine process %s; loading the page again\n", what);
        ReloadNow();
        return;
    }
    const unsigned pause = pause_.Next();
    std::fprintf(stderr, "raduvove: a page's engine process %s again soon after a reload; next try in %u s\n", what,
                 pause / 1000);
    waiting_ = true;
    owner_.SetTimer(timerId_, pause);
}

bool PageRecovery::OnTimer(unsigned id) {
    if (id != timerId_) return false;
    owner_.KillTimer(timerId_);
    if (waiting_) {
        waiting_ = false;
        ReloadNow();
    }
    return true;
}

void PageRecovery::Cancel() {
    if (!waiting_) return;
    waiting_ = false;
    owner_.KillTimer(timerId_);
}

void PageRecovery::ReloadNow() {
    lastReload_ = TickCountMs();
    if (reload_) reload_();
}

}  // namespace fw
