// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TBaseFrame.h"

namespace covrilo {
namespace {

using test::Field;
using test::Fixture;
using test::FrameBytes;
using test::operator+;

// The smallest concrete frame: header plus a fixed content size, so header reading and
// writing can be tested on their own.
class THeaderOnlyFrame : public TBaseFrame {
   public:
    uint32_t ContentSize = 0;
    uint32_t GetDataSize(uint16_t) override { return ContentSize; }
    bool LoadFromStream(TStream& Stream, uint16_t Version) override {
        Stored = ReadFrameHeader(Stream, Version);
        return Stored;
    }
    bool SaveToStream(TStream& Stream, uint16_t Version) override {
        return WriteFrameHeader(Stream, Version);
    }
};

struct HeaderCase {
    const char* Name;
    uint16_t Version;
    FrameBytes Bytes;
    const char* ID;
    uint32_t FrameSize;
    uint32_t DataSize;
    TFrameFlags Flags;
    uint8_t Encryption, Group;
    uint32_t DataLength;
    int64_t HeaderEnd;
};

TEST(TBaseFrame, ReadsHeadersOfEachVersion) {
    const HeaderCase cases[] = {
        {"2.2 id converted", ID3V2_VERSION_2_2,
         Fixture({"TT2",                 // identifier
                  {0x01, 0x02, 0x03}}),  // 24-bit size
         "TIT2", 0x010203, 0x010203, 0, 0, 0, 0, 6},
        {"2.3 big-endian size", ID3V2_VERSION_2_3,
         Fixture({"TALB",                    // identifier
                  {0x00, 0x01, 0x00, 0x00},  // size 65536
                  {0x00, 0x00}}),            // flags
         "TALB", 65536, 65536, 0, 0, 0, 0, 10},
        {"2.3 little-endian size quirk", ID3V2_VERSION_2_3,
         Fixture({"TIT2",                    // identifier
                  {0x10, 0x00, 0x00, 0x00},  // read little-endian: 16
                  {0x00, 0x00}}),
         "TIT2", 16, 16, 0, 0, 0, 0, 10},
        {"2.3 real size above 16 MiB", ID3V2_VERSION_2_3,
         Fixture({"APIC",                    // identifier
                  {0x01, 0x00, 0x01, 0x00},  // little-endian reading is large: stays big-endian
                  {0x00, 0x00}}),
         "APIC", 0x01000100, 0x01000100, 0, 0, 0, 0, 10},
        {"2.4 syncsafe size", ID3V2_VERSION_2_4,
         Fixture({"TIT2",                    // identifier
                  {0x00, 0x00, 0x01, 0x7F},  // syncsafe 255
                  {0x00, 0x00}}),
         "TIT2", 255, 255, 0, 0, 0, 0, 10},
        {"2.3 all extras", ID3V2_VERSION_2_3,
         Fixture({"TIT2",                    // identifier
                  {0x00, 0x00, 0x00, 0x20},  // size 32
                  {0xE0, 0xE0},              // tag/file alter, read only; compression, encryption, grouping
                  {0x00, 0x00, 0x01, 0x00},  // decompressed size 256
                  {0x81},                    // encryption method
                  {0x92}}),                  // group symbol
         "TIT2", 32, 26,
         ffTagAlterPreservation | ffFileAlterPreservation | ffReadOnly | ffCompression | ffEncryption |
             ffGroupingIdentity,
         0x81, 0x92, 256, 16},
        {"2.4 all extras", ID3V2_VERSION_2_4,
         Fixture({"TIT2",                    // identifier
                  {0x00, 0x00, 0x00, 0x20},  // size 32
                  {0x70, 0x4F},  // alter/read only; grouping, compression, encryption, unsync, DLI
                  {0x92},        // group symbol
                  {0x81},        // encryption method
                  {0x00, 0x00, 0x02, 0x00}}),  // data length indicator, syncsafe 256
         "TIT2", 32, 26,
         ffTagAlterPreservation | ffFileAlterPreservation | ffReadOnly | ffCompression | ffEncryption |
             ffGroupingIdentity | ffUnsynchronisation | ffDataLengthIndicator,
         0x81, 0x92, 256, 16},
        {"2.4 data length indicator only", ID3V2_VERSION_2_4,
         Fixture({"TXXX",                      // identifier
                  {0x00, 0x00, 0x00, 0x0E},    // size 14
                  {0x00, 0x01},                // data length indicator
                  {0x00, 0x00, 0x00, 0x0A}}),  // 10
         "TXXX", 14, 10, ffDataLengthIndicator, 0, 0, 10, 14},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        THeaderOnlyFrame frame;
        int64_t end = 0;
        ASSERT_TRUE(test::LoadFrame(frame, c.Bytes, c.Version, &end));
        EXPECT_EQ(frame.FrameID(), c.ID);
        EXPECT_EQ(frame.FrameSize, c.FrameSize);
        EXPECT_EQ(frame.DataSize, c.DataSize);
        EXPECT_EQ(frame.FrameFlags, c.Flags);
        EXPECT_EQ(frame.EncryptionMethod, c.Encryption);
        EXPECT_EQ(frame.GroupSymbol, c.Group);
        EXPECT_EQ(frame.DataLength, c.DataLength);
        EXPECT_EQ(end, c.HeaderEnd);
    }
}

TEST(TBaseFrame, ShortOrUnknownHeadersFail) {
    struct Case {
        const char* Name;
        uint16_t Version;
        FrameBytes Bytes;
    };
    const Case shortOnes[] = {
        {"2.2 five bytes", ID3V2_VERSION_2_2, Fixture({"TT2", {0, 0}})},
        {"2.3 nine bytes", ID3V2_VERSION_2_3, Fixture({"TIT2", {0, 0, 0, 1}, {0}})},
        {"2.3 missing group byte", ID3V2_VERSION_2_3, Fixture({"TIT2", {0, 0, 0, 5}, {0, 0x20}})},
        {"2.4 missing length indicator", ID3V2_VERSION_2_4,
         Fixture({"TIT2", {0, 0, 0, 9}, {0, 0x01}, {0, 0}})},
        {"version 2.5", 0x0500, Fixture({"TIT2", {0, 0, 0, 1}, {0, 0}, {0}})},
        // The extra bytes belong to the frame: a size that cannot hold them is a broken
        // header, whose reading must not take the next frame's bytes.
        {"2.3 size smaller than its decompressed size", ID3V2_VERSION_2_3,
         Fixture({"TIT2", {0, 0, 0, 2}, {0x00, 0x80}, {0, 0, 0, 5}, {'x', 'y'}})},
        {"2.4 size smaller than its length indicator", ID3V2_VERSION_2_4,
         Fixture({"TENC", {0, 0, 0, 1}, {0x20, 0x01}, {0}, "TIT2"})},
    };
    for (const auto& c : shortOnes) {
        SCOPED_TRACE(c.Name);
        THeaderOnlyFrame frame;
        EXPECT_FALSE(test::LoadFrame(frame, c.Bytes, c.Version));
    }

    THeaderOnlyFrame unknown22;
    try {
        test::LoadFrame(unknown22, Fixture({"ABC", {0, 0, 1}, {0}}), ID3V2_VERSION_2_2);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibLoadException& e) {
        EXPECT_STREQ(e.what(), "unknown ID3v2.2.x frame id \"ABC\"");
    }

    THeaderOnlyFrame compressedNoLength;
    try {
        test::LoadFrame(compressedNoLength, Fixture({"TIT2", {0, 0, 0, 1}, {0, 0x08}, {0}}),
                        ID3V2_VERSION_2_4);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibLoadException& e) {
        EXPECT_STREQ(e.what(), "invalid frame header: compression used without data length indicator!");
    }
}

TEST(TBaseFrame, ExperimentalTwoTwoIdentifiersKeepTheirLetters) {
    THeaderOnlyFrame frame;
    ASSERT_TRUE(test::LoadFrame(frame, Fixture({"XYZ", {0, 0, 0}}), ID3V2_VERSION_2_2));
    EXPECT_EQ(frame.FrameID(), "XXYZ");
    const FrameBytes out = test::SaveFrame(frame, ID3V2_VERSION_2_2);
    EXPECT_EQ(out, Fixture({"XYZ", {0, 0, 0}}));
}

TEST(TBaseFrame, WritesHeadersOfEachVersion) {
    struct Case {
        const char* Name;
        uint16_t Version;
        TFrameFlags Flags;
        FrameBytes Expected;
    };
    const TFrameFlags all = ffTagAlterPreservation | ffFileAlterPreservation | ffReadOnly | ffCompression |
                            ffEncryption | ffGroupingIdentity;
    const Case cases[] = {
        {"2.2", ID3V2_VERSION_2_2, all, Fixture({"TT2", {0x00, 0x01, 0x2C}})},
        {"2.3 plain", ID3V2_VERSION_2_3, 0, Fixture({"TIT2", {0, 0, 0x01, 0x2C}, {0, 0}})},
        {"2.3 extras", ID3V2_VERSION_2_3, all,
         Fixture({"TIT2",              // identifier
                  {0, 0, 0x01, 0x32},  // 300 + 4 + 1 + 1
                  {0xE0, 0xE0},        // flags
                  {0, 0, 0x01, 0x2C},  // data length: the content size
                  {0x81},              // encryption method
                  {0x92}})},           // group symbol
        {"2.4 plain", ID3V2_VERSION_2_4, 0, Fixture({"TIT2", {0, 0, 0x02, 0x2C}, {0, 0}})},
        {"2.4 extras; compression brings the length indicator", ID3V2_VERSION_2_4, all,
         Fixture({"TIT2",                 // identifier
                  {0, 0, 0x02, 0x32},     // syncsafe 306
                  {0x70, 0x4D},           // flags, data length indicator added
                  {0x92},                 // group symbol
                  {0x81},                 // encryption method
                  {0, 0, 0x02, 0x2C}})},  // data length, syncsafe 300
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        THeaderOnlyFrame frame;
        frame.SetFrameID("TIT2");
        frame.ContentSize = 300;
        frame.FrameFlags = c.Flags;
        frame.EncryptionMethod = 0x81;
        frame.GroupSymbol = 0x92;
        TMemoryStream out;
        ASSERT_TRUE(frame.SaveToStream(out, c.Version));
        EXPECT_EQ(out.Data(), c.Expected);
        EXPECT_EQ(out.Data().size(), frame.GetHeaderSize(c.Version));

        // What was written reads back to the same flags and extra bytes.
        THeaderOnlyFrame back;
        ASSERT_TRUE(test::LoadFrame(back, out.Data() + FrameBytes(300, 0), c.Version));
        EXPECT_EQ(back.DataSize, 300u);
        if (c.Version != ID3V2_VERSION_2_2) {
            EXPECT_EQ(back.FrameFlags & all, c.Flags);
            EXPECT_EQ(back.EncryptionMethod, (c.Flags & ffEncryption) ? 0x81 : 0);
            EXPECT_EQ(back.GroupSymbol, (c.Flags & ffGroupingIdentity) ? 0x92 : 0);
        }
    }
}

TEST(TBaseFrame, HeaderSizeCountsExtraBytes) {
    struct Case {
        uint16_t Version;
        TFrameFlags Flags;
        uint32_t Size;
    };
    const Case cases[] = {
        {ID3V2_VERSION_2_2, ffCompression | ffEncryption, 6},
        {ID3V2_VERSION_2_3, 0, 10},
        {ID3V2_VERSION_2_3, ffCompression, 14},
        {ID3V2_VERSION_2_3, ffEncryption | ffGroupingIdentity, 12},
        {0x0301, ffDataLengthIndicator, 10},
        {ID3V2_VERSION_2_4, ffDataLengthIndicator, 14},
        {ID3V2_VERSION_2_4, ffCompression, 14},
        {ID3V2_VERSION_2_4, ffGroupingIdentity | ffEncryption, 12},
        {0x0500, 0, 0},
    };
    for (const auto& c : cases) {
        THeaderOnlyFrame frame;
        frame.FrameFlags = c.Flags;
        EXPECT_EQ(frame.GetHeaderSize(c.Version), c.Size)
            << std::hex << c.Version << " flags " << int(c.Flags);
    }
}

TEST(TBaseFrame, KeepsTheStoredLengthOfCompressedContent) {
    // Compressed content is kept as stored, so its decompressed size must survive a save.
    THeaderOnlyFrame frame;
    const FrameBytes in = Fixture({"PRIV", {0, 0, 0, 9}, {0x00, 0x80}, {0, 0, 0x10, 0x00}, {1, 2, 3, 4, 5}});
    ASSERT_TRUE(test::LoadFrame(frame, in, ID3V2_VERSION_2_3));
    frame.ContentSize = frame.DataSize;
    TMemoryStream out;
    ASSERT_TRUE(frame.SaveToStream(out, ID3V2_VERSION_2_3));
    EXPECT_EQ(out.Data(), FrameBytes(in.begin(), in.begin() + 14));
}

TEST(TBaseFrame, WriteErrors) {
    THeaderOnlyFrame priv;
    priv.SetFrameID("PRIV");
    TMemoryStream out;
    try {
        priv.SaveToStream(out, ID3V2_VERSION_2_2);
        ADD_FAILURE() << "no exception";
    } catch (const EID3LibFrameVersionMismatch& e) {
        EXPECT_STREQ(e.what(), "there is no equivalent frame id for \"PRIV\" in ID3v2.2.x");
    }
    EXPECT_FALSE(priv.SaveToStream(out, 0x0500));
    EXPECT_EQ(out.Size(), 0);

    // Sizes beyond what a version's size field holds are refused rather than cut.
    THeaderOnlyFrame huge;
    huge.SetFrameID("APIC");
    huge.ContentSize = 0x01000000;
    EXPECT_THROW(huge.SaveToStream(out, ID3V2_VERSION_2_2), EID3LibFrameVersionMismatch);
    huge.ContentSize = 0x10000000;
    EXPECT_THROW(huge.SaveToStream(out, ID3V2_VERSION_2_4), EID3LibFrameVersionMismatch);
    EXPECT_TRUE(huge.SaveToStream(out, ID3V2_VERSION_2_3));
}

TEST(TBaseFrame, IdentifierAndNames) {
    THeaderOnlyFrame frame;
    frame.SetFrameID("TXXX");
    EXPECT_EQ(frame.FrameID(), "TXXX");
    EXPECT_EQ(frame.FrameName, "Custom text");
    EXPECT_EQ(frame.FrameDescription, "User defined text information frame");
    EXPECT_EQ(frame.SupportedVersions, svID3v22 | svID3v23 | svID3v24);

    frame.SetFrameID("TDR");  // too short: ignored
    EXPECT_EQ(frame.FrameID(), "TXXX");
    frame.SetFrameID("TDRCxyz");  // first four characters
    EXPECT_EQ(frame.FrameID(), "TDRC");
    EXPECT_EQ(frame.SupportedVersions, svID3v24);

    THeaderOnlyFrame outside;
    outside.SetFrameID("ZZZZ");
    EXPECT_EQ(outside.FrameName, "");
    EXPECT_EQ(outside.SupportedVersions, 0);
}

// ---- text helpers ----

TEST(TBaseFrame, EncodedTextSizeMatchesWrittenBytes) {
    const std::u16string texts[] = {u"",       u"Hi", u"Gr\u00FC\u00DFe", u"\u65E5\u672C", u"\U0001F3B5 note",
                                    u"a\xD800"};
    for (const auto& text : texts) {
        for (TTextEncoding encoding : {teISO8859_1, teUTF16, teUTF16BE, teUTF8}) {
            for (bool bigEndian : {false, true}) {
                TMemoryStream out;
                ASSERT_TRUE(TBaseFrame::WriteText(out, text, bigEndian, encoding));
                EXPECT_EQ(out.Size(), TBaseFrame::EncodedTextSize(text, encoding))
                    << "encoding " << int(encoding) << " length " << text.size();
            }
        }
    }
    EXPECT_EQ(TBaseFrame::EncodedTextSize(u"abc", teUnknown), 3u);
}

TEST(TBaseFrame, WriteTextLayouts) {
    struct Case {
        const char* Name;
        std::u16string Text;
        bool BigEndian;
        TTextEncoding Encoding;
        FrameBytes Expected;
    };
    const Case cases[] = {
        {"latin-1, outside replaced", u"A\u00E9\u20AC", false, teISO8859_1, Fixture({{'A', 0xE9, '?'}, {0}})},
        {"utf-16 little-endian", u"A\u20AC", false, teUTF16,
         Fixture({{0xFF, 0xFE}, {'A', 0, 0xAC, 0x20}, {0, 0}})},
        {"utf-16 big-endian", u"A\u20AC", true, teUTF16,
         Fixture({{0xFE, 0xFF}, {0, 'A', 0x20, 0xAC}, {0, 0}})},
        {"utf-16 empty keeps mark", u"", false, teUTF16, Fixture({{0xFF, 0xFE}, {0, 0}})},
        {"utf-16be", u"A\u20AC", false, teUTF16BE, Fixture({{0, 'A', 0x20, 0xAC}, {0, 0}})},
        {"utf-8", u"A\u20AC", false, teUTF8, Fixture({{'A', 0xE2, 0x82, 0xAC}, {0}})},
        {"unknown writes nothing", u"A", false, teUnknown, FrameBytes{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream out;
        ASSERT_TRUE(TBaseFrame::WriteText(out, c.Text, c.BigEndian, c.Encoding));
        EXPECT_EQ(out.Data(), c.Expected);
    }
}

TEST(TBaseFrame, ReadTextCases) {
    struct Case {
        const char* Name;
        FrameBytes Bytes;
        int64_t MaxBytes;
        TTextEncoding Encoding;
        std::u16string Text;
        bool BigEndian;
        int64_t Consumed;
    };
    const Case cases[] = {
        {"latin-1 stops after terminator", Fixture({"Ab", {0xE9, 0}, "next"}), 100, teISO8859_1, u"Ab\u00E9",
         false, 4},
        {"latin-1 limited", Fixture({"Abcdef", {0}}), 3, teISO8859_1, u"Abc", false, 3},
        {"latin-1 at stream end", Fixture({"Abc"}), 100, teISO8859_1, u"Abc", false, 3},
        {"utf-8", Fixture({{'A', 0xE2, 0x82, 0xAC, 0}, "x"}), 100, teUTF8, u"A\u20AC", false, 5},
        {"utf-16 mark FF FE", Fixture({{0xFF, 0xFE, 'A', 0, 0, 0}, {'x', 0}}), 100, teUTF16, u"A", false, 6},
        {"utf-16 mark FE FF", Fixture({{0xFE, 0xFF, 0, 'A', 0, 0}, {'x', 0}}), 100, teUTF16, u"A", true, 6},
        {"utf-16 without mark is little-endian", Fixture({{'A', 0, 0xAC, 0x20, 0, 0}}), 100, teUTF16,
         u"A\u20AC", false, 6},
        {"utf-16 zero high byte is no terminator", Fixture({{0, 'A', 0, 0}}), 100, teUTF16BE, u"A", false, 4},
        {"utf-16be ignores marks", Fixture({{0xFE, 0xFF, 0, 'A', 0, 0}}), 100, teUTF16BE, u"\uFEFFA", false,
         6},
        {"utf-16 odd limit rounds down", Fixture({{0xFF, 0xFE, 'A', 0, 'B', 0, 0, 0}}), 5, teUTF16, u"A",
         false, 4},
        {"utf-16 odd byte at stream end", Fixture({{0xFF, 0xFE, 'A', 0, 'B'}}), 100, teUTF16, u"A", false, 5},
        {"nothing when limit is zero", Fixture({"abc", {0}}), 0, teISO8859_1, u"", false, 0},
        {"nothing when limit is negative", Fixture({"abc", {0}}), -4, teUTF8, u"", false, 0},
        {"only a terminator", Fixture({{0, 0}, "x"}), 100, teUTF16BE, u"", false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream in{FrameBytes(c.Bytes)};
        bool bigEndian = !c.BigEndian;
        std::u16string text = u"stale";
        EXPECT_EQ(TBaseFrame::ReadText(in, c.MaxBytes, bigEndian, text, c.Encoding), c.Consumed);
        EXPECT_EQ(text, c.Text);
        EXPECT_EQ(bigEndian, c.BigEndian);
        EXPECT_EQ(in.Position(), c.Consumed) << "stream must stand right after the consumed bytes";
    }
}

TEST(TBaseFrame, ReadTextLongerThanOneChunk) {
    // Long texts are read in chunks; the terminator may sit anywhere, even across chunks.
    for (size_t length : {63u, 64u, 65u, 127u, 1000u, 70000u}) {
        std::u16string expected;
        FrameBytes bytes{0xFE, 0xFF};
        for (size_t i = 0; i < length; ++i) {
            const char16_t c = static_cast<char16_t>(0x100 + i % 500);
            expected.push_back(c);
            bytes.push_back(static_cast<uint8_t>(c >> 8));
            bytes.push_back(static_cast<uint8_t>(c));
        }
        bytes.insert(bytes.end(), {0, 0, 0x12, 0x34});
        TMemoryStream in{FrameBytes(bytes)};
        bool bigEndian = false;
        std::u16string text;
        EXPECT_EQ(TBaseFrame::ReadText(in, 1 << 30, bigEndian, text, teUTF16), int64_t(2 * length + 4));
        EXPECT_EQ(text, expected);
        EXPECT_TRUE(bigEndian);
        EXPECT_EQ(in.Position(), int64_t(2 * length + 4));
    }
}

}  // namespace
}  // namespace covrilo
