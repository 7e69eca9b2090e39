#pragma once
// The library's platform seams: HTTP requests to the customer-service server, made on the
// library's worker thread and cancelled from any other thread (transport_curl.cpp on libcurl;
// a WinInet variant on Windows), and the name of the system's narrow character set
// (charset_posix.cpp; GetACP on Windows).
#include <chrono>
#include <memory>
#include <string>

namespace supportim {

struct HttpCall {
    std::string url;                           // http://host[:port]/path?query
    std::string form;                          // non-empty: a POST of this application/x-www-form-urlencoded body
    std::chrono::milliseconds timeout{10000};  // the whole call, connecting included
};

struct HttpReply {
    enum Outcome { kAnswered, kFailed, kCancelled } outcome = kFailed;
    long status = 0;   // the HTTP status when answered
    std::string body;  // the body when answered
};

class Transport {
public:
    virtual ~Transport() = default;
    // Blocks the calling thread until the server answers, the call fails or times out, or
    // Cancel() is called.
    virtual HttpReply Perform(const HttpCall& call) = 0;
    // From any thread: the running Perform and every later one return kCancelled at once,
    // until Reset().
    virtual void Cancel() = 0;
    // Called by the worker before it looks at its work, so that a Cancel() made after that
    // look stops what follows it.
    virtual void Reset() = 0;
};

// A transport that keeps its connection to the server between calls. Null when the platform
// library cannot be set up.
std::unique_ptr<Transport> MakeTransport();

// The name of the system's narrow character set, as the server is told it ("UTF-8",
// "GBK", "CP936", ...).
std::string SystemCharset();

}  // namespace supportim
