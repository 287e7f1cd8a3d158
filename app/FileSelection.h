// SPDX-License-Identifier: MIT
// Which files a host puts into the list: folders stand for the ".mp3" files inside them,
// dropped files are sorted and filtered. Both hosts (the window and covrilo-cli) follow
// these rules, so a folder lists the same files, in the same order, wherever it is given.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace covrilo {

// ".mp3" in any case; ".jpg" or ".jpeg" in any case.
bool IsMp3File(const std::filesystem::path& File);
bool IsJpegFile(const std::filesystem::path& File);

// The order of file lists: by the full name, ignoring case (Unicode simple case folding of
// the UTF-8 name), names that differ only in case by their bytes, so the order is total.
bool LessByNameIgnoringCase(const std::filesystem::path& A, const std::filesystem::path& B);
// Sorts Paths in that order (stable), folding each name once.
void SortByNameIgnoringCase(std::vector<std::filesystem::path>& Paths);

// The ".mp3" files (regular files or links to them) in Folder, sorted as above; with
// Recursive also those in sub-folders (links to folders are not followed). Folders that
// cannot be read are skipped.
std::vector<std::filesystem::path> Mp3FilesInFolder(const std::filesystem::path& Folder, bool Recursive);

// Whether some sub-folder of Folder, at any depth, holds an ".mp3" file (a folder given
// without --recursive that holds none itself).
bool HasMp3FilesInSubFolders(const std::filesystem::path& Folder);

// The cover picture of a folder: the first of Names that names a file in Folder, each
// compared with the files' names ignoring case (as the file list folds them), so
// "cover.jpg" finds "Cover.JPG". Nothing when Folder holds none of them.
std::optional<std::filesystem::path> FindFolderCover(const std::filesystem::path& Folder,
                                                     const std::vector<std::string>& Names);

// Paths as given, in order, each folder replaced by Mp3FilesInFolder(folder, Recursive);
// anything that is not a folder is passed on as given, so a missing file is reported by
// the run like any file that cannot be tagged.
std::vector<std::filesystem::path> ExpandPaths(const std::vector<std::filesystem::path>& Paths,
                                               bool Recursive);

// What a drop on the window (or the window's command line) brings: the ".mp3" files,
// sorted, with every dropped folder standing for its ".mp3" files, recursively; and the
// first ".jpg"/".jpeg" file in the order given as the picture. Everything else is ignored.
struct TDroppedFiles {
    std::vector<std::filesystem::path> Mp3Files;
    std::filesystem::path Picture;  // empty when none was dropped
};
TDroppedFiles SortDroppedFiles(const std::vector<std::filesystem::path>& Dropped);

}  // namespace covrilo
