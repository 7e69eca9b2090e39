// The launcher's page dialog on the headless desktop: creation and placement, showing after
// the first load, the page's script calls and links, keys, and closing.
#include <gtest/gtest.h>

#include <memory>

#include "app/main_wnd.h"
#include "shared/launcher_layout.h"
#include "shared/messages.h"
#include "fw/app.h"
#include "fw/headless/browser.h"
#include "fw/headless/desktop.h"
#include "fw/message_box.h"
#include "fw/text.h"
#include "test_support.h"
#include "ui/skin.h"
#include "web/web_dlg.h"

namespace hl = fw::headless;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Where the page dialog sits, in the launcher's window (315, 188 on the screen by default).
constexpr fw::Rect kWebArea = shared::launcher_layout::kWebArea;

// A stand-in game window: a plain hidden top-level window.
int g_gamesMade = 0;
fw::Window* MakeFakeGame(ILauncher&) {
    auto* w = new fw::Window();
    fw::CreateParams p;
    p.style = fw::kPopup;
    p.rect = fw::Rect::FromXYWH(0, 0, 1300, 820);
    w->Create(p);
    ++g_gamesMade;
    return w;
}

class PageDialog : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        ui::SetModuleDirForTesting(dir.dir());
        WriteFile(dir.file("static.ini"), "[dmor]\nstart=1\nuid=U7\nfilename=S9\n[hosts]\nportal=127.0.0.1:8088\n");
        g_gamesMade = 0;
        CMainWnd::SetGameWindowFactory(nullptr);
    }
    void TearDown() override {
        if (wnd && wnd->IsWindow()) wnd->Send(fw::WM_CLOSE);
        wnd.reset();
        CMainWnd::SetGameWindowFactory(nullptr);
        ui::SetModuleDirForTesting("");
    }
    CMainWnd& Start(int mode = CMainWnd::kNormalStart) {
        wnd = std::make_unique<CMainWnd>(mode);
        fw::SetMainWindow(wnd.get());
        if (mode == CMainWnd::kNormalStart) wnd->Show(fw::ShowCmd::Show);
        return *wnd;
    }
    CWebDlg* Dlg() { return wnd->pageDialog(); }
    hl::ScriptedBrowser* Page() { return Dlg() ? hl::FindBrowser(*Dlg(), CWebDlg::kBrowserId) : nullptr; }
    hl::ScriptResult Call(const std::string& method, std::optional<std::string> arg = std::nullopt) {
        std::vector<hl::ScriptValue> args{fw::Utf8ToUtf16(method)};
        if (arg) args.push_back(fw::Utf8ToUtf16(*arg));
        return Page()->CallExternal("WD_JAPI", args);
    }
    TempDir dir;
    std::unique_ptr<CMainWnd> wnd;
};

}  // namespace

TEST_F(PageDialog, HiddenUntilTheFirstDocumentThenOverTheWebArea) {
    CMainWnd& w = Start();
    ASSERT_NE(Dlg(), nullptr);
    hl::ScriptedBrowser* page = Page();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->navigations().size(), 1u);
    EXPECT_EQ(page->navigations()[0], "http://127.0.0.1:8088/game/s/dmor/?uid=U7&suid=S9");
    EXPECT_TRUE(page->silentFlag());
    EXPECT_EQ(page->HostFlags(), 0x0Cu);
    EXPECT_FALSE(page->ContextMenuWouldShow());

    EXPECT_FALSE(hl::Info(*Dlg()).visible);
    EXPECT_EQ(hl::Info(*Dlg()).rect, kWebArea.Offset(315, 188));
    // Shown again, the launcher still keeps the page hidden while it has not loaded.
    w.Show(fw::ShowCmd::Hide);
    w.Show(fw::ShowCmd::Show);
    EXPECT_FALSE(hl::Info(*Dlg()).visible);

    page->SetElementText("span", "usr", "Tom");
    page->CompleteLoad();
    EXPECT_TRUE(hl::Info(*Dlg()).visible);
    EXPECT_FALSE(w.PageNotShown());
    EXPECT_EQ(w.userName(), "欢迎Tom");
    EXPECT_EQ(page->rect(), (fw::Rect{0, 0, kWebArea.Width(), kWebArea.Height()}));
}

