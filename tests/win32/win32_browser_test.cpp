// The browser control's container on Win32 with the system's WebBrowser control: creation and
// in-place activation in the window, the client-site swap to the client's host object, the
// events through the connection point, the keys' way, and the control's end. (Under Wine the
// control has no engine to render with: every navigation ends in NavigateError after
// BeforeNavigate2, as a refused connection does on Windows.)
#include "win32_support.h"  // the system's headers first

#include <exdispid.h>
#include <urlmon.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "fw/browser.h"
#include "fw/win32/refresh_rule.h"
#include "web/js_dispatch.h"
#include "web/web_ctrl_interface.h"

using namespace rvtest;

namespace {

// Nothing listens there: the connection is refused at once.
constexpr const char* kNowhere = "http://127.0.0.1:9/launcher?uid=1";

struct Events : fw::BrowserEvents {
    std::vector<std::string> log;
    std::function<void(const std::string&, bool&)> onBefore;
    bool cancelNewWindows = false;

    void BeforeNavigate2(const std::string& url, bool& cancel) override {
        log.push_back("before " + url);
        if (onBefore) onBefore(url, cancel);
    }
    void NavigateComplete2(const std::string& url) override { log.push_back("complete " + url); }
    void DocumentComplete(const std::string& url) override { log.push_back("document " + url); }
    void NavigateError(const std::string& url) override { log.push_back("error " + url); }
    void NewWindow3(const std::string& url, unsigned, bool& cancel) override {
        log.push_back("new " + url);
        cancel = cancelNewWindows;
    }
    void WindowClosing(bool&) override { log.push_back("closing"); }
    std::size_t Count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const std::string& s : log) n += s.rfind(prefix, 0) == 0;
        return n;
    }
};

template <class T>
T* Query(IUnknown* u, REFIID iid) {
    void* p = nullptr;
    if (!u || FAILED(u->QueryInterface(iid, &p))) return nullptr;
    return static_cast<T*>(p);
}

class Win32Browser : public Win32Test {
protected:
    void SetUp() override {
        Win32Test::SetUp();
        ASSERT_TRUE(parent.Make(fw::kPopup, fw::Rect::FromXYWH(100, 100, 820, 420)));
        parent.Show(fw::ShowCmd::Show);
        control = fw::BrowserControl::Create(parent, 174, fw::Rect{10, 10, 798, 397});
        ASSERT_TRUE(control);
        control->SetEvents(&events);
    }
    void TearDown() override {
        control.reset();
        parent.Destroy();
        Win32Test::TearDown();
    }

    Recorder parent;
    Events events;
    std::unique_ptr<fw::BrowserControl> control;
};

}  // namespace

TEST_F(Win32Browser, TheControlIsActivatedInPlaceInsideItsWindow) {
    IUnknown* unk = control->GetControlUnknown();
    ASSERT_TRUE(unk);
    auto* wb = Query<IWebBrowser2>(unk, IID_IWebBrowser2);
    auto* ole = Query<IOleObject>(unk, IID_IOleObject);
    ASSERT_TRUE(wb);
    ASSERT_TRUE(ole);
    HWND host = GetDlgItem(parent.hwnd(), 174);
    ASSERT_TRUE(host);
    EXPECT_EQ(SystemRect(host), fw::Rect::FromXYWH(110, 110, 788, 387));
    HWND inner = ControlWindow(control->GetControlUnknown());
    ASSERT_TRUE(inner);  // in place: the control made its window inside ours
    EXPECT_TRUE(IsChild(host, inner));
    EXPECT_TRUE(IsWindowVisible(inner));

    control->SetSilent(true);
    VARIANT_BOOL silent = VARIANT_FALSE;
    EXPECT_EQ(wb->get_Silent(&silent), S_OK);
    EXPECT_EQ(silent, VARIANT_TRUE);
    EXPECT_TRUE(control->silent());

    control->Move(fw::Rect{0, 0, 400, 300});
    EXPECT_EQ(SystemRect(host), fw::Rect::FromXYWH(100, 100, 400, 300));
    control->Show(false);
    EXPECT_FALSE(control->IsVisible());
    EXPECT_FALSE(IsWindowVisible(host));
    control->Show(true);
    EXPECT_TRUE(control->IsVisible());
    ole->Release();
    wb->Release();
}

