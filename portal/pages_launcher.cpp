// The launcher page: log-in header and server list, shown by the client in
// its 788×387 page area, and the news frame inside it.
#include <string>

#include "html.h"
#include "pages.h"
#include "request_log.h"

namespace portal {

const std::vector<GameServerInfo>& GameServers() {
  static const std::vector<GameServerInfo> kServers = {
      {"S8", "S8 赤渊", "新服", "new", "今日 10:00"},
      {"S7", "S7 苍穹", "火爆", "hot", "05-28 10:00"},
      {"S6", "S6 星陨", "火爆", "hot", "05-14 10:00"},
      {"S5", "S5 血月", "流畅", "ok", "04-30 10:00"},
      {"S4", "S4 暗鳞", "流畅", "ok", "04-16 10:00"},
      {"S3", "S3 雷鸣", "爆满", "full", "04-02 10:00"},
      {"S2", "S2 霜翼", "流畅", "ok", "03-19 10:00"},
      {"S1", "S1 龙焰", "爆满", "full", "03-05 10:00"},
  };
  return kServers;
}

bool IsGuest(std::string_view uid) {
  return uid.empty() || uid.substr(0, 5) == "guest";
}

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
  const std::string fields[7] = {"kf_dmor", user, "dmor", "1001",
                                 "vip3",    "S1", "zh-CN"};
  std::string out;
  for (const std::string& f : fields) out.append(f).push_back('|');
  return out;
}

