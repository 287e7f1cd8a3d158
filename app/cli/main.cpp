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

int Fail(const std::string& message) {
    std::cerr << "covrilo-cli: " << message << "\n";
    return kExitUsage;
}

void Warn(const std::string& message) { std::cerr << "covrilo-cli: warning: " << message << "\n"; }

// Reads the settings file (creating the empty document when it is missing, except in a dry
// run, which creates nothing), saying what in it cannot be used as it stands; the command
// line never writes settings back.
void ReadSettings(const std::filesystem::path& file, bool dryRun) {
    std::error_code ec;
    if (dryRun && !std::filesystem::exists(file, ec)) return;  // the defaults
    try {
        for (const std::string& warning : ReadSettingsOnce(file)) Warn("settings " + file.string() + ": " + warning);
    } catch (const std::exception& e) {
        Warn("cannot read settings " + file.string() + " (" + e.what() + "), using the defaults");
    }
}

// The files a command works on: the PATHs, then those of the --files-from list, each folder
// standing for its MP3 files. A folder that holds none itself while its sub-folders do is
// named (it wants --recursive). Throws UsageError when there is nothing to work on.
std::vector<std::filesystem::path> FilesToProcess(const CliArguments& args) {
    std::vector<std::filesystem::path> paths = args.paths;
    if (args.filesFrom) {
        const auto listed = ReadFileList(*args.filesFrom, args.nulSeparated, std::cin);
        paths.insert(paths.end(), listed.begin(), listed.end());
    }
    if (paths.empty()) throw UsageError("nothing to do: the list " + args.filesFrom->string() + " names no file");
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> needRecursive;
    for (const std::filesystem::path& path : paths) {
        std::vector<std::filesystem::path> found = ExpandPaths({path}, args.recursive);
        std::error_code ec;
        if (found.empty() && !args.recursive && std::filesystem::is_directory(path, ec) &&
            HasMp3FilesInSubFolders(path))
            needRecursive.push_back(path);
        files.insert(files.end(), found.begin(), found.end());
    }
    if (files.empty() && !needRecursive.empty())
        throw UsageError("no MP3 files found in the given folders; their sub-folders hold some (use --recursive)");
    if (files.empty()) throw UsageError("no MP3 files found in the given folders");
    for (const std::filesystem::path& folder : needRecursive)
        Warn(PrintablePath(folder) + " holds no MP3 files itself, only its sub-folders do (use --recursive)");
    return files;
}

int RunBatchCommand(const CliArguments& args, std::vector<std::filesystem::path> files) {
    const std::filesystem::path dataDir =
        args.settings ? DataDirForSettingsFile(*args.settings) : DataDir(!args.dryRun);
    const std::filesystem::path settingsFile = args.settings ? *args.settings : dataDir / kSettingsFileName;
    ReadSettings(settingsFile, args.dryRun);

    TBatchSettings settings = CurrentBatchSettings();
    if (args.maxWidth) settings.MaxX = *args.maxWidth;
    if (args.maxHeight) settings.MaxY = *args.maxHeight;
    if (args.quality) settings.JpegQuality = *args.quality;
    if (args.kind) settings.KindOfPic = *args.kind;

    TMultitagTagger tagger;
    tagger.ApplyTextEncoding(args.id3Format ? *args.id3Format : TextEncoding);

    // A file that an interrupted in-place save (a killed run, a crash) left behind is
    // restored before anything else happens to it; one that cannot be restored now is
    // reported by the run. A dry run leaves it as it is (and says so).
    if (!args.dryRun) {
        for (const std::filesystem::path& file : files) {
            try {
                RecoverInterruptedSave(file);
            } catch (const std::exception&) {
            }
        }
    }

    TBatchOptions options;
    options.FolderCoverNames = args.coverNames;
    options.OnlyIfMissing = args.onlyIfMissing;
    options.KeepTimes = args.keepTimes;
    options.DryRun = args.dryRun;
    const bool remove = args.command == Command::Remove;
    CliHost host(files, remove, remove ? std::filesystem::path() : args.cover, settings, dataDir, std::cout,
                 std::cerr, ::isatty(STDERR_FILENO) != 0, options, args.verbosity);
    host.ProcessEvents();
    TBatchResult result = RunBatch(host, tagger);
    host.ClearProgress();

    switch (result.Outcome) {
        case TBatchOutcome::boNothingToDo: return Fail("nothing to do");
        case TBatchOutcome::boFailed: {
            std::cerr << "covrilo-cli: " << result.Message << "\n";
            const size_t first = result.FailedIndex < 0 ? 0 : static_cast<size_t>(result.FailedIndex);
            for (size_t i = first; i < files.size(); ++i)
                std::cerr << "covrilo-cli: not processed: " << PrintablePath(files[i]) << "\n";
            return kExitUsage;
        }
        case TBatchOutcome::boStopped:  // not asked for here; files not reached count as failed
        case TBatchOutcome::boCompleted: break;
    }
    const auto& statuses = host.Statuses();
    const auto count = [&](const char* status) { return std::count(statuses.begin(), statuses.end(), status); };
    const auto errors = static_cast<long>(statuses.size()) - count(kStatusOK) - count(kStatusDeleted) - count(kStatusSkipped);
    if (args.dryRun)
        std::cerr << "covrilo-cli: dry run, nothing was written: " << count(remove ? kStatusDeleted : kStatusOK)
                  << " of " << statuses.size() << " files would be " << (remove ? "cleared" : "tagged") << ", "
                  << count(kStatusSkipped) << " skipped, " << errors << " refused\n";
    return errors == 0 ? kExitOK : kExitFileError;
}

int Main(int argc, char** argv) {
    CliArguments args;
    try {
        args = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "covrilo-cli: " << e.what() << "\n";
        std::cerr << "Try 'covrilo-cli --help' for more information.\n";
        return kExitUsage;
    }
    switch (args.command) {
        case Command::Help: std::cout << UsageText(); return kExitOK;
        case Command::Version: std::cout << "covrilo-cli " << COVRILO_VERSION << "\n"; return kExitOK;
        case Command::Info:
        case Command::Add:
        case Command::Remove: break;
    }
    std::vector<std::filesystem::path> files;
    try {
        files = FilesToProcess(args);
    } catch (const UsageError& e) {
        return Fail(e.what());
    }
    if (args.command == Command::Info) return RunInfo(files, args.json, std::cout);
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
