// CHttpClient on libcurl. The session is a multi handle with one easy handle that every call
// sets up anew; the multi interface lets the call watch the silence on the connection itself,
// which is how the receive time-out is measured (to the millisecond, from the moment the
// connection stands until the last byte).
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "fw/text.h"
#include "net/http_client.h"

namespace {

using Clock = std::chrono::steady_clock;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What one call collects while curl runs it.
struct Transfer {
    std::string body;
    bool connected = false;  // the connection stands; silence counts from here
    bool tooLong = false;
    Clock::time_point lastActivity = Clock::now();
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->lastActivity = Clock::now();
    if (t->body.size() + n > CHttpClient::kMaxBody) {
        t->tooLong = true;
        return 0;  // ends the transfer with a write error
    }
    t->body.append(data, n);
    return n;
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
    static_cast<Transfer*>(user)->lastActivity = Clock::now();
    return size * count;
}

// Called once a connection stands (after the TLS handshake), before the request goes out;
// again for the new connection of a redirect.
int OnConnected(void* user, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    t->connected = true;
    t->lastActivity = Clock::now();
    return CURL_PREREQFUNC_OK;
}

}  // namespace

struct CHttpClient::Session {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::atomic<bool> aborted{false};

    Session() {
        GlobalInit();
        multi = curl_multi_init();
        easy = curl_easy_init();
        for (const char* h : kRequestHeaders) {
            curl_slist* grown = curl_slist_append(headers, h);
            if (!grown) break;
            headers = grown;
        }
    }
    ~Session() {
        curl_slist_free_all(headers);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
    }
    bool ok() const { return multi && easy && headers; }
};

CHttpClient::CHttpClient() : m_pSession(std::make_unique<Session>()) {}

CHttpClient::~CHttpClient() = default;

void CHttpClient::Abort() {
    m_pSession->aborted = true;
    if (m_pSession->multi) curl_multi_wakeup(m_pSession->multi);
}

CHttpClient::Result CHttpClient::Get(const std::string& address, std::string& response) {
    response.clear();
    if (!IsWebAddress(address)) return kFailed;
    Session& s = *m_pSession;
    if (!s.ok() || s.aborted) return kFailed;

    CURL* e = s.easy;
    curl_easy_reset(e);
    Transfer t;
    const std::string url = EncodeAddress(address);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, s.headers);
    // A connection of its own for every call, closed afterwards.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<long long>(1, m_timeouts.connect.count())));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);  // host-name mismatch accepted (see the header)
    if (!m_strTrustFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, m_strTrustFile.c_str());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);

    if (curl_multi_add_handle(s.multi, e) != CURLM_OK) return kFailed;
    const auto receive = std::max(m_timeouts.receive, std::chrono::milliseconds(1));
    bool silent = false;
    bool broken = false;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(s.multi, &running) != CURLM_OK) {
            broken = true;
            break;
        }
        if (!running) break;
        if (s.aborted) {
            broken = true;
            break;
        }
        int waitMs = 1000;  // curl shortens it for its own timers (the connect time-out)
        if (t.connected) {
            const auto quiet = Clock::now() - t.lastActivity;
            if (quiet >= receive) {
                silent = true;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(receive - quiet).count() + 1;
            waitMs = static_cast<int>(std::min<long long>(waitMs, left));
        }
        if (curl_multi_poll(s.multi, nullptr, 0, waitMs, nullptr) != CURLM_OK || s.aborted) {
            broken = true;
            break;
        }
    }
    CURLcode code = CURLE_OK;
    bool done = false;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(s.multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) {
            code = msg->data.result;
            done = true;
        }
    }
    curl_multi_remove_handle(s.multi, e);

    if (silent) return kTimedOut;
    if (broken || !done || t.tooLong) return kFailed;
    if (code == CURLE_OPERATION_TIMEDOUT) return kTimedOut;
    if (code != CURLE_OK) return kFailed;
    response = fw::SanitizeUtf8(t.body);
    return kReceived;
}
