// Over 500 lines: one suite, the boss key from every window that can be up when it is pressed.
// The boss-key dialog on the headless desktop, with the modal loop and the hot-key field it
// stands on: layout and start values, confirming (unchanged, changed, refused), ending
// without applying, the mouse, painting and fonts.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/main_wnd.h"
#include "shared/messages.h"
#include "shared/resource.h"
#include "fw/dialog.h"
#include "fw/headless/controls.h"
#include "fw/headless/desktop.h"
#include "fw/headless/modal.h"
#include "fw/hotkey.h"
#include "fw/hotkey_field.h"
#include "fw/message_box.h"
#include "fw/resources.h"
#include "test_support.h"
#include "side/bosskey_dlg.h"
#include "ui/skin.h"

namespace hl = fw::headless;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr fw::Rect kClose{344, 0, 355, 11};
constexpr fw::Rect kConfirm{239, 73, 299, 94};
constexpr fw::Point kCloseAt{349, 5};
constexpr fw::Point kConfirmAt{260, 80};
constexpr fw::Point kBackgroundAt{20, 130};
constexpr int kF10 = 0x79;

// The game window the launcher makes for its WM_OPEN_GAME: the fixture's own.
fw::Window* g_gameToMake = nullptr;
fw::Window* HandOverGame(ILauncher&) { return g_gameToMake; }

class BossKey : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        hl::ResetModal();
        fw::ClearResourceOverrides();
        CBosskey::SetFacesForTesting("", "");
        ui::SetModuleDirForTesting(dir.dir());
        fw::CreateParams p;
        p.style = fw::kPopup;
        p.rect = fw::Rect::FromXYWH(100, 50, 1300, 820);
        ASSERT_TRUE(game.Create(p));
        game.Show(fw::ShowCmd::Show);
        StartLauncher("[dmor]\nhotkey=121\nhotName=F10\n");
    }
    void TearDown() override {
        hl::ResetModal();
        game.Destroy();
        launcher.reset();
        CMainWnd::SetGameWindowFactory(nullptr);
        g_gameToMake = nullptr;
        CBosskey::SetFacesForTesting("", "");
        fw::ClearResourceOverrides();
        ui::SetModuleDirForTesting("");
    }
    // A launcher (hidden) with this static.ini, and `game` as its game window, made the way
    // the launcher makes one: at the page's request, with the window not maximised.
    void StartLauncher(const std::string& ini) {
        launcher.reset();
        WriteFile(dir.file("static.ini"), ini);
        launcher = std::make_unique<CMainWnd>(CMainWnd::kHiddenStart);
        ASSERT_TRUE(launcher->Created());
        g_gameToMake = &game;
        CMainWnd::SetGameWindowFactory(&HandOverGame);
        launcher->SetGameMaximized(false);
        launcher->SetGameUrl("http://g.test/play");
        launcher->Send(WM_OPEN_GAME);
        ASSERT_EQ(launcher->gameWindow(), &game);
        ASSERT_EQ(hl::Info(game).rect, fw::Rect::FromXYWH(100, 50, 1300, 820));
    }

    // Opens the dialog over the game window; `user` plays the user while it runs.
    int Run(std::function<void(CBosskey&)> user) {
        hl::OnModal([user](fw::Window& w) {
            auto* dlg = dynamic_cast<CBosskey*>(&w);
            ASSERT_NE(dlg, nullptr);
            user(*dlg);
        });
        CBosskey dlg(&game, launcher.get());
        return dlg.DoModal();
    }
    static bool Running(CBosskey& d) { return d.IsWindow() && fw::IsModalRunning(d); }
    static void Type(CBosskey& d, unsigned vk, unsigned flags) {
        ASSERT_TRUE(hl::TypeHotKey(d, CBosskey::kFieldId, vk, flags));
    }
    static void Confirm(CBosskey& d) { hl::Click(d, kConfirmAt); }
    static void CloseByCross(CBosskey& d) {
        hl::MouseMove(d, kCloseAt);
        hl::Click(d, kCloseAt);
    }
    std::vector<hl::HotKeyReg> LauncherKeys() {
        std::vector<hl::HotKeyReg> out;
        for (const auto& r : hl::HotKeys())
            if (r.wnd == launcher->handle() && r.id == IDH_BOSSKEY) out.push_back(r);
        return out;
    }

    TempDir dir;
    std::unique_ptr<CMainWnd> launcher;
    fw::Window game;
};

