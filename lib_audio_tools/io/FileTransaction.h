// SPDX-License-Identifier: MIT
// A save of one file as a transaction: the file is held under an exclusive lock from the
// read the save builds on to its commit, and the commit leaves the file either exactly as it
// was or completely saved and durable (synced), whatever fails or whenever the process dies.
//
// Two ways to commit, one place each:
// - CommitRewrite: a new file beside the old one ("song.mp3.covrilo-Ab3dE9xZ.$$$", created
//   O_EXCL, 0600, locked while it exists), given the old file's owner, group, permission
//   bits and extended attributes (ACLs included) before the first data byte, filled (holes
//   stay holes), synced, checked that the old file did not change meanwhile, renamed over it
//   through the folder we hold open, and the folder synced.
// - CommitInPlace: the space a growing end needs is reserved first; the old bytes of every
//   region to be overwritten (and the new ones) go into a journal beside the file
//   ("song.mp3.covrilo-journal.$$$", see SaveJournal.h), which is synced, with its folder,
//   before the first byte of the file changes; then the file is overwritten and synced,
//   and the journal removed. A failure on the way puts the old bytes back at once; a
//   process that dies leaves the journal, and the next transaction on the file (or
//   RecoverInterruptedSave) restores the file from it.
//
// - CommitShifted: a tag area that grows or shrinks by whole blocks of the file system, in
//   place: zero blocks inserted inside it (FALLOC_FL_INSERT_RANGE) before the new bytes are
//   written, or blocks of it collapsed out (FALLOC_FL_COLLAPSE_RANGE) after; the audio
//   behind it is never copied and never changes. The journal (with the shift) protects it
//   as every in-place write; where the file system refuses the shift, the given rewrite
//   is made instead.
//
// With a TSaveBatch, a commit stops once the new content is written and its writeback has
// begun (Pending()); the batch makes it durable together with those of other files, with
// one sync of the file system where one sync of each file would be needed (SaveBatch.h).
//
// Nothing else is ever deleted: a leftover temporary file is removed only when its name is
// the one a save of this very file makes and no live save holds its lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "io/EnhancedStreams.h"

namespace covrilo {

// The old bytes [Offset, Offset + Length) become Bytes. Splices are given in file order and
// do not overlap; everything between them stays byte for byte.
struct TSplice {
    int64_t Offset = 0;
    int64_t Length = 0;
    std::vector<uint8_t> Bytes;
};

// A tag area that grows by Length bytes (Length > 0: zero bytes inserted at Offset) or
// shrinks (Length < 0: the -Length bytes at Offset taken out); Offset and Length are
// multiples of the file system's block size.
struct TBlockShift {
    int64_t Offset = 0;
    int64_t Length = 0;
};

class TSaveBatch;

// The names a save of TargetName (a file name without folder) uses beside it.
std::string JournalNameFor(const std::string& TargetName);
bool IsTemporaryNameFor(const std::string& TargetName, const std::string& Candidate,
                        const std::string& Suffix);

class TFileTransaction {
   public:
    // Opens Name (a symlink is followed: the link stays a link and its target is saved) and
    // takes its exclusive lock. Restores the file first when an interrupted in-place save
    // left a journal, and removes stale temporary files of earlier saves of it. Raises
    // EFOpenError with the reason ("locked by another program", "not found", ...). A file
    // that may be read but not written opens too: a commit then refuses it.
    // With a Batch, the leftovers of the file's folder are looked up in the batch's one scan
    // of it, and a commit after DeferCommit() stays pending for the batch to finish.
    explicit TFileTransaction(const std::filesystem::path& Name, TSaveBatch* Batch = nullptr);
    ~TFileTransaction();
    TFileTransaction(const TFileTransaction&) = delete;
    TFileTransaction& operator=(const TFileTransaction&) = delete;

    const std::filesystem::path& Name() const { return name_; }
    // The real file (symlinks resolved).
    const std::filesystem::path& Target() const { return target_; }
    // The file as it is, for reading what the save builds on.
    THandleStream& Stream() { return *stream_; }
    int Handle() const { return fd_; }
    // The file as the transaction opened it; after a commit, the saved file.
    const TFileIdentity& Identity() const { return identity_; }
    bool Committed() const { return committed_; }

    // Raises EFileRefused ("changed since it was read") unless the file is still Expected.
    void Expect(const TFileIdentity& Expected) const;

