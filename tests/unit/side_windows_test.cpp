// The payment window and the account page window on the headless desktop: placement inside
// the game window, showing after the page has loaded, what the pages ask through
// window.external, new windows, keys and teardown.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/main_wnd.h"
#include "shared/messages.h"
#include "fw/headless/browser.h"
#include "fw/headless/desktop.h"
#include "fw/message_box.h"
#include "fw/system.h"
#include "fw/text.h"
#include "game_stand_in.h"
#include "test_support.h"
#include "side/jihuo_wnd.h"
#include "side/pay_wnd.h"
#include "ui/skin.h"

namespace hl = fw::headless;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr const char* kPayUrl = "http://127.0.0.1:8088/pay/?order=7&g=dmor";
constexpr const char* kBindUrl = "http://127.0.0.1:8088/game/s/jihuo/?game=wkln";

class SideWindows : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        ui::SetModuleDirForTesting(dir.dir());
        WriteFile(dir.file("static.ini"), "[dmor]\nhotkey=121\n[hosts]\nportal=127.0.0.1:8088\n");
        launcher = std::make_unique<CMainWnd>(CMainWnd::kHiddenStart);
        ASSERT_TRUE(launcher->Created());
        launcher->SetPayParam(kPayUrl);
        launcher->SetAccountBound(false);
        MakeGame(fw::Rect::FromXYWH(100, 50, 1300, 820));
    }
    void TearDown() override {
        pay.reset();
        bind.reset();
        game.reset();
        launcher.reset();
        ui::SetModuleDirForTesting("");
    }
    void MakeGame(const fw::Rect& r) {
        game = std::make_unique<GameStandIn>();
        fw::CreateParams p;
        p.style = fw::kPopup;
        p.rect = r;
        ASSERT_TRUE(game->Create(p));
        game->Show(fw::ShowCmd::Show);
    }
    CPayWnd& OpenPay() {
        // As the game window makes it: with the launcher's payment address of the moment.
        pay = std::make_unique<CPayWnd>(game.get(), launcher.get(), launcher->PayParam());
        EXPECT_TRUE(pay->Created());
        return *pay;
    }
    CJihuoWnd& OpenBind() {
        bind = std::make_unique<CJihuoWnd>(game.get(), launcher.get());
        EXPECT_TRUE(bind->Created());
        return *bind;
    }
    static hl::ScriptResult Call(hl::ScriptedBrowser* page, const std::string& method) {
        return page->CallExternal("WD_JAPI", {fw::Utf8ToUtf16(method), fw::Utf8ToUtf16("x")});
    }
    int Posted(unsigned msg) {
        hl::Pump();
        return static_cast<int>(std::count(game->messages.begin(), game->messages.end(), msg));
    }

    TempDir dir;
    std::unique_ptr<CMainWnd> launcher;
    std::unique_ptr<GameStandIn> game;
    std::unique_ptr<CPayWnd> pay;
    std::unique_ptr<CJihuoWnd> bind;
};

// Keys in either panel: Esc goes nowhere, Alt+F4 asks about quitting the client (the whole
// client: OK closes the launcher), everything else passes on.
template <class Panel>
void CheckKeys(Panel& w, GameStandIn& game, CMainWnd& launcher) {
    hl::KeyDown(w, fw::VK_ESCAPE);
    EXPECT_TRUE(game.keys.empty());
    hl::KeyDown(w, fw::VK_BACK);
    hl::KeyDown(w, fw::VK_RETURN);
    EXPECT_EQ(game.keys, (std::vector<fw::WPARAM>{fw::VK_BACK, fw::VK_RETURN}));

    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    hl::KeyDown(w, fw::VK_F4, true);
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    const auto& box = hl::MessageBoxes()[0];
    EXPECT_EQ(box.text, "确定要退出吗？");
    EXPECT_EQ(box.caption, "退出提示");
    EXPECT_EQ(box.flags, fw::MB_OKCANCEL | fw::MB_ICONQUESTION);
    EXPECT_EQ(box.owner, fw::kNoWindow);
    EXPECT_TRUE(launcher.IsWindow());
    EXPECT_EQ(game.keys.size(), 2u);  // swallowed either way

    hl::KeyDown(w, fw::VK_F4);  // F4 without Alt is an ordinary key
    EXPECT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(game.keys.size(), 3u);

    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::KeyDown(w, fw::VK_F4, true);
    EXPECT_EQ(hl::MessageBoxes().size(), 2u);
    EXPECT_FALSE(launcher.IsWindow());
    EXPECT_TRUE(w.IsWindow());  // the question was about the client, not about the panel
    EXPECT_EQ(game.keys.size(), 3u);
}

}  // namespace

