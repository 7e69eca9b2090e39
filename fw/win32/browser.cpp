// The browser control on Win32: the system's WebBrowser control in a small OLE container of
// our own. Each control lives in a host window (a child of the fw window) where it is
// activated in place with our client site, in-place site and frame; its DWebBrowserEvents2
// reach a sink advised through the control's connection point and go on to the client's
// BrowserEvents. The client's host object takes over the client site afterwards through
// IOleObject::SetClientSite (AttachToControl); the control keeps the in-place site it was
// activated with.
//
// - Keys: the message loop hands a key for one of the control's windows to the control's
//   IOleInPlaceActiveObject::TranslateAccelerator after the fw window's pre-translation, as
//   the window's KeyForControl says (app.cpp).
// - A refresh raises no BeforeNavigate2 and no NewWindow3 of its own, until its load ends, as
//   fw/browser.h asks: RefreshRule (refresh_rule.h) tells its navigations from the others by
//   their addresses. A NewWindow3 that is not passed on is cancelled, in every state: left
//   alone, the control would open a browser window of its own. One that the client lets
//   through opens in a pop-up of ours (popup.cpp), owned by the control's top-level window.
// - The engine runs inside this process: it cannot end by itself while the program runs, so
//   EngineProcessEnded never comes from this control.
// - Closing the control from inside one of its own events would pull the object from under
//   the call that is running: it is then closed once that event has returned.
#include "fw/win32/native.h"

#include <exdispid.h>
#include <mshtml.h>
#include <urlmon.h>

#include <atomic>
#include <string>

#include "fw/browser.h"
#include "fw/win32/refresh_rule.h"
#include "fw/windows/wide.h"

namespace fw::win32 {

namespace {

constexpr const wchar_t* kHostClass = L"RaduVoveBrowserHost";
int g_eventDepth = 0;  // events of any control being delivered now (UI thread)

class Win32Browser;

std::string VariantText(const VARIANT* v) {
    while (v && v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    if (!v) return {};
    if (v->vt == VT_BSTR && v->bstrVal) return windows::Narrow(std::wstring_view(v->bstrVal, SysStringLen(v->bstrVal)));
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal && *v->pbstrVal)
        return windows::Narrow(std::wstring_view(*v->pbstrVal, SysStringLen(*v->pbstrVal)));
    return {};
}

unsigned VariantUInt(const VARIANT* v) {
    while (v && v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    if (!v) return 0;
    switch (v->vt) {
    case VT_UI4: return v->ulVal;
    case VT_I4: return static_cast<unsigned>(v->lVal);
    case VT_UINT: return v->uintVal;
    case VT_INT: return static_cast<unsigned>(v->intVal);
    default: return 0;
    }
}

void SetCancel(VARIANT* v, bool cancel) {
    if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal) *v->pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

// The event's argument by its place in the event's declaration (arguments come last first).
VARIANT* Arg(DISPPARAMS* p, UINT index) {
    if (!p || index >= p->cArgs) return nullptr;
    return &p->rgvarg[p->cArgs - 1 - index];
}

// ---- the container -----------------------------------------------------------------------

class Site;

class Frame final : public IOleInPlaceFrame {
public:
    explicit Frame(Site& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* obj, LPCOLESTR) override;
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    Site& site_;
};

// DWebBrowserEvents2, advised through the control's connection point.
class Sink final : public IDispatch {
public:
    explicit Sink(Site& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
        if (t) *t = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

private:
    Site& site_;
};

// The container's own client site and in-place site. It offers no IDocHostUIHandler: a
// control left with it shows the engine's defaults (context menu, border, scroll bars).
class Site final : public IOleClientSite, public IOleInPlaceSite {
public:
    Site() : frame_(*this), sink_(*this) {}

    bool Open(HWND parent, int id, const Rect& rect);
    // Stops the events and lets the control go; destroys the host window unless it is being
    // destroyed already. Safe to call more than once.
    void Close(bool hostGoing);
    // The owner lets go: events stop at once; the control is closed now, or once the event
    // being delivered has returned.
    void Shutdown();

    Win32Browser* owner = nullptr;
    HWND host = nullptr;
    IOleObject* ole = nullptr;
    IWebBrowser2* wb = nullptr;
    IOleInPlaceObject* inplace = nullptr;
    IOleInPlaceActiveObject* active = nullptr;
    RefreshRule refresh;  // from Refresh until its load ends
    bool closed = false;

    bool IsTop(IDispatch* frame) const;
    bool Silent() const {
        VARIANT_BOOL b = VARIANT_FALSE;
        return wb && SUCCEEDED(wb->get_Silent(&b)) && b != VARIANT_FALSE;
    }
    void Resize();
    HRESULT TranslateKey(MSG& m);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
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
    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = host;
        return host ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return host ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = &frame_;
            frame_.AddRef();
        }
        if (doc) *doc = nullptr;
        RECT rc{0, 0, 0, 0};
        if (host) GetClientRect(host, &rc);
        if (pos) *pos = rc;
        if (clip) *clip = rc;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = host ? GetAncestor(host, GA_ROOT) : nullptr;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT r) override {
        if (inplace && r) inplace->SetObjectRects(r, r);
        return S_OK;
    }

    IDispatch* sink() { return &sink_; }

    void SetActive(IOleInPlaceActiveObject* obj) {
        if (obj) obj->AddRef();
        if (active) active->Release();
        active = obj;
    }

private:
    ~Site() = default;
    std::atomic<ULONG> refs_{1};
    Frame frame_;
    Sink sink_;
    IConnectionPoint* cp_ = nullptr;
    DWORD cookie_ = 0;
};

HRESULT Frame::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
        IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}
ULONG Frame::AddRef() { return site_.AddRef(); }
ULONG Frame::Release() { return site_.Release(); }
HRESULT Frame::GetWindow(HWND* out) {
    if (!out) return E_POINTER;
    *out = site_.host ? GetAncestor(site_.host, GA_ROOT) : nullptr;
    return *out ? S_OK : E_FAIL;
}
HRESULT Frame::SetActiveObject(IOleInPlaceActiveObject* obj, LPCOLESTR) {
    site_.SetActive(obj);
    return S_OK;
}
ULONG Sink::AddRef() { return site_.AddRef(); }
ULONG Sink::Release() { return site_.Release(); }

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    auto* site = reinterpret_cast<Site*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_SIZE:
        if (site) site->Resize();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the control paints all of it
    case WM_DESTROY:
        // The window that holds it is going: the control goes first, while its own windows
        // still exist.
        if (site) site->Close(true);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

Site* SiteOfHost(HWND hwnd) {
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        return static_cast<ATOM>(GetClassInfoExW(Instance(), kHostClass, &wc));
    }();
    if (!hwnd || !atom || GetClassLongPtrW(hwnd, GCW_ATOM) != atom) return nullptr;
    return reinterpret_cast<Site*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// ---- the control ---------------------------------------------------------------------------

class Win32Browser final : public BrowserControl {
public:
    explicit Win32Browser(Site* site) : site_(site) { site_->owner = this; }
    ~Win32Browser() override {
        site_->owner = nullptr;
        site_->Shutdown();
        site_->Release();
    }

