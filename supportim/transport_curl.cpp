// The library's transport on libcurl: one easy handle run by a multi handle on the worker
// thread, so that another thread can wake it (curl_multi_wakeup) and cancel the call; the
// multi handle keeps the connection to the server between calls.
#include <curl/curl.h>

#include <atomic>
#include <mutex>

#include "supportim/platform.h"

namespace supportim {
namespace {

constexpr size_t kMaxBody = 1u << 20;
constexpr long kConnectTimeoutMs = 5000;

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    const size_t n = size * count;
    if (body->size() + n > kMaxBody) return 0;
    body->append(data, n);
    return n;
}

class CurlTransport final : public Transport {
public:
    CurlTransport() : multi_(curl_multi_init()), easy_(curl_easy_init()) {}
    ~CurlTransport() override {
        if (easy_) curl_easy_cleanup(easy_);
        if (multi_) curl_multi_cleanup(multi_);
    }
    bool ok() const { return multi_ && easy_; }

    HttpReply Perform(const HttpCall& call) override {
        HttpReply reply;
        if (cancelled_) {
            reply.outcome = HttpReply::kCancelled;
            return reply;
        }
        CURL* e = easy_;
        curl_easy_reset(e);
        curl_easy_setopt(e, CURLOPT_URL, call.url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(call.timeout.count()));
        curl_easy_setopt(e, CURLOPT_USERAGENT, "SupportIM/1.0");
        if (!call.form.empty()) {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, static_cast<long>(call.form.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, call.form.c_str());
        }
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &reply.body);
        if (curl_multi_add_handle(multi_, e) != CURLM_OK) return reply;

        bool stopped = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi_, &running) != CURLM_OK || !running) break;
            if (cancelled_) {
                stopped = true;
                break;
            }
            if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
            if (cancelled_) {
                stopped = true;
                break;
            }
        }
        CURLcode code = CURLE_RECV_ERROR;
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) code = msg->data.result;
        }
        curl_multi_remove_handle(multi_, e);
        if (stopped) {
            reply.outcome = HttpReply::kCancelled;
            reply.body.clear();
        } else if (code == CURLE_OK) {
            reply.outcome = HttpReply::kAnswered;
            curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply.status);
        } else {
            reply.body.clear();
        }
        return reply;
    }

    void Cancel() override {
        cancelled_ = true;
        curl_multi_wakeup(multi_);
    }
    void Reset() override { cancelled_ = false; }

private:
    CURLM* multi_;
    CURL* easy_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace

std::unique_ptr<Transport> MakeTransport() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto t = std::make_unique<CurlTransport>();
    if (!t->ok()) return nullptr;
    return t;
}

}  // namespace supportim
