// SPDX-License-Identifier: MIT
#include "io/FileSystems.h"

#include <sys/vfs.h>

namespace covrilo {

TFileSystem FileSystemOf(int Fd) {
    constexpr long kExt4 = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E, kTmpfs = 0x01021994,
                   kF2fs = 0xF2F52010;
    struct statfs fs {};
    if (Fd < 0 || ::fstatfs(Fd, &fs) != 0) return TFileSystem::fsOther;
    switch (static_cast<long>(fs.f_type)) {
        case kExt4:
            return TFileSystem::fsExt4;
        case kXfs:
            return TFileSystem::fsXfs;
        case kBtrfs:
            return TFileSystem::fsBtrfs;
        case kTmpfs:
            return TFileSystem::fsTmpfs;
        case kF2fs:
            return TFileSystem::fsF2fs;
        default:
            return TFileSystem::fsOther;
    }
}

int64_t BlockSizeOf(int Fd) {
    struct statfs fs {};
    if (Fd < 0 || ::fstatfs(Fd, &fs) != 0 || fs.f_bsize <= 0) return 0;
    return static_cast<int64_t>(fs.f_bsize);
}

int64_t ShiftBlockSizeOf(int Fd) { return ShiftsBlocks(FileSystemOf(Fd)) ? BlockSizeOf(Fd) : 0; }

}  // namespace covrilo
