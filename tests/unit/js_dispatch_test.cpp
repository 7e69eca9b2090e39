// The script bridge as page script reaches it: names, argument decoding (arguments arrive
// last to first, as a script engine passes them), the keyword dispatch to the owner, the
// version answer, arguments that are not strings, and the object's COM behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fw/com.h"
#include "web/js_dispatch.h"

namespace {

// Records every operation of the interface, including those the bridge must never call.
struct Owner : IJSDispatch {
    std::vector<std::string> calls;
    void Note(std::string call) { calls.push_back(std::move(call)); }

    void ShowBindBtn() override { Note("ShowBindBtn()"); }
    void OnBindDone() override { Note("OnBindDone()"); }
    void OnBindClose() override { Note("OnBindClose()"); }
    void OpenGame(std::string t) override { Note("OpenGame(" + t + ")"); }
    void AccountRegisterSuccess(std::string t) override { Note("AccountRegisterSuccess(" + t + ")"); }
    void CloseBindPage(std::string t) override { Note("CloseBindPage(" + t + ")"); }
    void AccountBindSuccess(std::string t) override { Note("AccountBindSuccess(" + t + ")"); }
    void ShowIM(std::string t) override { Note("ShowIM(" + t + ")"); }
    void API_close() override { Note("API_close()"); }
    void DialogBoxTopInfo(std::string t) override { Note("DialogBoxTopInfo(" + t + ")"); }
    void openPay(std::string t) override { Note("openPay(" + t + ")"); }
    void closedBox() override { Note("closedBox()"); }
};

using Calls = std::vector<std::string>;

// Script values as variants.
VARIANT Str(std::string_view utf8) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = fw::AllocBstr(utf8);
    return v;
}
VARIANT Str16(std::u16string_view units) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()), static_cast<UINT>(units.size()));
    return v;
}
template <class Set>
VARIANT Typed(VARTYPE vt, Set set) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    set(v);
    return v;
}
VARIANT I4(LONG n) {
    return Typed(VT_I4, [n](VARIANT& v) { v.lVal = n; });
}
VARIANT R8(double d) {
    return Typed(VT_R8, [d](VARIANT& v) { v.dblVal = d; });
}
VARIANT Bool(bool b) {
    return Typed(VT_BOOL, [b](VARIANT& v) { v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; });
}

// A call as script makes it: arguments given first to last, stored last to first.
class ScriptCall {
public:
    explicit ScriptCall(std::vector<VARIANT> scriptOrder) : args_(std::move(scriptOrder)) {
        std::reverse(args_.begin(), args_.end());
        params_ = {args_.data(), nullptr, static_cast<UINT>(args_.size()), 0};
    }
    ~ScriptCall() {
        for (VARIANT& v : args_) VariantClear(&v);
    }
    ScriptCall(const ScriptCall&) = delete;
    ScriptCall& operator=(const ScriptCall&) = delete;
    DISPPARAMS* params() { return &params_; }

private:
    std::vector<VARIANT> args_;
    DISPPARAMS params_{};
};

HRESULT Invoke(CJSDispatch& bridge, DISPID id, DISPPARAMS* params, VARIANT* result) {
    UINT argErr = 0xFFFF;
    EXCEPINFO excep{};
    const HRESULT hr =
        bridge.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, result, &excep, &argErr);
    EXPECT_EQ(argErr, 0xFFFFu) << "the argument-error index is never written";
    EXPECT_EQ(excep.bstrDescription, nullptr);
    return hr;
}

// WD_JAPI(args...) through a fresh bridge; the owner's calls. The result variant comes in
// holding a number and must stay so.
Calls Japi(std::vector<VARIANT> args) {
    Owner owner;
    CJSDispatch bridge(&owner);
    ScriptCall call(std::move(args));
    VARIANT result = I4(77);
    EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, call.params(), &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 77);
    return owner.calls;
}

