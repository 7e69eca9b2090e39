// Developer pages: the script-bridge benchmark and the bridge simulator,
// which shows any portal page with a stand-in window.external and records
// what the page asks of the client.
#include <string>

#include "html.h"
#include "pages.h"

namespace portal {
namespace {

constexpr std::string_view kBench = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<title>bench:running</title>
<style>
body{margin:0;padding:16px;font:13px/1.6 {{FONT}};color:#eadcb8;background:linear-gradient(180deg,#26140e,#100a11)}
h1{margin:0 0 8px;font-size:16px;color:#f6c66c}
table{border-collapse:collapse}
td{padding:2px 12px 2px 0}
td b{color:#ffcf6a;font-family:monospace}
</style>
</head>
<body>
<h1>接口性能测试</h1>
<table>
<tr><td>调用次数</td><td><b>{{CALLS}}</b> × 2</td></tr>
<tr><td>getApiVersion 中位数</td><td><b id="get">…</b> µs</td></tr>
<tr><td>NoSuchMethod 中位数</td><td><b id="noop">…</b> µs</td></tr>
<tr><td>总耗时</td><td><b id="total">…</b> ms</td></tr>
<tr><td>计时精度</td><td><b id="res">…</b> µs</td></tr>
<tr><td>每批调用</td><td><b id="batch">…</b></td></tr>
</table>
<script>
(function () {
  var N = {{CALLS}};
  var perf = window.performance;
  var now = (perf && perf.now) ? function () { return perf.now(); } : function () { return new Date().getTime(); };
  function show(id, text) { document.getElementById(id).innerHTML = text; }
  function report(line) {
    document.title = line;
    try {
      var xhr = new XMLHttpRequest();
      xhr.open('POST', '/__bench', true);
      xhr.setRequestHeader('Content-Type', 'text/plain');
      xhr.send(line);
    } catch (e) {}
  }
  function median(values) {
    var s = values.slice().sort(function (a, b) { return a - b; });
    var m = s.length >> 1;
    return s.length % 2 ? s[m] : (s[m - 1] + s[m]) / 2;
  }
  // The smallest step the clock shows, in ms: browsers coarsen
  // performance.now(), so single calls may be too short to time one by one.
  function resolution() {
    // A clock that does not move at all (a browser running on virtual
    // time) must not hang the page: the spin is bounded, 1 ms assumed then.
    var best = Infinity;
    for (var k = 0; k < 5; k++) {
      var a = now(), b = a, spins = 0;
      while (b === a && ++spins < 1000000) b = now();
      if (b > a && b - a < best) best = b - a;
    }
    return best === Infinity ? 1 : best;
  }
  // Times N calls of one method in batches long enough for the clock and
  // returns the median cost of one call in microseconds.
  function measure(method, batch) {
    var ext = window.external, samples = [], done = 0, bad = 0;
    while (done < N) {
      var n = Math.min(batch, N - done), t = now();
      for (var i = 0; i < n; i++) {
        var v = ext.WD_JAPI(method);
        if (method === 'getApiVersion' && String(v) !== '1') bad++;
      }
      samples.push((now() - t) * 1000 / n);
      done += n;
    }
    return {us: median(samples), bad: bad};
  }
  function run() {
    var ext = window.external, probe;
    // Probe with a call: reading the method as a property would itself be
    // a call in some hosts.
    try { probe = ext.WD_JAPI('getApiVersion'); } catch (e) { probe = undefined; }
    if (probe === undefined || probe === null) { report('bench:error:no-bridge'); return; }
    try {
      var res = resolution();
      var t = now();
      for (var w = 0; w < 20; w++) ext.WD_JAPI('getApiVersion');
      var cost = Math.max((now() - t) / 20, 0.0005);
      // Aim for batches of about 50 clock steps, with at least 10 batches.
      var batch = Math.max(1, Math.min(Math.ceil(50 * res / cost), Math.floor(N / 10) || 1));
      show('res', (res * 1000).toFixed(1));
      show('batch', batch);
      var start = now();
      var get = measure('getApiVersion', batch);
      var noop = measure('NoSuchMethod', batch);
      var total = now() - start;
      if (get.bad) { report('bench:error:bad-answer'); return; }
      show('get', get.us.toFixed(2));
      show('noop', noop.us.toFixed(2));
      show('total', total.toFixed(1));
      report('bench:' + get.us.toFixed(2) + ':' + noop.us.toFixed(2) + ':' + total.toFixed(1));
    } catch (e) {
      report('bench:error:exception');
    }
  }
  window.onload = function () { setTimeout(run, 50); };
})();
</script>
</body>
</html>
)HTML";

constexpr std::string_view kSim = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>sim:loading</title>
<style>
body{margin:0;padding:12px;font:13px/1.5 {{FONT}};color:#eadcb8;background:#1a1010}
h1{margin:0 0 8px;font-size:15px;color:#f6c66c}
#host{display:inline-block;border:1px dashed #8a4c22;background:#000}
#host iframe{display:block;border:0}
pre{white-space:pre-wrap;word-break:break-all;font-size:12px;background:#0c0808;padding:8px;border:1px solid #4a2a18}
</style>
</head>
<body>
<h1>客户端接口模拟</h1>
<div id="host"></div>
<pre id="calls">[]</pre>
<script type="application/json" id="calls-json">[]</script>
<script>
(function () {
  // ?page=<portal path>&w=<width>&h=<height>&click=<data-test>,<data-test>...
  var q = {};
  location.search.replace(/^\?/, '').split('&').forEach(function (kv) {
    if (!kv) return;
    var i = kv.indexOf('=');
    var k = decodeURIComponent(i < 0 ? kv : kv.slice(0, i));
    q[k] = i < 0 ? '' : decodeURIComponent(kv.slice(i + 1).replace(/\+/g, ' '));
  });
  var page = q.page || '/game/s/dmor/';
  var calls = [];
  function record(entry) {
    calls.push(entry);
    document.getElementById('calls').textContent = JSON.stringify(calls, null, 1);
    // The same for tools that read the page's DOM: a script element is
    // serialized without entity escaping, and "<" is escaped so that no
    // text can end the element early.
    document.getElementById('calls-json').textContent =
        JSON.stringify(calls).replace(/</g, '\\u003c');
  }
  if (page.charAt(0) !== '/' || page.charAt(1) === '/') {
    record(['error', 'page must be a path on this server']);
    document.title = 'sim:error';
    return;
  }
  // The stand-in answers like the client's bridge: WD_JAPI decodes the
  // method name by the argument count and answers only getApiVersion.
  window.__simInstall = function (win) {
    win.external = {
      WD_JAPI: function () {
        var args = Array.prototype.slice.call(arguments).map(String);
        record(['WD_JAPI'].concat(args));
        if (!args.length) return undefined;
        var method = args.length === 2 ? args[0] : args[args.length - 1];
        return method.indexOf('getApiVersion') >= 0 ? '1' : undefined;
      },
      API_close: function () { record(['API_close']); }
    };
    win.open = function (url) { record(['window.open', String(url)]); return null; };
    win.close = function () { record(['window.close']); };
    win.document.addEventListener('click', function (e) {
      var a = e.target;
      while (a && a.tagName !== 'A') a = a.parentNode;
      if (!a || !a.getAttribute('href')) return;
      var href = a.getAttribute('href');
      if (/^javascript:/i.test(href)) return;
      record(['link', href, a.getAttribute('target') || '']);
      e.preventDefault();
    }, true);
  };
  var xhr = new XMLHttpRequest();
  xhr.open('GET', page, true);
  xhr.onload = function () {
    var frame = document.createElement('iframe');
    frame.style.width = (parseInt(q.w, 10) || 788) + 'px';
    frame.style.height = (parseInt(q.h, 10) || 387) + 'px';
    document.getElementById('host').appendChild(frame);
    var html = xhr.responseText.replace(/<head>/i, '<head><script>parent.__simInstall(window);<\/script>');
    frame.onload = function () {
      frame.onload = null;
      var doc = frame.contentDocument;
      (q.click ? q.click.split(',') : []).forEach(function (id) {
        var el = doc.querySelector('[data-test="' + id + '"]');
        if (!el) { record(['missing', id]); return; }
        record(['click', id]);
        el.click();
      });
      setTimeout(function () { document.title = 'sim:done'; }, 100);
    };
    var doc = frame.contentDocument;
    doc.open();
    doc.write(html);
    doc.close();
  };
  xhr.onerror = function () { record(['error', 'load failed']); document.title = 'sim:error'; };
  xhr.send();
})();
</script>
</body>
</html>
)HTML";

}  // namespace

std::string BenchPage(int calls) {
  return Fill(kBench, {{"FONT", std::string(kFontStack)},
                       {"CALLS", std::to_string(calls)}});
}

std::string SimPage() {
  return Fill(kSim, {{"FONT", std::string(kFontStack)}});
}

}  // namespace portal
