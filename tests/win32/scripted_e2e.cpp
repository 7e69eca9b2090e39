// Over 500 lines: four end-to-end scenarios, each a long story through the real client.
// The Windows client's page paths under Wine: raduvove.exe's own code with the scripted browser
// control (scripted/), its pages served by the local portal (RV_TEST_PORTAL) and their script
// played from here, what the user does through the system's input. The cases follow the Linux
// end-to-end cases of the same names: the launcher page and its dialog, the game window and
// its keys, leaving the game, the pages' new windows, the payment window, the customer
// service with the real chat library, and the boss key over all of them. Each case ends the
// client through its exit prompt and checks that the client gave every page object back.
#include "e2e_support.h"

#include <shlobj.h>  // the NWMF_ flags of a new window
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>

#include "fw/shell.h"
#include "scripted/scripted_control.h"

using namespace e2e;

namespace {

constexpr fw::Rect kWebArea = shared::launcher_layout::kWebArea;  // the page dialog's place in the launcher
constexpr int kTitleRow = 20;                                     // the game window's title-bar buttons, from the top
constexpr const char* kUid = "U7";

std::string Env(const char* name) {
    char buf[512] = {};
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

// The portal's answer to a request (POST when `form` is given), or nullopt without one.
std::optional<std::string> Http(const std::string& path, const std::optional<std::string>& form = std::nullopt) {
    const std::wstring url = Wide("http://" + Env("RV_TEST_PORTAL") + path);
    HINTERNET net = InternetOpenW(L"rv-e2e", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!net) return std::nullopt;
    URL_COMPONENTSW cracked{};
    cracked.dwStructSize = sizeof cracked;
    wchar_t host[256] = {}, object[2048] = {};
    cracked.lpszHostName = host;
    cracked.dwHostNameLength = 256;
    cracked.lpszUrlPath = object;
    cracked.dwUrlPathLength = 2048;
    std::optional<std::string> body;
    if (InternetCrackUrlW(url.c_str(), 0, 0, &cracked)) {
        HINTERNET conn = InternetConnectW(net, host, cracked.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        HINTERNET req =
            conn ? HttpOpenRequestW(conn, form ? L"POST" : L"GET", object, nullptr, nullptr, nullptr,
                                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES, 0)
                 : nullptr;
        const wchar_t* type = L"Content-Type: application/x-www-form-urlencoded\r\n";
        if (req && HttpSendRequestW(req, form ? type : nullptr, form ? -1L : 0,
                                    form ? const_cast<char*>(form->data()) : nullptr,
                                    form ? static_cast<DWORD>(form->size()) : 0)) {
            std::string text;
            char buf[8192];
            DWORD got = 0;
            while (InternetReadFile(req, buf, sizeof buf, &got) && got > 0) text.append(buf, got);
            body = text;
        }
        if (req) InternetCloseHandle(req);
        if (conn) InternetCloseHandle(conn);
    }
    InternetCloseHandle(net);
    return body;
}

std::string UrlEncode(const std::string& s) {
    std::string out;
    char hex[4];
    for (unsigned char c : s) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// The client of a case: the program with the scripted control, SupportIM.dll beside it, every
// host of static.ini on the portal, and the log of its pages.
class Scripted {
public:
    Scripted() : client_(RV_SCRIPTED_EXE, {RV_SUPPORT_IM}) {
        host_ = Env("RV_TEST_PORTAL");
        log_ = client_.File(L"pages.log");
        browserLog_ = client_.File(L"browser.log");
    }

    // Started with every host on the portal, or on `host` when one is given.
    bool Start(const std::string& host = {}) {
        if (!host.empty()) host_ = host;
        if (!client_.copied() || host_.empty()) return false;
        std::string ini = std::string("[dmor]\r\nstart=1\r\nuid=") + kUid + "\r\nfilename=S9\r\n[hosts]\r\n";
        for (const char* key : {"portal", "game", "pay", "forum", "cs"}) ini += std::string(key) + "=" + host_ + "\r\n";
        client_.WriteIni(ini);
        SetEnvironmentVariableW(L"RV_PAGE_LOG", log_.c_str());
        SetEnvironmentVariableW(L"RV_BROWSER_LOG", browserLog_.c_str());
        return client_.Start(L"");
    }

    // A case that failed shows what its pages went through, and the client's windows.
    ~Scripted() {
        if (!::testing::Test::HasFailure()) return;
        std::printf("-- the pages' log:\n");
        for (const std::string& line : PageLog()) std::printf("   %s\n", line.c_str());
        std::printf("-- the client's windows:\n");
        std::vector<HWND> all = WindowsOf(client_.pid(), nullptr, nullptr, false);
        for (HWND h : WindowsOf(client_.pid(), kWindowClass, nullptr, false, true)) all.push_back(h);
        for (HWND h : all) {
            wchar_t cls[128] = {};
            GetClassNameW(h, cls, 128);
            const RECT r = RectOf(h);
            std::printf("   %s \"%s\" %s %ld,%ld-%ld,%ld\n", Narrow(cls).c_str(), Narrow(TextOf(h)).c_str(),
                        IsWindowVisible(h) ? "shown" : "hidden", r.left, r.top, r.right, r.bottom);
        }
    }

    Client& client() { return client_; }
    const std::string& host() const { return host_; }
    std::string Base() const { return "http://" + host_; }

    std::vector<std::string> Lines(const std::wstring& file) const {
        std::vector<std::string> out;
        HANDLE f = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return out;
        std::string text;
        char buf[16384];
        DWORD got = 0;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
        CloseHandle(f);
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    std::vector<std::string> PageLog() const { return Lines(log_); }
    std::vector<std::string> BrowserLog() const { return Lines(browserLog_); }
    // The lines of the page log that hold every one of the pieces given.
    std::size_t Count(std::initializer_list<std::string> pieces, std::size_t from = 0) const {
        const std::vector<std::string> lines = PageLog();
        std::size_t n = 0;
        for (std::size_t i = from; i < lines.size(); ++i) {
            bool all = true;
            for (const std::string& p : pieces) all = all && lines[i].find(p) != std::string::npos;
            n += all;
        }
        return n;
    }
    bool WaitLog(std::initializer_list<std::string> pieces, DWORD ms, std::size_t from = 0) const {
        return WaitFor([&] { return Count(pieces, from) > 0; }, ms);
    }
    std::size_t LogSize() const { return PageLog().size(); }

    // The page window of the control whose address holds `piece` (in the window `root`, when
    // one is given).
    HWND Page(const std::string& piece, HWND root = nullptr) const {
        for (HWND h : WindowsOf(client_.pid(), scripted::kPageClass, nullptr, false, true))
            if (Narrow(TextOf(h)).find(piece) != std::string::npos && (!root || GetAncestor(h, GA_ROOT) == root))
                return h;
        return nullptr;
    }
    // The page's script: one command line (scripted_control.h).
    LRESULT Script(HWND page, const std::string& line) const {
        COPYDATASTRUCT cds{scripted::kScriptCommand, static_cast<DWORD>(line.size()), const_cast<char*>(line.data())};
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(page, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, 10000, &answer);
        return static_cast<LRESULT>(answer);
    }

    HWND GameWindow() const { return client_.GameWindow(); }

    // The launcher page loaded and its dialog over the launcher's web area.
    void ExpectLauncherPage() {
        HWND launcher = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (launcher = client_.Launcher()) != nullptr; }, 30000));
        ASSERT_TRUE(WaitLog({"loaded " + Base() + "/game/s/dmor/"}, 20000)) << "the launcher page";
        HWND page = Page("/game/s/dmor/");
        ASSERT_TRUE(page);
        launcherPage_ = page;
        HWND dialog = GetAncestor(page, GA_ROOT);
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(dialog) != FALSE; }, 10000)) << "the page dialog shown";
        const RECT l = RectOf(launcher), d = RectOf(dialog);
        EXPECT_EQ(d.left - l.left, kWebArea.left);
        EXPECT_EQ(d.top - l.top, kWebArea.top);
        EXPECT_EQ(d.right - d.left, kWebArea.right - kWebArea.left);
        EXPECT_EQ(d.bottom - d.top, kWebArea.bottom - kWebArea.top);
    }

    // Alt+F4 in the launcher's page asks; Return on its OK ends the program, which then gave
    // back every object of its pages.
    void ExitThroughThePrompt() {
        ASSERT_TRUE(client_.Launcher());
        HWND page = launcherPage_;  // wherever its links took it
        ASSERT_TRUE(IsWindow(page));
        SetForegroundWindow(GetAncestor(page, GA_ROOT));
        ClickAt(Centre(page));
        SendKey(VK_F4, true);
        HWND prompt = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (prompt = client_.ExitPrompt()) != nullptr; }, 10000));
        EXPECT_EQ(GetForegroundWindow(), prompt) << "the exit prompt takes the keys";
        SendKey(VK_RETURN);
        const std::optional<DWORD> code = client_.ExitCode(20000);
        ASSERT_TRUE(code.has_value()) << "Return on the exit prompt ended nothing";
        EXPECT_EQ(*code, 0u) << "3: the client kept or over-released an object of its pages";
    }

