// Performance reports of the portal's pages, for benchmarks that compare
// programs showing the same page: the page's own load event and the frames it
// draws, each sent as a request to /__perf/... that the request log records
// with the time it came.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace portal {

// A <script> element that reports the page's load event to
// /__perf/load?page=PAGE&at=MS&w=W&h=H (at: the page's own clock at the event,
// ms since 1970, from performance.timeOrigin + performance.now(); w, h: the
// viewport) and, with count_frames, the animation frames it gets, counted with
// requestAnimationFrame and reported about once a second as
// /__perf/frames?page=PAGE&n=COUNT&t=MS (n: frames since the script ran,
// t: performance.now()). page is a short lower-case name.
std::string PerfReporter(std::string_view page, bool count_frames);

// html with the reporter placed before its last </body> (at the end when it
// has none).
std::string WithPerfReporter(std::string html, std::string_view page, bool count_frames);

// A report's query parameters, checked: the values the reporter sends, with
// nothing missing or malformed.
enum class PerfKind { kLoad, kFrames };
struct PerfReport {
    PerfKind kind = PerfKind::kLoad;
    std::string page;
    double at_ms = 0;  // load: the page's clock, ms since 1970
    long width = 0;    // load: the viewport
    long height = 0;
    long frames = 0;  // frames: count so far
    double t_ms = 0;  // frames: performance.now()
};
// param(name) answers a query parameter's value, or nullopt when it is absent.
using PerfParam = std::function<std::optional<std::string>(const char* name)>;
std::optional<PerfReport> ParsePerfReport(PerfKind kind, const PerfParam& param);

// Checks of single values: a page name is 1 to 16 letters a-z; a number up to
// 15 digits, optionally a point and 1 to 6 more; a count up to 12 digits.
bool IsPerfPageName(std::string_view s);
std::optional<double> PerfNumber(std::string_view s);
std::optional<long> PerfCount(std::string_view s);

}  // namespace portal
