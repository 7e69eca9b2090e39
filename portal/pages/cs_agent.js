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
