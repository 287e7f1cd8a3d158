// SPDX-License-Identifier: MIT
#include "app/cli/CliArguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "app/BatchRun.h"

namespace covrilo::cli {

namespace {

// The kind list of the window: indexes 0..18 (the two file-icon types cannot be chosen).
constexpr int kKindCount = 19;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

int RequireRange(const std::string& option, const std::string& text, int low, int high) {
    std::optional<int> value = ParseInt(text);
    if (!value || *value < low || *value > high)
        throw UsageError(option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    return *value;
}

}  // namespace

std::optional<int> ParseKind(const std::string& Text) {
    if (std::optional<int> index = ParseInt(Text)) {
        if (*index >= 0 && *index < kKindCount) return index;
        return std::nullopt;
    }
    for (int i = 0; i < kKindCount; ++i)
        if (Lower(PictureTypeToName(i)) == Lower(Text)) return i;
    return std::nullopt;
}

std::optional<int> ParseId3Format(const std::string& Text) {
    static const char* const names[] = {"2.3-latin1", "2.3-utf16", "2.4-utf8"};
    for (int i = 0; i < 3; ++i)
        if (Lower(Text) == names[i] || Text == std::to_string(i)) return i;
    return std::nullopt;
}

CliArguments ParseArguments(const std::vector<std::string>& Args) {
    CliArguments a;
    if (Args.empty()) throw UsageError("no command given (try --help)");
    const std::string& command = Args[0];
    if (command == "--help" || command == "-h" || command == "help") return a;
    if (command == "--version") {
        a.command = Command::Version;
        return a;
    }
    if (command == "add") a.command = Command::Add;
    else if (command == "remove") a.command = Command::Remove;
    else if (command == "info") a.command = Command::Info;
    else throw UsageError("unknown command '" + command + "' (try --help)");

    bool optionsEnded = false;
    for (size_t i = 1; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            a.paths.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            a.command = Command::Help;
            return a;
        }
        // "--name=value" and "--name value" are both accepted.
        std::string name = arg, value;
        bool hasValue = false;
        if (size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= Args.size()) throw UsageError(name + " needs a value");
            return Args[++i];
        };
        const bool isAdd = a.command == Command::Add;
        const bool isRun = isAdd || a.command == Command::Remove;
        if (name == "--recursive" && isRun && !hasValue) a.recursive = true;
        else if (name == "--json" && a.command == Command::Info && !hasValue) a.json = true;
        else if (name == "--settings" && isRun) a.settings = std::filesystem::path(takeValue());
        else if (name == "--cover" && isAdd) a.cover = takeValue();
        else if (name == "--max-width" && isAdd) a.maxWidth = RequireRange(name, takeValue(), 20, 9999);
        else if (name == "--max-height" && isAdd) a.maxHeight = RequireRange(name, takeValue(), 20, 9999);
        else if (name == "--quality" && isAdd) a.quality = RequireRange(name, takeValue(), 1, 100);
        else if (name == "--kind" && isAdd) {
            std::string text = takeValue();
            a.kind = ParseKind(text);
            if (!a.kind) throw UsageError("unknown kind of picture '" + text + "' (see --help)");
        } else if (name == "--id3" && isAdd) {
            std::string text = takeValue();
            a.id3Format = ParseId3Format(text);
            if (!a.id3Format) throw UsageError("unknown ID3v2 format '" + text + "' (2.3-latin1, 2.3-utf16 or 2.4-utf8)");
        } else {
            throw UsageError("unknown option '" + name + "' for " + command);
        }
    }
    if (a.command == Command::Add && a.cover.empty()) throw UsageError("add needs --cover PICTURE");
    if (a.paths.empty()) throw UsageError(command + " needs at least one file or folder");
    return a;
}

std::string UsageText() {
    std::string kinds;
    for (int i = 0; i < kKindCount; ++i) kinds += (i ? ", " : "") + std::string(PictureTypeToName(i));
    // Laid out as help2man reads it: the man page is made from this text.
    return "Usage: covrilo-cli add --cover PICTURE [OPTION]... PATH...\n"
           "  or:  covrilo-cli remove [--settings FILE] [--recursive] PATH...\n"
           "  or:  covrilo-cli info [--json] PATH...\n"
           "  or:  covrilo-cli --help | --version\n"
           "\n"
           "Puts one cover picture into the ID3v2 tags of MP3 files, or removes every attached\n"
           "picture from them: the batch run of the window covrilo, from the command line.\n"
           "\n"
           "Commands:\n"
           "  add      puts the JPEG PICTURE into the ID3v2 tag of every MP3 file as an\n"
           "           attached picture, replacing a picture of the same kind. A picture\n"
           "           larger than the limits is scaled down and recompressed first (into\n"
           "           temp.jpg in the data folder).\n"
           "  remove   deletes every attached picture from the ID3v2 tags of the files.\n"
           "  info     shows what the files' tags hold (--json: one JSON array).\n"
           "\n"
           "A PATH that is a folder stands for its .mp3 files (sorted by name, ignoring case;\n"
           "with --recursive also those in sub-folders). Other files are taken as given, in\n"
           "order.\n"
           "\n"
           "Options of add (defaults come from the settings file; options hold for this run only):\n"
           "  --max-width N, --max-height N   largest picture size in pixels, 20..9999\n"
           "  --quality N                     JPEG quality of a scaled picture, 1..100\n"
           "  --kind KIND                     kind of picture, by name (any case) or index 0..18:\n"
           "                                  " + kinds + "\n"
           "  --id3 FORMAT                    2.3-latin1 (0), 2.3-utf16 (1) or 2.4-utf8 (2)\n"
           "  --settings FILE                 settings file to read instead of settings.xml in\n"
           "                                  the data folder (never written by this program)\n"
           "  --recursive                     folders also stand for the .mp3 files in their\n"
           "                                  sub-folders (add and remove)\n"
           "  --json                          info prints one JSON array\n"
           "\n"
           "Output: one line per file, STATUS<TAB>PATH, with STATUS OK, Error or Deleted; for a file\n"
           "that got Error the reason follows on stderr (covrilo-cli: PATH: REASON), and the run\n"
           "goes on. OK and Deleted are printed only once the file is saved to the disk.\n"
           "\n"
           "Exit status:\n"
           "  0  all files OK or Deleted\n"
           "  1  some file Error\n"
           "  2  a usage error, or a cover that cannot be used (no file is touched then)\n";
}

}  // namespace covrilo::cli
