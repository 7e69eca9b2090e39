#pragma once
// Private to the browser control of the Win32 back end: the OLE container that holds one
// system WebBrowser control, as its files share it.
//
//   browser_site.cpp      the container: the host window, the client site, in-place site and
//                         frame, activation in place, closing, the key hand-over
//   browser_events.cpp    the sink of DWebBrowserEvents2, on to the client's BrowserEvents
//   browser.cpp           the control itself: fw::BrowserControl over a site, its creation
//   browser_settings.cpp  the engine's settings for this program (emulation, feature controls)
//
// A Site is the container of one control; the fw::BrowserControl (Win32Browser) owns one
// reference to it and is its `owner` until it lets go. The Frame and the Sink are parts of the
// Site and count their references with it.
#include "fw/win32/native.h"

#include <atomic>

#include "fw/browser.h"
#include "fw/win32/refresh_rule.h"

namespace fw::win32::browser_detail {

constexpr const wchar_t* kHostClass = L"RaduVoveBrowserHost";
// Events of any control being delivered now (UI thread); browser_events.cpp counts them.
extern int g_eventDepth;

class Win32Browser;
// The client's events of the control that owns a site (browser.cpp); null when it has none.
BrowserEvents* EventsOf(const Win32Browser& owner);

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

// DWebBrowserEvents2, advised through the control's connection point (browser_events.cpp).
class Sink final : public IDispatch {
public:
    explicit Sink(Site& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override;
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

}  // namespace fw::win32::browser_detail
