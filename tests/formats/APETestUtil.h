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

inline void PutU32LE(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint32_t GetU32LE(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b.at(at)) | (static_cast<uint32_t>(b.at(at + 1)) << 8) |
           (static_cast<uint32_t>(b.at(at + 2)) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

struct ApeItem {
    std::string Key;
    std::string Value;
    uint32_t Flags = 0;
};

inline Bytes ApeItemBytes(const ApeItem& item) {
    Bytes out;
    PutU32LE(out, static_cast<uint32_t>(item.Value.size()));
    PutU32LE(out, item.Flags);
    out.insert(out.end(), item.Key.begin(), item.Key.end());
    out.push_back(0);
    out.insert(out.end(), item.Value.begin(), item.Value.end());
    return out;
}

inline Bytes ApeHeaderOrFooter(uint32_t version, uint32_t tagSize, uint32_t count, uint32_t flags) {
    Bytes out = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
    PutU32LE(out, version);
    PutU32LE(out, tagSize);
    PutU32LE(out, count);
    PutU32LE(out, flags);
    out.insert(out.end(), 8, 0);
    return out;
}

// A whole tag: header (when withHeader), items, footer.
inline Bytes ApeTag(const std::vector<ApeItem>& items, uint32_t version = 2000, bool withHeader = true) {
    Bytes body;
    for (const ApeItem& item : items) {
        Bytes b = ApeItemBytes(item);
        body.insert(body.end(), b.begin(), b.end());
    }
    const auto size = static_cast<uint32_t>(body.size() + 32);
    const auto count = static_cast<uint32_t>(items.size());
    Bytes out;
    if (withHeader) out = ApeHeaderOrFooter(version, size, count, 0xA0000000u);
    out.insert(out.end(), body.begin(), body.end());
    Bytes footer = ApeHeaderOrFooter(version, size, count, withHeader ? 0x80000000u : 0u);
    out.insert(out.end(), footer.begin(), footer.end());
    return out;
}

// A plain 128-byte ID3v1 record with a title.
inline Bytes Id3v1Record(const std::string& title) {
    Bytes r(128, 0);
    std::memcpy(r.data(), "TAG", 3);
    std::memcpy(r.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
    r[127] = 12;
    return r;
}

// Stand-in for audio data without any tag marks.
inline Bytes FakeAudio(size_t n = 2000) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x41 + i % 11);
    return b;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace covrilo::test
