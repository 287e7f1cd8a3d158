// SPDX-License-Identifier: MIT
// Saving through TFileTransaction: in place through the rollback journal, by rewrite through
// a temporary file of our own, what a rewrite keeps of the file (owner, mode, attributes,
// holes, hard links), refusals, and what the next transaction does with leftovers.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "io/FileTransaction.h"
#include "io/SaveJournal.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using namespace test;
namespace fs = std::filesystem;

Bytes Cat(std::initializer_list<Bytes> Parts) {
    Bytes out;
    for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Slice(const Bytes& B, size_t From, size_t Length) {
    return Bytes(B.begin() + static_cast<std::ptrdiff_t>(From),
                 B.begin() + static_cast<std::ptrdiff_t>(From + Length));
}

std::vector<std::string> Names(const fs::path& Dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat Stat(const fs::path& File) {
    struct stat st {};
    EXPECT_EQ(::stat(File.c_str(), &st), 0) << File;
    return st;
}

// Runs Fn in a child process as user and group 65534 (when we are root; else as we are).
// Nothing when the child cannot switch. The child answers with its exit code.
std::optional<int> AsNobody(const std::function<int()>& Fn) {
    if (::geteuid() != 0) return Fn();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(Fn());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 99)
        return std::nullopt;
    return WEXITSTATUS(status);
}

const Bytes kHead = Pattern(4096, 1);
const Bytes kAudio = Pattern(200000, 2);
const Bytes kTail = Pattern(128, 3);

// head | audio | tail, with the head and the tail to be replaced.
struct Fixture {
    TempDir Dir;
    fs::path File = Dir / "song.mp3";
    Bytes Original = Cat({kHead, kAudio, kTail});
    Fixture() { WriteFileBytes(File, Original); }
    int64_t TailStart() const { return static_cast<int64_t>(kHead.size() + kAudio.size()); }
};

TEST(FileTransaction, InPlaceWritesTheSplicesAndLeavesNothingBehind) {
    struct Case {
        const char* Name;
        Bytes NewTail;
    };
    const Case cases[] = {
        {"same size", Pattern(128, 9)},
        {"growing end", Pattern(5000, 9)},
        {"shrinking end", Pattern(10, 9)},
        {"end removed", Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        const Bytes newHead = Pattern(4096, 7);
        {
            TFileTransaction t(f.File);
            t.CommitInPlace({{0, 4096, newHead}, {f.TailStart(), 128, c.NewTail}});
            EXPECT_TRUE(t.Committed());
            EXPECT_EQ(t.Identity().Size, static_cast<int64_t>(4096 + kAudio.size() + c.NewTail.size()));
        }
        EXPECT_EQ(ReadFileBytes(f.File), Cat({newHead, kAudio, c.NewTail}));
        EXPECT_EQ(Names(f.Dir.Path()), std::vector<std::string>{"song.mp3"});
    }
}

TEST(FileTransaction, InPlaceWithNothingChangedWritesNothing) {
    Fixture f;
    const struct stat before = Stat(f.File);
    TFileTransaction t(f.File);
    t.CommitInPlace({{0, 4096, kHead}});
    EXPECT_TRUE(t.Committed());
    const struct stat after = Stat(f.File);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

TEST(FileTransaction, RewriteWritesANewFileAndKeepsWhatTheOldOneCarried) {
    Fixture f;
    ASSERT_EQ(::chmod(f.File.c_str(), 0640), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(f.File.c_str(), 65534, 65534), 0);
    }
    const bool xattrs = ::setxattr(f.File.c_str(), "user.covrilo.test", "kept", 4, 0) == 0;
    const struct stat before = Stat(f.File);
    const Bytes newHead = Pattern(9000, 5);
    {
        TFileTransaction t(f.File);
        t.CommitRewrite({{0, 4096, newHead}});
    }
    EXPECT_EQ(ReadFileBytes(f.File), Cat({newHead, kAudio, kTail}));
    const struct stat after = Stat(f.File);
    EXPECT_NE(after.st_ino, before.st_ino) << "not rewritten";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (xattrs) {
        char value[16] = {};
        EXPECT_EQ(::getxattr(f.File.c_str(), "user.covrilo.test", value, sizeof value), 4);
        EXPECT_EQ(std::string(value, 4), "kept");
    } else {
        std::cout
            << "[ SKIPPED ] extended attributes: the test folder's file system takes no user.* attributes\n";
    }
    EXPECT_EQ(Names(f.Dir.Path()), std::vector<std::string>{"song.mp3"});
}

TEST(FileTransaction, RewriteKeepsAnAccessControlList) {
    Fixture f;
    // A POSIX ACL (user:65534:r-- besides the mode's entries), in the kernel's xattr form:
    // version 2, then (tag, permissions, id) entries.
    auto entry = [](uint16_t Tag, uint16_t Perm, uint32_t Id) {
        Bytes e(8);
        e[0] = static_cast<uint8_t>(Tag), e[1] = static_cast<uint8_t>(Tag >> 8);
        e[2] = static_cast<uint8_t>(Perm), e[3] = static_cast<uint8_t>(Perm >> 8);
        for (int i = 0; i < 4; ++i) e[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(Id >> (8 * i));
        return e;
    };
    const Bytes acl =
        Cat({Bytes{2, 0, 0, 0}, entry(0x01, 6, 0xFFFFFFFF), entry(0x02, 4, 65534), entry(0x04, 4, 0xFFFFFFFF),
             entry(0x10, 4, 0xFFFFFFFF), entry(0x20, 0, 0xFFFFFFFF)});
    if (::setxattr(f.File.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "the test folder's file system takes no POSIX ACLs: " << std::strerror(errno);
    {
        TFileTransaction t(f.File);
        t.CommitRewrite({{0, 4096, Pattern(9000, 5)}});
    }
    Bytes read(256);
    const ssize_t n = ::getxattr(f.File.c_str(), "system.posix_acl_access", read.data(), read.size());
    ASSERT_GT(n, 0);
    read.resize(static_cast<size_t>(n));
    EXPECT_EQ(read, acl);
}

TEST(FileTransaction, RewriteKeepsHolesAsHoles) {
    TempDir dir;
    const fs::path file = dir / "sparse.mp3";
    {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, kHead.data(), kHead.size(), 0), static_cast<ssize_t>(kHead.size()));
        // 64 MiB of hole, then some data at the end.
        ASSERT_EQ(::pwrite(fd, kTail.data(), kTail.size(), 64 << 20), static_cast<ssize_t>(kTail.size()));
        ::close(fd);
    }
    const struct stat before = Stat(file);
    if (before.st_blocks * 512 > 4 << 20) GTEST_SKIP() << "the test folder's file system has no holes";
    {
        TFileTransaction t(file);
        t.CommitRewrite({{0, 4096, Pattern(8192, 5)}});
    }
    const struct stat after = Stat(file);
    EXPECT_EQ(after.st_size, before.st_size + 4096);
    EXPECT_LT(after.st_blocks * 512, 4 << 20) << "the hole was written out";
    auto readAt = [&](int64_t Offset, size_t Length) {
        Bytes part(Length);
        const int fd = ::open(file.c_str(), O_RDONLY);
        EXPECT_EQ(::pread(fd, part.data(), Length, Offset), static_cast<ssize_t>(Length));
        ::close(fd);
        return part;
    };
    EXPECT_EQ(readAt(0, 8192), Pattern(8192, 5));
    EXPECT_EQ(readAt(after.st_size - static_cast<int64_t>(kTail.size()), kTail.size()), kTail);
    EXPECT_EQ(readAt(8192 + 1000, 16), Bytes(16, 0));
}

TEST(FileTransaction, HardLinksStayOneFile) {
    Fixture f;
    const fs::path other = f.Dir / "other name.mp3";
    fs::create_hard_link(f.File, other);
    // In place is fine: both names see the new content.
    {
        TFileTransaction t(f.File);
        t.CommitInPlace({{0, 4096, Pattern(4096, 8)}});
    }
    EXPECT_EQ(ReadFileBytes(other), ReadFileBytes(f.File));
    EXPECT_EQ(Slice(ReadFileBytes(other), 0, 4096), Pattern(4096, 8));
    // A rewrite would separate them: refused, nothing changed.
    const Bytes before = ReadFileBytes(f.File);
    TFileTransaction t(f.File);
    try {
        t.CommitRewrite({{0, 4096, Pattern(9000, 5)}});
        ADD_FAILURE() << "rewrote a file with two names";
    } catch (const EFileRefused& e) {
        EXPECT_NE(e.Reason().find("2 hard links"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(f.File), before);
    EXPECT_EQ(Stat(f.File).st_ino, Stat(other).st_ino);
    EXPECT_EQ(Names(f.Dir.Path()), (std::vector<std::string>{"other name.mp3", "song.mp3"}));
}

TEST(FileTransaction, AFileThatChangedIsRefused) {
    Fixture f;
    {
        TFileTransaction t(f.File);
        TFileIdentity old = t.Identity();
        old.Size -= 1;
        try {
            t.Expect(old);
            ADD_FAILURE() << "accepted another identity";
        } catch (const EFileRefused& e) {
            EXPECT_EQ(e.Reason(), "it changed since it was read");
        }
    }
    // A program that does not lock the file appends to it after the transaction began.
    const int fd = ::open(f.File.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "more", 4), 4);
    ::close(fd);
    const Bytes grown = ReadFileBytes(f.File);
    for (const bool rewrite : {false, true}) {
        TFileTransaction again(f.File);
        const int appender = ::open(f.File.c_str(), O_WRONLY | O_APPEND);
        ASSERT_EQ(::write(appender, "tail", 4), 4);
        ::close(appender);
        EXPECT_THROW(rewrite ? again.CommitRewrite({{0, 4096, Pattern(9000, 5)}})
                             : again.CommitInPlace({{0, 4096, Pattern(4096, 5)}}),
                     EFileRefused);
        EXPECT_EQ(ReadFileBytes(f.File).size(), grown.size() + (rewrite ? 8u : 4u));
    }
    EXPECT_EQ(Names(f.Dir.Path()), std::vector<std::string>{"song.mp3"});
}

TEST(FileTransaction, LockedReadOnlyMissingAndFolders) {
    TempDir dir;
    const fs::path file = dir / "a.mp3";
    WriteFileBytes(file, Pattern(100, 1));
    {
        const int fd = ::open(file.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(fd, LOCK_SH), 0);
        try {
            TFileTransaction t(file);
            ADD_FAILURE() << "opened a locked file";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Reason(), "locked by another program");
            EXPECT_EQ(std::string(e.what()),
                      "Cannot open file " + file.string() + ": locked by another program");
        }
        ::close(fd);
    }
    try {
        TFileTransaction t(dir / "missing.mp3");
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Reason(), "not found");
    }
    try {
        TFileTransaction t(dir.Path());
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Reason(), "is a folder");
    }
    ::mkfifo((dir / "pipe.mp3").c_str(), 0644);
    EXPECT_THROW(TFileTransaction(dir / "pipe.mp3"), EFOpenError);

    // A file that may be read but not written opens, and its commit fails as an open for
    // writing would; a folder where nothing can be created fails the rewrite.
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WriteFileBytes(dir / "writable.mp3", Pattern(100, 1));
    fs::permissions(dir / "writable.mp3", fs::perms::all);
    fs::permissions(dir.Path(), fs::perms(0755));
    const auto result = AsNobody([&] {
        // Each case sets its bit when the commit fails with the expected error and reason.
        struct Case {
            fs::path File;
            bool Rewrite;
            bool CreateError;  // EFCreateError, else EFOpenError
        };
        const Case cases[] = {
            {file, false, false},                 // the file may not be written
            {dir / "writable.mp3", true, true},   // no temporary file in the folder
            {dir / "writable.mp3", false, true},  // in place needs its journal there too
        };
        int code = 0;
        for (size_t i = 0; i < std::size(cases); ++i) {
            try {
                TFileTransaction t(cases[i].File);
                if (cases[i].Rewrite)
                    t.CommitRewrite({{0, 10, Pattern(20, 9)}});
                else
                    t.CommitInPlace({{0, 10, Pattern(10, 9)}});
            } catch (const EFileError& e) {
                const bool create = dynamic_cast<const EFCreateError*>(&e) != nullptr;
                const bool open = dynamic_cast<const EFOpenError*>(&e) != nullptr;
                if ((cases[i].CreateError ? create : open) && e.Reason() == "permission denied")
                    code |= 1 << i;
            } catch (...) {
            }
        }
        return code;
    });
    if (!result) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(*result, 7);
    EXPECT_EQ(ReadFileBytes(file), Pattern(100, 1));
    EXPECT_EQ(ReadFileBytes(dir / "writable.mp3"), Pattern(100, 1));
}

TEST(FileTransaction, ARewriteThatCannotKeepTheOwnerIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    const fs::path file = dir / "root's.mp3";
    WriteFileBytes(file, Pattern(5000, 1));
    // Root's file, writable by group 65534.
    ASSERT_EQ(::chown(file.c_str(), 0, 65534), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
    const auto result = AsNobody([&] {
        try {
            TFileTransaction t(file);
            t.CommitRewrite({{0, 10, Pattern(20, 9)}});
            return 1;
        } catch (const EFileRefused& e) {
            if (e.Reason().find("belongs to user 0") == std::string::npos) return 2;
        } catch (...) {
            return 3;
        }
        // In place keeps the file itself, owner and all.
        try {
            TFileTransaction t(file);
            t.CommitInPlace({{0, 10, Pattern(10, 9)}});
        } catch (...) {
            return 4;
        }
        return 0;
    });
    if (!result) GTEST_SKIP() << "cannot run as an unprivileged user here";
    ASSERT_EQ(*result, 0);
    const struct stat st = Stat(file);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(Slice(ReadFileBytes(file), 0, 10), Pattern(10, 9));
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"root's.mp3"});
}

