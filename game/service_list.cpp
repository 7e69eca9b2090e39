// The launcher page's ShowIM list read into the seven service fields. Apart from the library's
// binding so that it can be checked on its own with any text.
#include "fw/text.h"
#include "game/chat_library.h"

namespace chat {

bool ParseServiceList(const std::string& listUtf8, ServiceFields& fields) {
    if (listUtf8.find('|') == std::string::npos) return false;
    std::string rest = listUtf8;
    bool barsLeft = true;
    for (std::string& field : fields) {
        const std::size_t bar = barsLeft ? rest.find('|') : std::string::npos;
        if (bar == std::string::npos) {
            barsLeft = false;
            field.clear();
            continue;
        }
        field = fw::Utf8ToSystem(rest.substr(0, bar));
        rest.erase(0, bar + 1);
    }
    return true;
}

}  // namespace chat
