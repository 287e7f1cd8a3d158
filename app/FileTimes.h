// SPDX-License-Identifier: MIT
// A file's access and modification times, kept across a save (covrilo-cli --keep-times).
#pragma once

#include <sys/stat.h>

#include <filesystem>

#include "io/EnhancedStreams.h"

namespace covrilo {

struct TFileTimes {
    timespec Access{};
    timespec Modification{};
};

// The times of the file Name names (a symlink is followed). Raises EFOpenError with the reason.
TFileTimes ReadFileTimes(const std::filesystem::path& Name);

// Gives the file Name names the times back, to the nanosecond where the file system keeps
// them, and syncs the change to the disk. Only while it is still the file Saved describes
// (the one a save just left) and no other program holds its lock: a file that changed since
// keeps the times of that change. Raises EFileRefused or EFWriteError with the reason.
void RestoreFileTimes(const std::filesystem::path& Name, const TFileTimes& Times, const TFileIdentity& Saved);

}  // namespace covrilo