    BrowserEvents* events() const { return events_; }
    Site* site() const { return site_; }

    IUnknown* GetControlUnknown() override { return site_->ole; }
    void SetEvents(BrowserEvents* sink) override { events_ = sink; }

    void Navigate(const std::string& url) override {
        if (!site_->wb) return;
        site_->refresh.End();
        BSTR b = SysAllocString(windows::Wide(url).c_str());
        VARIANT empty;
        VariantInit(&empty);
        site_->wb->Navigate(b, &empty, &empty, &empty, &empty);
        SysFreeString(b);
    }
    void Refresh() override {
        if (!site_->wb) return;
        site_->refresh.Refresh(LocationUrl());
        // Past the cache: the server is always asked.
        VARIANT level;
        VariantInit(&level);
        level.vt = VT_I4;
        level.lVal = REFRESH_COMPLETELY;
        site_->wb->Refresh2(&level);
    }
    void Stop() override {
        if (!site_->wb) return;
        site_->refresh.End();
        site_->wb->Stop();
    }
    void Quit() override {
        quit_ = true;
        site_->Shutdown();
    }
    void SetSilent(bool s) override {
        silent_ = s;
        if (site_->wb) site_->wb->put_Silent(s ? VARIANT_TRUE : VARIANT_FALSE);
    }
    bool silent() const override { return site_->wb ? site_->Silent() : silent_; }
    std::string LocationUrl() const override {
        if (quit_) return "about:blank";
        BSTR b = nullptr;
        std::string url;
        if (site_->wb && SUCCEEDED(site_->wb->get_LocationURL(&b)) && b)
            url = windows::Narrow(std::wstring_view(b, SysStringLen(b)));
        SysFreeString(b);
        return url;
    }

