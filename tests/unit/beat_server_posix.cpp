// The test server's sockets on POSIX systems.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "beat_server.h"

namespace test_socket {

namespace {
bool Ready(Socket s, int timeoutMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}
}  // namespace

Socket ListenLoopback(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return kNoSocket;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return kNoSocket;
    }
    port = ntohs(a.sin_port);
    return fd;
}

Socket AcceptWithin(Socket listener, int timeoutMs) {
    if (!Ready(listener, timeoutMs)) return kNoSocket;
    const int c = accept(static_cast<int>(listener), nullptr, nullptr);
    return c < 0 ? kNoSocket : c;
}

int ReceiveWithin(Socket s, char* buffer, int size, int timeoutMs) {
    if (!Ready(s, timeoutMs)) return -1;
    const ssize_t n = recv(static_cast<int>(s), buffer, static_cast<size_t>(size), 0);
    return n < 0 ? -1 : static_cast<int>(n);
}

bool SendAll(Socket s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(static_cast<int>(s), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void Close(Socket s) { close(static_cast<int>(s)); }

}  // namespace test_socket
