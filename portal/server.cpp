#include "server.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <regex>
#include <thread>

#include <httplib.h>

#include "cs_server.h"
#include "html.h"
#include "music.h"
#include "pages.h"
#include "perf.h"

namespace portal {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr size_t kMaxBenchBody = 256;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The raw query string as the client sent it (still percent-encoded).
std::string RawQuery(const httplib::Request& req) {
    const size_t q = req.target.find('?');
    return q == std::string::npos ? std::string() : req.target.substr(q + 1);
}

// Value of one cookie in a Cookie header, if present.
std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
    size_t pos = 0;
    while (pos <= header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string_view::npos) end = header.size();
        std::string_view part = header.substr(pos, end - pos);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        const size_t eq = part.find('=');
        if (eq != std::string_view::npos && part.substr(0, eq) == name) {
            return std::string(part.substr(eq + 1));
        }
        pos = end + 1;
    }
    return std::nullopt;
}

// A session id made only of hex digits, so it is safe in any context.
bool IsSessionId(std::string_view s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::string HttpDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

bool ParseU64(const std::string& text, uint64_t* out) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, *out);
    return !text.empty() && ec == std::errc() && ptr == last;
}

}  // namespace

struct Server::Impl {
    explicit Impl(Options o) : options(std::move(o)), cs(options.heartbeat_answer), rng(std::random_device{}()) {}

    Options options;
    httplib::Server http;
    RequestLog log;
    CsServer cs;
    int port = -1;

    std::mutex mutex;  // guards the fields below
    std::condition_variable stop_cv;
    bool stop_requested = false;
    bool listening = false;
    std::optional<std::string> bench;
    std::mt19937_64 rng;

    void Routes();
    std::string Host(const httplib::Request& req) const {
        return LinkHost(req.get_header_value("Host"), options.bind + ":" + std::to_string(port));
    }
    std::string NewSessionId() {
        std::lock_guard<std::mutex> lock(mutex);
        char buf[33];
        std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(rng()),
                      static_cast<unsigned long long>(rng()));
        return buf;
    }
    // Waits the configured delay, cut short when the server stops.
    void SlowDown() {
        if (options.slow_ms <= 0) return;
        std::unique_lock<std::mutex> lock(mutex);
        stop_cv.wait_for(lock, std::chrono::milliseconds(options.slow_ms), [this] { return stop_requested; });
    }
    void RequestStop() {
        cs.Shutdown();  // held customer-service polls answer at once
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop_requested = true;
        }
        stop_cv.notify_all();
        // httplib's stop() does nothing until its accept loop runs, so wait for
        // that if Listen() has been entered.
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (!listening) return;
            }
            if (http.is_running()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        http.stop();
    }
};

