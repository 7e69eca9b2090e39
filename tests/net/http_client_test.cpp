// CHttpClient against real sockets on 127.0.0.1: a small server of the test's own that records
// the raw request and answers with exact bytes (or keeps silent), with TLS from a certificate
// the test makes for another host name.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/http_client.h"
#include "tests/net/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A self-signed certificate (usable as its own trust anchor) for `host`, with its key, and
// the certificate as a PEM file for the client to trust.
struct Certificate {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    std::string pemPath;

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
        pemPath = (std::filesystem::temp_directory_path() / ("rv-net-cert-" + std::to_string(getpid()) + ".pem"));
        FILE* f = std::fopen(pemPath.c_str(), "w");
        PEM_write_X509(f, cert);
        std::fclose(f);
    }
    ~Certificate() {
        std::filesystem::remove(pemPath);
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

// The server: one thread accepting connections one after the other. Each request is read up
// to its blank line and recorded; then the server sends `reply` and closes, or, when silent,
// holds the connection open after the reply until the server goes.
class RawServer {
public:
    explicit RawServer(std::string reply, const Certificate* tls = nullptr) : reply_(std::move(reply)), listener_(8) {
        if (tls) {
            ctx_ = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate(ctx_, tls->cert);
            SSL_CTX_use_PrivateKey(ctx_, tls->key);
        }
        port_ = listener_.port();
        pipe(wake_);
        thread_ = std::thread([this] { Run(); });
    }
    ~RawServer() {
        stop_ = true;
        (void)!write(wake_[1], "x", 1);
        thread_.join();
        close(wake_[0]);
        close(wake_[1]);
        if (ctx_) SSL_CTX_free(ctx_);
    }
    void SetSilent(bool silent) { silent_ = silent; }
    std::string Url(const std::string& path, const char* scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }
    int connections() const { return connections_; }
    std::vector<std::string> requests() const {
        std::lock_guard<std::mutex> l(m_);
        return requests_;
    }

private:
    bool WaitReadable(int fd) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        return poll(p, 2, -1) > 0 && !(p[1].revents & POLLIN);
    }
    void Run() {
        while (WaitReadable(listener_.fd())) {
            const int c = accept(listener_.fd(), nullptr, nullptr);
            if (c < 0) continue;
            ++connections_;
            Serve(c);
            close(c);
        }
    }
    void Serve(int c) {
        SSL* ssl = nullptr;
        if (ctx_) {
            ssl = SSL_new(ctx_);
            SSL_set_fd(ssl, c);
            if (SSL_accept(ssl) <= 0) {
                SSL_free(ssl);
                return;
            }
        }
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(c)) {
            const int n = ssl ? SSL_read(ssl, buf, sizeof buf) : static_cast<int>(read(c, buf, sizeof buf));
            if (n <= 0) break;
            request.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> l(m_);
            requests_.push_back(request);
        }
        for (size_t at = 0; at < reply_.size();) {
            const size_t chunk = std::min<size_t>(reply_.size() - at, 65536);
            const int n = ssl ? SSL_write(ssl, reply_.data() + at, static_cast<int>(chunk))
                              : static_cast<int>(send(c, reply_.data() + at, chunk, MSG_NOSIGNAL));
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        if (silent_) WaitReadable(wake_[0]);  // until the server goes (the client may hang up first)
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
    }

    std::string reply_;
    SSL_CTX* ctx_ = nullptr;
    net_test::LoopbackListener listener_;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::atomic<bool> silent_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex m_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

std::string Reply(const std::string& body, const std::string& status = "200 OK") {
    return "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::vector<std::string> HeaderLines(const std::string& request) {
    std::vector<std::string> lines;
    for (size_t at = 0;;) {
        const size_t end = request.find("\r\n", at);
        if (end == std::string::npos || end == at) break;
        lines.push_back(request.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(HttpClient, AnswersFailedAtOnceForAnythingButHttpAndHttps) {
    RawServer server(Reply("1"));
    CHttpClient client;
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    for (const std::string& address : {server.Url("/x", "ftp"), std::string("file:///etc/hostname"),
                                       server.Url("/x", "gopher"), server.Url("/x", "httpx"), hostPort + "/x",
                                       std::string(""), std::string("http:/") + hostPort}) {
        std::string response = "stale";
        const auto t0 = Clock::now();
        EXPECT_EQ(client.Get(address, response), CHttpClient::kFailed) << address;
        EXPECT_EQ(response, "") << address;
        EXPECT_LT(Clock::now() - t0, milliseconds(500)) << address;
    }
    EXPECT_EQ(server.connections(), 0);
    // The scheme is matched in any letter case.
    std::string response;
    EXPECT_EQ(client.Get(server.Url("/x", "HTTP"), response), CHttpClient::kReceived);
    EXPECT_EQ(response, "1");
}

TEST(HttpClient, SendsTheHeadersInTheirOrderOverHttp10AndEncodesTheAddress) {
    RawServer server(Reply("1"));
    CHttpClient client;
    std::string response;
    ASSERT_EQ(client.Get(server.Url("/?m=game&c=heartbeat&userid=心 跳&type=cs"), response), CHttpClient::kReceived);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto lines = HeaderLines(requests[0]);
    ASSERT_GE(lines.size(), 6u) << requests[0];
    EXPECT_EQ(lines[0], "GET /?m=game&c=heartbeat&userid=%E5%BF%83%20%E8%B7%B3&type=cs HTTP/1.0");
    std::vector<std::string> named;  // every header but Host, in order
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].rfind("Host: ", 0) != 0) named.push_back(lines[i]);
    }
    EXPECT_EQ(named, (std::vector<std::string>{std::string("User-Agent: ") + CHttpClient::kUserAgent,
                                               "Accept: *,*/*", "Accept-Language: zh-cn",
                                               "Content-Type: application/x-www-form-urlencoded"}));
}

TEST(HttpClient, KeepsTheWholeBodyAsUtf8) {
    CHttpClient client;
    std::string response;
    {
        RawServer server(Reply("心跳正常：1，龙焰服"));
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kReceived);
        EXPECT_EQ(response, "心跳正常：1，龙焰服");
    }
    {
        // A zero byte early in a long body: nothing after it is lost, in that chunk or later.
        std::string body = std::string("ab\0cd", 5) + std::string(3000, 'x') + "尾";
        body[1500] = '\0';
        RawServer server(Reply(body));
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kReceived);
        EXPECT_EQ(response, body);
    }
    {
        // Invalid UTF-8 becomes U+FFFD; an error status is still a body.
        RawServer server(Reply("0\xFF\xC0\xAF!", "500 Internal Server Error"));
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kReceived);
        EXPECT_EQ(response, "0\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!");
    }
    {
        // A redirect is followed within http; one to another scheme is refused.
        RawServer target(Reply("moved here"));
        RawServer server("HTTP/1.0 302 Found\r\nLocation: " + target.Url("/new") + "\r\nContent-Length: 0\r\n\r\n");
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kReceived);
        EXPECT_EQ(response, "moved here");
        RawServer toFile("HTTP/1.0 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n");
        EXPECT_EQ(client.Get(toFile.Url("/"), response), CHttpClient::kFailed);
        EXPECT_EQ(response, "");
    }
    {
        RawServer server(Reply(std::string(CHttpClient::kMaxBody + 1, '1')));
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kFailed);
        EXPECT_EQ(response, "");
    }
}

