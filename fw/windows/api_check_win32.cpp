// A compile-time check for the Windows code of fw/: the system headers it uses beside
// fw/windows/windows_api.h define none of the names that header freed again, so fw's
// constants and the A/W-named functions stay usable after any of them.
#include "fw/windows/windows_api.h"

#include <objidl.h>
#include <gdiplus.h>
#include <mshtml.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wincodec.h>
#include <wininet.h>

#include "fw/canvas.h"
#include "fw/resources.h"

#if defined(MessageBox) || defined(FindResource) || defined(DrawText) || defined(TranslateAccelerator) || \
    defined(WriteProfileString)
#error "a system header defined an A/W macro of a name the framework uses"
#endif

namespace {
// Each name is used as fw's constant: a macro of that name would not compile here.
#define RV_FW_USE(name) static_assert(sizeof(fw::name) > 0);
RV_FW_SYSTEM_NAMES(RV_FW_USE)
#undef RV_FW_USE
}  // namespace
