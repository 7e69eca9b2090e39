// Runs first, before anything has run the main loop (early_test.cpp comes first on the link
// line): the browser module is still loading, so the controls exist before their views. What
// a control is asked meanwhile is done once its view is there, in order and with the last
// rectangle; a control deleted before that never answers its document walk; one that quit
// lets its host go at once and tells nothing later.
#include <gtk/gtk.h>

#include "bridge_e2e.h"

namespace bridge_e2e {
namespace {

using Early = Scenario;

TEST_F(Early, BeforeTheModule) {
    auto gone = std::make_unique<Hosted>(true);
    Hosted quitter(true);
    Hosted f(true);
    ASSERT_TRUE(f.browser && gone->browser && quitter.browser) << "early-create";
    EXPECT_EQ(ViewIn(f.win), nullptr) << "early-create-does-not-wait-for-the-engine";
    EXPECT_TRUE(f.browser->IsVisible()) << "early-visible";

    bool goneAnswered = false;
    gone->browser->Navigate("data:text/html,<span id=usr>gone</span>");
    gone->browser->FindElementText("span", "usr", [&](std::optional<std::string>) { goneAnswered = true; });
    gone->browser.reset();

    std::string first = "data:text/html,<title>first</title>";
    std::string url = "file://" + g_options.pages + "/bridge_page.html";
    f.browser->Move(fw::Rect::FromXYWH(10, 20, 400, 300));
    f.browser->Show(false);
    f.browser->Show(true);
    f.browser->Navigate(first);
    f.browser->Navigate(url);
    EXPECT_EQ(f.browser->LocationUrl(), url) << "early-location-url";
    std::vector<std::string> order;
    f.browser->FindElementText("span", "usr", [&](std::optional<std::string>) { order.push_back("walk"); });
    EXPECT_TRUE(order.empty()) << "early-walk-waits";

    ULONG hostRefs = quitter.host->AddRef();
    quitter.host->Release();
    quitter.browser->Navigate("data:text/html,<title>never</title>");
    quitter.browser->Quit();
    ULONG afterQuit = quitter.host->AddRef();
    quitter.host->Release();
    EXPECT_LT(afterQuit, hostRefs) << "early-quit-lets-host-go";
    EXPECT_EQ(quitter.browser->LocationUrl(), "about:blank") << "early-quit-blank";

    gone.reset();  // runs the main loop for a moment: the module arrives meanwhile
    bool loaded = WaitFor([&] { return !f.ev.completed.empty(); }, 15000);
    EXPECT_TRUE(loaded && f.ev.completed.back() == url)
        << "early-navigation-done: " << (f.ev.completed.empty() ? "none" : f.ev.completed.back());
    EXPECT_EQ(order.size(), 1u) << "early-walk-answered";
    EXPECT_TRUE(!f.ev.before.empty() && f.ev.before.front() == first)
        << "early-navigations-in-order: " << (f.ev.before.empty() ? "none" : f.ev.before.front());
    WebKitWebView* view = ViewIn(f.win);
    EXPECT_NE(view, nullptr) << "early-view-made";
    if (view) {
        GtkAllocation a;
        gtk_widget_get_allocation(GTK_WIDGET(view), &a);
        EXPECT_TRUE(a.x == 10 && a.y == 20 && a.width == 400 && a.height == 300)
            << "early-last-rectangle: " << a.x << "," << a.y << " " << a.width << "x" << a.height;
    }
    bool answered = false;
    auto tom = Find(*f.browser, "span", "usr", &answered);
    EXPECT_TRUE(answered && tom && *tom == "Tom") << "early-then-direct: " << (tom ? *tom : "(none)");
    Settle(200);
    EXPECT_FALSE(goneAnswered) << "early-deleted-never-answers";
    EXPECT_TRUE(quitter.ev.before.empty() && quitter.ev.completed.empty() && quitter.ev.titles.empty())
        << "early-quit-no-events";
    EXPECT_EQ(quitter.browser->LocationUrl(), "about:blank") << "early-quit-stays-blank";
}

}  // namespace
}  // namespace bridge_e2e
