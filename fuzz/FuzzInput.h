// SPDX-License-Identifier: MIT
// What the file-based fuzz targets share: a scratch folder of the process's own, the input
// written to a file there (the parsers read users' files, not buffers), and a check that
// ends the run with a crash libFuzzer reports.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace covrilo::fuzz {

inline void RemoveScratchDir();

// Memory-backed when available: every run writes files (and some writers sync them). Removed
// when the fuzzer exits normally; a crash leaves it for a look at the files.
inline const std::filesystem::path& ScratchDir() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "covrilo-fuzz.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return std::filesystem::path(pattern);
    }();
    // Registered after Dir is built, so it runs before Dir is destroyed.
    static const bool registered = std::atexit(RemoveScratchDir) == 0;
    (void)registered;
    return dir;
}

inline void RemoveScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(ScratchDir(), ec);
}

// Writes the input to Name in the scratch folder, replacing what an earlier run left there.
inline std::filesystem::path WriteInput(const std::string& Name, const uint8_t* Data, size_t Size) {
    const std::filesystem::path file = ScratchDir() / Name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    if (!out) std::abort();
    return file;
}

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& File) {
    std::ifstream in(File, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void Check(bool Ok) {
    if (!Ok) std::abort();
}

}  // namespace covrilo::fuzz
