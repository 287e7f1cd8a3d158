// SPDX-License-Identifier: MIT
#include "app/CoverWorkspace.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace covrilo {
namespace {

namespace fs = std::filesystem;

TEST(CoverWorkspace, EveryCopyIsAFileOfItsOwnAndAllGoWithTheWorkspace) {
    fs::path Folder, First, Second;
    {
        TCoverWorkspace Workspace;
        EXPECT_TRUE(Workspace.Folder().empty()) << "made on first use only";
        First = Workspace.Add(test::ToBytes("first cover"));
        Second = Workspace.Add(test::ToBytes("second cover"));
        Folder = Workspace.Folder();
        EXPECT_NE(First, Second);
        EXPECT_EQ(First.parent_path(), Folder);
        EXPECT_EQ(test::ReadFileText(First), "first cover");
        EXPECT_EQ(test::ReadFileText(Second), "second cover");
        struct stat St {};
        ASSERT_EQ(::stat(Folder.c_str(), &St), 0);
        EXPECT_EQ(St.st_mode & 0777, 0700u) << "nobody else's business";
    }
    EXPECT_FALSE(fs::exists(Folder));
}

}  // namespace
}  // namespace covrilo
