// SPDX-License-Identifier: MIT
// Running the built covrilo-cli from tests, and reading what it prints.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "InteropUtil.h"

namespace covrilo::test {

#ifdef COVRILO_CLI
inline constexpr const char* kCovriloCli = COVRILO_CLI;
#else
inline constexpr const char* kCovriloCli = "";
#endif

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    // The STATUS<TAB>PATH lines of stdout, in order; a line without a tab has an empty path.
    std::vector<std::pair<std::string, std::string>> lines;

    // Everything the program said, for failure messages.
    std::string Describe() const {
        return "exit " + std::to_string(exitCode) + "\n--- stdout:\n" + out + "--- stderr:\n" + err;
    }
    // The status printed for path, or "" when none was.
    std::string StatusOf(const std::string& path) const {
        for (const auto& [status, p] : lines)
            if (p == path) return status;
        return "";
    }
};

// Runs covrilo-cli with the arguments (each shell-quoted); prefix goes in front of the program
// (for example "setpriv ... ").
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& prefix = "") {
    std::string command = prefix + ShellQuote(kCovriloCli);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    const ToolRun run = RunSeparately(command);
    CliRun result{run.exitCode, run.out, run.err, {}};
    size_t pos = 0;
    while (pos < run.out.size()) {
        size_t end = run.out.find('\n', pos);
        if (end == std::string::npos) end = run.out.size();
        const std::string line = run.out.substr(pos, end - pos);
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            result.lines.emplace_back(line, "");
        else
            result.lines.emplace_back(line.substr(0, tab), line.substr(tab + 1));
        pos = end + 1;
    }
    return result;
}

}  // namespace covrilo::test
