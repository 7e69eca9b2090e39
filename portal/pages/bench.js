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