// ---- leftovers ------------------------------------------------------------------------------

TEST(FileTransaction, OnlyUnlockedTemporaryFilesOfThisFileAreRemoved) {
    Fixture f;
    const std::vector<std::string> others = {
        "song.$$$",                       // the user's own
        "song.mp3.$$$",                   // another program's
        "song.mp3.covrilo-short.$$$",     // not our pattern
        "song.mp2.covrilo-Ab3dE9xZ.$$$",  // ours, but for another file
        "song.mp3.covrilo-Ab3dE9x!.$$$",  // not our alphabet
    };
    for (const std::string& name : others) WriteFileBytes(f.Dir / name, Pattern(10, 4));
    WriteFileBytes(f.Dir / "song.mp3.covrilo-Stale123.$$$", Pattern(10, 4));
    WriteFileBytes(f.Dir / "song.mp3.covrilo-Flacxyz9~", Pattern(10, 4));
    WriteFileBytes(f.Dir / "song.mp3.covrilo-Live0000.$$$", Pattern(10, 4));
    // A live save holds its temporary file locked.
    const int live = ::open((f.Dir / "song.mp3.covrilo-Live0000.$$$").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    { TFileTransaction t(f.File); }
    ::close(live);
    std::vector<std::string> expected = others;
    expected.push_back("song.mp3");
    expected.push_back("song.mp3.covrilo-Live0000.$$$");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(f.Dir.Path()), expected);
}

