// SPDX-License-Identifier: MIT
// Running the built covrilo-cli from tests, and reading what it prints.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "InteropUtil.h"
#include "support/CliRun.h"

namespace covrilo::test {

// Runs covrilo-cli with the arguments (each shell-quoted); prefix goes in front of the program
// (for example "setpriv ... ").
inline CliRun RunCli(const std::vector<std::string>& Args, const std::string& Prefix = "") {
    std::string command = Prefix + ShellQuote(kCovriloCli);
    for (const std::string& arg : Args) command += " " + ShellQuote(arg);
    const ToolRun run = RunSeparately(command);
    return ParseCliRun(run.ExitCode, run.Out, run.Err);
}

}  // namespace covrilo::test
