// SPDX-License-Identifier: MIT
// What a write through the facade keeps of the frames it replaces: every value of every
// frame of a rewritten identifier, the comment's language, genre references, the whole date
// while the year stands, picture types as stored; and what it refuses.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "id3v2/ID3v2Class.h"
#include "id3v2/ID3v2ClassTestUtil.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TWXXXFrame.h"
#include "multitag/qmx_multitag.h"

namespace covrilo {
namespace {

using namespace test;

Bytes Jpeg(uint8_t Seed) {
    Bytes j{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
    while (j.size() < 64) j.push_back(static_cast<uint8_t>(Seed + j.size()));
    return j;
}

// Audio a save accepts as MPEG (it refuses a file without any).
Bytes MpegAudio() { return MpegAudioFrames(7); }

Bytes Apic23(uint8_t Type, const Bytes& Image) {
    return Frame23("APIC", Cat({Bytes{0}, Str("image/jpeg"), Bytes{0, Type, 0}, Image}));
}

Bytes Comm23(std::string_view Language, std::string_view Text) {
    return Frame23("COMM", Cat({Bytes{0}, Str(Language), Bytes{0}, Str(Text)}));
}

struct Written : ::testing::Test {
    Written() {
        Facade.SetMpegReadTags(tsID3v1ID3v2);
        Facade.SetMpegWriteTags(tsID3v1ID3v2);
        WriteFileBytes(Cover, Jpeg(9));
    }
    // Writes Tag (and audio) to the file, opens it, adds the cover of Kind and saves.
    bool Save(const Bytes& Tag, uint8_t Format = 0, const char* Kind = "FrontCover") {
        WriteFileBytes(File, Cat({Tag, MpegAudio()}));
        EXPECT_TRUE(Facade.Open(File));
        Facade.ID3v2Format = Format;
        Facade.AddPicture({Cover, Kind, ""});
        return Facade.Save();
    }
    // The values of the text frames of the saved tag, per identifier, in order.
    std::map<std::string, std::vector<std::u16string>> Texts() {
        std::map<std::string, std::vector<std::u16string>> texts;
        TID3v2Class tag(File);
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* text = dynamic_cast<TTxxxFrame*>(tag.Frames(i))) {
                auto& values = texts[text->FrameID()];
                values.push_back(text->Text);
                values.insert(values.end(), text->MoreTexts.begin(), text->MoreTexts.end());
            }
        return texts;
    }
    std::multiset<int> PictureTypes() {
        std::multiset<int> types;
        TID3v2Class tag(File);
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* apic = dynamic_cast<TAPICFrame*>(tag.Frames(i))) types.insert(apic->PictureType);
        return types;
    }

    TempDir Dir;
    std::filesystem::path File = Dir / "song.mp3";
    std::filesystem::path Cover = Dir / "cover.jpg";
    Tqmx_multitag Facade;
};

using Values = std::vector<std::u16string>;

// Four TPE1 frames (a file's artists) used to leave only the last: the record's value comes
// first, every other value after it.
TEST_F(Written, EveryValueOfARewrittenIdentifierStays) {
    ASSERT_TRUE(Save(Tag(3,
                         Cat({Frame23("TPE1", Latin1Text("Ann")), Frame23("TPE1", Latin1Text("Bob")),
                              Frame23("TPE1", Latin1Text("Cid")), Frame23("TPE1", Latin1Text("Dee")),
                              Frame23("TIT2", Latin1Text("One")), Frame23("TIT2", Latin1Text("Two")),
                              Frame23("TALB", Latin1Text("Same")), Frame23("TALB", Latin1Text("Same"))}),
                         64)));
    auto texts = Texts();
    EXPECT_EQ(texts["TPE1"], (Values{u"Dee", u"Ann", u"Bob", u"Cid"}));
    EXPECT_EQ(texts["TIT2"], (Values{u"Two", u"One"}));
    EXPECT_EQ(texts["TALB"], (Values{u"Same"}));
}

// A value UTF-8 cannot hold (an unpaired surrogate, kept from a UTF-16 frame) is written in
// UTF-16 under "Id3v2.4 UTF-8", as one ISO-8859-1 cannot hold is under "Id3v2.3 ISO-8859-1".
TEST_F(Written, AValueTheEncodingCannotHoldIsWrittenInUtf16) {
    const Bytes lone = {1, 0xFF, 0xFE, 'A', 0, 0x00, 0xD8, 'B', 0, 0, 0};  // "A", U+D800 alone, "B"
    ASSERT_TRUE(Save(Tag(3, Frame23("TIT2", lone), 64), 2));
    TID3v2Class tag(File);
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* t = dynamic_cast<TTxxxFrame*>(tag.Frames(i)); t && t->FrameID() == "TIT2") {
            EXPECT_EQ(t->Text, (std::u16string{u'A', static_cast<char16_t>(0xD800), u'B'}));
            EXPECT_EQ(t->Encoding, teUTF16);
        }
}

