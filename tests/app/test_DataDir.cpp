// SPDX-License-Identifier: MIT
#include "app/DataDir.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>


namespace covrilo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(DataDir, ChoosesProgramDirWhenWritableElseConfigFolder) {
    TempDir Dir;
    const auto Program = Dir / "bin";
    fs::create_directory(Program);
    const auto Gone = Dir / "no-such-dir";
    const auto Xdg = Dir / "xdg";
    const auto Home = Dir / "home";
    struct Case { const char* What; TDataDirEnvironment Env; fs::path Expected; };
    const Case Cases[] = {
        {"writable program dir", {Program, Xdg.string(), Home.string()}, Program},
        {"XDG_CONFIG_HOME", {Gone, Xdg.string(), Home.string()}, Xdg / "covrilo"},
        {"relative XDG_CONFIG_HOME is ignored", {Gone, "relative/xdg", Home.string()}, Home / ".config" / "covrilo"},
        {"HOME fallback", {Gone, "", Home.string()}, Home / ".config" / "covrilo"},
        {"unknown program dir", {fs::path(), "", Home.string()}, Home / ".config" / "covrilo"},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(ChooseDataDir(C.Env), C.Expected) << C.What;
        EXPECT_TRUE(fs::is_directory(C.Expected)) << C.What << ": created on demand";
    }
}

TEST(DataDir, ReadOnlyProgramDirFallsBack) {
    COVRILO_RUN_UNPRIVILEGED();  // root writes into read-only folders
    TempDir Dir;
    const auto Program = Dir / "bin";
    fs::create_directory(Program);
    fs::permissions(Program, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ChooseDataDir({Program, (Dir / "xdg").string(), ""}), Dir / "xdg" / "covrilo");
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
