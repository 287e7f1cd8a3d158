// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "FlacOggTestUtil.h"
#include "formats/qmx_tag_oggvorbis.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

std::u16string U(const char* S) { return std::u16string(S, S + std::char_traits<char>::length(S)); }

// Value of the last field with that key (the facade's reading rule), or "<none>".
std::u16string Last(const TOggVorbis& O, const std::string& Key) {
    std::u16string v = u"<none>";
    for (const TOggField& f : O.Fields)
        if (f.Name == Key) v = f.Value;
    return v;
}
size_t CountKey(const TOggVorbis& O, const std::string& Key) {
    size_t n = 0;
    for (const TOggField& f : O.Fields) n += f.Name == Key;
    return n;
}

TEST(OggVorbis, CrcMatchesTheOggPolynomial) {
    // Check value of CRC-32 with polynomial 0x04C11DB7, initial 0, no reflection, no final xor.
    const std::string check = "123456789";
    EXPECT_EQ(OggCRC32(std::span(reinterpret_cast<const uint8_t*>(check.data()), check.size())), 0x89A1897Fu);
    // Continuing over a split gives the same value.
    auto data = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(OggCRC32(std::span(data + 4, 5), OggCRC32(std::span(data, 4))), 0x89A1897Fu);
    EXPECT_EQ(OggCRC32({}), 0u);
}

TEST(OggVorbis, ReadsStreamValuesAndComments) {
    TempDir dir;
    fs::path file = dir / "a.ogg";
    WriteFileBytes(file,
                   MakeOgg(CommentPacket("Xiph test vendor", {"TITLE=  Song  ", "artist=Someone", "GARBAGE",
                                                              "COMMENT=caf\xC3\xA9 \xF0\x9F\x8E\xB5"})));
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    EXPECT_TRUE(o.IsValid());
    EXPECT_EQ(o.Channels, 2);
    EXPECT_EQ(o.SampleRate, 44100);
    EXPECT_EQ(o.BitRateNominal, 128);
    EXPECT_EQ(o.Samples, 88200);
    EXPECT_DOUBLE_EQ(o.Duration(), 2.0);
    EXPECT_EQ(o.BitRate(), static_cast<int>(std::lround(o.FileSize / 2.0 / 125)));
    EXPECT_EQ(o.VendorInfo, "Xiph test vendor");
    ASSERT_EQ(o.Fields.size(), 4u);
    EXPECT_EQ(o.Fields[0].Name, "");
    EXPECT_EQ(o.Fields[0].Value, u"Xiph test vendor");
    EXPECT_EQ(o.Fields[1].Name, "TITLE");
    EXPECT_EQ(o.Fields[1].Value, u"Song");
    EXPECT_EQ(o.Fields[2].Name, "ARTIST");
    EXPECT_EQ(o.Fields[3].Value, u"caf\u00E9 \U0001F3B5");
}

TEST(OggVorbis, ID3v2TagInFrontIsSkipped) {
    TempDir dir;
    fs::path file = dir / "id3.ogg";
    WriteFileBytes(file, MakeOgg(CommentPacket("v", {"TITLE=t"}), 2, 88200, 3000, ID3v2Tag(100)));
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    EXPECT_EQ(o.ID3v2Size, 100);
    EXPECT_EQ(Last(o, "TITLE"), u"t");
    EXPECT_TRUE(o.IsValid());
    // The tag in front survives a save byte for byte.
    o.Fields = {TOggField("TITLE", u"new")};
    ASSERT_TRUE(o.SaveTag(file));
    Bytes after = ReadFileBytes(file);
    Bytes tag = ID3v2Tag(100);
    EXPECT_TRUE(std::equal(tag.begin(), tag.end(), after.begin()));
    TOggVorbis g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(Last(g, "TITLE"), u"new");
}

TEST(OggVorbis, SecondPageWithoutCommentReadsEmptyButValid) {
    TempDir dir;
    fs::path file = dir / "nocomment.ogg";
    Bytes bogus = SetupPacket(100);
    WriteFileBytes(file, MakeOgg(bogus));
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    EXPECT_TRUE(o.Fields.empty());
    EXPECT_TRUE(o.IsValid());
    EXPECT_EQ(o.VendorInfo, "Xiph.Org libVorbis");
    o.Fields = {TOggField("TITLE", u"x")};
    Bytes before = ReadFileBytes(file);
    EXPECT_FALSE(o.SaveTag(file));  // no comment packet to replace
    EXPECT_EQ(ReadFileBytes(file), before);
}

