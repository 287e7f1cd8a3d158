// SPDX-License-Identifier: MIT
// Command line of covrilo-cli: one table of options, from which both the parser and the
// help text (and through help2man the man page) are made.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace covrilo::cli {

// A command line that cannot be run; the message says why (exit status 2).
class UsageError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

enum class Command { Help, Version, Add, Remove, Info };

enum class Verbosity { Quiet, Normal, Verbose };

struct CliArguments {
    cli::Command Command = cli::Command::Help;
    std::filesystem::path Cover;
    std::vector<std::string> CoverNames;  // --cover-from-folder, in the order given
    std::optional<int> MaxWidth, MaxHeight, Quality, Kind, Id3Format;
    std::optional<std::filesystem::path> Settings;
    bool Recursive = false;
    bool Json = false;
    bool OnlyIfMissing = false;
    bool KeepTimes = false;
    bool DryRun = false;
    cli::Verbosity Verbosity = cli::Verbosity::Normal;
    std::optional<std::filesystem::path> FilesFrom;  // "-": standard input
    bool NulSeparated = false;                       // -0: the list's names end with NUL
    std::vector<std::filesystem::path> Paths;
};

// Parses argv (without the program name). Throws UsageError.
CliArguments ParseArguments(const std::vector<std::string>& Args);

// "FrontCover" (any case) or "1" -> kind index 0..18; nullopt when neither.
std::optional<int> ParseKind(const std::string& Text);
// "2.3-latin1" / "2.3-utf16" / "2.4-utf8" or 0/1/2 -> 0..2; nullopt otherwise.
std::optional<int> ParseId3Format(const std::string& Text);
// The names of --cover-from-folder: "cover.jpg,Folder.jpg" -> {"cover.jpg", "Folder.jpg"}.
// Throws UsageError for an empty list or a name that is a path.
std::vector<std::string> ParseCoverNames(const std::string& Text);

std::string UsageText();

}  // namespace covrilo::cli
