// The scripted browser control (scripted_control.h). Written against the C form of the COM
// interfaces: each object fills only the slots of its tables that the client uses, and every
// other slot answers E_NOTIMPL (the x64 calling convention lets one function stand for
// methods of any arguments).
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
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fw/windows/wide.h"
#include "scripted_control.h"

namespace scripted {

namespace {

constexpr UINT kLoaded = WM_APP + 0x51;  // a fetch ended (wParam: its serial; lParam: Fetched*)

std::atomic<long> g_live{0};           // objects handed out and not yet given back
std::atomic<long> g_overReleased{0};   // Release calls on an object with no reference left
std::atomic<int> g_nextControl{1};

HRESULT STDMETHODCALLTYPE NotImpl(void*) { return E_NOTIMPL; }

template <class Table>
void FillNotImpl(Table& t) {
    auto** slots = reinterpret_cast<void**>(&t);
    for (size_t i = 0; i < sizeof t / sizeof(void*); ++i) slots[i] = reinterpret_cast<void*>(&NotImpl);
}

using fw::windows::Narrow;
using fw::windows::Wide;

std::mutex g_logLock;

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

// ---- the page: what its HTML holds ----------------------------------------------------------

struct Element {
    std::wstring tag, id, text;
};

struct Page {
    std::wstring title;
    std::vector<Element> elements;  // every element with an id, in document order
    std::vector<std::wstring> frames;
};

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Attribute(const std::wstring& tagText, const std::wstring& name) {
    const std::wstring lower = Lower(tagText);
    for (size_t at = lower.find(name + L"="); at != std::wstring::npos; at = lower.find(name + L"=", at + 1)) {
        if (at > 0 && !std::iswspace(lower[at - 1])) continue;
        size_t v = at + name.size() + 1;
        if (v >= tagText.size()) return {};
        const wchar_t q = tagText[v];
        if (q == L'"' || q == L'\'') {
            const size_t end = tagText.find(q, v + 1);
            return end == std::wstring::npos ? std::wstring() : tagText.substr(v + 1, end - v - 1);
        }
        size_t end = v;
        while (end < tagText.size() && !std::iswspace(tagText[end]) && tagText[end] != L'>') ++end;
        return tagText.substr(v, end - v);
    }
    return {};
}

std::wstring Decode(std::wstring s) {
    const std::pair<const wchar_t*, wchar_t> entities[] = {
        {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&#39;", L'\''}, {L"&nbsp;", L' '}};
    for (const auto& [name, c] : entities)
        for (size_t at = s.find(name); at != std::wstring::npos; at = s.find(name, at + 1)) s.replace(at, wcslen(name), 1, c);
    return s;
}

// The text of the markup between `from` and the closing tag of `tag`, its own tags left out.
std::wstring InnerText(const std::wstring& html, size_t from, const std::wstring& tag) {
    const std::wstring lower = Lower(html);
    size_t end = lower.find(L"</" + tag, from);
    if (end == std::wstring::npos) end = html.size();
    std::wstring text;
    bool inTag = false;
    for (size_t i = from; i < end; ++i) {
        if (html[i] == L'<') inTag = true;
        else if (html[i] == L'>') inTag = false;
        else if (!inTag) text += html[i];
    }
    return Decode(text);
}

std::wstring Resolve(const std::wstring& base, const std::wstring& ref) {
    if (ref.find(L"://") != std::wstring::npos || ref.rfind(L"about:", 0) == 0) return ref;
    const size_t scheme = base.find(L"://");
    if (scheme == std::wstring::npos) return ref;
    const size_t pathAt = base.find(L'/', scheme + 3);
    const std::wstring origin = pathAt == std::wstring::npos ? base : base.substr(0, pathAt);
    if (ref.rfind(L"//", 0) == 0) return base.substr(0, scheme + 1) + ref;
    if (!ref.empty() && ref[0] == L'/') return origin + ref;
    const size_t slash = base.rfind(L'/');
    return (slash != std::wstring::npos && slash > scheme + 2 ? base.substr(0, slash + 1) : origin + L"/") + ref;
}

Page Parse(const std::wstring& html, const std::wstring& url) {
    Page page;
    const std::wstring lower = Lower(html);
    if (size_t t = lower.find(L"<title"); t != std::wstring::npos)
        if (size_t gt = html.find(L'>', t); gt != std::wstring::npos) page.title = InnerText(html, gt + 1, L"title");
    for (size_t lt = html.find(L'<'); lt != std::wstring::npos; lt = html.find(L'<', lt + 1)) {
        if (lt + 1 >= html.size() || !std::iswalpha(html[lt + 1])) continue;
        const size_t gt = html.find(L'>', lt);
        if (gt == std::wstring::npos) break;
        const std::wstring tagText = html.substr(lt + 1, gt - lt - 1);
        size_t nameEnd = 0;
        while (nameEnd < tagText.size() && std::iswalnum(tagText[nameEnd])) ++nameEnd;
        const std::wstring tag = Lower(tagText.substr(0, nameEnd));
        if (tag == L"script" || tag == L"style") {  // their text is not the page's
            const size_t close = lower.find(L"</" + tag, gt);
            if (close == std::wstring::npos) break;
            lt = close;
            continue;
        }
        if (tag == L"iframe") {
            const std::wstring src = Decode(Attribute(tagText, L"src"));
            if (!src.empty()) page.frames.push_back(Resolve(url, src));
        }
        const std::wstring id = Attribute(tagText, L"id");
        if (!id.empty()) page.elements.push_back({tag, Decode(id), InnerText(html, gt + 1, tag)});
    }
    return page;
}

// ---- the fetch -----------------------------------------------------------------------------

struct Fetched {
    bool ok = false;
    DWORD status = 0;  // the HTTP status, or 0 when no server answered
    std::wstring html;
};

Fetched Fetch(const std::wstring& url) {
    Fetched out;
    if (url == L"about:blank") {
        out.ok = true;
        return out;
    }
    HINTERNET net = InternetOpenW(L"RvScriptedPage", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!net) return out;
    // No cookies: the pages are the tests', and the system's cookie jar is shared with the
    // client's own requests.
    HINTERNET req = InternetOpenUrlW(net, url.c_str(), nullptr, 0,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                                         INTERNET_FLAG_NO_COOKIES,
                                     0);
    if (req) {
        DWORD status = 0, size = sizeof status;
        HttpQueryInfoW(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        out.status = status;
        std::string body;
        char buf[8192];
        DWORD got = 0;
        while (InternetReadFile(req, buf, sizeof buf, &got) && got > 0) body.append(buf, got);
        out.html = Wide(body);
        out.ok = status >= 200 && status < 400;
        InternetCloseHandle(req);
    }
    InternetCloseHandle(net);
    return out;
}

// ---- the document --------------------------------------------------------------------------

struct ElementObject {
    IHTMLElement face;
    std::atomic<long> refs{1};
    Element data;
};
struct CollectionObject {
    IHTMLElementCollection face;
    std::atomic<long> refs{1};
    std::vector<Element> items;
};
struct DocumentObject {
    IHTMLDocument2 face;
    std::atomic<long> refs{1};
    std::shared_ptr<const Page> page;
};

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

BSTR Bstr(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

HRESULT AnswerIface(void* face, REFIID riid, std::initializer_list<const IID*> iids, void** ppv,
                    ULONG(STDMETHODCALLTYPE* addRef)(void*)) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const IID* iid : iids)
        if (IsEqualIID(riid, *iid)) {
            *ppv = face;
            addRef(face);
            return S_OK;
        }
    return E_NOINTERFACE;
}

template <class Object, class Face>
Object* ObjectOf(Face* face) {
    return reinterpret_cast<Object*>(face);  // the face is each object's first member
}

IHTMLElementVtbl g_elementTable;
IHTMLElementCollectionVtbl g_collectionTable;
IHTMLDocument2Vtbl g_documentTable;

ULONG STDMETHODCALLTYPE ElementAddRef(void* f) { return ++ObjectOf<ElementObject>(static_cast<IHTMLElement*>(f))->refs; }
ULONG STDMETHODCALLTYPE CollectionAddRef(void* f) {
    return ++ObjectOf<CollectionObject>(static_cast<IHTMLElementCollection*>(f))->refs;
}
ULONG STDMETHODCALLTYPE DocumentAddRef(void* f) { return ++ObjectOf<DocumentObject>(static_cast<IHTMLDocument2*>(f))->refs; }

IDispatch* NewElement(const Element& e) {
    auto* o = new ElementObject;
    o->face.lpVtbl = &g_elementTable;
    o->data = e;
    ++g_live;
    return reinterpret_cast<IDispatch*>(&o->face);
}
IDispatch* NewCollection(std::vector<Element> items) {
    auto* o = new CollectionObject;
    o->face.lpVtbl = &g_collectionTable;
    o->items = std::move(items);
    ++g_live;
    return reinterpret_cast<IDispatch*>(&o->face);
}

void MakeDocumentTables() {
    FillNotImpl(g_elementTable);
    g_elementTable.QueryInterface = [](IHTMLElement* This, REFIID riid, void** ppv) -> HRESULT {
        return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLElement}, ppv, ElementAddRef);
    };
    g_elementTable.AddRef = [](IHTMLElement* This) -> ULONG { return ElementAddRef(This); };
    g_elementTable.Release = [](IHTMLElement* This) -> ULONG { return ReleaseObject(ObjectOf<ElementObject>(This)); };
    g_elementTable.get_id = [](IHTMLElement* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Bstr(ObjectOf<ElementObject>(This)->data.id);
        return S_OK;
    };
    g_elementTable.get_innerText = [](IHTMLElement* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        const Element& e = ObjectOf<ElementObject>(This)->data;
        Log(0, "read " + Narrow(e.tag) + "#" + Narrow(e.id) + " " + Narrow(e.text));
        *out = Bstr(e.text);
        return S_OK;
    };
    g_elementTable.get_tagName = [](IHTMLElement* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        std::wstring upper = ObjectOf<ElementObject>(This)->data.tag;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
        *out = Bstr(upper);
        return S_OK;
    };

    FillNotImpl(g_collectionTable);
    g_collectionTable.QueryInterface = [](IHTMLElementCollection* This, REFIID riid, void** ppv) -> HRESULT {
        return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLElementCollection}, ppv,
                           CollectionAddRef);
    };
    g_collectionTable.AddRef = [](IHTMLElementCollection* This) -> ULONG { return CollectionAddRef(This); };
    g_collectionTable.Release = [](IHTMLElementCollection* This) -> ULONG {
        return ReleaseObject(ObjectOf<CollectionObject>(This));
    };
    g_collectionTable.get_length = [](IHTMLElementCollection* This, LONG* n) -> HRESULT {
        if (!n) return E_POINTER;
        *n = static_cast<LONG>(ObjectOf<CollectionObject>(This)->items.size());
        return S_OK;
    };
    g_collectionTable.item = [](IHTMLElementCollection* This, VARIANT name, VARIANT, IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        const auto& items = ObjectOf<CollectionObject>(This)->items;
        if (name.vt != VT_I4 || name.lVal < 0 || static_cast<size_t>(name.lVal) >= items.size()) return S_OK;
        *out = NewElement(items[name.lVal]);
        return S_OK;
    };
    g_collectionTable.tags = [](IHTMLElementCollection* This, VARIANT tag, IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (tag.vt != VT_BSTR || !tag.bstrVal) return E_INVALIDARG;
        const std::wstring want = Lower(tag.bstrVal);
        std::vector<Element> found;
        for (const Element& e : ObjectOf<CollectionObject>(This)->items)
            if (e.tag == want) found.push_back(e);
        *out = NewCollection(std::move(found));
        return S_OK;
    };

