#include "options.h"

#include <charconv>

namespace portal {
namespace {

bool ParseInt(const std::string& text, int min, int max, int* out) {
    int value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec != std::errc() || ptr != last) return false;
    if (value < min || value > max) return false;
    *out = value;
    return true;
}

}  // namespace

const char* UsageText() {
    return "usage: lumo-portal [--port N] [--bind ADDR] [--port-file PATH]\n"
           "                   [--slow-ms N] [--heartbeat-answer TEXT] [--hostile] [--music] [--perf]\n"
           "  --port N               port to listen on, 0 picks a free one (default 0)\n"
           "  --bind ADDR            address to listen on (default 127.0.0.1)\n"
           "  --port-file PATH       write the port there once listening\n"
           "  --slow-ms N            wait N ms before answering each page (default 0)\n"
           "  --heartbeat-answer T   body of the heartbeat answer (default \"1\")\n"
           "  --hostile              the launcher, game and news pages also offer what no page\n"
           "                         should do: a click or key that opens 200 windows,\n"
           "                         OpenGame with a local file, a key (H) that hangs the page\n"
           "  --game-base URL        the launcher page's servers open their game there\n"
           "                         (http(s)://host:port) instead of on the portal\n"
           "  --music                the game page plays its music (a tune of its own)\n"
           "                         as soon as it loads, as a game does\n"
           "  --perf                 the launcher and game pages report their load event,\n"
           "                         the game page its frame count, to /__perf/... (logged)\n";
}

bool ParseOptions(const std::vector<std::string>& args, Options* out, std::string* error, bool* help) {
    Options opts;
    *help = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool has_value = false;
        if (name == "--help" || name == "-h") {
            *help = true;
            return true;
        }
        if (name.rfind("--", 0) != 0) {
            *error = "unexpected argument: " + name;
            return false;
        }
        if (name == "--hostile" || name == "--music" || name == "--perf") {  // switches: take no value
            (name == "--hostile" ? opts.hostile : name == "--music" ? opts.music : opts.perf) = true;
            continue;
        }
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            has_value = true;
        }
        if (name != "--port" && name != "--bind" && name != "--port-file" && name != "--slow-ms" &&
            name != "--heartbeat-answer" && name != "--game-base") {
            *error = "unknown option: " + name;
            return false;
        }
        if (!has_value) {
            if (i + 1 >= args.size()) {
                *error = "missing value for " + name;
                return false;
            }
            value = args[++i];
        }
        if (name == "--port") {
            if (!ParseInt(value, 0, 65535, &opts.port)) {
                *error = "bad port (0-65535): " + value;
                return false;
            }
        } else if (name == "--bind") {
            if (value.empty()) {
                *error = "empty bind address";
                return false;
            }
            opts.bind = value;
        } else if (name == "--port-file") {
            if (value.empty()) {
                *error = "empty port file path";
                return false;
            }
            opts.port_file = value;
        } else if (name == "--slow-ms") {
            if (!ParseInt(value, 0, 600000, &opts.slow_ms)) {
                *error = "bad --slow-ms (0-600000): " + value;
                return false;
            }
        } else if (name == "--game-base") {
            if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) {
                *error = "bad --game-base (http://... or https://...): " + value;
                return false;
            }
            opts.game_base = value;
        } else {
            opts.heartbeat_answer = value;
        }
    }
    *out = opts;
    return true;
}

}  // namespace portal
