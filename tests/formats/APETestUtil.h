// SPDX-License-Identifier: MIT
// Builders of APE tag bytes for tests, written from the published layout and independent
// of the code under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace covrilo::test {

inline void PutU32LE(Bytes& Out, uint32_t V) {
    for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

inline uint32_t GetU32LE(const Bytes& B, size_t At) {
    return static_cast<uint32_t>(B.at(At)) | (static_cast<uint32_t>(B.at(At + 1)) << 8) |
           (static_cast<uint32_t>(B.at(At + 2)) << 16) | (static_cast<uint32_t>(B.at(At + 3)) << 24);
}

struct ApeItem {
    std::string Key;
    std::string Value;
    uint32_t Flags = 0;
};

inline Bytes ApeItemBytes(const ApeItem& Item) {
    Bytes out;
    PutU32LE(out, static_cast<uint32_t>(Item.Value.size()));
    PutU32LE(out, Item.Flags);
    out.insert(out.end(), Item.Key.begin(), Item.Key.end());
    out.push_back(0);
    out.insert(out.end(), Item.Value.begin(), Item.Value.end());
    return out;
}

inline Bytes ApeHeaderOrFooter(uint32_t Version, uint32_t TagSize, uint32_t Count, uint32_t Flags) {
    Bytes out = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
    PutU32LE(out, Version);
    PutU32LE(out, TagSize);
    PutU32LE(out, Count);
    PutU32LE(out, Flags);
    out.insert(out.end(), 8, 0);
    return out;
}

// A whole tag: header (when withHeader), items, footer.
inline Bytes ApeTag(const std::vector<ApeItem>& Items, uint32_t Version = 2000, bool WithHeader = true) {
    Bytes body;
    for (const ApeItem& item : Items) {
        Bytes b = ApeItemBytes(item);
        body.insert(body.end(), b.begin(), b.end());
    }
    const auto size = static_cast<uint32_t>(body.size() + 32);
    const auto count = static_cast<uint32_t>(Items.size());
    Bytes out;
    if (WithHeader) out = ApeHeaderOrFooter(Version, size, count, 0xA0000000u);
    out.insert(out.end(), body.begin(), body.end());
    Bytes footer = ApeHeaderOrFooter(Version, size, count, WithHeader ? 0x80000000u : 0u);
    out.insert(out.end(), footer.begin(), footer.end());
    return out;
}

// A plain 128-byte ID3v1 record with a title.
inline Bytes Id3v1Record(const std::string& Title) {
    Bytes r(128, 0);
    std::memcpy(r.data(), "TAG", 3);
    std::memcpy(r.data() + 3, Title.data(), std::min<size_t>(Title.size(), 30));
    r[127] = 12;
    return r;
}

// Stand-in for audio data without any tag marks.
inline Bytes FakeAudio(size_t N = 2000) {
    Bytes b(N);
    for (size_t i = 0; i < N; ++i) b[i] = static_cast<uint8_t>(0x41 + i % 11);
    return b;
}

inline Bytes Join(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace covrilo::test
