// SPDX-License-Identifier: MIT
// Tags as other taggers write them (PeerQuirks.h), each added to in every format and kind
// and stripped of its pictures by covrilo-cli, then read back by mutagen, eyeD3 and TagLib:
// every frame of the original is there with its content (tools/preservation_check.py), and
// each quirk comes out as its rule says.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CliTestUtil.h"
#include "InteropUtil.h"
#include "PeerQuirks.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TCHAPFrame.h"
#include "id3v2/frames/TEncodedFrame.h"
#include "id3v2/frames/TRawFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "io/TextConversion.h"
#include "multitag/qmx_multitag.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    std::string Op;
    std::string Outcome;
    fs::path File;
};

// The frame ids of a dump, counted.
std::map<std::string, int> IdCounts(const JsonValue& Dump) {
    std::map<std::string, int> counts;
    for (const std::string& id : FrameIds(Dump)) ++counts[id];
    return counts;
}

std::vector<std::string> TextOf(const JsonValue& Dump, const std::string& Id) {
    const auto frames = FramesWithId(Dump, Id);
    return frames.empty() ? std::vector<std::string>{} : frames[0]["text"].Strings();
}

std::vector<std::string> EngineIds(const fs::path& File) {
    TID3v2Class tag(File);
    std::vector<std::string> ids;
    for (int i = 0; i < tag.FrameCount(); ++i)
        if (tag.Frames(i)->FrameID() != "TAG") ids.push_back(tag.Frames(i)->FrameID());
    return ids;
}

bool Adds(const std::string& Op) { return Op.rfind("add-", 0) == 0; }
bool To23(const std::string& Op) { return Op.rfind("add-2.3", 0) == 0; }
bool To24(const std::string& Op) { return Op.rfind("add-2.4", 0) == 0; }
bool Kind(const std::string& Op, const char* Kind) { return Op.size() > 5 && Op.ends_with(Kind); }

using Check = std::function<void(const Result&)>;

