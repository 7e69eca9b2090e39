// One hot key shared by the program's processes on the desktop (fw/hotkey.h). Each member's
// window carries a property named after the combination (its value says whether that window
// holds the system's registration); the members are the windows of our class that carry it,
// found with EnumWindows. They talk with one registered message posted to each member's
// window: wParam is what it says and the combination, lParam its argument.
//
// A member of another process than the holder's waits on the holder's process handle on the
// system's thread pool, which posts to the member's own window when that process ends in
// any way; a holder that leaves tells the members itself. A member so told tries to take the
// registration over: the system lets exactly one succeed, and the others find the new
// holder's window and wait on its process instead. When no holder is to be seen (the old
// one's registration not given back yet, or the winner between its registration and its
// property), the member tries again a little later.
#include "fw/win32/native.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fw/hotkey.h"

namespace fw::win32 {

namespace {

// What a posted group message says (the top byte of wParam).
enum Kind : unsigned {
    kTell = 1,        // a member told the group: lParam is `what`
    kHolderGone = 2,  // the holder left or its process ended: take over if you can (lParam 0)
};

// The values of the property: a member, and the one that holds the registration.
constexpr UINT_PTR kMemberMark = 1;
constexpr UINT_PTR kHolderMark = 2;

// The first retry when no holder is to be seen, and the longest wait between tries.
constexpr UINT kFirstRetryMs = 50;
constexpr UINT kLongestRetryMs = 2000;

struct Member {
    HWND hwnd = nullptr;
    Handle handle = kNoWindow;
    int id = 0;
    unsigned modifiers = 0, vk = 0;
    bool holder = false;
    DWORD holderPid = 0;       // the process waited on (0: none)
    HANDLE process = nullptr;  // its handle
    HANDLE wait = nullptr;     // the thread pool's wait on it
    UINT_PTR retryTimer = 0;
    UINT retryMs = kFirstRetryMs;
};
std::vector<std::unique_ptr<Member>> g_members;  // this process's windows in groups (UI thread)

UINT GroupMessage() {
    static const UINT msg = RegisterWindowMessageW(L"RaduVove.HotKeyGroup");
    return msg;
}

WPARAM Pack(Kind kind, unsigned modifiers, unsigned vk) {
    return (static_cast<WPARAM>(kind) << 24) | ((modifiers & 0xFFFF) << 8) | (vk & 0xFF);
}

std::wstring PropertyName(unsigned modifiers, unsigned vk) {
    wchar_t name[64];
    swprintf(name, 64, L"RaduVove.HotKeyGroup.%X.%X", modifiers & 0xFFFF, vk & 0xFF);
    return name;
}

DWORD ProcessOf(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

bool OfOurClass(HWND h) {
    wchar_t cls[64] = {};
    return GetClassNameW(h, cls, 64) > 0 && std::wstring_view(cls) == kWindowClass;
}

struct Found {
    HWND hwnd;
    bool holder;
};

// The windows of every process of the program in the combination's group, hidden ones too.
std::vector<Found> GroupWindows(unsigned modifiers, unsigned vk) {
    struct Search {
        std::wstring prop;
        std::vector<Found> found;
    } s{PropertyName(modifiers, vk), {}};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            const auto mark = reinterpret_cast<UINT_PTR>(GetPropW(h, s->prop.c_str()));
            if ((mark == kMemberMark || mark == kHolderMark) && OfOurClass(h))
                s->found.push_back({h, mark == kHolderMark});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

void Mark(const Member& m) {
    SetPropW(m.hwnd, PropertyName(m.modifiers, m.vk).c_str(),
             reinterpret_cast<HANDLE>(m.holder ? kHolderMark : kMemberMark));
}

void PostToGroup(unsigned modifiers, unsigned vk, Kind kind, LPARAM arg, HWND except = nullptr) {
    for (const Found& f : GroupWindows(modifiers, vk))
        if (f.hwnd != except) PostMessageW(f.hwnd, GroupMessage(), Pack(kind, modifiers, vk), arg);
}

void CALLBACK HolderEnded(void* context, BOOLEAN) {
    // A thread of the pool: the member's window is told, the UI thread does the rest.
    const auto* m = static_cast<const Member*>(context);
    PostMessageW(m->hwnd, GroupMessage(), Pack(kHolderGone, m->modifiers, m->vk), 0);
}

void StopWaiting(Member& m) {
    // INVALID_HANDLE_VALUE: returns once a callback already running is over, so the member's
    // record outlives every callback.
    if (m.wait) UnregisterWaitEx(m.wait, INVALID_HANDLE_VALUE);
    if (m.process) CloseHandle(m.process);
    m.wait = m.process = nullptr;
    m.holderPid = 0;
}

void StopRetrying(Member& m) {
    if (m.retryTimer) ::KillTimer(nullptr, m.retryTimer);
    m.retryTimer = 0;
    m.retryMs = kFirstRetryMs;
}

// Waits for the end of the holder's process; false when it cannot (the process is gone).
bool WaitFor(Member& m, DWORD pid) {
    if (m.holderPid == pid && m.wait) return true;
    StopWaiting(m);
    m.process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!m.process) return false;
    m.holderPid = pid;
    if (!RegisterWaitForSingleObject(&m.wait, m.process, HolderEnded, &m, INFINITE,
                                     WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD)) {
        m.wait = nullptr;
        StopWaiting(m);
        return false;
    }
    return true;
}

void TakeOver(Member& m);

Member* ByTimer(UINT_PTR timer) {
    for (auto& m : g_members)
        if (m->retryTimer == timer) return m.get();
    return nullptr;
}

void CALLBACK RetryTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    Member* m = ByTimer(timer);
    if (!m) return;
    m->retryTimer = 0;
    TakeOver(*m);
}

void RetryLater(Member& m) {
    if (m.retryTimer) return;
    m.retryTimer = ::SetTimer(nullptr, 0, m.retryMs, RetryTimer);
    m.retryMs = std::min(m.retryMs * 2, kLongestRetryMs);
}

// A member follows the group's holder: it waits on the holder's process when that is
// another one (one of its own tells it when it leaves). False when no holder is to be seen.
bool Follow(Member& m) {
    for (const Found& f : GroupWindows(m.modifiers, m.vk)) {
        if (!f.holder || f.hwnd == m.hwnd) continue;
        const DWORD pid = ProcessOf(f.hwnd);
        if (pid == GetCurrentProcessId()) {
            StopWaiting(m);
            return true;
        }
        return WaitFor(m, pid);
    }
    return false;
}

void TakeOver(Member& m) {
    if (m.holder) return;
    if (::RegisterHotKey(m.hwnd, m.id, m.modifiers, m.vk)) {
        StopWaiting(m);
        StopRetrying(m);
        m.holder = true;
        Mark(m);
        return;
    }
    if (Follow(m))
        StopRetrying(m);
    else
        RetryLater(m);
}

void Drop(std::vector<std::unique_ptr<Member>>::iterator it) {
    Member& m = **it;
    StopWaiting(m);
    StopRetrying(m);
    const bool held = m.holder;
    if (held) ::UnregisterHotKey(m.hwnd, m.id);
    if (IsWindow(m.hwnd)) RemovePropW(m.hwnd, PropertyName(m.modifiers, m.vk).c_str());
    const unsigned modifiers = m.modifiers, vk = m.vk;
    const HWND hwnd = m.hwnd;
    g_members.erase(it);
    // Given back before the others hear of it, so the first of them to try gets it.
    if (held) PostToGroup(modifiers, vk, kHolderGone, 0, hwnd);
}

auto Find(Handle h, int id) {
    return std::find_if(g_members.begin(), g_members.end(),
                        [&](const auto& m) { return m->handle == h && m->id == id; });
}

}  // namespace

bool HotKeyGroupMessage(Native* n, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != GroupMessage() || !msg) return false;
    const unsigned modifiers = (wp >> 8) & 0xFFFF, vk = wp & 0xFF;
    const auto kind = static_cast<Kind>((wp >> 24) & 0xFF);
    auto it = std::find_if(g_members.begin(), g_members.end(), [&](const auto& m) {
        return m->handle == n->handle && m->modifiers == modifiers && m->vk == vk;
    });
    if (it == g_members.end()) return true;  // left the group since
    Member& m = **it;
    if (kind == kTell)
        fw::detail::RouteInput(*n->owner, fw::WM_HOTKEY_GROUP, static_cast<WPARAM>(m.id), lp);
    else if (kind == kHolderGone)
        TakeOver(m);
    return true;
}

