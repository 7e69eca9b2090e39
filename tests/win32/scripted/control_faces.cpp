// The scripted control's COM interfaces (scripted_internal.h): its faces share one reference
// count and one identity (IWebBrowser2's IUnknown), each a table in the C form of its
// interface with the slots the client uses filled in.
#include "scripted_internal.h"

namespace scripted {

namespace {

std::atomic<int> g_nextControl{1};

}  // namespace

ULONG AddRefControl(Control* c) { return static_cast<ULONG>(++c->refs); }
ULONG ReleaseControl(Control* c) {
    const ULONG left = ReleaseObject(c);
    if (left == 0 && c->window) {  // the last reference: its window goes with it
        HWND w = c->window;
        c->window = nullptr;
        DestroyWindow(w);
    }
    return left;
}

HRESULT QueryControl(Control* c, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser) ||
        IsEqualIID(riid, IID_IWebBrowserApp) || IsEqualIID(riid, IID_IWebBrowser2))
        *ppv = &c->wb;
    else if (IsEqualIID(riid, IID_IOleObject))
        *ppv = &c->ole;
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
        *ppv = &c->inplace;
    else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
        *ppv = &c->active;
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *ppv = &c->points;
    else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
        *ppv = &c->persist;
    else
        return E_NOINTERFACE;
    AddRefControl(c);
    return S_OK;
}

namespace {

// The IUnknown of a face: its control's.
#define RV_FACE_UNKNOWN(table, Face)                                            \
    table.QueryInterface = [](Face* This, REFIID riid, void** ppv) -> HRESULT { \
        return QueryControl(Of(This), riid, ppv);                               \
    };                                                                          \
    table.AddRef = [](Face* This) -> ULONG { return AddRefControl(Of(This)); }; \
    table.Release = [](Face* This) -> ULONG { return ReleaseControl(Of(This)); }

IWebBrowser2Vtbl g_browserTable;
IOleObjectVtbl g_oleTable;
IOleInPlaceObjectVtbl g_inplaceTable;
IOleInPlaceActiveObjectVtbl g_activeTable;
IConnectionPointContainerVtbl g_pointsTable;
IConnectionPointVtbl g_pointTable;
IPersistStreamInitVtbl g_persistTable;

}  // namespace