    FillNotImpl(g_documentTable);
    g_documentTable.QueryInterface = [](IHTMLDocument2* This, REFIID riid, void** ppv) -> HRESULT {
        return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLDocument, &IID_IHTMLDocument2}, ppv,
                           DocumentAddRef);
    };
    g_documentTable.AddRef = [](IHTMLDocument2* This) -> ULONG { return DocumentAddRef(This); };
    g_documentTable.Release = [](IHTMLDocument2* This) -> ULONG { return ReleaseObject(ObjectOf<DocumentObject>(This)); };
    g_documentTable.get_all = [](IHTMLDocument2* This, IHTMLElementCollection** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = reinterpret_cast<IHTMLElementCollection*>(NewCollection(ObjectOf<DocumentObject>(This)->page->elements));
        return S_OK;
    };
    g_documentTable.get_title = [](IHTMLDocument2* This, BSTR* out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = Bstr(ObjectOf<DocumentObject>(This)->page->title);
        return S_OK;
    };
}

IDispatch* NewDocument(std::shared_ptr<const Page> page) {
    auto* o = new DocumentObject;
    o->face.lpVtbl = &g_documentTable;
    o->page = std::move(page);
    ++g_live;
    return reinterpret_cast<IDispatch*>(&o->face);
}

// A frame of a page, as the events name it: an object of its own (not the control).
struct FrameObject {
    IDispatch face;
    std::atomic<long> refs{1};
};
IDispatchVtbl g_frameTable;
ULONG STDMETHODCALLTYPE FrameAddRef(void* f) { return ++ObjectOf<FrameObject>(static_cast<IDispatch*>(f))->refs; }

