#pragma once
// The host object that a hosting window puts between its browser control and the control
// container's own client site. It answers the control's IOleClientSite and
// IDocHostUIHandler calls: no context menu, no 3-D border, no scroll bars, and the hosting
// window's script bridge as the page's window.external. Whatever it does not decide itself
// it passes on to the container's site and that site's UI handler.

#include "fw/com.h"
#include "fw/com_ptr.h"

class CJSDispatch;

class CWebCtrlInterFace : public IOleClientSite, public IDocHostUIHandler {
public:
    // Count 0: the creator takes the first reference.
    CWebCtrlInterFace() = default;
    CWebCtrlInterFace(const CWebCtrlInterFace&) = delete;
    CWebCtrlInterFace& operator=(const CWebCtrlInterFace&) = delete;

    // IUnknown, shared by both interfaces; IOleClientSite is the object's identity.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;  // deletes the object at 0

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL fShow) override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

    // Releases the container's objects and deletes m_pExternal, whatever its count says.
    virtual ~CWebCtrlInterFace();

    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved,
                                              IDispatch* pdispReserved) override;
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* pInfo) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                                     IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                                     IOleInPlaceUIWindow* pDoc) override;
    HRESULT STDMETHODCALLTYPE HideUI() override;
    HRESULT STDMETHODCALLTYPE UpdateUI() override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL fEnable) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                           BOOL fRameWindow) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) override;
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD dwTranslate, OLECHAR* pchURLIn, OLECHAR** ppchURLOut) override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) override;

    // Keeps site (one reference) and its UI handler, if it offers one, as the objects to
    // pass calls on to. Null forgets (and releases) both.
    void SetContainerSite(IOleClientSite* site);

    // The page's window.external, owned: set by the hosting window right after construction.
    CJSDispatch* m_pExternal = nullptr;
    // Changed only with interlocked increments and decrements.
    LONG m_nRefCount = 0;
    // The container's client site and its UI handler.
    fw::ComPtr<IOleClientSite> m_pContainerSite;
    fw::ComPtr<IDocHostUIHandler> m_pContainerUIHandler;
    // Asks the control for a page without scroll bars.
    BOOL m_bHideScrollBars = TRUE;
};

// Makes host the client site of the browser control whose IUnknown is controlUnknown,
// keeping the control's previous site behind it. Leaves the control as it is when it
// offers no IWebBrowser2 or no IOleObject, or when host is null. True when host became the
// control's site.
bool AttachToControl(CWebCtrlInterFace* host, IUnknown* controlUnknown);
