// SPDX-License-Identifier: MIT
#include "app/cli/CliArguments.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "app/BatchRun.h"
#include "app/Settings.h"
#include "io/AsciiText.h"

namespace covrilo::cli {

namespace {

// The commands an option belongs to, as bits.
constexpr unsigned kAdd = 1, kRemove = 2, kInfo = 4, kAnyCommand = 8;

enum class Opt {
    Cover,
    CoverFromFolder,
    MaxWidth,
    MaxHeight,
    Quality,
    Kind,
    Id3,
    OnlyIfMissing,
    DryRun,
    KeepTimes,
    Quiet,
    Verbose,
    Settings,
    Recursive,
    FilesFrom,
    Null,
    Json,
    Help,
    Version,
};

struct TOption {
    Opt Id;
    const char* Long;   // "--cover"
    char Short;         // 'c', or 0 for none
    const char* Value;  // the value's name in the help ("PICTURE"), nullptr for a flag
    unsigned Commands;
    const char* Help;  // lines of the help, '\n' between them
};

// Every option, in the order of the help. The help, the parser and (through the help)
// the man page come from here; the bash completion lists them too, which a test checks.
constexpr TOption kOptions[] = {
    {Opt::Cover, "--cover", 'c', "PICTURE", kAdd,
     "the JPEG picture every file gets; one larger than the limits is scaled down and recompressed first, "
     "into temp.jpg in the data folder"},
    {Opt::CoverFromFolder, "--cover-from-folder", 0, "NAMES", kAdd,
     "instead of --cover: each file gets the first of the pictures NAMES (comma-separated, such as "
     "cover.jpg,folder.jpg,front.jpg; upper and lower case alike) found in its own folder, prepared once per "
     "folder; the files of a folder without one, or with one that cannot be used, get Error, and the run "
     "goes on"},
    {Opt::MaxWidth, "--max-width", 0, "N", kAdd, "largest picture width in pixels, 20..9999"},
    {Opt::MaxHeight, "--max-height", 0, "N", kAdd, "largest picture height in pixels, 20..9999"},
    {Opt::Quality, "--quality", 0, "N", kAdd, "JPEG quality of a scaled picture, 1..100"},
    {Opt::Kind, "--kind", 'k', "KIND", kAdd,
     "kind of picture, by name (any case) or index 0..18:"},  // + the names
    {Opt::Id3, "--id3", 'f', "FORMAT", kAdd, "ID3v2 format: 2.3-latin1 (0), 2.3-utf16 (1) or 2.4-utf8 (2)"},
    {Opt::OnlyIfMissing, "--only-if-missing", 0, nullptr, kAdd,
     "leave a file that already has a picture of the kind as it is; it gets Skipped"},
    {Opt::DryRun, "--dry-run", 'n', nullptr, kAdd | kRemove,
     "read every file and the cover and print what would be done, but write nothing (not even temp.jpg): per "
     "file the status it would get, whether it would be saved in place or rewritten, and the picture's size "
     "after scaling (or the reason it would be refused)"},
    {Opt::KeepTimes, "--keep-times", 't', nullptr, kAdd | kRemove,
     "give every saved file its access and modification times back"},
    {Opt::Quiet, "--quiet", 'q', nullptr, kAdd | kRemove, "print only the files that get Error"},
    {Opt::Verbose, "--verbose", 'v', nullptr, kAdd | kRemove,
     "print under each file what changed in its tag: the frames that went and came, the tag's version and "
     "size, in place or rewritten"},
    {Opt::Settings, "--settings", 0, "FILE", kAdd | kRemove,
     "the settings file to read instead of settings.xml in the data folder (never written by this program)"},
    {Opt::Recursive, "--recursive", 'r', nullptr, kAdd | kRemove | kInfo,
     "folders also stand for the .mp3 files in their sub-folders"},
    {Opt::FilesFrom, "--files-from", 0, "FILE", kAdd | kRemove | kInfo,
     "also take the PATHs listed in FILE, one a line (with - from the standard input), after those on the "
     "command line"},
    {Opt::Null, "--null", '0', nullptr, kAdd | kRemove | kInfo,
     "the names in the --files-from list each end with a NUL byte, not a newline (as find -print0 writes "
     "them)"},
    {Opt::Json, "--json", 0, nullptr, kInfo, "print one JSON array, one object per file"},
    {Opt::Help, "--help", 'h', nullptr, kAnyCommand, "show this help and exit"},
    {Opt::Version, "--version", 'V', nullptr, kAnyCommand, "show the version and exit"},
};

unsigned CommandBit(Command C) {
    switch (C) {
        case Command::Add:
            return kAdd;
        case Command::Remove:
            return kRemove;
        case Command::Info:
            return kInfo;
        default:
            return 0;
    }
}

const char* CommandName(Command C) {
    switch (C) {
        case Command::Add:
            return "add";
        case Command::Remove:
            return "remove";
        case Command::Info:
            return "info";
        default:
            return "covrilo-cli";
    }
}

std::optional<int> ParseInt(const std::string& Text) {
    int value = 0;
    auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
    if (Text.empty() || ec != std::errc() || end != Text.data() + Text.size()) return std::nullopt;
    return value;
}

int RequireRange(const std::string& Option, const std::string& Text, int Low, int High) {
    std::optional<int> value = ParseInt(Text);
    if (!value || *value < Low || *value > High)
        throw UsageError(Option + " needs a whole number from " + std::to_string(Low) + " to " +
                         std::to_string(High) + ", not '" + Text + "'");
    return *value;
}

// "--cover" or "-c"/"--cover" as the help and the messages name an option.
std::string Spelling(const TOption& O) {
    return O.Short ? std::string("-") + O.Short + ", " + O.Long : std::string(O.Long);
}

void Apply(CliArguments& A, const TOption& O, const std::string& Name, const std::string& Value) {
    switch (O.Id) {
        case Opt::Cover:
            A.Cover = Value;
            break;
        case Opt::CoverFromFolder:
            A.CoverNames = ParseCoverNames(Value);
            break;
        case Opt::MaxWidth:
            A.MaxWidth = RequireRange(Name, Value, kMinPictureSide, kMaxPictureSide);
            break;
        case Opt::MaxHeight:
            A.MaxHeight = RequireRange(Name, Value, kMinPictureSide, kMaxPictureSide);
            break;
        case Opt::Quality:
            A.Quality = RequireRange(Name, Value, kMinJpegQuality, kMaxJpegQuality);
            break;
        case Opt::Kind:
            A.Kind = ParseKind(Value);
            if (!A.Kind) throw UsageError("unknown kind of picture '" + Value + "' (see --help)");
            break;
        case Opt::Id3:
            A.Id3Format = ParseId3Format(Value);
            if (!A.Id3Format)
                throw UsageError("unknown ID3v2 format '" + Value + "' (2.3-latin1, 2.3-utf16 or 2.4-utf8)");
            break;
        case Opt::OnlyIfMissing:
            A.OnlyIfMissing = true;
            break;
        case Opt::DryRun:
            A.DryRun = true;
            break;
        case Opt::KeepTimes:
            A.KeepTimes = true;
            break;
        case Opt::Quiet:
        case Opt::Verbose: {
            const Verbosity wanted = O.Id == Opt::Quiet ? Verbosity::Quiet : Verbosity::Verbose;
            if (A.Verbosity != Verbosity::Normal && A.Verbosity != wanted)
                throw UsageError("--quiet and --verbose exclude each other");
            A.Verbosity = wanted;
            break;
        }
        case Opt::Settings:
            A.Settings = std::filesystem::path(Value);
            break;
        case Opt::Recursive:
            A.Recursive = true;
            break;
        case Opt::FilesFrom:
            A.FilesFrom = std::filesystem::path(Value);
            break;
        case Opt::Null:
            A.NulSeparated = true;
            break;
        case Opt::Json:
            A.Json = true;
            break;
        case Opt::Help:
            A.Command = Command::Help;
            break;
        case Opt::Version:
            A.Command = Command::Version;
            break;
    }
}

const TOption& Find(const std::string& Arg, Command Command, bool IsLong) {
    const TOption* found = nullptr;
    for (const TOption& o : kOptions)
        if (IsLong ? Arg == o.Long : (Arg.size() == 2 && o.Short == Arg[1])) found = &o;
    if (found == nullptr) throw UsageError("unknown option '" + Arg + "' (try --help)");
    if (!(found->Commands & (CommandBit(Command) | kAnyCommand)))
        throw UsageError("option '" + Arg + "' is not one of " + CommandName(Command) + "'s (see --help)");
    return *found;
}

void CheckComplete(const CliArguments& A, const std::string& Command) {
    if (A.Command == Command::Add) {
        if (A.Cover.empty() && A.CoverNames.empty())
            throw UsageError("add needs --cover PICTURE or --cover-from-folder NAMES");
        if (!A.Cover.empty() && !A.CoverNames.empty())
            throw UsageError("--cover and --cover-from-folder exclude each other");
    }
    if (A.NulSeparated && !A.FilesFrom) throw UsageError("--null (-0) is for the list of --files-from");
    if (A.Paths.empty() && !A.FilesFrom) throw UsageError(Command + " needs at least one file or folder");
}

}  // namespace

std::optional<int> ParseKind(const std::string& Text) {
    if (std::optional<int> index = ParseInt(Text)) {
        if (*index >= 0 && *index < kKindCount) return index;
        return std::nullopt;
    }
    for (int i = 0; i < kKindCount; ++i)
        if (EqualsNoCase(PictureTypeToName(i), Text)) return i;
    return std::nullopt;
}

std::optional<int> ParseId3Format(const std::string& Text) {
    static const char* const names[] = {"2.3-latin1", "2.3-utf16", "2.4-utf8"};
    for (int i = 0; i < kTextEncodingCount; ++i)
        if (EqualsNoCase(Text, names[i]) || Text == std::to_string(i)) return i;
    return std::nullopt;
}

std::vector<std::string> ParseCoverNames(const std::string& Text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= Text.size()) {
        size_t end = Text.find(',', start);
        if (end == std::string::npos) end = Text.size();
        const std::string name = Text.substr(start, end - start);
        if (name.find('/') != std::string::npos)
            throw UsageError("--cover-from-folder takes file names, not paths ('" + name + "')");
        if (!name.empty()) names.push_back(name);
        start = end + 1;
    }
    if (names.empty()) throw UsageError("--cover-from-folder needs file names, such as cover.jpg,folder.jpg");
    return names;
}

