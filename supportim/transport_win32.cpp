// The library's transport on WinInet: one internet session of the library's own for its whole
// life (WinInet keeps the connections to the server in it between calls), a connection and a
// request handle for every call. Nothing is cached and no cookie is kept or sent: the
// server's answer is the answer.
//
// Cancelling and time-outs: each call runs its WinInet calls on a thread of its own while
// Perform waits for its answer, for Cancel, or for a time-out of ours. A blocked synchronous
// WinInet call cannot be relied on to end when another thread closes its handle (under Wine 8
// it does not), and a handle closed by another thread may be reused for a new one while the
// blocked thread still means the old. So only the call's own thread touches its handles: when
// Perform stops waiting, the call is left to end by WinInet's own time-outs (set a little
// above ours) and its answer is dropped. The time-outs are measured here rather than left to
// WinInet, which under Wine does not apply its connect time-out at all: the call thread marks
// the moment its connection stands (INTERNET_STATUS_SENDING_REQUEST), and Perform gives the
// connecting kConnectTimeout and the whole call its own time-out.
//
// Calls given up that still run are counted; beyond a few, Perform fails at once, so a server
// that stalls every request cannot pile up threads.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "supportim/platform.h"

namespace supportim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxBody = 1u << 20;
constexpr std::chrono::milliseconds kConnectTimeout{5000};
// WinInet's own time-outs stay this far above ours: they only end a call that was given up.
constexpr std::chrono::milliseconds kBackstop{1000};
constexpr int kMaxRunning = 4;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_KEEP_CONNECTION;

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h = nullptr) : h_(h) {}
    ~InternetHandle() {
        if (h_) InternetCloseHandle(h_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

// What the transport and its call threads share; it lives until the last of them is done.
struct Shared {
    explicit Shared(HINTERNET s) : session(s) {}
    InternetHandle session;
    std::atomic<int> running{0};  // call threads that have not ended yet
};

// One call: its thread fills in the reply, Perform waits for it.
struct Exchange {
    std::mutex m;
    std::condition_variable cv;
    bool connected = false;  // the connection stands, the request is being sent
    bool done = false;
    HttpReply reply;
};

// WinInet's status callback, with the call's exchange as the handles' context.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    auto* x = reinterpret_cast<Exchange*>(context);
    if (!x || status != INTERNET_STATUS_SENDING_REQUEST) return;
    std::lock_guard<std::mutex> l(x->m);
    x->connected = true;
    x->cv.notify_all();
}

// The library's addresses are ASCII (a checked host name, a percent-encoded path and query).
std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void SetTimeouts(HINTERNET h, std::chrono::milliseconds timeout) {
    const auto ms = [](std::chrono::milliseconds d) {
        return static_cast<DWORD>(std::clamp<long long>((d + kBackstop).count(), 1, 0x7FFFFFFF));
    };
    DWORD connect = ms(kConnectTimeout);
    DWORD io = ms(timeout);
    InternetSetOptionW(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(h, INTERNET_OPTION_SEND_TIMEOUT, &io, sizeof io);
    InternetSetOptionW(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &io, sizeof io);
}

HttpReply RunCall(HINTERNET session, const HttpCall& call, Exchange* exchange) {
    const auto context = reinterpret_cast<DWORD_PTR>(exchange);
    HttpReply reply;  // kFailed
    const std::wstring url = Widen(call.url);
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::wstring path(url.size() + 1, L'\0');
    std::wstring extra(url.size() + 1, L'\0');
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (url.empty() || !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return reply;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return reply;
    if (parts.dwHostNameLength == 0) return reply;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    std::wstring object(path.c_str(), parts.dwUrlPathLength);
    object.append(extra.c_str(), parts.dwExtraInfoLength);
    if (object.empty() || object[0] != L'/') object.insert(0, 1, L'/');

    InternetHandle connection(InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                               secure ? INTERNET_FLAG_SECURE : 0, context));
    if (!connection) return reply;
    const bool post = !call.form.empty();
    InternetHandle request(HttpOpenRequestW(connection.get(), post ? L"POST" : L"GET", object.c_str(), nullptr, nullptr,
                                            nullptr, kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0), context));
    if (!request) return reply;
    InternetSetStatusCallbackW(request.get(), OnStatus);
    SetTimeouts(request.get(), call.timeout);

    static const wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
    void* body = post ? const_cast<char*>(call.form.data()) : nullptr;
    if (!HttpSendRequestW(request.get(), post ? kFormHeader : nullptr, post ? static_cast<DWORD>(-1L) : 0, body,
                          static_cast<DWORD>(call.form.size())))
        return reply;
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr))
        return reply;
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), chunk, sizeof chunk, &got)) {
            reply.body.clear();
            return reply;
        }
        if (got == 0) break;
        if (reply.body.size() + got > kMaxBody) {
            reply.body.clear();
            return reply;
        }
        reply.body.append(chunk, got);
    }
    reply.outcome = HttpReply::kAnswered;
    reply.status = static_cast<long>(status);
    return reply;
}

