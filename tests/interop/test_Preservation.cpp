// SPDX-License-Identifier: MIT
// The preservation property: covrilo-cli add (every format, two kinds) and remove, run over
// every MP3 fixture this suite makes and over the real-world files of ../shared/corpus (other
// projects' test files, read where they lie), never lose what a file holds. Each result is
// checked by mutagen, eyeD3 and TagLib (tools/preservation_check.py): a refusal leaves the
// file byte for byte as it was, and covrilo-cli says why; a file written keeps its audio and
// every frame not rewritten by design, and the peers still read it.
//
// scripts/test.sh runs the short form (the fixtures and a fixed part of the corpus); the full
// campaign: COVRILO_PRESERVATION=full build/test/tests/interop/test_interop --gtest_filter='Preservation.*'
// (tests/interop/README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestUtil.h"
#include "InteropUtil.h"
#include "PeerQuirks.h"

#ifndef COVRILO_MAKE_DEMO_FILES
#define COVRILO_MAKE_DEMO_FILES ""
#endif

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

// The corpus lies in "shared/corpus" beside the project's folder (or beside the folder that
// holds it, for a work tree); COVRILO_CORPUS names another place.
fs::path CorpusDir() {
    if (const char* dir = std::getenv("COVRILO_CORPUS")) return dir;
    const fs::path source = fs::weakly_canonical(COVRILO_SOURCE_DIR);
    for (const fs::path& base : {source.parent_path(), source.parent_path().parent_path()})
        if (fs::is_directory(base / "shared" / "corpus")) return base / "shared" / "corpus";
    return source.parent_path() / "shared" / "corpus";
}

bool FullCampaign() {
    const char* mode = std::getenv("COVRILO_PRESERVATION");
    return mode != nullptr && std::string(mode) == "full";
}

// Tags as mutagen writes them, in each version, with every kind of frame the recipe knows.
std::string RichRecipe(int Version, const fs::path& Front, const fs::path& Back) {
    std::string frames = R"(
        {"id": "TIT2", "text": ["Rich title", "Second title value"]},
        {"id": "TPE1", "text": "Rich Artist"}, {"id": "TALB", "text": "Rich Album"},
        {"id": "TRCK", "text": "3/12"}, {"id": "TPOS", "text": "1/2"}, {"id": "TCON", "text": ["Rock", "Pop"]},
        {"id": "TCOM", "text": "Composer"}, {"id": "TBPM", "text": "120"}, {"id": "TENC", "text": "Encoder"},
        {"id": "COMM", "lang": "eng", "desc": "", "text": "The comment"},
        {"id": "COMM", "lang": "eng", "desc": "iTunNORM", "text": " 0000044E 00000460"},
        {"id": "USLT", "lang": "eng", "desc": "", "text": "Some lyrics"},
        {"id": "TXXX", "desc": "REPLAYGAIN_TRACK_GAIN", "text": ["-6.50 dB"]},
        {"id": "MCDI", "data_hex": "0000000c010000001001000000000000"},
        {"id": "WXXX", "desc": "", "url": "http://example.org/"}, {"id": "WOAR", "url": "http://artist.example/"},
        {"id": "APIC", "type": 3, "mime": "image/jpeg", "desc": "front", "file": ")" +
                         Front.string() + R"("},
        {"id": "APIC", "type": 4, "mime": "image/png", "desc": "back", "file": ")" +
                         Back.string() + R"("})";
    if (Version == 4)
        frames += R"(, {"id": "TDRC", "text": "1999-12-31T23:59"}, {"id": "TDOR", "text": "1998"})";
    else if (Version == 3)
        frames +=
            R"(, {"id": "TYER", "text": "1999"}, {"id": "TDAT", "text": "3112"}, {"id": "TIME", "text": "2359"})";
    else
        frames += R"(, {"id": "TYER", "text": "1999"})";
    if (Version != 2) frames += R"(, {"id": "PRIV", "owner": "covrilo.test", "data_hex": "00ff10ee"})";
    return R"({"id3v2": {"version": )" + std::to_string(Version) + R"(, "frames": [)" + frames + R"(]},
        "id3v1": {"title": "V1 title", "artist": "V1 artist", "album": "V1 album", "year": "1999",
                  "comment": "V1 comment", "track": 3, "genre": 17}})";
}

