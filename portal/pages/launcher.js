var lumo = (function () {
  var cfg = {uid: {{UID_JS}}, name: {{NAME_JS}}, guest: {{GUEST_JS}}, im: {{IM_JS}}};
  var base = 'http://' + location.host, gameBase = {{GAME_BASE_JS}};
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
    return gameBase + '/game/play/?server=' + id + '&uid=' + encodeURIComponent(cfg.uid);
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
