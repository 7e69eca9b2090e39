// The customer service's threads against the UI thread, for ThreadSanitizer (make test runs
// these under it): texts handed over from the chat library's thread while game windows come and
// go, and game windows closed in the middle of a blink, of a heartbeat's pause and of the
// library's call of the callback.
#include <atomic>
#include <thread>

#include "beat_server.h"
#include "chat_double_fixture.h"
#include "game_fixture.h"
#include "side/vipmsg_wnd.h"

using namespace game_test;

namespace {

constexpr const char* kList = "kf_dmor|alice|dmor|1001|vip3|S1|zh-CN|";

class VipThreads : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        ASSERT_TRUE(beats.ok());
        testing_support::WriteFile(dir.file("static.ini"), "[dmor]\nstart=1\nuid=U7\nfilename=S9\n[hosts]\nportal=" +
                                                               beats.host() + "\ncs=cs.test:9000\n");
    }
    BeatServer beats;
    ChatDouble lib;
};

}  // namespace

TEST_F(VipThreads, TheInboxHandsTextsOverFromManyThreads) {
    CRudovGame& g = MakeDirect();
    // A bounded number of texts: callers that never stopped would post faster than one UI
    // thread delivers, and its queue would only grow.
    constexpr int kTexts = 5000;
    std::atomic<int> calling{4};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&calling, t] {
            for (int i = 0; i < kTexts; ++i) {
                const std::string text = "http://cs.test/cs/chat/?sid=S#msg-" + std::to_string(t * 100000 + i);
                chat::ImInbox::OnMessage(text.c_str());
            }
            --calling;
        });
    }
    // Meanwhile the UI thread reads the last text, delivers the posts, and the window stops and
    // starts being the target.
    for (int i = 0; calling > 0 || i < 200; ++i) {
        const std::string last = chat::ImInbox::LastText();
        EXPECT_TRUE(last.empty() || last.rfind("http://cs.test/cs/chat/?sid=S#msg-", 0) == 0) << last;
        if (i % 100 == 0) chat::ImInbox::ClearTarget(g.handle());
        if (i % 100 == 50) chat::ImInbox::SetTarget(g.handle());
        hl::Pump(5);
    }
    for (auto& t : callers) t.join();
    chat::ImInbox::OnMessage(nullptr);  // a null text is no text
    hl::Pump();
}

TEST_F(VipThreads, GameWindowsCloseInABlinkAPauseAndACallOfTheCallback) {
    lib.Install(dir.dir(), "full");
    lib.Answer(1, 1, "http://cs.test:9000/cs/chat/?sid=S1");
    CMainWnd& l = StartLauncher();
    LauncherPage()->CompleteLoad();
    int delivered = lib.Delivered();
    // The rounds vary by 2 (a pause), 3 (a blink; the way of closing) and 4 (late texts): three
    // times their common period meets every mix three times, with different clock steps.
    for (int round = 0; round < 36; ++round) {
        SCOPED_TRACE(round);
        CRudovGame& g = OpenFromPage();
        CallPage("ShowIM", kList);
        hl::Pump();
        ASSERT_TRUE(g.servicesParsed());
        if (round % 2 == 0) {
            // The heartbeat waits out its minute when the window goes.
            ASSERT_TRUE(PumpUntil([] { return Heartbeat::Pausing() >= 1; }));
        }
        if (round % 3 != 2) {
            // A message blinks (and links: a hidden VIP window) before the close.
            lib.Deliver("http://cs.test:9000/cs/chat/?sid=S1#msg-" + std::to_string(round));
            ASSERT_TRUE(lib.WaitDelivered(++delivered));
            ASSERT_TRUE(PumpUntil([&] { return g.vipBlink().running() && g.vipWindow() != nullptr; }));
            hl::AdvanceClock(static_cast<unsigned>(137 * round % 1500));
        }
        // The library calls back while the window closes: texts on their way.
        for (int i = 0; i < round % 4; ++i) lib.Deliver("http://cs.test:9000/cs/chat/?sid=S1#late");
        delivered += round % 4;
        switch (round % 3) {
        case 0: l.Send(WM_GAME_CLOSED); break;
        case 1: hl::KeyDown(g, fw::VK_F4, true); break;
        default: g.Send(fw::WM_SYSCOMMAND, fw::SC_CLOSE, 0); break;
        }
        hl::Pump();
        ASSERT_EQ(l.gameWindow(), nullptr);
        EXPECT_TRUE(GameWindows().empty());
        EXPECT_EQ(Heartbeat::Running(), 0);
    }
    ASSERT_TRUE(lib.WaitDelivered(delivered));
    hl::Pump();
    hl::AdvanceClock(2000);
}
