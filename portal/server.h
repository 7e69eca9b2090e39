// The portal's HTTP server: routes, request log, slow mode and stop.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "options.h"
#include "request_log.h"

namespace portal {

class Server {
public:
    explicit Server(Options options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts listening on the configured address and port.
    // Returns the port, or -1 with a reason in *error.
    int Bind(std::string* error);

    // Serves requests until Stop() (or GET /__quit). Blocks. Returns false if
    // the server could not serve (for example when Bind() did not succeed).
    bool Listen();

    // Ends Listen(); safe from any thread (and from a request handler), also
    // before Listen() has started, and more than once.
    void Stop();

    int port() const;
    RequestLog& log();

    // The last benchmark result posted to /__bench, as served by GET /__bench.
    std::optional<std::string> bench_json() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Writes "<port>\n" to path through a temporary file in the same folder and
// a rename, so a reader never sees a partial file. False with *error on
// failure (the temporary file is removed).
bool WritePortFile(const std::string& path, int port, std::string* error);

// Parses a benchmark line "bench:<get_us>:<noop_us>:<total_ms>" or
// "bench:error:<word>" into the JSON served by GET /__bench.
std::optional<std::string> BenchLineToJson(const std::string& line);

}  // namespace portal
