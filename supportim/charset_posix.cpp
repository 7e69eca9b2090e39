// The system's narrow character set off Windows: the one of the program's locale.
#include <langinfo.h>

#include "supportim/platform.h"

namespace supportim {

std::string SystemCharset() {
    const char* cs = nl_langinfo(CODESET);
    return cs && *cs ? cs : "UTF-8";
}

}  // namespace supportim