// WD_JAPI(args...) with a result variant; the text of the result when it is a string, or
// "<untouched>".
std::string JapiResult(std::vector<VARIANT> args, Calls* calls = nullptr) {
    Owner owner;
    CJSDispatch bridge(&owner);
    ScriptCall call(std::move(args));
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, call.params(), &result), S_OK);
    if (calls) *calls = owner.calls;
    if (result.vt == VT_EMPTY) return "<untouched>";
    EXPECT_EQ(result.vt, VT_BSTR);
    std::string text = result.vt == VT_BSTR ? fw::BstrToUtf8(result.bstrVal) : "<not a string>";
    VariantClear(&result);
    return text;
}

}  // namespace

TEST(ScriptBridge, NamesResolveInAnyCaseAndNothingElse) {
    Owner owner;
    CJSDispatch bridge(&owner);
    struct Case {
        std::u16string name;
        HRESULT hr;
        DISPID id;
    } cases[] = {
        {u"WD_JAPI", S_OK, 1000},
        {u"wd_japi", S_OK, 1000},
        {u"Wd_jApI", S_OK, 1000},
        {u"API_close", S_OK, 1001},
        {u"API_CLOSE", S_OK, 1001},
        {u"api_Close", S_OK, 1001},
        {u"WD_JAPIX", E_NOTIMPL, -7},
        {u"WD_JAP", E_NOTIMPL, -7},
        {u" WD_JAPI", E_NOTIMPL, -7},
        {u"API_close()", E_NOTIMPL, -7},
        {u"", E_NOTIMPL, -7},
        {u"\uFF37D_JAPI", E_NOTIMPL, -7},  // a full-width W is no W
        {u"WD_\u0131API", E_NOTIMPL, -7},  // nor a dotless i an I
        {u"getApiVersion", E_NOTIMPL, -7},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::u16string name = cases[i].name;
        LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(name.data())};
        DISPID id = -7;
        EXPECT_EQ(bridge.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), cases[i].hr) << "case " << i;
        EXPECT_EQ(id, cases[i].id) << "case " << i;
    }

    // Only the first name counts.
    std::u16string japi = u"WD_JAPI", other = u"other";
    LPOLESTR firstKnown[] = {reinterpret_cast<LPOLESTR>(japi.data()), reinterpret_cast<LPOLESTR>(other.data())};
    DISPID ids[2] = {-7, -7};
    EXPECT_EQ(bridge.GetIDsOfNames(IID_NULL, firstKnown, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 1000);
    EXPECT_EQ(ids[1], -7);
    std::swap(firstKnown[0], firstKnown[1]);
    EXPECT_EQ(bridge.GetIDsOfNames(IID_NULL, firstKnown, 2, 0, ids), E_NOTIMPL);

    LPOLESTR none[] = {nullptr};
    DISPID id = -7;
    EXPECT_EQ(bridge.GetIDsOfNames(IID_NULL, none, 1, 0, &id), E_NOTIMPL);
    EXPECT_EQ(bridge.GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_INVALIDARG);
    EXPECT_EQ(bridge.GetIDsOfNames(IID_NULL, firstKnown, 1, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(id, -7);
    EXPECT_TRUE(owner.calls.empty());
}

TEST(ScriptBridge, MethodNameDecidesTheOwnersCall) {
    struct Case {
        const char* what;
        std::vector<VARIANT> args;  // in script order
        Calls calls;
    } cases[] = {
        {"name alone", {Str("OpenGame")}, {"OpenGame()"}},
        {"name and text",
         {Str("OpenGame"), Str("http://g.example/|s1|Server 1")},
         {"OpenGame(http://g.example/|s1|Server 1)"}},
        {"keywords are case-sensitive", {Str("openGame"), Str("t")}, {}},
        {"keyword with letters after", {Str("ShowIMxyz"), Str("hello")}, {"ShowIM(hello)"}},
        {"keyword inside the name", {Str("xxShowBindBtnyy"), Str("t")}, {"ShowBindBtn()"}},
        {"CloseBindPage", {Str("CloseBindPage"), Str("a")}, {"CloseBindPage(a)"}},
        {"AccountBindSuccess", {Str("AccountBindSuccess"), Str("b")}, {"AccountBindSuccess(b)"}},
        {"AccountRegisterSuccess", {Str("AccountRegisterSuccess"), Str("c")}, {"AccountRegisterSuccess(c)"}},
        {"DialogBoxTopInfo", {Str("DialogBoxTopInfo"), Str("d")}, {"DialogBoxTopInfo(d)"}},
        {"openPay", {Str("openPay"), Str("e")}, {"openPay(e)"}},
        {"closedBox", {Str("closedBox"), Str("f")}, {"closedBox()"}},
        {"OpenGame before closedBox", {Str("closedBoxOpenGame"), Str("t")}, {"OpenGame(t)"}},
        {"ShowIM before openPay", {Str("openPayShowIM"), Str("t")}, {"ShowIM(t)"}},
        {"CloseBindPage before AccountRegisterSuccess",
         {Str("AccountRegisterSuccessCloseBindPage")},
         {"CloseBindPage()"}},
        {"unknown name", {Str("Nothing"), Str("x")}, {}},
        {"operations script cannot reach", {Str("OnBindDone OnBindClose OnCall1 OnCall2")}, {}},
        {"API_close is no method", {Str("API_close")}, {}},
        {"three arguments: the name is the third", {Str("x"), Str("y"), Str("OpenGame")}, {"OpenGame()"}},
        {"three arguments: the first is ignored", {Str("OpenGame"), Str("y"), Str("z")}, {}},
        {"name cut at its first NUL", {Str(std::string("ShowIM\0OpenGame", 15)), Str("t")}, {"ShowIM(t)"}},
        {"keyword split by a NUL", {Str(std::string("Open\0Game", 9)), Str("t")}, {}},
        {"text cut at its first NUL", {Str("ShowIM"), Str(std::string("a\0b", 3))}, {"ShowIM(a)"}},
        {"a number as the name", {I4(5), Str("t")}, {}},
        {"no name at all", {Typed(VT_NULL, [](VARIANT&) {}), Str("t")}, {}},
        {"name in non-ASCII text", {Str("\xE6\x89\x93\xE5\xBC\x80OpenGame\xE6\xB8\xB8"), Str("t")}, {"OpenGame(t)"}},
    };
    for (Case& c : cases) EXPECT_EQ(Japi(std::move(c.args)), c.calls) << c.what;
}

TEST(ScriptBridge, ArgumentsThatAreNotStringsGiveTheirText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    LONG byRefLong = -12;
    BSTR byRefText = fw::AllocBstr("by reference");
    VARIANT inner = I4(99);
    VARIANT chain;  // a reference to a reference to a variant: too deep
    chain.vt = VT_BYREF | VT_VARIANT;
    chain.pvarVal = &inner;
    struct Case {
        VARIANT arg;
        const char* text;
    } cases[] = {
        {I4(42), "42"},
        {I4(-2147483647 - 1), "-2147483648"},
        {Typed(VT_I2, [](VARIANT& v) { v.iVal = -7; }), "-7"},
        {Typed(VT_I1, [](VARIANT& v) { v.cVal = static_cast<CHAR>(-3); }), "-3"},
        {Typed(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), "200"},
        {Typed(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }), "65535"},
        {Typed(VT_UI4, [](VARIANT& v) { v.ulVal = 4294967295u; }), "4294967295"},
        {Typed(VT_I8, [](VARIANT& v) { v.llVal = -9007199254740993LL; }), "-9007199254740993"},
        {Typed(VT_UI8, [](VARIANT& v) { v.ullVal = 18446744073709551615ull; }), "18446744073709551615"},
        {Typed(VT_INT, [](VARIANT& v) { v.intVal = 123; }), "123"},
        {Typed(VT_UINT, [](VARIANT& v) { v.uintVal = 456u; }), "456"},
        {R8(1.5), "1.5"},
        {R8(0.1), "0.1"},
        {R8(-0.0), "0"},
        {R8(3.0), "3"},
        {R8(123456789012.0), "123456789012"},
        {R8(1e21), "1e+21"},
        {R8(1.2345e-7), "1.2345e-7"},
        {R8(0.000001), "0.000001"},
        {R8(-2.5e300), "-2.5e+300"},
        {R8(nan), "NaN"},
        {R8(-inf), "-Infinity"},
        {Typed(VT_R4, [](VARIANT& v) { v.fltVal = 0.1f; }), "0.1"},
        {Bool(true), "true"},
        {Bool(false), "false"},
        {Typed(VT_BOOL, [](VARIANT& v) { v.boolVal = 1; }), "true"},
        {Typed(VT_EMPTY, [](VARIANT&) {}), ""},
        {Typed(VT_NULL, [](VARIANT&) {}), ""},
        {Typed(VT_DISPATCH, [](VARIANT& v) { v.pdispVal = nullptr; }), ""},
        {Typed(VT_UNKNOWN, [](VARIANT& v) { v.punkVal = nullptr; }), ""},
        {Typed(VT_DATE, [](VARIANT& v) { v.date = 45000.5; }), ""},
        {Typed(VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }), ""},
        {Typed(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), ""},
        {Typed(VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = &byRefLong; }), "-12"},
        {Typed(VT_BYREF | VT_BSTR, [&](VARIANT& v) { v.pbstrVal = &byRefText; }), "by reference"},
        {Typed(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = &inner; }), "99"},
        {Typed(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { v.pvarVal = &chain; }), ""},
        {Typed(VT_BYREF | VT_I4, [](VARIANT& v) { v.plVal = nullptr; }), ""},
        {Typed(VT_ARRAY | VT_VARIANT, [](VARIANT& v) { v.byref = nullptr; }), ""},
    };
    for (Case& c : cases) {
        const std::string expected = std::string("ShowIM(") + c.text + ")";
        const VARTYPE vt = c.arg.vt;
        // References and unsupported types must not be cleared by the call's clean-up.
        const bool owned = !(vt & VT_BYREF) && !(vt & VT_ARRAY);
        Owner owner;
        CJSDispatch bridge(&owner);
        VARIANT args[2] = {c.arg, Str("ShowIM")};  // reversed: the name is the last
        DISPPARAMS params{args, nullptr, 2, 0};
        EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, &params, nullptr), S_OK);
        EXPECT_EQ(owner.calls, Calls{expected}) << "variant type " << vt;
        VariantClear(&args[1]);
        if (owned) VariantClear(&args[0]);
    }
    SysFreeString(byRefText);
}

