// SPDX-License-Identifier: MIT
#include "DemoMp3.h"

#include <cmath>

namespace covrilo::demo {
namespace {

// Bytes per frame are 144 * bitrate / sample rate = 417.96; the stream carries the fraction
// by padding some frames with one byte, as encoders do.
constexpr uint64_t kFrameBytesNumerator = 144ull * kDemoBitrateKbps * 1000;

uint64_t BytesBefore(uint64_t Frame) { return Frame * kFrameBytesNumerator / kDemoSampleRate; }

}  // namespace

uint32_t FramesForSeconds(double Seconds) {
    const double frames = std::ceil(Seconds * kDemoSampleRate / kSamplesPerFrame);
    return frames < 1 ? 1 : static_cast<uint32_t>(frames);
}

uint32_t FrameSize(uint32_t Index) {
    return static_cast<uint32_t>(BytesBefore(Index + 1) - BytesBefore(Index));
}

std::vector<uint8_t> MakeSilentMpegAudio(uint32_t FrameCount, bool Mono) {
    std::vector<uint8_t> audio;
    audio.reserve(static_cast<size_t>(BytesBefore(FrameCount)));
    for (uint32_t i = 0; i < FrameCount; ++i) {
        const uint32_t size = FrameSize(i);
        const bool padded = size > kFrameBytesNumerator / kDemoSampleRate;
        // Sync, MPEG-1, Layer III, no CRC | bitrate index 9 (128k), 44.1 kHz, padding |
        // channel mode stereo (00) or mono (11), no emphasis, original.
        audio.push_back(0xFF);
        audio.push_back(0xFB);
        audio.push_back(static_cast<uint8_t>(0x90 | (padded ? 0x02 : 0x00)));
        audio.push_back(Mono ? 0xC4 : 0x04);
        // Side information and main data all zero: main_data_begin 0 and part2_3_length 0 in
        // every granule, i.e. no Huffman data, so the frame decodes to silence.
        audio.insert(audio.end(), size - 4, 0x00);
    }
    return audio;
}

}  // namespace covrilo::demo