void Server::Impl::Routes() {
    http.set_keep_alive_timeout(2);
    // httplib's default sets SO_REUSEPORT, which would let a second portal
    // share the port and take part of the requests. Only allow quick rebinding
    // after a stop.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Answers go out at once, as a web server's do: with Nagle's algorithm the body, written
    // after the headers, would wait for the client's delayed acknowledgement (about 40 ms).
    http.set_tcp_nodelay(true);
    // The customer-service pages and the chat library hold long polls: enough workers that
    // they never starve the other pages.
    http.new_task_queue = [] { return new httplib::ThreadPool(64); };

    // Every request is recorded before it is handled, so a client that got an
    // answer finds its request in the log. Reading the log is not recorded.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        if (!StartsWith(req.path, "/__log")) {
            log.Record(req.method, req.path, RawQuery(req), req.get_header_value("Cookie"),
                       req.get_header_value("User-Agent"), req.get_header_value("Referer"));
        }
        if (!StartsWith(req.path, "/__")) SlowDown();
        return httplib::Server::HandlerResponse::Unhandled;
    });

    http.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
            if (res.status != 404 || !res.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            res.set_content(NotFoundPage(req.path), kHtml);
            return httplib::Server::HandlerResponse::Handled;
        }));

    // Site root: the heartbeat, the payment site or the game site's home,
    // told apart by the query.
    http.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("m") == "game" && req.get_param_value("c") == "heartbeat") {
            res.set_header("Cache-Control", "no-store");
            res.set_content(cs.Heartbeat(req.get_param_value("userid")), kText);
        } else if (req.has_param("g")) {
            res.set_content(PaySite(Host(req), req.get_param_value("g")), kHtml);
        } else {
            res.set_content(SiteHome(Host(req)), kHtml);
        }
    });

    http.Get("/game/s/dmor/?", [this](const httplib::Request& req, httplib::Response& res) {
        std::string page = LauncherPage(Host(req), req.get_param_value("uid"), req.get_param_value("suid"),
                                        options.hostile, options.game_base);
        if (options.perf) page = WithPerfReporter(std::move(page), "launcher", false);
        res.set_content(page, kHtml);
    });
    http.Get("/game/s/dmor/frame", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(LauncherFrame(Host(req)), kHtml);
    });
    http.Get("/ad/frame",
             [](const httplib::Request&, httplib::Response& res) { res.set_content(LauncherAdFrame(), kHtml); });

    http.Get("/game/play/?", [this](const httplib::Request& req, httplib::Response& res) {
        GamePageInput in;
        in.host = Host(req);
        in.server = req.get_param_value("server");
        in.uid = req.get_param_value("uid");
        in.reloaded = req.get_param_value("reloaded") == "1";
        in.music = options.music;
        const auto cookie = CookieValue(req.get_header_value("Cookie"), "lumo_session");
        in.cookie_carried = cookie.has_value();
        if (cookie && IsSessionId(*cookie)) {
            in.session = *cookie;
        } else if (cookie) {
            in.session = "?";  // carried, but not one of ours
        } else {
            in.session = NewSessionId();
            constexpr int kYear = 365 * 24 * 3600;
            // Expires as well as Max-Age: older browser controls know only Expires.
            res.set_header("Set-Cookie", "lumo_session=" + in.session + "; Max-Age=" + std::to_string(kYear) +
                                             "; Expires=" + HttpDate(std::time(nullptr) + kYear) + "; Path=/");
        }
        in.hostile = options.hostile;
        std::string page = GamePage(in);
        if (options.perf) page = WithPerfReporter(std::move(page), "game", true);
        res.set_content(page, kHtml);
    });
    http.Get("/game/play/music.wav", [](const httplib::Request&, httplib::Response& res) {
        static const std::string wav = GameMusicWav();
        res.set_content(wav, "audio/wav");
    });
    http.Get("/game/play/frame", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(GameFrame(req.get_param_value("server")), kHtml);
    });

    http.Get("/pay/?", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(PayPage(Host(req), req.get_param_value("g"), req.get_param_value("uid")), kHtml);
    });
    http.Get("/game/s/jihuo/?", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(AccountPage(Host(req), req.get_param_value("game")), kHtml);
    });
    http.Get("/kefu/?", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(KefuPage(Host(req)), kHtml);
    });
    http.Get("/forum.php", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(ForumPage(Host(req), req.get_param_value("fid")), kHtml);
    });
    http.Get(R"(/news/([1-9][0-9]{0,5}))", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(NewsPage(Host(req), std::stoi(req.matches[1].str()), options.hostile), kHtml);
    });

    http.Get("/bench/bridge", [](const httplib::Request& req, httplib::Response& res) {
        int calls = 1000;
        if (req.has_param("n")) {
            const std::string n = req.get_param_value("n");
            uint64_t value = 0;
            if (!ParseU64(n, &value) || value < 1 || value > 100000) {
                res.status = 400;
                res.set_content("n must be 1-100000\n", kText);
                return;
            }
            calls = static_cast<int>(value);
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(BenchPage(calls), kHtml);
    });
    http.Post("/__bench", [this](const httplib::Request& req, httplib::Response& res) {
        std::optional<std::string> json;
        if (req.body.size() <= kMaxBenchBody) json = BenchLineToJson(req.body);
        if (!json) {
            res.status = 400;
            res.set_content("expected bench:<get_us>:<noop_us>:<total_ms>\n", kText);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            bench = *json;
        }
        res.set_content(*json, kJson);
    });
    http.Get("/__bench", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!bench) {
            res.status = 404;
            res.set_content("{\"error\":\"no result yet\"}\n", kJson);
            return;
        }
        res.set_content(*bench, kJson);
    });

    // The pages' performance reports: checked, and otherwise only recorded in
    // the log (with the time they came), where benchmarks read them.
    auto perf = [](PerfKind kind) {
        return [kind](const httplib::Request& req, httplib::Response& res) {
            const auto report = ParsePerfReport(kind, [&req](const char* name) -> std::optional<std::string> {
                if (!req.has_param(name)) return std::nullopt;
                return req.get_param_value(name);
            });
            res.set_header("Cache-Control", "no-store");
            if (!report) {
                res.status = 400;
                res.set_content(kind == PerfKind::kLoad ? "expected page, at, w and h\n" : "expected page, n and t\n",
                                kText);
                return;
            }
            res.status = 204;
        };
    };
    http.Get("/__perf/load", perf(PerfKind::kLoad));
    http.Get("/__perf/frames", perf(PerfKind::kFrames));

    http.Get("/__log", [this](const httplib::Request& req, httplib::Response& res) {
        uint64_t since = 0;
        if (req.has_param("since") && !ParseU64(req.get_param_value("since"), &since)) {
            res.status = 400;
            res.set_content("{\"error\":\"since must be a number\"}\n", kJson);
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(log.ToJson(since), kJson);
    });
    http.Post("/__log/clear", [this](const httplib::Request&, httplib::Response& res) {
        const size_t n = log.Clear();
        res.set_content("{\"cleared\":" + std::to_string(n) + "}\n", kJson);
    });
    cs.Register(http);

    http.Get("/__sim", [](const httplib::Request&, httplib::Response& res) { res.set_content(SimPage(), kHtml); });
    http.Get("/__quit", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Connection", "close");
        res.set_content("bye\n", kText);
        RequestStop();
    });
}

