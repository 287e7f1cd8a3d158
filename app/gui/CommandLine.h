// SPDX-License-Identifier: MIT
// The command line of covrilo: files and folders to take as if they were dropped on the
// window (so "Open with" from a file manager works), --help and --version.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace covrilo {

class EUsageError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

enum class TInfoRequest { irNone, irHelp, irVersion };

// --help (-h) or --version before any "--": answered before the toolkit starts, so they
// work without a display. The first one given wins.
TInfoRequest FindInfoRequest(const std::vector<std::string>& Args);

// The files and folders to take, made absolute against WorkingDir, in the order given
// (the drop handling sorts them). Arguments after "--" are always names. Throws
// EUsageError for an unknown option. Args are what the toolkit left of the command line.
std::vector<std::filesystem::path> ParseFileArguments(const std::vector<std::string>& Args,
                                                      const std::filesystem::path& WorkingDir);

std::string HelpText();
std::string VersionText();

}  // namespace covrilo
