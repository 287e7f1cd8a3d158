// SPDX-License-Identifier: MIT
// Faults at every file system call of a save. covrilo-cli runs under the shim of
// fault_shim.c, which fails the n-th write, pwrite, fsync, fdatasync, rename(at), ftruncate,
// fallocate, copy_file_range, fchmod, fchown, close or flock on the file's folder (once, for
// good, or as a short write, with EIO and ENOSPC) or kills the process before or after it,
// for every n of four saves: an add that rewrites the file, an add in place, an add in
// place whose ID3v1 + Lyrics3 tail grows, and a remove (a rewrite); a fifth walk fails the
// reads instead. After every run:
//   - a file reported OK / Deleted is byte-identical to the fault-free result, at once;
//   - after the next run has met it (`info`, which restores from a journal), a file
//     reported Error is byte-identical to the original, or, when the fault hit at or after
//     the commit point (the rename of a rewrite, the sync of an in-place write; for a call
//     failing for good: when a later call of that name comes at or after it), to the
//     fault-free result; a killed run's file is one of the two;
//   - a temporary file left by a killed run already has the file's permission bits;
//   - after the next save of the file no temporary or journal file of ours is left, and the
//     file is the fault-free result.
// The short walk (in scripts/test.sh) gives every call of every save one failing mode and
// one kill, the modes taken in turn; COVRILO_FAULT_WALK=full gives every call every mode:
//   COVRILO_FAULT_WALK=full build/test/tests/fault/test_fault --gtest_filter='FaultWalk*'
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "FaultTestUtil.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

struct TMode {
    const char* Mode;
    const char* Err;
    bool Kill;
};
const TMode kFailModes[] = {
    {"once", "EIO", false},      {"once", "ENOSPC", false}, {"always", "EIO", false},
    {"always", "ENOSPC", false}, {"short", "EIO", false},
};
const TMode kKillModes[] = {{"kill-before", "", true}, {"kill-after", "", true}};

struct TScenario {
    const char* Name;
    const char* Command;  // add | remove
    const char* Expect;   // "rewrite" or "in place"; nullptr: either (it depends on the file system)
    Bytes Original;
    const char* Calls = nullptr;  // which calls fail; nullptr: the writing ones
};

// What came of one faulty run, for the table.
struct TTally {
    int Calls = 0, Runs = 0;
    int Ok = 0, ErrorOriginal = 0, ErrorSaved = 0, KilledOriginal = 0, KilledSaved = 0, RestoredByNextRun = 0;
};

struct TCall {
    int Index;
    std::string Name, Path;
};

std::vector<TCall> ParseLog(const fs::path& Log) {
    std::vector<TCall> calls;
    std::ifstream in(Log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        TCall c;
        fields >> c.Index >> c.Name;
        std::getline(fields >> std::ws, c.Path);
        calls.push_back(c);
    }
    return calls;
}

class FaultWalk : public ::testing::Test {
   protected:
    void SetUp() override {
        if (std::string(kCli).empty()) GTEST_SKIP() << "covrilo-cli is not built";
        if (std::string(kShim).empty()) GTEST_SKIP() << "the fault shim is not built";
        side_ = std::make_unique<TempDir>();
        // The saves run where blocks can be inserted and taken out (ext4: the temp folder, or
        // a loop-mounted image), so that those paths are walked too.
        work_ = std::make_unique<TempDir>();
        base_ = work_->Path();
        if (!InsertsBlocks(base_)) {
            mount_ = std::make_unique<TMountedDir>("ext4");
            if (!mount_->Path().empty())
                base_ = mount_->Path();
            else
                std::cout << "[ note    ] blocks are not shifted here (" << mount_->Reason()
                          << "): those saves are walked as rewrites\n";
        }
        WriteFileBytes(*side_ / "cover.jpg", Jpeg(120, 120, 3));
        cover_ = ReadFileBytes(*side_ / "cover.jpg");
    }

