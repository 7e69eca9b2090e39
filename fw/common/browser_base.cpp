#include "fw/common/browser_base.h"

#include "fw/common/browser_faces.h"

namespace fw::detail {

namespace {

// The container's own client site: it offers no UI handler, so a control left with it
// behaves as the engine does by default (context menu, scroll bars, no window.external).
class ContainerSite final : public IOleClientSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IOleClientSite)) {
            *ppv = static_cast<IOleClientSite*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
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

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace

// The control's COM object. Its lifetime is the control's: the counts only count.
class BrowserBase::Com final : public WebBrowser2Face, public OleObjectFace {
public:
    explicit Com(BrowserBase& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) ||
            IsEqualGUID(riid, IID_IWebBrowser2)) {
            *ppv = static_cast<IWebBrowser2*>(this);
        } else if (IsEqualGUID(riid, IID_IOleObject)) {
            *ppv = static_cast<IOleObject*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return refs_ > 0 ? --refs_ : 0; }

    // IDispatch: the automation methods are reached through BrowserControl instead.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** t) override {
        if (t) *t = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        owner_.site_ = ComPtr<IOleClientSite>(site);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
        if (!out) return E_INVALIDARG;
        *out = ComPtr<IOleClientSite>(owner_.site_).Detach();  // a reference for the caller
        return *out ? S_OK : E_FAIL;
    }

private:
    BrowserBase& owner_;
    std::atomic<ULONG> refs_{0};
};

BrowserBase::BrowserBase() : com_(new Com(*this)) {
    container_.Attach(new ContainerSite());  // its first reference
    site_ = container_;
}

BrowserBase::~BrowserBase() {
    ReleaseSite();
    container_.Reset();
    delete com_;
}

IUnknown* BrowserBase::GetControlUnknown() { return static_cast<IWebBrowser2*>(com_); }

void BrowserBase::ReleaseSite() { site_.Reset(); }

ComPtr<IDocHostUIHandler> BrowserBase::UiHandler() const { return site_.As<IDocHostUIHandler>(IID_IDocHostUIHandler); }

DWORD BrowserBase::HostFlags() const {
    const ComPtr<IDocHostUIHandler> h = UiHandler();
    if (!h) return 0;
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    return SUCCEEDED(h->GetHostInfo(&info)) ? info.dwFlags : 0;
}

bool BrowserBase::HostSuppressesContextMenu() const {
    const ComPtr<IDocHostUIHandler> h = UiHandler();
    if (!h) return false;
    POINT pt{};
    return h->ShowContextMenu(0, &pt, nullptr, nullptr) == S_OK;
}

ComPtr<IDispatch> BrowserBase::AcquireExternal() const {
    const ComPtr<IDocHostUIHandler> h = UiHandler();
    if (!h) return nullptr;
    IDispatch* d = nullptr;
    if (h->GetExternal(&d) != S_OK) return nullptr;  // a failed call's out-value is no reference
    ComPtr<IDispatch> external;
    external.Attach(d);
    return external;
}

}  // namespace fw::detail