TEST_F(Win32Browser, TheHostObjectTakesOverTheClientSiteAndIsLetGoAtTheEnd) {
    auto* ole = Query<IOleObject>(control->GetControlUnknown(), IID_IOleObject);
    ASSERT_TRUE(ole);
    // The container's own site: an in-place site without a UI handler.
    IOleClientSite* container = nullptr;
    ASSERT_EQ(ole->GetClientSite(&container), S_OK);
    ASSERT_TRUE(container);
    auto* inPlace = Query<IOleInPlaceSite>(container, IID_IOleInPlaceSite);
    EXPECT_TRUE(inPlace);
    if (inPlace) inPlace->Release();
    EXPECT_EQ(Query<IDocHostUIHandler>(container, IID_IDocHostUIHandler), nullptr);

    struct Page : IJSDispatch {
    } page;
    auto* host = new CWebCtrlInterFace();
    host->m_pExternal = new CJSDispatch(&page);
    host->AddRef();
    ASSERT_TRUE(AttachToControl(host, control->GetControlUnknown()));
    IOleClientSite* now = nullptr;
    ASSERT_EQ(ole->GetClientSite(&now), S_OK);
    EXPECT_EQ(now, static_cast<IOleClientSite*>(host));
    if (now) now->Release();
    // The host passes on to the container's site what it does not decide itself.
    EXPECT_EQ(host->m_pContainerSite.Get(), container);
    EXPECT_EQ(host->m_pContainerUIHandler.Get(), nullptr);
    EXPECT_GT(host->m_nRefCount, 1);  // the control holds it
    container->Release();
    ole->Release();

    // The control goes: it lets go of the host, whose last reference is the window's.
    control.reset();
    EXPECT_EQ(host->m_nRefCount, 1);
    host->Release();
}

TEST_F(Win32Browser, NavigationEventsArriveThroughTheConnectionPoint) {
    control->Navigate(kNowhere);
    ASSERT_TRUE(Pump([&] { return events.Count("error ") > 0; }, 15000));
    ASSERT_FALSE(events.log.empty());
    EXPECT_EQ(events.log.front(), std::string("before ") + kNowhere);
    EXPECT_EQ(events.Count("error " + std::string(kNowhere)), 1u);
    EXPECT_EQ(events.Count("document "), 0u);  // a failed load is no document

    // Cancelled before it starts: no error follows, the control stays where it was.
    events.log.clear();
    events.onBefore = [](const std::string& url, bool& cancel) { cancel = url.find("cancel") != std::string::npos; };
    control->Navigate("http://127.0.0.1:9/cancel");
    control->Navigate(kNowhere);
    ASSERT_TRUE(Pump([&] { return events.Count("error ") > 0; }, 15000));
    EXPECT_EQ(events.Count("before http://127.0.0.1:9/cancel"), 1u);
    EXPECT_EQ(events.Count("error http://127.0.0.1:9/cancel"), 0u);

    // A refresh raises no BeforeNavigate2 of its own.
    events.log.clear();
    control->Refresh();
    PumpFor(500);
    EXPECT_EQ(events.Count("before "), 0u);
}

TEST_F(Win32Browser, AHandlerMayDestroyTheControl) {
    events.onBefore = [&](const std::string&, bool&) { control.reset(); };
    fw::BrowserControl* raw = control.get();
    raw->Navigate(kNowhere);
    ASSERT_TRUE(Pump([&] { return control == nullptr; }, 15000));
    PumpFor(500);  // the control closes after the event returned; nothing more arrives
    EXPECT_EQ(events.log.size(), 1u);
    EXPECT_EQ(GetDlgItem(parent.hwnd(), 174), nullptr);
}

