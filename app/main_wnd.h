#pragma once
// The launcher: the client's main window and the hub every other window talks to. A
// frameless 1290x704 skin with per-pixel alpha, six image buttons, the tray icon, the boss
// key, and the state the other windows share.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/hosts.h"
#include "fw/canvas.h"
#include "fw/image.h"
#include "fw/window.h"

class CWebDlg;

// The launcher's own: the page dialog's state changed (posted: the status line is drawn
// after the launcher has shown itself).
constexpr unsigned WM_PAGE_STATE = fw::WM_USER + 320;
// The launcher's timer: a page still connecting this long after the dialog was made says so.
constexpr unsigned IDT_PAGE_STATUS = 1;

class CMainWnd : public fw::Window {
public:
    enum StartMode { kNormalStart = 0, kHiddenStart = 1 };

    // Creates the window; Created() tells whether that worked.
    explicit CMainWnd(int startMode);
    ~CMainWnd() override;
    bool Created() const { return IsWindow(); }

    // Shows the exit prompt; OK sends WM_CLOSE to the target.
    static void ExitPrompt(fw::Window* target);

    // The pictures the launcher loads when it is made: its background first, then its buttons
    // in the order they are loaded.
    static std::vector<int> SkinPictures();

    // The line drawn in the black web area while the launcher page has not loaded yet. A
    // page that loads as usual is there before the first line would be: no text flashes by
    // (and none is drawn, which spares the start the text renderer's set-up).
    static constexpr const char* kConnectingText = "正在连接游戏平台…";
    static constexpr const char* kRetryingText = "暂时无法连接游戏平台，正在重试…";
    static constexpr unsigned kConnectingDelayMs = 800;
    // The line shown now ("" once the page has loaded, or without a page dialog).
    const std::string& pageStatus() const { return m_strPageStatus; }

    // The launcher's link addresses.
    std::string OfficialSiteUrl() const;
    std::string PaymentUrl() const;
    std::string ForumUrl() const;
    std::string ServiceUrl() const;

    // Packed boss-key code -> the system's modifiers and key.
    static unsigned HotKeyModifiers(std::int32_t code);
    static unsigned HotKeyVk(std::int32_t code) { return static_cast<unsigned>(code) & 0xFFFF; }

    // The game window, when one exists.
    fw::Window* GameWindow() const { return m_pGameWnd; }
    // Makes the game window (a hidden top-level window that reads what it needs from the
    // launcher). Set by the game module; without it no game window can be made.
    using GameWindowFactory = fw::Window* (*)();
    static void SetGameWindowFactory(GameWindowFactory f);

    // Shared state (read and written by the other windows through g_pMainWnd).
    std::unique_ptr<fw::Image> m_hIcon;
    std::string m_strModuleDir;
    int m_bWebDlgCreated = 1;
    CWebDlg* m_pWebDlg = nullptr;
    fw::Rect m_rcWebArea{345, 196, 1133, 583};
    std::string m_strUid;
    std::string m_strSuid;
    std::string m_strUserName;
    std::string m_strPayParam;
    std::string m_strGameUrl;
    std::string m_strServerName;
    int m_bPageNotShown = 1;
    std::string m_strIniPath;
    std::string m_strHotKeyName = "无";
    std::int32_t m_dwHotKey = -1;
    fw::Window* m_pGameWnd = nullptr;
    int m_bGameMaximized = 1;
    std::atomic<int> m_bAccountBound{1};  // also read by the game window's workers
    std::string m_strImParam;
    app::Hosts m_hosts;

    // The skin.
    enum Button { kClose = 0, kMin, kOfficial, kPay, kService, kForum, kButtonCount };
    int m_nWidth = 0;
    int m_nHeight = 0;
    fw::Rect m_rcButton[kButtonCount]{};
    int m_nState[kButtonCount]{};
    int drawCount() const { return m_nDrawCount; }

protected:
    int OnCreate() override;
    void OnClose() override;
    void OnMouseMove(fw::Point p) override;
    void OnLButtonDown(fw::Point p) override;
    void OnLButtonUp(fw::Point p) override;
    void OnHotKey(int id) override;
    void OnCommand(unsigned id) override;
    void OnMove(fw::Point topLeft) override;
    void OnShowWindow(bool show) override;
    void OnTimer(unsigned id) override;
    fw::LRESULT OnMessage(unsigned msg, fw::WPARAM wp, fw::LPARAM lp) override;

private:
    // Skin: the seven pictures, the geometry, the composed picture.
    bool LoadSkin();
    // The page's status line over the skin's web area in the composed background.
    void DrawPageStatus();
    // The page dialog's state changed: the status line follows it.
    void OnPageState();
    void SetGeometry();
    void DrawSkin();
    void ReleaseSkin();
    int ButtonAt(fw::Point p) const;
    void SetHover(int button);  // one state 1, the rest 0; draws when something changed
    void OpenLink(int button);

    void AddTrayIcon();
    void RemoveTrayIcon();
    void OnTrayNotify(fw::LPARAM mouseMsg);
    void RegisterBossKey();

    // The page dialog.
    void CreateWebDlg();
    void PlaceWebDlg();
    void OnOpenGame();
    void OnGameClosed();

    int m_nStartMode;
    std::unique_ptr<fw::Image> m_pImage[kButtonCount];
    std::unique_ptr<fw::Image> m_pBackground;
    fw::Bitmap m_bmBackground;  // the background composed once (and the page's status line)
    std::vector<std::uint32_t> m_webAreaPixels;  // its web area before any status line
    fw::Bitmap m_bmFrame;       // the picture handed to the window
    bool m_bTrayAdded = false;
    int m_nDrawCount = 0;
    std::string m_strPageStatus;
    bool m_bConnectingDue = false;  // IDT_PAGE_STATUS has come
};

// The one launcher, set during its creation and never cleared.
extern CMainWnd* g_pMainWnd;
