// Over 500 lines: one suite, the customer service from the ShowIM list to the VIP window, sharing its fixture.
// The game window's VIP customer service on the headless desktop, with the tests' chat library
// (chat_double/) in the executable's folder: the service list, the launcher's hand-over of
// ShowIM, the library's calls and their failures, the VIP button and its blink, the link step,
// the VIP window's making, showing and closing, and what the heartbeat sees of it all.
#include <algorithm>

#include "beat_server.h"
#include "chat_double_fixture.h"
#include "game_fixture.h"
#include "side/vipmsg_wnd.h"

using namespace game_test;

namespace {

constexpr const char* kList = "kf_dmor|alice|dmor|1001|vip3|S1|zh-CN|";
constexpr const char* kLink = "http://cs.test:9000/cs/chat/?sid=S1";
constexpr const char* kAskPrefix = SUPPORTIM_ASK_PREFIX_CP936;
const std::vector<std::string> kSetAcc{"setacc", "80008000", "VIPkefu", kAskPrefix, "alice"};
const std::vector<std::string> kSetLnk{"setlnk", "80008000", "VIPkefu", "kf_dmor", kAskPrefix, "alice"};

class VipService : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        ASSERT_TRUE(beats.ok());
        beats.SetAnswer("1");
        testing_support::WriteFile(dir.file("static.ini"), "[dmor]\nstart=1\nuid=U7\nfilename=S9\n[hosts]\nportal=" +
                                                               beats.host() + "\ncs=cs.test:9000\npay=pay.test\n");
    }

    // A game on the launcher page, its title bar painted before any customer service.
    CRudovGame& Play() {
        CRudovGame& g = OpenFromPage();
        LauncherPage()->CompleteLoad();
        bare = hl::PaintWindow(g);
        return g;
    }
    // The launcher page's ShowIM, as the page calls it, and the launcher's hand-over.
    void ShowIM(const std::string& list = kList) {
        CallPage("ShowIM", list);
        hl::Pump();
    }
    // A text from the library's thread, and the messages it makes.
    void Arrive(CRudovGame& g, const std::string& text = std::string(kLink) + "#msg-1") {
        const int before = lib.Delivered();
        lib.Deliver(text);
        ASSERT_TRUE(lib.WaitDelivered(before + 1));
        hl::Pump();  // WM_IM_ARRIVED, posted before the callback returned
        // The message waits: the VIP button blinks, or waits for the window to be shown.
        ASSERT_TRUE(g.vipBlink().running() || HasTimer(g, IDT_BLINK_WAIT_VISIBLE));
    }
    // Nothing waits: no blink, and none waiting for the window.
    static void ExpectNothingWaits(CRudovGame& g) {
        EXPECT_FALSE(g.vipBlink().running());
        EXPECT_FALSE(HasTimer(g, IDT_BLINK_WAIT_VISIBLE));
    }
    // What the VIP button shows with the mouse over it (the hover picture, unless a message
    // waits); the mouse then leaves it.
    int VipHovered(CRudovGame& g) {
        hl::MouseMove(g, Inside(VipButton(g)));
        const int shown = VipShown(g);
        hl::MouseMove(g, {5, 60});
        return shown;
    }

    // What the VIP button's place shows: 0 the bare title bar, else the picture's resource id
    // (-1 for anything else).
    int VipShown(CRudovGame& g) {
        const fw::Bitmap now = hl::PaintWindow(g);
        if (Region(now, VipButton(g)) == Region(bare, VipButton(g))) return 0;
        for (int id : {shared::IDB_VIP_NORMAL, shared::IDB_VIP_HOVER}) {
            std::unique_ptr<fw::Image> img;
            ui::LoadSkinImage(id, img);
            fw::Bitmap expect;
            expect.CopyFrom(bare);
            fw::Canvas c(expect);
            c.DrawImage(img.get(), VipButton(g), {0, 0, 75, 22});
            if (Region(now, VipButton(g)) == Region(expect, VipButton(g))) return id;
        }
        return -1;
    }

    // A game whose customer service runs with the tests' library (its setlnk answers kLink).
    CRudovGame& Chatting() {
        lib.Install(dir.dir(), "full");
        lib.Answer(1, 1, kLink);
        CRudovGame& g = Play();
        ShowIM();
        return g;
    }

    void PressVip(CRudovGame& g) { hl::LButtonDown(g, Inside(VipButton(g))); }

    static hl::ScriptedBrowser* ChatPage(CVipmsgWnd* w) {
        return w ? hl::FindBrowser(*w, CVipmsgWnd::kBrowserId) : nullptr;
    }

    int Count(const std::string& call) const {
        const auto names = lib.CallNames();
        return static_cast<int>(std::count(names.begin(), names.end(), call));
    }

    BeatServer beats;
    ChatDouble lib;
    fw::Bitmap bare;
};

}  // namespace

