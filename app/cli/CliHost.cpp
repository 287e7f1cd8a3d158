// SPDX-License-Identifier: MIT
#include "app/cli/CliHost.h"

#include <algorithm>

namespace covrilo::cli {

std::string PrintablePath(const std::filesystem::path& Path) {
    const std::string& text = Path.native();
    const bool plain = std::none_of(text.begin(), text.end(), [](char C) {
        const auto byte = static_cast<unsigned char>(C);
        return byte < 0x20 || byte == 0x7F;
    });
    if (plain) return text;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
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

namespace {

std::string Size(int Width, int Height) { return std::to_string(Width) + " x " + std::to_string(Height); }

std::string VersionName(uint16_t Version) {
    return "ID3v2." + std::to_string(Version >> 8) + "." + std::to_string(Version & 0xFF);
}

std::string PictureText(const TCoverReport& Cover) {
    std::string text =
        "picture " + Size(Cover.Width, Cover.Height) + ", " + std::to_string(Cover.Bytes) + " bytes";
    if (Cover.Scaled) return text + " (scaled from " + Size(Cover.SourceWidth, Cover.SourceHeight) + ")";
    return text + " (as it is)";
}

}  // namespace

std::string DryRunDetail(const std::string& Status, const TFileReport& Report, const std::string& Reason,
                         const std::string& Kind) {
    if (Status == kStatusError) return Reason;
    if (Status == kStatusSkipped) return "has a picture of the kind " + Kind + " already; left as it is";
    const TSaveReport& save = Report.Save;
    std::string text;
    if (!save.Written)
        text = "no picture; left as it is";
    else
        text = save.Rewrite ? "rewritten" : "in place";
    if (Status == kStatusDeleted && save.Written)
        text += "; " + std::to_string(save.Removed.size()) +
                (save.Removed.size() == 1 ? " picture" : " pictures") + " removed";
    if (Report.Cover) text += "; " + PictureText(*Report.Cover);
    return text;
}

std::vector<std::string> VerboseDetails(const TFileReport& Report) {
    std::vector<std::string> lines;
    const TSaveReport& save = Report.Save;
    if (Report.Cover) lines.push_back(PictureText(*Report.Cover) + ", from " + Report.Cover->Source.string());
    if (!save.Written) {
        lines.push_back("nothing to change; the file is left as it is");
        return lines;
    }
    auto tag = [](uint16_t Version, int64_t Bytes) {
        return Version == 0 ? std::string("no ID3v2 tag")
                            : VersionName(Version) + " tag of " + std::to_string(Bytes) + " bytes";
    };
    lines.push_back(tag(save.OldVersion, save.OldTagBytes) + " -> " + tag(save.NewVersion, save.NewTagBytes) +
                    ", " + (save.Rewrite ? "the file rewritten" : "written in place"));
    for (const std::string& frame : save.Removed) lines.push_back("- " + frame);
    for (const std::string& frame : save.Added) lines.push_back("+ " + frame);
    if (save.ID3v1Changed) lines.push_back("ID3v1 record written");
    return lines;
}

CliHost::CliHost(std::vector<std::filesystem::path> Files, bool Remove, std::filesystem::path Cover,
                 TBatchSettings Settings, std::filesystem::path DataDir, std::ostream& Out, std::ostream& Err,
                 bool ShowProgress, TBatchOptions Options, Verbosity Level)
    : files_(std::move(Files)),
      statuses_(files_.size(), kStatusWaiting),
      remove_(Remove),
      cover_(std::move(Cover)),
      settings_(Settings),
      dataDir_(std::move(DataDir)),
      out_(Out),
      err_(Err),
      showProgress_(ShowProgress && Level != Verbosity::Quiet),
      options_(std::move(Options)),
      verbosity_(Level) {}

void CliHost::ReportFile(int Index, const TFileReport& Report) {
    (void)Index;
    report_ = Report;
}

void CliHost::SetEntryStatus(int Index, const std::string& Status) {
    statuses_.at(static_cast<size_t>(Index)) = Status;
    ++done_;
    // An Error's line waits for its reason, which the dry run prints with it.
    if (options_.DryRun && Status == kStatusError) return;
    PrintLine(Index, Status, "");
}

void CliHost::PrintLine(int Index, const std::string& Status, const std::string& Reason) {
    if (verbosity_ == Verbosity::Quiet && Status != kStatusError) return;
    ClearProgress();
    out_ << Status << '\t' << PrintablePath(files_[static_cast<size_t>(Index)]);
    if (options_.DryRun)
        out_ << '\t' << DryRunDetail(Status, report_, Reason, PictureTypeToName(settings_.KindOfPic));
    out_ << '\n';
    if (verbosity_ == Verbosity::Verbose && Status != kStatusError && Status != kStatusSkipped)
        for (const std::string& line : VerboseDetails(report_)) out_ << "  " << line << '\n';
    out_ << std::flush;
}

void CliHost::ReportFileError(int Index, const std::string& Reason) {
    if (options_.DryRun) PrintLine(Index, kStatusError, Reason);
    ClearProgress();
    err_ << "covrilo-cli: " << PrintablePath(files_.at(static_cast<size_t>(Index))) << ": " << Reason
         << std::endl;
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
