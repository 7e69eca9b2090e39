(function () {
  var seen = typeof (window.external && window.external.WD_JAPI), opened = 'no';
  try {
    if (window.external && window.external.WD_JAPI) {
      window.external.WD_JAPI('OpenGame', 'http://' + location.host + '/game/play/?server=ad|x|广告服');
      opened = 'called';
    }
  } catch (e) { opened = 'threw'; }
  window.lumoBeacon = new Image();
  window.lumoBeacon.src = '/__beacon?ad=' + encodeURIComponent(seen) + '&open=' + opened;
})();
