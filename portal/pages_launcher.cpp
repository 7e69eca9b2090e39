// The launcher page: log-in header and server list, shown by the client in
// its 788×387 page area, and the news frame inside it (markup, style and script:
// pages/launcher*.html, .css, .js).
#include <string>

#include "html.h"
#include "page_files.h"
#include "pages.h"
#include "request_log.h"

namespace portal {

const std::vector<GameServerInfo>& GameServers() {
    static const std::vector<GameServerInfo> kServers = {
        {"S8", "S8 赤渊", "新服", "new", "今日 10:00"},  {"S7", "S7 苍穹", "火爆", "hot", "05-28 10:00"},
        {"S6", "S6 星陨", "火爆", "hot", "05-14 10:00"}, {"S5", "S5 血月", "流畅", "ok", "04-30 10:00"},
        {"S4", "S4 暗鳞", "流畅", "ok", "04-16 10:00"},  {"S3", "S3 雷鸣", "爆满", "full", "04-02 10:00"},
        {"S2", "S2 霜翼", "流畅", "ok", "03-19 10:00"},  {"S1", "S1 龙焰", "爆满", "full", "03-05 10:00"},
    };
    return kServers;
}

bool IsGuest(std::string_view uid) { return uid.empty() || uid.substr(0, 5) == "guest"; }

std::string DisplayName(std::string_view uid) {
    if (uid.empty()) return "游客";
    if (uid.substr(0, 5) == "guest") return "游客" + std::string(uid.substr(5));
    return "玩家" + std::string(uid);
}

std::string ServiceList(std::string_view uid) {
    // Field 1 names the service group, 2-4 are sent with the heartbeat
    // (userid, g_id, f_id), 5-7 describe the player for the chat library.
    // A bar inside the uid would shift the fields, so it is encoded.
    const std::string user = uid.empty() ? "guest" : UrlEncode(uid);
    const std::string fields[7] = {"kf_dmor", user, "dmor", "1001", "vip3", "S1", "zh-CN"};
    std::string out;
    for (const std::string& f : fields) out.append(f).push_back('|');
    return out;
}

namespace {
// The port of "host:port" ("80" without one).
std::string_view PortOf(std::string_view host) {
    const auto colon = host.rfind(':');
    return colon == std::string_view::npos ? std::string_view("80") : host.substr(colon + 1);
}
}  // namespace

std::string LauncherPage(std::string_view host, std::string_view uid, std::string_view suid, bool hostile,
                         std::string_view gameBase) {
    (void)suid;  // part of the address the client builds; not shown
    const auto& servers = GameServers();
    std::string list;
    for (const GameServerInfo& s : servers) {
        list += Fill(page_files::kLauncherServer,
                     {{"ID", s.id}, {"NAME", s.name}, {"CSS", s.css}, {"STATE", s.state}, {"OPENED", s.opened}});
    }
    const bool guest = IsGuest(uid);
    const std::string name = DisplayName(uid);
    // "Last played" is the oldest server, where a returning player would be.
    const GameServerInfo& quick = servers.back();
    return Fill(page_files::kLauncher,
                {{"FONT", std::string(kFontStack)},
                 {"HOST", HtmlEscape(host)},
                 {"NAME", HtmlEscape(name)},
                 {"BADGE", guest ? "游客" : "VIP 3"},
                 {"BADGE_CLASS", guest ? " guest" : ""},
                 {"TOP_LINK", guest ? "<a href=\"javascript:void(0);\" data-test=\"bind-top\" "
                                      "onclick=\"lumo.bindAccount();return false;\">绑定账号</a>"
                                    : "<a href=\"http://" + HtmlEscape(host) +
                                          "/\" target=\"_blank\" data-test=\"home-top\">个人中心</a>"},
                 {"QUICK_ID", quick.id},
                 {"QUICK_NAME", quick.name},
                 {"SERVER_COUNT", std::to_string(servers.size())},
                 {"SERVERS", list},
                 {"UID_JS", JsonString(uid, true)},
                 {"GAME_BASE_JS", gameBase.empty() ? "'http://' + location.host" : JsonString(gameBase, true)},
                 {"NAME_JS", JsonString(name, true)},
                 {"GUEST_JS", guest ? "true" : "false"},
                 {"IM_JS", JsonString(ServiceList(uid), true)},
                 {"HOSTILE", hostile ? Fill(page_files::kLauncherHostile, {{"PORT", std::string(PortOf(host))}})
                                     : std::string()}});
}

std::string LauncherAdFrame() { return Fill(page_files::kLauncherAd, {{"FONT", std::string(kFontStack)}}); }

std::string LauncherFrame(std::string_view host) {
    return Fill(page_files::kLauncherFrame, {{"FONT", std::string(kFontStack)}, {"HOST", HtmlEscape(host)}});
}

}  // namespace portal
