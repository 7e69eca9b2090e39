// The stand-in caller of script_caller_double.h, written against the C layouts of the
// interfaces (CINTERFACE): every method of IHTMLWindow2 and IHTMLDocument2 answers E_NOTIMPL
// but the few a caller's check uses. This file includes the system's headers itself, before
// and instead of fw/windows/windows_api.h, since their C layouts cannot meet the C++ ones.
#define CINTERFACE
#define COBJMACROS
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <ole2.h>
#include <mshtml.h>
#include <servprov.h>

#include <cstddef>
#include <string>

#include "script_caller_double.h"

namespace script_caller {

namespace {

HRESULT STDMETHODCALLTYPE NotImplemented() { return E_NOTIMPL; }

// Every slot of a table of methods answers E_NOTIMPL (x64 has one calling convention: the
// callee may ignore its arguments).
template <class Vtbl>
void FillNotImplemented(Vtbl& v) {
    auto** slots = reinterpret_cast<void**>(&v);
    for (std::size_t i = 0; i < sizeof(Vtbl) / sizeof(void*); ++i) slots[i] = reinterpret_cast<void*>(&NotImplemented);
}

struct Doc {
    IHTMLDocument2 iface;
    std::wstring url;
};
struct Win {
    IHTMLWindow2 iface;
    Doc* doc = nullptr;
    Win* top = nullptr;
    bool docReadable = true;
};
struct Provider {
    IServiceProvider iface;
    Win* window = nullptr;
    bool namesWindow = true;
    Doc frameDoc, topDoc;
    Win frame, top;
};

ULONG STDMETHODCALLTYPE KeepAlive(void*) { return 2; }  // freed by FreeCaller alone

// IHTMLDocument2
HRESULT STDMETHODCALLTYPE DocQuery(IHTMLDocument2* self, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLDocument2)) {
        *out = self;
        return S_OK;
    }
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE DocUrl(IHTMLDocument2* self, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocString(reinterpret_cast<Doc*>(self)->url.c_str());
    return S_OK;
}

// IHTMLWindow2
HRESULT STDMETHODCALLTYPE WinQuery(IHTMLWindow2* self, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLWindow2) ||
        IsEqualIID(riid, IID_IHTMLFramesCollection2)) {
        *out = self;
        return S_OK;
    }
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE WinDocument(IHTMLWindow2* self, IHTMLDocument2** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    Win* w = reinterpret_cast<Win*>(self);
    if (!w->docReadable) return E_ACCESSDENIED;  // another origin's document
    *out = &w->doc->iface;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE WinTop(IHTMLWindow2* self, IHTMLWindow2** out) {
    if (!out) return E_POINTER;
    *out = &reinterpret_cast<Win*>(self)->top->iface;
    return S_OK;
}

// IServiceProvider
HRESULT STDMETHODCALLTYPE ProviderQuery(IServiceProvider* self, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IServiceProvider)) {
        *out = self;
        return S_OK;
    }
    return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE ProviderService(IServiceProvider* self, REFGUID service, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* p = reinterpret_cast<Provider*>(self);
    if (!p->namesWindow || !IsEqualGUID(service, SID_SHTMLWindow)) return E_NOINTERFACE;
    return WinQuery(&p->window->iface, riid, out);
}

IHTMLDocument2Vtbl& DocVtbl() {
    static IHTMLDocument2Vtbl v = [] {
        IHTMLDocument2Vtbl t;
        FillNotImplemented(t);
        t.QueryInterface = DocQuery;
        t.AddRef = reinterpret_cast<decltype(t.AddRef)>(&KeepAlive);
        t.Release = reinterpret_cast<decltype(t.Release)>(&KeepAlive);
        t.get_URL = DocUrl;
        return t;
    }();
    return v;
}
IHTMLWindow2Vtbl& WinVtbl() {
    static IHTMLWindow2Vtbl v = [] {
        IHTMLWindow2Vtbl t;
        FillNotImplemented(t);
        t.QueryInterface = WinQuery;
        t.AddRef = reinterpret_cast<decltype(t.AddRef)>(&KeepAlive);
        t.Release = reinterpret_cast<decltype(t.Release)>(&KeepAlive);
        t.get_document = WinDocument;
        t.get_top = WinTop;
        return t;
    }();
    return v;
}
IServiceProviderVtbl& ProviderVtbl() {
    static IServiceProviderVtbl v = [] {
        IServiceProviderVtbl t;
        FillNotImplemented(t);
        t.QueryInterface = ProviderQuery;
        t.AddRef = reinterpret_cast<decltype(t.AddRef)>(&KeepAlive);
        t.Release = reinterpret_cast<decltype(t.Release)>(&KeepAlive);
        t.QueryService = ProviderService;
        return t;
    }();
    return v;
}

}  // namespace

void* MakeCaller(const Caller& c) {
    auto* p = new Provider();
    p->iface.lpVtbl = &ProviderVtbl();
    p->namesWindow = c.namesWindow;
    p->frameDoc.iface.lpVtbl = &DocVtbl();
    p->frameDoc.url = c.frameUrl;
    p->topDoc.iface.lpVtbl = &DocVtbl();
    p->topDoc.url = c.topUrl;
    p->top.iface.lpVtbl = &WinVtbl();
    p->top.doc = &p->topDoc;
    p->top.top = &p->top;
    p->top.docReadable = c.topReadable;
    p->frame.iface.lpVtbl = &WinVtbl();
    p->frame.doc = &p->frameDoc;
    p->frame.top = &p->top;
    p->window = c.isTop ? &p->top : &p->frame;
    if (c.isTop) p->top.docReadable = true;  // a document may read itself
    return &p->iface;
}

void FreeCaller(void* provider) { delete reinterpret_cast<Provider*>(provider); }

}  // namespace script_caller
