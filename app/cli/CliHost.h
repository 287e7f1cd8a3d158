// SPDX-License-Identifier: MIT
// The command-line host of the batch run: a fixed list of files, statuses printed as each
// file finishes, and a progress line on stderr when stderr is a terminal.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/BatchRun.h"
#include "app/cli/CliArguments.h"

namespace covrilo::cli {

// A path as one line of output: a name holding a control character (a newline, a tab) is
// written with C escapes (\n, \t, \xHH, and \\ for its backslashes); others as they are.
std::string PrintablePath(const std::filesystem::path& Path);

// What a file's line says beyond STATUS and PATH in a dry run: how it would be saved, the
// picture it would get, or why it would be refused ("in place; picture 500 x 375, scaled
// from 1200 x 900").
std::string DryRunDetail(const std::string& Status, const TFileReport& Report, const std::string& Reason,
                         const std::string& Kind);
// What changed in a file's tag, one indented line each, for --verbose.
std::vector<std::string> VerboseDetails(const TFileReport& Report);

class CliHost : public IBatchHost {
   public:
    CliHost(std::vector<std::filesystem::path> Files, bool Remove, std::filesystem::path Cover,
            TBatchSettings Settings, std::filesystem::path DataDir, std::ostream& Out, std::ostream& Err,
            bool ShowProgress, TBatchOptions Options = {}, Verbosity Level = Verbosity::Normal);

    int EntryCount() override { return static_cast<int>(files_.size()); }
    std::filesystem::path EntryPath(int Index) override { return files_.at(static_cast<size_t>(Index)); }
    void SetEntryStatus(int Index, const std::string& Status) override;
    bool RemoveMode() override { return remove_; }
    std::filesystem::path ImagePath() override { return cover_; }
    void SetImagePath(const std::filesystem::path& Path) override { cover_ = Path; }
    TBatchSettings Settings() override { return settings_; }
    std::filesystem::path DataDir() override { return dataDir_; }
    void ProcessEvents() override;
    void FileFinished(int Index) override { processed_ = Index + 1; }
    // A file that fails gets "Error" and its reason on stderr; the run goes on.
    bool ContinueAfterFileError() override { return true; }
    void ReportFileError(int Index, const std::string& Reason) override;
    TBatchOptions Options() override { return options_; }
    void ReportFile(int Index, const TFileReport& Report) override;

    const std::vector<std::string>& Statuses() const { return statuses_; }
    // Clears the progress line before other output goes to stderr.
    void ClearProgress();

   private:
    void PrintLine(int Index, const std::string& Status, const std::string& Reason);

    std::vector<std::filesystem::path> files_;
    std::vector<std::string> statuses_;
    bool remove_;
    std::filesystem::path cover_;
    TBatchSettings settings_;
    std::filesystem::path dataDir_;
    std::ostream& out_;
    std::ostream& err_;
    bool showProgress_;
    TBatchOptions options_;
    Verbosity verbosity_;
    TFileReport report_;  // of the file whose status comes next
    int done_ = 0;
    int processed_ = 0;  // files worked on (their statuses may follow later)
    bool progressShown_ = false;
};

}  // namespace covrilo::cli
