// SPDX-License-Identifier: MIT
#include "app/cli/CliHost.h"

#include <algorithm>

namespace covrilo::cli {

std::string PrintablePath(const std::filesystem::path& Path) {
    const std::string& text = Path.native();
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    if (plain) return text;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

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
    out_ << Status << '\t' << PrintablePath(files_[static_cast<size_t>(Index)]) << std::endl;
    ++done_;
}

void CliHost::ReportFileError(int Index, const std::string& Reason) {
    ClearProgress();
    err_ << "covrilo-cli: " << PrintablePath(files_.at(static_cast<size_t>(Index))) << ": " << Reason << std::endl;
}

void CliHost::ProcessEvents() {
    if (!showProgress_ || processed_ >= EntryCount()) return;
    err_ << "\r\033[K[" << processed_ << "/" << EntryCount() << "] "
         << PrintablePath(files_[static_cast<size_t>(processed_)].filename()) << std::flush;
    progressShown_ = true;
}

void CliHost::ClearProgress() {
    if (progressShown_) err_ << "\r\033[K" << std::flush;
    progressShown_ = false;
}

}  // namespace covrilo::cli
