// End-to-end check of the GTK browser control and its synchronous window.external, with a
// host object and an external object of its own (the client's are not needed), under a real
// X display (Xvfb).
//
//   bridge_e2e --pages DIR [--portal http://127.0.0.1:PORT] [--bench-only | --launcher-only]
//   bridge_e2e --module-missing | --module-broken
//
// DIR holds bridge_page.html. With --portal it also loads the portal's launcher page (its
// iframe asks for the API version too) and the bridge benchmark; --launcher-only loads just
// the launcher page (the time from start to its first DocumentComplete). The --module modes
// are run from a folder without a usable browser module (run_bridge_e2e.sh makes one). Prints
// PASS/FAIL lines and measurements; exits 1 when a check failed.
#include <arpa/inet.h>
#include <dirent.h>
#include <glob.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fw/app.h"
#include "fw/browser.h"
#include "fw/com.h"
#include "fw/gtk/browser_bridge_wire.h"
#include "fw/gtk/browser_loader.h"
#include "fw/gtk/browser_webkit.h"
#include "fw/gtk/gtk_native.h"
#include "fw/gtk/rendering_path.h"
#include "fw/window.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_start = Clock::now();
int g_failures = 0;
std::vector<std::string> g_log;  // what the external object and the host saw

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void Pass(const std::string& name) { std::printf("PASS %s (%.0f ms)\n", name.c_str(), MsSince(g_start)); }
void Fail(const std::string& name, const std::string& why) {
    std::printf("FAIL %s: %s (%.0f ms)\n", name.c_str(), why.c_str(), MsSince(g_start));
    ++g_failures;
}
void Expect(bool ok, const std::string& name, const std::string& why = "") { ok ? Pass(name) : Fail(name, why); }

gboolean Tick(gpointer) { return G_SOURCE_CONTINUE; }

// Runs the main loop until `done` holds or the time is up.
bool WaitFor(const std::function<bool()>& done, int ms) {
    guint tick = g_timeout_add(10, Tick, nullptr);
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    bool ok = true;
    while (!done()) {
        if (Clock::now() > end) {
            ok = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(tick);
    return ok;
}

void Settle(int ms) {
    WaitFor([] { return false; }, ms);
}

bool NameIs(LPOLESTR name, const char* want) {
    std::size_t n = std::strlen(want);
    for (std::size_t k = 0; k < n; ++k)
        if (!name[k] || std::tolower(name[k] < 128 ? static_cast<int>(name[k]) : 0) != std::tolower(want[k]))
            return false;
    return name[n] == 0;
}

std::string Number(double d) {
    if (std::isnan(d)) return "NaN";
    if (d == 0 && std::signbit(d)) return "-0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

// --- The fake external object: knows a handful of names ---------------------------------------

enum : DISPID { kWdJapi = 1000, kApiClose = 1001, kEcho = 2000, kTypes, kRet, kDestroy, kFail };

class FakeExternal final : public IDispatch {
public:
    ~FakeExternal() { g_log.push_back("external-deleted"); }
    std::function<void()> onDestroy;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // the host deletes it
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        static const struct {
            const char* name;
            DISPID id;
        } kNames[] = {{"WD_JAPI", kWdJapi}, {"API_close", kApiClose}, {"Echo", kEcho}, {"Types", kTypes},
                      {"Ret", kRet},        {"Destroy", kDestroy},     {"Fail", kFail}};
        for (const auto& n : kNames)
            if (NameIs(names[0], n.name)) {
                ids[0] = n.id;
                return S_OK;
            }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO* ex,
                                     UINT*) override {
        if (flags != DISPATCH_METHOD) g_log.push_back("bad-flags");
        UINT n = p->cArgs;
        auto arg = [&](UINT k) -> VARIANT& { return p->rgvarg[n - 1 - k]; };  // script order
        switch (id) {
        case kWdJapi:
            if (n >= 1 && arg(0).vt == VT_BSTR &&
                fw::BstrToUtf8(arg(0).bstrVal).find("getApiVersion") != std::string::npos && result) {
                result->vt = VT_BSTR;
                result->bstrVal = fw::AllocBstr("1");
            }
            return S_OK;
        case kApiClose:
            g_log.push_back("API_close");
            return S_OK;
        case kEcho:
            if (n >= 1 && arg(0).vt == VT_BSTR) {
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocStringLen(arg(0).bstrVal, SysStringLen(arg(0).bstrVal));
            }
            return S_OK;
        case kTypes: {
            std::string out;
            for (UINT k = 0; k < n; ++k) {
                const VARIANT& v = arg(k);
                if (k) out += "|";
                switch (v.vt) {
                case VT_I4: out += "I4:" + std::to_string(v.lVal); break;
                case VT_R8: out += "R8:" + Number(v.dblVal); break;
                case VT_BOOL: out += "BOOL:" + std::to_string(v.boolVal); break;
                case VT_BSTR: out += "BSTR:" + fw::BstrToUtf8(v.bstrVal); break;
                case VT_NULL: out += "NULL"; break;
                case VT_EMPTY: out += "EMPTY"; break;
                case VT_DISPATCH: out += "DISPATCH"; break;
                default: out += "VT" + std::to_string(v.vt); break;
                }
            }
            result->vt = VT_BSTR;
            result->bstrVal = fw::AllocBstr(out);
            return S_OK;
        }
        case kRet: {
            static LONG seven = 7;
            std::string what = n >= 1 && arg(0).vt == VT_BSTR ? fw::BstrToUtf8(arg(0).bstrVal) : "";
            if (what == "int") { result->vt = VT_I4; result->lVal = 42; }
            else if (what == "r8") { result->vt = VT_R8; result->dblVal = 1.5; }
            else if (what == "bool") { result->vt = VT_BOOL; result->boolVal = VARIANT_TRUE; }
            else if (what == "null") { result->vt = VT_NULL; }
            else if (what == "str") {
                const char16_t text[] = u"h\u00e9llo\0!";
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocStringLen(text, 7);
            } else if (what == "byref") { result->vt = VT_BYREF | VT_I4; result->plVal = &seven; }
            else if (what == "date") { result->vt = VT_DATE; result->date = 45000; }
            return S_OK;
        }
        case kDestroy:
            g_log.push_back("destroy-begin");
            if (onDestroy) onDestroy();
            g_log.push_back("destroy-end");
            return S_OK;
        case kFail:
            if (ex) ex->bstrDescription = fw::AllocBstr("boom");
            return DISP_E_EXCEPTION;
        }
        return E_NOTIMPL;
    }

private:
    LONG refs_ = 0;
};

// --- The fake host object: the client site with the UI handler --------------------------------

class FakeHost final : public IOleClientSite, public IDocHostUIHandler {
public:
    FakeHost(bool withExternal, DWORD flags, bool takeMenu)
        : external_(withExternal ? new FakeExternal : nullptr), flags_(flags), takeMenu_(takeMenu) {}
    ~FakeHost() {
        g_log.push_back("host-deleted");
        delete external_;
    }
    FakeExternal* external() { return external_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IDocHostUIHandler)
            *ppv = static_cast<IDocHostUIHandler*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
        if (m) *m = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
        if (c) *c = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return takeMenu_ ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        info->cbSize = 20;
        info->dwFlags = flags_;
        info->dwDoubleClick = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* k, DWORD) override {
        if (k) *k = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
        if (!out) return E_INVALIDARG;
        *out = external_;
        if (!external_) return E_NOTIMPL;
        external_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, OLECHAR*, OLECHAR** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

private:
    FakeExternal* external_;
    DWORD flags_;
    bool takeMenu_;
    ULONG refs_ = 1;  // the test's
};

// Puts the host in place of the control's site, as the client's AttachToControl does.
bool Attach(fw::BrowserControl& b, FakeHost* host) {
    void* p = nullptr;
    if (b.GetControlUnknown()->QueryInterface(IID_IOleObject, &p) != S_OK) return false;
    auto* ole = static_cast<IOleObject*>(p);
    ole->SetClientSite(host);
    ole->Release();
    return true;
}

// --- Events ---------------------------------------------------------------------------------

// BW_TRACE=1 prints every event (for looking into a failure).
void Trace(const char* what, const std::string& arg) {
    static const bool on = g_getenv("BW_TRACE") != nullptr;
    if (on) std::printf("  event %s %s\n", what, arg.c_str());
}

struct Events : fw::BrowserEvents {
    std::vector<std::string> before, navigated, completed, newWindows, titles, errors;
    std::vector<unsigned> newWindowFlags;
    std::vector<fw::EngineExit> ended;
    int closing = 0;
    bool cancelNewWindows = true;
    Clock::time_point firstComplete{};
    void BeforeNavigate2(const std::string& url, bool& cancel) override {
        Trace("BeforeNavigate2", url);
        before.push_back(url);
        if (url.find("cancel-me") != std::string::npos) cancel = true;
    }
    void NavigateComplete2(const std::string& url) override {
        Trace("NavigateComplete2", url);
        navigated.push_back(url);
    }
    void DocumentComplete(const std::string& url) override {
        Trace("DocumentComplete", url);
        if (completed.empty()) firstComplete = Clock::now();
        completed.push_back(url);
    }
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override {
        Trace("NewWindow3", url);
        newWindows.push_back(url);
        newWindowFlags.push_back(flags);
        cancel = cancelNewWindows;
    }
    void WindowClosing(bool&) override {
        Trace("WindowClosing", "");
        ++closing;
    }
    void TitleChange(const std::string& t) override {
        Trace("TitleChange", t);
        titles.push_back(t);
    }
    void NavigateError(const std::string& url) override {
        Trace("NavigateError", url);
        errors.push_back(url);
    }
    void EngineProcessEnded(fw::EngineExit why) override {
        Trace("EngineProcessEnded", why == fw::EngineExit::OutOfMemory ? "memory" : "crash");
        ended.push_back(why);
    }
    std::string Title() const { return titles.empty() ? "" : titles.back(); }
};

class TestWindow : public fw::Window {};

// The WebKitWebView the control put into the window (for looking at the page from outside).
WebKitWebView* ViewIn(fw::Window& w) {
    GtkFixed* fixed = fw::gtk::ContainerOf(w.native());
    WebKitWebView* found = nullptr;
    GList* kids = gtk_container_get_children(GTK_CONTAINER(fixed));
    for (GList* k = kids; k; k = k->next)
        if (WEBKIT_IS_WEB_VIEW(k->data)) found = WEBKIT_WEB_VIEW(k->data);
    g_list_free(kids);
    return found;
}

std::string EvalJs(WebKitWebView* view, const std::string& script) {
    struct State {
        bool done = false;
        std::string text;
    } st;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* src, GAsyncResult* res, gpointer data) {
            auto* s = static_cast<State*>(data);
            GError* err = nullptr;
            JSCValue* v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(src), res, &err);
            if (v) {
                gchar* t = jsc_value_to_string(v);
                s->text = t ? t : "";
                g_free(t);
                g_object_unref(v);
            } else {
                s->text = std::string("error:") + (err ? err->message : "?");
            }
            if (err) g_error_free(err);
            s->done = true;
        },
        &st);
    if (!WaitFor([&] { return st.done; }, 10000)) return "timeout";
    return st.text;
}

