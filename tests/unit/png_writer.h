#pragma once
// A small PNG writer for tests of the decoders: every colour type and bit depth, palettes
// with alpha, Adam7 interlacing, the image data in stored (uncompressed) deflate blocks. It
// needs no library, so the same pictures reach the decoder of every platform.
#include <cstdint>
#include <string_view>
#include <vector>

namespace testing_support {

struct PngSpec {
    int width = 0;
    int height = 0;
    int colourType = 6;  // 0 gray, 2 RGB, 3 palette, 4 gray + alpha, 6 RGBA
    int depth = 8;
    bool interlace = false;
    std::vector<std::uint8_t> palette;            // RGB triples
    std::vector<std::uint8_t> trns;               // palette alpha
    std::vector<std::vector<std::uint8_t>> rows;  // packed pixels, filter bytes not included
};

std::vector<std::uint8_t> EncodePng(const PngSpec& spec);

// A chunk (length, type, data, CRC) appended to `out`.
void AppendPngChunk(std::vector<std::uint8_t>& out, std::string_view type, const std::vector<std::uint8_t>& data);

}  // namespace testing_support
