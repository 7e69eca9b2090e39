(function () {
  var left = 300, el = document.querySelector('[data-test="countdown"]');
  setInterval(function () {
    left = left > 0 ? left - 1 : 300;
    el.textContent = ('0' + Math.floor(left / 60)).slice(-2) + ':' + ('0' + left % 60).slice(-2);
  }, 1000);
})();
