// Command-line options of lumo-portal.
#pragma once

#include <string>
#include <vector>

namespace portal {

struct Options {
    std::string bind = "127.0.0.1";
    int port = 0;                        // 0: the system picks a free port
    std::string port_file;               // written once listening; empty: none
    int slow_ms = 0;                     // delay before answering each page
    std::string heartbeat_answer = "1";  // body of the heartbeat answer
    bool hostile = false;                // the launcher page also misbehaves
    bool music = false;                  // the game page starts its music as it loads
    // Where the launcher page's servers send the game ("scheme://host:port"); empty: the
    // portal itself.
    std::string game_base;
    // The launcher and game pages report their load event, and the game page
    // the frames it draws, to /__perf (for the side-by-side benchmark).
    bool perf = false;
};

// Parses the arguments after the program name. On failure returns false and
// puts a one-line reason into *error. "--help" sets *help and returns true.
bool ParseOptions(const std::vector<std::string>& args, Options* out, std::string* error, bool* help);

const char* UsageText();

}  // namespace portal
