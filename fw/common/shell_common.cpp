// The portable part of the shell: which addresses may go to the default browser, and how
// many a page may send there.
#include <cstdio>
#include <deque>
#include <string_view>

#include "fw/backend.h"
#include "fw/browser.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "fw/text.h"

namespace fw {

namespace {

// When pages last had a window opened, in the default browser or in one of the client's own
// (the last kPageOpenBurst times).
std::deque<std::uint64_t>& PageOpens() {
    static std::deque<std::uint64_t> opens;
    return opens;
}

// A line on standard error about an address a page sent (the page's text, so shown with care).
void LogAddress(const char* what, const char* why, const std::string& url) {
    std::fprintf(stderr, "raduvove: %s refused (%s): %s\n", what, why, ShownInLog(url).c_str());
}

}  // namespace

bool IsWebAddress(const std::string& url) {
    // The scheme is the text as given up to the first ':'; leading blanks make it no scheme.
    auto scheme = [&](std::string_view s) {
        if (url.size() <= s.size() || url[s.size()] != ':') return false;
        for (std::size_t i = 0; i < s.size(); ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != s[i]) return false;
        }
        return true;
    };
    return scheme("http") || scheme("https");
}

bool RequireWebAddress(const std::string& url, const char* what) {
    if (IsWebAddress(url)) return true;
    LogAddress(what, "not a web address", url);
    return false;
}

namespace {

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
    if (why) LogAddress(what, why, url);
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