std::map<std::string, Check> RuleChecks(const fs::path& Cover) {
    std::map<std::string, Check> checks;
    const std::string lyrics =
        "So this is the lyrics of a song that goes on for a while, long enough that its frame size needs "
        "more than seven bits, which is where plain and syncsafe sizes part ways.";

    checks["itunes-2.4-plain-sizes"] = [lyrics](const Result& R) {
        const JsonValue taglib = TaglibDump(R.File);
        const auto uslt = FramesWithId(taglib, "USLT");
        ASSERT_EQ(uslt.size(), 1u) << taglib.Dump();
        EXPECT_EQ(uslt[0]["text"].Str(), lyrics);
        EXPECT_EQ(TextOf(taglib, "TCMP"), std::vector<std::string>{"1"});
        EXPECT_FALSE(TID3v2Class(R.File).FrameWalk.PlainSizes) << "written with syncsafe sizes";
    };
    checks["itunes-2.2-identifiers"] = [](const Result& R) {
        const JsonValue dump = MutagenDump(R.File);
        const std::pair<const char*, const char*> expected[] = {
            {"TCMP", "1"},           {"TSOT", "Two two, The"},      {"TSOA", "Album, The"},
            {"TSOP", "Artist, The"}, {"TSO2", "Album Artist, The"}, {"TSOC", "Composer, The"},
            {"GRP1", "Grouping"},    {"MVNM", "Movement"},          {"MVIN", "2/4"},
            {"TDES", "A podcast"},   {"TGID", "podcast-id"},        {"TKWD", "key, words"},
            {"TCAT", "Category"}};
        for (const auto& [id, text] : expected)
            EXPECT_EQ(TextOf(dump, id), std::vector<std::string>{text}) << id;
        const auto feed = FramesWithId(dump, "WFED");
        ASSERT_EQ(feed.size(), 1u) << dump.Dump();
        EXPECT_EQ(feed[0]["url"].Str(), "http://feed.example/");
        EXPECT_EQ(FramesWithId(dump, "USLT").size(), 1u);
        EXPECT_EQ(dump["id3v2"]["version"].Str(), To24(R.Op) ? "2.4.0" : "2.3.0");
    };
    // The checks below look at what a save wrote: "remove" leaves a file without pictures as it is.
    checks["invalid-identifier-2.3"] = [](const Result& R) {
        if (!Adds(R.Op)) return;
        // Kept byte for byte, after every readable frame, where TagLib (which stops there) no
        // longer misses the others.
        EXPECT_EQ(EngineIds(R.File).back(), "Date");
        const auto taglib = IdCounts(TaglibDump(R.File));
        for (const char* id : {"TLEN", "TPE1", "TIT2", "TALB"}) EXPECT_EQ(taglib.count(id), 1u) << id;
    };
    checks["itunes-2.2-names-in-2.3"] = [](const Result& R) {
        if (!Adds(R.Op)) return;
        const JsonValue dump = MutagenDump(R.File);
        EXPECT_EQ(TextOf(dump, "TPE1"), std::vector<std::string>{"Tacocat"});
        EXPECT_EQ(TextOf(dump, "TIT2"), std::vector<std::string>{"Crystal Ball"});
        EXPECT_EQ(TextOf(dump, "TALB"), std::vector<std::string>{"Lost Time"});
        EXPECT_EQ(TextOf(dump, "TENC"), std::vector<std::string>{"iTunes 12.1.2.27"});
        for (const std::string& id : EngineIds(R.File))
            EXPECT_EQ(id.size(), 4u) << "a 2.2 name was written: " << id;
    };
    checks["length-indicator-too-big-2.4"] = [](const Result& R) {
        if (!Adds(R.Op)) return;
        const auto taglib = IdCounts(TaglibDump(R.File));
        for (const char* id : {"TIT2", "TPE1", "TALB"}) EXPECT_EQ(taglib.count(id), 1u) << id;
        const auto ids = EngineIds(R.File);
        ASSERT_GE(ids.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(ids.end() - 2, ids.end()),
                  (std::vector<std::string>{"TENC", "WXXX"}));
    };
    for (const char* name : {"stray-extended-header-flag-2.3", "stray-extended-header-flag-2.4"})
        checks[name] = [](const Result& R) {
            if (Adds(R.Op)) {
                EXPECT_EQ(ReadFileBytes(R.File)[5] & 0x40, 0) << "flag written back";
            }
        };
    checks["extended-header-crc-2.4"] = [](const Result& R) {
        // 2.4 keeps the CRC (made afresh, so eyeD3 and the others accept the tag); 2.3 drops it.
        if (Adds(R.Op)) {
            EXPECT_EQ(ReadFileBytes(R.File)[5] & 0x40, To23(R.Op) ? 0 : 0x40);
        }
    };
    checks["extended-header-crc-2.3"] = [](const Result& R) {
        if (Adds(R.Op)) {
            EXPECT_EQ(ReadFileBytes(R.File)[5] & 0x40, To24(R.Op) ? 0x40 : 0);
        }
    };
    for (const char* name : {"chapters-2.3", "chapters-2.4"})
        checks[name] = [](const Result& R) {
            TID3v2Class tag(R.File);
            std::vector<std::string> titles;
            for (int i = 0; i < tag.FrameCount(); ++i)
                if (auto* chapter = dynamic_cast<TCHAPFrame*>(tag.Frames(i))) {
                    EXPECT_TRUE(chapter->SubFrameWalk.Complete);
                    for (const auto& sub : chapter->SubFrames)
                        if (auto* text = dynamic_cast<TTxxxFrame*>(sub.get()))
                            titles.push_back(WideToUtf8(text->Text));
                }
            ASSERT_EQ(titles.size(), 2u);
            EXPECT_EQ(titles[0], "Chapter One");
            const JsonValue taglib = TaglibDump(R.File);
            EXPECT_EQ(FramesWithId(taglib, "CHAP").size(), 2u) << taglib.Dump();
            EXPECT_EQ(FramesWithId(taglib, "CTOC").size(), 1u) << taglib.Dump();
        };
    checks["encoded-frames-utf8-2.4"] = [](const Result& R) {
        // 2.3 has no UTF-8: every text of these frames is UTF-16 there, and unchanged in 2.4.
        TID3v2Class tag(R.File);
        int seen = 0;
        for (int i = 0; i < tag.FrameCount(); ++i)
            if (auto* encoded = dynamic_cast<TEncodedFrame*>(tag.Frames(i))) {
                ++seen;
                ASSERT_FALSE(encoded->Content().empty());
                EXPECT_EQ(encoded->Content()[0], To23(R.Op) ? teUTF16 : teUTF8) << encoded->FrameID();
            }
        EXPECT_EQ(seen, 7);
        const JsonValue dump = MutagenDump(R.File);
        const auto uslt = FramesWithId(dump, "USLT");
        ASSERT_EQ(uslt.size(), 1u);
        EXPECT_EQ(uslt[0]["text"].Str(),
                  "\xC3\x9Cn\xC3\xAF"
                  "c\xC3\xB6"
                  "d\xC3\xA9 \xE2\x99\xAA");
    };
    checks["dates-2.3"] = [](const Result& R) {
        const JsonValue dump = MutagenDump(R.File);
        if (To24(R.Op)) {
            EXPECT_EQ(TextOf(dump, "TDRC"), std::vector<std::string>{"1987-03-31 12:34"});
            EXPECT_EQ(TextOf(dump, "TDOR"), std::vector<std::string>{"1985"});
            for (const char* gone : {"TYER", "TDAT", "TIME", "TORY"})
                EXPECT_TRUE(FramesWithId(dump, gone).empty()) << gone;
        } else {
            EXPECT_EQ(TextOf(dump, "TYER"), std::vector<std::string>{"1987"});
            EXPECT_EQ(TextOf(dump, "TDAT"), std::vector<std::string>{"3103"});
            EXPECT_EQ(TextOf(dump, "TIME"), std::vector<std::string>{"1234"});
            EXPECT_EQ(TextOf(dump, "TORY"), std::vector<std::string>{"1985"});
        }
    };
    checks["dates-2.4"] = [](const Result& R) {
        const JsonValue dump = MutagenDump(R.File);
        // TORY holds a year alone: a full original date keeps 2.4's frame in a 2.3 tag.
        EXPECT_EQ(TextOf(dump, "TDOR"), std::vector<std::string>{"1985-06-01"});
        if (To23(R.Op)) {
            EXPECT_EQ(TextOf(dump, "TYER"), std::vector<std::string>{"1987"});
            EXPECT_EQ(TextOf(dump, "TDAT"), std::vector<std::string>{"3103"});
            EXPECT_EQ(TextOf(dump, "TIME"), std::vector<std::string>{"1234"});
            EXPECT_TRUE(FramesWithId(dump, "TDRC").empty());
        } else {
            EXPECT_EQ(TextOf(dump, "TDRC"), std::vector<std::string>{"1987-03-31 12:34"});
        }
    };
    checks["duplicate-frames-2.3"] = [](const Result& R) {
        if (!Adds(R.Op)) return;
        const JsonValue taglib = TaglibDump(R.File);
        const auto artists = FramesWithId(taglib, "TPE1");
        ASSERT_EQ(artists.size(), 1u) << taglib.Dump();
        EXPECT_EQ(artists[0]["text"].Strings(), (std::vector<std::string>{"Dee", "Ann", "Bob", "Cid"}));
        EXPECT_EQ(TextOf(taglib, "TIT2"), (std::vector<std::string>{"Second title", "First title"}));
    };
    checks["genre-references-2.3"] = [](const Result& R) {
        EXPECT_EQ(TextOf(MutagenDump(R.File), "TCON"), std::vector<std::string>{"(255)"});
    };
    checks["genre-refinement-2.3"] = [](const Result& R) {
        EXPECT_EQ(TextOf(MutagenDump(R.File), "TCON"), std::vector<std::string>{"(9)Metalcore"});
    };
    checks["picture-types-2.3"] = [Cover](const Result& R) {
        std::multiset<int> types;
        for (const JsonValue& apic : FramesWithId(TaglibDump(R.File), "APIC"))
            types.insert(static_cast<int>(apic["type"].Int()));
        if (!Adds(R.Op)) {
            EXPECT_TRUE(types.empty());
            return;
        }
        // Type 21 is another program's: neither made 0 nor taken for "Other".
        EXPECT_EQ(types, (std::multiset<int>{0, 3, 21}));
    };
    checks["comment-language-2.3"] = [](const Result& R) {
        const auto comments = FramesWithId(MutagenDump(R.File), "COMM");
        ASSERT_EQ(comments.size(), 1u);
        EXPECT_EQ(comments[0]["lang"].Str(), "deu");
        EXPECT_EQ(comments[0]["text"].Str(), "Hallo Welt");
    };
    checks["compressed-picture-2.4"] = [](const Result& R) {
        const Bytes file = ReadFileBytes(R.File);
        const Bytes picture = QuirkJpeg(1);
        const auto apics = FramesWithId(MutagenDump(R.File), "APIC");
        if (Kind(R.Op, "Other")) {
            // Not replaced, so stored as it was: the compressed frame is in the file as read.
            ASSERT_EQ(apics.size(), 2u);
            EXPECT_EQ(apics[0]["type"].Int() + apics[1]["type"].Int(), 3);
            TID3v2Class tag(R.File);
            bool stored = false;
            for (int i = 0; i < tag.FrameCount(); ++i)
                stored =
                    stored || (tag.Frames(i)->FrameID() == "APIC" && tag.Frames(i)->ContentKeptAsStored());
            EXPECT_TRUE(stored);
        } else {
            EXPECT_EQ(apics.size(), Adds(R.Op) ? 1u : 0u)
                << "a compressed front cover was left beside the new one";
        }
    };
    checks["compressed-text-2.3"] = [](const Result& R) {
        EXPECT_EQ(TextOf(MutagenDump(R.File), "TIT2"), std::vector<std::string>{"A compressed title"});
    };
    checks["empty-frames-2.3"] = [](const Result& R) {
        if (!Adds(R.Op)) return;
        const auto taglib = IdCounts(TaglibDump(R.File));
        for (const char* id : {"TIT2", "TPE1", "TALB"}) EXPECT_EQ(taglib.count(id), 1u) << id;
        const auto ids = EngineIds(R.File);
        EXPECT_EQ(std::count(ids.begin(), ids.end(), "PRIV"), 1);
        EXPECT_EQ(std::count(ids.begin(), ids.end(), "TENC"), 1);
    };
    return checks;
}

