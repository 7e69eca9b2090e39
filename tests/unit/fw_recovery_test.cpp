// Bringing pages back and keeping them in bounds, at the framework's level on the headless
// desktop: the growing pauses, the reload of a page whose engine process ended, the scripted
// browser's refresh, failed load and crash, the guard on what pages send to the default
// browser. (The sweep of socket folders left behind: fw_stale_sockets_test_posix.cpp.)
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fw/browser.h"
#include "fw/headless/browser.h"
#include "fw/headless/desktop.h"
#include "fw/page_recovery.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "test_support.h"

namespace {

namespace hl = fw::headless;
namespace fs = std::filesystem;

// A window whose timers reach a PageRecovery, and which counts the reloads it asks for.
class Host : public fw::Window {
public:
    static constexpr unsigned kTimer = 7;
    Host() { Create({"host", fw::kPopup, {0, 0, 100, 100}, nullptr, 0}); }
    ~Host() override { Destroy(); }
    int reloads = 0;
    std::vector<std::uint64_t> reloadTimes;
    fw::PageRecovery recovery{*this, kTimer, [this] {
                                  ++reloads;
                                  reloadTimes.push_back(hl::NowMs());
                              }};

protected:
    void OnTimer(unsigned id) override { recovery.OnTimer(id); }
};

// Records what a browser control raises.
struct Sink : fw::BrowserEvents {
    std::vector<std::string> log;
    void BeforeNavigate2(const std::string& url, bool&) override { log.push_back("before " + url); }
    void NavigateComplete2(const std::string& url) override { log.push_back("navigated " + url); }
    void DocumentComplete(const std::string& url) override { log.push_back("complete " + url); }
    void NavigateError(const std::string& url) override { log.push_back("error " + url); }
    void NewWindow3(const std::string& url, unsigned flags, bool&) override {
        log.push_back("new " + url + " " + std::to_string(flags));
    }
    void EngineProcessEnded(fw::EngineExit why) override {
        log.push_back(why == fw::EngineExit::OutOfMemory ? "ended memory" : "ended crash");
    }
};

class Recovery : public testing::Test {
protected:
    void SetUp() override { hl::Reset(); }
};

TEST(Backoff, DoublesUpToTheCapAndStartsAgainAfterAReset) {
    fw::Backoff b(2000, 30000);
    std::vector<unsigned> got;
    for (int k = 0; k < 7; ++k) got.push_back(b.Next());
    EXPECT_EQ(got, (std::vector<unsigned>{2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    b.Reset();
    EXPECT_EQ(b.Next(), 2000u);
    // A cap below the first pause holds from the start; a cap that is a power of two is hit.
    fw::Backoff low(5000, 3000);
    EXPECT_EQ(low.Next(), 3000u);
    EXPECT_EQ(low.Next(), 3000u);
    fw::Backoff exact(1, 8);
    for (unsigned want : {1u, 2u, 4u, 8u, 8u}) EXPECT_EQ(exact.Next(), want);
}

TEST_F(Recovery, AnEndedPageIsLoadedAgainAtOnceThenAfterGrowingPauses) {
    Host h;
    ASSERT_TRUE(h.IsWindow());
    h.recovery.EngineEnded(fw::EngineExit::Crashed);
    EXPECT_EQ(h.reloads, 1);  // at once, without a timer
    EXPECT_FALSE(h.recovery.waiting());

    // It dies again soon after each reload: 2, 4, 8 s of rest, no reload in between.
    const unsigned pauses[] = {2000, 4000, 8000};
    for (unsigned pause : pauses) {
        hl::AdvanceClock(500);
        h.recovery.EngineEnded(fw::EngineExit::OutOfMemory);
        const int before = h.reloads;
        EXPECT_TRUE(h.recovery.waiting());
        h.recovery.EngineEnded(fw::EngineExit::Crashed);  // no second pause while one runs
        hl::AdvanceClock(pause - 1);
        EXPECT_EQ(h.reloads, before) << pause;
        hl::AdvanceClock(1);
        EXPECT_EQ(h.reloads, before + 1) << pause;
        EXPECT_FALSE(h.recovery.waiting());
    }
    EXPECT_EQ(h.reloadTimes, (std::vector<std::uint64_t>{0, 2500, 7000, 15500}));
    EXPECT_TRUE(hl::Info(h).timers.empty());  // nothing runs while the page lives

    // A page that lived long enough since its last reload counts as healthy: at once again,
    // and the next quick death rests 2 s, not 16.
    hl::AdvanceClock(fw::PageRecovery::kHealthyAfterMs);
    h.recovery.EngineEnded(fw::EngineExit::Crashed);
    EXPECT_EQ(h.reloads, 5);
    h.recovery.EngineEnded(fw::EngineExit::Crashed);
    hl::AdvanceClock(2000);
    EXPECT_EQ(h.reloads, 6);
}

TEST_F(Recovery, TheLongestPauseIsHalfAMinuteAndCancelDropsTheReload) {
    Host h;
    h.recovery.EngineEnded(fw::EngineExit::Crashed);
    for (int k = 0; k < 6; ++k) {
        h.recovery.EngineEnded(fw::EngineExit::Crashed);
        hl::AdvanceClock(fw::PageRecovery::kLongestPauseMs);
    }
    const std::uint64_t before = hl::NowMs();
    h.recovery.EngineEnded(fw::EngineExit::Crashed);
    hl::AdvanceClock(fw::PageRecovery::kLongestPauseMs - 1);
    EXPECT_TRUE(h.recovery.waiting());
    hl::AdvanceClock(1);
    EXPECT_EQ(h.reloadTimes.back(), before + fw::PageRecovery::kLongestPauseMs);

    const int reloads = h.reloads;
    h.recovery.EngineEnded(fw::EngineExit::Crashed);
    h.recovery.Cancel();
    EXPECT_FALSE(h.recovery.waiting());
    EXPECT_TRUE(hl::Info(h).timers.empty());
    hl::AdvanceClock(60000);
    EXPECT_EQ(h.reloads, reloads);
}

TEST_F(Recovery, ARecoveryThatGoesLeavesNoTimerBehind) {
    Host w;  // a window that outlives the recovery below
    int reloads = 0;
    {
        fw::PageRecovery r(w, 3, [&] { ++reloads; });
        r.EngineEnded(fw::EngineExit::Crashed);
        r.EngineEnded(fw::EngineExit::Crashed);  // waits 2 s on the window's timer 3
        EXPECT_EQ(hl::Info(w).timers, (std::vector<unsigned>{3}));
    }
    EXPECT_TRUE(hl::Info(w).timers.empty());
    hl::AdvanceClock(5000);
    EXPECT_EQ(reloads, 1);
}

// ---- the scripted browser ----------------------------------------------------------------

class ScriptedControl : public testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        control = fw::BrowserControl::Create(parent, 1, {0, 0, 10, 10});
        ASSERT_NE(control, nullptr);
        control->SetEvents(&sink);
        page = hl::FindBrowser(parent, 1);
        ASSERT_NE(page, nullptr);
    }
    Host parent;
    Sink sink;
    std::unique_ptr<fw::BrowserControl> control;
    hl::ScriptedBrowser* page = nullptr;
};

TEST_F(ScriptedControl, ARefreshLoadsThePageAgainWithoutNavigationEvents) {
    control->Navigate("http://p/a");
    page->CompleteLoad();
    // The page itself moves to a client link; the load goes through.
    EXPECT_FALSE(page->BeforeNavigate("http://p/play?client = 1"));
    page->NavigateComplete("http://p/play?client = 1");
    page->DocumentComplete("http://p/play?client = 1");
    sink.log.clear();

    control->Refresh();
    page->CompleteLoad();
    EXPECT_EQ(sink.log,
              (std::vector<std::string>{"navigated http://p/play?client = 1", "complete http://p/play?client = 1"}));
    EXPECT_EQ(page->refreshes(), 1);
    EXPECT_EQ(page->navigations(), (std::vector<std::string>{"http://p/a"}));

    // A refresh that fails tells so, again without BeforeNavigate2.
    sink.log.clear();
    control->Refresh();
    page->FailLoad();
    EXPECT_EQ(sink.log, (std::vector<std::string>{"error http://p/play?client = 1"}));
}

TEST_F(ScriptedControl, AFailedNavigationIsAnnouncedThenReported) {
    control->Navigate("http://down/");
    page->FailLoad();
    EXPECT_EQ(sink.log, (std::vector<std::string>{"before http://down/", "error http://down/"}));
}

TEST_F(ScriptedControl, TheEngineEndsOnceUntilThePageIsLoadedAgain) {
    control->Navigate("http://p/a");
    page->CompleteLoad();
    sink.log.clear();
    page->CrashEngine(fw::EngineExit::OutOfMemory);
    page->CrashEngine();  // dead already: nothing more
    EXPECT_EQ(sink.log, (std::vector<std::string>{"ended memory"}));
    EXPECT_FALSE(page->engineRunning());
    control->Refresh();
    EXPECT_TRUE(page->engineRunning());
    page->CrashEngine();
    EXPECT_EQ(sink.log.back(), "ended crash");

    // A control that has quit hears nothing of its engine.
    control->Navigate("http://p/b");
    control->Quit();
    sink.log.clear();
    page->CrashEngine();
    EXPECT_TRUE(sink.log.empty());
}

// ---- what pages may send to the default browser --------------------------------------------

constexpr unsigned kClick = fw::NWMF_USERINITED | fw::NWMF_FIRST;

TEST_F(Recovery, OneDefaultBrowserStartPerClickAndAFewInAShortTime) {
    // One click whose script asks 200 times: the first goes, the rest are dropped.
    EXPECT_TRUE(fw::ShellOpenFromPage("http://a/0", kClick));
    for (int k = 1; k < 200; ++k)
        EXPECT_FALSE(fw::ShellOpenFromPage("http://a/" + std::to_string(k), fw::NWMF_USERINITED));
    EXPECT_EQ(hl::ShellOpens(), (std::vector<std::string>{"http://a/0"}));

    // Clicks in a row: three within ten seconds, then nothing until the oldest is ten
    // seconds old.
    hl::AdvanceClock(1000);
    EXPECT_TRUE(fw::ShellOpenFromPage("http://b/1", kClick));
    hl::AdvanceClock(1000);
    EXPECT_TRUE(fw::ShellOpenFromPage("http://b/2", kClick));
    EXPECT_FALSE(fw::ShellOpenFromPage("http://b/3", kClick));
    hl::AdvanceClock(fw::kPageOpenWindowMs - 2001);
    EXPECT_FALSE(fw::ShellOpenFromPage("http://b/4", kClick));
    hl::AdvanceClock(1);  // the first is ten seconds old
    EXPECT_TRUE(fw::ShellOpenFromPage("http://b/5", kClick));
    EXPECT_FALSE(fw::ShellOpenFromPage("http://b/6", kClick));
    EXPECT_EQ(hl::ShellOpens().size(), 4u);
    EXPECT_EQ(hl::ShellOpens().back(), "http://b/5");
}

TEST_F(Recovery, PagesCannotOpenLocalThingsOrOpenWithoutAUser) {
    EXPECT_FALSE(fw::ShellOpenFromPage("file:///etc/passwd", kClick));
    EXPECT_FALSE(fw::ShellOpenFromPage("javascript:alert(1)", kClick));
    EXPECT_FALSE(fw::ShellOpenFromPage("C:\\Windows\\notepad.exe", kClick));
    EXPECT_FALSE(fw::ShellOpenFromPage("http://a/by-itself", 0));
    EXPECT_FALSE(fw::ShellOpenFromPage("http://a/first-flag-alone", fw::NWMF_FIRST));
    EXPECT_TRUE(hl::ShellOpens().empty());
    // Refused requests do not use up the burst.
    for (int k = 0; k < fw::kPageOpenBurst; ++k) EXPECT_TRUE(fw::ShellOpenFromPage("https://a/ok", kClick));
    EXPECT_TRUE(fw::RequireWebAddress("HTTPS://a/", "test"));
    EXPECT_FALSE(fw::RequireWebAddress("file:///x", "test"));
    EXPECT_FALSE(fw::RequireWebAddress(" http://a/", "test"));
}

}  // namespace
