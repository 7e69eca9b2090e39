// The launcher on the headless desktop: creation, skin, buttons, dragging, exit prompt,
// boss key and tray icon, with the real skin resources.
#include <gtest/gtest.h>

#include <memory>

#include "app/ini_file.h"
#include "app/main_wnd.h"
#include "shared/messages.h"
#include "app/raduvove_app.h"
#include "shared/resource.h"
#include "fw/app.h"
#include "fw/headless/desktop.h"
#include "fw/message_box.h"
#include "fw/resources.h"
#include "shared/exit_prompt.h"
#include "shared/launcher_layout.h"
#include "test_support.h"
#include "ui/skin.h"

namespace hl = fw::headless;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

namespace layout = shared::launcher_layout;
constexpr fw::Rect kOfficial = layout::ButtonRect(layout::kOfficial);
constexpr fw::Rect kPay = layout::ButtonRect(layout::kPay);
constexpr fw::Rect kForum = layout::ButtonRect(layout::kForum);
constexpr fw::Rect kService = layout::ButtonRect(layout::kService);
constexpr fw::Rect kClose = layout::ButtonRect(layout::kClose);
constexpr fw::Rect kMin = layout::ButtonRect(layout::kMin);
constexpr fw::Rect kWebArea = layout::kWebArea;

class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        fw::ClearResourceOverrides();
        ui::SetModuleDirForTesting(dir.dir());
    }
    void TearDown() override {
        wnd.reset();
        ui::SetModuleDirForTesting("");
        fw::ClearResourceOverrides();
    }
    CMainWnd& Make(int mode = CMainWnd::kNormalStart) {
        wnd = std::make_unique<CMainWnd>(mode);
        EXPECT_TRUE(wnd->Created());
        fw::SetMainWindow(wnd.get());
        if (mode == CMainWnd::kNormalStart) wnd->Show(fw::ShowCmd::Show);
        return *wnd;
    }
    // Pixel (x, y) of the picture the window shows.
    std::uint32_t Shown(int x, int y) {
        const fw::Bitmap* b = hl::LayeredPicture(*wnd);
        return b ? b->At(x, y) : 0xDEADBEEF;
    }
    // Pixel of a button sprite's row as the launcher composes it over the background.
    std::uint32_t Expected(int resource, const fw::Rect& r, int row, int dx, int dy) {
        std::unique_ptr<fw::Image> bg, sprite;
        ui::LoadSkinImage(shared::IDB_LAUNCHER_BG, bg);
        ui::LoadSkinImage(resource, sprite);
        fw::Bitmap b(bg->width(), bg->height());
        fw::Canvas c(b);
        ui::DrawImageStretched(bg.get(), c, 0, 0, bg->width(), bg->height());
        ui::DrawSlice(c, sprite.get(), r, row, ui::Strip::Vertical);
        return b.At(r.left + dx, r.top + dy);
    }
    // The launcher's picture as it composes it with one button lit (drawn in its hover row)
    // and every other one in its normal row; kNone: no button lit.
    static constexpr int kNone = -1, kNoSuchPicture = -2;
    fw::Bitmap Composed(int lit) {
        static const int kSprites[CMainWnd::kButtonCount] = {shared::IDB_LAUNCHER_CLOSE,    shared::IDB_LAUNCHER_MIN,
                                                             shared::IDB_LAUNCHER_OFFICIAL, shared::IDB_LAUNCHER_PAY,
                                                             shared::IDB_LAUNCHER_SERVICE,  shared::IDB_LAUNCHER_FORUM};
        std::unique_ptr<fw::Image> bg;
        ui::LoadSkinImage(shared::IDB_LAUNCHER_BG, bg);
        fw::Bitmap b(bg->width(), bg->height());
        fw::Canvas c(b);
        ui::DrawImageStretched(bg.get(), c, 0, 0, bg->width(), bg->height());
        for (int i = 0; i < CMainWnd::kButtonCount; ++i) {
            std::unique_ptr<fw::Image> sprite;
            ui::LoadSkinImage(kSprites[i], sprite);
            ui::DrawSlice(c, sprite.get(), layout::kButtons[i].rect, i == lit ? 1 : 0, ui::Strip::Vertical);
        }
        return b;
    }
    // Whether two pictures agree on every button's rectangle.
    static bool SameButtons(const fw::Bitmap& a, const fw::Bitmap& b) {
        for (const layout::ButtonPlace& button : layout::kButtons)
            for (int y = button.rect.top; y < button.rect.bottom; ++y)
                for (int x = button.rect.left; x < button.rect.right; ++x)
                    if (a.At(x, y) != b.At(x, y)) return false;
        return true;
    }
    // The button the window's picture shows lit (kNone: none; kNoSuchPicture: the buttons
    // look like no composition with at most one lit).
    int Lit() {
        const fw::Bitmap* shown = hl::LayeredPicture(*wnd);
        if (!shown) return kNoSuchPicture;
        for (int lit = kNone; lit < CMainWnd::kButtonCount; ++lit)
            if (SameButtons(*shown, Composed(lit))) return lit;
        return kNoSuchPicture;
    }
    TempDir dir;
    std::unique_ptr<CMainWnd> wnd;
};