// A composition of the dialog's pictures without text: background, then the two slices.
fw::Bitmap Composed(int closeSlice, int confirmSlice) {
    std::unique_ptr<fw::Image> bg, cross, ok;
    ui::LoadSkinImage(shared::IDB_BOSSKEY_BG, bg);
    ui::LoadSkinImage(shared::IDB_BOSSKEY_CLOSE, cross);
    ui::LoadSkinImage(shared::IDB_BOSSKEY_OK, ok);
    fw::Bitmap b(CBosskey::kWidth, CBosskey::kHeight);
    fw::Canvas c(b);
    ui::DrawImageStretched(bg.get(), c, 0, 0, CBosskey::kWidth, CBosskey::kHeight);
    ui::DrawSlice(c, cross.get(), kClose, closeSlice, ui::Strip::Vertical);
    ui::DrawSlice(c, ok.get(), kConfirm, confirmSlice, ui::Strip::Vertical);
    return b;
}

// How many pixels of the rectangle differ between two pictures.
int Differences(const fw::Bitmap& a, const fw::Bitmap& b, const fw::Rect& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += a.At(x, y) != b.At(x, y);
    return n;
}

}  // namespace

// ---- opening ---------------------------------------------------------------------------

TEST_F(BossKey, OpensCentredOverTheGameWindowWhichTakesNoInputMeanwhile) {
    StartLauncher("[dmor]\nhotkey=393337\nhotName=Ctrl + Alt + F10\n");  // 0x060079
    bool ran = false;
    int result = Run([&](CBosskey& d) {
        ran = true;
        auto info = hl::Info(d);
        EXPECT_EQ(info.rect, fw::Rect::FromXYWH(100 + 472, 50 + 325, 355, 169));
        EXPECT_TRUE(info.visible);
        EXPECT_EQ(hl::Foreground(), d.handle());
        EXPECT_EQ(d.parent(), &game);
        EXPECT_TRUE(fw::IsDisabled(game));
        EXPECT_FALSE(fw::IsDisabled(d));
        EXPECT_FALSE(fw::IsDisabled(*launcher));
        EXPECT_EQ(d.closeRect(), kClose);
        EXPECT_EQ(d.confirmRect(), kConfirm);
        EXPECT_EQ(d.closeState(), 0);
        EXPECT_EQ(d.confirmState(), 0);

        auto field = hl::FindHotKeyField(d, 170);
        ASSERT_TRUE(field.has_value());
        EXPECT_EQ(field->rect, (fw::Rect{134, 72, 225, 94}));
        EXPECT_EQ(field->face, "Arial");
        EXPECT_EQ(field->pointSize, 10);
        EXPECT_TRUE(field->visible);
        EXPECT_TRUE(field->focused);
        EXPECT_EQ(field->vk, 0x79u);
        EXPECT_EQ(field->flags, fw::HOTKEYF_CONTROL | fw::HOTKEYF_ALT);
        EXPECT_EQ(field->text, "Ctrl + Alt + F10");
    });
    ASSERT_TRUE(ran);
    // Nobody ended it: the loop ran dry and gave up rather than hang.
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(fw::IsDisabled(game));
    EXPECT_EQ(hl::Foreground(), game.handle());
    EXPECT_EQ(hl::LiveWindows().size(), 2u);  // the launcher and the game window only
}

