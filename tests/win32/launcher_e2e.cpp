// raduvove.exe from outside, as a user meets it: started in a folder of its own with the
// static.ini of a first start, its launcher found among the desktop's windows, the boss key
// pressed and the exit prompt answered through the system's input. (Under Wine the launcher's
// page never loads, so the page dialog stays hidden; the launcher itself does not need it.)
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <memory>

using namespace e2e;

namespace {

// A first start: the file the platform put there before it, with the pages pointed at a
// port where nothing listens (no request leaves the machine).
constexpr const char* kFirstStartIni =
    "[dmor]\r\nfilename=abc_xyz.exe\r\n[hosts]\r\nportal=127.0.0.1:9\r\ngame=127.0.0.1:9\r\n"
    "pay=127.0.0.1:9\r\nforum=127.0.0.1:9\r\ncs=127.0.0.1:9\r\n";

}  // namespace

TEST(LauncherE2E, FirstStartCentresTheLauncherBossKeyHidesItAndOkOnTheExitPromptEndsIt) {
    Client client(RV_CLIENT_EXE);
    ASSERT_TRUE(client.copied());
    client.WriteIni(kFirstStartIni);
    ASSERT_TRUE(client.Start(L""));

    HWND launcher = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (launcher = client.Launcher()) != nullptr; }, 30000));
    RECT r{};
    GetWindowRect(launcher, &r);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(r.left, (sw - kWidth) / 2);
    EXPECT_EQ(r.top, (sh - kHeight) / 2);
    EXPECT_EQ(r.right - r.left, kWidth);
    EXPECT_EQ(r.bottom - r.top, kHeight);
    EXPECT_TRUE(GetWindowLongW(launcher, GWL_EXSTYLE) & WS_EX_LAYERED);

    // The one-time derivation written back.
    EXPECT_EQ(client.IniValue(L"start"), L"1");
    EXPECT_EQ(client.IniValue(L"uid"), L"abc");
    EXPECT_EQ(client.IniValue(L"filename"), L"xyz");

    // The boss key (F10 when static.ini names none) hides the launcher and brings it back.
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(launcher); }, 10000));
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(launcher) != FALSE; }, 10000));

    // The close button asks first; OK ends the program with exit code 0.
    ClickAt(
        {r.left + (kCloseButton.left + kCloseButton.right) / 2, r.top + (kCloseButton.top + kCloseButton.bottom) / 2});
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (prompt = client.ExitPrompt()) != nullptr; }, 10000));
    EXPECT_TRUE(client.Running());  // the prompt alone ends nothing
    HWND ok = GetDlgItem(prompt, IDOK);
    ASSERT_TRUE(ok);
    ClickAt(Centre(ok));
    const std::optional<DWORD> code = client.ExitCode(15000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(LauncherE2E, HiddenStartShowsNothingUntilTheBossKeyAndCancelKeepsItRunning) {
    Client client(RV_CLIENT_EXE);
    ASSERT_TRUE(client.copied());
    client.WriteIni("[dmor]\r\nstart=1\r\nfilename=xyz\r\nuid=abc\r\n[hosts]\r\nportal=127.0.0.1:9\r\n");
    ASSERT_TRUE(client.Start(L"  -hh\t"));  // the switch with blanks around it

    HWND launcher = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (launcher = client.Launcher(false)) != nullptr; }, 30000));
    Sleep(500);
    EXPECT_FALSE(IsWindowVisible(launcher));
    // A later start takes the values as they stand.
    EXPECT_EQ(client.IniValue(L"filename"), L"xyz");

    SendKey(VK_F10);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(launcher) != FALSE; }, 10000));
    RECT r{};
    GetWindowRect(launcher, &r);
    ClickAt(
        {r.left + (kCloseButton.left + kCloseButton.right) / 2, r.top + (kCloseButton.top + kCloseButton.bottom) / 2});
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (prompt = client.ExitPrompt()) != nullptr; }, 10000));
    ClickAt(Centre(GetDlgItem(prompt, IDCANCEL)));
    EXPECT_TRUE(WaitFor([&] { return client.ExitPrompt() == nullptr; }, 10000));
    Sleep(300);
    EXPECT_TRUE(client.Running());
    EXPECT_TRUE(IsWindowVisible(launcher));
    // Closed from outside (the taskbar's close): no prompt, and the same clean end.
    PostMessageW(launcher, WM_SYSCOMMAND, SC_CLOSE, 0);
    const std::optional<DWORD> code = client.ExitCode(15000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(LauncherE2E, OneBossKeyPressHidesEveryRunningClientAndTheNextShowsThemAll) {
    // Two accounts, each client in a folder of its own, both wanting F10.
    auto first = std::make_unique<Client>(RV_CLIENT_EXE);
    Client second(RV_CLIENT_EXE);
    HWND launchers[2] = {};
    int i = 0;
    for (Client* c : {first.get(), &second}) {
        ASSERT_TRUE(c->copied());
        c->WriteIni(kFirstStartIni);
        ASSERT_TRUE(c->Start(L""));
        HWND& l = launchers[i++];
        ASSERT_TRUE(WaitFor([&] { return (l = c->Launcher()) != nullptr; }, 30000));
    }
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(launchers[0]) && !IsWindowVisible(launchers[1]); }, 10000));
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(launchers[0]) && IsWindowVisible(launchers[1]); }, 10000));

    // The first, which holds the key, is killed: the other takes the key over.
    first.reset();
    Sleep(1000);
    SendKey(VK_F10);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(launchers[1]); }, 10000));
}
