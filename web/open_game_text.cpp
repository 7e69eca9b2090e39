// The OpenGame text of the launcher page: its fields at the vertical bars. Apart from the
// page dialog so that it can be checked on its own with any text.
#include "web/web_dlg.h"

void CWebDlg::SplitOpenGame(const std::string& text, std::string& f1, std::string& f2, std::string& f3) {
    f1 = text;
    f2.clear();
    f3.clear();
    std::string copy = text;
    if (copy.empty() || copy.find('|') == std::string::npos) return;
    auto p = static_cast<long>(copy.find('|'));
    for (int k = 1; k <= 3; ++k) {
        if (k == 1)
            f1 = copy.substr(0, static_cast<size_t>(p));
        else if (k == 2)
            f2 = p < 0 ? std::string() : copy.substr(0, static_cast<size_t>(p));
        else
            f3 = copy;
        copy = p < 0 ? copy : copy.substr(static_cast<size_t>(p) + 1);
        auto next = copy.empty() ? std::string::npos : copy.find('|');
        p = next == std::string::npos ? -1 : static_cast<long>(next);
    }
}
