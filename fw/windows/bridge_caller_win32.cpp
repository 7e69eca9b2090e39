// The calling document of a bridge call in the system's browser control: the script engine's
// service provider answers SID_SHTMLWindow with the calling script's window (IHTMLWindow2);
// its document (IHTMLDocument2::get_URL) is the caller, and its top window's document the
// page. A frame may be refused the top-level document (another origin): its address is then
// unknown, and FrameMayUseBridge lets only the platform's hosts pass.
#include "fw/windows/windows_api.h"

#include <mshtml.h>

#include <string>

#include "fw/bridge_caller.h"
#include "fw/bridge_origin.h"
#include "fw/windows/wide.h"

// MinGW's libuuid has no IID_IDispatchEx (dispex.h declares it): defined here, once for the
// program, since every program's fw_core has this file.
extern "C" const IID IID_IDispatchEx = {0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

namespace fw {

namespace {

// The address of a window's document; "" when it cannot be read.
std::string DocumentUrl(IHTMLWindow2* window) {
    if (!window) return {};
    IHTMLDocument2* doc = nullptr;
    if (FAILED(window->get_document(&doc)) || !doc) return {};
    std::string url;
    BSTR b = nullptr;
    if (SUCCEEDED(doc->get_URL(&b)) && b) url = windows::Narrow(std::wstring_view(b, SysStringLen(b)));
    SysFreeString(b);
    doc->Release();
    return url;
}

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    IUnknown* ua = nullptr;
    IUnknown* ub = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    const bool same = ua && ua == ub;
    if (ua) ua->Release();
    if (ub) ub->Release();
    return same;
}

}  // namespace

bool ScriptCallerMayUseBridge(IServiceProvider* caller) {
    if (!caller) return true;  // not a script: nothing to tell
    IHTMLWindow2* window = nullptr;
    if (FAILED(caller->QueryService(SID_SHTMLWindow, IID_IHTMLWindow2, reinterpret_cast<void**>(&window))) || !window)
        return true;  // the engine names no calling document
    IHTMLWindow2* top = nullptr;
    if (FAILED(window->get_top(&top))) top = nullptr;
    bool allowed = true;
    if (!SameObject(window, top)) {
        // A frame (or a window whose top cannot be had: judged as a frame of an unknown page).
        const std::string frameUrl = DocumentUrl(window);
        const std::string topUrl = DocumentUrl(top);
        allowed = (!frameUrl.empty() && frameUrl == topUrl) || FrameMayUseBridge(topUrl, frameUrl);
    }
    if (top) top->Release();
    window->Release();
    return allowed;
}

}  // namespace fw
