// Over 500 lines: one suite, the Win32 client's windows against the real system under one fixture.
// The client's own windows on the Win32 back end with the system's browser control: the keys
// of the launcher's page dialog and of the VIP window on their way to the control (its
// accelerator translation, played by a stand-in active object, and the dispatch to the
// control's window), the game page's new windows (the control's NewWindow3 played at the game
// window's sink), and the game window's cache clearing with a large URL cache while the UI
// thread goes on answering.
#include "win32_support.h"  // the system's headers first

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "fw/browser.h"
#include "fw/system.h"
#include "game/clear_worker.h"
#include "game/rudov_game.h"
#include "shared/launcher.h"
#include "shared/launcher_layout.h"
#include "side/vipmsg_wnd.h"
#include "web/web_ctrl_interface.h"
#include "web/web_dlg.h"

using namespace rvtest;

namespace {

// Nothing listens there: every page fails at once.
constexpr const char* kNowhereHost = "127.0.0.1:9";

// The launcher, as the windows it makes see it: a plain window with fixed answers.
class Launcher : public fw::Window, public ILauncher {
public:
    Launcher() {
        m_hosts = {kNowhereHost, kNowhereHost, kNowhereHost, kNowhereHost, kNowhereHost};
        fw::CreateParams p;
        p.caption = "rv-launcher";
        p.style = fw::kPopup;
        p.rect = fw::Rect::FromXYWH(50, 50, 1290, 704);
        Create(p);
    }
    ~Launcher() override { Destroy(); }

    fw::Window& LauncherWindow() override { return *this; }
    const shared::Hosts& Hosts() const override { return m_hosts; }
    const std::string& GameUrl() const override { return m_game; }
    const std::string& ServerName() const override { return m_server; }
    const std::string& PayParam() const override { return m_empty; }
    bool AccountBound() const override { return true; }
    std::int32_t BossKey() const override { return -1; }
    const std::string& BossKeyName() const override { return m_empty; }
    fw::Rect WebArea() const override { return shared::launcher_layout::kWebArea; }
    const std::string& Uid() const override { return m_uid; }
    const std::string& Suid() const override { return m_uid; }
    void SetGameUrl(std::string url) override { m_game = std::move(url); }
    void SetServerName(std::string name) override { m_server = std::move(name); }
    void SetPayParam(std::string) override {}
    void SetImParam(std::string) override {}
    void SetUserName(std::string) override {}
    bool PageNotShown() const override { return true; }
    void SetPageShown() override {}
    void PageDialogDestroyed(fw::Window&) override {}
    void SetAccountBound(bool) override {}
    bool GameMaximized() const override { return false; }
    void SetGameMaximized(bool) override {}
    fw::Rect GameRect() const override { return {}; }
    void SetGameRect(const fw::Rect&) override {}
    void GameWindowDestroyed(fw::Window&) override {}
    bool ChangeBossKey(std::int32_t, const std::string&) override { return false; }

private:
    shared::Hosts m_hosts;
    std::string m_game = "http://127.0.0.1:9/game";
    std::string m_server = "S1";
    std::string m_uid = "U7";
    std::string m_empty;
};

// ---- the keys' way to the control ----------------------------------------------------------

// Stands in for the control's in-place active object: records the keys its accelerator
// translation is given and answers `answer`.
class ActiveObject final : public IOleInPlaceActiveObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
            IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
            *ppv = static_cast<IOleInPlaceActiveObject*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* h) override {
        if (h) *h = nullptr;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG m) override {
        if (m && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN)) keys.push_back(m->wParam);
        return answer;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    ULONG refs = 1;
    HRESULT answer = S_FALSE;
    std::vector<WPARAM> keys;
};

