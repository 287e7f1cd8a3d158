// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>

#include "FlacOggTestUtil.h"
#include "formats/FLACfile.h"
#include "io/TextConversion.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

const Bytes kAudio = FakeAudio(5000);

Bytes Tail(const Bytes& B, size_t From) {
    return Bytes(B.begin() + static_cast<std::ptrdiff_t>(From), B.end());
}

// Walks the metadata blocks of a FLAC stream starting at `start` ("fLaC").
struct BlockInfo {
    uint8_t Type;
    bool Last;
    size_t Length;
};
std::vector<BlockInfo> Blocks(const Bytes& F, size_t Start = 0) {
    std::vector<BlockInfo> out;
    size_t pos = Start + 4;
    for (;;) {
        if (F.size() - pos < 4) break;
        BlockInfo b{static_cast<uint8_t>(F[pos] & 0x7F), (F[pos] & 0x80) != 0,
                    size_t{F[pos + 1]} << 16 | size_t{F[pos + 2]} << 8 | F[pos + 3]};
        out.push_back(b);
        pos += 4 + b.Length;
        if (b.Last || pos > F.size()) break;
    }
    return out;
}
size_t MetadataEnd(const Bytes& F, size_t Start = 0) {
    size_t pos = Start + 4;
    for (const BlockInfo& b : Blocks(F, Start)) pos += 4 + b.Length;
    return pos;
}

TEST(FLACfile, ReadsStreamInfoAndComments) {
    TempDir dir;
    fs::path file = dir / "a.flac";
    Bytes comment = VorbisComment("enc 1.0", {"TITLE=Song", "artist=Someone", "NOEQUALS", "TITLE=Second",
                                              "CUSTOM=x", "COMMENT=caf\xC3\xA9", "DATE="});
    WriteFileBytes(file, MakeFlac({{2, Bytes(8, 'A')}, {4, comment}, {1, Bytes(100, 0)}}, kAudio));

    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_TRUE(f.IsValid());
    EXPECT_EQ(f.SampleRate, 44100);
    EXPECT_EQ(f.Channels, 2);
    EXPECT_EQ(f.BitsPerSample, 16);
    EXPECT_EQ(f.Samples, 441000);
    EXPECT_DOUBLE_EQ(f.Duration(), 10.0);
    EXPECT_EQ(f.AudioOffset, static_cast<int64_t>(42 + 12 + 4 + comment.size() + 104));
    EXPECT_EQ(f.Bitrate, 4);  // 5000 bytes over 10 s
    EXPECT_EQ(f.VorbisIndex, 2);
    EXPECT_EQ(f.PaddingIndex, 3);
    EXPECT_EQ(f.PaddingSize, 100);
    EXPECT_TRUE(f.PaddingLast);
    EXPECT_EQ(f.TagSize, static_cast<int>(comment.size()));
    EXPECT_EQ(f.VCOffset, 42 + 12 + 4);
    ASSERT_EQ(f.OtherBlocks.size(), 1u);
    EXPECT_EQ(f.OtherBlocks[0].Data, Bytes(8, 'A'));
    EXPECT_EQ(f.VendorInfo, "enc 1.0");
    EXPECT_TRUE(f.Exists);
    EXPECT_EQ(f.Values[fkTitle], "Song");
    EXPECT_EQ(f.GetValue("ARTIST"), "Someone");  // lower-case key read as upper case
    EXPECT_EQ(f.Values[fkComment], "caf\xE9");   // UTF-8 to the system code page
    const std::vector<std::pair<std::string, std::string>> extra = {{"TITLE", "Second"}, {"CUSTOM", "x"}};
    // The empty DATE fills nothing and stays out of the extra entries.
    EXPECT_EQ(f.Values[fkDate], "");
    ASSERT_GE(f.ExtraFields.size(), 2u);
    EXPECT_EQ(f.ExtraFields[0], extra[0]);
    EXPECT_EQ(f.ExtraFields[1], extra[1]);
}