    void Move(const Rect& r) override {
        if (site_->host) MoveWindow(site_->host, r.left, r.top, r.Width(), r.Height(), TRUE);
    }
    void Show(bool show) override {
        if (site_->host) ShowWindow(site_->host, show ? SW_SHOWNA : SW_HIDE);
    }
    bool IsVisible() const override {
        return site_->host && (GetWindowLongW(site_->host, GWL_STYLE) & WS_VISIBLE) != 0;
    }
    void Focus() override {
        if (!site_->ole || !site_->host) return;
        RECT rc;
        GetClientRect(site_->host, &rc);
        site_->ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, site_->host, &rc);
    }

    void FindElementText(const std::string& tag, const std::string& id,
                         std::function<void(std::optional<std::string>)> done) override {
        std::optional<std::string> found = Walk(tag, id);
        if (done) done(std::move(found));
    }

private:
    // The first element of the tag in the top-level document whose id is `id`.
    std::optional<std::string> Walk(const std::string& tag, const std::string& id) const {
        if (!site_->wb) return std::nullopt;
        IDispatch* docDisp = nullptr;
        if (FAILED(site_->wb->get_Document(&docDisp)) || !docDisp) return std::nullopt;
        std::optional<std::string> result;
        IHTMLDocument2* doc = nullptr;
        IHTMLElementCollection* all = nullptr;
        IDispatch* tagsDisp = nullptr;
        IHTMLElementCollection* tags = nullptr;
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = SysAllocString(windows::Wide(tag).c_str());
        if (SUCCEEDED(docDisp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc))) && doc &&
            SUCCEEDED(doc->get_all(&all)) && all && SUCCEEDED(all->tags(name, &tagsDisp)) && tagsDisp &&
            SUCCEEDED(tagsDisp->QueryInterface(IID_IHTMLElementCollection, reinterpret_cast<void**>(&tags))) && tags) {
            const std::wstring wantId = windows::Wide(id);
            long count = 0;
            tags->get_length(&count);
            for (long i = 0; i < count && !result; ++i) {
                VARIANT index, unused;
                VariantInit(&index);
                VariantInit(&unused);
                index.vt = VT_I4;
                index.lVal = i;
                IDispatch* itemDisp = nullptr;
                if (FAILED(tags->item(index, unused, &itemDisp)) || !itemDisp) continue;
                IHTMLElement* el = nullptr;
                if (SUCCEEDED(itemDisp->QueryInterface(IID_IHTMLElement, reinterpret_cast<void**>(&el))) && el) {
                    BSTR elId = nullptr;
                    if (SUCCEEDED(el->get_id(&elId)) && elId &&
                        std::wstring_view(elId, SysStringLen(elId)) == wantId) {
                        BSTR text = nullptr;
                        el->get_innerText(&text);
                        result = text ? windows::Narrow(std::wstring_view(text, SysStringLen(text))) : std::string();
                        SysFreeString(text);
                    }
                    SysFreeString(elId);
                    el->Release();
                }
                itemDisp->Release();
            }
        }
        VariantClear(&name);
        if (tags) tags->Release();
        if (tagsDisp) tagsDisp->Release();
        if (all) all->Release();
        if (doc) doc->Release();
        docDisp->Release();
        return result;
    }

    Site* site_;
    BrowserEvents* events_ = nullptr;
    bool silent_ = false;
    bool quit_ = false;
};

bool Site::Open(HWND parent, int id, const Rect& rect) {
    host = CreateWindowExW(0, kHostClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                           rect.left, rect.top, rect.Width(), rect.Height(), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), this);
    if (!host) return false;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&ole))) ||
        !ole)
        return false;
    ole->SetClientSite(this);
    IPersistStreamInit* init = nullptr;
    if (SUCCEEDED(ole->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&init))) && init) {
        init->InitNew();
        init->Release();
    }
    ole->SetHostNames(L"RaduVove", nullptr);
    OleSetContainedObject(ole, TRUE);
    RECT rc;
    GetClientRect(host, &rc);
    if (FAILED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, host, &rc))) return false;
    if (FAILED(ole->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&wb))) || !wb) return false;
    ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inplace));
    IConnectionPointContainer* cpc = nullptr;
    if (SUCCEEDED(ole->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc))) && cpc) {
        if (SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, &cp_)) && cp_ &&
            FAILED(cp_->Advise(static_cast<IDispatch*>(&sink_), &cookie_))) {
            cp_->Release();
            cp_ = nullptr;
        }
        cpc->Release();
    }
    return cp_ != nullptr;
}

