#include "fw/common/browser_base.h"

#include "fw/common/browser_faces.h"

namespace fw::detail {

namespace {

// {0002DF05-0000-0000-C000-000000000046}
const IID kIID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const IID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIID_IOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIID_IOleClientSite = {0x00000118, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIID_IDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

// The container's own client site: it offers no UI handler, so a control left with it
// behaves as the engine does by default (context menu, scroll bars, no window.external).
class ContainerSite final : public IOleClientSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (IsEqualGUID(riid, kIID_IUnknown) || IsEqualGUID(riid, kIID_IOleClientSite)) {
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
        if (IsEqualGUID(riid, kIID_IUnknown) || IsEqualGUID(riid, kIID_IDispatch) ||
            IsEqualGUID(riid, kIID_IWebBrowser2)) {
            *ppv = static_cast<IWebBrowser2*>(this);
        } else if (IsEqualGUID(riid, kIID_IOleObject)) {
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
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        if (site) site->AddRef();
        if (owner_.site_) owner_.site_->Release();
        owner_.site_ = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** out) override {
        if (!out) return E_INVALIDARG;
        *out = owner_.site_;
        if (!owner_.site_) return E_FAIL;
        owner_.site_->AddRef();
        return S_OK;
    }

private:
    BrowserBase& owner_;
    std::atomic<ULONG> refs_{0};
};

BrowserBase::BrowserBase() : com_(new Com(*this)) {
    container_ = new ContainerSite();  // one reference: ours
    site_ = container_;
    site_->AddRef();
}

BrowserBase::~BrowserBase() {
    ReleaseSite();
    if (container_) container_->Release();
    delete com_;
}

IUnknown* BrowserBase::GetControlUnknown() { return static_cast<IWebBrowser2*>(com_); }

void BrowserBase::ReleaseSite() {
    if (site_) {
        IOleClientSite* s = site_;
        site_ = nullptr;
        s->Release();
    }
}

IDocHostUIHandler* BrowserBase::UiHandler() const {
    if (!site_) return nullptr;
    void* p = nullptr;
    if (site_->QueryInterface(kIID_IDocHostUIHandler, &p) != S_OK || !p) return nullptr;
    return static_cast<IDocHostUIHandler*>(p);
}

DWORD BrowserBase::HostFlags() const {
    IDocHostUIHandler* h = UiHandler();
    if (!h) return 0;
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof info;
    DWORD flags = SUCCEEDED(h->GetHostInfo(&info)) ? info.dwFlags : 0;
    h->Release();
    return flags;
}

bool BrowserBase::HostSuppressesContextMenu() const {
    IDocHostUIHandler* h = UiHandler();
    if (!h) return false;
    POINT pt{};
    bool taken = h->ShowContextMenu(0, &pt, nullptr, nullptr) == S_OK;
    h->Release();
    return taken;
}

IDispatch* BrowserBase::AcquireExternal() const {
    IDocHostUIHandler* h = UiHandler();
    if (!h) return nullptr;
    IDispatch* d = nullptr;
    if (h->GetExternal(&d) != S_OK) d = nullptr;
    h->Release();
    return d;
}

}  // namespace fw::detail