// ---- the list --------------------------------------------------------------------------------

TEST(VipServiceList, FieldsBetweenTheBars) {
    const chat::ServiceFields untouched{"a", "b", "c", "d", "e", "f", "g"};
    struct Row {
        const char* list;
        bool parsed;
        chat::ServiceFields want;
    } rows[] = {
        {"kf|alice|dmor|1001|vip3|S1|zh-CN|", true, {"kf", "alice", "dmor", "1001", "vip3", "S1", "zh-CN"}},
        // Three values with two bars: the third has no bar after it and is dropped.
        {"kf|alice|dmor", true, {"kf", "alice", "", "", "", "", ""}},
        // No bar: nothing at all.
        {"kf alice dmor", false, untouched},
        {"", false, untouched},
        // Empty values keep their places; text after the seventh bar is dropped.
        {"||dmor||||x|more|than|seven|", true, {"", "", "dmor", "", "", "", "x"}},
        {"|", true, {"", "", "", "", "", "", ""}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.list);
        chat::ServiceFields f = untouched;
        EXPECT_EQ(chat::ParseServiceList(r.list, f), r.parsed);
        EXPECT_EQ(f, r.want);
    }
    // Each value goes to the library in the system's character set.
    chat::ServiceFields f;
    ASSERT_TRUE(chat::ParseServiceList("客服组|玩家甲|dmor|", f));
    EXPECT_EQ(f[0], fw::Utf8ToSystem("客服组"));
    EXPECT_EQ(f[1], fw::Utf8ToSystem("玩家甲"));
}

// ---- the hand-over and the start ---------------------------------------------------------------

TEST_F(VipService, ShowImStartsTheChatTheButtonAndTheHeartbeat) {
    lib.Install(dir.dir(), "full");
    CRudovGame& g = Play();
    EXPECT_TRUE(VipButton(g).IsEmpty());
    EXPECT_EQ(VipShown(g), 0);

    ShowIM();
    ASSERT_EQ(lib.Calls(),
              (std::vector<std::vector<std::string>>{
                  {"init", "cs.test:9000", "80008000", "VIPkefu", "alice", "vip3", "dmor", "S1", "1001", "zh-CN", "cs"},
                  {"ongetlok", "callback"}}));
    EXPECT_TRUE(g.servicesParsed());
    // Left of the payment button; the drag area ends 5 pixels before it.
    EXPECT_EQ(VipButton(g), (fw::Rect{1920 - 471, 9, 1920 - 396, 31}));
    EXPECT_EQ(DragArea(g), (fw::Rect{0, 0, 1920 - 476, 40}));
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_NORMAL);
    hl::MouseMove(g, Inside(VipButton(g)));
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_HOVER);
    hl::MouseMove(g, {5, 60});
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_NORMAL);

    // The first report goes out at once, with fields 2, 3 and 4.
    ASSERT_TRUE(beats.WaitForRequests(1));
    EXPECT_EQ(beats.Targets()[0], "/?m=game&c=heartbeat&userid=alice&g_id=dmor&f_id=1001&type=cs");
    EXPECT_TRUE(g.heartbeat().keepBeating());
}

TEST_F(VipService, NextToTheBindingButtonAndAfterAResize) {
    lib.Install(dir.dir(), "full");
    StartLauncher().SetAccountBound(false);
    CRudovGame& g = Play();
    ShowIM();
    EXPECT_EQ(VipButton(g), (fw::Rect{1920 - 612, 9, 1920 - 537, 31}));
    EXPECT_EQ(DragArea(g).right, 1920 - 617);
    // Restored to 1300 wide: placed again for the new width.
    g.ToggleMaximize();
    ASSERT_EQ(hl::Info(g).rect.Width(), 1300);
    EXPECT_EQ(VipButton(g), (fw::Rect{1300 - 612, 9, 1300 - 537, 31}));
    EXPECT_EQ(DragArea(g).right, 1300 - 617);
}

