#pragma once
// The COM subset that the browser host object and the script bridge are written against.
// On Windows it is the system's own (the IE control calls these interfaces). Elsewhere the
// same names are declared here, with the methods in the same order and the same values, so
// CWebCtrlInterFace and CJSDispatch are one piece of code on every back end and the WebKit
// and headless browsers ask the host object what to do exactly as the IE control does.
//
// Off Windows the declarations live in the global namespace, as the system's do. Only what
// the client uses is declared; interfaces that appear in signatures but are never called
// (IMoniker, IDropTarget, ...) are empty IUnknowns.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32

#include "fw/windows/windows_api.h"  // the system's COM, with <windows.h> tamed

#else  // !_WIN32

#include <atomic>

// --- Basic types -------------------------------------------------------------------------

typedef std::int32_t HRESULT;
typedef std::int32_t LONG;
typedef std::int32_t SCODE;
typedef std::uint32_t ULONG;
typedef std::uint32_t DWORD;
typedef std::uint16_t WORD;
typedef std::uint16_t USHORT;
typedef std::int16_t SHORT;
typedef std::uint8_t BYTE;
typedef char CHAR;
typedef int INT;
typedef unsigned int UINT;
typedef int BOOL;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef float FLOAT;
typedef double DOUBLE;
typedef double DATE;
typedef void* PVOID;
typedef void* LPVOID;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;

typedef DWORD LCID;
typedef LONG DISPID;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;

typedef char16_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

#define STDMETHODCALLTYPE

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

// --- Result codes ------------------------------------------------------------------------

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// --- GUIDs -------------------------------------------------------------------------------

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IOleClientSite = {
    0x00000118, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IOleInPlaceSite = {
    0x00000119, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
inline constexpr IID IID_IDispatchEx = {0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
inline constexpr IID IID_IDocHostUIHandler = {
    0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
inline constexpr IID IID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

// --- Window-system types that appear in signatures ---------------------------------------

struct HWND__;
typedef HWND__* HWND;

struct POINT {
    LONG x;
    LONG y;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef const RECT* LPCRECT;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

// --- Interlocked count -------------------------------------------------------------------

inline LONG InterlockedIncrement(LONG volatile* addend) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(addend)).fetch_add(1) + 1;
}
inline LONG InterlockedDecrement(LONG volatile* addend) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(addend)).fetch_sub(1) - 1;
}

// --- IUnknown, IDispatch and the automation types ----------------------------------------

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

// Interfaces that only travel through the signatures below.
struct ITypeInfo : IUnknown {};
struct IMoniker : IUnknown {};
struct IOleContainer : IUnknown {};
struct IOleInPlaceActiveObject : IUnknown {};
struct IOleCommandTarget : IUnknown {};
struct IOleInPlaceUIWindow : IUnknown {};
struct IOleInPlaceFrame : IOleInPlaceUIWindow {};
struct IDropTarget : IUnknown {};
struct IDataObject : IUnknown {};

struct IDispatch;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
    };
};
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // arguments in reverse order: rgvarg[cArgs - 1] is the first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};

// What a caller offers the object it calls (a script engine: the calling document).
struct IServiceProvider : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryService(REFGUID guidService, REFIID riid, void** ppvObject) = 0;
};

// The script engines' own dispatch: the name lookup and the call, with the caller's services.
struct IDispatchEx : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetDispID(BSTR bstrName, DWORD grfdex, DISPID* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD wFlags, DISPPARAMS* pdp, VARIANT* pvarRes,
                                               EXCEPINFO* pei, IServiceProvider* pspCaller) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR bstrName, DWORD grfdex) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD grfdexFetch, DWORD* pgrfdex) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* pbstrName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD grfdex, DISPID id, DISPID* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** ppunk) = 0;
};

// Strings with a length prefix, as the system's: the length counts UTF-16 units, the text
// may hold NULs and is followed by one more. A null BSTR is an empty string.
BSTR SysAllocString(const OLECHAR* psz);
// Copies len units from pch; with a null pch the text is len NULs. Null when out of memory.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT len);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (a BSTR; a reference on an interface) and leaves it VT_EMPTY.
// A variant of a type this subset does not know answers DISP_E_BADVARTYPE and stays as it is.
HRESULT VariantClear(VARIANTARG* pvarg);

// --- OLE embedding -----------------------------------------------------------------------

struct IOleClientSite : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SaveObject() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowObject() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL fShow) = 0;
    virtual HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() = 0;
};

// Only the first two methods of the system's IOleObject, in their slots: the browser
// controls of the other back ends implement just these, and nothing off Windows calls more.
struct IOleObject : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* pClientSite) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** ppClientSite) = 0;
};

// The browser control's automation interface; its own methods are not used off Windows.
struct IWebBrowser2 : IDispatch {};

// --- Browser host UI ---------------------------------------------------------------------

struct DOCHOSTUIINFO {
    ULONG cbSize;
    DWORD dwFlags;
    DWORD dwDoubleClick;
    OLECHAR* pchHostCss;
    OLECHAR* pchHostNS;
};

enum tagDOCHOSTUIFLAG {
    DOCHOSTUIFLAG_DIALOG = 0x1,
    DOCHOSTUIFLAG_DISABLE_HELP_MENU = 0x2,
    DOCHOSTUIFLAG_NO3DBORDER = 0x4,
    DOCHOSTUIFLAG_SCROLL_NO = 0x8,
    DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE = 0x10,
    DOCHOSTUIFLAG_OPENNEWWIN = 0x20,
    DOCHOSTUIFLAG_DISABLE_OFFSCREEN = 0x40,
    DOCHOSTUIFLAG_FLAT_SCROLLBAR = 0x80,
    DOCHOSTUIFLAG_DIV_BLOCKDEFAULT = 0x100,
    DOCHOSTUIFLAG_ACTIVATE_CLIENTHIT_ONLY = 0x200,
};
typedef tagDOCHOSTUIFLAG DOCHOSTUIFLAG;

enum tagDOCHOSTUIDBLCLK {
    DOCHOSTUIDBLCLK_DEFAULT = 0,
    DOCHOSTUIDBLCLK_SHOWPROPERTIES = 1,
    DOCHOSTUIDBLCLK_SHOWCODE = 2,
};
typedef tagDOCHOSTUIDBLCLK DOCHOSTUIDBLCLK;

struct IDocHostUIHandler : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved,
                                                      IDispatch* pdispReserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* pInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                                             IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                                             IOleInPlaceUIWindow* pDoc) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateUI() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableModeless(BOOL fEnable) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL fActivate) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL fActivate) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                                   BOOL fRameWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD dwTranslate, OLECHAR* pchURLIn, OLECHAR** ppchURLOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) = 0;
};

#endif  // _WIN32

namespace fw {

// The text a script argument stands for, as UTF-8: a string up to its first NUL; a number
// in decimal (a floating-point number as JavaScript writes it: shortest form, "NaN",
// "Infinity", exponent from 1e21 and below 1e-6); a boolean as "true" or "false"; a
// by-reference variant as what it points to. Anything else (empty, null, objects, dates,
// arrays, ...) is the empty text. Unpaired surrogates become U+FFFD.
std::string VariantToUtf8(const VARIANT& v);

// The whole BSTR (embedded NULs included) as UTF-8; null is empty.
std::string BstrToUtf8(BSTR s);

// A new BSTR with the UTF-8 text (invalid sequences become U+FFFD); the caller frees it with
// SysFreeString. Null when out of memory.
BSTR AllocBstr(std::string_view utf8);

}  // namespace fw
