// The test server's sockets on Windows (Winsock).
#include <winsock2.h>
#include <ws2tcpip.h>

#include "beat_server.h"

namespace test_socket {

namespace {
bool Started() {
    static const bool ok = [] {
        WSADATA d;
        return WSAStartup(MAKEWORD(2, 2), &d) == 0;
    }();
    return ok;
}
bool Ready(Socket s, int timeoutMs) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    return WSAPoll(&p, 1, timeoutMs) > 0;
}
}  // namespace

Socket ListenLoopback(int& port) {
    if (!Started()) return kNoSocket;
    const SOCKET fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd == INVALID_SOCKET) return kNoSocket;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        closesocket(fd);
        return kNoSocket;
    }
    port = ntohs(a.sin_port);
    return static_cast<Socket>(fd);
}

Socket AcceptWithin(Socket listener, int timeoutMs) {
    if (!Ready(listener, timeoutMs)) return kNoSocket;
    const SOCKET c = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return c == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(c);
}

int ReceiveWithin(Socket s, char* buffer, int size, int timeoutMs) {
    if (!Ready(s, timeoutMs)) return -1;
    const int n = recv(static_cast<SOCKET>(s), buffer, size, 0);
    return n < 0 ? -1 : n;
}

bool SendAll(Socket s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = send(static_cast<SOCKET>(s), data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void Close(Socket s) { closesocket(static_cast<SOCKET>(s)); }

}  // namespace test_socket
