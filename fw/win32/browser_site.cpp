// The container of the browser control on Win32 (browser_site.h): the system's WebBrowser
// control in a small OLE container of our own. Each control lives in a host window (a child of
// the fw window) where it is activated in place with our client site, in-place site and frame.
// The client's host object takes over the client site afterwards through
// IOleObject::SetClientSite (AttachToControl); the control keeps the in-place site it was
// activated with.
//
// - Keys: the message loop hands a key for one of the control's windows to the control's
//   IOleInPlaceActiveObject::TranslateAccelerator after the fw window's pre-translation, as
//   the window's KeyForControl says (app.cpp).
// - Closing the control from inside one of its own events would pull the object from under
//   the call that is running: it is then closed once that event has returned.
#include "fw/win32/browser_site.h"

namespace fw::win32 {

namespace browser_detail {

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

namespace {

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
    case WM_ERASEBKGND: return 1;  // the control paints all of it
    case WM_DESTROY:
        // The window that holds it is going: the control goes first, while its own windows
        // still exist.
        if (site) site->Close(true);
        return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
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

}  // namespace

bool Site::Open(HWND parent, int id, const Rect& rect) {
    host = CreateWindowExW(0, kHostClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rect.left,
                           rect.top, rect.Width(), rect.Height(), parent,
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

}  // namespace browser_detail

using browser_detail::kHostClass;
using browser_detail::Site;
using browser_detail::SiteOfHost;

bool RegisterBrowserHostClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = browser_detail::HostProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kHostClass;
    return RegisterClassExW(&wc) != 0;
}

IDispatch* BrowserEventSinkInForTesting(HWND window) {
    Site* s = SiteOfHost(FindWindowExW(window, nullptr, kHostClass, nullptr));
    return s && !s->closed ? s->sink() : nullptr;
}

bool BrowserTranslateAccelerator(HWND hwnd, MSG& m) {
    HWND desktop = GetDesktopWindow();
    for (HWND h = hwnd; h && h != desktop; h = GetAncestor(h, GA_PARENT)) {
        if (Site* s = SiteOfHost(h)) return !s->closed && s->TranslateKey(m) == S_OK;
        if (NativeOfHwnd(h)) return false;  // reached the fw window: no control on the way
    }
    return false;
}

}  // namespace fw::win32