TEST(OggVorbis, NotOggOrNotVorbisReadsFalse) {
    Bytes notOgg = MakeOgg(CommentPacket("v", {}));
    notOgg[0] = 'X';
    Bytes notVorbis = MakeOgg(CommentPacket("v", {}));
    notVorbis[28 + 1] = 'X';  // identification packet type text
    Bytes truncated = MakeOgg(CommentPacket("v", {}));
    truncated.resize(40);
    TempDir dir;
    for (const Bytes& data : {notOgg, notVorbis, truncated, Bytes{}}) {
        fs::path file = dir / "x.ogg";
        WriteFileBytes(file, data);
        TOggVorbis o;
        EXPECT_FALSE(o.ReadFromFile(file));
        EXPECT_FALSE(o.IsValid());
        o.Fields = {TOggField("TITLE", u"x")};
        EXPECT_FALSE(o.SaveTag(file));
        EXPECT_EQ(ReadFileBytes(file), data);
    }
    TOggVorbis o;
    EXPECT_THROW(o.ReadFromFile(dir / "missing.ogg"), std::exception);
}

TEST(OggVorbis, ChannelCountsDecideValidity) {
    TempDir dir;
    fs::path file = dir / "ch.ogg";
    const std::pair<uint8_t, bool> cases[] = {{1, true},  {2, true},  {6, true},
                                              {5, false}, {0, false}, {8, false}};
    for (auto [channels, valid] : cases) {
        SCOPED_TRACE(int{channels});
        WriteFileBytes(file, MakeOgg(CommentPacket("v", {}), channels));
        TOggVorbis o;
        ASSERT_TRUE(o.ReadFromFile(file));
        EXPECT_EQ(o.IsValid(), valid);
    }
}

TEST(OggVorbis, WithoutLastPageDurationComesFromNominalRate) {
    TempDir dir;
    fs::path file = dir / "long.ogg";
    // One audio page whose body is longer than the search window: no page header is
    // found near the end.
    Bytes data = MakeOgg(CommentPacket("v", {}), 2, 88200, 20000);
    WriteFileBytes(file, data);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    EXPECT_EQ(o.Samples, 0);
    EXPECT_DOUBLE_EQ(o.Duration(), static_cast<double>(data.size()) / 128 / 2 / 125 * 2);
    EXPECT_TRUE(o.IsValid());
}

TEST(OggVorbis, SaveRewritesOnlyTheSecondPage) {
    TempDir dir;
    fs::path file = dir / "s.ogg";
    Bytes before = MakeOgg(CommentPacket("my vendor", {"TITLE=old", "ARTIST=keep me", "REPLAYGAIN=1.0 dB"}));
    WriteFileBytes(file, before);
    TOggVorbis o;
    o.Fields = {TOggField("TITLE", u"new title \u00E9"), TOggField("ALBUM", std::u16string(300, u'a')),
                TOggField("COMMENT", u"")};
    ASSERT_TRUE(o.SaveTag(file));
    EXPECT_FALSE(fs::exists(dir / "s.ogg~"));
    Bytes after = ReadFileBytes(file);
    auto oldPages = SplitPages(before);
    auto newPages = SplitPages(after);
    ASSERT_EQ(oldPages.size(), 3u);
    ASSERT_EQ(newPages.size(), 3u);
    EXPECT_EQ(newPages[0], oldPages[0]);
    EXPECT_EQ(newPages[2], oldPages[2]);
    EXPECT_NE(newPages[1], oldPages[1]);
    // Header fields other than CRC and segment count stay (sequence, granule, serial).
    EXPECT_TRUE(std::equal(oldPages[1].begin(), oldPages[1].begin() + 22, newPages[1].begin()));
    EXPECT_TRUE(PageCrcValid(newPages[1]));
    // The setup packet still follows the comment packet unchanged.
    Bytes setup = SetupPacket(600);
    EXPECT_TRUE(std::equal(setup.rbegin(), setup.rend(), newPages[1].rbegin()));

    TOggVorbis g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.VendorInfo, "my vendor");
    EXPECT_EQ(Last(g, "TITLE"), u"new title \u00E9");
    EXPECT_EQ(CountKey(g, "TITLE"), 1u);
    EXPECT_EQ(Last(g, "ALBUM"), std::u16string(300, u'a'));
    EXPECT_EQ(Last(g, "ARTIST"), u"keep me");
    EXPECT_EQ(Last(g, "REPLAYGAIN"), u"1.0 dB");
    EXPECT_EQ(CountKey(g, ""), 1u);  // the vendor is not written as an entry

    // Reading, changing one field and saving again duplicates nothing.
    for (TOggField& f : g.Fields)
        if (f.Name == "ARTIST") f.Value = u"changed";
    ASSERT_TRUE(g.SaveTag(file));
    TOggVorbis h;
    ASSERT_TRUE(h.ReadFromFile(file));
    EXPECT_EQ(h.Fields.size(), g.Fields.size());
    EXPECT_EQ(Last(h, "ARTIST"), u"changed");
    EXPECT_EQ(CountKey(h, "ARTIST"), 1u);
    // An empty value removes the key.
    h.Fields = {TOggField("REPLAYGAIN", u"")};
    ASSERT_TRUE(h.SaveTag(file));
    TOggVorbis k;
    ASSERT_TRUE(k.ReadFromFile(file));
    EXPECT_EQ(Last(k, "REPLAYGAIN"), u"<none>");
    EXPECT_EQ(Last(k, "ARTIST"), u"changed");
}

