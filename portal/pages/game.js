(function () {
  var canvas = document.getElementById('scene');
  if (!canvas.getContext) return;
  var ctx = canvas.getContext('2d');
  var w = 0, h = 0, t0 = Date.now(), embers = [];
  function resize() {
    w = canvas.width = window.innerWidth || document.documentElement.clientWidth;
    h = canvas.height = window.innerHeight || document.documentElement.clientHeight;
  }
  window.onresize = resize;
  resize();
  for (var i = 0; i < 90; i++) {
    embers.push({x: Math.random(), y: Math.random(), s: 0.4 + Math.random() * 1.6, v: 0.02 + Math.random() * 0.05, p: Math.random() * 6.28});
  }
  function ridge(y0, amp, seed, speed, t) {
    ctx.beginPath();
    ctx.moveTo(0, h);
    for (var x = 0; x <= w + 20; x += 20) {
      var u = x / w * 6 + seed + t * speed;
      var y = y0 - amp * (0.55 * Math.sin(u) + 0.3 * Math.sin(u * 2.3 + seed) + 0.15 * Math.sin(u * 5.1 + 1.7 * seed));
      ctx.lineTo(x, y);
    }
    ctx.lineTo(w, h);
    ctx.closePath();
  }
  function dragon(x, y, scale, flap) {
    ctx.save();
    ctx.translate(x, y);
    ctx.scale(scale, scale);
    ctx.fillStyle = 'rgba(18,6,10,0.92)';
    ctx.beginPath();
    ctx.moveTo(-60, 6); ctx.quadraticCurveTo(-20, -6, 20, 0); ctx.quadraticCurveTo(40, -6, 52, -14);
    ctx.lineTo(58, -10); ctx.quadraticCurveTo(44, 4, 22, 8); ctx.quadraticCurveTo(-20, 14, -60, 6); ctx.fill();
    var lift = Math.sin(flap) * 34;
    ctx.beginPath();
    ctx.moveTo(-8, 0); ctx.quadraticCurveTo(-30, -30 - lift, -64, -52 - lift); ctx.lineTo(-40, -24 - lift * 0.5);
    ctx.lineTo(-30, -30 - lift * 0.6); ctx.lineTo(-20, -14 - lift * 0.3); ctx.lineTo(8, 2); ctx.fill();
    ctx.beginPath();
    ctx.moveTo(0, 2); ctx.quadraticCurveTo(14, -26 - lift, 2, -56 - lift); ctx.lineTo(12, -30 - lift * 0.5); ctx.lineTo(18, 2); ctx.fill();
    ctx.restore();
  }
  function frame() {
    var t = (Date.now() - t0) / 1000;
    var sky = ctx.createLinearGradient(0, 0, 0, h);
    sky.addColorStop(0, '#0d0618'); sky.addColorStop(0.45, '#3a1226'); sky.addColorStop(0.72, '#a8401c'); sky.addColorStop(1, '#f09a3a');
    ctx.fillStyle = sky; ctx.fillRect(0, 0, w, h);
    var mx = w * 0.72, my = h * 0.22;
    var glow = ctx.createRadialGradient(mx, my, 10, mx, my, 160);
    glow.addColorStop(0, 'rgba(255,236,200,0.9)'); glow.addColorStop(0.25, 'rgba(255,190,120,0.35)'); glow.addColorStop(1, 'rgba(255,160,80,0)');
    ctx.fillStyle = glow; ctx.fillRect(mx - 160, my - 160, 320, 320);
    ctx.fillStyle = '#ffe9c8'; ctx.beginPath(); ctx.arc(mx, my, 34, 0, 6.283); ctx.fill();
    dragon(((t * 60 + w * 0.35) % (w + 400)) - 200, h * 0.3 + Math.sin(t * 0.7) * 30, 1.1, t * 5);
    ctx.fillStyle = '#4a1a26'; ridge(h * 0.62, h * 0.10, 1.3, 0.010, t); ctx.fill();
    ctx.fillStyle = '#2a0e18'; ridge(h * 0.74, h * 0.09, 4.1, 0.025, t); ctx.fill();
    ctx.fillStyle = '#140610'; ridge(h * 0.88, h * 0.07, 7.7, 0.05, t); ctx.fill();
    for (var i = 0; i < embers.length; i++) {
      var e = embers[i];
      e.y -= e.v / 60; if (e.y < -0.02) { e.y = 1.02; e.x = Math.random(); }
      var a = 0.45 + 0.45 * Math.sin(t * 3 + e.p);
      ctx.fillStyle = 'rgba(255,' + (140 + Math.round(80 * a)) + ',60,' + a.toFixed(2) + ')';
      ctx.fillRect(e.x * w + Math.sin(t + e.p) * 12, e.y * h, e.s * 2, e.s * 2);
    }
    var s = Math.floor(t), clock = document.querySelector('[data-test="clock"]');
    if (clock) clock.textContent = '在线 ' + ('0' + Math.floor(s / 60)).slice(-2) + ':' + ('0' + s % 60).slice(-2);
    (window.requestAnimationFrame || function (f) { setTimeout(f, 33); })(frame);
  }
  frame();
})();
