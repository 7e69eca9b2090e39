#pragma once
// Private to the scripted browser control (scripted_control.h): what its files share.
//
//   scripted_control.cpp  the control's loads and events, its page window, the class object
//   control_faces.cpp     the control's COM interfaces (IWebBrowser2, IOleObject, the in-place
//                         objects, the connection point, IPersistStreamInit)
//   page_script.cpp       the page's script, played by the test (WM_COPYDATA command lines)
//   document_objects.cpp  the document of the document walk, and the frames the events name
//   page_fetch.cpp        the page: fetched over HTTP, and what its HTML holds
//
// Written against the C form of the COM interfaces: each object fills only the slots of its
// tables that the client uses, and every other slot answers E_NOTIMPL (the x64 calling
// convention lets one function stand for methods of any arguments). Every file of the control
// includes this header first, so that all of them see the interfaces in that form.
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
// The headers after windows.h: they build on it.
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>
#include <ole2.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fw/windows/wide.h"
#include "scripted_control.h"

namespace scripted {

constexpr UINT kLoaded = WM_APP + 0x51;  // a fetch ended (wParam: its serial; lParam: Fetched*)

inline std::atomic<long> g_live{0};          // objects handed out and not yet given back
inline std::atomic<long> g_overReleased{0};  // Release calls on an object with no reference left

inline HRESULT STDMETHODCALLTYPE NotImpl(void*) { return E_NOTIMPL; }

template <class Table>
void FillNotImpl(Table& t) {
    auto** slots = reinterpret_cast<void**>(&t);
    for (size_t i = 0; i < sizeof t / sizeof(void*); ++i) slots[i] = reinterpret_cast<void*>(&NotImpl);
}

using fw::windows::Narrow;
using fw::windows::Wide;

// Appends "<control> <line>" to the file named by RV_PAGE_LOG (scripted_control.cpp).
void Log(int control, const std::string& line);

// ---- the page (page_fetch.cpp) -------------------------------------------------------------

struct Element {
    std::wstring tag, id, text;
};

struct Page {
    std::wstring title;
    std::vector<Element> elements;  // every element with an id, in document order
    std::vector<std::wstring> frames;
};

std::wstring Lower(std::wstring s);
Page Parse(const std::wstring& html, const std::wstring& url);

struct Fetched {
    bool ok = false;
    DWORD status = 0;  // the HTTP status, or 0 when no server answered
    std::wstring html;
};

Fetched Fetch(const std::wstring& url);

// ---- the objects handed out ----------------------------------------------------------------

// Objects are never freed: a Release after the last one must find the object to be noted.
template <class Object>
ULONG ReleaseObject(Object* o) {
    long now = o->refs.load();
    do {
        if (now <= 0) {
            ++g_overReleased;
            return 0;
        }
    } while (!o->refs.compare_exchange_weak(now, now - 1));
    if (now == 1) --g_live;
    return static_cast<ULONG>(now - 1);
}

inline BSTR Bstr(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

// document_objects.cpp
void MakeDocumentTables();
IDispatch* NewDocument(std::shared_ptr<const Page> page);
// A frame of a page, as the events name it: an object of its own (not the control).
IDispatch* NewFrame();

// ---- the control -----------------------------------------------------------------------------

struct Control {
    // Its faces. IWebBrowser2 is its identity (the IUnknown every face answers).
    IWebBrowser2 wb;
    IOleObject ole;
    IOleInPlaceObject inplace;
    IOleInPlaceActiveObject active;
    IConnectionPointContainer points;
    IConnectionPoint point;
    IPersistStreamInit persist;

    std::atomic<long> refs{1};
    int number = 0;
    IOleClientSite* clientSite = nullptr;
    IOleInPlaceSite* inplaceSite = nullptr;
    IDispatch* sink = nullptr;
    HWND window = nullptr;  // the page's window, while in place
    std::wstring location;
    std::shared_ptr<const Page> page;
    unsigned serial = 0;     // of the fetch whose end counts
    bool reloading = false;  // that fetch is a refresh
    READYSTATE state = READYSTATE_UNINITIALIZED;
    VARIANT_BOOL silent = VARIANT_FALSE;
    VARIANT_BOOL registered = VARIANT_FALSE;
    bool quit = false;

    IDispatch* Self() { return reinterpret_cast<IDispatch*>(&wb); }
    void Log(const std::string& line) const { scripted::Log(number, line); }
    void Title() {
        if (window) SetWindowTextW(window, (std::to_wstring(number) + L" " + location).c_str());
    }
    HRESULT Navigate(const std::wstring& url);
    void Reload();
    void StartFetch(const std::wstring& url, bool reload);
    void Loaded(unsigned serial, Fetched* f);
    // Fires an event at the sink; `args` in the order of the event's declaration.
    void Fire(DISPID id, std::vector<VARIANT> args);
    LRESULT Command(const std::string& line);
    void Deactivate();
};

inline Control* Of(IWebBrowser2* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, wb));
}
inline Control* Of(IOleObject* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, ole));
}
inline Control* Of(IOleInPlaceObject* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, inplace));
}
inline Control* Of(IOleInPlaceActiveObject* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, active));
}
inline Control* Of(IConnectionPointContainer* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, points));
}
inline Control* Of(IConnectionPoint* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, point));
}
inline Control* Of(IPersistStreamInit* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, persist));
}

// control_faces.cpp: the control's IUnknown, its tables, and a new control.
ULONG AddRefControl(Control* c);
ULONG ReleaseControl(Control* c);
HRESULT QueryControl(Control* c, REFIID riid, void** ppv);
void MakeControlTables();
Control* NewControl();

// scripted_control.cpp: the page's window, and IOleObject::DoVerb.
LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
HRESULT Activate(Control* c, LONG verb, IOleClientSite* active, HWND parent, LPCRECT pos);

// Arguments of the events.
inline VARIANT Str(const std::wstring& s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = Bstr(s);
    return v;
}
inline VARIANT Ref(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}
inline VARIANT Disp(IDispatch* d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = d;  // borrowed: not cleared
    return v;
}
inline VARIANT BoolRef(VARIANT_BOOL* b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BOOL;
    v.pboolVal = b;
    return v;
}
inline VARIANT Long(long n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

}  // namespace scripted