TEST(FLACfile, InvalidAndDamagedFilesReadAsInvalid) {
    Bytes good = MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {1, Bytes(10, 0)}}, kAudio);
    Bytes noMagic = good;
    noMagic[0] = 'x';
    Bytes reservedType = MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {7, Bytes(4, 0)}}, kAudio);
    Bytes truncatedBlock = MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}}, {});
    truncatedBlock.resize(truncatedBlock.size() - 3);
    Bytes noLastBlock = MakeFlac({{1, Bytes(10, 0)}}, {});
    noLastBlock[42] = 0x01;  // padding not marked last, nothing after it
    Bytes badInfoLength = good;
    badInfoLength[7] = 33;
    Bytes zeroSamples = good;
    for (int i = 22; i < 26; ++i) zeroSamples[i] = 0;
    Bytes shortFile = B("fLaC\x00\x00\x00\x22", 8);
    struct Case {
        const char* Name;
        Bytes Data;
    };
    const Case cases[] = {{"no magic", noMagic},
                          {"reserved block type", reservedType},
                          {"block past the end", truncatedBlock},
                          {"metadata without last block", noLastBlock},
                          {"STREAMINFO length", badInfoLength},
                          {"zero samples", zeroSamples},
                          {"short file", shortFile},
                          {"empty file", {}}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::path file = dir / "bad.flac";
        WriteFileBytes(file, c.Data);
        TFLACfile f;
        EXPECT_FALSE(f.ReadFromFile(file));
        EXPECT_FALSE(f.IsValid());
        EXPECT_EQ(f.Duration(), 0.0);
        // Nothing is written into a file that does not read as valid.
        f.Values[fkTitle] = "new";
        EXPECT_FALSE(f.SaveToFile(file, false));
        EXPECT_EQ(ReadFileBytes(file), c.Data);
    }
}

TEST(FLACfile, MissingFileRaises) {
    TempDir dir;
    TFLACfile f;
    EXPECT_THROW(f.ReadFromFile(dir / "missing.flac"), std::exception);
}

TEST(FLACfile, PictureBlockIsKeptAndFileStaysValid) {
    TempDir dir;
    fs::path file = dir / "pic.flac";
    Bytes picture(300, 0x55);
    WriteFileBytes(file, MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {6, picture}}, kAudio));
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.Values[fkTitle], "t");
    f.Values[fkTitle] = "a much longer title that will not fit into the old block";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    auto blocks = Blocks(after);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[1].Type, 6);
    EXPECT_EQ(blocks[1].Length, picture.size());
    EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
}

TEST(FLACfile, ZeroLengthBlockDoesNotEndTheMetadata) {
    TempDir dir;
    fs::path file = dir / "zero.flac";
    Bytes comment = VorbisComment("v", {"TITLE=t"});
    Bytes data = MakeFlac({{1, {}}, {2, Bytes(6, 'X')}, {4, comment}}, kAudio);
    WriteFileBytes(file, data);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.AudioOffset, static_cast<int64_t>(data.size() - kAudio.size()));
    EXPECT_EQ(f.Values[fkTitle], "t");
    f.Values[fkTitle] = "longer title than before";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Values[fkTitle], "longer title than before");
    ASSERT_EQ(g.OtherBlocks.size(), 1u);
    EXPECT_EQ(g.OtherBlocks[0].Data, Bytes(6, 'X'));
}

TEST(FLACfile, CommentThatFitsIsWrittenInPlace) {
    TempDir dir;
    fs::path file = dir / "fit.flac";
    Bytes comment = VorbisComment("v", {"TITLE=a rather long title", "ARTIST=someone"});
    Bytes before =
        MakeFlac({{3, Bytes(18, 'S')}, {4, comment}, {1, Bytes(200, 0)}, {2, Bytes(8, 'A')}}, kAudio);
    WriteFileBytes(file, before);

    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    f.Values[fkTitle] = "short";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    ASSERT_EQ(after.size(), before.size());
    // Nothing before the comment block and nothing after its padding moved.
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 42 + 22, after.begin()));
    EXPECT_EQ(Tail(after, after.size() - kAudio.size() - 12),
              Tail(before, before.size() - kAudio.size() - 12));
    auto blocks = Blocks(after);
    ASSERT_EQ(blocks.size(), 5u);
    EXPECT_EQ(blocks[2].Type, 4);
    EXPECT_EQ(blocks[3].Type, 1);
    EXPECT_FALSE(blocks[3].Last);  // the application block still follows
    EXPECT_EQ(blocks[2].Length + blocks[3].Length, comment.size() + 200);

    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Values[fkTitle], "short");
    EXPECT_EQ(g.Values[fkArtist], "someone");
    EXPECT_EQ(g.PaddingSize, static_cast<int>(200 + comment.size() - g.TagSize));
}

