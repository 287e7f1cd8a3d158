// SPDX-License-Identifier: MIT
#include "app/CoverWorkspace.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "app/AtomicFile.h"

namespace covrilo {

TCoverWorkspace::~TCoverWorkspace() {
    if (folder_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TCoverWorkspace::Remove(const std::filesystem::path& File) {
    if (folder_.empty() || File.parent_path() != folder_) return;
    std::error_code ignored;
    std::filesystem::remove(File, ignored);
}

std::filesystem::path TCoverWorkspace::Add(std::span<const uint8_t> Bytes) {
    if (folder_.empty()) {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "covrilo-covers-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(),
                                    "Cannot create a folder for the prepared covers in " + base.string());
        folder_ = pattern;
    }
    const std::filesystem::path file = folder_ / ("cover-" + std::to_string(++count_) + ".jpg");
    WriteFileReplacing(file, std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()));
    return file;
}

}  // namespace covrilo