const fw::Point kBackground{700, 650};

fw::Point Inside(const fw::Rect& r) { return {r.left + 10, r.top + 10}; }

}  // namespace

TEST_F(Launcher, CreationCentresTheSkinAndSharesItsState) {
    CMainWnd& w = Make();
    auto info = hl::Info(w);
    EXPECT_EQ(info.rect, fw::Rect::FromXYWH(315, 188, 1290, 704));
    EXPECT_TRUE(info.visible);
    EXPECT_TRUE(info.layered);
    EXPECT_TRUE(info.hasIcon);
    EXPECT_EQ(info.caption, "LumoDrakmoor");
    EXPECT_EQ(w.WebArea(), kWebArea);
    EXPECT_TRUE(w.AccountBound());
    EXPECT_TRUE(w.GameMaximized());
    EXPECT_TRUE(w.PageNotShown());
    EXPECT_EQ(w.gameWindow(), nullptr);
    // static.ini is the one in the program's folder: the first start wrote its keys there.
    EXPECT_EQ(app::IniFile::Load(dir.file("static.ini")).Get("dmor", "start"), "1");
    EXPECT_EQ(w.BossKeyName(), "F10");
    EXPECT_EQ(w.BossKey(), 121);

    // The picture: transparent outside the artwork, the opaque black page area inside.
    const fw::Bitmap* pic = hl::LayeredPicture(w);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->width(), 1290);
    EXPECT_EQ(pic->height(), 704);
    EXPECT_EQ(Shown(0, 0) >> 24, 0u);
    EXPECT_EQ(Shown(kWebArea.left, kWebArea.top), 0xFF000000u);
    EXPECT_EQ(Shown(kWebArea.right - 1, kWebArea.bottom - 1), 0xFF000000u);

    auto tray = hl::TrayIcons();
    ASSERT_EQ(tray.size(), 1u);
    EXPECT_EQ(tray[0].id, 148u);
    EXPECT_EQ(tray[0].tip, "LumoDrakmoor");
    EXPECT_EQ(tray[0].callbackMsg, WM_TRAY_NOTIFY);
    EXPECT_TRUE(tray[0].hasIcon);
    EXPECT_EQ(tray[0].menu, (std::vector<std::string>{"退出"}));  // for a desktop that shows it itself

    auto keys = hl::HotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].id, IDH_BOSSKEY);
    EXPECT_EQ(keys[0].modifiers, 0u);
    EXPECT_EQ(keys[0].vk, 121u);
}

TEST_F(Launcher, CentringTruncatesTowardZero) {
    hl::SetScreen({1280, 1024}, {0, 0, 1280, 994});
    CMainWnd& w = Make();
    EXPECT_EQ(hl::Info(w).rect, fw::Rect::FromXYWH(-5, 160, 1290, 704));
}

