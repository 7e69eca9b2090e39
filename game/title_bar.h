#pragma once
// The game window's title bar: where its buttons go for the window's width, how it is
// painted (the window's frame under it), which button the mouse is on and what a click on
// it asks, the account-binding button's animation, the clearing spinner and the boss-key hint.
// The game window owns it and hands it its paint, mouse and timers; the bar answers a click
// with what the window should do (Click) and does nothing else to the window but repaint
// parts of it, set the bar's timers, track the mouse and move the window by its drag area.
// The VIP button is one of its buttons: the customer service (vip_service.h) says when it
// shows and how it looks while a message waits.
#include <memory>
#include <span>
#include <string>

#include "fw/canvas.h"
#include "fw/image.h"
#include "fw/window.h"
#include "game/title_animations.h"
#include "shared/launcher.h"

// The title bar's timers, on the game window (its others: IDT_GAME_RECOVERY in rudov_game.h,
// the VIP button's blink in vip_service.h).
// The binding animation's start, 150 ms after creation.
constexpr unsigned IDT_BIND_ANIMATION = 1001;
// While the window is still hidden at that moment, its visibility is looked at every 50 ms.
constexpr unsigned IDT_BIND_WAIT_VISIBLE = 1002;
// The binding animation's slots and the spinner's frames.
constexpr unsigned IDT_BIND_SLOT = 1003;
constexpr unsigned IDT_SPINNER = 1004;

class CTitleBar {
public:
    static constexpr int kHeight = 40;

    // The buttons, by hover index (0: none).
    enum ButtonIndex { kNone = 0, kClose = 1, kMin, kMax, kReturn, kClear, kBossKey, kVip, kPay, kButtonCount };

    // What a click on the bar asks of the game window.
    enum class Click { None, Exit, Minimize, ToggleMaximize, ClearCache, BossKey, Vip, Pay, BindAccount };

    // The bar of `window`, whose caption starts with `caption` (the server's name follows).
    CTitleBar(fw::Window& window, LauncherRef launcher, const char* caption);
    CTitleBar(const CTitleBar&) = delete;
    CTitleBar& operator=(const CTitleBar&) = delete;

    // The skin's pictures: loaded when the window is made, let go when it closes (with the
    // composed parts, the hint and the animations' timers: Release).
    void LoadPictures();
    void Release();

    // Lays the buttons out for a window `width` wide (the binding and VIP buttons stay as
    // they were placed).
    void SetWidth(int width);
    // The window's new size: the binding button (while the account is unbound) and the VIP
    // button (once allowed) placed again, then the others.
    void Resize(int width);
    // At creation: an account still to be bound gets the binding button, animated once the
    // window shows.
    void ShowBindButton();
    // The VIP button belongs on the bar from now on: it is placed at every Resize, left of
    // the binding button while that is shown, else left of the payment button ...
    void AllowVipButton();
    // ... and at once with this; the bar is painted again.
    void ShowVipButton();
    // How the VIP button looks while a message waits: no hover picture, and drawn only when
    // `drawn` (the blink's half that shows it). Painted at the next repaint.
    void SetVipWaiting(bool waiting, bool drawn);
    void InvalidateVip();
    void InvalidateBar();

    // A clearing runs: the clear-cache button shows the clearing picture and the spinner
    // turns; when it ends the spinner finishes its cycle, then the idle picture returns.
    void SetClearing(bool clearing);

    void Paint(fw::Canvas& canvas);
    void OnMouseMove(fw::Point p);
    void OnMouseLeave();
    // The press on a pressable button shows it pressed; the VIP button acts on the press;
    // elsewhere in the drag area the window is moved (not while maximised).
    Click OnLButtonDown(fw::Point p);
    // A pressable button acts on a release after a press on it, the others on a release
    // while hovered; the binding button on any release.
    Click OnLButtonUp(fw::Point p);
    // A double click in the drag area maximises or restores.
    Click OnLButtonDblClk(fw::Point p);
    // The bar's timers (IDT_BIND_ANIMATION ... IDT_SPINNER).
    void OnTimer(unsigned id);

