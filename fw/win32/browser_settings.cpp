// The settings of the browser control's engine for this program (native.h:
// ConfigureBrowserEngine): made once, before the first control, in the user's registry and
// in the process's feature controls.
#include "fw/win32/native.h"

#include <urlmon.h>

namespace fw::win32 {

void ConfigureBrowserEngine() {
    static bool done = false;
    if (done) return;
    done = true;
    // Pages render in the control's current document mode (11001: IE11 edge mode, whatever
    // the page's DOCTYPE says), not in the IE7 mode that hosts get by default. The setting is
    // the user's, per executable name.
    wchar_t path[MAX_PATH];
    const DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (len > 0 && len < MAX_PATH) {
        const wchar_t* name = path;
        for (const wchar_t* c = path; *c; ++c)
            if (*c == L'\\' || *c == L'/') name = c + 1;
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION",
                            0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            constexpr DWORD kEdgeMode = 11001;
            DWORD value = 0, size = sizeof value, type = 0;
            if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
                type != REG_DWORD || value != kEdgeMode)
                RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kEdgeMode), sizeof kEdgeMode);
            RegCloseKey(key);
        }
    }
    // Sound needs nothing here: the control has no autoplay restriction, so a page's
    // <audio autoplay> or media started by script plays with sound without a click, as soon as
    // the document mode above gives the page HTML5 media at all (IE7 mode has no <audio>).
    // The protections a browser has and a host gets only when it asks.
    for (INTERNETFEATURELIST f :
         {FEATURE_ZONE_ELEVATION, FEATURE_MIME_HANDLING, FEATURE_MIME_SNIFFING, FEATURE_WINDOW_RESTRICTIONS,
          FEATURE_RESTRICT_ACTIVEXINSTALL, FEATURE_VALIDATE_NAVIGATE_URL, FEATURE_DISABLE_MK_PROTOCOL,
          FEATURE_SAFE_BINDTOOBJECT, FEATURE_UNC_SAVEDFILECHECK, FEATURE_LOCALMACHINE_LOCKDOWN})
        CoInternetSetFeatureEnabled(f, SET_FEATURE_ON_PROCESS, TRUE);
}

}  // namespace fw::win32