IDispatch* NewFrame() {
    static bool made = [] {
        FillNotImpl(g_frameTable);
        g_frameTable.QueryInterface = [](IDispatch* This, REFIID riid, void** ppv) -> HRESULT {
            return AnswerIface(This, riid, {&IID_IUnknown, &IID_IDispatch}, ppv, FrameAddRef);
        };
        g_frameTable.AddRef = [](IDispatch* This) -> ULONG { return FrameAddRef(This); };
        g_frameTable.Release = [](IDispatch* This) -> ULONG { return ReleaseObject(ObjectOf<FrameObject>(This)); };
        return true;
    }();
    (void)made;
    auto* o = new FrameObject;
    o->face.lpVtbl = &g_frameTable;
    ++g_live;
    return &o->face;
}

// ---- the control ---------------------------------------------------------------------------

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

Control* Of(IWebBrowser2* f) { return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, wb)); }
Control* Of(IOleObject* f) { return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, ole)); }
Control* Of(IOleInPlaceObject* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, inplace));
}
Control* Of(IOleInPlaceActiveObject* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, active));
}
Control* Of(IConnectionPointContainer* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, points));
}
Control* Of(IConnectionPoint* f) { return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, point)); }
Control* Of(IPersistStreamInit* f) {
    return reinterpret_cast<Control*>(reinterpret_cast<char*>(f) - offsetof(Control, persist));
}

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

