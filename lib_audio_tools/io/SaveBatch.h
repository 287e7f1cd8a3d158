// SPDX-License-Identifier: MIT
// The saves of one run, made durable together. A save's commit stops once its new content is
// written and its writeback has begun (TFileTransaction::Pending); the batch holds it, with
// the file's lock, while the next files are worked on. Every few files one sync of each file
// system involved makes all of them durable at once (syncfs, where one fsync of each file,
// its journal or its new copy and its folder would be needed), then each takes its next step
// (the rename of its new copy, or its write in place), and after the next sync each is done.
// So a file's new copy never replaces it before its data is on the disk, a file written in
// place is written only once its journal is, and an outcome is reported only once the file
// and its folder are durable. Where a sync of the file system fails, or the file system is
// not known to sync whole (NFS, FUSE, ...), each file's own syncs are made, so a failure
// belongs to the file it hit.
//
// It also scans each folder once for the temporary files that killed saves left, where
// every save would otherwise read the whole folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace covrilo {

class TFileTransaction;

class TSaveBatch {
   public:
    // Depth: how many files may wait for their first sync before it is made.
    explicit TSaveBatch(size_t Depth = 32);
    ~TSaveBatch();
    TSaveBatch(const TSaveBatch&) = delete;
    TSaveBatch& operator=(const TSaveBatch&) = delete;

    struct TOutcome {
        uint64_t Id = 0;
        std::exception_ptr Error;  // null: the file is saved and durable
    };
    // Takes a pending transaction; answers the id its outcome will carry.
    uint64_t Adopt(std::unique_ptr<TFileTransaction> Transaction);
    // The outcomes known so far (each once).
    std::vector<TOutcome> TakeOutcomes();
    // Finishes every pending save.
    void Flush();
    size_t PendingCount() const { return pending_.size(); }

    // Names in the folder (opened as FolderFd, identified by Device and Inode) that a
    // TFileTransaction of Target might have left: the folder is read on the first call only.
    std::vector<std::string> LeftoversOf(int FolderFd, uint64_t Device, uint64_t Inode,
                                         const std::string& Target);

   private:
    void Cycle();

    struct TPending {
        uint64_t Id;
        std::unique_ptr<TFileTransaction> Transaction;
        int Cycles;  // syncs it has been through
    };
    size_t depth_;
    uint64_t nextId_ = 1;
    std::vector<TPending> pending_;
    std::vector<TOutcome> outcomes_;
    // Per folder: our names in it, by the file they belong to.
    std::map<std::pair<uint64_t, uint64_t>, std::vector<std::string>> folders_;
};

}  // namespace covrilo
