#pragma once
// What the Windows end-to-end tests share: a client program started in a folder of its own,
// its windows found among the desktop's, and what the user does played through the system's
// input (SendInput), as a user would, from outside the program.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shared/launcher_layout.h"

namespace e2e {

constexpr int kWidth = 1290, kHeight = 704;  // the launcher's skin
constexpr fw::Rect kCloseButton =
    shared::launcher_layout::ButtonRect(shared::launcher_layout::kClose);  // in the launcher's window
inline const wchar_t* const kExitCaption = L"\u9000\u51fa\u63d0\u793a";    // 退出提示
inline const wchar_t* const kWindowClass = L"RaduVoveWindow";
inline const wchar_t* const kLauncherCaption = L"LumoDrakmoor";

inline std::wstring Wide(const std::string& s) {
    std::wstring w(s.size(), L'\0');
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), static_cast<int>(w.size()));
    w.resize(n > 0 ? n : 0);
    return w;
}

inline std::string Narrow(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// A path of the build tree (a Unix path under Wine, which shows the root as drive Z:).
inline std::wstring BuildPath(const std::string& p) {
    std::wstring w = Wide(p);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return p.rfind('/', 0) == 0 ? L"Z:" + w : w;
}

inline bool WaitFor(const std::function<bool()>& cond, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!cond()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

// The windows of a process, top-level ones and (with children) their descendants, that match
// the class and caption given (null: any), in the desktop's z-order.
inline std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* cls, const wchar_t* caption, bool visibleOnly,
                                   bool children = false) {
    struct Search {
        DWORD pid;
        const wchar_t* cls;
        const wchar_t* caption;
        bool visibleOnly;
        std::vector<HWND> found;
        static BOOL CALLBACK Match(HWND h, LPARAM lp) {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != s->pid || (s->visibleOnly && !IsWindowVisible(h))) return TRUE;
            wchar_t buf[512] = {};
            GetClassNameW(h, buf, 512);
            if (s->cls && std::wstring(buf) != s->cls) return TRUE;
            GetWindowTextW(h, buf, 512);
            if (s->caption && std::wstring(buf) != s->caption) return TRUE;
            s->found.push_back(h);
            return TRUE;
        }
    } search{pid, cls, caption, visibleOnly, {}};
    if (!children) {
        EnumWindows(Search::Match, reinterpret_cast<LPARAM>(&search));
    } else {
        std::vector<HWND> tops;
        EnumWindows(
            [](HWND h, LPARAM lp) -> BOOL {
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&tops));
        for (HWND top : tops) EnumChildWindows(top, Search::Match, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

inline HWND FindWindowOf(DWORD pid, const wchar_t* cls, const wchar_t* caption, bool visibleOnly) {
    const std::vector<HWND> found = WindowsOf(pid, cls, caption, visibleOnly);
    return found.empty() ? nullptr : found.front();
}

inline std::wstring TextOf(HWND h) {
    wchar_t buf[1024] = {};
    GetWindowTextW(h, buf, 1024);
    return buf;
}

inline RECT RectOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}

inline void SendKey(WORD vk, bool alt = false) {
    std::vector<INPUT> in;
    auto key = [&in](WORD k, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(k, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (alt) key(VK_MENU, false);
    key(vk, false);
    key(vk, true);
    if (alt) key(VK_MENU, true);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

inline void ClickAt(POINT p) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[4] = {};
    for (INPUT& i : in) i.type = INPUT_MOUSE;
    in[0].mi.dwFlags = in[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[0].mi.dx = in[1].mi.dx = static_cast<LONG>((p.x * 65535LL + w / 2) / (w - 1));
    in[0].mi.dy = in[1].mi.dy = static_cast<LONG>((p.y * 65535LL + h / 2) / (h - 1));
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[3].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));  // there, and hovering
    Sleep(100);
    SendInput(2, in + 2, sizeof(INPUT));
}

inline POINT Centre(HWND h) {
    const RECT r = RectOf(h);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The program in a folder of its own (with the files given copied beside it), ended at the
// end of the test if it still runs.
class Client {
public:
    explicit Client(const std::string& exe, const std::vector<std::string>& besides = {}) {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        // Wine hands out process ids again between runs: the tick count makes the name unique.
        dir_ = std::wstring(tmp) + L"rv-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64());
        CreateDirectoryW(dir_.c_str(), nullptr);
        exe_ = dir_ + L"\\raduvove.exe";
        copied_ = CopyFileW(BuildPath(exe).c_str(), exe_.c_str(), FALSE) != FALSE;
        for (const std::string& file : besides) {
            const std::wstring from = BuildPath(file);
            const std::wstring to = dir_ + from.substr(from.find_last_of(L'\\'));
            copied_ = copied_ && CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
            files_.push_back(to);
        }
    }
    ~Client() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
            WaitForSingleObject(pi_.hProcess, 5000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        for (const std::wstring& f : files_) DeleteFileW(f.c_str());
        DeleteFileW(Ini().c_str());
        DeleteFileW(exe_.c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    bool copied() const { return copied_; }
    const std::wstring& dir() const { return dir_; }
    // A file of the program's folder, removed with it.
    std::wstring File(const wchar_t* name) {
        files_.push_back(dir_ + L"\\" + name);
        return files_.back();
    }
    std::wstring Ini() const { return dir_ + L"\\static.ini"; }
    void WriteIni(const std::string& text) {
        HANDLE f = CreateFileW(Ini().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(f);
    }
    std::wstring IniValue(const wchar_t* key) const {
        wchar_t buf[260] = {};
        GetPrivateProfileStringW(L"dmor", key, L"<none>", buf, 260, Ini().c_str());
        return buf;
    }

    bool Start(const std::wstring& tail) {
        std::wstring cmd = L"\"" + exe_ + L"\"" + tail;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        return CreateProcessW(exe_.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &si, &pi_) !=
               FALSE;
    }
    DWORD pid() const { return pi_.dwProcessId; }
    bool Running() const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit code once it has ended within `ms`; nullopt while it still runs.
    std::optional<DWORD> ExitCode(DWORD ms) const {
        if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    // The launcher: the layered one of the client's windows of its caption (the game window
    // has the same caption).
    HWND Launcher(bool visibleOnly = true) const { return ClientWindow(visibleOnly, true); }
    HWND GameWindow() const { return ClientWindow(true, false); }
    // The exit prompt, once it shows.
    HWND ExitPrompt() const { return FindWindowOf(pid(), L"#32770", kExitCaption, true); }

private:
    HWND ClientWindow(bool visibleOnly, bool layered) const {
        for (HWND h : WindowsOf(pid(), kWindowClass, kLauncherCaption, visibleOnly))
            if (((GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED) != 0) == layered) return h;
        return nullptr;
    }

    std::wstring dir_, exe_;
    std::vector<std::wstring> files_;
    bool copied_ = false;
    PROCESS_INFORMATION pi_{};
};

}  // namespace e2e
