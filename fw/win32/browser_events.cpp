// The browser control's events on Win32 (browser_site.h): DWebBrowserEvents2 reach a sink
// advised through the control's connection point and go on to the client's BrowserEvents.
//
// - A refresh raises no BeforeNavigate2 and no NewWindow3 of its own, until its load ends, as
//   fw/browser.h asks: RefreshRule (refresh_rule.h) tells its navigations from the others by
//   their addresses. A NewWindow3 that is not passed on is cancelled, in every state: left
//   alone, the control would open a browser window of its own. One that the client lets
//   through opens in a pop-up of ours (popup.cpp), owned by the control's top-level window.
// - The handler of an event may close the control (browser_site.cpp closes it once the event
//   has returned): the events are looked up again for every call.
#include "fw/win32/browser_site.h"

#include <exdispid.h>

#include <string>

#include "fw/windows/wide.h"

namespace fw::win32::browser_detail {

int g_eventDepth = 0;

namespace {

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

}  // namespace

HRESULT Sink::QueryInterface(REFIID riid, void** ppv) {
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
ULONG Sink::AddRef() { return site_.AddRef(); }
ULONG Sink::Release() { return site_.Release(); }
HRESULT Sink::GetTypeInfoCount(UINT* n) {
    if (n) *n = 0;
    return S_OK;
}
HRESULT Sink::GetTypeInfo(UINT, LCID, ITypeInfo** t) {
    if (t) *t = nullptr;
    return E_NOTIMPL;
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
    auto events = [&s]() -> BrowserEvents* { return s.owner ? EventsOf(*s.owner) : nullptr; };
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
        if (s.IsTop(frame(0)))
            s.refresh.End();
        else
            s.refresh.FrameAt(url);
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
    default: break;
    }
    --g_eventDepth;
    s.Release();
    return S_OK;
}

}  // namespace fw::win32::browser_detail
