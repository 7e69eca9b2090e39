// The VIP customer-service window on the headless desktop, inside a stand-in for the game
// window: its place and size, showing on its first load or not, the title that the chat page's
// reports make, the title bar's painting, the close cross, the keys, new windows, and the three
// close requests it sends instead of closing itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/main_wnd.h"
#include "fw/headless/browser.h"
#include "fw/headless/desktop.h"
#include "fw/message_box.h"
#include "fw/resources.h"
#include "fw/text.h"
#include "game_fixture.h"
#include "game_stand_in.h"
#include "shared/messages.h"
#include "side/vipmsg_wnd.h"
#include "test_support.h"
#include "ui/skin.h"

namespace hl = fw::headless;
using game_test::Inside;
using game_test::Region;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr const char* kChat = "http://cs.test:9000/cs/chat/?sid=S1#msg-2";

class VipWindow : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        ui::SetModuleDirForTesting(dir.dir());
        WriteFile(dir.file("static.ini"), "[dmor]\nhotkey=121\n");
        launcher = std::make_unique<CMainWnd>(CMainWnd::kHiddenStart);
        ASSERT_TRUE(launcher->Created());
        game = std::make_unique<GameStandIn>();
        fw::CreateParams p;
        p.rect = fw::Rect::FromXYWH(0, 0, 1920, 1040);
        ASSERT_TRUE(game->Create(p));
        game->Show(fw::ShowCmd::Show);
    }
    void TearDown() override {
        vip.reset();
        game.reset();
        launcher.reset();
        ui::SetModuleDirForTesting("");
        fw::ClearResourceOverrides();
    }
    CVipmsgWnd& Open(bool showWhenLoaded = true, const std::string& address = kChat) {
        vip = std::make_unique<CVipmsgWnd>(game.get(), launcher.get(), address, showWhenLoaded, [this] { ++offline; });
        EXPECT_TRUE(vip->Created());
        return *vip;
    }
    hl::ScriptedBrowser* Page() const { return hl::FindBrowser(*vip, CVipmsgWnd::kBrowserId); }
    void TopInfo(const std::string& text) {
        Page()->CallExternal("WD_JAPI", {fw::Utf8ToUtf16("DialogBoxTopInfo"), fw::Utf8ToUtf16(text)});
    }
    int Notified() {
        hl::Pump();
        return static_cast<int>(std::count(game->messages.begin(), game->messages.end(), WM_VIP_NOTIFY));
    }

    TempDir dir;
    std::unique_ptr<CMainWnd> launcher;
    std::unique_ptr<GameStandIn> game;
    std::unique_ptr<CVipmsgWnd> vip;
    int offline = 0;
};

}  // namespace

TEST(VipTitle, EveryReportMakesTheTitleFromItsOwnFields) {
    struct Row {
        const char* text;
        const char* title;  // null: no change
        bool online;
    } rows[] = {
        {"Lily|在线|", "我正在和[Lily]聊天", true},
        {"Lily|离线|", "Lily[离线]", false},
        {"xxundefinedxx|离线|", "客服不在线[离线]", false},
        {"undefined|在线|", "我正在和[客服不在线]聊天", true},
        // Without a trailing bar the status runs to the end of the text.
        {"Lily|在线", "我正在和[Lily]聊天", true},
        {"Lily|离线", "Lily[离线]", false},
        // The status begins with 在线, or the agent counts as offline; later fields are not used.
        {"Lily|在线中|8|x", "我正在和[Lily]聊天", true},
        {"Lily| 在线|", "Lily[离线]", false},
        {"Lily||在线", "Lily[离线]", false},
        {"Lily|", "Lily[离线]", false},
        {"|在线|", "我正在和[]聊天", true},
        {"", nullptr, false},
        {"Lily 在线", nullptr, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const auto info = CVipmsgWnd::TitleFromTopInfo(r.text);
        ASSERT_EQ(info.has_value(), r.title != nullptr);
        if (!info) continue;
        EXPECT_EQ(info->title, r.title);
        EXPECT_EQ(info->online, r.online);
    }
}

TEST_F(VipWindow, CentredInTheGameWindowAndShownWhenItsPageHasLoaded) {
    CVipmsgWnd& w = Open(true);
    EXPECT_EQ(w.parent(), game.get());
    const auto info = hl::Info(w);
    EXPECT_EQ(info.rect, fw::Rect::FromXYWH((1920 - 831) / 2, (1040 - 673) / 2, 831, 673));
    EXPECT_TRUE(info.topmost);
    EXPECT_FALSE(info.visible);
    hl::ScriptedBrowser* page = Page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->navigations(), std::vector<std::string>{kChat});
    EXPECT_EQ(page->rect(), (fw::Rect{0, 30, 831, 673}));
    EXPECT_TRUE(page->silentFlag());
    EXPECT_EQ(w.title(), "连接客服中...");
    page->CompleteLoad();
    EXPECT_TRUE(hl::Info(w).visible);
}

