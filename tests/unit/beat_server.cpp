#include "beat_server.h"

BeatServer::BeatServer() {
    m_listener = test_socket::ListenLoopback(m_port);
    if (ok()) m_thread = std::thread([this] { Serve(); });
}

BeatServer::~BeatServer() {
    {
        std::lock_guard<std::mutex> l(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable()) m_thread.join();
    for (test_socket::Socket s : m_held) test_socket::Close(s);
    if (ok()) test_socket::Close(m_listener);
}

void BeatServer::SetAnswer(const std::string& body) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_answer = body;
}

void BeatServer::SetSilent(bool silent) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_silent = silent;
}

std::vector<std::string> BeatServer::Targets() {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_targets;
}

bool BeatServer::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> l(m_mutex);
    return m_changed.wait_for(l, timeout, [&] { return m_targets.size() >= n; });
}

void BeatServer::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> l(m_mutex);
            if (m_stop) return;
        }
        const test_socket::Socket s = test_socket::AcceptWithin(m_listener, 20);
        if (s != test_socket::kNoSocket) Handle(s);
    }
}

void BeatServer::Handle(test_socket::Socket s) {
    // One request per connection (HTTP/1.0): its head up to the empty line.
    std::string head;
    char buf[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const int n = test_socket::ReceiveWithin(s, buf, sizeof buf, 5000);
        if (n <= 0) break;
        head.append(buf, static_cast<std::size_t>(n));
    }
    // "GET <target> HTTP/1.0"
    const std::size_t a = head.find(' ');
    const std::size_t b = a == std::string::npos ? a : head.find(' ', a + 1);
    std::string answer;
    bool silent = false;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (b != std::string::npos) m_targets.push_back(head.substr(a + 1, b - a - 1));
        answer = m_answer;
        silent = m_silent;
        m_changed.notify_all();
    }
    if (silent) {
        m_held.push_back(s);
        return;
    }
    test_socket::SendAll(s, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                std::to_string(answer.size()) + "\r\nConnection: close\r\n\r\n" + answer);
    test_socket::Close(s);
}
