#include "perf.h"

#include <charconv>

#include "html.h"

namespace portal {
namespace {

// Reports go out as image requests: every engine sends them, without CORS or
// a preflight, and the 204 answer costs nothing to handle. The images stay
// referenced until their request ends, so none is dropped half-way.
constexpr std::string_view kReporter = R"HTML(<script>
(function () {
  var page = '{{PAGE}}', countFrames = {{FRAMES}};
  var perf = window.performance || {};
  var origin = perf.timeOrigin || (perf.timing && perf.timing.navigationStart) || new Date().getTime();
  function now() { return perf.now ? perf.now() : new Date().getTime() - origin; }
  var pending = [];
  function send(path) {
    var img = new Image();
    img.onload = img.onerror = function () {
      for (var i = 0; i < pending.length; i++) if (pending[i] === img) pending.splice(i, 1);
    };
    pending.push(img);
    img.src = path;
  }
  window.addEventListener('load', function () {
    send('/__perf/load?page=' + page + '&at=' + (origin + now()).toFixed(3) +
         '&w=' + (window.innerWidth || 0) + '&h=' + (window.innerHeight || 0));
  });
  if (!countFrames || !window.requestAnimationFrame) return;
  var frames = 0, last = -1;
  function tick() {
    frames++;
    var t = now();
    if (last < 0 || t - last >= 1000) {
      last = t;
      send('/__perf/frames?page=' + page + '&n=' + frames + '&t=' + t.toFixed(3));
    }
    window.requestAnimationFrame(tick);
  }
  window.requestAnimationFrame(tick);
})();
</script>
)HTML";

bool Digits(std::string_view s, size_t max) {
  if (s.empty() || s.size() > max) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

bool IsPerfPageName(std::string_view s) {
  if (s.empty() || s.size() > 16) return false;
  for (char c : s) {
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

std::optional<long> PerfCount(std::string_view s) {
  if (!Digits(s, 12)) return std::nullopt;
  long value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

std::optional<double> PerfNumber(std::string_view s) {
  const size_t dot = s.find('.');
  const std::string_view whole = s.substr(0, dot);
  const std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  if (!Digits(whole, 15)) return std::nullopt;
  if (dot != std::string_view::npos && !Digits(fraction, 6)) return std::nullopt;
  double value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

std::string PerfReporter(std::string_view page, bool count_frames) {
  // The name goes into a script literal as it is: only names that need no
  // escaping are taken.
  const std::string name = IsPerfPageName(page) ? std::string(page) : "page";
  return Fill(kReporter, {{"PAGE", name}, {"FRAMES", count_frames ? "true" : "false"}});
}

std::string WithPerfReporter(std::string html, std::string_view page,
                             bool count_frames) {
  const std::string script = PerfReporter(page, count_frames);
  const size_t body = html.rfind("</body>");
  html.insert(body == std::string::npos ? html.size() : body, script);
  return html;
}

std::optional<PerfReport> ParsePerfReport(PerfKind kind, const PerfParam& param) {
  PerfReport r;
  r.kind = kind;
  const std::optional<std::string> page = param("page");
  if (!page || !IsPerfPageName(*page)) return std::nullopt;
  r.page = *page;
  auto number = [&](const char* name) -> std::optional<double> {
    const std::optional<std::string> v = param(name);
    return v ? PerfNumber(*v) : std::nullopt;
  };
  auto count = [&](const char* name) -> std::optional<long> {
    const std::optional<std::string> v = param(name);
    return v ? PerfCount(*v) : std::nullopt;
  };
  if (kind == PerfKind::kLoad) {
    const auto at = number("at");
    const auto w = count("w");
    const auto h = count("h");
    if (!at || !w || !h) return std::nullopt;
    r.at_ms = *at;
    r.width = *w;
    r.height = *h;
  } else {
    const auto n = count("n");
    const auto t = number("t");
    if (!n || !t) return std::nullopt;
    r.frames = *n;
    r.t_ms = *t;
  }
  return r;
}

}  // namespace portal