std::optional<std::string> Find(fw::BrowserControl& b, const std::string& tag, const std::string& id, bool* answered) {
    std::optional<std::string> out;
    bool done = false;
    b.FindElementText(tag, id, [&](std::optional<std::string> t) {
        out = std::move(t);
        done = true;
    });
    *answered = WaitFor([&] { return done; }, 10000);
    return out;
}

int PopupViews() {
    int n = 0;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* child = GTK_IS_BIN(t->data) ? gtk_bin_get_child(GTK_BIN(t->data)) : nullptr;
        if (child && WEBKIT_IS_WEB_VIEW(child)) ++n;
    }
    g_list_free(tops);
    return n;
}

void DestroyPopups() {
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* child = GTK_IS_BIN(t->data) ? gtk_bin_get_child(GTK_BIN(t->data)) : nullptr;
        if (child && WEBKIT_IS_WEB_VIEW(child)) gtk_widget_destroy(GTK_WIDGET(t->data));
    }
    g_list_free(tops);
}

// A visible menu window of this process (the engine's context menu).
bool MenuShown() {
    bool shown = false;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next) {
        GtkWidget* child = GTK_IS_BIN(t->data) ? gtk_bin_get_child(GTK_BIN(t->data)) : nullptr;
        if (child && GTK_IS_MENU(child) && gtk_widget_get_mapped(GTK_WIDGET(t->data))) shown = true;
    }
    g_list_free(tops);
    return shown;
}

bool HaveXdotool() { return g_find_program_in_path("xdotool") != nullptr; }

void Xdotool(const std::string& args) {
    std::string cmd = "xdotool " + args;
    g_spawn_command_line_sync(cmd.c_str(), nullptr, nullptr, nullptr, nullptr);
}

struct Fixture {
    TestWindow win;
    Events ev;
    FakeHost* host = nullptr;
    std::unique_ptr<fw::BrowserControl> browser;

    Fixture(bool withExternal, DWORD flags = 0x0C, bool takeMenu = true, bool visible = true,
            const fw::BrowserOptions& options = {}) {
        fw::CreateParams p;
        p.caption = "bridge-e2e";
        p.style = fw::kPopup | (visible ? fw::kVisible : 0u);
        p.rect = fw::Rect::FromXYWH(100, 100, 800, 600);
        win.Create(p);
        browser = fw::BrowserControl::Create(win, 174, fw::Rect::FromXYWH(0, 0, 800, 600), options);
        host = new FakeHost(withExternal, flags, takeMenu);
        if (browser) {
            browser->SetEvents(&ev);
            browser->SetSilent(true);
            Attach(*browser, host);
        }
    }
    ~Fixture() {
        browser.reset();
        if (host) host->Release();
        win.Destroy();
        Settle(50);
    }
    bool Load(const std::string& url, int ms = 15000) {
        std::size_t before = ev.completed.size();
        browser->Navigate(url);
        return WaitFor([&] { return ev.completed.size() > before; }, ms);
    }
    bool WaitTitle(const std::string& prefix, int ms) {
        return WaitFor([&] { return ev.Title().rfind(prefix, 0) == 0; }, ms);
    }
};

