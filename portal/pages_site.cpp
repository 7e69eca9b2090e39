// Full-size pages that the client opens in the user's default browser: the
// game site, the payment site, the forum, the help centre, news articles, and
// the page for unknown addresses.
#include <string>

#include "html.h"
#include "page_files.h"
#include "pages.h"

namespace portal {
namespace {

struct NewsItem {
    const char* title;
    const char* date;
    const char* text;
};

const NewsItem kNews[] = {
    {"龙之荒原全新版本「赤渊觉醒」上线", "06-01", "全新职业「龙骑士」登场，赤渊副本开放，等级上限提升至 90 级。"},
    {"屠龙节限时活动火热进行中", "05-28", "活动期间累计登录 7 天即可领取限定坐骑「熔岩幼龙」。"},
    {"新服 S8 赤渊今日 10:00 火爆开启", "05-26", "新服开启前七天享受双倍经验，冲级排行前十名赠送神器。"},
    {"每周四例行维护公告", "05-23", "每周四 6:00 至 8:00 进行例行维护，维护期间无法登录游戏。"},
    {"防诈骗提示：官方不会索要您的密码", "05-20", "请勿相信任何自称官方人员索要账号密码或验证码的信息。"},
    {"霜翼副本通关攻略", "05-18", "霜翼副本首领会在血量 30% 时召唤冰龙，请提前准备火抗药水。"},
    {"活动详情：世界首领「熔岩巨龙」", "05-15", "每日 12:00 与 20:00 世界首领降临，击杀可获得龙鳞与稀有装备。"},
};
constexpr int kNewsCount = sizeof(kNews) / sizeof(kNews[0]);

std::string Site(std::string_view title, std::string_view active, std::string body) {
    auto on = [&](std::string_view name) { return std::string(active == name ? " class=\"on\"" : ""); };
    return Fill(page_files::kSite, {{"FONT", std::string(kFontStack)},
                                    {"TITLE", std::string(title)},
                                    {"ON_HOME", on("home")},
                                    {"ON_PAY", on("pay")},
                                    {"ON_FORUM", on("forum")},
                                    {"ON_KEFU", on("kefu")},
                                    {"BODY", std::move(body)}});
}

std::string NewsList() {
    std::string list = "<ul>";
    for (int i = 0; i < 5; ++i) {
        list += "<li><em>" + std::string(kNews[i].date) + "</em><a href=\"/news/" + std::to_string(i + 1) + "\">" +
                kNews[i].title + "</a></li>";
    }
    return list + "</ul>";
}

}  // namespace

std::string SiteHome(std::string_view host) {
    (void)host;
    std::string body =
        "<div class=\"hero\" data-test=\"home\"><h1>龙之荒原</h1>"
        "<p>唤醒沉睡之龙，征服荒原之巅 —— 大型魔幻网页游戏</p></div>"
        "<div class=\"cols\"><div class=\"card\"><h2>新闻公告</h2>" +
        NewsList() +
        "</div><div class=\"card\"><h2>开始游戏</h2>"
        "<p>下载 Lumo 微端，畅玩龙之荒原：不卡顿、老板键、一键清理缓存。</p>"
        "<p><a class=\"btn\" href=\"/?g=dmor\">立即充值</a>　"
        "<a class=\"btn\" href=\"/forum.php?mod=forumdisplay&amp;fid=177\">进入论坛</a></p>"
        "</div></div>";
    return Site("官网首页", "home", body);
}

std::string PaySite(std::string_view host, std::string_view game) {
    (void)host;
    const std::string g = game.empty() ? "dmor" : std::string(game);
    std::string body = "<div class=\"card\" data-test=\"pay-site\"><h2>充值中心 · 游戏 " + HtmlEscape(g) +
                       "</h2><div style=\"overflow:hidden\">"
                       "<div class=\"pack\"><b>¥ 10</b><span>100 元宝</span></div>"
                       "<div class=\"pack\"><b>¥ 30</b><span>300 元宝 + 赠 15</span></div>"
                       "<div class=\"pack\"><b>¥ 98</b><span>980 元宝 + 赠 60</span></div>"
                       "<div class=\"pack\"><b>¥ 328</b><span>3280 元宝 + 赠 260</span></div>"
                       "</div><p>支持支付宝、微信支付、网银及点卡充值。充值成功后元宝将在 1 分钟内到账。</p></div>";
    return Site("充值中心", "pay", body);
}

std::string ForumPage(std::string_view host, std::string_view fid) {
    (void)host;
    static const char* kThreads[][3] = {
        {"【精华】龙骑士 90 级毕业装备搭配", "霜之哀伤", "1520"}, {"【攻略】赤渊副本全首领打法详解", "月下独酌", "986"},
        {"【讨论】S8 赤渊开服冲级路线", "小红帽", "644"},         {"【建议】希望增加跨服公会战", "龙脊守望", "312"},
        {"【晒图】终于抽到熔岩幼龙坐骑了", "焰心", "208"},
    };
    std::string list = "<ul>";
    for (const auto& t : kThreads) {
        list += std::string("<li><em>") + t[1] + " · 回复 " + t[2] + "</em><a href=\"#\">" + t[0] + "</a></li>";
    }
    list += "</ul>";
    std::string body = "<div class=\"card\" data-test=\"forum\"><h2>龙之荒原 · 综合讨论区（版块 " + HtmlEscape(fid) +
                       "）</h2>" + list + "</div>";
    return Site("玩家论坛", "forum", body);
}

std::string KefuPage(std::string_view host) {
    (void)host;
    std::string body =
        "<div class=\"card\" data-test=\"kefu\"><h2>客服中心</h2><ul>"
        "<li><a href=\"#\">充值未到账怎么办？</a></li>"
        "<li><a href=\"#\">账号被盗如何找回？</a></li>"
        "<li><a href=\"#\">忘记密码如何重置？</a></li>"
        "<li><a href=\"#\">游客账号如何绑定？</a></li>"
        "</ul><p>客服热线 400-000-0000（每日 9:00-24:00）。VIP 玩家可在游戏内点击"
        "「VIP客服」按钮联系专属客服。</p></div>";
    return Site("客服中心", "kefu", body);
}

std::string NewsPage(std::string_view host, int number, bool hostile) {
    (void)host;
    const NewsItem& item = kNews[(number - 1 + kNewsCount * 1000) % kNewsCount];
    std::string body = "<div class=\"card\" data-test=\"news\" data-news=\"" + std::to_string(number) + "\"><h2>" +
                       item.title + "</h2><p style=\"color:#8d7660\">发布时间 " + item.date + " · 公告编号 " +
                       std::to_string(number) + "</p><p>" + item.text +
                       "</p><p>感谢您对龙之荒原的支持，祝您游戏愉快！</p></div>";
    if (hostile) body += std::string(HostileStormScript());
    return Site(item.title, "", body);
}

std::string NotFoundPage(std::string_view path) {
    std::string body =
        "<div class=\"card\" data-test=\"not-found\" style=\"text-align:center;padding:50px 20px\">"
        "<p class=\"big\">404</p><h2>页面迷失在荒原之中</h2>"
        "<p>找不到 <code>" +
        HtmlEscape(path) + "</code>，它可能已被巨龙吞噬。</p><p><a class=\"btn\" href=\"/\">返回官网首页</a></p></div>";
    return Site("页面不存在", "", body);
}

}  // namespace portal