TEST(FLACfile, CommentThatDoesNotFitGoesThroughTempFile) {
    TempDir dir;
    fs::path file = dir / "grow.flac";
    Bytes before =
        MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {1, Bytes(10, 0)}, {3, Bytes(18, 'S')}}, kAudio);
    WriteFileBytes(file, before);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    f.Values[fkLyrics] = std::string(500, 'l');
    ASSERT_TRUE(f.SaveToFile(file, false));
    EXPECT_FALSE(fs::exists(dir / "grow.flac~"));
    Bytes after = ReadFileBytes(file);
    auto blocks = Blocks(after);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].Type, 0);
    EXPECT_FALSE(blocks[0].Last);
    EXPECT_EQ(blocks[1].Type, 3);  // other blocks first
    EXPECT_EQ(blocks[2].Type, 4);
    EXPECT_EQ(blocks[3].Type, 1);
    EXPECT_EQ(blocks[3].Length, 4096u);
    EXPECT_TRUE(blocks[3].Last);
    EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Values[fkLyrics], std::string(500, 'l'));
    EXPECT_EQ(g.Values[fkTitle], "t");
}

TEST(FLACfile, CommentWithoutFollowingPaddingIsReordered) {
    TempDir dir;
    fs::path file = dir / "order.flac";
    Bytes comment = VorbisComment("v", {"TITLE=long enough title"});
    Bytes before = MakeFlac(
        {{1, Bytes(40, 0)}, {4, comment}, {3, Bytes(18, 'S')}, {1, Bytes(30, 0)}, {2, Bytes(8, 'A')}},
        kAudio);
    WriteFileBytes(file, before);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_TRUE(f.HasExtraPadding);
    f.Values[fkTitle] = "x";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    EXPECT_EQ(after.size(), before.size());  // it fitted: written in place
    auto blocks = Blocks(after);
    ASSERT_EQ(blocks.size(), 5u);
    const uint8_t order[] = {0, 3, 2, 4, 1};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(blocks[i].Type, order[i]) << i;
    EXPECT_TRUE(blocks[4].Last);
    EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
}

TEST(FLACfile, SmallerCommentWithoutPaddingNeverOverwritesAudio) {
    TempDir dir;
    fs::path file = dir / "nopad.flac";
    Bytes before = MakeFlac({{4, VorbisComment("v", {"TITLE=a title of some length here"})}}, kAudio);
    WriteFileBytes(file, before);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    f.Values[fkTitle] = "abc";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Values[fkTitle], "abc");
}

TEST(FLACfile, FileWithoutCommentKeepsItsFirstBytes) {
    TempDir dir;
    for (bool withPadding : {true, false}) {
        SCOPED_TRACE(withPadding);
        fs::path file = dir / "nocomment.flac";
        std::vector<FlacBlock> blocks = {{3, Bytes(18, 'S')}};
        if (withPadding) blocks.push_back({1, Bytes(300, 0)});
        Bytes before = MakeFlac(blocks, kAudio);
        WriteFileBytes(file, before);
        TFLACfile f;
        ASSERT_TRUE(f.ReadFromFile(file));
        EXPECT_FALSE(f.Exists);
        f.Values[fkArtist] = "me";
        ASSERT_TRUE(f.SaveToFile(file, false));
        Bytes after = ReadFileBytes(file);
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + 42, after.begin()));
        EXPECT_EQ(after.size() == before.size(), withPadding);
        EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
        TFLACfile g;
        ASSERT_TRUE(g.ReadFromFile(file));
        EXPECT_EQ(g.Values[fkArtist], "me");
        EXPECT_EQ(g.VendorInfo, "reference libFLAC 1.1.0 20030126");
        EXPECT_TRUE(g.Exists);
    }
}