TEST(FileTransaction, NamesOfOurFilesStayWithinTheLimitAndBelongToOneFile) {
    const std::string longName(250, 'x');
    const std::string journal = JournalNameFor(longName + ".mp3");
    EXPECT_LE(journal.size(), 255u);
    EXPECT_NE(journal, JournalNameFor(longName + ".mp2"));
    EXPECT_EQ(JournalNameFor("song.mp3"), "song.mp3.covrilo-journal.$$$");
    EXPECT_TRUE(IsTemporaryNameFor("song.mp3", "song.mp3.covrilo-Ab3dE9xZ.$$$", ".$$$"));
    EXPECT_FALSE(IsTemporaryNameFor("song.mp3", "song.mp3.covrilo-Ab3dE9xZ.$$$", "~"));
    EXPECT_FALSE(IsTemporaryNameFor("song.MP3", "song.mp3.covrilo-Ab3dE9xZ.$$$", ".$$$"));
    // A long name's temporary file is still found as its own.
    TempDir dir;
    const fs::path file = dir / (longName.substr(0, 240) + ".mp3");
    WriteFileBytes(file, Pattern(100, 1));
    {
        TFileTransaction t(file);
        t.CommitRewrite({{0, 10, Pattern(20, 9)}});
    }
    {
        TFileTransaction t(file);
        t.CommitInPlace({{0, 10, Pattern(10, 7)}});
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{file.filename().string()});
}