void Site::Close(bool hostGoing) {
    if (closed) return;
    closed = true;
    owner = nullptr;
    AddRef();  // the control lets go of its sites below
    if (cp_) {
        cp_->Unadvise(cookie_);
        cp_->Release();
        cp_ = nullptr;
    }
    SetActive(nullptr);
    if (inplace) {
        inplace->InPlaceDeactivate();
        inplace->Release();
        inplace = nullptr;
    }
    if (ole) {
        ole->Close(OLECLOSE_NOSAVE);
        ole->SetClientSite(nullptr);
    }
    if (wb) {
        wb->Release();
        wb = nullptr;
    }
    if (ole) {
        ole->Release();
        ole = nullptr;
    }
    if (HWND h = host) {
        host = nullptr;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        if (!hostGoing) DestroyWindow(h);
    }
    Release();
}

void Site::Shutdown() {
    owner = nullptr;
    if (closed) return;
    if (g_eventDepth == 0) {
        Close(false);
        return;
    }
    if (host) ShowWindow(host, SW_HIDE);
    AddRef();
    RunSoon([this] {
        Close(false);
        Release();
    });
}

bool Site::IsTop(IDispatch* frame) const {
    if (!frame || !wb) return false;
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    wb->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    const bool same = a && a == b;
    if (a) a->Release();
    if (b) b->Release();
    return same;
}

void Site::Resize() {
    if (!inplace || !host) return;
    RECT rc;
    GetClientRect(host, &rc);
    inplace->SetObjectRects(&rc, &rc);
}

HRESULT Site::TranslateKey(MSG& m) {
    if (active) return active->TranslateAccelerator(&m);
    IOleInPlaceActiveObject* a = nullptr;
    if (!ole || FAILED(ole->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&a))) || !a)
        return S_FALSE;
    const HRESULT hr = a->TranslateAccelerator(&m);
    a->Release();
    return hr;
}

HRESULT Sink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) {
    Site& s = site_;
    if (id == DISPID_NEWWINDOW3 && !s.owner) {
        // Nobody listens any more (the control is closing): still no window of its own.
        SetCancel(Arg(p, 1), true);
        return S_OK;
    }
    if (!s.owner) return S_OK;
    s.AddRef();
    ++g_eventDepth;
    // The handler may destroy the control: its events are looked up again for every call.
    auto events = [&s]() -> BrowserEvents* { return s.owner ? s.owner->events() : nullptr; };
    auto frame = [p](UINT i) -> IDispatch* {
        VARIANT* v = Arg(p, i);
        return v && v->vt == VT_DISPATCH ? v->pdispVal : nullptr;
    };
    switch (id) {
    case DISPID_BEFORENAVIGATE2: {  // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
        const std::string url = VariantText(Arg(p, 1));
        if (!s.refresh.PassBeforeNavigate(s.IsTop(frame(0)), url)) break;  // the refresh's own
        if (BrowserEvents* e = events()) {
            bool cancel = false;
            e->BeforeNavigate2(url, cancel);
            SetCancel(Arg(p, 6), cancel);
        }
        break;
    }
    case DISPID_NAVIGATECOMPLETE2: {  // (pDisp, URL)
        const std::string url = VariantText(Arg(p, 1));
        if (!s.IsTop(frame(0))) s.refresh.FrameAt(url);
        if (BrowserEvents* e = events()) e->NavigateComplete2(url);
        break;
    }
    case DISPID_DOCUMENTCOMPLETE: {  // (pDisp, URL): frames too, the top-level page last
        const std::string url = VariantText(Arg(p, 1));
        if (s.IsTop(frame(0))) s.refresh.End();
        else s.refresh.FrameAt(url);
        if (BrowserEvents* e = events()) e->DocumentComplete(url);
        break;
    }
    case DISPID_NAVIGATEERROR:  // (pDisp, URL, TargetFrameName, StatusCode, Cancel)
        // Only the page's own document: a frame that fails leaves the page loaded.
        if (s.IsTop(frame(0))) {
            s.refresh.End();
            if (BrowserEvents* e = events()) e->NavigateError(VariantText(Arg(p, 1)));
        }
        break;
    case DISPID_NEWWINDOW3: {  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
        const unsigned flags = VariantUInt(Arg(p, 2));
        BrowserEvents* e = events();
        bool cancel = true;  // not passed on: cancelled, or the control opens a window itself
        if (s.refresh.PassNewWindow(flags, e != nullptr)) {
            cancel = false;
            const std::string url = VariantText(Arg(p, 4));
            e->NewWindow3(url, flags, cancel);
            // Let through: the window is ours, unless the handler closed the control meanwhile.
            if (!cancel)
                cancel = !s.owner || !s.host || !OpenPopup(GetAncestor(s.host, GA_ROOT), Arg(p, 0), url, s.Silent());
        }
        SetCancel(Arg(p, 1), cancel);
        break;
    }
    case DISPID_WINDOWCLOSING:  // (IsChildWindow, Cancel)
        if (BrowserEvents* e = events()) {
            bool cancel = false;
            e->WindowClosing(cancel);
            SetCancel(Arg(p, 1), cancel);
        }
        break;
    case DISPID_TITLECHANGE:  // (Text)
        if (BrowserEvents* e = events()) e->TitleChange(VariantText(Arg(p, 0)));
        break;
    case DISPID_DOWNLOADCOMPLETE: {
        // The end of a refresh whose page raised no DocumentComplete.
        READYSTATE state = READYSTATE_UNINITIALIZED;
        if (s.refresh.refreshing() && s.wb && SUCCEEDED(s.wb->get_ReadyState(&state)) && state == READYSTATE_COMPLETE)
            s.refresh.End();
        break;
    }
    default:
        break;
    }
    --g_eventDepth;
    s.Release();
    return S_OK;
}

}  // namespace