    // Where the buttons are for the current width: button k (kClose ... kPay), the binding and
    // VIP buttons (empty while not shown), and the part that drags the window.
    fw::Rect ButtonRect(int k) const;
    fw::Rect BindButton() const { return m_rcBind; }
    fw::Rect VipButton() const { return m_rcVip; }
    fw::Rect DragArea() const { return m_rcDrag; }
    const BindingAnimation& bindAnimation() const { return m_bind; }
    const SpinnerAnimation& spinner() const { return m_spinner; }
    // The boss-key hint shown over the boss-key button (the launcher's key name) and whether
    // it is up.
    const std::string& tooltipText() const { return m_strTooltip; }
    bool tooltipVisible() const { return m_bTooltipVisible; }

private:
    // A button of the bar: where it is, and what a click on it asks. A button that shows a
    // pressed state acts on a release after a press on it (state 2), the others on a release
    // while hovered (state 1). `repaint`: its rectangle is painted again on release.
    struct TitleButton {
        int index;
        fw::Rect CTitleBar::*rect;
        bool pressable;
        bool repaint;
        Click click;  // None: the button does nothing on release
    };
    // In the order of hit-testing.
    static std::span<const TitleButton> TitleButtons();
    static const TitleButton* FindTitleButton(int index);

    enum Picture {
        kImgFrame,
        kImgLogo,
        kImgClose,
        kImgMin,
        kImgMax,
        kImgRestore,
        kImgReturn,
        kImgClear,
        kImgClearing,
        kImgSpinner,
        kImgBossKey,
        kImgPay,
        kImgBind,
        kImgVipHover,
        kImgVipNormal,
        kImageCount
    };

    ILauncher* Launcher() const { return m_launcher.get(); }  // null once the launcher is gone
    bool Maximized() const;  // as the launcher has it; the window's own state without one
    const fw::Image* Img(Picture i) const { return m_pImage[i].get(); }
    int ImgWidth(Picture i) const;
    int ImgHeight(Picture i) const;
    int ButtonAt(fw::Point p) const;  // hover index; kButtonCount for the binding button; kNone
    void LayoutButtons();
    void PlaceBindButton();
    void PlaceVipButton();
    void RefreshButtons();
    void InvalidateRect(const fw::Rect& r);
    void SetTooltip(bool show, fw::Point at);

    void StartBindAnimation();
    void OnBindSlot();
    void EndBindAnimation();
    void OnSpinnerFrame();

    void ComposeBackground();
    void ComposeCaption(const std::string& text);

    fw::Window& m_window;
    const LauncherRef m_launcher;
    const char* const m_caption;
    std::unique_ptr<fw::Image> m_pImage[kImageCount];
    fw::Font m_font{"宋体", 13, false};

    int m_nWidth = 0;
    fw::Rect m_rcClose{}, m_rcMin{}, m_rcMax{}, m_rcReturn{}, m_rcClear{}, m_rcBossKey{}, m_rcPay{};
    fw::Rect m_rcBind{};           // empty while the binding button is not shown
    fw::Rect m_rcVip{};            // empty while the VIP button is not shown
    fw::Rect m_rcDrag{};           // the part of the title bar that drags the window
    int m_nState[kButtonCount]{};  // by hover index: 0 normal, 1 hovered, 2 pressed
    int m_nHotButton = kNone;
    bool m_bTracking = false;
    bool m_bVipAllowed = false;
    bool m_bVipWaiting = false;
    bool m_bVipDrawn = false;  // while waiting
    bool m_bClearing = false;

    std::string m_strTooltip;
    bool m_bTooltipVisible = false;

    BindingAnimation m_bind;
    SpinnerAnimation m_spinner;

    // The unchanging parts, composed once per size (and caption).
    fw::Bitmap m_bmBackground;
    std::string m_strCaptionDrawn;
    std::unique_ptr<fw::Image> m_pCaption;  // the caption's text on a transparent layer
    bool m_bCaptionComposed = false;
};