// ---- the journal ----------------------------------------------------------------------------

TEST(SaveJournal, SerializesAndRejectsEveryDamage) {
    TSaveJournal j;
    j.Device = 1;
    j.Inode = 2;
    j.OldSize = 1000;
    j.NewSize = 1200;
    j.OldRegions = {{0, 10}, {900, 100}};
    j.OldBytes = {Pattern(10, 1), Pattern(100, 2)};
    j.NewRegions = {{0, 10}, {900, 300}};
    j.NewBytes = {Pattern(10, 3), Pattern(300, 4)};
    j.Probes = {{10, 50, 0x99}};
    const Bytes bytes = j.Serialize();
    const auto back = TSaveJournal::Parse(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->OldRegions, j.OldRegions);
    EXPECT_EQ(back->OldBytes, j.OldBytes);
    EXPECT_EQ(back->NewRegions, j.NewRegions);
    EXPECT_EQ(back->Probes, j.Probes);
    EXPECT_EQ(back->NewBytes, j.NewBytes);
    // Every cut and every flipped bit makes it a journal that never was.
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(TSaveJournal::Parse(Slice(bytes, 0, n))) << n;
    for (size_t i = 0; i < bytes.size(); i += 7) {
        Bytes damaged = bytes;
        damaged[i] ^= 0x10;
        EXPECT_FALSE(TSaveJournal::Parse(damaged)) << i;
    }
    EXPECT_EQ(Crc64(ToBytes("123456789")), 0x995DC9BBDF1939FAull);  // the CRC-64/XZ check value
    // Eight bytes at a time or one: split anywhere and chained, the same value.
    const Bytes longOne = Pattern(1000, 17);
    for (const size_t split :
         {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{500}, size_t{999}})
        EXPECT_EQ(Crc64(longOne),
                  Crc64(std::span(longOne).subspan(split), Crc64(std::span(longOne).first(split))))
            << split;
}

