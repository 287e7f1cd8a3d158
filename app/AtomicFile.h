// SPDX-License-Identifier: MIT
// Whole-file writes of the application's own files (settings, the prepared cover picture).
#pragma once

#include <filesystem>
#include <string_view>

namespace covrilo {

// Writes Data to Target through a temporary file in the same folder that is renamed over
// Target once complete, so a failed write never leaves a truncated file behind. A symlink
// at Target is followed (its target receives the data). Throws std::system_error on failure.
void WriteFileReplacing(const std::filesystem::path& Target, std::string_view Data);

}  // namespace covrilo
