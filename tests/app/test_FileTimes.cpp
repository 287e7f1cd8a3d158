// SPDX-License-Identifier: MIT
#include "app/FileTimes.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace covrilo {
namespace {

using test::TempDir;

TFileIdentity IdentityNow(const std::filesystem::path& File) {
    TUnicodeFileStream Stream(File, fmOpenRead);
    return Stream.Identity();
}

TEST(FileTimes, RestoredToTheNanosecondOnlyWhileTheFileIsTheSavedOne) {
    TempDir Dir;
    const auto File = Dir / "song.mp3";
    test::WriteFileBytes(File, test::ToBytes("before"));
    const timespec Old[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, File.c_str(), Old, 0), 0);
    const TFileTimes Times = ReadFileTimes(File);
    EXPECT_EQ(Times.Modification.tv_sec, 1200000000);

    // A save: new content, new times.
    test::WriteFileBytes(File, test::ToBytes("after, longer"));
    const TFileIdentity Saved = IdentityNow(File);
    RestoreFileTimes(File, Times, Saved);
    const TFileTimes Now = ReadFileTimes(File);
    EXPECT_EQ(Now.Modification.tv_sec, Times.Modification.tv_sec);
    EXPECT_EQ(Now.Modification.tv_nsec, Times.Modification.tv_nsec);
    EXPECT_EQ(Now.Access.tv_sec, Times.Access.tv_sec);
    EXPECT_EQ(Now.Access.tv_nsec, Times.Access.tv_nsec);

    // Written by another program since the save: its change keeps its time.
    test::WriteFileBytes(File, test::ToBytes("someone else's"));
    const TFileTimes Theirs = ReadFileTimes(File);
    EXPECT_THROW(RestoreFileTimes(File, Times, Saved), EFWriteError);
    EXPECT_EQ(ReadFileTimes(File).Modification.tv_sec, Theirs.Modification.tv_sec);

    // Locked by another program: not touched either, and the reason says so.
    const TFileIdentity Current = IdentityNow(File);
    const int Fd = ::open(File.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(Fd, LOCK_EX), 0);
    try {
        RestoreFileTimes(File, Times, Current);
        ADD_FAILURE() << "no exception";
    } catch (const EFWriteError& E) {
        EXPECT_EQ(E.Reason(), "it was saved, but its times could not be restored (locked by another program)");
    }
    ::close(Fd);
    EXPECT_THROW(ReadFileTimes(Dir / "missing.mp3"), EFOpenError);
}

}  // namespace
}  // namespace covrilo
