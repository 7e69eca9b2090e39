#include "music.h"

#include <cmath>
#include <algorithm>
#include <cstdint>

namespace portal {
namespace {

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

std::string GameMusicWav() {
    constexpr uint32_t kRate = 22050;
    constexpr uint32_t kNoteSamples = kRate / 2;
    constexpr double kNotes[] = {440.0, 554.37, 659.25, 880.0};
    constexpr uint32_t kSamples = kNoteSamples * 4;
    constexpr uint32_t kFade = kRate / 50;  // 20 ms
    constexpr double kPi = 3.14159265358979323846;

    std::string wav;
    wav.reserve(44 + kSamples * 2);
    wav += "RIFF";
    Put32(wav, 36 + kSamples * 2);
    wav += "WAVEfmt ";
    Put32(wav, 16);
    Put16(wav, 1);  // PCM
    Put16(wav, 1);  // mono
    Put32(wav, kRate);
    Put32(wav, kRate * 2);  // bytes per second
    Put16(wav, 2);          // bytes per frame
    Put16(wav, 16);         // bits per sample
    wav += "data";
    Put32(wav, kSamples * 2);
    for (uint32_t i = 0; i < kSamples; ++i) {
        const uint32_t in_note = i % kNoteSamples;
        const uint32_t edge = std::min(in_note, kNoteSamples - 1 - in_note);
        const double envelope = edge < kFade ? static_cast<double>(edge) / kFade : 1.0;
        const double v = std::sin(2 * kPi * kNotes[i / kNoteSamples] * i / kRate) * envelope;
        Put16(wav, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 10000))));
    }
    return wav;
}

}  // namespace portal
