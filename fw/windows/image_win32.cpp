// PNG decoding through the Windows Imaging Component, from memory. The file is checked
// first (the signature, the sizes, a picture that the file's bytes cannot hold, every chunk
// whole and with its checksum up to the end chunk), so bad bytes fail alike on every version
// of the system; then WIC decodes to straight BGRA, which is premultiplied here with the
// framework's own rounding, so a picture has the same pixels on every platform. Anything WIC
// rejects gives an invalid image.
#include "fw/windows/windows_api.h"

#include <wincodec.h>

#include <array>
#include <cstring>
#include <new>

#include "fw/image.h"
#include "fw/windows/com_ptr.h"

namespace fw {

namespace {

constexpr std::uint32_t kMaxSide = 16384;
// Deflate cannot compress better than 1032:1: image data that would need more than this
// many bytes per byte of the file cannot be in it. Refused before anything is allocated.
constexpr std::uint64_t kMaxInflateRatio = 1100;

std::uint32_t BigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The signature and the header chunk: a size within the limits and a raw picture the file
// could hold. Colour type and depth are WIC's to judge.
bool PlausibleHeader(std::span<const std::uint8_t> b) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 33 || std::memcmp(b.data(), kSignature, 8) != 0) return false;
    if (BigEndian(b.data() + 8) != 13 || std::memcmp(b.data() + 12, "IHDR", 4) != 0) return false;
    const std::uint32_t w = BigEndian(b.data() + 16);
    const std::uint32_t h = BigEndian(b.data() + 20);
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
    const unsigned depth = b[24];
    const unsigned colour = b[25];
    const unsigned channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
    const std::uint64_t rowBytes = (std::uint64_t{w} * channels * depth + 7) / 8;
    return std::uint64_t{h} * (rowBytes + 1) <= std::uint64_t{b.size()} * kMaxInflateRatio;
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    static const auto table = [] {
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

// Every chunk from the header on is whole and carries its checksum, up to the end chunk.
bool ChunksIntact(std::span<const std::uint8_t> b) {
    std::size_t pos = 8;
    while (b.size() - pos >= 12) {
        const std::uint32_t len = BigEndian(b.data() + pos);
        if (len > b.size() - pos - 12) return false;
        if (Crc32(b.data() + pos + 4, len + 4u) != BigEndian(b.data() + pos + 8 + len)) return false;
        if (std::memcmp(b.data() + pos + 4, "IEND", 4) == 0) return true;
        pos += 12u + len;
    }
    return false;
}

// COM for this thread while a picture is decoded (pictures are decoded on any thread).
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // Usable also when the thread already had COM in another mode.
    bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

bool Decode(std::span<const std::uint8_t> bytes, int& width, int& height, std::vector<std::uint32_t>& px) {
    ComScope com;
    if (!com.ok()) return false;
    windows::ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.put()))))
        return false;
    windows::ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))))
        return false;
    windows::ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
        return false;
    windows::ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put()))) return false;
    UINT w = 0, h = 0;
    if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
    windows::ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    try {
        px.resize(static_cast<std::size_t>(w) * h);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Straight BGRA in memory is 0xAARRGGBB as a little-endian word.
    if (FAILED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(px.size() * 4),
                                     reinterpret_cast<BYTE*>(px.data()))))
        return false;
    for (std::uint32_t& p : px) p = Premultiply(p);
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

}  // namespace

std::unique_ptr<Image> Image::FromPng(std::span<const std::uint8_t> bytes) {
    auto img = std::make_unique<Image>();
    if (!PlausibleHeader(bytes) || bytes.size() > 0xFFFFFFFFu || !ChunksIntact(bytes)) return img;
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    if (!Decode(bytes, w, h, px)) return img;
    img->width_ = w;
    img->height_ = h;
    img->px_ = std::move(px);
    return img;
}

}  // namespace fw