TEST(FLACfile, ID3v2TagInFrontIsKeptByBothWaysOfWriting) {
    TempDir dir;
    const Bytes tag = ID3v2Tag(64);
    for (bool grow : {false, true}) {
        SCOPED_TRACE(grow);
        fs::path file = dir / "id3.flac";
        Bytes before = MakeFlac({{4, VorbisComment("v", {"TITLE=title"})}, {1, Bytes(50, 0)}}, kAudio, tag);
        WriteFileBytes(file, before);
        TFLACfile f;
        ASSERT_TRUE(f.ReadFromFile(file));
        EXPECT_EQ(f.StreamOffset, 64);
        EXPECT_EQ(f.Values[fkTitle], "title");
        f.Values[fkTitle] = grow ? std::string(200, 'g') : "t";
        ASSERT_TRUE(f.SaveToFile(file, false));
        Bytes after = ReadFileBytes(file);
        EXPECT_EQ(after.size() == before.size(), !grow);
        EXPECT_TRUE(std::equal(tag.begin(), tag.end(), after.begin()));
        EXPECT_EQ(Tail(after, MetadataEnd(after, tag.size())), kAudio);
        TFLACfile g;
        ASSERT_TRUE(g.ReadFromFile(file));
        EXPECT_EQ(g.Values[fkTitle], f.Values[fkTitle]);
    }
}

TEST(FLACfile, FullSaveWritesKeysInOrderThenExtras) {
    TempDir dir;
    fs::path file = dir / "order.flac";
    WriteFileBytes(
        file,
        MakeFlac({{4, VorbisComment("v", {"TITLE=one", "TITLE=two", "X=y"})}, {1, Bytes(2000, 0)}}, kAudio));
    for (bool basic : {false, true}) {
        SCOPED_TRACE(basic);
        TFLACfile f;
        ASSERT_TRUE(f.ReadFromFile(file));
        f.Values[fkArtist] = "art";
        f.Values[fkLyrics] = "la la";
        ASSERT_TRUE(f.SaveToFile(file, basic));
        Bytes after = ReadFileBytes(file);
        Bytes expected =
            basic ? VorbisComment("v", {"ARTIST=art", "TITLE=one"})
                  : VorbisComment("v", {"ARTIST=art", "TITLE=one", "LYRICS=la la", "TITLE=two", "X=y"});
        EXPECT_TRUE(std::search(after.begin(), after.end(), expected.begin(), expected.end()) != after.end());
    }
}

TEST(FLACfile, UnchangedValuesKeepCharactersTheCodePageLacks) {
    TempDir dir;
    fs::path file = dir / "utf8.flac";
    const std::string kanji = "\xE6\x97\xA5\xE6\x9C\xAC";  // two CJK characters
    const std::string emoji = "\xF0\x9F\x8E\xB5";
    WriteFileBytes(
        file, MakeFlac({{4, VorbisComment("v", {"ARTIST=" + kanji, "TITLE=" + emoji + " x", "ALBUM=old"})},
                        {1, Bytes(100, 0)}},
                       kAudio));
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.Values[fkArtist], "??");
    f.Values[fkAlbum] = "new";
    ASSERT_TRUE(f.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    Bytes expected = VorbisComment("v", {"ARTIST=" + kanji, "ALBUM=new", "TITLE=" + emoji + " x"});
    EXPECT_TRUE(std::search(after.begin(), after.end(), expected.begin(), expected.end()) != after.end());
}

TEST(FLACfile, BlockOver16MiBIsRefusedAndFileStaysIntact) {
    TempDir dir;
    fs::path file = dir / "big.flac";
    Bytes before = MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {1, Bytes(10, 0)}}, kAudio);
    WriteFileBytes(file, before);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    f.Values[fkLyrics] = std::string(0xFFFFFF, 'x');
    EXPECT_FALSE(f.SaveToFile(file, false));
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_FALSE(fs::exists(dir / "big.flac~"));
    // Just under the limit is still written.
    f.Values[fkLyrics] = std::string(0xFFFFFF - 200, 'x');
    EXPECT_TRUE(f.SaveToFile(file, false));
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Values[fkLyrics].size(), 0xFFFFFFu - 200);
}

