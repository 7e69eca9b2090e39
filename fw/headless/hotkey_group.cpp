// The headless desktop's hot-key groups. The desktop is one process, so each member is one
// window of it: the first to join a combination holds its registration, and when the holder
// goes, the next member in joining order takes it over at once. Pages' sound is a flag the
// tests read.
#include <algorithm>

#include "fw/backend.h"
#include "fw/headless/desktop_state.h"
#include "fw/hotkey.h"
#include "fw/system.h"

namespace fw {

using headless::HotKeyReg;
using headless::detail::State;

namespace {

bool SameKey(const HotKeyReg& a, const HotKeyReg& b) { return a.modifiers == b.modifiers && a.vk == b.vk; }

const HotKeyReg* MemberOf(Handle wnd, int id) {
    for (const HotKeyReg& r : State().hotKeyGroups)
        if (r.wnd == wnd && r.id == id) return &r;
    return nullptr;
}

// After a holder left: the first member still there whose registration the desktop takes.
void HandOver(const HotKeyReg& gone) {
    for (const HotKeyReg& m : State().hotKeyGroups)
        if (SameKey(m, gone) && RegisterHotKey(m.wnd, m.id, m.modifiers, m.vk)) return;
}

}  // namespace

HotKeyRole JoinHotKeyGroup(Handle wnd, int id, unsigned modifiers, unsigned vk) {
    auto& d = State();
    if (MemberOf(wnd, id)) LeaveHotKeyGroup(wnd, id);
    const HotKeyReg me{wnd, id, modifiers, vk};
    HotKeyRole role = HotKeyRole::Refused;
    if (RegisterHotKey(wnd, id, modifiers, vk))
        role = HotKeyRole::Holder;
    else if (std::any_of(d.hotKeyGroups.begin(), d.hotKeyGroups.end(),
                         [&](const HotKeyReg& m) { return SameKey(m, me); }))
        role = HotKeyRole::Member;
    if (role != HotKeyRole::Refused) d.hotKeyGroups.push_back(me);
    return role;
}

void LeaveHotKeyGroup(Handle wnd, int id) {
    const HotKeyReg* m = MemberOf(wnd, id);
    if (!m) return;
    const HotKeyReg gone = *m;
    std::erase_if(State().hotKeyGroups, [&](const HotKeyReg& r) { return r.wnd == wnd && r.id == id; });
    if (UnregisterHotKey(wnd, id)) HandOver(gone);
}

void TellHotKeyGroup(Handle wnd, int id, LPARAM what) {
    const HotKeyReg* me = MemberOf(wnd, id);
    if (!me) return;
    const HotKeyReg key = *me;
    for (const HotKeyReg& m : State().hotKeyGroups)
        if (SameKey(m, key)) Window::Post(m.wnd, WM_HOTKEY_GROUP, static_cast<WPARAM>(m.id), what);
}

bool HotKeyGroupShown(Handle wnd, int id) {
    (void)wnd;
    (void)id;
    for (Handle h : backend::StackingOrder())
        if (Window* w = Window::FromHandle(h); w && w->IsVisible()) return true;
    return false;
}

bool MuteAllPages(bool muted) {
    State().pagesMuted = muted;
    return true;
}

}  // namespace fw

namespace fw::headless::detail {

void ForgetHotKeyGroups(Handle wnd) {
    std::vector<HotKeyReg> left;
    for (const HotKeyReg& m : State().hotKeyGroups)
        if (m.wnd == wnd) left.push_back(m);
    for (const HotKeyReg& m : left) LeaveHotKeyGroup(m.wnd, m.id);
}

}  // namespace fw::headless::detail

namespace fw::headless {

bool PagesMuted() { return detail::State().pagesMuted; }

}  // namespace fw::headless
