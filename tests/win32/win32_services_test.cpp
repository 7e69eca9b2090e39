// The desktop's services of the Win32 back end against the real system: the boss key through
// RegisterHotKey and the system's own input, the notification-area icon and its menu, message
// boxes answered as a user would, the hot-key control, tool tips, and the program's resources.
#include "win32_support.h"  // the system's headers first

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "fw/com_ptr.h"
#include "fw/hotkey.h"
#include "fw/hotkey_field.h"
#include "fw/message_box.h"
#include "fw/resources.h"
#include "fw/system.h"
#include "fw/tooltip.h"
#include "fw/tray.h"
#include "fw/windows/wide.h"

using namespace rvtest;

namespace {

// A window of ours in the foreground, as the user's own window would be.
void Foreground(Recorder& w, const fw::Rect& r) {
    ASSERT_TRUE(w.Make(fw::kPopup, r));
    w.Show(fw::ShowCmd::Show);
    w.SetForeground();
    PumpFor(50);
}

std::wstring Text(HWND h) {
    wchar_t buf[512] = {};
    GetWindowTextW(h, buf, 512);
    return buf;
}

// Plays the user of the next window of that class and caption (a message box, a menu) from
// another thread, since the window's own loop runs on this one: `act` gets the window once it
// is up.
class User {
public:
    User(const wchar_t* cls, std::wstring caption, std::function<void(HWND)> act)
        : thread_([this, cls, caption = std::move(caption), act = std::move(act)] {
              for (int i = 0; i < 500 && !box_; ++i) {
                  box_ = FindOwnWindow(cls, caption.empty() ? nullptr : caption.c_str());
                  if (!box_) Sleep(10);
              }
              if (!box_) return;
              Sleep(30);
              for (HWND c = GetWindow(box_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) texts_.push_back(Text(c));
              act(box_);
          }) {}
    ~User() {
        if (thread_.joinable()) thread_.join();
    }
    std::vector<std::wstring> Texts() {
        if (thread_.joinable()) thread_.join();
        return texts_;
    }
    bool Found() {
        if (thread_.joinable()) thread_.join();
        return box_ != nullptr;
    }

private:
    HWND box_ = nullptr;
    std::vector<std::wstring> texts_;
    std::thread thread_;
};

// The user of a message box with that caption.
struct BoxUser : User {
    BoxUser(std::wstring caption, std::function<void(HWND)> act)
        : User(L"#32770", std::move(caption), std::move(act)) {}
};

bool Contains(const std::vector<std::wstring>& v, const std::wstring& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The tray's icon window of Wine's own notification area (a window of another process).
HWND WineTrayIcon() {
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    return tray ? FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr) : nullptr;
}

}  // namespace

using Win32HotKeys = Win32Test;

TEST_F(Win32HotKeys, ThePressOfARegisteredKeyReachesItsWindowAndASecondOwnerIsRefused) {
    Recorder owner, other;
    Foreground(owner, fw::Rect::FromXYWH(100, 100, 200, 100));
    ASSERT_TRUE(other.Make(fw::kPopup, fw::Rect::FromXYWH(400, 100, 100, 100)));
    const unsigned mods = fw::MOD_CONTROL | fw::MOD_ALT;
    ASSERT_TRUE(fw::RegisterHotKey(owner.handle(), 1224, mods, VK_F11));
    EXPECT_FALSE(fw::RegisterHotKey(other.handle(), 1224, mods, VK_F11));  // one owner per combination
    EXPECT_EQ(GetLastError(), 1409u);                                      // ERROR_HOTKEY_ALREADY_REGISTERED

    PressKeys({VK_CONTROL, VK_MENU}, VK_F11);
    ASSERT_TRUE(Pump([&] { return owner.Count(fw::WM_HOTKEY) > 0; }));
    const Seen* hk = owner.Last(fw::WM_HOTKEY);
    EXPECT_EQ(hk->wp, 1224u);
    EXPECT_EQ(hk->lp, static_cast<fw::LPARAM>(mods | (VK_F11 << 16)));
    EXPECT_EQ(other.Count(fw::WM_HOTKEY), 0u);

    // Given back, the combination is free for another window; and a window that goes takes
    // its keys with it.
    EXPECT_TRUE(fw::UnregisterHotKey(owner.handle(), 1224));
    ASSERT_TRUE(fw::RegisterHotKey(other.handle(), 7, mods, VK_F11));
    other.Destroy();
    EXPECT_TRUE(fw::RegisterHotKey(owner.handle(), 1224, mods, VK_F11));
}

TEST_F(Win32HotKeys, KeyNamesAreTheKeyboards) {
    EXPECT_EQ(fw::KeyName(VK_F10), "F10");
    EXPECT_EQ(fw::KeyName('A'), "A");
    // Keys that share a scan code are told apart by the extended flag.
    EXPECT_NE(fw::KeyName(VK_INSERT, true), fw::KeyName(VK_INSERT, false));
    EXPECT_EQ(fw::HotKeyName(VK_F10, fw::HOTKEYF_CONTROL | fw::HOTKEYF_ALT),
              fw::KeyName(VK_CONTROL) + " + " + fw::KeyName(VK_MENU) + " + F10");
}

using Win32HotKeyGroup = Win32Test;

namespace {

constexpr unsigned kGroupMods = fw::MOD_CONTROL | fw::MOD_SHIFT;
// Set by the holder in another process once it holds the group's combination.
constexpr const wchar_t* kHolderReady = L"RaduVoveTest.HotKeyGroupHolderReady";

// Presses the combination with `w` in the foreground; whether its WM_HOTKEY came (wParam id).
bool PressReaches(Recorder& w, unsigned vk, int id) {
    w.Show(fw::ShowCmd::Show);
    w.SetForeground();
    const std::size_t before = w.Count(fw::WM_HOTKEY);
    PressKeys({VK_CONTROL, VK_SHIFT}, static_cast<WORD>(vk));
    return Pump([&] { return w.Count(fw::WM_HOTKEY) > before; }, 2000) && w.Last(fw::WM_HOTKEY)->wp == WPARAM(id);
}

}  // namespace

TEST_F(Win32HotKeyGroup, MembersHearTheGroupAndOneTakesOverWhenTheHoldersWindowGoes) {
    Recorder a, b, other;
    for (Recorder* w : {&a, &b, &other}) ASSERT_TRUE(w->Make(fw::kPopup, fw::Rect::FromXYWH(100, 100, 200, 100)));
    EXPECT_EQ(fw::JoinHotKeyGroup(a.handle(), 1, kGroupMods, VK_F7), fw::HotKeyRole::Holder);
    EXPECT_EQ(fw::JoinHotKeyGroup(b.handle(), 2, kGroupMods, VK_F7), fw::HotKeyRole::Member);
    // A combination held outside any group, and a child window: nothing to join.
    ASSERT_TRUE(fw::RegisterHotKey(other.handle(), 9, kGroupMods, VK_F8));
    EXPECT_EQ(fw::JoinHotKeyGroup(a.handle(), 3, kGroupMods, VK_F8), fw::HotKeyRole::Refused);
    Recorder child;
    ASSERT_TRUE(child.Make(fw::kChild, fw::Rect::FromXYWH(0, 0, 10, 10), &other));
    EXPECT_EQ(fw::JoinHotKeyGroup(child.handle(), 4, kGroupMods, VK_F9), fw::HotKeyRole::Refused);

    fw::TellHotKeyGroup(b.handle(), 2, 42);
    ASSERT_TRUE(Pump([&] { return a.Count(fw::WM_HOTKEY_GROUP) && b.Count(fw::WM_HOTKEY_GROUP); }));
    EXPECT_EQ(a.Last(fw::WM_HOTKEY_GROUP)->wp, 1u);  // each hears it under its own id
    EXPECT_EQ(b.Last(fw::WM_HOTKEY_GROUP)->wp, 2u);
    EXPECT_EQ(b.Last(fw::WM_HOTKEY_GROUP)->lp, 42);
    EXPECT_EQ(other.Count(fw::WM_HOTKEY_GROUP), 0u);

    EXPECT_FALSE(fw::HotKeyGroupShown(a.handle(), 1));
    a.Show(fw::ShowCmd::ShowMinimized);
    EXPECT_TRUE(fw::HotKeyGroupShown(b.handle(), 2));

    a.Destroy();
    PumpFor(1000);
    EXPECT_TRUE(PressReaches(b, VK_F7, 2));
    // Leaving gives the combination back.
    fw::LeaveHotKeyGroup(b.handle(), 2);
    EXPECT_TRUE(fw::RegisterHotKey(other.handle(), 5, kGroupMods, VK_F7));
}

TEST_F(Win32HotKeyGroup, AMemberTakesOverWhenTheHoldingProcessIsKilled) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kHolderReady);
    ASSERT_TRUE(ready);
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --hotkey-group-holder";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const bool holds = WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
    Recorder w;
    if (holds) {
        EXPECT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(100, 100, 200, 100)));
        EXPECT_EQ(fw::JoinHotKeyGroup(w.handle(), 6, kGroupMods, VK_F6), fw::HotKeyRole::Member);
    }
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, 5000);
    for (HANDLE h : {pi.hProcess, pi.hThread, ready}) CloseHandle(h);
    ASSERT_TRUE(holds);
    PumpFor(1000);
    EXPECT_TRUE(PressReaches(w, VK_F6, 6));
}

