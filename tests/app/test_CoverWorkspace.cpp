// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/CoverWorkspace.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;

TEST(CoverWorkspace, EveryCopyIsAFileOfItsOwnAndAllGoWithTheWorkspace) {
    fs::path folder, first, second;
    {
        TCoverWorkspace workspace;
        EXPECT_TRUE(workspace.Folder().empty()) << "made on first use only";
        first = workspace.Add(test::ToBytes("first cover"));
        second = workspace.Add(test::ToBytes("second cover"));
        folder = workspace.Folder();
        EXPECT_NE(first, second);
        EXPECT_EQ(first.parent_path(), folder);
        EXPECT_EQ(test::ReadFileText(first), "first cover");
        EXPECT_EQ(test::ReadFileText(second), "second cover");
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << "nobody else's business";
    }
    EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
}  // namespace covrilo