// The comment the record was read from (the last one without a description) is rewritten in
// its language; a comment in another language is another comment and stays.
TEST_F(Written, TheCommentKeepsItsLanguageAndOthersStay) {
    ASSERT_TRUE(Save(
        Tag(3, Cat({Frame23("TIT2", Latin1Text("T")), Comm23("deu", "Hallo"), Comm23("eng", "Hello")}), 64)));
    std::vector<std::pair<std::string, std::u16string>> comments;
    TID3v2Class tag(File);
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* c = dynamic_cast<TCOMMFrame*>(tag.Frames(i))) comments.emplace_back(c->Language(), c->Text);
    EXPECT_EQ(comments,
              (std::vector<std::pair<std::string, std::u16string>>{{"deu", u"Hallo"}, {"eng", u"Hello"}}));
}

TEST_F(Written, OnlyTheLinkTheRecordHoldsIsReplaced) {
    auto link = [](std::string_view Url) { return Frame23("WXXX", Cat({Bytes{0, 0}, Str(Url)})); };
    ASSERT_TRUE(Save(
        Tag(3, Cat({Frame23("TIT2", Latin1Text("T")), link("http://first/"), link("http://second/")}), 64)));
    std::vector<std::string> urls;
    TID3v2Class tag(File);
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (auto* u = dynamic_cast<TWXXXFrame*>(tag.Frames(i))) urls.push_back(u->URL);
    EXPECT_EQ(urls, (std::vector<std::string>{"http://first/", "http://second/"}));
}

TEST_F(Written, GenreReferences) {
    const std::pair<const char*, const char16_t*> cases[] = {
        {"(255)", u"(255)"},  // no name: stays, instead of ""
        {"(200)", u"(200)"},
        {"(9)Metalcore", u"(9)Metalcore"},  // Metal, refined: the reference says more
        {"(52)(53)", u"(52)(53)"},
        {"(17)Rock", u"Rock"},  // says nothing more than the genre
        {"(17)", u"Rock"},
        {"Ambient", u"Ambient"},
    };
    for (const auto& [tcon, written] : cases) {
        SCOPED_TRACE(tcon);
        ASSERT_TRUE(
            Save(Tag(3, Cat({Frame23("TIT2", Latin1Text("T")), Frame23("TCON", Latin1Text(tcon))}), 64)));
        EXPECT_EQ(Texts()["TCON"], Values{written});
    }
}

// Picture types above 20 are other programs' data: kept as stored, never taken for "Other".
TEST_F(Written, PictureTypesAsStored) {
    const Bytes tag = Tag(
        3,
        Cat({Frame23("TIT2", Latin1Text("T")), Apic23(21, Jpeg(1)), Apic23(0, Jpeg(2)), Apic23(3, Jpeg(3))}),
        64);
    ASSERT_TRUE(Save(tag, 0, "Other"));
    EXPECT_EQ(PictureTypes(), (std::multiset<int>{0, 3, 21}));
    ASSERT_TRUE(Save(tag, 0, "FrontCover"));
    EXPECT_EQ(PictureTypes(), (std::multiset<int>{0, 3, 21}));
    ASSERT_TRUE(Save(tag, 0, "BackCover"));
    EXPECT_EQ(PictureTypes(), (std::multiset<int>{0, 3, 4, 21}));
}

// A compressed front cover is a front cover: it is replaced, not left beside the new one.
TEST_F(Written, ACompressedPictureIsReplacedByItsType) {
    const Bytes picture = Cat({Bytes{0}, Str("image/jpeg"), Bytes{0, 3, 0}, Jpeg(4)});
    const Bytes packed = Deflate(picture);
    const Bytes apic = Cat({Str("APIC"), Syncsafe(static_cast<uint32_t>(4 + packed.size())),
                            Bytes{0x00, 0x09}, Syncsafe(static_cast<uint32_t>(picture.size())), packed});
    ASSERT_TRUE(Save(Tag(4, Cat({Frame24("TIT2", Latin1Text("T")), apic}), 64), 2));
    EXPECT_EQ(PictureTypes(), std::multiset<int>{3});
    ASSERT_TRUE(Save(Tag(4, Cat({Frame24("TIT2", Latin1Text("T")), apic}), 64), 2, "Other"));
    EXPECT_EQ(PictureTypes(), (std::multiset<int>{0, 3}));
    EXPECT_NE(
        std::search(ReadFileBytes(File).begin(), ReadFileBytes(File).end(), packed.begin(), packed.end()),
        ReadFileBytes(File).end());
}