// The IUnknown of a face: its control's.
#define RV_FACE_UNKNOWN(table, Face)                                                                          \
    table.QueryInterface = [](Face* This, REFIID riid, void** ppv) -> HRESULT { return QueryControl(Of(This), riid, ppv); }; \
    table.AddRef = [](Face* This) -> ULONG { return AddRefControl(Of(This)); };                                \
    table.Release = [](Face* This) -> ULONG { return ReleaseControl(Of(This)); }

IWebBrowser2Vtbl g_browserTable;
IOleObjectVtbl g_oleTable;
IOleInPlaceObjectVtbl g_inplaceTable;
IOleInPlaceActiveObjectVtbl g_activeTable;
IConnectionPointContainerVtbl g_pointsTable;
IConnectionPointVtbl g_pointTable;
IPersistStreamInitVtbl g_persistTable;

VARIANT Str(const std::wstring& s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = Bstr(s);
    return v;
}
VARIANT Ref(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}
VARIANT Disp(IDispatch* d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = d;  // borrowed: not cleared
    return v;
}
VARIANT BoolRef(VARIANT_BOOL* b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BOOL;
    v.pboolVal = b;
    return v;
}
VARIANT Long(long n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
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
        VARIANT urlValue = Str(url), empty, status = Long(f->status ? static_cast<long>(f->status) : INET_E_RESOURCE_NOT_FOUND);
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

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t tab = line.find('\t'); ; tab = line.find('\t', from)) {
        out.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    return out;
}

std::string VariantText(const VARIANT& v) {
    VARIANT s;
    VariantInit(&s);
    if (v.vt == VT_EMPTY) return "undefined";
    VARIANT copy = v;
    if (FAILED(VariantChangeType(&s, &copy, 0, VT_BSTR))) return "?";
    std::string out = Narrow(std::wstring(s.bstrVal, SysStringLen(s.bstrVal)));
    VariantClear(&s);
    return out;
}