TEST(HttpClient, TimesOutWithinTheTimesSetOnASilentOrUnreachableServer) {
    CHttpClient client;
    client.SetTimeouts({milliseconds(2000), milliseconds(300)});
    std::string response = "stale";
    for (const std::string& reply : {std::string(), std::string("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart")}) {
        // Silent from the start, or after the headers and part of the body (which is not
        // handed out).
        RawServer server(reply);
        server.SetSilent(true);
        const auto t0 = Clock::now();
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kTimedOut) << reply;
        const auto took = Clock::now() - t0;
        EXPECT_GE(took, milliseconds(300));
        EXPECT_LT(took, milliseconds(2000));
        EXPECT_EQ(response, "");
    }
    {
        // A connection that is never taken: a listening socket whose accept queue is full
        // drops further connection requests, so connecting hangs until the connect time-out.
        net_test::LoopbackListener full(0);
        ASSERT_TRUE(full.ok());
        ASSERT_TRUE(full.ConnectOne());
        CHttpClient connecting;
        connecting.SetTimeouts({milliseconds(300), milliseconds(5000)});
        const auto t0 = Clock::now();
        EXPECT_EQ(connecting.Get("http://127.0.0.1:" + std::to_string(full.port()) + "/", response),
                  CHttpClient::kTimedOut);
        const auto took = Clock::now() - t0;
        // libcurl's own connect timer may fire a fraction of a millisecond early.
        EXPECT_GE(took, milliseconds(290));
        EXPECT_LT(took, milliseconds(2000));
    }
    {
        // Refused at once: a failure, not a time-out; the same client goes on working after it.
        int port = 0;
        {
            RawServer gone(Reply("1"));
            port = gone.port();
        }
        EXPECT_EQ(client.Get("http://127.0.0.1:" + std::to_string(port) + "/", response), CHttpClient::kFailed);
        RawServer server(Reply("1"));
        EXPECT_EQ(client.Get(server.Url("/"), response), CHttpClient::kReceived);
    }
}

