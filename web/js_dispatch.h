#pragma once
// window.external of the hosted pages. Page script reaches the client only through two
// names: WD_JAPI(method[, text]) and API_close(). CJSDispatch decodes such a call and hands
// it, as an ordinary virtual call, to the window that owns the page through IJSDispatch;
// each owner overrides only the operations its page uses.
#include <string>

#include "fw/com.h"

inline constexpr DISPID DISPID_WD_JAPI = 1000;
inline constexpr DISPID DISPID_API_CLOSE = 1001;

// What a page can ask of its window. Every operation does nothing unless the owner
// overrides it. Texts are UTF-8 and passed by value.
class IJSDispatch {
public:
    virtual void ShowBindBtn() {}
    // Not reached by script: the account page window's own steps behind
    // AccountBindSuccess and CloseBindPage.
    virtual void OnBindDone() {}
    virtual void OnBindClose() {}
    virtual void OpenGame(std::string /*text*/) {}
    virtual void AccountRegisterSuccess(std::string /*text*/) {}
    virtual void CloseBindPage(std::string /*text*/) {}
    virtual void AccountBindSuccess(std::string /*text*/) {}
    virtual void ShowIM(std::string /*text*/) {}
    virtual void API_close() {}
    virtual void DialogBoxTopInfo(std::string /*text*/) {}
    virtual void openPay(std::string /*text*/) {}
    virtual void closedBox() {}

protected:
    // Owners are windows and are deleted as such, never through this interface.
    ~IJSDispatch() = default;
};

// The bridge object. Its owner creates it and gives it to its browser host object, which
// hands it to the page with one added reference each time and deletes it when the host
// object itself goes. The reference count is kept for COM's sake but never deletes it.
//
// It answers IDispatchEx too, since a script engine that is offered it calls through
// InvokeEx and names the calling script there: a call from a frame that may not use the
// bridge (fw/bridge_caller.h: a frame of another site inside the page) is refused as a call
// of an unknown name, DISP_E_UNKNOWNNAME, and reaches the owner in no way.
class CJSDispatch : public IDispatchEx {
public:
    explicit CJSDispatch(IJSDispatch* owner) : m_pOwner(owner) {}
    CJSDispatch(const CJSDispatch&) = delete;
    CJSDispatch& operator=(const CJSDispatch&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;  // never deletes

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    // "WD_JAPI" and "API_close" in any case; only the first name counts.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IDispatchEx: the names of GetIDsOfNames (an unknown one is DISP_E_UNKNOWNNAME here, as
    // the interface asks); InvokeEx is Invoke for a caller that may use the bridge.
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR bstrName, DWORD grfdex, DISPID* pid) override;
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD wFlags, DISPPARAMS* pdp, VARIANT* pvarRes,
                                       EXCEPINFO* pei, IServiceProvider* pspCaller) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR bstrName, DWORD grfdex) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) override;
    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD grfdexFetch, DWORD* pgrfdex) override;
    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* pbstrName) override;
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD grfdex, DISPID id, DISPID* pid) override;
    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** ppunk) override;

    virtual ~CJSDispatch() = default;

private:
    // Performs WD_JAPI(name, text).
    void Dispatch(const std::string& name, const std::string& text, VARIANT* result);

    LONG m_nRefCount = 0;
    IJSDispatch* const m_pOwner;
};
