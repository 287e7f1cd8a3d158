// SPDX-License-Identifier: MIT
// `cmake --install` of this build tree into a temporary prefix, and the installed programs
// used from there as a user would: the files in their places, the desktop file valid, the
// programs run, keep their files per user, and their man pages, --help and bash completion
// say how to use them.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "InteropUtil.h"
#include "app/BatchRun.h"
#include "app/CoverImage.h"

namespace covrilo::test {
namespace {

namespace fs = std::filesystem;

// A prefix with this build installed into it (once per test).
class InstallTest : public testing::Test {
   protected:
    void SetUp() override {
        const ToolRun run =
            RunSeparately(ShellQuote(COVRILO_CMAKE) + " --install " + ShellQuote(COVRILO_BINARY_DIR) +
                          " --prefix " + ShellQuote(Prefix()));
        ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    }
    fs::path Prefix() const { return dir_ / "prefix"; }
    fs::path Bin(const std::string& Program) const { return Prefix() / "bin" / Program; }
    // Runs an installed program with a clean environment of a user whose home is in the
    // test's folder.
    ToolRun RunInstalled(const std::string& Program, const std::string& Args) const {
        return RunSeparately("env -i PATH=/usr/bin:/bin HOME=" + ShellQuote((dir_ / "home").string()) +
                             " XDG_CONFIG_HOME=" + ShellQuote((dir_ / "config").string()) + " " +
                             ShellQuote(Bin(Program).string()) + " " + Args);
    }
    TempDir dir_;
};

TEST_F(InstallTest, EveryFileIsInItsPlace) {
    std::vector<std::string> files = {"bin/covrilo-cli", "share/bash-completion/completions/covrilo-cli"};
    if (COVRILO_WITH_GUI) {
        files.insert(files.end(), {"bin/covrilo", "share/applications/covrilo.desktop",
                                   "share/icons/hicolor/scalable/apps/covrilo.svg",
                                   "share/bash-completion/completions/covrilo"});
    }
    if (COVRILO_WITH_MAN) {
        files.push_back("share/man/man1/covrilo-cli.1");
        if (COVRILO_WITH_GUI) files.push_back("share/man/man1/covrilo.1");
    }
    for (const std::string& file : files) EXPECT_TRUE(fs::is_regular_file(Prefix() / file)) << file;
    for (const char* program : {"covrilo-cli", "covrilo"}) {
        if (!fs::exists(Bin(program))) continue;
        EXPECT_NE(fs::status(Bin(program)).permissions() & fs::perms::others_exec, fs::perms::none)
            << program;
    }
    if (!COVRILO_WITH_GUI) GTEST_SKIP() << "the window is not built (no Qt 6): no desktop file to check";

    const fs::path desktop = Prefix() / "share/applications/covrilo.desktop";
    if (HaveTool("desktop-file-validate")) {
        const ToolRun valid = RunSeparately("desktop-file-validate " + ShellQuote(desktop.string()));
        EXPECT_EQ(valid.ExitCode, 0) << valid.Out << valid.Err;
        EXPECT_EQ(valid.Out + valid.Err, "") << "no warnings either";
    } else {
        ADD_FAILURE() << "desktop-file-validate (desktop-file-utils) is missing: scripts/deps.sh installs it";
    }
    const std::string entry = ReadFileText(desktop);
    for (const char* line :
         {"Name=Covrilo Light\n", "Exec=covrilo %F\n", "Icon=covrilo\n", "Type=Application\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    // The icon is well-formed SVG (read by an XML parser that is not ours).
    const ToolRun svg =
        RunSeparately(std::string(kSystemPython) +
                      " -c 'import sys, xml.etree.ElementTree as E; "
                      "print(E.parse(sys.argv[1]).getroot().tag)' " +
                      ShellQuote((Prefix() / "share/icons/hicolor/scalable/apps/covrilo.svg").string()));
    EXPECT_EQ(svg.Out, "{http://www.w3.org/2000/svg}svg\n") << svg.Err;
}

TEST_F(InstallTest, InstalledCliRunsAndKeepsItsFilesPerUser) {
    const ToolRun made =
        RunSeparately(ShellQuote(COVRILO_MAKE_DEMO_FILES) + " " + ShellQuote((dir_ / "demo").string()));
    ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
    const fs::path song = dir_ / "demo" / "01 Morning Light.mp3";
    const fs::path cover = dir_ / "demo" / "cover.jpg";  // 1200 x 900: scaled into temp.jpg
    const std::string args = "add --cover " + ShellQuote(cover.string()) + " " + ShellQuote(song.string());

    // An installed program (its bin/ writable, as root's is) keeps settings.xml and
    // temp.jpg in the user's configuration folder, never beside itself.
    const ToolRun run = RunInstalled("covrilo-cli", args);
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Out, "OK\t" + song.string() + "\n");
    const fs::path data = dir_ / "config" / "covrilo";
    EXPECT_TRUE(fs::is_regular_file(data / "settings.xml"));
    EXPECT_EQ(DecodeJpegFile(data / "temp.jpg").Width, 500);
    EXPECT_FALSE(fs::exists(Bin("settings.xml")));
    EXPECT_FALSE(fs::exists(Bin("temp.jpg")));

    // Without XDG_CONFIG_HOME it is ~/.config/covrilo.
    const ToolRun home =
        RunSeparately("env -i PATH=/usr/bin:/bin HOME=" + ShellQuote((dir_ / "home").string()) + " " +
                      ShellQuote(Bin("covrilo-cli").string()) + " " + args);
    EXPECT_EQ(home.ExitCode, 0) << home.Out << home.Err;
    EXPECT_TRUE(fs::is_regular_file(dir_ / "home" / ".config" / "covrilo" / "temp.jpg"));

    // Portable use: a settings.xml beside the program makes its folder the data folder.
    WriteFileBytes(
        Bin("settings.xml"),
        ToBytes("<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\r\n<!-- Generator: TXMLINI 1.x -->\r\n"
                "<xmlini>\r\n  <ImageSettings>\r\n    <MaxX>300</MaxX>\r\n  </ImageSettings>\r\n"
                "</xmlini>\r\n"));
    const ToolRun portable = RunInstalled("covrilo-cli", args);
    EXPECT_EQ(portable.ExitCode, 0) << portable.Out << portable.Err;
    EXPECT_EQ(DecodeJpegFile(Bin("temp.jpg")).Width, 300);
}

// The options the help lists for each command, each by its short and its long spelling:
// "Options of add and remove:" belong to both commands, "Other options:" to all three. The
// heads of the option lines ("-c, --cover") come with them.
struct HelpOptions {
    std::map<std::string, std::set<std::string>> ByCommand;
    std::vector<std::string> Heads;
};
HelpOptions OptionsOfTheHelp(const std::string& Help) {
    HelpOptions result;
    std::vector<std::string> commands;
    std::istringstream in(Help);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line[0] != ' ') {
            commands.clear();
            if (line == "Other options:") commands = {"add", "remove", "info"};
            if (line.rfind("Options of ", 0) == 0)
                for (const char* command : {"add", "remove", "info"})
                    if (line.find(command) != std::string::npos) commands.push_back(command);
            continue;
        }
        // Option lines are indented by two or six blanks, their help's further lines by more.
        const size_t start = line.find_first_not_of(' ');
        if (commands.empty() || start > 6 || line[start] != '-') continue;
        std::istringstream words(line.substr(start));
        std::string head;
        for (std::string word; words >> word && word[0] == '-';) {
            head += (head.empty() ? "" : " ") + word;
            if (word.back() == ',') word.pop_back();
            for (const std::string& command : commands) result.ByCommand[command].insert(word);
        }
        result.Heads.push_back(head);
    }
    return result;
}

TEST_F(InstallTest, HelpAndManPagesSayHowToUseThePrograms) {
    const ToolRun cli = RunInstalled("covrilo-cli", "--help");
    EXPECT_EQ(cli.ExitCode, 0);
    EXPECT_EQ(cli.Out.rfind("Usage: covrilo-cli add --cover PICTURE", 0), 0u) << cli.Out;
    EXPECT_EQ(RunInstalled("covrilo-cli", "--version").Out, "covrilo-cli 2.0.1\n");
    if (COVRILO_WITH_GUI) {
        const ToolRun gui = RunInstalled("covrilo", "--help");  // no display in this environment
        EXPECT_EQ(gui.ExitCode, 0) << gui.Err;
        EXPECT_EQ(gui.Out.rfind("Usage: covrilo [FILE|FOLDER]...", 0), 0u) << gui.Out;
    }
    if (!COVRILO_WITH_MAN) GTEST_SKIP() << "help2man was not found at build time: no man pages";
    if (!HaveTool("man")) GTEST_SKIP() << "man (man-db) is not installed";

    struct Page {
        const char* Name;
        std::vector<std::string> Says;
        bool NeedsGui;
    };
    Page pages[] = {
        {"covrilo-cli",
         {"NAME", "covrilo-cli - put one cover picture", "SYNOPSIS", "covrilo-cli add --cover PICTURE",
          "covrilo-cli remove", "--max-width", "--kind", "2.4-utf8", "FILES", "settings.xml", "EXAMPLES",
          "Exit status"},
         false},
        {"covrilo",
         {"NAME", "SYNOPSIS", "covrilo [FILE|FOLDER]...", "dropped on the window", "FILES", "settings.xml"},
         true},
    };
    // The man page is made from the help: every option of the help is in it, as the help has it.
    const HelpOptions help = OptionsOfTheHelp(cli.Out);
    ASSERT_FALSE(help.Heads.empty());
    for (const std::string& head : help.Heads) pages[0].Says.push_back(head);
    for (const Page& page : pages) {
        if (page.NeedsGui && !COVRILO_WITH_GUI) continue;
        // As `man covrilo-cli` shows it once the prefix is on the MANPATH.
        const ToolRun shown = RunSeparately("MANPATH=" + ShellQuote((Prefix() / "share/man").string()) +
                                            " MANWIDTH=200 man " + page.Name + " | col -b");
        ASSERT_EQ(shown.ExitCode, 0) << shown.Err;
        for (const std::string& text : page.Says)
            EXPECT_NE(shown.Out.find(text), std::string::npos) << page.Name << " lacks " << text << ":\n"
                                                               << shown.Out;
    }
}

// The completions bash offers for a command line whose last word is being typed.
std::vector<std::string> Complete(const fs::path& Script, const std::string& Function,
                                  const std::vector<std::string>& Words, const fs::path& Cwd) {
    std::string line;
    std::string array;
    for (const std::string& word : Words) {
        line += (line.empty() ? "" : " ") + word;
        array += " " + ShellQuote(word);
    }
    const std::string program = "source /usr/share/bash-completion/bash_completion; source " +
                                ShellQuote(Script.string()) + "; COMP_WORDS=(" + array +
                                "); COMP_CWORD=" + std::to_string(Words.size() - 1) +
                                "; COMP_LINE=" + ShellQuote(line) + "; COMP_POINT=${#COMP_LINE}; " +
                                Function + "; printf '%s\\n' \"${COMPREPLY[@]}\"";
    const ToolRun run =
        RunSeparately("cd " + ShellQuote(Cwd.string()) + " && bash -c " + ShellQuote(program));
    std::vector<std::string> result;
    std::istringstream in(run.Out);
    for (std::string item; std::getline(in, item);)
        if (!item.empty()) result.push_back(item);
    std::sort(result.begin(), result.end());
    return result;
}

TEST_F(InstallTest, BashCompletionKnowsTheCommandsOptionsKindsAndFiles) {
    if (!fs::exists("/usr/share/bash-completion/bash_completion"))
        GTEST_SKIP() << "bash-completion is not installed";
    const fs::path script = Prefix() / "share/bash-completion/completions/covrilo-cli";
    const fs::path music = dir_ / "music";
    fs::create_directories(music / "Album");
    for (const char* name : {"a.mp3", "B.MP3", "cover.jpg", "notes.txt"})
        WriteFileBytes(music / name, ToBytes("x"));
    using Words = std::vector<std::string>;
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", ""}, music),
              (Words{"--help", "--version", "add", "info", "remove"}));
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "--kind", "Fr"}, music),
              Words{"FrontCover"});
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "--id3", "2.4"}, music),
              Words{"2.4-utf8"});
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", ""}, music),
              (Words{"Album", "B.MP3", "a.mp3"}));
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "--cover", ""}, music),
              (Words{"Album", "cover.jpg"}));

    // The kinds are exactly those the program takes, and every option the program's help
    // names is offered for some command (and nothing else).
    Words kinds;
    for (int i = 0; i < 19; ++i) kinds.push_back(PictureTypeToName(i));
    std::sort(kinds.begin(), kinds.end());
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "--kind", ""}, music), kinds);
    // Every option of a command in the help, long and short, is offered for that command and
    // nothing else is; a value is completed after the short spelling as after the long one.
    const HelpOptions help = OptionsOfTheHelp(RunInstalled("covrilo-cli", "--help").Out);
    ASSERT_EQ(help.ByCommand.size(), 3u);
    EXPECT_TRUE(help.ByCommand.at("add").count("-c") &&
                help.ByCommand.at("add").count("--cover-from-folder"));
    for (const auto& [command, options] : help.ByCommand) {
        SCOPED_TRACE(command);
        const Words offered = Complete(script, "_covrilo_cli", {"covrilo-cli", command, "-"}, music);
        EXPECT_EQ(std::set<std::string>(offered.begin(), offered.end()), options);
    }
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "-k", "Fr"}, music),
              Words{"FrontCover"});
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "-f", "2.3"}, music),
              (Words{"2.3-latin1", "2.3-utf16"}));
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "add", "-c", ""}, music),
              (Words{"Album", "cover.jpg"}));
    EXPECT_EQ(Complete(script, "_covrilo_cli", {"covrilo-cli", "info", "--files-from", ""}, music),
              (Words{"Album", "B.MP3", "a.mp3", "cover.jpg", "notes.txt"}));

    if (!COVRILO_WITH_GUI) return;
    const fs::path gui = Prefix() / "share/bash-completion/completions/covrilo";
    EXPECT_EQ(Complete(gui, "_covrilo", {"covrilo", ""}, music),
              (Words{"Album", "B.MP3", "a.mp3", "cover.jpg"}));
    EXPECT_EQ(Complete(gui, "_covrilo", {"covrilo", "--"}, music), (Words{"--", "--help", "--version"}));
}

}  // namespace
}  // namespace covrilo::test