// Every MP3 fixture the suite makes for this test, in Folder.
std::vector<fs::path> MakeFixtures(const fs::path& Folder, const fs::path& Cover) {
    fs::create_directories(Folder);
    MakeMp3(Folder / "untagged.mp3", 1.0);
    MakeMp3(Folder / "untagged-ffmpeg.mp3", 1.0, Encoder::Ffmpeg);
    std::vector<fs::path> files = {Folder / "untagged.mp3", Folder / "untagged-ffmpeg.mp3"};
    const auto quirks = WritePeerQuirks(Folder, MpegAudioBytes(Folder / "untagged.mp3"));
    files.insert(files.end(), quirks.begin(), quirks.end());
    MakePng(Folder / "back.png", 32, 32);
    for (int version : {2, 3, 4}) {
        const fs::path file = Folder / ("mutagen-v2." + std::to_string(version) + ".mp3");
        fs::copy_file(Folder / "untagged.mp3", file);
        MutagenTag(file, RichRecipe(version, Cover, Folder / "back.png"));
        files.push_back(file);
    }
    fs::copy_file(Folder / "untagged.mp3", Folder / "mutagen-v1.mp3");
    MutagenTag(Folder / "mutagen-v1.mp3",
               R"({"id3v1": {"title": "Only v1", "artist": "A", "album": "B", "year": "2001", "comment": "c",
                   "track": 1, "genre": 12}})");
    files.push_back(Folder / "mutagen-v1.mp3");
    MakeMp3(Folder / "lame-tagged.mp3", AudioOptions{.EncoderArgs = {"--add-id3v2", "--tt", "Lame title",
                                                                     "--ta", "Lame artist", "--ty", "2003"}});
    files.push_back(Folder / "lame-tagged.mp3");
    // The demo files, tagged by our own engine.
    if (!std::string(COVRILO_MAKE_DEMO_FILES).empty()) {
        const ToolRun demo =
            RunSeparately(ShellQuote(COVRILO_MAKE_DEMO_FILES) + " " + ShellQuote((Folder / "demo").string()));
        if (demo.ExitCode == 0)
            for (const auto& entry : fs::directory_iterator(Folder / "demo"))
                if (entry.path().extension() == ".mp3") files.push_back(entry.path());
    }
    return files;
}

// The corpus files of the campaign: all of them in the full form; in the short one every
// third file by name, and the ones whose tags are hard to keep (they break a naive walk).
std::vector<fs::path> CorpusFiles(bool Full) {
    std::vector<fs::path> files;
    for (const char* part : {"peers1", "peers2"}) {
        const fs::path dir = CorpusDir() / part;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().filename() != "MANIFEST.txt")
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    if (Full) return files;
    const std::vector<std::string> hard = {"itunes", "unknown", "invalid",    "extended", "unsynch",
                                           "chap",   "toc",     "compressed", "v22",      "2.2",
                                           "broken", "garbage", "utf16",      "padding"};
    std::vector<fs::path> some;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string name = files[i].filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char C) { return std::tolower(C); });
        const bool isHard = std::any_of(hard.begin(), hard.end(), [&](const std::string& H) {
            return name.find(H) != std::string::npos;
        });
        if (i % 3 == 0 || isHard) some.push_back(files[i]);
    }
    return some;
}

