// The browser control's container on Win32 with the system's WebBrowser control: creation and
// in-place activation in the window, the client-site swap to the client's host object, the
// events through the connection point, the keys' way, and the control's end. (Under Wine the
// control has no engine to render with: every navigation ends in NavigateError after
// BeforeNavigate2, as a refused connection does on Windows.)
#include "win32_support.h"  // the system's headers first

#include <urlmon.h>

#include <memory>

#include "fw/browser.h"
#include "web/js_dispatch.h"
#include "web/web_ctrl_interface.h"

using namespace rvtest;

namespace {

// Nothing listens there: the connection is refused at once.
constexpr const char* kNowhere = "http://127.0.0.1:9/launcher?uid=1";

struct Events : fw::BrowserEvents {
    std::vector<std::string> log;
    std::function<void(const std::string&, bool&)> onBefore;

    void BeforeNavigate2(const std::string& url, bool& cancel) override {
        log.push_back("before " + url);
        if (onBefore) onBefore(url, cancel);
    }
    void NavigateComplete2(const std::string& url) override { log.push_back("complete " + url); }
    void DocumentComplete(const std::string& url) override { log.push_back("document " + url); }
    void NavigateError(const std::string& url) override { log.push_back("error " + url); }
    void NewWindow3(const std::string& url, unsigned, bool&) override { log.push_back("new " + url); }
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

// The control's own window (where its keys go).
HWND ControlWindow(fw::BrowserControl& c) {
    auto* ip = Query<IOleInPlaceObject>(c.GetControlUnknown(), IID_IOleInPlaceObject);
    if (!ip) return nullptr;
    HWND h = nullptr;
    ip->GetWindow(&h);
    ip->Release();
    return h;
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
    HWND inner = ControlWindow(*control);
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

    struct Page : IJSDispatch {} page;
    auto* host = new CWebCtrlInterFace();
    host->m_pExternal = new CJSDispatch(&page);
    host->AddRef();
    ASSERT_TRUE(AttachToControl(host, control->GetControlUnknown()));
    IOleClientSite* now = nullptr;
    ASSERT_EQ(ole->GetClientSite(&now), S_OK);
    EXPECT_EQ(now, static_cast<IOleClientSite*>(host));
    if (now) now->Release();
    // The host passes on to the container's site what it does not decide itself.
    EXPECT_EQ(host->m_pContainerSite, container);
    EXPECT_EQ(host->m_pContainerUIHandler, nullptr);
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
    HWND inner = ControlWindow(*control);
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
    HWND inner = ControlWindow(*second);
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
