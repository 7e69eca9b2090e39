#pragma once
// What the scenarios of bridge_e2e share (the program: bridge_e2e_main.cpp): the options it
// was started with, the GTK main loop run until something holds, the client's events as a
// control raised them, a control in a window of its own with the fake host object
// (bridge_e2e_fakes.h), and ways to look at the page from outside (WebKit itself, xdotool).
//
// Every scenario is a test of the fixture Scenario, under the name of its file's suite; the
// GoogleTest environment of bridge_e2e_main.cpp has started the platform on the display.
#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge_e2e_fakes.h"
#include "fw/browser.h"
#include "fw/window.h"

namespace bridge_e2e {

using Clock = std::chrono::steady_clock;
extern const Clock::time_point g_start;  // the program's start, for the measurements

// The program's options (bridge_e2e_main.cpp): the folder of bridge_page.html, and the local
// portal's address (http://127.0.0.1:PORT) or "" without one.
struct Options {
    std::string pages, portal;
};
extern Options g_options;

double MsSince(Clock::time_point t);

// Runs the main loop until `done` holds or the time is up.
bool WaitFor(const std::function<bool()>& done, int ms);
void Settle(int ms);

// BW_TRACE=1 prints every event (for looking into a failure).
void Trace(const char* what, const std::string& arg);

struct Events : fw::BrowserEvents {
    std::vector<std::string> before, navigated, completed, newWindows, titles, errors;
    std::vector<unsigned> newWindowFlags;
    std::vector<fw::EngineExit> ended;
    int closing = 0;
    bool cancelNewWindows = true;
    Clock::time_point firstComplete{};
    void BeforeNavigate2(const std::string& url, bool& cancel) override {
        Trace("BeforeNavigate2", url);
        before.push_back(url);
        if (url.find("cancel-me") != std::string::npos) cancel = true;
    }
    void NavigateComplete2(const std::string& url) override {
        Trace("NavigateComplete2", url);
        navigated.push_back(url);
    }
    void DocumentComplete(const std::string& url) override {
        Trace("DocumentComplete", url);
        if (completed.empty()) firstComplete = Clock::now();
        completed.push_back(url);
    }
    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override {
        Trace("NewWindow3", url);
        newWindows.push_back(url);
        newWindowFlags.push_back(flags);
        cancel = cancelNewWindows;
    }
    void WindowClosing(bool&) override {
        Trace("WindowClosing", "");
        ++closing;
    }
    void TitleChange(const std::string& t) override {
        Trace("TitleChange", t);
        titles.push_back(t);
    }
    void NavigateError(const std::string& url) override {
        Trace("NavigateError", url);
        errors.push_back(url);
    }
    void EngineProcessEnded(fw::EngineExit why) override {
        Trace("EngineProcessEnded", why == fw::EngineExit::OutOfMemory ? "memory" : "crash");
        ended.push_back(why);
    }
    std::string Title() const { return titles.empty() ? "" : titles.back(); }
};

class TestWindow : public fw::Window {};

// The WebKitWebView the control put into the window (for looking at the page from outside).
WebKitWebView* ViewIn(fw::Window& w);
// The script's value as text, "error:..." when it threw, "timeout" when it did not end.
std::string EvalJs(WebKitWebView* view, const std::string& script);
// The control's document walk, waited for; `answered` says whether it answered at all.
std::optional<std::string> Find(fw::BrowserControl& b, const std::string& tag, const std::string& id, bool* answered);
// The pop-up windows of this process that hold a view, and their end.
int PopupViews();
void DestroyPopups();
// A visible menu window of this process (the engine's context menu).
bool MenuShown();
bool HaveXdotool();
void Xdotool(const std::string& args);

// A control in a window of its own (800x600 at 100,100), with the client's events and the
// fake host object in place of its site.
struct Hosted {
    TestWindow win;
    Events ev;
    FakeHost* host = nullptr;
    std::unique_ptr<fw::BrowserControl> browser;

    explicit Hosted(bool withExternal, DWORD flags = 0x0C, bool takeMenu = true, bool visible = true,
                    const fw::BrowserOptions& options = {});
    ~Hosted();
    bool Load(const std::string& url, int ms = 15000);
    bool WaitTitle(const std::string& prefix, int ms);
};

// Every scenario starts with an empty log of what the fake objects saw.
class Scenario : public testing::Test {
protected:
    void SetUp() override { g_log.clear(); }
};

}  // namespace bridge_e2e