// The other process of AMemberTakesOverWhenTheHoldingProcessIsKilled (win32_tests
// --hotkey-group-holder, see main.cpp): holds the group's combination until killed.
int RunHotKeyGroupHolder() {
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHolderReady);
    if (!ready) return 2;
    Recorder w;
    if (!w.Make(fw::kPopup, fw::Rect::FromXYWH(400, 100, 100, 100)) ||
        fw::JoinHotKeyGroup(w.handle(), 1, kGroupMods, VK_F6) != fw::HotKeyRole::Holder)
        return 1;
    SetEvent(ready);
    CloseHandle(ready);
    PumpFor(30000);
    return 0;
}

using Win32Audio = Win32Test;

TEST_F(Win32Audio, MutingAllPagesMutesThisProcesssSessionOnTheOutputDevice) {
    // The session as the system shows it; null without an output device.
    auto session = [] {
        fw::ComPtr<IMMDeviceEnumerator> devices;
        fw::ComPtr<IMMDevice> output;
        fw::ComPtr<IAudioSessionManager2> sessions;
        fw::ComPtr<ISimpleAudioVolume> volume;
        if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                       reinterpret_cast<void**>(devices.Put()))) &&
            SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eMultimedia, output.Put())) &&
            SUCCEEDED(output->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                                       reinterpret_cast<void**>(sessions.Put()))))
            sessions->GetSimpleAudioVolume(nullptr, FALSE, volume.Put());
        return volume;
    };
    const bool answered = fw::MuteAllPages(true);
    auto volume = session();
    EXPECT_EQ(answered, volume != nullptr);  // false only where there is no device
    // Wine gives each look-up of the default session a session of its own: the mute cannot
    // be read back from outside there.
    BOOL muted = FALSE;
    if (volume && !UnderWine()) {
        EXPECT_TRUE(SUCCEEDED(volume->GetMute(&muted)) && muted);
    }
    EXPECT_EQ(fw::MuteAllPages(false), answered);
    if (volume && !UnderWine()) {
        EXPECT_TRUE(SUCCEEDED(volume->GetMute(&muted)) && !muted);
    }
}