TEST_F(Win32Browser, KeysForTheControlPassTheWindowsPreTranslationFirst) {
    HWND inner = ControlWindow(control->GetControlUnknown());
    ASSERT_TRUE(inner);
    parent.swallow = [](const fw::Msg& m) { return m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_F5; };
    PostMessageW(inner, WM_KEYDOWN, VK_F5, 1);
    PostMessageW(inner, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    ASSERT_TRUE(Pump([&] { return parent.pre.size() >= 2; }));
    EXPECT_EQ(parent.pre[0].message, fw::WM_KEYDOWN);
    EXPECT_EQ(parent.pre[0].wParam, fw::VK_F5);
    EXPECT_EQ(parent.pre[0].hwnd, parent.handle());
    EXPECT_EQ(parent.pre[1].message, fw::WM_SYSKEYDOWN);
    // Keys of the control are the control's: the window's own handlers never see them.
    EXPECT_EQ(parent.Count(fw::WM_KEYDOWN), 0u);
}

TEST_F(Win32Browser, QuitEndsThePageForGoodAndTheWindowsEndTakesTheControl) {
    control->Quit();
    EXPECT_EQ(GetDlgItem(parent.hwnd(), 174), nullptr);
    EXPECT_EQ(control->LocationUrl(), "about:blank");
    control->Navigate(kNowhere);  // nothing happens any more
    PumpFor(300);
    EXPECT_TRUE(events.log.empty());
    bool answered = false;
    control->FindElementText("span", "usr", [&](std::optional<std::string> t) {
        answered = true;
        EXPECT_FALSE(t);
    });
    EXPECT_TRUE(answered);

    // A second control whose window goes first: the control goes with the window.
    auto second = fw::BrowserControl::Create(parent, 175, fw::Rect{0, 0, 100, 100});
    ASSERT_TRUE(second);
    HWND inner = ControlWindow(second->GetControlUnknown());
    ASSERT_TRUE(inner);
    parent.Destroy();
    EXPECT_FALSE(IsWindow(inner));
    EXPECT_EQ(second->GetControlUnknown(), nullptr);
    second->Navigate(kNowhere);
    second.reset();
}

TEST_F(Win32Browser, TheProgramAsksForTheControlsCurrentMode) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    DWORD mode = 0, size = sizeof mode;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER,
                           L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION",
                           name.c_str(), RRF_RT_REG_DWORD, nullptr, &mode, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(mode, 11001u);
    EXPECT_EQ(CoInternetIsFeatureEnabled(FEATURE_MIME_SNIFFING, GET_FEATURE_FROM_PROCESS), S_OK);
}

// ---- what a refresh keeps from the client ------------------------------------------------