TEST_F(VipWindow, OpenedForAMessageItStaysHiddenWithItsPageLoaded) {
    CVipmsgWnd& w = Open(false);
    Page()->CompleteLoad();
    Page()->DocumentComplete(kChat);
    EXPECT_FALSE(hl::Info(w).visible);
    EXPECT_EQ(Page()->navigations().size(), 1u);
    // Its page is brought back after an engine crash, hidden or not.
    Page()->CrashEngine();
    EXPECT_EQ(Page()->refreshes(), 1);
}

TEST_F(VipWindow, OnlyAWebAddressMakesAWindow) {
    for (const char* address : {"", "file:///etc/passwd", "javascript:alert(1)"}) {
        SCOPED_TRACE(address);
        CVipmsgWnd w(game.get(), launcher.get(), address, true, nullptr);
        EXPECT_FALSE(w.Created());
    }
    EXPECT_TRUE(hl::Browsers().empty());
}

TEST_F(VipWindow, TheChatPageReportsTheAgent) {
    CVipmsgWnd& w = Open();
    Page()->CompleteLoad();
    EXPECT_EQ(w.caption(), "连接客服中...");
    TopInfo("Lily|在线|");
    EXPECT_EQ(w.title(), "我正在和[Lily]聊天");
    EXPECT_EQ(w.caption(), w.title());  // for assistive tools
    TopInfo("Lily|在线|");              // not nested
    EXPECT_EQ(w.title(), "我正在和[Lily]聊天");
    EXPECT_EQ(offline, 0);
    TopInfo("no bar at all");
    EXPECT_EQ(w.title(), "我正在和[Lily]聊天");
    TopInfo("Lily|离线|");
    EXPECT_EQ(w.title(), "Lily[离线]");
    EXPECT_EQ(offline, 1);
    TopInfo("undefined|离线|");
    EXPECT_EQ(w.title(), "客服不在线[离线]");
    EXPECT_EQ(offline, 2);
    // The window never closes itself over it.
    EXPECT_EQ(Notified(), 0);
    EXPECT_TRUE(hl::Info(w).visible);
}

