// SPDX-License-Identifier: MIT
// The batch run behind "Start": every listed file is opened through the tag front end,
// the prepared cover picture is added (or all pictures removed), the file is saved and
// its status set. The run is a plain driver over two small interfaces, so the window and
// the command-line host share it and tests can drive it with fakes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "multitag/TSaveReport.h"

namespace covrilo {

// Status texts of a file entry.
inline constexpr const char* kStatusWaiting = "Waiting...";
inline constexpr const char* kStatusOK = "OK";
inline constexpr const char* kStatusError = "Error";
inline constexpr const char* kStatusDeleted = "Deleted";
// Left untouched because it already has a picture of the kind (not an error).
inline constexpr const char* kStatusSkipped = "Skipped";

// What a host asks of a run beyond the settings: the command line's options. The window
// asks for none of them.
struct TBatchOptions {
    // Add mode: every file gets the first of these pictures found in its own folder (names
    // compared ignoring case) instead of the host's picture, prepared once per folder; a
    // folder without one, or with one that cannot be used, gives its files "Error".
    std::vector<std::string> FolderCoverNames;
    // Add mode: a file that already has a picture of the chosen kind is left untouched and
    // gets "Skipped".
    bool OnlyIfMissing = false;
    // A file that is saved gets its access and modification times back.
    bool KeepTimes = false;
    // Everything is read and worked out as the run would do it, and nothing is written: no
    // file, no "temp.jpg", no journal. Every file gets the status it would get.
    bool DryRun = false;
};

// The picture a file gets.
struct TCoverReport {
    std::filesystem::path Source;           // the picture file it is made from
    int SourceWidth = 0, SourceHeight = 0;  // the picture's own size
    int Width = 0, Height = 0;              // the size it is embedded at
    int64_t Bytes = 0;                      // what is embedded
    bool Scaled = false;                    // scaled and recompressed (else byte for byte)
};

// What the run tells its host about one file besides its status.
struct TFileReport {
    std::optional<TCoverReport> Cover;  // add mode, when the file's picture is known
    TSaveReport Save;                   // what the save did, or in a dry run would do
};

// The values a run reads from the settings when it starts.
struct TBatchSettings {
    int32_t MaxX = 500;
    int32_t MaxY = 500;
    int32_t JpegQuality = 70;
    int32_t KindOfPic = 1;
};

// The current values of the Settings variables.
TBatchSettings CurrentBatchSettings();

// What the run needs of its host (the window's file list, check box and message pump, or
// the command-line driver). Entries are addressed by position.
class IBatchHost {
   public:
    virtual ~IBatchHost() = default;
    virtual int EntryCount() = 0;
    virtual std::filesystem::path EntryPath(int Index) = 0;
    virtual void SetEntryStatus(int Index, const std::string& Status) = 0;
    // Read again before every file: the mode may change while a run goes on.
    virtual bool RemoveMode() = 0;
    // The current cover picture; empty when none is loaded.
    virtual std::filesystem::path ImagePath() = 0;
    virtual void SetImagePath(const std::filesystem::path& Path) = 0;
    virtual TBatchSettings Settings() = 0;
    // Where the scaled copy "temp.jpg" is written.
    virtual std::filesystem::path DataDir() = 0;
    // Called after every file so the host can show the new status at once.
    virtual void ProcessEvents() = 0;
    // Entry Index has been worked on (its status may come later, once its save is durable;
    // statuses come in the order of the entries).
    virtual void FileFinished(int Index) { (void)Index; }
    // Whether an error raised while a file is opened, read or written (it is locked, it may
    // not be written, the disk is full, ...) gives that file "Error" and the run goes on.
    // Otherwise, as in the window, the error ends the run and its message is shown.
    virtual bool ContinueAfterFileError() { return false; }
    // Why entry Index got "Error"; called right after its status is set.
    virtual void ReportFileError(int Index, const std::string& Reason) {
        (void)Index;
        (void)Reason;
    }
    // Asked after every file's events: true ends the run there (the window is being
    // closed); the entries not reached keep their status.
    virtual bool StopRequested() { return false; }
    // Read once when the run starts.
    virtual TBatchOptions Options() { return {}; }
    // What became of entry Index; called right before its status is set.
    virtual void ReportFile(int Index, const TFileReport& Report) {
        (void)Index;
        (void)Report;
    }
};

// The outcome of a save that was finished after its Save or RemoveAllPictures answered.
struct TFinishedSave {
    uint64_t Id = 0;
    bool Saved = false;  // the file is saved and durable; otherwise Reason says why not
    std::string Reason;
};

// The tag front end as the run uses it, one file at a time.
class IBatchTagger {
   public:
    virtual ~IBatchTagger() = default;
    virtual bool Open(const std::filesystem::path& FileName) = 0;
    virtual void AddPicture(const std::filesystem::path& PictureFile, const std::string& PictureType) = 0;
    virtual bool Save() = 0;
    // True when the file holds no picture afterwards.
    virtual bool RemoveAllPictures() = 0;
    virtual void Close() = 0;
    // Why the last Save or RemoveAllPictures answered false (empty when unknown).
    virtual std::string LastError() { return {}; }
    // A Save or RemoveAllPictures that answered true may leave its file's last syncs (and a
    // rewrite's rename) to be done together with other files' : PendingSave() then names
    // it (0: the file is durable already), and its outcome comes from FinishedSaves once
    // the file is durable. Wait finishes every pending save first (the end of a run).
    virtual uint64_t PendingSave() { return 0; }
    virtual std::vector<TFinishedSave> FinishedSaves(bool Wait) {
        (void)Wait;
        return {};
    }
    // Called once before the first file with the options of the run.
    virtual void BeginRun(const TBatchOptions& Options) { (void)Options; }
    // Whether the open file already has a picture of the kind (a name as AddPicture takes).
    virtual bool HasPicture(const std::string& PictureType) {
        (void)PictureType;
        return false;
    }
    // What the last Save or RemoveAllPictures did, or in a dry run would do.
    virtual TSaveReport LastReport() { return {}; }
};

enum class TBatchOutcome {
    boNothingToDo,  // empty list, or add mode without a picture: nothing was touched
    boCompleted,    // every entry got its status
    boStopped,      // the host asked to stop; entries from Done on keep their status
    boFailed,       // an error ended the run; Message holds it
};

struct TBatchResult {
    TBatchOutcome Outcome = TBatchOutcome::boNothingToDo;
    std::string Message;
    // Entries done before the run ended; for boFailed the entry at FailedIndex and all
    // later ones keep their old status (-1: the run failed before the first file).
    int Done = 0;
    int FailedIndex = -1;
};

// The picture-type name handed to the tag front end for an index of the kind list;
// "Other" for any index outside 0..18.
std::string PictureTypeToName(int Index);

// Runs the batch. No exception leaves it: an error ends the run, statuses already set
// stay, and the error's message is returned for the host to show. In add mode the host's
// picture is prepared before the first file, so a picture that cannot be used ends the run
// before any file is touched; a folder's picture (FolderCoverNames) is prepared when its
// first file needs it, and one that cannot be used is an error of that folder's files.
TBatchResult RunBatch(IBatchHost& Host, IBatchTagger& Tagger);

}  // namespace covrilo
