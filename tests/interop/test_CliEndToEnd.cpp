// SPDX-License-Identifier: MIT
// covrilo-cli end to end: the built program tags real-encoder MP3 files that mutagen tagged
// (or that we gave an ID3v1 record and a Lyrics3 block), and mutagen, TagLib and ffmpeg read
// the result.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "CliTestUtil.h"
#include "InteropUtil.h"

namespace covrilo::test {
namespace {
namespace fs = std::filesystem;

// ---- the tagged sources ---------------------------------------------------------------------

enum class Source { V22, V23, V24, V1Only, V1Lyrics3, NoTag };

const char* SourceFile(Source Source) {
    switch (Source) {
        case Source::V22:
            return "v22.mp3";
        case Source::V23:
            return "v23.mp3";
        case Source::V24:
            return "v24.mp3";
        case Source::V1Only:
            return "v1.mp3";
        case Source::V1Lyrics3:
            return "lyrics3.mp3";
        case Source::NoTag:
            return "notag.mp3";
    }
    return "";
}

bool HasV2Tag(Source Source) {
    return Source == Source::V22 || Source == Source::V23 || Source == Source::V24;
}

// What the facade reads from a source, and what the ID3v1 record then holds after a write
// (Windows-1252, 30 characters; characters it lacks become '?').
struct Expected {
    std::string Artist, Title, Album, Year, Comment, Genre;
    int Track = 0;
    std::string V1Artist, V1Title, V1Album, V1Comment;
    int V1Genre = 255;
};

// The ID3v2 values win over the ID3v1 record that the 2.3 source also has.
const Expected kFromV2{"\xc3\x84rtist \xc3\x96ne",
                       "T\xc3\xaftle \xce\xa9",
                       "Alb\xc3\xbcm",
                       "2001",
                       "C\xc3\xb6mment",
                       "Rock",
                       7,
                       "\xc3\x84rtist \xc3\x96ne",
                       "T\xc3\xaftle ?",
                       "Alb\xc3\xbcm",
                       "C\xc3\xb6mment",
                       17};
const Expected kFromV1{"\xc3\x84rtist v1",
                       "T\xc3\xaftle v1",
                       "Alb\xc3\xbcm v1",
                       "1999",
                       "v1 c\xc3\xb6mment",
                       "Rock",
                       3,
                       "\xc3\x84rtist v1",
                       "T\xc3\xaftle v1",
                       "Alb\xc3\xbcm v1",
                       "v1 c\xc3\xb6mment",
                       17};
// The Lyrics3 block's extended title is longer than the record's 30 characters.
const std::string kLongTitle = "Title from the extended Lyrics3 field";
const std::string kLyrics = "Some lyrics\r\nline two";
const Expected kFromLyrics3{"\xc3\x84rtist v1",
                            kLongTitle,
                            "Alb\xc3\xbcm v1",
                            "1999",
                            "v1 c\xc3\xb6mment",
                            "Rock",
                            3,
                            "\xc3\x84rtist v1",
                            kLongTitle.substr(0, 30),
                            "Alb\xc3\xbcm v1",
                            "v1 c\xc3\xb6mment",
                            17};
const Expected kFromNothing{};

const Expected& ExpectedFor(Source Source) {
    switch (Source) {
        case Source::V22:
        case Source::V23:
        case Source::V24:
            return kFromV2;
        case Source::V1Only:
            return kFromV1;
        case Source::V1Lyrics3:
            return kFromLyrics3;
        case Source::NoTag:
            return kFromNothing;
    }
    return kFromNothing;
}

// Whether ISO-8859-1 holds the UTF-8 text: no character above U+00FF.
bool FitsLatin1(const std::string& Utf8) {
    for (const char c : Utf8)
        if (static_cast<unsigned char>(c) >= 0xC4) return false;  // lead byte of U+0100 and above
    return true;
}

std::string V1Spec(bool FromV2Source) {
    if (FromV2Source)
        return R"({"title": "v1 title", "artist": "v1 artist", "album": "v1 album", "year": "1999",
                   "comment": "v1 comment", "track": 3, "genre": 0})";
    return R"({"title": "T\u00eftle v1", "artist": "\u00c4rtist v1", "album": "Alb\u00fcm v1", "year": "1999",
               "comment": "v1 c\u00f6mment", "track": 3, "genre": 17})";
}

// A full tag of the given version: the values the facade rewrites, and frames it must keep.
std::string V2Spec(int Version, const fs::path& OldFront, const fs::path& Back, bool WithV1) {
    const std::string yearId = Version == 4 ? "TDRC" : "TYER";
    std::string tags = R"({"id3v2": {"version": )" + std::to_string(Version) + R"(, "frames": [
        {"id": "TPE1", "text": "\u00c4rtist \u00d6ne"}, {"id": "TIT2", "text": "T\u00eftle \u03a9"},
        {"id": "TALB", "text": "Alb\u00fcm"}, {"id": "TRCK", "text": "7/12"}, {"id": "TCON", "text": )" +
                       std::string(Version == 4 ? R"(["Rock", "Pop"])" : R"("Rock")") + R"(},
        {"id": "COMM", "lang": "eng", "desc": "", "text": "C\u00f6mment"},
        {"id": "COMM", "lang": "eng", "desc": "iTunNORM", "text": " 0000044E 00000460"},
        {"id": ")" + yearId +
                       R"(", "text": "2001"},
        {"id": "TPE2", "text": "B\u00e4nd Extra"},
        {"id": "TXXX", "desc": "REPLAYGAIN_TRACK_GAIN", "text": ["-6.50 dB"]},
        {"id": "APIC", "type": 3, "mime": "image/jpeg", "desc": "old front", "file": ")" +
                       OldFront.string() + R"("},
        {"id": "APIC", "type": 4, "mime": "image/png", "desc": "back", "file": ")" +
                       Back.string() + R"("})";
    if (Version != 2) tags += R"(, {"id": "PRIV", "owner": "covrilo.test", "data_hex": "00ff10"})";
    if (Version == 4) tags += R"(, {"id": "TXXX", "desc": "CATALOG", "text": ["A1", "B2"]})";
    tags += "]}, \"id3v1\": ";
    tags += WithV1 ? V1Spec(true) : std::string("null");
    return tags + "}";
}

std::string Digits(size_t Value, size_t Width) {
    std::string text = std::to_string(Value);
    return std::string(Width > text.size() ? Width - text.size() : 0, '0') + text;
}

// A Lyrics3 v2 block (lyrics and an extended title), put in front of the file's ID3v1 record.
void InsertLyrics3(const fs::path& File) {
    Bytes data = ReadFileBytes(File);
    if (data.size() < 128) throw std::runtime_error("no ID3v1 record in " + File.string());
    std::string block = "LYRICSBEGIN";
    block += "IND0000210";
    block += "ETT" + Digits(kLongTitle.size(), 5) + kLongTitle;
    block += "LYR" + Digits(kLyrics.size(), 5) + kLyrics;
    block += Digits(block.size(), 6) + "LYRICS200";
    data.insert(data.end() - 128, block.begin(), block.end());
    WriteFileBytes(File, data);
}

bool Contains(const Bytes& Data, const std::string& Text) {
    return std::search(Data.begin(), Data.end(), Text.begin(), Text.end()) != Data.end();
}

// Width and height from a JPEG's start-of-frame segment, {0, 0} when there is none.
std::pair<int, int> JpegSize(const Bytes& Jpeg) {
    size_t pos = 2;
    while (4 <= Jpeg.size() - std::min(pos, Jpeg.size())) {
        if (Jpeg[pos] != 0xFF) return {0, 0};
        const uint8_t marker = Jpeg[pos + 1];
        const size_t len = (size_t(Jpeg[pos + 2]) << 8) | Jpeg[pos + 3];
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (9 > Jpeg.size() - pos) return {0, 0};
            return {(Jpeg[pos + 7] << 8) | Jpeg[pos + 8], (Jpeg[pos + 5] << 8) | Jpeg[pos + 6]};
        }
        if (len + 2 > Jpeg.size() - pos) return {0, 0};
        pos += len + 2;
    }
    return {0, 0};
}

// The sizes of the attached pictures as ffprobe decodes them ("500,375"), in file order.
std::vector<std::string> FfprobePictureSizes(const fs::path& File) {
    const ToolRun run =
        RunSeparately("ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0 " +
                      ShellQuote(File.string()));
    std::vector<std::string> sizes;
    size_t pos = 0;
    while (pos < run.Out.size()) {
        size_t end = run.Out.find('\n', pos);
        if (end == std::string::npos) end = run.Out.size();
        std::string line = run.Out.substr(pos, end - pos);
        while (!line.empty() && (line.back() == '\r' || line.back() == ',')) line.pop_back();
        if (!line.empty()) sizes.push_back(line);
        pos = end + 1;
    }
    return sizes;
}

bool HasPictureOfSize(const fs::path& File, const std::string& Size) {
    const std::vector<std::string> sizes = FfprobePictureSizes(File);
    return std::find(sizes.begin(), sizes.end(), Size) != sizes.end();
}

// ffmpeg takes a Lyrics3 block for broken audio (it does so with the untouched source too),
// so a file that has one is decoded from a copy holding the tags and audio without it.
fs::path DecodableCopy(const fs::path& File, const TempDir& Dir) {
    const Bytes data = ReadFileBytes(File);
    const std::string begin = "LYRICSBEGIN";
    const auto lyrics = std::search(data.begin(), data.end(), begin.begin(), begin.end());
    if (lyrics == data.end()) return File;
    const fs::path copy = Dir / "without-lyrics3.mp3";
    Bytes stripped(data.begin(), lyrics);
    stripped.insert(stripped.end(), data.end() - 128, data.end());
    WriteFileBytes(copy, stripped);
    return copy;
}

struct Picture {
    int Type;
    std::string Mime;
    std::string Sha256;
    bool operator<(const Picture& O) const {
        return std::tie(Type, Mime, Sha256) < std::tie(O.Type, O.Mime, O.Sha256);
    }
    bool operator==(const Picture& O) const {
        return std::tie(Type, Mime, Sha256) == std::tie(O.Type, O.Mime, O.Sha256);
    }
};
std::ostream& operator<<(std::ostream& Out, const Picture& P) {
    return Out << P.Type << " " << P.Mime << " " << P.Sha256;
}

std::vector<Picture> PicturesOf(const JsonValue& Dump) {
    std::vector<Picture> pictures;
    for (const JsonValue& apic : FramesWithId(Dump, "APIC"))
        pictures.push_back({static_cast<int>(apic["type"].Int()), apic["mime"].Str(), apic["sha256"].Str()});
    std::sort(pictures.begin(), pictures.end());
    return pictures;
}

// One text frame with the value in the encoding; an empty value may be stored as an empty
// frame or left out, but never with a value.
// Of the comment frames, only the one without a description is the track's comment.
void ExpectTextFrame(const JsonValue& Dump, const std::string& Id, const std::string& Value, int Encoding,
                     const std::vector<std::string>& MoreValues = {}) {
    std::vector<JsonValue> frames = FramesWithId(Dump, Id);
    if (Id == "COMM")
        std::erase_if(frames, [](const JsonValue& Frame) { return !Frame["description"].Str().empty(); });
    if (Value.empty()) {
        for (const JsonValue& frame : frames) {
            const std::string text = Id == "COMM"                      ? frame["text"].Str()
                                     : frame["text"].Strings().empty() ? ""
                                                                       : frame["text"].Strings()[0];
            EXPECT_EQ(text, "") << Id << " " << frame.Dump();
        }
        return;
    }
    ASSERT_EQ(frames.size(), 1u) << Id << " in " << Dump.Dump();
    if (Id == "COMM") {
        EXPECT_EQ(frames[0]["text"].Str(), Value);
    } else {
        std::vector<std::string> values = {Value};
        values.insert(values.end(), MoreValues.begin(), MoreValues.end());
        EXPECT_EQ(frames[0]["text"].Strings(), values) << Id;
    }
    EXPECT_EQ(frames[0]["encoding"].Int(), Encoding) << Id;
}

