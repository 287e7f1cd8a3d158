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

// Reads the settings file (creating the empty document when it is missing); the command
// line never writes settings back.
void ReadSettings(const std::filesystem::path& file) {
    try {
        ReadSettingsOnce(file);
    } catch (const std::exception& e) {
        std::cerr << "covrilo-cli: warning: cannot read settings " << file.string() << " (" << e.what()
                  << "), using the defaults\n";
    }
}

int RunBatchCommand(const CliArguments& args) {
    std::vector<std::filesystem::path> files = ExpandPaths(args.paths, args.recursive);
    if (files.empty()) return Fail("no MP3 files found in the given folders");

    const std::filesystem::path settingsFile =
        args.settings ? *args.settings : DataDir() / kSettingsFileName;
    const std::filesystem::path dataDir = args.settings ? DataDirForSettingsFile(*args.settings) : DataDir();
    ReadSettings(settingsFile);

    TBatchSettings settings = CurrentBatchSettings();
    if (args.maxWidth) settings.MaxX = *args.maxWidth;
    if (args.maxHeight) settings.MaxY = *args.maxHeight;
    if (args.quality) settings.JpegQuality = *args.quality;
    if (args.kind) settings.KindOfPic = *args.kind;

    TMultitagTagger tagger;
    tagger.ApplyTextEncoding(args.id3Format ? *args.id3Format : TextEncoding);

    // A file that an interrupted in-place save (a killed run, a crash) left behind is
    // restored before anything else happens to it; one that cannot be restored now is
    // reported by the run.
    for (const std::filesystem::path& file : files) {
        try {
            RecoverInterruptedSave(file);
        } catch (const std::exception&) {
        }
    }

    const bool remove = args.command == Command::Remove;
    CliHost host(files, remove, remove ? std::filesystem::path() : args.cover, settings, dataDir, std::cout,
                 std::cerr, ::isatty(STDERR_FILENO) != 0);
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
    const bool allDone = std::all_of(statuses.begin(), statuses.end(), [](const std::string& status) {
        return status == kStatusOK || status == kStatusDeleted;
    });
    return allDone ? kExitOK : kExitFileError;
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
        case Command::Info: return RunInfo(ExpandPaths(args.paths, false), args.json, std::cout);
        case Command::Add:
        case Command::Remove: return RunBatchCommand(args);
    }
    return kExitUsage;
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
