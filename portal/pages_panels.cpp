// Pages of the client's side windows: payment (238×270) and account binding
// (479×287). The VIP customer-service chat is served by the customer-service
// server (cs_server.cpp, pages_cs.cpp).
#include <cstdint>
#include <string>

#include "html.h"
#include "page_files.h"
#include "pages.h"
#include "request_log.h"

namespace portal {
namespace {

// A small deterministic generator so the same seed gives the same code.
uint32_t Fnv1a(std::string_view text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

}  // namespace

std::string QrSvg(std::string_view seed, int pixel_size) {
    constexpr int kModules = 25;
    bool dark[kModules][kModules] = {};
    uint32_t state = Fnv1a(seed) | 1u;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int y = 0; y < kModules; ++y) {
        for (int x = 0; x < kModules; ++x) dark[y][x] = (next() & 3u) < 2u;
    }
    // Finder squares in three corners with a light ring around them, and the
    // dotted timing lines between them, as on a real code.
    auto finder = [&](int ox, int oy) {
        for (int y = -1; y <= 7; ++y) {
            for (int x = -1; x <= 7; ++x) {
                const int px = ox + x, py = oy + y;
                if (px < 0 || py < 0 || px >= kModules || py >= kModules) continue;
                const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
                const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
                const bool inside = x >= 0 && y >= 0 && x <= 6 && y <= 6;
                dark[py][px] = inside && (ring || core);
            }
        }
    };
    finder(0, 0);
    finder(kModules - 7, 0);
    finder(0, kModules - 7);
    for (int i = 8; i < kModules - 8; ++i) {
        dark[6][i] = i % 2 == 0;
        dark[i][6] = i % 2 == 0;
    }
    std::string path;
    for (int y = 0; y < kModules; ++y) {
        for (int x = 0; x < kModules; ++x) {
            if (dark[y][x]) {
                path += "M" + std::to_string(x) + " " + std::to_string(y) + "h1v1h-1z";
            }
        }
    }
    const std::string px = std::to_string(pixel_size);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px + "\" height=\"" + px +
           "\" viewBox=\"0 0 25 25\" " + "shape-rendering=\"crispEdges\"><path fill=\"#1a0a04\" d=\"" + path +
           "\"/></svg>";
}

std::string PayPage(std::string_view host, std::string_view game, std::string_view uid) {
    const std::string g = game.empty() ? "dmor" : std::string(game);
    return Fill(page_files::kPay, {{"FONT", std::string(kFontStack)},
                                   {"HOST", HtmlEscape(host)},
                                   {"GAME_URL", HtmlEscape(UrlEncode(g))},
                                   {"QR", QrSvg(g + "|" + std::string(uid), 118)}});
}

std::string AccountPage(std::string_view host, std::string_view game) {
    (void)game;
    return Fill(page_files::kAccount, {{"FONT", std::string(kFontStack)}, {"HOST", HtmlEscape(host)}});
}

}  // namespace portal