// Makes the stand-in the control's active object, as the control makes itself when it is
// activated for input: through the in-place frame of the container's site, which stays behind
// the client's host object (the one of the two with a UI handler) when there is one.
bool MakeActive(IUnknown* control, IOleInPlaceActiveObject* active) {
    void* p = nullptr;
    if (FAILED(control->QueryInterface(IID_IOleObject, &p)) || !p) return false;
    auto* ole = static_cast<IOleObject*>(p);
    IOleClientSite* site = nullptr;
    ole->GetClientSite(&site);
    ole->Release();
    if (!site) return false;
    IOleClientSite* container = site;
    if (SUCCEEDED(site->QueryInterface(IID_IDocHostUIHandler, &p)) && p) {
        static_cast<IDocHostUIHandler*>(p)->Release();
        container = static_cast<CWebCtrlInterFace*>(site)->m_pContainerSite.Get();
    }
    site->Release();
    if (!container) return false;
    IOleInPlaceSite* inPlace = nullptr;
    if (FAILED(container->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))) || !inPlace)
        return false;
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos, clip;
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    const bool ok = SUCCEEDED(inPlace->GetWindowContext(&frame, &doc, &pos, &clip, &info)) && frame &&
                    SUCCEEDED(frame->SetActiveObject(active, nullptr));
    if (frame) frame->Release();
    if (doc) doc->Release();
    inPlace->Release();
    return ok;
}

// The control's own window (where its keys go), with what is dispatched to it recorded.
struct Dispatched {
    std::vector<WPARAM> keyDowns;
    std::vector<WPARAM> chars;
};
std::map<HWND, std::pair<WNDPROC, Dispatched*>>& Subclassed() {
    static std::map<HWND, std::pair<WNDPROC, Dispatched*>> m;
    return m;
}
LRESULT CALLBACK RecordingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto it = Subclassed().find(h);
    if (it == Subclassed().end()) return DefWindowProcW(h, msg, wp, lp);
    const WNDPROC old = it->second.first;
    if (Dispatched* d = it->second.second) {
        if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) d->keyDowns.push_back(wp);
        if (msg == WM_CHAR) d->chars.push_back(wp);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        Subclassed().erase(h);
    }
    return CallWindowProcW(old, h, msg, wp, lp);
}
HWND RecordDispatch(fw::BrowserControl& control, Dispatched& d) {
    const HWND h = ControlWindow(control.GetControlUnknown());
    if (!h) return nullptr;
    const auto old =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc)));
    Subclassed()[h] = {old, &d};
    return h;
}
void StopRecording(HWND h) {
    auto it = Subclassed().find(h);
    if (it != Subclassed().end()) it->second.second = nullptr;
}

// A key pressed while the control's window has the focus, as the system queues it.
void Press(HWND control, WPARAM vk) {
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    PostMessageW(control, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)));
}

class Win32Client : public Win32Test {
protected:
    void TearDown() override {
        PumpFor(50);
        Win32Test::TearDown();
    }
};

}  // namespace

// The page dialog: Backspace reaches the page without the control's accelerator translation
// (so it never takes the page back); the other keys it lets pass go to that translation and
// are then dispatched to the control's window whatever the translation answered.
TEST_F(Win32Client, PageDialogKeysOnTheirWayToTheControl) {
    Launcher launcher;
    ASSERT_TRUE(launcher.IsWindow());
    auto* dlg = new CWebDlg(launcher);
    ASSERT_TRUE(dlg->CreateDlg());
    ASSERT_TRUE(dlg->browser());
    ActiveObject active;
    active.answer = S_OK;  // the control says it took every key
    ASSERT_TRUE(MakeActive(dlg->browser()->GetControlUnknown(), &active));
    Dispatched d;
    HWND control = RecordDispatch(*dlg->browser(), d);
    ASSERT_TRUE(control);

    for (WPARAM vk : {WPARAM(VK_BACK), WPARAM('A'), WPARAM(VK_TAB), WPARAM(VK_ESCAPE), WPARAM(VK_F5)})
        Press(control, vk);
    PostMessageW(control, WM_NULL, 0, 0);
    ASSERT_TRUE(Pump([&] { return d.keyDowns.size() >= 3; }, 3000));
    PumpFor(100);
    EXPECT_EQ(active.keys, (std::vector<WPARAM>{'A', VK_TAB}));
    EXPECT_EQ(d.keyDowns, (std::vector<WPARAM>{VK_BACK, 'A', VK_TAB}));
    EXPECT_TRUE(std::find(d.chars.begin(), d.chars.end(), WPARAM(8)) != d.chars.end());  // typed as usual

    StopRecording(control);
    dlg->Close();
}

