// The bridge benchmark of the local portal (--portal; skipped without it), run last: the
// calls' cost as the page measures it, printed as an INFO line (--bench-only runs just this).
#include <cstdio>

#include "bridge_e2e.h"

namespace bridge_e2e {
namespace {

using Bench = Scenario;

TEST_F(Bench, Bridge) {
    const std::string& portal = g_options.portal;
    if (portal.empty()) GTEST_SKIP() << "no portal (--portal)";
    Hosted f(true);
    f.Load(portal + "/bench/bridge");
    WaitFor([&] { return f.ev.Title().rfind("bench:", 0) == 0 && f.ev.Title() != "bench:running"; }, 60000);
    std::string t = f.ev.Title();
    std::printf("INFO %s (median getApiVersion us : median unknown-method us : total ms)\n", t.c_str());
    EXPECT_TRUE(t.rfind("bench:", 0) == 0 && t.find("error") == std::string::npos && t != "bench:running")
        << "bench: " << t;
}

}  // namespace
}  // namespace bridge_e2e