TEST(OggVorbis, PacketLengthsOnLacingBoundaries) {
    TempDir dir;
    fs::path file = dir / "b.ogg";
    // Values whose packets end exactly on multiples of 255 need a closing zero lacing value.
    for (size_t n : {size_t{0}, size_t{1}, size_t{200}, size_t{225}, size_t{226}, size_t{227}, size_t{480},
                     size_t{481}, size_t{482}}) {
        SCOPED_TRACE(n);
        WriteFileBytes(file, MakeOgg(CommentPacket("vendor", {"TITLE=t"})));
        TOggVorbis o;
        o.Fields = {TOggField("X", std::u16string(n, u'z'))};
        ASSERT_TRUE(o.SaveTag(file));
        Bytes after = ReadFileBytes(file);
        auto pages = SplitPages(after);
        ASSERT_EQ(pages.size(), 3u);
        EXPECT_TRUE(PageCrcValid(pages[1]));
        TOggVorbis g;
        ASSERT_TRUE(g.ReadFromFile(file));
        EXPECT_EQ(Last(g, "X"), n ? std::u16string(n, u'z') : u"<none>");
        EXPECT_EQ(Last(g, "TITLE"), u"t");
    }
}

TEST(OggVorbis, PacketSpanningPagesIsReadButNotRewritten) {
    TempDir dir;
    fs::path file = dir / "span.ogg";
    const uint32_t serial = 7;
    Bytes comment = CommentPacket("v", {"TITLE=spanning", "BIG=" + std::string(700, 'b')});
    Bytes firstPart(comment.begin(), comment.begin() + 510);
    Bytes secondPart(comment.begin() + 510, comment.end());
    Bytes data = OggPage(0x02, 0, serial, 0, {IdentPacket(2, 44100, 128000)});
    Append(data, OggPage(0x00, 0, serial, 1, {firstPart}, true));
    Append(data, OggPage(0x01, 0, serial, 2, {secondPart, SetupPacket(100)}));
    Append(data, OggPage(0x04, 88200, serial, 3, {FakeAudio(1000)}));
    WriteFileBytes(file, data);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    EXPECT_EQ(Last(o, "TITLE"), u"spanning");
    EXPECT_EQ(Last(o, "BIG"), U(std::string(700, 'b').c_str()));
    o.Fields = {TOggField("TITLE", u"x")};
    EXPECT_FALSE(o.SaveTag(file));
    EXPECT_EQ(ReadFileBytes(file), data);
    EXPECT_FALSE(fs::exists(dir / "span.ogg~"));
}

TEST(OggVorbis, TooManySegmentsIsRefused) {
    TempDir dir;
    fs::path file = dir / "big.ogg";
    Bytes before = MakeOgg(CommentPacket("v", {"TITLE=t"}));
    WriteFileBytes(file, before);
    TOggVorbis o;
    o.Fields = {TOggField("COVERART", std::u16string(255 * 255, u'Q'))};
    EXPECT_FALSE(o.SaveTag(file));
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_FALSE(fs::exists(dir / "big.ogg~"));
    // The largest comment that still fits next to the setup packet's three segments.
    o.Fields = {TOggField("COVERART", std::u16string(251 * 255 - 40, u'Q'))};
    EXPECT_TRUE(o.SaveTag(file));
    auto pages = SplitPages(ReadFileBytes(file));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_LE(pages[1][26], 255);
}

