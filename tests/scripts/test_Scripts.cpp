// SPDX-License-Identifier: MIT
// The scripts a newcomer runs first: what scripts/deps.sh installs for each job, and that the
// demo prints every command exactly as it runs it, so that copying one works.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace covrilo::test {
namespace {

std::string Script(const std::string& Name) { return ShellQuote((SourceDir() / "scripts" / Name).string()); }

std::set<std::string> Packages(const std::string& Jobs) {
    const CommandResult run = RunCommand(Script("deps.sh") + " --print " + Jobs);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    std::set<std::string> names;
    std::istringstream in(run.Output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) names.insert(line);
    return names;
}

TEST(Scripts, DepsInstallsWhatTheJobNeedsAndNoMore) {
    const std::set<std::string> build = Packages("build"), test = Packages("test");
    for (const char* needed : {"cmake", "g++", "libjpeg-dev", "zlib1g-dev", "qt6-base-dev", "help2man"})
        EXPECT_TRUE(build.count(needed)) << needed;
    // The demo builds and runs the programs: none of the test tool chain.
    for (const char* testTool :
         {"clang", "lame", "ffmpeg", "flac", "vorbis-tools", "python3-mutagen", "python3-pil", "eyed3",
          "libtag1-dev", "libgtest-dev", "libbenchmark-dev", "xvfb"})
        EXPECT_FALSE(build.count(testTool)) << testTool << " is not needed to build and run";
    EXPECT_TRUE(std::includes(test.begin(), test.end(), build.begin(), build.end())) << "the tests build too";
    for (const char* testTool : {"clang", "lame", "ffmpeg", "python3-mutagen", "libtag1-dev", "libgtest-dev"})
        EXPECT_TRUE(test.count(testTool)) << testTool;
    EXPECT_TRUE(Packages("screenshot").count("xvfb"));
    EXPECT_TRUE(Packages("bench").count("libbenchmark-dev"));
    EXPECT_EQ(RunCommand(Script("deps.sh") + " --print nonsense").ExitCode, 2);
    EXPECT_EQ(RunCommand(Script("deps.sh")).ExitCode, 2) << "nothing asked, nothing installed";

    // Each script asks for its own job.
    const std::pair<const char*, const char*> callers[] = {{"demo.sh", "scripts/deps.sh build\n"},
                                                           {"test.sh", "scripts/deps.sh test\n"},
                                                           {"screenshot.sh", "scripts/deps.sh screenshot\n"}};
    for (const auto& [Name, Call] : callers)
        EXPECT_NE(ReadFileText(SourceDir() / "scripts" / Name).find(Call), std::string::npos) << Name;
}

TEST(Scripts, TheDemoPrintsEveryCommandAsItRunsIt) {
    // The demo's own printing, on words a shell would take apart.
    const std::string functions =
        "eval \"$(sed -n '/^quote()/,/^}/p;/^run()/,/^}/p' " + Script("demo.sh") + ")\"";
    const std::string words =
        "printf '[%s]\\n' plain 'two words' \"it's\" 'Caf\xc3\xa9 Stra\xc3\x9f"
        "e.mp3' '$HOME' "
        "'*.mp3' 'a\\b' '--opt=x,y'";
    const CommandResult shown = RunCommand("bash -c " + ShellQuote(functions + "; run " + words));
    ASSERT_EQ(shown.ExitCode, 0) << shown.Output;
    const size_t end = shown.Output.find('\n');
    ASSERT_EQ(shown.Output.rfind("$ printf ", 0), 0u) << shown.Output;
    const std::string printed = shown.Output.substr(2, end - 2);
    const std::string ran = shown.Output.substr(end + 1);
    // The printed line, pasted into a shell, does the same.
    const CommandResult pasted = RunCommand("bash -c " + ShellQuote(printed));
    EXPECT_EQ(pasted.Output, ran) << printed;
    EXPECT_EQ(ran,
              "[plain]\n[two words]\n[it's]\n[Caf\xc3\xa9 Stra\xc3\x9f"
              "e.mp3]\n[$HOME]\n[*.mp3]\n[a\\b]\n[--opt=x,y]\n");

    // And every command of the demo goes through it.
    std::istringstream demo(ReadFileText(SourceDir() / "scripts" / "demo.sh"));
    int commands = 0;
    for (std::string line; std::getline(demo, line);) {
        if (line.find("\"$cli\"") == std::string::npos &&
            line.find("make_demo_files \"") == std::string::npos)
            continue;
        ++commands;
        EXPECT_EQ(line.substr(line.find_first_not_of(' '), 4), "run ") << line;
    }
    EXPECT_GE(commands, 8);
}

}  // namespace
}  // namespace covrilo::test