const JsonValue* FindTxxx(const std::vector<JsonValue>& Frames, const std::string& Description) {
    for (const JsonValue& frame : Frames)
        if (frame["description"].Str() == Description) return &frame;
    return nullptr;
}

// The frames our write must keep from the V2 sources.
void ExpectKeptFrames(const JsonValue& Dump, Source Source) {
    const std::vector<JsonValue> tpe2 = FramesWithId(Dump, "TPE2");
    ASSERT_EQ(tpe2.size(), 1u) << Dump.Dump();
    EXPECT_EQ(tpe2[0]["text"].Strings(), std::vector<std::string>{"B\xc3\xa4nd Extra"});
    const std::vector<JsonValue> txxx = FramesWithId(Dump, "TXXX");
    const JsonValue* gain = FindTxxx(txxx, "REPLAYGAIN_TRACK_GAIN");
    ASSERT_NE(gain, nullptr) << Dump.Dump();
    EXPECT_EQ((*gain)["text"].Strings(), std::vector<std::string>{"-6.50 dB"});
    if (Source == Source::V24) {
        const JsonValue* catalog = FindTxxx(txxx, "CATALOG");
        ASSERT_NE(catalog, nullptr) << Dump.Dump();
        EXPECT_EQ((*catalog)["text"].Strings(), (std::vector<std::string>{"A1", "B2"}));
    }
    bool normKept = false;
    for (const JsonValue& comm : FramesWithId(Dump, "COMM"))
        normKept = normKept ||
                   (comm["description"].Str() == "iTunNORM" && comm["text"].Str() == " 0000044E 00000460");
    EXPECT_TRUE(normKept) << Dump.Dump();
    if (Source != Source::V22) {
        const std::vector<JsonValue> priv = FramesWithId(Dump, "PRIV");
        ASSERT_EQ(priv.size(), 1u) << Dump.Dump();
        EXPECT_EQ(priv[0]["owner"].Str(), "covrilo.test");
        EXPECT_EQ(priv[0]["data"].Str(), "00ff10");
    }
}

void ExpectId3v1(const JsonValue& Dump, const Expected& E) {
    const JsonValue& v1 = Dump["id3v1"];
    ASSERT_FALSE(v1.IsNull()) << Dump.Dump();
    EXPECT_EQ(v1["title"].Str(), E.V1Title);
    EXPECT_EQ(v1["artist"].Str(), E.V1Artist);
    EXPECT_EQ(v1["album"].Str(), E.V1Album);
    EXPECT_EQ(v1["comment"].Str(), E.V1Comment);
    EXPECT_EQ(v1["year"].Str(), E.Year);
    EXPECT_EQ(v1["track"].Int(), E.Track);
    if (!E.Genre.empty()) {
        EXPECT_EQ(v1["genre"].Int(), E.V1Genre);
    }
}

constexpr const char* kFormatNames[] = {"2.3-latin1", "2.3-utf16", "2.4-utf8"};

// ---- the shared fixture ---------------------------------------------------------------------

// Makes every shared fixture in folder.
void MakeFixtures(const fs::path& Folder) {
    auto at = [&](const std::string& Name) { return Folder / Name; };
    MakeMp3(at("notag.mp3"), 1.0);
    MakeJpeg(at("cover.jpg"), 300, 300);
    MakeJpeg(at("big.jpg"), 1600, 1200);
    MakeJpeg(at("oldfront.jpg"), 64, 48);
    MakePng(at("back.png"), 32, 32);
    const std::pair<Source, int> versions[] = {{Source::V22, 2}, {Source::V23, 3}, {Source::V24, 4}};
    for (const auto& [source, version] : versions) {
        fs::copy_file(at("notag.mp3"), at(SourceFile(source)));
        MutagenTag(at(SourceFile(source)),
                   V2Spec(version, at("oldfront.jpg"), at("back.png"), source == Source::V23));
    }
    fs::copy_file(at("notag.mp3"), at("v1.mp3"));
    MutagenTag(at("v1.mp3"), "{\"id3v1\": " + V1Spec(false) + "}");
    fs::copy_file(at("v1.mp3"), at("lyrics3.mp3"));
    InsertLyrics3(at("lyrics3.mp3"));
}

// Names the recipe of the fixtures, so a changed recipe never reuses old files.
std::string FixtureKey() {
    std::string recipe = "1|" + kLongTitle + "|" + kLyrics + "|" + V1Spec(false) + V1Spec(true);
    for (int version : {2, 3, 4}) recipe += V2Spec(version, "F", "B", version == 3);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016zx", std::hash<std::string>{}(recipe));
    return hex;
}

class CliEndToEnd : public ::testing::Test {
   protected:
    // ctest runs every case in a process of its own, so the fixtures are kept next to the test
    // program (in the build tree) and made only by the first process.
    static void SetUpTestSuite() {
        if (!fixtures_.empty() || std::string(kCovriloCli).empty() ||
            !MissingTools({Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib}).empty())
            return;
        try {
            std::error_code ec;
            const fs::path cached =
                fs::read_symlink("/proc/self/exe", ec).parent_path() / ("cli-e2e-fixtures-" + FixtureKey());
            if (!ec && fs::exists(cached / "complete")) {
                fixtures_ = cached;
                return;
            }
            private_ = std::make_unique<TempDir>();
            MakeFixtures(private_->Path());
            WriteFileBytes(private_->Path() / "complete", {});
            fixtures_ = private_->Path();
            if (ec) return;
            // Publish a copy by renaming a finished folder; a process that loses the race
            // keeps its own.
            const fs::path staging = cached.string() + ".tmp-" + std::to_string(::getpid());
            fs::copy(private_->Path(), staging, fs::copy_options::recursive, ec);
            if (!ec) fs::rename(staging, cached, ec);
            if (ec) fs::remove_all(staging, ec);
        } catch (const std::exception& e) {
            setupError_ = e.what();
        }
    }

    void SetUp() override {
        if (std::string(kCovriloCli).empty())
            GTEST_SKIP() << "covrilo-cli is not built (COVRILO_BUILD_APP=OFF)";
        INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib);
        ASSERT_TRUE(setupError_.empty()) << "making the fixtures failed: " << setupError_;
    }

    static fs::path Fixture(const std::string& Name) { return fixtures_ / Name; }
    static fs::path CopyFixture(const std::string& Name, const fs::path& Target) {
        fs::copy_file(Fixture(Name), Target);
        return Target;
    }
    // --settings in the case's own folder, so temp.jpg and settings.xml stay out of the build tree.
    static std::vector<std::string> SettingsArgs(const TempDir& Dir) {
        return {"--settings", (Dir / "settings.xml").string()};
    }

    static inline fs::path fixtures_;
    static inline std::unique_ptr<TempDir> private_;
    static inline std::string setupError_;
};

// ---- add: the table of sources, formats and kinds ----------------------------------------------

enum class Cover { Small, Big500x500, Big800x300 };

struct AddCase {
    Source Input;
    int Format;
    const char* Kind;  // as given on the command line
    int Type;          // the picture type it stands for
    Cover Picture;
};

std::ostream& operator<<(std::ostream& Out, const AddCase& C) {
    return Out << SourceFile(C.Input) << " --id3 " << kFormatNames[C.Format] << " --kind " << C.Kind;
}

class CliAddCase : public CliEndToEnd, public ::testing::WithParamInterface<AddCase> {};

TEST_P(CliAddCase, PeersReadThePictureTheTextsAndEveryKeptFrame) {
    const AddCase& c = GetParam();
    TempDir dir;
    const fs::path file = CopyFixture(SourceFile(c.Input), dir / "song.mp3");
    const Bytes audioBefore = MpegAudioBytes(file);

    std::vector<std::string> args = {"add",
                                     "--cover",
                                     Fixture(c.Picture == Cover::Small ? "cover.jpg" : "big.jpg"),
                                     "--kind",
                                     c.Kind,
                                     "--id3",
                                     kFormatNames[c.Format]};
    const std::vector<std::string> settings = SettingsArgs(dir);
    args.insert(args.end(), settings.begin(), settings.end());
    if (c.Picture == Cover::Big500x500)
        args.insert(args.end(), {"--max-width", "500", "--max-height", "500"});
    if (c.Picture == Cover::Big800x300) args.insert(args.end(), {"--max-width=800", "--max-height=300"});
    args.push_back(file.string());
    const CliRun run = RunCli(args);
    ASSERT_EQ(run.ExitCode, 0) << run.Describe();
    ASSERT_EQ(run.Lines.size(), 1u) << run.Describe();
    EXPECT_EQ(run.Lines[0], std::make_pair(std::string("OK"), file.string()));

    // The picture: the cover byte for byte within the limits, else the scaled copy.
    std::string coverSha = Sha256OfFile(Fixture("cover.jpg"));
    if (c.Picture != Cover::Small) {
        const fs::path scaled = dir / "temp.jpg";
        ASSERT_TRUE(fs::exists(scaled));
        const std::pair<int, int> size =
            c.Picture == Cover::Big500x500 ? std::make_pair(500, 375) : std::make_pair(400, 300);
        EXPECT_EQ(JpegSize(ReadFileBytes(scaled)), size);
        EXPECT_TRUE(HasPictureOfSize(file, std::to_string(size.first) + "," + std::to_string(size.second)))
            << ::testing::PrintToString(FfprobePictureSizes(file));
        coverSha = Sha256OfFile(scaled);
        EXPECT_NE(coverSha, Sha256OfFile(Fixture("big.jpg")));
    }
    EXPECT_TRUE(FfmpegDecodesAttachedPicture(file));

    std::vector<Picture> pictures = {{c.Type, "image/jpeg", coverSha}};
    if (HasV2Tag(c.Input)) {
        const Picture kept[] = {{3, "image/jpeg", Sha256OfFile(Fixture("oldfront.jpg"))},
                                {4, "image/png", Sha256OfFile(Fixture("back.png"))}};
        for (const Picture& p : kept)
            if (p.Type != c.Type) pictures.push_back(p);
    }
    std::sort(pictures.begin(), pictures.end());

    const Expected& e = ExpectedFor(c.Input);
    // The ISO-8859-1 format writes a text it cannot hold in UTF-16, never as question marks.
    auto encoding = [&](const std::string& Value) {
        if (c.Format == 0) return FitsLatin1(Value) ? 0 : 1;
        return c.Format == 1 ? 1 : 3;
    };
    for (const JsonValue& dump : {MutagenDump(file), TaglibDump(file)}) {
        SCOPED_TRACE(dump["tool"].Str());
        const bool mutagen = dump["tool"].Str() == "mutagen";
        ASSERT_FALSE(dump["id3v2"].IsNull()) << dump.Dump();
        EXPECT_EQ(dump["id3v2"]["version"].Str(), c.Format == 2 ? "2.4.0" : "2.3.0");
        EXPECT_EQ(PicturesOf(dump), pictures);
        for (const JsonValue& apic : FramesWithId(dump, "APIC"))
            if (apic["type"].Int() == c.Type) {
                EXPECT_EQ(apic["description"].Str(), "");
            }

        for (const auto& [id, value] : {std::pair{"TPE1", e.Artist}, std::pair{"TIT2", e.Title},
                                        std::pair{"TALB", e.Album}, std::pair{"COMM", e.Comment}})
            ExpectTextFrame(dump, id, value, encoding(value));
        // What the record cannot hold stays: the genres after the first, the track total.
        const bool multiGenre = c.Input == Source::V24;
        ExpectTextFrame(dump, "TCON", e.Genre, encoding(e.Genre),
                        multiGenre ? std::vector<std::string>{"Pop"} : std::vector<std::string>{});
        ExpectTextFrame(dump, "TRCK", std::to_string(e.Track) + (HasV2Tag(c.Input) ? "/12" : ""), 0);
        // TagLib shows every year as TDRC; mutagen shows what is stored.
        const bool v24 = c.Format == 2;
        ExpectTextFrame(dump, !mutagen || v24 ? "TDRC" : "TYER", e.Year, 0);
        if (mutagen) {
            EXPECT_TRUE(FramesWithId(dump, v24 ? "TYER" : "TDRC").empty()) << dump.Dump();
        }

        if (HasV2Tag(c.Input)) ExpectKeptFrames(dump, c.Input);
        ExpectId3v1(dump, e);
    }
    EXPECT_TRUE(FfmpegDecodesCleanly(DecodableCopy(file, dir)));
    EXPECT_EQ(MpegAudioBytes(file), audioBefore);
    if (c.Input == Source::V1Lyrics3) {
        const Bytes after = ReadFileBytes(file);
        EXPECT_TRUE(Contains(after, "LYR" + Digits(kLyrics.size(), 5) + kLyrics)) << "lyrics lost";
        EXPECT_TRUE(Contains(after, "ETT" + Digits(kLongTitle.size(), 5) + kLongTitle));
        const std::string trailer(after.end() - 128 - 9, after.end() - 128);
        EXPECT_EQ(trailer, "LYRICS200");
    }
}