TEST_F(VipService, TheLauncherDropsShowImWithoutAGameOrAList) {
    lib.Install(dir.dir(), "full");
    StartLauncher();
    LauncherPage()->CompleteLoad();
    ShowIM();  // no game window yet
    EXPECT_EQ(launcher->imParam(), kList);
    EXPECT_FALSE(chat::LibraryLoaded());
    EXPECT_TRUE(lib.Calls().empty());

    CRudovGame& g = Play();
    ShowIM("");                // an empty list
    ShowIM("no bars at all");  // a list that starts nothing
    EXPECT_FALSE(chat::LibraryLoaded());
    EXPECT_FALSE(g.servicesParsed());
    EXPECT_TRUE(VipButton(g).IsEmpty());
    EXPECT_TRUE(beats.Targets().empty());
    // A press where the button would be is no press on it.
    PressVip(g);
    EXPECT_TRUE(lib.Calls().empty());
}

// ---- failures of the library --------------------------------------------------------------------

TEST_F(VipService, WithoutTheLibraryThereIsNoButtonAndNoWord) {
    CRudovGame& g = Play();  // no library in the folder
    ShowIM();
    EXPECT_FALSE(chat::LibraryLoaded());
    EXPECT_TRUE(VipButton(g).IsEmpty());
    EXPECT_EQ(VipShown(g), 0);
    EXPECT_TRUE(hl::MessageBoxes().empty());
    ASSERT_TRUE(beats.WaitForRequests(1));  // the heartbeat runs all the same

    // The list was parsed: a resize places the button, and its press then finds no setacc.
    g.ToggleMaximize();
    ASSERT_FALSE(VipButton(g).IsEmpty());
    PressVip(g);
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(hl::MessageBoxes()[0].text, "DLL函数寻找失败！");
    EXPECT_EQ(hl::MessageBoxes()[0].owner, g.handle());
    EXPECT_EQ(g.vipWindow(), nullptr);
}

TEST_F(VipService, InitMissingOrRefusingStartsNoChat) {
    for (const char* variant : {"without_init", "full"}) {
        SCOPED_TRACE(variant);
        // A folder of its own for each library (a loaded one is not written over).
        const std::filesystem::path folder = dir.path() / variant;
        std::filesystem::create_directories(folder);
        ui::SetModuleDirForTesting((folder / "").string());
        chat::ForgetLibraryForTesting();
        lib.Install((folder / "").string(), variant);
        lib.Answer(0, 1, kLink);  // init refuses (the full library)
        CRudovGame& g = Play();
        ShowIM();
        EXPECT_TRUE(chat::LibraryLoaded());
        EXPECT_EQ(Count("ongetlok"), 0);
        EXPECT_TRUE(VipButton(g).IsEmpty());
        EXPECT_EQ(DragArea(g).right, Button(g, CTitleBar::kPay).left - 5);
        EXPECT_TRUE(hl::MessageBoxes().empty());
        // No callback: what the library has for the player goes nowhere.
        lib.Deliver(kLink);
        hl::Pump();
        ExpectNothingWaits(g);
        launcher->Send(WM_GAME_CLOSED);
        hl::Pump();
    }
}

TEST_F(VipService, OngetlokMissingSaysSoAndTheButtonStillShows) {
    lib.Install(dir.dir(), "without_ongetlok");
    CRudovGame& g = Play();
    ShowIM();
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    const auto& box = hl::MessageBoxes()[0];
    EXPECT_EQ(box.text, "DLL函数寻找失败!");  // the ASCII exclamation mark
    EXPECT_EQ(box.owner, g.handle());
    EXPECT_EQ(lib.CallNames(), std::vector<std::string>{"init"});
    EXPECT_FALSE(VipButton(g).IsEmpty());
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_NORMAL);
}

TEST_F(VipService, SetaccMissingSaysSoOnThePressAndLinksNobody) {
    lib.Install(dir.dir(), "without_setacc");
    lib.Answer(1, 1, kLink);
    CRudovGame& g = Play();
    ShowIM();
    PressVip(g);
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(hl::MessageBoxes()[0].text, "DLL函数寻找失败！");  // the full-width one
    EXPECT_EQ(hl::MessageBoxes()[0].owner, g.handle());
    hl::Pump();
    EXPECT_EQ(Count("setlnk"), 0);
    EXPECT_EQ(g.vipWindow(), nullptr);

    // A message links all the same: the box again, then setlnk, whose answer is not needed.
    Arrive(g);
    EXPECT_EQ(hl::MessageBoxes().size(), 2u);
    EXPECT_EQ(Count("setlnk"), 1);
    ASSERT_NE(g.vipWindow(), nullptr);
    EXPECT_FALSE(g.vipWindow()->showWhenLoaded());
}

