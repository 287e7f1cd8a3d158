// SPDX-License-Identifier: MIT
// File functions addressed by file name, plus the atomic replace used by whole-file rewrites.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace covrilo {

inline constexpr int INVALID_HANDLE_VALUE = -1;

// Creates a new empty file (truncating an existing one), read/write, exclusive.
// Returns a file descriptor or INVALID_HANDLE_VALUE.
int UnicodeFileCreate(const std::filesystem::path& Name);
// Opens an existing file with the access and sharing of Mode (see EnhancedStreams.h).
// Returns a file descriptor or INVALID_HANDLE_VALUE (also when the lock cannot be had).
int UnicodeFileOpen(const std::filesystem::path& Name, uint16_t Mode);
// True when Name exists and is not a directory (symlinks are followed).
bool UnicodeFileExists(const std::filesystem::path& Name);
bool UnicodeDeleteFile(const std::filesystem::path& Name);
bool UnicodeRenameFile(const std::filesystem::path& OldName, const std::filesystem::path& NewName);
// Replaces the extension: the part of the file name from its last '.' (after the last
// separator); a name without one gets Ext appended. "a/b.mp3" + ".$$$" -> "a/b.$$$".
std::filesystem::path UnicodeChangeFileExt(const std::filesystem::path& Name, const std::string& Ext);
inline uint16_t SwapByteOrder16(uint16_t Value) { return static_cast<uint16_t>((Value >> 8) | (Value << 8)); }

// The file a rewrite must replace: Name with symlinks resolved, so that the link stays a
// link and its target receives the new content. Name itself when it cannot be resolved.
std::filesystem::path ResolveRewriteTarget(const std::filesystem::path& Name);

// Atomically replaces Target by the finished temporary file TempName: copies Target's
// permission bits to TempName, fsyncs it and renames it over Target. Target is never
// deleted first. On failure TempName is removed, Target is untouched and false returned;
// false also when the rename was done but the folder could not be synced after it.
// (The application's own files use this; a save of an audio file goes through
// TFileTransaction, io/FileTransaction.h.)
bool ReplaceFileAtomically(const std::filesystem::path& TempName, const std::filesystem::path& Target);

}  // namespace covrilo