private:
    Client client_;
    std::string host_;
    std::wstring log_, browserLog_;
    HWND launcherPage_ = nullptr;
};

// The desktop's default browser for web addresses, for as long as it lives: the stub that notes
// each address in RV_BROWSER_LOG. (The machine's classes: Wine's shell reads those.)
class DefaultBrowser {
public:
    DefaultBrowser() {
        const std::wstring command = L"\"" + BuildPath(RV_BROWSER_LOG_EXE) + L"\" \"%1\"";
        for (const wchar_t* scheme : {L"http", L"https"}) {
            const std::wstring key = std::wstring(L"Software\\Classes\\") + scheme + L"\\shell\\open\\command";
            HKEY k = nullptr;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                nullptr, &k, nullptr) != ERROR_SUCCESS)
                continue;
            wchar_t old[1024] = {};
            DWORD size = sizeof old;
            const bool had =
                RegQueryValueExW(k, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
            saved_.push_back({key, had ? std::optional<std::wstring>(old) : std::nullopt});
            SetDefault(k, command);
            RegCloseKey(k);
        }
    }
    ~DefaultBrowser() {
        for (const auto& [key, value] : saved_) {
            HKEY k = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) continue;
            if (value)
                SetDefault(k, *value);
            else
                RegDeleteValueW(k, nullptr);
            RegCloseKey(k);
        }
    }