// ---- the payment window ----------------------------------------------------------------

TEST_F(SideWindows, PaymentSitsNearTheGameWindowsRightEdgeHiddenUntilLoaded) {
    CPayWnd& w = OpenPay();
    EXPECT_EQ(w.parent(), game.get());
    EXPECT_TRUE(w.style() & fw::kChild);
    auto info = hl::Info(w);
    EXPECT_EQ(info.rect, fw::Rect::FromXYWH(100 + 1300 - 400, 50 + 40, 238, 270));
    EXPECT_TRUE(info.topmost);
    EXPECT_FALSE(info.visible);

    hl::ScriptedBrowser* page = hl::FindBrowser(w, CPayWnd::kBrowserId);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->navigations(), std::vector<std::string>{kPayUrl});
    EXPECT_TRUE(page->silentFlag());
    EXPECT_EQ(page->rect(), (fw::Rect{0, 0, 238, 270}));
    EXPECT_FALSE(page->ContextMenuWouldShow());  // the host object is the control's site

    // The page's address was taken when the window was made.
    launcher->SetPayParam("http://elsewhere.example/");
    page->BeforeNavigate(kPayUrl);
    page->NavigateComplete(kPayUrl);
    EXPECT_FALSE(hl::Info(w).visible);
    page->DocumentComplete(kPayUrl);
    EXPECT_TRUE(hl::Info(w).visible);
    // A further document (a frame, a later page) keeps it shown.
    page->DocumentComplete("http://127.0.0.1:8088/pay/frame");
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_EQ(page->navigations().size(), 1u);
}

TEST_F(SideWindows, ClosedBoxAsksTheGameWindowEachTime) {
    CPayWnd& w = OpenPay();
    hl::ScriptedBrowser* page = hl::FindBrowser(w, CPayWnd::kBrowserId);
    page->CompleteLoad();
    // Everything else of the bridge does nothing here.
    for (const char* other : {"CloseBindPage", "AccountBindSuccess", "openPay", "ShowBindBtn", "OpenGame"})
        EXPECT_EQ(Call(page, other).hr, S_OK);
    EXPECT_EQ(launcher->PayParam(), kPayUrl);
    EXPECT_FALSE(launcher->AccountBound());
    EXPECT_TRUE(game->messages.empty());

    // Posted, not sent: nothing arrives before the script call has returned.
    EXPECT_EQ(Call(page, "closedBox").hr, S_OK);
    EXPECT_TRUE(game->messages.empty());
    Call(page, "closedBox");
    EXPECT_EQ(Posted(WM_PAY_CLOSED), 2);
    EXPECT_EQ(game->messages.size(), 2u);
    EXPECT_TRUE(w.IsWindow());  // closing is the game window's business

    // The request goes to the window the panel was made in and nowhere else: a panel made
    // without a game window asks no one, whichever game window the launcher knows.
    CPayWnd alone(nullptr, launcher.get(), kPayUrl);
    ASSERT_TRUE(alone.Created());
    hl::ScriptedBrowser* alonePage = hl::FindBrowser(alone, CPayWnd::kBrowserId);
    alonePage->CompleteLoad();
    EXPECT_EQ(Call(alonePage, "closedBox").hr, S_OK);
    EXPECT_EQ(Posted(WM_PAY_CLOSED), 2);
    EXPECT_TRUE(alone.IsWindow());
}

