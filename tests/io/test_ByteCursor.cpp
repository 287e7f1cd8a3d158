// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "io/ByteCursor.h"

namespace covrilo {
namespace {

constexpr std::array<uint8_t, 8> kBytes = {0x81, 0x02, 0x83, 0x04, 0x05, 0x86, 0x07, 0xF8};

struct TReadCase {
    const char* Name;
    size_t Width;
    std::function<std::optional<uint64_t>(TByteCursor&)> Read;
    std::function<uint64_t(std::span<const uint8_t>, size_t)> ReadAt;  // may be empty
    uint64_t Expected;                                                 // of the first Width bytes of kBytes
};

std::vector<TReadCase> ReadCases() {
    auto wrap = [](auto Method) {
        return [Method](TByteCursor& C) -> std::optional<uint64_t> {
            auto v = (C.*Method)();
            if (!v) return std::nullopt;
            return static_cast<uint64_t>(*v);
        };
    };
    return {
        {"U8", 1, wrap(&TByteCursor::U8), nullptr, 0x81},
        {"U16LE", 2, wrap(&TByteCursor::U16LE), U16LEAt, 0x0281},
        {"U16BE", 2, wrap(&TByteCursor::U16BE), U16BEAt, 0x8102},
        {"U24BE", 3, wrap(&TByteCursor::U24BE), U24BEAt, 0x810283},
        {"U32LE", 4, wrap(&TByteCursor::U32LE), U32LEAt, 0x04830281},
        {"U32BE", 4, wrap(&TByteCursor::U32BE), U32BEAt, 0x81028304},
        {"U64LE", 8, wrap(&TByteCursor::U64LE), U64LEAt, 0xF807860504830281ull},
        // Seven bits a byte: 0x01 0x02 0x03 0x04 once the top bits are masked off.
        {"Syncsafe32", 4, wrap(&TByteCursor::Syncsafe32), Syncsafe32At,
         (1u << 21) | (2u << 14) | (3u << 7) | 4u},
        // Unmasked, a set top bit shifts into the next byte's place and the value grows.
        {"SyncsafeUnmasked32", 4, wrap(&TByteCursor::SyncsafeUnmasked32), SyncsafeUnmasked32At,
         (0x81u << 21) | (0x02u << 14) | (0x83u << 7) | 0x04u},
    };
}

TEST(ByteCursor, EachReadDecodesItsByteOrderAndAdvancesByItsWidth) {
    for (const TReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.Name);
        TByteCursor cursor(kBytes);
        EXPECT_EQ(c.Read(cursor), std::optional<uint64_t>(c.Expected));
        EXPECT_EQ(cursor.Pos(), c.Width);
        EXPECT_EQ(cursor.Remaining(), kBytes.size() - c.Width);
        if (c.ReadAt) {
            EXPECT_EQ(c.ReadAt(kBytes, 0), c.Expected);
            // The same bytes further into a buffer read the same.
            std::vector<uint8_t> shifted(3, 0xEE);
            shifted.insert(shifted.end(), kBytes.begin(), kBytes.end());
            EXPECT_EQ(c.ReadAt(shifted, 3), c.Expected);
        }
    }
}

TEST(ByteCursor, AReadThatDoesNotFitFailsAndLeavesTheCursorInPlace) {
    for (const TReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.Name);
        // One byte short of the width, from the start and from a later position.
        for (size_t start : {size_t{0}, size_t{2}}) {
            std::span<const uint8_t> data(kBytes.data(), start + c.Width - 1);
            TByteCursor cursor(data, start);
            EXPECT_EQ(c.Read(cursor), std::nullopt);
            EXPECT_EQ(cursor.Pos(), start);
            if (c.ReadAt) {
                EXPECT_EQ(c.ReadAt(data, start), 0u);
                // An offset past the end, even one that would wrap around, reads 0.
                EXPECT_EQ(c.ReadAt(data, data.size() + 1), 0u);
                EXPECT_EQ(c.ReadAt(data, SIZE_MAX), 0u);
            }
        }
        TByteCursor empty(std::span<const uint8_t>{});
        EXPECT_EQ(c.Read(empty), std::nullopt);
    }
}