private:
    static void SetDefault(HKEY k, const std::wstring& v) {
        RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                       static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    }
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

// The client's window that holds a page: the page dialog, the game window, or a side window
// (a child of the game window).
HWND Holder(HWND page) {
    for (HWND h = GetParent(page); h; h = GetParent(h)) {
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        if (std::wstring(cls) == kWindowClass) return h;
    }
    return nullptr;
}

// A digest of what the screen shows in a rectangle.
std::uint64_t ScreenDigest(const RECT& r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    std::uint64_t digest = 1469598103934665603ull;
    const auto* p = static_cast<const unsigned char*>(bits);
    for (int i = 0; bits && i < w * h * 4; ++i) digest = (digest ^ p[i]) * 1099511628211ull;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return digest;
}

// How often what a rectangle of the screen shows changes in `ms`.
int Changes(const RECT& r, DWORD ms) {
    int changes = 0;
    std::uint64_t last = ScreenDigest(r);
    for (const ULONGLONG end = GetTickCount64() + ms; GetTickCount64() < end; Sleep(40)) {
        const std::uint64_t now = ScreenDigest(r);
        changes += now != last;
        last = now;
    }
    return changes;
}

// A point of a title-bar button of the game window, on the screen: payment 75 wide, return 65,
// clear cache 75, boss key 65 (5 apart), then minimise, maximise and close, 25 each.
POINT TitleButton(HWND game, const std::string& name) {
    const RECT r = RectOf(game);
    const std::pair<const char*, int> steps[] = {{"pay", 0},          {"return", 75 + 5}, {"clear", 65 + 5},
                                                 {"bosskey", 75 + 5}, {"min", 65 + 8},    {"max", 25 + 3},
                                                 {"close", 25 + 3}};
    int left = r.right - r.left - 391;
    for (const auto& [button, step] : steps) {
        left += step;
        if (name == button) break;
    }
    return {r.left + left + 10, r.top + kTitleRow};
}

}  // namespace

