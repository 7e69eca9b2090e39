// The game page that the client's game window shows: a full-window scene
// drawn on a canvas with a game-like interface on top, and its side frame.
#include <string>

#include "html.h"
#include "pages.h"
#include "request_log.h"

namespace portal {
namespace {

constexpr std::string_view kGame = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>龙之荒原 - {{SERVER_NAME}}</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;padding:0;width:100%;height:100%;overflow:hidden;background:#08050a}
body{font:12px/1.5 {{FONT}};color:#f0e2c2;-webkit-user-select:none;user-select:none}
canvas{position:absolute;left:0;top:0;width:100%;height:100%;display:block}
a{color:#f6c66c;text-decoration:none}
.hud{position:absolute;border:1px solid rgba(220,150,80,.55);border-radius:6px;
 background:linear-gradient(180deg,rgba(58,26,16,.82),rgba(20,10,10,.82));box-shadow:0 4px 16px rgba(0,0,0,.6)}
#player{left:14px;top:12px;width:250px;height:74px;padding:8px 10px 0 72px}
#player .face{position:absolute;left:10px;top:9px;width:54px;height:54px;border-radius:50%;text-align:center;line-height:52px;
 font-size:24px;color:#ffe6b0;background:radial-gradient(circle at 35% 30%,#c0602c,#3e1206);border:2px solid #e8a85c}
#player b{font-size:14px;color:#ffe0a0}
#player .lv{float:right;color:#f6c66c}
.bar{height:9px;margin-top:5px;border-radius:5px;background:rgba(0,0,0,.55);overflow:hidden}
.bar i{display:block;height:100%}
.hp i{width:86%;background:linear-gradient(180deg,#ff7a6a,#b31c14)}
.mp i{width:64%;background:linear-gradient(180deg,#7ab8ff,#1c4fb3)}
#server{left:50%;top:12px;width:260px;margin-left:-130px;height:46px;text-align:center;padding-top:3px}
#server b{display:block;font-size:19px;letter-spacing:4px;color:#ffd27e;line-height:24px;
 background:linear-gradient(180deg,#fff3cc,#f5b54e 55%,#c0661e);-webkit-background-clip:text;background-clip:text;-webkit-text-fill-color:transparent}
#server small{color:#b99a78;font-size:11px}
#session{right:14px;top:12px;width:230px;height:108px;padding:8px 10px;font-size:11px;line-height:18px}
#session h3{margin:0 0 2px;font-size:12px;color:#f6c66c}
#session .state{display:inline-block;padding:0 6px;border-radius:3px;color:#fff}
#session .state.new{background:#a0561c}
#session .state.carried{background:#2f8a46}
#session code{color:#d8c8a8;font-family:monospace;font-size:11px}
#reloaded{display:none;margin-left:6px;padding:0 6px;border-radius:3px;background:#2f5f8a;color:#fff}
#events{right:14px;top:130px;width:230px;height:186px;padding:0;overflow:hidden}
#events iframe{display:block;width:100%;height:100%;border:0}
#tools{right:14px;top:326px;width:230px;padding:8px 10px;line-height:26px}
#tools a,#tools button{display:inline-block;height:24px;line-height:22px;padding:0 10px;margin-right:4px;font:inherit;font-size:12px;
 color:#f6dcae;border:1px solid rgba(226,150,70,.6);border-radius:4px;background:linear-gradient(180deg,#7a3516,#4a1c0c);cursor:pointer}
#chat{left:14px;bottom:14px;width:330px;height:132px;padding:8px 10px;font-size:12px;line-height:19px;overflow:hidden}
#chat p{margin:0}
#chat .sys{color:#ffcc66}
#chat .world{color:#8fd0ff}
#chat .guild{color:#9fe59f}
#skills{left:50%;bottom:14px;width:468px;margin-left:-234px;height:62px;padding:7px 8px;white-space:nowrap}
#skills span{display:inline-block;position:relative;width:46px;height:46px;margin-right:5px;border-radius:5px;border:1px solid #c4884a;
 background:radial-gradient(circle at 50% 40%,rgba(255,190,110,.55),rgba(90,30,10,.9));box-shadow:inset 0 0 8px rgba(0,0,0,.7);
 font-size:20px;line-height:44px;text-align:center;color:#fff3d0;text-shadow:0 0 6px #ff8a2a}
#skills span:last-child{margin-right:0}
#skills span i{position:absolute;right:3px;bottom:0;font-size:10px;line-height:14px;font-style:normal;color:#f6dcae;text-shadow:none}
</style>
</head>
<body>
<canvas id="scene"></canvas>
<div id="player" class="hud"><div class="face">龙</div><b data-test="player">{{PLAYER}}</b><span class="lv">Lv.58</span>
 <div class="bar hp"><i></i></div><div class="bar mp"><i></i></div></div>
<div id="server" class="hud"><b data-test="server-name">{{SERVER_NAME}}</b><small>龙之荒原 · 第 {{SERVER_NO}} 区</small></div>
<div id="session" class="hud" data-test="session">
 <h3>会话</h3>
 Cookie：<span class="state {{COOKIE_STATE}}" data-test="cookie-state" data-state="{{COOKIE_STATE}}">{{COOKIE_TEXT}}</span><span id="reloaded" data-test="reloaded" style="{{RELOADED_STYLE}}">已重新载入</span><br>
 编号：<code data-test="session-id">{{SESSION}}</code><br>
 <span data-test="clock">在线 00:00</span>
</div>
<div id="events" class="hud"><iframe src="/game/play/frame?server={{SERVER_URL}}" scrolling="no" data-test="events-frame"></iframe></div>
<div id="tools" class="hud">
 <a href="client://loadgame?url=http://{{HOST}}/game/play/?server={{SERVER_URL}}&amp;reloaded=1" data-test="loadgame">重新载入</a><button type="button" data-test="popup" onclick="window.open('http://{{HOST}}/news/7');">活动详情</button>
</div>
<div id="chat" class="hud" data-test="chat">
 <p class="sys">[系统] 欢迎来到 {{SERVER_NAME}}，祝您游戏愉快！</p>
 <p class="world">[世界] 霜之哀伤：组队刷赤焰龙巢，来个奶妈</p>
 <p class="guild">[公会] 会长：今晚20:00 公会战，全员上线</p>
 <p class="world">[世界] 小红帽：收购龙鳞 x99，价格好商量</p>
 <p class="sys">[系统] 世界首领「熔岩巨龙」将在 5 分钟后降临</p>
 <p class="world">[世界] 月下独酌：新人求带，刚到 30 级</p>
</div>
{{MUSIC}}{{HOSTILE}}<div id="skills" class="hud"><span>斩<i>1</i></span><span>焰<i>2</i></span><span>盾<i>3</i></span><span>冲<i>4</i></span><span>雷<i>5</i></span><span>疗<i>6</i></span><span>龙<i>7</i></span><span>遁<i>8</i></span></div>
<script>
(function () {
  var canvas = document.getElementById('scene');
  if (!canvas.getContext) return;
  var ctx = canvas.getContext('2d');
  var w = 0, h = 0, t0 = Date.now(), embers = [];
  function resize() {
    w = canvas.width = window.innerWidth || document.documentElement.clientWidth;
    h = canvas.height = window.innerHeight || document.documentElement.clientHeight;
  }
  window.onresize = resize;
  resize();
  for (var i = 0; i < 90; i++) {
    embers.push({x: Math.random(), y: Math.random(), s: 0.4 + Math.random() * 1.6, v: 0.02 + Math.random() * 0.05, p: Math.random() * 6.28});
  }
  function ridge(y0, amp, seed, speed, t) {
    ctx.beginPath();
    ctx.moveTo(0, h);
    for (var x = 0; x <= w + 20; x += 20) {
      var u = x / w * 6 + seed + t * speed;
      var y = y0 - amp * (0.55 * Math.sin(u) + 0.3 * Math.sin(u * 2.3 + seed) + 0.15 * Math.sin(u * 5.1 + 1.7 * seed));
      ctx.lineTo(x, y);
    }
    ctx.lineTo(w, h);
    ctx.closePath();
  }
  function dragon(x, y, scale, flap) {
    ctx.save();
    ctx.translate(x, y);
    ctx.scale(scale, scale);
    ctx.fillStyle = 'rgba(18,6,10,0.92)';
    ctx.beginPath();
    ctx.moveTo(-60, 6); ctx.quadraticCurveTo(-20, -6, 20, 0); ctx.quadraticCurveTo(40, -6, 52, -14);
    ctx.lineTo(58, -10); ctx.quadraticCurveTo(44, 4, 22, 8); ctx.quadraticCurveTo(-20, 14, -60, 6); ctx.fill();
    var lift = Math.sin(flap) * 34;
    ctx.beginPath();
    ctx.moveTo(-8, 0); ctx.quadraticCurveTo(-30, -30 - lift, -64, -52 - lift); ctx.lineTo(-40, -24 - lift * 0.5);
    ctx.lineTo(-30, -30 - lift * 0.6); ctx.lineTo(-20, -14 - lift * 0.3); ctx.lineTo(8, 2); ctx.fill();
    ctx.beginPath();
    ctx.moveTo(0, 2); ctx.quadraticCurveTo(14, -26 - lift, 2, -56 - lift); ctx.lineTo(12, -30 - lift * 0.5); ctx.lineTo(18, 2); ctx.fill();
    ctx.restore();
  }
  function frame() {
    var t = (Date.now() - t0) / 1000;
    var sky = ctx.createLinearGradient(0, 0, 0, h);
    sky.addColorStop(0, '#0d0618'); sky.addColorStop(0.45, '#3a1226'); sky.addColorStop(0.72, '#a8401c'); sky.addColorStop(1, '#f09a3a');
    ctx.fillStyle = sky; ctx.fillRect(0, 0, w, h);
    var mx = w * 0.72, my = h * 0.22;
    var glow = ctx.createRadialGradient(mx, my, 10, mx, my, 160);
    glow.addColorStop(0, 'rgba(255,236,200,0.9)'); glow.addColorStop(0.25, 'rgba(255,190,120,0.35)'); glow.addColorStop(1, 'rgba(255,160,80,0)');
    ctx.fillStyle = glow; ctx.fillRect(mx - 160, my - 160, 320, 320);
    ctx.fillStyle = '#ffe9c8'; ctx.beginPath(); ctx.arc(mx, my, 34, 0, 6.283); ctx.fill();
    dragon(((t * 60 + w * 0.35) % (w + 400)) - 200, h * 0.3 + Math.sin(t * 0.7) * 30, 1.1, t * 5);
    ctx.fillStyle = '#4a1a26'; ridge(h * 0.62, h * 0.10, 1.3, 0.010, t); ctx.fill();
    ctx.fillStyle = '#2a0e18'; ridge(h * 0.74, h * 0.09, 4.1, 0.025, t); ctx.fill();
    ctx.fillStyle = '#140610'; ridge(h * 0.88, h * 0.07, 7.7, 0.05, t); ctx.fill();
    for (var i = 0; i < embers.length; i++) {
      var e = embers[i];
      e.y -= e.v / 60; if (e.y < -0.02) { e.y = 1.02; e.x = Math.random(); }
      var a = 0.45 + 0.45 * Math.sin(t * 3 + e.p);
      ctx.fillStyle = 'rgba(255,' + (140 + Math.round(80 * a)) + ',60,' + a.toFixed(2) + ')';
      ctx.fillRect(e.x * w + Math.sin(t + e.p) * 12, e.y * h, e.s * 2, e.s * 2);
    }
    var s = Math.floor(t), clock = document.querySelector('[data-test="clock"]');
    if (clock) clock.textContent = '在线 ' + ('0' + Math.floor(s / 60)).slice(-2) + ':' + ('0' + s % 60).slice(-2);
    (window.requestAnimationFrame || function (f) { setTimeout(f, 33); })(frame);
  }
  frame();
})();
</script>
</body>
</html>
)HTML";

constexpr std::string_view kGameFrame = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>活动</title>
<style>
html,body{margin:0;padding:0;height:100%;overflow:hidden}
body{font:12px/20px {{FONT}};color:#e8d6b4;background:linear-gradient(180deg,rgba(60,26,14,.9),rgba(22,10,10,.9));padding:8px 10px}
h3{margin:0 0 4px;font-size:13px;color:#f6c66c}
ul{margin:0;padding:0;list-style:none}
li{border-bottom:1px dashed rgba(220,150,80,.25)}
li b{float:right;font-weight:normal;color:#ff9a5a;font-family:monospace}
.gift{margin-top:8px;height:30px;line-height:28px;text-align:center;border-radius:4px;color:#3a1a00;font-weight:bold;
 background:linear-gradient(180deg,#ffe29c,#e89a34);border:1px solid #ffd08a}
</style>
</head>
<body>
<h3>限时活动 · {{SERVER}}</h3>
<ul>
<li>世界首领：熔岩巨龙<b data-test="countdown">05:00</b></li>
<li>公会战：龙脊要塞<b>20:00</b></li>
<li>双倍经验：全天开放<b>进行中</b></li>
<li>屠龙节：累计登录<b>3/7</b></li>
</ul>
<div class="gift">领取每日礼包</div>
<script>
(function () {
  var left = 300, el = document.querySelector('[data-test="countdown"]');
  setInterval(function () {
    left = left > 0 ? left - 1 : 300;
    el.textContent = ('0' + Math.floor(left / 60)).slice(-2) + ':' + ('0' + left % 60).slice(-2);
  }, 1000);
})();
</script>
</body>
</html>
)HTML";

std::string ServerName(std::string_view id) {
  for (const GameServerInfo& s : GameServers()) {
    if (id == s.id) return s.name;
  }
  if (id == "S9") return "S9 幽冥";
  return std::string(id);
}

}  // namespace

// What a hostile game or news page does: one key press (a user's gesture) asks for 200 windows.
constexpr std::string_view kHostileGame = R"HTML(<script>
document.addEventListener('keydown', function (e) {
  if (e.key !== 'p') return;
  for (var i = 0; i < 200; i++) window.open('http://' + location.host + '/news/' + (300 + i));
});
</script>
)HTML";

std::string_view HostileStormScript() { return kHostileGame; }

std::string GamePage(const GamePageInput& in) {
  const std::string id = in.server.empty() ? "S1" : in.server;
  // The zone number shown under the name: the digits of the id ("S12" → 12).
  const size_t digits = id.find_first_of("0123456789");
  const std::string number =
      digits == std::string::npos ? std::string("1") : id.substr(digits);
  return Fill(kGame,
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
               {"MUSIC", in.music ? "<audio src=\"/game/play/music.wav\" autoplay loop data-test=\"music\"></audio>\n"
                                  : ""},
               {"HOSTILE", in.hostile ? std::string(kHostileGame) : std::string()}});
}

std::string GameFrame(std::string_view server) {
  const std::string id = server.empty() ? "S1" : std::string(server);
  return Fill(kGameFrame, {{"FONT", std::string(kFontStack)},
                           {"SERVER", HtmlEscape(ServerName(id))}});
}

}  // namespace portal
