// SPDX-License-Identifier: MIT
#include "app/BatchRun.h"

#include <array>
#include <exception>
#include <map>
#include <stdexcept>
#include <utility>

#include "app/CoverImage.h"
#include "app/CoverWorkspace.h"
#include "app/FileSelection.h"
#include "app/Settings.h"
#include "io/EnhancedStreams.h"

namespace covrilo {

namespace {

constexpr std::array<const char*, 19> kKindNames = {
    "Other",
    "FrontCover",
    "BackCover",
    "LeafletPage",
    "Media",
    "LeadArtist",
    "Artist",
    "Conductor",
    "Band",
    "Composer",
    "Lyricist",
    "RecordingLocation",
    "DuringRecording",
    "DuringPerformance",
    "VideoScreenCapture",
    "ColouredFish",
    "Illustration",
    "BandLogo",
    "PublisherStudio",
};

}  // namespace

TBatchSettings CurrentBatchSettings() { return {MaxX, MaxY, JpegQuality, KindOfPic}; }

std::string PictureTypeToName(int Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= kKindNames.size()) return "Other";
    return kKindNames[static_cast<size_t>(Index)];
}

namespace {

// A file's picture as the run hands it to the tagger: a prepared file, or why there is none.
struct TCover {
    std::filesystem::path File;  // empty: no picture
    std::optional<TCoverReport> Report;
    std::string Error;  // why the picture cannot be used
};

// Prepares the pictures of one run: the host's picture once (again only when the host
// switched to another), or each folder's own picture once per folder.
class TCoverSource {
   public:
    TCoverSource(IBatchHost& Host, const TBatchSettings& Settings, const TBatchOptions& Options, int Count)
        : host_(Host), settings_(Settings), options_(Options) {
        // Where each folder's files end in the list, so that its copy goes once they are done:
        // a library of thousands of albums never holds thousands of copies at once.
        if (!options_.FolderCoverNames.empty())
            for (int i = 0; i < Count; ++i) lastOfFolder_[FolderKey(host_.EntryPath(i))] = i;
    }

    // The host's picture. Errors raise: they end the run.
    const TCover& ForRun() {
        std::filesystem::path picture = host_.ImagePath();
        if (picture.empty()) return none_;
        if (prepared_ && picture == *prepared_) return run_;
        if (options_.DryRun) {
            run_ =
                Made(picture, PrepareCover(picture, settings_.MaxX, settings_.MaxY, settings_.JpegQuality));
        } else {
            const std::filesystem::path source = picture;
            TPreparedCover cover;
            if (PrepareCoverImage(picture, settings_.MaxX, settings_.MaxY, settings_.JpegQuality,
                                  host_.DataDir(), &cover))
                host_.SetImagePath(picture);
            run_ = {picture, Report(source, cover), {}};
        }
        prepared_ = picture;
        return run_;
    }

    // The picture of the folder File lies in. Errors are the folder's files' own.
    const TCover& ForFolderOf(const std::filesystem::path& File) {
        const std::filesystem::path folder = File.parent_path();
        const std::filesystem::path key = FolderKey(File);
        if (const auto it = folders_.find(key); it != folders_.end()) return it->second;
        TCover& cover = folders_[key];
        const std::optional<std::filesystem::path> found = FindFolderCover(folder, options_.FolderCoverNames);
        if (!found) {
            std::string names;
            for (const std::string& name : options_.FolderCoverNames)
                names += (names.empty() ? "" : ", ") + name;
            cover.Error = "no cover picture in its folder (none of " + names + ")";
            return cover;
        }
        try {
            cover = Made(*found, PrepareCover(*found, settings_.MaxX, settings_.MaxY, settings_.JpegQuality));
        } catch (const std::exception& e) {
            cover.Error =
                "its folder's cover " + found->filename().string() + " cannot be used: " + ErrorReason(e);
        }
        return cover;
    }