TEST(ScriptedE2E, PageAppearsAfterLoadGameOpensMaximisedAndLeavingItRefreshesTheLauncherPage) {
    Scripted s;
    ASSERT_TRUE(s.Start());
    s.ExpectLauncherPage();
    // The page's user name, read from its span "usr" once the page loaded.
    EXPECT_TRUE(s.WaitLog({"read span#usr \xE7\x8E\xA9\xE5\xAE\xB6U7"}, 5000));  // 玩家U7

    // The launcher's close button asks, and the page stays over the launcher meanwhile (the
    // desktop's z-order: EnumWindows goes from the top); Escape keeps everything.
    HWND launcher = s.client().Launcher();
    const RECT l = RectOf(launcher);
    ClickAt(
        {l.left + (kCloseButton.left + kCloseButton.right) / 2, l.top + (kCloseButton.top + kCloseButton.bottom) / 2});
    ASSERT_TRUE(WaitFor([&] { return s.client().ExitPrompt() != nullptr; }, 10000));
    const HWND dialog = GetAncestor(s.Page("/game/s/dmor/"), GA_ROOT);
    const std::vector<HWND> order = WindowsOf(s.client().pid(), nullptr, nullptr, true);
    const auto at = [&order](HWND h) { return std::find(order.begin(), order.end(), h) - order.begin(); };
    EXPECT_LT(at(dialog), at(launcher)) << "the page went under the launcher while the prompt is up";
    SendKey(VK_ESCAPE);
    ASSERT_TRUE(WaitFor([&] { return s.client().ExitPrompt() == nullptr; }, 5000));

    // Keys in the launcher's page: F5 and Escape never reach the page; Backspace reaches it
    // without the control's accelerators (which would take the page back).
    HWND page = s.Page("/game/s/dmor/");
    ClickAt(Centre(page));
    std::size_t mark = s.LogSize();
    for (WORD vk : {WORD{VK_F5}, WORD{VK_ESCAPE}, WORD{VK_BACK}, WORD{'A'}}) SendKey(vk);
    ASSERT_TRUE(s.WaitLog({"key page 65"}, 5000, mark));
    EXPECT_EQ(s.Count({"key accel 65"}, mark), 1u);
    EXPECT_EQ(s.Count({"key page 8"}, mark), 1u);
    EXPECT_EQ(s.Count({"key accel 8"}, mark), 0u);
    EXPECT_EQ(s.Count({"key", " 116"}, mark), 0u);
    EXPECT_EQ(s.Count({"key", " 27"}, mark), 0u);
    EXPECT_EQ(s.Count({"refresh"}, mark), 0u);

    // A server entry: OpenGame opens the game window maximised on the work area, with the
    // server in its title, and the launcher goes.
    const std::string gameUrl = s.Base() + "/game/play/?server=S7&uid=U7";
    mark = s.LogSize();
    EXPECT_EQ(s.Script(page, "external\tWD_JAPI\ts:OpenGame\ts:" + gameUrl + "|x|S7 \xE8\x8B\x8D\xE7\xA9\xB9"), S_OK);
    HWND game = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (game = s.GameWindow()) != nullptr; }, 15000));
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_TRUE(WaitFor(
        [&] {
            const RECT r = RectOf(game);
            return EqualRect(&r, &work) != FALSE;
        },
        5000));
    EXPECT_TRUE(WaitFor([&] { return s.client().Launcher() == nullptr; }, 5000)) << "the launcher hidden";
    ASSERT_TRUE(s.WaitLog({"loaded " + gameUrl}, 15000, mark));

    // F9 loads the game page again; Escape never reaches it.
    HWND gamePage = s.Page("/game/play/");
    ASSERT_TRUE(gamePage);
    ClickAt(Centre(gamePage));
    mark = s.LogSize();
    SendKey(VK_ESCAPE);
    SendKey(VK_F9);
    EXPECT_TRUE(s.WaitLog({"navigate " + gameUrl}, 5000, mark));
    EXPECT_EQ(s.Count({"key", " 27"}, mark), 0u);

    // Alt+F4 leaves the game: the launcher comes back and its page is asked for again, and no
    // second game window opens.
    mark = s.LogSize();
    SendKey(VK_F4, true);
    EXPECT_TRUE(WaitFor([&] { return s.GameWindow() == nullptr && s.client().Launcher() != nullptr; }, 10000));
    EXPECT_TRUE(s.WaitLog({"reloaded " + s.Base() + "/game/s/dmor/"}, 10000, mark));
    Sleep(500);
    EXPECT_EQ(s.GameWindow(), nullptr);

    // In again, and out with the return button and OK.
    page = s.Page("/game/s/dmor/");
    s.Script(page, "external\tWD_JAPI\ts:OpenGame\ts:" + gameUrl + "|x|S7");
    ASSERT_TRUE(WaitFor([&] { return (game = s.GameWindow()) != nullptr; }, 15000));
    Sleep(500);
    mark = s.LogSize();
    ClickAt(TitleButton(game, "return"));
    HWND prompt = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return (prompt = FindWindowOf(s.client().pid(), L"#32770", nullptr, true)) != nullptr; }, 10000));
    EXPECT_EQ(GetForegroundWindow(), prompt);
    SendKey(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return s.GameWindow() == nullptr && s.client().Launcher() != nullptr; }, 10000));
    EXPECT_TRUE(s.WaitLog({"reloaded " + s.Base() + "/game/s/dmor/"}, 10000, mark));

    // The title bar's close button asks the same, and Escape plays on; the system's close from
    // outside (the taskbar's) leaves the game without asking.
    s.Script(page, "external\tWD_JAPI\ts:OpenGame\ts:" + gameUrl + "|x|S7");
    ASSERT_TRUE(WaitFor([&] { return (game = s.GameWindow()) != nullptr; }, 15000));
    Sleep(500);
    ClickAt(TitleButton(game, "close"));
    ASSERT_TRUE(WaitFor([&] { return (prompt = s.client().ExitPrompt()) != nullptr; }, 10000));
    SendKey(VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return s.client().ExitPrompt() == nullptr; }, 5000));
    Sleep(300);
    EXPECT_EQ(s.GameWindow(), game);
    mark = s.LogSize();
    PostMessageW(game, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitFor([&] { return s.GameWindow() == nullptr && s.client().Launcher() != nullptr; }, 10000));
    EXPECT_TRUE(s.WaitLog({"reloaded " + s.Base() + "/game/s/dmor/"}, 10000, mark));
    EXPECT_EQ(s.client().ExitPrompt(), nullptr);

    s.ExitThroughThePrompt();
}

