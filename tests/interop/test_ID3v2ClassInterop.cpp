// SPDX-License-Identifier: MIT
// Tags written by mutagen load with the right frames and values; tags we write are read back
// by mutagen and TagLib with the same values, and the audio stays byte-identical.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "InteropUtil.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"
#include "io/TextConversion.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

const std::string kLatin = "Caf\xC3\xA9 na\xC3\xAFve";                                         // Café naïve
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\xAD\x8C";  // 日本語の歌
const std::string kCyrillic =
    "\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0";  // Кириллица
const std::string kMixed = "\xD0\x96 \xE4\xBD\x9C \xC3\xBC";                     // Ж 作 ü
const std::string kGerman = "Deutscher Kommentar \xC3\xA4\xC3\xB6\xC3\xBC";
const std::string kMcdi = "0000000c010000001001000000000000";

struct Files {
    fs::path Dir, Plain, Front, Back, Added;
};

Files MakeFiles(const TempDir& Dir) {
    Files f{Dir.Path(), Dir / "plain.mp3", Dir / "front.jpg", Dir / "back.png", Dir / "added.jpg"};
    MakeMp3(f.Plain, 1.0);
    MakeJpeg(f.Front, 120, 90);
    MakePng(f.Back, 40, 30);
    MakeJpeg(f.Added, 64, 64);
    return f;
}

// Every encoding the version has, Japanese and Cyrillic text, two comments in different
// languages, TXXX, PRIV (not in 2.2), MCDI, front and back covers, and an ID3v1 record.
std::string TagsJson(const Files& F, int Version, int Padding) {
    const bool v4 = Version == 4;
    std::string frames = R"(
        {"id": "TIT2", "text": ")" +
                         kLatin + R"(", "encoding": 0},
        {"id": "TPE1", "text": ")" +
                         kJapanese + R"(", "encoding": 1},
        {"id": "TALB", "text": ")" +
                         kCyrillic + R"(", "encoding": )" + (v4 ? "2" : "1") + R"(},
        {"id": "TCOM", "text": ")" +
                         kMixed + R"(", "encoding": )" + (v4 ? "3" : "1") + R"(},
        {"id": "COMM", "lang": "eng", "desc": "", "text": "English comment", "encoding": 0},
        {"id": "COMM", "lang": "deu", "desc": "kurz", "text": ")" +
                         kGerman + R"(", "encoding": 1},
        {"id": "TXXX", "desc": "REPLAYGAIN_TRACK_GAIN", "text": ["-6.50 dB"]},
        {"id": "MCDI", "data_hex": ")" +
                         kMcdi + R"("},)";
    if (Version != 2)
        frames += R"(
        {"id": "PRIV", "owner": "covrilo.test", "data_hex": "00ff10ee"},)";
    frames += R"(
        {"id": "APIC", "type": 3, "mime": "image/jpeg", "desc": "front", "file": ")" +
              F.Front.string() + R"("},
        {"id": "APIC", "type": 4, "mime": "image/png", "desc": "back", "file": ")" +
              F.Back.string() + R"("})";
    std::string tags = R"({"id3v2": {"version": )" + std::to_string(Version);
    if (Padding >= 0) tags += R"(, "padding": )" + std::to_string(Padding);
    tags += R"(, "frames": [)" + frames + R"(]},
        "id3v1": {"title": "V1 title", "artist": "V1 artist", "album": "V1 album", "year": "2001",
                  "comment": "V1 comment", "track": 5, "genre": 17}})";
    return tags;
}

std::u16string W(const std::string& Utf8) { return Utf8ToWide(Utf8); }

template <typename T>
std::vector<const T*> All(const TID3v2Class& Tag) {
    std::vector<const T*> found;
    for (int i = 0; i < Tag.FrameCount(); ++i)
        if (const auto* frame = dynamic_cast<const T*>(Tag.Frames(i))) found.push_back(frame);
    return found;
}

std::u16string TextOf(const TID3v2Class& Tag, const std::string& ID) {
    for (const auto* frame : All<TTxxxFrame>(Tag))
        if (frame->FrameID() == ID) return frame->Text;
    return u"<missing " + W(ID) + u">";
}

std::vector<std::string> OurIds(const TID3v2Class& Tag) {
    std::vector<std::string> ids;
    for (int i = 0; i < Tag.FrameCount(); ++i)
        if (!dynamic_cast<const TID3v1Tag*>(Tag.Frames(i))) ids.push_back(Tag.Frames(i)->FrameID());
    return ids;
}

