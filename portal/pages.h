// Page builders of the portal. Every function returns a complete UTF-8 HTML
// document; values that come from the request are escaped inside.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace portal {

struct GameServerInfo {
    const char* id;      // "S1"
    const char* name;    // "S1 龙焰", the text handed to the client
    const char* state;   // "火爆", "流畅", ...
    const char* css;     // status class: hot, new, ok, full
    const char* opened;  // opening date shown in the list
};

// The servers listed on the launcher page, in display order.
const std::vector<GameServerInfo>& GameServers();

// A guest has no uid or one that starts with "guest".
bool IsGuest(std::string_view uid);

// Name shown in the launcher's span id="usr": "玩家<uid>" for a user,
// "游客" (+ what follows "guest") for a guest.
std::string DisplayName(std::string_view uid);

// The seven service fields (each followed by "|") that the launcher page
// passes with ShowIM for this user.
std::string ServiceList(std::string_view uid);

// Launcher page (/game/s/dmor/) and its news frame. A hostile page also offers
// a click that opens 200 windows and an OpenGame with a local file, and frames an
// advertisement of another site (/ad/frame on "localhost") that tries the script bridge.
std::string LauncherPage(std::string_view host, std::string_view uid, std::string_view suid, bool hostile = false,
                         std::string_view gameBase = {});
std::string LauncherFrame(std::string_view host);
std::string LauncherAdFrame();

// Game page (/game/play/) and its activity frame.
struct GamePageInput {
    std::string host;
    std::string server;  // "S1"
    std::string uid;
    bool reloaded = false;        // reached through client://loadgame
    bool cookie_carried = false;  // the request had lumo_session
    std::string session;          // the session id (carried or new)
    bool music = false;           // the page plays /game/play/music.wav as it loads
    bool hostile = false;         // the key P asks for 200 new windows at once
};
std::string GamePage(const GamePageInput& in);
// The hostile pages' script: the key P (a user's gesture) asks for 200 new windows.
std::string_view HostileStormScript();
std::string GameFrame(std::string_view server);

// Side panels shown by the client's small windows.
std::string PayPage(std::string_view host, std::string_view game, std::string_view uid);
std::string AccountPage(std::string_view host, std::string_view game);

// The customer-service chat page of a session, starting from `initial_json` (what the page's
// poll answers, cs_server.h), and the agent console.
std::string CsChatPage(std::string_view session, std::string_view initial_json);
std::string CsAgentPage();

// Pages that the client hands to the user's default browser.
std::string SiteHome(std::string_view host);
std::string PaySite(std::string_view host, std::string_view game);
std::string ForumPage(std::string_view host, std::string_view fid);
std::string KefuPage(std::string_view host);
// hostile: the page also asks for 200 windows on one key press, as the hostile game page does.
std::string NewsPage(std::string_view host, int number, bool hostile = false);
std::string NotFoundPage(std::string_view path);

// Developer tools: the bridge benchmark and the bridge simulator.
std::string BenchPage(int calls);
std::string SimPage();

// Renders the QR-like square of the payment page as inline SVG; the pattern
// depends only on seed.
std::string QrSvg(std::string_view seed, int pixel_size);

}  // namespace portal
