// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/FileTimes.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::TempDir;

TFileIdentity IdentityNow(const std::filesystem::path& File) {
    TUnicodeFileStream stream(File, fmOpenRead);
    return stream.Identity();
}

TEST(FileTimes, RestoredToTheNanosecondOnlyWhileTheFileIsTheSavedOne) {
    TempDir dir;
    const auto file = dir / "song.mp3";
    test::WriteFileBytes(file, test::ToBytes("before"));
    const timespec old[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    const TFileTimes times = ReadFileTimes(file);
    EXPECT_EQ(times.Modification.tv_sec, 1200000000);

    // A save: new content, new times.
    test::WriteFileBytes(file, test::ToBytes("after, longer"));
    const TFileIdentity saved = IdentityNow(file);
    RestoreFileTimes(file, times, saved);
    const TFileTimes now = ReadFileTimes(file);
    EXPECT_EQ(now.Modification.tv_sec, times.Modification.tv_sec);
    EXPECT_EQ(now.Modification.tv_nsec, times.Modification.tv_nsec);
    EXPECT_EQ(now.Access.tv_sec, times.Access.tv_sec);
    EXPECT_EQ(now.Access.tv_nsec, times.Access.tv_nsec);

    // Written by another program since the save: its change keeps its time.
    test::WriteFileBytes(file, test::ToBytes("someone else's"));
    const TFileTimes theirs = ReadFileTimes(file);
    EXPECT_THROW(RestoreFileTimes(file, times, saved), EFWriteError);
    EXPECT_EQ(ReadFileTimes(file).Modification.tv_sec, theirs.Modification.tv_sec);

    // Locked by another program: not touched either, and the reason says so.
    const TFileIdentity current = IdentityNow(file);
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    try {
        RestoreFileTimes(file, times, current);
        ADD_FAILURE() << "no exception";
    } catch (const EFWriteError& e) {
        EXPECT_EQ(e.Reason(),
                  "it was saved, but its times could not be restored (locked by another program)");
    }
    ::close(fd);
    EXPECT_THROW(ReadFileTimes(dir / "missing.mp3"), EFOpenError);
}

}  // namespace
}  // namespace covrilo
