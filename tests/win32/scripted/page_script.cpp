// The page's script of the scripted control (scripted_control.h): command lines that the test
// sends to the page's window, played as the page's script would (window.external calls, new
// windows, a link followed, window.close()).
#include "scripted_internal.h"

#include <cstdlib>

namespace scripted {

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t tab = line.find('\t');; tab = line.find('\t', from)) {
        out.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    return out;
}

std::string VariantText(const VARIANT& v) {
    VARIANT s;
    VariantInit(&s);
    if (v.vt == VT_EMPTY) return "undefined";
    VARIANT copy = v;
    if (FAILED(VariantChangeType(&s, &copy, 0, VT_BSTR))) return "?";
    std::string out = Narrow(std::wstring(s.bstrVal, SysStringLen(s.bstrVal)));
    VariantClear(&s);
    return out;
}

}  // namespace

LRESULT Control::Command(const std::string& line) {
    const std::vector<std::string> f = Fields(line);
    if (f[0] == "external" && f.size() >= 2) {
        IDocHostUIHandler* ui = nullptr;
        IDispatch* ext = nullptr;
        if (clientSite &&
            SUCCEEDED(
                IOleClientSite_QueryInterface(clientSite, IID_IDocHostUIHandler, reinterpret_cast<void**>(&ui))) &&
            ui) {
            if (IDocHostUIHandler_GetExternal(ui, &ext) != S_OK) ext = nullptr;
            IDocHostUIHandler_Release(ui);
        }
        if (!ext) {
            Log("external " + f[1] + " no-external");
            return E_NOINTERFACE;
        }
        std::wstring name = Wide(f[1]);
        LPOLESTR names[1] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = IDispatch_GetIDsOfNames(ext, IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        std::string text;
        if (hr == S_OK) {
            std::vector<VARIANT> args;
            for (size_t i = 2; i < f.size(); ++i) {
                VARIANT v;
                VariantInit(&v);
                const std::string& a = f[i];
                if (a == "null") {
                    v.vt = VT_NULL;
                } else if (a.rfind("b:", 0) == 0) {
                    v.vt = VT_BOOL;
                    v.boolVal = a == "b:1" ? VARIANT_TRUE : VARIANT_FALSE;
                } else if (a.rfind("n:", 0) == 0) {
                    v.vt = VT_R8;
                    v.dblVal = std::strtod(a.c_str() + 2, nullptr);
                } else {
                    v = Str(Wide(a.rfind("s:", 0) == 0 ? a.substr(2) : a));
                }
                args.push_back(v);
            }
            std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // script engines pass them last first
            DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                              0};
            VARIANT result;
            VariantInit(&result);
            AddRefControl(this);
            hr = IDispatch_Invoke(ext, id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                  nullptr);
            text = VariantText(result);
            VariantClear(&result);
            for (VARIANT& v : args) VariantClear(&v);
            Log("external " + f[1] + " hr=" + std::to_string(static_cast<long>(hr)) + " result=" + text);
            ReleaseControl(this);
        } else {
            Log("external " + f[1] + " unknown-name");
        }
        IDispatch_Release(ext);
        return hr;
    }
    if (f[0] == "newwindow" && f.size() >= 3) {
        AddRefControl(this);
        IDispatch* opened = nullptr;
        VARIANT out;
        VariantInit(&out);
        out.vt = VT_BYREF | VT_DISPATCH;
        out.ppdispVal = &opened;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        const std::wstring url = Wide(f[1]);
        Fire(DISPID_NEWWINDOW3,
             {out, BoolRef(&cancel), Long(std::strtol(f[2].c_str(), nullptr, 10)), Str(location), Str(url)});
        std::string what;
        if (cancel != VARIANT_FALSE) {
            what = "cancelled";
        } else if (!opened) {
            what = "own-window";  // the system's control would open a browser window nobody owns
        } else {
            what = "opened";
            IWebBrowser2* next = nullptr;
            if (SUCCEEDED(IDispatch_QueryInterface(opened, IID_IWebBrowser2, reinterpret_cast<void**>(&next))) &&
                next) {
                Of(next)->Navigate(url);
                IWebBrowser2_Release(next);
            }
        }
        if (opened) IDispatch_Release(opened);
        Log("newwindow " + f[1] + " " + what);
        ReleaseControl(this);
        return cancel != VARIANT_FALSE;
    }
    if (f[0] == "navigate" && f.size() >= 2) {  // a link followed, or location set
        Navigate(Wide(f[1]));
        return 0;
    }
    if (f[0] == "closing") {
        AddRefControl(this);
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_BOOL;
        child.boolVal = VARIANT_FALSE;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        Fire(DISPID_WINDOWCLOSING, {child, BoolRef(&cancel)});
        Log(std::string("closing ") + (cancel != VARIANT_FALSE ? "cancelled" : "let through"));
        ReleaseControl(this);
        return cancel != VARIANT_FALSE;
    }
    Log("bad-command " + line);
    return E_INVALIDARG;
}

}  // namespace scripted
