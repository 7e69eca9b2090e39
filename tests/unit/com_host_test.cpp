// Over 500 lines: one suite, the host object and script bridge through every interface a control asks for.
// The COM subset (strings and variants) and the browser host object: its own
// answers, what it passes on to the container's site and UI handler, the fallbacks without
// them, reference counting and ownership, and the swap of a control's client site.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fw/com.h"
#include "fw/common/browser_faces.h"
#include "web/js_dispatch.h"
#include "web/web_ctrl_interface.h"

namespace {

using Args = std::vector<std::uintptr_t>;

template <class T>
std::uintptr_t P(T* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}
std::uintptr_t U(std::uintptr_t v) { return v; }

constexpr HRESULT kAnswer = static_cast<HRESULT>(0x80041234u);  // what the fakes answer

// The current count of an object whose Release never deletes it at the count in question.
LONG CountOf(IUnknown* p) {
    p->AddRef();
    return static_cast<LONG>(p->Release());
}

// Notes the last method a fake got and its arguments, and answers kAnswer.
struct Recorder {
    std::string last;
    Args args;
    HRESULT answer = kAnswer;
    HRESULT Note(const char* name, Args a) {
        last = name;
        args = std::move(a);
        return answer;
    }
};

// A container UI handler. Counts references; lives on the test's stack.
struct FakeHandler : IDocHostUIHandler, Recorder {
    LONG refs = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDocHostUIHandler) return E_NOINTERFACE;
        *ppv = static_cast<IDocHostUIHandler*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }

    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* pt, IUnknown* a, IDispatch* b) override {
        return Note("ShowContextMenu", {U(id), P(pt), P(a), P(b)});
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override { return Note("GetHostInfo", {P(info)}); }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* a, IOleCommandTarget* b, IOleInPlaceFrame* c,
                                     IOleInPlaceUIWindow* d) override {
        return Note("ShowUI", {U(id), P(a), P(b), P(c), P(d)});
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return Note("HideUI", {}); }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return Note("UpdateUI", {}); }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL f) override { return Note("EnableModeless", {U(f)}); }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL f) override { return Note("OnDocWindowActivate", {U(f)}); }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL f) override { return Note("OnFrameWindowActivate", {U(f)}); }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT rc, IOleInPlaceUIWindow* w, BOOL f) override {
        return Note("ResizeBorder", {P(rc), P(w), U(f)});
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG m, const GUID* g, DWORD id) override {
        return Note("TranslateAccelerator", {P(m), P(g), U(id)});
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD dw) override {
        return Note("GetOptionKeyPath", {P(key), U(dw)});
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* t, IDropTarget** out) override {
        return Note("GetDropTarget", {P(t), P(out)});
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override { return Note("GetExternal", {P(out)}); }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD t, OLECHAR* in, OLECHAR** out) override {
        return Note("TranslateUrl", {U(t), P(in), P(out)});
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* d, IDataObject** out) override {
        return Note("FilterDataObject", {P(d), P(out)});
    }
};

// A container client site that offers `handler` as its UI handler when one is given.
struct FakeSite : IOleClientSite, Recorder {
    LONG refs = 0;
    int queries = 0;
    FakeHandler* handler = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
            *ppv = static_cast<IOleClientSite*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == IID_IDocHostUIHandler && handler) {
            *ppv = static_cast<IDocHostUIHandler*>(handler);
            handler->AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }

    HRESULT STDMETHODCALLTYPE SaveObject() override { return Note("SaveObject", {}); }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD a, DWORD w, IMoniker** out) override {
        return Note("GetMoniker", {U(a), U(w), P(out)});
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override { return Note("GetContainer", {P(out)}); }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return Note("ShowObject", {}); }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL f) override { return Note("OnShowWindow", {U(f)}); }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return Note("RequestNewObjectLayout", {}); }
};

// A host object with the hosting window's reference, given up at the end of the scope.
struct HostRef {
    CWebCtrlInterFace* p = new CWebCtrlInterFace;
    HostRef() { p->AddRef(); }
    ~HostRef() { p->Release(); }
    HostRef(const HostRef&) = delete;
    HostRef& operator=(const HostRef&) = delete;
    CWebCtrlInterFace* operator->() const { return p; }
    IOleClientSite* site() const { return p; }
    IDocHostUIHandler* ui() const { return p; }
};

