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
