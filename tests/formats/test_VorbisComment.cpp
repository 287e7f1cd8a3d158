// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/VorbisComment.h"
#include "io/ByteCursor.h"

namespace covrilo {
namespace {

std::vector<uint8_t> Render(std::string_view Vendor, const std::vector<std::string>& Entries) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(AppendVorbisComment(out, Vendor, Entries));
    return out;
}

TEST(VorbisComment, RendersTheLittleEndianLayoutAndParsesItBack) {
    const std::vector<std::string> entries = {"TITLE=Caf\xC3\xA9", "artist=X", "NOEQUALS", "", "A=b=c"};
    const std::vector<uint8_t> block = Render("vendor", entries);
    const std::vector<uint8_t> head = {6, 0, 0, 0, 'v', 'e', 'n', 'd', 'o', 'r',
                                       5, 0, 0, 0, 11,  0,   0,   0,   'T'};
    ASSERT_GE(block.size(), head.size());
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(head.size())),
              head);
    EXPECT_EQ(block.size(), 4 + 6 + 4 + (4 * entries.size()) + 11 + 8 + 8 + 0 + 5);

    const TVorbisComment c = ParseVorbisComment(block);
    ASSERT_TRUE(c.Vendor);
    EXPECT_EQ(*c.Vendor, "vendor");
    EXPECT_EQ(c.Count, 5u);
    EXPECT_TRUE(c.Complete);
    EXPECT_EQ(c.End, block.size());
    ASSERT_EQ(c.Entries.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(c.Entries[i], entries[i]);

    // Rendering what was parsed gives the same bytes.
    EXPECT_EQ(Render(*c.Vendor, std::vector<std::string>(c.Entries.begin(), c.Entries.end())), block);
}

TEST(VorbisComment, AnEmptyBlockAndBytesAfterTheEntries) {
    std::vector<uint8_t> block = Render("", {});
    EXPECT_EQ(block, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
    block.push_back(0x01);  // an Ogg framing byte is not part of the block
    const TVorbisComment c = ParseVorbisComment(block);
    EXPECT_TRUE(c.Complete);
    EXPECT_EQ(c.Count, 0u);
    EXPECT_TRUE(c.Entries.empty());
    EXPECT_EQ(c.End, 8u);
}

TEST(VorbisComment, TruncatedInputKeepsWhatWasReadAndSaysWhere) {
    const std::vector<uint8_t> block = Render("v", {"A=1", "B=2"});
    // Cut at every length: the parse never fails loudly and reports exactly what fits.
    for (size_t n = 0; n < block.size(); ++n) {
        SCOPED_TRACE(n);
        const TVorbisComment c = ParseVorbisComment(std::span(block).first(n));
        EXPECT_FALSE(c.Complete);
        EXPECT_EQ(c.Vendor.has_value(), n >= 5);
        EXPECT_EQ(c.Count.has_value(), n >= 9);
        const size_t whole = n >= 23 ? 2 : n >= 16 ? 1 : 0;  // 9 + (4 + 3) per entry
        EXPECT_EQ(c.Entries.size(), whole);
        EXPECT_EQ(c.End, c.Count ? 9 + 7 * whole : 0);
    }
}

TEST(VorbisComment, HugeCountsAndLengthsEndWithTheData) {
    struct TCase {
        const char* Name;
        uint32_t VendorLength;
        uint32_t Count;
        uint32_t EntryLength;
        bool VendorRead;
        size_t Entries;
    };
    const TCase cases[] = {
        {"vendor length past the end", 0xFFFFFFFFu, 1, 3, false, 0},
        {"count far beyond the data", 1, 0xFFFFFFFFu, 3, true, 1},
        {"entry length past the end", 1, 1, 0xFFFFFFFFu, true, 0},
        {"entry length one byte too long", 1, 1, 4, true, 0},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Name);
        std::vector<uint8_t> b;
        AppendU32LE(b, t.VendorLength);
        b.push_back('v');
        AppendU32LE(b, t.Count);
        AppendU32LE(b, t.EntryLength);
        b.insert(b.end(), {'A', '=', '1'});
        const TVorbisComment c = ParseVorbisComment(b);
        EXPECT_EQ(c.Vendor.has_value(), t.VendorRead);
        EXPECT_EQ(c.Entries.size(), t.Entries);
        EXPECT_FALSE(c.Complete);
        if (t.Entries == 1) {
            EXPECT_EQ(c.Entries[0], "A=1");
            EXPECT_EQ(c.End, b.size());
        }
    }
}

TEST(VorbisComment, SplitsAtTheFirstEqualsSignAndUpperCasesTheNameOnly) {
    struct TCase {
        std::string_view Entry;
        bool Split;
        std::string Name;
        std::string_view Value;
    };
    const TCase cases[] = {
        {"title=Hello", true, "TITLE", "Hello"},
        {"Mixed_Case=a=b", true, "MIXED_CASE", "a=b"},
        {"=value", true, "", "value"},
        {"KEY=", true, "KEY", ""},
        {"\xE4rtist=\xE4", true, "\xE4RTIST", "\xE4"},  // bytes above ASCII are not folded
        {"no equals sign", false, "", ""},
        {"", false, "", ""},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(std::string(t.Entry));
        auto e = SplitVorbisEntry(t.Entry);
        ASSERT_EQ(e.has_value(), t.Split);
        if (!e) continue;
        EXPECT_EQ(e->Name, t.Name);
        EXPECT_EQ(e->Value, t.Value);
    }
}

}  // namespace
}  // namespace covrilo