TEST_F(BossKey, WithoutItsFieldTheDialogDoesNotOpen) {
    hl::FailNextHotKeyFieldCreation();
    EXPECT_EQ(Run([](CBosskey&) { ADD_FAILURE() << "no modal loop expected"; }), -1);
    EXPECT_EQ(hl::ModalLoopsStarted(), 0);
    EXPECT_EQ(hl::LiveWindows().size(), 2u);
    EXPECT_FALSE(fw::IsDisabled(game));
}

// ---- confirming -------------------------------------------------------------------------

TEST_F(BossKey, ConfirmingTheKeyAlreadySetTouchesNothing) {
    // Another program takes F10 meanwhile: any new request for it would now fail, so an
    // unregister/register pair would show up as a lost key and a failure message.
    StartLauncher("[dmor]\nhotkey=121\nhotName=unchanged\n");
    hl::SetHotKeyTaken(0, kF10);
    const auto before = hl::HotKeys();
    EXPECT_EQ(Run([](CBosskey& d) { Confirm(d); }), fw::IDOK);
    const auto after = hl::HotKeys();
    ASSERT_EQ(after.size(), before.size());
    ASSERT_EQ(LauncherKeys().size(), 1u);
    EXPECT_EQ(LauncherKeys()[0].vk, static_cast<unsigned>(kF10));
    EXPECT_TRUE(hl::MessageBoxes().empty());
    EXPECT_EQ(launcher->BossKey(), 121);
    EXPECT_EQ(launcher->BossKeyName(), "unchanged");
}

TEST_F(BossKey, ANewCombinationIsRegisteredAndNamed) {
    // The confirm button applies on release whatever its highlight (no move before).
    EXPECT_EQ(Run([](CBosskey& d) {
                  Type(d, 'A', fw::HOTKEYF_CONTROL | fw::HOTKEYF_SHIFT);
                  Confirm(d);
              }),
              fw::IDOK);
    EXPECT_EQ(launcher->BossKey(), 0x030041);
    EXPECT_EQ(launcher->BossKeyName(), "Ctrl + Shift + A");
    auto keys = LauncherKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].modifiers, fw::MOD_CONTROL | fw::MOD_SHIFT);
    EXPECT_EQ(keys[0].vk, static_cast<unsigned>('A'));

    // The new key hides the game window; the old one is gone.
    EXPECT_FALSE(hl::PressHotKey(0, kF10));
    EXPECT_TRUE(hl::PressHotKey(fw::MOD_CONTROL | fw::MOD_SHIFT, 'A'));
    hl::Pump();
    EXPECT_FALSE(game.IsVisible());
}

TEST_F(BossKey, AnExtendedFlagAloneIsAChangeAndRegistersTheKeyAgain) {
    StartLauncher(
        "[dmor]\nhotkey=45\nhotName=Num 0\n");  // 0x2D: the key that shares Insert's scan code, without the flag
    ASSERT_EQ(LauncherKeys().size(), 1u);
    ASSERT_EQ(LauncherKeys()[0].vk, 0x2Du);
    // A later registration of another window: a fresh registration of the boss key goes
    // after it.
    ASSERT_TRUE(fw::RegisterHotKey(game.handle(), 7, fw::MOD_ALT, 'G'));
    ASSERT_EQ(hl::HotKeys().front().wnd, launcher->handle());

    EXPECT_EQ(Run([](CBosskey& d) {
                  Type(d, 0x2D, fw::HOTKEYF_EXT);
                  Confirm(d);
              }),
              fw::IDOK);
    EXPECT_EQ(launcher->BossKey(), 0x08002D);
    EXPECT_EQ(launcher->BossKeyName(), "Insert");
    auto all = hl::HotKeys();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all.back().wnd, launcher->handle());
    EXPECT_EQ(all.back().modifiers, 0u);  // the flag has no system modifier
    EXPECT_EQ(all.back().vk, 0x2Du);
    EXPECT_TRUE(hl::MessageBoxes().empty());
}

