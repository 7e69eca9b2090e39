// The headless desktop's system services: hot keys, the tray and its menu, message boxes,
// the shell, the screen, and start-up.
#include <algorithm>

#include "fw/app.h"
#include "fw/backend.h"
#include "fw/common/monitors.h"
#include "fw/headless/desktop_state.h"
#include "fw/hotkey.h"
#include "fw/message_box.h"
#include "fw/shell.h"
#include "fw/system.h"
#include "fw/tray.h"

namespace fw {

using headless::detail::State;

namespace {
constexpr unsigned kModWin = 0x8;
constexpr unsigned kModNoRepeat = 0x4000;
}  // namespace

// ---- start-up ----

void InitPlatform(int& argc, char**& argv) {
    (void)argc;
    (void)argv;
    backend::InstallFontAliases();
}

// ---- clock and screen ----

std::uint64_t TickCountMs() { return State().now; }
Size ScreenSize() {
    const Rect& primary = State().monitors.front().area;
    return {primary.Width(), primary.Height()};
}
Rect WorkArea() { return State().monitors.front().work; }
Rect MonitorWorkArea(const Rect& r) { return fw::detail::MonitorWorkAreaIn(State().monitors, r); }
bool OnSomeMonitor(const Rect& r, int margin) { return fw::detail::OnSomeMonitorIn(State().monitors, r, margin); }

// ---- hot keys ----

bool RegisterHotKey(Handle wnd, int id, unsigned modifiers, unsigned vk) {
    auto& d = State();
    if (!Window::FromHandle(wnd) || vk == 0 || vk > 0xFE) return false;
    modifiers &= ~kModNoRepeat;
    if (modifiers & ~(MOD_ALT | MOD_CONTROL | MOD_SHIFT | kModWin)) return false;
    for (const auto& t : d.takenHotKeys)
        if (t.first == modifiers && t.second == vk) return false;  // another program has it
    for (const headless::HotKeyReg& r : d.hotKeys)
        if (r.modifiers == modifiers && r.vk == vk && !(r.wnd == wnd && r.id == id)) return false;
    std::erase_if(d.hotKeys, [&](const headless::HotKeyReg& r) { return r.wnd == wnd && r.id == id; });
    d.hotKeys.push_back({wnd, id, modifiers, vk});
    return true;
}

bool UnregisterHotKey(Handle wnd, int id) {
    return std::erase_if(State().hotKeys, [&](const headless::HotKeyReg& r) { return r.wnd == wnd && r.id == id; }) > 0;
}

std::string KeyName(unsigned vk, bool extended) {
    if (vk >= 'A' && vk <= 'Z') return std::string(1, static_cast<char>(vk));
    if (vk >= '0' && vk <= '9') return std::string(1, static_cast<char>(vk));
    if (vk >= 0x70 && vk <= 0x87) return "F" + std::to_string(vk - 0x70 + 1);  // F1..F24
    if (vk >= 0x60 && vk <= 0x69) return "Num " + std::to_string(vk - 0x60);   // numeric pad
    // Keys that share a scan code with the numeric pad: the extended flag tells them apart.
    struct Pair {
        unsigned vk;
        const char* plain;
        const char* ext;
    };
    static const Pair kPaired[] = {
        {0x21, "Num 9", "Page Up"},  {0x22, "Num 3", "Page Down"}, {0x23, "Num 1", "End"},
        {0x24, "Num 7", "Home"},     {0x25, "Num 4", "Left"},      {0x26, "Num 8", "Up"},
        {0x27, "Num 6", "Right"},    {0x28, "Num 2", "Down"},      {0x2D, "Num 0", "Insert"},
        {0x2E, "Num Del", "Delete"}, {0x0D, "Enter", "Num Enter"}, {0x11, "Ctrl", "Right Ctrl"},
        {0x12, "Alt", "Right Alt"},
    };
    for (const Pair& p : kPaired)
        if (p.vk == vk) return extended ? p.ext : p.plain;
    struct Name {
        unsigned vk;
        const char* name;
    };
    static const Name kNames[] = {
        {0x08, "Backspace"},
        {0x09, "Tab"},
        {0x0C, "Num 5"},
        {0x10, "Shift"},
        {0x13, "Pause"},
        {0x14, "Caps Lock"},
        {0x1B, "Esc"},
        {0x20, "Space"},
        {0x2C, "Prnt Scrn"},
        {0x5B, "Left Windows"},
        {0x5C, "Right Windows"},
        {0x5D, "Application"},
        {0x6A, "Num *"},
        {0x6B, "Num +"},
        {0x6D, "Num -"},
        {0x6E, "Num Del"},
        {0x6F, "Num /"},
        {0x90, "Num Lock"},
        {0x91, "Scroll Lock"},
        {0xA0, "Shift"},
        {0xA1, "Right Shift"},
        {0xA2, "Ctrl"},
        {0xA3, "Right Ctrl"},
        {0xA4, "Alt"},
        {0xA5, "Right Alt"},
        {0xBA, ";"},
        {0xBB, "="},
        {0xBC, ","},
        {0xBD, "-"},
        {0xBE, "."},
        {0xBF, "/"},
        {0xC0, "`"},
        {0xDB, "["},
        {0xDC, "\\"},
        {0xDD, "]"},
        {0xDE, "'"},
    };
    for (const Name& n : kNames)
        if (n.vk == vk) return n.name;
    return {};
}

// ---- tray ----

bool TrayAdd(Handle wnd, unsigned id, unsigned callbackMsg, const Image* icon, const std::string& tip) {
    auto& d = State();
    if (!Window::FromHandle(wnd)) return false;
    for (const headless::TrayIcon& t : d.tray)
        if (t.wnd == wnd && t.id == id) return false;  // already there
    d.tray.push_back({wnd, id, callbackMsg, tip, icon && icon->valid(), {}});
    return true;
}

bool TrayDelete(Handle wnd, unsigned id) {
    return std::erase_if(State().tray, [&](const headless::TrayIcon& t) { return t.wnd == wnd && t.id == id; }) > 0;
}

bool TraySetMenu(Handle wnd, unsigned id, const std::vector<MenuItem>& items) {
    for (headless::TrayIcon& t : State().tray) {
        if (t.wnd == wnd && t.id == id) {
            t.menu.clear();
            for (const MenuItem& i : items) t.menu.push_back(i.text);
            return true;
        }
    }
    return false;
}

void TrackPopupMenu(Handle wnd, const std::vector<MenuItem>& items, Point screen) {
    headless::PopupMenu m;
    m.wnd = wnd;
    m.at = screen;
    for (const MenuItem& i : items) {
        m.texts.push_back(i.text);
        m.commands.push_back(i.command);
    }
    State().lastMenu = std::move(m);
}

Point GetCursorPos() { return State().cursor; }

// ---- message boxes and the shell ----

int MessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned flags) {
    auto& d = State();
    headless::MessageBoxCall call{owner, text, caption, flags, 0};
    if (d.messageBoxHook) {
        auto hook = d.messageBoxHook;  // the hook may replace itself
        hook(call);
    }
    int answer;
    if (!d.messageBoxAnswers.empty()) {
        answer = d.messageBoxAnswers.front();
        d.messageBoxAnswers.pop_front();
    } else {
        const unsigned buttons = flags & 0xF;
        answer = buttons == MB_OKCANCEL || buttons == MB_YESNO ? IDCANCEL : IDOK;
    }
    call.answer = answer;
    d.messageBoxes.push_back(call);
    return answer;
}

