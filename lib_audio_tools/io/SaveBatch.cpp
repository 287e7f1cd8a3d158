// SPDX-License-Identifier: MIT
#include "io/SaveBatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/FileSystems.h"
#include "io/FileTransaction.h"

namespace covrilo {

TSaveBatch::TSaveBatch(size_t Depth) : depth_(Depth == 0 ? 1 : Depth) {}

TSaveBatch::~TSaveBatch() {
    // Whatever is still pending is finished (or fails as it would have), never dropped.
    try {
        Flush();
    } catch (...) {
    }
}

uint64_t TSaveBatch::Adopt(std::unique_ptr<TFileTransaction> Transaction) {
    const uint64_t id = nextId_++;
    pending_.push_back({id, std::move(Transaction), 0});
    size_t waiting = 0;
    for (const TPending& p : pending_)
        if (p.Cycles == 0) ++waiting;
    if (waiting >= depth_) Cycle();
    return id;
}

std::vector<TSaveBatch::TOutcome> TSaveBatch::TakeOutcomes() {
    std::vector<TOutcome> out;
    out.swap(outcomes_);
    return out;
}

void TSaveBatch::Flush() {
    while (!pending_.empty()) Cycle();
}

void TSaveBatch::Cycle() {
    // One sync per file system for everything pending; a transaction alone, one on a file
    // system not known to sync whole, and every one whose file system's sync failed, syncs
    // what it needs itself.
    std::map<uint64_t, bool> synced;  // by device: the sync of the whole file system worked
    if (pending_.size() > 1) {
        for (const TPending& p : pending_) {
            struct stat st {};
            const int fd = p.Transaction->FolderHandle();
            if (::fstat(fd, &st) != 0) continue;
            const auto device = static_cast<uint64_t>(st.st_dev);
            if (synced.count(device) != 0) continue;
            // The folder was opened before any of this transaction's writes, and the oldest
            // pending transaction comes first: an error of any write since is reported here.
            synced[device] = IsLocal(FileSystemOf(fd)) && ::syncfs(fd) == 0;
        }
    }
    std::vector<TPending> still;
    for (TPending& p : pending_) {
        try {
            struct stat st {};
            const int fd = p.Transaction->FolderHandle();
            const bool whole = fd >= 0 && ::fstat(fd, &st) == 0 && synced[static_cast<uint64_t>(st.st_dev)];
            if (!whole) p.Transaction->SyncStage();
            if (p.Transaction->Pending()) p.Transaction->Advance();
            ++p.Cycles;
            if (p.Transaction->Pending())
                still.push_back(std::move(p));
            else
                outcomes_.push_back({p.Id, nullptr});
        } catch (...) {
            outcomes_.push_back({p.Id, std::current_exception()});
        }
    }
    pending_ = std::move(still);
}

std::vector<std::string> TSaveBatch::LeftoversOf(int FolderFd, uint64_t Device, uint64_t Inode,
                                                 const std::string& Target) {
    const auto key = std::make_pair(Device, Inode);
    auto found = folders_.find(key);
    if (found == folders_.end()) {
        std::vector<std::string> ours;
        const int scanFd = ::openat(FolderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (scanFd >= 0) {
            if (DIR* dir = ::fdopendir(scanFd)) {
                while (const dirent* entry = ::readdir(dir))
                    if (std::strstr(entry->d_name, ".covrilo-") != nullptr) ours.emplace_back(entry->d_name);
                ::closedir(dir);
            } else {
                ::close(scanFd);
            }
        }
        found = folders_.emplace(key, std::move(ours)).first;
    }
    std::vector<std::string> out;
    for (const std::string& name : found->second)
        for (const char* suffix : {".$$$", "~"})
            if (IsTemporaryNameFor(Target, name, suffix)) out.push_back(name);
    return out;
}

}  // namespace covrilo
