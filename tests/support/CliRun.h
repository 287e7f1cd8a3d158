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
    int ExitCode = -1;  // -1 when it did not exit (killed)
    std::string Out;
    std::string Err;
    // The STATUS<TAB>PATH lines of stdout, in order; a line without a tab has an empty path.
    std::vector<std::pair<std::string, std::string>> Lines;
    int Signal = 0;  // the signal that ended it, if one did

    // Everything the program said, for failure messages.
    std::string Describe() const {
        return "exit " + std::to_string(ExitCode) + (Signal != 0 ? " signal " + std::to_string(Signal) : "") +
               "\n--- stdout:\n" + Out + "--- stderr:\n" + Err;
    }
    // The status printed for path, or "" when none was.
    std::string StatusOf(const std::string& Path) const {
        for (const auto& [status, p] : Lines)
            if (p == Path) return status;
        return "";
    }
    std::string StatusOf(const std::filesystem::path& Path) const { return StatusOf(Path.string()); }
};

// A CliRun from what the program printed.
inline CliRun ParseCliRun(int ExitCode, std::string Out, std::string Err) {
    CliRun result{ExitCode, std::move(Out), std::move(Err), {}, 0};
    size_t pos = 0;
    while (pos < result.Out.size()) {
        size_t end = result.Out.find('\n', pos);
        if (end == std::string::npos) end = result.Out.size();
        const std::string line = result.Out.substr(pos, end - pos);
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            result.Lines.emplace_back(line, "");
        else
            result.Lines.emplace_back(line.substr(0, tab), line.substr(tab + 1));
        pos = end + 1;
    }
    return result;
}

}  // namespace covrilo::test
