// The portable part of the shell: how many addresses a page may send to the default browser,
// or open in windows of the client's own (which ones: web_address.cpp).
#include <deque>

#include "fw/backend.h"
#include "fw/browser.h"
#include "fw/shell.h"
#include "fw/system.h"

namespace fw {

namespace {

// When pages last had a window opened, in the default browser or in one of the client's own
// (the last kPageOpenBurst times).
std::deque<std::uint64_t>& PageOpens() {
    static std::deque<std::uint64_t> opens;
    return opens;
}

// Whether a page's request for a new window passes the limits; `what` names the refuser in
// the line a refusal writes. Nothing is counted here.
bool WithinPageLimits(const std::string& url, unsigned flags, const char* what) {
    const char* why = nullptr;
    if (!IsWebAddress(url)) {
        why = "not a web address";
    } else if (!(flags & NWMF_USERINITED)) {
        why = "no user asked for it";
    } else if (!(flags & NWMF_FIRST)) {
        why = "one window per click";
    } else {
        auto& opens = PageOpens();
        const std::uint64_t now = TickCountMs();
        while (!opens.empty() && now - opens.front() >= kPageOpenWindowMs) opens.pop_front();
        if (opens.size() >= static_cast<std::size_t>(kPageOpenBurst)) why = "too many in a short time";
    }
    if (why) detail::LogRefusedAddress(what, why, url);
    return why == nullptr;
}

}  // namespace

bool ShellOpenFromPage(const std::string& url, unsigned newWindowFlags) {
    if (!WithinPageLimits(url, newWindowFlags, "default browser")) return false;
    if (!ShellOpenUrl(url)) return false;
    PageOpens().push_back(TickCountMs());
    return true;
}

bool PageMayOpenWindow(const std::string& url, unsigned newWindowFlags, const char* what) {
    if (!WithinPageLimits(url, newWindowFlags, what)) return false;
    PageOpens().push_back(TickCountMs());
    return true;
}

}  // namespace fw

namespace fw::detail {
void ResetPageOpens() { PageOpens().clear(); }
}  // namespace fw::detail