TEST(ByteCursor, BytesSpansAndSkipsAreBoundedByTheEnd) {
    TByteCursor c(kBytes, 2);
    EXPECT_EQ(c.Bytes(7), std::nullopt);
    EXPECT_FALSE(c.Skip(7));
    EXPECT_EQ(c.Pos(), 2u);
    EXPECT_FALSE(c.Skip(SIZE_MAX));
    EXPECT_EQ(c.Span(SIZE_MAX), std::nullopt);
    auto two = c.Bytes(2);
    ASSERT_TRUE(two);
    EXPECT_EQ(*two, std::string_view("\x83\x04", 2));
    EXPECT_TRUE(c.Skip(3));
    auto last = c.Span(1);
    ASSERT_TRUE(last);
    EXPECT_EQ((*last)[0], 0xF8);
    EXPECT_EQ(c.Remaining(), 0u);
    EXPECT_TRUE(c.Bytes(0));  // an empty read at the end fits
    // A start beyond the end puts the cursor at the end.
    TByteCursor beyond(kBytes, 100);
    EXPECT_EQ(beyond.Pos(), kBytes.size());
    EXPECT_EQ(beyond.U8(), std::nullopt);
}

TEST(ByteCursor, AppendedValuesReadBackInTheirByteOrder) {
    std::vector<uint8_t> out;
    AppendU16LE(out, 0x1234);
    AppendU24BE(out, 0xAB123456);  // the top byte does not fit 24 bits
    AppendU32LE(out, 0xDEADBEEF);
    AppendU32BE(out, 0xCAFEF00D);
    AppendSyncsafe32(out, 0xF0000000u | 0x0FFFFFFFu);  // bits above 28 are dropped
    AppendU64LE(out, 0x0102030405060708ull);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x34, 0x12, 0x12, 0x34, 0x56, 0xEF, 0xBE, 0xAD, 0xDE,
                                         0xCA, 0xFE, 0xF0, 0x0D, 0x7F, 0x7F, 0x7F, 0x7F, 8,
                                         7,    6,    5,    4,    3,    2,    1}));
    TByteCursor c(out);
    EXPECT_EQ(c.U16LE(), 0x1234);
    EXPECT_EQ(c.U24BE(), 0x123456u);
    EXPECT_EQ(c.U32LE(), 0xDEADBEEFu);
    EXPECT_EQ(c.U32BE(), 0xCAFEF00Du);
    EXPECT_EQ(c.Syncsafe32(), 0x0FFFFFFFu);
    EXPECT_EQ(c.U64LE(), 0x0102030405060708ull);
    EXPECT_EQ(c.Remaining(), 0u);
}

TEST(ByteCursor, PutWritesInsideItsSpanOrNotAtAll) {
    std::array<uint8_t, 6> out{};
    EXPECT_TRUE(PutU32BE(out, 1, 0x01020304));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{0, 1, 2, 3, 4, 0}));
    EXPECT_TRUE(PutU32LE(out, 2, 0x0A0B0C0D));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{0, 1, 0x0D, 0x0C, 0x0B, 0x0A}));
    EXPECT_TRUE(PutU24BE(out, 3, 0x00778899));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{0, 1, 0x0D, 0x77, 0x88, 0x99}));
    EXPECT_TRUE(PutSyncsafe32(out, 0, 257));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{0, 0, 0x02, 0x01, 0x88, 0x99}));
    const std::array<uint8_t, 6> before = out;
    EXPECT_FALSE(PutU32BE(out, 3, 0xFFFFFFFF));
    EXPECT_FALSE(PutU32LE(out, SIZE_MAX, 0xFFFFFFFF));
    EXPECT_FALSE(PutU24BE(out, 4, 0xFFFFFF));
    EXPECT_FALSE(PutSyncsafe32(out, 7, 1));
    EXPECT_EQ(out, before);
}

TEST(ByteCursor, SyncsafeRoundTripsEveryTwentyEightBitValueShape) {
    for (uint32_t v : {0u, 1u, 127u, 128u, 16383u, 16384u, 0x0FFFFFFFu}) {
        SCOPED_TRACE(v);
        std::array<uint8_t, 4> b{};
        ASSERT_TRUE(PutSyncsafe32(b, 0, v));
        for (uint8_t x : b) EXPECT_EQ(x & 0x80, 0);
        EXPECT_EQ(Syncsafe32At(b, 0), v);
        EXPECT_EQ(SyncsafeUnmasked32At(b, 0), v);
    }
}

}  // namespace
}  // namespace covrilo
