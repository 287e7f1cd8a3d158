// SPDX-License-Identifier: MIT
// A batch host standing in for the window's file list: names, statuses, the remove check box,
// the picture and the settings, all plain fields a test sets and reads.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/BatchRun.h"

namespace covrilo::test {

class TFakeHost : public IBatchHost {
   public:
    std::vector<std::filesystem::path> Paths;
    std::vector<std::string> Statuses;
    bool Remove = false;
    std::filesystem::path Picture;
    TBatchSettings Values;
    std::filesystem::path Data;
    int EventCalls = 0;
    bool Stop = false;                  // what StopRequested answers
    std::function<void(int)> OnEvents;  // runs after each file, like user input between files
    bool ContinueOnError = false;       // as the command line: a failing file does not end the run
    std::vector<std::pair<int, std::string>> Reasons;  // what ReportFileError was told
    TBatchOptions RunOptions;                          // what Options answers
    std::vector<std::pair<int, TFileReport>> Reports;  // what ReportFile was told

    // Lists the files, each "Waiting...", as adding them to the window does.
    void SetFiles(std::vector<std::filesystem::path> Files) {
        Paths = std::move(Files);
        Statuses.assign(Paths.size(), kStatusWaiting);
    }
    int EntryCount() override { return static_cast<int>(Paths.size()); }
    std::filesystem::path EntryPath(int Index) override { return Paths.at(static_cast<size_t>(Index)); }
    void SetEntryStatus(int Index, const std::string& Status) override {
        Statuses.at(static_cast<size_t>(Index)) = Status;
    }
    bool RemoveMode() override { return Remove; }
    std::filesystem::path ImagePath() override { return Picture; }
    void SetImagePath(const std::filesystem::path& Path) override { Picture = Path; }
    TBatchSettings Settings() override { return Values; }
    std::filesystem::path DataDir() override { return Data; }
    void ProcessEvents() override {
        if (OnEvents) OnEvents(EventCalls);
        ++EventCalls;
    }
    bool ContinueAfterFileError() override { return ContinueOnError; }
    void ReportFileError(int Index, const std::string& Reason) override {
        Reasons.emplace_back(Index, Reason);
    }
    bool StopRequested() override { return Stop; }
    TBatchOptions Options() override { return RunOptions; }
    void ReportFile(int Index, const TFileReport& Report) override { Reports.emplace_back(Index, Report); }
};

}  // namespace covrilo::test