std::string Hex(const std::vector<uint8_t>& Data) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : Data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

TEST(ID3v2ClassInterop, LoadsTagsWrittenByMutagen) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen);
    TempDir dir;
    const Files f = MakeFiles(dir);
    for (const int version : {2, 3, 4}) {
        for (const int padding : {0, -1}) {
            SCOPED_TRACE("ID3v2." + std::to_string(version) +
                         (padding == 0 ? " without padding" : " with padding"));
            const fs::path file =
                dir / ("v" + std::to_string(version) + "_" + std::to_string(padding) + ".mp3");
            fs::copy_file(f.Plain, file);
            MutagenTag(file, TagsJson(f, version, padding));

            TID3v2Class tag(file);
            EXPECT_EQ(tag.Version, version << 8);
            EXPECT_TRUE(tag.TagExists);
            EXPECT_EQ(OurIds(tag), FrameIds(MutagenDump(file))) << "every frame, in file order";

            EXPECT_EQ(TextOf(tag, "TIT2"), W(kLatin));
            EXPECT_EQ(TextOf(tag, "TPE1"), W(kJapanese));
            EXPECT_EQ(TextOf(tag, "TALB"), W(kCyrillic));
            EXPECT_EQ(TextOf(tag, "TCOM"), W(kMixed));
            const auto* txxx = [&]() -> const TTxxxFrame* {
                for (const auto* t : All<TTxxxFrame>(tag))
                    if (t->FrameID() == "TXXX") return t;
                return nullptr;
            }();
            ASSERT_NE(txxx, nullptr);
            EXPECT_EQ(txxx->Text, u"REPLAYGAIN_TRACK_GAIN");
            EXPECT_EQ(txxx->MoreTexts, std::vector<std::u16string>{u"-6.50 dB"});

            // mutagen orders frames its own way: find them by language and picture type.
            const auto comments = All<TCOMMFrame>(tag);
            ASSERT_EQ(comments.size(), 2u);
            for (const auto* comment : comments) {
                const bool english = comment->Language() == "eng";
                EXPECT_EQ(comment->Language(), english ? "eng" : "deu");
                EXPECT_EQ(comment->Description, english ? u"" : u"kurz");
                EXPECT_EQ(comment->Text, english ? u"English comment" : W(kGerman));
            }
            EXPECT_NE(comments[0]->Language(), comments[1]->Language());
            const auto privs = All<TPRIVFrame>(tag);
            if (version == 2) {
                EXPECT_TRUE(privs.empty());
            } else {
                ASSERT_EQ(privs.size(), 1u);
                EXPECT_EQ(privs[0]->OwnerID, "covrilo.test");
                EXPECT_EQ(Hex(privs[0]->Data.Data()), "00ff10ee");
            }
            const auto unknown = All<TUnknownFrame>(tag);
            ASSERT_EQ(unknown.size(), 1u);
            EXPECT_EQ(unknown[0]->FrameID(), "MCDI");
            EXPECT_EQ(Hex(unknown[0]->Data.Data()), kMcdi);

            const auto pictures = All<TAPICFrame>(tag);
            ASSERT_EQ(pictures.size(), 2u);
            EXPECT_NE(pictures[0]->PictureType, pictures[1]->PictureType);
            for (const auto* picture : pictures) {
                const bool front = picture->PictureType == 3;
                EXPECT_EQ(picture->PictureType, front ? 3 : 4);
                EXPECT_EQ(picture->MIMEType, front ? "image/jpeg" : "image/png");
                EXPECT_EQ(picture->Description, front ? u"front" : u"back");
                EXPECT_EQ(picture->PictureData.Data(), ReadFileBytes(front ? f.Front : f.Back));
            }

            ASSERT_TRUE(tag.HasID3v1);
            const auto* record = dynamic_cast<const TID3v1Tag*>(tag.Frames(0));
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->Title, "V1 title");
            EXPECT_EQ(record->Artist, "V1 artist");
            EXPECT_EQ(record->Year, "2001");
            EXPECT_EQ(record->TrackNo, 5);
            EXPECT_EQ(record->Genre, 17);
        }
    }
}

// A peer's reading of one frame, without what a save may legitimately change (the text
// encoding, the frame size).
std::string Canon(const JsonValue& Frame) {
    std::string out;
    for (const char* key :
         {"id", "lang", "description", "text", "url", "mime", "type", "owner", "data", "sha256"})
        if (Frame.Has(key)) out += std::string(key) + "=" + Frame[key].Dump() + " ";
    return out;
}

