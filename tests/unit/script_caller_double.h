#pragma once
// Stands in for what the system's browser control passes with a script's call of
// window.external (IDispatchEx::InvokeEx's pspCaller): a service provider that answers
// SID_SHTMLWindow with the calling script's window, whose document has an address and whose
// top window holds the page's document. Windows only; built from the interfaces' C layouts
// (script_caller_double_win32.cpp), so only the methods a caller uses are written out.
#include <string>

namespace script_caller {

struct Caller {
    std::wstring frameUrl;    // the calling document's address
    std::wstring topUrl;      // the page's top-level document's address
    bool isTop = false;       // the caller is the page's own top-level document
    bool topReadable = true;  // false: the page's document is refused to the caller (another origin)
    bool namesWindow = true;  // false: the provider answers no window
};

// The caller's service provider as an IServiceProvider* (void* keeps this header free of the
// system's headers). It lives until FreeCaller.
void* MakeCaller(const Caller& c);
void FreeCaller(void* provider);

}  // namespace script_caller