TEST(ScriptedE2E, PortalDownTheLauncherPageIsAskedForAgainAndItsDialogStaysHidden) {
    Scripted s;
    ASSERT_TRUE(s.Start("127.0.0.1:9"));  // nothing listens there
    HWND launcher = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (launcher = s.client().Launcher()) != nullptr; }, 30000));
    // The first load fails, and the page is asked for again after a pause.
    ASSERT_TRUE(WaitFor([&] { return s.Count({"error http://127.0.0.1:9/game/s/dmor/"}) >= 2; }, 15000));
    HWND page = s.Page("/game/s/dmor/");
    ASSERT_TRUE(page);
    EXPECT_FALSE(IsWindowVisible(GetAncestor(page, GA_ROOT))) << "the page dialog showed without its page";
    // Nothing is blocked meanwhile: the boss key hides and shows the launcher.
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(launcher); }, 5000));
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(launcher) != FALSE; }, 5000));
    PostMessageW(launcher, WM_SYSCOMMAND, SC_CLOSE, 0);
    const std::optional<DWORD> code = s.client().ExitCode(20000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(ScriptedE2E, BlankTargetLinksGoToTheDefaultBrowserAndGamePagePopUpsStayWithinLimits) {
    DefaultBrowser browser;
    Scripted s;
    ASSERT_TRUE(s.Start());
    s.ExpectLauncherPage();
    HWND page = s.Page("/game/s/dmor/");
    const unsigned kClick = unsigned{NWMF_USERINITED} | unsigned{NWMF_FIRST};

    // A click on a link of the launcher page that opens a window: the address goes to the
    // default browser, and the control opens nothing of its own.
    const std::string news = s.Base() + "/news/2";
    EXPECT_EQ(s.Script(page, "newwindow\t" + news + "\t" + std::to_string(kClick)), 1);
    ASSERT_TRUE(WaitFor([&] { return s.BrowserLog().size() == 1; }, 10000)) << "the default browser started";
    EXPECT_EQ(s.BrowserLog()[0], news);
    // Windows nobody asked for, a second window of one click, and an address that is no web
    // address: refused.
    for (const std::string& line :
         std::vector<std::string>{"newwindow\t" + news + "?no-click\t0",
                                  "newwindow\t" + news + "?second\t" + std::to_string(NWMF_USERINITED),
                                  "newwindow\tfile:///C:/windows/win.ini\t" + std::to_string(kClick)})
        EXPECT_EQ(s.Script(page, line), 1) << line;
    // A client link with "client=1" in a new window sets the game's address and opens nothing.
    EXPECT_EQ(s.Script(page, "newwindow\t" + s.Base() + "/game/play/?server=S8&client=1\t" + std::to_string(kClick)),
              1);
    Sleep(1500);
    EXPECT_EQ(s.BrowserLog().size(), 1u);
    EXPECT_EQ(s.GameWindow(), nullptr);

    // A link with "client = 1" followed in the page opens the game at that address.
    const std::string link = s.Base() + "/game/play/?server=S8&client = 1";
    std::size_t mark = s.LogSize();
    s.Script(page, "navigate\t" + link);
    HWND game = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (game = s.GameWindow()) != nullptr; }, 15000));
    HWND gamePage = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (gamePage = s.Page("/game/play/?server=S8", game)) != nullptr; }, 10000));
    ASSERT_TRUE(s.WaitLog({"loaded " + s.Base() + "/game/play/?server=S8"}, 15000, mark));

    // The game page's own windows: a click opens a pop-up of the game window with the page in
    // it; a storm of 200 opens no more than the limit allows.
    Sleep(fw::kPageOpenWindowMs);  // the launcher page's window above counts against the limit
    mark = s.LogSize();
    EXPECT_EQ(s.Script(gamePage, "newwindow\t" + news + "\t" + std::to_string(kClick)), 0);
    HWND popup = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (popup = FindWindowOf(s.client().pid(), L"RaduVovePopup", nullptr, true)) != nullptr; }, 10000));
    EXPECT_EQ(GetWindow(popup, GW_OWNER), game);
    EXPECT_TRUE(s.WaitLog({"loaded " + news}, 10000, mark));
    EXPECT_EQ(s.Count({"own-window"}, mark), 0u);
    for (int i = 0; i < 200; ++i)
        s.Script(gamePage, "newwindow\t" + news + "?storm=" + std::to_string(i) + "\t" + std::to_string(kClick));
    Sleep(1000);
    EXPECT_EQ(WindowsOf(s.client().pid(), L"RaduVovePopup", nullptr, true).size(),
              static_cast<size_t>(fw::kPageOpenBurst));
    EXPECT_EQ(s.BrowserLog().size(), 1u);

    // Leaving the game closes its pop-ups with it.
    SetForegroundWindow(game);
    ClickAt(Centre(gamePage));
    SendKey(VK_F4, true);
    EXPECT_TRUE(WaitFor([&] { return s.GameWindow() == nullptr && s.client().Launcher() != nullptr; }, 10000));
    EXPECT_TRUE(WindowsOf(s.client().pid(), L"RaduVovePopup", nullptr, false).empty());
    s.ExitThroughThePrompt();
}

