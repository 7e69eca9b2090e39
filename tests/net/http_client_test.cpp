// CHttpClient against real sockets on 127.0.0.1: a small server of the test's own that records
// the raw request and answers with exact bytes (or keeps silent), and TLS servers with
// certificates made for another host name (in the test off Windows; on Windows run from Linux
// beside the test, see TlsServers below).
#ifdef _WIN32
#include "fw/windows/windows_api.h"

#include <wincrypt.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/http_client.h"
#include "tests/net/loopback.h"
#include "tests/net/raw_server.h"
#ifdef _WIN32
#include "tests/net/run_self_win32.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using net_test::HeaderLines;
using net_test::RawServer;
using net_test::Reply;
using std::chrono::milliseconds;

// Two TLS servers, each with a self-signed certificate of its own made for other.example:
// the test trusts the first one's and not the second's. Trust() comes before the first https
// request of the process.
#ifdef _WIN32
std::string FileText(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// On Windows they are net_tls_server (tls_server_main.cpp), which scripts/wine-test-servers.sh
// runs from Linux; their folder, named by RV_TEST_TLS_DIR, holds each one's port, certificate
// and request lines. Trust() adds the first certificate to the current user's root store
// (WinInet verifies against the system's stores), with net_trust_root, a process of its own:
// the system keeps the root store of a process as it found it first.
class TlsServers {
public:
    TlsServers() {
        const char* dir = std::getenv("RV_TEST_TLS_DIR");
        if (!dir || !*dir) {
            why_ = "RV_TEST_TLS_DIR is not set: run the Windows tests through scripts/wine-test-servers.sh";
            return;
        }
        dir_ = dir;
        trusted_ = std::atoi(FileText(dir_ / "trusted.port").c_str());
        untrusted_ = std::atoi(FileText(dir_ / "untrusted.port").c_str());
        seen_ = {Lines("trusted").size(), Lines("untrusted").size()};
        if (trusted_ <= 0 || untrusted_ <= 0) why_ = "no TLS servers in " + dir_.string();
    }
    ~TlsServers() {
        if (added_) TrustTool("remove");
    }
    bool ok() const { return why_.empty(); }
    const std::string& why() const { return why_; }
    std::string TrustedUrl(const std::string& path) const { return Url(trusted_, path); }
    std::string UntrustedUrl(const std::string& path) const { return Url(untrusted_, path); }
    bool Trust(CHttpClient&) { return added_ = TrustTool("add"); }
    // The request lines that each was sent since this object was made.
    std::vector<std::string> TrustedRequests() const { return Lines("trusted", seen_.first); }
    std::vector<std::string> UntrustedRequests() const { return Lines("untrusted", seen_.second); }

private:
    static std::string Url(int port, const std::string& path) {
        return "https://127.0.0.1:" + std::to_string(port) + path;
    }
    std::vector<std::string> Lines(const char* name, size_t from = 0) const {
        std::vector<std::string> lines;
        std::ifstream f(dir_ / (std::string(name) + ".requests"));
        for (std::string line; std::getline(f, line);) lines.push_back(line);
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(from, lines.size())));
        return lines;
    }
    bool TrustTool(const char* verb) const {
        wchar_t exe[MAX_PATH];
        std::wstring tool(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
        tool.erase(tool.find_last_of(L"\\/") + 1);
        tool += L"net_trust_root.exe";
        std::wstring command = L"\"" + tool + L"\" " + std::wstring(verb, verb + std::strlen(verb)) + L" \"" +
                               (dir_ / "trusted.der").wstring() + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(tool.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        DWORD code = 1;
        if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code == 0;
    }

    std::filesystem::path dir_;
    std::string why_;
    int trusted_ = 0;
    int untrusted_ = 0;
    std::pair<size_t, size_t> seen_;
    bool added_ = false;
};
#else
// Off Windows they run in the test; Trust() hands the first certificate to the client as its
// trust anchor.
class TlsServers {
public:
    TlsServers()
        : trusted_(Reply(net_test::kTlsBody), &trustedCert_),
          untrusted_(Reply(net_test::kTlsBody), &untrustedCert_),
          pem_(std::filesystem::temp_directory_path() /
               ("rv-net-cert-" + std::to_string(trusted_.port()) + "-" + std::to_string(getpid()) + ".pem")) {}
    ~TlsServers() { std::filesystem::remove(pem_); }
    bool ok() const { return trusted_.ok() && untrusted_.ok(); }
    std::string why() const { return "the TLS servers did not start"; }
    std::string TrustedUrl(const std::string& path) const { return trusted_.Url(path, "https"); }
    std::string UntrustedUrl(const std::string& path) const { return untrusted_.Url(path, "https"); }
    bool Trust(CHttpClient& client) {
        if (!trustedCert_.WritePem(pem_)) return false;
        client.SetTrustedCertificates(pem_);
        return true;
    }
    std::vector<std::string> TrustedRequests() const { return RequestLines(trusted_); }
    std::vector<std::string> UntrustedRequests() const { return RequestLines(untrusted_); }

private:
    static std::vector<std::string> RequestLines(const RawServer& server) {
        std::vector<std::string> lines;
        for (const std::string& r : server.requests()) {
            if (!r.empty()) lines.push_back(r.substr(0, r.find("\r\n")));
        }
        return lines;
    }

    net_test::Certificate trustedCert_{"other.example"};
    net_test::Certificate untrustedCert_{"other.example"};
    RawServer trusted_;
    RawServer untrusted_;
    std::string pem_;
};
#endif

TEST(HttpClient, AnswersFailedAtOnceForAnythingButHttpAndHttps) {
    RawServer server(Reply("1"));
    CHttpClient client;
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    for (const std::string& address :
         {server.Url("/x", "ftp"), std::string("file:///etc/hostname"), server.Url("/x", "gopher"),
          server.Url("/x", "httpx"), hostPort + "/x", std::string(""), std::string("http:/") + hostPort}) {
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
    const std::string agent = std::string("User-Agent: ") + CHttpClient::kUserAgent;
    const std::vector<std::string> ours = {"Accept: *,*/*", "Accept-Language: zh-cn",
                                           "Content-Type: application/x-www-form-urlencoded"};
#ifdef _WIN32
    // WinInet places the user agent among the headers as it likes; ours keep their order.
    EXPECT_EQ(std::count(named.begin(), named.end(), agent), 1) << requests[0];
    std::erase(named, agent);
    EXPECT_EQ(named, ours);
#else
    std::vector<std::string> expected = {agent};
    expected.insert(expected.end(), ours.begin(), ours.end());
    EXPECT_EQ(named, expected);
#endif
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
    for (const std::string& reply :
         {std::string(), std::string("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart")}) {
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
    TlsServers servers;
    ASSERT_TRUE(servers.ok()) << servers.why();
    CHttpClient client;
    client.SetTimeouts({milliseconds(3000), milliseconds(3000)});
    ASSERT_TRUE(servers.Trust(client));
    std::string response = "stale";
    // Not trusted: the chain is checked, so the certificate is refused.
    EXPECT_EQ(client.Get(servers.UntrustedUrl("/"), response), CHttpClient::kFailed);
    EXPECT_EQ(response, "");
    // Trusted, but issued for other.example while the address says 127.0.0.1: fetched.
    EXPECT_EQ(client.Get(servers.TrustedUrl("/beat"), response), CHttpClient::kReceived);
    EXPECT_EQ(response, net_test::kTlsBody);
    // The refused handshake never got as far as a request.
    EXPECT_EQ(servers.UntrustedRequests(), std::vector<std::string>{});
    EXPECT_EQ(servers.TrustedRequests(), std::vector<std::string>{"GET /beat HTTP/1.0"});
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

#ifdef _WIN32
namespace {

// A program that fetches from `url` on two threads and ends while one of its requests is
// under way. Exit code 0 when the fetches were answered.
// The second thread is the system's own, as the request threads are, so that only what
// CHttpClient does is on trial.
int RunEndingFetcher(const std::string& url) {
    static std::string address;
    address = url;
    const HANDLE fetcher = CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            CHttpClient client;
            std::string response;
            for (;;) client.Get(address, response);
        },
        nullptr, 0, nullptr);
    if (!fetcher) return 3;
    CloseHandle(fetcher);
    CHttpClient client;
    std::string response;
    for (int i = 0; i < 20; ++i) {
        if (client.Get(url, response) != CHttpClient::kReceived) return 2;
    }
    return 0;
}

// The request threads may be stopped anywhere by the program's end; the program must end.
TEST(HttpClient, AProgramEndsWhileItsRequestsAreUnderWay) {
    RawServer server(Reply("1"));
    ASSERT_TRUE(server.ok());
    net_test::ExpectEachRunEnds("--ending-fetcher " + server.Url("/"), 10);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--ending-fetcher") return RunEndingFetcher(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#endif