TEST_F(SideWindows, PaymentPopUpsGoToTheDefaultBrowserWebAddressesOnly) {
    CPayWnd& w = OpenPay();
    hl::ScriptedBrowser* page = hl::FindBrowser(w, CPayWnd::kBrowserId);
    EXPECT_TRUE(page->NewWindow("https://bank.example/qr?id=1"));
    EXPECT_TRUE(page->NewWindow("file:///etc/passwd"));
    EXPECT_TRUE(page->NewWindow("javascript:alert(1)"));
    EXPECT_TRUE(page->NewWindow("HTTP://pay.example/"));
    EXPECT_EQ(hl::ShellOpens(), (std::vector<std::string>{"https://bank.example/qr?id=1", "HTTP://pay.example/"}));
}

TEST_F(SideWindows, PaymentKeys) {
    CPayWnd& w = OpenPay();
    hl::FindBrowser(w, CPayWnd::kBrowserId)->CompleteLoad();
    CheckKeys(w, *game, *launcher);
}

// Keys typed into a panel's page go to the control's accelerator translation and then to the
// page, whatever the translation answered; Escape goes nowhere.
template <class Panel>
void CheckKeysInPage(Panel& w, int id) {
    hl::ScriptedBrowser* page = hl::FindBrowser(w, id);
    ASSERT_NE(page, nullptr);
    page->CompleteLoad();
    page->SetAcceleratorTakesKeys(true);
    for (unsigned vk : {fw::VK_ESCAPE, fw::VK_BACK, fw::VK_RETURN}) ASSERT_TRUE(hl::KeyDownInBrowser(w, id, vk));
    using K = hl::ControlKeySeen;
    EXPECT_EQ(page->keys(), (std::vector<K>{{K::Accelerator, fw::WM_KEYDOWN, fw::VK_BACK},
                                            {K::Page, fw::WM_KEYDOWN, fw::VK_BACK},
                                            {K::Accelerator, fw::WM_KEYDOWN, fw::VK_RETURN},
                                            {K::Page, fw::WM_KEYDOWN, fw::VK_RETURN}}));
}

TEST_F(SideWindows, PaymentKeysInThePage) { CheckKeysInPage(OpenPay(), CPayWnd::kBrowserId); }
TEST_F(SideWindows, AccountPageKeysInThePage) { CheckKeysInPage(OpenBind(), CJihuoWnd::kBrowserId); }

TEST_F(SideWindows, PaymentWindowGoesWithItsControlAndHost) {
    CPayWnd& w = OpenPay();
    ASSERT_NE(hl::FindBrowser(w, CPayWnd::kBrowserId), nullptr);
    const size_t browsers = hl::Browsers().size();
    w.Send(fw::WM_CLOSE);
    EXPECT_FALSE(w.IsWindow());
    EXPECT_EQ(w.browser(), nullptr);
    EXPECT_EQ(hl::Browsers().size(), browsers - 1);
    pay.reset();

    // Destroyed along with the game window, then deleted.
    OpenPay();
    game->Destroy();
    EXPECT_FALSE(pay->IsWindow());
    EXPECT_EQ(hl::Browsers().size(), browsers - 1);
    pay.reset();
}

TEST_F(SideWindows, WithoutAControlThereIsNoWindow) {
    hl::FailNextBrowserCreation();
    CPayWnd w(game.get(), launcher.get(), kPayUrl);
    EXPECT_FALSE(w.Created());
    hl::FailNextBrowserCreation();
    CJihuoWnd b(game.get(), launcher.get());
    EXPECT_FALSE(b.Created());
    EXPECT_EQ(hl::LiveWindows().size(), 2u);  // launcher and game window
}

TEST_F(SideWindows, WithoutAGameWindowThePanelsSitOnTheDesktop) {
    const fw::Size screen = fw::ScreenSize();
    CPayWnd p(nullptr, launcher.get(), kPayUrl);
    ASSERT_TRUE(p.Created());
    EXPECT_EQ(hl::Info(p).rect, fw::Rect::FromXYWH(screen.cx - 400, 40, 238, 270));
    CJihuoWnd b(nullptr, launcher.get());
    ASSERT_TRUE(b.Created());
    EXPECT_EQ(hl::Info(b).rect, fw::Rect::FromXYWH((screen.cx - 479) / 2, (screen.cy - 287) / 2, 479, 287));
}

// ---- the account page window -------------------------------------------------------------

