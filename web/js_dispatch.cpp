// The script bridge: name lookup, argument decoding and the keyword dispatch of WD_JAPI.
#include "web/js_dispatch.h"

#include <string_view>

#include "fw/bridge_caller.h"

namespace {

// Case-insensitive (ASCII letters only) comparison of a script name with an ASCII name.
bool SameNameIgnoringCase(const OLECHAR* name, std::string_view ascii) {
    auto fold = [](char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    std::size_t i = 0;
    for (; name[i] != 0; ++i) {
        if (i == ascii.size()) return false;
        if (fold(static_cast<char32_t>(name[i])) != fold(static_cast<char32_t>(static_cast<unsigned char>(ascii[i]))))
            return false;
    }
    return i == ascii.size();
}

enum class Action {
    ApiVersion,
    OpenGame,
    ShowBindBtn,
    CloseBindPage,
    AccountBindSuccess,
    AccountRegisterSuccess,
    ShowIM,
    DialogBoxTopInfo,
    OpenPay,
    ClosedBox,
};

// Searched in this order; the first keyword found anywhere in the method name decides.
// Names are UTF-8 and the keywords ASCII, so a byte search finds exactly the keywords that
// occur in the script's text.
constexpr struct {
    std::string_view keyword;
    Action action;
} kKeywords[] = {
    {"getApiVersion", Action::ApiVersion},
    {"OpenGame", Action::OpenGame},
    {"ShowBindBtn", Action::ShowBindBtn},
    {"CloseBindPage", Action::CloseBindPage},
    {"AccountBindSuccess", Action::AccountBindSuccess},
    {"AccountRegisterSuccess", Action::AccountRegisterSuccess},
    {"ShowIM", Action::ShowIM},
    {"DialogBoxTopInfo", Action::DialogBoxTopInfo},
    {"openPay", Action::OpenPay},
    {"closedBox", Action::ClosedBox},
};

}  // namespace

HRESULT STDMETHODCALLTYPE CJSDispatch::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_INVALIDARG;
    *ppvObject = nullptr;
    if (IsEqualIID(riid, IID_IDispatchEx)) {
        *ppvObject = static_cast<IDispatchEx*>(this);
        AddRef();
        return S_OK;
    }
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
    *ppvObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CJSDispatch::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nRefCount)); }

ULONG STDMETHODCALLTYPE CJSDispatch::Release() { return static_cast<ULONG>(InterlockedDecrement(&m_nRefCount)); }