INSTANTIATE_TEST_SUITE_P(SourcesFormatsKinds, CliAddCase,
                         ::testing::Values(AddCase{Source::V22, 0, "FrontCover", 3, Cover::Small},
                                           AddCase{Source::V22, 1, "backcover", 4, Cover::Small},
                                           AddCase{Source::V22, 2, "0", 0, Cover::Big500x500},
                                           AddCase{Source::V23, 0, "BackCover", 4, Cover::Small},
                                           AddCase{Source::V23, 1, "FRONTCOVER", 3, Cover::Big800x300},
                                           AddCase{Source::V23, 2, "18", 20, Cover::Small},
                                           AddCase{Source::V24, 0, "1", 3, Cover::Small},
                                           AddCase{Source::V24, 1, "ColouredFish", 17, Cover::Small},
                                           AddCase{Source::V24, 2, "BackCover", 4, Cover::Small},
                                           AddCase{Source::V1Only, 0, "Media", 6, Cover::Small},
                                           AddCase{Source::V1Only, 1, "FrontCover", 3, Cover::Small},
                                           AddCase{Source::V1Only, 2, "Illustration", 18, Cover::Big500x500},
                                           AddCase{Source::V1Lyrics3, 0, "FrontCover", 3, Cover::Small},
                                           AddCase{Source::V1Lyrics3, 1, "LeadArtist", 7, Cover::Small},
                                           AddCase{Source::V1Lyrics3, 2, "PublisherStudio", 20, Cover::Small},
                                           AddCase{Source::NoTag, 0, "Other", 0, Cover::Small},
                                           AddCase{Source::NoTag, 1, "FrontCover", 3, Cover::Small},
                                           AddCase{Source::NoTag, 2, "bandlogo", 19, Cover::Small}));

// ---- remove ----------------------------------------------------------------------------------

// A frame without its encoding: a frame that our write leaves alone may still be stored in
// another encoding when the tag changes version.
std::string Essence(const JsonValue& Frame) {
    auto str = [&](const char* Key) { return Frame[Key].IsString() ? Frame[Key].Str() : std::string(); };
    std::string text;
    for (const char* key : {"id", "description", "owner", "data", "url", "lang", "text"})
        text += str(key) + "|";
    if (Frame["text"].IsArray())
        for (const std::string& value : Frame["text"].Strings()) text += value + "/";
    return text;
}

std::vector<std::string> NonPictureFrames(const JsonValue& Dump, bool Exact) {
    std::vector<std::string> frames;
    if (Dump["id3v2"].IsNull()) return frames;
    for (const JsonValue& frame : Dump["id3v2"]["frames"].Arr())
        if (frame["id"].Str() != "APIC") frames.push_back(Exact ? frame.Dump() : Essence(frame));
    std::sort(frames.begin(), frames.end());
    return frames;
}

class CliRemoveCase : public CliEndToEnd, public ::testing::WithParamInterface<Source> {};

TEST_P(CliRemoveCase, EveryPictureGoesAndEverythingElseStays) {
    const Source source = GetParam();
    TempDir dir;
    const fs::path file = CopyFixture(SourceFile(source), dir / "song.mp3");
    const Bytes before = ReadFileBytes(file);
    const JsonValue mutagenBefore = MutagenDump(file), taglibBefore = TaglibDump(file);

    std::vector<std::string> args = {"remove", file.string()};
    const std::vector<std::string> settings = SettingsArgs(dir);
    args.insert(args.begin() + 1, settings.begin(), settings.end());
    const CliRun run = RunCli(args);
    ASSERT_EQ(run.ExitCode, 0) << run.Describe();
    ASSERT_EQ(run.Lines.size(), 1u) << run.Describe();
    EXPECT_EQ(run.Lines[0], std::make_pair(std::string("Deleted"), file.string()));

    const Bytes after = ReadFileBytes(file);
    const JsonValue mutagenAfter = MutagenDump(file), taglibAfter = TaglibDump(file);
    EXPECT_TRUE(FramesWithId(mutagenAfter, "APIC").empty()) << mutagenAfter.Dump();
    EXPECT_TRUE(FramesWithId(taglibAfter, "APIC").empty()) << taglibAfter.Dump();
    // TagLib names 2.2 frames with the 2.4 ids, so its view compares across versions.
    EXPECT_EQ(NonPictureFrames(taglibAfter, false), NonPictureFrames(taglibBefore, false));
    if (source == Source::V23 || source == Source::V24) {
        EXPECT_EQ(mutagenAfter["id3v2"]["version"].Str(), mutagenBefore["id3v2"]["version"].Str());
        EXPECT_EQ(NonPictureFrames(mutagenAfter, true), NonPictureFrames(mutagenBefore, true));
    }
    EXPECT_EQ(mutagenAfter["id3v1"].Dump(), mutagenBefore["id3v1"].Dump());
    EXPECT_TRUE(std::equal(after.end() - 128, after.end(), before.end() - 128)) << "ID3v1 record changed";
    EXPECT_EQ(MpegAudioBytes(file), MpegAudioBytes(Fixture(SourceFile(source))));
    EXPECT_TRUE(FfmpegDecodesCleanly(DecodableCopy(file, dir)));
    if (source == Source::V1Lyrics3) {
        EXPECT_TRUE(Contains(after, "LYR" + Digits(kLyrics.size(), 5) + kLyrics));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, CliRemoveCase,
                         ::testing::Values(Source::V22, Source::V23, Source::V24, Source::V1Lyrics3,
                                           Source::NoTag));

// ---- twice, unsupported files, files that cannot be written --------------------------------

TEST_F(CliEndToEnd, AddingTwiceLeavesOnePictureOfThatKind) {
    struct Case {
        const char* Name;
        bool TwoRuns;  // two runs, or the file listed twice in one run
    };
    for (const Case c : {Case{"two runs", true}, Case{"listed twice", false}}) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const fs::path file = CopyFixture("v23.mp3", dir / "song.mp3");
        std::vector<std::string> args = {"add", "--cover", Fixture("cover.jpg"), "--kind", "FrontCover"};
        const std::vector<std::string> settings = SettingsArgs(dir);
        args.insert(args.end(), settings.begin(), settings.end());
        args.push_back(file.string());
        if (!c.TwoRuns) args.push_back(file.string());
        for (int i = 0; i < (c.TwoRuns ? 2 : 1); ++i) {
            const CliRun run = RunCli(args);
            ASSERT_EQ(run.ExitCode, 0) << run.Describe();
            EXPECT_EQ(run.Lines.size(), c.TwoRuns ? 1u : 2u) << run.Describe();
        }
        const std::vector<Picture> expected = {{3, "image/jpeg", Sha256OfFile(Fixture("cover.jpg"))},
                                               {4, "image/png", Sha256OfFile(Fixture("back.png"))}};
        for (const JsonValue& dump : {MutagenDump(file), TaglibDump(file)}) {
            SCOPED_TRACE(dump["tool"].Str());
            EXPECT_EQ(PicturesOf(dump), expected);
            EXPECT_EQ(FramesWithId(dump, "TIT2").size(), 1u);
        }
        EXPECT_EQ(MpegAudioBytes(file), MpegAudioBytes(Fixture("v23.mp3")));
    }
}

TEST_F(CliEndToEnd, FilesOfOtherFormatsGetErrorAndStayByteIdentical) {
    INTEROP_REQUIRE(Tool::Flac, Tool::Oggenc);
    TempDir dir;
    MakeWav(dir / "tone.wav");
    MakeFlac(dir / "tone.flac");
    MakeOggVorbis(dir / "tone.ogg");
    const fs::path mp3 = CopyFixture("v24.mp3", dir / "song.mp3");
    const std::vector<fs::path> others = {dir / "tone.wav", dir / "tone.flac", dir / "tone.ogg"};
    std::map<fs::path, Bytes> before;
    for (const fs::path& file : others) before[file] = ReadFileBytes(file);

    std::vector<std::string> args = {"add", "--cover", Fixture("cover.jpg")};
    const std::vector<std::string> settings = SettingsArgs(dir);
    args.insert(args.end(), settings.begin(), settings.end());
    for (const fs::path& file : others) args.push_back(file.string());
    args.push_back(mp3.string());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.ExitCode, 1) << run.Describe();
    ASSERT_EQ(run.Lines.size(), 4u) << run.Describe();
    for (const fs::path& file : others) {
        EXPECT_EQ(run.StatusOf(file.string()), "Error") << run.Describe();
        EXPECT_EQ(ReadFileBytes(file), before[file]) << file << " changed";
    }
    EXPECT_EQ(run.Lines.back(), std::make_pair(std::string("OK"), mp3.string()));
    EXPECT_EQ(FramesWithId(MutagenDump(mp3), "APIC").size(), 2u);

    // Removing pictures never writes an ID3v2 tag into them either.
    const CliRun remove = RunCli({"remove", "--settings", (dir / "settings.xml").string(), others[0].string(),
                                  others[1].string(), others[2].string()});
    EXPECT_NE(remove.ExitCode, 2) << remove.Describe();
    for (const fs::path& file : others)
        EXPECT_EQ(ReadFileBytes(file), before[file]) << file << " changed by remove";
    EXPECT_TRUE(FfmpegDecodesCleanly(dir / "tone.flac"));
    EXPECT_TRUE(FfmpegDecodesCleanly(dir / "tone.ogg"));
}

// The run reports the file it could not write as Error with the reason, and goes on.
void ExpectRefused(const CliRun& Run, const fs::path& File, const std::string& Reason) {
    EXPECT_EQ(Run.StatusOf(File.string()), "Error") << Run.Describe();
    EXPECT_NE(Run.Err.find("covrilo-cli: " + File.string() + ": " + Reason + "\n"), std::string::npos)
        << Run.Describe();
    EXPECT_EQ(Run.ExitCode, 1) << Run.Describe();
}