namespace {

// A frame of the page, as the control names it in its events: any dispatch but the control's.
struct FrameDispatch final : IDispatch {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

// BeforeNavigate2 of the page (`frame` null: the control itself) or of a frame; answers
// whether the navigation was cancelled.
bool BeforeNavigate(IDispatch* sink, IDispatch* frame, const std::wstring& url) {
    BSTR b = SysAllocString(url.c_str());
    VARIANT urlV, flags, target, post, headers;
    for (VARIANT* v : {&urlV, &flags, &target, &post, &headers}) VariantInit(v);
    urlV.vt = VT_BSTR;
    urlV.bstrVal = b;
    flags.vt = VT_I4;
    flags.lVal = 0;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT pDisp, c;
    VariantInit(&pDisp);
    VariantInit(&c);
    pDisp.vt = VT_DISPATCH;
    pDisp.pdispVal = frame;
    c.vt = VT_BYREF | VT_BOOL;
    c.pboolVal = &cancel;
    Raise(sink, DISPID_BEFORENAVIGATE2, {pDisp, Ref(&urlV), Ref(&flags), Ref(&target), Ref(&post), Ref(&headers), c});
    SysFreeString(b);
    return cancel != VARIANT_FALSE;
}

}  // namespace

// The rule alone: during a refresh, the page's own address (once) and its frames' addresses
// load again silently; anything else is the client's, and a top-level navigation elsewhere
// ends the refresh. A new window passes outside a refresh, during one only when a user's
// action asked for it, and never without a client that listens.
TEST(Win32RefreshRule, OnlyTheRefreshsOwnNavigationsAreKeptFromTheClient) {
    fw::win32::RefreshRule r;
    EXPECT_TRUE(r.PassBeforeNavigate(true, "http://p.example/launcher?uid=1"));
    EXPECT_TRUE(r.PassBeforeNavigate(false, "http://p.example/list"));
    r.FrameAt("http://p.example/list2");  // redirected
    EXPECT_TRUE(r.PassNewWindow(0, true));
    EXPECT_FALSE(r.PassNewWindow(fw::NWMF_USERINITED, false));  // nobody listens

    r.Refresh("http://p.example/launcher?uid=1#top");
    EXPECT_TRUE(r.refreshing());
    EXPECT_FALSE(r.PassNewWindow(0, true));
    EXPECT_TRUE(r.PassNewWindow(fw::NWMF_USERINITED | fw::NWMF_FIRST, true));
    EXPECT_FALSE(r.PassBeforeNavigate(false, "http://p.example/list"));
    EXPECT_FALSE(r.PassBeforeNavigate(false, "http://p.example/list2#x"));
    EXPECT_TRUE(r.PassBeforeNavigate(false, "http://ads.example/banner"));  // not a frame the page had
    EXPECT_FALSE(r.PassBeforeNavigate(true, "http://p.example/launcher?uid=1"));
    EXPECT_TRUE(r.refreshing());
    // The player clicks a server while the page loads again: the client hears of it.
    EXPECT_TRUE(r.PassBeforeNavigate(true, "http://p.example/launcher?uid=1"));  // a second time: not the refresh's
    EXPECT_FALSE(r.refreshing());

    r.Refresh("http://p.example/launcher?uid=1");
    EXPECT_TRUE(r.PassBeforeNavigate(true, "http://g.example/play?client = 1"));
    EXPECT_FALSE(r.refreshing());
    EXPECT_TRUE(r.PassNewWindow(0, true));
    EXPECT_TRUE(r.PassBeforeNavigate(false, "http://p.example/list"));  // the frames are the new page's

    r.Refresh("http://g.example/play?client = 1");
    r.End();
    EXPECT_FALSE(r.refreshing());
    EXPECT_TRUE(r.PassBeforeNavigate(true, "http://g.example/play?client = 1"));
}

// The same through the control's event sink, with the system's control refreshing: a new
// window that is not passed on is cancelled (or the control would open a window of its own),
// and a navigation the player starts while the page loads again reaches the client.
TEST_F(Win32Browser, DuringARefreshOnlyItsOwnNavigationsAreKeptFromTheClient) {
    IDispatch* sink = fw::win32::BrowserEventSinkForTesting(*control);
    ASSERT_TRUE(sink);
    auto* top = Query<IDispatch>(control->GetControlUnknown(), IID_IDispatch);
    ASSERT_TRUE(top);
    FrameDispatch frame;

    // Outside a refresh, every event reaches the client, which decides.
    events.cancelNewWindows = true;
    EXPECT_TRUE(NewWindow(sink, L"http://127.0.0.1:9/popup", 0).cancelled);
    events.cancelNewWindows = false;
    EXPECT_FALSE(NewWindow(sink, L"http://127.0.0.1:9/popup", 0).cancelled);
    EXPECT_EQ(events.Count("new "), 2u);

    control->Navigate(kNowhere);
    ASSERT_TRUE(Pump([&] { return events.Count("error ") > 0; }, 15000));
    EXPECT_FALSE(BeforeNavigate(sink, &frame, L"http://127.0.0.1:9/frame"));
    const std::string page = control->LocationUrl();
    std::printf("[ refresh  ] the control's location after the failed load: \"%s\"\n", page.c_str());
    events.log.clear();

    control->Refresh();
    // A pop-up the page opens by itself while it reloads: cancelled, never the client's.
    EXPECT_TRUE(NewWindow(sink, L"http://127.0.0.1:9/ad", 0).cancelled);
    EXPECT_EQ(events.Count("new "), 0u);
    // One the player's click asked for: the client's.
    EXPECT_FALSE(NewWindow(sink, L"http://127.0.0.1:9/help", fw::NWMF_USERINITED | fw::NWMF_FIRST).cancelled);
    EXPECT_EQ(events.Count("new http://127.0.0.1:9/help"), 1u);
    // The page's frame loads again, and the page itself: silently, never cancelled.
    EXPECT_FALSE(BeforeNavigate(sink, &frame, L"http://127.0.0.1:9/frame"));
    if (!page.empty()) {
        EXPECT_FALSE(BeforeNavigate(sink, top, std::wstring(page.begin(), page.end())));
    }
    EXPECT_EQ(events.Count("before "), 0u);
    // The player picks a server meanwhile: the client hears of it (and opens the game).
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/s?id=1&client = 1"));
    EXPECT_EQ(events.Count("before http://127.0.0.1:9/s?id=1&client = 1"), 1u);
    // The page moved on: the refresh is over.
    EXPECT_FALSE(NewWindow(sink, L"http://127.0.0.1:9/later", 0).cancelled);
    EXPECT_EQ(events.Count("new http://127.0.0.1:9/later"), 1u);

    // Nobody listening: a new window is still cancelled.
    control->SetEvents(nullptr);
    EXPECT_TRUE(NewWindow(sink, L"http://127.0.0.1:9/nobody", fw::NWMF_USERINITED).cancelled);
    top->Release();
    PumpFor(200);
}
