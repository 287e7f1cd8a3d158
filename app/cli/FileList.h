// SPDX-License-Identifier: MIT
// The list of --files-from: names one a line, or each ended by a NUL byte (find -print0).
#pragma once

#include <filesystem>
#include <istream>
#include <vector>

namespace covrilo::cli {

// The names In holds, in order: separated by newlines, or with Nul by NUL bytes. A last name
// without its end counts; empty names (blank lines) are skipped. Every other byte is part of
// a name, so with Nul a name may hold newlines and blanks at either end.
std::vector<std::filesystem::path> SplitFileList(std::istream& In, bool Nul);

// The names of the list List ("-": standard input, Stdin). Throws UsageError when the list
// cannot be read.
std::vector<std::filesystem::path> ReadFileList(const std::filesystem::path& List, bool Nul,
                                                std::istream& Stdin);

}  // namespace covrilo::cli