TEST_F(PageDialog, FollowsTheLauncherAndItsShowing) {
    CMainWnd& w = Start();
    Page()->CompleteLoad();
    hl::LButtonDown(w, {700, 650});
    hl::DragBy(w, -100, 50);
    EXPECT_EQ(hl::Info(*Dlg()).rect, kWebArea.Offset(215, 238));

    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_FALSE(hl::Info(w).visible);
    EXPECT_FALSE(hl::Info(*Dlg()).visible);
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_TRUE(hl::Info(*Dlg()).visible);
}

TEST_F(PageDialog, LoadFinishingWhileTheLauncherIsHiddenWaitsForIt) {
    CMainWnd& w = Start();
    w.Show(fw::ShowCmd::Hide);
    Page()->CompleteLoad();
    EXPECT_FALSE(hl::Info(*Dlg()).visible);
    w.Show(fw::ShowCmd::Show);
    EXPECT_TRUE(hl::Info(*Dlg()).visible);
}

TEST_F(PageDialog, LoadFinishingWhileTheLauncherIsMinimisedShowsOnRestore) {
    CMainWnd& w = Start();
    w.Show(fw::ShowCmd::Minimize);
    Page()->CompleteLoad();
    EXPECT_FALSE(hl::Info(*Dlg()).visible);
    w.Show(fw::ShowCmd::Restore);
    EXPECT_TRUE(hl::Info(*Dlg()).visible);
    EXPECT_EQ(hl::Info(*Dlg()).rect, kWebArea.Offset(315, 188));
}

TEST_F(PageDialog, HiddenStartMakesTheDialogAtTheFirstShowing) {
    CMainWnd& w = Start(CMainWnd::kHiddenStart);
    EXPECT_EQ(Dlg(), nullptr);
    EXPECT_TRUE(hl::Browsers().empty());
    hl::PressHotKey(0, fw::VK_F10);  // the boss key brings the launcher up
    hl::Pump();
    EXPECT_TRUE(hl::Info(w).visible);
    ASSERT_NE(Dlg(), nullptr);
    EXPECT_EQ(hl::Info(*Dlg()).rect, kWebArea.Offset(315, 188));
    EXPECT_FALSE(hl::Info(*Dlg()).visible);
    Page()->CompleteLoad();
    EXPECT_TRUE(hl::Info(*Dlg()).visible);
}

TEST_F(PageDialog, ScriptCallsReachTheLauncher) {
    CMainWnd& w = Start();
    Page()->CompleteLoad();

    auto v = Call("getApiVersion");
    EXPECT_TRUE(v.hasExternal);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.text, "1");

    Call("openPay", "http://pay/?x=1");
    EXPECT_EQ(w.PayParam(), "http://pay/?x=1");
    Call("ShowBindBtn");
    EXPECT_FALSE(w.AccountBound());

    // ShowIM posts: the field is set at once, the message comes later.
    Call("ShowIM", "1|2|3|4|5|6|7|");
    EXPECT_EQ(w.imParam(), "1|2|3|4|5|6|7|");

    // OpenGame without a game window to make: the fields are set, the launcher stays.
    Call("OpenGame", "http://g/play|x|S1 龙焰");
    EXPECT_EQ(w.GameUrl(), "http://g/play");
    EXPECT_EQ(w.ServerName(), "S1 龙焰");
    EXPECT_TRUE(hl::Info(w).visible);

    CMainWnd::SetGameWindowFactory(&MakeFakeGame);
    Call("OpenGame", "http://g/two");
    EXPECT_EQ(w.GameUrl(), "http://g/two");
    EXPECT_EQ(w.ServerName(), "");
    ASSERT_NE(w.gameWindow(), nullptr);
    EXPECT_TRUE(hl::Info(*w.gameWindow()).visible);
    EXPECT_TRUE(hl::Info(*w.gameWindow()).maximized);  // the first game opens maximised
    EXPECT_FALSE(hl::Info(w).visible);
    EXPECT_FALSE(hl::Info(*Dlg()).visible);
    // A second request only hides the launcher again.
    w.Show(fw::ShowCmd::Show);
    Call("OpenGame", "http://g/three|a|b");
    EXPECT_EQ(g_gamesMade, 1);
    EXPECT_FALSE(hl::Info(w).visible);

    // Leaving the game: the game window goes, the page reloads, the launcher comes back.
    int refreshes = Page()->refreshes();
    w.Post(WM_GAME_CLOSED);
    hl::Pump();
    EXPECT_EQ(w.gameWindow(), nullptr);
    EXPECT_EQ(Page()->refreshes(), refreshes + 1);
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_TRUE(hl::Info(*Dlg()).visible);
    EXPECT_EQ(hl::Foreground(), w.handle());
}