TEST(Preservation, NothingARealFileHoldsIsLost) {
    if (std::string(kCovriloCli).empty()) GTEST_SKIP() << "covrilo-cli is not built (COVRILO_BUILD_APP=OFF)";
    INTEROP_REQUIRE(Tool::Lame, Tool::Ffmpeg, Tool::Mutagen, Tool::Taglib, Tool::EyeD3);
    TempDir dir;
    MakeJpeg(dir / "cover.jpg", 200, 200);
    std::vector<fs::path> files = MakeFixtures(dir / "fixtures", dir / "cover.jpg");
    const size_t fixtures = files.size();
    const bool full = FullCampaign();
    const std::vector<fs::path> corpus = CorpusFiles(full);
    if (corpus.empty())
        std::cout << "[ corpus  ] " << CorpusDir()
                  << " not found: only the suite's own fixtures are checked\n";
    files.insert(files.end(), corpus.begin(), corpus.end());

    const JsonValue report = RunPreservationCheck(kCovriloCli, files, dir / "cover.jpg", dir / "work");

    // Counts per source and operation, the reasons of the refusals (covrilo-cli's), and every problem.
    const std::string corpusPrefix = CorpusDir().string();
    std::map<std::string, std::map<std::string, std::map<std::string, int>>> counts;  // source, op, outcome
    std::map<std::string, int> reasons;
    std::vector<std::string> problems;
    for (const JsonValue& r : report["results"].Arr()) {
        const std::string op = r["op"].Str(), outcome = r["outcome"].Str(), path = r["path"].Str();
        const std::string source = path.rfind(corpusPrefix, 0) == 0 ? "corpus" : "fixtures";
        ++counts[source][op][outcome];
        if (outcome == "problem") {
            std::string line = op + " " + path + ":";
            for (const JsonValue& p : r["problems"].Arr()) line += "\n    " + p.Str();
            problems.push_back(line);
        } else if (outcome == "refused") {
            // The checker makes a refusal without covrilo-cli's reason a problem.
            const std::string reason = r["reason"].Str();
            // Grouped by their words: the numbers after a blank (offsets, sizes) aside.
            std::string shape;
            for (size_t i = 0; i < reason.size(); ++i) {
                const bool digit = std::isdigit(static_cast<unsigned char>(reason[i]));
                const bool counted =
                    digit && i > 0 && (reason[i - 1] == ' ' || (!shape.empty() && shape.back() == 'N'));
                if (!counted)
                    shape += reason[i];
                else if (shape.back() != 'N')
                    shape += 'N';
            }
            ++reasons[source + ": " + shape.substr(0, shape.find(", so"))];
        }
    }
    std::ostringstream table;
    table << "preservation: " << fixtures << " fixtures, " << corpus.size() << " corpus files"
          << (full ? " (full campaign)" : " (short form)") << ", " << report["skipped"].Arr().size()
          << " not MPEG audio by extension (skipped)\n";
    auto count = [](const std::map<std::string, int>& C, const char* Key) {
        return C.count(Key) ? C.at(Key) : 0;
    };
    for (const auto& [source, ops] : counts) {
        table << std::left << std::setw(36) << (source + ": operation") << std::setw(11) << "preserved"
              << std::setw(9) << "refused"
              << "problem\n";
        for (const auto& [op, c] : ops)
            table << std::left << std::setw(36) << ("  " + op) << std::setw(11) << count(c, "preserved")
                  << std::setw(9) << count(c, "refused") << count(c, "problem") << "\n";
    }
    table << "refusal reasons (results):\n";
    for (const auto& [reason, n] : reasons) table << "  " << std::setw(5) << n << " " << reason << "\n";
    std::cout << table.str();
    WriteFileBytes(fs::path(COVRILO_BINARY_DIR) / "preservation-report.txt", ToBytes(table.str()));

    EXPECT_EQ(report["results"].Arr().size(), (files.size() - report["skipped"].Arr().size()) * 7);
    std::string all;
    for (const std::string& p : problems) all += p + "\n";
    EXPECT_TRUE(problems.empty()) << problems.size() << " results lose data or are unreadable:\n" << all;
}

}  // namespace
}  // namespace covrilo::test