// The VIP window: Enter reaches the chat page through the control's accelerator translation
// alone, never dispatched too (the page would get it twice: sending a chat line twice);
// Backspace is dispatched without the translation; the rest go to both.
TEST_F(Win32Client, VipWindowKeysOnTheirWayToTheControl) {
    Recorder game;
    ASSERT_TRUE(game.Make(fw::kPopup, fw::Rect::FromXYWH(40, 40, 1100, 800)));
    game.Show(fw::ShowCmd::Show);
    CVipmsgWnd vip(&game, nullptr, "http://127.0.0.1:9/chat", false, nullptr);
    ASSERT_TRUE(vip.IsWindow());
    ASSERT_TRUE(vip.browser());
    ActiveObject active;  // the control declines every key
    ASSERT_TRUE(MakeActive(vip.browser()->GetControlUnknown(), &active));
    Dispatched d;
    HWND control = RecordDispatch(*vip.browser(), d);
    ASSERT_TRUE(control);

    for (WPARAM vk : {WPARAM(VK_RETURN), WPARAM(VK_BACK), WPARAM(VK_ESCAPE), WPARAM('A')}) Press(control, vk);
    ASSERT_TRUE(Pump([&] { return d.keyDowns.size() >= 2; }, 3000));
    PumpFor(100);
    EXPECT_EQ(active.keys, (std::vector<WPARAM>{VK_RETURN, 'A'}));
    EXPECT_EQ(d.keyDowns, (std::vector<WPARAM>{VK_BACK, 'A'}));
    EXPECT_TRUE(std::find(d.chars.begin(), d.chars.end(), WPARAM(13)) == d.chars.end());

    // Whatever the translation answers.
    active.answer = S_OK;
    active.keys.clear();
    d.keyDowns.clear();
    for (WPARAM vk : {WPARAM(VK_RETURN), WPARAM('B')}) Press(control, vk);
    ASSERT_TRUE(Pump([&] { return !d.keyDowns.empty(); }, 3000));
    PumpFor(100);
    EXPECT_EQ(active.keys, (std::vector<WPARAM>{VK_RETURN, 'B'}));
    EXPECT_EQ(d.keyDowns, (std::vector<WPARAM>{'B'}));
    StopRecording(control);
}

// ---- the game page's new windows -----------------------------------------------------------

namespace {

// How many top-level windows `owner` owns.
int OwnedBy(HWND owner) {
    int n = 0;
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) n += GetWindow(h, GW_OWNER) == owner;
    return n;
}

// The top-level window that holds the control a NewWindow3 handed back.
HWND WindowOf(const NewWindowAnswer& a) { return GetAncestor(ControlWindow(a.window.get()), GA_ROOT); }

}  // namespace

