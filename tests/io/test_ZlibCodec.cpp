// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <vector>

#include "id3v2/ID3v2ClassTestUtil.h"
#include "io/ZlibCodec.h"

namespace covrilo {
namespace {

using test::Deflate;

TEST(ZlibCodec, InflatesWithinTheDeclaredSizeOnly) {
    const std::vector<uint8_t> plain(100000, 0x42);
    const std::vector<uint8_t> packed = Deflate(plain);
    std::vector<uint8_t> out;
    EXPECT_TRUE(InflateZlib(packed, 100000, out));
    EXPECT_EQ(out, plain);
    EXPECT_TRUE(InflateZlib(packed, 0, out)) << "size not declared";
    EXPECT_EQ(out, plain);
    // A stream larger than it claims (a forged frame) is refused, not inflated without end.
    EXPECT_FALSE(InflateZlib(packed, 1000, out));
    EXPECT_TRUE(out.empty());
    // Damaged or cut short.
    std::vector<uint8_t> cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2));
    EXPECT_FALSE(InflateZlib(cut, 100000, out));
    EXPECT_FALSE(InflateZlib(std::vector<uint8_t>{1, 2, 3, 4}, 10, out));
    EXPECT_FALSE(InflateZlib({}, 10, out));
}

TEST(ZlibCodec, Crc32) {
    const std::vector<uint8_t> text = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc32(text), 0xCBF43926u);  // the standard check value
    const std::vector<uint8_t> zeros(5000, 0);
    EXPECT_EQ(Crc32OfZeros(5000, Crc32(text)), Crc32(zeros, Crc32(text)));
}

}  // namespace
}  // namespace covrilo
