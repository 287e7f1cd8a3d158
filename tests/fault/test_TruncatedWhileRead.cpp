// SPDX-License-Identifier: MIT
// Another program cuts a file short while covrilo-cli reads it: the shim halves the file
// just before each of its reads in turn (pread, read). Tags are read with bounded reads, never
// through a mapping, so this ends no process (a mapping read past the new end is SIGBUS):
// `info` reports what it could read, `add` refuses the file ("it changed while it was
// read" or the like) and writes nothing; the file is what the other program left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FaultTestUtil.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

TEST(TruncatedWhileRead, EveryReadOfACutFileEndsInAnHonestErrorNotASignal) {
    if (std::string(kCli).empty() || std::string(kShim).empty())
        GTEST_SKIP() << "covrilo-cli or the shim is not built";
    TempDir side, dir;
    WriteFileBytes(side / "cover.jpg", Jpeg(64, 64, 5));
    // A tag with a picture, a little audio, and an ID3v1 record at the end.
    const Bytes original =
        Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title"), Apic23(4, Jpeg(200, 200, 9))}, 300),
                Audio(30), Id3v1Record("Title", "Artist")});
    // The tag is most of the file: a cut leaves part of it past the end.
    const fs::path work = dir / "music", file = work / "song.mp3";
    auto env = [&](int At, const fs::path& Log) {
        std::map<std::string, std::string> e = {{"COVRILO_FAULT_CALLS", "pread,read"},
                                                {"COVRILO_FAULT_MODE", "truncate-before"},
                                                {"COVRILO_FAULT_AT", std::to_string(At)}};
        if (!Log.empty()) e["COVRILO_FAULT_LOG"] = Log.string();
        return ShimEnv(work, e);
    };
    for (const std::string command : {"info", "add"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {command, file.string()};
        if (command == "add")
            args = {"add",
                    "--settings",
                    (side / "settings.xml").string(),
                    "--cover",
                    (side / "cover.jpg").string(),
                    file.string()};
        auto fresh = [&] {
            fs::remove_all(work);
            fs::create_directories(work);
            WriteFileBytes(file, original);
        };
        // How many reads a run makes of the file, without a fault.
        fresh();
        const fs::path log = dir / "reads.log";
        fs::remove(log);
        RunCovriloCli(args, env(0, log), dir / "count");
        int reads = 0;
        {
            std::ifstream in(log);
            for (std::string line; std::getline(in, line);) ++reads;
        }
        ASSERT_GT(reads, 2) << "the run read the file only " << reads << " times";
        for (int at = 1; at <= reads; ++at) {
            SCOPED_TRACE("cut before read " + std::to_string(at));
            fresh();
            const TCliResult run = RunCovriloCli(args, env(at, {}), dir / "run");
            EXPECT_EQ(run.Signal, 0) << run.Describe();
            const Bytes after = ReadFileBytes(file);
            const Bytes half(original.begin(),
                             original.begin() + static_cast<std::ptrdiff_t>(original.size() / 2));
            if (command == "info") {
                EXPECT_TRUE(run.ExitCode == 0 || run.ExitCode == 1) << run.Describe();
                EXPECT_EQ(after, half) << "info wrote the file";
            } else {
                // Refused: nothing of ours was written to what the other program left.
                EXPECT_EQ(run.StatusOf(file), "Error") << run.Describe();
                EXPECT_EQ(run.ExitCode, 1) << run.Describe();
                EXPECT_NE(run.Err.find("covrilo-cli: " + file.string() + ": "), std::string::npos)
                    << run.Describe();
                EXPECT_EQ(after, half);
            }
            EXPECT_EQ(OurLeftovers(work), std::vector<std::string>{});
        }
    }
}

TEST(TruncatedWhileRead, NoFileIsMappedToReadItsTags) {
    if (std::string(kCli).empty() || std::string(kShim).empty())
        GTEST_SKIP() << "covrilo-cli or the shim is not built";
    TempDir side, dir;
    WriteFileBytes(side / "cover.jpg", Jpeg(64, 64, 5));
    const fs::path work = dir / "music";
    fs::create_directories(work);
    WriteFileBytes(work / "a.mp3",
                   Concat({Tag23({Text23("TIT2", "A")}, 5000), Audio(100), Id3v1Record("A", "B")}));
    WriteFileBytes(work / "b.mp3", Concat({Tag23({Text23("TIT2", "B")}, 64), Audio(100)}));
    const fs::path log = dir / "calls.log";
    const auto env = ShimEnv(work, {{"COVRILO_FAULT_CALLS", "mmap"}, {"COVRILO_FAULT_LOG", log.string()}});
    const std::vector<std::string> files = {(work / "a.mp3").string(), (work / "b.mp3").string()};
    std::vector<std::string> info = {"info"}, add = {"add", "--settings", (side / "settings.xml").string(),
                                                     "--cover", (side / "cover.jpg").string()};
    info.insert(info.end(), files.begin(), files.end());
    add.insert(add.end(), files.begin(), files.end());
    EXPECT_EQ(RunCovriloCli(info, env, dir / "info").ExitCode, 0);
    EXPECT_EQ(RunCovriloCli(add, env, dir / "add").ExitCode, 0);
    EXPECT_FALSE(fs::exists(log)) << "a file was mapped:\n" << ReadFileText(log);
}

}  // namespace
}  // namespace covrilo::test
