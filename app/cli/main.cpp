// SPDX-License-Identifier: MIT
// covrilo-cli: the batch run of the window, driven from the command line.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/BatchRun.h"
#include "app/DataDir.h"
#include "app/FileSelection.h"
#include "app/MultitagTagger.h"
#include "app/Settings.h"
#include "app/cli/CliArguments.h"
#include "app/cli/CliHost.h"
#include "app/cli/FileList.h"
#include "app/cli/InfoCommand.h"
#include "io/FileTransaction.h"

namespace covrilo::cli {
namespace {

constexpr int kExitOK = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& Message) {
    std::cerr << "covrilo-cli: " << Message << "\n";
    return kExitUsage;
}

void Warn(const std::string& Message) { std::cerr << "covrilo-cli: warning: " << Message << "\n"; }

// Reads the settings file (creating the empty document when it is missing, except in a dry
// run, which creates nothing), saying what in it cannot be used as it stands; the command
// line never writes settings back.
void ReadSettings(const std::filesystem::path& File, bool DryRun) {
    std::error_code ec;
    if (DryRun && !std::filesystem::exists(File, ec)) return;  // the defaults
    try {
        for (const std::string& warning : ReadSettingsOnce(File))
            Warn("settings " + File.string() + ": " + warning);
    } catch (const std::exception& e) {
        Warn("cannot read settings " + File.string() + " (" + e.what() + "), using the defaults");
    }
}

// The files a command works on: the PATHs, then those of the --files-from list, each folder
// standing for its MP3 files. A folder that holds none itself while its sub-folders do is
// named (it wants --recursive). Throws UsageError when there is nothing to work on.
std::vector<std::filesystem::path> FilesToProcess(const CliArguments& Args) {
    std::vector<std::filesystem::path> paths = Args.Paths;
    if (Args.FilesFrom) {
        const auto listed = ReadFileList(*Args.FilesFrom, Args.NulSeparated, std::cin);
        paths.insert(paths.end(), listed.begin(), listed.end());
    }
    if (paths.empty())
        throw UsageError("nothing to do: the list " + Args.FilesFrom->string() + " names no file");
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> needRecursive;
    for (const std::filesystem::path& path : paths) {
        std::vector<std::filesystem::path> found = ExpandPaths({path}, Args.Recursive);
        std::error_code ec;
        if (found.empty() && !Args.Recursive && std::filesystem::is_directory(path, ec) &&
            HasMp3FilesInSubFolders(path))
            needRecursive.push_back(path);
        files.insert(files.end(), found.begin(), found.end());
    }
    if (files.empty() && !needRecursive.empty())
        throw UsageError(
            "no MP3 files found in the given folders; their sub-folders hold some (use --recursive)");
    if (files.empty()) throw UsageError("no MP3 files found in the given folders");
    for (const std::filesystem::path& folder : needRecursive)
        Warn(PrintablePath(folder) + " holds no MP3 files itself, only its sub-folders do (use --recursive)");
    return files;
}

int RunBatchCommand(const CliArguments& Args, std::vector<std::filesystem::path> Files) {
    const std::filesystem::path dataDir =
        Args.Settings ? DataDirForSettingsFile(*Args.Settings) : DataDir(!Args.DryRun);
    const std::filesystem::path settingsFile = Args.Settings ? *Args.Settings : dataDir / kSettingsFileName;
    ReadSettings(settingsFile, Args.DryRun);

    TBatchSettings settings = CurrentBatchSettings();
    if (Args.MaxWidth) settings.MaxX = *Args.MaxWidth;
    if (Args.MaxHeight) settings.MaxY = *Args.MaxHeight;
    if (Args.Quality) settings.JpegQuality = *Args.Quality;
    if (Args.Kind) settings.KindOfPic = *Args.Kind;

    TMultitagTagger tagger;
    tagger.ApplyTextEncoding(Args.Id3Format ? *Args.Id3Format : TextEncoding);

    // A file that an interrupted in-place save (a killed run, a crash) left behind is
    // restored before anything else happens to it; one that cannot be restored now is
    // reported by the run. A dry run leaves it as it is (and says so).
    if (!Args.DryRun) {
        for (const std::filesystem::path& file : Files) {
            try {
                RecoverInterruptedSave(file);
            } catch (const std::exception&) {
            }
        }
    }

    TBatchOptions options;
    options.FolderCoverNames = Args.CoverNames;
    options.OnlyIfMissing = Args.OnlyIfMissing;
    options.KeepTimes = Args.KeepTimes;
    options.DryRun = Args.DryRun;
    const bool remove = Args.Command == Command::Remove;
    CliHost host(Files, remove, remove ? std::filesystem::path() : Args.Cover, settings, dataDir, std::cout,
                 std::cerr, ::isatty(STDERR_FILENO) != 0, options, Args.Verbosity);
    host.ProcessEvents();
    TBatchResult result = RunBatch(host, tagger);
    host.ClearProgress();

    switch (result.Outcome) {
        case TBatchOutcome::boNothingToDo:
            return Fail("nothing to do");
        case TBatchOutcome::boFailed: {
            std::cerr << "covrilo-cli: " << result.Message << "\n";
            const size_t first = result.FailedIndex < 0 ? 0 : static_cast<size_t>(result.FailedIndex);
            for (size_t i = first; i < Files.size(); ++i)
                std::cerr << "covrilo-cli: not processed: " << PrintablePath(Files[i]) << "\n";
            return kExitUsage;
        }
        case TBatchOutcome::boStopped:  // not asked for here; files not reached count as failed
        case TBatchOutcome::boCompleted:
            break;
    }
    const auto& statuses = host.Statuses();
    const auto count = [&](const char* Status) {
        return std::count(statuses.begin(), statuses.end(), Status);
    };
    const auto errors =
        static_cast<long>(statuses.size()) - count(kStatusOK) - count(kStatusDeleted) - count(kStatusSkipped);
    if (Args.DryRun)
        std::cerr << "covrilo-cli: dry run, nothing was written: "
                  << count(remove ? kStatusDeleted : kStatusOK) << " of " << statuses.size()
                  << " files would be " << (remove ? "cleared" : "tagged") << ", " << count(kStatusSkipped)
                  << " skipped, " << errors << " refused\n";
    return errors == 0 ? kExitOK : kExitFileError;
}

int Main(int Argc, char** Argv) {
    CliArguments args;
    try {
        args = ParseArguments(std::vector<std::string>(Argv + 1, Argv + Argc));
    } catch (const UsageError& e) {
        std::cerr << "covrilo-cli: " << e.what() << "\n";
        std::cerr << "Try 'covrilo-cli --help' for more information.\n";
        return kExitUsage;
    }
    switch (args.Command) {
        case Command::Help:
            std::cout << UsageText();
            return kExitOK;
        case Command::Version:
            std::cout << "covrilo-cli " << COVRILO_VERSION << "\n";
            return kExitOK;
        case Command::Info:
        case Command::Add:
        case Command::Remove:
            break;
    }
    std::vector<std::filesystem::path> files;
    try {
        files = FilesToProcess(args);
    } catch (const UsageError& e) {
        return Fail(e.what());
    }
    if (args.Command == Command::Info) return RunInfo(files, args.Json, std::cout);
    return RunBatchCommand(args, std::move(files));
}

}  // namespace
}  // namespace covrilo::cli

int main(int argc, char** argv) {
    // A run allocates and frees a tag's worth of memory per file: keeping freed memory for
    // the next file spares the kernel faulting in fresh pages every time.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    try {
        return covrilo::cli::Main(argc, argv);
    } catch (const std::exception& e) {
        // Last line of defence: never end with an unhandled exception.
        std::cerr << "covrilo-cli: " << e.what() << "\n";
        return 2;
    }
}