// A new window the game window lets its page open is a browser window of the client's own,
// owned by the game window, whose control goes back to the asking control; a burst beyond the
// limits opens nothing. The boss key hides the pop-ups with the game window and brings back only
// those that were on the screen; the page's keys, title and window.close() reach its window; the
// game window's end takes every pop-up and lets go of each control.
TEST_F(Win32Client, TheGamePagesNewWindowsBelongToTheGameWindow) {
    fw::detail::ResetPageOpens();
    ActiveObject active;  // outlives the pop-ups, whose control holds it
    Launcher launcher;
    auto game = std::make_unique<CRudovGame>(launcher);
    ASSERT_TRUE(game->Created());
    game->Show(fw::ShowCmd::Show);
    const HWND gameHwnd = fw::win32::HwndOf(game->handle());
    IDispatch* sink = fw::win32::BrowserEventSinkForTesting(*game->browser());
    ASSERT_TRUE(sink);
    constexpr unsigned kClick = fw::NWMF_USERINITED | fw::NWMF_FIRST;

    NewWindowAnswer help = NewWindow(sink, L"http://127.0.0.1:9/help", kClick);
    EXPECT_FALSE(help.cancelled);
    ASSERT_TRUE(help.window);
    const HWND helpHwnd = WindowOf(help);
    ASSERT_TRUE(helpHwnd && helpHwnd != gameHwnd);
    EXPECT_EQ(GetWindow(helpHwnd, GW_OWNER), gameHwnd);
    EXPECT_TRUE(IsWindowVisible(helpHwnd));
    EXPECT_EQ(OwnedBy(gameHwnd), 1);
    // Its page's keys go to its control's accelerator translation.
    ASSERT_TRUE(MakeActive(help.window.get(), &active));
    Press(ControlWindow(help.window.get()), VK_TAB);
    EXPECT_TRUE(Pump([&] { return !active.keys.empty(); }, 3000));
    EXPECT_EQ(active.keys, std::vector<WPARAM>{VK_TAB});

    // 200 windows from one click, then clicks beyond the limit: all cancelled, none opened.
    for (int i = 0; i < 200; ++i) {
        NewWindowAnswer more = NewWindow(sink, L"http://127.0.0.1:9/spam", fw::NWMF_USERINITED);
        ASSERT_TRUE(more.cancelled && !more.window);
    }
    NewWindowAnswer second = NewWindow(sink, L"http://127.0.0.1:9/second", kClick);
    NewWindowAnswer third = NewWindow(sink, L"http://127.0.0.1:9/third", kClick);
    EXPECT_TRUE(NewWindow(sink, L"http://127.0.0.1:9/fourth", kClick).cancelled);
    EXPECT_EQ(OwnedBy(gameHwnd), 3);

    // The pages in the pop-ups: a title, a window.close() (the control is told to keep out of
    // it), and a window of their own.
    IDispatch* helpSink = fw::win32::BrowserEventSinkInForTesting(helpHwnd);
    IDispatch* secondSink = fw::win32::BrowserEventSinkInForTesting(WindowOf(second));
    ASSERT_TRUE(helpSink && secondSink);
    VARIANT title, isChild, keep;
    VARIANT_BOOL kept = VARIANT_FALSE;
    for (VARIANT* v : {&title, &isChild, &keep}) VariantInit(v);
    title.vt = VT_BSTR;
    title.bstrVal = SysAllocString(L"帮助");
    keep.vt = VT_BYREF | VT_BOOL;
    keep.pboolVal = &kept;
    Raise(helpSink, DISPID_TITLECHANGE, {title});
    Raise(secondSink, DISPID_WINDOWCLOSING, {isChild, keep});
    SysFreeString(title.bstrVal);
    wchar_t caption[16] = {};
    GetWindowTextW(helpHwnd, caption, 16);
    EXPECT_EQ(std::wstring(caption), L"帮助");
    EXPECT_EQ(kept, VARIANT_TRUE);
    EXPECT_TRUE(Pump([&] { return OwnedBy(gameHwnd) == 2; }, 3000));
    fw::detail::ResetPageOpens();
    NewWindowAnswer faq = NewWindow(helpSink, L"http://127.0.0.1:9/faq", kClick);
    ASSERT_TRUE(faq.window);
    EXPECT_EQ(GetWindow(WindowOf(faq), GW_OWNER), helpHwnd);

    // The boss key hides the game window; the next brings back what was on the screen.
    const HWND shown[] = {helpHwnd, WindowOf(faq)}, notShown = WindowOf(third);
    ShowWindow(notShown, SW_HIDE);
    game->Show(fw::ShowCmd::Hide);
    for (HWND h : shown) EXPECT_FALSE(IsWindowVisible(h));
    game->Show(fw::ShowCmd::Show);
    for (HWND h : shown) EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_FALSE(IsWindowVisible(notShown));

    // The game window goes, its pop-ups with it; each control is let go (the reference handed
    // to the asking control is the last).
    game.reset();
    PumpFor(100);
    for (HWND h : {shown[0], shown[1], notShown}) EXPECT_FALSE(IsWindow(h));
    for (NewWindowAnswer* a : {&help, &second, &third, &faq}) {
        IDispatch* control = a->window.get();
        ASSERT_TRUE(control);
        control->AddRef();
        a->window.reset();
        EXPECT_EQ(control->Release(), 0u);
    }
}