    // Entry Index is done: a folder whose last file it was lets its prepared copy go.
    void Done(int Index, const std::filesystem::path& File) {
        if (options_.FolderCoverNames.empty()) return;
        const std::filesystem::path key = FolderKey(File);
        const auto last = lastOfFolder_.find(key);
        if (last == lastOfFolder_.end() || last->second != Index) return;
        if (const auto it = folders_.find(key); it != folders_.end()) {
            if (it->second.Report && it->second.Report->Scaled) workspace_.Remove(it->second.File);
            it->second.File.clear();
            it->second.Error = "its folder's cover was let go after the folder's last file";
        }
    }

   private:
    static std::filesystem::path FolderKey(const std::filesystem::path& File) {
        std::error_code ec;
        const std::filesystem::path folder = File.parent_path();
        std::filesystem::path key = std::filesystem::absolute(folder, ec).lexically_normal();
        return ec ? folder : key;
    }
    static TCoverReport Report(const std::filesystem::path& Source, const TPreparedCover& Cover) {
        return {Source,       Cover.SourceWidth, Cover.SourceHeight,   Cover.Width,
                Cover.Height, Cover.Bytes,       !Cover.Scaled.empty()};
    }
    // A prepared picture that must not go into "temp.jpg": a scaled copy is a file of the
    // run's own workspace, a picture within the limits is used as it is.
    TCover Made(const std::filesystem::path& Source, const TPreparedCover& Cover) {
        const std::filesystem::path file = Cover.Scaled.empty() ? Source : workspace_.Add(Cover.Scaled);
        return {file, Report(Source, Cover), {}};
    }

    IBatchHost& host_;
    const TBatchSettings& settings_;
    const TBatchOptions& options_;
    TCoverWorkspace workspace_;  // removed, with every copy in it, when the run ends
    std::optional<std::filesystem::path> prepared_;
    TCover run_;
    const TCover none_;
    std::map<std::filesystem::path, TCover> folders_;
    std::map<std::filesystem::path, int> lastOfFolder_;
};

}  // namespace

