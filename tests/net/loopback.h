// Listening sockets on 127.0.0.1 for tests that need a server which behaves badly: one that
// never accepts, or whose accept queue is full.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net_test {

// A socket listening on 127.0.0.1 at a port the system picks. Connections wait in its accept
// queue (up to `backlog` + 1 of them; further ones get no answer at all) until someone
// accepts them.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0 && listen(fd_, backlog) == 0 &&
              getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0;
        addr_ = a;
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackListener() {
        for (int c : clients_) close(c);
        close(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool ok() const { return ok_; }
    int fd() const { return fd_; }
    int port() const { return port_; }
    // Connects a client of the test's own (kept open until the listener goes); false when
    // the connection was not made.
    bool ConnectOne() {
        const int c = socket(AF_INET, SOCK_STREAM, 0);
        clients_[count_++ % 4] = c;
        return connect(c, reinterpret_cast<const sockaddr*>(&addr_), sizeof addr_) == 0;
    }

private:
    int fd_;
    bool ok_ = false;
    sockaddr_in addr_{};
    int port_ = 0;
    int clients_[4] = {-1, -1, -1, -1};
    int count_ = 0;
};

}  // namespace net_test