// ---- cache clearing with a large URL cache --------------------------------------------------

namespace {

constexpr UINT WM_PROBE = WM_USER + 900;

// Answers each probe message with how long after its posting it was handled: the UI
// thread's stall.
class Probe : public fw::Window {
public:
    Probe() {
        fw::CreateParams p;
        p.style = fw::kPopup;
        p.rect = fw::Rect::FromXYWH(0, 0, 10, 10);
        Create(p);
    }
    ~Probe() override { Destroy(); }

    using Clock = std::chrono::steady_clock;
    void Start() {
        running = true;
        const fw::Handle target = handle();
        ticker = std::thread([this, target] {
            while (running) {
                std::size_t seq = 0;
                {
                    std::lock_guard<std::mutex> l(m);
                    sent.push_back(Clock::now());
                    seq = sent.size() - 1;
                }
                fw::Window::Post(target, WM_PROBE, seq);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    void Stop() {
        running = false;
        if (ticker.joinable()) ticker.join();
    }
    Clock::duration Longest() const { return longest; }
    std::size_t answered = 0;

protected:
    fw::LRESULT OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM) override {
        if (msg != WM_PROBE) return 0;
        Clock::time_point at;
        {
            std::lock_guard<std::mutex> l(m);
            at = sent[wp];
        }
        longest = std::max(longest, Clock::now() - at);
        ++answered;
        return 0;
    }

private:
    std::mutex m;
    std::vector<Clock::time_point> sent;
    std::atomic<bool> running{false};
    std::thread ticker;
    Clock::duration longest{};
};

bool AddCacheEntry(const std::wstring& url) {
    wchar_t file[MAX_PATH] = {};
    if (!CreateUrlCacheEntryW(url.c_str(), 0, L"bin", file, 0)) return false;
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    ::WriteFile(h, "x", 1, &n, nullptr);
    CloseHandle(h);
    FILETIME never{};
    return CommitUrlCacheEntryW(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) !=
           FALSE;
}

int CacheEntries() {
    std::vector<std::uint8_t> buf(8192);
    DWORD size = static_cast<DWORD>(buf.size());
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buf.data());
    HANDLE f = FindFirstUrlCacheEntryW(nullptr, info, &size);
    if (!f) return 0;
    int n = 1;
    for (;;) {
        size = static_cast<DWORD>(buf.size());
        if (!FindNextUrlCacheEntryW(f, info, &size)) break;
        ++n;
    }
    FindCloseUrlCache(f);
    return n;
}

// The user's Temporary Internet Files folder, and with it the URL cache, moved into a folder
// of the test's own while it lives (the user's shell folder "Cache", which WinInet reads when
// the process first uses it): the clearing deletes the folder's contents, which must not be
// the prefix's own cache, used by the tests that follow.
class OwnCacheFolder {
public:
    OwnCacheFolder() : user_(kUserKey), resolved_(kResolvedKey) {
        wchar_t tmp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tmp);
        folder_ = std::wstring(tmp) + L"rv-cache-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(GetTickCount64());
        CreateDirectoryW(folder_.c_str(), nullptr);
        user_.Set(folder_);
    }
    ~OwnCacheFolder() {
        user_.Restore();
        resolved_.Restore();      // the system writes the folder it found there
        std::error_code ignored;  // what WinInet still holds open stays
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::wstring& folder() const { return folder_; }

private:
    // The value "Cache" of a key, put back as it was.
    class Value {
    public:
        explicit Value(const wchar_t* key) {
            RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                            nullptr);
            wchar_t old[1024] = {};
            DWORD size = sizeof old;
            had_ =
                RegQueryValueExW(key_, L"Cache", nullptr, &type_, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
            if (had_) old_.assign(reinterpret_cast<const BYTE*>(old), reinterpret_cast<const BYTE*>(old) + size);
        }
        void Set(const std::wstring& folder) {
            RegSetValueExW(key_, L"Cache", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                           static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        }
        void Restore() {
            if (!key_) return;
            if (had_)
                RegSetValueExW(key_, L"Cache", 0, type_, old_.data(), static_cast<DWORD>(old_.size()));
            else
                RegDeleteValueW(key_, L"Cache");
            RegCloseKey(key_);
            key_ = nullptr;
        }

    private:
        HKEY key_ = nullptr;
        std::vector<BYTE> old_;
        bool had_ = false;
        DWORD type_ = REG_EXPAND_SZ;
    };
    static constexpr const wchar_t* kUserKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr const wchar_t* kResolvedKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    std::wstring folder_;
    Value user_, resolved_;
};

// Answers the clearing's message boxes ("清除提示", and "RaduVove" should a trim fail) from
// another thread, since their loop runs on this one.
class BoxAnswerer {
public:
    BoxAnswerer()
        : thread_([this] {
              while (!stop_) {
                  for (const wchar_t* caption : {L"清除提示", L"RaduVove"})
                      if (HWND box = FindOwnWindow(L"#32770", caption)) {
                          PostMessageW(box, WM_COMMAND, IDOK, 0);
                          ++answered;
                          if (caption[0] == L'清') ++cleared;
                      }
                  Sleep(20);
              }
          }) {}
    ~BoxAnswerer() {
        stop_ = true;
        thread_.join();
    }
    std::atomic<int> answered{0};
    std::atomic<int> cleared{0};  // the clearing's report ("清除提示")

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

// The clear-cache button with many entries in the URL cache: the UI thread only starts the
// worker, which trims, empties the URL cache, deletes the cache folder's contents, pauses and
// reports; meanwhile the UI thread answers every message within a fraction of the time the
// URL cache takes.
TEST_F(Win32Client, ClearingALargeUrlCacheLeavesTheUiThreadAnswering) {
    OwnCacheFolder own;
    constexpr int kEntries = 4000;
    const auto fillStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kEntries; ++i)
        ASSERT_TRUE(AddCacheEntry(L"http://rv-stall.example/asset/" + std::to_wstring(i) + L".bin")) << i;
    const auto fillTook = std::chrono::steady_clock::now() - fillStart;
    ASSERT_GE(CacheEntries(), kEntries);
    // The cache is in the test's folder, and the clearing will empty that folder.
    const std::string cacheFolder = fw::BrowserCacheFolder();
    ASSERT_EQ(std::filesystem::path(cacheFolder), std::filesystem::path(own.folder())) << cacheFolder;

    Launcher launcher;
    CRudovGame game(launcher);
    ASSERT_TRUE(game.Created());
    ClearWorker::SetPauseForTesting(std::chrono::milliseconds(0));  // the real second
    Probe probe;
    BoxAnswerer boxes;
    PumpFor(200);

    probe.Start();
    PumpFor(100);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(ClearWorker::Running(), 0);
    game.StartClearing();
    const auto call = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(ClearWorker::Running(), 1);                                  // the press started the worker
    ASSERT_TRUE(Pump([&] { return boxes.cleared.load() >= 1; }, 120000));  // its report
    const auto took = std::chrono::steady_clock::now() - start;
    PumpFor(100);
    probe.Stop();
    ASSERT_TRUE(Pump([&] { return ClearWorker::Running() == 0; }, 10000));
    PumpFor(100);

    using ms = std::chrono::milliseconds;
    auto in = [](auto d) { return std::chrono::duration_cast<ms>(d).count(); };
    std::printf(
        "[ clearing ] %d URL cache entries (made in %lld ms); the press took %lld ms, the clearing %lld ms; "
        "the UI thread's longest stall %lld ms over %zu probes\n",
        kEntries, static_cast<long long>(in(fillTook)), static_cast<long long>(in(call)),
        static_cast<long long>(in(took)), static_cast<long long>(in(probe.Longest())), probe.answered);
    EXPECT_LT(CacheEntries(), 10);  // the URL cache is empty (but for cookies)
    EXPECT_GE(took, ms(990));       // the worker's pause came before the report
    EXPECT_GE(boxes.answered.load(), 1);
    EXPECT_LT(call, ms(100));
    EXPECT_LT(probe.Longest(), ms(100));
    ClearWorker::SetPauseForTesting(ms(0));
}