struct NoOwner : IJSDispatch {};
NoOwner g_noOwner;

// A bridge that tells when it is destroyed.
class FlaggedBridge : public CJSDispatch {
public:
    explicit FlaggedBridge(bool* gone) : CJSDispatch(&g_noOwner), gone_(gone) {}
    ~FlaggedBridge() override { *gone_ = true; }

private:
    bool* gone_;
};

// Every method the host passes on, called through the interface the control uses, with
// recognisable arguments. `out` is the out-parameter handed in, where the method has one.
struct PassedCall {
    const char* name;
    bool onSite;       // IOleClientSite method (else IDocHostUIHandler)
    HRESULT fallback;  // the answer without a container object
    bool hasOut;       // the fallback clears the out-parameter
    std::function<HRESULT(const HostRef&, void** out)> call;
    std::function<Args(void** out)> args;
};

struct Sentinels {
    POINT pt{};
    RECT rc{};
    MSG msg{};
    GUID group{};
    OLECHAR url[4] = {'a', 'b', 'c', 0};
    alignas(8) std::uint64_t objects[4]{};
    template <class T>
    T* Obj(int i) {
        return reinterpret_cast<T*>(&objects[i]);
    }
};

std::vector<PassedCall> PassedCalls(Sentinels& s) {
    auto* frame = s.Obj<IOleInPlaceFrame>(0);
    auto* active = s.Obj<IOleInPlaceActiveObject>(1);
    auto* target = s.Obj<IOleCommandTarget>(2);
    auto* uiWindow = s.Obj<IOleInPlaceUIWindow>(3);
    auto* drop = s.Obj<IDropTarget>(0);
    auto* data = s.Obj<IDataObject>(1);
    using O = void**;
    return {
        {"SaveObject", true, E_FAIL, false, [](const HostRef& h, O) { return h.site()->SaveObject(); },
         [](O) { return Args{}; }},
        {"GetMoniker", true, E_NOTIMPL, true,
         [](const HostRef& h, O o) { return h.site()->GetMoniker(1, 3, reinterpret_cast<IMoniker**>(o)); },
         [](O o) {
             return Args{1, 3, P(o)};
         }},
        {"GetContainer", true, E_NOINTERFACE, true,
         [](const HostRef& h, O o) { return h.site()->GetContainer(reinterpret_cast<IOleContainer**>(o)); },
         [](O o) { return Args{P(o)}; }},
        {"ShowObject", true, S_OK, false, [](const HostRef& h, O) { return h.site()->ShowObject(); },
         [](O) { return Args{}; }},
        {"OnShowWindow", true, S_OK, false, [](const HostRef& h, O) { return h.site()->OnShowWindow(TRUE); },
         [](O) { return Args{1}; }},
        {"RequestNewObjectLayout", true, E_NOTIMPL, false,
         [](const HostRef& h, O) { return h.site()->RequestNewObjectLayout(); }, [](O) { return Args{}; }},
        {"ShowUI", false, S_FALSE, false,
         [=](const HostRef& h, O) { return h.ui()->ShowUI(7, active, target, frame, uiWindow); },
         [=](O) {
             return Args{7, P(active), P(target), P(frame), P(uiWindow)};
         }},
        {"HideUI", false, E_NOTIMPL, false, [](const HostRef& h, O) { return h.ui()->HideUI(); },
         [](O) { return Args{}; }},
        {"UpdateUI", false, E_NOTIMPL, false, [](const HostRef& h, O) { return h.ui()->UpdateUI(); },
         [](O) { return Args{}; }},
        {"EnableModeless", false, E_NOTIMPL, false, [](const HostRef& h, O) { return h.ui()->EnableModeless(TRUE); },
         [](O) { return Args{1}; }},
        {"OnDocWindowActivate", false, E_NOTIMPL, false,
         [](const HostRef& h, O) { return h.ui()->OnDocWindowActivate(FALSE); }, [](O) { return Args{0}; }},
        {"OnFrameWindowActivate", false, E_NOTIMPL, false,
         [](const HostRef& h, O) { return h.ui()->OnFrameWindowActivate(TRUE); }, [](O) { return Args{1}; }},
        {"ResizeBorder", false, E_NOTIMPL, false,
         [&s, uiWindow](const HostRef& h, O) { return h.ui()->ResizeBorder(&s.rc, uiWindow, TRUE); },
         [&s, uiWindow](O) {
             return Args{P(&s.rc), P(uiWindow), 1};
         }},
        {"TranslateAccelerator", false, E_NOTIMPL, false,
         [&s](const HostRef& h, O) { return h.ui()->TranslateAccelerator(&s.msg, &s.group, 42); },
         [&s](O) {
             return Args{P(&s.msg), P(&s.group), 42};
         }},
        {"GetOptionKeyPath", false, E_NOTIMPL, true,
         [](const HostRef& h, O o) { return h.ui()->GetOptionKeyPath(reinterpret_cast<LPOLESTR*>(o), 5); },
         [](O o) {
             return Args{P(o), 5};
         }},
        {"GetDropTarget", false, E_NOTIMPL, true,
         [drop](const HostRef& h, O o) { return h.ui()->GetDropTarget(drop, reinterpret_cast<IDropTarget**>(o)); },
         [drop](O o) {
             return Args{P(drop), P(o)};
         }},
        {"GetExternal", false, E_NOTIMPL, true,
         [](const HostRef& h, O o) { return h.ui()->GetExternal(reinterpret_cast<IDispatch**>(o)); },
         [](O o) { return Args{P(o)}; }},
        {"TranslateUrl", false, S_FALSE, true,
         [&s](const HostRef& h, O o) { return h.ui()->TranslateUrl(3, s.url, reinterpret_cast<OLECHAR**>(o)); },
         [&s](O o) {
             return Args{3, P(s.url), P(o)};
         }},
        {"FilterDataObject", false, S_FALSE, true,
         [data](const HostRef& h, O o) { return h.ui()->FilterDataObject(data, reinterpret_cast<IDataObject**>(o)); },
         [data](O o) {
             return Args{P(data), P(o)};
         }},
    };
}