    std::map<std::string, std::string> Env(const fs::path& WorkDir, const std::string& At, const TMode& Mode,
                                           const char* Calls, const fs::path& Log = {}) const {
        std::map<std::string, std::string> env = {
            {"COVRILO_FAULT_AT", At}, {"COVRILO_FAULT_MODE", Mode.Mode}, {"COVRILO_FAULT_ERRNO", Mode.Err}};
        if (Calls) env["COVRILO_FAULT_CALLS"] = Calls;
        if (!Log.empty()) env["COVRILO_FAULT_LOG"] = Log.string();
        return ShimEnv(WorkDir, env);
    }
    // The modes a call is walked with: every one (the full walk), or one failing mode and one
    // kill, taken in turn.
    static std::vector<TMode> ModesFor(const TCall& Call) {
        const char* walk = std::getenv("COVRILO_FAULT_WALK");
        if (walk != nullptr && std::string(walk) == "full") {
            std::vector<TMode> modes(std::begin(kFailModes), std::end(kFailModes));
            modes.insert(modes.end(), std::begin(kKillModes), std::end(kKillModes));
            return modes;
        }
        return {kFailModes[static_cast<size_t>(Call.Index) % std::size(kFailModes)],
                kKillModes[static_cast<size_t>(Call.Index) % std::size(kKillModes)]};
    }
    std::vector<std::string> Args(const TScenario& S, const fs::path& File) const {
        std::vector<std::string> args = {S.Command, "--settings", (*side_ / "settings.xml").string()};
        if (std::string(S.Command) == "add")
            args.insert(args.end(), {"--cover", (*side_ / "cover.jpg").string()});
        args.push_back(File.string());
        return args;
    }