TEST_F(VipService, SetlnkMissingDoesNothingAndSaysNothing) {
    lib.Install(dir.dir(), "without_setlnk");
    CRudovGame& g = Play();
    ShowIM();
    PressVip(g);
    hl::Pump();
    EXPECT_EQ(lib.CallNames(), (std::vector<std::string>{"init", "ongetlok", "setacc"}));
    EXPECT_EQ(g.vipWindow(), nullptr);
    // Nobody linked: a message still blinks, and every one tries the link again.
    Arrive(g);
    EXPECT_TRUE(g.vipBlink().running());
    EXPECT_EQ(Count("setacc"), 2);
    Arrive(g);
    EXPECT_EQ(Count("setacc"), 3);
    EXPECT_TRUE(hl::MessageBoxes().empty());
    EXPECT_EQ(g.vipWindow(), nullptr);
}

// ---- the press, the link and the VIP window -----------------------------------------------------

TEST_F(VipService, ThePressLinksAndTheWindowShowsOnceItsPageHasLoaded) {
    lib.Install(dir.dir(), "full");
    CRudovGame& g = Play();
    ShowIM();

    // setacc refuses (not connected yet): nothing follows.
    lib.Answer(1, 0, kLink);
    PressVip(g);
    hl::Pump();
    EXPECT_EQ(lib.Calls().back(), kSetAcc);
    EXPECT_EQ(g.vipWindow(), nullptr);

    lib.Answer(1, 1, kLink);
    PressVip(g);
    const auto calls = lib.Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[3], kSetAcc);
    EXPECT_EQ(calls[4], kSetLnk);
    EXPECT_EQ(g.lastImText(), kLink);
    EXPECT_EQ(g.vipWindow(), nullptr);  // WM_SHOW_VIP is posted
    hl::Pump();
    CVipmsgWnd* vip = g.vipWindow();
    ASSERT_NE(vip, nullptr);
    EXPECT_TRUE(vip->showWhenLoaded());
    EXPECT_EQ(vip->address(), kLink);
    EXPECT_EQ(vip->parent(), &g);
    EXPECT_FALSE(hl::Info(*vip).visible);
    ChatPage(vip)->CompleteLoad();
    EXPECT_TRUE(hl::Info(*vip).visible);

    // Open: a press only brings it up again.
    vip->Show(fw::ShowCmd::Hide);
    PressVip(g);
    hl::Pump();
    EXPECT_TRUE(hl::Info(*vip).visible);
    EXPECT_EQ(g.vipWindow(), vip);
    EXPECT_EQ(lib.Calls().size(), 5u);

    // Linked: a message only blinks.
    Arrive(g);
    EXPECT_TRUE(g.vipBlink().running());
    EXPECT_EQ(lib.Calls().size(), 5u);
}

TEST_F(VipService, AMessageBlinksLinksAndMakesAHiddenWindow) {
    CRudovGame& g = Chatting();
    const std::string text = std::string(kLink) + "#msg-1";
    Arrive(g, text);

    // The link step: setacc, setlnk, a hidden window on setlnk's address.
    const auto calls = lib.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2], kSetAcc);
    EXPECT_EQ(calls[3], kSetLnk);
    CVipmsgWnd* vip = g.vipWindow();
    ASSERT_NE(vip, nullptr);
    EXPECT_FALSE(vip->showWhenLoaded());
    EXPECT_EQ(ChatPage(vip)->navigations(), std::vector<std::string>{kLink});
    ChatPage(vip)->CompleteLoad();
    EXPECT_FALSE(hl::Info(*vip).visible);  // it waits for the player

    // The blink: the button at once, then the bare bar, in 600 ms halves.
    EXPECT_TRUE(g.vipBlink().running());
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_NORMAL);
    std::vector<int> halves;
    for (int i = 0; i < 5; ++i) {
        hl::AdvanceClock(599);
        halves.push_back(VipShown(g));
        hl::AdvanceClock(1);
        halves.push_back(VipShown(g));
    }
    using shared::IDB_VIP_NORMAL;
    EXPECT_EQ(halves, (std::vector<int>{IDB_VIP_NORMAL, 0, 0, IDB_VIP_NORMAL, IDB_VIP_NORMAL, 0, 0, IDB_VIP_NORMAL,
                                        IDB_VIP_NORMAL, 0}));
    // Another message while it blinks: no second link, the blink goes on in its pace.
    Arrive(g, text + "2");
    EXPECT_EQ(lib.Calls().size(), 4u);
    EXPECT_EQ(g.vipBlink().ticks(), 5);
    EXPECT_EQ(g.lastImText(), text + "2");

    // The press brings the window up; the blink goes on until it closes.
    PressVip(g);
    hl::Pump();
    EXPECT_TRUE(hl::Info(*vip).visible);
    EXPECT_EQ(lib.Calls().size(), 4u);
    hl::AdvanceClock(600);
    EXPECT_TRUE(g.vipBlink().running());
}

