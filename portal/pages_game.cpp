// The game page that the client's game window shows: a full-window scene
// drawn on a canvas with a game-like interface on top, and its side frame.
#include <string>

#include "html.h"
#include "page_files.h"
#include "pages.h"
#include "request_log.h"

namespace portal {
namespace {

std::string ServerName(std::string_view id) {
    for (const GameServerInfo& s : GameServers()) {
        if (id == s.id) return s.name;
    }
    if (id == "S9") return "S9 幽冥";
    return std::string(id);
}

}  // namespace

std::string_view HostileStormScript() { return page_files::kHostileStorm; }

std::string GamePage(const GamePageInput& in) {
    const std::string id = in.server.empty() ? "S1" : in.server;
    // The zone number shown under the name: the digits of the id ("S12" → 12).
    const size_t digits = id.find_first_of("0123456789");
    const std::string number = digits == std::string::npos ? std::string("1") : id.substr(digits);
    return Fill(
        page_files::kGame,
        {{"FONT", std::string(kFontStack)},
         {"HOST", HtmlEscape(in.host)},
         {"SERVER_NAME", HtmlEscape(ServerName(id))},
         {"SERVER_NO", HtmlEscape(number)},
         {"SERVER_URL", HtmlEscape(UrlEncode(id))},
         {"PLAYER", HtmlEscape(DisplayName(in.uid))},
         {"COOKIE_STATE", in.cookie_carried ? "carried" : "new"},
         {"COOKIE_TEXT", in.cookie_carried ? "已携带" : "新会话"},
         {"RELOADED_STYLE", in.reloaded ? "display:inline-block" : ""},
         {"SESSION", HtmlEscape(in.session)},
         {"MUSIC", in.music ? "<audio src=\"/game/play/music.wav\" autoplay loop data-test=\"music\"></audio>\n" : ""},
         {"HOSTILE", in.hostile ? std::string(page_files::kHostileStorm) : std::string()}});
}

std::string GameFrame(std::string_view server) {
    const std::string id = server.empty() ? "S1" : std::string(server);
    return Fill(page_files::kGameFrame, {{"FONT", std::string(kFontStack)}, {"SERVER", HtmlEscape(ServerName(id))}});
}

}  // namespace portal