TEST(ScriptBridge, TextsArriveWholeAsUtf8) {
    // 1 MB of UTF-16 text (CJK, three UTF-8 bytes each).
    const std::u16string big(1 << 20, u'\u6C49');
    std::string bigUtf8;
    for (std::size_t i = 0; i < big.size(); ++i) bigUtf8 += "\xE6\xB1\x89";
    EXPECT_EQ(Japi({Str("ShowIM"), Str16(big)}), Calls{"ShowIM(" + bigUtf8 + ")"});

    // Unpaired surrogates become U+FFFD; pairs become one character.
    const std::u16string broken = {0xD800, u'x', 0xDC00, 0xD83D, 0xDE00, 0xDBFF};
    EXPECT_EQ(Japi({Str("openPay"), Str16(broken)}),
              Calls{"openPay(\xEF\xBF\xBDx\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD)"});
    EXPECT_EQ(Japi({Str16(u"\xDC00OpenGame\xD800"), Str("t")}), Calls{"OpenGame(t)"});
}

TEST(ScriptBridge, ApiVersionIsAnsweredByTheBridge) {
    Calls calls{"sentinel"};
    EXPECT_EQ(JapiResult({Str("getApiVersion")}, &calls), "1");
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(JapiResult({Str("xgetApiVersiony")}), "1");
    EXPECT_EQ(JapiResult({Str("getApiVersion"), Str("ignored")}), "1");
    EXPECT_EQ(JapiResult({Str("getApiVersionOpenGame"), Str("t")}, &calls), "1");
    EXPECT_TRUE(calls.empty()) << "the first keyword found decides";
    EXPECT_EQ(JapiResult({Str("getapiversion")}), "<untouched>");
    EXPECT_EQ(JapiResult({Str("OpenGame"), Str("t")}, &calls), "<untouched>");
    EXPECT_EQ(calls, Calls{"OpenGame(t)"});

    // The result is a newly allocated one-character string.
    Owner owner;
    CJSDispatch bridge(&owner);
    ScriptCall call({Str("getApiVersion")});
    VARIANT result = I4(5);
    ASSERT_EQ(Invoke(bridge, DISPID_WD_JAPI, call.params(), &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    ASSERT_NE(result.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(result.bstrVal), 1u);
    EXPECT_EQ(result.bstrVal[0], '1');
    VARIANT second;
    VariantInit(&second);
    ASSERT_EQ(Invoke(bridge, DISPID_WD_JAPI, call.params(), &second), S_OK);
    EXPECT_NE(second.bstrVal, result.bstrVal);
    VariantClear(&result);
    VariantClear(&second);

    // Without a result variant nothing is written and the call still succeeds.
    EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, call.params(), nullptr), S_OK);
    EXPECT_TRUE(owner.calls.empty());
}