HRESULT STDMETHODCALLTYPE CJSDispatch::GetTypeInfoCount(UINT* /*pctinfo*/) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CJSDispatch::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** /*ppTInfo*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CJSDispatch::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* rgszNames, UINT /*cNames*/,
                                                     LCID /*lcid*/, DISPID* rgDispId) {
    if (!rgszNames || !rgDispId) return E_INVALIDARG;
    const OLECHAR* name = rgszNames[0];
    if (!name) return E_NOTIMPL;
    if (SameNameIgnoringCase(name, "WD_JAPI")) {
        rgDispId[0] = DISPID_WD_JAPI;
        return S_OK;
    }
    if (SameNameIgnoringCase(name, "API_close")) {
        rgDispId[0] = DISPID_API_CLOSE;
        return S_OK;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CJSDispatch::Invoke(DISPID dispIdMember, REFIID /*riid*/, LCID /*lcid*/, WORD /*wFlags*/,
                                              DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* /*pExcepInfo*/,
                                              UINT* /*puArgErr*/) {
    switch (dispIdMember) {
    case DISPID_WD_JAPI: {
        // Script arguments arrive last to first. WD_JAPI(name, text) is the usual call; with
        // any other count the last script argument (rgvarg[0]) names the method, which is
        // the only one in WD_JAPI(name).
        if (!pDispParams || pDispParams->cArgs == 0 || !pDispParams->rgvarg) return S_OK;
        const VARIANT* args = pDispParams->rgvarg;
        if (pDispParams->cArgs == 2)
            Dispatch(fw::VariantToUtf8(args[1]), fw::VariantToUtf8(args[0]), pVarResult);
        else
            Dispatch(fw::VariantToUtf8(args[0]), std::string(), pVarResult);
        return S_OK;
    }
    case DISPID_API_CLOSE:
        if (m_pOwner) m_pOwner->API_close();
        return S_OK;
    default: return E_NOTIMPL;
    }
}

void CJSDispatch::Dispatch(const std::string& name, const std::string& text, VARIANT* result) {
    const Action* action = nullptr;
    for (const auto& k : kKeywords) {
        if (name.find(k.keyword) != std::string::npos) {
            action = &k.action;
            break;
        }
    }
    if (!action) return;

    if (*action == Action::ApiVersion) {
        if (result) {
            static const OLECHAR kVersion[] = {'1', 0};
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(kVersion);
        }
        return;
    }
    if (!m_pOwner) return;
    switch (*action) {
    case Action::ApiVersion: break;
    case Action::OpenGame: m_pOwner->OpenGame(text); break;
    case Action::ShowBindBtn: m_pOwner->ShowBindBtn(); break;
    case Action::CloseBindPage: m_pOwner->CloseBindPage(text); break;
    case Action::AccountBindSuccess: m_pOwner->AccountBindSuccess(text); break;
    case Action::AccountRegisterSuccess: m_pOwner->AccountRegisterSuccess(text); break;
    case Action::ShowIM: m_pOwner->ShowIM(text); break;
    case Action::DialogBoxTopInfo: m_pOwner->DialogBoxTopInfo(text); break;
    case Action::OpenPay: m_pOwner->openPay(text); break;
    case Action::ClosedBox: m_pOwner->closedBox(); break;
    }
}

// ---- IDispatchEx -----------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CJSDispatch::GetDispID(BSTR bstrName, DWORD /*grfdex*/, DISPID* pid) {
    if (!pid) return E_INVALIDARG;
    *pid = DISPID_UNKNOWN;
    if (!bstrName) return DISP_E_UNKNOWNNAME;
    LPOLESTR names[] = {bstrName};
    return GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, pid) == S_OK ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE CJSDispatch::InvokeEx(DISPID id, LCID lcid, WORD wFlags, DISPPARAMS* pdp, VARIANT* pvarRes,
                                                EXCEPINFO* pei, IServiceProvider* pspCaller) {
    // A frame of another site gets no bridge: its calls are as calls of names that do not
    // exist (a line on standard error says so).
    if (!fw::ScriptCallerMayUseBridge(pspCaller)) return DISP_E_UNKNOWNNAME;
    return Invoke(id, IID_NULL, lcid, wFlags, pdp, pvarRes, pei, nullptr);
}

HRESULT STDMETHODCALLTYPE CJSDispatch::DeleteMemberByName(BSTR /*bstrName*/, DWORD /*grfdex*/) { return S_FALSE; }

HRESULT STDMETHODCALLTYPE CJSDispatch::DeleteMemberByDispID(DISPID /*id*/) { return S_FALSE; }

HRESULT STDMETHODCALLTYPE CJSDispatch::GetMemberProperties(DISPID /*id*/, DWORD /*grfdexFetch*/, DWORD* pgrfdex) {
    if (pgrfdex) *pgrfdex = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CJSDispatch::GetMemberName(DISPID /*id*/, BSTR* pbstrName) {
    if (pbstrName) *pbstrName = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CJSDispatch::GetNextDispID(DWORD /*grfdex*/, DISPID /*id*/, DISPID* pid) {
    if (pid) *pid = DISPID_UNKNOWN;
    return S_FALSE;  // the names are not listed
}

HRESULT STDMETHODCALLTYPE CJSDispatch::GetNameSpaceParent(IUnknown** ppunk) {
    if (ppunk) *ppunk = nullptr;
    return E_NOTIMPL;
}