TEST(PeerQuirksInterop, EveryQuirkKeepsEveryFrameWhereverItGoes) {
    if (std::string(kCovriloCli).empty()) GTEST_SKIP() << "covrilo-cli is not built (COVRILO_BUILD_APP=OFF)";
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib, Tool::EyeD3);
    TempDir dir;
    MakeMp3(dir / "audio.mp3", 1.0);
    MakeJpeg(dir / "cover.jpg", 200, 200);
    fs::create_directories(dir / "quirks");
    const std::vector<fs::path> files = WritePeerQuirks(dir / "quirks", MpegAudioBytes(dir / "audio.mp3"));
    const JsonValue report = RunPreservationCheck(kCovriloCli, files, dir / "cover.jpg", dir / "work");

    std::map<std::string, PeerQuirk> quirks;
    for (const PeerQuirk& quirk : PeerQuirks()) quirks[quirk.Name + ".mp3"] = quirk;
    const auto checks = RuleChecks(dir / "cover.jpg");
    int results = 0;
    for (const JsonValue& r : report["results"].Arr()) {
        ++results;
        const std::string name = fs::path(r["path"].Str()).filename().string();
        const Result result{r["op"].Str(), r["outcome"].Str(), r["result"].Str()};
        SCOPED_TRACE(name + " " + result.Op);
        const PeerQuirk& quirk = quirks.at(name);
        EXPECT_TRUE(r["problems"].Arr().empty()) << r.Dump();
        const bool refused =
            quirk.Refusal == "refused" || (quirk.Refusal == "refused-2.3" && To23(result.Op));
        EXPECT_EQ(result.Outcome, refused ? "refused" : "preserved") << r.Dump();
        if (result.Outcome != "preserved") continue;
        if (const auto check = checks.find(quirk.Name); check != checks.end()) {
            try {
                check->second(result);
            } catch (const std::exception& e) {
                ADD_FAILURE() << "the check raised: " << e.what();
            }
        }
    }
    EXPECT_EQ(results, static_cast<int>(files.size()) * 7);
}