// A journal as an interrupted in-place save of Fixture leaves it: the head replaced by
// NewHead (written, or not yet), the old head in the journal.
void WriteJournal(const Fixture& F, const Bytes& NewHead, uint64_t Inode = 0) {
    const struct stat st = Stat(F.File);
    TSaveJournal j;
    j.Device = static_cast<uint64_t>(st.st_dev);
    j.Inode = Inode != 0 ? Inode : static_cast<uint64_t>(st.st_ino);
    j.OldSize = static_cast<int64_t>(F.Original.size());
    j.NewSize = j.OldSize;
    j.OldRegions = {{0, 4096}};
    j.OldBytes = {kHead};
    j.NewRegions = {{0, 4096}};
    j.NewBytes = {NewHead};
    j.Probes = {{4096, 16384, Crc64(Slice(F.Original, 4096, 16384))},
                {F.TailStart() + 128 - 16384, 16384,
                 Crc64(Slice(F.Original, static_cast<size_t>(F.TailStart()) + 128 - 16384, 16384))}};
    WriteFileBytes(F.Dir / JournalNameFor("song.mp3"), j.Serialize());
}

TEST(SaveJournal, TheNextTransactionUndoesAnInterruptedSave) {
    const Bytes newHead = Pattern(4096, 77);
    struct Case {
        const char* Name;
        std::function<void(Fixture&)> Crash;  // what the interrupted save left
        bool ExpectOriginal;                  // else the file is left as the crash left it
    };
    const Case cases[] = {
        {"half of the head written",
         [&](Fixture& F) {
             WriteJournal(F, newHead);
             Bytes torn = F.Original;
             std::copy(newHead.begin(), newHead.begin() + 2000, torn.begin());
             WriteFileBytes(F.File, torn);
         },
         true},
        {"nothing written yet", [&](Fixture& F) { WriteJournal(F, newHead); }, true},
        {"all written, journal not yet removed",
         [&](Fixture& F) {
             WriteJournal(F, newHead);
             Bytes done = F.Original;
             std::copy(newHead.begin(), newHead.end(), done.begin());
             WriteFileBytes(F.File, done);
         },
         false},
        {"torn journal: the save never began",
         [&](Fixture& F) {
             WriteJournal(F, newHead);
             const fs::path j = F.Dir / JournalNameFor("song.mp3");
             Bytes bytes = ReadFileBytes(j);
             bytes.resize(bytes.size() / 2);
             WriteFileBytes(j, bytes);
         },
         true},
        {"another program wrote the file since (a journal that came back after a crash)",
         [&](Fixture& F) {
             WriteJournal(F, newHead);
             Bytes other = F.Original;
             std::fill(other.begin(), other.begin() + 100, 0xEE);  // neither old nor new
             WriteFileBytes(F.File, other);
         },
         false},
        {"a journal of another file (inode)",
         [&](Fixture& F) {
             WriteJournal(F, newHead, 12345);
             Bytes other = F.Original;
             other[0] ^= 0xFF;  // must not be "restored"
             WriteFileBytes(F.File, other);
         },
         false},
        {"another file got the same inode: its middle differs",
         [&](Fixture& F) {
             WriteJournal(F, newHead);
             Bytes other = F.Original;
             other[0] ^= 0xFF;
             other[5000] ^= 0xFF;
             WriteFileBytes(F.File, other);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const bool byRecovery : {false, true}) {
            Fixture f;
            c.Crash(f);
            const Bytes left = ReadFileBytes(f.File);
            if (byRecovery)
                EXPECT_TRUE(RecoverInterruptedSave(f.File));
            else
                TFileTransaction t(f.File);
            EXPECT_EQ(ReadFileBytes(f.File), c.ExpectOriginal ? f.Original : left);
            EXPECT_EQ(Names(f.Dir.Path()), std::vector<std::string>{"song.mp3"});
        }
    }
    Fixture clean;
    EXPECT_FALSE(RecoverInterruptedSave(clean.File));
}

TEST(SaveJournal, AJournalHeldByALiveSaveIsLeftAlone) {
    Fixture f;
    WriteJournal(f, Pattern(4096, 77));
    const fs::path j = f.Dir / JournalNameFor("song.mp3");
    const int fd = ::open(j.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    { TFileTransaction t(f.File); }
    EXPECT_TRUE(fs::exists(j));
    ::close(fd);
}

}  // namespace
}  // namespace covrilo