// --- Scenarios ------------------------------------------------------------------------------

// Runs first, before anything has run the main loop: the browser module is still loading, so
// the controls exist before their views. What a control is asked meanwhile is done once its
// view is there, in order and with the last rectangle; a control deleted before that never
// answers its document walk; one that quit lets its host go at once and tells nothing later.
void BeforeTheModule(const std::string& pages) {
    auto gone = std::make_unique<Fixture>(true);
    Fixture quitter(true);
    Fixture f(true);
    Expect(f.browser && gone->browser && quitter.browser, "early-create");
    if (!f.browser || !gone->browser || !quitter.browser) return;
    Expect(ViewIn(f.win) == nullptr, "early-create-does-not-wait-for-the-engine");
    Expect(f.browser->IsVisible(), "early-visible");

    bool goneAnswered = false;
    gone->browser->Navigate("data:text/html,<span id=usr>gone</span>");
    gone->browser->FindElementText("span", "usr", [&](std::optional<std::string>) { goneAnswered = true; });
    gone->browser.reset();

    std::string first = "data:text/html,<title>first</title>";
    std::string url = "file://" + pages + "/bridge_page.html";
    f.browser->Move(fw::Rect::FromXYWH(10, 20, 400, 300));
    f.browser->Show(false);
    f.browser->Show(true);
    f.browser->Navigate(first);
    f.browser->Navigate(url);
    Expect(f.browser->LocationUrl() == url, "early-location-url", f.browser->LocationUrl());
    std::vector<std::string> order;
    f.browser->FindElementText("span", "usr", [&](std::optional<std::string>) { order.push_back("walk"); });
    Expect(order.empty(), "early-walk-waits");

    ULONG hostRefs = quitter.host->AddRef();
    quitter.host->Release();
    quitter.browser->Navigate("data:text/html,<title>never</title>");
    quitter.browser->Quit();
    ULONG afterQuit = quitter.host->AddRef();
    quitter.host->Release();
    Expect(afterQuit < hostRefs, "early-quit-lets-host-go",
           std::to_string(hostRefs) + " -> " + std::to_string(afterQuit));
    Expect(quitter.browser->LocationUrl() == "about:blank", "early-quit-blank", quitter.browser->LocationUrl());

    gone.reset();  // runs the main loop for a moment: the module arrives meanwhile
    bool loaded = WaitFor([&] { return !f.ev.completed.empty(); }, 15000);
    Expect(loaded && f.ev.completed.back() == url, "early-navigation-done",
           f.ev.completed.empty() ? "none" : f.ev.completed.back());
    Expect(order.size() == 1, "early-walk-answered", std::to_string(order.size()));
    Expect(!f.ev.before.empty() && f.ev.before.front() == first, "early-navigations-in-order",
           f.ev.before.empty() ? "none" : f.ev.before.front());
    WebKitWebView* view = ViewIn(f.win);
    Expect(view != nullptr, "early-view-made");
    if (view) {
        GtkAllocation a;
        gtk_widget_get_allocation(GTK_WIDGET(view), &a);
        Expect(a.x == 10 && a.y == 20 && a.width == 400 && a.height == 300, "early-last-rectangle",
               std::to_string(a.x) + "," + std::to_string(a.y) + " " + std::to_string(a.width) + "x" +
                   std::to_string(a.height));
    }
    bool answered = false;
    auto tom = Find(*f.browser, "span", "usr", &answered);
    Expect(answered && tom && *tom == "Tom", "early-then-direct", tom ? *tom : "(none)");
    Settle(200);
    Expect(!goneAnswered, "early-deleted-never-answers");
    Expect(quitter.ev.before.empty() && quitter.ev.completed.empty() && quitter.ev.titles.empty(),
           "early-quit-no-events");
    Expect(quitter.browser->LocationUrl() == "about:blank", "early-quit-stays-blank",
           quitter.browser->LocationUrl());
    g_log.clear();  // what the page told the host is the next scenario's to count
}

// A key the page does not take reaches the window once, although the engine hands the event
// back to the window after the page has declined it.
void KeysReachTheWindowOnce() {
    if (!HaveXdotool()) return;
    class CountingWindow : public fw::Window {
    public:
        int f9 = 0;
        bool PreTranslateMessage(const fw::Msg& m) override {
            if (m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_F9) ++f9;
            return false;
        }
    } win;
    fw::CreateParams p;
    p.caption = "bridge-e2e-keys";
    p.style = fw::kPopup | fw::kVisible;
    p.rect = fw::Rect::FromXYWH(100, 100, 400, 300);
    win.Create(p);
    auto browser = fw::BrowserControl::Create(win, 174, fw::Rect::FromXYWH(0, 0, 400, 300));
    if (!browser) return Fail("keys-once", "no control");
    Events ev;
    browser->SetEvents(&ev);
    browser->Navigate("data:text/html,<p>keys</p>");
    WaitFor([&] { return !ev.completed.empty(); }, 10000);
    win.SetForeground();
    browser->Focus();
    Settle(300);
    Xdotool("key F9");
    Settle(600);
    Expect(win.f9 == 1, "keys-reach-the-window-once", std::to_string(win.f9));
    browser.reset();
    win.Destroy();
    Settle(50);
}

// Pages of a control made without acceleration are never composited; a control that asks
// for acceleration gets it only where the machine draws GL in hardware, or where RV_RENDERING
// says so. A software path settled before the engine starts turns its DMA-BUF renderer off.
void Acceleration() {
    Fixture plain(true);
    Fixture light(true, 0x0C, true, true, fw::BrowserOptions{false});
    plain.Load("data:text/html,a");
    light.Load("data:text/html,b");
    WebKitWebView* pv = ViewIn(plain.win);
    WebKitWebView* lv = ViewIn(light.win);
    if (!pv || !lv) return Fail("acceleration", "no view");
    auto policy = [](WebKitWebView* v) {
        return webkit_settings_get_hardware_acceleration_policy(webkit_web_view_get_settings(v));
    };
    Expect(policy(lv) == WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, "no-acceleration-never-composited");
    const bool accelerated = fw::gtk::browser::Accelerated(true);
    Expect(!fw::gtk::browser::Accelerated(false), "no-acceleration-asked-none-given");
    Expect((policy(pv) != WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER) == accelerated,
           "asked-acceleration-follows-the-choice");
    const std::string forced = g_getenv("RV_RENDERING") ? g_getenv("RV_RENDERING") : "";
    const char* dmabuf = g_getenv("WEBKIT_DISABLE_DMABUF_RENDERER");
    if (forced == "accelerated") {
        Expect(accelerated, "forced-accelerated");
        Expect(!dmabuf, "forced-accelerated-keeps-dmabuf");
    } else if (forced == "software") {
        Expect(!accelerated, "forced-software");
        Expect(dmabuf && std::string(dmabuf) == "1", "forced-software-no-dmabuf");
    } else if (!fw::gtk::rendering::HasRenderNode("/dev/dri")) {
        Expect(!accelerated, "no-render-node-software");
        Expect(dmabuf && std::string(dmabuf) == "1", "no-render-node-no-dmabuf");
    }
}

