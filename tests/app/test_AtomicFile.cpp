// SPDX-License-Identifier: MIT
#include "app/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::ToBytes;

TEST(WriteFileReplacing, ReplacesContentKeepsPermissionsAndFollowsSymlinks) {
    TempDir Dir;
    const auto Real = Dir / "real.xml";
    const auto Link = Dir / "link.xml";
    test::WriteFileBytes(Real, ToBytes("old content that is longer"));
    fs::permissions(Real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(Real, Link);

    WriteFileReplacing(Link, "new");
    EXPECT_TRUE(fs::is_symlink(Link));
    EXPECT_EQ(ReadFileBytes(Real), ToBytes("new"));
    EXPECT_EQ(fs::status(Real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // No temporary file is left next to it.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.path()), fs::directory_iterator()), 2);
}

TEST(WriteFileReplacing, MissingFolderRaisesAndCreatesNothing) {
    TempDir Dir;
    EXPECT_THROW(WriteFileReplacing(Dir / "none" / "x", "data"), std::system_error);
    EXPECT_TRUE(fs::is_empty(Dir.path()));
}

}  // namespace
}  // namespace covrilo
