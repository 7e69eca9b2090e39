// Sockets on 127.0.0.1 for tests that need a server of their own or one that behaves badly:
// one that never accepts, or whose accept queue is full. The same code on POSIX and on
// Windows (Winsock, which Wine runs on the host's sockets).
#pragma once

#ifdef _WIN32
#include "fw/windows/windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <string>

namespace net_test {

#ifdef _WIN32
using SocketFd = SOCKET;
constexpr SocketFd kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
inline void CloseSocket(SocketFd s) { closesocket(s); }
inline int Poll(pollfd* fds, unsigned n, int timeoutMs) { return WSAPoll(fds, n, timeoutMs); }
// Winsock is started once for the process and never stopped.
inline void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#else
using SocketFd = int;
constexpr SocketFd kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
inline void CloseSocket(SocketFd s) { close(s); }
inline int Poll(pollfd* fds, unsigned n, int timeoutMs) { return poll(fds, n, timeoutMs); }
inline void StartSockets() {}
#endif

inline SocketFd NewTcpSocket() {
    StartSockets();
    return socket(AF_INET, SOCK_STREAM, 0);
}

inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<unsigned short>(port));
    return a;
}

// Sends all of `bytes`; false when the connection broke first.
inline bool SendAll(SocketFd s, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        const int n = send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), kSendFlags);
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// A socket listening on 127.0.0.1 at a port the system picks (or `port`). Connections wait in
// its accept queue (up to `backlog` + 1 of them; further ones get no answer at all) until
// someone accepts them.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog, int port = 0) : fd_(NewTcpSocket()) {
        sockaddr_in a = LoopbackAddress(port);
        socklen_t len = sizeof a;
        if (port != 0) {
            // Listening again on the port of a server that just went away.
            const int on = 1;
            setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
        }
        ok_ = fd_ != kNoSocket && bind(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0 && listen(fd_, backlog) == 0 &&
              getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0;
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() {
        for (SocketFd c : clients_) {
            if (c != kNoSocket) CloseSocket(c);
        }
        if (fd_ != kNoSocket) CloseSocket(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool ok() const { return ok_; }
    SocketFd fd() const { return fd_; }
    int port() const { return port_; }
    // Connects a client of the test's own (kept open until the listener goes); false when
    // the connection was not made.
    bool ConnectOne() {
        const SocketFd c = NewTcpSocket();
        SocketFd& slot = clients_[count_++ % 4];
        if (slot != kNoSocket) CloseSocket(slot);
        slot = c;
        const sockaddr_in a = LoopbackAddress(port_);
        return connect(c, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }

private:
    SocketFd fd_;
    bool ok_ = false;
    int port_ = 0;
    SocketFd clients_[4] = {kNoSocket, kNoSocket, kNoSocket, kNoSocket};
    int count_ = 0;
};

// Two connected sockets: what one end sends, the other can poll for. A server thread polls
// its wake end beside its sockets, and anyone may wake it with Wake().
class WakePair {
public:
    WakePair() {
        LoopbackListener l(1);
        if (!l.ok()) return;
        send_ = NewTcpSocket();
        const sockaddr_in a = LoopbackAddress(l.port());
        if (connect(send_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            receive_ = accept(l.fd(), nullptr, nullptr);
        }
    }
    ~WakePair() {
        if (send_ != kNoSocket) CloseSocket(send_);
        if (receive_ != kNoSocket) CloseSocket(receive_);
    }
    WakePair(const WakePair&) = delete;
    WakePair& operator=(const WakePair&) = delete;

    bool ok() const { return receive_ != kNoSocket; }
    SocketFd fd() const { return receive_; }
    void Wake() { send(send_, "x", 1, kSendFlags); }

private:
    SocketFd send_ = kNoSocket;
    SocketFd receive_ = kNoSocket;
};

}  // namespace net_test
