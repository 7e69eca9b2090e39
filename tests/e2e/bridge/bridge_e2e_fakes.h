#pragma once
// The fake host object of bridge_e2e: the client site with the UI handler, and the external
// object it hands to the page (the client's own are not needed). What they saw goes to g_log.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fw/browser.h"
#include "fw/com.h"

namespace bridge_e2e {

extern std::vector<std::string> g_log;  // what the external object and the host saw

inline bool NameIs(LPOLESTR name, const char* want) {
    std::size_t n = std::strlen(want);
    for (std::size_t k = 0; k < n; ++k)
        if (!name[k] || std::tolower(name[k] < 128 ? static_cast<int>(name[k]) : 0) != std::tolower(want[k]))
            return false;
    return name[n] == 0;
}

inline std::string Number(double d) {
    if (std::isnan(d)) return "NaN";
    if (d == 0 && std::signbit(d)) return "-0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

// --- The fake external object: knows a handful of names ---------------------------------------

enum : DISPID { kWdJapi = 1000, kApiClose = 1001, kEcho = 2000, kTypes, kRet, kDestroy, kFail };

class FakeExternal final : public IDispatch {
public:
    ~FakeExternal() { g_log.push_back("external-deleted"); }
    std::function<void()> onDestroy;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // the host deletes it
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        static const struct {
            const char* name;
            DISPID id;
        } kNames[] = {{"WD_JAPI", kWdJapi}, {"API_close", kApiClose}, {"Echo", kEcho}, {"Types", kTypes},
                      {"Ret", kRet},        {"Destroy", kDestroy},    {"Fail", kFail}};
        for (const auto& n : kNames)
            if (NameIs(names[0], n.name)) {
                ids[0] = n.id;
                return S_OK;
            }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO* ex,
                                     UINT*) override {
        if (flags != DISPATCH_METHOD) g_log.push_back("bad-flags");
        UINT n = p->cArgs;
        auto arg = [&](UINT k) -> VARIANT& { return p->rgvarg[n - 1 - k]; };  // script order
        switch (id) {
        case kWdJapi:
            if (n >= 1 && arg(0).vt == VT_BSTR &&
                fw::BstrToUtf8(arg(0).bstrVal).find("getApiVersion") != std::string::npos && result) {
                result->vt = VT_BSTR;
                result->bstrVal = fw::AllocBstr("1");
            }
            return S_OK;
        case kApiClose: g_log.push_back("API_close"); return S_OK;
        case kEcho:
            if (n >= 1 && arg(0).vt == VT_BSTR) {
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocStringLen(arg(0).bstrVal, SysStringLen(arg(0).bstrVal));
            }
            return S_OK;
        case kTypes: {
            std::string out;
            for (UINT k = 0; k < n; ++k) {
                const VARIANT& v = arg(k);
                if (k) out += "|";
                switch (v.vt) {
                case VT_I4: out += "I4:" + std::to_string(v.lVal); break;
                case VT_R8: out += "R8:" + Number(v.dblVal); break;
                case VT_BOOL: out += "BOOL:" + std::to_string(v.boolVal); break;
                case VT_BSTR: out += "BSTR:" + fw::BstrToUtf8(v.bstrVal); break;
                case VT_NULL: out += "NULL"; break;
                case VT_EMPTY: out += "EMPTY"; break;
                case VT_DISPATCH: out += "DISPATCH"; break;
                default: out += "VT" + std::to_string(v.vt); break;
                }
            }
            result->vt = VT_BSTR;
            result->bstrVal = fw::AllocBstr(out);
            return S_OK;
        }
        case kRet: {
            static LONG seven = 7;
            std::string what = n >= 1 && arg(0).vt == VT_BSTR ? fw::BstrToUtf8(arg(0).bstrVal) : "";
            if (what == "int") {
                result->vt = VT_I4;
                result->lVal = 42;
            } else if (what == "r8") {
                result->vt = VT_R8;
                result->dblVal = 1.5;
            } else if (what == "bool") {
                result->vt = VT_BOOL;
                result->boolVal = VARIANT_TRUE;
            } else if (what == "null") {
                result->vt = VT_NULL;
            } else if (what == "str") {
                const char16_t text[] = u"h\u00e9llo\0!";
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocStringLen(text, 7);
            } else if (what == "byref") {
                result->vt = VT_BYREF | VT_I4;
                result->plVal = &seven;
            } else if (what == "date") {
                result->vt = VT_DATE;
                result->date = 45000;
            }
            return S_OK;
        }
        case kDestroy:
            g_log.push_back("destroy-begin");
            if (onDestroy) onDestroy();
            g_log.push_back("destroy-end");
            return S_OK;
        case kFail:
            if (ex) ex->bstrDescription = fw::AllocBstr("boom");
            return DISP_E_EXCEPTION;
        }
        return E_NOTIMPL;
    }

private:
    LONG refs_ = 0;
};

// --- The fake host object: the client site with the UI handler --------------------------------

class FakeHost final : public IOleClientSite, public IDocHostUIHandler {
public:
    FakeHost(bool withExternal, DWORD flags, bool takeMenu)
        : external_(withExternal ? new FakeExternal : nullptr), flags_(flags), takeMenu_(takeMenu) {}
    ~FakeHost() {
        g_log.push_back("host-deleted");
        delete external_;
    }
    FakeExternal* external() { return external_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IDocHostUIHandler)
            *ppv = static_cast<IDocHostUIHandler*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_FAIL; }
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

    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return takeMenu_ ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        info->cbSize = 20;
        info->dwFlags = flags_;
        info->dwDoubleClick = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* k, DWORD) override {
        if (k) *k = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
        if (!out) return E_INVALIDARG;
        *out = external_;
        if (!external_) return E_NOTIMPL;
        external_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, OLECHAR*, OLECHAR** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

private:
    FakeExternal* external_;
    DWORD flags_;
    bool takeMenu_;
    ULONG refs_ = 1;  // the test's
};

// Puts the host in place of the control's site, as the client's AttachToControl does.
inline bool Attach(fw::BrowserControl& b, FakeHost* host) {
    void* p = nullptr;
    if (b.GetControlUnknown()->QueryInterface(IID_IOleObject, &p) != S_OK) return false;
    auto* ole = static_cast<IOleObject*>(p);
    ole->SetClientSite(host);
    ole->Release();
    return true;
}

}  // namespace bridge_e2e