TEST_F(VipService, ClosingTheWindowEndsTheBlinkTheLinkAndTheHeartbeat) {
    CRudovGame& g = Chatting();
    ASSERT_TRUE(PumpUntil([] { return Heartbeat::Pausing() == 1; }));  // in its minute's pause
    Arrive(g);
    CVipmsgWnd* vip = g.vipWindow();
    ASSERT_NE(vip, nullptr);
    PressVip(g);
    hl::Pump();
    ChatPage(vip)->CompleteLoad();

    // The close cross.
    const fw::Point cross = Inside(vip->closeRect());
    hl::MouseMove(*vip, cross);
    hl::Click(*vip, cross);
    EXPECT_EQ(g.vipWindow(), vip);  // a posted request
    hl::Pump();
    EXPECT_EQ(g.vipWindow(), nullptr);
    ExpectNothingWaits(g);
    EXPECT_FALSE(HasTimer(g, IDT_VIP_BLINK));
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_NORMAL);
    EXPECT_EQ(VipHovered(g), shared::IDB_VIP_HOVER);
    EXPECT_FALSE(g.heartbeat().keepBeating());
    ASSERT_TRUE(PumpUntil([] { return Heartbeat::Running() == 0; }));

    // The next message links again: a new, hidden window, for the message.
    Arrive(g);
    EXPECT_EQ(Count("setacc"), 2);
    EXPECT_EQ(Count("setlnk"), 2);
    ASSERT_NE(g.vipWindow(), nullptr);
    EXPECT_FALSE(g.vipWindow()->showWhenLoaded());
    EXPECT_FALSE(hl::Info(*g.vipWindow()).visible);
    EXPECT_TRUE(g.vipBlink().running());

    // A later ShowIM starts the chat again, never the heartbeat.
    const std::size_t reports = beats.Targets().size();
    ShowIM();
    EXPECT_EQ(Count("init"), 2);
    ExpectNothingWaits(g);  // a new list: nothing waits
    EXPECT_EQ(VipHovered(g), shared::IDB_VIP_HOVER);
    ASSERT_TRUE(PumpUntil([] { return Heartbeat::Running() == 0; }));
    EXPECT_EQ(beats.Targets().size(), reports);
}

TEST_F(VipService, TheBlinkWaitsForAHiddenWindowWhileMessagesFlow) {
    CRudovGame& g = Chatting();
    g.Show(fw::ShowCmd::Hide);  // the boss key
    Arrive(g);
    EXPECT_EQ(Count("setacc"), 0);
    EXPECT_FALSE(g.vipBlink().running());
    EXPECT_TRUE(HasTimer(g, IDT_BLINK_WAIT_VISIBLE));
    hl::AdvanceClock(3000);
    EXPECT_FALSE(g.vipBlink().running());
    ExpectHandlingMessages(g);

    g.Show(fw::ShowCmd::Show);
    hl::AdvanceClock(49);
    EXPECT_FALSE(g.vipBlink().running());
    hl::AdvanceClock(1);
    EXPECT_TRUE(g.vipBlink().running());
    EXPECT_FALSE(HasTimer(g, IDT_BLINK_WAIT_VISIBLE));
    EXPECT_EQ(Count("setacc"), 1);
    EXPECT_EQ(Count("setlnk"), 1);
}

