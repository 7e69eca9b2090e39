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
