// SPDX-License-Identifier: MIT
// Several programs at the same files: two covrilo-cli runs over the same twenty files,
// song.mp3 and song.mp2 (and song.MP3) tagged at once, a lock that another program takes and
// lets go at random while the tags are read, and a file that is still being written. In
// every trial every file ends up either as the original or as the tagged file, a file
// reported OK is the tagged file, and nothing of ours is left in the folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FaultTestUtil.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

int Trials(int Default) {
    const char* v = std::getenv("COVRILO_CONCURRENCY_TRIALS");
    return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : Default;
}

class Concurrency : public ::testing::Test {
   protected:
    void SetUp() override {
        if (std::string(kCli).empty()) GTEST_SKIP() << "covrilo-cli is not built";
        WriteFileBytes(side_ / "cover.jpg", Jpeg(120, 120, 3));
        Bytes oldCover = ReadFileBytes(side_ / "cover.jpg");
        oldCover.resize(oldCover.size() + 1500, 0x5A);
        const Bytes audio = Audio(120);
        // One whose tag must grow (a rewrite), one whose new tag fits the old area (in place).
        originals_ = {
            Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 64), audio,
                    Id3v1Record("Title", "Artist")}),
            Concat({Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "A title longer than thirty bytes, yes"),
                           Apic23(3, oldCover)},
                          200),
                    audio, Lyrics3AndRecord("Short", "Artist", "la la")}),
        };
        for (const Bytes& original : originals_) tagged_.push_back(TaggedOnce(original));
    }

    std::vector<std::string> AddArgs(const std::string& Settings, const std::vector<fs::path>& Files) const {
        std::vector<std::string> args = {"add", "--cover", (side_ / "cover.jpg").string(), "--settings",
                                         (side_ / Settings).string()};
        for (const fs::path& f : Files) args.push_back(f.string());
        return args;
    }
    // The file that a fault-free add makes of Original.
    Bytes TaggedOnce(const Bytes& Original) const {
        TempDir dir;
        WriteFileBytes(dir / "x.mp3", Original);
        const TCliResult run = RunCovriloCli(AddArgs("settings.xml", {dir / "x.mp3"}), {}, dir / "run");
        EXPECT_EQ(run.StatusOf(dir / "x.mp3"), "OK") << run.Describe();
        return ReadFileBytes(dir / "x.mp3");
    }
    // The status is true of the file, and the file is one of the two it may be.
    void ExpectHonest(const std::vector<std::string>& Statuses, const Bytes& Now, size_t Kind) const {
        const bool original = Now == originals_[Kind], tagged = Now == tagged_[Kind];
        EXPECT_TRUE(original || tagged) << "neither the original nor the tagged file";
        for (const std::string& status : Statuses) {
            EXPECT_TRUE(status == "OK" || status == "Error") << status;
            if (status == "OK") {
                EXPECT_TRUE(tagged) << "reported OK but not tagged";
            }
        }
    }

    TempDir side_;
    std::vector<Bytes> originals_, tagged_;
};

TEST_F(Concurrency, TwoRunsOverTheSameTwentyFiles) {
    const int trials = Trials(20);
    int ok = 0, errors = 0;
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        TempDir dir;
        std::vector<fs::path> files;
        for (int i = 0; i < 20; ++i) {
            files.push_back(dir / ("track " + std::to_string(i) + ".mp3"));
            WriteFileBytes(files.back(), originals_[static_cast<size_t>(i) % originals_.size()]);
        }
        TCliProcess first(AddArgs("one.xml", files), {}, dir / "one");
        TCliProcess second(AddArgs("two.xml", files), {}, dir / "two");
        const TCliResult a = first.Wait(), b = second.Wait();
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i].filename().string() + "\n" + a.Describe() + b.Describe());
            const std::vector<std::string> statuses = {a.StatusOf(files[i]), b.StatusOf(files[i])};
            ExpectHonest(statuses, ReadFileBytes(files[i]), i % originals_.size());
            for (const std::string& s : statuses) ++(s == "OK" ? ok : errors);
        }
        // A file that one run could not have is reported with its reason.
        for (const TCliResult* run : {&a, &b}) {
            EXPECT_EQ(run->ExitCode, run->Out.find("Error\t") != std::string::npos ? 1 : 0)
                << run->Describe();
            for (const fs::path& file : files)
                if (run->StatusOf(file) == "Error") {
                    EXPECT_NE(run->Err.find("covrilo-cli: " + file.string() + ": "), std::string::npos);
                }
        }
        EXPECT_EQ(OurLeftovers(dir.Path()), std::vector<std::string>{});
        if (HasFailure()) break;
    }
    std::cout << "[ results ] " << trials << " trials: " << ok << " OK, " << errors << " Error\n";
}