TEST(ScriptBridge, CallsWithoutUsableArgumentsDoNothing) {
    EXPECT_TRUE(Japi({}).empty());

    Owner owner;
    CJSDispatch bridge(&owner);
    VARIANT result = I4(77);
    EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, nullptr, &result), S_OK);
    DISPPARAMS missing{nullptr, nullptr, 1, 0};  // a count without an array
    EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, &missing, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_TRUE(owner.calls.empty());

    // A bridge without an owner answers the same way and calls nobody.
    CJSDispatch orphan(nullptr);
    ScriptCall call({Str("OpenGame"), Str("t")});
    EXPECT_EQ(Invoke(orphan, DISPID_WD_JAPI, call.params(), nullptr), S_OK);
    EXPECT_EQ(Invoke(orphan, DISPID_API_CLOSE, nullptr, nullptr), S_OK);
}

TEST(ScriptBridge, ApiCloseAndUnknownIdentifiers) {
    Owner owner;
    CJSDispatch bridge(&owner);
    ScriptCall call({Str("OpenGame"), Str("t")});
    EXPECT_EQ(Invoke(bridge, DISPID_API_CLOSE, nullptr, nullptr), S_OK);
    EXPECT_EQ(Invoke(bridge, DISPID_API_CLOSE, call.params(), nullptr), S_OK);  // args ignored
    EXPECT_EQ(owner.calls, (Calls{"API_close()", "API_close()"}));

    owner.calls.clear();
    for (DISPID id : {0, -1, 999, 1002, DISPID_PROPERTYPUT}) {
        VARIANT result = I4(77);
        EXPECT_EQ(Invoke(bridge, id, call.params(), &result), E_NOTIMPL) << id;
        EXPECT_EQ(result.vt, VT_I4);
    }
    EXPECT_TRUE(owner.calls.empty());
}