CliArguments ParseArguments(const std::vector<std::string>& Args) {
    CliArguments a;
    if (Args.empty()) throw UsageError("no command given (try --help)");
    const std::string& command = Args[0];
    if (command == "help") return a;
    if (command == "add")
        a.Command = Command::Add;
    else if (command == "remove")
        a.Command = Command::Remove;
    else if (command == "info")
        a.Command = Command::Info;
    else if (command.size() > 1 && command[0] == '-') {
        // Only --help and --version stand without a command.
        const TOption* o = nullptr;
        try {
            o = &Find(command, Command::Help, command[1] == '-');
        } catch (const UsageError&) {
            throw UsageError("a command (add, remove or info) comes first, not '" + command +
                             "' (try --help)");
        }
        Apply(a, *o, command, "");
        return a;
    } else
        throw UsageError("unknown command '" + command + "' (try --help)");

    const Command run = a.Command;
    bool optionsEnded = false;
    for (size_t i = 1; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            a.Paths.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        auto nextValue = [&](const std::string& Name) -> std::string {
            if (i + 1 >= Args.size()) throw UsageError(Name + " needs a value");
            return Args[++i];
        };
        if (arg[1] == '-') {
            // "--name=value" and "--name value" are both accepted.
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            const TOption& o = Find(name, run, true);
            if (!o.Value && eq != std::string::npos) throw UsageError(name + " takes no value");
            Apply(a, o, name, !o.Value ? "" : eq != std::string::npos ? arg.substr(eq + 1) : nextValue(name));
        } else {
            // Short options may be bundled ("-rtn"); one that takes a value takes the rest of
            // the word ("-ccover.jpg") or the next word.
            for (size_t j = 1; j < arg.size(); ++j) {
                const std::string name = std::string("-") + arg[j];
                const TOption& o = Find(name, run, false);
                if (!o.Value) {
                    Apply(a, o, name, "");
                    continue;
                }
                Apply(a, o, name, j + 1 < arg.size() ? arg.substr(j + 1) : nextValue(name));
                break;
            }
        }
        if (a.Command == Command::Help || a.Command == Command::Version) return a;
    }
    CheckComplete(a, command);
    return a;
}