TEST_F(Launcher, HoverDrawsOnlyOnChanges) {
    CMainWnd& w = Make();
    // Each button's hover row differs from its normal row: the picture tells the states apart.
    for (int b = 0; b < CMainWnd::kButtonCount; ++b) EXPECT_FALSE(SameButtons(Composed(b), Composed(kNone))) << b;
    EXPECT_EQ(Lit(), kNone);
    int draws = w.drawCount();
    hl::MouseMove(w, Inside(kOfficial));
    EXPECT_EQ(Lit(), CMainWnd::kOfficial);
    EXPECT_EQ(w.drawCount(), draws + 1);
    EXPECT_EQ(Shown(kOfficial.left + 77, kOfficial.top + 27),
              Expected(shared::IDB_LAUNCHER_OFFICIAL, kOfficial, 1, 77, 27));

    hl::MouseMove(w, {kOfficial.left + 50, kOfficial.top + 20});  // same button: nothing
    EXPECT_EQ(w.drawCount(), draws + 1);

    hl::MouseMove(w, Inside(kPay));  // the hover passes over in one move
    EXPECT_EQ(Lit(), CMainWnd::kPay);
    EXPECT_EQ(w.drawCount(), draws + 2);
    EXPECT_EQ(Shown(kOfficial.left + 77, kOfficial.top + 27),
              Expected(shared::IDB_LAUNCHER_OFFICIAL, kOfficial, 0, 77, 27));

    hl::MouseMove(w, kBackground);
    EXPECT_EQ(Lit(), kNone);
    EXPECT_EQ(w.drawCount(), draws + 3);
    hl::MouseMove(w, {kBackground.x + 5, kBackground.y});  // nothing changed, nothing drawn
    EXPECT_EQ(w.drawCount(), draws + 3);
}

TEST_F(Launcher, HandCursorOnlyOverCloseAndMinimise) {
    CMainWnd& w = Make();
    hl::MouseMove(w, Inside(kClose));
    EXPECT_EQ(hl::Info(w).cursor, fw::Cursor::Hand);
    EXPECT_EQ(Lit(), CMainWnd::kClose);
    hl::MouseMove(w, {kClose.left + 12, kClose.top + 12});  // again: still the hand
    EXPECT_EQ(hl::Info(w).cursor, fw::Cursor::Hand);
    hl::MouseMove(w, Inside(kForum));
    EXPECT_EQ(hl::Info(w).cursor, fw::Cursor::Arrow);
    hl::MouseMove(w, Inside(kMin));
    EXPECT_EQ(hl::Info(w).cursor, fw::Cursor::Hand);
    EXPECT_EQ(Lit(), CMainWnd::kMin);
}

TEST_F(Launcher, LinksOpenOnReleaseWhileHovered) {
    WriteFile(dir.file("static.ini"),
              "[hosts]\nportal=127.0.0.1:8123\ngame=game.test\npay=pay.test:81\nforum=bbs.test\n");
    CMainWnd& w = Make();
    // Press on one link and release on another: the second opens.
    hl::MouseMove(w, Inside(kOfficial));
    hl::LButtonDown(w, Inside(kOfficial));
    hl::MouseMove(w, Inside(kPay));
    hl::LButtonUp(w, Inside(kPay));
    ASSERT_EQ(hl::ShellOpens().size(), 1u);
    EXPECT_EQ(hl::ShellOpens()[0], "http://pay.test:81/?g=dmor");
    EXPECT_EQ(Lit(), kNone);  // back to its normal row

    // Released over the background: nothing; back onto the button first: it opens.
    hl::MouseMove(w, Inside(kForum));
    hl::LButtonDown(w, Inside(kForum));
    hl::MouseMove(w, kBackground);
    hl::LButtonUp(w, kBackground);
    EXPECT_EQ(hl::ShellOpens().size(), 1u);
    hl::MouseMove(w, Inside(kForum));
    hl::LButtonDown(w, Inside(kForum));
    hl::MouseMove(w, kBackground);
    hl::MouseMove(w, Inside(kForum));
    hl::LButtonUp(w, Inside(kForum));
    ASSERT_EQ(hl::ShellOpens().size(), 2u);
    EXPECT_EQ(hl::ShellOpens()[1], "http://bbs.test/forum.php?mod=forumdisplay&fid=177");

    // A release on a button that is not hovered (state 0) does nothing.
    ASSERT_EQ(Lit(), kNone);
    hl::LButtonUp(w, Inside(kService));
    EXPECT_EQ(hl::ShellOpens().size(), 2u);

    hl::MouseMove(w, Inside(kService));
    hl::LButtonUp(w, Inside(kService));
    hl::MouseMove(w, Inside(kOfficial));
    hl::LButtonUp(w, Inside(kOfficial));
    ASSERT_EQ(hl::ShellOpens().size(), 4u);
    EXPECT_EQ(hl::ShellOpens()[2], "http://127.0.0.1:8123/kefu/");
    EXPECT_EQ(hl::ShellOpens()[3], "http://game.test");
}