namespace {

constexpr std::string_view kLauncher = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>龙之荒原 - Lumo游戏平台</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;padding:0;width:788px;height:387px;overflow:hidden}
body{position:relative;font:12px/1.5 {{FONT}};color:#eadcb8;background:#160d0b;
 background:radial-gradient(ellipse 460px 240px at 660px -60px,rgba(255,118,36,.40),rgba(255,118,36,0) 70%),
  radial-gradient(ellipse 420px 220px at -60px 440px,rgba(126,38,168,.38),rgba(126,38,168,0) 70%),
  linear-gradient(180deg,#26140e 0%,#1b0f0c 52%,#100a11 100%);
 -webkit-user-select:none;user-select:none;cursor:default}
a{color:#f3c46a;text-decoration:none}
a:hover{color:#ffe4a6}
#top{position:absolute;left:0;top:0;width:788px;height:48px;
 background:linear-gradient(180deg,rgba(84,34,16,.96),rgba(36,15,10,.94));
 border-bottom:1px solid #7a4420;box-shadow:0 2px 12px rgba(0,0,0,.65)}
#top:after{content:"";position:absolute;left:0;right:0;bottom:-1px;height:1px;
 background:linear-gradient(90deg,rgba(255,200,110,0),rgba(255,200,110,.8),rgba(255,200,110,0))}
.emblem{position:absolute;left:18px;top:10px;width:28px;height:28px;transform:rotate(45deg);
 background:linear-gradient(135deg,#ffe09a,#d0621f 55%,#5e1707);border:1px solid #ffd58c;
 box-shadow:0 0 14px rgba(255,140,40,.65)}
.emblem b{display:block;transform:rotate(-45deg);text-align:center;line-height:26px;font-size:15px;color:#2b0c04}
.brand{position:absolute;left:60px;top:4px}
.brand h1{margin:0;font-size:21px;line-height:25px;letter-spacing:4px;font-weight:bold;color:#ffd27e;
 background:linear-gradient(180deg,#fff3cc,#f5b54e 55%,#b65d1a);-webkit-background-clip:text;
 background-clip:text;-webkit-text-fill-color:transparent}
.brand small{display:block;font-size:10px;letter-spacing:2px;color:#a98b6b;line-height:14px}
.user{position:absolute;right:16px;top:9px;height:30px;line-height:30px;white-space:nowrap;font-size:12px}
.user > *{display:inline-block;vertical-align:middle}
.avatar{width:28px;height:28px;border-radius:50%;text-align:center;line-height:26px;font-size:13px;color:#ffe6b0;
 background:radial-gradient(circle at 35% 30%,#b85a2a,#4a1608);border:1px solid #e6a45a;margin-right:6px}
.badge{height:17px;line-height:17px;padding:0 6px;border-radius:9px;font-size:10px;color:#2a1204;margin-right:8px;
 background:linear-gradient(180deg,#ffe39c,#e0952f)}
.badge.guest{background:linear-gradient(180deg,#d8d2c8,#8f877c)}
.name{color:#ffe0a0;font-weight:bold;margin-right:10px}
.user a{color:#b99a78}
#main{position:absolute;left:12px;top:56px;width:764px;height:292px}
.panel{position:absolute;top:0;height:292px;border:1px solid rgba(196,122,60,.45);border-radius:6px;
 background:linear-gradient(180deg,rgba(52,24,16,.82),rgba(24,12,12,.86));
 box-shadow:inset 0 1px 0 rgba(255,210,140,.12),0 4px 14px rgba(0,0,0,.5)}
#side{left:0;width:232px;padding:8px}
#list{left:242px;width:522px;padding:8px 10px}
h2{margin:0 0 6px;font-size:12px;line-height:18px;color:#f6c66c;letter-spacing:1px;font-weight:bold}
h2 i{display:inline-block;width:3px;height:11px;margin-right:6px;background:#f19a38;vertical-align:-1px}
.quick{display:block;height:40px;line-height:40px;border-radius:5px;text-align:center;font-size:15px;font-weight:bold;
 letter-spacing:2px;color:#2b0f03;border:1px solid #ffd08a;
 background:linear-gradient(180deg,#ffe29c 0%,#f4a43c 48%,#d06a1c 52%,#f09a3a 100%);
 box-shadow:0 0 12px rgba(255,150,50,.45),inset 0 1px 0 #fff3d0}
.quick:hover{color:#2b0f03;filter:brightness(1.08)}
.clients{margin:8px 0 6px}
.clients a{display:block;height:24px;line-height:22px;margin-bottom:4px;padding:0 8px;border-radius:4px;font-size:12px;
 border:1px solid rgba(230,160,80,.35);background:linear-gradient(90deg,rgba(120,50,20,.55),rgba(60,24,14,.25))}
.clients a em{float:right;font-style:normal;color:#a88c70;font-size:11px}
iframe.ticker{display:block;width:214px;height:66px;border:1px solid rgba(196,122,60,.35);border-radius:4px;
 background:rgba(0,0,0,.25)}
.links{margin-top:7px;height:22px;line-height:22px;font-size:11px;white-space:nowrap}
.links a,.links button{display:inline-block;margin-right:4px;padding:0 6px;height:20px;line-height:18px;font:inherit;font-size:11px;
 color:#e8c79a;border:1px solid rgba(200,140,80,.35);border-radius:3px;background:rgba(80,34,18,.5);cursor:pointer}
.tabs{position:absolute;right:10px;top:8px;font-size:11px;color:#a88c70}
.tabs b{color:#f6c66c;font-weight:normal;border-bottom:1px solid #f19a38;margin-left:10px}
.tabs span{margin-left:10px}
.grid{position:relative;margin-top:4px}
.srv{position:relative;float:left;width:246px;height:54px;margin:0 8px 8px 0;padding:7px 10px 0 34px;border-radius:5px;
 color:#f1e2c0;border:1px solid rgba(214,140,70,.40);
 background:linear-gradient(180deg,rgba(96,42,22,.78),rgba(46,20,14,.86));box-shadow:inset 0 1px 0 rgba(255,210,150,.14)}
.srv:nth-child(2n){margin-right:0}
.srv:hover{color:#fff;border-color:#ffc872;background:linear-gradient(180deg,rgba(140,62,26,.9),rgba(70,28,16,.9));
 box-shadow:0 0 10px rgba(255,150,60,.45),inset 0 1px 0 rgba(255,220,160,.3)}
.srv .dot{position:absolute;left:12px;top:19px;width:12px;height:12px;border-radius:50%;box-shadow:0 0 8px currentColor}
.dot.hot{color:#ff5a2a;background:radial-gradient(circle at 35% 35%,#ffd1a0,#ff4a1a)}
.dot.new{color:#ffd23a;background:radial-gradient(circle at 35% 35%,#fff6c0,#f0b21a)}
.dot.ok{color:#4fd16a;background:radial-gradient(circle at 35% 35%,#d4ffd8,#2fb04a)}
.dot.full{color:#d43a3a;background:radial-gradient(circle at 35% 35%,#ffc0c0,#b8202a)}
.srv strong{font-size:14px;letter-spacing:1px}
.srv .tag{position:absolute;right:10px;top:8px;font-style:normal;font-size:10px;padding:0 5px;line-height:16px;border-radius:3px;
 color:#fff;background:linear-gradient(180deg,#e2542a,#9e2410)}
.srv .tag.ok{background:linear-gradient(180deg,#3fae58,#1f6e32)}
.srv .tag.new{color:#3a1a00;background:linear-gradient(180deg,#ffe27a,#e4a020)}
.srv small{display:block;font-size:10px;color:#a48a70;line-height:18px}
#bar{position:absolute;left:12px;top:355px;width:764px;height:26px;line-height:24px;white-space:nowrap}
#bar button{height:24px;padding:0 12px;margin-right:6px;font:inherit;font-size:12px;color:#f6dcae;cursor:pointer;border-radius:4px;
 border:1px solid rgba(226,150,70,.6);background:linear-gradient(180deg,#7a3516,#4a1c0c)}
#bar button:hover{background:linear-gradient(180deg,#9a4a1e,#5c2410)}
#status{display:inline-block;width:250px;overflow:hidden;text-overflow:ellipsis;vertical-align:top;color:#c7a883;font-size:11px}
#ver{position:absolute;right:0;top:0;font-size:11px;color:#8d7660}
#ver b{color:#f6c66c}
.decoy{display:none}
#hostile{position:absolute;left:300px;top:12px;height:24px;white-space:nowrap;z-index:9}
#hostile button{width:96px;height:24px;margin-right:6px;padding:0;font:inherit;font-size:12px;color:#ffd9d0;cursor:pointer;
 border-radius:4px;border:1px solid #d0503a;background:linear-gradient(180deg,#8a2414,#4e0f08)}
</style>
</head>
<body>
<div id="top">
 <div class="emblem"><b>龙</b></div>
 <div class="brand"><h1>龙之荒原</h1><small>DRAKMOOR · LUMO游戏平台</small></div>
 <div class="user">
  <div id="usr" class="avatar" title="头像">龙</div><span id="USR" class="badge{{BADGE_CLASS}}" data-test="badge">{{BADGE}}</span><span class="hello">欢迎您，</span><span id="usr" class="name" data-test="username">{{NAME}}</span>{{TOP_LINK}}
 </div>
</div>
<div id="main">
 <div id="side" class="panel">
  <h2><i></i>上次登录</h2>
  <a class="quick" href="javascript:void(0);" data-test="quick-start" data-server="{{QUICK_ID}}" data-name="{{QUICK_NAME}}" onclick="lumo.openServer(this);return false;">进入 {{QUICK_NAME}}</a>
  <div class="clients">
   <a href="/game/play/?server=S9&client = 1" data-test="client-link">S9 幽冥 · 客户端直达<em>内测</em></a>
   <a href="/game/play/?server=S8&client=1" target="_blank" data-test="client-newwin">S8 赤渊 · 新窗口进入<em>客户端</em></a>
  </div>
  <iframe class="ticker" src="/game/s/dmor/frame" frameborder="0" scrolling="no" data-test="ticker"></iframe>
  <div class="links">
   <a href="http://{{HOST}}/news/1" target="_blank" data-test="news-link">官网公告</a><button type="button" data-test="news-popup" onclick="lumo.popup();">活动弹窗</button><a href="file:///etc/hostname" target="_blank" data-test="file-link">本地说明</a>
  </div>
 </div>
 <div id="list" class="panel">
  <h2><i></i>选择服务器</h2>
  <div class="tabs"><b>推荐服务器</b><span>全部服务器({{SERVER_COUNT}})</span></div>
  <div class="grid">
{{SERVERS}}  </div>
 </div>
</div>
<div id="bar">
 <button type="button" data-test="showim" onclick="lumo.showIM();">联系客服</button><button type="button" data-test="openpay" onclick="lumo.openPay();">充值中心</button><button type="button" data-test="showbind" onclick="lumo.bindAccount();">绑定账号</button><span id="status" data-test="status">请选择服务器开始游戏</span>
 <span id="ver">接口版本 <b id="apiver" data-test="apiver">…</b></span>
</div>
{{HOSTILE}}<script>
var lumo = (function () {
  var cfg = {uid: {{UID_JS}}, name: {{NAME_JS}}, guest: {{GUEST_JS}}, im: {{IM_JS}}};
  var base = 'http://' + location.host;
  function setText(id, text) {
    var el = document.getElementById(id);
    if (!el) return;
    if ('textContent' in el) el.textContent = text; else el.innerText = text;
  }
  function status(text) { setText('status', text); }
  // Every call goes through window.external.WD_JAPI with an exact argument
  // count: the client tells one-argument calls from two-argument ones.
  function call1(method) {
    try { var v = window.external.WD_JAPI(method); status('已调用 ' + method); return v; }
    catch (e) { status('请在客户端中打开（' + method + '）'); }
  }
  function call2(method, arg) {
    try { var v = window.external.WD_JAPI(method, arg); status('已调用 ' + method); return v; }
    catch (e) { status('请在客户端中打开（' + method + '）'); }
  }
  function gameUrl(id) {
    return base + '/game/play/?server=' + id + '&uid=' + encodeURIComponent(cfg.uid);
  }
  function payUrl() {
    return base + '/pay/?g=dmor&uid=' + encodeURIComponent(cfg.uid);
  }
  function apiVersion() {
    var v;
    try { v = window.external.WD_JAPI('getApiVersion'); } catch (e) { v = undefined; }
    return (v === undefined || v === null) ? '\u2014' : String(v);
  }
  var api = {
    openServer: function (el) {
      var id = el.getAttribute('data-server'), name = el.getAttribute('data-name');
      call2('OpenGame', gameUrl(id) + '|' + 'x' + '|' + name);
      status('正在进入 ' + name + ' …');
    },
    showIM: function () { call2('ShowIM', cfg.im); },
    openPay: function () { call2('openPay', payUrl()); },
    bindAccount: function () { call1('ShowBindBtn'); },
    popup: function () { window.open(base + '/news/2'); },
    apiVersion: apiVersion,
    gameUrl: gameUrl,
    payUrl: payUrl
  };
  var version = apiVersion();
  setText('apiver', version);
  // The version the page got, as a request the portal's log records: tests
  // of the client read it there. The image stays referenced until it loads.
  api.beacon = new Image();
  api.beacon.src = '/__beacon?api=' + encodeURIComponent(version);
  if (cfg.guest) {
    try { window.external.WD_JAPI('ShowBindBtn'); } catch (e) {}
    try { window.external.WD_JAPI('openPay', payUrl()); } catch (e) {}
  }
  return api;
})();
</script>
</body>
</html>
)HTML";

// What a hostile page does, offered in --hostile mode: one click that asks for 200 new
// windows, and OpenGame with a local file as the game's address.
constexpr std::string_view kHostile =
    R"HTML(<div id="hostile" data-test="hostile"><button type="button" data-test="popup-storm" onclick="for (var i = 0; i < 200; i++) window.open('http://' + location.host + '/news/' + (100 + i));">弹窗轰炸</button><button type="button" data-test="open-file-game" onclick="try { window.external.WD_JAPI('OpenGame', 'file:///etc/passwd|x|S1 龙焰'); } catch (e) {}">本地游戏</button><iframe data-test="ad" src="http://localhost:{{PORT}}/ad/frame" frameborder="0" scrolling="no" style="width:96px;height:24px;vertical-align:top"></iframe></div>
)HTML";

// An advertisement from another site (the portal under another host name), framed by the
// hostile launcher page: it reports what window.external it sees and tries to open a game
// window on an address of its own.
constexpr std::string_view kAdFrame = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head><meta charset="utf-8"><title>广告</title>
<style>html,body{margin:0;height:100%;overflow:hidden}body{font:12px/24px {{FONT}};color:#201008;background:#f6c66c;text-align:center}</style>
</head>
<body>限时特惠
<script>
(function () {
  var seen = typeof (window.external && window.external.WD_JAPI), opened = 'no';
  try {
    if (window.external && window.external.WD_JAPI) {
      window.external.WD_JAPI('OpenGame', 'http://' + location.host + '/game/play/?server=ad|x|广告服');
      opened = 'called';
    }
  } catch (e) { opened = 'threw'; }
  window.lumoBeacon = new Image();
  window.lumoBeacon.src = '/__beacon?ad=' + encodeURIComponent(seen) + '&open=' + opened;
})();
</script>
</body>
</html>
)HTML";

constexpr std::string_view kServerEntry =
    R"HTML(   <a class="srv" href="javascript:void(0);" data-test="server-{{ID}}" data-server="{{ID}}" data-name="{{NAME}}" onclick="lumo.openServer(this);return false;"><i class="dot {{CSS}}"></i><strong>{{NAME}}</strong><em class="tag {{CSS}}">{{STATE}}</em><small>开服时间 {{OPENED}}</small></a>
)HTML";

constexpr std::string_view kFrame = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>公告</title>
<style>
html,body{margin:0;padding:0;overflow:hidden;height:100%}
body{font:11px/16px {{FONT}};color:#d9c19c;background:linear-gradient(180deg,#2a130c,#150b0b);padding:3px 7px}
.head{color:#f6c66c;height:16px}
.head b{float:right;font-weight:normal;color:#8d7660}
.head b span{color:#f6c66c}
.roll{height:42px;overflow:hidden;position:relative}
.roll ul{margin:0;padding:0;list-style:none;position:absolute;left:0;right:0;top:0;animation:roll 12s steps(4) infinite}
.roll li{height:14px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.roll a{color:#e8c79a;text-decoration:none}
.roll a:hover{color:#ffe4a6}
@keyframes roll{from{top:0}to{top:-56px}}
</style>
</head>
<body>
<div class="head">游戏公告<b>接口 <span data-test="frame-apiver">…</span></b></div>
<div class="roll"><ul>
<li><a href="http://{{HOST}}/news/3" target="_blank" data-test="frame-news">[新服] S8 赤渊今日10:00火爆开启</a></li>
<li><a href="http://{{HOST}}/news/4" target="_blank">[活动] 屠龙节：累计登录送坐骑</a></li>
<li><a href="http://{{HOST}}/news/5" target="_blank">[维护] 每周四 6:00-8:00 例行维护</a></li>
<li><a href="http://{{HOST}}/news/6" target="_blank">[攻略] 霜翼副本通关心得</a></li>
<li><a href="http://{{HOST}}/news/3" target="_blank">[新服] S8 赤渊今日10:00火爆开启</a></li>
<li><a href="http://{{HOST}}/news/4" target="_blank">[活动] 屠龙节：累计登录送坐骑</a></li>
<li><a href="http://{{HOST}}/news/5" target="_blank">[维护] 每周四 6:00-8:00 例行维护</a></li>
</ul></div>
<script>
(function () {
  var v;
  try { v = window.external.WD_JAPI('getApiVersion'); } catch (e) { v = undefined; }
  var el = document.querySelector ? document.querySelector('[data-test="frame-apiver"]')
                                  : document.getElementsByTagName('span')[0];
  var text = (v === undefined || v === null) ? '\u2014' : String(v);
  if ('textContent' in el) el.textContent = text; else el.innerText = text;
  // The same report as the launcher page's, marked as the frame's.
  window.lumoBeacon = new Image();
  window.lumoBeacon.src = '/__beacon?api=' + encodeURIComponent(text) + '&frame=1';
})();
</script>
</body>
</html>
)HTML";

}  // namespace

namespace {
// The port of "host:port" ("80" without one).
std::string_view PortOf(std::string_view host) {
  const auto colon = host.rfind(':');
  return colon == std::string_view::npos ? std::string_view("80") : host.substr(colon + 1);
}
}  // namespace

std::string LauncherPage(std::string_view host, std::string_view uid,
                         std::string_view suid, bool hostile) {
  (void)suid;  // part of the address the client builds; not shown
  const auto& servers = GameServers();
  std::string list;
  for (const GameServerInfo& s : servers) {
    list += Fill(kServerEntry, {{"ID", s.id},
                                {"NAME", s.name},
                                {"CSS", s.css},
                                {"STATE", s.state},
                                {"OPENED", s.opened}});
  }
  const bool guest = IsGuest(uid);
  const std::string name = DisplayName(uid);
  // "Last played" is the oldest server, where a returning player would be.
  const GameServerInfo& quick = servers.back();
  return Fill(kLauncher,
              {{"FONT", std::string(kFontStack)},
               {"HOST", HtmlEscape(host)},
               {"NAME", HtmlEscape(name)},
               {"BADGE", guest ? "游客" : "VIP 3"},
               {"BADGE_CLASS", guest ? " guest" : ""},
               {"TOP_LINK",
                guest ? "<a href=\"javascript:void(0);\" data-test=\"bind-top\" "
                        "onclick=\"lumo.bindAccount();return false;\">绑定账号</a>"
                      : "<a href=\"http://" + HtmlEscape(host) +
                            "/\" target=\"_blank\" data-test=\"home-top\">个人中心</a>"},
               {"QUICK_ID", quick.id},
               {"QUICK_NAME", quick.name},
               {"SERVER_COUNT", std::to_string(servers.size())},
               {"SERVERS", list},
               {"UID_JS", JsonString(uid, true)},
               {"NAME_JS", JsonString(name, true)},
               {"GUEST_JS", guest ? "true" : "false"},
               {"IM_JS", JsonString(ServiceList(uid), true)},
               {"HOSTILE", hostile ? Fill(kHostile, {{"PORT", std::string(PortOf(host))}}) : std::string()}});
}

std::string LauncherAdFrame() { return Fill(kAdFrame, {{"FONT", std::string(kFontStack)}}); }

std::string LauncherFrame(std::string_view host) {
  return Fill(kFrame, {{"FONT", std::string(kFontStack)},
                       {"HOST", HtmlEscape(host)}});
}

}  // namespace portal