TEST_F(BossKey, ARefusedCombinationKeepsTheOldKeyWorkingAndTheDialogOpen) {
    hl::SetHotKeyTaken(fw::MOD_ALT, 'Q');
    ASSERT_EQ(launcher->BossKeyName(), "F10");
    bool oldKeyBackDuringTheMessage = false;
    hl::OnMessageBox([&](const hl::MessageBoxCall&) { oldKeyBackDuringTheMessage = LauncherKeys().size() == 1; });
    int result = Run([&](CBosskey& d) {
        Type(d, 'Q', fw::HOTKEYF_ALT);
        Confirm(d);
        ASSERT_EQ(hl::MessageBoxes().size(), 1u);
        const auto& box = hl::MessageBoxes()[0];
        EXPECT_EQ(box.text, "注册热键失败");
        EXPECT_EQ(box.owner, d.handle());
        EXPECT_EQ(box.flags, fw::MB_OK);
        EXPECT_TRUE(Running(d));
        EXPECT_TRUE(hl::Info(d).visible);
        EXPECT_EQ(launcher->BossKey(), 121);
        EXPECT_EQ(launcher->BossKeyName(), "F10");
        auto field = hl::FindHotKeyField(d, CBosskey::kFieldId);
        EXPECT_EQ(field->vk, static_cast<unsigned>('Q'));  // the field keeps the user's try

        // The old key still works while the dialog is open.
        EXPECT_TRUE(hl::PressHotKey(0, kF10));
        CloseByCross(d);
    });
    EXPECT_EQ(result, fw::IDCANCEL);
    EXPECT_TRUE(oldKeyBackDuringTheMessage);
    auto keys = LauncherKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].modifiers, 0u);
    EXPECT_EQ(keys[0].vk, static_cast<unsigned>(kF10));
    hl::Pump();
    EXPECT_FALSE(game.IsVisible());  // the hot key pressed during the dialog arrived
}

TEST_F(BossKey, ARefusalWithNoKeySetLeavesNoKey) {
    StartLauncher("[dmor]\nhotkey=\n");  // no key: -1
    ASSERT_EQ(launcher->BossKey(), -1);
    ASSERT_TRUE(LauncherKeys().empty());
    int result = Run([&](CBosskey& d) {
        auto field = hl::FindHotKeyField(d, CBosskey::kFieldId);
        EXPECT_EQ(field->vk, 255u);  // both bytes of -1 as they are
        EXPECT_EQ(field->flags, 255u);
        Confirm(d);  // 255 with every flag: no such key
        EXPECT_EQ(hl::MessageBoxes().size(), 1u);
        EXPECT_TRUE(LauncherKeys().empty());
        // A second try with a good key works.
        Type(d, 'B', fw::HOTKEYF_ALT);
        Confirm(d);
    });
    EXPECT_EQ(result, fw::IDOK);
    EXPECT_EQ(launcher->BossKey(), 0x040042);
    EXPECT_EQ(launcher->BossKeyName(), "Alt + B");
    ASSERT_EQ(LauncherKeys().size(), 1u);
    EXPECT_EQ(LauncherKeys()[0].modifiers, fw::MOD_ALT);
}

// ---- ending without applying ---------------------------------------------------------------