TEST_F(CliEndToEnd, ReadOnlyFileIsReportedAndUnchanged) {
    const bool root = ::geteuid() == 0;
    if (root && !HaveTool("setpriv"))
        GTEST_SKIP() << "running as root without setpriv: cannot drop to a user who is refused";
    // The program must be reachable by the unprivileged user; a build under a closed folder is not.
    if (root && ::access(kCovriloCli, X_OK) == 0 &&
        RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups " + ShellQuote(kCovriloCli) +
                   " --version")
                .ExitCode != 0)
        GTEST_SKIP() << "user 65534 cannot run " << kCovriloCli << " (a folder on its path is closed to it)";
    const std::string prefix = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";

    struct Case {
        const char* Name;
        bool FolderWritable;  // a rewrite could then rename a new file over the read-only one
        const char* Command;
    };
    for (const Case c : {Case{"closed folder", false, "add"}, Case{"open folder", true, "add"},
                         Case{"open folder, remove", true, "remove"}}) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        fs::permissions(dir.Path(), c.FolderWritable ? fs::perms::all
                                                     : (fs::perms::owner_all | fs::perms::group_read |
                                                        fs::perms::group_exec | fs::perms::others_read |
                                                        fs::perms::others_exec));
        const fs::path file = CopyFixture("v23.mp3", dir / "song.mp3");
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        // Settings and the scaled picture go where the user may write.
        TempDir settingsDir;
        fs::permissions(settingsDir.Path(), fs::perms::all);
        fs::copy_file(Fixture("cover.jpg"), settingsDir / "cover.jpg");
        fs::permissions(settingsDir / "cover.jpg", fs::perms::all);
        const Bytes before = ReadFileBytes(file);

        std::vector<std::string> args = {c.Command, "--settings", (settingsDir / "settings.xml").string()};
        if (std::string(c.Command) == "add")
            args.insert(args.end(), {"--cover", (settingsDir / "cover.jpg").string()});
        args.push_back(file.string());
        const CliRun run = RunCli(args, prefix);
        ExpectRefused(run, file, "permission denied");
        EXPECT_NE(run.StatusOf(file.string()), "Deleted") << "a refused removal is reported as done\n"
                                                          << run.Describe();
        EXPECT_EQ(ReadFileBytes(file), before) << "the read-only file changed";
        const auto perms = fs::status(file).permissions();
        EXPECT_EQ(perms & fs::perms::owner_write, fs::perms::none) << "the file's permissions were changed";
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path(), file) << "a temporary file was left behind";
    }
}

TEST_F(CliEndToEnd, LockedFileIsReportedAndUnchanged) {
    for (const char* command : {"add", "remove"}) {
        SCOPED_TRACE(command);
        TempDir dir;
        const fs::path locked = CopyFixture("v23.mp3", dir / "a-locked.mp3");
        const fs::path free = CopyFixture("v24.mp3", dir / "b-free.mp3");
        const Bytes before = ReadFileBytes(locked);
        // Another process's exclusive lock, held on our own descriptor.
        const int fd = ::open(locked.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        std::vector<std::string> args = {command, "--settings", (dir / "settings.xml").string()};
        if (std::string(command) == "add")
            args.insert(args.end(), {"--cover", Fixture("cover.jpg").string()});
        args.insert(args.end(), {locked.string(), free.string()});
        const CliRun run = RunCli(args);
        ::close(fd);
        ExpectRefused(run, locked, "locked by another program");
        EXPECT_EQ(ReadFileBytes(locked), before) << "the locked file changed";
        EXPECT_EQ(run.StatusOf(free.string()), std::string(command) == "add" ? "OK" : "Deleted")
            << run.Describe();
    }
}

TEST_F(CliEndToEnd, AnApeTagBeforeTheID3v1RecordSurvives) {
    TempDir dir;
    const fs::path file = CopyFixture("v23.mp3", dir / "song.mp3");
    MutagenTag(file, R"({"ape": {"items": [{"key": "Title", "text": "ape title"},
                                           {"key": "Replaygain_Track_Gain", "text": "-3 dB"}]}})");
    const JsonValue before = MutagenDump(file), taglibBefore = TaglibDump(file);
    ASSERT_FALSE(before["ape"].IsNull()) << before.Dump();
    ASSERT_FALSE(taglibBefore["ape"].IsNull()) << taglibBefore.Dump();
    const CliRun run = RunCli({"add", "--cover", Fixture("cover.jpg"), "--settings",
                               (dir / "settings.xml").string(), file.string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Describe();
    const JsonValue after = MutagenDump(file);
    EXPECT_EQ(after["ape"].Dump(), before["ape"].Dump());
    EXPECT_FALSE(after["id3v1"].IsNull());
    EXPECT_FALSE(after.Has("errors")) << after.Dump();
    EXPECT_EQ(TaglibDump(file)["ape"].Dump(), taglibBefore["ape"].Dump());
    EXPECT_EQ(MpegAudioBytes(file), MpegAudioBytes(Fixture("v23.mp3")));
    EXPECT_TRUE(FfmpegDecodesCleanly(file));
}

// ---- the rewrite of a file whose tag grows ---------------------------------------------------

TEST_F(CliEndToEnd, GrowingTagKeepsLinksPermissionsAndLeavesNoTemporaryFile) {
    for (const char* command : {"add", "remove"}) {
        SCOPED_TRACE(command);
        TempDir dir;
        fs::create_directory(dir / "music");
        const fs::path target = CopyFixture("v24.mp3", dir / "music" / "song.mp3");
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        const fs::path link = dir / "link.mp3";
        fs::create_symlink(target, link);
        std::vector<std::string> args = {command, "--settings", (dir / "settings.xml").string()};
        // The cover is far larger than the tag's padding, so the file is rewritten.
        if (std::string(command) == "add")
            args.insert(args.end(), {"--cover", Fixture("cover.jpg").string()});
        args.push_back(link.string());
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.ExitCode, 0) << run.Describe();

        EXPECT_TRUE(fs::is_symlink(link)) << "the link was replaced by a file";
        EXPECT_EQ(fs::read_symlink(link), target);
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        EXPECT_EQ(FramesWithId(MutagenDump(target), "APIC").size(), std::string(command) == "add" ? 2u : 0u);
        EXPECT_EQ(MpegAudioBytes(target), MpegAudioBytes(Fixture("v24.mp3")));
        for (const auto& entry : fs::directory_iterator(dir / "music"))
            EXPECT_EQ(entry.path(), target) << "a temporary file was left behind";
    }
}

// ---- damaged and odd MP3 files --------------------------------------------------------------

TEST_F(CliEndToEnd, DamagedFilesNeverCrashAndNeverLoseAudio) {
    const Bytes audio = ReadFileBytes(Fixture("notag.mp3"));
    auto withAudio = [&](Bytes Head) {
        Head.insert(Head.end(), audio.begin(), audio.end());
        return Head;
    };
    const Bytes frameTooLong =
        B("TIT2\x00\x00\x7f\x00\x00\x00\x00"
          "abcd",
          15);
    Bytes frameTag = B("ID3\x03\x00\x00\x00\x00\x00\x23", 10);
    frameTag.insert(frameTag.end(), frameTooLong.begin(), frameTooLong.end());
    frameTag.resize(10 + 0x23, 0);
    struct Case {
        const char* Name;
        Bytes Content;
        bool HasAudio;      // a real MPEG stream follows, whose bytes must survive
        bool MayBeWritten;  // a sound reading of the file lets the write go ahead
    };
    const Case cases[] = {
        {"tag larger than the file",
         withAudio(B("ID3\x03\x00\x00\x00\x0c\x1a\x40"
                     "TIT2\x00\x00\x00\x05\x00\x00\x00"
                     "abcd",
                     25)),
         true, false},
        // Writing it back would cut the frame: refused.
        {"frame larger than the tag", withAudio(frameTag), true, false},
        {"unsynchronised 2.3 tag",
         withAudio(B("ID3\x03\x00\x80\x00\x00\x00\x04"
                     "\xff\x00\xff\x00",
                     14)),
         true, false},
        {"track number that is no number", Bytes(), true, false},  // made by mutagen below
        {"empty file", Bytes(), false, true},
        // Bytes that hold no MPEG audio are no MP3 file, whatever the name says.
        {"text named .mp3", ToBytes("hello world\n"), false, false},
        {"header cut short", B("ID3\x03\x00", 5), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const fs::path file = dir / "damaged.mp3";
        WriteFileBytes(file, c.Content);
        if (std::string(c.Name).rfind("track number", 0) == 0) {
            fs::remove(file);
            CopyFixture("notag.mp3", file);
            MutagenTag(
                file,
                R"({"id3v2": {"version": 3, "frames": [{"id": "TIT2", "text": "x"}, {"id": "TRCK", "text": "A1"}]}})");
        }
        const Bytes before = ReadFileBytes(file);
        const CliRun run = RunCli({"add", "--cover", Fixture("cover.jpg"), "--settings",
                                   (dir / "settings.xml").string(), file.string()});
        EXPECT_TRUE(run.ExitCode >= 0 && run.ExitCode <= 2) << run.Describe();
        EXPECT_EQ(run.Err.find("Sanitizer"), std::string::npos) << run.Describe();
        EXPECT_EQ(run.Err.find("runtime error"), std::string::npos) << run.Describe();
        const std::string status = run.StatusOf(file.string());
        if (status != "OK") {
            EXPECT_TRUE(status == "Error" || run.ExitCode == 2) << run.Describe();
            EXPECT_EQ(ReadFileBytes(file), before) << "a refused file changed";
            EXPECT_FALSE(c.MayBeWritten) << run.Describe();
            continue;
        }
        EXPECT_TRUE(c.MayBeWritten) << "written although its tag cannot be read soundly\n" << run.Describe();
        EXPECT_EQ(PicturesOf(MutagenDump(file)),
                  (std::vector<Picture>{{3, "image/jpeg", Sha256OfFile(Fixture("cover.jpg"))}}));
        if (c.HasAudio) {
            EXPECT_EQ(MpegAudioBytes(file), MpegAudioBytes(Fixture("notag.mp3")));
            EXPECT_TRUE(FfmpegDecodesCleanly(file));
        }
    }
}

// ---- a damaged cover ends the run before any file ------------------------------------------

TEST_F(CliEndToEnd, DamagedCoverEndsTheRunBeforeAnyFileIsTouched) {
    const Bytes big = ReadFileBytes(Fixture("big.jpg"));
    const Bytes small = ReadFileBytes(Fixture("cover.jpg"));
    struct Case {
        const char* Name;
        Bytes Cover;
    };
    const Case cases[] = {
        {"header only", Bytes(big.begin(), big.begin() + 200)},
        {"large picture cut in half", Bytes(big.begin(), big.begin() + static_cast<long>(big.size() / 2))},
        {"small picture cut in half",
         Bytes(small.begin(), small.begin() + static_cast<long>(small.size() / 2))},
        {"not a picture", ToBytes("just some text, not a JPEG\n")},
        // libjpeg would skip the stray byte; the picture frame would not take the file.
        {"no marker after the start of image",
         [&] {
             Bytes b = {0xFF, 0xD8, 0x00};
             b.insert(b.end(), small.begin() + 2, small.end());
             return b;
         }()},
        {"empty file", Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        WriteFileBytes(dir / "cover.jpg", c.Cover);
        const std::vector<fs::path> files = {CopyFixture("v23.mp3", dir / "1.mp3"),
                                             CopyFixture("notag.mp3", dir / "2.mp3"),
                                             CopyFixture("v1.mp3", dir / "3.mp3")};
        std::vector<Bytes> before;
        for (const fs::path& file : files) before.push_back(ReadFileBytes(file));
        const CliRun run = RunCli({"add", "--cover", (dir / "cover.jpg").string(), "--max-width", "500",
                                   "--max-height", "500", "--settings", (dir / "settings.xml").string(),
                                   files[0].string(), files[1].string(), files[2].string()});
        EXPECT_EQ(run.ExitCode, 2) << run.Describe();
        EXPECT_TRUE(run.Lines.empty()) << run.Describe();
        EXPECT_EQ(run.Err.rfind("covrilo-cli: ", 0), 0u) << run.Describe();
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_NE(run.Err.find("not processed: " + files[i].string()), std::string::npos)
                << run.Describe();
            EXPECT_EQ(ReadFileBytes(files[i]), before[i]) << files[i] << " changed";
        }
    }
}

// ---- the command line itself -----------------------------------------------------------------

TEST_F(CliEndToEnd, HelpVersionAndUsageErrors) {
    TempDir dir;
    const fs::path file = CopyFixture("v23.mp3", dir / "song.mp3");
    const Bytes before = ReadFileBytes(file);
    const std::string cover = Fixture("cover.jpg").string();
    const std::string settings = (dir / "settings.xml").string();
    struct Case {
        std::vector<std::string> Args;
        int ExitCode;
        const char* StdoutStart;  // "" when stdout must be empty
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage:"},
        {{"add", "--help"}, 0, "Usage:"},
        {{"--version"}, 0, "covrilo-cli "},
        {{}, 2, ""},
        {{"frobnicate", file}, 2, ""},
        {{"add", "--settings", settings, file}, 2, ""},              // no cover
        {{"add", "--cover", cover, "--settings", settings}, 2, ""},  // no file
        {{"add", "--cover", cover, "--max-width", "19", file}, 2, ""},
        {{"add", "--cover", cover, "--max-height", "10000", file}, 2, ""},
        {{"add", "--cover", cover, "--quality", "0", file}, 2, ""},
        {{"add", "--cover", cover, "--quality", "high", file}, 2, ""},
        {{"add", "--cover", cover, "--kind", "FileIcon", file}, 2, ""},  // not selectable
        {{"add", "--cover", cover, "--kind", "19", file}, 2, ""},
        {{"add", "--cover", cover, "--id3", "2.2", file}, 2, ""},
        {{"add", "--cover", cover, "--id3", "3", file}, 2, ""},
        {{"add", "--cover", cover, "--bogus", file}, 2, ""},
        {{"add", "--cover", file}, 2, ""},  // value of --cover, then no file
        {{"remove", "--cover", cover, file}, 2, ""},
        {{"remove", "--settings", settings}, 2, ""},
        {{"info", "--settings", settings, file}, 2, ""},
        {{"-V"}, 0, "covrilo-cli "},
        {{"-h"}, 0, "Usage:"},
        {{"--cover", cover, file}, 2, ""},  // no command
        {{"add", "-c", cover, "--cover-from-folder", "cover.jpg", file}, 2, ""},
        {{"add", "--cover-from-folder", ",", file}, 2, ""},
        {{"add", "--cover-from-folder", "art/cover.jpg", file}, 2, ""},
        {{"add", "-c", cover, "-q", "-v", file}, 2, ""},
        {{"add", "-c", cover, "-0", file}, 2, ""},  // -0 without --files-from
        {{"add", "-c", cover, "--json", file}, 2, ""},
        {{"add", "-c", cover, "--dry-run=yes", file}, 2, ""},
        {{"remove", "--only-if-missing", file}, 2, ""},
        {{"info", "-n", file}, 2, ""},
        {{"info", "-x", file}, 2, ""},
        {{"add", "--cover", cover, "--settings", settings, dir.Path().string() + "/missing.mp3"},
         1,
         "Error\t"},
    };
    fs::create_directory(dir / "empty-folder");
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.Args) line += a + " ";
        SCOPED_TRACE(line);
        const CliRun run = RunCli(c.Args);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Describe();
        if (std::string(c.StdoutStart).empty()) {
            EXPECT_EQ(run.Out, "") << run.Describe();
        } else {
            EXPECT_EQ(run.Out.rfind(c.StdoutStart, 0), 0u) << run.Describe();
        }
        if (c.ExitCode == 2) {
            EXPECT_EQ(run.Err.rfind("covrilo-cli: ", 0), 0u) << run.Describe();
        }
    }
    EXPECT_EQ(ReadFileBytes(file), before) << "a refused command line touched the file";
    // A folder without MP3 files leaves nothing to do.
    const CliRun empty = RunCli({"remove", "--settings", settings, (dir / "empty-folder").string()});
    EXPECT_EQ(empty.ExitCode, 2) << empty.Describe();
    EXPECT_EQ(empty.Err.rfind("covrilo-cli: ", 0), 0u) << empty.Describe();
}

