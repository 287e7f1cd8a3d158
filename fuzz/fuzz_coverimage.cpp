// SPDX-License-Identifier: MIT
// Hostile cover pictures: decoding and scaling must end in a result or an exception.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>

#include "FuzzInput.h"
#include "app/CoverImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::filesystem::path file = covrilo::fuzz::WriteInput("in.jpg", Data, Size);
    const std::filesystem::path& dir = covrilo::fuzz::ScratchDir();
    try {
        std::filesystem::path imagePath = file;
        covrilo::PrepareCoverImage(imagePath, 16, 16, 50, dir);
    } catch (const std::exception&) {
    }
    return 0;
}