TEST_F(PageDialog, OpenGameSplitting) {
    struct Case {
        const char* in;
        const char* f1;
        const char* f2;
        const char* f3;
    } cases[] = {
        {"a|b|c", "a", "b", "c"}, {"a|b", "a", "", "b"}, {"a|b|c|d", "a", "b", "c|d"}, {"abc", "abc", "", ""},
        {"", "", "", ""},         {"|", "", "", ""},     {"a||c", "a", "", "c"},
    };
    for (auto& c : cases) {
        std::string f1, f2, f3;
        CWebDlg::SplitOpenGame(c.in, f1, f2, f3);
        EXPECT_EQ(f1, c.f1) << c.in;
        EXPECT_EQ(f2, c.f2) << c.in;
        EXPECT_EQ(f3, c.f3) << c.in;
    }
}

TEST_F(PageDialog, ClientLinksAndNewWindows) {
    CMainWnd& w = Start();
    CMainWnd::SetGameWindowFactory(&MakeFakeGame);
    hl::ScriptedBrowser* page = Page();
    page->CompleteLoad();

    // Without blanks a navigation is just a navigation.
    EXPECT_FALSE(page->BeforeNavigate("http://h/game/play/?server=S8&client=1"));
    EXPECT_EQ(w.gameWindow(), nullptr);
    // "client = 1" as the page wrote it opens the game; the navigation itself goes on.
    EXPECT_FALSE(page->BeforeNavigate("http://h/game/play/?server=S9&client = 1"));
    EXPECT_EQ(w.GameUrl(), "http://h/game/play/?server=S9&client = 1");
    EXPECT_NE(w.gameWindow(), nullptr);
    w.Post(WM_GAME_CLOSED);
    hl::Pump();

    // New windows never open inside the client.
    EXPECT_TRUE(page->NewWindow("http://h/play?client=1"));
    EXPECT_EQ(w.GameUrl(), "http://h/play?client=1");
    EXPECT_EQ(w.gameWindow(), nullptr);
    EXPECT_TRUE(hl::ShellOpens().empty());

    EXPECT_TRUE(page->NewWindow("http://h/news/1"));
    EXPECT_TRUE(page->NewWindow("HTTPS://h/news/2"));
    EXPECT_TRUE(page->NewWindow("file:///etc/hostname"));
    EXPECT_TRUE(page->NewWindow("C:\\Windows\\notepad.exe"));
    EXPECT_TRUE(page->NewWindow("javascript:void(0);"));
    ASSERT_EQ(hl::ShellOpens().size(), 2u);
    EXPECT_EQ(hl::ShellOpens()[0], "http://h/news/1");
    EXPECT_EQ(hl::ShellOpens()[1], "HTTPS://h/news/2");
    EXPECT_EQ(Dlg()->lastUrl(), "javascript:void(0);");
}

TEST_F(PageDialog, UserNameOnlyFromASpanWhoseIdIsExactlyUsr) {
    CMainWnd& w = Start();
    Page()->SetElementText("span", "USR", "Decoy");
    Page()->CompleteLoad();
    EXPECT_EQ(w.userName(), "");
}

