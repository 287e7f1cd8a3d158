// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "id3v2/ID3v2Types.h"

namespace covrilo {
namespace {

TEST(ID3v2Types, SyncsafeKnownValues) {
    struct Case {
        uint32_t Value;
        std::array<uint8_t, 4> Bytes;
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0}},
        {0x7F, {0, 0, 0, 0x7F}},
        {0x80, {0, 0, 1, 0}},
        {257, {0, 0, 2, 1}},
        {0x0FFFFFFF, {0x7F, 0x7F, 0x7F, 0x7F}},
        {0x00123456, {0x00, 0x48, 0x68, 0x56}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value);
        std::array<uint8_t, 4> out{0xEE, 0xEE, 0xEE, 0xEE};
        EncodeSyncsafe(c.Value, out.data());
        EXPECT_EQ(out, c.Bytes);
        EXPECT_EQ(DecodeSyncsafe(c.Bytes.data()), c.Value);
    }
}

TEST(ID3v2Types, SyncsafeRoundTripAndLimits) {
    for (uint32_t v = 0; v < (1u << 28); v = v * 3 + 1) {
        std::array<uint8_t, 4> b{};
        EncodeSyncsafe(v, b.data());
        for (uint8_t x : b) EXPECT_EQ(x & 0x80, 0) << v;
        EXPECT_EQ(DecodeSyncsafe(b.data()), v);
    }
    // Bits above 28 are dropped when encoding.
    std::array<uint8_t, 4> b{};
    EncodeSyncsafe(0xF0000005u, b.data());
    EXPECT_EQ(DecodeSyncsafe(b.data()), 5u);
    // Decoding does not mask the top bit of a byte.
    const std::array<uint8_t, 4> high{0, 0, 0, 0xFF};
    EXPECT_EQ(DecodeSyncsafe(high.data()), 0xFFu);
    const std::array<uint8_t, 4> high2{0, 0, 0x80, 0};
    EXPECT_EQ(DecodeSyncsafe(high2.data()), 0x80u << 7);
}

TEST(ID3v2Types, AssertionMessageNamesFileAndLine) {
    try {
        RaiseAssertion("no footer support!", "/build/src/lib_audio_tools/id3v2/ID3v2Class.cpp", 812);
        FAIL() << "no exception";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "no footer support! (ID3v2Class.cpp, line 812)");
    }
    int line = 0;
    try {
        line = __LINE__ + 1;
        ID3_ASSERT(1 + 1 == 3, "broken arithmetic");
        FAIL() << "no exception";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()),
                  "broken arithmetic (test_ID3v2Types.cpp, line " + std::to_string(line) + ")");
    }
    EXPECT_NO_THROW(ID3_ASSERT(true, "never"));
}

TEST(ID3v2Types, ExceptionTree) {
    EXPECT_THROW(throw EID3LibFrameIDInvalid("x"), EID3LibSaveException);
    EXPECT_THROW(throw EID3LibLoadException("x"), EID3LibException);
}

}  // namespace
}  // namespace covrilo
