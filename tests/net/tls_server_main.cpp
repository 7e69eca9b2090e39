// net_tls_server DIR: the HTTP client's TLS test servers as a program of its own, for the
// Windows tests, which run under Wine and have no TLS server library to make them with. Two
// servers on 127.0.0.1, each with a self-signed certificate of its own for other.example,
// answer every request with kTlsBody: the tests trust the first one's certificate and not the
// second's. Each keeps its state in DIR for the tests to read, NAME being "trusted" or
// "untrusted": NAME.der (the certificate), NAME.port, NAME.requests (the request line of each
// request, one a line, written before the answer; a connection that sent none writes
// nothing). The file "ready" comes last. Runs until SIGTERM or SIGINT.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "tests/net/raw_server.h"

namespace {

struct Served {
    net_test::Certificate cert{"other.example"};
    std::ofstream requests;  // before the server, whose thread writes to it
    net_test::RawServer server{net_test::Reply(net_test::kTlsBody), &cert};

    bool Start(const std::string& dir, const std::string& name) {
        requests.open(dir + "/" + name + ".requests", std::ios::app);
        server.OnRequest([this](const std::string& request) {
            if (!request.empty()) requests << request.substr(0, request.find("\r\n")) << std::endl;
        });
        std::ofstream port(dir + "/" + name + ".port");
        port << server.port() << "\n";
        port.close();
        return server.ok() && requests && port && cert.WriteDer(dir + "/" + name + ".der");
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before the servers' threads start

    auto trusted = std::make_unique<Served>();
    auto untrusted = std::make_unique<Served>();
    if (!trusted->Start(dir, "trusted") || !untrusted->Start(dir, "untrusted") || !std::ofstream(dir + "/ready")) {
        std::fprintf(stderr, "net_tls_server: could not start or write its files in %s\n", dir.c_str());
        return 1;
    }
    int sig = 0;
    sigwait(&stop, &sig);
    return 0;
}
