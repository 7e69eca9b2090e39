// Start-up of the Win32 back end and its message loops. Posted fw messages and work handed to
// the UI thread travel as messages to one message-only window, so the system's own modal
// loops (message boxes, menus) deliver them too, as they deliver every posted message.
#include "fw/win32/native.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include "fw/app.h"
#include "fw/dialog.h"
#include "fw/windows/gdiplus.h"
#include "fw/windows/services.h"

namespace fw::win32 {

namespace {

constexpr const wchar_t* kWakeClass = L"RaduVoveWake";
constexpr UINT kWakeMsg = WM_APP + 1;     // fw messages were posted
constexpr UINT kRunSoonMsg = WM_APP + 2;  // work was handed to the UI thread

std::atomic<HWND> g_wake{nullptr};  // made once at start-up; read by any thread
std::atomic<bool> g_wakePending{false};
std::mutex g_soonMutex;
std::deque<std::function<void()>> g_soon;
std::vector<Native*> g_graveyard;
int g_loopDepth = 0;

LRESULT CALLBACK WakeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kWakeMsg) {
        // Cleared first: a message posted while these are delivered wakes us again.
        g_wakePending = false;
        fw::detail::DispatchPosted();
        return 0;
    }
    if (msg == kRunSoonMsg) {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> l(g_soonMutex);
            batch.swap(g_soon);
        }
        for (auto& fn : batch) fn();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterClasses() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // Double clicks, and the whole window painted again when it is resized.
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = Instance();
    wc.hCursor = nullptr;  // the window's WM_SETCURSOR decides
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc)) return false;

    WNDCLASSEXW wake{};
    wake.cbSize = sizeof wake;
    wake.lpfnWndProc = WakeProc;
    wake.hInstance = Instance();
    wake.lpszClassName = kWakeClass;
    if (!RegisterClassExW(&wake)) return false;
    return RegisterBrowserHostClass() && RegisterPopupClass();
}

bool IsKeyMessage(UINT msg) {
    return msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP;
}

void FreeGraveyard() {
    for (Native* n : g_graveyard) delete n;
    g_graveyard.clear();
}

// A message got out of GetMessage: WM_QUIT ends this loop and is posted again for the loops
// around it.
bool Quitting(const MSG& m, BOOL got) {
    if (got > 0) return false;
    if (got == 0 && g_loopDepth > 1) PostQuitMessage(static_cast<int>(m.wParam));
    return true;
}

}  // namespace

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

bool EnsureStarted() {
    static const bool started = [] {
        // The browser control lives in a single-threaded apartment on the UI thread.
        OleInitialize(nullptr);
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_HOTKEY_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        windows::EnsureGdiplus();
        if (!RegisterClasses()) return false;
        g_wake = CreateWindowExW(0, kWakeClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(), nullptr);
        return g_wake.load() != nullptr;
    }();
    return started;
}

void RunSoon(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> l(g_soonMutex);
        g_soon.push_back(std::move(fn));
    }
    if (HWND wake = g_wake) PostMessageW(wake, kRunSoonMsg, 0, 0);
}

void ProcessMessage(MSG& m) {
    if (m.hwnd && IsKeyMessage(m.message)) {
        // A key for a control inside one of our windows (the browser's own windows, the
        // hot-key field): the window and its ancestors may take it first, as a dialog does
        // for its controls; then the window says how the browser control's accelerator
        // translation and the dispatch share it (Window::KeyForControl).
        Native* n = EnclosingNative(m.hwnd);
        if (n && n->hwnd != m.hwnd) {
            const bool dispatch = fw::detail::RouteControlKey(*n->owner, m.message, m.wParam, m.lParam,
                                                              [&m] { return BrowserTranslateAccelerator(m.hwnd, m); });
            if (!dispatch) return;
        } else if (!n && BrowserTranslateAccelerator(m.hwnd, m)) {
            return;  // a key of a pop-up's page, which the control's translation took
        }
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
}

void Bury(Native* n) {
    if (n) g_graveyard.push_back(n);
}

bool PumpUntil(const std::function<bool()>& until, unsigned timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    ++g_loopDepth;
    bool quit = false;
    while (!(until && until()) && !quit && !QuitRequested()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                quit = true;
                break;
            }
            ProcessMessage(m);
            if (until && until()) break;
        }
        if (g_loopDepth == 1) FreeGraveyard();
    }
    --g_loopDepth;
    return until && until();
}

}  // namespace fw::win32

namespace fw {

void InitPlatform(int& argc, char**& argv) {
    (void)argc;
    (void)argv;
    backend::InstallFontAliases();
    if (!win32::EnsureStarted()) return;
    // Trimming then reaches the processes of other users too where the user may do that
    // (administrators); silently nothing otherwise.
    windows::EnableDebugPrivilege();
    win32::ConfigureBrowserEngine();
}

}  // namespace fw

namespace fw::backend {

using namespace fw::win32;

void Wakeup() {
    if (g_wakePending.exchange(true)) return;
    HWND wake = g_wake;
    if (!wake || !PostMessageW(wake, kWakeMsg, 0, 0)) g_wakePending = false;
}

void RunLoop() {
    ++g_loopDepth;
    fw::detail::DispatchPosted();  // what was posted before the loop ran
    MSG m;
    while (!QuitRequested()) {
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (Quitting(m, got)) break;
        ProcessMessage(m);
        if (g_loopDepth == 1) FreeGraveyard();
    }
    --g_loopDepth;
}

void QuitLoop() {
    // Every loop ends: ours look at the quit request after each message, and WM_QUIT ends the
    // system's own (a message box still open answers as if closed).
    PostQuitMessage(ExitCode());
}

void RunModalLoop(Window& dlg, const bool& ended) {
    const Handle h = dlg.handle();
    auto over = [&] { return ended || !Alive(h) || QuitRequested(); };
    if (over()) return;
    // The windows fw/common says are disabled take no input: the system's own disabling,
    // which also keeps the activation on the modal window.
    std::vector<HWND> disabled;
    for (HWND top : TopLevelWindows()) {
        Native* n = NativeOfHwnd(top);
        if (n && fw::IsDisabled(*n->owner) && IsWindowEnabled(top)) {
            EnableWindow(top, FALSE);
            disabled.push_back(top);
        }
    }
    ++g_loopDepth;
    MSG m;
    while (!over()) {
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (Quitting(m, got)) break;
        ProcessMessage(m);
    }
    --g_loopDepth;
    // Enabled again before the dialog goes, so the activation can return to the owner.
    for (HWND w : disabled)
        if (IsWindow(w)) EnableWindow(w, TRUE);
}

void WakeModalLoop() {
    if (HWND wake = g_wake) PostMessageW(wake, WM_NULL, 0, 0);
}

}  // namespace fw::backend