    // Walks the scenario; answers the tally.
    TTally Walk(const TScenario& S) {
        TTally tally;
        TempDir dir;
        const fs::path work = base_ / "music";
        const fs::path file = work / "song.mp3";
        auto fresh = [&]() {
            fs::remove_all(work);
            fs::create_directory(work);
            WriteFileBytes(file, S.Original);
            fs::permissions(file, fs::perms(0640));
        };

        // The fault-free save: its result, and the calls it makes.
        fresh();
        const fs::path log = dir / "calls.log";
        const TCliResult clean =
            RunCovriloCli(Args(S, file), Env(work, "0", kFailModes[0], S.Calls, log), dir / "run");
        const std::string done = std::string(S.Command) == "add" ? "OK" : "Deleted";
        EXPECT_EQ(clean.StatusOf(file), done) << clean.Describe();
        const Bytes saved = ReadFileBytes(file);
        EXPECT_NE(saved, S.Original);
        const std::vector<TCall> calls = ParseLog(log);
        tally.Calls = static_cast<int>(calls.size());
        std::cout << "[ calls   ] " << S.Name << ":";
        for (const TCall& c : calls)
            std::cout << " " << c.Name << "(" << fs::path(c.Path).filename().string().substr(0, 24) << ")";
        std::cout << "\n";
        EXPECT_GT(tally.Calls, 0);
        // The commit point: the rename of a rewrite; in place, the sync of the file after its
        // last write, or, where whole blocks are taken out after the writes, that collapse
        // (from there on the save is finished rather than undone). The path a save takes
        // depends on the file system (blocks are inserted or taken out on ext4 and XFS only).
        int commit = static_cast<int>(calls.size()) + 1;
        int lastWrite = 0;
        bool renamed = false;
        for (const TCall& c : calls) {
            if (c.Path != file.string()) continue;
            if (c.Name == "renameat") {
                commit = c.Index;
                renamed = true;
                break;
            }
            if (c.Name == "pwrite") lastWrite = c.Index;
        }
        for (const TCall& c : calls) {
            if (renamed || c.Path != file.string() || c.Index < lastWrite || lastWrite == 0) continue;
            if (c.Name == "fallocate" || c.Name == "fsync") {
                commit = c.Index;
                break;
            }
        }
        const bool shifted = std::any_of(calls.begin(), calls.end(), [&](const TCall& C) {
            return C.Name == "fallocate" && C.Path == file.string() && lastWrite > 0 && !renamed;
        });
        std::cout << "[ path    ] " << S.Name << ": "
                  << (renamed   ? "rewrite"
                      : shifted ? "in place, blocks shifted (or room reserved)"
                                : "in place")
                  << "\n";
        if (S.Expect != nullptr) {
            EXPECT_EQ(std::string(renamed ? "rewrite" : "in place"), S.Expect)
                << "the save took another path";
        }
        if (S.Calls == nullptr) {
            EXPECT_LE(commit, tally.Calls) << "no commit point among the calls";
        }
        // Whether a fault at this call can hit at or after the commit point: the call itself,
        // or, failing for good, a later call of the same name.
        auto reachesCommit = [&](const TCall& Call, const TMode& Mode) {
            if (Call.Index >= commit) return true;
            if (std::string(Mode.Mode) != "always") return false;
            for (const TCall& c : calls)
                if (c.Index >= commit && c.Name == Call.Name) return true;
            return false;
        };

        for (const TCall& call : calls) {
            for (const TMode& mode : ModesFor(call)) {
                SCOPED_TRACE(std::string(S.Name) + ": call " + std::to_string(call.Index) + " (" + call.Name +
                             " " + call.Path + ") " + mode.Mode + " " + mode.Err);
                fresh();
                ++tally.Runs;
                const TCliResult run = RunCovriloCli(
                    Args(S, file), Env(work, std::to_string(call.Index), mode, S.Calls), dir / "run");
                const std::string status = run.StatusOf(file);
                const Bytes after = ReadFileBytes(file);
                if (mode.Kill) {
                    EXPECT_EQ(run.Signal, SIGKILL) << run.Describe();
                    // A temporary file that already holds data has the file's bits already.
                    for (const std::string& name : OurLeftovers(work)) {
                        struct stat st {};
                        if (::stat((work / name).c_str(), &st) == 0 && st.st_size > 0 &&
                            name.find("journal") == std::string::npos) {
                            EXPECT_EQ(st.st_mode & 07777, 0640u) << name;
                        }
                    }
                } else if (status == done) {
                    EXPECT_EQ(run.ExitCode, 0) << run.Describe();
                    EXPECT_EQ(after, saved) << "reported " << done << " but not the saved file\n"
                                            << run.Describe();
                    ++tally.Ok;
                } else {
                    EXPECT_EQ(status, "Error") << run.Describe();
                    EXPECT_EQ(run.ExitCode, 1) << run.Describe();
                    EXPECT_NE(run.Err.find("covrilo-cli: " + file.string() + ": "), std::string::npos)
                        << run.Describe();
                }
                // The next run restores what a journal says must be undone.
                const bool journal = fs::exists(work / "song.mp3.covrilo-journal.$$$");
                if (after != S.Original && after != saved) {
                    EXPECT_TRUE(journal) << "a torn file without a journal to restore it\n" << run.Describe();
                }
                const TCliResult info = RunCovriloCli({"info", file.string()}, {}, dir / "info");
                const Bytes next = ReadFileBytes(file);
                if (next != after) ++tally.RestoredByNextRun;
                const bool original = next == S.Original, isSaved = next == saved;
                EXPECT_TRUE(original || isSaved)
                    << "neither the original nor the saved file after the next run\n"
                    << run.Describe() << info.Describe();
                if (mode.Kill) {
                    ++(isSaved ? tally.KilledSaved : tally.KilledOriginal);
                } else if (status != done) {
                    if (isSaved) {
                        EXPECT_TRUE(reachesCommit(call, mode))
                            << "an Error before the commit point left the saved file";
                        ++tally.ErrorSaved;
                    } else {
                        ++tally.ErrorOriginal;
                    }
                }
                // The next save leaves nothing of ours behind and gives the saved file.
                const TCliResult again = RunCovriloCli(Args(S, file), {}, dir / "again");
                EXPECT_EQ(again.StatusOf(file), done) << again.Describe();
                EXPECT_EQ(ReadFileBytes(file), saved);
                EXPECT_EQ(OurLeftovers(work), std::vector<std::string>{});
                if (HasFatalFailure()) return tally;
            }
        }
        return tally;
    }

    static void Report(const std::vector<std::pair<std::string, TTally>>& Rows) {
        std::ostringstream table;
        table << "| save | calls | runs | OK = saved | Error = original | Error = saved (after commit) | "
                 "killed "
                 "= original | killed = saved | restored by the next run "
                 "|\n|---|---|---|---|---|---|---|---|---|\n";
        for (const auto& [name, t] : Rows)
            table << "| " << name << " | " << t.Calls << " | " << t.Runs << " | " << t.Ok << " | "
                  << t.ErrorOriginal << " | " << t.ErrorSaved << " | " << t.KilledOriginal << " | "
                  << t.KilledSaved << " | " << t.RestoredByNextRun << " |\n";
        std::cout << table.str();
        std::ofstream(fs::path(COVRILO_BINARY_DIR) / "fault-walk.md", std::ios::app) << table.str();
    }