TEST(ScriptedE2E, PaymentAccountAndVipWindowsWithTheChatLibraryAndTheBossKeyOverThemAll) {
    Scripted s;
    ASSERT_TRUE(s.Start());
    s.ExpectLauncherPage();
    HWND page = s.Page("/game/s/dmor/");
    // What the launcher page tells the client: the account is not bound, where to pay, and the
    // customer-service list (the one the portal gives this page's script).
    const std::string payUrl = s.Base() + "/pay/?g=dmor&uid=U7";
    s.Script(page, "external\tWD_JAPI\ts:ShowBindBtn");
    s.Script(page, "external\tWD_JAPI\ts:openPay\ts:" + payUrl);
    const std::optional<std::string> html = Http("/game/s/dmor/?uid=U7&suid=S9");
    ASSERT_TRUE(html);
    const std::size_t im = html->find("im: \"");
    ASSERT_NE(im, std::string::npos);
    const std::string services = html->substr(im + 5, html->find('"', im + 5) - im - 5);
    ASSERT_TRUE(Http("/cs/agent/status", "name=Lily&status=" + UrlEncode("\xE5\x9C\xA8\xE7\xBA\xBF")));  // 在线

    s.Script(page, "external\tWD_JAPI\ts:OpenGame\ts:" + s.Base() + "/game/play/?server=S7&uid=U7|x|S7");
    HWND game = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (game = s.GameWindow()) != nullptr; }, 15000));
    HWND gamePage = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (gamePage = s.Page("/game/play/", game)) != nullptr; }, 10000));
    const RECT g = RectOf(game);
    const int w = g.right - g.left;
    // With the binding button: VIP, then binding, left of the payment button.
    const RECT vipButton{g.left + w - 612, g.top + 9, g.left + w - 537, g.top + 31};
    const RECT bindButton{g.left + w - 532, g.top + 9, g.left + w - 396, g.top + 31};
    const std::uint64_t bare = ScreenDigest(vipButton);

    // ShowIM: the VIP button shows, still; an agent's message makes it blink.
    s.Script(page, "external\tWD_JAPI\ts:ShowIM\ts:" + services);
    ASSERT_TRUE(WaitFor([&] { return ScreenDigest(vipButton) != bare; }, 15000)) << "the VIP button";
    EXPECT_EQ(Changes(vipButton, 1500), 0) << "the VIP button blinks before any message";
    ASSERT_TRUE(Http("/cs/agent/send", "user=U7&text=" + UrlEncode("\xE6\x82\xA8\xE5\xA5\xBD")));  // 您好
    bool blinking = false;
    for (int i = 0; i < 10 && !blinking; ++i) blinking = Changes(vipButton, 1500) >= 2;
    EXPECT_TRUE(blinking) << "the VIP button did not blink on the agent's message";

    // The press opens the VIP window centred over the game, the agent in its title, its page the
    // chat of this player.
    ClickAt({(vipButton.left + vipButton.right) / 2, (vipButton.top + vipButton.bottom) / 2});
    const std::wstring vipTitle = L"\u6211\u6B63\u5728\u548C[Lily]\u804A\u5929";  // 我正在和[Lily]聊天
    HWND vip = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (vip = Holder(s.Page("/cs/chat/"))) != nullptr; }, 10000));
    ASSERT_TRUE(s.WaitLog({"loaded " + s.Base() + "/cs/chat/"}, 10000));  // loaded before it showed
    // The chat page's script reports its agent as it reads it from the chat server.
    s.Script(s.Page("/cs/chat/"), "external\tWD_JAPI\ts:DialogBoxTopInfo\ts:Lily|\xE5\x9C\xA8\xE7\xBA\xBF|");
    EXPECT_EQ(TextOf(vip), vipTitle);
    const RECT v = RectOf(vip);
    EXPECT_EQ(v.right - v.left, 831);
    EXPECT_EQ(v.bottom - v.top, 673);
    EXPECT_EQ(v.left, g.left + (w - 831) / 2);
    EXPECT_EQ(v.top, g.top + (g.bottom - g.top - 673) / 2);
    EXPECT_GE(Changes(vipButton, 1500), 2) << "the blink goes on while the chat is open";

    // Its keys: Return goes to the control's accelerators only (the chat page sends on it),
    // Backspace to the page only; Alt+F4 asks to quit, and Escape on the prompt plays on.
    HWND vipPage = s.Page("/cs/chat/");
    EXPECT_EQ(GetAncestor(vip, GA_ROOT), game);
    ClickAt(Centre(vipPage));
    std::size_t mark = s.LogSize();
    SendKey(VK_RETURN);
    SendKey(VK_BACK);
    SendKey('B');
    ASSERT_TRUE(s.WaitLog({"key page 66"}, 5000, mark));
    EXPECT_EQ(s.Count({"key accel 13"}, mark), 1u);
    EXPECT_EQ(s.Count({"key page 13"}, mark), 0u);
    EXPECT_EQ(s.Count({"key page 8"}, mark), 1u);
    EXPECT_EQ(s.Count({"key accel 8"}, mark), 0u);
    SendKey(VK_F4, true);
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (prompt = s.client().ExitPrompt()) != nullptr; }, 10000));
    EXPECT_EQ(GetForegroundWindow(), prompt);
    SendKey(VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return s.client().ExitPrompt() == nullptr; }, 5000));
    EXPECT_TRUE(IsWindowVisible(vip) && IsWindowVisible(game));

    // The boss key hides the game with its VIP window, and brings both back.
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(game) && !IsWindowVisible(vip); }, 10000));
    EXPECT_EQ(s.client().Launcher(), nullptr);
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(game) && IsWindowVisible(vip); }, 10000));

    // An agent who goes offline: the title says so, and the button stops blinking.
    s.Script(vipPage, "external\tWD_JAPI\ts:DialogBoxTopInfo\ts:Lily|\xE7\xA6\xBB\xE7\xBA\xBF|");  // 离线
    EXPECT_EQ(TextOf(vip), L"Lily[\u79BB\u7EBF]");
    Sleep(700);
    EXPECT_EQ(Changes(vipButton, 1500), 0) << "the VIP button blinks with the agent offline";

    // The close cross: the window goes and the button stays still.
    ClickAt({v.right - 20, v.top + 12});
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(vip); }, 5000)) << "the close cross";
    EXPECT_EQ(Changes(vipButton, 1500), 0) << "the VIP button blinks after the close";

    // The payment window from the title bar, with the launcher page's address; the page's
    // 完成 closes it.
    mark = s.LogSize();
    ClickAt(TitleButton(game, "pay"));
    ASSERT_TRUE(s.WaitLog({"loaded " + payUrl}, 10000, mark));
    HWND payPage = s.Page(payUrl);
    ASSERT_TRUE(payPage);
    HWND pay = Holder(payPage);
    EXPECT_NE(pay, game);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(pay) != FALSE; }, 5000));
    EXPECT_EQ(s.Script(payPage, "external\tWD_JAPI\ts:closedBox"), S_OK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(pay); }, 5000)) << "完成 closes the payment window";

    // The account window from the binding button; a bound account closes it, and the button
    // goes (the VIP button takes its place further right).
    mark = s.LogSize();
    ClickAt({(bindButton.left + bindButton.right) / 2, (bindButton.top + bindButton.bottom) / 2});
    ASSERT_TRUE(s.WaitLog({"loaded " + s.Base() + "/game/s/jihuo/"}, 10000, mark));
    HWND bindPage = s.Page("/game/s/jihuo/");
    ASSERT_TRUE(bindPage);
    HWND bind = Holder(bindPage);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(bind) != FALSE; }, 5000));
    s.Script(bindPage, "external\tWD_JAPI\ts:AccountBindSuccess\ts:ok");
    s.Script(bindPage, "external\tWD_JAPI\ts:CloseBindPage\ts:");
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(bind); }, 5000)) << "CloseBindPage closes the account window";
    mark = s.LogSize();
    ClickAt({(bindButton.left + bindButton.right) / 2, (bindButton.top + bindButton.bottom) / 2});
    Sleep(1500);
    EXPECT_EQ(s.Count({"/game/s/jihuo/"}, mark), 0u) << "the binding button is still there";

    SetForegroundWindow(game);
    ClickAt(Centre(gamePage));
    SendKey(VK_F4, true);
    EXPECT_TRUE(WaitFor([&] { return s.GameWindow() == nullptr && s.client().Launcher() != nullptr; }, 10000));
    s.ExitThroughThePrompt();
}