Server::Server(Options options) : impl_(std::make_unique<Impl>(std::move(options))) { impl_->Routes(); }

Server::~Server() { Stop(); }

int Server::Bind(std::string* error) {
    Impl& s = *impl_;
    int port = -1;
    if (s.options.port == 0) {
        port = s.http.bind_to_any_port(s.options.bind);
    } else if (s.http.bind_to_port(s.options.bind, s.options.port)) {
        port = s.options.port;
    }
    if (port <= 0) {
        *error = "cannot listen on " + s.options.bind + ":" + std::to_string(s.options.port);
        return -1;
    }
    s.port = port;
    return port;
}

bool Server::Listen() {
    Impl& s = *impl_;
    if (s.port <= 0) return false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.stop_requested) return true;
        s.listening = true;
    }
    const bool ok = s.http.listen_after_bind();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.listening = false;
    }
    return ok || s.stop_requested;
}

void Server::Stop() { impl_->RequestStop(); }

int Server::port() const { return impl_->port; }

RequestLog& Server::log() { return impl_->log; }

std::optional<std::string> Server::bench_json() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->bench;
}

bool WritePortFile(const std::string& path, int port, std::string* error) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    const std::string text = std::to_string(port) + "\n";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    const int saved = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        *error = "cannot write " + tmp + ": " + std::strerror(written ? errno : saved);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::optional<std::string> BenchLineToJson(const std::string& line) {
    // Plain decimal numbers that are also valid JSON numbers.
#define PORTAL_NUMBER R"(((?:0|[1-9][0-9]{0,8})(?:\.[0-9]{1,6})?))"
    static const std::regex kResult("bench:" PORTAL_NUMBER ":" PORTAL_NUMBER ":" PORTAL_NUMBER);
#undef PORTAL_NUMBER
    static const std::regex kError(R"(bench:error:([a-z-]{1,32}))");
    std::smatch m;
    if (std::regex_match(line, m, kResult)) {
        return "{\"line\":" + JsonString(line) + ",\"get_us\":" + m[1].str() + ",\"noop_us\":" + m[2].str() +
               ",\"total_ms\":" + m[3].str() + "}\n";
    }
    if (std::regex_match(line, m, kError)) {
        return "{\"line\":" + JsonString(line) + ",\"error\":" + JsonString(m[1].str()) + "}\n";
    }
    return std::nullopt;
}

}  // namespace portal