// A window is not painted again for what its browser child draws: while the child shows an
// animated page, GTK draws the parent under the view at every frame, and that only copies the
// parent's back buffer. Invalidating the parent still paints it.
class PaintCounter : public fw::Window {
public:
    int paints = 0;

protected:
    void OnPaint(fw::Canvas& canvas) override {
        ++paints;
        canvas.FillRect(fw::Rect::FromXYWH(0, 0, 600, 400), 0xFF336699);
    }
};

void ChildFramesLeaveTheParentUnpainted() {
    PaintCounter win;
    fw::CreateParams p;
    p.caption = "bridge-e2e-paint";
    p.style = fw::kPopup | fw::kVisible;
    p.rect = fw::Rect::FromXYWH(120, 120, 600, 400);
    win.Create(p);
    auto browser = fw::BrowserControl::Create(win, 176, fw::Rect::FromXYWH(100, 50, 400, 300));
    if (!browser) return Fail("child-frames", "no control");
    Events ev;
    browser->SetEvents(&ev);
    browser->Navigate(
        "data:text/html,<body style='margin:0'><div id=d style='width:400px;height:300px'></div><script>"
        "var n=0;function f(){n++;document.getElementById('d').style.background='rgb('+(n%256)+',0,0)';"
        "document.title='f'+n;requestAnimationFrame(f)}requestAnimationFrame(f)</script></body>");
    if (!WaitFor([&] { return ev.Title().rfind("f", 0) == 0; }, 15000)) return Fail("child-frames", "no frames");
    Settle(300);
    auto frames = [&] { return std::atoi(ev.Title().c_str() + 1); };
    const int paints0 = win.paints, frames0 = frames();
    Settle(1000);
    const int drawn = frames() - frames0, painted = win.paints - paints0;
    // The page must really animate for the count to mean anything.
    Expect(drawn >= 5, "child-frames-animate", std::to_string(drawn) + " frames");
    Expect(painted == 0, "child-frames-no-parent-paint",
           std::to_string(painted) + " paints of the parent over " + std::to_string(drawn) + " frames");
    win.Invalidate();
    Expect(WaitFor([&] { return win.paints > paints0 + painted; }, 2000), "invalidated-parent-paints");
    browser.reset();
    win.Destroy();
    Settle(50);
}

// Run from a folder whose browser module is missing (`missing`) or cannot be loaded: the
// program carries on, controls cannot be made (one that was made before the load failed shows
// nothing and answers no walk), and clearing the website data still finishes.
int WithoutModule(bool missing) {
    TestWindow win;
    fw::CreateParams p;
    p.caption = "bridge-e2e";
    p.style = fw::kPopup | fw::kVisible;
    p.rect = fw::Rect::FromXYWH(100, 100, 400, 300);
    win.Create(p);
    auto early = fw::BrowserControl::Create(win, 174, fw::Rect::FromXYWH(0, 0, 400, 300));
    // A missing module is known at once; a broken one only when its load has ended.
    if (missing)
        Expect(!early, "missing-module-no-control");
    else
        Expect(early != nullptr, "broken-module-control-before-the-load-ends");
    bool answered = false;
    std::optional<std::string> text = "x";
    if (early) {
        early->Navigate("data:text/html,<span id=a>x</span>");
        early->FindElementText("span", "a", [&](std::optional<std::string> t) {
            answered = true;
            text = std::move(t);
        });
    }
    bool cleared = false;
    fw::gtk::ClearWebsiteDataExceptCookies([&] { cleared = true; });
    Expect(!cleared, "without-module-clear-not-before-return");
    Expect(WaitFor([&] { return cleared; }, 10000), "without-module-clear-finishes");
    if (early) {
        WaitFor([&] { return answered; }, 5000);
        Expect(answered && !text, "broken-module-walk-answers-none");
        Expect(!early->IsVisible() && ViewIn(win) == nullptr, "broken-module-no-view");
        early->Navigate("data:text/html,y");
        early->Quit();
        early.reset();
    }
    Expect(!fw::BrowserControl::Create(win, 175, fw::Rect::FromXYWH(0, 0, 10, 10)), "without-module-no-control");
    win.Destroy();
    std::printf("%s (%d failed)\n", g_failures ? "FAILED" : "ALL PASSED", g_failures);
    return g_failures ? 1 : 0;
}