// While the year stands as read, the whole date survives the write in either version.
TEST_F(Written, TheWholeDateSurvivesWhileTheYearStands) {
    ASSERT_TRUE(Save(Tag(3,
                         Cat({Frame23("TIT2", Latin1Text("T")), Frame23("TYER", Latin1Text("1987")),
                              Frame23("TDAT", Latin1Text("3103")), Frame23("TIME", Latin1Text("1234"))}),
                         64),
                     2));
    auto texts = Texts();
    EXPECT_EQ(texts["TDRC"], Values{u"1987-03-31T12:34"});
    EXPECT_EQ(texts.count("TDAT") + texts.count("TIME") + texts.count("TYER"), 0u);

    ASSERT_TRUE(Save(
        Tag(4, Cat({Frame24("TIT2", Latin1Text("T")), Frame24("TDRC", Latin1Text("1987-03-31"))}), 64), 0));
    texts = Texts();
    EXPECT_EQ(texts["TYER"], Values{u"1987"});
    EXPECT_EQ(texts["TDAT"], Values{u"3103"});
    EXPECT_EQ(texts.count("TDRC"), 0u);

    // A year from the ID3v1 record (the tag has none) is a year alone.
    Bytes record(128, 0);
    std::copy_n("TAGTitle", 8, record.begin());
    std::copy_n("1999", 4, record.begin() + 93);
    WriteFileBytes(File, Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 64), MpegAudio(), record}));
    ASSERT_TRUE(Facade.Open(File));
    Facade.ID3v2Format = 2;
    ASSERT_TRUE(Facade.Save());
    EXPECT_EQ(Texts()["TDRC"], Values{u"1999"});
}

// A frame to rewrite whose content cannot be read is never replaced by what the record does
// not hold: the write is refused and says which frame.
TEST_F(Written, AnUnreadableFrameToRewriteRefusesTheWrite) {
    const Bytes junk = {0x78, 0x9C, 1, 2, 3};
    const Bytes artist = Cat({Str("TPE1"), BE32(4 + 5), Bytes{0x00, 0x80}, BE32(30), junk});
    const Bytes original = Cat({Tag(3, Cat({Frame23("TIT2", Latin1Text("T")), artist}), 64), MpegAudio()});
    EXPECT_FALSE(Save(Cat({Tag(3, Cat({Frame23("TIT2", Latin1Text("T")), artist}), 64)})));
    EXPECT_NE(Facade.LastError().find("frame \"TPE1\" at offset 23 cannot be read"), std::string::npos)
        << Facade.LastError();
    EXPECT_EQ(ReadFileBytes(File), original);
}

// "Deleted" only for a file that holds no picture: a tag read part of the way may hold one
// where the walk stopped, and is left alone with the reason.
TEST_F(Written, RemovingPicturesFromATagReadPartOfTheWayIsRefused) {
    const Bytes stops = Tag(3,
                            Cat({Frame23("TIT2", Latin1Text("T")), Str("TALB"), BE32(900), Bytes{0, 0},
                                 Latin1Text("x"), Apic23(3, Jpeg(1))}),
                            64);
    const Bytes original = Cat({stops, MpegAudio()});
    WriteFileBytes(File, original);
    ASSERT_TRUE(Facade.Open(File));
    EXPECT_FALSE(Facade.RemoveAllPictures());
    EXPECT_NE(Facade.LastError().find("frame \"TALB\" at offset 23"), std::string::npos)
        << Facade.LastError();
    EXPECT_EQ(ReadFileBytes(File), original);

    const Bytes plain = Cat({Tag(3, Frame23("TIT2", Latin1Text("T")), 64), MpegAudio()});
    WriteFileBytes(File, plain);
    ASSERT_TRUE(Facade.Open(File));
    EXPECT_TRUE(Facade.RemoveAllPictures());
    EXPECT_EQ(ReadFileBytes(File), plain);
}

}  // namespace
}  // namespace covrilo
