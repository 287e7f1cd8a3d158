// SPDX-License-Identifier: MIT
#include "app/DataDir.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>


namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(DataDir, ProgramDirOnlyForPortableUseOrTheBuildTree) {
    TempDir Dir;
    const auto Build = Dir / "build";
    const auto Built = Build / "app" / "cli";  // a program in its build tree
    const auto Installed = Dir / "usr" / "bin";  // an installed program, writable (root)
    const auto Portable = Dir / "portable";       // a folder the user made portable
    for (const auto& Folder : {Built, Installed, Portable}) fs::create_directories(Folder);
    test::WriteFileBytes(Portable / "settings.xml", test::ToBytes("<xmlini>\r\n</xmlini>\r\n"));
    const auto Gone = Dir / "no-such-dir";
    const auto Xdg = Dir / "xdg";
    const auto Home = Dir / "home";
    struct Case { const char* What; TDataDirEnvironment Env; fs::path Expected; };
    const Case Cases[] = {
        {"in the build tree", {Built, Build, Xdg.string(), Home.string()}, Built},
        {"the build tree itself", {Build, Build, Xdg.string(), Home.string()}, Build},
        {"in the build tree, through ..", {Built / ".." / "cli", Build, "", Home.string()}, Built / ".." / "cli"},
        {"installed: XDG_CONFIG_HOME", {Installed, Build, Xdg.string(), Home.string()}, Xdg / "covrilo"},
        {"installed, no build tree known", {Installed, fs::path(), "", Home.string()}, Home / ".config" / "covrilo"},
        {"beside the build tree is not in it", {Dir / "build-other", Build, Xdg.string(), ""}, Xdg / "covrilo"},
        {"a settings.xml beside the program", {Portable, Build, Xdg.string(), Home.string()}, Portable},
        {"XDG_CONFIG_HOME", {Gone, Build, Xdg.string(), Home.string()}, Xdg / "covrilo"},
        {"relative XDG_CONFIG_HOME is ignored", {Gone, Build, "relative/xdg", Home.string()},
         Home / ".config" / "covrilo"},
        {"HOME fallback", {Gone, Build, "", Home.string()}, Home / ".config" / "covrilo"},
        {"unknown program dir", {fs::path(), Build, "", Home.string()}, Home / ".config" / "covrilo"},
    };
    fs::create_directories(Dir / "build-other");
    for (const auto& C : Cases) {
        EXPECT_EQ(ChooseDataDir(C.Env), C.Expected) << C.What;
        EXPECT_TRUE(fs::is_directory(C.Expected)) << C.What << ": created on demand";
    }
    EXPECT_FALSE(fs::exists(Installed / "settings.xml")) << "nothing is written beside an installed program";
}

TEST(DataDir, TheTestProgramIsInItsBuildTree) {
    // The programs built here keep their files beside them, so a developer's build never
    // touches ~/.config.
    const auto Env = CurrentDataDirEnvironment();
    ASSERT_FALSE(Env.BuildTree.empty());
    EXPECT_EQ(fs::weakly_canonical(Env.BuildTree), fs::weakly_canonical(COVRILO_BINARY_DIR));
    EXPECT_EQ(DataDir(), ProgramDirectory());
}

TEST(DataDir, ReadOnlyProgramDirFallsBack) {
    COVRILO_RUN_UNPRIVILEGED();  // root writes into read-only folders
    TempDir Dir;
    const auto Program = Dir / "bin";
    fs::create_directory(Program);
    test::WriteFileBytes(Program / "settings.xml", test::ToBytes("<xmlini>\r\n</xmlini>\r\n"));
    fs::permissions(Program, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ChooseDataDir({Program, Dir.path(), (Dir / "xdg").string(), ""}), Dir / "xdg" / "covrilo")
        << "a portable folder that cannot be written is not used, even in the build tree";
    fs::permissions(Program, fs::perms::owner_all);
}

TEST(DataDir, ProgramDirectoryIsTheTestBinaryFolder) {
    const auto Dir = ProgramDirectory();
    ASSERT_FALSE(Dir.empty());
    EXPECT_TRUE(fs::exists(Dir / "test_app"));
}

TEST(DataDir, SettingsFileOverride) {
    EXPECT_EQ(DataDirForSettingsFile("/etc/covrilo/my.xml"), fs::path("/etc/covrilo"));
    EXPECT_EQ(DataDirForSettingsFile("my.xml"), fs::current_path());
    EXPECT_EQ(DataDirForSettingsFile("sub/my.xml"), fs::current_path() / "sub");
}

}  // namespace
}  // namespace covrilo