TEST(FLACfile, RewriteFollowsSymlinkAndKeepsPermissions) {
    TempDir dir;
    fs::path real = dir / "real.flac";
    fs::path link = dir / "link.flac";
    WriteFileBytes(real, MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}}, kAudio));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, link);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(link));
    f.Values[fkTitle] = std::string(100, 'n');
    ASSERT_TRUE(f.SaveToFile(link, false));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(real));
    EXPECT_EQ(g.Values[fkTitle], std::string(100, 'n'));
}

TEST(FLACfile, FailedTempWriteLeavesOriginal) {
    TempDir dir;
    fs::path file = dir / "keep.flac";
    Bytes before = MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}}, kAudio);
    WriteFileBytes(file, before);
    auto saved = RunInAClosedFolder(file, [&] {
        TFLACfile f;
        if (!f.ReadFromFile(file)) return true;
        f.Values[fkTitle] = std::string(100, 'n');
        return f.SaveToFile(file, false);
    });
    if (!saved) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_FALSE(*saved);
    EXPECT_EQ(ReadFileBytes(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(FLACfile, AnotherFileUnderTheOldTemporaryNameStays) {
    TempDir dir;
    fs::path file = dir / "keep.flac";
    WriteFileBytes(file, MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}}, kAudio));
    fs::create_directory(dir / "keep.flac~");
    WriteFileBytes(dir / "keep.flac~" / "inside", Bytes{1});
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    f.Values[fkTitle] = std::string(100, 'n');
    EXPECT_TRUE(f.SaveToFile(file, false)) << f.LastError;
    EXPECT_TRUE(fs::is_directory(dir / "keep.flac~"));
    EXPECT_EQ(ReadFileBytes(dir / "keep.flac~" / "inside"), Bytes{1});
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_EQ(g.Values[fkTitle], std::string(100, 'n'));
}

TEST(FLACfile, KeepFileTimeRestoresModificationTime) {
    TempDir dir;
    fs::path file = dir / "time.flac";
    WriteFileBytes(file, MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {1, Bytes(100, 0)}}, kAudio));
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(240);
    fs::last_write_time(file, old);
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    f.KeepFileTime = true;
    f.Values[fkTitle] = "u";
    ASSERT_TRUE(f.SaveToFile(file, false));
    EXPECT_EQ(fs::last_write_time(file), old);
}

TEST(FLACfile, CountLargerThanDataStopsAtBlockEnd) {
    TempDir dir;
    fs::path file = dir / "count.flac";
    Bytes comment = VorbisComment("v", {"TITLE=t"});
    comment[4 + 1] = 0xFF;  // entry count 0xFFFFFF01
    comment[4 + 1 + 1] = 0xFF;
    comment[4 + 1 + 2] = 0xFF;
    comment[4 + 1 + 3] = 0xFF;
    Bytes entryTooLong = VorbisComment("v", {"TITLE=t"});
    entryTooLong[4 + 1 + 4] = 0x50;  // first entry says 0x50 bytes
    struct Case {
        Bytes Data;
        const char* Title;
    };
    for (const Case& c : {Case{comment, "t"}, Case{entryTooLong, ""}}) {
        WriteFileBytes(file, MakeFlac({{4, c.Data}}, kAudio));
        TFLACfile f;
        ASSERT_TRUE(f.ReadFromFile(file));
        EXPECT_EQ(f.Values[fkTitle], c.Title);
        EXPECT_TRUE(f.ExtraFields.empty());
        EXPECT_EQ(f.VendorInfo, "v");
    }
}

}  // namespace
}  // namespace covrilo::test

