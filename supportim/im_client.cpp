#include "supportim/im_client.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <thread>

namespace supportim {
namespace {

constexpr size_t kMaxNotices = 32;

std::string NewSessionId() {
    std::random_device rd;
    std::mt19937_64 gen((static_cast<uint64_t>(rd()) << 32) ^ rd());
    char buf[33];
    std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(gen()),
                  static_cast<unsigned long long>(gen()));
    return buf;
}

}  // namespace

ImClient& ImClient::Instance() {
    static ImClient* client = new ImClient();
    return *client;
}

bool ImClient::Init(const ChatConfig& config) {
    const bool valid = IsValidHost(config.host) && !config.account.empty();
    std::lock_guard<std::mutex> l(mu_);
    if (!transport_) {
        transport_ = MakeTransport();
        if (!transport_) return false;
    }
    if (valid && configured_ && config == config_) return true;
    ++generation_;
    configured_ = valid;
    config_ = valid ? config : ChatConfig{};
    charset_ = SystemCharset();
    sid_ = valid ? NewSessionId() : "";
    registered_ = connected_ = false;
    instance_.clear();
    cursor_ = 0;
    notices_.clear();
    undelivered_.clear();
    pause_ = kFirstPause;
    if (valid && !started_) {
        std::thread([this] { Run(); }).detach();
        started_ = true;
    }
    transport_->Cancel();
    wake_.notify_all();
    return valid;
}

void ImClient::SetCallback(SupportImCallback callback) {
    std::lock_guard<std::mutex> l(mu_);
    callback_ = callback;
    if (callback_ && !undelivered_.empty() && transport_) {
        ++generation_;
        transport_->Cancel();
        wake_.notify_all();
    }
}

bool ImClient::RequestAgent(const std::string& account, const std::string& prefix, const std::string& user) {
    std::lock_guard<std::mutex> l(mu_);
    if (!configured_ || account != config_.account || !registered_ || !connected_) return false;
    Queue({"ask", "prefix=" + FormEncode(prefix) + "&user=" + FormEncode(user)});
    return true;
}

std::string ImClient::Link(const std::string& account, const std::string& group) {
    std::lock_guard<std::mutex> l(mu_);
    if (!configured_ || account != config_.account) return "";
    Queue({"link", "group=" + FormEncode(group)});
    return ChatAddress();
}

void ImClient::Queue(Notice notice) {
    if (notices_.size() >= kMaxNotices) notices_.pop_front();
    notice.form += "&charset=" + FormEncode(charset_);
    notices_.push_back(std::move(notice));
    ++generation_;
    transport_->Cancel();
    wake_.notify_all();
}

std::string ImClient::ChatAddress() const { return "http://" + config_.host + "/cs/chat/?sid=" + sid_; }

HttpReply ImClient::Call(const std::string& host, const std::string& pathAndQuery, const std::string& form,
                         std::chrono::milliseconds timeout) {
    HttpCall call;
    call.url = "http://" + host + "/cs/api/" + pathAndQuery;
    call.form = form;
    call.timeout = timeout;
    return transport_->Perform(call);
}

void ImClient::Run() {
    for (;;) {
        transport_->Reset();
        Step();
    }
}

void ImClient::Step() {
    std::unique_lock<std::mutex> l(mu_);
    if (!configured_) {
        wake_.wait(l, [this] { return configured_; });
        return;
    }
    const uint64_t generation = generation_;
    const std::string host = config_.host;

    // Messages first, to the callback, with no lock held.
    if (callback_ && !undelivered_.empty()) {
        const SupportImCallback callback = callback_;
        const std::string address = ChatAddress();
        std::deque<uint64_t> seqs;
        seqs.swap(undelivered_);
        l.unlock();
        for (uint64_t seq : seqs) {
            const std::string text = address + "#msg-" + std::to_string(seq);
            callback(text.c_str());
        }
        return;
    }

    std::string what, query, form;
    std::chrono::milliseconds timeout = kCallTimeout;
    if (!registered_) {
        what = "register";
        query = "register";
        form = "sid=" + sid_ + "&account=" + FormEncode(config_.account) + "&service=" + FormEncode(config_.service) +
               "&user=" + FormEncode(config_.user) + "&game=" + FormEncode(config_.game) +
               "&fid=" + FormEncode(config_.fid) + "&f5=" + FormEncode(config_.field5) +
               "&f6=" + FormEncode(config_.field6) + "&f7=" + FormEncode(config_.field7) +
               "&type=" + FormEncode(config_.type) + "&charset=" + FormEncode(charset_);
    } else if (!notices_.empty()) {
        what = "notice";
        query = notices_.front().path;
        form = "sid=" + sid_ + "&" + notices_.front().form;
    } else {
        // After a failure the first poll is answered at once, so that the worker knows it is
        // connected again without waiting out a held poll.
        const auto hold = connected_ ? kPollHold : std::chrono::milliseconds(0);
        what = "poll";
        query = "poll?sid=" + sid_ + "&after=" + std::to_string(cursor_) + "&wait=" + std::to_string(hold.count());
        timeout = hold + kCallTimeout;
    }
    l.unlock();
    const HttpReply reply = Call(host, query, form, timeout);
    l.lock();
    if (reply.outcome == HttpReply::kCancelled || generation != generation_) return;

    const bool ok = reply.outcome == HttpReply::kAnswered && reply.status == 200;
    if (reply.outcome == HttpReply::kAnswered && reply.status == 404 && what != "register") {
        registered_ = false;  // the server forgot the session: register again, then go on
        return;
    }
    if (!ok || (what != "notice" && InstanceOf(reply.body).empty())) {
        connected_ = false;
        l.unlock();
        Pause();
        return;
    }
    connected_ = true;
    pause_ = kFirstPause;
    if (what == "notice") {
        notices_.pop_front();
        return;
    }
    const std::string instance = InstanceOf(reply.body);
    if (instance != instance_) {
        // Another session object than the cursor belongs to: count from the start. What a
        // poll brought with it was counted from the old cursor, so poll again.
        instance_ = instance;
        cursor_ = 0;
    } else if (what == "poll") {
        for (uint64_t seq : NewMessages(reply.body, cursor_)) {
            if (undelivered_.size() >= kMaxUndelivered) undelivered_.pop_front();
            undelivered_.push_back(seq);
        }
    }
    if (what == "register") registered_ = true;
}

void ImClient::Pause() {
    std::unique_lock<std::mutex> l(mu_);
    const uint64_t generation = generation_;
    const auto pause = pause_;
    pause_ = std::min(pause_ * 2, kMaxPause);
    wake_.wait_for(l, pause, [&] { return generation != generation_; });
}

}  // namespace supportim
