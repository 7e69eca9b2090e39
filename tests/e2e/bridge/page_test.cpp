// A page and its window.external: the bridge page's own checks, the control's events and
// document walk, new windows, cancelled and failed loads; a page without the external object;
// a control that quits, one destroyed during a call, silent script dialogs, and a control whose
// parent window went first.
#include <cstdio>

#include "bridge_e2e.h"

namespace bridge_e2e {
namespace {

using Page = Scenario;

TEST_F(Page, BridgePage) {
    Hosted f(true);
    ASSERT_TRUE(f.browser) << "create";
    std::string url = "file://" + g_options.pages + "/bridge_page.html";
    auto t0 = Clock::now();
    bool loaded = f.Load(url);
    EXPECT_TRUE(loaded) << "first-document-complete: no DocumentComplete";
    if (loaded)
        std::printf("INFO first DocumentComplete of a local page %.0f ms after start (%.0f ms after Navigate)\n",
                    MsSince(g_start), std::chrono::duration<double, std::milli>(f.ev.firstComplete - t0).count());
    EXPECT_TRUE(!f.ev.before.empty() && f.ev.before.front() == url)
        << "before-navigate: " << (f.ev.before.empty() ? "none" : f.ev.before.front());
    EXPECT_TRUE(!f.ev.navigated.empty() && f.ev.navigated.back() == url) << "navigate-complete";
    EXPECT_EQ(f.browser->LocationUrl(), url) << "location-url";

    bool titled = f.WaitTitle("result:", 10000);
    EXPECT_TRUE(titled && f.ev.Title() == "result:ok") << "page-checks: " << f.ev.Title();
    int closes = 0;
    for (auto& l : g_log) closes += l == "API_close";
    EXPECT_EQ(closes, 1) << "api-close-reached-host";

    bool answered = false;
    auto tom = Find(*f.browser, "span", "usr", &answered);
    EXPECT_TRUE(answered && tom && *tom == "Tom") << "find-element-text: " << (tom ? *tom : "(none)");
    auto none = Find(*f.browser, "span", "nope", &answered);
    EXPECT_TRUE(answered && !none) << "find-element-none";

    WebKitWebView* view = ViewIn(f.win);
    ASSERT_NE(view, nullptr) << "view-in-window";
    std::string bar = EvalJs(view, "String(window.innerWidth - document.documentElement.clientWidth)");
    EXPECT_EQ(bar, "0") << "scroll-bars-hidden";
    std::string size = EvalJs(view, "window.innerWidth + 'x' + window.innerHeight");
    EXPECT_EQ(size, "800x600") << "view-size";

    // window.close(), also after the view has more than one history entry.
    EvalJs(view, "window.close(); 'x'");
    EXPECT_TRUE(WaitFor([&] { return f.ev.closing == 1; }, 3000)) << "window-close: " << f.ev.closing;

    // window.open: NewWindow3 once; cancelled, nothing opens.
    webkit_settings_set_javascript_can_open_windows_automatically(webkit_web_view_get_settings(view), TRUE);
    EvalJs(view, "window.open('http://127.0.0.1:65533/popup-x'); 'x'");
    Settle(300);
    EXPECT_TRUE(f.ev.newWindows.size() == 1 && f.ev.newWindows[0] == "http://127.0.0.1:65533/popup-x")
        << "window-open-asks: " << f.ev.newWindows.size();
    EXPECT_EQ(PopupViews(), 0) << "window-open-cancelled";

    // A target=_blank link let through: asked once, one window of its own.
    f.ev.cancelNewWindows = false;
    f.ev.newWindows.clear();
    if (HaveXdotool()) {
        f.win.SetForeground();
        Settle(300);
        Xdotool("mousemove 150 130");  // the link at the page's top left; the window is at (100, 100)
        Settle(150);
        Xdotool("click 1");
        WaitFor([] { return PopupViews() > 0; }, 3000);
        Settle(300);
        EXPECT_TRUE(f.ev.newWindows.size() == 1 && f.ev.newWindows[0] == "http://127.0.0.1:65533/blank-target")
            << "blank-link-asks-once: " << f.ev.newWindows.size();
        EXPECT_EQ(PopupViews(), 1) << "blank-link-opens-window";
        DestroyPopups();
    }
    f.ev.cancelNewWindows = true;

    // Cost of a call, measured in the page: three rounds of 1000.
    for (int round = 0; round < 3; ++round) {
        std::string us = EvalJs(view,
                                "var e = window.external, t = performance.now();"
                                "for (var i = 0; i < 1000; i++) e.WD_JAPI('getApiVersion');"
                                "((performance.now() - t)).toFixed(1)");
        std::printf("INFO 1000 calls of WD_JAPI('getApiVersion'): %s ms\n", us.c_str());
    }

    // Blanks come back as the page wrote them; a cancelled navigation goes nowhere.
    f.ev.before.clear();
    f.Load(url + "?client = 1");
    EXPECT_TRUE(!f.ev.before.empty() && f.ev.before.front().find("?client = 1") != std::string::npos)
        << "blanks-unescaped: " << (f.ev.before.empty() ? "none" : f.ev.before.front());
    std::string at = f.browser->LocationUrl();
    std::size_t navs = f.ev.navigated.size();
    f.browser->Navigate(url + "?cancel-me");
    Settle(500);
    EXPECT_TRUE(f.ev.navigated.size() == navs && f.browser->LocationUrl() == at)
        << "navigation-cancelled: " << f.browser->LocationUrl();

    // A load that fails gives no DocumentComplete.
    std::size_t done = f.ev.completed.size();
    f.browser->Navigate("http://127.0.0.1:65533/nothing-listens");
    Settle(1500);
    EXPECT_EQ(f.ev.completed.size(), done) << "failed-load-no-complete";

    // Context menu: none while the host takes it.
    if (HaveXdotool()) {
        f.Load(url);
        f.win.SetForeground();
        Settle(300);
        Xdotool("mousemove 500 500");
        Settle(150);
        Xdotool("click 3");
        Settle(700);
        EXPECT_FALSE(MenuShown()) << "no-context-menu";
    }
}

TEST_F(Page, NoExternal) {
    Hosted f(false);
    f.Load("data:text/html,<script>document.title='ext:'+typeof window.external</script>");
    f.WaitTitle("ext:", 5000);
    EXPECT_EQ(f.ev.Title(), "ext:undefined") << "no-external-undefined";
}

TEST_F(Page, QuitDropsBridge) {
    Hosted f(true);
    f.Load("data:text/html,<script>document.title='ext:'+typeof window.external</script>");
    f.WaitTitle("ext:", 5000);
    EXPECT_EQ(f.ev.Title(), "ext:object") << "external-object";
    std::size_t events = f.ev.before.size() + f.ev.navigated.size() + f.ev.completed.size();
    f.browser->Quit();
    Settle(800);
    EXPECT_EQ(f.ev.before.size() + f.ev.navigated.size() + f.ev.completed.size(), events) << "quit-no-events";
    EXPECT_EQ(f.browser->LocationUrl(), "about:blank") << "quit-blank";
    f.browser->Navigate("data:text/html,x");
    Settle(300);
    EXPECT_EQ(f.browser->LocationUrl(), "about:blank") << "quit-for-good";
}

// The call closes everything: the control goes and the host's last reference with it. The
// external object must outlive the call.
TEST_F(Page, DestroyDuringCall) {
    auto f = std::make_unique<Hosted>(true);
    FakeHost* host = f->host;
    f->host = nullptr;  // released by the call below
    host->external()->onDestroy = [&] {
        f->browser.reset();
        host->Release();
    };
    f->browser->Navigate("data:text/html,<script>setTimeout(function(){window.external.Destroy()},50)</script>");
    bool gone = WaitFor([] { return !g_log.empty() && g_log.back() == "external-deleted"; }, 5000);
    std::string seq;
    for (auto& l : g_log) seq += l + " ";
    EXPECT_TRUE(gone && g_log.size() >= 3 && g_log[0] == "destroy-begin" && g_log[1] == "destroy-end")
        << "destroy-during-call: " << seq;
    f.reset();
}

// Silent: script dialogs answer as dismissed ones, without showing.
TEST_F(Page, SilentDialogs) {
    Hosted f(true);
    f.Load("data:text/html,<script>alert('a');document.title='d:'+confirm('c')+':'+prompt('p','x')</script>");
    f.WaitTitle("d:", 5000);
    EXPECT_EQ(f.ev.Title(), "d:false:null") << "silent-dialogs";
}

// The parent window goes first: the control stays safe to use and to delete.
TEST_F(Page, ParentGoesFirst) {
    Hosted f(true);
    f.Load("data:text/html,<span id=a>x</span>");
    f.win.Destroy();
    Settle(100);
    f.browser->Navigate("data:text/html,y");
    f.browser->Move(fw::Rect::FromXYWH(0, 0, 10, 10));
    f.browser->Refresh();
    bool answered = false;
    auto t = Find(*f.browser, "span", "a", &answered);
    EXPECT_TRUE(answered && !t) << "parent-gone-find-answers-none";
    EXPECT_FALSE(f.browser->IsVisible()) << "parent-gone-not-visible";
    f.browser.reset();
    Settle(100);
    SUCCEED() << "parent-gone-delete";
}

}  // namespace
}  // namespace bridge_e2e
