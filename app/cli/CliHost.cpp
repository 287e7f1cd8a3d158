// SPDX-License-Identifier: MIT
#include "app/cli/CliHost.h"

namespace covrilo::cli {

CliHost::CliHost(std::vector<std::filesystem::path> Files, bool Remove, std::filesystem::path Cover,
                 TBatchSettings Settings, std::filesystem::path DataDir, std::ostream& Out, std::ostream& Err,
                 bool ShowProgress)
    : files_(std::move(Files)),
      statuses_(files_.size(), kStatusWaiting),
      remove_(Remove),
      cover_(std::move(Cover)),
      settings_(Settings),
      dataDir_(std::move(DataDir)),
      out_(Out),
      err_(Err),
      showProgress_(ShowProgress) {}

void CliHost::SetEntryStatus(int Index, const std::string& Status) {
    statuses_.at(static_cast<size_t>(Index)) = Status;
    ClearProgress();
    out_ << Status << '\t' << files_[static_cast<size_t>(Index)].string() << std::endl;
    ++done_;
}

void CliHost::ProcessEvents() {
    if (!showProgress_ || done_ >= EntryCount()) return;
    err_ << "\r\033[K[" << done_ << "/" << EntryCount() << "] "
         << files_[static_cast<size_t>(done_)].filename().string() << std::flush;
    progressShown_ = true;
}

void CliHost::ClearProgress() {
    if (progressShown_) err_ << "\r\033[K" << std::flush;
    progressShown_ = false;
}

}  // namespace covrilo::cli
