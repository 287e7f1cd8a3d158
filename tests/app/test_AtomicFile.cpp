// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>

#include "app/AtomicFile.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::ToBytes;

TEST(WriteFileReplacing, ReplacesContentKeepsPermissionsAndFollowsSymlinks) {
    TempDir dir;
    const auto real = dir / "real.xml";
    const auto link = dir / "link.xml";
    test::WriteFileBytes(real, ToBytes("old content that is longer"));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, link);

    WriteFileReplacing(link, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), ToBytes("new"));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary file is left next to it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(WriteFileReplacing, MissingFolderRaisesAndCreatesNothing) {
    TempDir dir;
    EXPECT_THROW(WriteFileReplacing(dir / "none" / "x", "data"), std::system_error);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

}  // namespace
}  // namespace covrilo