TEST(OggVorbis, DamagedCommentPacketIsReadAsFarAsItGoesAndNotRewritten) {
    TempDir dir;
    fs::path file = dir / "dmg.ogg";
    Bytes comment = CommentPacket("v", {"TITLE=t", "ARTIST=a"});
    comment[7 + 4 + 1] = 9;  // count 9, only two entries present
    Bytes data = MakeOgg(comment);
    WriteFileBytes(file, data);
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    EXPECT_EQ(Last(o, "TITLE"), u"t");
    EXPECT_EQ(Last(o, "ARTIST"), u"a");
    o.Fields = {TOggField("TITLE", u"x")};
    EXPECT_FALSE(o.SaveTag(file));
    EXPECT_EQ(ReadFileBytes(file), data);
}

// Reads File and saves it with a new title; true also when it cannot even be read (which
// the callers then see as a save that went ahead).
bool SaveTitle(const fs::path& File) {
    TOggVorbis o;
    if (!o.ReadFromFile(File)) return true;
    o.Fields = {TOggField("TITLE", u"x")};
    return o.SaveTag(File);
}

TEST(OggVorbis, FailedRewriteLeavesOriginal) {
    TempDir dir;
    fs::path file = dir / "keep.ogg";
    Bytes before = MakeOgg(CommentPacket("v", {"TITLE=t"}));
    WriteFileBytes(file, before);
    auto saved = RunInAClosedFolder(file, [&] { return SaveTitle(file); });
    if (!saved) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_FALSE(*saved);
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(OggVorbis, AnotherFileUnderTheOldTemporaryNameStays) {
    TempDir dir;
    fs::path file = dir / "keep.ogg";
    WriteFileBytes(file, MakeOgg(CommentPacket("v", {"TITLE=t"})));
    WriteFileBytes(dir / "keep.ogg~", Bytes{7, 7});
    TOggVorbis o;
    o.Fields = {TOggField("TITLE", u"x")};
    EXPECT_TRUE(o.SaveTag(file)) << o.LastError;
    EXPECT_EQ(ReadFileBytes(dir / "keep.ogg~"), (Bytes{7, 7}));
    TOggVorbis r;
    ASSERT_TRUE(r.ReadFromFile(file));
    EXPECT_TRUE(std::any_of(r.Fields.begin(), r.Fields.end(),
                            [](const TOggField& f) { return f.Name == "TITLE" && f.Value == u"x"; }));
}

TEST(OggVorbis, RewriteFollowsSymlink) {
    TempDir dir;
    fs::path real = dir / "real.ogg";
    fs::path link = dir / "link.ogg";
    WriteFileBytes(real, MakeOgg(CommentPacket("v", {"TITLE=t"})));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    fs::create_symlink(real, link);
    TOggVorbis o;
    o.Fields = {TOggField("TITLE", u"via link")};
    ASSERT_TRUE(o.SaveTag(link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    TOggVorbis g;
    ASSERT_TRUE(g.ReadFromFile(real));
    EXPECT_EQ(Last(g, "TITLE"), u"via link");
}

}  // namespace
}  // namespace covrilo::test

namespace covrilo::test {
namespace {

TEST(OggVorbis, LongValuesKeepBlanksInside) {
    TempDir dir;
    fs::path file = dir / "long.ogg";
    // Blanks and a line break around byte 500 of the entry, and inside a long value.
    std::string value =
        std::string(490, 'a') + "  \n  " + std::string(600, 'b') + " \n" + std::string(10, 'c');
    WriteFileBytes(file, MakeOgg(CommentPacket("v", {"LYRICS=" + value})));
    TOggVorbis o;
    ASSERT_TRUE(o.ReadFromFile(file));
    ASSERT_EQ(o.Fields.size(), 2u);
    EXPECT_EQ(o.Fields[1].Value, U(value.c_str()));
    // A save writes it back unchanged.
    ASSERT_TRUE(o.SaveTag(file));
    TOggVorbis g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Fields.at(1).Value, U(value.c_str()));
}

}  // namespace
}  // namespace covrilo::test

namespace covrilo::test {
namespace {

TEST(OggVorbis, ReadOnlyFileIsNotReplaced) {
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    fs::path file = dir / "ro.ogg";
    Bytes before = MakeOgg(CommentPacket("v", {"TITLE=t"}));
    WriteFileBytes(file, before);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto saved = RunWithPermissions([&] { return SaveTitle(file); });
    if (!saved) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_FALSE(*saved);
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_FALSE(fs::exists(dir / "ro.ogg~"));
}

}  // namespace
}  // namespace covrilo::test