TEST(ScriptBridge, ComIdentityAndACountThatNeverDeletes) {
    Owner owner;
    CJSDispatch bridge(&owner);

    void* unk = nullptr;
    void* disp = nullptr;
    EXPECT_EQ(bridge.QueryInterface(IID_IUnknown, &unk), S_OK);
    EXPECT_EQ(bridge.QueryInterface(IID_IDispatch, &disp), S_OK);
    EXPECT_EQ(unk, static_cast<void*>(static_cast<IDispatch*>(&bridge)));
    EXPECT_EQ(disp, unk);
    EXPECT_EQ(bridge.AddRef(), 3u);

    for (const IID* iid : {&IID_IOleClientSite, &IID_IDocHostUIHandler, &IID_IWebBrowser2}) {
        void* out = &owner;
        EXPECT_EQ(bridge.QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(bridge.QueryInterface(IID_IDispatch, nullptr), E_INVALIDARG);

    UINT count = 9;
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&owner);
    EXPECT_EQ(bridge.GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(bridge.GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(count, 9u);
    EXPECT_EQ(info, reinterpret_cast<ITypeInfo*>(&owner));

    // Down to 0: the object stays and keeps serving the page.
    EXPECT_EQ(bridge.Release(), 2u);
    EXPECT_EQ(bridge.Release(), 1u);
    EXPECT_EQ(bridge.Release(), 0u);
    ScriptCall call({Str("ShowIM"), Str("still here")});
    EXPECT_EQ(Invoke(bridge, DISPID_WD_JAPI, call.params(), nullptr), S_OK);
    EXPECT_EQ(owner.calls, Calls{"ShowIM(still here)"});
    EXPECT_EQ(bridge.AddRef(), 1u);
}
