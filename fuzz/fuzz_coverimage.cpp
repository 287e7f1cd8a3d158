// SPDX-License-Identifier: MIT
// Hostile cover pictures: decoding and scaling must end in a result or an exception.
#include "app/CoverImage.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

// Memory-backed when available: every run writes a file (and TXMLIni syncs it).
static std::string ScratchDir() {
    std::error_code Ec;
    if (std::filesystem::is_directory("/dev/shm", Ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const std::filesystem::path Dir = ScratchDir() + "/fuzz_coverimage." + std::to_string(::getpid());
    static const bool Made = std::filesystem::create_directories(Dir) || true;
    (void)Made;
    const auto File = Dir / "in.jpg";
    {
        std::ofstream Out(File, std::ios::binary | std::ios::trunc);
        Out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    }
    try {
        std::filesystem::path ImagePath = File;
        covrilo::PrepareCoverImage(ImagePath, 16, 16, 50, Dir);
    } catch (const std::exception&) {
    }
    return 0;
}
