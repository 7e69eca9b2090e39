// Run from a folder whose browser module is missing (--module-missing) or cannot be loaded
// (--module-broken; run_bridge_e2e.sh makes the folder): the program carries on, controls
// cannot be made (one that was made before the load failed shows nothing and answers no
// walk), and clearing the website data still finishes. Only these modes run these tests.
#include "bridge_e2e.h"
#include "fw/gtk/browser_webkit.h"

namespace bridge_e2e {
namespace {

void CheckWithoutModule(bool missing) {
    TestWindow win;
    fw::CreateParams p;
    p.caption = "bridge-e2e";
    p.style = fw::kPopup | fw::kVisible;
    p.rect = fw::Rect::FromXYWH(100, 100, 400, 300);
    win.Create(p);
    auto early = fw::BrowserControl::Create(win, 174, fw::Rect::FromXYWH(0, 0, 400, 300));
    // A missing module is known at once; a broken one only when its load has ended.
    if (missing)
        EXPECT_FALSE(early) << "missing-module-no-control";
    else
        EXPECT_TRUE(early) << "broken-module-control-before-the-load-ends";
    bool answered = false;
    std::optional<std::string> text = "x";
    if (early) {
        early->Navigate("data:text/html,<span id=a>x</span>");
        early->FindElementText("span", "a", [&](std::optional<std::string> t) {
            answered = true;
            text = std::move(t);
        });
    }
    bool cleared = false;
    fw::gtk::ClearWebsiteDataExceptCookies([&] { cleared = true; });
    EXPECT_FALSE(cleared) << "without-module-clear-not-before-return";
    EXPECT_TRUE(WaitFor([&] { return cleared; }, 10000)) << "without-module-clear-finishes";
    if (early) {
        WaitFor([&] { return answered; }, 5000);
        EXPECT_TRUE(answered && !text) << "broken-module-walk-answers-none";
        EXPECT_TRUE(!early->IsVisible() && ViewIn(win) == nullptr) << "broken-module-no-view";
        early->Navigate("data:text/html,y");
        early->Quit();
        early.reset();
    }
    EXPECT_FALSE(fw::BrowserControl::Create(win, 175, fw::Rect::FromXYWH(0, 0, 10, 10))) << "without-module-no-control";
    win.Destroy();
}

using WithoutModule = Scenario;

TEST_F(WithoutModule, Missing) { CheckWithoutModule(true); }
TEST_F(WithoutModule, Broken) { CheckWithoutModule(false); }

}  // namespace
}  // namespace bridge_e2e