TEST_F(CliEndToEnd, StatusLinesFollowTheOrderOfFilesAndSortedFolders) {
    TempDir dir;
    fs::create_directories(dir / "album" / "cd2");
    for (const char* name : {"album/b.mp3", "album/A.MP3", "album/c.Mp3", "album/cd2/d.mp3", "single.mp3"})
        CopyFixture("notag.mp3", dir / name);
    WriteFileBytes(dir / "album" / "notes.txt", ToBytes("not audio"));
    fs::create_directory(dir / "album" / "folder.mp3");
    const std::string single = (dir / "single.mp3").string(), missing = (dir / "missing.mp3").string();
    const std::string album = (dir / "album").string();
    struct Case {
        const char* Name;
        std::vector<std::string> Options;
        std::vector<std::string> Paths;
        std::vector<std::pair<std::string, std::string>> Lines;
        int ExitCode;
        std::string Err;  // no progress line when stderr is not a terminal, only the reasons
    };
    const Case cases[] = {
        {"folder, sorted",
         {},
         {album},
         {{"OK", album + "/A.MP3"}, {"OK", album + "/b.mp3"}, {"OK", album + "/c.Mp3"}},
         0,
         ""},
        {"files in the order given, then a folder recursively",
         {"--recursive"},
         {single, album},
         {{"OK", single},
          {"OK", album + "/A.MP3"},
          {"OK", album + "/b.mp3"},
          {"OK", album + "/c.Mp3"},
          {"OK", album + "/cd2/d.mp3"}},
         0,
         ""},
        {"a missing file is an error, the others go on",
         {},
         {missing, single},
         {{"Error", missing}, {"OK", single}},
         1,
         "covrilo-cli: " + missing + ": not found\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> args = {"add", "--cover", Fixture("cover.jpg"), "--settings",
                                         (dir / "settings.xml").string()};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        args.insert(args.end(), c.Paths.begin(), c.Paths.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Describe();
        EXPECT_EQ(run.Lines, c.Lines) << run.Describe();
        EXPECT_EQ(run.Err, c.Err);
    }
    EXPECT_EQ(FramesWithId(MutagenDump(dir / "album" / "cd2" / "d.mp3"), "APIC").size(), 1u);
    EXPECT_FALSE(fs::exists(missing));
    // Remove prints Deleted for every file, in the same order.
    const CliRun run =
        RunCli({"remove", "--settings", (dir / "settings.xml").string(), "--recursive", album});
    EXPECT_EQ(run.ExitCode, 0) << run.Describe();
    EXPECT_EQ(run.Lines,
              (std::vector<std::pair<std::string, std::string>>{{"Deleted", album + "/A.MP3"},
                                                                {"Deleted", album + "/b.mp3"},
                                                                {"Deleted", album + "/c.Mp3"},
                                                                {"Deleted", album + "/cd2/d.mp3"}}));
    EXPECT_TRUE(FramesWithId(MutagenDump(dir / "album" / "cd2" / "d.mp3"), "APIC").empty());
}

TEST_F(CliEndToEnd, ProgressLineOnlyOnATerminal) {
    if (!HaveTool("script")) GTEST_SKIP() << "script (bsdutils) is missing: no terminal to run under";
    TempDir dir;
    const fs::path one = CopyFixture("notag.mp3", dir / "one.mp3"),
                   two = CopyFixture("notag.mp3", dir / "two.mp3");
    // stderr on the terminal that script makes, stdout into a file.
    const std::string inner = ShellQuote(kCovriloCli) + " add --cover " +
                              ShellQuote(Fixture("cover.jpg").string()) + " --settings " +
                              ShellQuote((dir / "settings.xml").string()) + " " + ShellQuote(one.string()) +
                              " " + ShellQuote(two.string()) + " > " + ShellQuote((dir / "out.txt").string());
    WriteFileBytes(dir / "run.sh", ToBytes(inner + "\n"));
    const ToolRun terminal = RunSeparately(
        "script -qec " + ShellQuote("sh " + ShellQuote((dir / "run.sh").string())) + " /dev/null");
    ASSERT_EQ(terminal.ExitCode, 0) << terminal.Out << terminal.Err;
    EXPECT_NE(terminal.Out.find("[0/2] one.mp3"), std::string::npos) << terminal.Out;
    EXPECT_NE(terminal.Out.find("[1/2] two.mp3"), std::string::npos) << terminal.Out;
    const std::string clear = "\r\033[K";
    ASSERT_GE(terminal.Out.size(), clear.size());
    EXPECT_EQ(terminal.Out.substr(terminal.Out.size() - clear.size()), clear)
        << "the last progress line stays";
    const Bytes out = ReadFileBytes(dir / "out.txt");
    EXPECT_EQ(std::string(out.begin(), out.end()), "OK\t" + one.string() + "\nOK\t" + two.string() + "\n");
}

// ---- settings ----------------------------------------------------------------------------------

std::string SettingsDocument(int MaxX, int MaxY, int Quality, int Kind, int Encoding) {
    auto item = [](const char* Key, int Value) {
        return std::string("    <") + Key + ">" + std::to_string(Value) + "</" + Key + ">\r\n";
    };
    return "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<!-- Generator: TXMLINI 1.x "
           "-->\r\n<xmlini>\r\n"
           "  <ImageSettings>\r\n" +
           item("JpegQuality", Quality) + item("MaxY", MaxY) + item("MaxX", MaxX) +
           "  </ImageSettings>\r\n  <Id3Settings>\r\n" + item("TextEncoding", Encoding) +
           item("KindOfPic", Kind) + "  </Id3Settings>\r\n</xmlini>\r\n";
}

TEST_F(CliEndToEnd, SettingsFileGivesTheDefaultsAndIsNeverWritten) {
    struct Case {
        const char* Name;
        std::string Settings;  // "" for a missing file
        std::vector<std::string> Options;
        int Type;
        std::string Version;
        std::string PictureSize;  // as ffprobe reports it
    };
    const std::string stored = SettingsDocument(400, 200, 90, 2, 2);
    const Case cases[] = {
        {"missing file: the defaults", "", {}, 3, "2.3.0", "500,375"},
        {"stored values", stored, {}, 4, "2.4.0", "267,200"},
        {"a stored encoding outside 0..2 leaves the default, as in the window",
         SettingsDocument(400, 200, 90, 2, 5),
         {},
         4,
         "2.3.0",
         "267,200"},
        {"options win for this run",
         stored,
         {"--kind", "Other", "--id3", "1", "--max-height", "600"},
         0,
         "2.3.0",
         "400,300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const fs::path settings = dir / "settings.xml";
        if (!c.Settings.empty()) WriteFileBytes(settings, ToBytes(c.Settings));
        const fs::path file = CopyFixture("notag.mp3", dir / "song.mp3");
        std::vector<std::string> args = {"add", "--cover", Fixture("big.jpg"), "--settings",
                                         settings.string()};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        args.push_back(file.string());
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.ExitCode, 0) << run.Describe();

        const Bytes written = ReadFileBytes(settings);
        if (c.Settings.empty()) {
            // The empty document, none of the five values.
            const std::string text(written.begin(), written.end());
            EXPECT_NE(text.find("<xmlini>"), std::string::npos) << text;
            for (const char* key : {"MaxX", "MaxY", "JpegQuality", "KindOfPic", "TextEncoding"})
                EXPECT_EQ(text.find(key), std::string::npos) << key << " written:\n" << text;
        } else {
            EXPECT_EQ(written, ToBytes(c.Settings)) << "the settings file was rewritten";
        }
        EXPECT_TRUE(fs::exists(dir / "temp.jpg")) << "the scaled picture goes next to the settings file";
        const JsonValue dump = MutagenDump(file);
        EXPECT_EQ(dump["id3v2"]["version"].Str(), c.Version);
        const std::vector<Picture> pictures = PicturesOf(dump);
        ASSERT_EQ(pictures.size(), 1u) << dump.Dump();
        EXPECT_EQ(pictures[0].Type, c.Type);
        EXPECT_EQ(pictures[0].Sha256, Sha256OfFile(dir / "temp.jpg"));
        EXPECT_EQ(FfprobePictureSizes(file), std::vector<std::string>{c.PictureSize});
    }
}

// ---- info --json -------------------------------------------------------------------------------

TEST_F(CliEndToEnd, InfoJsonDescribesEachPath) {
    TempDir dir;
    const fs::path v23 = CopyFixture("v23.mp3", dir / "v23.mp3");
    const fs::path lyrics = CopyFixture("lyrics3.mp3", dir / "lyrics3.mp3");
    const fs::path missing = dir / "missing.mp3";
    const CliRun run = RunCli({"info", "--json", v23.string(), lyrics.string(), missing.string()});
    ASSERT_NE(run.ExitCode, 2) << run.Describe();
    const JsonValue info = JsonValue::Parse(run.Out);
    ASSERT_EQ(info.Arr().size(), 3u) << run.Out;

    const JsonValue& a = info[0];
    EXPECT_EQ(a["path"].Str(), v23.string());
    EXPECT_TRUE(a["opened"].Bool());
    EXPECT_TRUE(a["track"]["hasTag"].Bool());
    EXPECT_EQ(a["track"]["artist"].Str(), kFromV2.Artist);
    EXPECT_EQ(a["track"]["title"].Str(), kFromV2.Title);
    EXPECT_EQ(a["track"]["album"].Str(), kFromV2.Album);
    EXPECT_EQ(a["track"]["year"].Str(), kFromV2.Year);
    EXPECT_EQ(a["track"]["comment"].Str(), kFromV2.Comment);
    EXPECT_EQ(a["track"]["genre"].Str(), kFromV2.Genre);
    EXPECT_EQ(a["track"]["trackNo"].Int(), kFromV2.Track);
    EXPECT_EQ(a["id3v2"]["version"].Str(), "2.3.0");
    const JsonValue mutagen = MutagenDump(v23);
    // The size of the header's size field: the whole tag less its 10-byte header.
    EXPECT_EQ(a["id3v2"]["tagSize"].Int() + 10, mutagen["id3v2"]["size"].Int());
    EXPECT_EQ(a["id3v2"]["frames"].Strings(), FrameIds(mutagen)) << "frames in file order";
    ASSERT_EQ(a["id3v2"]["pictures"].Arr().size(), 2u);
    const std::vector<JsonValue> apics = FramesWithId(mutagen, "APIC");
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(a["id3v2"]["pictures"][i]["type"].Int(), apics[i]["type"].Int());
        EXPECT_EQ(a["id3v2"]["pictures"][i]["mime"].Str(), apics[i]["mime"].Str());
        EXPECT_EQ(a["id3v2"]["pictures"][i]["description"].Str(), apics[i]["description"].Str());
        EXPECT_EQ(a["id3v2"]["pictures"][i]["size"].Int(), apics[i]["size"].Int());
    }
    EXPECT_TRUE(a["id3v1"].Bool());

    const JsonValue& b = info[1];
    EXPECT_TRUE(b["opened"].Bool());
    EXPECT_EQ(b["track"]["title"].Str(), kLongTitle) << "the Lyrics3 title wins over the record's";
    EXPECT_EQ(b["track"]["artist"].Str(), kFromV1.Artist);
    EXPECT_EQ(b["track"]["trackNo"].Int(), 3);
    EXPECT_TRUE(b["id3v2"].IsNull());
    EXPECT_TRUE(b["id3v1"].Bool());

    const JsonValue& c = info[2];
    EXPECT_EQ(c["path"].Str(), missing.string());
    EXPECT_FALSE(c["opened"].Bool());
    EXPECT_TRUE(c["id3v2"].IsNull());
    EXPECT_FALSE(c["id3v1"].Bool());

    // Without --json: text for people, naming each file.
    const CliRun text = RunCli({"info", v23.string()});
    EXPECT_NE(text.Out.find(v23.string()), std::string::npos) << text.Describe();
    EXPECT_NE(text.Out.find("T\xc3\xaftle \xce\xa9"), std::string::npos) << text.Describe();
}