LRESULT Control::Command(const std::string& line) {
    const std::vector<std::string> f = Fields(line);
    if (f[0] == "external" && f.size() >= 2) {
        IDocHostUIHandler* ui = nullptr;
        IDispatch* ext = nullptr;
        if (clientSite && SUCCEEDED(IOleClientSite_QueryInterface(clientSite, IID_IDocHostUIHandler,
                                                                   reinterpret_cast<void**>(&ui))) && ui) {
            if (IDocHostUIHandler_GetExternal(ui, &ext) != S_OK) ext = nullptr;
            IDocHostUIHandler_Release(ui);
        }
        if (!ext) {
            Log("external " + f[1] + " no-external");
            return E_NOINTERFACE;
        }
        std::wstring name = Wide(f[1]);
        LPOLESTR names[1] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = IDispatch_GetIDsOfNames(ext, IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        std::string text;
        if (hr == S_OK) {
            std::vector<VARIANT> args;
            for (size_t i = 2; i < f.size(); ++i) {
                VARIANT v;
                VariantInit(&v);
                const std::string& a = f[i];
                if (a == "null") {
                    v.vt = VT_NULL;
                } else if (a.rfind("b:", 0) == 0) {
                    v.vt = VT_BOOL;
                    v.boolVal = a == "b:1" ? VARIANT_TRUE : VARIANT_FALSE;
                } else if (a.rfind("n:", 0) == 0) {
                    v.vt = VT_R8;
                    v.dblVal = std::strtod(a.c_str() + 2, nullptr);
                } else {
                    v = Str(Wide(a.rfind("s:", 0) == 0 ? a.substr(2) : a));
                }
                args.push_back(v);
            }
            std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // script engines pass them last first
            DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
            VARIANT result;
            VariantInit(&result);
            AddRefControl(this);
            hr = IDispatch_Invoke(ext, id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                  nullptr);
            text = VariantText(result);
            VariantClear(&result);
            for (VARIANT& v : args) VariantClear(&v);
            Log("external " + f[1] + " hr=" + std::to_string(static_cast<long>(hr)) + " result=" + text);
            ReleaseControl(this);
        } else {
            Log("external " + f[1] + " unknown-name");
        }
        IDispatch_Release(ext);
        return hr;
    }
    if (f[0] == "newwindow" && f.size() >= 3) {
        AddRefControl(this);
        IDispatch* opened = nullptr;
        VARIANT out;
        VariantInit(&out);
        out.vt = VT_BYREF | VT_DISPATCH;
        out.ppdispVal = &opened;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        const std::wstring url = Wide(f[1]);
        Fire(DISPID_NEWWINDOW3, {out, BoolRef(&cancel), Long(std::strtol(f[2].c_str(), nullptr, 10)), Str(location),
                                 Str(url)});
        std::string what;
        if (cancel != VARIANT_FALSE) {
            what = "cancelled";
        } else if (!opened) {
            what = "own-window";  // the system's control would open a browser window nobody owns
        } else {
            what = "opened";
            IWebBrowser2* next = nullptr;
            if (SUCCEEDED(IDispatch_QueryInterface(opened, IID_IWebBrowser2, reinterpret_cast<void**>(&next))) && next) {
                Of(next)->Navigate(url);
                IWebBrowser2_Release(next);
            }
        }
        if (opened) IDispatch_Release(opened);
        Log("newwindow " + f[1] + " " + what);
        ReleaseControl(this);
        return cancel != VARIANT_FALSE;
    }
    if (f[0] == "navigate" && f.size() >= 2) {  // a link followed, or location set
        Navigate(Wide(f[1]));
        return 0;
    }
    if (f[0] == "closing") {
        AddRefControl(this);
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_BOOL;
        child.boolVal = VARIANT_FALSE;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        Fire(DISPID_WINDOWCLOSING, {child, BoolRef(&cancel)});
        Log(std::string("closing ") + (cancel != VARIANT_FALSE ? "cancelled" : "let through"));
        ReleaseControl(this);
        return cancel != VARIANT_FALSE;
    }
    Log("bad-command " + line);
    return E_INVALIDARG;
}

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

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wp, lp);
    case kLoaded:
        if (c) c->Loaded(static_cast<unsigned>(wp), reinterpret_cast<Fetched*>(lp));
        else delete reinterpret_cast<Fetched*>(lp);
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
    case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        if (c) {
            Paint(c, hwnd);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        if (c && c->window == hwnd) c->window = nullptr;
        break;
    default:
        break;
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
        if (!active || FAILED(IOleClientSite_QueryInterface(active, IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))) || !site)
            return E_INVALIDARG;
        if (IOleInPlaceSite_CanInPlaceActivate(site) != S_OK) {
            IOleInPlaceSite_Release(site);
            return E_FAIL;
        }
        IOleInPlaceSite_OnInPlaceActivate(site);
        RECT rc = pos ? *pos : RECT{0, 0, 0, 0};
        c->window = CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rc.left, rc.top,
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
        if (c->inplaceSite && SUCCEEDED(IOleInPlaceSite_GetWindowContext(c->inplaceSite, &frame, &doc, &p, &clip, &info))) {
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
        if (c->window && pos) MoveWindow(c->window, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
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
    g_pointsTable.FindConnectionPoint = [](IConnectionPointContainer* This, REFIID riid, IConnectionPoint** out) -> HRESULT {
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

// ---- the class object ----------------------------------------------------------------------

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
        out += (out.empty() ? "" : "; ") + std::to_string(g_overReleased.load()) + " release(s) after the last reference";
    return out;
}

}  // namespace scripted
