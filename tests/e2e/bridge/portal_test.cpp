// Pages of the local portal (--portal; without it these scenarios are skipped): the launcher
// page with its iframe, both asking for the API version, and the website data cleared but for
// the cookies.
#include <cstdio>

#include "bridge_e2e.h"
#include "fw/gtk/browser_webkit.h"

namespace bridge_e2e {
namespace {

using Portal = Scenario;

TEST_F(Portal, Launcher) {
    const std::string& portal = g_options.portal;
    if (portal.empty()) GTEST_SKIP() << "no portal (--portal)";
    Hosted f(true);
    auto t0 = Clock::now();
    bool loaded = f.Load(portal + "/game/s/dmor/?uid=u&suid=s");
    ASSERT_TRUE(loaded) << "launcher-loaded";
    std::printf("INFO launcher page: DocumentComplete %.0f ms after Navigate, %.0f ms after start\n", MsSince(t0),
                MsSince(g_start));
    bool answered = false;
    auto name = Find(*f.browser, "span", "usr", &answered);
    EXPECT_TRUE(answered && name && !name->empty()) << "launcher-user-name: " << (name ? *name : "(none)");
    auto ver = Find(*f.browser, "b", "apiver", &answered);
    EXPECT_TRUE(answered && ver && *ver == "1") << "launcher-api-version: " << (ver ? *ver : "(none)");
    WebKitWebView* view = ViewIn(f.win);
    std::string frame = view ? EvalJs(view,
                                      "document.querySelector('iframe').contentDocument"
                                      ".querySelector('[data-test=frame-apiver]').textContent")
                             : "?";
    EXPECT_EQ(frame, "1") << "launcher-iframe-api-version";
}

// Website data: everything but cookies can be cleared; cookies are kept on disk.
TEST_F(Portal, ClearData) {
    const std::string& portal = g_options.portal;
    if (portal.empty()) GTEST_SKIP() << "no portal (--portal)";
    Hosted f(true);
    f.Load(portal + "/bench/bridge");
    WebKitWebView* view = ViewIn(f.win);
    ASSERT_NE(view, nullptr) << "clear-data: no view";
    EvalJs(view, "document.cookie = 'rvkeep=1; max-age=3600; path=/'; localStorage.setItem('rvgone', '1'); 'x'");
    bool cleared = false;
    fw::gtk::ClearWebsiteDataExceptCookies([&] { cleared = true; });
    EXPECT_TRUE(WaitFor([&] { return cleared; }, 10000)) << "clear-data-done";
    f.Load(portal + "/bench/bridge");
    std::string after = EvalJs(view, "document.cookie.indexOf('rvkeep=1') >= 0 ? 'cookie' : 'no-cookie'");
    EXPECT_EQ(after, "cookie") << "clear-data-keeps-cookies";
    after = EvalJs(view, "String(localStorage.getItem('rvgone'))");
    EXPECT_EQ(after, "null") << "clear-data-clears-storage";

    std::string cache = fw::gtk::WebCacheDirectory();
    const char* xdg = g_getenv("XDG_CACHE_HOME");
    EXPECT_TRUE(xdg && cache == std::string(xdg) + "/raduvove") << "cache-directory: " << cache;
    const char* data = g_getenv("XDG_DATA_HOME");
    std::string jar = data ? std::string(data) + "/raduvove/cookies.sqlite" : "";
    EXPECT_TRUE(!jar.empty() && g_file_test(jar.c_str(), G_FILE_TEST_EXISTS)) << "cookie-jar-on-disk: " << jar;
}

}  // namespace
}  // namespace bridge_e2e
