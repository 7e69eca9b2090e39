// End-to-end check of the GTK browser control and its synchronous window.external, with a
// host object and an external object of its own (the client's are not needed), under a real
// X display (Xvfb). GoogleTest runs the scenarios (one file of tests per kind, bridge_e2e.h);
// this is the program's entry, with the modes that the callers ask for by name:
//
//   bridge_e2e --pages DIR [--portal http://127.0.0.1:PORT] [--bench-only | --launcher-only]
//   bridge_e2e --module-missing | --module-broken | --rendering-only
//
// DIR holds bridge_page.html. With --portal it also loads the portal's launcher page (its
// iframe asks for the API version too) and the bridge benchmark; --launcher-only loads just
// the launcher page (the time from start to its first DocumentComplete), --bench-only runs
// just the benchmark. The --module modes are run from a folder without a usable browser
// module (run_bridge_e2e.sh makes one); --rendering-only checks the rendering path under an
// RV_RENDERING of the caller's. Each mode is a filter of the tests (a --gtest_filter given
// on the command line takes its place). Measurements are printed as INFO lines; the exit
// status is GoogleTest's (1 when a check failed).
//
// The scenarios run in the order of the files on the link line (tests/e2e/bridge/
// CMakeLists.txt): the first (early_test.cpp) must run before anything has run the main
// loop, and those that end the engine's processes come late.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "bridge_e2e.h"
#include "fw/app.h"
#include "fw/gtk/gtk_native.h"

namespace bridge_e2e {

Options g_options;

namespace {

// Starts the platform on the display before the first scenario; the scenarios run its main
// loop themselves while they wait (WaitFor, Settle).
class GtkDisplay : public testing::Environment {
public:
    GtkDisplay(int argc, char** argv) : argc_(argc), argv_(argv) {}
    void SetUp() override {
        fw::InitPlatform(argc_, argv_);
        ASSERT_TRUE(fw::gtk::Ready()) << "GTK could not be started on the display";
    }

private:
    int argc_;
    char** argv_;
};

}  // namespace

}  // namespace bridge_e2e

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    using bridge_e2e::g_options;
    bool benchOnly = false, launcherOnly = false, moduleMissing = false, moduleBroken = false, renderingOnly = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--pages" && k + 1 < argc)
            g_options.pages = argv[++k];
        else if (a == "--portal" && k + 1 < argc)
            g_options.portal = argv[++k];
        else if (a == "--bench-only")
            benchOnly = true;
        else if (a == "--launcher-only")
            launcherOnly = true;
        else if (a == "--module-missing")
            moduleMissing = true;
        else if (a == "--module-broken")
            moduleBroken = true;
        else if (a == "--rendering-only")
            renderingOnly = true;
    }
    std::string filter = "-WithoutModule.*";  // the whole run: every scenario that has a module
    if (moduleMissing)
        filter = "WithoutModule.Missing";
    else if (moduleBroken)
        filter = "WithoutModule.Broken";
    else if (renderingOnly)
        filter = "Rendering.Acceleration";
    else if (launcherOnly)
        filter = "Portal.Launcher";
    else if (benchOnly)
        filter = "Bench.*";
    if (std::string(GTEST_FLAG_GET(filter)) == "*") GTEST_FLAG_SET(filter, filter);

    const bool plain = !moduleMissing && !moduleBroken && !renderingOnly;
    if (plain && g_options.pages.empty() && !benchOnly && !launcherOnly && !GTEST_FLAG_GET(list_tests)) {
        std::fprintf(stderr,
                     "usage: bridge_e2e --pages DIR [--portal URL] [--bench-only | --launcher-only]\n"
                     "       bridge_e2e --module-missing | --module-broken | --rendering-only\n");
        return 2;
    }
    // Classic scroll bars, which take room in the layout: the page can tell whether they are there.
    if (plain) g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
    testing::AddGlobalTestEnvironment(new bridge_e2e::GtkDisplay(argc, argv));
    return RUN_ALL_TESTS();
}