TEST_F(BossKey, OkCancelAndCloseOfTheDialogItselfApplyNothing) {
    struct Case {
        const char* name;
        std::function<void(CBosskey&)> end;
        int result;
    };
    const Case cases[] = {
        {"Return", [](CBosskey& d) { hl::KeyDown(d, fw::VK_RETURN); }, fw::IDOK},
        {"Escape", [](CBosskey& d) { hl::KeyDown(d, fw::VK_ESCAPE); }, fw::IDCANCEL},
        {"IDOK", [](CBosskey& d) { d.Send(fw::WM_COMMAND, fw::IDOK, 0); }, fw::IDOK},
        {"close", [](CBosskey& d) { d.Send(fw::WM_CLOSE); }, fw::IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int result = Run([&](CBosskey& d) {
            Type(d, 'Z', fw::HOTKEYF_CONTROL);
            c.end(d);
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(launcher->BossKey(), 121);
        ASSERT_EQ(LauncherKeys().size(), 1u);
        EXPECT_EQ(LauncherKeys()[0].vk, static_cast<unsigned>(kF10));
    }
}

TEST_F(BossKey, TheCrossClosesOnlyWhenHighlighted) {
    int result = Run([](CBosskey& d) {
        Type(d, 'Z', fw::HOTKEYF_CONTROL);
        hl::Click(d, kCloseAt);  // no move over it first: state 0, nothing happens
        EXPECT_TRUE(Running(d));
        hl::MouseMove(d, kCloseAt);
        hl::LButtonDown(d, kCloseAt);
        EXPECT_TRUE(Running(d));  // a press alone does nothing
        EXPECT_EQ(hl::Info(d).moveDrags, 0);
        hl::LButtonUp(d, kCloseAt);
    });
    EXPECT_EQ(result, fw::IDCANCEL);
    EXPECT_EQ(launcher->BossKey(), 121);
}

TEST_F(BossKey, GoesWithItsOwner) {
    int result = Run([&](CBosskey& d) {
        EXPECT_TRUE(Running(d));
        game.Destroy();
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(hl::LiveWindows().size(), 1u);
}

// ---- mouse and painting -----------------------------------------------------------------

TEST_F(BossKey, HighlightMovesBetweenTheButtonsInOneMove) {
    Run([](CBosskey& d) {
        hl::MouseMove(d, kCloseAt);
        EXPECT_EQ(d.closeState(), 1);
        EXPECT_EQ(d.confirmState(), 0);
        fw::Bitmap shown = hl::PaintWindow(d);
        fw::Bitmap want = Composed(1, 0);
        EXPECT_EQ(Differences(shown, want, kClose), 0);
        EXPECT_EQ(Differences(shown, want, kConfirm), 0);
        EXPECT_GT(Differences(shown, Composed(0, 0), kClose), 0);  // the slices do differ

        hl::MouseMove(d, kConfirmAt);  // straight from the cross onto the confirm button
        EXPECT_EQ(d.closeState(), 0);
        EXPECT_EQ(d.confirmState(), 1);
        shown = hl::PaintWindow(d);
        want = Composed(0, 1);
        EXPECT_EQ(Differences(shown, want, kClose), 0);
        EXPECT_EQ(Differences(shown, want, kConfirm), 0);

        hl::MouseMove(d, {kConfirmAt.x + 5, kConfirmAt.y});
        EXPECT_EQ(d.confirmState(), 1);
        // Leaving the dialog at once: no move inside it, so the highlight stays.
        hl::MouseMove(d, {400, 80});
        EXPECT_EQ(d.confirmState(), 1);
        hl::MouseMove(d, kBackgroundAt);
        EXPECT_EQ(d.closeState(), 0);
        EXPECT_EQ(d.confirmState(), 0);
        CloseByCross(d);
    });
}

TEST_F(BossKey, ThePromptIsWhiteBesideTheFieldInTheFirstFaceAvailable) {
    Run([](CBosskey& d) {
        ASSERT_TRUE((fw::Font{"微软雅黑", 12, false}.Exists()));
        EXPECT_FALSE(d.usesFallbackFace());
        EXPECT_EQ(d.promptFont().face, "微软雅黑");
        EXPECT_EQ(d.promptFont().pixelSize, 12);
        EXPECT_EQ(d.promptRect(), fw::Rect::FromXYWH(50, 73, 84, 20));
        fw::Bitmap shown = hl::PaintWindow(d);
        const fw::Rect r = d.promptRect();
        int white = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) white += (fw::Unpremultiply(shown.At(x, y)) & 0xE0E0E0) == 0xE0E0E0;
        EXPECT_GT(white, 10);
    });
    CBosskey::SetFacesForTesting("no such face anywhere", "");
    Run([](CBosskey& d) {
        EXPECT_TRUE(d.usesFallbackFace());
        EXPECT_EQ(d.promptFont().face, "宋体");
        EXPECT_EQ(d.promptFont().pixelSize, 13);
        EXPECT_EQ(d.promptRect(), fw::Rect::FromXYWH(50, 74, 84, 20));
    });
}

TEST_F(BossKey, DragsByAnythingButTheButtons) {
    Run([](CBosskey& d) {
        const fw::Rect start = hl::Info(d).rect;
        hl::LButtonDown(d, kConfirmAt);
        EXPECT_EQ(hl::Info(d).moveDrags, 0);
        hl::LButtonUp(d, {kBackgroundAt});  // released elsewhere: nothing
        EXPECT_TRUE(Running(d));

        hl::LButtonDown(d, kBackgroundAt);
        EXPECT_EQ(hl::Info(d).moveDrags, 1);
        hl::DragBy(d, 30, -20);
        hl::LButtonUp(d, kBackgroundAt);
        EXPECT_EQ(hl::Info(d).rect, start.Offset(30, -20));
        EXPECT_TRUE(Running(d));
        CloseByCross(d);
    });
}

// ---- the modal loop -------------------------------------------------------------------------

namespace {

// A window that ends its modal loop when it receives a numbered message.
class EndsOnMessage : public fw::Window {
public:
    static constexpr unsigned kEnd = fw::WM_USER + 1;
    static constexpr unsigned kAgain = fw::WM_USER + 2;
    int delivered = 0;

protected:
    fw::LRESULT OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM) override {
        ++delivered;
        if (msg == kEnd) fw::EndModal(*this, static_cast<int>(wp));
        if (msg == kAgain) Post(kAgain);  // never ends by itself
        return 0;
    }
};

class ModalLoop : public ::testing::Test {
protected:
    void SetUp() override {
        hl::Reset();
        hl::ResetModal();
        fw::CreateParams p;
        p.rect = fw::Rect::FromXYWH(0, 0, 800, 600);
        ASSERT_TRUE(owner.Create(p));
        owner.Show(fw::ShowCmd::Show);
    }
    void TearDown() override { hl::ResetModal(); }
    bool Make(fw::Window& dlg, fw::Window* parent) {
        fw::CreateParams p;
        p.style = fw::kPopup | fw::kDialog;
        p.parent = parent;
        p.rect = fw::Rect::FromXYWH(10, 10, 100, 100);
        return dlg.Create(p);
    }
    fw::Window owner;
};

}  // namespace

TEST_F(ModalLoop, EndsFromAPostedMessageWithItsCode) {
    EndsOnMessage dlg;
    ASSERT_TRUE(Make(dlg, &owner));
    fw::Window child;
    fw::CreateParams c;
    c.style = fw::kChild;
    c.parent = &owner;
    ASSERT_TRUE(child.Create(c));
    hl::OnModal([&](fw::Window& d) {
        EXPECT_EQ(&d, &dlg);
        EXPECT_TRUE(fw::IsModalRunning(dlg));
        EXPECT_TRUE(fw::IsDisabled(owner));
        EXPECT_TRUE(fw::IsDisabled(child));
        EXPECT_FALSE(fw::IsDisabled(dlg));
        EXPECT_EQ(fw::RunModal(dlg), -1);  // one loop per window at a time
        dlg.Post(EndsOnMessage::kEnd, 42);
    });
    EXPECT_EQ(fw::RunModal(dlg), 42);
    EXPECT_FALSE(fw::IsModalRunning(dlg));
    EXPECT_FALSE(fw::IsDisabled(owner));
    EXPECT_FALSE(dlg.IsVisible());
    EXPECT_EQ(hl::Foreground(), owner.handle());
    EXPECT_EQ(hl::ModalLoopsStarted(), 1);
}

TEST_F(ModalLoop, NestedLoopsDisableEachOwner) {
    EndsOnMessage outer, inner;
    ASSERT_TRUE(Make(outer, &owner));
    hl::OnModal([&](fw::Window& d) {
        if (&d == &outer) {
            ASSERT_TRUE(Make(inner, &outer));
            EXPECT_EQ(fw::RunModal(inner), 7);
            EXPECT_FALSE(fw::IsDisabled(outer));
            EXPECT_TRUE(fw::IsDisabled(owner));
            fw::EndModal(outer, 8);
        } else {
            EXPECT_TRUE(fw::IsDisabled(outer));
            EXPECT_TRUE(fw::IsDisabled(owner));
            fw::EndModal(outer, 99);  // not this loop's window: the outer loop ends later
            EXPECT_TRUE(fw::IsModalRunning(d));
            fw::EndModal(d, 7);
        }
    });
    EXPECT_EQ(fw::RunModal(outer), 8);
    EXPECT_EQ(hl::ModalLoopsStarted(), 2);
}

TEST_F(ModalLoop, NeverHangsAndEndsWithoutAWindow) {
    fw::Window gone;
    EXPECT_EQ(fw::RunModal(gone), -1);
    fw::EndModal(gone, 1);  // nothing to end
    EXPECT_EQ(hl::ModalLoopsStarted(), 0);

    EndsOnMessage busy;
    ASSERT_TRUE(Make(busy, &owner));
    hl::OnModal([&](fw::Window&) { busy.Post(EndsOnMessage::kAgain); });
    EXPECT_EQ(fw::RunModal(busy), -1);
    EXPECT_GT(busy.delivered, 1000);
    EXPECT_FALSE(fw::IsDisabled(owner));

    // Destroyed while running, even after EndModal was asked in the same turn: the code stands.
    EndsOnMessage doomed;
    ASSERT_TRUE(Make(doomed, nullptr));
    hl::OnModal([&](fw::Window& d) { d.Destroy(); });
    EXPECT_EQ(fw::RunModal(doomed), -1);
    EndsOnMessage ended;
    ASSERT_TRUE(Make(ended, nullptr));
    hl::OnModal([&](fw::Window& d) {
        fw::EndModal(d, 5);
        d.Destroy();
    });
    EXPECT_EQ(fw::RunModal(ended), 5);
}

TEST(HotKeyName, ModifiersInTheirOrderThenTheKey) {
    EXPECT_EQ(fw::HotKeyName(fw::VK_F10, 0), "F10");
    EXPECT_EQ(fw::HotKeyName(fw::VK_F10, fw::HOTKEYF_ALT | fw::HOTKEYF_CONTROL), "Ctrl + Alt + F10");
    EXPECT_EQ(fw::HotKeyName('K', fw::HOTKEYF_ALT | fw::HOTKEYF_SHIFT | fw::HOTKEYF_CONTROL), "Ctrl + Shift + Alt + K");
    EXPECT_EQ(fw::HotKeyName('K', fw::HOTKEYF_SHIFT), "Shift + K");
    // The extended flag picks the key of the shared scan code, and adds no modifier.
    EXPECT_EQ(fw::HotKeyName(0x2D, 0), "Num 0");
    EXPECT_EQ(fw::HotKeyName(0x2D, fw::HOTKEYF_EXT | fw::HOTKEYF_CONTROL), "Ctrl + Insert");
    EXPECT_EQ(fw::HotKeyName(0, 0), "");
    EXPECT_EQ(fw::HotKeyName(0, fw::HOTKEYF_CONTROL), "");
}