// ---- whole libraries: a cover per folder, skipping, kept times, dry runs, file lists --------

// covrilo-cli with TMPDIR in the case's folder, so that what it keeps there can be seen.
CliRun RunCliWithTmp(const std::vector<std::string>& Args, const fs::path& Tmp) {
    return RunCli(Args, "env TMPDIR=" + ShellQuote(Tmp.string()) + " ");
}

// The lines under each file's status line (--verbose), by the file's path.
std::map<std::string, std::vector<std::string>> DetailsByFile(const CliRun& Run) {
    std::map<std::string, std::vector<std::string>> details;
    std::string current;
    for (const auto& [status, path] : Run.Lines) {
        if (status.rfind("  ", 0) == 0)
            details[current].push_back(status.substr(2));
        else
            current = path.substr(0, path.find('\t'));
    }
    return details;
}

// A dry run's lines: status, path and what would be done.
struct DryLine {
    std::string Status, Path, What;
};
std::vector<DryLine> DryLines(const CliRun& Run) {
    std::vector<DryLine> lines;
    for (const auto& [status, rest] : Run.Lines) {
        const size_t tab = rest.find('\t');
        lines.push_back({status, rest.substr(0, tab), tab == std::string::npos ? "" : rest.substr(tab + 1)});
    }
    return lines;
}

// Every entry below root with its type, modification time (to the nanosecond) and content:
// a run that creates, removes or writes anything there, even a file it deletes again (the
// folder's time), leaves another list.
std::vector<std::string> TreeSnapshot(const fs::path& Root) {
    std::vector<std::string> entries;
    auto add = [&](const fs::path& Path) {
        struct stat st {};
        if (::lstat(Path.c_str(), &st) != 0) return;
        std::string line = fs::relative(Path, Root).string() + " mode " + std::to_string(st.st_mode) +
                           " mtime " + std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode)) line += " sha " + Sha256OfFile(Path);
        entries.push_back(line);
    };
    add(Root);
    for (const auto& entry : fs::recursive_directory_iterator(Root)) add(entry.path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The picture of the type, as mutagen reads it; type -1 when there is none.
Picture PictureOfType(const fs::path& File, int Type) {
    for (const Picture& picture : PicturesOf(MutagenDump(File)))
        if (picture.Type == Type) return picture;
    return {-1, "", ""};
}

TEST_F(CliEndToEnd, EachAlbumFolderGetsItsOwnCover) {
    TempDir dir;
    const fs::path lib = dir / "lib", tmp = dir / "tmp";
    for (const char* album : {"A", "B", "C", "D", "E"}) fs::create_directories(lib / album);
    fs::create_directories(tmp);
    fs::copy_file(Fixture("big.jpg"), lib / "A" / "cover.jpg");     // 1600 x 1200: scaled to 500 x 375
    fs::copy_file(Fixture("cover.jpg"), lib / "B" / "Folder.JPG");  // 300 x 300: embedded as it is
    MakePng(lib / "C" / "cover.png", 16, 16);                       // not one of the names
    WriteFileBytes(lib / "D" / "cover.jpg", ToBytes("not a picture"));
    MakeJpeg(lib / "E" / "COVER.jpg", 900, 1200);  // a second scaled cover: 375 x 500
    const std::vector<std::pair<std::string, std::string>> files = {
        {"A/1.mp3", "notag.mp3"}, {"A/2.mp3", "v23.mp3"},   {"B/1.mp3", "v24.mp3"},
        {"C/1.mp3", "notag.mp3"}, {"D/1.mp3", "notag.mp3"}, {"E/1.mp3", "v1.mp3"}};
    for (const auto& [name, fixture] : files) CopyFixture(fixture, lib / name);
    const Bytes untaggedC = ReadFileBytes(lib / "C/1.mp3"), untaggedD = ReadFileBytes(lib / "D/1.mp3");
    WriteFileBytes(dir / "temp.jpg", ToBytes("the user's own temp.jpg"));

    const CliRun run = RunCliWithTmp({"add", "--cover-from-folder", "cover.jpg,folder.jpg", "--recursive",
                                      "--settings", (dir / "settings.xml").string(), lib.string()},
                                     tmp);
    EXPECT_EQ(run.ExitCode, 1) << run.Describe();
    std::vector<std::pair<std::string, std::string>> expected;
    for (const auto& [name, fixture] : files)
        expected.emplace_back(name[0] == 'C' || name[0] == 'D' ? "Error" : "OK", (lib / name).string());
    EXPECT_EQ(run.Lines, expected) << run.Describe();
    EXPECT_NE(run.Err.find("covrilo-cli: " + (lib / "C/1.mp3").string() +
                           ": no cover picture in its folder (none of cover.jpg, folder.jpg)\n"),
              std::string::npos)
        << run.Describe();
    EXPECT_NE(run.Err.find("covrilo-cli: " + (lib / "D/1.mp3").string() +
                           ": its folder's cover cover.jpg cannot be used: Not a JPEG file"),
              std::string::npos)
        << run.Describe();
    EXPECT_EQ(ReadFileBytes(lib / "C/1.mp3"), untaggedC);
    EXPECT_EQ(ReadFileBytes(lib / "D/1.mp3"), untaggedD);

    // Both files of A got A's one prepared copy; B its picture byte for byte; E its own copy.
    const Picture a1 = PictureOfType(lib / "A/1.mp3", 3), a2 = PictureOfType(lib / "A/2.mp3", 3);
    EXPECT_EQ(a1.Mime, "image/jpeg");
    EXPECT_EQ(a1.Sha256, a2.Sha256);
    EXPECT_EQ(FfprobePictureSizes(lib / "A/1.mp3"), std::vector<std::string>{"500,375"});
    EXPECT_EQ(PictureOfType(lib / "B/1.mp3", 3).Sha256, Sha256OfFile(lib / "B" / "Folder.JPG"));
    EXPECT_EQ(FfprobePictureSizes(lib / "E/1.mp3"), std::vector<std::string>{"375,500"});
    EXPECT_NE(PictureOfType(lib / "E/1.mp3", 3).Sha256, a1.Sha256);
    // The copies went with the run; the user's temp.jpg stays as it was.
    EXPECT_TRUE(fs::is_empty(tmp)) << "prepared covers left in " << tmp;
    EXPECT_EQ(ReadFileText(dir / "temp.jpg"), "the user's own temp.jpg");
}

TEST_F(CliEndToEnd, OnlyIfMissingLeavesFilesThatHaveAPictureOfTheKind) {
    // v23 and v22 hold a front cover (3) and a back cover (4); the others no picture.
    // A skipped file after a saved one and before one: the saved files' statuses come once
    // they are durable, the skipped one's between them.
    const std::vector<std::string> fixtures = {"notag.mp3", "v23.mp3", "v1.mp3", "v22.mp3"};
    struct Case {
        std::vector<std::string> Kind;  // the options as given
        int Type;
        std::vector<std::string> Statuses;  // per fixture
        std::string Version;                // of the files written
    };
    const Case cases[] = {
        {{"--kind", "FrontCover"}, 3, {"OK", "Skipped", "OK", "Skipped"}, "2.3.0"},
        {{"-k", "backcover"}, 4, {"OK", "Skipped", "OK", "Skipped"}, "2.3.0"},
        {{"-f2.4-utf8", "-k8"}, 10, {"OK", "OK", "OK", "OK"}, "2.4.0"},  // the 8th of the list: Band
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Kind.back());
        TempDir dir;
        std::vector<std::string> args = {"add",        "--only-if-missing",
                                         "-c",         Fixture("cover.jpg").string(),
                                         "--settings", (dir / "settings.xml").string()};
        args.insert(args.end(), c.Kind.begin(), c.Kind.end());
        std::vector<Bytes> before;
        for (const std::string& fixture : fixtures) {
            args.push_back(CopyFixture(fixture, dir / fixture).string());
            before.push_back(ReadFileBytes(dir / fixture));
        }
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.ExitCode, 0) << "Skipped is no error\n" << run.Describe();
        ASSERT_EQ(run.Lines.size(), fixtures.size()) << run.Describe();
        for (size_t i = 0; i < fixtures.size(); ++i) {
            SCOPED_TRACE(fixtures[i]);
            EXPECT_EQ(run.Lines[i], std::make_pair(c.Statuses[i], (dir / fixtures[i]).string()));
            if (c.Statuses[i] == "Skipped") {
                EXPECT_EQ(ReadFileBytes(dir / fixtures[i]), before[i]) << "a skipped file was touched";
            } else {
                const JsonValue dump = MutagenDump(dir / fixtures[i]);
                EXPECT_EQ(dump["id3v2"]["version"].Str(), c.Version);
                const std::vector<Picture> pictures = PicturesOf(dump);
                EXPECT_EQ(std::count_if(pictures.begin(), pictures.end(),
                                        [&](const Picture& p) {
                                            return p.Type == c.Type &&
                                                   p.Sha256 == Sha256OfFile(Fixture("cover.jpg"));
                                        }),
                          1)
                    << dump.Dump();
            }
        }
    }
}

