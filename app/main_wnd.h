#pragma once
// The launcher: the client's main window and the hub every other window talks to. A
// frameless 1290x704 skin with per-pixel alpha, six image buttons, the tray icon, the boss
// key, and the state the other windows share. It makes the page dialog and the game window
// and hands each of them itself as an ILauncher (shared/launcher.h), the only way they
// reach it besides the shared messages.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fw/canvas.h"
#include "fw/hidden_windows.h"
#include "fw/image.h"
#include "fw/window.h"
#include "shared/hosts.h"
#include "shared/launcher.h"
#include "shared/launcher_layout.h"

class CWebDlg;

// The launcher's own: the page dialog's state changed (posted: the status line is drawn
// after the launcher has shown itself).
constexpr unsigned WM_PAGE_STATE = fw::WM_USER + 320;
// The launcher's timer: a page still connecting this long after the dialog was made says so.
constexpr unsigned IDT_PAGE_STATUS = 1;

class CMainWnd : public fw::Window, public ILauncher {
public:
    enum StartMode { kNormalStart = 0, kHiddenStart = 1 };

    // Creates the window; Created() tells whether that worked.
    explicit CMainWnd(int startMode);
    ~CMainWnd() override;
    bool Created() const { return IsWindow(); }

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

    // Packed boss-key code -> the system's modifiers and key.
    static unsigned HotKeyModifiers(std::int32_t code);
    static unsigned HotKeyVk(std::int32_t code) { return static_cast<unsigned>(code) & 0xFFFF; }

    // Makes the game window (a hidden top-level window, handed the launcher). Set by the
    // composition root (RegisterGameWindow below; tests set their own); without it no game
    // window can be made.
    using GameWindowFactory = fw::Window* (*)(ILauncher& launcher);
    static void SetGameWindowFactory(GameWindowFactory f);

    // ILauncher: what the page dialog, the game window and the side windows may ask.
    fw::Window& LauncherWindow() override { return *this; }
    const shared::Hosts& Hosts() const override { return m_hosts; }
    const std::string& GameUrl() const override { return m_strGameUrl; }
    const std::string& ServerName() const override { return m_strServerName; }
    const std::string& PayParam() const override { return m_strPayParam; }
    bool AccountBound() const override { return m_bAccountBound; }
    std::int32_t BossKey() const override { return m_dwHotKey; }
    const std::string& BossKeyName() const override { return m_strHotKeyName; }
    fw::Rect WebArea() const override { return m_rcWebArea; }
    const std::string& Uid() const override { return m_strUid; }
    const std::string& Suid() const override { return m_strSuid; }
    void SetGameUrl(std::string url) override { m_strGameUrl = std::move(url); }
    void SetServerName(std::string name) override { m_strServerName = std::move(name); }
    void SetPayParam(std::string text) override { m_strPayParam = std::move(text); }
    void SetImParam(std::string text) override { m_strImParam = std::move(text); }
    void SetUserName(std::string text) override { m_strUserName = std::move(text); }
    bool PageNotShown() const override { return m_bPageNotShown; }
    void SetPageShown() override { m_bPageNotShown = false; }
    void PageDialogDestroyed(fw::Window& dialog) override;
    void SetAccountBound(bool bound) override { m_bAccountBound = bound; }
    bool GameMaximized() const override { return m_bGameMaximized; }
    void SetGameMaximized(bool maximized) override { m_bGameMaximized = maximized; }
    fw::Rect GameRect() const override { return m_rcGameRect; }
    void SetGameRect(const fw::Rect& rect) override;
    void GameWindowDestroyed(fw::Window& game) override;
    bool ChangeBossKey(std::int32_t code, const std::string& name) override;

    // The skin's buttons, in the order of drawing and of hit-testing (shared/launcher_layout.h,
    // which has their rectangles and the web area).
    using Button = shared::launcher_layout::Button;
    using enum shared::launcher_layout::Button;
    int drawCount() const { return m_nDrawCount; }

    // Read-only views of what the launcher holds besides ILauncher, for the tests: the page
    // dialog (null before it is made, when its control could not be made, and once it has
    // gone) and the game window (null when there is none), and what the launcher page last
    // reported that nothing of the client reads back yet: the user name and the
    // customer-service list.
    CWebDlg* pageDialog() const { return m_pWebDlg; }
    fw::Window* gameWindow() const { return m_pGameWnd; }
    const std::string& userName() const { return m_strUserName; }
    const std::string& imParam() const { return m_strImParam; }

protected:
    bool PreTranslateMessage(const fw::Msg& msg) override;
    int OnCreate() override;
    void OnClose() override;
    void OnMouseMove(fw::Point p) override;
    void OnLButtonDown(fw::Point p) override;
    void OnLButtonUp(fw::Point p) override;
    void OnHotKey(int id) override;
    void OnCommand(unsigned id) override;
    void OnMove(fw::Point topLeft) override;
    void OnShowWindow(bool show) override;
    void OnSize(unsigned type, int cx, int cy) override;
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
    // What the boss key's group told this client: hide everything, or bring it back.
    enum : fw::LPARAM { kBossKeyHide = 1, kBossKeyShow = 2 };
    void OnBossKey(fw::LPARAM what);

    // The page dialog.
    void CreateWebDlg();
    void PlaceWebDlg();
    void OnOpenGame();
    void OnGameClosed();
    void CloseGameWindow();
    void OnShowIm();

    // The launcher's state, under the names the other windows know it by in ILauncher.
    std::unique_ptr<fw::Image> m_hIcon;
    std::string m_strModuleDir;
    bool m_bWebDlgCreated = true;
    CWebDlg* m_pWebDlg = nullptr;
    fw::Rect m_rcWebArea = shared::launcher_layout::kWebArea;
    std::string m_strUid;
    std::string m_strSuid;
    std::string m_strUserName;
    std::string m_strPayParam;
    std::string m_strGameUrl;
    std::string m_strServerName;
    bool m_bPageNotShown = true;
    std::string m_strIniPath;
    std::string m_strHotKeyName = "无";
    std::int32_t m_dwHotKey = -1;
    fw::Window* m_pGameWnd = nullptr;
    fw::HiddenWindows m_hiddenByBossKey;  // what the boss key hid, until it shows it again
    bool m_bGameMaximized = true;
    fw::Rect m_rcGameRect{};  // empty: the game window opens at its default place
    bool m_bAccountBound = true;
    std::string m_strImParam;
    shared::Hosts m_hosts;

    // The skin.
    int m_nWidth = 0;
    int m_nHeight = 0;
    fw::Rect m_rcButton[kButtonCount]{};
    int m_nState[kButtonCount]{};

    std::unique_ptr<fw::Image> m_pImage[kButtonCount];
    std::unique_ptr<fw::Image> m_pBackground;
    fw::Bitmap m_bmBackground;                   // the background composed once (and the page's status line)
    std::vector<std::uint32_t> m_webAreaPixels;  // its web area before any status line
    fw::Bitmap m_bmFrame;                        // the picture handed to the window
    bool m_bTrayAdded = false;
    int m_nDrawCount = 0;
    std::string m_strPageStatus;
    bool m_bConnectingDue = false;  // IDT_PAGE_STATUS has come
};

// Makes the launcher's WM_OPEN_GAME make a CRudovGame. Called once at start-up (the program
// and the tests of the game window).
void RegisterGameWindow();
