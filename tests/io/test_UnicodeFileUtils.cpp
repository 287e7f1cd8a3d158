// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "io/UnicodeFileUtils.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

using test::Bytes;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(UnicodeChangeFileExt, ReplacesOnlyAnExtensionOfTheFileName) {
    struct Case {
        const char* Name;
        const char* Expected;
    } cases[] = {
        {"/music/a.mp3", "/music/a.$$$"},
        {"/music.d/a", "/music.d/a.$$$"},  // the dot belongs to the folder
        {"a", "a.$$$"},
        {"/x/b.tar.gz", "/x/b.tar.$$$"},
        {"/x/.hidden", "/x/.$$$"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnicodeChangeFileExt(c.Name, ".$$$").string(), c.Expected) << c.Name;
}

TEST(UnicodeFileUtils, ExistsDeleteRename) {
    TempDir dir;
    auto a = dir / "a", b = dir / "b";
    EXPECT_FALSE(UnicodeFileExists(a));
    WriteFileBytes(a, Bytes{1});
    EXPECT_TRUE(UnicodeFileExists(a));
    EXPECT_FALSE(UnicodeFileExists(dir.Path()));  // folders are not files
    EXPECT_TRUE(UnicodeRenameFile(a, b));
    EXPECT_FALSE(UnicodeFileExists(a));
    EXPECT_TRUE(UnicodeDeleteFile(b));
    EXPECT_FALSE(UnicodeDeleteFile(b));
    EXPECT_FALSE(UnicodeRenameFile(a, b));
}

TEST(UnicodeFileUtils, NonAsciiFileNames) {
    TempDir dir;
    auto file = dir / "\xE6\x9D\xB1\xE4\xBA\xAC \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0.mp3";
    int fd = UnicodeFileCreate(file);
    ASSERT_NE(fd, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(UnicodeFileExists(file));
}

TEST(SwapByteOrder16, SwapsTheTwoBytes) { EXPECT_EQ(SwapByteOrder16(0xFEFF), 0xFFFE); }

TEST(ReplaceFileAtomically, KeepsPermissionBitsAndReplacesTheContent) {
    TempDir dir;
    auto target = dir / "song.mp3", temp = dir / "song.$$$";
    WriteFileBytes(target, Bytes{1, 1, 1});
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    WriteFileBytes(temp, Bytes{2, 2});
    ASSERT_TRUE(ReplaceFileAtomically(temp, target));
    EXPECT_EQ(ReadFileBytes(target), (Bytes{2, 2}));
    EXPECT_FALSE(UnicodeFileExists(temp));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ReplaceFileAtomically, FailureLeavesTheOriginalAndRemovesTheTemporaryFile) {
    TempDir dir;
    auto target = dir / "sub";  // a non-empty folder cannot be replaced by a file
    std::filesystem::create_directory(target);
    WriteFileBytes(target / "keep", Bytes{7});
    auto temp = dir / "new.$$$";
    WriteFileBytes(temp, Bytes{2});
    EXPECT_FALSE(ReplaceFileAtomically(temp, target));
    EXPECT_FALSE(UnicodeFileExists(temp));
    EXPECT_EQ(ReadFileBytes(target / "keep"), Bytes{7});
}

TEST(ResolveRewriteTarget, FollowsSymlinksSoTheLinkStaysALink) {
    TempDir dir;
    auto real = dir / "real.mp3", link = dir / "link.mp3";
    WriteFileBytes(real, Bytes{1});
    std::filesystem::create_symlink(real, link);
    EXPECT_EQ(ResolveRewriteTarget(link), std::filesystem::canonical(real));
    auto missing = dir / "missing.mp3";
    EXPECT_EQ(ResolveRewriteTarget(missing), missing);
}

}  // namespace
}  // namespace covrilo
