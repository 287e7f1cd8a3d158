// SPDX-License-Identifier: MIT
#include "app/cli/FileList.h"

#include <cerrno>
#include <fstream>
#include <string>

#include "app/cli/CliArguments.h"
#include "io/EnhancedStreams.h"

namespace covrilo::cli {

std::vector<std::filesystem::path> SplitFileList(std::istream& In, bool Nul) {
    std::vector<std::filesystem::path> names;
    for (std::string name; std::getline(In, name, Nul ? '\0' : '\n');)
        if (!name.empty()) names.emplace_back(name);
    return names;
}

std::vector<std::filesystem::path> ReadFileList(const std::filesystem::path& List, bool Nul,
                                                std::istream& Stdin) {
    if (List == "-") {
        auto names = SplitFileList(Stdin, Nul);
        if (Stdin.bad()) throw UsageError("cannot read the list of files from the standard input");
        return names;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(List, ec))
        throw UsageError("cannot read the list of files " + List.string() + ": " + FileErrorReason(EISDIR));
    std::ifstream in(List, std::ios::binary);
    if (!in)
        throw UsageError("cannot read the list of files " + List.string() + ": " + FileErrorReason(errno));
    auto names = SplitFileList(in, Nul);
    if (in.bad()) throw UsageError("cannot read the list of files " + List.string());
    return names;
}

}  // namespace covrilo::cli