TEST_F(Launcher, DefaultHostsAndIgnoredOverrides) {
    WriteFile(dir.file("static.ini"), "[hosts]\nportal=evil host/x\ngame=a.b:99999\n");
    CMainWnd& w = Make();
    EXPECT_EQ(shared::ServiceUrl(w.Hosts()), "http://" + shared::DefaultHosts().portal + "/kefu/");
    EXPECT_EQ(shared::OfficialSiteUrl(w.Hosts()), "http://" + shared::DefaultHosts().game);
}

TEST_F(Launcher, PressOutsideButtonsDragsTheWindow) {
    CMainWnd& w = Make();
    const fw::Point between{kOfficial.right, kOfficial.top + 3};  // between two buttons
    ASSERT_EQ(between.x, kPay.left - 1);
    hl::LButtonDown(w, between);
    EXPECT_EQ(hl::Info(w).moveDrags, 1);
    hl::DragBy(w, 40, -30);
    EXPECT_EQ(hl::Info(w).rect, fw::Rect::FromXYWH(355, 158, 1290, 704));
    hl::LButtonUp(w, between);

    const fw::Point serviceEdge{kService.left, kService.top + 3};  // the customer-service button's first column
    ASSERT_EQ(serviceEdge.x, kForum.right);                        // which is the forum button's end
    hl::LButtonDown(w, serviceEdge);
    EXPECT_EQ(hl::Info(w).moveDrags, 1);
    hl::MouseMove(w, serviceEdge);
    EXPECT_EQ(Lit(), CMainWnd::kService);
}

TEST_F(Launcher, CloseAsksAndCancelKeepsEverything) {
    CMainWnd& w = Make();
    fw::Rect before = hl::Info(w).rect;
    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    hl::LButtonUp(w, Inside(kClose));  // not hovered: close acts on release all the same
    ASSERT_EQ(hl::MessageBoxes().size(), 1u);
    const auto& box = hl::MessageBoxes()[0];
    EXPECT_EQ(box.text, "确定要退出吗？");
    EXPECT_EQ(box.caption, "退出提示");
    EXPECT_EQ(box.owner, fw::kNoWindow);
    EXPECT_EQ(box.flags, fw::MB_OKCANCEL | fw::MB_ICONQUESTION);
    EXPECT_TRUE(w.IsWindow());
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_EQ(hl::Info(w).rect, before);
    EXPECT_EQ(hl::TrayIcons().size(), 1u);
    // Alt+F4 with the keys on the launcher itself asks the same.
    hl::QueueMessageBoxAnswer(fw::IDCANCEL);
    hl::KeyDown(w, fw::VK_F4, true);
    ASSERT_EQ(hl::MessageBoxes().size(), 2u);
    EXPECT_EQ(hl::MessageBoxes()[1].caption, "退出提示");
    EXPECT_TRUE(w.IsWindow());
    EXPECT_FALSE(fw::QuitRequested());
}

TEST_F(Launcher, CloseConfirmedEndsTheClientWithZero) {
    CMainWnd& w = Make();
    hl::QueueMessageBoxAnswer(fw::IDOK);
    hl::MouseMove(w, Inside(kClose));
    hl::LButtonUp(w, Inside(kClose));
    EXPECT_FALSE(w.IsWindow());
    EXPECT_TRUE(hl::TrayIcons().empty());
    EXPECT_TRUE(fw::QuitRequested());
    EXPECT_EQ(fw::ExitCode(), 0);
}

// The exit prompt looks for its target again when the box has been answered: a target that
// went away while the box was up (deleted, not only destroyed) is neither touched nor closed.
TEST_F(Launcher, ExitPromptWhoseTargetWentWhileTheBoxWasUp) {
    CMainWnd& w = Make();
    auto* target = new fw::Window();
    ASSERT_TRUE(target->Create(fw::CreateParams{}));
    hl::OnMessageBox([&](const hl::MessageBoxCall&) {
        delete target;
        target = nullptr;
    });
    hl::QueueMessageBoxAnswer(fw::IDOK);
    shared::ExitPrompt(target);
    hl::OnMessageBox(nullptr);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(hl::MessageBoxes().size(), 1u);
    EXPECT_TRUE(w.IsWindow());
    EXPECT_FALSE(fw::QuitRequested());

    // No target at all: the question is asked, and OK closes nothing.
    hl::QueueMessageBoxAnswer(fw::IDOK);
    shared::ExitPrompt(nullptr);
    EXPECT_EQ(hl::MessageBoxes().size(), 2u);
    EXPECT_TRUE(w.IsWindow());
}