std::vector<std::string> CanonFrames(const JsonValue& Dump) {
    std::vector<std::string> out;
    if (Dump["id3v2"].IsNull()) return out;
    for (const JsonValue& frame : Dump["id3v2"]["frames"].Arr()) out.push_back(Canon(frame));
    return out;
}

TEST(ID3v2ClassInterop, PeersReadWhatWeSave) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
    TempDir dir;
    const Files f = MakeFiles(dir);
    const std::string added = "Added \xE2\x9C\x93 \xD0\xB6";  // Added ✓ ж
    for (const int source : {3, 4}) {
        for (const uint16_t target : {uint16_t{0x0300}, uint16_t{0x0400}}) {
            // No padding: rewritten. 4000 bytes of padding take the new frames in place.
            for (const int padding : {0, 4000}) {
                SCOPED_TRACE("from 2." + std::to_string(source) + " to 2." + std::to_string(target >> 8) +
                             (padding == 0 ? " without padding" : " with padding"));
                const fs::path file = dir / ("s" + std::to_string(source) + "_" + std::to_string(target) +
                                             "_" + std::to_string(padding) + ".mp3");
                fs::copy_file(f.Plain, file);
                MutagenTag(file, TagsJson(f, source, padding));
                const JsonValue mutagenBefore = MutagenDump(file);
                const JsonValue taglibBefore = TaglibDump(file);
                const Bytes audio = MpegAudioBytes(file);
                const auto sizeBefore = fs::file_size(file);
                ASSERT_EQ(audio, ReadFileBytes(f.Plain)) << "the audio range helper sees lame's file";
                ASSERT_EQ(FramesWithId(mutagenBefore, "TPE1").at(0)["text"].Strings(),
                          std::vector<std::string>{kJapanese});

                {
                    TID3v2Class tag(file);
                    auto text = std::make_unique<TTxxxFrame>();
                    text->SetFrameID("TIT3");
                    text->SetText(W(added));
                    tag.AddFrame(std::move(text));
                    auto picture = std::make_unique<TAPICFrame>();
                    ASSERT_TRUE(picture->LoadPictureFromFile(f.Added));
                    picture->SetPictureType(8);
                    picture->SetDescription(u"artist \u00E9");
                    tag.AddFrame(std::move(picture));
                    ASSERT_TRUE(tag.SaveToFile(target));
                }

                for (const auto& [before, after] : {std::pair{mutagenBefore, MutagenDump(file)},
                                                    std::pair{taglibBefore, TaglibDump(file)}}) {
                    SCOPED_TRACE(after["tool"].Str());
                    ASSERT_FALSE(after["id3v2"].IsNull()) << after.Dump();
                    EXPECT_EQ(after["id3v2"]["version"].Str(), target == 0x0300 ? "2.3.0" : "2.4.0");
                    std::vector<std::string> expected = CanonFrames(before);
                    expected.push_back(
                        Canon(JsonValue::Parse(R"({"id": "TIT3", "text": [")" + added + R"("]})")));
                    const auto newPictures = FramesWithId(after, "APIC");
                    ASSERT_EQ(newPictures.size(), 3u) << after.Dump();
                    EXPECT_EQ(newPictures[2]["sha256"].Str(), Sha256OfFile(f.Added));
                    EXPECT_EQ(newPictures[2]["type"].Int(), 8);
                    EXPECT_EQ(newPictures[2]["mime"].Str(), "image/jpeg");
                    EXPECT_EQ(newPictures[2]["description"].Str(), "artist \xC3\xA9");
                    expected.push_back(Canon(newPictures[2]));
                    EXPECT_EQ(CanonFrames(after), expected);
                    EXPECT_EQ(after["id3v1"].Dump(), before["id3v1"].Dump());
                }
                EXPECT_EQ(MpegAudioBytes(file), audio);
                EXPECT_TRUE(FfmpegDecodesCleanly(file));
                // The same version with room to spare is written in place.
                if (padding > 0 && target >> 8 == source) {
                    EXPECT_EQ(fs::file_size(file), sizeBefore);
                }
                if (padding == 0) {
                    EXPECT_GT(fs::file_size(file), sizeBefore);
                }
            }
        }
    }
}

}  // namespace
}  // namespace covrilo::test
