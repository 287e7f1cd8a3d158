// SPDX-License-Identifier: MIT
// APE tags on real MP3 files from lame: what we write is read by mutagen and TagLib with the
// same items, what mutagen writes is read by us, and the audio stays as it was.
#include <gtest/gtest.h>

#include <map>

#include "InteropUtil.h"
#include "formats/APETag.h"

namespace covrilo::test {
namespace {

// The APE text items of a peer's dump, in the dump's (sorted) order.
std::vector<std::pair<std::string, std::vector<std::string>>> ApeTextItems(const JsonValue& Dump) {
    std::vector<std::pair<std::string, std::vector<std::string>>> items;
    const JsonValue& ape = Dump["ape"];
    for (size_t i = 0; i < ape["items"].Size(); ++i) {
        const JsonValue& item = ape["items"][i];
        EXPECT_EQ(item["type"].Str(), "text") << item.Dump();
        std::vector<std::string> values = item["values"].Strings();
        // An empty value is one empty string to mutagen and no value at all to TagLib.
        if (values.empty()) values.emplace_back();
        items.emplace_back(item["key"].Str(), std::move(values));
    }
    return items;
}

TEST(APETagInterop, PeersReadWhatWeWrite) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    const std::string comment = "A comment longer than two hundred and fifty bytes: " + std::string(260, 'c');
    // The nine keys a cover write puts in, empty value included; values are UTF-8 on disk.
    const std::vector<std::pair<std::string, std::string>> ours = {
        {"ARTIST", "Bj\xC3\xB6rk"}, {"TITLE", "J\xC3\xB3ga"},
        {"ALBUM", "Homogenic"},     {"TRACK", "3/10"},
        {"YEAR", "1997"},           {"GENRE", std::string("Electronic\0Pop", 14)},
        {"COMMENT", comment},       {"WWW", ""},
        {"ENCODEDBY", "covrilo"},
    };
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"ALBUM", {"Homogenic"}},
        {"ARTIST", {"Bj\xC3\xB6rk"}},
        {"COMMENT", {comment}},
        {"ENCODEDBY", {"covrilo"}},
        {"GENRE", {"Electronic", "Pop"}},
        {"TITLE", {"J\xC3\xB3ga"}},
        {"TRACK", {"3/10"}},
        {"WWW", {""}},
        {"YEAR", {"1997"}},
    };
    for (bool withId3v1 : {false, true}) {
        SCOPED_TRACE(withId3v1 ? "APE in front of an ID3v1 record" : "APE alone");
        TempDir dir;
        const auto mp3 = dir / "a.mp3";
        MakeMp3(mp3, 1.0);
        if (withId3v1) {
            // A record and an old APE tag with an item that must go.
            MutagenTag(mp3, R"({"id3v1": {"title": "V1 title", "artist": "", "album": "", "year": "2001",
                                "comment": "", "track": 4, "genre": 17},
                                "ape": {"items": [{"key": "Old", "text": "gone"}]}})");
        }
        const Bytes audio = MpegAudioBytes(mp3);

        // Saved twice: the second save replaces the first tag instead of adding one.
        for (int round = 0; round < 2; ++round) {
            TAPETag tag;
            for (const auto& [k, v] : ours) tag.AppendField(k, v);
            ASSERT_TRUE(tag.SaveTag(mp3));
        }

        for (const JsonValue& dump : {MutagenDump(mp3), TaglibDump(mp3)}) {
            SCOPED_TRACE(dump["tool"].Str());
            ASSERT_FALSE(dump["ape"].IsNull()) << dump.Dump();
            EXPECT_EQ(ApeTextItems(dump), expected);
            if (withId3v1) {
                ASSERT_FALSE(dump["id3v1"].IsNull()) << dump.Dump();
                EXPECT_EQ(dump["id3v1"]["title"].Str(), "V1 title");
                EXPECT_EQ(dump["id3v1"]["track"].Int(), 4);
            } else {
                EXPECT_TRUE(dump["id3v1"].IsNull()) << dump.Dump();
            }
        }
        const Bytes file = ReadFileBytes(mp3);
        if (withId3v1) {
            EXPECT_EQ(std::string(file.end() - 128, file.end() - 117), "TAGV1 title");
        }
        EXPECT_EQ(MpegAudioBytes(mp3), audio);
        EXPECT_TRUE(FfmpegDecodesCleanly(mp3));
    }
}

TEST(APETagInterop, WeReadWhatMutagenWrites) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    const auto mp3 = dir / "m.mp3";
    MakeMp3(mp3, 1.0);
    MutagenTag(mp3, R"json({"id3v1": {"title": "Record", "artist": "", "album": "", "year": "", "comment": "",
                        "track": 0, "genre": 255},
                        "ape": {"items": [
                          {"key": "Artist", "text": "Bj\u00f6rk"},
                          {"key": "Title", "text": "Hyperballad"},
                          {"key": "Multi", "text": ["one", "two"]},
                          {"key": "Lyrics", "text": ")json" +
                        std::string(400, 'x') + R"json("},
                          {"key": "Homepage", "external": "http://example.org/"},
                          {"key": "Cover Art (Front)", "binary_hex": "636f7665722e6a706700ffd8ffe0"},
                          {"key": "Year", "text": "1995"}]}})json");

    TAPETag tag;
    ASSERT_TRUE(tag.ReadFromFile(mp3));
    ASSERT_TRUE(tag.Exists);
    EXPECT_EQ(tag.Version, 2000u);
    const std::map<std::string, std::string> got(tag.Fields.begin(), tag.Fields.end());
    const std::map<std::string, std::string> expected = {
        {"Artist", "Bj\xC3\xB6rk"},
        {"Title", "Hyperballad"},
        {"Multi", std::string("one\0two", 7)},
        {"Lyrics", std::string(400, 'x')},
        {"Homepage", "http://example.org/"},
        {"Cover Art (Front)", ""},  // binary: no text value
        {"Year", "1995"},
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(tag.Fields.size(), expected.size());
    EXPECT_EQ(tag.GetValue("ARTIST"), "Bj\xC3\xB6rk");

    // Replacing it leaves the peers with our items only and the record still last.
    TAPETag replacement;
    replacement.AppendField("TITLE", "Isobel");
    ASSERT_TRUE(replacement.SaveTag(mp3));
    for (const JsonValue& dump : {MutagenDump(mp3), TaglibDump(mp3)}) {
        SCOPED_TRACE(dump["tool"].Str());
        EXPECT_EQ(ApeTextItems(dump),
                  (std::vector<std::pair<std::string, std::vector<std::string>>>{{"TITLE", {"Isobel"}}}));
        EXPECT_EQ(dump["id3v1"]["title"].Str(), "Record");
    }
}

}  // namespace
}  // namespace covrilo::test