using Win32Tray = Win32Test;

TEST_F(Win32Tray, TheIconsClicksReachItsWindowAsTheCallbackMessage) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(300, 300, 100, 100)));
    auto icon = fw::Image::FromPng(fw::FindResource(148, "ICON"));
    constexpr unsigned kNotify = fw::WM_USER + 100;
    ASSERT_TRUE(fw::TrayAdd(w.handle(), 148, kNotify, icon.get(), "LumoDrakmoor"));
    EXPECT_FALSE(fw::TrayAdd(w.handle(), 148, kNotify, icon.get(), "LumoDrakmoor"));  // already there

    HWND iconWnd = nullptr;
    ASSERT_TRUE(Pump([&] { return (iconWnd = WineTrayIcon()) && IsWindowVisible(iconWnd); }));
    const fw::Rect r = SystemRect(iconWnd);
    MoveMouse({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    LeftDown();
    LeftUp();
    LeftDown();
    LeftUp();
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    auto saw = [&](fw::LPARAM mouse) {
        for (const Seen& s : w.seen)
            if (s.msg == kNotify && s.wp == 148 && s.lp == mouse) return true;
        return false;
    };
    EXPECT_TRUE(Pump([&] { return saw(fw::WM_LBUTTONDBLCLK) && saw(fw::WM_RBUTTONDOWN); }));

    EXPECT_TRUE(fw::TrayDelete(w.handle(), 148));
    EXPECT_FALSE(fw::TrayDelete(w.handle(), 148));
    EXPECT_TRUE(Pump([&] { return WineTrayIcon() == nullptr; }, 3000));
}

TEST_F(Win32Tray, TheMenuReturnsAtOnceAndItsChoiceArrivesAsACommand) {
    Recorder w;
    Foreground(w, fw::Rect::FromXYWH(300, 300, 200, 200));
    fw::Rect at{};
    {
        // The menu opens once the loop runs, and runs a loop of its own meanwhile.
        User user(L"#32768", L"", [&](HWND menu) {
            at = SystemRect(menu);
            PressKeys({}, VK_DOWN);
            PressKeys({}, VK_RETURN);
        });
        fw::TrackPopupMenu(w.handle(), {{"退出", 32772}}, {350, 350});
        EXPECT_EQ(w.Count(fw::WM_COMMAND), 0u);
        ASSERT_TRUE(Pump([&] { return w.Count(fw::WM_COMMAND) > 0; }));
        EXPECT_TRUE(user.Found());
    }
    EXPECT_EQ(w.Last(fw::WM_COMMAND)->wp, 32772u);
    EXPECT_EQ(at.left, 350);
    EXPECT_EQ(at.top, 350);

    // Closed without a choice: no command.
    {
        User user(L"#32768", L"", [](HWND) { PressKeys({}, VK_ESCAPE); });
        fw::TrackPopupMenu(w.handle(), {{"退出", 32772}}, {350, 350});
        PumpFor(300);
        EXPECT_TRUE(user.Found());
    }
    EXPECT_EQ(FindOwnWindow(L"#32768", nullptr), nullptr);
    EXPECT_EQ(w.Count(fw::WM_COMMAND), 1u);
}

using Win32MessageBox = Win32Test;

TEST_F(Win32MessageBox, AnswersAreTheButtonsTheUserPressed) {
    {
        BoxUser user(L"\u9000\u51fa\u63d0\u793a", [](HWND) { PressKeys({}, VK_RETURN); });
        EXPECT_EQ(fw::MessageBox(fw::kNoWindow, "确定要退出吗？", "退出提示", fw::MB_OKCANCEL | fw::MB_ICONQUESTION),
                  fw::IDOK);
        EXPECT_TRUE(Contains(user.Texts(), L"\u786e\u5b9a\u8981\u9000\u51fa\u5417\uff1f"));
    }
    {
        BoxUser user(L"\u9000\u51fa\u63d0\u793a", [](HWND) { PressKeys({}, VK_ESCAPE); });
        EXPECT_EQ(fw::MessageBox(fw::kNoWindow, "确定要退出吗？", "退出提示", fw::MB_OKCANCEL), fw::IDCANCEL);
        EXPECT_TRUE(user.Found());
    }
    {
        // A box with OK alone answers OK to Escape too.
        BoxUser user(L"RaduVove", [](HWND) { PressKeys({}, VK_ESCAPE); });
        EXPECT_EQ(fw::MessageBox(fw::kNoWindow, "注册热键失败", "RaduVove", fw::MB_OK), fw::IDOK);
        EXPECT_TRUE(user.Found());
    }
    {
        // The cancel button pressed with the mouse.
        BoxUser user(L"\u6e05\u9664\u63d0\u793a", [](HWND box) {
            HWND cancel = GetDlgItem(box, IDCANCEL);
            const fw::Rect r = SystemRect(cancel);
            MoveMouse({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
            LeftDown();
            LeftUp();
        });
        EXPECT_EQ(fw::MessageBox(fw::kNoWindow, "?", "清除提示", fw::MB_OKCANCEL), fw::IDCANCEL);
        EXPECT_TRUE(user.Found());
    }
}

TEST_F(Win32MessageBox, AnOwnedBoxDisablesItsOwnerWhileItIsUp) {
    Recorder owner;
    Foreground(owner, fw::Rect::FromXYWH(200, 200, 300, 200));
    bool ownerDisabled = false;
    BoxUser user(L"RaduVove", [&](HWND) {
        ownerDisabled = !IsWindowEnabled(owner.hwnd());
        PressKeys({}, VK_RETURN);
    });
    EXPECT_EQ(fw::MessageBox(owner.handle(), "注册热键失败", "RaduVove", fw::MB_OK), fw::IDOK);
    EXPECT_TRUE(user.Found());
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
}

using Win32HotKeyField = Win32Test;

TEST_F(Win32HotKeyField, TheSystemsControlTakesTheCombinationTypedIntoIt) {
    Recorder dlg;
    Foreground(dlg, fw::Rect::FromXYWH(300, 300, 355, 169));
    auto field = fw::HotKeyField::Create(dlg, 170, fw::Rect{134, 72, 225, 94}, "Arial", 10);
    ASSERT_TRUE(field);
    HWND fh = GetDlgItem(dlg.hwnd(), 170);
    ASSERT_TRUE(fh);
    wchar_t cls[64] = {};
    GetClassNameW(fh, cls, 64);
    EXPECT_STREQ(cls, L"msctls_hotkey32");
    EXPECT_EQ(SystemRect(fh), fw::Rect::FromXYWH(434, 372, 91, 22));

    field->SetHotKey(VK_F10, fw::HOTKEYF_CONTROL);
    unsigned vk = 0, flags = 0;
    field->GetHotKey(vk, flags);
    EXPECT_EQ(vk, static_cast<unsigned>(VK_F10));
    EXPECT_EQ(flags, fw::HOTKEYF_CONTROL);
    EXPECT_EQ(field->Text(), fw::KeyName(VK_CONTROL) + " + F10");

    // Typed: the control has it. Return passes the window's pre-translation first, which a
    // dialog uses for its own OK; taken there, it never reaches the control.
    dlg.swallow = [](const fw::Msg& m) { return m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_RETURN; };
    field->Focus();
    EXPECT_EQ(GetFocus(), fh);
    PressKeys({VK_CONTROL, VK_SHIFT}, 'K');
    PressKeys({}, VK_RETURN);
    ASSERT_TRUE(Pump([&] {
        for (const fw::Msg& m : dlg.pre)
            if (m.message == fw::WM_KEYDOWN && m.wParam == fw::VK_RETURN) return true;
        return false;
    }));
    field->GetHotKey(vk, flags);
    EXPECT_EQ(vk, static_cast<unsigned>('K'));
    EXPECT_EQ(flags, fw::HOTKEYF_CONTROL | fw::HOTKEYF_SHIFT);

    field->SetHotKey(0, 0);
    EXPECT_EQ(field->Text(), "无");
    field.reset();
    EXPECT_FALSE(IsWindow(fh));
}

using Win32Tooltip = Win32Test;

TEST_F(Win32Tooltip, ShowsUnderThePointStaysOnTheScreenAndGoesWithItsWindow) {
    Recorder w;
    ASSERT_TRUE(w.Make(fw::kPopup, fw::Rect::FromXYWH(300, 200, 400, 300)));
    w.Show(fw::ShowCmd::ShowNoActivate);
    fw::ShowTooltip(w, "Ctrl + F10", {40, 50});
    EXPECT_TRUE(fw::TooltipVisible(w));
    HWND tip = FindOwnWindow(TOOLTIPS_CLASSW, nullptr);
    ASSERT_TRUE(tip);
    // 20 pixels under the point (the system may put the tip's frame a pixel off).
    fw::Rect r = SystemRect(tip);
    EXPECT_NEAR(r.left, 340, 2);
    EXPECT_NEAR(r.top, 270, 2);
    EXPECT_EQ(Text(tip), L"Ctrl + F10");

    // By the screen's right edge it moves back onto the screen.
    const fw::Size screen = fw::ScreenSize();
    w.SetPos(fw::Rect::FromXYWH(screen.cx - 100, 200, 100, 100));
    fw::ShowTooltip(w, "a rather long text for a tool tip", {95, 10});
    r = SystemRect(tip);
    EXPECT_LE(r.right, screen.cx);
    EXPECT_GT(r.Width(), 20);

    // Down with its window, and not up again by itself.
    w.Show(fw::ShowCmd::Hide);
    EXPECT_FALSE(fw::TooltipVisible(w));
    EXPECT_FALSE(IsWindowVisible(tip));
    w.Show(fw::ShowCmd::ShowNoActivate);
    EXPECT_FALSE(fw::TooltipVisible(w));
    fw::ShowTooltip(w, "", {1, 1});  // no text: nothing to show
    EXPECT_FALSE(fw::TooltipVisible(w));
    w.Destroy();
    EXPECT_FALSE(IsWindow(tip));
}

using Win32Resources = Win32Test;

TEST_F(Win32Resources, SkinIconManifestAndVersionAreTheExecutablesOwn) {
    const std::string src = RV_SOURCE_DIR;
    for (int id : {131, 149, 160}) {
        auto bytes = fw::FindResource(id, "PNG");
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                  ReadFile(src + "/res/png/" + std::to_string(id) + ".png"))
            << id;
    }
    auto icon = fw::FindResource(148, "icon");  // type names without regard to case
    EXPECT_EQ(std::vector<std::uint8_t>(icon.begin(), icon.end()), ReadFile(src + "/res/png/148.png"));
    EXPECT_TRUE(fw::FindResource(141, "PNG").empty());  // there is no 141
    EXPECT_TRUE(fw::FindResource(149, "GIF").empty());
    // The shell's icon of the program.
    EXPECT_TRUE(FindResourceW(nullptr, MAKEINTRESOURCEW(148), RT_GROUP_ICON));

    HRSRC m = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(m);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, m))),
                               SizeofResource(nullptr, m));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
    EXPECT_NE(manifest.find(">false</dpiAware>"), std::string::npos);
    // The manifest brought version 6 of the common controls: the system redirects the
    // program's comctl32.dll to that assembly.
    ACTCTX_SECTION_KEYED_DATA redirect{};
    redirect.cbSize = sizeof redirect;
    EXPECT_TRUE(
        FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &redirect));

    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<std::uint8_t> info(GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 3u);
    EXPECT_EQ(fixed->dwFileVersionLS, (9u << 16) | 3u);
    EXPECT_EQ(fixed->dwProductVersionMS, (2u << 16) | 3u);
    EXPECT_EQ(fixed->dwProductVersionLS, (9u << 16) | 3u);
}
