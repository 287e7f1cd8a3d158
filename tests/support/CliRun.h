// SPDX-License-Identifier: MIT
// What a run of the built covrilo-cli printed, for the suites that run it (interop, fault).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace covrilo::test {

#ifdef COVRILO_CLI
inline constexpr const char* kCovriloCli = COVRILO_CLI;
#else
inline constexpr const char* kCovriloCli = "";
#endif

struct CliRun {
    int exitCode = -1;  // -1 when it did not exit (killed)
    std::string out;
    std::string err;
    // The STATUS<TAB>PATH lines of stdout, in order; a line without a tab has an empty path.
    std::vector<std::pair<std::string, std::string>> lines;
    int signal = 0;  // the signal that ended it, if one did

    // Everything the program said, for failure messages.
    std::string Describe() const {
        return "exit " + std::to_string(exitCode) + (signal != 0 ? " signal " + std::to_string(signal) : "") +
               "\n--- stdout:\n" + out + "--- stderr:\n" + err;
    }
    // The status printed for path, or "" when none was.
    std::string StatusOf(const std::string& path) const {
        for (const auto& [status, p] : lines)
            if (p == path) return status;
        return "";
    }
    std::string StatusOf(const std::filesystem::path& path) const { return StatusOf(path.string()); }
};

// A CliRun from what the program printed.
inline CliRun ParseCliRun(int exitCode, std::string out, std::string err) {
    CliRun result{exitCode, std::move(out), std::move(err), {}, 0};
    size_t pos = 0;
    while (pos < result.out.size()) {
        size_t end = result.out.find('\n', pos);
        if (end == std::string::npos) end = result.out.size();
        const std::string line = result.out.substr(pos, end - pos);
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