TBatchResult RunBatch(IBatchHost& Host, IBatchTagger& Tagger) {
    TBatchResult result;
    int current = -1;
    bool fileOpen = false;
    // Saves the tagger finishes later: their entries get their status once the file is
    // durable (a few files on), and the run ends only when every one has it.
    // A file's outcome as the host gets it: its status, the reason of an error, its report.
    struct TShown {
        std::string Status, Reason;
        TFileReport Report;
    };
    std::map<uint64_t, std::pair<int, TShown>> pending;
    std::string deferredError;  // the first failure of a finished save, for a host that stops at errors
    // Statuses reach the host in the order of the entries: one known before an earlier
    // entry's save is durable waits for it.
    std::map<int, TShown> ready;
    int shown = 0;
    auto Put = [&](int Index, TShown Outcome) {
        ready[Index] = std::move(Outcome);
        for (auto next = ready.find(shown); next != ready.end(); next = ready.find(shown)) {
            const TShown& out = next->second;
            Host.ReportFile(shown, out.Report);
            Host.SetEntryStatus(shown, out.Status);
            if (out.Status == kStatusError) Host.ReportFileError(shown, out.Reason);
            ready.erase(next);
            ++shown;
        }
    };
    auto settle = [&](bool Wait) {
        const bool any = !pending.empty();
        for (const TFinishedSave& done : Tagger.FinishedSaves(Wait)) {
            const auto entry = pending.find(done.Id);
            if (entry == pending.end()) continue;
            auto [Index, Outcome] = std::move(entry->second);
            pending.erase(entry);
            if (!done.Saved) {
                Outcome.Status = kStatusError;
                Outcome.Reason = done.Reason.empty() ? "the file could not be saved" : done.Reason;
                Outcome.Report.Save = {};  // nothing of it was saved
                if (deferredError.empty()) deferredError = Outcome.Reason;
            }
            Put(Index, std::move(Outcome));
        }
        return any;
    };
    auto Saved = [&](const char* Status, const TFileReport& Report) {
        if (const uint64_t id = Tagger.PendingSave())
            pending[id] = {current, {Status, {}, Report}};
        else
            Put(current, {Status, {}, Report});
    };
    try {
        const int count = Host.EntryCount();
        if (count <= 0) return result;
        const TBatchOptions options = Host.Options();
        const bool folderCovers = !options.FolderCoverNames.empty();
        if (Host.ImagePath().empty() && !Host.RemoveMode() && !folderCovers) return result;

        const TBatchSettings settings = Host.Settings();
        const std::string kind = PictureTypeToName(settings.KindOfPic);
        Tagger.BeginRun(options);
        // The picture last prepared; one that has not been (the mode switched to adding
        // during the run, or another picture was loaded) is prepared before it is used,
        // so no file ever receives a picture above the limits.
        TCoverSource covers(Host, settings, options, count);
        // In add mode the picture is prepared before the first file, so an unreadable
        // picture ends the run before any file is touched.
        if (!Host.RemoveMode() && !folderCovers) covers.ForRun();

        for (current = 0; current < count; ++current) {
            const bool remove = Host.RemoveMode();
            const std::filesystem::path path = Host.EntryPath(current);
            TFileReport report;
            auto done = [&](const char* Status) {
                report.Save = Tagger.LastReport();
                Saved(Status, report);
            };
            auto failed = [&](const std::string& Reason) {
                Put(current, {kStatusError, Reason.empty() ? "the file could not be saved" : Reason, report});
            };
            try {
                // A file that cannot be opened or read is not reported here; its save fails.
                (void)Tagger.Open(path);
                fileOpen = true;
                if (remove) {
                    // "Deleted" only for a file that really holds no picture now.
                    if (Tagger.RemoveAllPictures())
                        done(kStatusDeleted);
                    else
                        failed(Tagger.LastError());
                } else if (options.OnlyIfMissing && Tagger.HasPicture(kind)) {
                    done(kStatusSkipped);
                } else {
                    const TCover& cover = folderCovers ? covers.ForFolderOf(path) : covers.ForRun();
                    report.Cover = cover.Report;
                    if (!cover.Error.empty()) {
                        failed(cover.Error);
                    } else if (cover.File.empty()) {
                        // Switched to adding during a run that has no picture: nothing to add.
                        failed("no picture to add");
                    } else {
                        Tagger.AddPicture(cover.File, kind);
                        if (Tagger.Save())
                            done(kStatusOK);
                        else
                            failed(Tagger.LastError());
                    }
                }
            } catch (const std::exception& e) {
                // An error of this one file: the host decides whether the run goes on.
                if (!Host.ContinueAfterFileError()) throw;
                if (fileOpen) {
                    fileOpen = false;
                    Tagger.Close();
                }
                failed(ErrorReason(e));
            }
            if (fileOpen) {
                fileOpen = false;
                Tagger.Close();
            }
            covers.Done(current, path);
            ++result.Done;
            Host.FileFinished(current);
            settle(false);
            Host.ProcessEvents();
            // A host that stops at a file's error (the window) stops at one found late too,
            // once the saves before it are finished.
            if (!deferredError.empty() && !Host.ContinueAfterFileError()) {
                settle(true);
                result.Message = deferredError;
                result.Outcome = TBatchOutcome::boFailed;
                result.FailedIndex = current + 1;
                return result;
            }
            if (current + 1 < count && Host.StopRequested()) {
                settle(true);
                result.Outcome = TBatchOutcome::boStopped;
                return result;
            }
        }
        // The statuses that came last are shown too.
        if (settle(true)) Host.ProcessEvents();
        if (!deferredError.empty() && !Host.ContinueAfterFileError()) {
            result.Message = deferredError;
            result.Outcome = TBatchOutcome::boFailed;
            result.FailedIndex = count;
            return result;
        }
        result.Outcome = TBatchOutcome::boCompleted;
        return result;
    } catch (const std::exception& e) {
        result.Message = e.what();
    } catch (...) {
        result.Message = "Unknown error";
    }
    result.Outcome = TBatchOutcome::boFailed;
    result.FailedIndex = current;
    // The saves already handed on are finished: their files get their statuses.
    try {
        settle(true);
    } catch (...) {
    }
    if (fileOpen) {
        try {
            Tagger.Close();
        } catch (...) {
            // The run already failed; its first error is the one reported.
        }
    }
    return result;
}

}  // namespace covrilo
