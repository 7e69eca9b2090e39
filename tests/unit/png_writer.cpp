#include "png_writer.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace testing_support {

namespace {

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void PutBig(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

int Channels(int colourType) {
    switch (colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

// Pixel x of a packed row, `bits` wide, appended to a packed output row at pixel `at`.
void CopyPixel(const std::vector<std::uint8_t>& row, int x, int bits, std::vector<std::uint8_t>& out, int at) {
    if (bits >= 8) {
        const std::size_t n = static_cast<std::size_t>(bits / 8);
        for (std::size_t i = 0; i < n; ++i)
            out[static_cast<std::size_t>(at) * n + i] = row[static_cast<std::size_t>(x) * n + i];
        return;
    }
    const int from = x * bits, to = at * bits;
    const int v = (row[static_cast<std::size_t>(from / 8)] >> (8 - bits - from % 8)) & ((1 << bits) - 1);
    out[static_cast<std::size_t>(to / 8)] |= static_cast<std::uint8_t>(v << (8 - bits - to % 8));
}

// The scan lines, each after its filter byte (0, none), of the whole picture or of each
// Adam7 pass in turn.
std::vector<std::uint8_t> RawData(const PngSpec& s) {
    const int bits = Channels(s.colourType) * s.depth;
    std::vector<std::uint8_t> raw;
    struct Pass {
        int x0, y0, dx, dy;
    };
    static const Pass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    static const Pass kWhole[] = {{0, 0, 1, 1}};
    for (const Pass& p : s.interlace ? std::vector<Pass>(std::begin(kAdam7), std::end(kAdam7))
                                     : std::vector<Pass>(std::begin(kWhole), std::end(kWhole))) {
        const int w = (s.width - p.x0 + p.dx - 1) / p.dx;
        if (w <= 0) continue;
        for (int y = p.y0; y < s.height; y += p.dy) {
            std::vector<std::uint8_t> line((static_cast<std::size_t>(w) * bits + 7) / 8, 0);
            for (int i = 0; i < w; ++i) CopyPixel(s.rows[static_cast<std::size_t>(y)], p.x0 + i * p.dx, bits, line, i);
            raw.push_back(0);
            raw.insert(raw.end(), line.begin(), line.end());
        }
    }
    return raw;
}

// A zlib stream of stored blocks.
std::vector<std::uint8_t> Zlib(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, data.size() - pos);
        const bool last = pos + n == data.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                 data.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < data.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig(z, (b << 16) | a);
    return z;
}

}  // namespace

void AppendPngChunk(std::vector<std::uint8_t>& out, std::string_view type, const std::vector<std::uint8_t>& data) {
    PutBig(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> td(type.begin(), type.end());
    td.insert(td.end(), data.begin(), data.end());
    out.insert(out.end(), td.begin(), td.end());
    PutBig(out, Crc32(td.data(), td.size()));
}

std::vector<std::uint8_t> EncodePng(const PngSpec& s) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    PutBig(ihdr, static_cast<std::uint32_t>(s.width));
    PutBig(ihdr, static_cast<std::uint32_t>(s.height));
    ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(s.depth), static_cast<std::uint8_t>(s.colourType), 0, 0,
                             static_cast<std::uint8_t>(s.interlace ? 1 : 0)});
    AppendPngChunk(out, "IHDR", ihdr);
    if (!s.palette.empty()) AppendPngChunk(out, "PLTE", s.palette);
    if (!s.trns.empty()) AppendPngChunk(out, "tRNS", s.trns);
    AppendPngChunk(out, "IDAT", Zlib(RawData(s)));
    AppendPngChunk(out, "IEND", {});
    return out;
}

}  // namespace testing_support
