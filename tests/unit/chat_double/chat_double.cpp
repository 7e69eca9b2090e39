// The tests' chat library (chat_double.h): the real library's exports over a little state
// that the test controls, and a worker thread that calls the callback without holding a lock.
#include "tests/unit/chat_double/chat_double.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "supportim/support_im.h"

#ifdef _WIN32
#define CHAT_DOUBLE_API __declspec(dllexport)
#else
#define CHAT_DOUBLE_API __attribute__((visibility("default")))
#endif

namespace {

struct State {
    std::mutex m;
    std::condition_variable wake;
    int initResult = 1;
    int setaccResult = 1;
    std::string link;
    std::string calls;
    SupportImCallback callback = nullptr;
    std::deque<std::string> queue;
    std::atomic<int> delivered{0};
    bool workerStarted = false;
};

State& S() {
    // Never destroyed: the worker may still run while the process ends.
    static State* s = new State;
    return *s;
}

std::string Arg(const char* s) { return s ? s : "(null)"; }

void Record(std::initializer_list<std::string> parts) {
    State& s = S();
    std::lock_guard<std::mutex> l(s.m);
    bool first = true;
    for (const std::string& p : parts) {
        if (!first) s.calls += '\x1f';
        s.calls += p;
        first = false;
    }
    s.calls += '\n';
}

#ifndef CHAT_DOUBLE_WITHOUT_ONGETLOK
void Worker() {
    State& s = S();
    for (;;) {
        std::string text;
        SupportImCallback cb = nullptr;
        {
            std::unique_lock<std::mutex> l(s.m);
            s.wake.wait(l, [&] { return !s.queue.empty() && s.callback; });
            text = std::move(s.queue.front());
            s.queue.pop_front();
            cb = s.callback;
        }
        cb(text.c_str());  // no lock held: the callback may call the exports
        ++s.delivered;
    }
}
#endif

}  // namespace

extern "C" {

#ifndef CHAT_DOUBLE_WITHOUT_INIT
CHAT_DOUBLE_API int SUPPORTIM_CDECL init(const char* host, const char* account, const char* service, const char* userId,
                                         const char* field5, const char* gameId, const char* field6, const char* fId,
                                         const char* field7, const char* chatType) {
    Record({"init", Arg(host), Arg(account), Arg(service), Arg(userId), Arg(field5), Arg(gameId), Arg(field6), Arg(fId),
            Arg(field7), Arg(chatType)});
    std::lock_guard<std::mutex> l(S().m);
    return S().initResult;
}
#endif

#ifndef CHAT_DOUBLE_WITHOUT_ONGETLOK
CHAT_DOUBLE_API int SUPPORTIM_STDCALL ongetlok(SupportImCallback callback) {
    Record({"ongetlok", callback ? "callback" : "(null)"});
    State& s = S();
    std::lock_guard<std::mutex> l(s.m);
    s.callback = callback;
    if (!s.workerStarted) {
        s.workerStarted = true;
        std::thread(Worker).detach();
    }
    s.wake.notify_all();
    return 1;
}
#endif

#ifndef CHAT_DOUBLE_WITHOUT_SETACC
CHAT_DOUBLE_API int SUPPORTIM_CDECL setacc(const char* account, const char* service, const char* askPrefix,
                                           const char* userId) {
    Record({"setacc", Arg(account), Arg(service), Arg(askPrefix), Arg(userId)});
    std::lock_guard<std::mutex> l(S().m);
    return S().setaccResult;
}
#endif

#ifndef CHAT_DOUBLE_WITHOUT_SETLNK
CHAT_DOUBLE_API const char* SUPPORTIM_CDECL setlnk(const char* account, const char* service, const char* serviceGroup,
                                                   const char* askPrefix, const char* userId) {
    Record({"setlnk", Arg(account), Arg(service), Arg(serviceGroup), Arg(askPrefix), Arg(userId)});
    // Valid until the same thread calls again, as the real library promises.
    thread_local std::string text;
    std::lock_guard<std::mutex> l(S().m);
    text = S().link;
    return text.c_str();
}
#endif

CHAT_DOUBLE_API void chat_double_reset(void) {
    State& s = S();
    std::lock_guard<std::mutex> l(s.m);
    s.initResult = 1;
    s.setaccResult = 1;
    s.link.clear();
    s.calls.clear();
    s.callback = nullptr;
    s.queue.clear();
}

CHAT_DOUBLE_API void chat_double_answer(int initResult, int setaccResult, const char* link) {
    State& s = S();
    std::lock_guard<std::mutex> l(s.m);
    s.initResult = initResult;
    s.setaccResult = setaccResult;
    s.link = link ? link : "";
}

CHAT_DOUBLE_API int chat_double_calls(char* buffer, int size) {
    State& s = S();
    std::lock_guard<std::mutex> l(s.m);
    if (buffer && size > 0) {
        const std::size_t n = std::min(s.calls.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, s.calls.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(s.calls.size());
}

CHAT_DOUBLE_API void chat_double_deliver(const char* utf8Text) {
    State& s = S();
    std::lock_guard<std::mutex> l(s.m);
    s.queue.emplace_back(utf8Text ? utf8Text : "");
    s.wake.notify_all();
}

CHAT_DOUBLE_API int chat_double_delivered(void) { return S().delivered.load(); }

}  // extern "C"
