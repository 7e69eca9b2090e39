#pragma once
// CHttpClient: fetches one http or https address with a GET request and hands back the body
// as text. The client's only HTTP path that does not go through a browser control (the game
// window's heartbeat uses it).
//
// The request: user agent kUserAgent, then the three headers of kRequestHeaders in that
// order, HTTP/1.0, nothing taken from or written to any cache, a connection of its own for
// every call (one client serves any number of sequential calls).
// Redirects to http and https addresses are followed. The HTTP status is not looked at: an
// error page is a body like any other.
//
// https: the certificate chain is verified against the system's trust store (off Windows, or
// the file set with SetTrustedCertificates); a certificate whose host name does not match the
// address is accepted. That is a known trade-off kept on purpose: the platform's heartbeat
// host relies on it. It means a trusted certificate issued for any other name is accepted as
// well.
//
// Threads: one client is used by one thread at a time (different clients may be used on
// different threads at once); only Abort() may be called from another thread.
//
// Platform part: http_client_curl.cpp (libcurl) off Windows, http_client_win32.cpp (WinInet)
// on Windows; http_client.cpp is shared. What differs on the wire: WinInet places the user
// agent and Host among the three headers as it likes; libcurl sends the user agent first.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

struct HttpTimeouts {
    // Establishing the connection (with the TLS handshake for https).
    std::chrono::milliseconds connect{30000};
    // Longest silence while waiting for the answer or for more of the body.
    std::chrono::milliseconds receive{30000};
};

class CHttpClient {
public:
    enum Result {
        kReceived = 0,  // the body was received (whatever the HTTP status)
        kFailed = 1,    // not an http/https address, or the request failed other than by a time-out
        kTimedOut = 2,  // connecting or receiving took longer than the time-outs allow
    };

    static constexpr const char* kUserAgent =
        "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)";
    static constexpr const char* kRequestHeaders[3] = {
        "Accept: *,*/*",
        "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded",
    };
    // A body longer than this is refused (kFailed): an answer of that size is no answer the
    // client expects, and it must not exhaust the memory.
    static constexpr std::size_t kMaxBody = 8u << 20;

    // Opens the session that all calls of this client share. A session that cannot be opened
    // makes every Get answer kFailed.
    CHttpClient();
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Fetches `address` (UTF-8; characters that are not allowed in an address, such as
    // spaces or non-ASCII letters, are percent-encoded as UTF-8). On kReceived `response`
    // holds the whole body as UTF-8: zero bytes are kept, invalid UTF-8 becomes U+FFFD.
    // Otherwise `response` is empty. Anything but http:// or https:// (any letter case)
    // answers kFailed at once without opening a connection.
    Result Get(const std::string& address, std::string& response);

    // From any thread: the running Get, and every later one, answers kFailed at once. For an
    // owner that goes away while its worker waits for an answer (a closing window and its
    // heartbeat), so that the worker can be joined without waiting out the time-outs.
    void Abort();

    // The time-outs of later calls (defaults: about those of the platform stack, 30 s each).
    void SetTimeouts(const HttpTimeouts& timeouts) { m_timeouts = timeouts; }
    const HttpTimeouts& timeouts() const { return m_timeouts; }

#ifndef _WIN32
    // Trust anchors for https: a PEM file that replaces the system's trust store for later
    // calls; empty restores the system's store. Meant for tests with a certificate of their
    // own. (WinInet has no such setting: on Windows a test trusts its certificate through the
    // user's root store.)
    void SetTrustedCertificates(const std::string& pemPath) { m_strTrustFile = pemPath; }
#endif

    // True when `address` starts with http:// or https:// (any letter case).
    static bool IsWebAddress(const std::string& address);
    // The address as sent: bytes that may not stand in an address are percent-encoded.
    static std::string EncodeAddress(const std::string& address);

private:
    struct Session;
    std::unique_ptr<Session> m_pSession;
    HttpTimeouts m_timeouts;
#ifndef _WIN32
    std::string m_strTrustFile;
#endif
};
