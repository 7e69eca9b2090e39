// The windows a page opens. When the host lets a NewWindow3 through, the page's new window
// opens in a plain browser window of the client's own (a top-level window filled by a browser
// control of browser.cpp), handed to the control that asked through the event's ppDisp, rather
// than in a window the control would make itself, which nobody would own. The pop-up is owned
// by the top-level window of that control: the system keeps it above that window and destroys
// it with it (and the pop-up's control goes with its host window, before the control's own
// windows). When the client hides that window (the boss key), the pop-ups that were on the
// screen go with it, and only they come back with it. The pop-up's title follows its page's,
// the page's window.close() closes it, and its own page's new windows pass the limits every
// page has and open as pop-ups of it.
#include "fw/win32/native.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fw/browser.h"
#include "fw/shell.h"
#include "fw/windows/wide.h"

namespace fw::win32 {

namespace {

constexpr const wchar_t* kPopupClass = L"RaduVovePopup";
constexpr DWORD kPopupStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr int kControlId = 1;
// The page's area when the page asks for no size.
constexpr int kDefaultWidth = 1024, kDefaultHeight = 768;

class Popup final : public BrowserEvents {
public:
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    bool hiddenWithOwner = false;  // on the screen when its owner was hidden
    std::unique_ptr<BrowserControl> control;

    void NewWindow3(const std::string& url, unsigned flags, bool& cancel) override {
        cancel = !PageMayOpenWindow(url, flags, "pop-up's new window");
    }
    void WindowClosing(bool& cancel) override {
        // Closed from the loop once the event has returned; the control is not to end its page
        // by itself meanwhile.
        cancel = true;
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    void TitleChange(const std::string& title) override { SetWindowTextW(hwnd, windows::Wide(title).c_str()); }
};

// The live pop-ups, oldest first (UI thread). A pop-up is its window's from WM_NCCREATE until
// WM_NCDESTROY. Never destroyed: a pop-up still open when the program ends goes with the
// process, not from a static destructor that would call the control after COM has ended.
std::vector<std::unique_ptr<Popup>>& Popups() {
    static auto* popups = new std::vector<std::unique_ptr<Popup>>;
    return *popups;
}

Popup* PopupOf(HWND hwnd) {
    for (auto& p : Popups())
        if (p->hwnd == hwnd) return p.get();
    return nullptr;
}

LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* p = static_cast<Popup*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        p->hwnd = hwnd;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    switch (msg) {
    case WM_SIZE:
        if (Popup* p = PopupOf(hwnd); p && p->control && wp != SIZE_MINIMIZED)
            p->control->Move(Rect{0, 0, LOWORD(lp), HIWORD(lp)});
        return 0;
    case WM_ERASEBKGND: return 1;  // the control paints all of it
    case WM_NCDESTROY: {
        // The control went with its host window, a child destroyed before this message.
        auto& popups = Popups();
        popups.erase(std::remove_if(popups.begin(), popups.end(), [hwnd](auto& p) { return p->hwnd == hwnd; }),
                     popups.end());
        break;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Where NewWindow3's ppDisp wants the new control's IDispatch; null when the argument is none.
IDispatch** DispatchOut(VARIANT* v) {
    while (v && v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    return v && v->vt == (VT_BYREF | VT_DISPATCH) ? v->ppdispVal : nullptr;
}

}  // namespace

bool RegisterPopupClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PopupProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kPopupClass;
    return RegisterClassExW(&wc) != 0;
}

bool OpenPopup(HWND owner, VARIANT* ppDisp, const std::string& url, bool silent) {
    IDispatch** out = DispatchOut(ppDisp);
    if (!out || !owner || !IsWindow(owner)) return false;
    RECT frame{0, 0, kDefaultWidth, kDefaultHeight};
    AdjustWindowRectEx(&frame, kPopupStyle, FALSE, 0);
    Popup* p = Popups().emplace_back(std::make_unique<Popup>()).get();
    p->owner = owner;
    const HWND hwnd =
        CreateWindowExW(0, kPopupClass, windows::Wide(url).c_str(), kPopupStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, owner, nullptr, Instance(), p);
    if (!hwnd) {
        std::erase_if(Popups(), [](auto& q) { return !q->hwnd; });  // never had its window
        return false;
    }
    RECT rc{};
    GetClientRect(hwnd, &rc);
    p->control = CreateBrowser(hwnd, kControlId, Rect{0, 0, rc.right, rc.bottom});
    IWebBrowser2* wb = nullptr;
    IDispatch* disp = nullptr;
    if (p->control && p->control->GetControlUnknown())
        p->control->GetControlUnknown()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&wb));
    if (wb) wb->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp));
    if (!disp) {
        if (wb) wb->Release();
        DestroyWindow(hwnd);
        return false;
    }
    // The control that asked loads the page into this one; registered as a browser window, it
    // is found by name when a page opens a window with this one's name as the target.
    wb->put_RegisterAsBrowser(VARIANT_TRUE);
    wb->Release();
    p->control->SetSilent(silent);
    p->control->SetEvents(p);
    if (*out) (*out)->Release();
    *out = disp;
    // It comes out as its owner is: on the screen, or hidden with it to come back with it.
    if (IsWindowVisible(owner))
        ShowWindow(hwnd, SW_SHOWNORMAL);
    else
        p->hiddenWithOwner = true;
    return true;
}

void PopupsFollowOwner(HWND owner, bool shown) {
    std::vector<HWND> owned;
    for (auto& p : Popups())
        if (p->owner == owner) owned.push_back(p->hwnd);
    for (HWND h : owned) {
        Popup* p = PopupOf(h);
        if (!p) continue;  // closed meanwhile
        if (!shown && IsWindowVisible(h)) {
            p->hiddenWithOwner = true;
            ShowWindow(h, SW_HIDE);
            PopupsFollowOwner(h, false);
        } else if (shown && p->hiddenWithOwner) {
            p->hiddenWithOwner = false;
            ShowWindow(h, SW_SHOWNA);  // in the state it had, the activation left to the owner
            PopupsFollowOwner(h, true);
        }
    }
}

}  // namespace fw::win32
