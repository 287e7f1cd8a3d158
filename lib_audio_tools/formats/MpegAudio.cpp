// SPDX-License-Identifier: MIT
#include "formats/MpegAudio.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "id3v1/ID3v1.h"
#include "io/ByteCursor.h"
#include "io/EnhancedStreams.h"

namespace covrilo {

namespace {

// Bitrates in kbit/s by [version 1 / 2 and 2.5][layer I, II, III][index 1..14].
constexpr std::array<std::array<std::array<int, 15>, 3>, 2> kBitrates = {{
    {{{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}},
    {{{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}},
}};
constexpr std::array<int, 3> kRates1 = {44100, 48000, 32000};

constexpr int64_t kWindow = 64 * 1024;
// The longest frame there is (layer II at 384 kbit/s, 32 kHz, padded) and then some.
constexpr int64_t kMaxFrame = 4096;
constexpr int kMaxNestedTags = 4;
constexpr int64_t kApeFooterSize = 32;

bool SameStream(const TMpegFrameHeader& A, const TMpegFrameHeader& B) {
    return A.Version == B.Version && A.Layer == B.Layer && A.SampleRate == B.SampleRate;
}

// Where the audio ends: in front of an APE tag, a Lyrics3 block and an ID3v1 record.
int64_t TrailingTagsStart(TStream& File) {
    int64_t end = TID3v1::AudioEnd(File);
    if (end >= kApeFooterSize) {
        std::array<uint8_t, kApeFooterSize> footer{};
        File.SetPosition(end - kApeFooterSize);
        if (File.Read(footer.data(), kApeFooterSize) == kApeFooterSize &&
            std::memcmp(footer.data(), "APETAGEX", 8) == 0) {
            const int64_t size = U32LEAt(footer, 12);
            const int64_t header = (U32LEAt(footer, 20) & 0x80000000u) != 0 ? kApeFooterSize : 0;
            if (size >= kApeFooterSize && size + header <= end) end -= size + header;
        }
    }
    return end;
}

}  // namespace

std::optional<TMpegFrameHeader> ParseMpegFrameHeader(std::span<const uint8_t> Bytes) {
    if (Bytes.size() < 4 || Bytes[0] != 0xFF || (Bytes[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionBits = (Bytes[1] >> 3) & 3, layerBits = (Bytes[1] >> 1) & 3;
    const int bitrateIndex = Bytes[2] >> 4, rateIndex = (Bytes[2] >> 2) & 3, padding = (Bytes[2] >> 1) & 1;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
    TMpegFrameHeader h;
    h.Version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.Layer = 4 - layerBits;
    const int divisor = h.Version == 1 ? 1 : h.Version == 2 ? 2 : 4;
    h.SampleRate = kRates1[static_cast<size_t>(rateIndex)] / divisor;
    h.Bitrate = kBitrates[h.Version == 1 ? 0 : 1][static_cast<size_t>(h.Layer - 1)]
                         [static_cast<size_t>(bitrateIndex)];
    if (h.Bitrate > 0) {
        const int bps = h.Bitrate * 1000;
        if (h.Layer == 1)
            h.FrameLength = (12 * bps / h.SampleRate + padding) * 4;
        else if (h.Layer == 3 && h.Version != 1)
            h.FrameLength = 72 * bps / h.SampleRate + padding;
        else
            h.FrameLength = 144 * bps / h.SampleRate + padding;
    }
    return h;
}

bool ContainsMpegAudio(std::span<const uint8_t> Bytes, bool AtEnd) {
    const size_t starts = std::min<size_t>(Bytes.size(), static_cast<size_t>(kWindow));
    for (size_t p = 0; p < starts; ++p) {
        const auto first = ParseMpegFrameHeader(Bytes.subspan(p));
        if (!first) continue;
        if (first->FrameLength > 0) {
            const size_t next = p + static_cast<size_t>(first->FrameLength);
            // A frame that reaches the end of the audio: a file of one frame, or one cut
            // short (bare tags of test suites carry the first frame of their song).
            if (next >= Bytes.size() && AtEnd) return true;
            if (next >= Bytes.size()) continue;
            const auto second = ParseMpegFrameHeader(Bytes.subspan(next));
            if (second && SameStream(*first, *second)) return true;
            continue;
        }
        // Free format: the frame length shows only where the next header stands.
        const size_t limit = std::min(Bytes.size(), p + static_cast<size_t>(kMaxFrame) * 2);
        for (size_t q = p + 4; q + 4 <= limit; ++q) {
            const auto second = ParseMpegFrameHeader(Bytes.subspan(q));
            if (second && second->Bitrate == 0 && SameStream(*first, *second)) return true;
        }
    }
    return false;
}

TMpegAudioCheck CheckMpegAudio(TStream& File, int64_t AudioStart) {
    const int64_t end = TrailingTagsStart(File);
    int64_t pos = std::max<int64_t>(AudioStart, 0);
    // Some writers leave a second tag (or a copy of the first) right behind the first.
    for (int i = 0; i < kMaxNestedTags && end - pos >= 10; ++i) {
        std::array<uint8_t, 10> header{};
        File.SetPosition(pos);
        if (File.Read(header.data(), 10) != 10 || std::memcmp(header.data(), "ID3", 3) != 0) break;
        if ((header[6] | header[7] | header[8] | header[9]) & 0x80) break;
        const int64_t size = SyncsafeUnmasked32At(header, 6);
        pos += 10 + size + ((header[3] == 4 && (header[5] & 0x10)) ? 10 : 0);
    }
    if (pos >= end) return TMpegAudioCheck::NothingAfter;
    const int64_t length = std::min(end - pos, kWindow + kMaxFrame);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    File.SetPosition(pos);
    bytes.resize(static_cast<size_t>(File.Read(bytes.data(), length)));
    if (ContainsMpegAudio(bytes, pos + static_cast<int64_t>(bytes.size()) == end))
        return TMpegAudioCheck::Audio;
    // Zero padding behind a tag is no content.
    if (pos + static_cast<int64_t>(bytes.size()) == end &&
        std::all_of(bytes.begin(), bytes.end(), [](uint8_t B) { return B == 0; }))
        return TMpegAudioCheck::NothingAfter;
    return TMpegAudioCheck::NotMpeg;
}

}  // namespace covrilo