// A browser control as the other back ends present it: one IUnknown that answers
// IWebBrowser2 and IOleObject and keeps one reference on its client site.
class FakeControl : public fw::detail::WebBrowser2Face, public fw::detail::OleObjectFace {
public:
    LONG refs = 0;
    bool offersBrowser = true;
    bool offersOleObject = true;
    HRESULT getSiteAnswer = S_OK;
    IOleClientSite* site = nullptr;

    ~FakeControl() {
        if (site) site->Release();
    }
    IUnknown* unknown() { return static_cast<IWebBrowser2*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || (offersBrowser && (riid == IID_IWebBrowser2 || riid == IID_IDispatch)))
            *ppv = static_cast<IWebBrowser2*>(this);
        else if (offersOleObject && riid == IID_IOleObject)
            *ppv = static_cast<IOleObject*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* s) override {
        if (s) s->AddRef();
        if (site) site->Release();
        site = s;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
        *out = nullptr;
        if (FAILED(getSiteAnswer)) return getSiteAnswer;
        *out = site;
        if (site) site->AddRef();
        return S_OK;
    }
};

}  // namespace

// --- The COM subset ----------------------------------------------------------------------

TEST(ComSubset, BstrKeepsItsLengthAndEmbeddedNuls) {
    const OLECHAR text[] = {'a', 0, 'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[2], 'b');
    EXPECT_EQ(s[3], 0);  // terminated like the system's
    EXPECT_EQ(fw::BstrToUtf8(s), std::string("a\0b", 3));
    SysFreeString(s);

    BSTR zeros = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(SysStringLen(zeros), 4u);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(zeros[i], 0);
    SysFreeString(zeros);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(text, 0xFFFFFFFFu), nullptr);  // byte count would not fit

    BSTR u = fw::AllocBstr("\xC3\xA9\xF0\x9D\x84\x9E\xFF");  // é, a surrogate pair, a bad byte
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(SysStringLen(u), 4u);
    EXPECT_EQ(fw::BstrToUtf8(u), "\xC3\xA9\xF0\x9D\x84\x9E\xEF\xBF\xBD");
    SysFreeString(u);
}

TEST(ComSubset, VariantClearReleasesWhatTheVariantOwns) {
    FakeHandler object;  // any counted object
    object.refs = 1;
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_UNKNOWN;
    v.punkVal = &object;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(object.refs, 0);

    IUnknown* ref = &object;
    v.vt = VT_BYREF | VT_UNKNOWN;  // a reference owns nothing
    v.ppunkVal = &ref;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.refs, 0);

    v.vt = VT_BSTR;
    v.bstrVal = fw::AllocBstr("freed by the clear");  // the leak checker of the sanitizer build
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(ComSubset, VariantClearLeavesUnknownTypesAlone) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;  // not part of this subset: left alone
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

