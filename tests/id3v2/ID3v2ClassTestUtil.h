// SPDX-License-Identifier: MIT
// Builders of small ID3v2 tags, frames and audio stand-ins for the container's tests.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "support/TestSupport.h"

namespace covrilo::test {

inline Bytes Cat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Str(std::string_view Text) { return Bytes(Text.begin(), Text.end()); }

inline Bytes BE32(uint32_t V) {
    return {static_cast<uint8_t>(V >> 24), static_cast<uint8_t>(V >> 16), static_cast<uint8_t>(V >> 8),
            static_cast<uint8_t>(V)};
}
inline Bytes Syncsafe(uint32_t V) {
    return {static_cast<uint8_t>((V >> 21) & 0x7F), static_cast<uint8_t>((V >> 14) & 0x7F),
            static_cast<uint8_t>((V >> 7) & 0x7F), static_cast<uint8_t>(V & 0x7F)};
}

// 2.3 frame: id, 32-bit big-endian size, two flag bytes, content.
inline Bytes Frame23(std::string_view ID, const Bytes& Content, uint8_t Flags1 = 0, uint8_t Flags2 = 0) {
    return Cat({Str(ID), BE32(static_cast<uint32_t>(Content.size())), Bytes{Flags1, Flags2}, Content});
}
// 2.4 frame: size syncsafe.
inline Bytes Frame24(std::string_view ID, const Bytes& Content, uint8_t Flags1 = 0, uint8_t Flags2 = 0) {
    return Cat({Str(ID), Syncsafe(static_cast<uint32_t>(Content.size())), Bytes{Flags1, Flags2}, Content});
}
// 2.2 frame: three-character id, 24-bit size.
inline Bytes Frame22(std::string_view ID, const Bytes& Content) {
    const auto n = static_cast<uint32_t>(Content.size());
    return Cat({Str(ID),
                Bytes{static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)},
                Content});
}
// Text frame content in ISO-8859-1: encoding byte, text, terminator.
inline Bytes Latin1Text(std::string_view Text) { return Cat({Bytes{0}, Str(Text), Bytes{0}}); }

// Tag header with the size field covering Body plus Padding zero bytes.
inline Bytes Tag(uint8_t Major, const Bytes& Body, size_t Padding = 0, uint8_t Flags = 0) {
    return Cat({Str("ID3"), Bytes{Major, 0, Flags}, Syncsafe(static_cast<uint32_t>(Body.size() + Padding)),
                Body, Bytes(Padding, 0)});
}

// Stand-in for audio: bytes that no tag parser takes for a frame (0xFF 0xFB sync, then
// a pattern), distinct enough to show any shift or loss.
inline Bytes Audio(size_t Size = 1000) {
    Bytes out(Size);
    for (size_t i = 0; i < Size; ++i) out[i] = static_cast<uint8_t>((i % 2 == 0) ? 0xFF : (0x80 + i % 97));
    return out;
}

// ID3v1.1 record.
inline Bytes Record(std::string_view Title, uint8_t Track = 1, uint8_t Genre = 17) {
    Bytes r(128, 0);
    std::memcpy(r.data(), "TAG", 3);
    std::memcpy(r.data() + 3, Title.data(), std::min<size_t>(30, Title.size()));
    r[126] = Track;
    r[127] = Genre;
    return r;
}

// The zlib stream of Plain, as compressed frames hold it.
inline Bytes Deflate(const Bytes& Plain) {
    uLongf size = compressBound(static_cast<uLong>(Plain.size()));
    Bytes out(size);
    compress(out.data(), &size, Plain.data(), static_cast<uLong>(Plain.size()));
    out.resize(size);
    return out;
}

inline Bytes Slice(const Bytes& B, size_t From, size_t Count = std::string::npos) {
    if (From >= B.size()) return {};
    return Bytes(B.begin() + static_cast<std::ptrdiff_t>(From),
                 B.begin() + static_cast<std::ptrdiff_t>(
                                 std::min(B.size(), Count == std::string::npos ? B.size() : From + Count)));
}

}  // namespace covrilo::test