TEST_F(VipWindow, TheTitleBarIsDrawnFromTheSkin) {
    CVipmsgWnd& w = Open();
    Page()->CompleteLoad();
    const fw::Bitmap before = hl::PaintWindow(w);
    // The gradient strip, scaled to 30 rows.
    std::unique_ptr<fw::Image> strip;
    ui::LoadSkinImage(shared::IDB_VIP_TITLE, strip);
    ASSERT_TRUE(strip && strip->valid());
    fw::Bitmap expect(831, 673);
    fw::Canvas c(expect);
    c.DrawImage(strip.get(), {0, 0, 831, 30}, {0, 0, strip->width(), 47});
    const fw::Rect plain{400, 0, 700, 30};  // neither logo, title nor cross there
    EXPECT_EQ(Region(before, plain), Region(expect, plain));
    // The cross's slice follows its state.
    ASSERT_EQ(w.closeRect(), (fw::Rect{791, 2, 831, 22}));
    EXPECT_TRUE(game_test::ShowsSlice(before, expect, shared::IDB_VIP_CLOSE, w.closeRect(), ui::Strip::Vertical, 0));
    hl::MouseMove(w, Inside(w.closeRect()));
    EXPECT_TRUE(game_test::ShowsSlice(hl::PaintWindow(w), expect, shared::IDB_VIP_CLOSE, w.closeRect(),
                                      ui::Strip::Vertical, 1));
    hl::LButtonDown(w, Inside(w.closeRect()));
    EXPECT_TRUE(game_test::ShowsSlice(hl::PaintWindow(w), expect, shared::IDB_VIP_CLOSE, w.closeRect(),
                                      ui::Strip::Vertical, 2));
    // The title, where its face exists, changes the bar right of the logo.
    if (w.drawsTitle()) {
        const fw::Rect text{35, 8, 300, 28};
        TopInfo("Lily|在线|");
        EXPECT_NE(Region(hl::PaintWindow(w), text), Region(before, text));
    }
}

TEST_F(VipWindow, WithoutItsPicturesTheBarIsLeftUndrawn) {
    for (int id : {shared::IDB_VIP_LOGO, shared::IDB_VIP_TITLE, shared::IDB_VIP_CLOSE})
        fw::OverrideResource(id, "PNG", {}, false);
    CVipmsgWnd& w = Open();
    Page()->CompleteLoad();
    EXPECT_TRUE(w.closeRect().IsEmpty());
    hl::MouseMove(w, {820, 10});
    hl::Click(w, {820, 10});
    EXPECT_EQ(Notified(), 0);
    hl::PaintWindow(w);
}

TEST_F(VipWindow, TheCloseCrossAsksTheGameWindow) {
    CVipmsgWnd& w = Open();
    Page()->CompleteLoad();
    const fw::Point cross = Inside(w.closeRect());

    // Pressed on the cross, moved off and released elsewhere: no close, and the state drops
    // with the next move.
    hl::MouseMove(w, cross);
    EXPECT_EQ(w.closeState(), 1);
    hl::LButtonDown(w, cross);
    EXPECT_EQ(w.closeState(), 2);
    hl::LButtonDown(w, cross);  // pressed again: nothing more
    EXPECT_EQ(w.closeState(), 2);
    hl::MouseMove(w, cross);  // still on it: unchanged
    EXPECT_EQ(w.closeState(), 2);
    hl::MouseMove(w, {400, 15});
    EXPECT_EQ(w.closeState(), 0);
    hl::LButtonUp(w, {400, 15});
    EXPECT_EQ(Notified(), 0);

    // A press at state 0 does not press it; a release on it closes all the same.
    hl::LButtonDown(w, cross);
    EXPECT_EQ(w.closeState(), 0);
    hl::LButtonUp(w, cross);
    EXPECT_EQ(w.closeState(), 0);
    EXPECT_EQ(Notified(), 1);
    EXPECT_TRUE(w.IsWindow());  // closing is the game window's business

    // Anywhere else on the bar drags the window.
    const int drags = hl::Info(w).moveDrags;
    hl::LButtonDown(w, {400, 15});
    EXPECT_EQ(hl::Info(w).moveDrags, drags + 1);
    hl::LButtonDown(w, cross);
    EXPECT_EQ(hl::Info(w).moveDrags, drags + 1);
}

TEST_F(VipWindow, ThePageAsksToCloseTwoWays) {
    CVipmsgWnd& w = Open();
    hl::ScriptedBrowser* page = Page();
    page->CompleteLoad();
    EXPECT_EQ(page->CallExternal("API_close", {}).hr, S_OK);
    EXPECT_TRUE(game->messages.empty());  // posted: the script call returns first
    EXPECT_EQ(Notified(), 1);
    // window.close(): the page's window stays, the request goes to the game window.
    EXPECT_TRUE(page->WindowClosing());
    EXPECT_EQ(Notified(), 2);
    EXPECT_TRUE(w.IsWindow());
    // The page's other requests do nothing here.
    for (const char* other : {"closedBox", "CloseBindPage", "openPay", "ShowIM", "OpenGame"})
        page->CallExternal("WD_JAPI", {fw::Utf8ToUtf16(other), fw::Utf8ToUtf16("x")});
    EXPECT_EQ(game->messages.size(), 2u);
    EXPECT_EQ(launcher->imParam(), "");
}