std::string UsageText() {
    std::string kinds;
    for (int i = 0; i < kKindCount; ++i)
        kinds += " " + PictureTypeToName(i) + (i + 1 < kKindCount ? "," : "");

    // The options by the commands they belong to, one heading per set of commands.
    std::string options;
    for (const unsigned commands :
         {unsigned{kAdd}, kAdd | kRemove, kAdd | kRemove | kInfo, unsigned{kInfo}, unsigned{kAnyCommand}}) {
        static const std::array<std::pair<unsigned, const char*>, 5> kHeadings = {{
            {kAdd, "Options of add"},
            {kAdd | kRemove, "Options of add and remove"},
            {kAdd | kRemove | kInfo, "Options of add, remove and info"},
            {kInfo, "Options of info"},
            {kAnyCommand, "Other options"},
        }};
        for (const auto& [bits, heading] : kHeadings)
            if (bits == commands) options += std::string("\n") + heading + ":\n";
        for (const TOption& o : kOptions) {
            if (o.Commands != commands) continue;
            std::string head = "  " + std::string(o.Short ? "" : "    ") + Spelling(o) +
                               (o.Value ? std::string(" ") + o.Value : "");
            std::string help = o.Help;
            if (o.Id == Opt::Kind) help += kinds;
            // The help beside the option when it fits, else below it, in words wrapped to 79 columns.
            constexpr size_t kColumn = 30, kWidth = 79;
            std::string text = head;
            if (head.size() + 2 > kColumn)
                text += "\n" + std::string(kColumn, ' ');
            else
                text += std::string(kColumn - head.size(), ' ');
            size_t used = kColumn;
            for (size_t pos = 0; pos < help.size();) {
                const size_t end = std::min(help.find(' ', pos), help.size());
                const std::string word = help.substr(pos, end - pos);
                pos = end + 1;
                if (word.empty()) continue;
                if (used > kColumn && used + 1 + word.size() > kWidth) {
                    text += "\n" + std::string(kColumn, ' ');
                    used = kColumn;
                }
                if (used > kColumn) {
                    text += ' ';
                    ++used;
                }
                text += word;
                used += word.size();
            }
            text += "\n";
            options += text;
        }
    }

    // Laid out as help2man reads it: the man page is made from this text.
    return "Usage: covrilo-cli add --cover PICTURE [OPTION]... PATH...\n"
           "  or:  covrilo-cli add --cover-from-folder NAMES [OPTION]... PATH...\n"
           "  or:  covrilo-cli remove [OPTION]... PATH...\n"
           "  or:  covrilo-cli info [OPTION]... PATH...\n"
           "  or:  covrilo-cli --help | --version\n"
           "\n"
           "Puts one cover picture into the ID3v2 tags of MP3 files, or removes every\n"
           "attached picture from them: the batch run of the window covrilo, from the\n"
           "command line.\n"
           "\n"
           "Commands:\n"
           "  add      puts the JPEG picture into the ID3v2 tag of every MP3 file as an\n"
           "           attached picture, replacing a picture of the same kind.\n"
           "  remove   deletes every attached picture from the ID3v2 tags of the files.\n"
           "  info     shows what the files' tags hold.\n"
           "\n"
           "A PATH that is a folder stands for its .mp3 files (sorted by name, ignoring\n"
           "case; with --recursive also those in sub-folders). Other files are taken as\n"
           "given, in order. Options of add and remove hold for this run only; their\n"
           "defaults come from the settings file.\n" +
           options +
           "\n"
           "Output: one line per file, STATUS<TAB>PATH, with STATUS OK, Error, Deleted or\n"
           "Skipped; for a file that got Error the reason follows on stderr (covrilo-cli:\n"
           "PATH: REASON), and the run goes on. OK and Deleted are printed only once the\n"
           "file is saved to the disk. With --dry-run each line says what would be done:\n"
           "STATUS<TAB>PATH<TAB>WHAT.\n"
           "\n"
           "Exit status:\n"
           "  0  all files OK, Deleted or Skipped\n"
           "  1  some file Error\n"
           "  2  a usage error, no MP3 files, or a cover that cannot be used (no file is\n"
           "     touched then)\n";
}

}  // namespace covrilo::cli
