// SPDX-License-Identifier: MIT
// A scratch file for fuzz targets whose parsers read files by name.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace covrilo::fuzz {

class TFuzzTempFile {
   public:
    TFuzzTempFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "covrilo-fuzz-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) std::abort();
        ::close(fd);
        path_ = pattern;
    }
    ~TFuzzTempFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TFuzzTempFile(const TFuzzTempFile&) = delete;
    TFuzzTempFile& operator=(const TFuzzTempFile&) = delete;

    const std::filesystem::path& Write(const uint8_t* Data, size_t Size) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
        return path_;
    }
    const std::filesystem::path& Path() const { return path_; }

   private:
    std::filesystem::path path_;
};

}  // namespace covrilo::fuzz
