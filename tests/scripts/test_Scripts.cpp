// SPDX-License-Identifier: MIT
// The scripts a newcomer runs first: what scripts/deps.sh installs for each job, and that the
// demo prints every command exactly as it runs it, so that copying one works.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace covrilo::test {
namespace {

std::string Script(const std::string& Name) { return ShellQuote((SourceDir() / "scripts" / Name).string()); }

std::set<std::string> Packages(const std::string& Jobs) {
    const CommandResult Run = RunCommand(Script("deps.sh") + " --print " + Jobs);
    EXPECT_EQ(Run.exitCode, 0) << Run.output;
    std::set<std::string> Names;
    std::istringstream In(Run.output);
    for (std::string Line; std::getline(In, Line);)
        if (!Line.empty()) Names.insert(Line);
    return Names;
}

TEST(Scripts, DepsInstallsWhatTheJobNeedsAndNoMore) {
    const std::set<std::string> Build = Packages("build"), Test = Packages("test");
    for (const char* Needed : {"cmake", "g++", "libjpeg-dev", "zlib1g-dev", "qt6-base-dev", "help2man"})
        EXPECT_TRUE(Build.count(Needed)) << Needed;
    // The demo builds and runs the programs: none of the test tool chain.
    for (const char* TestTool : {"clang", "lame", "ffmpeg", "flac", "vorbis-tools", "python3-mutagen", "python3-pil",
                                 "eyed3", "libtag1-dev", "libgtest-dev", "libbenchmark-dev", "xvfb"})
        EXPECT_FALSE(Build.count(TestTool)) << TestTool << " is not needed to build and run";
    EXPECT_TRUE(std::includes(Test.begin(), Test.end(), Build.begin(), Build.end())) << "the tests build too";
    for (const char* TestTool : {"clang", "lame", "ffmpeg", "python3-mutagen", "libtag1-dev", "libgtest-dev"})
        EXPECT_TRUE(Test.count(TestTool)) << TestTool;
    EXPECT_TRUE(Packages("screenshot").count("xvfb"));
    EXPECT_TRUE(Packages("bench").count("libbenchmark-dev"));
    EXPECT_EQ(RunCommand(Script("deps.sh") + " --print nonsense").exitCode, 2);
    EXPECT_EQ(RunCommand(Script("deps.sh")).exitCode, 2) << "nothing asked, nothing installed";

    // Each script asks for its own job.
    const std::pair<const char*, const char*> Callers[] = {
        {"demo.sh", "scripts/deps.sh build\n"}, {"test.sh", "scripts/deps.sh test\n"},
        {"screenshot.sh", "scripts/deps.sh screenshot\n"}};
    for (const auto& [Name, Call] : Callers)
        EXPECT_NE(ReadFileText(SourceDir() / "scripts" / Name).find(Call), std::string::npos) << Name;
}

TEST(Scripts, TheDemoPrintsEveryCommandAsItRunsIt) {
    // The demo's own printing, on words a shell would take apart.
    const std::string Functions = "eval \"$(sed -n '/^quote()/,/^}/p;/^run()/,/^}/p' " + Script("demo.sh") + ")\"";
    const std::string Words = "printf '[%s]\\n' plain 'two words' \"it's\" 'Caf\xc3\xa9 Stra\xc3\x9f" "e.mp3' '$HOME' "
                              "'*.mp3' 'a\\b' '--opt=x,y'";
    const CommandResult Shown = RunCommand("bash -c " + ShellQuote(Functions + "; run " + Words));
    ASSERT_EQ(Shown.exitCode, 0) << Shown.output;
    const size_t End = Shown.output.find('\n');
    ASSERT_EQ(Shown.output.rfind("$ printf ", 0), 0u) << Shown.output;
    const std::string Printed = Shown.output.substr(2, End - 2);
    const std::string Ran = Shown.output.substr(End + 1);
    // The printed line, pasted into a shell, does the same.
    const CommandResult Pasted = RunCommand("bash -c " + ShellQuote(Printed));
    EXPECT_EQ(Pasted.output, Ran) << Printed;
    EXPECT_EQ(Ran, "[plain]\n[two words]\n[it's]\n[Caf\xc3\xa9 Stra\xc3\x9f" "e.mp3]\n[$HOME]\n[*.mp3]\n[a\\b]\n[--opt=x,y]\n");

    // And every command of the demo goes through it.
    std::istringstream Demo(ReadFileText(SourceDir() / "scripts" / "demo.sh"));
    int Commands = 0;
    for (std::string Line; std::getline(Demo, Line);) {
        if (Line.find("\"$cli\"") == std::string::npos && Line.find("make_demo_files \"") == std::string::npos)
            continue;
        ++Commands;
        EXPECT_EQ(Line.substr(Line.find_first_not_of(' '), 4), "run ") << Line;
    }
    EXPECT_GE(Commands, 8);
}

}  // namespace
}  // namespace covrilo::test