TEST_F(Concurrency, SongMp3AndSongMp2AtOnce) {
    const int trials = Trials(25);
    for (const char* other : {"song.mp2", "song.MP3"}) {
        for (int trial = 0; trial < trials; ++trial) {
            SCOPED_TRACE(std::string(other) + ", trial " + std::to_string(trial));
            TempDir dir;
            const fs::path a = dir / "song.mp3", b = dir / other;
            WriteFileBytes(a, originals_[0]);
            WriteFileBytes(b, originals_[1]);
            TCliProcess first(AddArgs("one.xml", {a}), {}, dir / "one");
            TCliProcess second(AddArgs("two.xml", {b}), {}, dir / "two");
            const TCliResult ra = first.Wait(), rb = second.Wait();
            // Two files, two saves: each gets its own content, and both succeed.
            EXPECT_EQ(ra.StatusOf(a), "OK") << ra.Describe();
            EXPECT_EQ(rb.StatusOf(b), "OK") << rb.Describe();
            EXPECT_EQ(ReadFileBytes(a), tagged_[0]);
            EXPECT_EQ(ReadFileBytes(b), tagged_[1]);
            EXPECT_EQ(OurLeftovers(dir.Path()), std::vector<std::string>{});
            if (HasFailure()) return;
        }
    }
}

TEST_F(Concurrency, ALockTakenAndLetGoAtRandomWhileTheTagsAreRead) {
    const int trials = Trials(60);
    int ok = 0, locked = 0;
    std::mt19937 random(42);
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const size_t kind = static_cast<size_t>(trial) % originals_.size();
        TempDir dir;
        const fs::path file = dir / "song.mp3";
        WriteFileBytes(file, originals_[kind]);
        std::atomic<bool> stop{false};
        const unsigned seed = random();
        // Another program that locks the file now and then, shared or exclusive, for a
        // moment (a player, an indexer, another tagger).
        std::thread other([&] {
            std::mt19937 r(seed);
            const int fd = ::open(file.c_str(), O_RDONLY);
            while (!stop) {
                ::flock(fd, (r() % 2) ? LOCK_EX : LOCK_SH);
                std::this_thread::sleep_for(std::chrono::microseconds(r() % 3000));
                ::flock(fd, LOCK_UN);
                std::this_thread::sleep_for(std::chrono::microseconds(r() % 3000));
            }
            ::close(fd);
        });
        const TCliResult run = RunCovriloCli(AddArgs("settings.xml", {file}), {}, dir / "run");
        stop = true;
        other.join();
        const std::string status = run.StatusOf(file);
        ExpectHonest({status}, ReadFileBytes(file), kind);
        if (status == "OK") ++ok;
        if (status == "Error") {
            ++locked;
            EXPECT_NE(run.Err.find("locked by another program"), std::string::npos) << run.Describe();
        }
        EXPECT_EQ(OurLeftovers(dir.Path()), std::vector<std::string>{});
        if (HasFailure()) break;
    }
    std::cout << "[ results ] " << trials << " trials: " << ok << " OK, " << locked << " Error (locked)\n";
}

TEST_F(Concurrency, AFileStillBeingWrittenKeepsAllItsBytes) {
    {
        // The check rests on read leases: the owner's, or any with CAP_LEASE.
        TempDir probe;
        WriteFileBytes(probe / "p", Bytes{1});
        const int fd = ::open((probe / "p").c_str(), O_RDONLY);
        const bool leases = ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
        ::close(fd);
        if (!leases)
            GTEST_SKIP() << "no read leases here (" << std::strerror(errno) << "): a writer cannot be seen";
    }
    const int trials = Trials(10);
    const Bytes head = Tag23({Text23("TPE1", "Artist"), Text23("TIT2", "Title")}, 64);
    const Bytes chunk = Audio(4);
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        TempDir dir;
        const fs::path file = dir / "download.mp3";
        const Bytes start = Concat({head, Audio(40)});
        WriteFileBytes(file, start);
        // A download that keeps appending while the run goes on, and for a while after it.
        std::atomic<bool> stop{false};
        std::atomic<int> written{0};
        std::thread download([&] {
            const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
            while (!stop) {
                if (::write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size())) ++written;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            for (int i = 0; i < 20; ++i)
                if (::write(fd, chunk.data(), chunk.size()) == static_cast<ssize_t>(chunk.size())) ++written;
            ::close(fd);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(trial % 5));
        const TCliResult run = RunCovriloCli(AddArgs("settings.xml", {file}), {}, dir / "run");
        stop = true;
        download.join();
        // Refused while it is written: the whole download is there, nothing cut, nothing in
        // an old copy.
        EXPECT_EQ(run.StatusOf(file), "Error") << run.Describe();
        Bytes expected = start;
        for (int i = 0; i < written; ++i) expected.insert(expected.end(), chunk.begin(), chunk.end());
        EXPECT_EQ(ReadFileBytes(file), expected);
        EXPECT_EQ(OurLeftovers(dir.Path()), std::vector<std::string>{});
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace covrilo::test