void BridgePage(const std::string& pages) {
    Fixture f(true);
    Expect(f.browser != nullptr, "create");
    if (!f.browser) return;
    std::string url = "file://" + pages + "/bridge_page.html";
    auto t0 = Clock::now();
    bool loaded = f.Load(url);
    Expect(loaded, "first-document-complete", "no DocumentComplete");
    if (loaded) std::printf("INFO first DocumentComplete of a local page %.0f ms after start (%.0f ms after Navigate)\n",
                            MsSince(g_start), std::chrono::duration<double, std::milli>(f.ev.firstComplete - t0).count());
    Expect(!f.ev.before.empty() && f.ev.before.front() == url, "before-navigate", f.ev.before.empty() ? "none" : f.ev.before.front());
    Expect(!f.ev.navigated.empty() && f.ev.navigated.back() == url, "navigate-complete");
    Expect(f.browser->LocationUrl() == url, "location-url", f.browser->LocationUrl());

    bool titled = f.WaitTitle("result:", 10000);
    Expect(titled && f.ev.Title() == "result:ok", "page-checks", f.ev.Title());
    int closes = 0;
    for (auto& l : g_log) closes += l == "API_close";
    Expect(closes == 1, "api-close-reached-host", std::to_string(closes));

    bool answered = false;
    auto tom = Find(*f.browser, "span", "usr", &answered);
    Expect(answered && tom && *tom == "Tom", "find-element-text", tom ? *tom : "(none)");
    auto none = Find(*f.browser, "span", "nope", &answered);
    Expect(answered && !none, "find-element-none");

    WebKitWebView* view = ViewIn(f.win);
    Expect(view != nullptr, "view-in-window");
    if (!view) return;
    std::string bar = EvalJs(view, "String(window.innerWidth - document.documentElement.clientWidth)");
    Expect(bar == "0", "scroll-bars-hidden", bar);
    std::string size = EvalJs(view, "window.innerWidth + 'x' + window.innerHeight");
    Expect(size == "800x600", "view-size", size);

    // window.close(), also after the view has more than one history entry.
    EvalJs(view, "window.close(); 'x'");
    Expect(WaitFor([&] { return f.ev.closing == 1; }, 3000), "window-close", std::to_string(f.ev.closing));

    // window.open: NewWindow3 once; cancelled, nothing opens.
    webkit_settings_set_javascript_can_open_windows_automatically(webkit_web_view_get_settings(view), TRUE);
    EvalJs(view, "window.open('http://127.0.0.1:65533/popup-x'); 'x'");
    Settle(300);
    Expect(f.ev.newWindows.size() == 1 && f.ev.newWindows[0] == "http://127.0.0.1:65533/popup-x", "window-open-asks",
           std::to_string(f.ev.newWindows.size()));
    Expect(PopupViews() == 0, "window-open-cancelled");

    // A target=_blank link let through: asked once, one window of its own.
    f.ev.cancelNewWindows = false;
    f.ev.newWindows.clear();
    if (HaveXdotool()) {
        f.win.SetForeground();
        Settle(300);
        Xdotool("mousemove 150 130");  // the link at the page's top left; the window is at (100, 100)
        Settle(150);
        Xdotool("click 1");
        WaitFor([] { return PopupViews() > 0; }, 3000);
        Settle(300);
        Expect(f.ev.newWindows.size() == 1 && f.ev.newWindows[0] == "http://127.0.0.1:65533/blank-target",
               "blank-link-asks-once", std::to_string(f.ev.newWindows.size()));
        Expect(PopupViews() == 1, "blank-link-opens-window", std::to_string(PopupViews()));
        DestroyPopups();
    }
    f.ev.cancelNewWindows = true;

    // Cost of a call, measured in the page: three rounds of 1000.
    for (int round = 0; round < 3; ++round) {
        std::string us = EvalJs(view, "var e = window.external, t = performance.now();"
                                      "for (var i = 0; i < 1000; i++) e.WD_JAPI('getApiVersion');"
                                      "((performance.now() - t)).toFixed(1)");
        std::printf("INFO 1000 calls of WD_JAPI('getApiVersion'): %s ms\n", us.c_str());
    }

    // Blanks come back as the page wrote them; a cancelled navigation goes nowhere.
    f.ev.before.clear();
    f.Load(url + "?client = 1");
    Expect(!f.ev.before.empty() && f.ev.before.front().find("?client = 1") != std::string::npos, "blanks-unescaped",
           f.ev.before.empty() ? "none" : f.ev.before.front());
    std::string at = f.browser->LocationUrl();
    std::size_t navs = f.ev.navigated.size();
    f.browser->Navigate(url + "?cancel-me");
    Settle(500);
    Expect(f.ev.navigated.size() == navs && f.browser->LocationUrl() == at, "navigation-cancelled", f.browser->LocationUrl());

    // A load that fails gives no DocumentComplete.
    std::size_t done = f.ev.completed.size();
    f.browser->Navigate("http://127.0.0.1:65533/nothing-listens");
    Settle(1500);
    Expect(f.ev.completed.size() == done, "failed-load-no-complete", std::to_string(f.ev.completed.size() - done));

    // Context menu: none while the host takes it.
    if (HaveXdotool()) {
        f.Load(url);
        f.win.SetForeground();
        Settle(300);
        Xdotool("mousemove 500 500");
        Settle(150);
        Xdotool("click 3");
        Settle(700);
        Expect(!MenuShown(), "no-context-menu");
    }
}

void ContextMenuShownWithoutHost() {
    if (!HaveXdotool()) return;
    Fixture f(true, 0x0C, false);
    f.Load("data:text/html,<p>menu</p>");
    f.win.SetForeground();
    Settle(300);
    Xdotool("mousemove 500 500");
    Settle(150);
    Xdotool("click 3");
    bool shown = WaitFor(MenuShown, 2000);
    Expect(shown, "context-menu-when-host-lets-it");
    Xdotool("key Escape");
    Settle(200);
}

void ScrollBarsWithoutFlag(const std::string& pages) {
    Fixture f(true, 0);
    f.Load("file://" + pages + "/bridge_page.html");
    WebKitWebView* view = ViewIn(f.win);
    std::string bar = view ? EvalJs(view, "String(window.innerWidth - document.documentElement.clientWidth)") : "?";
    std::printf("INFO scroll bar width without DOCHOSTUIFLAG_SCROLL_NO: %s px\n", bar.c_str());
    Expect(bar != "0", "scroll-bars-shown-without-flag", bar);
}

void NoExternal() {
    Fixture f(false);
    f.Load("data:text/html,<script>document.title='ext:'+typeof window.external</script>");
    f.WaitTitle("ext:", 5000);
    Expect(f.ev.Title() == "ext:undefined", "no-external-undefined", f.ev.Title());
}

// The page dialog loads its first page while hidden.
void HiddenParent() {
    Fixture f(true, 0x0C, true, false);
    bool loaded = f.Load("data:text/html,<script>document.title='ext:'+window.external.WD_JAPI('getApiVersion')</script>");
    Expect(loaded, "hidden-parent-document-complete");
    f.WaitTitle("ext:", 5000);
    Expect(f.ev.Title() == "ext:1", "hidden-parent-bridge", f.ev.Title());
    f.win.Show(fw::ShowCmd::Show);
    Settle(300);
    WebKitWebView* view = ViewIn(f.win);
    std::string size = view ? EvalJs(view, "window.innerWidth + 'x' + window.innerHeight") : "?";
    Expect(size == "800x600", "hidden-parent-shown-size", size);
}

void QuitDropsBridge() {
    Fixture f(true);
    f.Load("data:text/html,<script>document.title='ext:'+typeof window.external</script>");
    f.WaitTitle("ext:", 5000);
    Expect(f.ev.Title() == "ext:object", "external-object", f.ev.Title());
    std::size_t events = f.ev.before.size() + f.ev.navigated.size() + f.ev.completed.size();
    f.browser->Quit();
    Settle(800);
    Expect(f.ev.before.size() + f.ev.navigated.size() + f.ev.completed.size() == events, "quit-no-events");
    Expect(f.browser->LocationUrl() == "about:blank", "quit-blank", f.browser->LocationUrl());
    f.browser->Navigate("data:text/html,x");
    Settle(300);
    Expect(f.browser->LocationUrl() == "about:blank", "quit-for-good", f.browser->LocationUrl());
}

// The call closes everything: the control goes and the host's last reference with it. The
// external object must outlive the call.
void DestroyDuringCall() {
    g_log.clear();
    auto f = std::make_unique<Fixture>(true);
    FakeHost* host = f->host;
    f->host = nullptr;  // released by the call below
    host->external()->onDestroy = [&] {
        f->browser.reset();
        host->Release();
    };
    f->browser->Navigate("data:text/html,<script>setTimeout(function(){window.external.Destroy()},50)</script>");
    bool gone = WaitFor([] { return !g_log.empty() && g_log.back() == "external-deleted"; }, 5000);
    std::string seq;
    for (auto& l : g_log) seq += l + " ";
    Expect(gone && g_log.size() >= 3 && g_log[0] == "destroy-begin" && g_log[1] == "destroy-end", "destroy-during-call", seq);
    f.reset();
}

