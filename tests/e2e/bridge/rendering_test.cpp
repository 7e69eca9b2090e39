// How the control's pages are drawn and placed: compositing as asked for and as the machine
// allows, a parent window left unpainted by its child's frames, scroll bars, a hidden parent,
// and the control's rectangle.
#include <gtk/gtk.h>

#include <cstdlib>

#include "bridge_e2e.h"
#include "fw/canvas.h"
#include "fw/gtk/browser_loader.h"
#include "fw/gtk/gtk_native.h"
#include "fw/gtk/rendering_path.h"

namespace bridge_e2e {
namespace {

using Rendering = Scenario;

// Pages of a control made without acceleration are never composited; a control that asks
// for acceleration gets it only where the machine draws GL in hardware, or where RV_RENDERING
// says so. A software path settled before the engine starts turns its DMA-BUF renderer off.
TEST_F(Rendering, Acceleration) {
    Hosted plain(true);
    Hosted light(true, 0x0C, true, true, fw::BrowserOptions{false});
    plain.Load("data:text/html,a");
    light.Load("data:text/html,b");
    WebKitWebView* pv = ViewIn(plain.win);
    WebKitWebView* lv = ViewIn(light.win);
    ASSERT_TRUE(pv && lv) << "acceleration: no view";
    auto policy = [](WebKitWebView* v) {
        return webkit_settings_get_hardware_acceleration_policy(webkit_web_view_get_settings(v));
    };
    EXPECT_EQ(policy(lv), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER) << "no-acceleration-never-composited";
    const bool accelerated = fw::gtk::browser::Accelerated(true);
    EXPECT_FALSE(fw::gtk::browser::Accelerated(false)) << "no-acceleration-asked-none-given";
    EXPECT_EQ(policy(pv) != WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, accelerated)
        << "asked-acceleration-follows-the-choice";
    const std::string forced = g_getenv("RV_RENDERING") ? g_getenv("RV_RENDERING") : "";
    const char* dmabuf = g_getenv("WEBKIT_DISABLE_DMABUF_RENDERER");
    if (forced == "accelerated") {
        EXPECT_TRUE(accelerated) << "forced-accelerated";
        EXPECT_FALSE(dmabuf) << "forced-accelerated-keeps-dmabuf";
    } else if (forced == "software") {
        EXPECT_FALSE(accelerated) << "forced-software";
        EXPECT_TRUE(dmabuf && std::string(dmabuf) == "1") << "forced-software-no-dmabuf";
    } else if (!fw::gtk::rendering::HasRenderNode("/dev/dri")) {
        EXPECT_FALSE(accelerated) << "no-render-node-software";
        EXPECT_TRUE(dmabuf && std::string(dmabuf) == "1") << "no-render-node-no-dmabuf";
    }
}

// A window is not painted again for what its browser child draws: while the child shows an
// animated page, GTK draws the parent under the view at every frame, and that only copies the
// parent's back buffer. Invalidating the parent still paints it.
class PaintCounter : public fw::Window {
public:
    int paints = 0;

protected:
    void OnPaint(fw::Canvas& canvas) override {
        ++paints;
        canvas.FillRect(fw::Rect::FromXYWH(0, 0, 600, 400), 0xFF336699);
    }
};

TEST_F(Rendering, ChildFramesLeaveTheParentUnpainted) {
    PaintCounter win;
    fw::CreateParams p;
    p.caption = "bridge-e2e-paint";
    p.style = fw::kPopup | fw::kVisible;
    p.rect = fw::Rect::FromXYWH(120, 120, 600, 400);
    win.Create(p);
    auto browser = fw::BrowserControl::Create(win, 176, fw::Rect::FromXYWH(100, 50, 400, 300));
    ASSERT_TRUE(browser) << "child-frames: no control";
    Events ev;
    browser->SetEvents(&ev);
    browser->Navigate(
        "data:text/html,<body style='margin:0'><div id=d style='width:400px;height:300px'></div><script>"
        "var n=0;function f(){n++;document.getElementById('d').style.background='rgb('+(n%256)+',0,0)';"
        "document.title='f'+n;requestAnimationFrame(f)}requestAnimationFrame(f)</script></body>");
    ASSERT_TRUE(WaitFor([&] { return ev.Title().rfind("f", 0) == 0; }, 15000)) << "child-frames: no frames";
    Settle(300);
    auto frames = [&] { return std::atoi(ev.Title().c_str() + 1); };
    const int paints0 = win.paints, frames0 = frames();
    Settle(1000);
    const int drawn = frames() - frames0, painted = win.paints - paints0;
    // The page must really animate for the count to mean anything.
    EXPECT_GE(drawn, 5) << "child-frames-animate: " << drawn << " frames";
    EXPECT_EQ(painted, 0) << "child-frames-no-parent-paint: " << painted << " paints of the parent over " << drawn
                          << " frames";
    win.Invalidate();
    EXPECT_TRUE(WaitFor([&] { return win.paints > paints0 + painted; }, 2000)) << "invalidated-parent-paints";
    browser.reset();
    win.Destroy();
    Settle(50);
}

TEST_F(Rendering, ScrollBarsWithoutFlag) {
    Hosted f(true, 0);
    f.Load("file://" + g_options.pages + "/bridge_page.html");
    WebKitWebView* view = ViewIn(f.win);
    std::string bar = view ? EvalJs(view, "String(window.innerWidth - document.documentElement.clientWidth)") : "?";
    std::printf("INFO scroll bar width without DOCHOSTUIFLAG_SCROLL_NO: %s px\n", bar.c_str());
    EXPECT_NE(bar, "0") << "scroll-bars-shown-without-flag";
}

// The page dialog loads its first page while hidden.
TEST_F(Rendering, HiddenParent) {
    Hosted f(true, 0x0C, true, false);
    bool loaded =
        f.Load("data:text/html,<script>document.title='ext:'+window.external.WD_JAPI('getApiVersion')</script>");
    EXPECT_TRUE(loaded) << "hidden-parent-document-complete";
    f.WaitTitle("ext:", 5000);
    EXPECT_EQ(f.ev.Title(), "ext:1") << "hidden-parent-bridge";
    f.win.Show(fw::ShowCmd::Show);
    Settle(300);
    WebKitWebView* view = ViewIn(f.win);
    std::string size = view ? EvalJs(view, "window.innerWidth + 'x' + window.innerHeight") : "?";
    EXPECT_EQ(size, "800x600") << "hidden-parent-shown-size";
}

// Geometry: the control's rectangle is the view's, even one larger than the parent, and it
// never makes the parent larger.
TEST_F(Rendering, Geometry) {
    Hosted f(true);
    f.Load("data:text/html,<p>size</p>");
    WebKitWebView* view = ViewIn(f.win);
    ASSERT_NE(view, nullptr) << "geometry: no view";
    f.browser->Move(fw::Rect::FromXYWH(10, 20, 400, 300));
    Settle(300);
    std::string size = EvalJs(view, "window.innerWidth + 'x' + window.innerHeight");
    EXPECT_EQ(size, "400x300") << "move";
    GtkAllocation a;
    gtk_widget_get_allocation(GTK_WIDGET(view), &a);
    EXPECT_TRUE(a.x == 10 && a.y == 20) << "move-position: " << a.x << "," << a.y;

    f.browser->Move(fw::Rect::FromXYWH(0, 0, 1129, 583));  // as the page dialog does before its first WM_SIZE
    f.win.SetPos(fw::Rect::FromXYWH(100, 100, 788, 387), fw::kNoZOrder);
    Settle(600);
    GtkWindow* top = fw::gtk::ToplevelOf(f.win.native());
    int w = 0, h = 0;
    gtk_window_get_size(top, &w, &h);
    EXPECT_TRUE(w == 788 && h == 387) << "larger-control-keeps-parent-size: " << w << "x" << h;
    size = EvalJs(view, "window.innerWidth + 'x' + window.innerHeight");
    EXPECT_EQ(size, "1129x583") << "larger-control-size";

    f.browser->Show(false);
    EXPECT_TRUE(!f.browser->IsVisible() && !gtk_widget_get_visible(GTK_WIDGET(view))) << "hide";
    f.browser->Show(true);
    EXPECT_TRUE(f.browser->IsVisible()) << "show";
}

}  // namespace
}  // namespace bridge_e2e