TEST_F(PageDialog, KeysEscapeF5AndAltF4) {
    CMainWnd& w = Start();
    CWebDlg* d = Dlg();
    Page()->CompleteLoad();
    EXPECT_TRUE(d->PreTranslateMessage({d->handle(), fw::WM_KEYDOWN, fw::VK_ESCAPE, 0}));
    EXPECT_TRUE(d->PreTranslateMessage({d->handle(), fw::WM_KEYDOWN, fw::VK_F5, 0}));
    EXPECT_FALSE(d->PreTranslateMessage({d->handle(), fw::WM_KEYDOWN, fw::VK_BACK, 0}));
    EXPECT_FALSE(d->PreTranslateMessage({d->handle(), fw::WM_KEYDOWN, 'A', 0}));
    EXPECT_EQ(Page()->refreshes(), 0);

    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    hl::KeyDown(*d, fw::VK_F4, true);
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(hl::MessageBoxes()[0].text, "确定要退出吗？");
    EXPECT_TRUE(w.IsWindow());
    EXPECT_TRUE(d->IsWindow());
    // A close request from the system (a window manager that keeps Alt+F4) asks the same.
    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    d->Send(fw::WM_SYSCOMMAND, fw::SC_CLOSE, 0);
    ASSERT_EQ(hl::MessageBoxes().size(), 2u);
    EXPECT_EQ(hl::MessageBoxes()[1].caption, "退出提示");
    EXPECT_TRUE(d->IsWindow());

    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::KeyDown(*d, fw::VK_F4, true);
    EXPECT_FALSE(w.IsWindow());
    EXPECT_TRUE(fw::QuitRequested());
    EXPECT_EQ(w.pageDialog(), nullptr);
}

// Keys typed into the page (the control has the focus). Backspace goes on to the page
// without the control's accelerator translation, so it never takes the page back; every
// other key that the dialog lets pass goes to that translation, and then to the page whatever
// the translation answered.
TEST_F(PageDialog, KeysInThePageBackspaceNeverReachesTheAccelerators) {
    Start();
    CWebDlg* d = Dlg();
    hl::ScriptedBrowser* page = Page();
    page->CompleteLoad();
    page->SetAcceleratorTakesKeys(true);  // the control says it took every key it was given
    for (unsigned vk : {fw::VK_BACK, unsigned('A'), fw::VK_TAB, fw::VK_ESCAPE, fw::VK_F5})
        ASSERT_TRUE(hl::KeyDownInBrowser(*d, CWebDlg::kBrowserId, vk)) << vk;
    using K = hl::ControlKeySeen;
    EXPECT_EQ(page->keys(), (std::vector<K>{{K::Page, fw::WM_KEYDOWN, fw::VK_BACK},
                                            {K::Accelerator, fw::WM_KEYDOWN, 'A'},
                                            {K::Page, fw::WM_KEYDOWN, 'A'},
                                            {K::Accelerator, fw::WM_KEYDOWN, fw::VK_TAB},
                                            {K::Page, fw::WM_KEYDOWN, fw::VK_TAB}}));
    EXPECT_EQ(page->refreshes(), 0);

    // Alt+F4 in the page asks, and reaches the page in no way.
    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    ASSERT_TRUE(hl::KeyDownInBrowser(*d, CWebDlg::kBrowserId, fw::VK_F4, true));
    EXPECT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_EQ(page->keys().size(), 5u);
}

TEST_F(PageDialog, ClosingTheLauncherClosesThePage) {
    CMainWnd& w = Start();
    Page()->CompleteLoad();
    hl::ScriptedBrowser* page = Page();
    fw::Handle dlg = Dlg()->handle();
    w.Send(fw::WM_CLOSE);
    EXPECT_EQ(fw::Window::FromHandle(dlg), nullptr);
    EXPECT_EQ(w.pageDialog(), nullptr);
    EXPECT_TRUE(hl::Browsers().empty());  // the control went with its dialog
    (void)page;
}

TEST_F(PageDialog, NoControlMeansNoPageDialog) {
    hl::FailNextBrowserCreation();
    CMainWnd& w = Start();
    EXPECT_TRUE(w.IsWindow());
    EXPECT_EQ(w.pageDialog(), nullptr);
    w.Show(fw::ShowCmd::Hide);
    w.Show(fw::ShowCmd::Show);  // nothing to show, nothing breaks
    w.Post(WM_GAME_CLOSED);
    hl::Pump();
    EXPECT_TRUE(hl::Info(w).visible);
}
