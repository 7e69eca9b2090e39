// The browser host object: its own answers, the forwarding to the container's objects with
// their fallbacks, and the swap of the control's client site.
#include "web/web_ctrl_interface.h"

#include "web/js_dispatch.h"

namespace {

// Fallback null write to an out-parameter: skipped when there is nowhere to write.
template <class T>
void ClearOut(T** out) {
    if (out) *out = nullptr;
}

}  // namespace

CWebCtrlInterFace::~CWebCtrlInterFace() {
    m_pContainerSite.Reset();
    m_pContainerUIHandler.Reset();
    // Owned outright: page script may still count references on it, but the page is gone.
    delete m_pExternal;
    m_pExternal = nullptr;
}

void CWebCtrlInterFace::SetContainerSite(IOleClientSite* site) {
    // Each old reference goes only once the new one is held, so that setting the same site
    // again never drops it to 0 in between.
    m_pContainerSite = fw::ComPtr<IOleClientSite>(site);
    m_pContainerUIHandler = m_pContainerSite.As<IDocHostUIHandler>(IID_IDocHostUIHandler);
}

// --- IUnknown ----------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_INVALIDARG;
    *ppvObject = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *ppvObject = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IDocHostUIHandler))
        *ppvObject = static_cast<IDocHostUIHandler*>(this);
    else
        return E_NOINTERFACE;  // no ambient IDispatch, no in-place site, no services
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CWebCtrlInterFace::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nRefCount)); }

ULONG STDMETHODCALLTYPE CWebCtrlInterFace::Release() {
    const LONG count = InterlockedDecrement(&m_nRefCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

// --- IOleClientSite ----------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::SaveObject() {
    if (m_pContainerSite) return m_pContainerSite->SaveObject();
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) {
    if (m_pContainerSite) return m_pContainerSite->GetMoniker(dwAssign, dwWhichMoniker, ppmk);
    ClearOut(ppmk);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::GetContainer(IOleContainer** ppContainer) {
    if (m_pContainerSite) return m_pContainerSite->GetContainer(ppContainer);
    ClearOut(ppContainer);
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::ShowObject() {
    if (m_pContainerSite) return m_pContainerSite->ShowObject();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::OnShowWindow(BOOL fShow) {
    if (m_pContainerSite) return m_pContainerSite->OnShowWindow(fShow);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::RequestNewObjectLayout() {
    if (m_pContainerSite) return m_pContainerSite->RequestNewObjectLayout();
    return E_NOTIMPL;
}

// --- IDocHostUIHandler -------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::ShowContextMenu(DWORD /*dwID*/, POINT* /*ppt*/,
                                                             IUnknown* /*pcmdtReserved*/,
                                                             IDispatch* /*pdispReserved*/) {
    return S_OK;  // handled: hosted pages never show a context menu
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->GetHostInfo(pInfo);
    if (!pInfo) return E_INVALIDARG;
    // The size of the structure as the 32-bit control knows it; the control only checks it.
    pInfo->cbSize = 20;
    pInfo->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    if (m_bHideScrollBars) pInfo->dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                                                    IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                                                    IOleInPlaceUIWindow* pDoc) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->ShowUI(dwID, pActiveObject, pCommandTarget, pFrame, pDoc);
    return S_FALSE;  // the control shows its own user interface
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::HideUI() {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->HideUI();
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::UpdateUI() {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->UpdateUI();
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::EnableModeless(BOOL fEnable) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->EnableModeless(fEnable);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::OnDocWindowActivate(BOOL fActivate) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->OnDocWindowActivate(fActivate);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::OnFrameWindowActivate(BOOL fActivate) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->OnFrameWindowActivate(fActivate);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                                          BOOL fRameWindow) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->ResizeBorder(prcBorder, pUIWindow, fRameWindow);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup,
                                                                  DWORD nCmdID) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->TranslateAccelerator(lpMsg, pguidCmdGroup, nCmdID);
    return E_NOTIMPL;  // the control handles its keys itself
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->GetOptionKeyPath(pchKey, dw);
    ClearOut(pchKey);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) {
    if (m_pContainerUIHandler) {
        const HRESULT hr = m_pContainerUIHandler->GetDropTarget(pDropTarget, ppDropTarget);
        return hr == S_FALSE ? E_FAIL : hr;
    }
    ClearOut(ppDropTarget);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::GetExternal(IDispatch** ppDispatch) {
    if (m_pExternal) {
        if (!ppDispatch) return E_INVALIDARG;
        *ppDispatch = m_pExternal;
        m_pExternal->AddRef();
        return S_OK;
    }
    if (m_pContainerUIHandler) return m_pContainerUIHandler->GetExternal(ppDispatch);
    ClearOut(ppDispatch);
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::TranslateUrl(DWORD dwTranslate, OLECHAR* pchURLIn, OLECHAR** ppchURLOut) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->TranslateUrl(dwTranslate, pchURLIn, ppchURLOut);
    ClearOut(ppchURLOut);
    return S_FALSE;  // the address stays as it is
}

HRESULT STDMETHODCALLTYPE CWebCtrlInterFace::FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) {
    if (m_pContainerUIHandler) return m_pContainerUIHandler->FilterDataObject(pDO, ppDORet);
    ClearOut(ppDORet);
    return S_FALSE;
}

// --- Attaching to a control --------------------------------------------------------------

bool AttachToControl(CWebCtrlInterFace* host, IUnknown* controlUnknown) {
    const auto browser = fw::QueryAs<IWebBrowser2>(controlUnknown, IID_IWebBrowser2);
    if (!browser || !host) return false;
    const auto ole = browser.As<IOleObject>(IID_IOleObject);
    if (!ole) return false;
    fw::ComPtr<IOleClientSite> site;
    if (ole->GetClientSite(site.Put()) == S_OK) host->SetContainerSite(site.Get());
    site.Reset();  // the host keeps its own reference
    return SUCCEEDED(ole->SetClientSite(static_cast<IOleClientSite*>(host)));
}