TEST(HttpClient, AbortFromAnotherThreadEndsTheRunningCallAndLaterOnes) {
    RawServer server("");
    server.SetSilent(true);
    CHttpClient client;  // the default time-outs: 30 s
    int result = -1;
    std::string response = "stale";
    std::thread worker([&] { result = client.Get(server.Url("/"), response); });
    while (server.requests().empty()) std::this_thread::sleep_for(milliseconds(10));
    const auto t0 = Clock::now();
    client.Abort();
    worker.join();
    EXPECT_LT(Clock::now() - t0, milliseconds(1000));
    EXPECT_EQ(result, CHttpClient::kFailed);
    EXPECT_EQ(response, "");
    RawServer answering(Reply("1"));
    EXPECT_EQ(client.Get(answering.Url("/"), response), CHttpClient::kFailed);
    EXPECT_EQ(answering.connections(), 0);
}

TEST(HttpClient, FetchesHttpsWhoseCertificateNamesAnotherHostButVerifiesTheChain) {
    Certificate cert("other.example");
    RawServer server(Reply("安全心跳 1"), &cert);
    CHttpClient client;
    client.SetTimeouts({milliseconds(3000), milliseconds(3000)});
    std::string response;
    // Not trusted: the chain is checked, so the certificate is refused.
    EXPECT_EQ(client.Get(server.Url("/", "https"), response), CHttpClient::kFailed);
    EXPECT_EQ(response, "");
    // Trusted, but issued for other.example while the address says 127.0.0.1: fetched.
    client.SetTrustedCertificates(cert.pemPath);
    EXPECT_EQ(client.Get(server.Url("/beat", "https"), response), CHttpClient::kReceived);
    EXPECT_EQ(response, "安全心跳 1");
    // The refused handshake never got as far as a request.
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(HeaderLines(server.requests()[0]).at(0), "GET /beat HTTP/1.0");
}

TEST(HttpClient, TwoCallsOnOneClientEachOpenTheirOwnConnection) {
    RawServer server(Reply("1"));
    CHttpClient client;
    std::string first, second;
    EXPECT_EQ(client.Get(server.Url("/a"), first), CHttpClient::kReceived);
    EXPECT_EQ(client.Get(server.Url("/b"), second), CHttpClient::kReceived);
    EXPECT_EQ(first, "1");
    EXPECT_EQ(second, "1");
    EXPECT_EQ(server.connections(), 2);
}

}  // namespace
