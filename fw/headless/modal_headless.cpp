// The headless desktop's modal loop: the test hook plays the user, then the loop delivers
// what is queued until the dialog ends. It can never hang a test: with nothing left to
// deliver nothing else can come, so it ends.
#include "fw/app.h"
#include "fw/backend.h"
#include "fw/headless/desktop.h"
#include "fw/headless/modal.h"

namespace fw::headless {

namespace {

struct ModalHooks {
    std::function<void(Window&)> hook;
    int started = 0;
};

ModalHooks& Hooks() {
    static ModalHooks h;
    return h;
}

}  // namespace

void OnModal(std::function<void(Window& dlg)> hook) { Hooks().hook = std::move(hook); }

void ResetModal() {
    Hooks().hook = nullptr;
    Hooks().started = 0;
}

int ModalLoopsStarted() { return Hooks().started; }

}  // namespace fw::headless

namespace fw::backend {

namespace {
// A bound far above any test's needs: a dialog that keeps posting to itself cannot spin
// for ever.
constexpr int kMaxRounds = 100000;
}  // namespace

void RunModalLoop(Window& dlg, const bool& ended) {
    const Handle h = dlg.handle();
    auto gone = [&] { return Window::FromHandle(h) == nullptr; };
    ++headless::Hooks().started;
    if (auto hook = headless::Hooks().hook) hook(dlg);  // a copy: the hook may replace itself
    for (int round = 0; round < kMaxRounds; ++round) {
        if (ended || gone() || QuitRequested()) return;
        if (headless::Pump(1) == 0) return;
    }
}

void WakeModalLoop() {}  // the loop looks at its flag after every delivery

}  // namespace fw::backend
