// The portable part of the shell: how many addresses a page may send to the default browser
// (which ones: web_address.cpp).
#include <deque>

#include "fw/backend.h"
#include "fw/browser.h"
#include "fw/shell.h"
#include "fw/system.h"

namespace fw {

namespace {

// When the default browser was started for pages lately (the last kPageOpenBurst times).
std::deque<std::uint64_t>& PageOpens() {
    static std::deque<std::uint64_t> opens;
    return opens;
}

void LogRefused(const std::string& url, const char* why) { detail::LogRefusedAddress("default browser", why, url); }

}  // namespace

bool ShellOpenFromPage(const std::string& url, unsigned newWindowFlags) {
    if (!IsWebAddress(url)) {
        LogRefused(url, "not a web address");
        return false;
    }
    if (!(newWindowFlags & NWMF_USERINITED)) {
        LogRefused(url, "no user asked for it");
        return false;
    }
    if (!(newWindowFlags & NWMF_FIRST)) {
        LogRefused(url, "one window per click");
        return false;
    }
    auto& opens = PageOpens();
    const std::uint64_t now = TickCountMs();
    while (!opens.empty() && now - opens.front() >= kPageOpenWindowMs) opens.pop_front();
    if (opens.size() >= static_cast<std::size_t>(kPageOpenBurst)) {
        LogRefused(url, "too many in a short time");
        return false;
    }
    if (!ShellOpenUrl(url)) return false;
    opens.push_back(now);
    return true;
}

}  // namespace fw

namespace fw::detail {
void ResetPageOpens() { PageOpens().clear(); }
}  // namespace fw::detail
