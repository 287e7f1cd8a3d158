// SPDX-License-Identifier: MIT
// Recognising MPEG audio (MPEG-1, -2 and 2.5, layers I to III) behind an ID3v2 tag, so that a
// writer can refuse a file that only carries an MP3 name.
//
// Frame header (4 bytes, big-endian bits): sync 11 | version 2 (0 = 2.5, 1 reserved, 2 = 2,
// 3 = 1) | layer 2 (0 reserved, 1 = III, 2 = II, 3 = I) | no CRC 1 | bitrate 4 (0 free,
// 15 bad) | sample rate 2 (3 bad) | padding 1 | private 1 | mode 2 | mode ext 2 | copyright 1 |
// original 1 | emphasis 2.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace covrilo {

class TStream;

struct TMpegFrameHeader {
    int Version = 0;      // 1, 2, or 25 for MPEG 2.5
    int Layer = 0;        // 1..3
    int Bitrate = 0;      // kbit/s; 0 for a free-format stream
    int SampleRate = 0;   // Hz
    int FrameLength = 0;  // bytes, header included; 0 for a free-format stream
};

// The header at the start of Bytes, when it is a valid one.
std::optional<TMpegFrameHeader> ParseMpegFrameHeader(std::span<const uint8_t> Bytes);

// Whether Bytes hold a frame header followed, at its frame length, by a second one of the
// same version, layer and sample rate (a free-format frame: by a second one within reach).
// When AtEnd says that the audio ends where Bytes end, a frame that reaches that end counts
// too (a file of one frame, or one cut short inside its last frame).
bool ContainsMpegAudio(std::span<const uint8_t> Bytes, bool AtEnd);

enum class TMpegAudioCheck {
    Audio,         // MPEG audio frames follow the tag
    NothingAfter,  // the tag is followed only by trailing tags (ID3v1, Lyrics3, APE) or zeros
    NotMpeg,       // something else follows: not an MPEG audio file
};

// Looks at the first 64 KiB after AudioStart (after any further ID3v2 tags there), up to
// where trailing tags begin.
TMpegAudioCheck CheckMpegAudio(TStream& File, int64_t AudioStart);

}  // namespace covrilo
