// SPDX-License-Identifier: MIT
// The rollback journal of an in-place save: before a save overwrites bytes of a file in
// place, it writes the old bytes of every region it will change (and the old size) into a
// small file beside it and syncs that. An interrupted save is undone from the journal by
// the next run that meets it.
//
// Layout (all numbers little-endian):
//   "CVRJRNL2"                                   8  magic
//   device, inode                                8 + 8  the file it belongs to
//   old size, new size                           8 + 8
//   old region count R, new region count W,      4 + 4 + 4
//   probe count P
//   R x (offset 8, length 8)                        regions of the old file that change
//   W x (offset 8, length 8)                        where the new bytes stand in the new file
//   [shift offset 8, shift length 8]             only in a "CVRJRNL3" journal (below)
//   P x (offset 8, length 8, CRC-64 8)              bytes no save touches, as they were
//   the old bytes of the R regions, in order
//   the new bytes of the W regions, in order
//   CRC-64 of everything above                   8  a torn journal fails it
//
// A journal that fails its checksum was never complete, so the save never started to
// overwrite: it is simply removed. The probes tell a journal of this file from one of a
// file that later took its place (a new file may get the same inode number). With old and
// new bytes both at hand, the file's state says what happened: every region as the save
// wrote it means the save was done; every byte either old or new means the save was cut
// short and is undone; any other byte means another program wrote the file since, and the
// journal no longer applies. So a journal that comes back after a crash (its removal was
// not yet on disk) can never undo a finished save, and its removal needs no sync.
//
// A save that grows or shrinks the file in place by whole blocks of the file system writes
// "CVRJRNL3" and the shift: ShiftLength > 0 zero bytes inserted at ShiftOffset before the
// new bytes are written, or -ShiftLength bytes at ShiftOffset collapsed out after they are.
// Old regions and probes are in the old file's offsets, new regions in the new file's;
// whether the shift has happened is told by the size (see TFileTransaction).
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace covrilo {

// CRC-64 (the polynomial of ECMA-182, reflected, as xz uses it); Crc chains a previous value.
uint64_t Crc64(std::span<const uint8_t> Bytes, uint64_t Crc = 0);

struct TJournalRegion {
    int64_t Offset = 0;
    int64_t Length = 0;
    bool operator==(const TJournalRegion&) const = default;
};

struct TJournalProbe {
    int64_t Offset = 0;
    int64_t Length = 0;
    uint64_t Checksum = 0;
    bool operator==(const TJournalProbe&) const = default;
};

struct TSaveJournal {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t OldSize = 0;
    int64_t NewSize = 0;
    std::vector<TJournalRegion> OldRegions;
    std::vector<std::vector<uint8_t>> OldBytes;  // one entry per old region
    std::vector<TJournalRegion> NewRegions;
    std::vector<std::vector<uint8_t>> NewBytes;  // one entry per new region
    std::vector<TJournalProbe> Probes;
    int64_t ShiftOffset = 0;
    int64_t ShiftLength = 0;  // > 0 inserted, < 0 collapsed, 0 none

    std::vector<uint8_t> Serialize() const;
    // Nothing for bytes that are not one whole, consistent journal (torn, damaged, foreign).
    static std::optional<TSaveJournal> Parse(std::span<const uint8_t> Bytes);
};

// Caps on what a journal may describe, so that a damaged one can never make us allocate
// or write without bound.
inline constexpr size_t kMaxJournalRegions = 16;
inline constexpr int64_t kMaxJournalBytes = int64_t{1} << 30;

}  // namespace covrilo
