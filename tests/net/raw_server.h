// A small HTTP server of the tests' own on 127.0.0.1 that records each raw request and answers
// with exact bytes (or keeps silent), for the HTTP client's tests on every platform. Off
// Windows it also speaks TLS with a self-signed certificate made on the spot (OpenSSL); the
// Windows tests reach such a server run from Linux (tls_server_main.cpp).
#pragma once

#ifndef _WIN32
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/net/loopback.h"

namespace net_test {

// The body that the TLS server for the Windows tests answers with.
constexpr const char* kTlsBody = "安全心跳 1";

inline std::string Reply(const std::string& body, const std::string& status = "200 OK") {
    return "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

// The request line and header lines of a raw request, without their line ends.
inline std::vector<std::string> HeaderLines(const std::string& request) {
    std::vector<std::string> lines;
    for (size_t at = 0;;) {
        const size_t end = request.find("\r\n", at);
        if (end == std::string::npos || end == at) break;
        lines.push_back(request.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

#ifndef _WIN32
// A self-signed certificate (usable as its own trust anchor) for `host`, with its key.
struct Certificate {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;

    explicit Certificate(const char* host) {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 7);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        const std::string san = std::string("DNS:") + host;
        for (auto [nid, value] : {std::pair<int, const char*>{NID_basic_constraints, "critical,CA:TRUE"},
                                  {NID_subject_alt_name, san.c_str()}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        X509_sign(cert, key, EVP_sha256());
    }
    ~Certificate() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    Certificate(const Certificate&) = delete;
    Certificate& operator=(const Certificate&) = delete;

    bool WritePem(const std::string& path) const {
        FILE* f = std::fopen(path.c_str(), "w");
        if (!f) return false;
        const bool ok = PEM_write_X509(f, cert) == 1;
        return std::fclose(f) == 0 && ok;
    }
    bool WriteDer(const std::string& path) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        const bool ok = i2d_X509_fp(f, cert) == 1;
        return std::fclose(f) == 0 && ok;
    }
};
#endif

// The server: one thread accepting connections, and one more for each connection, so that a
// client that connects and never sends (a program that ended in the middle of a request, whose
// connection the system may leave open for a while) holds up only its own connection. Each
// request is read up to its blank line and recorded; then the server sends `reply` and closes,
// or, when silent, holds the connection open after the reply until the server goes.
class RawServer {
public:
#ifdef _WIN32
    explicit RawServer(std::string reply) : reply_(std::move(reply)), listener_(8) { Start(); }
#else
    explicit RawServer(std::string reply, const Certificate* tls = nullptr) : reply_(std::move(reply)), listener_(8) {
        if (tls) {
            ctx_ = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate(ctx_, tls->cert);
            SSL_CTX_use_PrivateKey(ctx_, tls->key);
        }
        Start();
    }
#endif
    ~RawServer() {
        wake_.Wake();
        thread_.join();
        // A connection's thread may be blocked in a read or write (a TLS handshake that never
        // comes); shutting its socket down ends that.
        for (auto& c : served_) shutdown(c->fd, 2 /* both directions */);
        for (auto& c : served_) c->Reap();
#ifndef _WIN32
        if (ctx_) SSL_CTX_free(ctx_);
#endif
    }
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    void SetSilent(bool silent) { silent_ = silent; }
    // Called on a connection's thread with each request, as it is recorded.
    void OnRequest(std::function<void(const std::string&)> f) {
        std::lock_guard<std::mutex> l(m_);
        on_request_ = std::move(f);
    }
    std::string Url(const std::string& path, const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_) + path;
    }
    bool ok() const { return listener_.ok() && wake_.ok(); }
    int port() const { return port_; }
    int connections() const { return connections_; }
    std::vector<std::string> requests() const {
        std::lock_guard<std::mutex> l(m_);
        return requests_;
    }

private:
    struct Connection {
        SocketFd fd;
        std::atomic<bool> done{false};
        std::thread thread;

        void Reap() {
            thread.join();
            CloseSocket(fd);
        }
    };

    void Start() {
        port_ = listener_.port();
        thread_ = std::thread([this] { Run(); });
    }
    // Until `fd` is readable (true) or the server is told to stop (false).
    bool WaitReadable(SocketFd fd) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
        return Poll(p, 2, -1) > 0 && !(p[1].revents & POLLIN);
    }
    void Run() {
        while (WaitReadable(listener_.fd())) {
            const SocketFd c = accept(listener_.fd(), nullptr, nullptr);
            if (c == kNoSocket) continue;
            ++connections_;
            // A socket is closed only here or by the destructor, after its thread has ended:
            // its number cannot be reused while the destructor may still shut it down.
            served_.erase(std::remove_if(served_.begin(), served_.end(),
                                         [](const std::unique_ptr<Connection>& s) {
                                             if (!s->done) return false;
                                             s->Reap();
                                             return true;
                                         }),
                          served_.end());
            auto conn = std::make_unique<Connection>();
            conn->fd = c;
            Connection* raw = conn.get();
            conn->thread = std::thread([this, raw] {
                Serve(raw->fd);
                raw->done = true;
            });
            served_.push_back(std::move(conn));
        }
    }
#ifdef _WIN32
    using Tls = void*;
#else
    using Tls = SSL*;
#endif
    // Reads what is there (TLS or plain); 0 or less at the end.
    static int Read(Tls tls, SocketFd c, char* buf, int size) {
#ifndef _WIN32
        if (tls) return SSL_read(tls, buf, size);
#else
        (void)tls;
#endif
        return static_cast<int>(recv(c, buf, size, 0));
    }
    static bool Write(Tls tls, SocketFd c, const std::string& bytes) {
#ifndef _WIN32
        if (tls) {
            for (size_t at = 0; at < bytes.size();) {
                const size_t chunk = std::min<size_t>(bytes.size() - at, 65536);
                const int n = SSL_write(tls, bytes.data() + at, static_cast<int>(chunk));
                if (n <= 0) return false;
                at += static_cast<size_t>(n);
            }
            return true;
        }
#else
        (void)tls;
#endif
        return SendAll(c, bytes);
    }
    void Serve(SocketFd c) {
        Tls tls = nullptr;
#ifndef _WIN32
        if (ctx_) {
            tls = SSL_new(ctx_);
            SSL_set_fd(tls, c);
            if (SSL_accept(tls) <= 0) {
                SSL_free(tls);
                return;
            }
        }
#endif
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(c)) {
            const int n = Read(tls, c, buf, sizeof buf);
            if (n <= 0) break;
            request.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> l(m_);
            requests_.push_back(request);
            if (on_request_) on_request_(request);
        }
        Write(tls, c, reply_);
        if (silent_) WaitReadable(wake_.fd());  // until the server goes (the client may hang up first)
#ifndef _WIN32
        if (tls) {
            SSL_shutdown(tls);
            SSL_free(tls);
        }
#endif
        // The end of the connection for the client, as a close would be.
        shutdown(c, 2 /* both directions */);
    }

    std::string reply_;
#ifndef _WIN32
    SSL_CTX* ctx_ = nullptr;
#endif
    LoopbackListener listener_;
    WakePair wake_;
    int port_ = 0;
    std::atomic<bool> silent_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex m_;
    std::vector<std::string> requests_;
    std::function<void(const std::string&)> on_request_;
    std::vector<std::unique_ptr<Connection>> served_;  // the accepting thread's until it has ended
    std::thread thread_;
};

}  // namespace net_test
