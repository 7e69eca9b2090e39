// The system's narrow character set on Windows: the ANSI code page, by the name the server's
// converter knows it under.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "supportim/platform.h"

namespace supportim {

std::string SystemCharset() {
    const UINT cp = GetACP();
    switch (cp) {
    case CP_UTF8: return "UTF-8";
    case 936: return "GBK";
    case 20127: return "US-ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932:
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 10000: return "MACINTOSH";
    default: break;
    }
    if (cp >= 28591 && cp <= 28599) return "ISO-8859-" + std::to_string(cp - 28590);
    if (cp == 28603 || cp == 28605) return "ISO-8859-" + std::to_string(cp - 28590);
    return "CP" + std::to_string(cp);  // 874, 932, 949, 950, 1250-1258, 437, 850, 866 ...
}

}  // namespace supportim