    // Whether Edits can be written without moving any byte between them: every splice keeps
    // its length, except one that reaches the end of the file.
    static bool FitsInPlace(const std::vector<TSplice>& Edits, int64_t FileSize);
    // CommitInPlace when the edits fit in place, else CommitRewrite.
    void Commit(const std::vector<TSplice>& Edits);
    // Raise EFileRefused when the save is refused before the file was touched (it changed,
    // it cannot be rewritten without losing an owner, a hard link or an attribute), and the
    // file system's errors otherwise: EFOpenError (the file may not be written),
    // EFCreateError (no temporary file or journal can be made beside it), EFWriteError (the
    // message says whether the file is unchanged, restored, or saved with only the final
    // sync of its folder failing). Either way the transaction is over.
    void CommitInPlace(const std::vector<TSplice>& Edits);
    void CommitRewrite(const std::vector<TSplice>& Edits, const std::string& TempSuffix = ".$$$");
    // Edits whose first splice grows or shrinks by Shift.Length, written in place around the
    // shift (see above); the other splices keep their length or reach the end of the file.
    // Where the file system cannot shift blocks, Rewrite is committed by CommitRewrite.
    void CommitShifted(const std::vector<TSplice>& Edits, TBlockShift Shift,
                       const std::vector<TSplice>& Rewrite, const std::string& TempSuffix = ".$$$");
    // The block size by which this file can be grown or shrunk in place; 0 where its file
    // system cannot shift blocks (tmpfs, btrfs, NFS, ...).
    int64_t ShiftBlockSize() const;

    // The next commit stays pending (with a batch): the caller hands the transaction to it.
    void DeferCommit() { defer_ = batch_ != nullptr; }
    bool Pending() const { return stage_ == TStage::Written || stage_ == TStage::Applied; }
    // The commit writes (or wrote) a new copy of the file.
    bool Rewrote() const { return rewriting_; }
    // For the batch: makes durable what the next step builds on, with this file's own syncs
    // (where no sync of the whole file system did it); and takes the next step. Both raise
    // what the commit raises, with the transaction then over (the file unchanged, restored,
    // or saved, as the message says).
    void SyncStage();
    void Advance();
    // The folder the file lies in (for a sync of its file system).
    int FolderHandle() const { return dirFd_; }
    TSaveBatch* Batch() const { return batch_; }

   private:
    enum class TStage { Open, Written, Applied, Done };

    void Open();
    void Complete();
    void WriteRewrite(const std::vector<TSplice>& Edits, const std::string& TempSuffix);
    void WriteJournal(const std::vector<TSplice>& Edits, TBlockShift Shift);
    void ApplyInPlace();
    void RestoreOld();
    void RollbackInPlace(int Error, bool ThenRewrite);
    void TakeRewrite();
    void RemoveTemporary();
    void AbandonJournal(int Error);
    bool Shift(int Mode, int64_t Offset, int64_t Length);
    void RecoverJournal();
    void RemoveStaleTemporaryFiles();
    int OpenForWriting() const;
    void RequireNoOtherWriter() const;
    void RemoveJournal(const std::string& JournalName);
    void CheckUnchanged(const char* When) const;
    bool StillNamed() const;
    void Finish();
    [[noreturn]] void Refuse(const std::string& Reason) const;
    void RequireWritable() const;
    [[noreturn]] void CannotCreate(const std::string& What, int Errno) const;
    std::string What(const std::string& Doing, const std::string& Reason) const;

    std::filesystem::path name_;
    std::filesystem::path target_;
    std::string base_;  // file name of target_ inside its folder
    int dirFd_ = -1;
    int fd_ = -1;  // read only, and locked; writes go through a second descriptor
    bool writable_ = false;
    int writeError_ = 0;  // why the file opened for reading only
    bool committed_ = false;
    bool finished_ = false;
    TFileIdentity identity_;
    std::unique_ptr<THandleStream> stream_;

    TSaveBatch* batch_ = nullptr;
    bool defer_ = false;
    TStage stage_ = TStage::Open;
    bool rewriting_ = false;
    // A rewrite: its temporary file, and whether it already replaced the file.
    std::string tempName_;
    int tempFd_ = -1;
    bool renamed_ = false;
    // In place: the journal, the descriptor that writes, what changes and what it was.
    std::string journalName_;
    int journalFd_ = -1;
    int writeFd_ = -1;
    std::vector<TSplice> changes_;
    std::vector<std::vector<uint8_t>> oldBytes_;
    int64_t oldSize_ = 0, newSize_ = 0;
    TBlockShift shift_;
    bool shifted_ = false;  // the shift has been made
    // What a shift the file system refuses falls back to.
    std::vector<TSplice> fallback_;
    std::string fallbackSuffix_;
};

// Restores Name when an interrupted in-place save left its journal (under the file's lock);
// answers whether there was one. Raises what TFileTransaction raises.
bool RecoverInterruptedSave(const std::filesystem::path& Name);

}  // namespace covrilo