// A refusal names the frame and its offset, and leaves the file as it was: the facade's
// message (the one covrilo-cli prints after the path).
TEST(PeerQuirksInterop, RefusalsSayWhyAndLeaveTheFileAlone) {
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg);
    TempDir dir;
    MakeMp3(dir / "audio.mp3", 1.0);
    MakeJpeg(dir / "cover.jpg", 200, 200);
    const std::vector<fs::path> files = WritePeerQuirks(dir.Path(), MpegAudioBytes(dir / "audio.mp3"));
    const std::map<std::string, std::vector<std::string>> expected = {
        {"walk-stops-before-picture-2.3",
         {"frame \"TALB\" at offset 27 claims 5000 bytes", "left unchanged"}},
        {"unknown-2.2-identifier", {"frame \"ABC\" at offset ", "has no ID3v2.3 form", "left unchanged"}},
        {"length-indicator-too-big-2.4", {"frame \"TENC\" at offset 10", "cannot be converted to ID3v2.3"}},
    };
    for (const fs::path& file : files) {
        const std::string name = file.stem().string();
        const auto found = expected.find(name);
        if (found == expected.end()) continue;
        SCOPED_TRACE(name);
        const Bytes before = ReadFileBytes(file);
        Tqmx_multitag facade;
        facade.SetMpegReadTags(tsID3v1ID3v2);
        facade.SetMpegWriteTags(tsID3v1ID3v2);
        facade.ID3v2Format = 0;
        ASSERT_TRUE(facade.Open(file));
        facade.AddPicture({dir / "cover.jpg", "FrontCover", ""});
        EXPECT_FALSE(facade.Save());
        for (const std::string& part : found->second)
            EXPECT_NE(facade.LastError().find(part), std::string::npos) << facade.LastError();
        EXPECT_EQ(ReadFileBytes(file), before);
        if (name != "length-indicator-too-big-2.4") {
            EXPECT_FALSE(facade.RemoveAllPictures());
            EXPECT_FALSE(facade.LastError().empty());
            EXPECT_EQ(ReadFileBytes(file), before);
        }
    }
}

}  // namespace
}  // namespace covrilo::test