void ForgetHotKeyGroups(Native* n) {
    for (auto it = g_members.begin(); it != g_members.end();) {
        if ((*it)->handle == n->handle) {
            Drop(it);
            it = g_members.begin();  // Drop changed the list
        } else {
            ++it;
        }
    }
}

}  // namespace fw::win32

namespace fw {

using namespace fw::win32;

HotKeyRole JoinHotKeyGroup(Handle wnd, int id, unsigned modifiers, unsigned vk) {
    HWND hwnd = HwndOf(wnd);
    // Members find each other among the desktop's top-level windows.
    if (!hwnd || GetAncestor(hwnd, GA_ROOT) != hwnd || !GroupMessage()) return HotKeyRole::Refused;
    if (auto it = Find(wnd, id); it != g_members.end()) return (*it)->holder ? HotKeyRole::Holder : HotKeyRole::Member;
    // One window is in a combination's group once.
    for (const auto& other : g_members)
        if (other->handle == wnd && other->modifiers == modifiers && other->vk == vk) return HotKeyRole::Refused;
    auto m = std::make_unique<Member>();
    m->hwnd = hwnd;
    m->handle = wnd;
    m->id = id;
    m->modifiers = modifiers;
    m->vk = vk;
    if (::RegisterHotKey(hwnd, id, modifiers, vk)) {
        m->holder = true;
    } else {
        const std::vector<Found> group = GroupWindows(modifiers, vk);
        if (group.empty()) return HotKeyRole::Refused;
    }
    Member& joined = *m;
    g_members.push_back(std::move(m));
    Mark(joined);
    // A group whose holder is not to be seen is between two holders: this one tries too.
    if (!joined.holder && !Follow(joined)) RetryLater(joined);
    return joined.holder ? HotKeyRole::Holder : HotKeyRole::Member;
}

void LeaveHotKeyGroup(Handle wnd, int id) {
    if (auto it = Find(wnd, id); it != g_members.end()) Drop(it);
}

void TellHotKeyGroup(Handle wnd, int id, LPARAM what) {
    auto it = Find(wnd, id);
    if (it == g_members.end()) return;
    PostToGroup((*it)->modifiers, (*it)->vk, kTell, what);
}

bool HotKeyGroupShown(Handle wnd, int id) {
    auto it = Find(wnd, id);
    if (it == g_members.end()) return false;
    struct Search {
        std::vector<DWORD> pids;
        bool shown = false;
    } s;
    for (const Found& f : GroupWindows((*it)->modifiers, (*it)->vk)) s.pids.push_back(ProcessOf(f.hwnd));
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            // The program's own windows (IsWindowVisible is true of a minimised one too): a
            // message box or a tool tip of the system's is no window the boss key hides.
            if (!IsWindowVisible(h) || !OfOurClass(h)) return TRUE;
            const DWORD pid = ProcessOf(h);
            s->shown = std::find(s->pids.begin(), s->pids.end(), pid) != s->pids.end();
            return !s->shown;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.shown;
}

}  // namespace fw