TEST_F(Launcher, MinimiseNeedsHover) {
    CMainWnd& w = Make();
    hl::LButtonUp(w, Inside(kMin));
    EXPECT_FALSE(hl::Info(w).minimized);
    hl::MouseMove(w, Inside(kMin));
    hl::LButtonUp(w, Inside(kMin));
    EXPECT_TRUE(hl::Info(w).minimized);
    EXPECT_EQ(Lit(), kNone);
}

TEST_F(Launcher, BossKeyHidesAndShows) {
    CMainWnd& w = Make();
    ASSERT_TRUE(hl::PressHotKey(0, fw::VK_F10));
    hl::Pump();
    EXPECT_FALSE(hl::Info(w).visible);
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_EQ(hl::Foreground(), w.handle());
    EXPECT_FALSE(hl::PressHotKey(fw::MOD_SHIFT, fw::VK_F10));

    // Brought back by the tray icon while hidden: the key hides it again, and shows it again.
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    hl::TrayEvent(hl::TrayIcons().at(0).id, fw::WM_LBUTTONDBLCLK);
    ASSERT_TRUE(hl::Info(w).visible);
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_FALSE(hl::Info(w).visible);
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_TRUE(hl::Info(w).visible);
}

TEST_F(Launcher, BossKeyFromPackedCode) {
    WriteFile(dir.file("static.ini"), "[dmor]\nhotkey=393337\nhotName=Ctrl + Alt + F10\n");
    CMainWnd& w = Make();
    auto keys = hl::HotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].modifiers, fw::MOD_CONTROL | fw::MOD_ALT);
    EXPECT_EQ(keys[0].vk, fw::VK_F10);
    EXPECT_EQ(w.BossKeyName(), "Ctrl + Alt + F10");
    EXPECT_EQ(w.BossKey(), 393337);
    EXPECT_EQ(CMainWnd::HotKeyModifiers(0x10000 | 0x80000 | 65), fw::MOD_SHIFT);  // extended flag dropped
}

TEST_F(Launcher, NoBossKeyWhenEmptyOrTaken) {
    WriteFile(dir.file("static.ini"), "[dmor]\nhotkey=\n");
    Make();
    EXPECT_TRUE(hl::HotKeys().empty());
    wnd.reset();

    hl::Reset();
    hl::SetHotKeyTaken(0, fw::VK_F10);
    WriteFile(dir.file("static.ini"), "[dmor]\n");
    CMainWnd& w = Make();
    EXPECT_TRUE(w.IsWindow());
    EXPECT_TRUE(hl::HotKeys().empty());
    EXPECT_TRUE(hl::MessageBoxes().empty());
}

TEST_F(Launcher, LaunchersShareOneBossKeyAndTakeItOver) {
    auto holder = std::make_unique<CMainWnd>(CMainWnd::kNormalStart);
    ASSERT_TRUE(holder->Created());
    holder->Show(fw::ShowCmd::Show);
    CMainWnd& w = Make();
    auto keys = hl::HotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].wnd, holder->handle());
    EXPECT_EQ(hl::TrayIcons().size(), 2u);

    // One press hides both, silenced; the next shows both.
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_FALSE(hl::Info(w).visible);
    EXPECT_FALSE(hl::Info(*holder).visible);
    EXPECT_TRUE(hl::PagesMuted());
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_TRUE(hl::Info(*holder).visible);
    EXPECT_FALSE(hl::PagesMuted());

    // The holder ends: the other takes the key over, and it still works.
    holder.reset();
    keys = hl::HotKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].wnd, w.handle());
    hl::PressHotKey(0, fw::VK_F10);
    hl::Pump();
    EXPECT_FALSE(hl::Info(w).visible);
}