bool ShellOpenUrl(const std::string& url) {
    if (!IsWebAddress(url)) return false;
    State().shellOpens.push_back(url);
    return true;
}

}  // namespace fw

namespace fw::headless {

bool PressHotKey(unsigned modifiers, unsigned vk) {
    for (const HotKeyReg& r : State().hotKeys) {
        if (r.modifiers == modifiers && r.vk == vk) {
            return Window::Post(r.wnd, WM_HOTKEY, static_cast<WPARAM>(r.id),
                                static_cast<LPARAM>(modifiers | (vk << 16)));
        }
    }
    return false;
}

void SetHotKeyTaken(unsigned modifiers, unsigned vk, bool taken) {
    auto& t = State().takenHotKeys;
    std::erase(t, std::make_pair(modifiers, vk));
    if (taken) t.emplace_back(modifiers, vk);
}

std::vector<HotKeyReg> HotKeys() { return State().hotKeys; }

void QueueMessageBoxAnswer(int answer) { State().messageBoxAnswers.push_back(answer); }
const std::vector<MessageBoxCall>& MessageBoxes() { return State().messageBoxes; }
void OnMessageBox(std::function<void(const MessageBoxCall&)> hook) { State().messageBoxHook = std::move(hook); }

const std::vector<std::string>& ShellOpens() { return State().shellOpens; }

std::vector<TrayIcon> TrayIcons() { return State().tray; }

void TrayEvent(unsigned id, unsigned mouseMsg) {
    for (const TrayIcon& t : State().tray) {
        if (t.id == id) {
            Window::Post(t.wnd, t.callbackMsg, id, static_cast<LPARAM>(mouseMsg));
            break;
        }
    }
    Pump();
}

std::optional<PopupMenu> LastPopupMenu() { return State().lastMenu; }

void ChooseMenuItem(unsigned command) {
    const auto& m = State().lastMenu;
    if (!m || command == 0) return;
    if (std::find(m->commands.begin(), m->commands.end(), command) == m->commands.end()) return;
    Window::Post(m->wnd, WM_COMMAND, command, 0);
}

void SetCursorPos(Point screen) { State().cursor = screen; }

}  // namespace fw::headless
