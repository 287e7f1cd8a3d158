// SPDX-License-Identifier: MIT
#include "app/BatchRun.h"

#include "app/CoverImage.h"
#include "app/Settings.h"
#include "io/EnhancedStreams.h"

#include <array>
#include <exception>
#include <map>
#include <stdexcept>
#include <utility>

namespace covrilo {

namespace {

constexpr std::array<const char*, 19> kKindNames = {
    "Other",      "FrontCover", "BackCover",       "LeafletPage",       "Media",
    "LeadArtist", "Artist",     "Conductor",       "Band",              "Composer",
    "Lyricist",   "RecordingLocation", "DuringRecording", "DuringPerformance", "VideoScreenCapture",
    "ColouredFish", "Illustration", "BandLogo",    "PublisherStudio",
};

}  // namespace

TBatchSettings CurrentBatchSettings() { return {MaxX, MaxY, JpegQuality, KindOfPic}; }

std::string PictureTypeToName(int Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= kKindNames.size()) return "Other";
    return kKindNames[static_cast<size_t>(Index)];
}

TBatchResult RunBatch(IBatchHost& Host, IBatchTagger& Tagger) {
    TBatchResult Result;
    int Current = -1;
    bool FileOpen = false;
    // Saves the tagger finishes later: their entries get their status once the file is
    // durable (a few files on), and the run ends only when every one has it.
    std::map<uint64_t, std::pair<int, const char*>> Pending;
    std::string DeferredError;  // the first failure of a finished save, for a host that stops at errors
    // Statuses reach the host in the order of the entries: one known before an earlier
    // entry's save is durable waits for it.
    std::map<int, std::pair<std::string, std::string>> Ready;  // entry: status, reason of an error
    int Shown = 0;
    auto Put = [&](int Index, const std::string& Status, const std::string& Reason) {
        Ready[Index] = {Status, Reason};
        for (auto Next = Ready.find(Shown); Next != Ready.end(); Next = Ready.find(Shown)) {
            Host.SetEntryStatus(Shown, Next->second.first);
            if (Next->second.first == kStatusError) Host.ReportFileError(Shown, Next->second.second);
            Ready.erase(Next);
            ++Shown;
        }
    };
    auto Settle = [&](bool Wait) {
        const bool Any = !Pending.empty();
        for (const TFinishedSave& Done : Tagger.FinishedSaves(Wait)) {
            const auto Entry = Pending.find(Done.Id);
            if (Entry == Pending.end()) continue;
            const auto [Index, Status] = Entry->second;
            Pending.erase(Entry);
            if (Done.Saved) {
                Put(Index, Status, {});
                continue;
            }
            const std::string Reason = Done.Reason.empty() ? "the file could not be saved" : Done.Reason;
            Put(Index, kStatusError, Reason);
            if (DeferredError.empty()) DeferredError = Reason;
        }
        return Any;
    };
    auto Saved = [&](const char* Status) {
        if (const uint64_t Id = Tagger.PendingSave())
            Pending[Id] = {Current, Status};
        else
            Put(Current, Status, {});
    };
    try {
        const int Count = Host.EntryCount();
        if (Count <= 0) return Result;
        if (Host.ImagePath().empty() && !Host.RemoveMode()) return Result;

        const TBatchSettings Settings = Host.Settings();
        // The picture last prepared; one that has not been (the mode switched to adding
        // during the run, or another picture was loaded) is prepared before it is used,
        // so no file ever receives a picture above the limits.
        std::filesystem::path Prepared;
        auto PreparedPicture = [&]() {
            std::filesystem::path Picture = Host.ImagePath();
            if (Picture.empty() || Picture == Prepared) return Picture;
            if (PrepareCoverImage(Picture, Settings.MaxX, Settings.MaxY, Settings.JpegQuality, Host.DataDir())) {
                Host.SetImagePath(Picture);
            }
            Prepared = Picture;
            return Picture;
        };
        // In add mode the picture is prepared before the first file, so an unreadable
        // picture ends the run before any file is touched.
        if (!Host.RemoveMode()) PreparedPicture();

        for (Current = 0; Current < Count; ++Current) {
            const bool Remove = Host.RemoveMode();
            const std::filesystem::path Picture = Remove ? std::filesystem::path() : PreparedPicture();
            const std::filesystem::path Path = Host.EntryPath(Current);
            auto Failed = [&](const std::string& Reason) {
                Put(Current, kStatusError, Reason.empty() ? "the file could not be saved" : Reason);
            };
            try {
                // A file that cannot be opened or read is not reported here; its save fails.
                (void)Tagger.Open(Path);
                FileOpen = true;
                if (Remove) {
                    // "Deleted" only for a file that really holds no picture now.
                    if (Tagger.RemoveAllPictures())
                        Saved(kStatusDeleted);
                    else
                        Failed(Tagger.LastError());
                } else if (Picture.empty()) {
                    // Switched to adding during a run that has no picture: nothing to add.
                    Failed("no picture to add");
                } else {
                    Tagger.AddPicture(Picture, PictureTypeToName(Settings.KindOfPic));
                    if (Tagger.Save())
                        Saved(kStatusOK);
                    else
                        Failed(Tagger.LastError());
                }
            } catch (const std::exception& E) {
                // An error of this one file: the host decides whether the run goes on.
                if (!Host.ContinueAfterFileError()) throw;
                if (FileOpen) {
                    FileOpen = false;
                    Tagger.Close();
                }
                Failed(ErrorReason(E));
            }
            if (FileOpen) {
                FileOpen = false;
                Tagger.Close();
            }
            ++Result.Done;
            Host.FileFinished(Current);
            Settle(false);
            Host.ProcessEvents();
            // A host that stops at a file's error (the window) stops at one found late too,
            // once the saves before it are finished.
            if (!DeferredError.empty() && !Host.ContinueAfterFileError()) {
                Settle(true);
                Result.Message = DeferredError;
                Result.Outcome = TBatchOutcome::boFailed;
                Result.FailedIndex = Current + 1;
                return Result;
            }
            if (Current + 1 < Count && Host.StopRequested()) {
                Settle(true);
                Result.Outcome = TBatchOutcome::boStopped;
                return Result;
            }
        }
        // The statuses that came last are shown too.
        if (Settle(true)) Host.ProcessEvents();
        if (!DeferredError.empty() && !Host.ContinueAfterFileError()) {
            Result.Message = DeferredError;
            Result.Outcome = TBatchOutcome::boFailed;
            Result.FailedIndex = Count;
            return Result;
        }
        Result.Outcome = TBatchOutcome::boCompleted;
        return Result;
    } catch (const std::exception& E) {
        Result.Message = E.what();
    } catch (...) {
        Result.Message = "Unknown error";
    }
    Result.Outcome = TBatchOutcome::boFailed;
    Result.FailedIndex = Current;
    // The saves already handed on are finished: their files get their statuses.
    try {
        Settle(true);
    } catch (...) {
    }
    if (FileOpen) {
        try {
            Tagger.Close();
        } catch (...) {
            // The run already failed; its first error is the one reported.
        }
    }
    return Result;
}

}  // namespace covrilo