// What a call thread is started with; it owns it.
struct CallStart {
    std::shared_ptr<Shared> shared;
    std::shared_ptr<Exchange> exchange;
    HttpCall call;
};

// The call threads are the system's own threads, not the C++ library's, and touch no
// thread_local: a process may end while one of them runs, and the runtime's thread and
// thread-local bookkeeping takes locks that the process's end must not find held by a thread
// that was ended in between (under Wine the process then never ends).
DWORD WINAPI CallThread(void* param) {
    const std::unique_ptr<CallStart> start(static_cast<CallStart*>(param));
    Exchange& exchange = *start->exchange;
    HttpReply r = RunCall(start->shared->session.get(), start->call, &exchange);
    {
        std::lock_guard<std::mutex> l(exchange.m);
        exchange.reply = std::move(r);
        exchange.done = true;
    }
    exchange.cv.notify_all();
    --start->shared->running;
    return 0;
}

class WinInetTransport final : public Transport {
public:
    // The session is owned by the shared part, which outlives the calls given up.
    explicit WinInetTransport(HINTERNET session) : shared_(std::make_shared<Shared>(session)) {}

    HttpReply Perform(const HttpCall& call) override {
        HttpReply reply;
        if (cancelled_) {
            reply.outcome = HttpReply::kCancelled;
            return reply;
        }
        if (shared_->running >= kMaxRunning) return reply;  // kFailed
        auto exchange = std::make_shared<Exchange>();
        {
            std::lock_guard<std::mutex> l(m_);
            current_ = exchange;
        }
        ++shared_->running;
        auto begin = std::make_unique<CallStart>(CallStart{shared_, exchange, call});
        if (HANDLE thread = CreateThread(nullptr, 0, CallThread, begin.get(), 0, nullptr)) {
            begin.release();
            CloseHandle(thread);
        } else {
            --shared_->running;
            Forget();
            return reply;
        }
        const auto start = Clock::now();
        const auto end = start + std::max(call.timeout, std::chrono::milliseconds(1));
        const auto connectEnd = std::min(end, start + kConnectTimeout);
        {
            std::unique_lock<std::mutex> l(exchange->m);
            for (;;) {
                if (exchange->done) {
                    reply = std::move(exchange->reply);
                    break;
                }
                if (cancelled_) {
                    reply.outcome = HttpReply::kCancelled;
                    break;
                }
                const auto limit = exchange->connected ? end : connectEnd;
                if (Clock::now() >= limit) break;  // timed out: kFailed
                exchange->cv.wait_until(l, limit);
            }
        }
        Forget();
        return reply;
    }

    void Cancel() override {
        cancelled_ = true;
        std::lock_guard<std::mutex> l(m_);
        if (current_) {
            std::lock_guard<std::mutex> le(current_->m);
            current_->cv.notify_all();
        }
    }
    void Reset() override { cancelled_ = false; }

private:
    void Forget() {
        std::lock_guard<std::mutex> l(m_);
        current_.reset();
    }

    std::shared_ptr<Shared> shared_;
    std::atomic<bool> cancelled_{false};
    std::mutex m_;  // guards current_
    std::shared_ptr<Exchange> current_;
};

}  // namespace

std::unique_ptr<Transport> MakeTransport() {
    HINTERNET session = InternetOpenW(L"SupportIM/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return nullptr;
    return std::make_unique<WinInetTransport>(session);
}

}  // namespace supportim
