// The message loop's portable part: the main window, the exit code, and the UI thread's
// tick mark (fw/trace.h).
#include "fw/app.h"

#include <atomic>

#include "fw/backend.h"
#include "fw/trace.h"
#include "fw/window.h"

namespace fw {

namespace {
Window* g_main = nullptr;
std::atomic<bool> g_quit{false};
std::atomic<int> g_exitCode{0};
}  // namespace

std::string CommandLineTail(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) tail += ' ';
        tail += argv[i];
    }
    return tail;
}

void SetMainWindow(Window* w) { g_main = w; }
Window* MainWindow() { return g_main; }

int RunMessageLoop() {
    // The tick runs on the main window's timers, which every loop (modal ones too) delivers
    // on the UI thread; RouteInput marks it before any window sees it.
    if (const unsigned ms = TraceTickMs(); ms && g_main && g_main->IsWindow())
        g_main->SetTimer(detail::kTraceTickTimer, ms);
    if (!g_quit) backend::RunLoop();
    return g_exitCode;
}

void Quit(int code) {
    g_exitCode = code;
    g_quit = true;
    backend::QuitLoop();
}

bool QuitRequested() { return g_quit; }
int ExitCode() { return g_exitCode; }

}  // namespace fw

namespace fw::detail {
void ResetApp() {
    g_main = nullptr;
    g_quit = false;
    g_exitCode = 0;
}
}  // namespace fw::detail