    std::unique_ptr<TempDir> side_, work_;
    std::unique_ptr<TMountedDir> mount_;
    fs::path base_;  // where the files to save lie
    Bytes cover_;
};

const std::string kLongTitle = "A title longer than the thirty bytes of ID3v1";

TEST_F(FaultWalk, EverySaveIsAtomicAndItsStatusHonest) {
    const Bytes audio = Audio(240);  // about 100 KB, 6 s
    // In place: the old front cover is a little larger than the new one.
    Bytes oldCover = cover_;
    oldCover.resize(oldCover.size() + 1500, 0x5A);
    const Bytes inPlaceTag = Tag23(
        {Text23("TPE1", "Artist"), Text23("TIT2", kLongTitle), Text23("TALB", "Album"), Apic23(3, oldCover)},
        200);
    const Bytes pictures = Tag23({Text23("TPE1", "Artist"), Apic23(3, Jpeg(100, 100, 9)),
                                  Apic23(4, Jpeg(90, 90, 11)), Text23("TIT2", "T")},
                                 100);
    const Bytes onlyPictures = Tag23({Apic23(3, Jpeg(100, 100, 9)), Apic23(4, Jpeg(90, 90, 11))}, 100);
    // A tag area of whole pages that goes: the audio moves by whole pages, which the kernel
    // copies (copy_file_range) where elsewhere the rewrite's buffer does.
    const std::vector<Bytes> pagedFrames = {Apic23(3, Jpeg(100, 100, 9)), Apic23(4, Jpeg(90, 90, 11))};
    const size_t pagedUsed = Tag23(pagedFrames, 0).size();
    const Bytes onlyPicturePaged =
        Tag23(pagedFrames, static_cast<uint32_t>((pagedUsed / 4096 + 2) * 4096 - pagedUsed));
    // A tag of more than a block whose padding the cover does not fit: where the file system
    // can, zero blocks are inserted inside its padding.
    const Bytes roomy = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 5000);
    const std::vector<TScenario> scenarios = {
        {"add, rewrite", "add", "rewrite",
         Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 64), audio,
                 Id3v1Record("Title", "Artist")})},
        {"add, in place", "add", "in place", Concat({inPlaceTag, audio, Id3v1Record("Title", "Artist")})},
        {"add, in place, growing ID3v1 + Lyrics3 tail", "add", "in place",
         Concat({inPlaceTag, audio, Lyrics3AndRecord("Short", "Artist", "la la la\r\nsecond line")})},
        {"add, grown by inserting blocks (a rewrite elsewhere)", "add", nullptr,
         Concat({roomy, audio, Id3v1Record("Title", "Artist")})},
        {"add, grown by inserting blocks, growing ID3v1 + Lyrics3 tail", "add", nullptr,
         Concat({roomy, audio, Lyrics3AndRecord("Short", "Artist", "la la la\r\nsecond line")})},
        {"remove, shrunk by taking out blocks (a rewrite elsewhere)", "remove", nullptr,
         Concat({pictures, audio, Id3v1Record("T", "Artist")})},
        {"remove, rewrite (no frame left)", "remove", "rewrite",
         Concat({onlyPictures, audio, Id3v1Record("T", "Artist")})},
        {"remove, rewrite copied by the kernel (no frame left, a tag area of whole pages)", "remove",
         "rewrite", Concat({onlyPicturePaged, audio, Id3v1Record("T", "Artist")})},
        {"add, in place, reads failing", "add", "in place",
         Concat({inPlaceTag, audio, Id3v1Record("Title", "Artist")}), "read,pread"},
    };
    std::vector<std::pair<std::string, TTally>> rows;
    for (const TScenario& s : scenarios) {
        rows.emplace_back(s.Name, Walk(s));
        if (HasFatalFailure()) break;
    }
    Report(rows);
}