bool RegisterBrowserHostClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kHostClass;
    return RegisterClassExW(&wc) != 0;
}

IDispatch* BrowserEventSinkForTesting(BrowserControl& control) {
    auto* b = dynamic_cast<Win32Browser*>(&control);
    return b ? b->site()->sink() : nullptr;
}

IDispatch* BrowserEventSinkInForTesting(HWND window) {
    Site* s = SiteOfHost(FindWindowExW(window, nullptr, kHostClass, nullptr));
    return s && !s->closed ? s->sink() : nullptr;
}

std::unique_ptr<BrowserControl> CreateBrowser(HWND parent, int id, const Rect& rect) {
    if (!parent || !EnsureStarted()) return nullptr;
    auto* site = new Site();
    if (!site->Open(parent, id, rect)) {
        site->Close(false);
        site->Release();
        return nullptr;
    }
    return std::make_unique<Win32Browser>(site);
}

bool BrowserTranslateAccelerator(HWND hwnd, MSG& m) {
    HWND desktop = GetDesktopWindow();
    for (HWND h = hwnd; h && h != desktop; h = GetAncestor(h, GA_PARENT)) {
        if (Site* s = SiteOfHost(h)) return !s->closed && s->TranslateKey(m) == S_OK;
        if (NativeOfHwnd(h)) return false;  // reached the fw window: no control on the way
    }
    return false;
}

void ConfigureBrowserEngine() {
    static bool done = false;
    if (done) return;
    done = true;
    // Pages render in the control's current document mode (11001: IE11 edge mode, whatever
    // the page's DOCTYPE says), not in the IE7 mode that hosts get by default. The setting is
    // the user's, per executable name.
    wchar_t path[MAX_PATH];
    const DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (len > 0 && len < MAX_PATH) {
        const wchar_t* name = path;
        for (const wchar_t* c = path; *c; ++c)
            if (*c == L'\\' || *c == L'/') name = c + 1;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION",
                            0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            constexpr DWORD kEdgeMode = 11001;
            DWORD value = 0, size = sizeof value, type = 0;
            if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                type != REG_DWORD || value != kEdgeMode)
                RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kEdgeMode), sizeof kEdgeMode);
            RegCloseKey(key);
        }
    }
    // Sound needs nothing here: the control has no autoplay restriction, so a page's
    // <audio autoplay> or media started by script plays with sound without a click, as soon as
    // the document mode above gives the page HTML5 media at all (IE7 mode has no <audio>).
    // The protections a browser has and a host gets only when it asks.
    for (INTERNETFEATURELIST f : {FEATURE_ZONE_ELEVATION, FEATURE_MIME_HANDLING, FEATURE_MIME_SNIFFING,
                                  FEATURE_WINDOW_RESTRICTIONS, FEATURE_RESTRICT_ACTIVEXINSTALL,
                                  FEATURE_VALIDATE_NAVIGATE_URL, FEATURE_DISABLE_MK_PROTOCOL, FEATURE_SAFE_BINDTOOBJECT,
                                  FEATURE_UNC_SAVEDFILECHECK, FEATURE_LOCALMACHINE_LOCKDOWN})
        CoInternetSetFeatureEnabled(f, SET_FEATURE_ON_PROCESS, TRUE);
}

}  // namespace fw::win32

namespace fw {

std::unique_ptr<BrowserControl> BrowserControl::Create(Window& parent, int id, const Rect& rect,
                                                       const BrowserOptions& options) {
    (void)options;  // the system's control chooses its rendering itself
    return win32::CreateBrowser(win32::HwndOf(parent.handle()), id, rect);
}

}  // namespace fw
