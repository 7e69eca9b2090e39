#include "perf.h"

#include <charconv>

#include "html.h"
#include "page_files.h"

namespace portal {
namespace {

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
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
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
    return Fill(page_files::kPerfReporter, {{"PAGE", name}, {"FRAMES", count_frames ? "true" : "false"}});
}

std::string WithPerfReporter(std::string html, std::string_view page, bool count_frames) {
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