TEST_F(VipWindow, NewWindowsGoToTheDefaultBrowserWebAddressesOnly) {
    Open();
    hl::ScriptedBrowser* page = Page();
    page->CompleteLoad();
    EXPECT_TRUE(page->NewWindow("https://help.example/faq"));
    EXPECT_TRUE(page->NewWindow("file:///etc/passwd"));
    EXPECT_TRUE(page->NewWindow("mailto:kefu@example.com"));
    EXPECT_TRUE(page->NewWindow("http://news.example/1", 0));  // no user's click asked for it
    EXPECT_EQ(hl::ShellOpens(), std::vector<std::string>{"https://help.example/faq"});
    EXPECT_EQ(hl::Browsers().size(), 1u);
}

// Keys typed into the chat page: Enter reaches it through the control's accelerator
// translation alone (never dispatched as well), Backspace without that translation, Escape
// not at all; the others through the translation and then to the page whatever it answered.
TEST_F(VipWindow, KeysInThePage) {
    CVipmsgWnd& w = Open();
    hl::ScriptedBrowser* page = Page();
    page->CompleteLoad();
    using K = hl::ControlKeySeen;
    for (bool takes : {false, true}) {
        SCOPED_TRACE(takes);
        page->SetAcceleratorTakesKeys(takes);
        const std::size_t before = page->keys().size();
        for (unsigned vk : {fw::VK_RETURN, fw::VK_BACK, fw::VK_ESCAPE, unsigned('A')})
            ASSERT_TRUE(hl::KeyDownInBrowser(w, CVipmsgWnd::kBrowserId, vk)) << vk;
        const std::vector<K> seen(page->keys().begin() + static_cast<std::ptrdiff_t>(before), page->keys().end());
        EXPECT_EQ(seen, (std::vector<K>{{K::Accelerator, fw::WM_KEYDOWN, fw::VK_RETURN},
                                        {K::Page, fw::WM_KEYDOWN, fw::VK_BACK},
                                        {K::Accelerator, fw::WM_KEYDOWN, 'A'},
                                        {K::Page, fw::WM_KEYDOWN, 'A'}}));
    }
}

TEST_F(VipWindow, Keys) {
    CVipmsgWnd& w = Open();
    Page()->CompleteLoad();
    // Escape goes nowhere; Backspace and Enter go on to the page.
    hl::KeyDown(w, fw::VK_ESCAPE);
    EXPECT_TRUE(game->keys.empty());
    hl::KeyDown(w, fw::VK_BACK);
    hl::KeyDown(w, fw::VK_RETURN);
    EXPECT_EQ(game->keys, (std::vector<fw::WPARAM>{fw::VK_BACK, fw::VK_RETURN}));

    // Alt+F4 asks about the whole client, and is swallowed either way.
    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    hl::KeyDown(w, fw::VK_F4, true);
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(hl::MessageBoxes()[0].text, "确定要退出吗？");
    EXPECT_EQ(hl::MessageBoxes()[0].caption, "退出提示");
    EXPECT_EQ(hl::MessageBoxes()[0].flags, fw::MB_OKCANCEL | fw::MB_ICONQUESTION);
    EXPECT_TRUE(launcher->IsWindow());
    EXPECT_EQ(game->keys.size(), 2u);
    EXPECT_EQ(Notified(), 0);
    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::KeyDown(w, fw::VK_F4, true);
    EXPECT_FALSE(launcher->IsWindow());
    EXPECT_TRUE(w.IsWindow());
}
