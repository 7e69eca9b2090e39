#pragma once
// The launcher as the windows it makes see it. The launcher (app/main_wnd.h) holds the state
// that the page dialog, the game window and the side windows share; each of them is handed
// this interface when it is made and reaches the launcher only through it, or through the
// messages of shared/messages.h sent to LauncherWindow(). Nothing else of the launcher is
// visible below app/.
//
// UI thread only.
#include <cstdint>
#include <string>

#include "fw/geometry.h"
#include "fw/window.h"
#include "shared/hosts.h"

class ILauncher {
public:
    // The launcher's window: the page dialog's owner, the exit prompt's target, and where
    // WM_OPEN_GAME, WM_GAME_CLOSED and WM_SHOW_IM go.
    virtual fw::Window& LauncherWindow() = 0;

    // ---- What every window may read.
    // The host names, with static.ini's overrides.
    virtual const shared::Hosts& Hosts() const = 0;
    // The game page's address and the server's name, as the launcher page last gave them.
    virtual const std::string& GameUrl() const = 0;
    virtual const std::string& ServerName() const = 0;
    // The payment page's address from the launcher page's last openPay ("" before one).
    virtual const std::string& PayParam() const = 0;
    // False after the launcher page's ShowBindBtn, true again once the account page reports
    // a binding.
    virtual bool AccountBound() const = 0;
    // The boss key: its packed code (-1: none) and its display name.
    virtual std::int32_t BossKey() const = 0;
    virtual const std::string& BossKeyName() const = 0;

    // ---- The page dialog: where it sits, which page it asks for, and what the page reports.
    virtual fw::Rect WebArea() const = 0;  // in the launcher's client coordinates
    virtual const std::string& Uid() const = 0;
    virtual const std::string& Suid() const = 0;
    virtual void SetGameUrl(std::string url) = 0;
    virtual void SetServerName(std::string name) = 0;
    virtual void SetPayParam(std::string text) = 0;
    // The customer-service list of the launcher page's ShowIM (WM_SHOW_IM follows).
    virtual void SetImParam(std::string text) = 0;
    // "欢迎" + the name in the page's span "usr" (nothing of the client reads it yet).
    virtual void SetUserName(std::string text) = 0;
    // The launcher page has not yet completed loading once (the dialog shows itself with the
    // launcher from then on).
    virtual bool PageNotShown() const = 0;
    virtual void SetPageShown() = 0;
    // The dialog's window is being destroyed (the dialog deletes itself afterwards).
    virtual void PageDialogDestroyed(fw::Window& dialog) = 0;

    // ---- The account page window.
    virtual void SetAccountBound(bool bound) = 0;

    // ---- The game window.
    // Whether the game window is to be maximised (its maximise button and the next game).
    virtual bool GameMaximized() const = 0;
    virtual void SetGameMaximized(bool maximized) = 0;
    // Where the game window rests when it is not maximised, as the last game window left it
    // (in this run, or in one before through static.ini); empty when none is known.
    virtual fw::Rect GameRect() const = 0;
    // A game window that has shown is going: its resting rectangle is kept, with
    // GameMaximized(), for the next game window and in static.ini.
    virtual void SetGameRect(const fw::Rect& rect) = 0;
    // The game window is being destroyed. When the launcher still holds it (it was closed
    // some other way than by the launcher), the launcher hears of it as of WM_GAME_CLOSED.
    virtual void GameWindowDestroyed(fw::Window& game) = 0;

    // ---- The boss-key dialog.
    // Makes `code` the boss key (registered for the launcher window under IDH_BOSSKEY) with
    // `name` as its display name. False when the system refuses the combination: the old key
    // is then registered again and the launcher keeps naming it.
    virtual bool ChangeBossKey(std::int32_t code, const std::string& name) = 0;

protected:
    // The launcher is a window and is deleted as such, never through this interface.
    ~ILauncher() = default;
};

// How a window that may outlive the launcher holds it: by the launcher's window handle,
// looked up at each use, so that a launcher that is gone (or going) is never touched.
class LauncherRef {
public:
    LauncherRef() = default;
    explicit LauncherRef(ILauncher* launcher)
        : m_hLauncher(launcher ? launcher->LauncherWindow().handle() : fw::kNoWindow) {}

    // Null once the launcher's window is gone.
    ILauncher* get() const { return dynamic_cast<ILauncher*>(fw::Window::FromHandle(m_hLauncher)); }
    fw::Handle handle() const { return m_hLauncher; }

private:
    fw::Handle m_hLauncher = fw::kNoWindow;
};