namespace covrilo::test {
namespace {

TEST(FLACfile, SecondCommentBlockStaysBehindOurs) {
    TempDir dir;
    fs::path file = dir / "two.flac";
    Bytes second = VorbisComment("w", {"TITLE=second block"});
    WriteFileBytes(
        file,
        MakeFlac(
            {{1, Bytes(20, 0)}, {4, VorbisComment("v", {"TITLE=first"})}, {3, Bytes(18, 'S')}, {4, second}},
            kAudio));
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.Values[fkTitle], "first");
    for (const std::string& title : {std::string("x"), std::string(200, 'y')}) {
        f.Values[fkTitle] = title;
        ASSERT_TRUE(f.SaveToFile(file, false));
        TFLACfile g;
        ASSERT_TRUE(g.ReadFromFile(file));
        EXPECT_EQ(g.Values[fkTitle], title);
        ASSERT_EQ(g.OtherBlocks.size(), 2u);
        EXPECT_EQ(g.OtherBlocks[1].Data, second);
        Bytes after = ReadFileBytes(file);
        EXPECT_EQ(Tail(after, MetadataEnd(after)), kAudio);
    }
}

}  // namespace
}  // namespace covrilo::test

namespace covrilo::test {
namespace {

TEST(FLACfile, ReadOnlyFileIsNotWrittenEitherWay) {
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    for (bool grow : {false, true}) {
        SCOPED_TRACE(grow);
        fs::path file = dir / (grow ? "ro-grow.flac" : "ro.flac");
        Bytes before = MakeFlac({{4, VorbisComment("v", {"TITLE=t"})}, {1, Bytes(100, 0)}}, kAudio);
        WriteFileBytes(file, before);
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        auto saved = RunWithPermissions([&] {
            TFLACfile f;
            if (!f.ReadFromFile(file)) return true;  // reading must work: report as a wrong answer
            f.Values[fkTitle] = grow ? std::string(300, 'g') : "u";
            return f.SaveToFile(file, false);
        });
        if (!saved) GTEST_SKIP() << "cannot run as an unprivileged user here";
        EXPECT_FALSE(*saved);
        EXPECT_EQ(ReadFileBytes(file), before);
        EXPECT_FALSE(fs::exists(file.string() + "~"));
    }
}

}  // namespace
}  // namespace covrilo::test

namespace covrilo::test {
namespace {

TEST(FLACfile, FreshObjectUpdatesOnlyTheKeysItSets) {
    TempDir dir;
    fs::path file = dir / "fresh.flac";
    WriteFileBytes(file, MakeFlac({{4, VorbisComment("v", {"TITLE=old", "REPLAYGAIN_TRACK_GAIN=-2 dB",
                                                           "COMMENT=c", "ARTIST=\xE6\x97\xA5"})},
                                   {1, Bytes(500, 0)}},
                                  kAudio));
    TFLACfile fresh;
    fresh.SetValue("TITLE", "new");
    fresh.SetValue("ALBUM", "al");
    fresh.SetValue("COMMENT", "");
    ASSERT_TRUE(fresh.SaveToFile(file, false));
    Bytes after = ReadFileBytes(file);
    Bytes expected = VorbisComment(
        "v", {"ALBUM=al", "TITLE=new", "REPLAYGAIN_TRACK_GAIN=-2 dB", "COMMENT=c", "ARTIST=\xE6\x97\xA5"});
    EXPECT_TRUE(std::search(after.begin(), after.end(), expected.begin(), expected.end()) != after.end());

    // An object that read the file is the whole comment: what it drops is gone.
    TFLACfile f;
    ASSERT_TRUE(f.ReadFromFile(file));
    EXPECT_EQ(f.GetValue("REPLAYGAIN_TRACK_GAIN"), "-2 dB");
    f.ExtraFields.clear();
    f.Values[fkComment].clear();
    ASSERT_TRUE(f.SaveToFile(file, false));
    TFLACfile g;
    ASSERT_TRUE(g.ReadFromFile(file));
    EXPECT_TRUE(g.ExtraFields.empty());
    EXPECT_EQ(g.Values[fkComment], "");
    EXPECT_EQ(g.Values[fkTitle], "new");
    EXPECT_EQ(g.Values[fkArtist], "?");
}

}  // namespace
}  // namespace covrilo::test
