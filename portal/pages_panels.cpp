// Pages of the client's side windows: payment (238×270) and account binding
// (479×287). The VIP customer-service chat is served by the customer-service
// server (cs_server.cpp, pages_cs.cpp).
#include <cstdint>
#include <string>

#include "html.h"
#include "pages.h"
#include "request_log.h"

namespace portal {
namespace {

constexpr std::string_view kPay = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>扫码支付</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;padding:0;width:238px;height:270px;overflow:hidden}
body{font:12px/1.5 {{FONT}};color:#eadcb8;text-align:center;-webkit-user-select:none;user-select:none;
 background:radial-gradient(ellipse 200px 120px at 120px -20px,rgba(255,130,40,.35),rgba(255,130,40,0) 70%),
  linear-gradient(180deg,#2c150e,#150b0c);border:1px solid #8a4c22}
.head{height:32px;line-height:32px;font-size:14px;font-weight:bold;letter-spacing:2px;color:#ffd27e;
 background:linear-gradient(180deg,rgba(100,42,18,.9),rgba(46,18,10,.9));border-bottom:1px solid #8a4c22}
.amount{margin:6px 0 4px;font-size:12px;color:#d9bf98}
.amount b{color:#ffcf6a;font-size:15px}
.qr{display:inline-block;padding:5px;background:#fff;border-radius:4px;box-shadow:0 0 12px rgba(255,170,80,.45)}
.qr svg{display:block}
.tip{margin-top:4px;font-size:11px;color:#b39a7c}
.ops{margin-top:6px}
.done{height:26px;padding:0 22px;font:inherit;font-size:13px;font-weight:bold;color:#2b0f03;cursor:pointer;border-radius:4px;
 border:1px solid #ffd08a;background:linear-gradient(180deg,#ffe29c,#e89a34)}
.ops a{margin-left:10px;font-size:11px;color:#e8c79a;text-decoration:none}
</style>
</head>
<body>
<div class="head">扫码支付</div>
<div class="amount">充值 <b>30</b> 元 = 300 元宝</div>
<div class="qr" data-test="qr">{{QR}}</div>
<div class="tip">请使用手机扫码，支付后点击完成</div>
<div class="ops"><button type="button" class="done" data-test="done" onclick="finish();">完成</button><a href="http://{{HOST}}/?g={{GAME_URL}}" target="_blank" data-test="other">其他支付方式</a></div>
<script>
function finish() {
  try { window.external.WD_JAPI('closedBox'); } catch (e) {}
}
</script>
</body>
</html>
)HTML";

constexpr std::string_view kAccount = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>账号绑定</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;padding:0;width:479px;height:287px;overflow:hidden}
body{position:relative;font:12px/1.5 {{FONT}};color:#eadcb8;border:1px solid #8a4c22;
 background:radial-gradient(ellipse 300px 160px at 430px -30px,rgba(255,130,40,.32),rgba(255,130,40,0) 70%),
  linear-gradient(180deg,#2a140e,#140a0c)}
.head{height:36px;line-height:36px;padding-left:14px;font-size:15px;font-weight:bold;letter-spacing:2px;color:#ffd27e;
 background:linear-gradient(180deg,rgba(100,42,18,.92),rgba(44,18,10,.92));border-bottom:1px solid #8a4c22}
.x{position:absolute;right:8px;top:7px;width:22px;height:22px;line-height:18px;padding:0;font:inherit;font-size:16px;color:#f0c890;
 cursor:pointer;border-radius:3px;border:1px solid rgba(230,160,80,.5);background:rgba(80,30,14,.7)}
.intro{position:absolute;left:14px;top:48px;width:150px;font-size:12px;line-height:20px;color:#cdb08a}
.gift{width:70px;height:56px;margin:10px auto 0;position:relative;border-radius:5px;
 background:linear-gradient(90deg,#b8281c 0,#b8281c 42%,#ffd25a 42%,#ffd25a 58%,#b8281c 58%);box-shadow:0 0 16px rgba(255,140,40,.5)}
.gift:before{content:"";position:absolute;left:-4px;right:-4px;top:-10px;height:14px;border-radius:3px;
 background:linear-gradient(90deg,#d8382a 0,#d8382a 42%,#ffe27a 42%,#ffe27a 58%,#d8382a 58%)}
form{position:absolute;left:182px;top:48px;width:282px;margin:0}
label{display:block;height:34px;line-height:28px}
label span{display:inline-block;width:48px;color:#e0c497}
input{width:220px;height:26px;padding:0 8px;font:inherit;color:#f6e6c8;border-radius:3px;border:1px solid rgba(210,140,70,.55);
 background:rgba(10,5,5,.55);outline:none}
input:focus{border-color:#ffc872}
.ops{margin-top:8px;padding-left:48px}
.ops button{height:28px;padding:0 14px;margin-right:6px;font:inherit;font-size:13px;cursor:pointer;border-radius:4px}
.bind{font-weight:bold;color:#2b0f03;border:1px solid #ffd08a;background:linear-gradient(180deg,#ffe29c,#e89a34)}
.reg,.close{color:#f6dcae;border:1px solid rgba(226,150,70,.6);background:linear-gradient(180deg,#7a3516,#4a1c0c)}
.foot{position:absolute;left:182px;bottom:12px;width:282px;padding-left:48px;font-size:11px;color:#a88c70}
.foot a{color:#e8c79a;text-decoration:none}
#status{color:#8fe0a0}
</style>
</head>
<body>
<div class="head">绑定 Lumo 账号</div>
<button type="button" class="x" title="关闭" data-test="close-x" onclick="closePage();">×</button>
<div class="intro">您正在使用游客身份游戏。绑定 Lumo 账号后可永久保存角色，并领取绑定大礼包！<div class="gift"></div></div>
<form onsubmit="bind();return false;" autocomplete="off">
 <label><span>账　号</span><input name="account" placeholder="邮箱或手机号" data-test="account"></label>
 <label><span>密　码</span><input name="password" type="password" placeholder="6-16 位字母或数字" data-test="password"></label>
 <label><span>验证码</span><input name="code" placeholder="短信验证码" data-test="code"></label>
 <div class="ops"><button type="submit" class="bind" data-test="bind">绑定</button><button type="button" class="reg" data-test="register" onclick="registerAccount();">注册</button><button type="button" class="close" data-test="close" onclick="closePage();">关闭</button></div>
</form>
<div class="foot"><span id="status" data-test="status"></span> <a href="http://{{HOST}}/kefu/" target="_blank" data-test="help">忘记密码？</a></div>
<script>
function say(text) { document.getElementById('status').innerHTML = text; }
function bind() {
  try { window.external.WD_JAPI('AccountBindSuccess', 'ok'); say('绑定成功！'); }
  catch (e) { say('请在客户端中绑定'); }
}
function registerAccount() {
  try { window.external.WD_JAPI('AccountRegisterSuccess', 'ok'); say('注册成功！'); }
  catch (e) { say('请在客户端中注册'); }
}
function closePage() {
  try { window.external.WD_JAPI('CloseBindPage', ''); } catch (e) {}
}
</script>
</body>
</html>
)HTML";

// A small deterministic generator so the same seed gives the same code.
uint32_t Fnv1a(std::string_view text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

}  // namespace

std::string QrSvg(std::string_view seed, int pixel_size) {
  constexpr int kModules = 25;
  bool dark[kModules][kModules] = {};
  uint32_t state = Fnv1a(seed) | 1u;
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  for (int y = 0; y < kModules; ++y) {
    for (int x = 0; x < kModules; ++x) dark[y][x] = (next() & 3u) < 2u;
  }
  // Finder squares in three corners with a light ring around them, and the
  // dotted timing lines between them, as on a real code.
  auto finder = [&](int ox, int oy) {
    for (int y = -1; y <= 7; ++y) {
      for (int x = -1; x <= 7; ++x) {
        const int px = ox + x, py = oy + y;
        if (px < 0 || py < 0 || px >= kModules || py >= kModules) continue;
        const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
        const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
        const bool inside = x >= 0 && y >= 0 && x <= 6 && y <= 6;
        dark[py][px] = inside && (ring || core);
      }
    }
  };
  finder(0, 0);
  finder(kModules - 7, 0);
  finder(0, kModules - 7);
  for (int i = 8; i < kModules - 8; ++i) {
    dark[6][i] = i % 2 == 0;
    dark[i][6] = i % 2 == 0;
  }
  std::string path;
  for (int y = 0; y < kModules; ++y) {
    for (int x = 0; x < kModules; ++x) {
      if (dark[y][x]) {
        path += "M" + std::to_string(x) + " " + std::to_string(y) + "h1v1h-1z";
      }
    }
  }
  const std::string px = std::to_string(pixel_size);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px +
         "\" height=\"" + px + "\" viewBox=\"0 0 25 25\" " +
         "shape-rendering=\"crispEdges\"><path fill=\"#1a0a04\" d=\"" + path +
         "\"/></svg>";
}

std::string PayPage(std::string_view host, std::string_view game,
                    std::string_view uid) {
  const std::string g = game.empty() ? "dmor" : std::string(game);
  return Fill(kPay, {{"FONT", std::string(kFontStack)},
                     {"HOST", HtmlEscape(host)},
                     {"GAME_URL", HtmlEscape(UrlEncode(g))},
                     {"QR", QrSvg(g + "|" + std::string(uid), 118)}});
}

std::string AccountPage(std::string_view host, std::string_view game) {
  (void)game;
  return Fill(kAccount, {{"FONT", std::string(kFontStack)},
                         {"HOST", HtmlEscape(host)}});
}

}  // namespace portal