TEST_F(CliEndToEnd, KeepTimesGivesEverySavedFileItsTimesBack) {
    const timespec atime{1000000000, 123456789}, mtime{1200000000, 987654321};
    struct Case {
        const char* Name;
        const char* Fixture;
        bool TagFirst;  // tagged with the same cover by a run before, so the save fits in place
        const char* Command;
        const char* Way;  // what --verbose says of the save
    };
    const Case cases[] = {
        {"a new tag: the file is rewritten", "notag.mp3", false, "add", "the file rewritten"},
        {"a picture replaced by the same: in place", "notag.mp3", true, "add", "written in place"},
        {"pictures removed", "v23.mp3", false, "remove", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const fs::path file = CopyFixture(c.Fixture, dir / "song.mp3");
        std::vector<std::string> args = {c.Command, "--settings", (dir / "settings.xml").string()};
        if (std::string(c.Command) == "add") args.insert(args.end(), {"-c", Fixture("cover.jpg").string()});
        if (c.TagFirst) {
            std::vector<std::string> first = args;
            first.push_back(file.string());
            ASSERT_EQ(RunCli(first).ExitCode, 0);
            Bytes cover2 = ReadFileBytes(Fixture("cover.jpg"));
            ASSERT_EQ(cover2[3], 0xE0);
            cover2[15] ^= 1;  // the horizontal density
            WriteFileBytes(dir / "cover2.jpg", cover2);
        }
        // Read before the times are set: reading may set the access time.
        const Bytes before = ReadFileBytes(file);
        const timespec times[2] = {atime, mtime};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        struct stat set {};
        ASSERT_EQ(::stat(file.c_str(), &set), 0);  // as precisely as the file system keeps them

        // The second cover differs from the first in one byte of its JFIF header only: the
        // same size, so the tag fits where the first one was.
        if (c.TagFirst) args.back() = (dir / "cover2.jpg").string();
        args.insert(args.end(), {"-t", "-v", file.string()});
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.ExitCode, 0) << run.Describe();
        struct stat after {};
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        EXPECT_NE(ReadFileBytes(file), before) << "the file was not saved";
        EXPECT_EQ(after.st_mtim.tv_sec, set.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, set.st_mtim.tv_nsec);
        EXPECT_EQ(after.st_atim.tv_sec, set.st_atim.tv_sec);
        EXPECT_EQ(after.st_atim.tv_nsec, set.st_atim.tv_nsec);
        const auto details = DetailsByFile(run)[file.string()];
        if (*c.Way) {
            EXPECT_NE(
                std::find_if(details.begin(), details.end(),
                             [&](const std::string& line) { return line.find(c.Way) != std::string::npos; }),
                details.end())
                << run.Describe();
        }

        // Without -t a save gives the file the time of the save.
        const fs::path other = CopyFixture(c.Fixture, dir / "other.mp3");
        ASSERT_EQ(::utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
        args.erase(std::find(args.begin(), args.end(), "-t"));
        args.back() = other.string();
        ASSERT_EQ(RunCli(args).ExitCode, 0);
        ASSERT_EQ(::stat(other.c_str(), &after), 0);
        EXPECT_GT(after.st_mtim.tv_sec, mtime.tv_sec);
    }
}

TEST_F(CliEndToEnd, DryRunWritesNothingAndForeseesTheRun) {
    TempDir dir, tmpDir;  // TMPDIR apart: a dry run may keep a scaled cover there while it runs
    const fs::path lib = dir / "lib", tmp = tmpDir.Path(), settings = dir / "settings.xml";
    fs::create_directories(lib / "sub");
    CopyFixture("notag.mp3", lib / "1 new tag.mp3");  // the tag comes: rewritten
    CopyFixture("notag.mp3", lib / "2 tagged.mp3");   // tagged below: the same picture again fits
    CopyFixture("v23.mp3", lib / "3 v23.mp3");        // a small front cover gives way to a larger one
    CopyFixture("lyrics3.mp3", lib / "sub" / "4 lyrics3.mp3");
    WriteFileBytes(lib / "5 junk.mp3", ToBytes(std::string(4000, 'x')));  // no MPEG audio
    const std::string cover = Fixture("big.jpg").string();
    ASSERT_EQ(
        RunCli({"add", "-c", cover, "--settings", (tmp / "s.xml").string(), (lib / "2 tagged.mp3").string()})
            .ExitCode,
        0);
    fs::remove(tmp / "s.xml");
    fs::remove(tmp / "temp.jpg");

    for (const char* command : {"add", "remove"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {command, "--settings", settings.string(), "--recursive",
                                         lib.string()};
        if (std::string(command) == "add") args.insert(args.end(), {"-c", cover});
        const std::vector<std::string> before = TreeSnapshot(dir.Path());
        std::vector<std::string> dryArgs = args;
        dryArgs.push_back("-n");
        const CliRun dry = RunCliWithTmp(dryArgs, tmp);
        EXPECT_EQ(TreeSnapshot(dir.Path()), before) << "the dry run changed something\n" << dry.Describe();
        EXPECT_FALSE(fs::exists(settings)) << "a dry run creates no settings file";
        EXPECT_TRUE(fs::is_empty(tmp)) << "the dry run left its prepared cover";
        // Removing pictures from a file that has none leaves it as it is, MPEG audio or not.
        const bool add = std::string(command) == "add";
        EXPECT_EQ(dry.ExitCode, add ? 1 : 0) << dry.Describe();
        if (add) {
            EXPECT_NE(
                dry.Err.find("covrilo-cli: " + (lib / "5 junk.mp3").string() + ": not an MPEG audio file\n"),
                std::string::npos)
                << dry.Describe();
        }
        EXPECT_NE(dry.Err.find("dry run, nothing was written"), std::string::npos) << dry.Describe();

        // The run itself does what the dry run said, file by file.
        std::vector<std::string> realArgs = args;
        realArgs.push_back("-v");
        const CliRun real = RunCliWithTmp(realArgs, tmp);
        fs::remove(settings);
        auto details = DetailsByFile(real);
        const std::vector<DryLine> lines = DryLines(dry);
        std::vector<std::pair<std::string, std::string>> dryStatuses, realStatuses;
        for (const DryLine& line : lines) dryStatuses.emplace_back(line.Status, line.Path);
        for (const auto& [status, path] : real.Lines)
            if (status.rfind("  ", 0) != 0) realStatuses.emplace_back(status, path);
        EXPECT_EQ(dryStatuses, realStatuses) << dry.Describe() << real.Describe();
        for (const DryLine& line : lines) {
            SCOPED_TRACE(line.Path);
            if (line.Status == "Error") {
                EXPECT_EQ(line.What, "not an MPEG audio file");
                continue;
            }
            if (line.What == "no picture; left as it is") {
                EXPECT_EQ(details[line.Path],
                          std::vector<std::string>{"nothing to change; the file is left as it is"});
                continue;
            }
            const std::string way = line.What.substr(0, line.What.find(';'));
            ASSERT_TRUE(way == "in place" || way == "rewritten") << line.What;
            const std::string said = way == "in place" ? "written in place" : "the file rewritten";
            const auto& lines2 = details[line.Path];
            EXPECT_TRUE(std::any_of(lines2.begin(), lines2.end(),
                                    [&](const std::string& l) { return l.find(said) != std::string::npos; }))
                << line.What << "\n"
                << real.Describe();
            if (std::string(command) == "add") {
                EXPECT_NE(line.What.find("picture 500 x 375, "), std::string::npos) << line.What;
            }
        }
        if (std::string(command) == "add") {
            EXPECT_EQ(lines.size(), 5u) << dry.Describe();
            for (const DryLine& line : lines) {
                if (line.Path.find("1 new tag") != std::string::npos ||
                    line.Path.find("3 v23") != std::string::npos) {
                    EXPECT_EQ(line.What.rfind("rewritten", 0), 0u) << line.What;
                } else if (line.Path.find("2 tagged") != std::string::npos) {
                    EXPECT_EQ(line.What.rfind("in place", 0), 0u) << line.What;
                }
            }
        }
    }

    // A file that an interrupted save left with its journal is not restored by a dry run.
    const fs::path song = lib / "1 new tag.mp3";
    const fs::path journal = lib / "1 new tag.mp3.covrilo-journal.$$$";
    WriteFileBytes(journal, ToBytes("a journal"));
    const std::vector<std::string> before = TreeSnapshot(dir.Path());
    const CliRun dry =
        RunCliWithTmp({"add", "-n", "-c", cover, "--settings", settings.string(), song.string()}, tmp);
    EXPECT_EQ(TreeSnapshot(dir.Path()), before) << dry.Describe();
    EXPECT_EQ(dry.StatusOf(song.string() +
                           "\tan interrupted save left its journal 1 new tag.mp3.covrilo-journal.$$$; "
                           "the next save restores the file from it first, so what it would do cannot "
                           "be told"),
              "Error")
        << dry.Describe();
}

TEST_F(CliEndToEnd, FilesFromAListTakeNamesWithBlanksAndNewlines) {
    TempDir dir;
    const std::vector<std::string> names = {"with space.mp3", "new\nline.mp3", "tab\there.mp3",
                                            " both ends .mp3"};
    std::string list;
    for (const std::string& name : names) {
        CopyFixture("notag.mp3", dir / name);
        list += (dir / name).string() + '\0';
    }
    WriteFileBytes(dir / "list0", ToBytes(list));
    const CliRun run = RunCli({"add", "-c", Fixture("cover.jpg").string(), "--settings",
                               (dir / "settings.xml").string(), "--files-from", "-", "-0"},
                              "cat " + ShellQuote((dir / "list0").string()) + " | ");
    EXPECT_EQ(run.ExitCode, 0) << run.Describe();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"OK", (dir / "with space.mp3").string()},
        {"OK", (dir / "new\\nline.mp3").string()},
        {"OK", (dir / "tab\\there.mp3").string()},
        {"OK", (dir / " both ends .mp3").string()}};
    EXPECT_EQ(run.Lines, expected) << run.Describe();
    for (const std::string& name : names)
        EXPECT_EQ(PictureOfType(dir / name, 3).Sha256, Sha256OfFile(Fixture("cover.jpg"))) << name;

    // One name a line, from a file, after the PATHs on the command line; blank lines are no names.
    WriteFileBytes(dir / "list",
                   ToBytes((dir / "with space.mp3").string() + "\n\n" + (dir / "tab\there.mp3").string()));
    const CliRun remove = RunCli({"remove", "--settings", (dir / "settings.xml").string(), "--files-from",
                                  (dir / "list").string(), (dir / " both ends .mp3").string()});
    EXPECT_EQ(remove.ExitCode, 0) << remove.Describe();
    EXPECT_EQ(remove.Lines, (std::vector<std::pair<std::string, std::string>>{
                                {"Deleted", (dir / " both ends .mp3").string()},
                                {"Deleted", (dir / "with space.mp3").string()},
                                {"Deleted", (dir / "tab\\there.mp3").string()}}))
        << remove.Describe();
    // A list that cannot be read is a usage error before any file.
    const CliRun missing = RunCli({"remove", "--files-from", (dir / "no-such-list").string()});
    EXPECT_EQ(missing.ExitCode, 2) << missing.Describe();
    EXPECT_NE(missing.Err.find("cannot read the list of files"), std::string::npos) << missing.Describe();
}

