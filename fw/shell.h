#pragma once
#include <string>

namespace fw {

// Opens an address in the user's default browser. Only http and https addresses are
// handed on; anything else is refused (false).
bool ShellOpenUrl(const std::string& url);
// True for an address whose scheme is http or https (case-insensitive).
bool IsWebAddress(const std::string& url);
// IsWebAddress for an address that came from a page: when it is none, a line on standard
// error says that `what` refused it (the address cut short, its control characters masked).
bool RequireWebAddress(const std::string& url, const char* what);
namespace detail {
// The line on standard error for an address from a page that `what` refused for `why`.
void LogRefusedAddress(const char* what, const char* why, const std::string& url);
}  // namespace detail

// Opens an address that a page asked for (a pop-up, a link with a target; NewWindow3 with
// its flags) in the default browser, within limits a page cannot talk its way past: only
// web addresses; only the first request of a user's click or key press (NWMF_FIRST), never
// one that no user started; and no more than kPageOpenBurst of them in any
// kPageOpenWindowMs, counted over the whole program. A request refused is logged on
// standard error. True when the address went to the default browser.
constexpr int kPageOpenBurst = 3;
constexpr unsigned kPageOpenWindowMs = 10000;
bool ShellOpenFromPage(const std::string& url, unsigned newWindowFlags);

// The same limits for a window a page opens in a browser window of the client's own (the
// game page's): true when it may open, and then counted; a refusal is logged on standard
// error as `what`'s.
bool PageMayOpenWindow(const std::string& url, unsigned newWindowFlags, const char* what);

}  // namespace fw
