// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "formats/APETag.h"
#include "formats/APETestUtil.h"
#include "io/EnhancedStreams.h"

namespace covrilo {
namespace {

using namespace covrilo::test;

using Pairs = std::vector<TAPETag::TAPEField>;

// --- reading -------------------------------------------------------------------

TEST(APETagRead, FilesWithoutTag) {
    TempDir dir;
    struct Case {
        size_t Size;
        bool Answer;
    } cases[] = {{0, false}, {32, false}, {33, true}, {2000, true}};
    for (const Case& c : cases) {
        WriteFileBytes(dir / "a.ape", FakeAudio(c.Size));
        TAPETag tag;
        EXPECT_EQ(tag.ReadFromFile(dir / "a.ape"), c.Answer) << c.Size;
        EXPECT_FALSE(tag.Exists) << c.Size;
        EXPECT_TRUE(tag.Fields.empty());
    }
    WriteFileBytes(dir / "b.ape", Join({FakeAudio(), Id3v1Record("only v1")}));
    TAPETag tag;
    EXPECT_TRUE(tag.ReadFromFile(dir / "b.ape"));
    EXPECT_FALSE(tag.Exists);
    EXPECT_FALSE(tag.ReadFromFile(dir / "missing.ape"));
}

TEST(APETagRead, TagsWithAndWithoutHeaderAndID3v1) {
    const std::vector<ApeItem> items = {
        {"Artist", "Someone"}, {"Title", std::string("  padded\0\0 ", 11)}, {"Year", "1984"}};
    struct Case {
        const char* What;
        uint32_t Version;
        bool Header;
        bool Id3v1;
    } cases[] = {
        {"v2 with header", 2000, true, false},
        {"v2 with header, ID3v1 after", 2000, true, true},
        {"v1 without header", 1000, false, false},
        {"v1 without header, ID3v1 after", 1000, false, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        Bytes file = Join({FakeAudio(), ApeTag(items, c.Version, c.Header)});
        if (c.Id3v1) file = Join({file, Id3v1Record("v1 title")});
        WriteFileBytes(dir / "a.ape", file);
        TAPETag tag;
        ASSERT_TRUE(tag.ReadFromFile(dir / "a.ape")) << c.What;
        EXPECT_TRUE(tag.Exists) << c.What;
        EXPECT_EQ(tag.Version, c.Version) << c.What;
        EXPECT_EQ(tag.TagSize, ApeTag(items, c.Version, false).size()) << c.What;
        EXPECT_EQ(tag.Fields, (Pairs{{"Artist", "Someone"}, {"Title", "padded"}, {"Year", "1984"}}))
            << c.What;
    }
}

TEST(APETagRead, ItemFlagsAndValues) {
    const std::string long300 = std::string(150, 'a') + std::string(150, 'b');
    const std::vector<ApeItem> items = {
        {"Comment", long300},
        {"Cover Art (Front)", std::string("cover.jpg\0\xFF\xD8\xFF\xE0", 14), 2},  // binary
        {"Binary RO", "\x01\x02zz", 3},                                            // binary, read only
        {"Genre", "Rock", 1},                                                      // text, read only
        {"Related", "http://example.org/", 4},                                     // locator
        {"Empty", ""},
        {"Multi", std::string("one\0two", 7)},
        {"Last", "found"},
    };
    TempDir dir;
    WriteFileBytes(dir / "a.ape", Join({FakeAudio(), ApeTag(items)}));
    TAPETag tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "a.ape"));
    const Pairs expected = {
        {"Comment", long300},  // long values are read whole
        {"Cover Art (Front)", ""},
        {"Binary RO", ""},
        {"Genre", "Rock"},
        {"Related", "http://example.org/"},
        {"Empty", ""},
        {"Multi", std::string("one\0two", 7)},
        {"Last", "found"},
    };
    EXPECT_EQ(tag.Fields, expected);
}

TEST(APETagRead, GetValueMatchesKeysRegardlessOfCase) {
    TAPETag tag;
    tag.AppendField("Artist", "first");
    tag.AppendField("ARTIST", "second");
    tag.AppendField("Album", "a");
    EXPECT_EQ(tag.GetValue("artist"), "first");
    EXPECT_EQ(tag.GetValue("ALBUM"), "a");
    EXPECT_EQ(tag.GetValue("Title"), "");
    EXPECT_EQ(tag.Fields.size(), 3u);  // appending never replaces
}

TEST(APETagRead, DamagedTags) {
    const std::vector<ApeItem> items = {{"Artist", "A"}, {"Title", "T"}, {"Album", "L"}};
    const Bytes good = ApeTag(items);
    const size_t footer = good.size() - 32;
    auto patch = [&](size_t At, uint32_t V) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[At + i] = static_cast<uint8_t>(V >> (8 * i));
        return b;
    };
    const size_t secondItem = 32 + ApeItemBytes(items[0]).size();
    struct Case {
        const char* What;
        Bytes Tag;
        Pairs Fields;
    } cases[] = {
        {"count larger than the items",
         patch(footer + 16, 0xFFFFFFFFu),
         {{"Artist", "A"}, {"Title", "T"}, {"Album", "L"}}},
        {"count smaller than the items", patch(footer + 16, 1), {{"Artist", "A"}}},
        {"tag size beyond the file", patch(footer + 12, 0x7FFFFFF0u), {}},
        {"tag size below the footer", patch(footer + 12, 8), {}},
        {"value size past the tag", patch(secondItem, 0x10000u), {{"Artist", "A"}}},
        {"value size at the 32-bit limit", patch(secondItem, 0xFFFFFFFFu), {{"Artist", "A"}}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileBytes(dir / "a.ape", Join({FakeAudio(), c.Tag}));
        TAPETag tag;
        ASSERT_TRUE(tag.ReadFromFile(dir / "a.ape")) << c.What;
        EXPECT_TRUE(tag.Exists) << c.What;
        EXPECT_EQ(tag.Fields, c.Fields) << c.What;
    }
    // A key whose zero byte is missing ends the items.
    Bytes noZero = ApeHeaderOrFooter(2000, 32 + 8 + 5, 1, 0);
    Bytes item;
    PutU32LE(item, 0);
    PutU32LE(item, 0);
    item.insert(item.end(), {'A', 'B', 'C', 'D', 'E'});
    WriteFileBytes(dir / "b.ape", Join({FakeAudio(), item, noZero}));
    TAPETag tag;
    ASSERT_TRUE(tag.ReadFromFile(dir / "b.ape"));
    EXPECT_TRUE(tag.Fields.empty());
}

// --- writing -------------------------------------------------------------------

TEST(APETagWrite, LayoutOfTheWrittenTag) {
    TempDir dir;
    const Bytes audio = FakeAudio();
    WriteFileBytes(dir / "a.ape", audio);
    TAPETag tag;
    tag.AppendField("ARTIST", "Artist");
    tag.AppendField("TRACK", "");
    tag.AppendField("COMMENT", std::string("x\0y", 3));
    EXPECT_TRUE(tag.SaveTag(dir / "a.ape"));

    const Bytes file = ReadFileBytes(dir / "a.ape");
    ASSERT_EQ(file.size(), audio.size() + 32 + (9 + 6 + 6) + (9 + 5 + 0) + (9 + 7 + 3) + 32);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), file.begin()));
    const Bytes expected = ApeTag({{"ARTIST", "Artist"}, {"TRACK", ""}, {"COMMENT", std::string("x\0y", 3)}});
    EXPECT_EQ(Bytes(file.begin() + static_cast<long>(audio.size()), file.end()), expected);
    // The builder above follows the published layout; spot-check the fixed words too.
    const size_t h = audio.size();
    EXPECT_EQ(GetU32LE(file, h + 8), 2000u);
    EXPECT_EQ(GetU32LE(file, h + 12), file.size() - h - 32);
    EXPECT_EQ(GetU32LE(file, h + 16), 3u);
    EXPECT_EQ(GetU32LE(file, h + 20), 0xA0000000u);
    EXPECT_EQ(GetU32LE(file, file.size() - 12), 0x80000000u);
}

