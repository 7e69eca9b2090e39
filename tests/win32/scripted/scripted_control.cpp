// The scripted browser control (scripted_control.h; its files: scripted_internal.h). This
// file is the control's life: a navigation's events, the page fetched on a thread of its own
// and its load's events, the page's window (painted with what the page holds, taking the
// script's commands), activation in place, and the class object registered for
// CLSID_WebBrowser.
#include "scripted_internal.h"

#include <cstdio>
#include <mutex>
#include <thread>

namespace scripted {

namespace {

std::mutex g_logLock;

}  // namespace

void Log(int control, const std::string& line) {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("RV_PAGE_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    std::lock_guard<std::mutex> lock(g_logLock);
    if (FILE* f = std::fopen(path, "ab")) {
        std::fprintf(f, "%d %s\n", control, line.c_str());
        std::fclose(f);
    }
}

void Control::Fire(DISPID id, std::vector<VARIANT> args) {
    if (sink) {
        IDispatch* s = sink;
        IDispatch_AddRef(s);
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        IDispatch_Invoke(s, id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        IDispatch_Release(s);
    }
    for (VARIANT& v : args)
        if (v.vt == VT_BSTR) VariantClear(&v);
}

HRESULT Control::Navigate(const std::wstring& url) {
    if (quit) return E_FAIL;
    AddRefControl(this);  // the handlers may let the control go
    VARIANT urlValue = Str(url), empty, flags = Long(0);
    VariantInit(&empty);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    Fire(DISPID_BEFORENAVIGATE2,
         {Disp(Self()), Ref(&urlValue), Ref(&flags), Ref(&empty), Ref(&empty), Ref(&empty), BoolRef(&cancel)});
    VariantClear(&urlValue);
    if (cancel != VARIANT_FALSE) {
        Log("navigate " + Narrow(url) + " cancelled");
    } else {
        Log("navigate " + Narrow(url));
        StartFetch(url, false);
    }
    ReleaseControl(this);
    return S_OK;
}

void Control::Reload() {
    if (quit || location.empty()) return;
    Log("refresh " + Narrow(location));
    StartFetch(location, true);
}

void Control::StartFetch(const std::wstring& url, bool reload) {
    const unsigned mine = ++serial;
    reloading = reload;
    state = READYSTATE_LOADING;
    if (!reload) location = url;
    Title();
    HWND target = window;
    std::thread([target, mine, url] {
        auto* f = new Fetched(Fetch(url));
        if (!target || !PostMessageW(target, kLoaded, mine, reinterpret_cast<LPARAM>(f))) delete f;
    }).detach();
}

void Control::Loaded(unsigned which, Fetched* fetched) {
    std::unique_ptr<Fetched> f(fetched);
    if (which != serial || quit) return;
    AddRefControl(this);
    const std::wstring url = location;
    if (!f->ok) {
        state = READYSTATE_COMPLETE;
        Log("error " + Narrow(url) + " " + std::to_string(f->status));
        VARIANT urlValue = Str(url), empty,
                status = Long(f->status ? static_cast<long>(f->status) : INET_E_RESOURCE_NOT_FOUND);
        VariantInit(&empty);
        VARIANT_BOOL cancel = VARIANT_FALSE;
        Fire(DISPID_NAVIGATEERROR, {Disp(Self()), Ref(&urlValue), Ref(&empty), Ref(&status), BoolRef(&cancel)});
        VariantClear(&urlValue);
        ReleaseControl(this);
        return;
    }
    page = std::make_shared<const Page>(Parse(f->html, url));
    const bool reload = reloading;
    if (!reload) {
        VARIANT urlValue = Str(url);
        Fire(DISPID_NAVIGATECOMPLETE2, {Disp(Self()), Ref(&urlValue)});
        VariantClear(&urlValue);
    }
    for (const std::wstring& src : page->frames) {
        if (quit) break;
        IDispatch* frame = NewFrame();
        VARIANT srcValue = Str(src), empty, flags = Long(0);
        VariantInit(&empty);
        VARIANT_BOOL cancel = VARIANT_FALSE;
        Fire(DISPID_BEFORENAVIGATE2,
             {Disp(frame), Ref(&srcValue), Ref(&flags), Ref(&empty), Ref(&empty), Ref(&empty), BoolRef(&cancel)});
        if (cancel == VARIANT_FALSE) {
            Fire(DISPID_NAVIGATECOMPLETE2, {Disp(frame), Ref(&srcValue)});
            Fire(DISPID_DOCUMENTCOMPLETE, {Disp(frame), Ref(&srcValue)});
        }
        VariantClear(&srcValue);
        IDispatch_Release(frame);
    }
    if (!quit) Fire(DISPID_TITLECHANGE, {Str(page->title.empty() ? url : page->title)});
    state = READYSTATE_COMPLETE;
    if (!quit) {
        if (reload) {
            Fire(DISPID_DOWNLOADCOMPLETE, {});
        } else {
            VARIANT urlValue = Str(url);
            Fire(DISPID_DOCUMENTCOMPLETE, {Disp(Self()), Ref(&urlValue)});
            VariantClear(&urlValue);
        }
    }
    Log((reload ? "reloaded " : "loaded ") + Narrow(url) + " title=" + Narrow(page->title));
    if (window) InvalidateRect(window, nullptr, TRUE);
    ReleaseControl(this);
}

namespace {

void Paint(Control* c, HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    // Each control's page in a shade of its own, framed, so that pages over pages stand apart.
    static const COLORREF kShades[] = {RGB(0xF4, 0xEE, 0xDC), RGB(0xE2, 0xEC, 0xF6), RGB(0xE8, 0xF3, 0xE4),
                                       RGB(0xF6, 0xE4, 0xE8), RGB(0xEE, 0xE8, 0xF6)};
    HBRUSH bg = CreateSolidBrush(kShades[(c->number - 1) % 5]);
    FillRect(dc, &rc, bg);
    DeleteObject(bg);
    HBRUSH frame = CreateSolidBrush(RGB(0x8A, 0x6A, 0x3A));
    FrameRect(dc, &rc, frame);
    DeleteObject(frame);
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Noto Sans CJK SC");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x40, 0x2A, 0x10));
    std::wstring text = c->page ? c->page->title : L"";
    text += L"\n" + c->location;
    if (c->page)
        for (const Element& e : c->page->elements)
            if (!e.text.empty() && e.text.size() < 80) text += L"\n#" + e.id + L"  " + e.text;
    RECT inner{rc.left + 12, rc.top + 10, rc.right - 12, rc.bottom - 10};
    DrawTextW(dc, text.c_str(), -1, &inner, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wp, lp);
    case kLoaded:
        if (c)
            c->Loaded(static_cast<unsigned>(wp), reinterpret_cast<Fetched*>(lp));
        else
            delete reinterpret_cast<Fetched*>(lp);
        return 0;
    case WM_COPYDATA: {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        if (!c || !cds || cds->dwData != kScriptCommand || !cds->lpData) return E_INVALIDARG;
        return c->Command(std::string(static_cast<const char*>(cds->lpData), cds->cbData));
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (c) c->Log("key page " + std::to_string(wp));
        break;
    case WM_MOUSEACTIVATE: return MA_ACTIVATE;
    case WM_LBUTTONDOWN: SetFocus(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
        if (c) {
            Paint(c, hwnd);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        if (c && c->window == hwnd) c->window = nullptr;
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Control::Deactivate() {
    if (window) {
        HWND w = window;
        window = nullptr;
        DestroyWindow(w);
    }
    if (inplaceSite) {
        IOleInPlaceSite_OnInPlaceDeactivate(inplaceSite);
        IOleInPlaceSite_Release(inplaceSite);
        inplaceSite = nullptr;
    }
}

HRESULT Activate(Control* c, LONG verb, IOleClientSite* active, HWND parent, LPCRECT pos) {
    if (!c->window) {
        IOleInPlaceSite* site = nullptr;
        if (!active ||
            FAILED(IOleClientSite_QueryInterface(active, IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))) ||
            !site)
            return E_INVALIDARG;
        if (IOleInPlaceSite_CanInPlaceActivate(site) != S_OK) {
            IOleInPlaceSite_Release(site);
            return E_FAIL;
        }
        IOleInPlaceSite_OnInPlaceActivate(site);
        RECT rc = pos ? *pos : RECT{0, 0, 0, 0};
        c->window =
            CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rc.left, rc.top,
                            rc.right - rc.left, rc.bottom - rc.top, parent, nullptr, GetModuleHandleW(nullptr), c);
        c->inplaceSite = site;
        c->Title();
        c->Log("in-place");
    }
    if (verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_SHOW || verb == OLEIVERB_PRIMARY) {
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT p{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        if (c->inplaceSite &&
            SUCCEEDED(IOleInPlaceSite_GetWindowContext(c->inplaceSite, &frame, &doc, &p, &clip, &info))) {
            IOleInPlaceSite_OnUIActivate(c->inplaceSite);
            if (frame) {
                IOleInPlaceFrame_SetActiveObject(frame, &c->active, L"");
                IOleInPlaceFrame_Release(frame);
            }
            if (doc) IOleInPlaceUIWindow_Release(doc);
        }
        if (c->window) SetFocus(c->window);
    }
    return S_OK;
}

namespace {

IClassFactoryVtbl g_factoryTable;
IClassFactory g_factory{&g_factoryTable};
DWORD g_cookie = 0;

}  // namespace

bool RegisterScriptedControl() {
    MakeDocumentTables();
    MakeControlTables();
    FillNotImpl(g_factoryTable);
    g_factoryTable.QueryInterface = [](IClassFactory* This, REFIID riid, void** ppv) -> HRESULT {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *ppv = This;
        return S_OK;
    };
    g_factoryTable.AddRef = [](IClassFactory*) -> ULONG { return 2; };  // static
    g_factoryTable.Release = [](IClassFactory*) -> ULONG { return 1; };
    g_factoryTable.CreateInstance = [](IClassFactory*, IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Control* c = NewControl();
        const HRESULT hr = QueryControl(c, riid, ppv);
        ReleaseControl(c);
        return hr;
    };
    g_factoryTable.LockServer = [](IClassFactory*, BOOL) -> HRESULT { return S_OK; };

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PageProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    wc.lpszClassName = kPageClass;
    if (!RegisterClassExW(&wc)) return false;
    return SUCCEEDED(CoRegisterClassObject(CLSID_WebBrowser, reinterpret_cast<IUnknown*>(&g_factory),
                                           CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &g_cookie));
}

std::string ScriptedControlsLeft() {
    if (g_cookie) CoRevokeClassObject(g_cookie);
    g_cookie = 0;
    std::string out;
    if (g_live > 0) out += std::to_string(g_live.load()) + " object(s) never released";
    if (g_overReleased > 0)
        out +=
            (out.empty() ? "" : "; ") + std::to_string(g_overReleased.load()) + " release(s) after the last reference";
    return out;
}

}  // namespace scripted
