// SPDX-License-Identifier: MIT
#include "app/BatchRun.h"

#include "app/CoverImage.h"
#include "app/Settings.h"
#include "io/EnhancedStreams.h"

#include <array>
#include <exception>

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
                Host.SetEntryStatus(Current, kStatusError);
                Host.ReportFileError(Current, Reason.empty() ? "the file could not be saved" : Reason);
            };
            try {
                // A file that cannot be opened or read is not reported here; its save fails.
                (void)Tagger.Open(Path);
                FileOpen = true;
                if (Remove) {
                    // "Deleted" only for a file that really holds no picture now.
                    if (Tagger.RemoveAllPictures())
                        Host.SetEntryStatus(Current, kStatusDeleted);
                    else
                        Failed(Tagger.LastError());
                } else if (Picture.empty()) {
                    // Switched to adding during a run that has no picture: nothing to add.
                    Failed("no picture to add");
                } else {
                    Tagger.AddPicture(Picture, PictureTypeToName(Settings.KindOfPic));
                    if (Tagger.Save())
                        Host.SetEntryStatus(Current, kStatusOK);
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
            Host.ProcessEvents();
            if (Current + 1 < Count && Host.StopRequested()) {
                Result.Outcome = TBatchOutcome::boStopped;
                return Result;
            }
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