TEST_F(FaultWalk, ABatchOfSavesIsAtomicFileByFile) {
    // One run over four files, whose saves are made durable together (one sync of the file
    // system for all): a rewrite, one in place, one grown by inserting blocks (where the file
    // system can), one whose tag area shrinks. Every call of the run fails or is killed in
    // turn; every file ends as the original or the saved file, and OK means saved.
    const Bytes audio = Audio(240);
    Bytes oldCover = cover_;
    oldCover.resize(oldCover.size() + 1500, 0x5A);
    const std::vector<Bytes> originals = {
        Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 64), audio,
                Id3v1Record("Title", "Artist")}),
        Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", kLongTitle), Apic23(3, oldCover)}, 200),
                audio, Id3v1Record("Title", "Artist")}),
        Concat(
            {Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 5000), audio, Id3v1Record("T", "A")}),
        Concat({Tag23({Text23("TPE1", "Artist"), Apic23(3, Jpeg(150, 150, 4)), Text23("TIT2", "T")}, 9000),
                audio}),
    };
    TempDir dir;
    const fs::path work = base_ / "music";
    std::vector<fs::path> files;
    for (size_t i = 0; i < originals.size(); ++i)
        files.push_back(work / ("song" + std::to_string(i) + ".mp3"));
    auto fresh = [&]() {
        fs::remove_all(work);
        fs::create_directory(work);
        for (size_t i = 0; i < files.size(); ++i) WriteFileBytes(files[i], originals[i]);
    };
    std::vector<std::string> args = {"add", "--settings", (*side_ / "settings.xml").string(), "--cover",
                                     (*side_ / "cover.jpg").string()};
    for (const fs::path& f : files) args.push_back(f.string());
    fresh();
    const fs::path log = dir / "calls.log";
    const TCliResult clean = RunCovriloCli(args, Env(work, "0", kFailModes[0], nullptr, log), dir / "run");
    std::vector<Bytes> saved;
    for (const fs::path& f : files) {
        EXPECT_EQ(clean.StatusOf(f), "OK") << clean.Describe();
        saved.push_back(ReadFileBytes(f));
    }
    const std::vector<TCall> calls = ParseLog(log);
    std::cout << "[ calls   ] a batch of four:";
    for (const TCall& c : calls)
        std::cout << " " << c.Name << "(" << fs::path(c.Path).filename().string().substr(0, 12) << ")";
    std::cout << "\n";
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const TCall& c) { return c.Name == "syncfs"; }))
        << "the four saves were not made durable together";
    int runs = 0;
    for (const TCall& call : calls) {
        for (const TMode& mode : ModesFor(call)) {
            SCOPED_TRACE("call " + std::to_string(call.Index) + " (" + call.Name + " " + call.Path + ") " +
                         mode.Mode + " " + mode.Err);
            fresh();
            ++runs;
            const TCliResult run =
                RunCovriloCli(args, Env(work, std::to_string(call.Index), mode, nullptr), dir / "run");
            if (mode.Kill) {
                EXPECT_EQ(run.Signal, SIGKILL) << run.Describe();
            }
            for (size_t i = 0; i < files.size(); ++i) {
                if (run.StatusOf(files[i]) == "OK") {
                    EXPECT_EQ(ReadFileBytes(files[i]), saved[i]) << "reported OK but not saved: " << files[i];
                } else if (!mode.Kill) {
                    EXPECT_EQ(run.StatusOf(files[i]), "Error") << run.Describe();
                }
            }
            std::vector<std::string> info = {"info"};
            for (const fs::path& f : files) info.push_back(f.string());
            RunCovriloCli(info, {}, dir / "info");
            for (size_t i = 0; i < files.size(); ++i) {
                const Bytes now = ReadFileBytes(files[i]);
                EXPECT_TRUE(now == originals[i] || now == saved[i])
                    << "neither the original nor the saved file: " << files[i] << "\n"
                    << run.Describe();
            }
            const TCliResult again = RunCovriloCli(args, {}, dir / "again");
            for (size_t i = 0; i < files.size(); ++i) {
                EXPECT_EQ(again.StatusOf(files[i]), "OK") << again.Describe();
                EXPECT_EQ(ReadFileBytes(files[i]), saved[i]);
            }
            EXPECT_EQ(OurLeftovers(work), std::vector<std::string>{});
            if (HasFatalFailure() || HasFailure()) return;
        }
    }
    std::cout << "[ results ] a batch of four: " << calls.size() << " calls, " << runs << " runs\n";
}

}  // namespace
}  // namespace covrilo::test
