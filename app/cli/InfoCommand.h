// SPDX-License-Identifier: MIT
// `covrilo-cli info`: what the facade and the ID3v2 engine read from each file.
#pragma once

#include <filesystem>
#include <ostream>
#include <vector>

namespace covrilo::cli {

// Prints one report per file (JSON array with Json, aligned text otherwise).
// Returns the exit status: 0, or 1 when some file could not be opened.
int RunInfo(const std::vector<std::filesystem::path>& Files, bool Json, std::ostream& Out);

}  // namespace covrilo::cli
