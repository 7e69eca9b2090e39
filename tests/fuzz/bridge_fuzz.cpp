// Fuzzes the script bridge with what a page could hand it: the input bytes become a call
// (name lookup, the dispatch identifier, a result variant or none) and a sequence of
// argument variants of any type, length and contents. Besides the sanitizers' findings it
// traps when the bridge breaks a rule: more than one owner call per invocation, a text with
// a NUL in it, a result other than the version string, a reference taken on an argument.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fw/com.h"
#include "web/js_dispatch.h"

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    bool Empty() const { return n_ == 0; }
    std::uint8_t Byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    template <class T>
    T Value() {
        T v{};
        unsigned char raw[sizeof(T)] = {};
        for (auto& b : raw) b = Byte();
        std::memcpy(&v, raw, sizeof v);
        return v;
    }
    // Text units: one byte each (easy for the fuzzer to spell keywords) or two bytes each.
    std::u16string Units(bool wide) {
        const std::size_t len = Value<std::uint16_t>() % 2048;
        std::u16string s;
        for (std::size_t i = 0; i < len && n_ > 0; ++i) s += wide ? Value<char16_t>() : static_cast<char16_t>(Byte());
        return s;
    }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Owner : IJSDispatch {
    int calls = 0;
    void Seen(const std::string& text = {}) {
        ++calls;
        Check(text.find('\0') == std::string::npos);
    }
    void ShowBindBtn() override { Seen(); }
    void OnBindDone() override { Check(false); }
    void OnBindClose() override { Check(false); }
    void OpenGame(std::string t) override { Seen(t); }
    void AccountRegisterSuccess(std::string t) override { Seen(t); }
    void CloseBindPage(std::string t) override { Seen(t); }
    void AccountBindSuccess(std::string t) override { Seen(t); }
    void ShowIM(std::string t) override { Seen(t); }
    void API_close() override { Seen(); }
    void DialogBoxTopInfo(std::string t) override { Seen(t); }
    void openPay(std::string t) override { Seen(t); }
    void closedBox() override { Seen(); }
};

// An object passed as an argument; the bridge must not keep or drop references on it.
struct Object : IDispatch {
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

BSTR NewBstr(const std::u16string& s) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

constexpr std::size_t kMaxArgs = 8;

// Everything a by-reference argument may point to; it outlives the call.
struct Referents {
    BSTR text[kMaxArgs] = {};
    LONG number[kMaxArgs] = {};
    double real[kMaxArgs] = {};
    VARIANT variant[kMaxArgs] = {};
    ~Referents() {
        for (BSTR s : text) SysFreeString(s);
    }
};

VARIANT MakeArg(Reader& in, std::size_t i, Referents& refs, Object& object, const std::vector<VARIANT>& earlier) {
    VARIANT v;
    VariantInit(&v);
    switch (in.Byte() % 22) {
    case 0: break;  // empty
    case 1: v.vt = VT_NULL; break;
    case 2:
        v.vt = VT_I2;
        v.iVal = in.Value<SHORT>();
        break;
    case 3:
        v.vt = VT_I4;
        v.lVal = in.Value<LONG>();
        break;
    case 4:
        v.vt = VT_R4;
        v.fltVal = in.Value<float>();
        break;
    case 5:
        v.vt = VT_R8;
        v.dblVal = in.Value<double>();
        break;
    case 6:
        v.vt = VT_BOOL;
        v.boolVal = in.Value<VARIANT_BOOL>();
        break;
    case 7:
        v.vt = VT_BSTR;
        v.bstrVal = NewBstr(in.Units(false));
        break;
    case 8:
        v.vt = VT_BSTR;
        v.bstrVal = NewBstr(in.Units(true));
        break;
    case 9:
        v.vt = VT_BSTR;
        v.bstrVal = nullptr;
        break;
    case 10:
        v.vt = VT_DISPATCH;
        v.pdispVal = &object;
        object.AddRef();
        break;
    case 11:
        v.vt = VT_UNKNOWN;
        v.punkVal = &object;
        object.AddRef();
        break;
    case 12:
        v.vt = VT_I1;
        v.cVal = static_cast<CHAR>(in.Byte());
        break;
    case 13:
        v.vt = VT_UI8;
        v.ullVal = in.Value<ULONGLONG>();
        break;
    case 14:
        v.vt = VT_I8;
        v.llVal = in.Value<LONGLONG>();
        break;
    case 15:
        v.vt = VT_UI4;
        v.ulVal = in.Value<ULONG>();
        break;
    case 16:
        refs.text[i] = NewBstr(in.Units(false));
        v.vt = VT_BYREF | VT_BSTR;
        v.pbstrVal = &refs.text[i];
        break;
    case 17:
        refs.number[i] = in.Value<LONG>();
        v.vt = VT_BYREF | VT_I4;
        v.plVal = &refs.number[i];
        break;
    case 18:
        refs.real[i] = in.Value<double>();
        v.vt = VT_BYREF | VT_R8;
        v.pdblVal = &refs.real[i];
        break;
    case 19:  // a reference to a copy of an earlier argument (which may be a reference too)
        if (!earlier.empty()) refs.variant[i] = earlier[in.Byte() % earlier.size()];
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = &refs.variant[i];
        break;
    case 20:
        v.vt = VT_DATE;
        v.date = in.Value<double>();
        break;
    default:  // any type tag at all, with an empty payload
        v.vt = in.Value<VARTYPE>();
        break;
    }
    return v;
}

bool Owns(const VARIANT& v) { return v.vt == VT_BSTR || v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Owner owner;
    Object object;
    Referents refs;
    CJSDispatch bridge(&owner);

    // Name lookup with a name from the input.
    std::u16string name = in.Units(in.Byte() & 1);
    name.push_back(0);
    LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(name.data())};
    DISPID looked = -5;
    const HRESULT lookup = bridge.GetIDsOfNames(IID_NULL, names, 1, 0, &looked);
    Check((lookup == S_OK && (looked == DISPID_WD_JAPI || looked == DISPID_API_CLOSE)) ||
          (lookup == E_NOTIMPL && looked == -5));

    const std::uint8_t how = in.Byte();
    DISPID id = DISPID_WD_JAPI;
    if ((how & 3) == 1)
        id = DISPID_API_CLOSE;
    else if ((how & 3) == 2)
        id = in.Value<DISPID>();
    const bool withResult = how & 4;
    const bool withParams = !(how & 8);

    std::vector<VARIANT> script;  // script order
    const std::size_t count = in.Byte() % (kMaxArgs + 1);
    for (std::size_t i = 0; i < count; ++i) script.push_back(MakeArg(in, i, refs, object, script));
    std::vector<VARIANT> args(script.rbegin(), script.rend());
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};

    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I4;
    result.lVal = 77;
    const HRESULT hr = bridge.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, withParams ? &params : nullptr,
                                     withResult ? &result : nullptr, nullptr, nullptr);

    const bool known = id == DISPID_WD_JAPI || id == DISPID_API_CLOSE;
    Check(hr == (known ? S_OK : E_NOTIMPL));
    Check(owner.calls <= 1);
    if (result.vt == VT_BSTR) {
        Check(id == DISPID_WD_JAPI && owner.calls == 0);
        Check(SysStringLen(result.bstrVal) == 1 && result.bstrVal[0] == '1');
        VariantClear(&result);
    } else {
        Check(result.vt == VT_I4 && result.lVal == 77);
    }

    for (VARIANT& v : args)
        if (Owns(v)) VariantClear(&v);
    Check(object.refs == 1);
    return 0;
}