// Silent: script dialogs answer as dismissed ones, without showing.
void SilentDialogs() {
    Fixture f(true);
    f.Load("data:text/html,<script>alert('a');document.title='d:'+confirm('c')+':'+prompt('p','x')</script>");
    f.WaitTitle("d:", 5000);
    Expect(f.ev.Title() == "d:false:null", "silent-dialogs", f.ev.Title());
}

// Geometry: the control's rectangle is the view's, even one larger than the parent, and it
// never makes the parent larger.
void Geometry() {
    Fixture f(true);
    f.Load("data:text/html,<p>size</p>");
    WebKitWebView* view = ViewIn(f.win);
    if (!view) return Fail("geometry", "no view");
    f.browser->Move(fw::Rect::FromXYWH(10, 20, 400, 300));
    Settle(300);
    std::string size = EvalJs(view, "window.innerWidth + 'x' + window.innerHeight");
    Expect(size == "400x300", "move", size);
    GtkAllocation a;
    gtk_widget_get_allocation(GTK_WIDGET(view), &a);
    Expect(a.x == 10 && a.y == 20, "move-position", std::to_string(a.x) + "," + std::to_string(a.y));

    f.browser->Move(fw::Rect::FromXYWH(0, 0, 1129, 583));  // as the page dialog does before its first WM_SIZE
    f.win.SetPos(fw::Rect::FromXYWH(100, 100, 788, 387), fw::kNoZOrder);
    Settle(600);
    GtkWindow* top = fw::gtk::ToplevelOf(f.win.native());
    int w = 0, h = 0;
    gtk_window_get_size(top, &w, &h);
    Expect(w == 788 && h == 387, "larger-control-keeps-parent-size", std::to_string(w) + "x" + std::to_string(h));
    size = EvalJs(view, "window.innerWidth + 'x' + window.innerHeight");
    Expect(size == "1129x583", "larger-control-size", size);

    f.browser->Show(false);
    Expect(!f.browser->IsVisible() && !gtk_widget_get_visible(GTK_WIDGET(view)), "hide");
    f.browser->Show(true);
    Expect(f.browser->IsVisible(), "show");
}

// The parent window goes first: the control stays safe to use and to delete.
void ParentGoesFirst() {
    Fixture f(true);
    f.Load("data:text/html,<span id=a>x</span>");
    f.win.Destroy();
    Settle(100);
    f.browser->Navigate("data:text/html,y");
    f.browser->Move(fw::Rect::FromXYWH(0, 0, 10, 10));
    f.browser->Refresh();
    bool answered = false;
    auto t = Find(*f.browser, "span", "a", &answered);
    Expect(answered && !t, "parent-gone-find-answers-none");
    Expect(!f.browser->IsVisible(), "parent-gone-not-visible");
    f.browser.reset();
    Settle(100);
    Pass("parent-gone-delete");
}

// Website data: everything but cookies can be cleared; cookies are kept on disk.
void ClearData(const std::string& portal) {
    Fixture f(true);
    f.Load(portal + "/bench/bridge");
    WebKitWebView* view = ViewIn(f.win);
    if (!view) return Fail("clear-data", "no view");
    EvalJs(view, "document.cookie = 'rvkeep=1; max-age=3600; path=/'; localStorage.setItem('rvgone', '1'); 'x'");
    bool cleared = false;
    fw::gtk::ClearWebsiteDataExceptCookies([&] { cleared = true; });
    Expect(WaitFor([&] { return cleared; }, 10000), "clear-data-done");
    f.Load(portal + "/bench/bridge");
    std::string after = EvalJs(view, "document.cookie.indexOf('rvkeep=1') >= 0 ? 'cookie' : 'no-cookie'");
    Expect(after == "cookie", "clear-data-keeps-cookies", after);
    after = EvalJs(view, "String(localStorage.getItem('rvgone'))");
    Expect(after == "null", "clear-data-clears-storage", after);

    std::string cache = fw::gtk::WebCacheDirectory();
    const char* xdg = g_getenv("XDG_CACHE_HOME");
    Expect(xdg && cache == std::string(xdg) + "/raduvove", "cache-directory", cache);
    const char* data = g_getenv("XDG_DATA_HOME");
    std::string jar = data ? std::string(data) + "/raduvove/cookies.sqlite" : "";
    Expect(!jar.empty() && g_file_test(jar.c_str(), G_FILE_TEST_EXISTS), "cookie-jar-on-disk", jar);
}

// The bridge socket of this process (in its private folder under the runtime directory).
std::string BridgeSocket() {
    std::string pattern = std::string(g_get_user_runtime_dir()) + "/raduvove-*/bridge";
    glob_t g{};
    std::string path;
    if (glob(pattern.c_str(), 0, nullptr, &g) == 0) {
        for (std::size_t k = 0; k < g.gl_pathc && path.empty(); ++k) path = g.gl_pathv[k];
    }
    globfree(&g);
    return path;
}

int Dial(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the UI process closed the connection (read gives end of file) while serving.
bool ClosedByPeer(int fd) {
    bool closed = false;
    WaitFor([&] {
        char b;
        ssize_t k = recv(fd, &b, 1, MSG_DONTWAIT);
        closed = k == 0;
        return closed || (k < 0 && errno != EAGAIN);
    }, 2000);
    return closed;
}

// Frames that break the wire close that connection and nothing else; a well-formed request
// for a page that does not exist gets "no external object".
void BadPeers() {
    Fixture f(true);
    f.Load("data:text/html,x");  // the engine and its bridge are running
    std::string path = BridgeSocket();
    Expect(!path.empty(), "bridge-socket-found", path);
    if (path.empty()) return;

    const std::string zero("\0\0\0\0", 4), huge("\xFF\xFF\xFF\x7F", 4), junk("\x05\0\0\0\x09zzzz", 9);
    for (const std::string* bad : {&zero, &huge, &junk}) {
        int fd = Dial(path);
        send(fd, bad->data(), bad->size(), MSG_NOSIGNAL);
        Expect(ClosedByPeer(fd), "bad-frame-closes-connection");
        close(fd);
    }
    int fd = Dial(path);
    send(fd, "\x40\0\0\0\x02", 5, MSG_NOSIGNAL);  // half a frame, then gone
    close(fd);

    fd = Dial(path);
    fw::gtk::bridge::Request rq;
    rq.kind = fw::gtk::bridge::Kind::Call;
    rq.seq = 77;
    rq.page = 0xFFFFFFFFFFull;
    rq.name = u"WD_JAPI";
    std::string frame;
    fw::gtk::bridge::EncodeRequest(rq, frame);
    send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    std::string in;
    WaitFor([&] {
        char b[64];
        ssize_t k = recv(fd, b, sizeof b, MSG_DONTWAIT);
        if (k > 0) in.append(b, static_cast<std::size_t>(k));
        return in.size() >= 4 && in.size() >= 4 + fw::gtk::bridge::FrameLength(in.data());
    }, 2000);
    fw::gtk::bridge::Response rs;
    bool ok = in.size() > 4 && fw::gtk::bridge::DecodeResponse(in.data() + 4, in.size() - 4, rs);
    Expect(ok && rs.seq == 77 && rs.status == fw::gtk::bridge::Status::NoExternal, "unknown-page-no-external");
    close(fd);

    f.Load("data:text/html,<script>document.title='ext:'+window.external.WD_JAPI('getApiVersion')</script>");
    f.WaitTitle("ext:", 5000);
    Expect(f.ev.Title() == "ext:1", "bridge-survives-bad-peers", f.ev.Title());
}

// --- Refresh, failed loads, engine processes that die, new windows of one click -------------

// GET of a path on the portal, answered while the main loop keeps running (the portal is
// local: a blocking socket with a short time-out). The body, or "" when it did not answer.
std::string PortalGet(const std::string& portal, const std::string& path) {
    const std::size_t colon = portal.rfind(':');
    const int port = colon == std::string::npos ? 0 : std::atoi(portal.c_str() + colon + 1);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string body;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string rq = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(fd, rq.data(), rq.size(), MSG_NOSIGNAL);
        char buf[4096];
        for (ssize_t k; (k = recv(fd, buf, sizeof buf, 0)) > 0;) body.append(buf, static_cast<std::size_t>(k));
        std::size_t head = body.find("\r\n\r\n");
        body = head == std::string::npos ? "" : body.substr(head + 4);
    }
    close(fd);
    return body;
}

