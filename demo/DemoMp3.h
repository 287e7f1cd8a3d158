// SPDX-License-Identifier: MIT
// Demo MP3 audio without an encoder: MPEG-1 Layer III frames whose side information is all
// zero, which every decoder plays as silence.
#pragma once

#include <cstdint>
#include <vector>

namespace covrilo::demo {

inline constexpr int kDemoBitrateKbps = 128;
inline constexpr int kDemoSampleRate = 44100;
inline constexpr int kSamplesPerFrame = 1152;

// Number of frames that make up about `seconds` of audio (at least one).
uint32_t FramesForSeconds(double Seconds);

// `frameCount` consecutive frames at 128 kbit/s, 44.1 kHz, joint-free stereo (or mono), with
// the padding bit set on the frames that keep the stream at exactly 128 kbit/s.
std::vector<uint8_t> MakeSilentMpegAudio(uint32_t FrameCount, bool Mono = false);

// Size in bytes of frame `index` of such a stream (417 or 418).
uint32_t FrameSize(uint32_t Index);

}  // namespace covrilo::demo
