// SPDX-License-Identifier: MIT
// What a file's file system can do, for the ways a save writes: insert and take out whole
// blocks of a file (ext4, XFS), sync all its changes at once (syncfs), copy through the page
// cache in the kernel (every local one).
#pragma once

#include <cstdint>

namespace covrilo {

enum class TFileSystem { fsExt4, fsXfs, fsBtrfs, fsTmpfs, fsF2fs, fsOther };

// The file system of an open file (fsOther when it cannot be told).
TFileSystem FileSystemOf(int Fd);
// Its block size, 0 when it cannot be told.
int64_t BlockSizeOf(int Fd);
// The blocks its file system inserts into and takes out of it; 0 when it cannot.
int64_t ShiftBlockSizeOf(int Fd);

// Inserts and collapses ranges of whole blocks without touching any other byte.
inline bool ShiftsBlocks(TFileSystem Fs) { return Fs == TFileSystem::fsExt4 || Fs == TFileSystem::fsXfs; }
// Local file systems: their syncfs writes and waits for every dirty page and commits every
// change of their metadata; the kernel copies between their files through the page cache.
inline bool IsLocal(TFileSystem Fs) { return Fs != TFileSystem::fsOther; }

}  // namespace covrilo
