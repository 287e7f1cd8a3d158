// SPDX-License-Identifier: MIT
// Helpers for the frame tests: byte fixtures written one field per line, and loading and
// saving a frame through a memory stream.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "id3v2/frames/TBaseFrame.h"
#include "io/EnhancedStreams.h"

namespace covrilo::test {

using FrameBytes = std::vector<uint8_t>;

// One field of a fixture: text without terminator ("TIT2") or a list of byte values.
struct Field {
    FrameBytes Bytes;
    Field(const char* Text) : Bytes(Text, Text + std::strlen(Text)) {}  // NOLINT: fixtures read better
    Field(std::initializer_list<int> Values) {
        for (int v : Values) Bytes.push_back(static_cast<uint8_t>(v));
    }
};

inline FrameBytes Fixture(std::initializer_list<Field> Fields) {
    FrameBytes out;
    for (const Field& f : Fields) out.insert(out.end(), f.Bytes.begin(), f.Bytes.end());
    return out;
}

// Frame header of the given version: 2.2 (6 bytes), 2.3 (10, big-endian size) or 2.4 (10,
// syncsafe size). Flags are the two raw flag bytes.
inline FrameBytes Header(uint16_t Version, const std::string& ID, uint32_t Size, uint8_t Flag0 = 0,
                         uint8_t Flag1 = 0) {
    FrameBytes out(ID.begin(), ID.end());
    switch (Version >> 8) {
        case 2:
            out.insert(out.end(), {uint8_t(Size >> 16), uint8_t(Size >> 8), uint8_t(Size)});
            return out;
        case 3:
            out.insert(out.end(),
                       {uint8_t(Size >> 24), uint8_t(Size >> 16), uint8_t(Size >> 8), uint8_t(Size)});
            break;
        default:
            out.insert(out.end(), {uint8_t((Size >> 21) & 0x7F), uint8_t((Size >> 14) & 0x7F),
                                   uint8_t((Size >> 7) & 0x7F), uint8_t(Size & 0x7F)});
            break;
    }
    out.insert(out.end(), {Flag0, Flag1});
    return out;
}

inline FrameBytes operator+(FrameBytes A, const FrameBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

// Loads Frame from Data; the stream is returned so its position can be checked.
inline bool LoadFrame(TBaseFrame& Frame, const FrameBytes& Data, uint16_t Version,
                      int64_t* EndPosition = nullptr) {
    TMemoryStream stream{FrameBytes(Data)};
    const bool ok = Frame.LoadFromStream(stream, Version);
    if (EndPosition) *EndPosition = stream.Position();
    return ok;
}

// Saves Frame and checks that the header announces exactly the bytes that follow it.
inline FrameBytes SaveFrame(TBaseFrame& Frame, uint16_t Version) {
    TMemoryStream stream;
    EXPECT_TRUE(Frame.SaveToStream(stream, Version));
    const FrameBytes& out = stream.Data();
    // The size field must count exactly the bytes written after the 6- or 10-byte header.
    const size_t fixed = (Version >> 8) == 2 ? 6 : 10;
    if (out.size() < fixed) {
        ADD_FAILURE() << "frame shorter than its header";
        return out;
    }
    uint32_t sizeField = 0;
    if ((Version >> 8) == 2)
        sizeField = (uint32_t{out[3]} << 16) | (uint32_t{out[4]} << 8) | out[5];
    else if ((Version >> 8) == 3)
        sizeField = (uint32_t{out[4]} << 24) | (uint32_t{out[5]} << 16) | (uint32_t{out[6]} << 8) | out[7];
    else
        sizeField = (uint32_t{out[4]} << 21) | (uint32_t{out[5]} << 14) | (uint32_t{out[6]} << 7) | out[7];
    EXPECT_EQ(sizeField, out.size() - fixed) << "size field disagrees with the bytes written";
    EXPECT_EQ(out.size(), size_t{Frame.GetHeaderSize(Version)} + Frame.GetDataSize(Version));
    return out;
}

inline std::string VersionName(uint16_t Version) { return "2." + std::to_string(Version >> 8); }

}  // namespace covrilo::test
