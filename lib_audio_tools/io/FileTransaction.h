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

// The names a save of TargetName (a file name without folder) uses beside it.
std::string JournalNameFor(const std::string& TargetName);
bool IsTemporaryNameFor(const std::string& TargetName, const std::string& Candidate, const std::string& Suffix);

class TFileTransaction {
public:
    // Opens Name (a symlink is followed: the link stays a link and its target is saved) and
    // takes its exclusive lock. Restores the file first when an interrupted in-place save
    // left a journal, and removes stale temporary files of earlier saves of it. Raises
    // EFOpenError with the reason ("locked by another program", "not found", ...). A file
    // that may be read but not written opens too: a commit then refuses it.
    explicit TFileTransaction(const std::filesystem::path& Name);
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

private:
    void Open();
    void WriteInPlace(const std::vector<TSplice>& Edits);
    void RecoverJournal();
    void RemoveStaleTemporaryFiles();
    void Rollback(int WriteFd, const std::vector<TSplice>& Edits, const std::vector<std::vector<uint8_t>>& OldBytes,
                  int64_t OldSize);
    int OpenForWriting() const;
    void RequireNoOtherWriter() const;
    void RemoveJournal(const std::string& JournalName);
    void CheckUnchanged(const char* When) const;
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
};

// Restores Name when an interrupted in-place save left its journal (under the file's lock);
// answers whether there was one. Raises what TFileTransaction raises.
bool RecoverInterruptedSave(const std::filesystem::path& Name);

}  // namespace covrilo