TEST_F(SideWindows, AccountPageIsCentredOnTheGameWindowsOuterSize) {
    CJihuoWnd& w = OpenBind();
    EXPECT_EQ(w.parent(), game.get());
    auto info = hl::Info(w);
    EXPECT_EQ(info.rect, fw::Rect::FromXYWH(100 + 410, 50 + 266, 479, 287));
    EXPECT_TRUE(info.topmost);
    EXPECT_FALSE(info.visible);
    hl::ScriptedBrowser* page = hl::FindBrowser(w, CJihuoWnd::kBrowserId);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->navigations(), std::vector<std::string>{kBindUrl});
    EXPECT_TRUE(page->silentFlag());
    EXPECT_EQ(page->rect(), (fw::Rect{0, 0, 479, 287}));
    page->CompleteLoad();
    EXPECT_TRUE(hl::Info(w).visible);
    page->DocumentComplete(kBindUrl);
    EXPECT_TRUE(hl::Info(w).visible);
}

TEST_F(SideWindows, AccountPageOverASmallGameWindowStartsAboveAndLeftOfIt) {
    MakeGame(fw::Rect::FromXYWH(300, 200, 400, 200));  // odd differences: -79 and -87
    CJihuoWnd& w = OpenBind();
    // Halves truncated toward zero: -39 and -43, not -40 and -44.
    EXPECT_EQ(hl::Info(w).rect, fw::Rect::FromXYWH(300 - 39, 200 - 43, 479, 287));
}

TEST_F(SideWindows, BindingSuccessAndClosingAreSeparateRequests) {
    CJihuoWnd& w = OpenBind();
    hl::ScriptedBrowser* page = hl::FindBrowser(w, CJihuoWnd::kBrowserId);
    page->CompleteLoad();

    // Registering or closing a payment box is not binding.
    Call(page, "AccountRegisterSuccess");
    Call(page, "closedBox");
    EXPECT_FALSE(launcher->AccountBound());
    EXPECT_EQ(Posted(WM_PAY_CLOSED), 0);

    // Bound without a close: flag set at once, the panel stays open and shown.
    EXPECT_EQ(Call(page, "AccountBindSuccess").hr, S_OK);
    EXPECT_TRUE(launcher->AccountBound());
    EXPECT_EQ(Posted(WM_BIND_CLOSED), 0);
    EXPECT_TRUE(hl::Info(w).visible);

    // A close without a bind leaves the flag as it is.
    launcher->SetAccountBound(false);
    Call(page, "CloseBindPage");
    EXPECT_FALSE(launcher->AccountBound());
    EXPECT_EQ(Posted(WM_BIND_CLOSED), 1);

    // The interface's own operations do the same.
    w.OnBindDone();
    EXPECT_TRUE(launcher->AccountBound());
    w.OnBindClose();
    EXPECT_EQ(Posted(WM_BIND_CLOSED), 2);

    // A launcher whose window has gone is not touched any more: the flag stays as it was,
    // and the game window is still asked to close the panel.
    launcher->SetAccountBound(false);
    launcher->Send(fw::WM_CLOSE);
    ASSERT_FALSE(launcher->IsWindow());
    EXPECT_EQ(Call(page, "AccountBindSuccess").hr, S_OK);
    EXPECT_FALSE(launcher->AccountBound());
    Call(page, "CloseBindPage");
    EXPECT_EQ(Posted(WM_BIND_CLOSED), 3);
}

TEST_F(SideWindows, AccountPageRefusesNewWindowsSilently) {
    CJihuoWnd& w = OpenBind();
    hl::ScriptedBrowser* page = hl::FindBrowser(w, CJihuoWnd::kBrowserId);
    EXPECT_TRUE(page->NewWindow("https://127.0.0.1:8088/register"));
    EXPECT_TRUE(page->NewWindow("file:///tmp/x"));
    EXPECT_TRUE(hl::ShellOpens().empty());
    EXPECT_EQ(hl::Browsers().size(), 1u);
}

TEST_F(SideWindows, AccountPageKeys) {
    CJihuoWnd& w = OpenBind();
    hl::FindBrowser(w, CJihuoWnd::kBrowserId)->CompleteLoad();
    CheckKeys(w, *game, *launcher);
}
