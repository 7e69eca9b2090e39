// raduvove.exe from outside, as a user meets it: started in a folder of its own with the
// static.ini of a first start, its launcher found among the desktop's windows, the boss key
// pressed and the exit prompt answered through the system's input. (Under Wine the launcher's
// page never loads, so the page dialog stays hidden; the launcher itself does not need it.)
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace {

constexpr int kWidth = 1290, kHeight = 704;          // the launcher's skin
constexpr RECT kCloseButton{1094, 124, 1129, 158};    // in the launcher's window
const wchar_t* const kExitCaption = L"\u9000\u51fa\u63d0\u793a";  // 退出提示

std::wstring Wide(const std::string& s) {
    std::wstring w(s.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), static_cast<int>(w.size()));
    w.resize(n > 0 ? n : 0);
    return w;
}

// A path of the build tree (a Unix path under Wine, which shows the root as drive Z:).
std::wstring BuildPath(const std::string& p) {
    std::wstring w = Wide(p);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return p.rfind('/', 0) == 0 ? L"Z:" + w : w;
}

bool WaitFor(const std::function<bool()>& cond, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!cond()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

struct Found {
    DWORD pid;
    const wchar_t* cls;
    const wchar_t* caption;
    bool visibleOnly;
    HWND hwnd;
};

HWND FindWindowOf(DWORD pid, const wchar_t* cls, const wchar_t* caption, bool visibleOnly) {
    Found f{pid, cls, caption, visibleOnly, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* f = reinterpret_cast<Found*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != f->pid || (f->visibleOnly && !IsWindowVisible(h))) return TRUE;
            wchar_t buf[256] = {};
            GetClassNameW(h, buf, 256);
            if (f->cls && std::wstring(buf) != f->cls) return TRUE;
            GetWindowTextW(h, buf, 256);
            if (f->caption && std::wstring(buf) != f->caption) return TRUE;
            f->hwnd = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.hwnd;
}

void SendKey(WORD vk) {
    INPUT in[2] = {};
    for (INPUT& i : in) {
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    }
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

void ClickAt(POINT p) {
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

POINT Centre(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The program in a folder of its own, ended at the end of the test if it still runs.
class Client {
public:
    Client() {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        // Wine hands out process ids again between runs: the tick count makes the name unique.
        dir_ = std::wstring(tmp) + L"rv-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64());
        CreateDirectoryW(dir_.c_str(), nullptr);
        exe_ = dir_ + L"\\raduvove.exe";
        copied_ = CopyFileW(BuildPath(RV_CLIENT_EXE).c_str(), exe_.c_str(), FALSE) != FALSE;
    }
    ~Client() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
            WaitForSingleObject(pi_.hProcess, 5000);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        DeleteFileW(Ini().c_str());
        DeleteFileW(exe_.c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    bool copied() const { return copied_; }
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
    HWND Launcher(bool visibleOnly = true) const {
        return FindWindowOf(pid(), L"RaduVoveWindow", L"LumoDrakmoor", visibleOnly);
    }

private:
    std::wstring dir_, exe_;
    bool copied_ = false;
    PROCESS_INFORMATION pi_{};
};

// A first start: the file the platform put there before it, with the pages pointed at a
// port where nothing listens (no request leaves the machine).
constexpr const char* kFirstStartIni =
    "[dmor]\r\nfilename=abc_xyz.exe\r\n[hosts]\r\nportal=127.0.0.1:9\r\ngame=127.0.0.1:9\r\n"
    "pay=127.0.0.1:9\r\nforum=127.0.0.1:9\r\ncs=127.0.0.1:9\r\n";

}  // namespace

TEST(LauncherE2E, FirstStartCentresTheLauncherBossKeyHidesItAndOkOnTheExitPromptEndsIt) {
    Client client;
    ASSERT_TRUE(client.copied());
    client.WriteIni(kFirstStartIni);
    ASSERT_TRUE(client.Start(L""));

    HWND launcher = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (launcher = client.Launcher()) != nullptr; }, 30000));
    RECT r{};
    GetWindowRect(launcher, &r);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(r.left, (sw - kWidth) / 2);
    EXPECT_EQ(r.top, (sh - kHeight) / 2);
    EXPECT_EQ(r.right - r.left, kWidth);
    EXPECT_EQ(r.bottom - r.top, kHeight);
    EXPECT_TRUE(GetWindowLongW(launcher, GWL_EXSTYLE) & WS_EX_LAYERED);

    // The one-time derivation written back.
    EXPECT_EQ(client.IniValue(L"start"), L"1");
    EXPECT_EQ(client.IniValue(L"uid"), L"abc");
    EXPECT_EQ(client.IniValue(L"filename"), L"xyz");

    // The boss key (F10 when static.ini names none) hides the launcher and brings it back.
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(launcher); }, 10000));
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(launcher) != FALSE; }, 10000));

    // The close button asks first; OK ends the program with exit code 0.
    ClickAt({r.left + (kCloseButton.left + kCloseButton.right) / 2, r.top + (kCloseButton.top + kCloseButton.bottom) / 2});
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (prompt = FindWindowOf(client.pid(), L"#32770", kExitCaption, true)) != nullptr; },
                        10000));
    EXPECT_TRUE(client.Running());  // the prompt alone ends nothing
    HWND ok = GetDlgItem(prompt, IDOK);
    ASSERT_TRUE(ok);
    ClickAt(Centre(ok));
    const std::optional<DWORD> code = client.ExitCode(15000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(LauncherE2E, HiddenStartShowsNothingUntilTheBossKeyAndCancelKeepsItRunning) {
    Client client;
    ASSERT_TRUE(client.copied());
    client.WriteIni("[dmor]\r\nstart=1\r\nfilename=xyz\r\nuid=abc\r\n[hosts]\r\nportal=127.0.0.1:9\r\n");
    ASSERT_TRUE(client.Start(L"  -hh\t"));  // the switch with blanks around it

    HWND launcher = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (launcher = client.Launcher(false)) != nullptr; }, 30000));
    Sleep(500);
    EXPECT_FALSE(IsWindowVisible(launcher));
    // A later start takes the values as they stand.
    EXPECT_EQ(client.IniValue(L"filename"), L"xyz");

    SendKey(VK_F10);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(launcher) != FALSE; }, 10000));
    RECT r{};
    GetWindowRect(launcher, &r);
    ClickAt({r.left + (kCloseButton.left + kCloseButton.right) / 2, r.top + (kCloseButton.top + kCloseButton.bottom) / 2});
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (prompt = FindWindowOf(client.pid(), L"#32770", kExitCaption, true)) != nullptr; },
                        10000));
    ClickAt(Centre(GetDlgItem(prompt, IDCANCEL)));
    EXPECT_TRUE(WaitFor([&] { return FindWindowOf(client.pid(), L"#32770", kExitCaption, true) == nullptr; }, 10000));
    Sleep(300);
    EXPECT_TRUE(client.Running());
    EXPECT_TRUE(IsWindowVisible(launcher));
    // Closed from outside (the taskbar's close): no prompt, and the same clean end.
    PostMessageW(launcher, WM_SYSCOMMAND, SC_CLOSE, 0);
    const std::optional<DWORD> code = client.ExitCode(15000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}
