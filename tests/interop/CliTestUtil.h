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
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& prefix = "") {
    std::string command = prefix + ShellQuote(kCovriloCli);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    const ToolRun run = RunSeparately(command);
    return ParseCliRun(run.exitCode, run.out, run.err);
}

}  // namespace covrilo::test