TEST_F(Launcher, TrayDoubleClickShowsRestoresAndRaises) {
    CMainWnd& w = Make(CMainWnd::kHiddenStart);
    EXPECT_FALSE(hl::Info(w).visible);
    EXPECT_EQ(hl::TrayIcons().size(), 1u);  // also in the hidden start
    hl::TrayEvent(148, fw::WM_LBUTTONDBLCLK);
    EXPECT_TRUE(hl::Info(w).visible);
    EXPECT_EQ(hl::Foreground(), w.handle());

    w.Show(fw::ShowCmd::Minimize);
    ASSERT_TRUE(hl::Info(w).minimized);
    hl::TrayEvent(148, fw::WM_LBUTTONDBLCLK);
    EXPECT_FALSE(hl::Info(w).minimized);
    EXPECT_TRUE(hl::Info(w).visible);

    hl::TrayEvent(148, fw::WM_LBUTTONDOWN);  // other mouse messages do nothing
    EXPECT_FALSE(hl::LastPopupMenu().has_value());
}

TEST_F(Launcher, TrayMenuExitEndsAtOnceWithoutAsking) {
    CMainWnd& w = Make();
    hl::SetCursorPos({1800, 1050});
    hl::TrayEvent(148, fw::WM_RBUTTONDOWN);
    auto menu = hl::LastPopupMenu();
    ASSERT_TRUE(menu.has_value());
    ASSERT_EQ(menu->texts.size(), 1u);
    EXPECT_EQ(menu->texts[0], "退出");
    EXPECT_EQ(menu->commands[0], shared::ID_TRAY_EXIT);
    EXPECT_EQ(menu->at, (fw::Point{1800, 1050}));
    hl::ChooseMenuItem(shared::ID_TRAY_EXIT);
    hl::Pump();
    EXPECT_FALSE(w.IsWindow());
    EXPECT_TRUE(hl::MessageBoxes().empty());
    EXPECT_TRUE(hl::TrayIcons().empty());
    EXPECT_TRUE(fw::QuitRequested());
}

TEST_F(Launcher, MissingButtonPictureStillHitTests) {
    fw::OverrideResource(shared::IDB_LAUNCHER_PAY, "PNG", {}, false);
    static const std::uint8_t garbage[] = {1, 2, 3, 4, 5};
    fw::OverrideResource(shared::IDB_LAUNCHER_FORUM, "PNG", garbage, true);
    CMainWnd& w = Make();
    hl::MouseMove(w, Inside(kPay));
    hl::LButtonUp(w, Inside(kPay));
    EXPECT_EQ(hl::ShellOpens().size(), 1u);
    // Nothing of the missing sprites is drawn: the background shows through.
    std::unique_ptr<fw::Image> bg;
    ui::LoadSkinImage(shared::IDB_LAUNCHER_BG, bg);
    EXPECT_EQ(Shown(kPay.left + 70, kPay.top + 25), bg->At(kPay.left + 70, kPay.top + 25));
    EXPECT_EQ(Shown(kForum.left + 70, kForum.top + 25), bg->At(kForum.left + 70, kForum.top + 25));
}

TEST_F(Launcher, MissingBackgroundMeansNoLauncher) {
    fw::OverrideResource(shared::IDB_LAUNCHER_BG, "PNG", {}, false);
    CMainWnd w(CMainWnd::kNormalStart);
    EXPECT_FALSE(w.Created());
    EXPECT_TRUE(hl::TrayIcons().empty());
    EXPECT_TRUE(hl::HotKeys().empty());

    CRaduVoveApp appObj;
    EXPECT_FALSE(appObj.InitInstance(""));
}

TEST(StartMode, OnlyTrimmedDashHhStartsHidden) {
    EXPECT_EQ(CRaduVoveApp::StartModeFor("-hh"), CMainWnd::kHiddenStart);
    EXPECT_EQ(CRaduVoveApp::StartModeFor("  \t-hh\t "), CMainWnd::kHiddenStart);
    for (const char* s : {"", "-HH", "/hh", "hh", "-hh x", "-hhh", "x -hh"})
        EXPECT_EQ(CRaduVoveApp::StartModeFor(s), CMainWnd::kNormalStart) << s;
}

TEST_F(Launcher, AppStartShowsOrHides) {
    {
        CRaduVoveApp a;
        ASSERT_TRUE(a.InitInstance(" -hh "));
        EXPECT_FALSE(hl::Info(*a.mainWnd()).visible);
        EXPECT_EQ(fw::MainWindow(), a.mainWnd());
        delete a.mainWnd();
    }
    hl::Reset();
    CRaduVoveApp b;
    ASSERT_TRUE(b.InitInstance("-hh extra"));
    EXPECT_TRUE(hl::Info(*b.mainWnd()).visible);
    delete b.mainWnd();
}