TEST_F(VipService, AnAgentReportedOfflineEndsTheBlink) {
    CRudovGame& g = Chatting();
    Arrive(g);
    CVipmsgWnd* vip = g.vipWindow();
    ASSERT_NE(vip, nullptr);
    hl::ScriptedBrowser* page = ChatPage(vip);
    page->CompleteLoad();
    page->CallExternal("WD_JAPI", {fw::Utf8ToUtf16("DialogBoxTopInfo"), fw::Utf8ToUtf16("Lily|在线|")});
    EXPECT_EQ(vip->title(), "我正在和[Lily]聊天");
    EXPECT_TRUE(g.vipBlink().running());
    page->CallExternal("WD_JAPI", {fw::Utf8ToUtf16("DialogBoxTopInfo"), fw::Utf8ToUtf16("Lily|离线|")});
    EXPECT_EQ(vip->title(), "Lily[离线]");
    ExpectNothingWaits(g);
    EXPECT_EQ(VipShown(g), shared::IDB_VIP_NORMAL);
    EXPECT_EQ(VipHovered(g), shared::IDB_VIP_HOVER);
    EXPECT_EQ(g.vipWindow(), vip);  // the chat stays open
    // Still linked: the next message only blinks.
    Arrive(g);
    EXPECT_TRUE(g.vipBlink().running());
    EXPECT_EQ(Count("setacc"), 1);
    EXPECT_EQ(Count("setlnk"), 1);
}

TEST_F(VipService, ThePageClosesTheWindowThroughTheGameWindow) {
    CRudovGame& g = Chatting();
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way);
        PressVip(g);
        hl::Pump();
        CVipmsgWnd* vip = g.vipWindow();
        ASSERT_NE(vip, nullptr);
        hl::ScriptedBrowser* page = ChatPage(vip);
        page->CompleteLoad();
        if (way == 0) {
            EXPECT_EQ(page->CallExternal("API_close", {}).hr, S_OK);
        } else {
            EXPECT_TRUE(page->WindowClosing());  // cancelled: the page's window stays ...
        }
        EXPECT_TRUE(vip->IsWindow());  // ... and the close is a request
        hl::Pump();
        EXPECT_EQ(g.vipWindow(), nullptr);
        // The chat ended: the next message links again (and makes a hidden window).
        const int links = Count("setlnk");
        Arrive(g);
        EXPECT_EQ(Count("setlnk"), links + 1);
    }
}

TEST_F(VipService, TextsWithoutAGameWindowAreDropped) {
    CRudovGame& g = Chatting();
    Arrive(g, "http://cs.test:9000/cs/chat/?sid=S1#msg-1");
    const std::string last = chat::ImInbox::LastText();
    launcher->Send(WM_GAME_CLOSED);  // the player leaves the game
    hl::Pump();
    ASSERT_EQ(Game(), nullptr);
    const int before = lib.Delivered();
    lib.Deliver("http://cs.test:9000/cs/chat/?sid=S1#msg-2");
    ASSERT_TRUE(lib.WaitDelivered(before + 1));
    hl::Pump();
    EXPECT_EQ(chat::ImInbox::LastText(), last);

    // The next game window hears the library again, once its own list has come.
    CRudovGame& next = OpenFromPage();
    lib.Deliver("http://cs.test:9000/cs/chat/?sid=S1#msg-3");
    ASSERT_TRUE(lib.WaitDelivered(before + 2));
    hl::Pump();
    ExpectNothingWaits(next);  // no service in this window yet
    EXPECT_EQ(chat::ImInbox::LastText(), "http://cs.test:9000/cs/chat/?sid=S1#msg-3");
    ShowIM();
    Arrive(next);
    EXPECT_TRUE(next.vipBlink().running());
}

TEST_F(VipService, ClosingTheGameWindowInTheMiddleOfItAllLeavesNothingBehind) {
    lib.Install(dir.dir(), "full");
    lib.Answer(1, 1, kLink);
    CMainWnd& l = StartLauncher();
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        CRudovGame& g = Play();
        ShowIM();
        if (round % 2 == 0) {
            Arrive(g);
            hl::AdvanceClock(static_cast<unsigned>(round * 250));
        }
        if (round % 3 == 0) {
            hl::KeyDown(g, fw::VK_F4, true);  // closed some other way than by the launcher
        } else {
            l.Send(WM_GAME_CLOSED);
        }
        hl::Pump();
        ASSERT_EQ(l.gameWindow(), nullptr);
        EXPECT_EQ(Heartbeat::Running(), 0);  // joined as the window went
        EXPECT_TRUE(GameWindows().empty());
        hl::AdvanceClock(2000);  // no timer of a closed window fires
    }
}
