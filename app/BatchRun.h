// SPDX-License-Identifier: MIT
// The batch run behind "Start": every listed file is opened through the tag front end,
// the prepared cover picture is added (or all pictures removed), the file is saved and
// its status set. The run is a plain driver over two small interfaces, so the window and
// the command-line host share it and tests can drive it with fakes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace covrilo {

// Status texts of a file entry.
inline constexpr const char* kStatusWaiting = "Waiting...";
inline constexpr const char* kStatusOK = "OK";
inline constexpr const char* kStatusError = "Error";
inline constexpr const char* kStatusDeleted = "Deleted";

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
// stay, and the error's message is returned for the host to show.
TBatchResult RunBatch(IBatchHost& Host, IBatchTagger& Tagger);

}  // namespace covrilo
