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