TEST_F(CliEndToEnd, SettingsOutsideTheWindowsRangesAreBroughtIntoThem) {
    auto tabbed = [](std::string Text) {
        for (size_t pos; (pos = Text.find("  ")) != std::string::npos;) Text.replace(pos, 2, "\t");
        return Text;
    };
    auto oneLine = [](std::string Text) {
        std::erase(Text, '\r');
        std::erase(Text, '\n');
        return Text;
    };
    const std::string unreadable =
        "the file cannot be read: it is not in the line format (one element on each line, sections indented "
        "by "
        "two blanks, keys by four); the defaults are used";
    struct Case {
        const char* Name;
        std::string Settings;
        std::vector<std::string> Warnings;  // each after "covrilo-cli: warning: settings FILE: "
        std::string Size;                   // of the picture, as ffprobe reports it
        int Type;
        std::string Version;
    };
    const Case cases[] = {
        {"MaxY below 20",
         SettingsDocument(500, 5, 70, 1, 0),
         {"MaxY 5 is outside 20..9999; 20 is used, as in the window"},
         "27,20",
         3,
         "2.3.0"},
        {"MaxX above 9999, quality 0",
         SettingsDocument(20000, 300, 0, 1, 0),
         {"MaxX 20000 is outside 20..9999; 9999 is used, as in the window",
          "JpegQuality 0 is outside 1..100; 1 is used, as in the window"},
         "400,300",
         3,
         "2.3.0"},
        {"a kind beyond the list",
         SettingsDocument(500, 500, 70, 25, 0),
         {"KindOfPic 25 is outside 0..18; the kind Other is used, as in the window"},
         "500,375",
         0,
         "2.3.0"},
        {"an encoding beyond the list",
         SettingsDocument(500, 500, 70, 1, 7),
         {"TextEncoding 7 is outside 0..2; ID3v2.3 ISO-8859-1 is used, as in the window"},
         "500,375",
         3,
         "2.3.0"},
        {"tab-indented", tabbed(SettingsDocument(400, 200, 90, 2, 2)), {unreadable}, "500,375", 3, "2.3.0"},
        {"all on one line",
         oneLine(SettingsDocument(400, 200, 90, 2, 2)),
         {unreadable},
         "500,375",
         3,
         "2.3.0"},
        {"a file in the line format says nothing",
         SettingsDocument(400, 200, 90, 2, 2),
         {},
         "267,200",
         4,
         "2.4.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const fs::path settings = dir / "settings.xml";
        WriteFileBytes(settings, ToBytes(c.Settings));
        const fs::path file = CopyFixture("notag.mp3", dir / "song.mp3");
        const CliRun run = RunCli(
            {"add", "-c", Fixture("big.jpg").string(), "--settings", settings.string(), file.string()});
        ASSERT_EQ(run.ExitCode, 0) << run.Describe();
        std::string warnings;
        for (const std::string& warning : c.Warnings)
            warnings += "covrilo-cli: warning: settings " + settings.string() + ": " + warning + "\n";
        EXPECT_EQ(run.Err, warnings);
        EXPECT_EQ(ReadFileBytes(settings), ToBytes(c.Settings)) << "the settings file was rewritten";
        EXPECT_EQ(FfprobePictureSizes(file), std::vector<std::string>{c.Size});
        const JsonValue dump = MutagenDump(file);
        EXPECT_EQ(dump["id3v2"]["version"].Str(), c.Version);
        const std::vector<Picture> pictures = PicturesOf(dump);
        ASSERT_EQ(pictures.size(), 1u) << dump.Dump();
        EXPECT_EQ(pictures[0].Type, c.Type);
    }
}

TEST_F(CliEndToEnd, AnyJpegIsACoverWhateverItsFirstSegment) {
    INTEROP_REQUIRE(Tool::Pil);
    TempDir dir;
    // CMYK pictures, which libjpeg writes with an Adobe segment and no JFIF one.
    for (const auto& [name, size] :
         {std::pair<const char*, const char*>{"adobe.jpg", "(300, 200)"}, {"adobe-big.jpg", "(1200, 900)"}}) {
        const ToolRun made =
            RunSeparately(std::string(kSystemPython) + " -c " +
                          ShellQuote("import sys; from PIL import Image; Image.new('CMYK', " +
                                     std::string(size) + ", (0, 128, 255, 0)).save(sys.argv[1])") +
                          " " + ShellQuote((dir / name).string()));
        ASSERT_EQ(made.ExitCode, 0) << made.Err;
    }
    // A JFIF picture without its JFIF segment: what followed it (ffmpeg's comment) comes first.
    Bytes noApp0 = ReadFileBytes(Fixture("cover.jpg"));
    ASSERT_EQ(noApp0[3], 0xE0);
    noApp0.erase(noApp0.begin() + 2, noApp0.begin() + 4 + ((noApp0[4] << 8) | noApp0[5]));
    WriteFileBytes(dir / "no-app0.jpg", noApp0);
    struct Case {
        const char* File;
        bool AsItIs;  // embedded byte for byte (else scaled to 500 x 375)
    };
    for (const Case& c : {Case{"adobe.jpg", true}, Case{"no-app0.jpg", true}, Case{"adobe-big.jpg", false}}) {
        SCOPED_TRACE(c.File);
        const Bytes picture = ReadFileBytes(dir / c.File);
        ASSERT_GE(picture.size(), 4u);
        EXPECT_TRUE(picture[3] != 0xE0 && picture[3] != 0xE1) << "begins with a JFIF or Exif segment";
        const fs::path song = CopyFixture("v24.mp3", dir / (std::string(c.File) + ".mp3"));
        const CliRun run = RunCli({"add", "-c", (dir / c.File).string(), "--settings",
                                   (dir / "settings.xml").string(), song.string()});
        ASSERT_EQ(run.ExitCode, 0) << run.Describe();
        EXPECT_EQ(run.Err, "");
        for (const JsonValue& dump : {MutagenDump(song), TaglibDump(song)}) {
            SCOPED_TRACE(dump["tool"].Str());
            const auto pictures = PicturesOf(dump);
            const auto front =
                std::find_if(pictures.begin(), pictures.end(), [](const Picture& P) { return P.Type == 3; });
            ASSERT_NE(front, pictures.end()) << dump.Dump();
            EXPECT_EQ(front->Mime, "image/jpeg");
            if (c.AsItIs) {
                EXPECT_EQ(front->Sha256, Sha256OfBytes(picture));
            }
        }
        if (!c.AsItIs) {
            EXPECT_TRUE(HasPictureOfSize(song, "500,375"));
        }
        EXPECT_TRUE(FfmpegDecodesAttachedPicture(song));
    }
}

TEST_F(CliEndToEnd, QuietPrintsOnlyErrorsAndVerboseWhatChanged) {
    TempDir dir;
    const fs::path song = CopyFixture("v23.mp3", dir / "song.mp3"), missing = dir / "missing.mp3";
    const std::string settings = (dir / "settings.xml").string();
    const std::string cover = Fixture("cover.jpg").string();
    const CliRun quiet =
        RunCli({"add", "-q", "-c", cover, "--settings", settings, song.string(), missing.string()});
    EXPECT_EQ(quiet.ExitCode, 1) << quiet.Describe();
    EXPECT_EQ(quiet.Out, "Error\t" + missing.string() + "\n");
    EXPECT_EQ(quiet.Err, "covrilo-cli: " + missing.string() + ": not found\n");
    EXPECT_EQ(PictureOfType(song, 3).Sha256, Sha256OfFile(Fixture("cover.jpg"))) << "quiet, but done";

    const fs::path fresh = CopyFixture("v23.mp3", dir / "fresh.mp3");
    const std::string coverBytes = std::to_string(fs::file_size(Fixture("cover.jpg")));
    const std::string oldBytes = std::to_string(fs::file_size(Fixture("oldfront.jpg")));
    const CliRun verbose = RunCli({"add", "-v", "-c", cover, "--settings", settings, fresh.string()});
    ASSERT_EQ(verbose.ExitCode, 0) << verbose.Describe();
    const auto details = DetailsByFile(verbose)[fresh.string()];
    auto has = [&](const std::vector<std::string>& Lines, const std::string& Text) {
        return std::find(Lines.begin(), Lines.end(), Text) != Lines.end();
    };
    EXPECT_TRUE(has(details, "picture 300 x 300, " + coverBytes + " bytes (as it is), from " + cover))
        << verbose.Out;
    EXPECT_TRUE(has(details, "- APIC: Cover (front), image/jpeg, " + oldBytes + " bytes, \"old front\""))
        << verbose.Out;
    EXPECT_TRUE(has(details, "+ APIC: Cover (front), image/jpeg, " + coverBytes + " bytes")) << verbose.Out;
    EXPECT_TRUE(std::any_of(details.begin(), details.end(), [](const std::string& line) {
        return line.rfind("ID3v2.3.0 tag of ", 0) == 0;
    })) << verbose.Out;
    // Frames written again as they were are no change.
    for (const std::string& line : details) EXPECT_EQ(line.find("TPE2"), std::string::npos) << line;

    const CliRun removed = RunCli({"remove", "--verbose", "--settings", settings, fresh.string()});
    ASSERT_EQ(removed.ExitCode, 0) << removed.Describe();
    const auto gone = DetailsByFile(removed)[fresh.string()];
    EXPECT_TRUE(has(gone, "- APIC: Cover (front), image/jpeg, " + coverBytes + " bytes")) << removed.Out;
    EXPECT_TRUE(has(gone, "- APIC: Cover (back), image/png, " +
                              std::to_string(fs::file_size(Fixture("back.png"))) + " bytes, \"back\""))
        << removed.Out;
}

TEST_F(CliEndToEnd, FoldersWithoutMp3FilesOfTheirOwnPointToRecursive) {
    TempDir dir;
    fs::create_directories(dir / "lib" / "album");
    const fs::path song = CopyFixture("v23.mp3", dir / "lib" / "album" / "song.mp3");
    const Bytes before = ReadFileBytes(song);
    const std::string lib = (dir / "lib").string(), settings = (dir / "settings.xml").string();
    const std::string hint =
        "covrilo-cli: no MP3 files found in the given folders; their sub-folders hold some (use "
        "--recursive)\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add", "-c", Fixture("cover.jpg").string(), "--settings", settings, lib},
          std::vector<std::string>{"info", lib}, std::vector<std::string>{"info", "--json", lib}}) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.ExitCode, 2) << run.Describe();
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err, hint);
    }
    EXPECT_EQ(ReadFileBytes(song), before);
    const CliRun info = RunCli({"info", "-r", "--json", lib});
    EXPECT_EQ(info.ExitCode, 0) << info.Describe();
    const JsonValue files = JsonValue::Parse(info.Out);
    ASSERT_EQ(files.Arr().size(), 1u) << info.Out;
    EXPECT_EQ(files[0]["path"].Str(), song.string());
    // A folder among others that holds MP3 files is named with the hint; the run goes on.
    const CliRun mixed =
        RunCli({"add", "-c", Fixture("cover.jpg").string(), "--settings", settings, lib, song.string()});
    EXPECT_EQ(mixed.ExitCode, 0) << mixed.Describe();
    EXPECT_EQ(mixed.Err, "covrilo-cli: warning: " + lib +
                             " holds no MP3 files itself, only its sub-folders do (use --recursive)\n");
}

}  // namespace
}  // namespace covrilo::test
