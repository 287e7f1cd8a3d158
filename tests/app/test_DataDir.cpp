// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "app/DataDir.h"
#include "support/TestSupport.h"

namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(DataDir, ProgramDirOnlyForPortableUseOrTheBuildTree) {
    TempDir dir;
    const auto build = dir / "build";
    const auto built = build / "app" / "cli";    // a program in its build tree
    const auto installed = dir / "usr" / "bin";  // an installed program, writable (root)
    const auto portable = dir / "portable";      // a folder the user made portable
    for (const auto& folder : {built, installed, portable}) fs::create_directories(folder);
    test::WriteFileBytes(portable / "settings.xml", test::ToBytes("<xmlini>\r\n</xmlini>\r\n"));
    const auto gone = dir / "no-such-dir";
    const auto xdg = dir / "xdg";
    const auto home = dir / "home";
    struct Case {
        const char* What;
        TDataDirEnvironment Env;
        fs::path Expected;
    };
    const Case cases[] = {
        {"in the build tree", {built, build, xdg.string(), home.string()}, built},
        {"the build tree itself", {build, build, xdg.string(), home.string()}, build},
        {"in the build tree, through ..",
         {built / ".." / "cli", build, "", home.string()},
         built / ".." / "cli"},
        {"installed: XDG_CONFIG_HOME", {installed, build, xdg.string(), home.string()}, xdg / "covrilo"},
        {"installed, no build tree known",
         {installed, fs::path(), "", home.string()},
         home / ".config" / "covrilo"},
        {"beside the build tree is not in it",
         {dir / "build-other", build, xdg.string(), ""},
         xdg / "covrilo"},
        {"a settings.xml beside the program", {portable, build, xdg.string(), home.string()}, portable},
        {"XDG_CONFIG_HOME", {gone, build, xdg.string(), home.string()}, xdg / "covrilo"},
        {"relative XDG_CONFIG_HOME is ignored",
         {gone, build, "relative/xdg", home.string()},
         home / ".config" / "covrilo"},
        {"HOME fallback", {gone, build, "", home.string()}, home / ".config" / "covrilo"},
        {"unknown program dir", {fs::path(), build, "", home.string()}, home / ".config" / "covrilo"},
    };
    fs::create_directories(dir / "build-other");
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseDataDir(c.Env), c.Expected) << c.What;
        EXPECT_TRUE(fs::is_directory(c.Expected)) << c.What << ": created on demand";
    }
    EXPECT_FALSE(fs::exists(installed / "settings.xml")) << "nothing is written beside an installed program";
}

TEST(DataDir, TheTestProgramIsInItsBuildTree) {
    // The programs built here keep their files beside them, so a developer's build never
    // touches ~/.config.
    const auto env = CurrentDataDirEnvironment();
    ASSERT_FALSE(env.BuildTree.empty());
    EXPECT_EQ(fs::weakly_canonical(env.BuildTree), fs::weakly_canonical(COVRILO_BINARY_DIR));
    EXPECT_EQ(DataDir(), ProgramDirectory());
}

TEST(DataDir, ReadOnlyProgramDirFallsBack) {
    COVRILO_RUN_UNPRIVILEGED();  // root writes into read-only folders
    TempDir dir;
    const auto program = dir / "bin";
    fs::create_directory(program);
    test::WriteFileBytes(program / "settings.xml", test::ToBytes("<xmlini>\r\n</xmlini>\r\n"));
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ChooseDataDir({program, dir.Path(), (dir / "xdg").string(), ""}), dir / "xdg" / "covrilo")
        << "a portable folder that cannot be written is not used, even in the build tree";
    fs::permissions(program, fs::perms::owner_all);
}

TEST(DataDir, ProgramDirectoryIsTheTestBinaryFolder) {
    const auto dir = ProgramDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(fs::exists(dir / "test_app"));
}

TEST(DataDir, SettingsFileOverride) {
    EXPECT_EQ(DataDirForSettingsFile("/etc/covrilo/my.xml"), fs::path("/etc/covrilo"));
    EXPECT_EQ(DataDirForSettingsFile("my.xml"), fs::current_path());
    EXPECT_EQ(DataDirForSettingsFile("sub/my.xml"), fs::current_path() / "sub");
}

}  // namespace
}  // namespace covrilo
