// Strings and variants of the COM subset (off Windows; the system provides them there), and
// the conversion of variants to the text the script bridge works with (every platform).
#include "fw/com.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "fw/text.h"

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "OLECHAR is a UTF-16 code unit");

#ifndef _WIN32

namespace {

// A BSTR points just behind a 32-bit byte count and is followed by a NUL unit.
constexpr std::size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t ByteLength(BSTR s) {
    std::uint32_t n;
    std::memcpy(&n, reinterpret_cast<const unsigned char*>(s) - kPrefix, kPrefix);
    return n;
}

bool IsKnownVarType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags != 0 && flags != VT_BYREF) return false;  // arrays and other flags: not supported
    if (base == 15 || base > VT_HRESULT) return false;
    if (flags == VT_BYREF && (base == VT_EMPTY || base == VT_NULL)) return false;
    return true;
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT len) {
    // The byte count must fit its 32-bit prefix. ((max)() keeps the Windows max macro out.)
    constexpr std::size_t kMaxUnits =
        ((std::numeric_limits<std::uint32_t>::max)() - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR);
    if (len > kMaxUnits) return nullptr;
    const std::uint32_t bytes = static_cast<std::uint32_t>(len * sizeof(OLECHAR));
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    std::memcpy(block, &bytes, kPrefix);
    auto* text = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (pch)
        std::memcpy(text, pch, bytes);
    else
        std::memset(text, 0, bytes);
    text[len] = 0;
    return text;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    const std::size_t len = std::char_traits<OLECHAR>::length(psz);
    if (len > (std::numeric_limits<UINT>::max)()) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(len));
}

void SysFreeString(BSTR bstr) {
    if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) { return bstr ? ByteLength(bstr) : 0; }

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    if (!IsKnownVarType(pvarg->vt)) return DISP_E_BADVARTYPE;
    switch (pvarg->vt) {
    case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
    case VT_DISPATCH:
        if (pvarg->pdispVal) pvarg->pdispVal->Release();
        break;
    case VT_UNKNOWN:
        if (pvarg->punkVal) pvarg->punkVal->Release();
        break;
    default:  // values and references own nothing
        break;
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

#endif  // !_WIN32

namespace fw {

namespace {

std::u16string_view View(const OLECHAR* s, std::size_t n) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(s), n);
}

std::string UpToNul(BSTR s) {
    if (!s) return {};
    const std::size_t len = SysStringLen(s);
    std::size_t n = 0;
    while (n < len && s[n] != 0) ++n;
    return Utf16ToUtf8(View(s, n));
}

template <class Int>
std::string Decimal(Int v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Number::prototype.toString of JavaScript: the shortest digits that read back to the same
// value, in positional notation from 1e-6 up to below 1e21, in exponential notation beyond.
template <class Float>
std::string JsNumber(Float x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
    if (x == 0) return "0";  // also -0

    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));  // "-d.ddde+XX"

    std::string out;
    if (s.front() == '-') {
        out = "-";
        s.remove_prefix(1);
    }
    const std::size_t e = s.find('e');
    std::string digits;
    for (char c : s.substr(0, e))
        if (c != '.') digits += c;
    std::string_view expText = s.substr(e + 1);
    const bool negExp = expText.front() == '-';
    expText.remove_prefix(1);  // the sign is always written
    int exp = 0;
    std::from_chars(expText.data(), expText.data() + expText.size(), exp);
    if (negExp) exp = -exp;

    const int k = static_cast<int>(digits.size());
    const int n = exp + 1;  // position of the decimal point relative to the digits
    if (k <= n && n <= 21) {
        out += digits;
        out.append(static_cast<std::size_t>(n - k), '0');
    } else if (0 < n && n <= 21) {
        out += digits.substr(0, static_cast<std::size_t>(n));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(n));
    } else if (-6 < n && n <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-n), '0');
        out += digits;
    } else {
        out += digits[0];
        if (k > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += 'e';
        out += n - 1 < 0 ? '-' : '+';
        out += Decimal(std::abs(n - 1));
    }
    return out;
}

std::string Bool(VARIANT_BOOL b) { return b != VARIANT_FALSE ? "true" : "false"; }

// depth: a by-reference variant may point to one more variant, never further.
std::string Text(const VARIANT& v, int depth) {
    const VARTYPE vt = v.vt;
    if (vt & VT_BYREF) {
        if (!v.byref) return {};
        switch (vt & ~VT_BYREF) {
        case VT_BSTR: return UpToNul(*v.pbstrVal);
        case VT_BOOL: return Bool(*v.pboolVal);
        case VT_I1: return Decimal(static_cast<signed char>(*v.pcVal));
        case VT_I2: return Decimal(*v.piVal);
        case VT_I4: return Decimal(*v.plVal);
        case VT_I8: return Decimal(*v.pllVal);
        case VT_INT: return Decimal(*v.pintVal);
        case VT_UI1: return Decimal(*v.pbVal);
        case VT_UI2: return Decimal(*v.puiVal);
        case VT_UI4: return Decimal(*v.pulVal);
        case VT_UI8: return Decimal(*v.pullVal);
        case VT_UINT: return Decimal(*v.puintVal);
        case VT_R4: return JsNumber(*v.pfltVal);
        case VT_R8: return JsNumber(*v.pdblVal);
        case VT_VARIANT: return depth == 0 ? Text(*v.pvarVal, depth + 1) : std::string();
        default: return {};
        }
    }
    switch (vt) {
    case VT_BSTR: return UpToNul(v.bstrVal);
    case VT_BOOL: return Bool(v.boolVal);
    case VT_I1: return Decimal(static_cast<signed char>(v.cVal));
    case VT_I2: return Decimal(v.iVal);
    case VT_I4: return Decimal(v.lVal);
    case VT_I8: return Decimal(v.llVal);
    case VT_INT: return Decimal(v.intVal);
    case VT_UI1: return Decimal(v.bVal);
    case VT_UI2: return Decimal(v.uiVal);
    case VT_UI4: return Decimal(v.ulVal);
    case VT_UI8: return Decimal(v.ullVal);
    case VT_UINT: return Decimal(v.uintVal);
    case VT_R4: return JsNumber(v.fltVal);
    case VT_R8: return JsNumber(v.dblVal);
    default: return {};  // empty, null, objects, dates, currency, errors, arrays
    }
}

}  // namespace

std::string VariantToUtf8(const VARIANT& v) { return Text(v, 0); }

std::string BstrToUtf8(BSTR s) { return s ? Utf16ToUtf8(View(s, SysStringLen(s))) : std::string(); }

BSTR AllocBstr(std::string_view utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    if (units.size() > (std::numeric_limits<UINT>::max)()) return nullptr;
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()), static_cast<UINT>(units.size()));
}

}  // namespace fw
