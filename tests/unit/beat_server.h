#pragma once
// A small HTTP server on 127.0.0.1 for the heartbeat's tests: it records the target of every
// request and answers each with the body the test sets, or holds it without an answer.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_socket {

// A socket of the system's (a file descriptor, or a Windows SOCKET).
using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

// Listens on 127.0.0.1 at a port the system picks (`port` says which).
Socket ListenLoopback(int& port);
// A connection that arrives within `timeoutMs`, or kNoSocket.
Socket AcceptWithin(Socket listener, int timeoutMs);
// Bytes received within `timeoutMs`: the count, 0 when the peer closed, -1 on a time-out or
// an error.
int ReceiveWithin(Socket s, char* buffer, int size, int timeoutMs);
bool SendAll(Socket s, const std::string& data);
void Close(Socket s);

}  // namespace test_socket

class BeatServer {
public:
    BeatServer();
    ~BeatServer();
    BeatServer(const BeatServer&) = delete;
    BeatServer& operator=(const BeatServer&) = delete;

    bool ok() const { return m_listener != test_socket::kNoSocket; }
    // "127.0.0.1:<port>", as static.ini names a host.
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

    // The body of later answers.
    void SetAnswer(const std::string& body);
    // Later requests get no answer at all (the connection stays open until the server goes).
    void SetSilent(bool silent);
    // The request targets received, in order ("/?m=game&c=...").
    std::vector<std::string> Targets();
    // Waits until `n` requests have come; false on time-out.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    void Serve();
    void Handle(test_socket::Socket s);

    test_socket::Socket m_listener = test_socket::kNoSocket;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_answer = "1";
    bool m_silent = false;
    bool m_stop = false;
    std::vector<std::string> m_targets;
    std::vector<test_socket::Socket> m_held;
    std::thread m_thread;
};