TEST(APETagWrite, ReplacesOldTagsAndKeepsID3v1Last) {
    const Bytes audio = FakeAudio();
    const Bytes v1 = Id3v1Record("keep me");
    const std::vector<ApeItem> old = {{"Title", "Old title"}, {"Extra", "dropped"}};
    // Footer that claims a header which is not there: only items and footer may go.
    Bytes falseHeaderClaim = ApeTag(old, 1000, false);
    falseHeaderClaim[falseHeaderClaim.size() - 12 + 3] = 0x80;
    struct Case {
        const char* What;
        Bytes Before;  // what follows the audio
        bool Id3v1;
    } cases[] = {
        {"no tag", {}, false},
        {"only ID3v1", v1, true},
        {"v2 with header", ApeTag(old), false},
        {"v2 with header, ID3v1", Join({ApeTag(old), v1}), true},
        {"v1 without header", ApeTag(old, 1000, false), false},
        {"v1 without header, ID3v1", Join({ApeTag(old, 1000, false), v1}), true},
        {"footer claims a missing header", falseHeaderClaim, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileBytes(dir / "a.ape", Join({audio, c.Before}));
        TAPETag tag;
        tag.AppendField("TITLE", "New");
        EXPECT_TRUE(tag.SaveTag(dir / "a.ape")) << c.What;
        const Bytes expected = Join({audio, ApeTag({{"TITLE", "New"}}), c.Id3v1 ? v1 : Bytes{}});
        EXPECT_EQ(ReadFileBytes(dir / "a.ape"), expected) << c.What;

        TAPETag back;
        ASSERT_TRUE(back.ReadFromFile(dir / "a.ape")) << c.What;
        EXPECT_EQ(back.Fields, (Pairs{{"TITLE", "New"}})) << c.What;
    }
}

TEST(APETagWrite, RefusesWhatCannotBeWrittenSoundly) {
    const Bytes original = Join({FakeAudio(), ApeTag({{"Title", "T"}})});
    Bytes damaged = original;
    damaged[damaged.size() - 20] = 0xFF;  // tag size far beyond the file
    damaged[damaged.size() - 19] = 0xFF;
    struct Case {
        const char* What;
        Bytes File;
        std::string Key;
    } cases[] = {
        {"key with a zero byte", original, std::string("AR\0T", 4)},
        {"one-letter key", original, "A"},
        {"reserved key", original, "TAG"},
        {"key with a control character", original, "Ti\ntle"},
        {"key of 256 characters", original, std::string(256, 'k')},
        {"old tag size beyond the file", damaged, "TITLE"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteFileBytes(dir / "a.ape", c.File);
        TAPETag tag;
        tag.AppendField(c.Key, "value");
        EXPECT_FALSE(tag.SaveTag(dir / "a.ape")) << c.What;
        EXPECT_EQ(ReadFileBytes(dir / "a.ape"), c.File) << c.What;
    }
}

TEST(APETagWrite, TinyFileGetsTheTagButAnswersFalse) {
    TempDir dir;
    WriteFileBytes(dir / "a.ape", FakeAudio(20));
    TAPETag tag;
    tag.AppendField("TITLE", "x");
    EXPECT_FALSE(tag.SaveTag(dir / "a.ape"));
    EXPECT_EQ(ReadFileBytes(dir / "a.ape"), Join({FakeAudio(20), ApeTag({{"TITLE", "x"}})}));
}

TEST(APETagWrite, OpenErrorsAreRaised) {
    TempDir dir;
    TAPETag tag;
    tag.AppendField("TITLE", "x");
    EXPECT_THROW(tag.SaveTag(dir / "missing.ape"), EFOpenError);

    const Bytes original = FakeAudio();
    WriteFileBytes(dir / "a.ape", original);
    const int fd = ::open((dir / "a.ape").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);  // another program reading it
    EXPECT_THROW(tag.SaveTag(dir / "a.ape"), EFOpenError);
    TAPETag reader;
    EXPECT_TRUE(reader.ReadFromFile(dir / "a.ape"));
    ::close(fd);
    EXPECT_EQ(ReadFileBytes(dir / "a.ape"), original);
}

}  // namespace
}  // namespace covrilo