// How many requests for `path` the portal has served so far.
int PortalServed(const std::string& portal, const std::string& path) {
    const std::string log = PortalGet(portal, "/__log");
    const std::string needle = "\"path\":\"" + path + "\"";
    int n = 0;
    for (std::size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++n;
    return n;
}

// Kills this program's engine processes of one kind (web or network), as a crash would end them.
int KillEngineProcesses(const char* comm15) {
    int killed = 0;
    DIR* d = opendir("/proc");
    while (dirent* e = d ? readdir(d) : nullptr) {
        const std::string path = std::string("/proc/") + e->d_name + "/stat";
        FILE* f = std::isdigit(static_cast<unsigned char>(e->d_name[0])) ? std::fopen(path.c_str(), "r") : nullptr;
        if (!f) continue;
        char line[512] = {};
        std::fgets(line, sizeof line, f);
        std::fclose(f);
        const char* open = std::strchr(line, '(');
        const char* close = std::strrchr(line, ')');
        if (!open || !close) continue;
        const std::string comm(open + 1, close);
        int ppid = 0;
        char state = 0;
        if (std::sscanf(close + 1, " %c %d", &state, &ppid) != 2) continue;
        if (ppid == getpid() && comm == comm15 && state != 'Z') {
            kill(std::atoi(e->d_name), SIGKILL);
            ++killed;
        }
    }
    if (d) closedir(d);
    return killed;
}

int KillWebProcesses() { return KillEngineProcesses("WebKitWebProces"); }

void RefreshAndEngineEnd(const std::string& portal) {
    Fixture f(true);
    // The client link's page: the game page, with a frame of its own.
    const std::string link = portal + "/game/play/?server=S9&client = 1";
    Expect(f.Load(link), "refresh-page-loaded");
    Settle(300);
    std::size_t before = f.ev.before.size(), done = f.ev.completed.size();
    int served = PortalServed(portal, "/game/play/");
    f.browser->Refresh();
    Expect(WaitFor([&] { return f.ev.completed.size() > done; }, 10000), "refresh-completes");
    Settle(500);  // the frame of the page loads again meanwhile
    Expect(f.ev.before.size() == before, "refresh-no-before-navigate",
           std::to_string(f.ev.before.size() - before) + " raised, the last " + f.ev.before.back());
    Expect(f.ev.newWindows.empty(), "refresh-no-new-window");
    Expect(PortalServed(portal, "/game/play/") == served + 1, "refresh-asks-the-server");

    // The network process dies: the page stays, and a refresh still asks the server.
    Expect(KillEngineProcesses("WebKitNetworkPr") >= 1, "network-process-killed");
    Settle(300);
    done = f.ev.completed.size();
    served = PortalServed(portal, "/game/play/");
    f.browser->Refresh();
    Expect(WaitFor([&] { return f.ev.completed.size() > done; }, 10000), "refresh-after-the-network-ended-completes");
    Expect(PortalServed(portal, "/game/play/") == served + 1, "refresh-after-the-network-ended-asks-the-server");
    Expect(f.ev.ended.empty(), "network-end-is-no-page-end");

    // The engine process dies: one notice; the address is kept; a refresh brings the page
    // back from the server (the engine would take it from its cache), with its bridge.
    int killed = KillWebProcesses();
    Expect(killed >= 1, "web-process-killed", std::to_string(killed));
    Expect(WaitFor([&] { return !f.ev.ended.empty(); }, 5000) && f.ev.ended.size() == 1 &&
               f.ev.ended[0] == fw::EngineExit::Crashed,
           "engine-ended-raised-once", std::to_string(f.ev.ended.size()));
    Expect(f.browser->LocationUrl().find("/game/play/?server=S9&client") != std::string::npos,
           "location-kept-after-the-engine-ended", f.browser->LocationUrl());
    before = f.ev.before.size();
    done = f.ev.completed.size();
    served = PortalServed(portal, "/game/play/");
    f.browser->Refresh();
    Expect(WaitFor([&] { return f.ev.completed.size() > done; }, 10000), "refresh-after-the-engine-ended-completes");
    Settle(300);
    Expect(f.ev.before.size() == before, "refresh-after-the-engine-ended-no-before-navigate");
    Expect(PortalServed(portal, "/game/play/") == served + 1, "refresh-after-the-engine-ended-asks-the-server",
           std::to_string(PortalServed(portal, "/game/play/") - served));
    f.Load("data:text/html,<script>document.title='ext:'+window.external.WD_JAPI('getApiVersion')</script>");
    f.WaitTitle("ext:", 5000);
    Expect(f.ev.Title() == "ext:1", "bridge-after-the-engine-ended", f.ev.Title());

    // A page that cannot be loaded: announced, then reported; no DocumentComplete.
    done = f.ev.completed.size();
    f.browser->Navigate("http://127.0.0.1:65533/nothing-listens");
    Expect(WaitFor([&] { return !f.ev.errors.empty(); }, 5000) && f.ev.errors.back().find("65533") != std::string::npos,
           "navigate-error", f.ev.errors.empty() ? "none" : f.ev.errors.back());
    Settle(300);
    Expect(f.ev.completed.size() == done, "navigate-error-no-complete");
    // A quit control hears nothing of its engine.
    f.browser->Quit();
    KillWebProcesses();
    Settle(1000);
    Expect(f.ev.ended.size() == 1, "no-engine-notice-after-quit", std::to_string(f.ev.ended.size()));
}

// A refresh while the page is still loading (a frame that never answers): the load it
// supersedes ends after the refresh was asked for, and still no navigation event comes.
void RefreshWhileLoading() {
    int quiet = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);  // takes connections, never answers
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(quiet, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(quiet, 16) != 0 ||
        getsockname(quiet, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(quiet);
        return Fail("refresh-while-loading", "no listening socket");
    }
    const std::string frame = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/never";
    Fixture f(true);
    f.browser->Navigate("data:text/html,<p>client = 1</p><iframe src='" + frame + "'></iframe>");
    Expect(WaitFor([&] { return f.ev.navigated.size() == 1; }, 5000), "refresh-while-loading-committed");
    Settle(300);
    Expect(f.ev.completed.empty(), "refresh-while-loading-still-loading");
    const std::size_t before = f.ev.before.size();
    f.browser->Refresh();
    Settle(1500);
    Expect(f.ev.before.size() == before, "refresh-while-loading-no-before-navigate",
           std::to_string(f.ev.before.size() - before) + " raised");
    f.browser->Stop();
    close(quiet);
}

// One click whose script opens three windows: each asked for, only the first marked as the
// first of the user's action; the next click's first is marked again.
void NewWindowsOfOneClick() {
    if (!HaveXdotool()) return;
    Fixture f(true);
    f.Load("data:text/html,<button id=b style='position:absolute;left:0;top:0;width:300px;height:200px' "
           "onclick=\"for(var i=0;i<3;i++)window.open('http://127.0.0.1:65533/w'+i)\">open</button>");
    f.win.SetForeground();
    Settle(300);
    for (int round = 0; round < 2; ++round) {
        Xdotool("mousemove 200 200");  // the window is at (100, 100)
        Settle(150);
        Xdotool("click 1");
        WaitFor([&] { return f.ev.newWindows.size() >= 3u * (round + 1); }, 3000);
    }
    Settle(300);
    const std::vector<unsigned> want{fw::NWMF_USERINITED | fw::NWMF_FIRST, fw::NWMF_USERINITED, fw::NWMF_USERINITED,
                                     fw::NWMF_USERINITED | fw::NWMF_FIRST, fw::NWMF_USERINITED, fw::NWMF_USERINITED};
    std::string got;
    for (unsigned fl : f.ev.newWindowFlags) got += std::to_string(fl) + " ";
    Expect(f.ev.newWindowFlags == want, "new-window-flags-first-of-each-click", got);
    Expect(PopupViews() == 0, "new-windows-of-one-click-cancelled");
}

void Launcher(const std::string& portal) {
    Fixture f(true);
    auto t0 = Clock::now();
    bool loaded = f.Load(portal + "/game/s/dmor/?uid=u&suid=s");
    Expect(loaded, "launcher-loaded");
    if (!loaded) return;
    std::printf("INFO launcher page: DocumentComplete %.0f ms after Navigate, %.0f ms after start\n", MsSince(t0),
                MsSince(g_start));
    bool answered = false;
    auto name = Find(*f.browser, "span", "usr", &answered);
    Expect(answered && name && !name->empty(), "launcher-user-name", name ? *name : "(none)");
    auto ver = Find(*f.browser, "b", "apiver", &answered);
    Expect(answered && ver && *ver == "1", "launcher-api-version", ver ? *ver : "(none)");
    WebKitWebView* view = ViewIn(f.win);
    std::string frame = view ? EvalJs(view, "document.querySelector('iframe').contentDocument"
                                            ".querySelector('[data-test=frame-apiver]').textContent")
                             : "?";
    Expect(frame == "1", "launcher-iframe-api-version", frame);
}

void Bench(const std::string& portal) {
    Fixture f(true);
    f.Load(portal + "/bench/bridge");
    WaitFor([&] { return f.ev.Title().rfind("bench:", 0) == 0 && f.ev.Title() != "bench:running"; }, 60000);
    std::string t = f.ev.Title();
    std::printf("INFO %s (median getApiVersion us : median unknown-method us : total ms)\n", t.c_str());
    Expect(t.rfind("bench:", 0) == 0 && t.find("error") == std::string::npos && t != "bench:running", "bench", t);
}

}  // namespace