void MakeControlTables() {
    FillNotImpl(g_browserTable);
    RV_FACE_UNKNOWN(g_browserTable, IWebBrowser2);
    g_browserTable.GetTypeInfoCount = [](IWebBrowser2*, UINT* n) -> HRESULT {
        if (n) *n = 0;
        return S_OK;
    };
    g_browserTable.Navigate = [](IWebBrowser2* This, BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) -> HRESULT {
        return Of(This)->Navigate(url ? std::wstring(url, SysStringLen(url)) : std::wstring());
    };
    g_browserTable.Refresh = [](IWebBrowser2* This) -> HRESULT {
        Of(This)->Reload();
        return S_OK;
    };
    g_browserTable.Refresh2 = [](IWebBrowser2* This, VARIANT*) -> HRESULT {
        Of(This)->Reload();
        return S_OK;
    };
    g_browserTable.Stop = [](IWebBrowser2* This) -> HRESULT {
        Control* c = Of(This);
        ++c->serial;  // the fetch on its way no longer counts
        if (c->state == READYSTATE_LOADING) c->state = READYSTATE_INTERACTIVE;
        c->Log("stop");
        return S_OK;
    };
    g_browserTable.Quit = [](IWebBrowser2* This) -> HRESULT {
        Control* c = Of(This);
        c->quit = true;
        ++c->serial;
        c->Log("quit");
        return S_OK;
    };
    g_browserTable.get_Application = [](IWebBrowser2* This, IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->Self();
        AddRefControl(Of(This));
        return S_OK;
    };
    g_browserTable.get_Document = [](IWebBrowser2* This, IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        Control* c = Of(This);
        *out = c->page && c->state == READYSTATE_COMPLETE ? NewDocument(c->page) : nullptr;
        return *out ? S_OK : S_FALSE;
    };
    g_browserTable.get_LocationURL = [](IWebBrowser2* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Bstr(Of(This)->location);
        return S_OK;
    };
    g_browserTable.get_LocationName = [](IWebBrowser2* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        Control* c = Of(This);
        *out = Bstr(c->page ? c->page->title : c->location);
        return S_OK;
    };
    g_browserTable.get_Busy = [](IWebBrowser2* This, VARIANT_BOOL* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->state == READYSTATE_LOADING ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    };
    g_browserTable.get_ReadyState = [](IWebBrowser2* This, READYSTATE* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->state;
        return S_OK;
    };
    g_browserTable.get_Silent = [](IWebBrowser2* This, VARIANT_BOOL* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->silent;
        return S_OK;
    };
    g_browserTable.put_Silent = [](IWebBrowser2* This, VARIANT_BOOL v) -> HRESULT {
        Of(This)->silent = v;
        return S_OK;
    };
    g_browserTable.get_RegisterAsBrowser = [](IWebBrowser2* This, VARIANT_BOOL* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->registered;
        return S_OK;
    };
    g_browserTable.put_RegisterAsBrowser = [](IWebBrowser2* This, VARIANT_BOOL v) -> HRESULT {
        Of(This)->registered = v;
        return S_OK;
    };
    g_browserTable.get_HWND = [](IWebBrowser2*, SHANDLE_PTR* out) -> HRESULT {
        if (out) *out = 0;
        return E_FAIL;  // a control in place has no top-level window of its own
    };

    FillNotImpl(g_oleTable);
    RV_FACE_UNKNOWN(g_oleTable, IOleObject);
    g_oleTable.SetClientSite = [](IOleObject* This, IOleClientSite* site) -> HRESULT {
        Control* c = Of(This);
        if (site) IOleClientSite_AddRef(site);
        if (c->clientSite) IOleClientSite_Release(c->clientSite);
        c->clientSite = site;
        return S_OK;
    };
    g_oleTable.GetClientSite = [](IOleObject* This, IOleClientSite** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->clientSite;
        if (*out) IOleClientSite_AddRef(*out);
        return S_OK;
    };
    g_oleTable.SetHostNames = [](IOleObject*, LPCOLESTR, LPCOLESTR) -> HRESULT { return S_OK; };
    g_oleTable.Close = [](IOleObject* This, DWORD) -> HRESULT {
        Control* c = Of(This);
        c->Deactivate();
        c->Log("close");
        return S_OK;
    };
    g_oleTable.DoVerb = [](IOleObject* This, LONG verb, LPMSG, IOleClientSite* active, LONG, HWND parent,
                           LPCRECT pos) -> HRESULT { return Activate(Of(This), verb, active, parent, pos); };
    g_oleTable.SetExtent = [](IOleObject*, DWORD, SIZEL*) -> HRESULT { return S_OK; };

    FillNotImpl(g_inplaceTable);
    RV_FACE_UNKNOWN(g_inplaceTable, IOleInPlaceObject);
    g_inplaceTable.GetWindow = [](IOleInPlaceObject* This, HWND* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->window;
        return *out ? S_OK : E_FAIL;
    };
    g_inplaceTable.InPlaceDeactivate = [](IOleInPlaceObject* This) -> HRESULT {
        Of(This)->Deactivate();
        return S_OK;
    };
    g_inplaceTable.UIDeactivate = [](IOleInPlaceObject*) -> HRESULT { return S_OK; };
    g_inplaceTable.SetObjectRects = [](IOleInPlaceObject* This, LPCRECT pos, LPCRECT) -> HRESULT {
        Control* c = Of(This);
        if (c->window && pos)
            MoveWindow(c->window, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        return S_OK;
    };

    FillNotImpl(g_activeTable);
    RV_FACE_UNKNOWN(g_activeTable, IOleInPlaceActiveObject);
    g_activeTable.GetWindow = [](IOleInPlaceActiveObject* This, HWND* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Of(This)->window;
        return *out ? S_OK : E_FAIL;
    };
    g_activeTable.TranslateAccelerator = [](IOleInPlaceActiveObject* This, LPMSG m) -> HRESULT {
        if (m && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN))
            Of(This)->Log("key accel " + std::to_string(m->wParam));
        return S_FALSE;
    };
    g_activeTable.OnFrameWindowActivate = [](IOleInPlaceActiveObject*, BOOL) -> HRESULT { return S_OK; };
    g_activeTable.OnDocWindowActivate = [](IOleInPlaceActiveObject*, BOOL) -> HRESULT { return S_OK; };
    g_activeTable.EnableModeless = [](IOleInPlaceActiveObject*, BOOL) -> HRESULT { return S_OK; };

    FillNotImpl(g_pointsTable);
    RV_FACE_UNKNOWN(g_pointsTable, IConnectionPointContainer);
    g_pointsTable.FindConnectionPoint = [](IConnectionPointContainer* This, REFIID riid,
                                           IConnectionPoint** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(riid, DIID_DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
        *out = &Of(This)->point;
        AddRefControl(Of(This));
        return S_OK;
    };

    FillNotImpl(g_pointTable);
    RV_FACE_UNKNOWN(g_pointTable, IConnectionPoint);
    g_pointTable.GetConnectionInterface = [](IConnectionPoint*, IID* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = DIID_DWebBrowserEvents2;
        return S_OK;
    };
    g_pointTable.Advise = [](IConnectionPoint* This, IUnknown* unk, DWORD* cookie) -> HRESULT {
        Control* c = Of(This);
        if (!unk || !cookie) return E_POINTER;
        if (c->sink) return CONNECT_E_ADVISELIMIT;
        IDispatch* d = nullptr;
        if (FAILED(IUnknown_QueryInterface(unk, IID_IDispatch, reinterpret_cast<void**>(&d))) || !d)
            return CONNECT_E_CANNOTCONNECT;
        c->sink = d;
        *cookie = 1;
        return S_OK;
    };
    g_pointTable.Unadvise = [](IConnectionPoint* This, DWORD cookie) -> HRESULT {
        Control* c = Of(This);
        if (cookie != 1 || !c->sink) return CONNECT_E_NOCONNECTION;
        IDispatch* d = c->sink;
        c->sink = nullptr;
        IDispatch_Release(d);
        return S_OK;
    };

    FillNotImpl(g_persistTable);
    RV_FACE_UNKNOWN(g_persistTable, IPersistStreamInit);
    g_persistTable.GetClassID = [](IPersistStreamInit*, CLSID* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = CLSID_WebBrowser;
        return S_OK;
    };
    g_persistTable.InitNew = [](IPersistStreamInit*) -> HRESULT { return S_OK; };
}

Control* NewControl() {
    auto* c = new Control;
    c->wb.lpVtbl = &g_browserTable;
    c->ole.lpVtbl = &g_oleTable;
    c->inplace.lpVtbl = &g_inplaceTable;
    c->active.lpVtbl = &g_activeTable;
    c->points.lpVtbl = &g_pointsTable;
    c->point.lpVtbl = &g_pointTable;
    c->persist.lpVtbl = &g_persistTable;
    c->number = g_nextControl++;
    ++g_live;
    c->Log("created");
    return c;
}

}  // namespace scripted