// --- The host object ---------------------------------------------------------------------

TEST(WebHost, QueryInterfaceAnswersTwoInterfacesWithOneIdentity) {
    FakeSite site;
    HostRef host;
    host->SetContainerSite(&site);
    const int siteQueries = site.queries;

    void* unk = nullptr;
    void* viaSite = nullptr;
    void* ui = nullptr;
    void* unkFromUi = nullptr;
    EXPECT_EQ(host.site()->QueryInterface(IID_IUnknown, &unk), S_OK);
    EXPECT_EQ(host.site()->QueryInterface(IID_IOleClientSite, &viaSite), S_OK);
    EXPECT_EQ(host.site()->QueryInterface(IID_IDocHostUIHandler, &ui), S_OK);
    EXPECT_EQ(static_cast<IDocHostUIHandler*>(ui)->QueryInterface(IID_IUnknown, &unkFromUi), S_OK);
    EXPECT_EQ(unk, static_cast<void*>(host.site()));
    EXPECT_EQ(viaSite, unk);
    EXPECT_EQ(unkFromUi, unk);
    EXPECT_EQ(ui, static_cast<void*>(host.ui()));
    EXPECT_EQ(host->m_nRefCount, 5);  // the window's reference and four handed out
    for (int i = 0; i < 4; ++i) host->Release();

    const IID* refused[] = {&IID_IDispatch, &IID_IOleInPlaceSite, &IID_IServiceProvider, &IID_IOleObject,
                            &IID_IWebBrowser2};
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        void* out = &site;
        EXPECT_EQ(host.ui()->QueryInterface(*refused[i], &out), E_NOINTERFACE) << "case " << i;
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(site.queries, siteQueries) << "requests are never passed to the container";

    EXPECT_EQ(host.site()->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
    EXPECT_EQ(host->m_nRefCount, 1);
    host->SetContainerSite(nullptr);
}

TEST(WebHost, OwnAnswersForHostInfoAndContextMenu) {
    FakeSite site;  // a site without a UI handler, like the container's own
    HostRef host;
    host->SetContainerSite(&site);

    OLECHAR css[] = {'c', 0};
    DOCHOSTUIINFO info{};
    info.dwFlags = 0xFF00;
    info.dwDoubleClick = 2;
    info.pchHostCss = css;
    EXPECT_EQ(host.ui()->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.cbSize, 20u);
    EXPECT_EQ(info.dwFlags, 0x0Cu);
    EXPECT_EQ(info.dwDoubleClick, 0u);
    EXPECT_EQ(info.pchHostCss, css);
    EXPECT_EQ(info.pchHostNS, nullptr);
    EXPECT_EQ(host.ui()->GetHostInfo(nullptr), E_INVALIDARG);

    host->m_bHideScrollBars = FALSE;
    EXPECT_EQ(host.ui()->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, 0x04u);

    // Even a container handler never gets to show a menu.
    FakeHandler handler;
    site.handler = &handler;
    host->SetContainerSite(&site);
    POINT pt{10, 20};
    EXPECT_EQ(host.ui()->ShowContextMenu(0x2, &pt, nullptr, nullptr), S_OK);
    EXPECT_EQ(handler.last, "");
    host->SetContainerSite(nullptr);
}

TEST(WebHost, ExternalIsTheBridgeWithOneReferencePerCall) {
    bool gone = false;
    FakeHandler handler;
    FakeSite site;
    site.handler = &handler;
    HostRef host;
    IDispatch* out = reinterpret_cast<IDispatch*>(&host);
    EXPECT_EQ(host.ui()->GetExternal(&out), E_NOTIMPL);
    EXPECT_EQ(out, nullptr);

    auto* bridge = new FlaggedBridge(&gone);
    host->m_pExternal = bridge;
    host->SetContainerSite(&site);  // the bridge comes first, the handler is not asked

    for (LONG expected = 1; expected <= 3; ++expected) {
        out = nullptr;
        EXPECT_EQ(host.ui()->GetExternal(&out), S_OK);
        EXPECT_EQ(out, static_cast<IDispatch*>(bridge));
        EXPECT_EQ(CountOf(bridge), expected);
    }
    EXPECT_EQ(host.ui()->GetExternal(nullptr), E_INVALIDARG);
    EXPECT_EQ(CountOf(bridge), 3);
    EXPECT_EQ(handler.last, "");
    host->SetContainerSite(nullptr);
    EXPECT_FALSE(gone);
}

TEST(WebHost, PassesEveryCallOnUnchanged) {
    Sentinels s;
    FakeHandler handler;
    FakeSite site;
    site.handler = &handler;
    HostRef host;
    host->SetContainerSite(&site);

    void* outSlot = nullptr;
    for (const PassedCall& c : PassedCalls(s)) {
        Recorder& fake = c.onSite ? static_cast<Recorder&>(site) : handler;
        fake.last.clear();
        EXPECT_EQ(c.call(host, &outSlot), kAnswer) << c.name;
        EXPECT_EQ(fake.last, c.name);
        EXPECT_EQ(fake.args, c.args(&outSlot)) << c.name;
    }

    // Host information too, when the container has a handler of its own.
    DOCHOSTUIINFO info{};
    EXPECT_EQ(host.ui()->GetHostInfo(&info), kAnswer);
    EXPECT_EQ(handler.args, Args{P(&info)});
    EXPECT_EQ(info.dwFlags, 0u);

    // A drop target refused with S_FALSE is reported as a failure; other answers stay.
    handler.answer = S_FALSE;
    EXPECT_EQ(host.ui()->GetDropTarget(nullptr, nullptr), E_FAIL);
    handler.answer = S_OK;
    EXPECT_EQ(host.ui()->GetDropTarget(nullptr, nullptr), S_OK);
    handler.answer = S_FALSE;
    EXPECT_EQ(host.ui()->TranslateUrl(0, nullptr, nullptr), S_FALSE);
    host->SetContainerSite(nullptr);
}

TEST(WebHost, FallbacksWithoutContainerObjects) {
    Sentinels s;
    FakeSite siteWithoutHandler;
    for (bool withSite : {false, true}) {
        HostRef host;
        if (withSite) host->SetContainerSite(&siteWithoutHandler);
        for (const PassedCall& c : PassedCalls(s)) {
            if (withSite && c.onSite) continue;  // passed on to the site, checked above
            const std::string what = std::string(c.name) + (withSite ? " (site only)" : "");
            void* outSlot = &s;
            EXPECT_EQ(c.call(host, &outSlot), c.fallback) << what;
            if (c.hasOut)
                EXPECT_EQ(outSlot, nullptr) << what;
            else
                EXPECT_EQ(outSlot, &s) << what;
            EXPECT_EQ(c.call(host, nullptr), c.fallback) << what << " with a null out-pointer";
        }
        EXPECT_EQ(siteWithoutHandler.last, "");
        host->SetContainerSite(nullptr);
    }
}

TEST(WebHost, ContainerSiteReferencesAreHeldAndGivenBack) {
    FakeHandler handler;
    FakeSite withHandler;
    withHandler.handler = &handler;
    FakeSite plain;
    {
        HostRef host;
        host->SetContainerSite(&withHandler);
        EXPECT_EQ(host->m_pContainerSite.Get(), &withHandler);
        EXPECT_EQ(host->m_pContainerUIHandler.Get(), &handler);
        EXPECT_EQ(withHandler.refs, 1);
        EXPECT_EQ(handler.refs, 1);

        host->SetContainerSite(&withHandler);  // again: still one reference each
        EXPECT_EQ(withHandler.refs, 1);
        EXPECT_EQ(handler.refs, 1);

        host->SetContainerSite(nullptr);
        EXPECT_EQ(host->m_pContainerSite.Get(), nullptr);
        EXPECT_EQ(host->m_pContainerUIHandler.Get(), nullptr);
        EXPECT_EQ(withHandler.refs, 0);
        EXPECT_EQ(handler.refs, 0);

        host->SetContainerSite(&withHandler);
        host->SetContainerSite(&plain);  // a site that refuses the UI handler
        EXPECT_EQ(withHandler.refs, 0);
        EXPECT_EQ(handler.refs, 0);
        EXPECT_EQ(plain.refs, 1);
        EXPECT_EQ(host->m_pContainerUIHandler.Get(), nullptr);
    }
    EXPECT_EQ(plain.refs, 0) << "the last release gives the site back";
}

TEST(WebHost, LastReleaseDestroysTheBridgeWhateverItsCount) {
    FakeHandler handler;
    FakeSite site;
    site.handler = &handler;
    bool gone = false;

    auto* host = new CWebCtrlInterFace;
    host->AddRef();
    host->m_pExternal = new FlaggedBridge(&gone);
    host->SetContainerSite(&site);
    IDispatch* external = nullptr;
    for (int i = 0; i < 3; ++i) host->GetExternal(&external);  // script still holds three

    void* asUi = nullptr;
    host->QueryInterface(IID_IDocHostUIHandler, &asUi);  // the control's reference
    EXPECT_EQ(host->Release(), 1u);
    EXPECT_FALSE(gone);
    EXPECT_EQ(static_cast<IDocHostUIHandler*>(asUi)->Release(), 0u);
    EXPECT_TRUE(gone);
    EXPECT_EQ(site.refs, 0);
    EXPECT_EQ(handler.refs, 0);
}

// --- Attaching to a control --------------------------------------------------------------

TEST(AttachToControl, HostBecomesTheSiteAndKeepsTheOldOne) {
    FakeHandler handler;
    FakeSite oldSite;
    oldSite.handler = &handler;
    FakeControl control;
    control.SetClientSite(&oldSite);
    HostRef host;

    EXPECT_TRUE(AttachToControl(host.p, control.unknown()));
    EXPECT_EQ(control.site, host.site());
    EXPECT_EQ(host->m_nRefCount, 2);  // the window's and the control's
    EXPECT_EQ(host->m_pContainerSite.Get(), &oldSite);
    EXPECT_EQ(host->m_pContainerUIHandler.Get(), &handler);
    EXPECT_EQ(oldSite.refs, 1) << "only the host holds the old site now";
    EXPECT_EQ(handler.refs, 1);
    EXPECT_EQ(control.refs, 0) << "interfaces taken from the control are given back";

    EXPECT_EQ(host->SaveObject(), kAnswer);  // the control's calls reach the old site
    EXPECT_EQ(oldSite.last, "SaveObject");

    control.SetClientSite(nullptr);  // the control lets go; the window still holds the host
    EXPECT_EQ(host->m_nRefCount, 1);
}

TEST(AttachToControl, LeavesTheControlAloneWhenItCannotAttach) {
    struct Case {
        const char* what;
        bool browser;
        bool oleObject;
        bool nullHost;
    } cases[] = {
        {"no IWebBrowser2", false, true, false},
        {"no IOleObject", true, false, false},
        {"no host object", true, true, true},
    };
    for (const Case& c : cases) {
        FakeSite oldSite;
        FakeControl control;
        control.SetClientSite(&oldSite);
        control.offersBrowser = c.browser;
        control.offersOleObject = c.oleObject;
        HostRef host;
        EXPECT_FALSE(AttachToControl(c.nullHost ? nullptr : host.p, control.unknown())) << c.what;
        EXPECT_EQ(control.site, &oldSite) << c.what;
        EXPECT_EQ(oldSite.refs, 1) << c.what;
        EXPECT_EQ(control.refs, 0) << c.what;
        EXPECT_EQ(host->m_nRefCount, 1) << c.what;
        EXPECT_EQ(host->m_pContainerSite.Get(), nullptr) << c.what;
    }
    HostRef host;
    EXPECT_FALSE(AttachToControl(host.p, nullptr));  // no control was created
}

TEST(AttachToControl, WithoutTheOldSiteTheHostGivesItsFallbacks) {
    for (HRESULT answer : {E_FAIL, S_OK}) {  // GetClientSite fails / succeeds without a site
        FakeControl control;
        control.getSiteAnswer = answer;
        HostRef host;
        EXPECT_TRUE(AttachToControl(host.p, control.unknown()));
        EXPECT_EQ(control.site, host.site());
        EXPECT_EQ(host->m_pContainerSite.Get(), nullptr);
        EXPECT_EQ(host->SaveObject(), E_FAIL);
        IOleContainer* container = reinterpret_cast<IOleContainer*>(&control);
        EXPECT_EQ(host->GetContainer(&container), E_NOINTERFACE);
        EXPECT_EQ(container, nullptr);
        EXPECT_EQ(control.refs, 0);
    }
}
