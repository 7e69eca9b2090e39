// CHttpClient on WinInet, used synchronously with the session, connection and request flags,
// headers and time-out codes of the platform's own client.
//
// Each Get runs its WinInet calls on a request thread of its own while the caller waits for
// the answer, for Abort, or for a time-out of ours, whichever comes first. A blocked WinInet
// call cannot be relied on to end when another thread closes its handle (under Wine 8 it does
// not; measured), and a handle closed from another thread may be reused by WinInet for a new
// one while the blocked thread still means the old. So no thread but the request thread ever
// touches its handles: when the caller stops waiting, the request thread is left to finish
// (WinInet's own time-outs, set a little above ours, end it) and nobody hears of its result.
// The WinInet session is shared with those threads and closed by whoever is last.
//
// The time-outs are measured here rather than taken from WinInet's error codes: WinInet under
// Wine reports a receive time-out as a broken connection (12030) or a socket error (10060),
// and does not apply its connect time-out at all. The request thread marks the moment its
// connection stands (INTERNET_STATUS_SENDING_REQUEST, after any TLS handshake) and every sign
// of life after it; the caller counts the connect time-out until the first and the receive
// time-out from the last.
#include "fw/windows/windows_api.h"

#include <wininet.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "fw/text.h"
#include "fw/windows/wide.h"
#include "net/http_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using fw::windows::Narrow;
using fw::windows::Wide;

constexpr DWORD kChunk = 1024;
constexpr int kMaxRedirects = 10;
// WinInet's own time-outs stay this far above ours: they only end a request thread that was
// given up.
constexpr std::chrono::milliseconds kBackstop{1000};

constexpr DWORD kConnectFlags = INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                // Redirects are followed here, so that every hop's scheme is
                                // checked and https may lead to http as it does elsewhere.
                                INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr DWORD kSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

// An owned WinInet handle.
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

// What a request thread and the caller waiting for it share.
struct Call {
    std::mutex m;
    std::condition_variable cv;
    bool connected = false;   // the connection of the current hop stands
    Clock::time_point since;  // start of the hop's connecting, then the last sign of life
    bool aborted = false;     // Abort() was called while the caller waited
    bool given_up = false;    // the caller stopped waiting: nothing more is wanted
    bool done = false;
    CHttpClient::Result result = CHttpClient::kFailed;
    std::string body;

    // A new hop starts connecting. False when nothing more is wanted.
    bool Connecting() {
        std::lock_guard<std::mutex> l(m);
        connected = false;
        since = Clock::now();
        cv.notify_all();
        return !given_up;
    }
    void Connected() {
        std::lock_guard<std::mutex> l(m);
        connected = true;
        since = Clock::now();
        cv.notify_all();
    }
    // Data or a step of the exchange arrived. False when nothing more is wanted.
    bool Alive() {
        std::lock_guard<std::mutex> l(m);
        if (connected) since = Clock::now();
        return !given_up;
    }
    void Finish(CHttpClient::Result r, std::string b) {
        std::lock_guard<std::mutex> l(m);
        done = true;
        result = r;
        body = std::move(b);
        cv.notify_all();
    }
};

// WinInet's status callback, with the request's call as the handles' context.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    auto* call = reinterpret_cast<Call*>(context);
    if (!call) return;
    switch (status) {
    case INTERNET_STATUS_SENDING_REQUEST: call->Connected(); break;
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_RESPONSE_RECEIVED: call->Alive(); break;
    default: break;
    }
}

CHttpClient::Result FailureOf(DWORD error) {
    return error == ERROR_INTERNET_TIMEOUT ? CHttpClient::kTimedOut : CHttpClient::kFailed;
}

// An address split the way the platform's URL parser splits it: canonicalised without
// encoding anything, then cracked into scheme, host, port and object (path with query).
struct Target {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;
};

