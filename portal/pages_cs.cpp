// Pages of the customer-service server: the chat page the player sees in the client's VIP
// window (831×643 below the window's title bar) and the agent console, a full-size page for a
// person at a browser. Both talk to the server with long polls (cs_server.h).
#include <string>

#include "html.h"
#include "pages.h"
#include "request_log.h"

namespace portal {
namespace {

constexpr std::string_view kChat = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>VIP专属客服</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;padding:0;width:100%;height:100%;overflow:hidden}
body{position:relative;font:13px/1.6 {{FONT}};color:#eadcb8;background:#160d0b;
 background:radial-gradient(ellipse 520px 220px at 720px -60px,rgba(255,118,36,.30),rgba(255,118,36,0) 70%),
  radial-gradient(ellipse 460px 240px at -80px 700px,rgba(126,38,168,.26),rgba(126,38,168,0) 70%),
  linear-gradient(180deg,#26140e 0%,#1b0f0c 55%,#120a0e 100%)}
#head{position:absolute;left:0;right:0;top:0;height:62px;padding:9px 16px 0 76px;
 background:linear-gradient(180deg,rgba(96,40,18,.97),rgba(40,16,10,.96));border-bottom:1px solid #8a4c22;box-shadow:0 2px 12px rgba(0,0,0,.55)}
#head:after{content:"";position:absolute;left:0;right:0;bottom:-1px;height:1px;
 background:linear-gradient(90deg,rgba(255,200,110,0),rgba(255,200,110,.8),rgba(255,200,110,0))}
.face{position:absolute;left:16px;top:8px;width:46px;height:46px;border-radius:50%;text-align:center;line-height:42px;
 font-size:20px;font-weight:bold;color:#5a1e08;background:radial-gradient(circle at 35% 30%,#fff3d0,#f0a850 70%,#b85a1c);
 border:2px solid #ffd48a;box-shadow:0 0 12px rgba(255,150,60,.5)}
#agentName{font-size:16px;font-weight:bold;color:#ffd27e;letter-spacing:1px}
.dot{display:inline-block;width:8px;height:8px;margin:0 5px 0 10px;border-radius:50%;background:#56d36e;
 box-shadow:0 0 6px rgba(86,211,110,.8);vertical-align:1px}
.dot.off{background:#8a7a6a;box-shadow:none}
#agentStatus{font-size:12px;color:#e6c49a}
.sub{display:block;font-size:11px;color:#a98b6b;letter-spacing:1px}
#phase{margin-left:8px;padding:0 6px;border-radius:8px;font-size:11px;color:#2b0f03;background:#f3c46a}
#phase:empty{display:none}
.ops{position:absolute;right:16px;top:18px}
.ops a{display:inline-block;height:26px;line-height:24px;padding:0 14px;margin-left:6px;font-size:12px;color:#f6dcae;
 text-decoration:none;border-radius:4px;border:1px solid rgba(226,150,70,.6);background:linear-gradient(180deg,#7a3516,#4a1c0c)}
.ops a:hover{color:#fff2d2;border-color:#ffc872}
#notice{position:absolute;left:0;right:0;top:63px;height:26px;line-height:26px;text-align:center;font-size:12px;color:#2b0f03;
 background:linear-gradient(180deg,#ffe29c,#e8a446);display:none}
#log{position:absolute;left:0;right:0;top:63px;bottom:118px;overflow-y:auto;padding:16px 20px 8px}
#log.noted{top:89px}
.msg{margin:0 0 14px;clear:both;overflow:hidden}
.msg .meta{font-size:11px;color:#a98b6b;margin-bottom:2px}
.msg .bubble{display:inline-block;max-width:72%;padding:8px 12px;border-radius:8px;white-space:pre-wrap;word-wrap:break-word;text-align:left;
 color:#f6e6c8;background:rgba(70,34,20,.92);border:1px solid rgba(210,140,70,.45);box-shadow:0 1px 4px rgba(0,0,0,.35)}
.msg.me{text-align:right}
.msg.me .bubble{color:#2b0f03;background:linear-gradient(180deg,#ffe2a0,#f0b050);border-color:#ffd08a}
.msg.flash .bubble{box-shadow:0 0 0 2px #ffcf6a,0 0 14px rgba(255,190,90,.8)}
.sys{clear:both;margin:4px auto 14px;text-align:center}
.sys span{display:inline-block;padding:2px 12px;border-radius:10px;font-size:11px;color:#d9bf98;background:rgba(255,255,255,.06)}
.sys.end span{color:#ffcf6a;background:rgba(255,170,60,.12)}
.quick{position:absolute;left:0;right:0;bottom:78px;height:40px;padding:8px 20px 0;white-space:nowrap;overflow:hidden;
 border-top:1px solid rgba(138,76,34,.7)}
.quick span{display:inline-block;height:22px;line-height:20px;padding:0 11px;margin-right:6px;font-size:12px;color:#f0c890;cursor:pointer;
 border:1px solid rgba(226,150,70,.55);border-radius:11px;background:rgba(80,30,14,.6)}
.quick span:hover{color:#ffe4a6;border-color:#ffc872}
.input{position:absolute;left:0;right:0;bottom:0;height:78px;padding:14px 20px;background:rgba(20,10,8,.85);border-top:1px solid #5a3018}
#text{width:100%;height:34px;padding:0 98px 0 12px;font:inherit;font-size:14px;color:#f6e6c8;border-radius:4px;outline:none;
 border:1px solid rgba(210,140,70,.55);background:rgba(10,5,5,.6)}
#text:focus{border-color:#ffc872}
#send,#reask{position:absolute;right:24px;top:18px;height:26px;padding:0 20px;font:inherit;font-size:13px;font-weight:bold;cursor:pointer;
 color:#2b0f03;border-radius:4px;border:1px solid #ffd08a;background:linear-gradient(180deg,#ffe29c,#e89a34)}
#reask{display:none}
.hint{position:absolute;left:22px;bottom:6px;font-size:11px;color:#8c7258}
</style>
</head>
<body>
<div id="head">
 <div class="face" id="face">客</div>
 <span id="agentName" data-test="agent-name"></span><span class="dot" id="dot"></span><span id="agentStatus" data-test="agent-status"></span><span id="phase" data-test="phase"></span>
 <span class="sub">Lumo VIP专属客服 · 7×24 小时为您服务</span>
 <div class="ops"><a href="javascript:;" data-test="close" onclick="closeWindow();return false;">关闭</a></div>
</div>
<div id="notice" data-test="notice"></div>
<div id="log" data-test="log"></div>
<div class="quick"><span>充值未到账</span><span>账号安全</span><span>找回角色</span><span>活动奖励</span><span>VIP 特权</span><span>游戏卡顿</span></div>
<div class="input">
 <input id="text" type="text" maxlength="500" autocomplete="off" placeholder="请输入您要咨询的问题，按 Enter 发送" data-test="text">
 <button type="button" id="send" data-test="send">发送</button><button type="button" id="reask" data-test="reask">重新咨询</button>
 <span class="hint">请勿向任何人透露您的密码与验证码</span>
</div>
<script>
var chat = (function () {
  var sid = {{SID}};
  var initial = JSON.parse({{INITIAL}});
  var v = 0, after = 0, instance = '', agentKey = '', known = false, ended = false, closing = false;
  // The player's lines wait in the outbox until the server took them, each with an id of
  // this page's own, so that a line sent again after a lost answer is recorded once. The
  // receipts of the agent messages shown (ordinal:seq, the ordinal counting them in the
  // order shown) wait likewise, in order. One request of each kind is out at a time.
  var page = Math.random().toString(36).substring(2, 10) + new Date().getTime().toString(36);
  var outbox = [], lines = 0, sending = false;
  var receipts = [], shown = 0, reading = false;
  var box = document.getElementById('text');
  function byId(id) { return document.getElementById(id); }
  function setText(el, s) {
    while (el.firstChild) el.removeChild(el.firstChild);
    el.appendChild(document.createTextNode(s));
  }
  // done(status, text); a request without an answer after timeoutMs (10 s unless given)
  // ends with status 0.
  function request(method, url, body, done, timeoutMs) {
    var x = new XMLHttpRequest();
    x.open(method, url, true);
    x.timeout = timeoutMs || 10000;
    if (body !== null) x.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded; charset=UTF-8');
    x.onreadystatechange = function () { if (x.readyState === 4) done(x.status, x.responseText); };
    x.send(body);
  }
  function notice(s) {
    setText(byId('notice'), s || '');
    byId('notice').style.display = s ? 'block' : 'none';
    byId('log').className = s ? 'noted' : '';
  }
  function showAgent(agent) {
    var key = agent.name + '|' + agent.status + '|';
    if (key === agentKey) return;
    agentKey = key;
    setText(byId('agentName'), agent.name);
    setText(byId('agentStatus'), agent.status);
    setText(byId('face'), agent.name.charAt(0) || '客');
    byId('dot').className = agent.status === '在线' ? 'dot' : 'dot off';
    try { window.external.WD_JAPI('DialogBoxTopInfo', key); } catch (e) {}
  }
  function add(m) {
    var row = document.createElement('div');
    row.id = 'msg-' + m.seq;
    if (m.from === 'system') {
      row.className = m.kind === 'end' ? 'sys end' : 'sys';
      var pill = document.createElement('span');
      setText(pill, m.text + ' ' + m.time);
      row.appendChild(pill);
    } else {
      row.className = m.from === 'player' ? 'msg me' : 'msg';
      var meta = document.createElement('div'), bubble = document.createElement('div');
      meta.className = 'meta';
      bubble.className = 'bubble';
      setText(meta, (m.from === 'player' ? '我' : m.name) + ' · ' + m.time);
      setText(bubble, m.text);
      row.appendChild(meta);
      row.appendChild(bubble);
    }
    byId('log').appendChild(row);
    if (m.from === 'agent') {
      receipts.push(++shown + ':' + m.seq);
      sendReceipts();
    }
  }
  function sendReceipts() {
    if (reading || !receipts.length) return;
    reading = true;
    var batch = receipts.slice(0, 100);
    request('POST', '/cs/page/read', 'sid=' + encodeURIComponent(sid) + '&read=' + batch.join(','),
      function (status) {
        reading = false;
        if (status === 200) {
          receipts.splice(0, batch.length);
          sendReceipts();
        } else {
          setTimeout(sendReceipts, 1000);
        }
      });
  }
  function setPhase(state) {
    var names = {waiting: '排队中', chatting: '对话中', ended: '已结束'};
    setText(byId('phase'), names[state] || '');
    ended = state === 'ended';
    byId('send').style.display = ended ? 'none' : '';
    byId('reask').style.display = ended ? 'inline-block' : 'none';
  }
  // False when the answer came from a session made again (the server restarted): its
  // numbering began again, so the page asks for the session's messages from the first.
  function apply(d, live) {
    if (d.instance && d.instance !== instance) {
      var restarted = instance !== '';
      instance = d.instance;
      if (restarted) {
        after = 0;
        v = 0;
        return false;
      }
    }
    v = d.v;
    known = d.known;
    showAgent(d.agent);
    var endedNow = false;
    for (var i = 0; i < d.messages.length; i++) {
      var m = d.messages[i];
      if (m.seq <= after) continue;
      add(m);
      after = m.seq;
      if (live && m.kind === 'end') endedNow = true;
    }
    if (d.messages.length) byId('log').scrollTop = byId('log').scrollHeight;
    setPhase(d.state);
    if (closing) return;
    if (endedNow) {
      closing = true;
      notice('本次会话已结束，窗口将在 2 秒后关闭');
      setTimeout(function () { try { window.external.API_close(); } catch (e) {} }, 2000);
    } else {
      notice(d.known ? '' : '正在连接客服，请稍候…');
    }
  }
  // The server holds a poll until something changes; for a session it does not know (yet)
  // the page asks again every 2 s instead.
  function poll() {
    var wait = known ? 15000 : 0;
    request('GET', '/cs/page/poll?sid=' + encodeURIComponent(sid) + '&after=' + after + '&v=' + v +
      '&wait=' + wait, null,
      function (status, body) {
        var d = null;
        if (status === 200) { try { d = JSON.parse(body); } catch (e) {} }
        if (d) {
          var again = apply(d, true) === false;
          if (!closing) setTimeout(poll, known || again ? 0 : 2000);  // an ended chat closes its window
          return;
        }
        if (closing) return;
        notice(status === 503 ? '客服系统繁忙，正在重新连接…' : '网络连接中断，正在重新连接…');
        setTimeout(poll, 2000);
      }, wait + 10000);
  }
  function send(text) {
    var typed = text === undefined;
    text = (typed ? box.value : text).replace(/^\s+|\s+$/g, '');
    if (!text || ended) return;
    outbox.push({id: page + '-' + (++lines), text: text});
    if (typed) box.value = '';
    sendOutbox();
  }
  function sendOutbox() {
    if (sending || !outbox.length) return;
    sending = true;
    var line = outbox[0];
    request('POST', '/cs/page/send', 'sid=' + encodeURIComponent(sid) + '&id=' + encodeURIComponent(line.id) +
      '&text=' + encodeURIComponent(line.text),
      function (status) {
        sending = false;
        if (status === 200 || status === 400) {  // taken, or a text the server never takes
          outbox.shift();
          if (status === 400) notice('消息为空或过长，未能发送');
          sendOutbox();
        } else {
          notice('消息发送失败，正在重试…');
          setTimeout(sendOutbox, 2000);
        }
      });
  }
  function reask() {
    request('POST', '/cs/page/ask', 'sid=' + encodeURIComponent(sid), function () {});
  }
  box.onkeydown = function (e) {
    e = e || window.event;
    if (e.keyCode === 13) { send(); return false; }
  };
  byId('send').onclick = function () { send(); };
  byId('reask').onclick = reask;
  var chips = document.querySelectorAll('.quick span');
  for (var i = 0; i < chips.length; i++) {
    chips[i].onclick = function () { send(this.innerHTML); };
  }
  apply(initial, false);
  // An address with #msg-N comes from a message that just arrived: show that one.
  var target = location.hash && byId(location.hash.substring(1));
  if (target) {
    target.className += ' flash';
    byId('log').scrollTop = Math.max(0, target.offsetTop - 40);
  }
  setTimeout(poll, known ? 0 : 2000);
  return {send: send};
})();
function closeWindow() { window.close(); }
</script>
</body>
</html>
)HTML";

constexpr std::string_view kAgent = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>客服工作台 - Lumo游戏平台</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;padding:0;height:100%}
body{font:13px/1.6 {{FONT}};color:#eadcb8;background:#120a0b;overflow:hidden;
 background:radial-gradient(ellipse 900px 380px at 80% -140px,rgba(255,118,36,.30),rgba(255,118,36,0) 70%),
  radial-gradient(ellipse 700px 360px at -120px 110%,rgba(126,38,168,.26),rgba(126,38,168,0) 70%),
  linear-gradient(180deg,#23130e,#120a0b 60%)}
button,input,select{font:inherit}
#top{position:absolute;left:0;right:0;top:0;height:56px;padding:0 20px;line-height:56px;white-space:nowrap;
 background:linear-gradient(180deg,rgba(84,34,16,.96),rgba(36,15,10,.94));border-bottom:1px solid #7a4420;box-shadow:0 2px 14px rgba(0,0,0,.6)}
#top .logo{font-size:20px;font-weight:bold;letter-spacing:3px;color:#ffd27e}
#top .logo small{margin-left:8px;font-size:11px;letter-spacing:2px;color:#a98b6b;font-weight:normal}
#top .me{position:absolute;right:20px;top:0}
#top label{margin-left:14px;color:#d9bf98}
#agentName{width:110px;height:28px;padding:0 8px;color:#f6e6c8;border-radius:4px;border:1px solid rgba(210,140,70,.55);background:rgba(10,5,5,.55);outline:none}
.seg{display:inline-block;margin-left:6px;vertical-align:middle;line-height:normal}
.seg button{height:28px;padding:0 14px;cursor:pointer;color:#f6dcae;border:1px solid rgba(226,150,70,.6);background:linear-gradient(180deg,#5a2812,#351509)}
.seg button:first-child{border-radius:4px 0 0 4px}
.seg button:last-child{border-radius:0 4px 4px 0;border-left:0}
.seg button.on{font-weight:bold;color:#2b0f03;border-color:#ffd08a;background:linear-gradient(180deg,#ffe29c,#e89a34)}
#side{position:absolute;left:0;top:57px;bottom:44px;width:300px;overflow-y:auto;background:rgba(16,8,8,.72);border-right:1px solid #5a3018}
#side h2{margin:0;padding:12px 16px 8px;font-size:13px;color:#ffcf6a;letter-spacing:2px}
#side h2 span{color:#a98b6b;font-weight:normal;letter-spacing:0}
.item{position:relative;padding:10px 16px 10px 58px;cursor:pointer;border-bottom:1px solid rgba(138,76,34,.35)}
.item:hover{background:rgba(255,170,80,.07)}
.item.sel{background:linear-gradient(90deg,rgba(255,160,60,.22),rgba(255,160,60,.04));box-shadow:inset 3px 0 0 #f19a38}
.item .av{position:absolute;left:14px;top:12px;width:34px;height:34px;border-radius:50%;text-align:center;line-height:34px;font-weight:bold;
 color:#5a1e08;background:radial-gradient(circle at 35% 30%,#fff3d0,#e8a050 75%)}
.item .av i{position:absolute;right:-1px;bottom:0;width:10px;height:10px;border-radius:50%;border:2px solid #1c0e0b;background:#7a6a5a}
.item .av i.on{background:#56d36e}
.item b{color:#f6e6c8}
.item .tag{float:right;padding:0 7px;border-radius:8px;font-size:11px;line-height:18px}
.tag.waiting{color:#2b0f03;background:#ff9a4a;animation:pulse 1.2s infinite}
.tag.chatting{color:#0e2b12;background:#7fdc8e}
.tag.ended{color:#d9bf98;background:rgba(255,255,255,.12)}
.tag.idle{color:#a98b6b;background:rgba(255,255,255,.06)}
@keyframes pulse{50%{opacity:.55}}
.item small{display:block;color:#a98b6b;font-size:11px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.item .unread{position:absolute;left:42px;top:6px;min-width:18px;height:18px;padding:0 5px;border-radius:9px;text-align:center;
 font-size:11px;line-height:18px;font-weight:bold;color:#fff;background:#d8382a}
.empty{padding:40px 20px;text-align:center;color:#8c7258}
#main{position:absolute;left:301px;right:0;top:57px;bottom:44px}
#info{height:58px;padding:8px 20px;border-bottom:1px solid #5a3018;background:rgba(30,14,10,.7)}
#info b{font-size:15px;color:#ffd27e}
#info small{display:block;color:#a98b6b;font-size:12px}
#log{position:absolute;left:0;right:0;top:58px;bottom:126px;overflow-y:auto;padding:16px 22px}
.msg{margin:0 0 14px;overflow:hidden}
.msg .meta{font-size:11px;color:#a98b6b}
.msg .bubble{display:inline-block;max-width:70%;padding:8px 12px;border-radius:8px;white-space:pre-wrap;word-wrap:break-word;text-align:left;
 color:#f6e6c8;background:rgba(70,34,20,.92);border:1px solid rgba(210,140,70,.45)}
.msg.agent{text-align:right}
.msg.agent .bubble{color:#2b0f03;background:linear-gradient(180deg,#ffe2a0,#f0b050);border-color:#ffd08a}
.sys{margin:4px 0 14px;text-align:center}
.sys span{display:inline-block;padding:2px 12px;border-radius:10px;font-size:11px;color:#d9bf98;background:rgba(255,255,255,.06)}
#quick{position:absolute;left:0;right:0;bottom:86px;height:40px;padding:8px 22px 0;white-space:nowrap;overflow:hidden;border-top:1px solid rgba(138,76,34,.6)}
#quick span{display:inline-block;height:22px;line-height:20px;padding:0 11px;margin-right:6px;font-size:12px;color:#f0c890;cursor:pointer;
 border:1px solid rgba(226,150,70,.55);border-radius:11px;background:rgba(80,30,14,.6)}
#compose{position:absolute;left:0;right:0;bottom:0;height:86px;padding:16px 22px;background:rgba(20,10,8,.85);border-top:1px solid #5a3018}
#reply{width:100%;height:36px;padding:0 200px 0 12px;font-size:14px;color:#f6e6c8;border-radius:4px;outline:none;border:1px solid rgba(210,140,70,.55);background:rgba(10,5,5,.6)}
#reply:focus{border-color:#ffc872}
#compose button{position:absolute;top:20px;height:28px;padding:0 18px;cursor:pointer;font-weight:bold;border-radius:4px}
#sendBtn{right:112px;color:#2b0f03;border:1px solid #ffd08a;background:linear-gradient(180deg,#ffe29c,#e89a34)}
#endBtn{right:26px;color:#f6dcae;border:1px solid rgba(226,150,70,.6);background:linear-gradient(180deg,#7a3516,#4a1c0c)}
#compose button[disabled]{opacity:.45;cursor:default}
#compose small{position:absolute;left:24px;bottom:6px;font-size:11px;color:#8c7258}
#foot{position:absolute;left:0;right:0;bottom:0;height:44px;line-height:43px;padding:0 20px;font-size:12px;color:#a98b6b;white-space:nowrap;
 border-top:1px solid #5a3018;background:rgba(16,8,8,.9)}
#foot .seg button{height:24px;padding:0 10px;font-size:12px}
#foot b{color:#f0c890;font-weight:normal;margin-left:18px}
#link{margin-left:18px;color:#8fe0a0}
#link.down{color:#ff8a6a}
</style>
</head>
<body>
<div id="top"><span class="logo">Lumo 客服工作台<small>VIP专属客服 · 工号 80008000</small></span>
 <span class="me"><label>客服昵称 <input id="agentName" maxlength="20" data-test="agent-name"></label>
  <label>状态</label><span class="seg"><button type="button" id="on" data-test="online">在线</button><button type="button" id="off" data-test="offline">离线</button></span></span>
</div>
<div id="side"><h2>咨询玩家 <span id="count"></span></h2><div id="list" data-test="sessions"></div></div>
<div id="main">
 <div id="info" data-test="info"><b>请选择左侧的玩家</b><small>玩家发起咨询或发来消息时，会出现在左侧列表中</small></div>
 <div id="log" data-test="log"></div>
 <div id="quick"><span>您好，请问有什么可以帮您？</span><span>正在为您查询，请稍候。</span><span>充值一般 5 分钟内到账，请重新登录查看。</span><span>请提供角色名和区服。</span><span>问题已提交技术部门处理。</span></div>
 <div id="compose"><input id="reply" maxlength="500" autocomplete="off" placeholder="输入回复，按 Enter 发送" data-test="reply" disabled>
  <button type="button" id="sendBtn" data-test="send" disabled>发送</button><button type="button" id="endBtn" data-test="end" disabled>结束会话</button>
  <small>结束会话后，玩家的客服窗口会自动关闭</small></div>
</div>
<div id="foot">平台模拟：客服服务 <span class="seg" id="modes"><button type="button" data-mode="up">正常</button><button type="button" data-mode="down">停止</button><button type="button" data-mode="stall">无响应</button><button type="button" data-mode="reset">重启</button></span>
 <b>心跳应答</b> <span class="seg" id="beat"><button type="button" data-answer="1">1 继续</button><button type="button" data-answer="0">0 停止</button></span>
 <b id="beats"></b><span id="link">● 已连接</span></div>
<script>
(function () {
  var v = 0, data = null, current = '', seen = {}, shown = {sid: '', seq: 0, unread: {}};
  function byId(id) { return document.getElementById(id); }
  function setText(el, s) {
    while (el.firstChild) el.removeChild(el.firstChild);
    el.appendChild(document.createTextNode(s));
  }
  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) setText(e, text);
    return e;
  }
  function request(method, url, body, done) {
    var x = new XMLHttpRequest();
    x.open(method, url, true);
    if (body !== null) x.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded; charset=UTF-8');
    x.onreadystatechange = function () { if (x.readyState === 4 && done) done(x.status, x.responseText); };
    x.send(body);
  }
  function post(url, fields) {
    var parts = [];
    for (var k in fields) parts.push(k + '=' + encodeURIComponent(fields[k]));
    request('POST', url, parts.join('&'));
  }
  var order = {waiting: 0, chatting: 1, idle: 2, ended: 3};
  var names = {waiting: '等待中', chatting: '对话中', idle: '未咨询', ended: '已结束'};
  function find(sid) {
    for (var i = 0; data && i < data.sessions.length; i++) if (data.sessions[i].sid === sid) return data.sessions[i];
    return null;
  }
  function lastSeq(s) { return s.messages.length ? s.messages[s.messages.length - 1].seq : 0; }
  function unread(s) {
    var n = 0;
    for (var i = 0; i < s.messages.length; i++) if (s.messages[i].from === 'player' && s.messages[i].seq > (seen[s.sid] || 0)) n++;
    return n;
  }
  function who(s) { return s.user ? '玩家 ' + s.user : '游客'; }
  function beatText(s) {
    if (s.heartbeat_age < 0) return '暂无心跳';
    return '心跳 ' + s.heartbeats + ' 次 · ' + (s.heartbeat_age < 60 ? s.heartbeat_age + ' 秒前' : Math.floor(s.heartbeat_age / 60) + ' 分钟前');
  }
  function renderList() {
    var list = byId('list');
    while (list.firstChild) list.removeChild(list.firstChild);
    var sessions = data.sessions.slice(0);
    sessions.sort(function (a, b) { return (order[a.state] - order[b.state]) || (a.idle - b.idle); });
    setText(byId('count'), '（' + sessions.length + '）');
    if (!sessions.length) list.appendChild(el('div', 'empty', '暂无玩家连接客服'));
    for (var i = 0; i < sessions.length; i++) {
      var s = sessions[i], item = el('div', 'item' + (s.sid === current ? ' sel' : ''));
      item.setAttribute('data-sid', s.sid);
      item.setAttribute('data-test', 'session');
      var av = el('div', 'av', (s.user || '客').charAt(0).toUpperCase());
      av.appendChild(el('i', s.client ? 'on' : ''));
      item.appendChild(av);
      var n = s.sid === current ? 0 : unread(s);
      if (n) item.appendChild(el('span', 'unread', String(n)));
      item.appendChild(el('span', 'tag ' + s.state, names[s.state]));
      item.appendChild(el('b', '', who(s)));
      item.appendChild(el('small', '', s.topic || '尚未发起咨询'));
      item.appendChild(el('small', '', [s.game, s.f6, s.f5].join(' · ') + ' · ' + beatText(s)));
      item.onclick = (function (sid) { return function () { select(sid); }; })(s.sid);
      list.appendChild(item);
    }
  }
  function renderChat() {
    var s = find(current), log = byId('log');
    var live = !!s && s.state !== 'ended';
    byId('reply').disabled = !s;
    byId('sendBtn').disabled = !s;
    byId('endBtn').disabled = !live;
    if (!s) return;
    var info = byId('info');
    while (info.firstChild) info.removeChild(info.firstChild);
    info.appendChild(el('b', '', who(s) + (s.topic ? ' · ' + s.topic : '')));
    info.appendChild(el('small', '', '游戏 ' + s.game + ' · 区服 ' + s.f6 + ' · 等级 ' + s.f5 + ' · 语言 ' + s.f7 +
      (s.group ? ' · 服务组 ' + s.group : '') + ' · 客户端' + (s.client ? '在线' : '离线') +
      ' · 对话窗口' + (s.page ? '已打开' : '未打开') + ' · ' + beatText(s)));
    if (shown.sid !== s.sid) {
      while (log.firstChild) log.removeChild(log.firstChild);
      shown = {sid: s.sid, seq: 0, unread: {}};
    }
    var added = false;
    for (var i = 0; i < s.messages.length; i++) {
      var m = s.messages[i];
      if (m.seq <= shown.seq) continue;
      if (m.from === 'system') {
        var row = el('div', 'sys');
        row.appendChild(el('span', '', m.text + ' ' + m.time));
        log.appendChild(row);
      } else {
        var msg = el('div', m.from === 'agent' ? 'msg agent' : 'msg');
        var meta = el('div', 'meta', (m.from === 'agent' ? m.name : who(s)) + ' · ' + m.time);
        msg.appendChild(meta);
        if (m.from === 'agent') shown.unread[m.seq] = meta;
        msg.appendChild(el('div', 'bubble', m.text));
        log.appendChild(msg);
      }
      shown.seq = m.seq;
      added = true;
    }
    if (added) log.scrollTop = log.scrollHeight;
    // The player's page said it showed these (its read receipts).
    for (var r = 0; r < s.read.length; r++) {
      var shownMeta = shown.unread[s.read[r][1]];
      if (!shownMeta) continue;
      shownMeta.appendChild(el('span', 'read', ' · 已读'));
      delete shown.unread[s.read[r][1]];
    }
    seen[s.sid] = lastSeq(s);
  }
  function renderTop() {
    if (document.activeElement !== byId('agentName')) byId('agentName').value = data.agent.name;
    byId('on').className = data.agent.status === '在线' ? 'on' : '';
    byId('off').className = data.agent.status === '在线' ? '' : 'on';
    var modes = byId('modes').getElementsByTagName('button');
    for (var i = 0; i < modes.length; i++) modes[i].className = modes[i].getAttribute('data-mode') === data.mode ? 'on' : '';
    var beats = byId('beat').getElementsByTagName('button');
    for (var j = 0; j < beats.length; j++) beats[j].className = beats[j].getAttribute('data-answer') === data.heartbeat.answer ? 'on' : '';
    setText(byId('beats'), '已收到心跳 ' + data.heartbeat.count + ' 次');
  }
  function render() { renderTop(); renderList(); renderChat(); }
  function select(sid) {
    current = sid;
    render();
    byId('reply').focus();
  }
  function refresh() {
    request('GET', '/cs/agent/state?v=' + v + '&wait=' + (v ? 20000 : 0), null, function (status, body) {
      var d = null;
      if (status === 200) { try { d = JSON.parse(body); } catch (e) {} }
      byId('link').className = d ? '' : 'down';
      setText(byId('link'), d ? '● 已连接' : '● 与服务器的连接中断，正在重连…');
      if (!d) { setTimeout(refresh, 2000); return; }
      data = d;
      v = d.v;
      if (!current || !find(current)) {
        var waiting = null;
        for (var i = 0; i < d.sessions.length; i++) if (d.sessions[i].state === 'waiting') { waiting = d.sessions[i]; break; }
        current = waiting ? waiting.sid : (find(current) ? current : '');
      }
      render();
      setTimeout(refresh, 0);
    });
  }
  function sendReply(text) {
    text = (text === undefined ? byId('reply').value : text).replace(/^\s+|\s+$/g, '');
    if (!text || !current) return;
    post('/cs/agent/send', {sid: current, text: text});
    byId('reply').value = '';
  }
  byId('reply').onkeydown = function (e) {
    e = e || window.event;
    if (e.keyCode === 13) { sendReply(); return false; }
  };
  byId('sendBtn').onclick = function () { sendReply(); };
  byId('endBtn').onclick = function () { if (current) post('/cs/agent/end', {sid: current}); };
  byId('on').onclick = function () { post('/cs/agent/status', {status: '在线'}); };
  byId('off').onclick = function () { post('/cs/agent/status', {status: '离线'}); };
  byId('agentName').onchange = function () {
    var name = this.value.replace(/^\s+|\s+$/g, '');
    if (name) post('/cs/agent/status', {name: name});
  };
  var chips = byId('quick').getElementsByTagName('span');
  for (var i = 0; i < chips.length; i++) chips[i].onclick = function () { sendReply(this.innerHTML); };
  var modes = byId('modes').getElementsByTagName('button');
  for (var j = 0; j < modes.length; j++) modes[j].onclick = function () { post('/__cs/service', {mode: this.getAttribute('data-mode')}); };
  var beats = byId('beat').getElementsByTagName('button');
  for (var k = 0; k < beats.length; k++) beats[k].onclick = function () { post('/__heartbeat', {answer: this.getAttribute('data-answer')}); };
  refresh();
})();
</script>
</body>
</html>
)HTML";

}  // namespace

std::string CsChatPage(std::string_view session, std::string_view initial_json) {
  return Fill(kChat, {{"FONT", std::string(kFontStack)},
                      {"SID", JsonString(session, true)},
                      {"INITIAL", JsonString(initial_json, true)}});
}

std::string CsAgentPage() {
  return Fill(kAgent, {{"FONT", std::string(kFontStack)}});
}

}  // namespace portal