int main(int argc, char** argv) {
    std::string pages, portal;
    bool benchOnly = false, launcherOnly = false, moduleMissing = false, moduleBroken = false, renderingOnly = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--pages" && k + 1 < argc) pages = argv[++k];
        else if (a == "--portal" && k + 1 < argc) portal = argv[++k];
        else if (a == "--bench-only") benchOnly = true;
        else if (a == "--launcher-only") launcherOnly = true;
        else if (a == "--module-missing") moduleMissing = true;
        else if (a == "--module-broken") moduleBroken = true;
        else if (a == "--rendering-only") renderingOnly = true;
    }
    if (moduleMissing || moduleBroken) {
        fw::InitPlatform(argc, argv);
        return fw::gtk::Ready() ? WithoutModule(moduleMissing) : 2;
    }
    if (renderingOnly) {  // the rendering path under an RV_RENDERING of the caller's
        fw::InitPlatform(argc, argv);
        if (!fw::gtk::Ready()) return 2;
        Acceleration();
        std::printf("%s (%d failed)\n", g_failures ? "FAILED" : "ALL PASSED", g_failures);
        return g_failures ? 1 : 0;
    }
    if (pages.empty() && !benchOnly && !launcherOnly) {
        std::fprintf(stderr, "usage: bridge_e2e --pages DIR [--portal URL] [--bench-only | --launcher-only]\n"
                             "       bridge_e2e --module-missing | --module-broken | --rendering-only\n");
        return 2;
    }
    // Classic scroll bars, which take room in the layout: the page can tell whether they are there.
    g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
    fw::InitPlatform(argc, argv);
    if (!fw::gtk::Ready()) return 2;
    if (launcherOnly) {
        if (!portal.empty()) Launcher(portal);
    } else if (!benchOnly) {
        BeforeTheModule(pages);
        Acceleration();
        ChildFramesLeaveTheParentUnpainted();
        KeysReachTheWindowOnce();
        BridgePage(pages);
        ContextMenuShownWithoutHost();
        ScrollBarsWithoutFlag(pages);
        NoExternal();
        HiddenParent();
        QuitDropsBridge();
        DestroyDuringCall();
        SilentDialogs();
        Geometry();
        ParentGoesFirst();
        BadPeers();
        NewWindowsOfOneClick();
        RefreshWhileLoading();
        if (!portal.empty()) {
            Launcher(portal);
            ClearData(portal);
            RefreshAndEngineEnd(portal);
        }
    }
    if (!portal.empty() && !launcherOnly) Bench(portal);
    std::printf("%s (%d failed)\n", g_failures ? "FAILED" : "ALL PASSED", g_failures);
    return g_failures ? 1 : 0;
}