bool Split(const std::wstring& address, Target* t) {
    DWORD len = INTERNET_MAX_URL_LENGTH;
    std::wstring canonical(len, L'\0');
    if (!InternetCanonicalizeUrlW(address.c_str(), canonical.data(), &len, ICU_NO_ENCODE)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        canonical.assign(len + 1, L'\0');
        if (!InternetCanonicalizeUrlW(address.c_str(), canonical.data(), &len, ICU_NO_ENCODE)) return false;
    }
    canonical.resize(len);
    std::wstring host(INTERNET_MAX_HOST_NAME_LENGTH + 1, L'\0');
    std::wstring path(canonical.size() + 1, L'\0');
    std::wstring extra(canonical.size() + 1, L'\0');
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(canonical.c_str(), static_cast<DWORD>(canonical.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (parts.dwHostNameLength == 0) return false;
    t->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    t->host.assign(host.c_str(), parts.dwHostNameLength);
    t->port = parts.nPort;
    t->object.assign(path.c_str(), parts.dwUrlPathLength);
    t->object.append(extra.c_str(), parts.dwExtraInfoLength);
    if (t->object.empty() || t->object[0] != L'/') t->object.insert(0, 1, L'/');
    return true;
}

void SetTimeouts(HINTERNET h, const HttpTimeouts& timeouts) {
    const auto ms = [](std::chrono::milliseconds d) {
        return static_cast<DWORD>(std::min<long long>((d + kBackstop).count(), 0x7FFFFFFF));
    };
    DWORD connect = ms(timeouts.connect);
    DWORD receive = ms(timeouts.receive);
    InternetSetOptionW(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(h, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionW(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The Location header of a redirect, resolved against the address it came from and written
// as an address is sent. Empty when there is none.
std::wstring RedirectTarget(HINTERNET request, const std::wstring& from) {
    DWORD size = 0;
    HttpQueryInfoW(request, HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return {};
    location.resize(size / sizeof(wchar_t));
    const std::wstring encoded = Wide(CHttpClient::EncodeAddress(Narrow(location)));
    DWORD len = INTERNET_MAX_URL_LENGTH;
    std::wstring combined(len, L'\0');
    if (!InternetCombineUrlW(from.c_str(), encoded.c_str(), combined.data(), &len, ICU_NO_ENCODE)) return {};
    combined.resize(len);
    return combined;
}

// One request, with its redirects, on the request thread.
CHttpClient::Result Fetch(Call& call, HINTERNET session, std::wstring address, const HttpTimeouts& timeouts,
                          std::string& body) {
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!call.Connecting()) return CHttpClient::kFailed;
        Target t;
        if (!Split(address, &t)) return CHttpClient::kFailed;
        InternetHandle connection(InternetConnectW(
            session, t.host.c_str(), t.port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
            kConnectFlags | (t.secure ? INTERNET_FLAG_SECURE : 0), reinterpret_cast<DWORD_PTR>(&call)));
        if (!connection) return FailureOf(GetLastError());
        InternetHandle request(HttpOpenRequestW(connection.get(), L"GET", t.object.c_str(), L"HTTP/1.0", nullptr,
                                                nullptr, kRequestFlags | (t.secure ? kSecureFlags : 0),
                                                reinterpret_cast<DWORD_PTR>(&call)));
        // A request that could not be made fails where it is sent.
        if (request) {
            InternetSetStatusCallbackW(request.get(), OnStatus);
            SetTimeouts(request.get(), timeouts);
            for (const char* header : CHttpClient::kRequestHeaders) {
                const std::wstring h = Wide(header);
                HttpAddRequestHeadersW(request.get(), h.c_str(), static_cast<DWORD>(h.size()),
                                       HTTP_ADDREQ_FLAG_ADD_IF_NEW);
            }
        }
        if (!request || !HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) return FailureOf(GetLastError());

        DWORD status = 0;
        DWORD size = sizeof status;
        HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        if (IsRedirect(status)) {
            const std::wstring next = RedirectTarget(request.get(), address);
            if (!next.empty()) {
                if (!CHttpClient::IsWebAddress(Narrow(next))) return CHttpClient::kFailed;
                address = next;
                continue;
            }
        }
        // The whole body, zero bytes and all.
        body.clear();
        char chunk[kChunk];
        for (;;) {
            DWORD got = 0;
            if (!InternetReadFile(request.get(), chunk, kChunk, &got)) return FailureOf(GetLastError());
            if (got == 0) return CHttpClient::kReceived;
            if (body.size() + got > CHttpClient::kMaxBody) return CHttpClient::kFailed;
            body.append(chunk, got);
            if (!call.Alive()) return CHttpClient::kFailed;
        }
    }
    return CHttpClient::kFailed;  // too many redirects
}

// The WinInet session, closed when the client and every request thread are done with it.
using SharedSession = std::shared_ptr<InternetHandle>;

// What a request thread is started with; it owns it.
struct RequestStart {
    std::shared_ptr<Call> call;
    SharedSession session;
    std::wstring address;
    HttpTimeouts timeouts;
};

// The request threads are the system's own threads, not the C++ library's, and touch no
// thread_local: the program may end while one of them runs, and the runtime's thread and
// thread-local bookkeeping takes locks that the program's end must not find held by a thread
// that was ended in between (under Wine the program then never ends).
DWORD WINAPI RunRequest(void* param) {
    const std::unique_ptr<RequestStart> start(static_cast<RequestStart*>(param));
    std::string body;
    const CHttpClient::Result result =
        Fetch(*start->call, start->session->get(), std::move(start->address), start->timeouts, body);
    start->call->Finish(result, std::move(body));
    return 0;
}

}  // namespace

struct CHttpClient::Session {
    SharedSession internet;
    std::mutex m;
    bool aborted = false;
    std::shared_ptr<Call> running;  // the call a Get waits for, for Abort
};

CHttpClient::CHttpClient() : m_pSession(std::make_unique<Session>()) {
    const std::wstring agent = Wide(kUserAgent);
    HINTERNET h = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (h) m_pSession->internet = std::make_shared<InternetHandle>(h);
}

CHttpClient::~CHttpClient() = default;

void CHttpClient::Abort() {
    Session& s = *m_pSession;
    std::lock_guard<std::mutex> l(s.m);
    s.aborted = true;
    if (s.running) {
        std::lock_guard<std::mutex> lc(s.running->m);
        s.running->aborted = true;
        s.running->cv.notify_all();
    }
}

CHttpClient::Result CHttpClient::Get(const std::string& address, std::string& response) {
    response.clear();
    if (!IsWebAddress(address)) return kFailed;
    Session& s = *m_pSession;
    auto call = std::make_shared<Call>();
    call->since = Clock::now();
    {
        std::lock_guard<std::mutex> l(s.m);
        if (s.aborted || !s.internet) return kFailed;
        s.running = call;
    }
    const HttpTimeouts limits{std::max(m_timeouts.connect, std::chrono::milliseconds(1)),
                              std::max(m_timeouts.receive, std::chrono::milliseconds(1))};
    Result result = kFailed;
    std::string body;
    bool started = true;
    auto start =
        std::make_unique<RequestStart>(RequestStart{call, s.internet, Wide(EncodeAddress(address)), m_timeouts});
    if (HANDLE thread = CreateThread(nullptr, 0, RunRequest, start.get(), 0, nullptr)) {
        start.release();
        CloseHandle(thread);
    } else {
        started = false;
    }
    if (started) {
        std::unique_lock<std::mutex> l(call->m);
        for (;;) {
            if (call->done) {
                result = call->result;
                body = std::move(call->body);
                break;
            }
            if (call->aborted) break;
            const auto limit = call->since + (call->connected ? limits.receive : limits.connect);
            if (Clock::now() >= limit) {
                result = kTimedOut;
                break;
            }
            call->cv.wait_until(l, limit);
        }
        call->given_up = true;
    }
    {
        std::lock_guard<std::mutex> l(s.m);
        s.running.reset();
    }
    if (result == kReceived) response = fw::SanitizeUtf8(body);
    return result;
}
